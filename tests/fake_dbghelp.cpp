// A stand-in for the debugging-help library that only records what
// SymInitialize was given; every lookup fails.
#include <UTL/WinServices.h>

#include <cstdio>

#define FAKE_API extern "C" __attribute__((visibility("default")))

extern "C" {
__attribute__((visibility("default"))) char g_searchPath[4096];  // what SymInitialize got
}

FAKE_API BOOL SymInitialize(HANDLE, const char* searchPath, BOOL) {
    std::snprintf(g_searchPath, sizeof g_searchPath, "%s", searchPath ? searchPath : "(null)");
    return 1;
}
FAKE_API BOOL SymCleanup(HANDLE) {
    return 1;
}
FAKE_API BOOL StackWalk(DWORD, HANDLE, HANDLE, STACKFRAME*, PVOID, PREAD_PROCESS_MEMORY_ROUTINE,
                        PFUNCTION_TABLE_ACCESS_ROUTINE, PGET_MODULE_BASE_ROUTINE,
                        PTRANSLATE_ADDRESS_ROUTINE) {
    return 0;
}
FAKE_API PVOID SymFunctionTableAccess(HANDLE, DWORD64) {
    return nullptr;
}
FAKE_API DWORD64 SymGetModuleBase(HANDLE, DWORD64) {
    return 0;
}
FAKE_API BOOL SymGetSymFromAddr(HANDLE, DWORD64, DWORD64*, IMAGEHLP_SYMBOL*) {
    return 0;
}
FAKE_API BOOL SymGetLineFromAddr(HANDLE, DWORD64, DWORD*, IMAGEHLP_LINE*) {
    return 0;
}
FAKE_API DWORD SymGetOptions() {
    return 0;
}
FAKE_API DWORD SymSetOptions(DWORD options) {
    return options;
}
