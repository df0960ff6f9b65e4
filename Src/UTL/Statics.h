// The library's process-wide locks; the format mutex and the file output lock
// are constructed at load in Library.cpp, the report lock is constant.
#pragma once

#include "LibraryMutex.h"

namespace UTL {
namespace detail {

// Kept in its place in the load order; StringC::Format no longer takes it,
// since each call formats into its own storage.
extern LibraryMutexC g_formatMutex;
// Serialises every write of every FileLogC.
extern LibraryMutexC g_fileOutputLock;
// Serialises whole crash reports between threads.
extern LibraryMutexC g_reportLock;

}  // namespace detail
}  // namespace UTL
