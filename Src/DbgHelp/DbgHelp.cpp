// The debugging-help library of the crash reporter: a small shared object
// (libutldbghelp.so.1) that the reporter loads at run time and looks up by the
// nine entry-point names it would find in the Windows debugging-help library.
//
// Symbols, source lines and the stack walk come from elfutils' libdw, which is
// itself loaded at run time (libdw.so.1), so neither this library nor its users
// need elfutils' development files. Everything works on the own process only:
// the process handle of every entry point is accepted and ignored.
//
// Heap and signals: the reporter calls in from a signal handler after a fault.
// The first SymInitialize of a process loads libdw and reads the module list
// (heap); the session's caches stay for the process's life, so a later
// SymInitialize with an unchanged set of loaded objects takes no heap. Lookups
// load a module's tables on first use and the unwinder allocates one small
// record per frame, so a fault inside malloc (with the allocator's lock held)
// can block the symbol path; the reporter's frame-pointer walk does not have
// that risk. libdw runs on a stack of this library's own, so the small
// alternate stack of a fault handler suffices for the caller.
#include <UTL/WinServices.h>

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "Platform/Arch.h"
#include "Platform/GuardedStack.h"
#include "Platform/SafeMemory.h"

#define DBGHELP_API extern "C" __attribute__((visibility("default")))

namespace {

// ---- The part of libdw's interface used here (declared by hand) -------------

typedef struct Dwfl Dwfl;
typedef struct Dwfl_Module Dwfl_Module;
typedef struct Dwfl_Line Dwfl_Line;
typedef struct Dwfl_Thread Dwfl_Thread;
typedef struct Dwfl_Frame Dwfl_Frame;
typedef struct Elf Elf;
typedef struct Dwarf_CFI Dwarf_CFI;
typedef std::uint64_t Dwarf_Addr;
typedef std::uint64_t Dwarf_Word;
typedef Elf64_Word GElf_Word;
typedef Elf64_Addr GElf_Addr;
typedef Elf64_Off GElf_Off;
typedef Elf64_Sym GElf_Sym;
typedef Elf64_Shdr GElf_Shdr;

enum { DWARF_CB_OK = 0, DWARF_CB_ABORT = 1 };

struct Dwfl_Callbacks {
    int (*find_elf)(Dwfl_Module*, void**, const char*, Dwarf_Addr, char**, Elf**);
    int (*find_debuginfo)(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, const char*,
                          GElf_Word, char**);
    int (*section_address)(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, GElf_Word,
                           const GElf_Shdr*, Dwarf_Addr*);
    char** debuginfo_path;
};

struct Dwfl_Thread_Callbacks {
    pid_t (*next_thread)(Dwfl*, void*, void**);
    bool (*get_thread)(Dwfl*, pid_t, void*, void**);
    bool (*memory_read)(Dwfl*, Dwarf_Addr, Dwarf_Word*, void*);
    bool (*set_initial_registers)(Dwfl_Thread*, void*);
    void (*detach)(Dwfl*, void*);
    void (*thread_detach)(Dwfl_Thread*, void*);
};

typedef int FindElfFn(Dwfl_Module*, void**, const char*, Dwarf_Addr, char**, Elf**);
typedef int FindDebuginfoFn(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, const char*,
                            GElf_Word, char**);

// Entry points of libdw, resolved once by name.
struct LibDw {
    Dwfl* (*begin)(const Dwfl_Callbacks*);
    int (*linux_proc_report)(Dwfl*, pid_t);
    void (*report_begin)(Dwfl*);
    int (*report_end)(Dwfl*, int (*)(Dwfl_Module*, void*, const char*, Dwarf_Addr, void*), void*);
    Dwfl_Module* (*addrmodule)(Dwfl*, Dwarf_Addr);
    const char* (*module_info)(Dwfl_Module*, void***, Dwarf_Addr*, Dwarf_Addr*, Dwarf_Addr*,
                               Dwarf_Addr*, const char**, const char**);
    const char* (*module_addrinfo)(Dwfl_Module*, GElf_Addr, GElf_Off*, GElf_Sym*, GElf_Word*, Elf**,
                                   Dwarf_Addr*);
    Dwfl_Line* (*module_getsrc)(Dwfl_Module*, Dwarf_Addr);
    const char* (*lineinfo)(Dwfl_Line*, Dwarf_Addr*, int*, int*, Dwarf_Word*, Dwarf_Word*);
    Elf* (*module_getelf)(Dwfl_Module*, GElf_Addr*);
    Dwarf_CFI* (*module_eh_cfi)(Dwfl_Module*, Dwarf_Addr*);
    bool (*attach_state)(Dwfl*, Elf*, pid_t, const Dwfl_Thread_Callbacks*, void*);
    bool (*thread_state_registers)(Dwfl_Thread*, int, unsigned, const Dwarf_Word*);
    void (*thread_state_register_pc)(Dwfl_Thread*, Dwarf_Word);
    int (*getthread_frames)(Dwfl*, pid_t, int (*)(Dwfl_Frame*, void*), void*);
    bool (*frame_pc)(Dwfl_Frame*, Dwarf_Addr*, bool*);
    int (*frame_reg)(Dwfl_Frame*, unsigned, Dwarf_Word*);
    FindElfFn* linux_proc_find_elf;
    FindDebuginfoFn* standard_find_debuginfo;
    FindDebuginfoFn* build_id_find_debuginfo;
};

const DWORD kSymOptUndName = 0x00000002u;  // demangle symbol names
const std::size_t kMaxFrames = 256;
const std::uint64_t kWalkMagic = 0x5554'4C57'414C'4B31ull;  // marks a STACKFRAME we filled

// One frame of the last walk: its program counter and the registers the
// unwinder knows for it (the callee-saved ones and the stack pointer).
constexpr unsigned kMaxSaved = 16;
struct WalkFrame {
    std::uint64_t pc;
    std::uint64_t sp;
    std::uint64_t saved[kMaxSaved];  // by the architecture's callee-saved list
    unsigned known;                  // bit i: saved[i] is known; bit 31: sp is known
};
constexpr unsigned kSpKnown = 1u << 31;

// ---- State ---------------------------------------------------------------------

LibDw g_dw;
void* g_dwHandle = nullptr;
bool g_dwLoadFailed = false;
Dwfl* g_dwfl = nullptr;
bool g_attached = false;
int g_sessions = 0;                   // SymInitialize calls not yet cleaned up
std::uint64_t g_moduleStamp = ~0ull;  // loaded-object counters at the last report
std::atomic<DWORD> g_options{kSymOptUndName};
std::atomic<pthread_t> g_lockOwner{0};  // 0: free
bool g_avoidDebuginfod = false;

char g_debugPathText[4096];
char* g_debugPath = nullptr;  // null: libdw's default search path
Dwfl_Callbacks g_callbacks;

char g_fileName[4096];  // file name handed out when the caller gives no buffer

// The walk being handed out, frame by frame.
WalkFrame g_frames[kMaxFrames];
std::size_t g_frameCount = 0;
std::uint64_t g_walkId = 0;
const CONTEXT* g_walkContext = nullptr;  // registers the unwinder starts from
pid_t g_walkTid = 0;

pid_t CurrentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// Serialises all use of libdw. A thread that faults while it holds the lock
// and re-enters from its fault handler is refused instead of deadlocking; a
// lock held by another thread is waited for at most about two seconds.
class SessionLock {
public:
    SessionLock() {
        const pthread_t self = pthread_self();
        for (int attempt = 0; attempt < 4000; ++attempt) {
            pthread_t expected = 0;
            if (g_lockOwner.compare_exchange_strong(expected, self)) {
                m_held = true;
                return;
            }
            if (expected == self) return;
            const timespec pause{0, 500000};
            nanosleep(&pause, nullptr);
        }
    }
    ~SessionLock() {
        if (m_held) g_lockOwner.store(0);
    }
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;
    bool held() const { return m_held; }

private:
    bool m_held = false;
};

// Copies text into a buffer of `size` bytes, cut to fit, always terminated.
void CopyCut(char* dest, std::size_t size, const char* text) {
    if (size == 0) return;
    std::size_t n = std::strlen(text);
    if (n >= size) n = size - 1;
    std::memcpy(dest, text, n);
    dest[n] = '\0';
}

// ---- Loading libdw ---------------------------------------------------------------

template <typename Fn>
bool Resolve(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(dlsym(g_dwHandle, name));
    return fn != nullptr;
}

bool LoadLibDw() {
    if (g_dwHandle) return true;
    if (g_dwLoadFailed) return false;
    g_dwHandle = dlopen("libdw.so.1", RTLD_NOW | RTLD_LOCAL);
    bool ok = g_dwHandle != nullptr;
    ok = ok && Resolve(g_dw.begin, "dwfl_begin");
    ok = ok && Resolve(g_dw.linux_proc_report, "dwfl_linux_proc_report");
    ok = ok && Resolve(g_dw.report_begin, "dwfl_report_begin");
    ok = ok && Resolve(g_dw.report_end, "dwfl_report_end");
    ok = ok && Resolve(g_dw.addrmodule, "dwfl_addrmodule");
    ok = ok && Resolve(g_dw.module_info, "dwfl_module_info");
    ok = ok && Resolve(g_dw.module_addrinfo, "dwfl_module_addrinfo");
    ok = ok && Resolve(g_dw.module_getsrc, "dwfl_module_getsrc");
    ok = ok && Resolve(g_dw.lineinfo, "dwfl_lineinfo");
    ok = ok && Resolve(g_dw.module_getelf, "dwfl_module_getelf");
    ok = ok && Resolve(g_dw.module_eh_cfi, "dwfl_module_eh_cfi");
    ok = ok && Resolve(g_dw.attach_state, "dwfl_attach_state");
    ok = ok && Resolve(g_dw.thread_state_registers, "dwfl_thread_state_registers");
    ok = ok && Resolve(g_dw.thread_state_register_pc, "dwfl_thread_state_register_pc");
    ok = ok && Resolve(g_dw.getthread_frames, "dwfl_getthread_frames");
    ok = ok && Resolve(g_dw.frame_pc, "dwfl_frame_pc");
    ok = ok && Resolve(g_dw.linux_proc_find_elf, "dwfl_linux_proc_find_elf");
    ok = ok && Resolve(g_dw.standard_find_debuginfo, "dwfl_standard_find_debuginfo");
    ok = ok && Resolve(g_dw.build_id_find_debuginfo, "dwfl_build_id_find_debuginfo");
    if (!ok) {
        if (g_dwHandle) dlclose(g_dwHandle);
        g_dwHandle = nullptr;
        g_dwLoadFailed = true;
        return false;
    }
    // Register values of unwound frames (newer libdw only); without it the
    // walk still works, frames just carry their program counter only.
    Resolve(g_dw.frame_reg, "dwfl_frame_reg");
    return true;
}

// Separate debug files are found through libdw's standard search, except when
// a debuginfod server is configured: a crash report must not wait on the
// network, so then only the local build-id directories are consulted.
int FindDebuginfo(Dwfl_Module* mod, void** userdata, const char* modname, Dwarf_Addr base,
                  const char* fileName, const char* debuglink, GElf_Word crc, char** found) {
    FindDebuginfoFn* find =
        g_avoidDebuginfod ? g_dw.build_id_find_debuginfo : g_dw.standard_find_debuginfo;
    return find(mod, userdata, modname, base, fileName, debuglink, crc, found);
}

// The search path: libdw's default places, then the caller's directories
// (separated by ';' or ':'). Text beyond the buffer is dropped.
void SetDebugPath(const char* searchPath) {
    if (!searchPath || !*searchPath) {
        g_debugPath = nullptr;
        return;
    }
    CopyCut(g_debugPathText, sizeof g_debugPathText, ":.debug:/usr/lib/debug:");
    std::size_t used = std::strlen(g_debugPathText);
    for (const char* p = searchPath; *p && used + 1 < sizeof g_debugPathText; ++p) {
        g_debugPathText[used++] = (*p == ';') ? ':' : *p;
    }
    g_debugPathText[used] = '\0';
    g_debugPath = g_debugPathText;
}

// ---- Unwinder callbacks: one thread, registers from the caller's context ----------

pid_t NextThread(Dwfl*, void* arg, void** threadArg) {
    if (*threadArg) return 0;
    *threadArg = arg;
    return g_walkTid;
}

bool GetThread(Dwfl*, pid_t, void* arg, void** threadArg) {
    *threadArg = arg;
    return true;
}

// The unwinder reads a handful of words per frame, mostly from the same few
// stack pages: one page is copied per system call and kept for the rest of
// the walk (the walk starts with an empty cache).
const std::uint64_t kPageSize = 4096;
unsigned char g_page[kPageSize];
std::uint64_t g_pageAddress = 0;
bool g_pageValid = false;

// A word of the target's size (4 bytes on 32-bit architectures), zero-extended.
bool ReadTargetWord(std::uint64_t address, Dwarf_Word* result) {
    std::uintptr_t word = 0;
    if (!UTL::platform::ReadWord(static_cast<std::uintptr_t>(address), &word)) return false;
    *result = word;
    return true;
}

bool MemoryRead(Dwfl*, Dwarf_Addr address, Dwarf_Word* result, void*) {
    const std::uint64_t page = address & ~(kPageSize - 1);
    const std::uint64_t offset = address - page;
    if (offset + sizeof(std::uintptr_t) > kPageSize) return ReadTargetWord(address, result);
    if (!g_pageValid || g_pageAddress != page) {
        g_pageValid = UTL::platform::ReadMemory(
            reinterpret_cast<const void*>(static_cast<std::uintptr_t>(page)), g_page, kPageSize);
        g_pageAddress = page;
        if (!g_pageValid) return ReadTargetWord(address, result);
    }
    std::uintptr_t word = 0;
    std::memcpy(&word, g_page + offset, sizeof word);
    *result = word;
    return true;
}

bool SetInitialRegisters(Dwfl_Thread* thread, void*) {
    Dwarf_Word registers[64];
    Dwarf_Word pc = 0;
    bool pcSeparate = false;
    const unsigned count =
        UTL::arch::DwarfRegisters(*g_walkContext, registers, 64, &pc, &pcSeparate);
    if (count == 0 || !g_dw.thread_state_registers(thread, 0, count, registers)) return false;
    if (pcSeparate) g_dw.thread_state_register_pc(thread, pc);
    return true;
}

const Dwfl_Thread_Callbacks g_threadCallbacks = {NextThread,          GetThread, MemoryRead,
                                                 SetInitialRegisters, nullptr,   nullptr};

bool ReadFrameReg(Dwfl_Frame* state, unsigned regno, std::uint64_t* value) {
    Dwarf_Word v = 0;
    if (!g_dw.frame_reg || g_dw.frame_reg(state, regno, &v) != 0) return false;
    *value = v;
    return true;
}

int CollectFrame(Dwfl_Frame* state, void*) {
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!g_dw.frame_pc(state, &pc, &activation) || pc == 0) return DWARF_CB_ABORT;
    WalkFrame& f = g_frames[g_frameCount];
    f = WalkFrame{};
    f.pc = pc;
    if (ReadFrameReg(state, UTL::arch::kDwarfStackPointer, &f.sp)) f.known |= kSpKnown;
    for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount && i < kMaxSaved; ++i) {
        if (ReadFrameReg(state, UTL::arch::kDwarfCalleeSaved[i], &f.saved[i])) f.known |= 1u << i;
    }
    // A frame that repeats the previous one's stack position and program
    // counter would repeat forever: end the walk there.
    if (g_frameCount > 0) {
        const WalkFrame& prev = g_frames[g_frameCount - 1];
        if (prev.pc == f.pc && prev.sp == f.sp) return DWARF_CB_ABORT;
    }
    ++g_frameCount;
    return g_frameCount < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

// ---- Module list ------------------------------------------------------------------

// Counts of objects the dynamic loader has added and removed so far: when they
// are unchanged, the module list need not be read again.
std::uint64_t LoadedObjectsStamp() {
    std::uint64_t stamp = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t size, void* out) -> int {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
                *static_cast<std::uint64_t*>(out) =
                    (static_cast<std::uint64_t>(info->dlpi_adds) << 32) ^ info->dlpi_subs;
            }
            return 1;
        },
        &stamp);
    return stamp;
}

bool ReportModules() {
    g_dw.report_begin(g_dwfl);
    const int reported = g_dw.linux_proc_report(g_dwfl, getpid());
    const int ended = g_dw.report_end(g_dwfl, nullptr, nullptr);
    return reported == 0 && ended == 0;
}

// Prepares the unwinder; the architecture comes from this library's own
// module, which stays reported for as long as the library is loaded.
void AttachUnwinder() {
    if (g_attached) return;
    Dwfl_Module* own = g_dw.addrmodule(g_dwfl, UTL::arch::Address64(&CurrentTid));
    GElf_Addr bias = 0;
    Elf* elf = own ? g_dw.module_getelf(own, &bias) : nullptr;
    if (!elf) return;
    g_attached = g_dw.attach_state(g_dwfl, elf, getpid(), &g_threadCallbacks, nullptr);
}

bool StartSession() {
    if (!LoadLibDw()) return false;
    const char* urls = std::getenv("DEBUGINFOD_URLS");
    g_avoidDebuginfod = urls && *urls;
    if (!g_dwfl) {
        g_callbacks.find_elf = g_dw.linux_proc_find_elf;
        g_callbacks.find_debuginfo = FindDebuginfo;
        g_callbacks.section_address = nullptr;
        g_callbacks.debuginfo_path = &g_debugPath;
        g_dwfl = g_dw.begin(&g_callbacks);
        if (!g_dwfl) return false;
        g_moduleStamp = ~0ull;
    }
    const std::uint64_t stamp = LoadedObjectsStamp();
    if (stamp != g_moduleStamp) {
        if (!ReportModules()) return false;
        g_moduleStamp = stamp;
    }
    AttachUnwinder();
    return true;
}

// The module whose address range holds `address`, or null. The range is
// checked again here: libdw hands back the last module for addresses above
// every module.
Dwfl_Module* ModuleOf(DWORD64 address, Dwarf_Addr* base = nullptr) {
    if (g_sessions <= 0 || !g_dwfl) return nullptr;
    Dwfl_Module* mod = g_dw.addrmodule(g_dwfl, address);
    Dwarf_Addr start = 0, end = 0;
    if (!mod || !g_dw.module_info(mod, nullptr, &start, &end, nullptr, nullptr, nullptr, nullptr))
        return nullptr;
    if (address < start || address >= end) return nullptr;
    if (base) *base = start;
    return mod;
}

// ---- Stack walk ---------------------------------------------------------------------

// Walks by the unwind tables (32-bit ARM, see Arch.h), which libdw does not
// read, from `context` into g_frames.
void WalkByUnwindTables(CONTEXT walk) {
    for (bool first = true; g_frameCount < kMaxFrames; first = false) {
        std::uint64_t registers[64];
        std::uint64_t pc = 0;
        bool pcSeparate = false;
        UTL::arch::DwarfRegisters(walk, registers, 64, &pc, &pcSeparate);
        WalkFrame& f = g_frames[g_frameCount++];
        f = WalkFrame{};
        f.pc = UTL::arch::ProgramCounter(walk);
        f.sp = UTL::arch::StackPointer(walk);
        f.known = kSpKnown;
        for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount && i < kMaxSaved; ++i) {
            f.saved[i] = registers[UTL::arch::kDwarfCalleeSaved[i]];
            f.known |= 1u << i;
        }
        if (!UTL::arch::UnwindCaller(walk, first)) break;
    }
}

// Walks from `context` into g_frames; returns the number of frames found.
std::size_t WalkFrom(const CONTEXT* context) {
    g_frameCount = 0;
    ++g_walkId;
    if (UTL::arch::kWalksByUnwindTables) {
        WalkByUnwindTables(*context);
        return g_frameCount;
    }
    if (!g_attached) return 0;
    g_walkContext = context;
    g_walkTid = CurrentTid();
    g_pageValid = false;
    g_dw.getthread_frames(g_dwfl, g_walkTid, CollectFrame, nullptr);
    g_walkContext = nullptr;
    return g_frameCount;
}

void SetAddress(ADDRESS& a, std::uint64_t offset) {
    a.Offset = offset;
    a.Segment = 0;
    a.Mode = AddrModeFlat;
}

// Frame address: the canonical frame address (the caller's stack pointer)
// where known, else the frame's own stack or frame pointer.
std::uint64_t FrameAddress(std::size_t index) {
    if (index + 1 < g_frameCount && (g_frames[index + 1].known & kSpKnown))
        return g_frames[index + 1].sp;
    if ((g_frames[index].known & kSpKnown) && g_frames[index].sp) return g_frames[index].sp;
    for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount; ++i) {
        if (UTL::arch::kDwarfCalleeSaved[i] == UTL::arch::kDwarfFramePointer &&
            (g_frames[index].known & (1u << i)))
            return g_frames[index].saved[i];
    }
    return 0;
}

void FillStackFrame(STACKFRAME* frame, std::size_t index) {
    const WalkFrame& f = g_frames[index];
    std::memset(frame, 0, sizeof *frame);
    SetAddress(frame->AddrPC, f.pc);
    SetAddress(frame->AddrReturn, index + 1 < g_frameCount ? g_frames[index + 1].pc : 0);
    SetAddress(frame->AddrFrame, FrameAddress(index));
    SetAddress(frame->AddrStack, (f.known & kSpKnown) ? f.sp : 0);
    frame->Reserved[0] = kWalkMagic;
    frame->Reserved[1] = g_walkId;
    frame->Reserved[2] = index;
}

// Moves the caller's context to the registers known for frame `index`.
void UpdateContext(CONTEXT* context, std::size_t index) {
    const WalkFrame& f = g_frames[index];
    const UTL::arch::Address pc = static_cast<UTL::arch::Address>(f.pc);
    UTL::arch::SetControlRegisters(*context, pc,
                                   (f.known & kSpKnown) ? static_cast<UTL::arch::Address>(f.sp)
                                                        : UTL::arch::StackPointer(*context),
                                   UTL::arch::FramePointer(*context));
    for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount && i < kMaxSaved; ++i) {
        if (f.known & (1u << i))
            UTL::arch::SetDwarfRegister(*context, UTL::arch::kDwarfCalleeSaved[i], f.saved[i]);
    }
}

// ---- Names ----------------------------------------------------------------------------

// Writes the (demangled) symbol name into the caller's record, cut to fit.
void StoreSymbolName(IMAGEHLP_SYMBOL* symbol, const char* name) {
    std::size_t capacity = symbol->MaxNameLength;
    if (symbol->SizeOfStruct != 0) {
        const std::size_t room = symbol->SizeOfStruct - offsetof(IMAGEHLP_SYMBOL, Name);
        if (room < capacity) capacity = room;
    }
    if (capacity == 0) return;
    char* demangled = nullptr;
    if ((g_options.load() & kSymOptUndName) && name[0] == '_' && name[1] == 'Z') {
        int status = 0;
        demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    }
    CopyCut(symbol->Name, capacity, demangled ? demangled : name);
    std::free(demangled);
}

// ---- A stack of the library's own ----------------------------------------------

// Reading a module's line table for the first time takes about 160 KiB of
// stack inside libdw. The reporter calls in from a signal handler, often on a
// small alternate signal stack (after a stack overflow there is nothing else),
// so all work with libdw runs on a stack of this library's own: 1 MiB, mapped
// once with a guard page below it. Sanitizer builds keep the caller's stack,
// since their run-times track the stacks of each thread.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DBGHELP_OWN_STACK 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define DBGHELP_OWN_STACK 0
#endif
#endif
#ifndef DBGHELP_OWN_STACK
#define DBGHELP_OWN_STACK 1
#endif

void* g_ownStackTop = nullptr;  // null: run on the caller's stack

void MapOwnStack() {
#if DBGHELP_OWN_STACK
    if (g_ownStackTop) return;
    UTL::platform::GuardedStack stack;
    if (UTL::platform::MapGuardedStack(std::size_t{1} << 20, stack)) g_ownStackTop = stack.Top();
#endif
}

// Runs body() on the library's own stack when there is one.
template <typename Body>
auto OnOwnStack(Body body) -> decltype(body()) {
    using Result = decltype(body());
    struct Job {
        Body* body;
        Result result;
        static void Run(void* p) noexcept {
            Job* job = static_cast<Job*>(p);
            job->result = (*job->body)();
        }
    };
    if (!g_ownStackTop) return body();
    Job job{&body, Result{}};
    UTL::arch::CallOnStack(&Job::Run, &job, g_ownStackTop);
    return job.result;
}

}  // namespace

// ---- Entry points ------------------------------------------------------------------------

DBGHELP_API BOOL SymInitialize(HANDLE /*process*/, const char* searchPath, BOOL /*invadeProcess*/) {
    SessionLock lock;
    if (!lock.held()) return 0;
    SetDebugPath(searchPath);
    MapOwnStack();
    if (!OnOwnStack([] { return StartSession(); })) return 0;
    if (g_sessions < 0x7FFFFFFF) ++g_sessions;
    return 1;
}

DBGHELP_API BOOL SymCleanup(HANDLE /*process*/) {
    SessionLock lock;
    if (!lock.held() || g_sessions <= 0) return 0;
    --g_sessions;
    return 1;
}

DBGHELP_API DWORD SymGetOptions() {
    return g_options.load();
}

DBGHELP_API DWORD SymSetOptions(DWORD options) {
    g_options.store(options);
    return options;
}

DBGHELP_API DWORD64 SymGetModuleBase(HANDLE /*process*/, DWORD64 address) {
    SessionLock lock;
    if (!lock.held()) return 0;
    return OnOwnStack([address]() -> DWORD64 {
        Dwarf_Addr base = 0;
        return ModuleOf(address, &base) ? base : 0;
    });
}

DBGHELP_API PVOID SymFunctionTableAccess(HANDLE /*process*/, DWORD64 address) {
    SessionLock lock;
    if (!lock.held()) return nullptr;
    return OnOwnStack([address]() -> PVOID {
        Dwfl_Module* mod = ModuleOf(address);
        Dwarf_Addr bias = 0;
        return mod ? g_dw.module_eh_cfi(mod, &bias) : nullptr;
    });
}

DBGHELP_API BOOL SymGetSymFromAddr(HANDLE /*process*/, DWORD64 address, DWORD64* displacement,
                                   IMAGEHLP_SYMBOL* symbol) {
    if (!symbol) return 0;
    if (symbol->SizeOfStruct != 0 && symbol->SizeOfStruct < offsetof(IMAGEHLP_SYMBOL, Name))
        return 0;
    SessionLock lock;
    if (!lock.held()) return 0;
    return OnOwnStack([&]() -> BOOL {
        Dwfl_Module* mod = ModuleOf(address);
        if (!mod) return 0;
        GElf_Off offset = 0;
        GElf_Sym sym{};
        const char* name =
            g_dw.module_addrinfo(mod, address, &offset, &sym, nullptr, nullptr, nullptr);
        if (!name || !*name) return 0;
        // A symbol with a size covers only that many bytes; a sizeless one
        // (assembly labels) covers up to the next symbol.
        if (sym.st_size != 0 && offset >= sym.st_size) return 0;
        symbol->Address = address - offset;
        symbol->Size = static_cast<DWORD>(sym.st_size > 0xFFFFFFFFu ? 0xFFFFFFFFu : sym.st_size);
        symbol->Flags = 0;
        StoreSymbolName(symbol, name);
        if (displacement) *displacement = offset;
        return 1;
    });
}

DBGHELP_API BOOL SymGetLineFromAddr(HANDLE /*process*/, DWORD64 address, DWORD* displacement,
                                    IMAGEHLP_LINE* line) {
    if (!line) return 0;
    SessionLock lock;
    if (!lock.held()) return 0;
    return OnOwnStack([&]() -> BOOL {
        Dwfl_Module* mod = ModuleOf(address);
        if (!mod) return 0;
        Dwfl_Line* found = g_dw.module_getsrc(mod, address);
        if (!found) return 0;
        Dwarf_Addr lineAddress = 0;
        int lineNumber = 0;
        const char* file =
            g_dw.lineinfo(found, &lineAddress, &lineNumber, nullptr, nullptr, nullptr);
        if (!file || lineNumber <= 0) return 0;
        if (line->FileName) {
            CopyCut(line->FileName, 260, file);
        } else {
            CopyCut(g_fileName, sizeof g_fileName, file);
            line->FileName = g_fileName;
        }
        line->Key = found;
        line->LineNumber = static_cast<DWORD>(lineNumber);
        line->Address = lineAddress;
        if (displacement) {
            const std::uint64_t delta = lineAddress <= address ? address - lineAddress : 0;
            *displacement = static_cast<DWORD>(delta > 0xFFFFFFFFu ? 0 : delta);
        }
        return 1;
    });
}

DBGHELP_API BOOL StackWalk(DWORD machine, HANDLE /*process*/, HANDLE /*thread*/, STACKFRAME* frame,
                           PVOID context, PREAD_PROCESS_MEMORY_ROUTINE /*readMemory*/,
                           PFUNCTION_TABLE_ACCESS_ROUTINE /*functionTableAccess*/,
                           PGET_MODULE_BASE_ROUTINE /*getModuleBase*/,
                           PTRANSLATE_ADDRESS_ROUTINE /*translateAddress*/) {
    if (machine != UTL::arch::kMachineType) return 0;
    if (!frame || !context) return 0;
    CONTEXT* ctx = static_cast<CONTEXT*>(context);
    SessionLock lock;
    if (!lock.held() || g_sessions <= 0) return 0;

    std::size_t next = 0;
    if (frame->Reserved[0] != kWalkMagic) {
        // First call: walk the whole stack now, hand out the context's frame.
        if (OnOwnStack([ctx] { return WalkFrom(ctx); }) == 0) return 0;
    } else if (frame->Reserved[1] == g_walkId) {
        next = static_cast<std::size_t>(frame->Reserved[2]) + 1;
    } else {
        // Another walk has replaced ours: continue from the registers of the
        // frame last handed out, which the context holds.
        if (OnOwnStack([ctx] { return WalkFrom(ctx); }) == 0) return 0;
        next = 1;
    }
    if (next >= g_frameCount) return 0;
    FillStackFrame(frame, next);
    if (frame->AddrFrame.Offset == 0) return 0;
    if (next > 0) UpdateContext(ctx, next);
    return 1;
}

// The reporter calls these through the PFN_ types of <UTL/WinServices.h>.
#define UTL_CHECK_ENTRY(name)                                       \
    static_assert(std::is_same<decltype(&name), PFN_##name>::value, \
                  #name " has the type the reporter calls it with")
UTL_CHECK_ENTRY(SymInitialize);
UTL_CHECK_ENTRY(SymCleanup);
UTL_CHECK_ENTRY(StackWalk);
UTL_CHECK_ENTRY(SymFunctionTableAccess);
UTL_CHECK_ENTRY(SymGetModuleBase);
UTL_CHECK_ENTRY(SymGetSymFromAddr);
UTL_CHECK_ENTRY(SymGetLineFromAddr);
UTL_CHECK_ENTRY(SymGetOptions);
UTL_CHECK_ENTRY(SymSetOptions);
#undef UTL_CHECK_ENTRY
