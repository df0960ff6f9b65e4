// The libdw session: the module list, kept while the set of loaded objects
// stays the same, and the lock that serialises every use of libdw (free again
// in a child of fork()).
#include <link.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include "DbgHelpInternal.h"

namespace UTL::dbghelp {

Dwfl* g_dwfl = nullptr;
int g_sessions = 0;
std::atomic<DWORD> g_options{kSymOptUndName};

namespace {

std::uint64_t g_moduleStamp = ~0ull;    // loaded-object counters at the last report
std::atomic<pthread_t> g_lockOwner{0};  // 0: free

// Counts of objects the dynamic loader has added and removed so far: when they
// are unchanged, the module list need not be read again.
std::uint64_t LoadedObjectsStamp() {
    std::uint64_t stamp = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t size, void* out) -> int {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
                *static_cast<std::uint64_t*>(out) =
                    (static_cast<std::uint64_t>(info->dlpi_adds) << 32) ^ info->dlpi_subs;
            }
            return 1;
        },
        &stamp);
    return stamp;
}

bool ReportModules() {
    g_dw.report_begin(g_dwfl);
    const int reported = g_dw.linux_proc_report(g_dwfl, getpid());
    const int ended = g_dw.report_end(g_dwfl, nullptr, nullptr);
    return reported == 0 && ended == 0;
}

// A thread of the parent that held the lock at fork() does not exist in the
// child, which would wait for it in vain: the lock is freed there, and the
// session that thread may have left half changed is dropped (not released:
// its state is not to be trusted) for a fresh one.
void FreeLockInChild() {
    if (g_lockOwner.load() == 0) return;
    g_lockOwner.store(0);
    g_dwfl = nullptr;
    DetachUnwinder();
}

const int g_forkHandler = pthread_atfork(nullptr, nullptr, FreeLockInChild);

}  // namespace

SessionLock::SessionLock() {
    const pthread_t self = pthread_self();
    for (int attempt = 0; attempt < 4000; ++attempt) {
        pthread_t expected = 0;
        if (g_lockOwner.compare_exchange_strong(expected, self)) {
            m_held = true;
            return;
        }
        if (expected == self) return;
        const timespec pause{0, 500000};
        nanosleep(&pause, nullptr);
    }
}

SessionLock::~SessionLock() {
    if (m_held) g_lockOwner.store(0);
}

bool StartSession() {
    if (!LoadLibDw()) return false;
    ChooseDebuginfoSearch();
    if (!g_dwfl) {
        g_dwfl = BeginDwfl();
        if (!g_dwfl) return false;
        g_moduleStamp = ~0ull;
    }
    const std::uint64_t stamp = LoadedObjectsStamp();
    if (stamp != g_moduleStamp) {
        if (!ReportModules()) return false;
        g_moduleStamp = stamp;
    }
    AttachUnwinder();
    return true;
}

// The module whose address range holds `address`, or null. The range is
// checked again here: libdw hands back the last module for addresses above
// every module.
Dwfl_Module* ModuleOf(DWORD64 address, Dwarf_Addr* base) {
    if (g_sessions <= 0 || !g_dwfl) return nullptr;
    Dwfl_Module* mod = g_dw.addrmodule(g_dwfl, address);
    Dwarf_Addr start = 0, end = 0;
    if (!mod || !g_dw.module_info(mod, nullptr, &start, &end, nullptr, nullptr, nullptr, nullptr))
        return nullptr;
    if (address < start || address >= end) return nullptr;
    if (base) *base = start;
    return mod;
}

}  // namespace UTL::dbghelp
