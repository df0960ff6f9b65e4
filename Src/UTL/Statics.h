// The library's process-wide locks; the format mutex and the file output lock
// are constructed at load in Library.cpp, the report lock is constant.
#pragma once

#include "LibraryMutex.h"

namespace UTL {
namespace detail {

// Guards StringC's shared format result area.
extern LibraryMutexC g_formatMutex;
// Serialises every write of every FileLogC.
extern LibraryMutexC g_fileOutputLock;
// Serialises whole crash reports between threads.
extern LibraryMutexC g_reportLock;

}  // namespace detail
}  // namespace UTL
