// aarch64: registers, frame records and faulting instructions.
#if defined(__aarch64__)

#include <asm/sigcontext.h>

#include <cstring>

#include "Arch.h"
#include "CallFrameInfo.h"
#include "SafeMemory.h"

namespace UTL {
namespace arch {
namespace {

typedef unsigned long long Hex;  // what "%llX" prints

// The exception syndrome the kernel records in the signal frame's extension
// area, 0 when there is none.
std::uint64_t Syndrome(const ucontext_t& signal) {
    const unsigned char* area =
        reinterpret_cast<const unsigned char*>(signal.uc_mcontext.__reserved);
    const std::size_t size = sizeof signal.uc_mcontext.__reserved;
    for (std::size_t at = 0; at + sizeof(_aarch64_ctx) <= size;) {
        _aarch64_ctx header;
        std::memcpy(&header, area + at, sizeof header);
        if (header.magic == 0 || header.size < sizeof header) break;
        if (header.magic == ESR_MAGIC && at + sizeof(esr_context) <= size) {
            esr_context esr;
            std::memcpy(&esr, area + at, sizeof esr);
            return esr.esr;
        }
        at += header.size;
    }
    return 0;
}

bool IsCall(std::uint32_t instruction) {
    return (instruction & 0xFC000000u) == 0x94000000u ||  // BL
           (instruction & 0xFFFFFC1Fu) == 0xD63F0000u;    // BLR
}

// Whether the link register value `lr` is a return address: it follows a call.
bool FollowsCall(Address lr) {
    std::uint32_t call = 0;
    return lr >= 4 && arch::ReadMemory(reinterpret_cast<const void*>(lr - 4), &call, 4) &&
           IsCall(call);
}

constexpr unsigned kLinkRegister = 30;  // DWARF number of x30

}  // namespace

const DWORD kMachineType = IMAGE_FILE_MACHINE_ARM64;

Address ProgramCounter(const CONTEXT& context) {
    return context.Pc;
}
Address StackPointer(const CONTEXT& context) {
    return context.Sp;
}
Address FramePointer(const CONTEXT& context) {
    return context.Fp;
}
void SetControlRegisters(CONTEXT& context, Address pc, Address sp, Address fp) {
    context.Pc = pc;
    context.Sp = sp;
    context.Fp = fp;
}

void ContextFromSignal(const ucontext_t& signal, CONTEXT& context) {
    const mcontext_t& m = signal.uc_mcontext;
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    for (int i = 0; i < 29; ++i) context.X[i] = m.regs[i];
    context.Fp = m.regs[29];
    context.Lr = m.regs[30];
    context.Sp = m.sp;
    context.Pc = m.pc;
    context.Cpsr = static_cast<DWORD>(m.pstate);
}

void CaptureCaller(CONTEXT& context, Address returnAddress, Address callerStack,
                   Address frameRecord) {
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_CONTROL;
    context.Pc = returnAddress;
    context.Sp = callerStack;
    context.Fp = *reinterpret_cast<const Address*>(frameRecord);
    context.Lr = returnAddress;
    std::uint64_t flags;
    asm volatile("mrs %0, nzcv" : "=r"(flags));
    context.Cpsr = static_cast<DWORD>(flags);
}

void WriteRegisters(const CONTEXT& c, ReportWriter write) {
    for (int i = 0; i < 28; i += 4) {
        write("X%d:%016llX\nX%d:%016llX\nX%d:%016llX\nX%d:%016llX\n", i, Hex(c.X[i]), i + 1,
              Hex(c.X[i + 1]), i + 2, Hex(c.X[i + 2]), i + 3, Hex(c.X[i + 3]));
    }
    write("X28:%016llX\n", Hex(c.X[28]));
    write("FP:%016llX\nLR:%016llX\nSP:%016llX\nPC:%016llX\n", Hex(c.Fp), Hex(c.Lr), Hex(c.Sp),
          Hex(c.Pc));
    write("PSTATE:%08X\n", c.Cpsr);
}

// A breakpoint (BRK) reports its own address, and integer division does not
// trap: nothing to refine.
void RefineFault(const ucontext_t&, const siginfo_t&, DWORD&, Address&) {}

ULONG_PTR AccessKind(const ucontext_t& signal, const siginfo_t& info) {
    const std::uint64_t syndrome = Syndrome(signal);
    const unsigned exceptionClass = static_cast<unsigned>(syndrome >> 26) & 0x3F;
    if (exceptionClass == 0x20 || exceptionClass == 0x21) return 8;  // instruction abort
    if (exceptionClass == 0x24 || exceptionClass == 0x25) return (syndrome & (1u << 6)) ? 1 : 0;
    // No syndrome (an emulator may give none): a fault at the instruction's
    // own address is a fetch.
    return reinterpret_cast<Address>(info.si_addr) == signal.uc_mcontext.pc ? 8 : 0;
}

Address SignalStackPointer(const ucontext_t& signal) {
    return signal.uc_mcontext.sp;
}
Address SignalProgramCounter(const ucontext_t& signal) {
    return signal.uc_mcontext.pc;
}
void SetSignalProgramCounter(ucontext_t& signal, Address pc) {
    signal.uc_mcontext.pc = pc;
}

bool UnsavedReturnAddress(const CONTEXT& context, Address& returnAddress) {
    // Leaf functions keep no frame record at all on aarch64, and any function
    // stores its record only in its prologue: the call frame information tells
    // whether the link register was saved by the instruction. Code without
    // any (a call through a bad pointer) has saved nothing.
    arch::FrameRules rules;
    switch (arch::ReadFrameRules(context.Pc, kLinkRegister, rules)) {
        case arch::FrameRulesResult::kRead:
            if (rules.saved) return false;
            break;
        case arch::FrameRulesResult::kNoInformation:
            break;
        case arch::FrameRulesResult::kUnreadable:
            return false;
    }
    if (!FollowsCall(context.Lr)) return false;
    returnAddress = context.Lr;
    return true;
}

bool ReturnToCaller(ucontext_t& signal) {
    const Address returnAddress = signal.uc_mcontext.regs[kLinkRegister];
    if (!FollowsCall(returnAddress)) return false;
    // At the call instruction itself: the caller's unwind rows and call-site
    // table hold there. The link register still holds the return address.
    signal.uc_mcontext.pc = returnAddress - 4;
    return true;
}

void ClearAlignmentCheck() {}

// DWARF: X0-X30 and SP (31); the program counter has no DWARF number.
unsigned DwarfRegisters(const CONTEXT& c, std::uint64_t* registers, unsigned capacity,
                        std::uint64_t* pc, bool* pcSeparate) {
    const unsigned count = 32;
    if (capacity < count) return 0;
    for (int i = 0; i < 29; ++i) registers[i] = c.X[i];
    registers[29] = c.Fp;
    registers[30] = c.Lr;
    registers[31] = c.Sp;
    *pc = c.Pc;
    *pcSeparate = true;
    return count;
}

const unsigned kDwarfStackPointer = 31;
const unsigned kDwarfFramePointer = 29;
const unsigned kDwarfCalleeSaved[] = {19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30};
const unsigned kDwarfCalleeSavedCount = sizeof kDwarfCalleeSaved / sizeof kDwarfCalleeSaved[0];

void SetDwarfRegister(CONTEXT& c, unsigned number, std::uint64_t value) {
    if (number < 29) {
        c.X[number] = value;
    } else if (number == 29) {
        c.Fp = value;
    } else if (number == 30) {
        c.Lr = value;
    } else if (number == 31) {
        c.Sp = value;
    }
}

__attribute__((noinline)) void CallOnStack(void (*fn)(void*), void* arg, void* top) {
    register void* argument asm("x0") = arg;
    asm volatile(
        "mov x19, sp\n\t"
        "mov sp, %[top]\n\t"
        "blr %[fn]\n\t"
        "mov sp, x19"
        : "+r"(argument)
        : [fn] "r"(fn), [top] "r"(top)
        : "x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8", "x9", "x10", "x11", "x12", "x13", "x14",
          "x15", "x16", "x17", "x18", "x19", "x30", "memory", "cc", "v0", "v1", "v2", "v3", "v4",
          "v5", "v6", "v7", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24", "v25",
          "v26", "v27", "v28", "v29", "v30", "v31");
}

}  // namespace arch
}  // namespace UTL

#endif  // __aarch64__
