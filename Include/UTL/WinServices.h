// The Windows names that the crash reporter's interfaces use, for builds on
// other platforms: handles, the thread context, exception records, the
// debugging-help records and the version record. The services behind them
// (files, module paths, version query, structured-exception translation) are
// implemented over POSIX inside the library.
//
// The thread context is the x86-64 one: registers are 64 bits wide and named as
// in the 64-bit Windows CONTEXT.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <dbghelp.h>
#include <eh.h>
#else

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

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

#define EXCEPTION_NONCONTINUABLE 0x1u
#define EXCEPTION_UNWINDING 0x2u
#define EXCEPTION_MAXIMUM_PARAMETERS 15

#define CONTEXT_CONTROL 0x00010001u
#define CONTEXT_INTEGER 0x00010002u
#define CONTEXT_SEGMENTS 0x00010004u
#define CONTEXT_FULL (CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS)

// Registers of one thread (x86-64).
struct CONTEXT {
    DWORD ContextFlags;
    DWORD EFlags;
    WORD SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
    DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
    DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
    DWORD64 Rip;
};
typedef CONTEXT* PCONTEXT;

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

// Per-thread translator of structured exceptions (hardware faults).
typedef void (*_se_translator_function)(unsigned int, EXCEPTION_POINTERS*);

// ---- Debugging-help records ---------------------------------------------------

#define IMAGE_FILE_MACHINE_I386 0x014C
#define IMAGE_FILE_MACHINE_AMD64 0x8664
#define SYMOPT_DEFERRED_LOADS 0x00000004u
#define SYMOPT_LOAD_LINES 0x00000010u

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
typedef BOOL (*PREAD_PROCESS_MEMORY_ROUTINE)(HANDLE process, DWORD64 base, PVOID buffer,
                                             DWORD size, DWORD* read);
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

// ---- Version record -----------------------------------------------------------

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

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

// The service functions (GetVersionExA, CreateFileA, _set_se_translator, ...)
// are declared below this line by the crash reporter's implementation.

#endif  // !_WIN32
