// The Windows types of the crash reporter's interfaces: handles, the thread
// context, exception records, the debugging-help records and entry-point
// types, the version record, and the exception codes that hardware faults are
// reported as. The services behind them (report file, module paths, version
// query, fault translation) are implemented over POSIX inside the library;
// of those, only _set_se_translator is part of the interface.
//
// Constants are typed (constexpr) rather than macros, so they never collide
// with names in an application's own scopes.
//
// The thread context has the registers of the architecture the library is
// built for: the 32-bit x86 registers (i386), their 64-bit forms with R8-R15
// (x86-64), X0-X28, FP, LR, SP, PC and PSTATE (aarch64), or R0-R12, SP, LR,
// PC and CPSR (32-bit ARM).
#pragma once

#include <cstdint>

#include <UTL/Export.h>

typedef void* HANDLE;
typedef void* HMODULE;
typedef void* PVOID;
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int DWORD;  // 32 bits, as on Windows
typedef std::uint64_t DWORD64;
typedef std::uintptr_t ULONG_PTR;
typedef char CHAR;

// The handle of a file that could not be opened.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// ---- Thread context -------------------------------------------------------------

// Which register groups a context holds (ContextFlags); the values are the
// x86 ones on every architecture.
constexpr DWORD CONTEXT_CONTROL = 0x00010001u;   // instruction, stack and frame pointers, flags
constexpr DWORD CONTEXT_INTEGER = 0x00010002u;   // general registers
constexpr DWORD CONTEXT_SEGMENTS = 0x00010004u;  // segment registers (x86)
constexpr DWORD CONTEXT_FULL = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;

#if defined(__x86_64__)
// Registers of one thread (x86-64).
struct CONTEXT {
    DWORD ContextFlags;
    DWORD EFlags;
    WORD SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
    DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
    DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
    DWORD64 Rip;
};
#elif defined(__i386__)
// Registers of one thread (i386), in the order of the Windows x86 context.
struct CONTEXT {
    DWORD ContextFlags;
    DWORD SegGs, SegFs, SegEs, SegDs;
    DWORD Edi, Esi, Ebx, Edx, Ecx, Eax;
    DWORD Ebp, Eip, SegCs, EFlags, Esp, SegSs;
};
#elif defined(__aarch64__)
// Registers of one thread (aarch64): X0-X28, the frame pointer (X29), the
// link register (X30), SP, PC and PSTATE (Cpsr).
struct CONTEXT {
    DWORD ContextFlags;
    DWORD Cpsr;
    DWORD64 X[29];
    DWORD64 Fp, Lr, Sp, Pc;
};
#elif defined(__arm__)
// Registers of one thread (32-bit ARM): R0-R12, SP (R13), LR (R14), PC (R15)
// and CPSR.
struct CONTEXT {
    DWORD ContextFlags;
    DWORD R[13];
    DWORD Sp, Lr, Pc, Cpsr;
};
#else
#error "UTL supports x86-64, i386, aarch64 and 32-bit ARM"
#endif
typedef CONTEXT* PCONTEXT;

// ---- Exception records -------------------------------------------------------------

constexpr DWORD EXCEPTION_NONCONTINUABLE = 0x1u;
constexpr DWORD EXCEPTION_UNWINDING = 0x2u;  // the exception is being unwound
constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;

struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};
typedef EXCEPTION_RECORD* PEXCEPTION_RECORD;

struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;
    CONTEXT* ContextRecord;
};
typedef EXCEPTION_POINTERS* PEXCEPTION_POINTERS;

// Exception codes of hardware faults. An access violation carries two
// arguments: 0 (read), 1 (write) or 8 (execute), and the address accessed.
constexpr DWORD EXCEPTION_GUARD_PAGE = 0x80000001u;
constexpr DWORD EXCEPTION_DATATYPE_MISALIGNMENT = 0x80000002u;
constexpr DWORD EXCEPTION_BREAKPOINT = 0x80000003u;
constexpr DWORD EXCEPTION_SINGLE_STEP = 0x80000004u;
constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005u;
constexpr DWORD EXCEPTION_IN_PAGE_ERROR = 0xC0000006u;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du;
constexpr DWORD EXCEPTION_ARRAY_BOUNDS_EXCEEDED = 0xC000008Cu;
constexpr DWORD EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008Du;
constexpr DWORD EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu;
constexpr DWORD EXCEPTION_FLT_INEXACT_RESULT = 0xC000008Fu;
constexpr DWORD EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u;
constexpr DWORD EXCEPTION_FLT_OVERFLOW = 0xC0000091u;
constexpr DWORD EXCEPTION_FLT_STACK_CHECK = 0xC0000092u;
constexpr DWORD EXCEPTION_FLT_UNDERFLOW = 0xC0000093u;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u;
constexpr DWORD EXCEPTION_INT_OVERFLOW = 0xC0000095u;
constexpr DWORD EXCEPTION_PRIV_INSTRUCTION = 0xC0000096u;
constexpr DWORD EXCEPTION_STACK_OVERFLOW = 0xC00000FDu;

// ---- Fault translation ---------------------------------------------------------------

// Per-thread translator of hardware faults: called on the faulting thread with
// the exception code and the exception's record and registers.
typedef void (*_se_translator_function)(unsigned int, EXCEPTION_POINTERS*);

// Installs the calling thread's translator and returns the one it replaces
// (null: none). A fault is a signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGTRAP); the first translator of the process installs the library's
// handlers, the first of a thread gives the thread an alternate signal stack,
// so that a stack overflow can be reported. A translator that throws turns the
// fault into a C++ exception at the faulting instruction. A fault on a thread
// without translator, or one that the translator returns from, goes to the
// handler that was installed before, else the process dies by the signal.
UTL_API _se_translator_function _set_se_translator(_se_translator_function translator);

// ---- Debugging-help records -----------------------------------------------------------

constexpr DWORD IMAGE_FILE_MACHINE_I386 = 0x014Cu;
constexpr DWORD IMAGE_FILE_MACHINE_AMD64 = 0x8664u;
constexpr DWORD IMAGE_FILE_MACHINE_ARM64 = 0xAA64u;
constexpr DWORD IMAGE_FILE_MACHINE_ARMNT = 0x01C4u;  // 32-bit ARM, Thumb-2
constexpr DWORD SYMOPT_DEFERRED_LOADS = 0x00000004u;
constexpr DWORD SYMOPT_LOAD_LINES = 0x00000010u;

enum ADDRESS_MODE { AddrMode1616, AddrMode1632, AddrModeReal, AddrModeFlat };

struct ADDRESS {
    DWORD64 Offset;
    WORD Segment;
    ADDRESS_MODE Mode;
};

struct STACKFRAME {
    ADDRESS AddrPC;
    ADDRESS AddrReturn;
    ADDRESS AddrFrame;
    ADDRESS AddrStack;
    PVOID FuncTableEntry;
    DWORD64 Params[4];
    BOOL Far;
    BOOL Virtual;
    DWORD64 Reserved[3];
};

struct IMAGEHLP_LINE {
    DWORD SizeOfStruct;
    PVOID Key;
    DWORD LineNumber;
    CHAR* FileName;
    DWORD64 Address;
};

struct IMAGEHLP_SYMBOL {
    DWORD SizeOfStruct;
    DWORD64 Address;
    DWORD Size;
    DWORD Flags;
    DWORD MaxNameLength;
    CHAR Name[1];
};

// Entry points of the debugging-help library, looked up by name at run time.
extern "C" {
typedef BOOL (*PREAD_PROCESS_MEMORY_ROUTINE)(HANDLE process, DWORD64 base, PVOID buffer, DWORD size,
                                             DWORD* read);
typedef PVOID (*PFUNCTION_TABLE_ACCESS_ROUTINE)(HANDLE process, DWORD64 address);
typedef DWORD64 (*PGET_MODULE_BASE_ROUTINE)(HANDLE process, DWORD64 address);
typedef DWORD64 (*PTRANSLATE_ADDRESS_ROUTINE)(HANDLE process, HANDLE thread, ADDRESS* address);

typedef BOOL (*PFN_SymInitialize)(HANDLE process, const char* searchPath, BOOL invadeProcess);
typedef BOOL (*PFN_SymCleanup)(HANDLE process);
typedef BOOL (*PFN_StackWalk)(DWORD machine, HANDLE process, HANDLE thread, STACKFRAME* frame,
                              PVOID context, PREAD_PROCESS_MEMORY_ROUTINE readMemory,
                              PFUNCTION_TABLE_ACCESS_ROUTINE functionTableAccess,
                              PGET_MODULE_BASE_ROUTINE getModuleBase,
                              PTRANSLATE_ADDRESS_ROUTINE translateAddress);
typedef PVOID (*PFN_SymFunctionTableAccess)(HANDLE process, DWORD64 address);
typedef DWORD64 (*PFN_SymGetModuleBase)(HANDLE process, DWORD64 address);
typedef BOOL (*PFN_SymGetSymFromAddr)(HANDLE process, DWORD64 address, DWORD64* displacement,
                                      IMAGEHLP_SYMBOL* symbol);
typedef BOOL (*PFN_SymGetLineFromAddr)(HANDLE process, DWORD64 address, DWORD* displacement,
                                       IMAGEHLP_LINE* line);
typedef DWORD (*PFN_SymGetOptions)();
typedef DWORD (*PFN_SymSetOptions)(DWORD options);
}

// ---- Version record --------------------------------------------------------------------

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
// The platform id of the version record on Linux: none of the Windows ones,
// so the record classifies as an unknown operating system.
constexpr DWORD VER_PLATFORM_UTL_LINUX = 0x100u;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version record is 148 bytes");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record is 156 bytes");
