// Two threads use the debugging-help library at once, as two crash reports
// running together would: sessions, lookups and interleaved stack walks.
#include <gtest/gtest.h>
#include <sched.h>
#include <ucontext.h>

#include <atomic>
#include <thread>

#include "crash_test_support.h"

namespace {

// Walks the calling thread's stack, yielding between the steps so that the
// other thread's walk gets in between; true when the first two frames are
// this function and its caller.
__attribute__((noinline)) bool WalkHere() {
    ucontext_t uc;
    getcontext(&uc);
    const greg_t* g = uc.uc_mcontext.gregs;
    CONTEXT ctx{};
    ctx.Rip = g[REG_RIP], ctx.Rsp = g[REG_RSP], ctx.Rbp = g[REG_RBP], ctx.Rbx = g[REG_RBX];
    STACKFRAME frame{};
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[536] = {};
    auto* symbol = reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes);
    symbol->SizeOfStruct = sizeof bytes, symbol->MaxNameLength = 512;
    const char* expected[] = {"WalkHere", "Outer"};
    for (int i = 0; i < 2; ++i, sched_yield())
        if (!UTL_DBGHELP(StackWalk)(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, &frame, &ctx,
                                    nullptr, nullptr, nullptr, nullptr) ||
            !UTL_DBGHELP(SymGetSymFromAddr)(nullptr, frame.AddrPC.Offset - i, nullptr, symbol) ||
            !std::strstr(symbol->Name, expected[i]))
            return false;
    return true;
}

__attribute__((noinline)) bool Outer() {
    const bool ok = WalkHere();
    asm volatile("" ::: "memory");
    return ok;
}

TEST(DbgHelpThreads, ConcurrentSessionsAndInterleavedWalks) {
    if (!crashtest::DbgHelpUsable()) GTEST_SKIP() << "no libutldbghelp.so.1 or libdw.so.1";
    std::atomic<int> failures{0};
    auto worker = [&failures] {
        for (int round = 0; round < 20; ++round)
            failures += !UTL_DBGHELP(SymInitialize)(nullptr, nullptr, 1) || !Outer() ||
                        !UTL_DBGHELP(SymCleanup)(nullptr);
    };
    std::thread first(worker), second(worker);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
