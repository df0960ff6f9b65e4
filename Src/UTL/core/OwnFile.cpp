// Opening only the process's own regular files for writing.
#include "OwnFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace UTL {
namespace detail {

namespace {

bool IsOwnRegularFile(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
           status.st_uid == geteuid();
}

}  // namespace

int OpenOwnFile(const char* path, int createFlags, mode_t mode, bool truncate) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking,
    // one with a reader is refused below; a regular file ignores the flag.
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | createFlags;
    int fd;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    if (!IsOwnRegularFile(fd) || (truncate && ftruncate(fd, 0) != 0) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace detail
}  // namespace UTL
