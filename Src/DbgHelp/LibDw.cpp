// Loading elfutils' libdw at run time and the search for separate debug files.
#include <dlfcn.h>

#include <cstdlib>

#include "DbgHelpInternal.h"

namespace UTL::dbghelp {

LibDw g_dw;

namespace {

void* g_dwHandle = nullptr;
bool g_dwLoadFailed = false;
bool g_avoidDebuginfod = false;
char g_debugPathText[4096];
char* g_debugPath = nullptr;  // null: libdw's default search path
Dwfl_Callbacks g_callbacks;

template <typename Fn>
bool Resolve(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(dlsym(g_dwHandle, name));
    return fn != nullptr;
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

}  // namespace

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

void ChooseDebuginfoSearch() {
    const char* urls = std::getenv("DEBUGINFOD_URLS");
    g_avoidDebuginfod = urls && *urls;
}

Dwfl* BeginDwfl() {
    g_callbacks.find_elf = g_dw.linux_proc_find_elf;
    g_callbacks.find_debuginfo = FindDebuginfo;
    g_callbacks.section_address = nullptr;
    g_callbacks.debuginfo_path = &g_debugPath;
    return g_dw.begin(&g_callbacks);
}

}  // namespace UTL::dbghelp
