// The library's process-wide locks; the file output lock is constructed at
// load in Library.cpp, the report lock is constant.
#pragma once

#include "LibraryMutex.h"

namespace UTL {
namespace detail {

// Serialises every write of every FileLogC.
extern LibraryMutexC g_fileOutputLock;
// Serialises whole crash reports between threads.
extern LibraryMutexC g_reportLock;

}  // namespace detail
}  // namespace UTL
