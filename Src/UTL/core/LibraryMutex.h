// The library's locks: recursive mutexes that a child of fork() can use again
// (the fork handlers in LibraryMutex.cpp), whichever thread of the parent held them.
#pragma once

#include <UTL/BSS.h>

#include <pthread.h>

namespace UTL {
namespace detail {

class LibraryMutexC : public BSS::TSK::LockC {
public:
    constexpr LibraryMutexC() : m_mutex(PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP) {}

    // -1 waits forever; otherwise at most `timeout` milliseconds. True once held.
    bool Acquire(long timeout) override;
    void Release() override;

    // In the child of fork(): a fresh, unheld mutex. A thread of the parent
    // that held it does not exist in the child and will never release it.
    void ReinitialiseInChild();

private:
    pthread_mutex_t m_mutex;
};

}  // namespace detail
}  // namespace UTL
