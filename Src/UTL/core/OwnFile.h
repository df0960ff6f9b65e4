// Opening a file for writing in a directory that others may write to (the
// temporary directory of a crash report, a log directory): nothing but the
// process's own regular file is ever written.
#pragma once

#include <sys/types.h>

namespace UTL {
namespace detail {

// Opens `path` for writing (with `createFlags`, O_CREAT and perhaps O_EXCL,
// creating it with `mode`), and accepts only a regular file that has one link
// and belongs to the effective user: a symbolic link as the last component is
// not followed, a FIFO or device is not waited for or opened, a file of
// another user (or a hard link to one) is not touched. `truncate` empties the
// file once it is accepted, never before. Returns a close-on-exec descriptor,
// or -1. Takes no heap memory.
int OpenOwnFile(const char* path, int createFlags, mode_t mode, bool truncate);

}  // namespace detail
}  // namespace UTL
