// Two threads use the debugging-help library at once, as two crash reports
// running together would: sessions, lookups and interleaved stack walks.
#include <UTL/WideText.h>
#include <UTL/WinServices.h>

#include <dlfcn.h>
#include <sched.h>
#include <ucontext.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Entry {
    PFN_SymInitialize init = nullptr;
    PFN_SymCleanup cleanup = nullptr;
    PFN_StackWalk walk = nullptr;
    PFN_SymGetSymFromAddr symbol = nullptr;
    bool ok() const { return init && cleanup && walk && symbol; }
};

Entry Load() {
    Entry e;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&lwcslen), &info) || !info.dli_fname) return e;
    std::string path = info.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "libutldbghelp.so.1";
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return e;
    e.init = reinterpret_cast<PFN_SymInitialize>(dlsym(h, "SymInitialize"));
    e.cleanup = reinterpret_cast<PFN_SymCleanup>(dlsym(h, "SymCleanup"));
    e.walk = reinterpret_cast<PFN_StackWalk>(dlsym(h, "StackWalk"));
    e.symbol = reinterpret_cast<PFN_SymGetSymFromAddr>(dlsym(h, "SymGetSymFromAddr"));
    return e;
}

const Entry& Lib() {
    static const Entry e = Load();
    return e;
}

std::string SymbolAt(DWORD64 address) {
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[536] = {};
    auto* sym = reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes);
    sym->SizeOfStruct = sizeof bytes;
    sym->MaxNameLength = 512;
    return Lib().symbol(nullptr, address, nullptr, sym) ? sym->Name : "";
}

// Walks the calling thread's stack one frame at a time, yielding between the
// steps so that the other thread's walk gets in between.
__attribute__((noinline)) std::vector<std::string> WalkHere() {
    ucontext_t uc;
    getcontext(&uc);
    const greg_t* g = uc.uc_mcontext.gregs;
    CONTEXT ctx{};
    ctx.Rip = g[REG_RIP], ctx.Rsp = g[REG_RSP], ctx.Rbp = g[REG_RBP], ctx.Rbx = g[REG_RBX];
    ctx.R12 = g[REG_R12], ctx.R13 = g[REG_R13], ctx.R14 = g[REG_R14], ctx.R15 = g[REG_R15];
    STACKFRAME frame{};
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        if (!Lib().walk(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, &frame, &ctx, nullptr, nullptr,
                        nullptr, nullptr))
            break;
        names.push_back(SymbolAt(i == 0 ? frame.AddrPC.Offset : frame.AddrPC.Offset - 1));
        sched_yield();
    }
    return names;
}

__attribute__((noinline)) std::vector<std::string> Outer() {
    std::vector<std::string> names = WalkHere();
    asm volatile("" ::: "memory");
    return names;
}

TEST(DbgHelpThreads, ConcurrentSessionsAndInterleavedWalks) {
    if (!Lib().ok()) GTEST_SKIP() << "debugging-help library not found next to libutl";
    if (!Lib().init(nullptr, nullptr, 1)) GTEST_SKIP() << "libdw.so.1 is not available";
    ASSERT_TRUE(Lib().cleanup(nullptr));

    std::atomic<int> failures{0};
    auto worker = [&failures] {
        for (int round = 0; round < 20; ++round) {
            if (!Lib().init(nullptr, nullptr, 1)) {
                ++failures;
                continue;
            }
            const std::vector<std::string> names = Outer();
            const bool inOrder = names.size() >= 2 &&
                                 names[0].find("WalkHere") != std::string::npos &&
                                 names[1].find("Outer") != std::string::npos;
            if (!inOrder) ++failures;
            if (!Lib().cleanup(nullptr)) ++failures;
        }
    };
    std::thread first(worker), second(worker);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
