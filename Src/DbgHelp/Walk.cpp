// The stack walk: libdw's unwinder started from the caller's registers, or
// the unwind index tables where libdw cannot walk (32-bit ARM), collected
// once and handed out frame by frame.
#include <sys/syscall.h>
#include <unistd.h>

#include "DbgHelpInternal.h"
#include "SafeMemory.h"

namespace UTL::dbghelp {
namespace {

const std::size_t kMaxFrames = 256;
const std::uint64_t kWalkMagic = 0x5554'4C57'414C'4B31ull;  // marks a STACKFRAME we filled

// One frame of the last walk: its program counter and the registers the
// unwinder knows for it (the callee-saved ones and the stack pointer).
constexpr unsigned kMaxSaved = 16;
struct WalkFrame {
    std::uint64_t pc;
    std::uint64_t sp;
    std::uint64_t saved[kMaxSaved];  // by the architecture's callee-saved list
    unsigned known;                  // bit i: saved[i] is known; bit 31: sp is known
};
constexpr unsigned kSpKnown = 1u << 31;

bool g_attached = false;

// The walk being handed out, frame by frame.
WalkFrame g_frames[kMaxFrames];
std::size_t g_frameCount = 0;
std::uint64_t g_walkId = 0;
const CONTEXT* g_walkContext = nullptr;  // registers the unwinder starts from
pid_t g_walkTid = 0;

pid_t CurrentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// ---- Unwinder callbacks: one thread, registers from the caller's context ----------

pid_t NextThread(Dwfl*, void* arg, void** threadArg) {
    if (*threadArg) return 0;
    *threadArg = arg;
    return g_walkTid;
}

bool GetThread(Dwfl*, pid_t, void* arg, void** threadArg) {
    *threadArg = arg;
    return true;
}

// The unwinder reads a handful of words per frame, mostly from the same few
// stack pages: one page is copied per system call and kept for the rest of
// the walk (the walk starts with an empty cache).
const std::uint64_t kPageSize = 4096;
unsigned char g_page[kPageSize];
std::uint64_t g_pageAddress = 0;
bool g_pageValid = false;

// A word of the target's size (4 bytes on 32-bit architectures), zero-extended.
bool ReadTargetWord(std::uint64_t address, Dwarf_Word* result) {
    std::uintptr_t word = 0;
    if (!UTL::arch::ReadWord(static_cast<std::uintptr_t>(address), &word)) return false;
    *result = word;
    return true;
}

bool MemoryRead(Dwfl*, Dwarf_Addr address, Dwarf_Word* result, void*) {
    const std::uint64_t page = address & ~(kPageSize - 1);
    const std::uint64_t offset = address - page;
    if (offset + sizeof(std::uintptr_t) > kPageSize) return ReadTargetWord(address, result);
    if (!g_pageValid || g_pageAddress != page) {
        g_pageValid = UTL::arch::ReadMemory(
            reinterpret_cast<const void*>(static_cast<std::uintptr_t>(page)), g_page, kPageSize);
        g_pageAddress = page;
        if (!g_pageValid) return ReadTargetWord(address, result);
    }
    std::uintptr_t word = 0;
    std::memcpy(&word, g_page + offset, sizeof word);
    *result = word;
    return true;
}

bool SetInitialRegisters(Dwfl_Thread* thread, void*) {
    Dwarf_Word registers[64];
    Dwarf_Word pc = 0;
    bool pcSeparate = false;
    const unsigned count =
        UTL::arch::DwarfRegisters(*g_walkContext, registers, 64, &pc, &pcSeparate);
    if (count == 0 || !g_dw.thread_state_registers(thread, 0, count, registers)) return false;
    if (pcSeparate) g_dw.thread_state_register_pc(thread, pc);
    return true;
}

const Dwfl_Thread_Callbacks g_threadCallbacks = {NextThread,          GetThread, MemoryRead,
                                                 SetInitialRegisters, nullptr,   nullptr};

bool ReadFrameReg(Dwfl_Frame* state, unsigned regno, std::uint64_t* value) {
    Dwarf_Word v = 0;
    if (!g_dw.frame_reg || g_dw.frame_reg(state, regno, &v) != 0) return false;
    *value = v;
    return true;
}

int CollectFrame(Dwfl_Frame* state, void*) {
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!g_dw.frame_pc(state, &pc, &activation) || pc == 0) return DWARF_CB_ABORT;
    WalkFrame& f = g_frames[g_frameCount];
    f = WalkFrame{};
    f.pc = pc;
    if (ReadFrameReg(state, UTL::arch::kDwarfStackPointer, &f.sp)) f.known |= kSpKnown;
    for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount && i < kMaxSaved; ++i) {
        if (ReadFrameReg(state, UTL::arch::kDwarfCalleeSaved[i], &f.saved[i])) f.known |= 1u << i;
    }
    // A frame that repeats the previous one's stack position and program
    // counter would repeat forever: end the walk there.
    if (g_frameCount > 0) {
        const WalkFrame& prev = g_frames[g_frameCount - 1];
        if (prev.pc == f.pc && prev.sp == f.sp) return DWARF_CB_ABORT;
    }
    ++g_frameCount;
    return g_frameCount < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

// ---- Stack walk ---------------------------------------------------------------------

// Walks by the unwind tables (32-bit ARM, see Arch.h), which libdw does not
// read, from `context` into g_frames.
void WalkByUnwindTables(CONTEXT walk) {
    for (bool first = true; g_frameCount < kMaxFrames; first = false) {
        std::uint64_t registers[64];
        std::uint64_t pc = 0;
        bool pcSeparate = false;
        UTL::arch::DwarfRegisters(walk, registers, 64, &pc, &pcSeparate);
        WalkFrame& f = g_frames[g_frameCount++];
        f = WalkFrame{};
        f.pc = UTL::arch::ProgramCounter(walk);
        f.sp = UTL::arch::StackPointer(walk);
        f.known = kSpKnown;
        for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount && i < kMaxSaved; ++i) {
            f.saved[i] = registers[UTL::arch::kDwarfCalleeSaved[i]];
            f.known |= 1u << i;
        }
        if (!UTL::arch::UnwindCaller(walk, first)) break;
    }
}

// Walks from `context` into g_frames; returns the number of frames found.
std::size_t WalkFrom(const CONTEXT* context) {
    g_frameCount = 0;
    ++g_walkId;
    if (UTL::arch::kWalksByUnwindTables) {
        WalkByUnwindTables(*context);
        return g_frameCount;
    }
    if (!g_attached) return 0;
    g_walkContext = context;
    g_walkTid = CurrentTid();
    g_pageValid = false;
    g_dw.getthread_frames(g_dwfl, g_walkTid, CollectFrame, nullptr);
    g_walkContext = nullptr;
    return g_frameCount;
}

void SetAddress(ADDRESS& a, std::uint64_t offset) {
    a.Offset = offset;
    a.Segment = 0;
    a.Mode = AddrModeFlat;
}

// Frame address: the canonical frame address (the caller's stack pointer)
// where known, else the frame's own stack or frame pointer.
std::uint64_t FrameAddress(std::size_t index) {
    if (index + 1 < g_frameCount && (g_frames[index + 1].known & kSpKnown))
        return g_frames[index + 1].sp;
    if ((g_frames[index].known & kSpKnown) && g_frames[index].sp) return g_frames[index].sp;
    for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount; ++i) {
        if (UTL::arch::kDwarfCalleeSaved[i] == UTL::arch::kDwarfFramePointer &&
            (g_frames[index].known & (1u << i)))
            return g_frames[index].saved[i];
    }
    return 0;
}

void FillStackFrame(STACKFRAME* frame, std::size_t index) {
    const WalkFrame& f = g_frames[index];
    std::memset(frame, 0, sizeof *frame);
    SetAddress(frame->AddrPC, f.pc);
    SetAddress(frame->AddrReturn, index + 1 < g_frameCount ? g_frames[index + 1].pc : 0);
    SetAddress(frame->AddrFrame, FrameAddress(index));
    SetAddress(frame->AddrStack, (f.known & kSpKnown) ? f.sp : 0);
    frame->Reserved[0] = kWalkMagic;
    frame->Reserved[1] = g_walkId;
    frame->Reserved[2] = index;
}

// Moves the caller's context to the registers known for frame `index`.
void UpdateContext(CONTEXT* context, std::size_t index) {
    const WalkFrame& f = g_frames[index];
    const UTL::arch::Address pc = static_cast<UTL::arch::Address>(f.pc);
    UTL::arch::SetControlRegisters(*context, pc,
                                   (f.known & kSpKnown) ? static_cast<UTL::arch::Address>(f.sp)
                                                        : UTL::arch::StackPointer(*context),
                                   UTL::arch::FramePointer(*context));
    for (unsigned i = 0; i < UTL::arch::kDwarfCalleeSavedCount && i < kMaxSaved; ++i) {
        if (f.known & (1u << i))
            UTL::arch::SetDwarfRegister(*context, UTL::arch::kDwarfCalleeSaved[i], f.saved[i]);
    }
}

}  // namespace

// Prepares the unwinder; the architecture comes from this library's own
// module, which stays reported for as long as the library is loaded.
void AttachUnwinder() {
    if (g_attached) return;
    Dwfl_Module* own = g_dw.addrmodule(g_dwfl, UTL::arch::Address64(&CurrentTid));
    GElf_Addr bias = 0;
    Elf* elf = own ? g_dw.module_getelf(own, &bias) : nullptr;
    if (!elf) return;
    g_attached = g_dw.attach_state(g_dwfl, elf, getpid(), &g_threadCallbacks, nullptr);
}

void DetachUnwinder() {
    g_attached = false;
}

BOOL NextFrame(STACKFRAME* frame, CONTEXT* ctx) {
    std::size_t next = 0;
    if (frame->Reserved[0] != kWalkMagic) {
        // First call: walk the whole stack now, hand out the context's frame.
        if (OnOwnStack([ctx] { return WalkFrom(ctx); }) == 0) return 0;
    } else if (frame->Reserved[1] == g_walkId) {
        next = static_cast<std::size_t>(frame->Reserved[2]) + 1;
    } else {
        // Another walk has replaced ours: continue from the registers of the
        // frame last handed out, which the context holds.
        if (OnOwnStack([ctx] { return WalkFrom(ctx); }) == 0) return 0;
        next = 1;
    }
    if (next >= g_frameCount) return 0;
    FillStackFrame(frame, next);
    if (frame->AddrFrame.Offset == 0) return 0;
    if (next > 0) UpdateContext(ctx, next);
    return 1;
}

}  // namespace UTL::dbghelp
