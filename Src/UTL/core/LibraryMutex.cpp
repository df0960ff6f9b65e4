// The library's recursive mutexes, and the fork handlers that keep them usable
// in a child of fork().
#include "LibraryMutex.h"

#include <ctime>

#include "LibraryLocks.h"

namespace UTL {
namespace detail {

bool LibraryMutexC::Acquire(long timeout) {
    if (timeout < 0) return pthread_mutex_lock(&m_mutex) == 0;
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeout / 1000;
    deadline.tv_nsec += (timeout % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= 1000000000L;
    }
    return pthread_mutex_timedlock(&m_mutex, &deadline) == 0;
}

void LibraryMutexC::Release() {
    pthread_mutex_unlock(&m_mutex);
}

void LibraryMutexC::ReinitialiseInChild() {
    // Initialised again, not unlocked: a recursive mutex can only be unlocked
    // by its owner, and the child's thread has another id than the parent's.
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

namespace {

// The parent's threads do not exist in the child: a lock one of them held
// would stay held forever. Before fork() the forking thread takes the file
// output lock, so that no other thread is inside it, and the child starts
// with every lock free. The log manager holds its own lock across fork()
// (LogManagement.cpp); the report lock is reset by its owner
// (crash/fault/ReportLock.cpp).
void BeforeFork() {
    g_fileOutputLock.Acquire(-1);
}

void InParent() {
    g_fileOutputLock.Release();
}

void InChild() {
    g_fileOutputLock.ReinitialiseInChild();
}

const int g_forkHandlers = pthread_atfork(BeforeFork, InParent, InChild);

}  // namespace

}  // namespace detail
}  // namespace UTL
