/// @file
/// Load-time facts about the library itself.
#pragma once

#include <UTL/Export.h>

/// The utilities library's classes and helpers: logging, application
/// support, display texts, narrow-string helpers and text conversions.
namespace UTL {

/// The library's static objects, named in the order in which they were
/// constructed when the library was loaded, separated by ", ". They are
/// destroyed in the reverse order when it is unloaded.
UTL_API const char* LoadSequence();

}  // namespace UTL
