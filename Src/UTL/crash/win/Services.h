// The Windows services the crash reporter calls, implemented over POSIX and
// the dynamic loader; internal to the library. One source per service: files
// and report text (Files.cpp), modules and paths (Modules.cpp), the version
// record (Version.cpp), date and time (Time.cpp), the process and thread
// (Process.cpp), the translator registration (Translator.cpp). The fault
// mechanism behind the translator is in fault/.
//
// Handles of files are file descriptors; the process and thread handles are
// pseudo handles. Everything a report calls runs without heap memory.
#pragma once

#include <UTL/WinServices.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <ctime>

constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_ALWAYS = 4u;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000u;
constexpr DWORD FILE_BEGIN = 0u;
constexpr DWORD FILE_CURRENT = 1u;
constexpr DWORD FILE_END = 2u;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr DWORD PROCESS_ALL_ACCESS = 0x001F0FFFu;

// ---- Files and report text (Files.cpp) -------------------------------------------------

// Opens for writing (GENERIC_WRITE; nothing else is supported), creating a
// missing file with mode 0600, and only the process's own regular file (see
// OpenOwnFile): a report never writes through a link or waits for a FIFO.
// Share mode 0 takes an exclusive flock(2) that refuses a second open in this
// process or another; FILE_FLAG_WRITE_THROUGH makes CloseHandle flush the
// data to the disk.
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
constexpr int WVSPRINTF_BUFFER_SIZE = 1024;

// ---- Modules and paths (Modules.cpp) ----------------------------------------------------

// What VirtualQuery tells about an address: AllocationBase is the lowest
// mapped address of the loaded object (executable or shared object) that
// covers it, where that object's ELF header lies.
struct MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    std::size_t RegionSize;
};

// Path of a loaded object. `module` null: the executable (/proc/self/exe);
// otherwise an AllocationBase from VirtualQuery. Returns the length, or 0
// when the object is unknown or its path does not fit `size` (terminator
// included); on 0 the buffer holds an empty text when `size` > 0.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);

// $TMPDIR with a "/" appended when missing, else "/tmp/". A $TMPDIR that is
// empty or does not fit `size` gives "/tmp/". Returns the length.
DWORD GetTempPathA(DWORD size, char* buffer);

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

// The GNU build-id of a loaded object (AllocationBase of VirtualQuery), read
// from its notes in memory, in lower-case hexadecimal into `text` of `size`
// bytes. Returns its length; 0 with an empty text when the object has none or
// it does not fit. No heap, safe in a signal handler.
DWORD GetModuleBuildId(HMODULE module, char* text, DWORD size);

// While the calling thread holds a snapshot, the four queries above answer
// from one walk of the loader's list, made at the first of them, instead of
// walking it at each call: a report asks about each frame of its call stack
// several times. A report holds one while it holds the report lock
// (report/ReportScope.h; a library loaded meanwhile is not seen); the other
// threads walk the list as before. No heap, safe in a signal handler.
void BeginModuleSnapshot();
void EndModuleSnapshot();

// "DbgHelp.dll" is libutldbghelp.so.1 from the directory of libutl.so, else
// from dlopen's search (the installed libutl's run path names the plugin's
// private directory). Other names are handed to dlopen unchanged.
HMODULE LoadLibraryA(const char* name);
void* GetProcAddress(HMODULE module, const char* name);

// ---- Version record (Version.cpp) -----------------------------------------------------

// uname(2) as a record of platform VER_PLATFORM_UTL_LINUX, major/minor/build
// from the kernel release, szCSDVersion "<sysname> <release>". Accepts a
// record whose size field is 148 or 156, else returns 0.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// ---- Date and time (Time.cpp) -----------------------------------------------------------

// Local date "MM/DD/YY" and time "HH:MM:SS" into 9-byte buffers.
char* _strdate(char* buffer);
char* _strtime(char* buffer);
std::int64_t _time64(std::int64_t* result);
std::tm* _localtime64(const std::int64_t* time);  // per-thread record; null on failure

// ---- Process, thread and memory (Process.cpp) -----------------------------------------

// 0 when `size` bytes at `address` can be read and written, 1 otherwise. Never
// faults and takes no heap memory; the bytes are written back unchanged.
BOOL IsBadWritePtr(void* address, std::size_t size);

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);  // pseudo handle of own process
DWORD GetCurrentProcessId();
HANDLE GetCurrentThread();  // pseudo handle (HANDLE)-2

namespace UTL {
namespace win {

// True for the process and thread pseudo handles, which CloseHandle accepts.
bool IsProcessPseudoHandle(HANDLE handle);

}  // namespace win
}  // namespace UTL
