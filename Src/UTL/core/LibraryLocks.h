// The core's process-wide lock, constructed at load in Library.cpp.
#pragma once

#include "LibraryMutex.h"

namespace UTL {
namespace detail {

// Serialises every write of every FileLogC.
extern LibraryMutexC g_fileOutputLock;

}  // namespace detail
}  // namespace UTL
