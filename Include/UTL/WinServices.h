/// @file
/// The Windows types of the crash reporter's interfaces: handles, the thread
/// context, exception records, the debugging-help records and entry-point
/// types, the version record, and the exception codes that hardware faults are
/// reported as. The services behind them (report file, module paths, version
/// query, fault translation) are implemented over POSIX inside the library;
/// of those, only _set_se_translator is part of the interface.
///
/// Constants are typed (constexpr) rather than macros, so they never collide
/// with names in an application's own scopes.
///
/// The thread context has the registers of the architecture the library is
/// built for: the 32-bit x86 registers (i386), their 64-bit forms with R8-R15
/// (x86-64), X0-X28, FP, LR, SP, PC and PSTATE (aarch64), or R0-R12, SP, LR,
/// PC and CPSR (32-bit ARM).
#pragma once

#include <cstdint>

#include <UTL/Export.h>

typedef void* HANDLE;              ///< an open file, process or thread
typedef void* HMODULE;             ///< a loaded library
typedef void* PVOID;               ///< an untyped pointer
typedef int BOOL;                  ///< nonzero for true
typedef unsigned char BYTE;        ///< 8 bits
typedef unsigned short WORD;       ///< 16 bits
typedef unsigned int DWORD;        ///< 32 bits, as on Windows
typedef std::uint64_t DWORD64;     ///< 64 bits
typedef std::uintptr_t ULONG_PTR;  ///< an unsigned integer as wide as a pointer
typedef char CHAR;                 ///< a narrow character

/// The handle of a file that could not be opened.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// ---- Thread context -------------------------------------------------------------

/// Which register groups a context holds (ContextFlags); the values are the
/// x86 ones on every architecture.
constexpr DWORD CONTEXT_CONTROL = 0x00010001u;   ///< instruction, stack and frame pointers, flags
constexpr DWORD CONTEXT_INTEGER = 0x00010002u;   ///< general registers
constexpr DWORD CONTEXT_SEGMENTS = 0x00010004u;  ///< segment registers (x86)
constexpr DWORD CONTEXT_FULL =
    CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;  ///< all three groups

#if defined(__x86_64__)
/// Registers of one thread (x86-64).
struct CONTEXT {
    DWORD ContextFlags;  ///< the register groups held (CONTEXT_CONTROL, ...)
    DWORD EFlags;        ///< the flags register
    ///@{
    /// A segment register.
    WORD SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
    ///@}
    ///@{
    /// A general register, named as in the x86-64 instruction set.
    DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
    DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
    ///@}
    DWORD64 Rip;  ///< the instruction pointer
};
#elif defined(__i386__)
/// Registers of one thread (i386), in the order of the Windows x86 context.
struct CONTEXT {
    DWORD ContextFlags;  ///< the register groups held (CONTEXT_CONTROL, ...)
    ///@{
    /// A register, named as in the i386 instruction set (Seg: segment registers).
    DWORD SegGs, SegFs, SegEs, SegDs;
    DWORD Edi, Esi, Ebx, Edx, Ecx, Eax;
    DWORD Ebp, Eip, SegCs, EFlags, Esp, SegSs;
    ///@}
};
#elif defined(__aarch64__)
/// Registers of one thread (aarch64): X0-X28, the frame pointer (X29), the
/// link register (X30), SP, PC and PSTATE (Cpsr).
struct CONTEXT {
    DWORD ContextFlags;  ///< the register groups held (CONTEXT_CONTROL, ...)
    DWORD Cpsr;          ///< PSTATE
    DWORD64 X[29];       ///< X0-X28
    ///@{
    /// The frame pointer (X29), link register (X30), stack pointer, program counter.
    DWORD64 Fp, Lr, Sp, Pc;
    ///@}
};
#elif defined(__arm__)
/// Registers of one thread (32-bit ARM): R0-R12, SP (R13), LR (R14), PC (R15)
/// and CPSR.
struct CONTEXT {
    DWORD ContextFlags;  ///< the register groups held (CONTEXT_CONTROL, ...)
    DWORD R[13];         ///< R0-R12
    ///@{
    /// The stack pointer, link register, program counter and status register.
    DWORD Sp, Lr, Pc, Cpsr;
    ///@}
};
#else
#error "UTL supports x86-64, i386, aarch64 and 32-bit ARM"
#endif
typedef CONTEXT* PCONTEXT;  ///< pointer to a thread context

// ---- Exception records -------------------------------------------------------------

constexpr DWORD EXCEPTION_NONCONTINUABLE = 0x1u;    ///< flag: execution cannot resume
constexpr DWORD EXCEPTION_UNWINDING = 0x2u;         ///< flag: the exception is being unwound
constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;  ///< room for arguments in a record

/// What happened: the exception code, where, and its arguments.
struct EXCEPTION_RECORD {
    DWORD ExceptionCode;                ///< EXCEPTION_ACCESS_VIOLATION, ...
    DWORD ExceptionFlags;               ///< EXCEPTION_NONCONTINUABLE, EXCEPTION_UNWINDING
    EXCEPTION_RECORD* ExceptionRecord;  ///< a chained record, or null
    PVOID ExceptionAddress;             ///< the faulting instruction
    DWORD NumberParameters;             ///< arguments used in ExceptionInformation
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];  ///< the arguments
};
typedef EXCEPTION_RECORD* PEXCEPTION_RECORD;  ///< pointer to an exception record

/// An exception as a translator receives it.
struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;  ///< what happened
    CONTEXT* ContextRecord;             ///< the faulting thread's registers
};
typedef EXCEPTION_POINTERS* PEXCEPTION_POINTERS;  ///< pointer to an exception

/// Exception codes of hardware faults. An access violation carries two
/// arguments: 0 (read), 1 (write) or 8 (execute), and the address accessed.
///@{
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
///@}

// ---- Fault translation ---------------------------------------------------------------

/// Per-thread translator of hardware faults: called on the faulting thread with
/// the exception code and the exception's record and registers.
typedef void (*_se_translator_function)(unsigned int, EXCEPTION_POINTERS*);

/// Installs the calling thread's translator and returns the one it replaces
/// (null: none). A fault is a signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
/// SIGTRAP); the first translator of the process installs the library's
/// handlers, the first of a thread gives the thread an alternate signal stack,
/// so that a stack overflow can be reported. A translator that throws turns the
/// fault into a C++ exception at the faulting instruction. A fault on a thread
/// without translator, or one that the translator returns from, goes to the
/// handler that was installed before, else the process dies by the signal.
UTL_API _se_translator_function _set_se_translator(_se_translator_function translator);

// ---- Debugging-help records -----------------------------------------------------------

constexpr DWORD IMAGE_FILE_MACHINE_I386 = 0x014Cu;    ///< machine of a stack walk: i386
constexpr DWORD IMAGE_FILE_MACHINE_AMD64 = 0x8664u;   ///< machine of a stack walk: x86-64
constexpr DWORD IMAGE_FILE_MACHINE_ARM64 = 0xAA64u;   ///< machine of a stack walk: aarch64
constexpr DWORD IMAGE_FILE_MACHINE_ARMNT = 0x01C4u;   ///< machine of a stack walk: 32-bit ARM
constexpr DWORD SYMOPT_DEFERRED_LOADS = 0x00000004u;  ///< symbol option: load symbols when needed
constexpr DWORD SYMOPT_LOAD_LINES = 0x00000010u;      ///< symbol option: source lines too

/// How an ADDRESS is to be read; the library uses AddrModeFlat only.
enum ADDRESS_MODE {
    AddrMode1616,  ///< 16-bit segment, 16-bit offset
    AddrMode1632,  ///< 16-bit segment, 32-bit offset
    AddrModeReal,  ///< real mode
    AddrModeFlat   ///< a flat address: Offset alone
};

/// An address in a stack frame.
struct ADDRESS {
    DWORD64 Offset;     ///< the address (flat mode)
    WORD Segment;       ///< the segment (unused in flat mode)
    ADDRESS_MODE Mode;  ///< how to read it
};

/// One frame of a stack walk, in and out of StackWalk.
struct STACKFRAME {
    ADDRESS AddrPC;        ///< the instruction
    ADDRESS AddrReturn;    ///< the return address
    ADDRESS AddrFrame;     ///< the frame pointer
    ADDRESS AddrStack;     ///< the stack pointer
    PVOID FuncTableEntry;  ///< unwind data of the function, if any
    DWORD64 Params[4];     ///< the first argument slots
    BOOL Far;              ///< a far call (x86 segmented code)
    BOOL Virtual;          ///< a virtual frame
    DWORD64 Reserved[3];   ///< unused
};

/// A source line, as SymGetLineFromAddr fills it.
struct IMAGEHLP_LINE {
    DWORD SizeOfStruct;  ///< sizeof(IMAGEHLP_LINE), set by the caller
    PVOID Key;           ///< internal to the debugging-help library
    DWORD LineNumber;    ///< the line number
    CHAR* FileName;      ///< the source file's path
    DWORD64 Address;     ///< the first instruction of the line
};

/// A symbol, as SymGetSymFromAddr fills it; the name continues past the
/// structure into the caller's buffer.
struct IMAGEHLP_SYMBOL {
    DWORD SizeOfStruct;   ///< sizeof(IMAGEHLP_SYMBOL), set by the caller
    DWORD64 Address;      ///< the symbol's start
    DWORD Size;           ///< the symbol's size in bytes
    DWORD Flags;          ///< unused
    DWORD MaxNameLength;  ///< room for the name, set by the caller
    CHAR Name[1];         ///< the zero-terminated name
};

/// Entry points of the debugging-help library, looked up by name at run time.
extern "C" {
///@{
/// Signature of a debugging-help entry point or of one of StackWalk's callbacks.
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
///@}
}

// ---- Version record --------------------------------------------------------------------

constexpr DWORD VER_PLATFORM_WIN32s = 0;         ///< platform id: Win32s
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;  ///< platform id: Windows 95, 98, ME
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;       ///< platform id: Windows NT and later
/// The platform id of the version record on Linux: none of the Windows ones,
/// so the record classifies as an unknown operating system.
constexpr DWORD VER_PLATFORM_UTL_LINUX = 0x100u;

/// The basic version record (148 bytes).
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;  ///< sizeof the record, set by the caller
    DWORD dwMajorVersion;       ///< major version (on Linux the kernel's)
    DWORD dwMinorVersion;       ///< minor version
    DWORD dwBuildNumber;        ///< build number
    DWORD dwPlatformId;         ///< VER_PLATFORM_...
    CHAR szCSDVersion[128];     ///< service pack text (on Linux kernel name and release)
};

/// The extended version record (156 bytes): the basic one and service-pack,
/// suite and product fields.
struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;  ///< sizeof the record, set by the caller
    DWORD dwMajorVersion;       ///< major version (on Linux the kernel's)
    DWORD dwMinorVersion;       ///< minor version
    DWORD dwBuildNumber;        ///< build number
    DWORD dwPlatformId;         ///< VER_PLATFORM_...
    CHAR szCSDVersion[128];     ///< service pack text (on Linux kernel name and release)
    WORD wServicePackMajor;     ///< service pack, major
    WORD wServicePackMinor;     ///< service pack, minor
    WORD wSuiteMask;            ///< product suites
    BYTE wProductType;          ///< workstation, server, domain controller
    BYTE wReserved;             ///< unused
};

static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version record is 148 bytes");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record is 156 bytes");
