// Library-internal entry points of the wide formatting engine.
#pragma once

#include <cstdarg>

#include <UTL/Export.h>

namespace UTL {
namespace detail {

// As lvswprintf, but writes at most capacity - 1 code units and a terminator, cutting a longer
// result; like lvswprintf it leaves `buffer` untouched for a null/empty format and on the double
// range failure (both log messages are still issued). A capacity of 0 writes nothing. Returns 0.
// Exported only so that the library's own tests can reach it; not part of the public headers.
UTL_API int lvsnwprintf(char16_t* buffer, unsigned int capacity, const char16_t* format,
                        va_list args);

}  // namespace detail
}  // namespace UTL
