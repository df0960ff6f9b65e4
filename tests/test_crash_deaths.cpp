// Deaths the library sees: the log lines written before are in the file
// afterwards, the report is written where one belongs (a reported abort
// included) and a fault inside the allocator ends the process instead of
// hanging it. Each death runs in a child process.
#undef NDEBUG  // a failed assertion is one of the deaths
#include <gtest/gtest.h>

#include <UTL/BSS.h>
#include <UTL/FileLog.h>

#include <cassert>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <thread>

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>

#include "crash_test_support.h"

using namespace crashtest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

const char kLastWords[] = "the last words\n";

// A use-after-free write into a freed chunk's list link, then the allocations
// that lead the allocator to it: malloc faults inside itself while it holds
// its arena lock (taken since the process has had a second thread).
void* (*volatile g_allocate)(std::size_t) = std::malloc;
void (*volatile g_release)(void*) = std::free;
__attribute__((noinline)) void FaultInsideMalloc() {
    std::thread([] {}).join();
    // Chunks of 32 bytes only (a larger free chunk may be handed out whole):
    // they alone share the free lists that the fault needs.
    void* chunks[8];
    for (void*& chunk : chunks) {
        do chunk = g_allocate(24);
        while (malloc_usable_size(chunk) != 0x20 - sizeof(std::size_t));
    }
    for (void* chunk : chunks) g_release(chunk);  // 7 to the thread's cache, 1 to a list
    // The link as the allocator stores it (mangled with its own address),
    // pointing into the unmapped first page at a chunk that passes the
    // alignment check (its user area, two words on, is 16-byte aligned).
    volatile std::uintptr_t* link = static_cast<std::uintptr_t*>(chunks[7]);
    *link = (reinterpret_cast<std::uintptr_t>(chunks[7]) >> 12) ^ (0x20 - 2 * sizeof(std::size_t));
    for (int i = 0; i < 8; ++i) g_allocate(24);
}

// free() of a pointer whose chunk header lies in an inaccessible page: free
// faults inside itself as it reads the chunk's size.
__attribute__((noinline)) void FaultInsideFree() {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* const pages = mmap(nullptr, 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) return;
    char* const second = static_cast<char*>(pages) + page;
    mprotect(second, page, PROT_READ | PROT_WRITE);
    g_release(second);
}

std::size_t (*volatile g_length)(const char*) = std::strlen;
const char* volatile g_noText = nullptr;
__attribute__((noinline)) std::size_t LengthOrTerminate() noexcept {
    return g_length(g_noText);
}

// A fault caught, copied, and rethrown into a function that must not throw:
// the object rethrown is still the one the fault was thrown as.
__attribute__((noinline)) void FaultCopiedAndRethrown() {
    void (*volatile fault)() = NullWrite;
    try {
        fault();
    } catch (ExceptionHandlerC& caught) {
        const ExceptionHandlerC copy(caught);
        (void)copy;
        throw;
    }
}
__attribute__((noinline)) void RethrowFaultInNoexcept() noexcept {
    FaultCopiedAndRethrown();
}

struct Death {
    const char* name;
    int (*die)();
    int signal;
    int blocks;             // exception blocks in the report
    const char* code;       // the code line of the first block, if any
    bool flushed;           // the last words reach the log file
    bool viaFaultHandler;   // under AddressSanitizer its handler ends the process
    bool allocatorCorrupt;  // AddressSanitizer reports the corruption itself
};

const char kAbortCode[] = "Exception code: 40000015 FATAL_APP_EXIT\n";
const char kFaultCode[] = "Exception code: C0000005 ACCESS_VIOLATION\n";

const Death kDeaths[] = {
    {"UncaughtException",
     []() -> int {
         std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
         return 0;
     },
     SIGABRT, 0, nullptr, true, false, false},
    {"AbortNotReported",
     []() -> int {
         ExceptionHandlerC guard;
         std::abort();
     },
     SIGABRT, 0, nullptr, false, false, false},
    {"AbortReported",
     []() -> int {
         ExceptionHandlerC::ReportAborts(1);
         ExceptionHandlerC guard;
         std::abort();
     },
     SIGABRT, 1, kAbortCode, true, false, false},
    {"AbortReportingSwitchedOffAgain",
     []() -> int {
         ExceptionHandlerC::ReportAborts(1);
         ExceptionHandlerC::ReportAborts(0);
         ExceptionHandlerC guard;
         std::abort();
     },
     SIGABRT, 0, nullptr, false, false, false},
    {"FailedAssertionReported",
     []() -> int {
         ExceptionHandlerC::ReportAborts(1);
         ExceptionHandlerC guard;
         assert(!"reached");
         return 0;
     },
     SIGABRT, 1, kAbortCode, true, false, false},
    {"TerminateReported",
     []() -> int {
         ExceptionHandlerC::ReportAborts(1);
         ExceptionHandlerC guard;
         std::terminate();
     },
     SIGABRT, 1, kAbortCode, true, false, false},
    {"AbortOnAnUnguardedThreadReportedWithoutBlock",
     []() -> int {
         ExceptionHandlerC::ReportAborts(1);
         ExceptionHandlerC guard;
         std::thread([] { std::abort(); }).join();
         return 0;
     },
     SIGABRT, 0, nullptr, true, false, false},
    {"FaultInNoexcept",
     []() -> int {
         ExceptionHandlerC guard;
         return static_cast<int>(LengthOrTerminate());
     },
     SIGSEGV, 1, kFaultCode, true, false, false},
    {"FaultCopiedAndRethrownInNoexcept",
     []() -> int {
         ExceptionHandlerC guard;
         RethrowFaultInNoexcept();
         return 0;
     },
     SIGSEGV, 1, kFaultCode, true, false, false},
    {"GuardedFaultWithoutTry",
     []() -> int {
         std::thread([] {
             ExceptionHandlerC guard;
             NullWrite();
         }).join();
         return 0;
     },
     SIGSEGV, 1, kFaultCode, true, false, false},
    {"FaultOnAnUnguardedThread",
     []() -> int {
         ExceptionHandlerC guard;
         std::thread(NullWrite).join();
         return 0;
     },
     SIGSEGV, 0, nullptr, true, true, false},
    {"SecondFaultAtTheSameAddress",
     []() -> int {
         ExceptionHandlerC guard;
         Caught(NullWrite);
         NullWrite();
         return 0;
     },
     SIGSEGV, 1, kFaultCode, true, true, false},
    {"FaultInsideTheAllocator",
     []() -> int {
         ExceptionHandlerC guard;
         Caught(FaultInsideMalloc);  // not translated: the process ends here
         return 0;
     },
     SIGSEGV, 1, kFaultCode, true, false, true},
    {"FaultInsideFree",
     []() -> int {
         ExceptionHandlerC guard;
         Caught(FaultInsideFree);  // not translated: the process ends here
         return 0;
     },
     SIGSEGV, 1, kFaultCode, true, false, true},
};

void PrintTo(const Death& death, std::ostream* out) {
    *out << death.name;
}

class Deaths : public ::testing::TestWithParam<Death> {};

TEST_P(Deaths, LeaveTheLogLinesAndTheirReport) {
    const Death& death = GetParam();
    if (kAddressSanitizer && death.allocatorCorrupt)
        GTEST_SKIP() << "AddressSanitizer finds the use after free first";
    const TempDir dir;
    Outcome r;
    r.path = dir.File("r.RPT");
    const auto start = std::chrono::steady_clock::now();
    r.status = RunInChild([&] {
        CExceptionLog::SetLogfileName(r.path.c_str());
        BSS::HAL::PathMapC::setCFCardPath(dir.path.c_str());
        UTL::LogManagementC::AddSink(new UTL::FileLogC("log.txt"));
        UTL::LogManagementC::Log(__FILE__, __LINE__, 0, kLastWords);
        return death.die();
    });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    r.report = ReadFile(r.path);
    r.log = ReadFile(dir.File("log.txt"));

    EXPECT_TRUE(r.DiedOf(death.signal)) << r;
    if (!(kAddressSanitizer && death.viaFaultHandler)) {
        EXPECT_EQ(CountOf(r.log, kLastWords), death.flushed ? 1 : 0) << r;
    }
    EXPECT_EQ(CountOf(r.report, "Exception start"), death.blocks) << r;
    if (death.code) {
        EXPECT_NE(r.report.find(death.code), std::string::npos) << r;
    }
    if (death.allocatorCorrupt) {
        EXPECT_LT(elapsed, std::chrono::seconds(1));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Deaths, ::testing::ValuesIn(kDeaths),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- Fault signals that were sent, not raised by a faulting instruction ----

// What a guarded thread does until the signal comes: 97 when an exception
// arrives instead.
template <class Start>
int WaitGuarded(Start start) {
    ExceptionHandlerC guard;
    try {
        start();
        for (;;) pause();
    } catch (ExceptionHandlerC&) {
        return 97;
    }
}

struct Sending {
    const char* name;
    int signal;
    const char* signalName;
    bool byParent;  // the test's process sends it once the child writes to `ready`
    int (*run)(int signal, int ready);
};

const Sending kSendings[] = {
    {"Raised", SIGSEGV, "SIGSEGV", false,
     [](int signal, int) { return WaitGuarded([&] { raise(signal); }); }},
    {"KilledByAnotherProcess", SIGSEGV, "SIGSEGV", true,
     [](int, int ready) { return WaitGuarded([&] { (void)!write(ready, "r", 1); }); }},
    {"QueuedByTheProcess", SIGFPE, "SIGFPE", false,
     [](int signal, int) { return WaitGuarded([&] { sigqueue(getpid(), signal, sigval{}); }); }},
    {"PthreadKillOnAGuardedThread", SIGBUS, "SIGBUS", false,
     [](int signal, int) {
         std::atomic<bool> waiting{false};
         std::thread worker([&] { _exit(WaitGuarded([&] { waiting = true; })); });
         while (!waiting) std::this_thread::yield();
         pthread_kill(worker.native_handle(), signal);
         worker.join();
         return 0;
     }},
};

void PrintTo(const Sending& sending, std::ostream* out) {
    *out << sending.name;
}

class SentSignals : public ::testing::TestWithParam<Sending> {};

// The report names the signal and its sender, the log lines are flushed, and
// the process dies by the signal without an exception.
TEST_P(SentSignals, AreReportedAndEndTheProcessWithoutAnException) {
    const Sending& sending = GetParam();
    const TempDir dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        alarm(60);
        close(ready[0]);
        CExceptionLog::SetLogfileName(dir.File("r.RPT").c_str());
        BSS::HAL::PathMapC::setCFCardPath(dir.path.c_str());
        UTL::LogManagementC::AddSink(new UTL::FileLogC("log.txt"));
        UTL::LogManagementC::Log(__FILE__, __LINE__, 0, kLastWords);
        _exit(sending.run(sending.signal, ready[1]));
    }
    close(ready[1]);
    char byte = 0;
    if (sending.byParent && read(ready[0], &byte, 1) == 1) kill(child, sending.signal);
    close(ready[0]);
    Outcome r;
    waitpid(child, &r.status, 0);
    r.report = ReadFile(dir.File("r.RPT"));
    r.log = ReadFile(dir.File("log.txt"));
    const pid_t sender = sending.byParent ? getpid() : child;

    EXPECT_TRUE(r.DiedOf(sending.signal)) << r;
    EXPECT_EQ(CountOf(r.report, "Exception start"), 1) << r;
    const std::string line = std::string("\nSignal sent:    ") + sending.signalName +
                             " by process " + std::to_string(sender) + "\n";
    EXPECT_EQ(CountOf(r.report, line), 1) << r;
    EXPECT_EQ(CountOf(r.log, kLastWords), 1) << r;
}

INSTANTIATE_TEST_SUITE_P(Kinds, SentSignals, ::testing::ValuesIn(kSendings),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
