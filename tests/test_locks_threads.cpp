// The common services' mutex and guard: a timeout is honoured while another
// thread holds the lock, -1 still waits for it, and the owner may take it again.
#include <UTL/BSS.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using BSS::TSK::GuardC;
using BSS::TSK::MutexC;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Holds `mutex` on a thread of its own until Release() is called, or for three
// seconds at most (a lock that ignores its timeout then fails the test, not hangs).
class HolderC {
public:
    explicit HolderC(MutexC& mutex)
        : m_thread([this, &mutex] {
              mutex.Acquire(-1);
              m_held.set_value();
              m_releaseSignal.wait_for(std::chrono::seconds(3));
              m_releasing = true;
              mutex.Release();
          }) {
        m_heldSignal.wait();
    }
    ~HolderC() {
        Release();
        m_thread.join();
    }
    void Release() {
        if (!m_released.exchange(true)) m_release.set_value();
    }
    bool Releasing() const { return m_releasing; }

private:
    std::promise<void> m_held, m_release;
    std::future<void> m_heldSignal = m_held.get_future();
    std::future<void> m_releaseSignal = m_release.get_future();
    std::atomic<bool> m_released{false}, m_releasing{false};
    std::thread m_thread;
};

TEST(Locks, TimeoutRunsOutWhileAnotherThreadHolds) {
    MutexC mutex;
    HolderC holder(mutex);
    const auto start = Clock::now();
    EXPECT_FALSE(mutex.Acquire(100));
    const auto waited =
        std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();  // ms
    EXPECT_GE(waited, 100);
    EXPECT_LT(waited, 2000);
    GuardC guard(mutex, 100);
    EXPECT_FALSE(guard.IsLocked());  // and its destructor releases nothing
}

TEST(Locks, MinusOneWaitsForTheRelease) {
    MutexC mutex;
    HolderC holder(mutex);
    std::thread releaser([&holder] {
        std::this_thread::sleep_for(milliseconds(200));
        holder.Release();
    });
    GuardC guard(mutex, -1);
    EXPECT_TRUE(guard.IsLocked());
    EXPECT_TRUE(holder.Releasing());  // not before the holder let go
    releaser.join();
}

TEST(Locks, OwnerTakesItAgainWithAnyTimeout) {
    MutexC mutex;
    GuardC outer(mutex, 0);
    EXPECT_TRUE(outer.IsLocked());
    GuardC inner(mutex, 0);
    EXPECT_TRUE(inner.IsLocked());
}

}  // namespace
