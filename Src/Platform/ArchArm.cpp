// 32-bit ARM (armhf): registers, the walk by the unwind tables and faulting
// instructions.
//
// ARM and Thumb code keep their frame pointers in different registers (R11,
// R7) with differently laid out records, and optimised code keeps none, so a
// call stack is walked by the unwind tables instead: the exception index
// (.ARM.exidx) that every object has for C++ exceptions, one entry per
// function, whose unwind instructions tell how the function's prologue saved
// its caller's registers.
#if defined(__arm__)

#include <cstring>

#include "Arch.h"
#include "SafeMemory.h"

// The C library's lookup of the exception index of the object holding `pc`
// (the same lookup the unwinder makes); null when no object holds it.
extern "C" std::uintptr_t __gnu_Unwind_Find_exidx(std::uintptr_t pc, int* count);

namespace UTL {
namespace arch {
namespace {

typedef std::uint32_t Word;

// An entry of an exception index: where the function starts, and its unwind
// instructions (inline), where they are, or that it cannot be unwound.
struct IndexEntry {
    Word function;
    Word data;
};
const Word kCannotUnwind = 1;

// The address a 31-bit place-relative offset at `place` refers to.
Address Prel31(const Word* place) {
    const Word offset = (*place & 0x40000000u) ? (*place | 0x80000000u) : (*place & 0x7FFFFFFFu);
    return reinterpret_cast<Address>(place) + offset;
}

// The index entry of the function holding `pc`; null when none does.
const IndexEntry* FindEntry(Address pc) {
    int count = 0;
    const IndexEntry* table =
        reinterpret_cast<const IndexEntry*>(__gnu_Unwind_Find_exidx(pc, &count));
    if (!table || count <= 0 || Prel31(&table[0].function) > pc) return nullptr;
    int low = 0, high = count - 1;  // the last entry starting at or before pc
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (Prel31(&table[middle].function) <= pc) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return &table[low];
}

// The unwind instructions of an entry, one byte after the other, the most
// significant byte of each word first.
class Instructions {
public:
    // From the inline word of an entry or the first word of its table entry;
    // false when the format is unknown.
    bool Start(const Word* first) {
        if (*first & 0x80000000u) {
            const unsigned personality = (*first >> 24) & 0x0F;
            if (personality == 0) return Set(first, 3, 0);                      // short form
            if (personality <= 2) return Set(first, 2, (*first >> 16) & 0xFF);  // long form
            return false;
        }
        // A personality routine of its own (C++ code with handlers): the
        // compiler puts the instructions after it, in the long form.
        const Word* data = first + 1;
        return Set(data, 3, (*data >> 24) & 0xFF);
    }
    bool Next(std::uint8_t& byte) {
        if (m_bytesLeft == 0) {
            if (m_wordsLeft == 0) return false;
            --m_wordsLeft;
            ++m_word;
            m_bytesLeft = 4;
        }
        --m_bytesLeft;
        byte = static_cast<std::uint8_t>(*m_word >> (8 * m_bytesLeft));
        return true;
    }

private:
    bool Set(const Word* word, unsigned bytes, unsigned moreWords) {
        m_word = word;
        m_bytesLeft = bytes;
        m_wordsLeft = moreWords;
        return true;
    }
    const Word* m_word = nullptr;
    unsigned m_bytesLeft = 0;
    unsigned m_wordsLeft = 0;
};

// The core registers while a frame is unwound.
struct Registers {
    Word r[16];
    Address vsp;  // the virtual stack pointer the instructions move
    bool pcSet;
};

// Pops the registers of `mask` (bit n: Rn) from the virtual stack.
bool Pop(Registers& state, unsigned mask) {
    for (unsigned n = 0; n < 16; ++n) {
        if (!(mask & (1u << n))) continue;
        if (!arch::ReadMemory(reinterpret_cast<const void*>(state.vsp), &state.r[n], 4))
            return false;
        state.vsp += 4;
    }
    if (mask & (1u << 13)) state.vsp = state.r[13];
    if (mask & (1u << 15)) state.pcSet = true;
    return true;
}

// Runs the unwind instructions; false on one that refuses to unwind or that
// this reader does not know.
bool Execute(Instructions& code, Registers& state) {
    std::uint8_t op = 0, operand = 0;
    while (code.Next(op)) {
        if (op < 0x40) {
            state.vsp += ((op & 0x3Fu) << 2) + 4;
        } else if (op < 0x80) {
            state.vsp -= ((op & 0x3Fu) << 2) + 4;
        } else if (op < 0x90) {  // pop R4-R15 by mask; an empty mask refuses
            if (!code.Next(operand)) return false;
            const unsigned mask = ((op & 0x0Fu) << 8) | operand;
            if (mask == 0 || !Pop(state, mask << 4)) return false;
        } else if (op < 0xA0) {  // vsp = Rn
            const unsigned n = op & 0x0Fu;
            if (n == 13 || n == 15) return false;
            state.vsp = state.r[n];
        } else if (op < 0xB0) {  // pop R4-R[4+n], and R14 too
            unsigned mask = ((2u << (op & 7u)) - 1) << 4;
            if (op & 8u) mask |= 1u << 14;
            if (!Pop(state, mask)) return false;
        } else if (op == 0xB0) {  // finish
            break;
        } else if (op == 0xB1) {  // pop R0-R3 by mask
            if (!code.Next(operand) || operand == 0 || (operand & 0xF0u)) return false;
            if (!Pop(state, operand)) return false;
        } else if (op == 0xB2) {  // vsp += 0x204 + ULEB128 << 2
            Word value = 0;
            unsigned shift = 0;
            do {
                if (!code.Next(operand) || shift > 28) return false;
                value |= Word{operand & 0x7Fu} << shift;
                shift += 7;
            } while (operand & 0x80u);
            state.vsp += 0x204 + (value << 2);
        } else if (op == 0xB3 || op == 0xC8 || op == 0xC9 || op == 0xC6) {  // VFP/WMMX range
            if (!code.Next(operand)) return false;
            state.vsp += ((operand & 0x0Fu) + 1) * 8 + (op == 0xB3 ? 4 : 0);
        } else if (op >= 0xB8 && op < 0xC0) {  // VFP D8-D[8+n], FSTMFDX
            state.vsp += ((op & 7u) + 1) * 8 + 4;
        } else if ((op >= 0xC0 && op < 0xC6) || (op >= 0xD0 && op < 0xD8)) {  // WMMX, VFP D8-
            state.vsp += ((op & 7u) + 1) * 8;
        } else if (op == 0xC7) {  // WMMX control registers by mask
            if (!code.Next(operand) || operand == 0 || (operand & 0xF0u)) return false;
            state.vsp += 4 * static_cast<unsigned>(__builtin_popcount(operand));
        } else {
            return false;  // spare
        }
    }
    return true;
}

void ToRegisters(const CONTEXT& c, Word (&r)[16]) {
    std::memcpy(r, c.R, sizeof c.R);
    r[13] = c.Sp;
    r[14] = c.Lr;
    r[15] = c.Pc;
}

void FromRegisters(const Word (&r)[16], CONTEXT& c) {
    std::memcpy(c.R, r, sizeof c.R);
    c.Sp = r[13];
    c.Lr = r[14];
    c.Pc = r[15] & ~Word{1};  // without the Thumb bit of a return address
}

// A call instruction ends right before `returnAddress` (in Thumb code when
// its bit 0 is set).
bool FollowsCall(Address returnAddress) {
    const Address end = returnAddress & ~Address{1};
    if (returnAddress & 1) {
        std::uint16_t code[2] = {0, 0};
        if (end < 4 || !arch::ReadMemory(reinterpret_cast<const void*>(end - 4), code, 4))
            return false;
        const bool blxRegister = (code[1] & 0xFF87u) == 0x4780u;
        const bool blImmediate = (code[0] & 0xF800u) == 0xF000u && (code[1] & 0xC000u) == 0xC000u;
        return blxRegister || blImmediate;
    }
    Word code = 0;
    if (end < 4 || !arch::ReadMemory(reinterpret_cast<const void*>(end - 4), &code, 4))
        return false;
    return (code & 0x0FFFFFF0u) == 0x012FFF30u ||                           // BLX Rm
           ((code & 0x0F000000u) == 0x0B000000u && (code >> 28) != 0xF) ||  // BL
           (code & 0xFE000000u) == 0xFA000000u;                             // BLX label
}

}  // namespace

const DWORD kMachineType = IMAGE_FILE_MACHINE_ARMNT;

Address ProgramCounter(const CONTEXT& context) {
    return context.Pc;
}
Address StackPointer(const CONTEXT& context) {
    return context.Sp;
}
// R11, the frame pointer of ARM code (Thumb code keeps it in R7): shown only,
// the walks go by the unwind tables.
Address FramePointer(const CONTEXT& context) {
    return context.R[11];
}
void SetControlRegisters(CONTEXT& context, Address pc, Address sp, Address fp) {
    context.Pc = pc;
    context.Sp = sp;
    context.R[11] = fp;
}

void ContextFromSignal(const ucontext_t& signal, CONTEXT& context) {
    const mcontext_t& m = signal.uc_mcontext;
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    const unsigned long general[13] = {m.arm_r0,  m.arm_r1, m.arm_r2, m.arm_r3, m.arm_r4,
                                       m.arm_r5,  m.arm_r6, m.arm_r7, m.arm_r8, m.arm_r9,
                                       m.arm_r10, m.arm_fp, m.arm_ip};
    for (int i = 0; i < 13; ++i) context.R[i] = static_cast<DWORD>(general[i]);
    context.Sp = m.arm_sp;
    context.Lr = m.arm_lr;
    context.Pc = m.arm_pc;
    context.Cpsr = m.arm_cpsr;
}

// The caller's registers come from unwinding this function's own frame and
// those above it up to the caller's: the callee-saved registers that the
// tables may need further up (a frame pointer) are the caller's then, not
// whatever the functions in between left in them.
__attribute__((noinline)) void CaptureCaller(CONTEXT& context, Address returnAddress,
                                             Address callerStack, Address) {
    std::memset(&context, 0, sizeof context);
    Word saved[8];  // R4-R11 here
    register Word* to asm("r0") = saved;
    asm volatile("stmia %0, {r4-r11}" : : "r"(to) : "memory");
    Word sp;
    asm volatile("mov %0, sp" : "=r"(sp));
    Word flags;
    asm volatile("mrs %0, apsr" : "=r"(flags));
    CONTEXT walk = {};
    std::memcpy(&walk.R[4], saved, sizeof saved);
    walk.Sp = sp;
    walk.Pc = reinterpret_cast<Address>(&CaptureCaller) & ~Address{1};
    for (int frame = 0; frame < 8; ++frame) {
        if (!UnwindCaller(walk, frame == 0)) break;
        if (walk.Sp == callerStack && walk.Pc == (returnAddress & ~Address{1})) {
            std::memcpy(&context.R[4], &walk.R[4], 8 * sizeof walk.R[0]);  // callee-saved
            break;
        }
    }
    context.ContextFlags = CONTEXT_CONTROL;
    context.Pc = returnAddress & ~Address{1};
    context.Sp = callerStack;
    context.Lr = returnAddress;
    context.Cpsr = flags;
}

void WriteRegisters(const CONTEXT& c, ReportWriter write) {
    for (int i = 0; i < 13; ++i) write("R%d:%08X\n", i, c.R[i]);
    write("SP:%08X\nLR:%08X\nPC:%08X\n", c.Sp, c.Lr, c.Pc);
    write("CPSR:%08X\n", c.Cpsr);
}

// A breakpoint (BKPT) reports its own address, and integer division does not
// trap: nothing to refine.
void RefineFault(const ucontext_t&, const siginfo_t&, DWORD&, Address&) {}

// The kernel passes the fault status: bit 31 marks an instruction fetch (a
// prefetch abort), bit 11 a write. Without it (an emulator may pass none), a
// fault at the instruction's own address is a fetch.
ULONG_PTR AccessKind(const ucontext_t& signal, const siginfo_t& info) {
    const unsigned long status = signal.uc_mcontext.error_code;
    if (status & 0x80000000ul) return 8;
    if (status & 0x800ul) return 1;
    if (status != 0) return 0;
    return reinterpret_cast<Address>(info.si_addr) == signal.uc_mcontext.arm_pc ? 8 : 0;
}

Address SignalStackPointer(const ucontext_t& signal) {
    return signal.uc_mcontext.arm_sp;
}
Address SignalProgramCounter(const ucontext_t& signal) {
    return signal.uc_mcontext.arm_pc;
}
// The unwinder looks a frame's unwind entry up 2 bytes before its program
// counter (a return address), signal frames included: 2 bytes past the
// instruction, so that a fault at a function's first instruction is not
// unwound by the entry of the function before. Bit 0 tells Thumb code, as in a
// return address: a landing pad the unwinder enters keeps the mode it gives.
void SetSignalProgramCounter(ucontext_t& signal, Address pc) {
    const bool thumb = signal.uc_mcontext.arm_cpsr & 0x20u;
    signal.uc_mcontext.arm_pc = (pc + 2) | (thumb ? 1u : 0u);
}

bool ReturnToCaller(ucontext_t& signal) {
    const Address returnAddress = signal.uc_mcontext.arm_lr;
    if (!FollowsCall(returnAddress)) return false;
    // The unwinder looks 2 bytes back, inside the call instruction, where the
    // caller's unwind entry and call-site table hold; bit 0 keeps the caller's
    // mode for its landing pad.
    signal.uc_mcontext.arm_pc = returnAddress;
    return true;
}

void ClearAlignmentCheck() {}

// The walk by the unwind tables finds the caller of a function that saved
// nothing yet itself; the frame-record walk that asks this does not run here.
bool UnsavedReturnAddress(const CONTEXT&, Address&) {
    return false;
}

bool HasUnwindEntry(Address pc) {
    const IndexEntry* entry = FindEntry(pc);
    return entry && entry->data != kCannotUnwind;
}

Address UnwindEntryStart(Address pc) {
    const IndexEntry* entry = FindEntry(pc & ~Address{1});
    return entry ? Prel31(&entry->function) : 0;
}

bool UnwindCaller(CONTEXT& context, bool interrupted) {
    const Address pc = context.Pc & ~Address{1};
    // A return address follows its call: the call is what belongs to the
    // function (the call may be its last instruction).
    const IndexEntry* entry = FindEntry(interrupted ? pc : pc - 1);
    Registers state = {};
    ToRegisters(context, state.r);
    state.vsp = context.Sp;
    if (!entry) {
        // No code here (a call through a bad pointer): the link register
        // still holds the return address.
        if (!interrupted || !FollowsCall(context.Lr)) return false;
        state.r[15] = context.Lr;
        state.pcSet = true;
    } else {
        if (entry->data == kCannotUnwind) return false;
        const Word* first = (entry->data & 0x80000000u)
                                ? &entry->data
                                : reinterpret_cast<const Word*>(Prel31(&entry->data));
        Instructions code;
        if (!code.Start(first) || !Execute(code, state)) return false;
    }
    if (!state.pcSet) state.r[15] = state.r[14];
    state.r[13] = static_cast<Word>(state.vsp);
    const Address callerPc = state.r[15] & ~Word{1};
    // The chain ends at a zero return address; a caller's frame lies above
    // its callee's, and one that repeats it would repeat forever.
    if (callerPc == 0 || state.r[13] < context.Sp || (state.r[13] == context.Sp && callerPc == pc))
        return false;
    FromRegisters(state.r, context);
    return true;
}

// DWARF: R0-R15, the program counter among them.
unsigned DwarfRegisters(const CONTEXT& c, std::uint64_t* registers, unsigned capacity,
                        std::uint64_t* pc, bool* pcSeparate) {
    const unsigned count = 16;
    if (capacity < count) return 0;
    Word r[16];
    ToRegisters(c, r);
    for (unsigned i = 0; i < count; ++i) registers[i] = r[i];
    *pc = c.Pc;
    *pcSeparate = false;
    return count;
}

const unsigned kDwarfStackPointer = 13;
const unsigned kDwarfFramePointer = 11;
const unsigned kDwarfCalleeSaved[] = {4, 5, 6, 7, 8, 9, 10, 11, 14};
const unsigned kDwarfCalleeSavedCount = sizeof kDwarfCalleeSaved / sizeof kDwarfCalleeSaved[0];

void SetDwarfRegister(CONTEXT& c, unsigned number, std::uint64_t value) {
    const DWORD word = static_cast<DWORD>(value);
    if (number < 13) {
        c.R[number] = word;
    } else if (number == 13) {
        c.Sp = word;
    } else if (number == 14) {
        c.Lr = word;
    } else if (number == 15) {
        c.Pc = word;
    }
}

// Naked: the compiler sees an ordinary call, so every register the calling
// convention lets `fn` change counts as changed.
__attribute__((naked, noinline)) void CallOnStack(void (*)(void*), void*, void*) {
    asm volatile(
        "push {r4, lr}\n\t"
        "mov r4, sp\n\t"
        "bic r2, r2, #7\n\t"  // the 8-byte alignment of the calling convention
        "mov sp, r2\n\t"
        "mov r2, r0\n\t"
        "mov r0, r1\n\t"
        "blx r2\n\t"
        "mov sp, r4\n\t"
        "pop {r4, pc}");
}

}  // namespace arch
}  // namespace UTL

#endif  // __arm__
