// Flushing the file sinks' streams before the process dies, and the
// terminate handler that does it for an exception nobody catches.
#include "FlushAtDeath.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <mutex>

namespace UTL {
namespace detail {

namespace {

// ---- File sinks' streams ----

// A slot holds a stream's address; the low bit is set while a dying thread
// flushes it (streams are at least word-aligned).
constexpr int kStreamSlots = 64;
std::atomic<std::uintptr_t> g_streams[kStreamSlots];
constexpr std::uintptr_t kFlushing = 1;

// The whole flush at death waits at most this long for locks.
constexpr long kFlushBudgetNs = 300 * 1000000L;

long long NowNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Pause() {
    const timespec millisecond = {0, 1000000L};
    nanosleep(&millisecond, nullptr);
}

// Takes the stream's lock before `deadline`; this thread's own lock counts as
// free (it is recursive).
bool LockBefore(std::FILE* stream, long long deadline) {
    while (ftrylockfile(stream) != 0) {
        if (NowNs() >= deadline) return false;
        Pause();
    }
    return true;
}

}  // namespace

void RegisterSinkStream(std::FILE* stream) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(stream);
    for (std::atomic<std::uintptr_t>& slot : g_streams) {
        std::uintptr_t empty = 0;
        if (slot.compare_exchange_strong(empty, value)) return;
    }
}

void UnregisterSinkStream(std::FILE* stream) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(stream);
    for (std::atomic<std::uintptr_t>& slot : g_streams) {
        for (;;) {
            std::uintptr_t seen = value;
            if (slot.compare_exchange_strong(seen, 0)) return;
            if (seen != (value | kFlushing)) break;
            Pause();  // a dying thread is flushing it
        }
    }
}

void FlushSinkStreams() {
    const long long deadline = NowNs() + kFlushBudgetNs;
    for (std::atomic<std::uintptr_t>& slot : g_streams) {
        std::uintptr_t value = slot.load();
        if (value == 0 || (value & kFlushing) ||
            !slot.compare_exchange_strong(value, value | kFlushing))
            continue;
        std::FILE* stream = reinterpret_cast<std::FILE*>(value);
        if (LockBefore(stream, deadline)) {
            fflush_unlocked(stream);
            funlockfile(stream);
        }
        slot.store(value);
    }
}

// ---- std::terminate ----

namespace {

std::terminate_handler g_previousTerminate = nullptr;
std::atomic<void (*)()> g_uncaughtFault{nullptr};
std::once_flag g_terminateInstalled;

[[noreturn]] void OnTerminate() {
    FlushSinkStreams();
    if (void (*uncaughtFault)() = g_uncaughtFault.load()) uncaughtFault();
    if (g_previousTerminate) g_previousTerminate();
    std::abort();
}

}  // namespace

void InstallTerminateHandler(void (*uncaughtFault)()) {
    if (uncaughtFault) {
        void (*none)() = nullptr;
        g_uncaughtFault.compare_exchange_strong(none, uncaughtFault);
    }
    std::call_once(g_terminateInstalled,
                   [] { g_previousTerminate = std::set_terminate(OnTerminate); });
}

}  // namespace detail
}  // namespace UTL
