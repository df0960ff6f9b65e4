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
#include <dbghelp.h>
#include <eh.h>
#include <windows.h>
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

// ---- Services -----------------------------------------------------------------
// Internal to the library (hidden) unless marked UTL_API. Handles of files are
// file descriptors; the process and thread handles are pseudo handles.

#include <csignal>
#include <cstdarg>
#include <cstddef>
#include <ctime>

#define GENERIC_WRITE 0x40000000u
#define OPEN_ALWAYS 4u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define PROCESS_ALL_ACCESS 0x001F0FFFu
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u

// Platform id that GetVersionExA reports on Linux: none of the Windows ones,
// so the version record classifies as an unknown operating system.
#define VER_PLATFORM_UTL_LINUX 0x100u

// Exception codes that the signal translation produces.
#define EXCEPTION_GUARD_PAGE 0x80000001u
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002u
#define EXCEPTION_BREAKPOINT 0x80000003u
#define EXCEPTION_SINGLE_STEP 0x80000004u
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define EXCEPTION_IN_PAGE_ERROR 0xC0000006u
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du
#define EXCEPTION_ARRAY_BOUNDS_EXCEEDED 0xC000008Cu
#define EXCEPTION_FLT_DENORMAL_OPERAND 0xC000008Du
#define EXCEPTION_FLT_DIVIDE_BY_ZERO 0xC000008Eu
#define EXCEPTION_FLT_INEXACT_RESULT 0xC000008Fu
#define EXCEPTION_FLT_INVALID_OPERATION 0xC0000090u
#define EXCEPTION_FLT_OVERFLOW 0xC0000091u
#define EXCEPTION_FLT_STACK_CHECK 0xC0000092u
#define EXCEPTION_FLT_UNDERFLOW 0xC0000093u
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_INT_OVERFLOW 0xC0000095u
#define EXCEPTION_PRIV_INSTRUCTION 0xC0000096u
#define EXCEPTION_STACK_OVERFLOW 0xC00000FDu

// What VirtualQuery tells about an address: AllocationBase is the lowest
// mapped address of the loaded object (executable or shared object) that
// covers it, where that object's ELF header lies.
struct MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    std::size_t RegionSize;
};

typedef std::int64_t __time64_t;

// Version record: uname(2) as a record of platform VER_PLATFORM_UTL_LINUX,
// major/minor/build from the kernel release, szCSDVersion "<sysname> <release>".
// Accepts a record whose size field is 148 or 156, else returns 0.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// Path of a loaded object. `module` null: the executable (/proc/self/exe);
// otherwise an AllocationBase from VirtualQuery. Returns the length, or 0
// when the object is unknown or its path does not fit `size` (terminator
// included); on 0 the buffer holds an empty text when `size` > 0.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);

// $TMPDIR with a "/" appended when missing, else "/tmp/". A $TMPDIR that is
// empty or does not fit `size` gives "/tmp/". Returns the length.
DWORD GetTempPathA(DWORD size, char* buffer);

// Opens (creates when missing, mode 0644) for writing. Share mode 0 takes an
// exclusive flock(2) that refuses a second open in this process or another;
// FILE_FLAG_WRITE_THROUGH makes CloseHandle flush the data to the disk.
HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);  // INVALID_FILE_SIZE on failure
DWORD SetFilePointer(HANDLE file, long distance, long* distanceHigh, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
BOOL CloseHandle(HANDLE handle);

// Formats into `buffer` of 1024 bytes, cutting longer text at 1023 characters.
// vsnprintf conventions ("%hs" is a narrow string, as "%s"). Returns the
// number of characters stored (without the terminator); 0 on a format error.
int wvsprintfA(char* buffer, const char* format, va_list args);
enum { WVSPRINTF_BUFFER_SIZE = 1024 };

// Which loaded object covers `address` (see MEMORY_BASIC_INFORMATION).
// Returns sizeof(MEMORY_BASIC_INFORMATION), or 0 when no object covers it.
std::size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, std::size_t size);

// The image headers of a loaded object (AllocationBase of VirtualQuery): its
// load bias and its PT_LOAD program headers in table order, as sections. An
// address belongs to the module at relative address (address - load bias).
struct IMAGE_LOAD_SEGMENT {
    DWORD64 VirtualAddress;  // p_vaddr
    DWORD64 VirtualSize;     // p_memsz
    DWORD64 SizeOfRawData;   // p_filesz
};
// Fills at most `capacity` segments; returns their number, 0 when `module` is
// not a loaded object.
int GetModuleImageSegments(HMODULE module, DWORD64* loadBias, IMAGE_LOAD_SEGMENT* segments,
                           int capacity);

// 0 when `size` bytes at `address` can be read and written, 1 otherwise. Never
// faults and takes no heap memory (process_vm_readv/writev on the own process;
// the bytes read are written back unchanged).
BOOL IsBadWritePtr(void* address, std::size_t size);

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);  // pseudo handle of own process
DWORD GetCurrentProcessId();
HANDLE GetCurrentThread();  // pseudo handle (HANDLE)-2

// Only the calling thread (GetCurrentThread()) and only CONTEXT_CONTROL: the
// instruction, stack and frame pointers, CS, SS and the flags, taken inside
// this function. Other registers are left as they are. 0 for another thread.
BOOL GetThreadContext(HANDLE thread, CONTEXT* context);

// "DbgHelp.dll" is libutldbghelp.so.1 from the directory of libutl.so, else
// from dlopen's search. Other names are handed to dlopen unchanged.
HMODULE LoadLibraryA(const char* name);
void* GetProcAddress(HMODULE module, const char* name);

// Hands a software exception (record with `code`, `flags` and up to 15
// arguments, context of the call) to the calling thread's translator. When
// there is none or it returns, the exception is unhandled: std::terminate().
[[noreturn]] void RaiseException(DWORD code, DWORD flags, DWORD numberOfArguments,
                                 const ULONG_PTR* arguments);

// Installs the calling thread's translator of hardware faults and returns the
// one it replaces. The first non-null translator in the process installs the
// signal handlers (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP); the first on a
// thread also gives the thread an alternate signal stack, so that a stack
// overflow can be reported. A fault on a thread without translator, or one
// that the translator returns from, goes to the handler that was installed
// before, else the process dies by the signal.
UTL_API _se_translator_function _set_se_translator(_se_translator_function translator);

// Local date "MM/DD/YY" and time "HH:MM:SS" into 9-byte buffers.
char* _strdate(char* buffer);
char* _strtime(char* buffer);
__time64_t _time64(__time64_t* result);
std::tm* _localtime64(const __time64_t* time);  // per-thread record; null on failure

namespace UTL {
namespace win {

// Serialises whole reports between threads. Waits at most a few seconds, so a
// thread that faults while another report is stuck still goes on; returns
// false then.
bool LockReport();
void UnlockReport();

// Holds the report lock for one report, when it could be had.
class ReportLock {
public:
    ReportLock() : m_held(LockReport()) {}
    ReportLock(const ReportLock&) = delete;
    ReportLock& operator=(const ReportLock&) = delete;
    ~ReportLock() {
        if (m_held) UnlockReport();
    }
    bool Held() const { return m_held; }

private:
    bool m_held;
};

// RaiseException with the exception address given: `address` instead of the
// return address of the call.
[[noreturn]] void RaiseExceptionAt(PVOID address, DWORD code, DWORD flags, DWORD numberOfArguments,
                                   const ULONG_PTR* arguments);

// Thrown out of a fault that happens while the same thread's translator runs;
// the translator's own catch-all handlers take it.
struct NestedFaultT {};

}  // namespace win
}  // namespace UTL

// ---- Test hooks ---------------------------------------------------------------

// Replaces what GetVersionExA reports: `record` (its size field ignored), with
// the extended (156-byte) and basic (148-byte) queries succeeding or failing as
// told. A null record restores the real query.
UTL_API void UtlInjectVersionRecord(const OSVERSIONINFOEXA* record, BOOL extendedAccepted,
                                    BOOL basicAccepted);

// Makes GetModuleFileNameA(nullptr, ...) report `path` ("" = cannot be read).
// Null restores the real path.
UTL_API void UtlOverrideExecutablePath(const char* path);

// Makes LoadLibraryA("DbgHelp.dll") open `path` instead. Null restores.
UTL_API void UtlOverrideDebugHelpLibrary(const char* path);

#endif  // !_WIN32
