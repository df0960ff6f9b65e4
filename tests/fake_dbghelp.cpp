// A stand-in for the debugging-help library that records what SymInitialize
// was given and answers a line and a symbol lookup only at the addresses the
// tests set (0: nowhere).
#include <UTL/WinServices.h>

#include <cstdio>

#define FAKE_API extern "C" __attribute__((visibility("default")))

extern "C" {
__attribute__((visibility("default"))) char g_searchPath[4096];  // what SymInitialize got
__attribute__((visibility("default"))) DWORD64 g_lineAt;         // "fake.cpp", line 42
__attribute__((visibility("default"))) DWORD64 g_symbolAt;       // "Fake::Symbol"
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
FAKE_API BOOL SymGetSymFromAddr(HANDLE, DWORD64 address, DWORD64*, IMAGEHLP_SYMBOL* symbol) {
    if (g_symbolAt == 0 || address != g_symbolAt) return 0;
    std::snprintf(symbol->Name, symbol->MaxNameLength, "Fake::Symbol");
    return 1;
}
FAKE_API BOOL SymGetLineFromAddr(HANDLE, DWORD64 address, DWORD*, IMAGEHLP_LINE* line) {
    if (g_lineAt == 0 || address != g_lineAt) return 0;
    if (line->FileName) std::snprintf(line->FileName, 260, "fake.cpp");
    line->LineNumber = 42;
    return 1;
}
FAKE_API DWORD SymGetOptions() {
    return 0;
}
FAKE_API DWORD SymSetOptions(DWORD options) {
    return options;
}
