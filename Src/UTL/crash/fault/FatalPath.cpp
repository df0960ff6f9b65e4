// The fatal path: the one rule that decides which faults cannot become
// exceptions, and the report of a fault the process will not survive.
#include "FatalPath.h"

#include "Arch.h"

#include <dlfcn.h>
#include <link.h>
#include <unwind.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "Fault.h"

namespace UTL {
namespace fault {

// ---- Faults that cannot become exceptions ----

namespace {

// The C library's allocator holds its arena lock while it works on the heap.
// An exception thrown out of it leaves the lock held, and the next allocation
// or release on that arena (the thread's own exit included) waits forever; a
// heap the fault found corrupt is also no heap to go on with.
const char* const kUntranslatableFunctions[] = {
    "malloc",   "free",          "calloc",         "realloc", "reallocarray",
    "memalign", "aligned_alloc", "posix_memalign", "valloc",  "pvalloc",
};

// Where each function starts: the C library's own, and the one that calls
// reach when another allocator replaces it; two starts each (AddStart).
constexpr int kMaxStarts = 4 * sizeof kUntranslatableFunctions / sizeof *kUntranslatableFunctions;
std::uintptr_t g_starts[kMaxStarts];
std::atomic<int> g_startCount{0};
std::once_flag g_startsFound;

// The starts the unwinder may give for a function's frames
// (_Unwind_GetRegionStart): the entry point itself, and on ARM the start of
// the index table entry that covers it.
void AddOneStart(std::uintptr_t address) {
    const int count = g_startCount.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i)
        if (g_starts[i] == address) return;
    if (count == kMaxStarts) return;
    g_starts[count] = address;
    g_startCount.store(count + 1, std::memory_order_release);
}

void AddStart(void* function) {
    if (!function) return;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(function);
    AddOneStart(address);
    if (const std::uintptr_t entry = UTL::arch::UnwindEntryStart(address)) AddOneStart(entry);
}

// The executable segments of the objects that hold those functions: a fault
// elsewhere is not looked at further. The unwinder must not start at an
// address without unwind information (a wild call): it would read the code
// there to recognise a signal frame, and fault.
struct CodeRange {
    std::uintptr_t begin, end;
};
constexpr int kMaxRanges = 4;
CodeRange g_ranges[kMaxRanges];
int g_rangeCount = 0;

int AddRangesOfStarts(dl_phdr_info* info, std::size_t, void*) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
        const CodeRange range = {info->dlpi_addr + segment.p_vaddr,
                                 info->dlpi_addr + segment.p_vaddr + segment.p_memsz};
        const int count = g_startCount.load(std::memory_order_relaxed);
        for (int k = 0; k < count; ++k) {
            if (g_starts[k] < range.begin || g_starts[k] >= range.end) continue;
            if (g_rangeCount < kMaxRanges) g_ranges[g_rangeCount++] = range;
            break;
        }
    }
    return 0;
}

bool InAllocatorObject(std::uintptr_t address) {
    for (int i = 0; i < g_rangeCount; ++i)
        if (address >= g_ranges[i].begin && address < g_ranges[i].end) return true;
    return false;
}

bool IsUntranslatableStart(std::uintptr_t start) {
    const int count = g_startCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i)
        if (g_starts[i] == start) return true;
    return false;
}

struct ChainWalk {
    int frames = 0;
    bool found = false;
};

_Unwind_Reason_Code VisitFrame(_Unwind_Context* context, void* walk) {
    ChainWalk& state = *static_cast<ChainWalk*>(walk);
    if (IsUntranslatableStart(_Unwind_GetRegionStart(context))) {
        state.found = true;
        return _URC_END_OF_STACK;
    }
    return ++state.frames < 256 ? _URC_NO_REASON : _URC_END_OF_STACK;
}

// On ARM the chain is followed by the index tables from the fault's own
// registers: the unwinder stops at the signal frame there.
bool ChainByUnwindTables(const CONTEXT& context) {
    CONTEXT frame = context;
    bool interrupted = true;
    for (int depth = 0; depth < 256; ++depth) {
        const UTL::arch::Address pc = UTL::arch::ProgramCounter(frame);
        // A return address may lie past the end of its call's function.
        if (IsUntranslatableStart(UTL::arch::UnwindEntryStart(interrupted ? pc : pc - 1)))
            return true;
        if (!UTL::arch::UnwindCaller(frame, interrupted)) return false;
        interrupted = false;
    }
    return false;
}

}  // namespace

void PrepareUntranslatableFaults() {
    std::call_once(g_startsFound, [] {
        void* const libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        for (const char* name : kUntranslatableFunctions) {
            AddStart(dlsym(RTLD_DEFAULT, name));
            if (libc) AddStart(dlsym(libc, name));
        }
        if (libc) dlclose(libc);
        dl_iterate_phdr(AddRangesOfStarts, nullptr);
    });
}

bool IsUntranslatableFault(std::uintptr_t faultingInstruction, const CONTEXT& context) {
    if (!InAllocatorObject(faultingInstruction)) return false;
    if (UTL::arch::kWalksByUnwindTables) return ChainByUnwindTables(context);
    // The walk starts in the signal handler and goes through the signal frame
    // into the interrupted code and its callers, by the unwind information
    // (the C library keeps no frame pointers); it takes no heap memory.
    ChainWalk walk;
    _Unwind_Backtrace(VisitFrame, &walk);
    return walk.found;
}

namespace {
// Set once at load, before any fault handler is installed.
FatalReportWriter g_fatalReportWriter = nullptr;
}  // namespace

void WriteReportBeforeDeath(EXCEPTION_POINTERS* pointers) {
    if (g_fatalReportWriter) g_fatalReportWriter(pointers);
}

void SetFatalReportWriter(FatalReportWriter writer) {
    g_fatalReportWriter = writer;
}

}  // namespace fault
}  // namespace UTL
