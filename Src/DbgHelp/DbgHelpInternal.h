// Internal interface of the debugging-help library's parts: the libdw entry
// points it resolves (declared by hand, so no elfutils headers are needed),
// the session lock and the own stack every libdw call runs on.
#pragma once

#include <UTL/WinServices.h>

#include <elf.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Arch.h"

namespace UTL::dbghelp {

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

// ---- Loading libdw (LibDw.cpp) -------------------------------------------------

extern LibDw g_dw;
bool LoadLibDw();
// The search path: libdw's default places, then the caller's directories
// (separated by ';' or ':'). Text beyond the buffer is dropped.
void SetDebugPath(const char* searchPath);
// Reads whether a debuginfod server is configured (then only local build-id
// directories are searched).
void ChooseDebuginfoSearch();
// A new libdw session with this library's callbacks, or null.
Dwfl* BeginDwfl();

// ---- Session and modules (Session.cpp) -------------------------------------------

extern Dwfl* g_dwfl;
extern int g_sessions;  // SymInitialize calls not yet cleaned up
extern std::atomic<DWORD> g_options;
bool StartSession();
// The module whose address range holds `address`, or null.
Dwfl_Module* ModuleOf(DWORD64 address, Dwarf_Addr* base = nullptr);

// Serialises all use of libdw. A thread that faults while it holds the lock
// and re-enters from its fault handler is refused instead of deadlocking; a
// lock held by another thread is waited for at most about two seconds. A
// child of fork() starts with the lock free.
class SessionLock {
public:
    SessionLock();
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;
    bool held() const { return m_held; }

private:
    bool m_held = false;
};

// ---- The walk (Walk.cpp) -----------------------------------------------------------

// Prepares the unwinder once libdw knows the modules; a dropped session's
// unwinder is forgotten.
void AttachUnwinder();
void DetachUnwinder();
// The walk behind StackWalk: the first call (or one after another walk)
// walks the whole stack from `context`; each call hands out the next frame
// and moves `context` to its registers.
BOOL NextFrame(STACKFRAME* frame, CONTEXT* context);

// ---- Names and lines (Names.cpp) ---------------------------------------------------

BOOL SymbolFromAddress(DWORD64 address, DWORD64* displacement, IMAGEHLP_SYMBOL* symbol);
BOOL LineFromAddress(DWORD64 address, DWORD* displacement, IMAGEHLP_LINE* line);

// Copies text into a buffer of `size` bytes, cut to fit, always terminated.
inline void CopyCut(char* dest, std::size_t size, const char* text) {
    if (size == 0) return;
    std::size_t n = std::strlen(text);
    if (n >= size) n = size - 1;
    std::memcpy(dest, text, n);
    dest[n] = '\0';
}

// ---- A stack of the library's own (OwnStack.cpp) -------------------------------------

extern void* g_ownStackTop;  // null: run on the caller's stack
void MapOwnStack();

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

}  // namespace UTL::dbghelp
