// The library's process-wide locks, constructed at load in Library.cpp.
#pragma once

#include <UTL/BSS.h>

namespace UTL {
namespace detail {

// Guards StringC's shared format result area.
extern BSS::TSK::MutexC g_formatMutex;
// Serialises every write of every FileLogC.
extern BSS::TSK::MutexC g_fileOutputLock;

}  // namespace detail
}  // namespace UTL
