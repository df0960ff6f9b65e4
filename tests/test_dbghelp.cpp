// The crash reporter's debugging-help library, loaded the way the reporter
// loads it: dlopen from the directory of libutl.so, entry points by name.
#include <UTL/WideText.h>
#include <UTL/WinServices.h>

#include <dlfcn.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define NOINLINE __attribute__((noinline))
#if defined(__GNUC__) && !defined(__clang__)
#define NO_FRAME_POINTER __attribute__((noinline, optimize("omit-frame-pointer")))
#else
#define NO_FRAME_POINTER __attribute__((noinline))
#endif

namespace {

struct DbgHelp {
    std::string path;
    void* handle = nullptr;
    PFN_SymInitialize SymInitialize = nullptr;
    PFN_SymCleanup SymCleanup = nullptr;
    PFN_StackWalk StackWalk = nullptr;
    PFN_SymFunctionTableAccess SymFunctionTableAccess = nullptr;
    PFN_SymGetModuleBase SymGetModuleBase = nullptr;
    PFN_SymGetSymFromAddr SymGetSymFromAddr = nullptr;
    PFN_SymGetLineFromAddr SymGetLineFromAddr = nullptr;
    PFN_SymGetOptions SymGetOptions = nullptr;
    PFN_SymSetOptions SymSetOptions = nullptr;
};

std::string DirectoryOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

template <typename Fn>
void Lookup(void* handle, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
}

DbgHelp& Library() {
    static DbgHelp lib = [] {
        DbgHelp l;
        l.path = DirectoryOf(reinterpret_cast<const void*>(&lwcslen)) + "/libutldbghelp.so.1";
        l.handle = dlopen(l.path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!l.handle) return l;
        Lookup(l.handle, l.SymInitialize, "SymInitialize");
        Lookup(l.handle, l.SymCleanup, "SymCleanup");
        Lookup(l.handle, l.StackWalk, "StackWalk");
        Lookup(l.handle, l.SymFunctionTableAccess, "SymFunctionTableAccess");
        Lookup(l.handle, l.SymGetModuleBase, "SymGetModuleBase");
        Lookup(l.handle, l.SymGetSymFromAddr, "SymGetSymFromAddr");
        Lookup(l.handle, l.SymGetLineFromAddr, "SymGetLineFromAddr");
        Lookup(l.handle, l.SymGetOptions, "SymGetOptions");
        Lookup(l.handle, l.SymSetOptions, "SymSetOptions");
        return l;
    }();
    return lib;
}

bool LibDwInstalled() {
    void* h = dlopen("libdw.so.1", RTLD_NOW | RTLD_LOCAL);
    if (h) dlclose(h);
    return h != nullptr;
}

DWORD64 Address(const void* p) {
    return reinterpret_cast<DWORD64>(p);
}

template <typename Fn>
DWORD64 CodeAddress(Fn* fn) {
    return reinterpret_cast<DWORD64>(fn);
}

// The registers of the calling point, as a signal handler would hand them over.
void ToContext(const ucontext_t& uc, CONTEXT* ctx) {
    const greg_t* g = uc.uc_mcontext.gregs;
    std::memset(ctx, 0, sizeof *ctx);
    ctx->ContextFlags = CONTEXT_FULL;
    ctx->Rax = g[REG_RAX], ctx->Rbx = g[REG_RBX], ctx->Rcx = g[REG_RCX], ctx->Rdx = g[REG_RDX];
    ctx->Rsi = g[REG_RSI], ctx->Rdi = g[REG_RDI], ctx->Rbp = g[REG_RBP], ctx->Rsp = g[REG_RSP];
    ctx->R8 = g[REG_R8], ctx->R9 = g[REG_R9], ctx->R10 = g[REG_R10], ctx->R11 = g[REG_R11];
    ctx->R12 = g[REG_R12], ctx->R13 = g[REG_R13], ctx->R14 = g[REG_R14], ctx->R15 = g[REG_R15];
    ctx->Rip = g[REG_RIP];
    ctx->EFlags = static_cast<DWORD>(g[REG_EFL]);
}

// The symbol record as the reporter lays it out: 536 bytes, names up to 512.
struct SymbolBuffer {
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[536];
    IMAGEHLP_SYMBOL* record() { return reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes); }
    SymbolBuffer() {
        std::memset(bytes, 0, sizeof bytes);
        record()->SizeOfStruct = sizeof bytes;
        record()->MaxNameLength = 512;
    }
};

std::string SymbolName(DWORD64 address, DWORD64* start = nullptr) {
    SymbolBuffer buffer;
    DWORD64 displacement = 0;
    if (!Library().SymGetSymFromAddr(nullptr, address, &displacement, buffer.record())) return {};
    if (start) *start = buffer.record()->Address;
    return buffer.record()->Name;
}

struct WalkedFrame {
    STACKFRAME frame;
    std::string symbol;
};

// Walks from `ctx` as the reporter does; symbols of caller frames are looked up
// one byte before the return address (inside the call).
NOINLINE std::vector<WalkedFrame> Walk(CONTEXT ctx, DWORD machine = IMAGE_FILE_MACHINE_AMD64) {
    std::vector<WalkedFrame> frames;
    STACKFRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.AddrPC.Offset = ctx.Rip;
    frame.AddrFrame.Offset = ctx.Rbp;
    frame.AddrStack.Offset = ctx.Rsp;
    frame.AddrPC.Mode = frame.AddrFrame.Mode = frame.AddrStack.Mode = AddrModeFlat;
    for (int i = 0; i < 1000; ++i) {
        if (!Library().StackWalk(machine, nullptr, nullptr, &frame, &ctx, nullptr, nullptr, nullptr,
                                 nullptr))
            break;
        if (frame.AddrFrame.Offset == 0) break;
        const DWORD64 lookup = frames.empty() ? frame.AddrPC.Offset : frame.AddrPC.Offset - 1;
        frames.push_back({frame, SymbolName(lookup)});
    }
    return frames;
}

std::vector<WalkedFrame> g_chainFrames;

NOINLINE int ChainC(int depth) {
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT ctx;
    ToContext(uc, &ctx);
    g_chainFrames = Walk(ctx);
    return depth + static_cast<int>(g_chainFrames.size());
}

// Built without a frame pointer, so only an unwinder that reads the call frame
// information finds this frame.
NO_FRAME_POINTER int ChainB(int depth) {
    const int r = ChainC(depth + 1);
    asm volatile("" ::: "memory");
    return r + 1;
}

NOINLINE int ChainA(int depth) {
    const int r = ChainB(depth + 1);
    asm volatile("" ::: "memory");
    return r + 1;
}

NOINLINE DWORD64 ReturnAddress() {
    const DWORD64 ra = reinterpret_cast<DWORD64>(__builtin_return_address(0));
    asm volatile("" ::: "memory");
    return ra;
}

NOINLINE int SymbolProbeTarget(int x) {
    asm volatile("" ::: "memory");
    return x * 3 + 1;
}

DWORD64 LongFileNameProbe();  // defined at the end, under a very long file name

// A fault whose context is walked inside the signal handler, as the reporter
// does; the handler leaves by siglongjmp.
sigjmp_buf g_faultReturn;
std::vector<WalkedFrame> g_faultFrames;

void OnFault(int, siginfo_t*, void* uc) {
    CONTEXT ctx;
    ToContext(*static_cast<ucontext_t*>(uc), &ctx);
    g_faultFrames = Walk(ctx);
    siglongjmp(g_faultReturn, 1);
}

// Unmapped but not null, so the sanitizers let the load reach the hardware.
volatile int* volatile g_nowhere = reinterpret_cast<volatile int*>(0x10);

NO_FRAME_POINTER int FaultingRead(int depth) {
    const int value = *g_nowhere;  // faults
    asm volatile("" ::: "memory");
    return value + depth;
}

NOINLINE int FaultCaller(int depth) {
    const int r = FaultingRead(depth + 1);
    asm volatile("" ::: "memory");
    return r + 1;
}

int IndexOf(const std::vector<WalkedFrame>& frames, const char* name) {
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].symbol.find(name) != std::string::npos) return static_cast<int>(i);
    return -1;
}

class DbgHelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        DbgHelp& lib = Library();
        ASSERT_NE(lib.handle, nullptr) << "cannot load " << lib.path << ": " << dlerror();
        if (!LibDwInstalled()) GTEST_SKIP() << "libdw.so.1 (elfutils) is not installed";
        ASSERT_TRUE(lib.SymInitialize(nullptr, nullptr, 1));
        m_session = true;
    }
    void TearDown() override {
        if (m_session) {
            EXPECT_TRUE(Library().SymCleanup(nullptr));
        }
    }

private:
    bool m_session = false;
};

// The process's first session and lookups, timed and run on a thread with a
// small stack, as a fault handler on an alternate signal stack would run them.
struct ColdRun {
    bool initialised = false, lineFound = false;
    double initUs = 0, lookupUs = 0, warmLookupUs = 0, reinitUs = 0;
};

void* RunCold(void* out) {
    using Clock = std::chrono::steady_clock;
    using us = std::chrono::duration<double, std::micro>;
    ColdRun& run = *static_cast<ColdRun*>(out);
    const DbgHelp& lib = Library();
    const DWORD64 pc = ReturnAddress() - 1;
    IMAGEHLP_LINE line{};
    const auto t0 = Clock::now();
    run.initialised = lib.SymInitialize(nullptr, nullptr, 1);
    const auto t1 = Clock::now();
    run.lineFound = run.initialised && lib.SymGetLineFromAddr(nullptr, pc, nullptr, &line);
    const auto t2 = Clock::now();
    const int warmRounds = 2000;
    for (int i = 0; i < warmRounds; ++i) lib.SymGetLineFromAddr(nullptr, pc, nullptr, &line);
    const auto t3 = Clock::now();
    lib.SymCleanup(nullptr);
    const auto t4 = Clock::now();
    lib.SymInitialize(nullptr, nullptr, 1);
    const auto t5 = Clock::now();
    lib.SymCleanup(nullptr);
    run.initUs = us(t1 - t0).count();
    run.lookupUs = us(t2 - t1).count();
    run.warmLookupUs = us(t3 - t2).count() / warmRounds;
    run.reinitUs = us(t5 - t4).count();
    return nullptr;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool kOwnStack = false;  // sanitizer builds run on the caller's stack
#else
const bool kOwnStack = true;
#endif

// Runs first: the process's first initialisation and lookup are the cold ones.
TEST(DbgHelpTiming, ColdFirstLookupOnASmallStack) {
    ASSERT_NE(Library().handle, nullptr);
    if (!LibDwInstalled()) GTEST_SKIP() << "libdw.so.1 (elfutils) is not installed";
    // libdw needs about 160 KiB of stack to read a line table for the first
    // time; the library runs it on a stack of its own.
    const std::size_t size = kOwnStack ? 128 * 1024 : 4 * 1024 * 1024;
    std::vector<unsigned char> stack(size, 0xA5);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    ASSERT_EQ(pthread_attr_setstack(&attr, stack.data(), size), 0);
    ColdRun run;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, RunCold, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_TRUE(run.initialised);
    EXPECT_TRUE(run.lineFound);
    std::size_t untouched = 0;
    while (untouched < size && stack[untouched] == 0xA5) ++untouched;
    const std::size_t used = size - untouched;
    if (kOwnStack) {
        EXPECT_LT(used, 48u * 1024);
    }
    std::printf(
        "cold SymInitialize %.0f us, first line lookup %.0f us, warm line lookup %.2f us, "
        "repeated SymInitialize %.1f us, caller stack used %zu bytes\n",
        run.initUs, run.lookupUs, run.warmLookupUs, run.reinitUs, used);
}

TEST_F(DbgHelpTest, ExportsTheNineEntryPointsAndKeepsOptions) {
    const DbgHelp& lib = Library();
    EXPECT_TRUE(lib.SymInitialize && lib.SymCleanup && lib.StackWalk &&
                lib.SymFunctionTableAccess && lib.SymGetModuleBase && lib.SymGetSymFromAddr &&
                lib.SymGetLineFromAddr && lib.SymGetOptions && lib.SymSetOptions);
    const DWORD before = lib.SymGetOptions();
    EXPECT_EQ(lib.SymSetOptions(before | SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES),
              before | 0x14u);
    EXPECT_EQ(lib.SymGetOptions(), before | 0x14u);
    lib.SymSetOptions(before);
}

TEST_F(DbgHelpTest, LineOfACallInThisFile) {
    const DbgHelp& lib = Library();
    const int callLine = __LINE__ + 1;
    const DWORD64 pc = ReturnAddress() - 1;  // inside the call instruction

    char fileName[260];
    IMAGEHLP_LINE line{};
    line.SizeOfStruct = 20;
    line.FileName = fileName;
    DWORD displacement = 12345;
    ASSERT_TRUE(lib.SymGetLineFromAddr(nullptr, pc, &displacement, &line));
    EXPECT_NE(std::string(fileName).find("test_dbghelp.cpp"), std::string::npos) << fileName;
    EXPECT_EQ(line.FileName, fileName);
    EXPECT_GE(static_cast<int>(line.LineNumber), callLine);
    EXPECT_LE(static_cast<int>(line.LineNumber), callLine + 1);
    EXPECT_LE(line.Address, pc);
    EXPECT_EQ(displacement, pc - line.Address);

    // Without a caller buffer the name comes from the library's own.
    IMAGEHLP_LINE bare{};
    ASSERT_TRUE(lib.SymGetLineFromAddr(nullptr, pc, nullptr, &bare));
    ASSERT_NE(bare.FileName, nullptr);
    EXPECT_STREQ(bare.FileName, fileName);
    EXPECT_EQ(bare.LineNumber, line.LineNumber);

    EXPECT_FALSE(lib.SymGetLineFromAddr(nullptr, pc, &displacement, nullptr));
}

TEST_F(DbgHelpTest, FileNameIsCutToTheCallersBuffer) {
    const DWORD64 pc = LongFileNameProbe() - 1;
    char buffer[300];
    std::memset(buffer, 'X', sizeof buffer);
    IMAGEHLP_LINE line{};
    line.FileName = buffer;
    ASSERT_TRUE(Library().SymGetLineFromAddr(nullptr, pc, nullptr, &line));
    EXPECT_EQ(std::strlen(buffer), 259u);
    for (std::size_t i = 260; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'X') << i;

    // The library's own buffer holds the whole name; the cut one is its start.
    IMAGEHLP_LINE bare{};
    ASSERT_TRUE(Library().SymGetLineFromAddr(nullptr, pc, nullptr, &bare));
    const std::string whole = bare.FileName;
    EXPECT_GT(whole.size(), 300u);
    EXPECT_EQ(whole.substr(0, 259), buffer);
    EXPECT_NE(whole.find("long_file_name_probe.cpp"), std::string::npos);
}

TEST_F(DbgHelpTest, SymbolNameStartAndDisplacement) {
    const DbgHelp& lib = Library();
    const DWORD64 start = CodeAddress(&SymbolProbeTarget);
    SymbolBuffer buffer;
    DWORD64 displacement = 0;
    ASSERT_TRUE(lib.SymGetSymFromAddr(nullptr, start + 1, &displacement, buffer.record()));
    EXPECT_NE(std::string(buffer.record()->Name).find("SymbolProbeTarget(int)"), std::string::npos)
        << buffer.record()->Name;
    EXPECT_EQ(buffer.record()->Address, start);
    EXPECT_EQ(displacement, 1u);
    EXPECT_GT(buffer.record()->Size, 1u);

    // A function of the utilities library itself, with undecorated names off.
    const DWORD options = lib.SymGetOptions();
    lib.SymSetOptions(options & ~0x2u);
    EXPECT_EQ(SymbolName(CodeAddress(&lwcslen)), "_Z7lwcslenPKDs");
    lib.SymSetOptions(options);
    EXPECT_EQ(SymbolName(CodeAddress(&lwcslen)), "lwcslen(char16_t const*)");
}

TEST_F(DbgHelpTest, SymbolNameIsCutToTheRecord) {
    const DbgHelp& lib = Library();
    const DWORD64 address = CodeAddress(&SymbolProbeTarget);
    const std::size_t nameOffset = offsetof(IMAGEHLP_SYMBOL, Name);

    SymbolBuffer byLength;
    std::memset(byLength.record()->Name, 'X', 64);
    byLength.record()->MaxNameLength = 5;
    ASSERT_TRUE(lib.SymGetSymFromAddr(nullptr, address, nullptr, byLength.record()));
    EXPECT_EQ(std::strlen(byLength.record()->Name), 4u);
    EXPECT_EQ(byLength.record()->Name[5], 'X');

    // The record's size bounds the name too (the reporter's 536 bytes hold
    // fewer than 512 name bytes with this record layout).
    SymbolBuffer bySize;
    std::memset(bySize.record()->Name, 'X', 64);
    bySize.record()->SizeOfStruct = static_cast<DWORD>(nameOffset + 8);
    ASSERT_TRUE(lib.SymGetSymFromAddr(nullptr, address, nullptr, bySize.record()));
    EXPECT_EQ(std::strlen(bySize.record()->Name), 7u);
    EXPECT_EQ(bySize.record()->Name[8], 'X');

    SymbolBuffer tooSmall;
    tooSmall.record()->SizeOfStruct = 8;
    EXPECT_FALSE(lib.SymGetSymFromAddr(nullptr, address, nullptr, tooSmall.record()));
    EXPECT_FALSE(lib.SymGetSymFromAddr(nullptr, address, nullptr, nullptr));
}

TEST_F(DbgHelpTest, ModuleBaseAndUnwindTables) {
    const DbgHelp& lib = Library();
    Dl_info utl{}, self{};
    ASSERT_TRUE(dladdr(reinterpret_cast<const void*>(&lwcslen), &utl));
    ASSERT_TRUE(dladdr(reinterpret_cast<const void*>(&SymbolProbeTarget), &self));
    EXPECT_EQ(lib.SymGetModuleBase(nullptr, CodeAddress(&lwcslen)), Address(utl.dli_fbase));
    EXPECT_EQ(lib.SymGetModuleBase(nullptr, CodeAddress(&SymbolProbeTarget)),
              Address(self.dli_fbase));
    EXPECT_NE(lib.SymFunctionTableAccess(nullptr, CodeAddress(&lwcslen)), nullptr);

    // Addresses outside every module: no base, no tables, no symbol, no line.
    std::vector<char> heap(64);
    for (const DWORD64 outside : {DWORD64{0}, Address(heap.data()), ~DWORD64{0}}) {
        EXPECT_EQ(lib.SymGetModuleBase(nullptr, outside), 0u) << std::hex << outside;
        EXPECT_EQ(lib.SymFunctionTableAccess(nullptr, outside), nullptr) << std::hex << outside;
        EXPECT_EQ(SymbolName(outside), "");
        IMAGEHLP_LINE line{};
        EXPECT_FALSE(lib.SymGetLineFromAddr(nullptr, outside, nullptr, &line));
    }
}

TEST_F(DbgHelpTest, StackWalkFollowsTheCallChain) {
    ChainA(0);
    const auto& frames = g_chainFrames;
    ASSERT_FALSE(frames.empty());
    const int c = IndexOf(frames, "ChainC");
    const int b = IndexOf(frames, "ChainB");
    const int a = IndexOf(frames, "ChainA");
    const int body = IndexOf(frames, "StackWalkFollowsTheCallChain");
    EXPECT_EQ(c, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(body, 3);
    EXPECT_LE(frames.size(), 256u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const STACKFRAME& f = frames[i].frame;
        EXPECT_NE(f.AddrFrame.Offset, 0u) << i;
        EXPECT_EQ(f.AddrPC.Mode, AddrModeFlat);
        if (i > 0) {
            EXPECT_GE(f.AddrStack.Offset, frames[i - 1].frame.AddrStack.Offset) << i;
        }
        if (i + 1 < frames.size()) {
            EXPECT_EQ(f.AddrReturn.Offset, frames[i + 1].frame.AddrPC.Offset);
        }
    }
}

TEST_F(DbgHelpTest, StackWalkUpdatesTheContextAndAcceptsBothMachineTypes) {
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT start;
    ToContext(uc, &start);
    const auto amd64 = Walk(start, IMAGE_FILE_MACHINE_AMD64);
    const auto i386 = Walk(start, IMAGE_FILE_MACHINE_I386);
    ASSERT_GE(amd64.size(), 2u);
    ASSERT_EQ(amd64.size(), i386.size());
    for (std::size_t i = 0; i < amd64.size(); ++i)
        EXPECT_EQ(amd64[i].frame.AddrPC.Offset, i386[i].frame.AddrPC.Offset) << i;
    EXPECT_EQ(amd64[0].frame.AddrPC.Offset, start.Rip);
    EXPECT_EQ(amd64[0].frame.AddrStack.Offset, start.Rsp);

    // Each later call moves the context to the frame it returns.
    CONTEXT ctx = start;
    STACKFRAME frame{};
    const DbgHelp& lib = Library();
    ASSERT_TRUE(lib.StackWalk(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, &frame, &ctx, nullptr,
                              nullptr, nullptr, nullptr));
    EXPECT_EQ(ctx.Rip, start.Rip);
    ASSERT_TRUE(lib.StackWalk(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, &frame, &ctx, nullptr,
                              nullptr, nullptr, nullptr));
    EXPECT_EQ(ctx.Rip, frame.AddrPC.Offset);
    EXPECT_EQ(ctx.Rsp, frame.AddrStack.Offset);

    STACKFRAME other{};
    EXPECT_FALSE(lib.StackWalk(0x1c0 /* ARM */, nullptr, nullptr, &other, &ctx, nullptr, nullptr,
                               nullptr, nullptr));
    EXPECT_FALSE(lib.StackWalk(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, &other, nullptr, nullptr,
                               nullptr, nullptr, nullptr));
    EXPECT_FALSE(lib.StackWalk(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, nullptr, &ctx, nullptr,
                               nullptr, nullptr, nullptr));
}

TEST_F(DbgHelpTest, StackWalkFromAFaultContextInsideTheSignalHandler) {
    struct sigaction action {
    }, previous{};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGSEGV, &action, &previous), 0);
    if (sigsetjmp(g_faultReturn, 1) == 0) FaultCaller(0);
    sigaction(SIGSEGV, &previous, nullptr);

    const auto& frames = g_faultFrames;
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(IndexOf(frames, "FaultingRead"), 0);
    EXPECT_EQ(IndexOf(frames, "FaultCaller"), 1);
    EXPECT_EQ(IndexOf(frames, "StackWalkFromAFaultContext"), 2);

    // The faulting instruction has a line in this file.
    IMAGEHLP_LINE line{};
    ASSERT_TRUE(
        Library().SymGetLineFromAddr(nullptr, frames[0].frame.AddrPC.Offset, nullptr, &line));
    EXPECT_NE(std::string(line.FileName).find("test_dbghelp.cpp"), std::string::npos);
}

TEST_F(DbgHelpTest, CorruptContextsEndTheWalkWithoutFaulting) {
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT real;
    ToContext(uc, &real);

    // A stack of words that all point back into it: a loop for a naive walker.
    std::vector<DWORD64> loop(64);
    for (auto& w : loop) w = Address(loop.data());

    std::vector<CONTEXT> bad(5, real);
    bad[0].Rsp = 0x10, bad[0].Rbp = 0xdead0000;
    bad[1].Rip = 0, bad[1].Rsp = 0, bad[1].Rbp = 0;
    bad[2].Rip = 0x1234, bad[2].Rsp = ~DWORD64{0} - 4;
    bad[3].Rsp = bad[3].Rbp = Address(loop.data());
    bad[4].Rip = Address(loop.data());  // not code
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const auto frames = Walk(bad[i]);
        EXPECT_LE(frames.size(), 256u) << i;
    }
}

TEST_F(DbgHelpTest, ChildProcessUsesTheInheritedSession) {
    // Fault reports are often made in forked children; the session set up
    // before the fork serves the child.
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const DbgHelp& lib = Library();
        bool ok = lib.SymInitialize(nullptr, nullptr, 1);
        ok = ok && SymbolName(CodeAddress(&SymbolProbeTarget)).find("SymbolProbeTarget") !=
                       std::string::npos;
        ChainA(0);
        ok = ok && IndexOf(g_chainFrames, "ChainC") == 0 && IndexOf(g_chainFrames, "ChainA") == 2;
        ok = ok && lib.SymCleanup(nullptr);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(DbgHelpTest, CleanupEndsTheSessionAndInitialiseStartsAnother) {
    const DbgHelp& lib = Library();
    const DWORD64 address = CodeAddress(&lwcslen);
    ASSERT_NE(lib.SymGetModuleBase(nullptr, address), 0u);
    ASSERT_TRUE(lib.SymCleanup(nullptr));
    EXPECT_EQ(lib.SymGetModuleBase(nullptr, address), 0u);
    EXPECT_EQ(SymbolName(address), "");
    EXPECT_FALSE(lib.SymCleanup(nullptr));  // nothing left to clean up

    // A search path (either separator) is accepted.
    ASSERT_TRUE(lib.SymInitialize(nullptr, "/nonexistent;/tmp:/usr/lib/debug", 1));
    EXPECT_NE(SymbolName(address), "");
    ASSERT_TRUE(lib.SymCleanup(nullptr));
    ASSERT_TRUE(lib.SymInitialize(nullptr, "", 0));  // restores the session for TearDown
    EXPECT_NE(lib.SymGetModuleBase(nullptr, address), 0u);
}

}  // namespace

// A function recorded under a file name longer than any 260-byte buffer.
#line 1 "dbghelp/a-directory-whose-only-purpose-is-length/a-very-long-directory-name-used-only-to-make-the-file-name-of-this-function-longer-than-the-two-hundred-and-sixty-bytes-that-the-crash-reporter-hands-over/and-another-directory-level-to-be-sure-of-the-length-of-the-whole-path/and-one-more-level-for-good-measure/long_file_name_probe.cpp"
namespace {
NOINLINE DWORD64 LongFileNameProbe() {
    const DWORD64 ra = ReturnAddress();
    asm volatile("" ::: "memory");
    return ra;
}
}  // namespace
