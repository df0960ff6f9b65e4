#include "SafeMemory.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>

namespace UTL {
namespace arch {
namespace {

enum class Copy { kDone, kFailed, kNotPermitted };

// The process's id, asked of the kernel once (a report reads memory many
// times), and again in a child of fork().
std::atomic<pid_t> g_processId{0};
const int g_forgetIdInChild = pthread_atfork(nullptr, nullptr, [] { g_processId.store(0); });

pid_t ProcessId() {
    pid_t id = g_processId.load(std::memory_order_relaxed);
    if (id == 0) {
        id = getpid();
        g_processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

Copy CopyByProcessVm(void* local, const void* remote, std::size_t size, bool write) {
    iovec here = {local, size};
    iovec there = {const_cast<void*>(remote), size};
    const ssize_t done = write ? process_vm_writev(ProcessId(), &here, 1, &there, 1, 0)
                               : process_vm_readv(ProcessId(), &here, 1, &there, 1, 0);
    if (done == static_cast<ssize_t>(size)) return Copy::kDone;
    if (done < 0 && (errno == ENOSYS || errno == EPERM)) return Copy::kNotPermitted;
    return Copy::kFailed;
}

// write(2) reads the source in the kernel and read(2) stores into the
// destination there, so a bad address gives EFAULT. A fresh pipe per call
// keeps concurrent callers apart.
bool CopyByPipe(void* destination, const void* source, std::size_t size) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    const bool done = write(ends[1], source, size) == static_cast<ssize_t>(size) &&
                      read(ends[0], destination, size) == static_cast<ssize_t>(size);
    close(ends[0]);
    close(ends[1]);
    return done;
}

}  // namespace

bool ReadMemory(const void* address, void* buffer, std::size_t size) {
    if (size == 0) return true;
    if (address == nullptr) return false;
    const Copy copy = CopyByProcessVm(buffer, address, size, false);
    if (copy == Copy::kNotPermitted) return CopyByPipe(buffer, address, size);
    return copy == Copy::kDone;
}

bool ReadWord(std::uintptr_t address, std::uintptr_t* value) {
    return ReadMemory(reinterpret_cast<const void*>(address), value, sizeof *value);
}

bool IsReadWrite(void* address, std::size_t size) {
    if (size == 0) return true;
    if (address == nullptr) return false;
    unsigned char copy[256];
    for (char* cursor = static_cast<char*>(address); size > 0;) {
        const std::size_t chunk = size < sizeof copy ? size : sizeof copy;
        Copy read = CopyByProcessVm(copy, cursor, chunk, false);
        if (read == Copy::kNotPermitted) {
            if (!CopyByPipe(copy, cursor, chunk) || !CopyByPipe(cursor, copy, chunk)) return false;
        } else if (read != Copy::kDone ||
                   CopyByProcessVm(copy, cursor, chunk, true) != Copy::kDone) {
            return false;
        }
        cursor += chunk;
        size -= chunk;
    }
    return true;
}

}  // namespace arch
}  // namespace UTL
