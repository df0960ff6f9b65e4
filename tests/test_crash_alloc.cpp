// No heap on the report path: a malloc interposer counts allocations around
// faults (only the thrown object), direct reports and warm symbol lookups.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "crash_test_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UTL_COUNT_ALLOCATIONS 0  // the sanitizer runtime owns malloc
#else
#define UTL_COUNT_ALLOCATIONS 1
#endif

static std::atomic<long> g_allocations{0};

#if UTL_COUNT_ALLOCATIONS
// Every allocation of the process, libdw's included: the interposers are
// exported, so that the shared libraries' calls reach them too.
#define UTL_INTERPOSER __attribute__((visibility("default")))
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
UTL_INTERPOSER void* malloc(std::size_t size) {
    return ++g_allocations, __libc_malloc(size);
}
UTL_INTERPOSER void* calloc(std::size_t n, std::size_t size) {
    return ++g_allocations, __libc_calloc(n, size);
}
UTL_INTERPOSER void* realloc(void* p, std::size_t size) {
    return ++g_allocations, __libc_realloc(p, size);
}
}
#endif

// Allocations during `action`.
template <class Action>
long Allocations(Action action) {
    const long before = g_allocations;
    action();
    return g_allocations - before;
}

#define SKIP_UNLESS_COUNTING() \
    if (!UTL_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are counted in the plain build"

TEST(CrashAllocations, GuardedFaultsAllocateOnlyTheThrownObjectAndReportsNothing) {
    SKIP_UNLESS_COUNTING();
    void* volatile p = nullptr;
    EXPECT_EQ(Allocations([&] { p = std::malloc(16); }), 1);  // the counting works
    std::free(p);
    const crashtest::Outcome r = crashtest::RunReporting([] {
        UTL::LogManagementC::Cleanup();  // the guard creates the manager before any fault
        ExceptionHandlerC guard;
        // The first report writes the banner too. Exit code 1 + the failing fault's index.
        void (*const faults[])() = {crashtest::NullWrite, crashtest::IllegalInstruction,
                                    crashtest::NullWrite2};
        for (int i = 0; i < 3; ++i)
            if (Allocations([&] { crashtest::Caught(faults[i]); }) != 1) return 1 + i;
        const long direct = Allocations([] {
            CExceptionParse report(1);
            EXCEPTION_RECORD record = {};
            record.ExceptionCode = 0xC0000005;
            CONTEXT context = {};
            crashtest::SetControl(context, reinterpret_cast<std::uintptr_t>(&crashtest::NullWrite),
                                  0, reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)));
            EXCEPTION_POINTERS pointers = {&record, &context};
            ExceptionHandlerC fromPointers(&pointers);
            record.ExceptionFlags = EXCEPTION_UNWINDING;
            ExceptionHandlerC note(&pointers);
            (void)CExceptionLog::GetExceptionString(0x12345678);
        });
        return direct == 0 ? 0 : 4;
    });
    ASSERT_TRUE(r.Exited()) << r;
    EXPECT_EQ(crashtest::CountOf(r.report, "Exception end"), 5) << r;
}

TEST(CrashAllocations, WarmDebugHelpSessionsAndLookupsTakeNoHeap) {
    SKIP_UNLESS_COUNTING();
    if (!crashtest::DbgHelpUsable()) GTEST_SKIP() << "no libutldbghelp.so.1 or libdw.so.1";
    const DWORD64 here = UTL::arch::Address64(__builtin_return_address(0));
    const DWORD64 utl = UTL::arch::Address64(&lwcslen);
    char file[260];
    IMAGEHLP_LINE line{};
    line.FileName = file;
    const auto session = [&] {
        EXPECT_TRUE(UTL_DBGHELP(SymInitialize)(nullptr, nullptr, 1));
        EXPECT_NE(UTL_DBGHELP(SymGetModuleBase)(nullptr, utl), 0u);
        for (DWORD64 back = 0; back < 64; ++back) {
            UTL_DBGHELP(SymGetLineFromAddr)(nullptr, here - back, nullptr, &line);
            UTL_DBGHELP(SymGetLineFromAddr)(nullptr, utl + back, nullptr, &line);
        }
        EXPECT_TRUE(UTL_DBGHELP(SymCleanup)(nullptr));
    };
    EXPECT_GT(Allocations(session), 0);  // cold: the modules' tables are read
    long warm = 0;
    for (int round = 0; round < 10; ++round) warm += Allocations(session);
    EXPECT_EQ(warm, 0);
}
