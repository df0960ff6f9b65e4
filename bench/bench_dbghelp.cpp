// The debugging-help library on the crash reporter's symbol path: a cold first
// report in a fresh process against warm ones, single lookups, and the stack
// walk next to glibc's backtrace() (libgcc's unwinder) as the reference.
#include <UTL/WideText.h>
#include <UTL/WinServices.h>

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <ucontext.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "../tests/crash_test_support.h"

namespace {

struct Entry {
    PFN_SymInitialize init = nullptr;
    PFN_SymCleanup cleanup = nullptr;
    PFN_StackWalk walk = nullptr;
    PFN_SymGetModuleBase moduleBase = nullptr;
    PFN_SymGetSymFromAddr symbol = nullptr;
    PFN_SymGetLineFromAddr line = nullptr;
};

Entry g_lib;

bool Load() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&lwcslen), &info) || !info.dli_fname) return false;
    std::string path = info.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "libutldbghelp.so.1";
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return false;
    g_lib.init = reinterpret_cast<PFN_SymInitialize>(dlsym(h, "SymInitialize"));
    g_lib.cleanup = reinterpret_cast<PFN_SymCleanup>(dlsym(h, "SymCleanup"));
    g_lib.walk = reinterpret_cast<PFN_StackWalk>(dlsym(h, "StackWalk"));
    g_lib.moduleBase = reinterpret_cast<PFN_SymGetModuleBase>(dlsym(h, "SymGetModuleBase"));
    g_lib.symbol = reinterpret_cast<PFN_SymGetSymFromAddr>(dlsym(h, "SymGetSymFromAddr"));
    g_lib.line = reinterpret_cast<PFN_SymGetLineFromAddr>(dlsym(h, "SymGetLineFromAddr"));
    return g_lib.init && g_lib.cleanup && g_lib.walk && g_lib.moduleBase && g_lib.symbol &&
           g_lib.line;
}

// The reporter's per-frame work: module base, line with backward search
// (up to 999 bytes), else the symbol.
void DescribeFrame(DWORD64 pc) {
    char file[260];
    IMAGEHLP_LINE line{};
    line.FileName = file;
    benchmark::DoNotOptimize(g_lib.moduleBase(nullptr, pc));
    for (DWORD64 back = 0; back < 1000 && back <= pc; ++back) {
        if (g_lib.line(nullptr, pc - back, nullptr, &line)) return;
    }
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[536] = {};
    auto* sym = reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes);
    sym->SizeOfStruct = sizeof bytes;
    sym->MaxNameLength = 512;
    DWORD64 displacement = 0;
    g_lib.symbol(nullptr, pc, &displacement, sym);
}

// One report's symbol path from the current point: session, walk, lookups.
__attribute__((noinline)) int ReportHere() {
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT ctx = crashtest::ControlOf(uc);
    if (!g_lib.init(nullptr, nullptr, 1)) return -1;
    STACKFRAME frame{};
    int frames = 0;
    while (frames < 41 && g_lib.walk(crashtest::kMachine, nullptr, nullptr, &frame, &ctx, nullptr,
                                     nullptr, nullptr, nullptr)) {
        DescribeFrame(frame.AddrPC.Offset);
        ++frames;
    }
    g_lib.cleanup(nullptr);
    return frames;
}

__attribute__((noinline)) int Nested(int depth) {
    const int r = depth == 0 ? ReportHere() : Nested(depth - 1);
    benchmark::ClobberMemory();
    return r;
}

__attribute__((noinline)) int BacktraceHere(int depth) {
    if (depth > 0) {
        const int r = BacktraceHere(depth - 1);
        benchmark::ClobberMemory();
        return r;
    }
    void* pcs[64];
    return backtrace(pcs, 64);
}

__attribute__((noinline)) int WalkOnlyHere(int depth) {
    if (depth > 0) {
        const int r = WalkOnlyHere(depth - 1);
        benchmark::ClobberMemory();
        return r;
    }
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT ctx = crashtest::ControlOf(uc);
    STACKFRAME frame{};
    int frames = 0;
    while (frames < 64 && g_lib.walk(crashtest::kMachine, nullptr, nullptr, &frame, &ctx, nullptr,
                                     nullptr, nullptr, nullptr))
        ++frames;
    return frames;
}

void BM_WarmReportSymbolPath(benchmark::State& state) {
    int frames = 0;
    for (auto _ : state) frames = Nested(5);
    state.counters["frames"] = frames;
}
BENCHMARK(BM_WarmReportSymbolPath)->Unit(benchmark::kMicrosecond);

void BM_StackWalk(benchmark::State& state) {
    g_lib.init(nullptr, nullptr, 1);
    int frames = 0;
    for (auto _ : state) frames = WalkOnlyHere(5);
    g_lib.cleanup(nullptr);
    state.counters["frames"] = frames;
}
BENCHMARK(BM_StackWalk)->Unit(benchmark::kMicrosecond);

void BM_GlibcBacktraceReference(benchmark::State& state) {
    int frames = 0;
    for (auto _ : state) frames = BacktraceHere(5);
    state.counters["frames"] = frames;
}
BENCHMARK(BM_GlibcBacktraceReference)->Unit(benchmark::kMicrosecond);

void BM_LineLookup(benchmark::State& state) {
    g_lib.init(nullptr, nullptr, 1);
    const DWORD64 pc = UTL::arch::Address64(&ReportHere) + 8;
    char file[260];
    IMAGEHLP_LINE line{};
    line.FileName = file;
    for (auto _ : state) benchmark::DoNotOptimize(g_lib.line(nullptr, pc, nullptr, &line));
    g_lib.cleanup(nullptr);
}
BENCHMARK(BM_LineLookup);

void BM_SymbolLookup(benchmark::State& state) {
    g_lib.init(nullptr, nullptr, 1);
    const DWORD64 pc = UTL::arch::Address64(&lwcslen) + 4;
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[536] = {};
    auto* sym = reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes);
    for (auto _ : state) {
        sym->SizeOfStruct = sizeof bytes;
        sym->MaxNameLength = 512;
        benchmark::DoNotOptimize(g_lib.symbol(nullptr, pc, nullptr, sym));
    }
    g_lib.cleanup(nullptr);
}
BENCHMARK(BM_SymbolLookup);

void BM_SessionOpenClose(benchmark::State& state) {
    for (auto _ : state) {
        g_lib.init(nullptr, nullptr, 1);
        g_lib.cleanup(nullptr);
    }
}
BENCHMARK(BM_SessionOpenClose);

}  // namespace

int main(int argc, char** argv) {
    if (!Load()) {
        std::fprintf(stderr, "libutldbghelp.so.1 not found next to libutl\n");
        return 1;
    }
    // The first report of the process, before anything is cached.
    const auto t0 = std::chrono::steady_clock::now();
    const int frames = Nested(5);
    const auto t1 = std::chrono::steady_clock::now();
    std::printf("cold first report symbol path: %.1f us for %d frames\n",
                std::chrono::duration<double, std::micro>(t1 - t0).count(), frames);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
