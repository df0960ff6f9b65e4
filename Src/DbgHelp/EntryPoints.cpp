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
#include <type_traits>

#include "DbgHelpInternal.h"

#define DBGHELP_API extern "C" __attribute__((visibility("default")))

using namespace UTL::dbghelp;

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
    return OnOwnStack([&] { return SymbolFromAddress(address, displacement, symbol); });
}

DBGHELP_API BOOL SymGetLineFromAddr(HANDLE /*process*/, DWORD64 address, DWORD* displacement,
                                    IMAGEHLP_LINE* line) {
    if (!line) return 0;
    SessionLock lock;
    if (!lock.held()) return 0;
    return OnOwnStack([&] { return LineFromAddress(address, displacement, line); });
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
    return NextFrame(frame, ctx);
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
