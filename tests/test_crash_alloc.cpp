// The report path takes no heap memory: a malloc interposer in this program
// counts allocations around guarded faults and direct reports. The only
// allocation between a fault and its catch is the thrown exception object,
// made after the report is on disk.
#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "crash_test_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UTL_COUNT_ALLOCATIONS 0
#else
#define UTL_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
inline void Count() {
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if UTL_COUNT_ALLOCATIONS
// Every allocation of the process passes here (operator new calls malloc).
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t size) {
    Count();
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    Count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    Count();
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    Count();
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : 12;
}
}
#endif

using crashtest::CountOf;
using crashtest::Describe;
using crashtest::ExitedWith;
using crashtest::ReadFile;
using crashtest::RecordingSinkC;
using crashtest::RunInChild;
using crashtest::TempDir;

namespace {

class CrashAllocations : public ::testing::Test {
protected:
    void SetUp() override {
        if (!UTL_COUNT_ALLOCATIONS)
            GTEST_SKIP() << "the sanitizer runtime owns malloc; allocations are counted in the "
                            "plain build";
    }
};

long AllocationsDuring(void (*action)()) {
    g_allocations = 0;
    g_counting = true;
    action();
    g_counting = false;
    return g_allocations;
}

TEST_F(CrashAllocations, GuardedFaultAllocatesOnlyTheThrownObject) {
    TempDir dir;
    const std::string path = dir.File("alloc.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        UTL::LogManagementC::AddSink(new RecordingSinkC);
        ExceptionHandlerC guard;
        long counts[3];
        void (*faults[3])() = {crashtest::NullWrite, crashtest::IntDivideByZero,
                               crashtest::NullWrite2};
        for (int i = 0; i < 3; ++i) {
            g_allocations = 0;
            g_counting = true;
            try {
                faults[i]();
            } catch (ExceptionHandlerC&) {
                g_counting = false;
            }
            g_counting = false;
            counts[i] = g_allocations;
        }
        // The first report writes the banner too.
        for (long count : counts)
            if (count != 1) {
                std::fprintf(stderr, "allocations: %ld %ld %ld\n", counts[0], counts[1], counts[2]);
                return 1;
            }
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(path);
    EXPECT_EQ(CountOf(text, "Exception end"), 3) << text;
    EXPECT_EQ(CountOf(text, "Application start"), 1);
}

TEST_F(CrashAllocations, GuardCreatesTheLogManagerBeforeAnyFault) {
    TempDir dir;
    const std::string path = dir.File("manager.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        UTL::LogManagementC::Cleanup();  // no manager yet
        ExceptionHandlerC guard;
        g_allocations = 0;
        g_counting = true;
        try {
            crashtest::NullWrite();
        } catch (ExceptionHandlerC&) {
        }
        g_counting = false;
        return g_allocations == 1 ? 0 : 1;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
}

TEST_F(CrashAllocations, DirectReportsAllocateNothing) {
    TempDir dir;
    const std::string path = dir.File("direct.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        UTL::LogManagementC::AddSink(new RecordingSinkC);
        const long bare = AllocationsDuring([] { CExceptionParse report(1); });
        const long pointers = AllocationsDuring([] {
            EXCEPTION_RECORD record = {};
            record.ExceptionCode = 0xC0000005;
            record.ExceptionAddress = reinterpret_cast<PVOID>(&crashtest::NullWrite);
            CONTEXT context = {};
            context.Rip = reinterpret_cast<std::uintptr_t>(&crashtest::NullWrite);
            context.Rbp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
            EXCEPTION_POINTERS p = {&record, &context};
            ExceptionHandlerC report(&p);
            record.ExceptionFlags = EXCEPTION_UNWINDING;
            ExceptionHandlerC note(&p);
        });
        const long unknown =
            AllocationsDuring([] { (void)CExceptionLog::GetExceptionString(0x12345678); });
        if (bare || pointers || unknown) {
            std::fprintf(stderr, "allocations: %ld %ld %ld\n", bare, pointers, unknown);
            return 1;
        }
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    EXPECT_EQ(CountOf(ReadFile(path), "Exception end"), 2);
}

TEST_F(CrashAllocations, TheInterposerSeesAllocations) {
    const long seen = AllocationsDuring([] {
        volatile void* p = std::malloc(16);
        std::free(const_cast<void*>(p));
        int* volatile q = new int(3);
        delete q;
    });
    EXPECT_EQ(seen, 2);
}

}  // namespace
