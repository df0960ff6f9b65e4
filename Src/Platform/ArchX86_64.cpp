// x86-64: registers, frame records and faulting instructions.
#if defined(__x86_64__)

#include <cstring>

#include "Arch.h"
#include "X86Instructions.h"

#ifndef UC_SIGCONTEXT_SS
#define UC_SIGCONTEXT_SS 0x2
#endif

namespace UTL {
namespace arch {
namespace {

// greg_t index of each x86 register number (AX CX DX BX SP BP SI DI R8-R15).
const int kSignalRegister[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP,
                                 REG_RSI, REG_RDI, REG_R8,  REG_R9,  REG_R10, REG_R11,
                                 REG_R12, REG_R13, REG_R14, REG_R15};

std::uint64_t SignalRegister(const void* state, unsigned number) {
    const ucontext_t& signal = *static_cast<const ucontext_t*>(state);
    return static_cast<std::uint64_t>(signal.uc_mcontext.gregs[kSignalRegister[number & 15]]);
}

typedef unsigned long long Hex;  // what "%llX" prints

}  // namespace

const DWORD kMachineType = IMAGE_FILE_MACHINE_AMD64;

Address ProgramCounter(const CONTEXT& context) {
    return static_cast<Address>(context.Rip);
}
Address StackPointer(const CONTEXT& context) {
    return static_cast<Address>(context.Rsp);
}
Address FramePointer(const CONTEXT& context) {
    return static_cast<Address>(context.Rbp);
}
void SetControlRegisters(CONTEXT& context, Address pc, Address sp, Address fp) {
    context.Rip = pc;
    context.Rsp = sp;
    context.Rbp = fp;
}

void ContextFromSignal(const ucontext_t& signal, CONTEXT& context) {
    const greg_t* g = signal.uc_mcontext.gregs;
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_FULL;
    context.Rax = static_cast<DWORD64>(g[REG_RAX]);
    context.Rbx = static_cast<DWORD64>(g[REG_RBX]);
    context.Rcx = static_cast<DWORD64>(g[REG_RCX]);
    context.Rdx = static_cast<DWORD64>(g[REG_RDX]);
    context.Rsi = static_cast<DWORD64>(g[REG_RSI]);
    context.Rdi = static_cast<DWORD64>(g[REG_RDI]);
    context.Rsp = static_cast<DWORD64>(g[REG_RSP]);
    context.Rbp = static_cast<DWORD64>(g[REG_RBP]);
    context.R8 = static_cast<DWORD64>(g[REG_R8]);
    context.R9 = static_cast<DWORD64>(g[REG_R9]);
    context.R10 = static_cast<DWORD64>(g[REG_R10]);
    context.R11 = static_cast<DWORD64>(g[REG_R11]);
    context.R12 = static_cast<DWORD64>(g[REG_R12]);
    context.R13 = static_cast<DWORD64>(g[REG_R13]);
    context.R14 = static_cast<DWORD64>(g[REG_R14]);
    context.R15 = static_cast<DWORD64>(g[REG_R15]);
    context.Rip = static_cast<DWORD64>(g[REG_RIP]);
    context.EFlags = static_cast<DWORD>(g[REG_EFL]);
    // cs, gs, fs and (when the kernel saved it) ss, 16 bits each. The kernel
    // does not save ds and es for 64-bit code: they stay 0.
    const std::uint64_t segments = static_cast<std::uint64_t>(g[REG_CSGSFS]);
    context.SegCs = static_cast<WORD>(segments & 0xFFFF);
    context.SegGs = static_cast<WORD>((segments >> 16) & 0xFFFF);
    context.SegFs = static_cast<WORD>((segments >> 32) & 0xFFFF);
    if (signal.uc_flags & UC_SIGCONTEXT_SS) context.SegSs = static_cast<WORD>(segments >> 48);
}

void CaptureCaller(CONTEXT& context, Address returnAddress, Address callerStack,
                   Address frameRecord) {
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_CONTROL;
    context.Rip = returnAddress;
    context.Rsp = callerStack;
    context.Rbp = *reinterpret_cast<const Address*>(frameRecord);
    std::uint16_t cs, ss;
    asm volatile("mov %%cs, %0\n\tmov %%ss, %1" : "=r"(cs), "=r"(ss));
    context.SegCs = cs;
    context.SegSs = ss;
    context.EFlags = static_cast<DWORD>(__builtin_ia32_readeflags_u64());
}

void WriteRegisters(const CONTEXT& c, ReportWriter write) {
    write("RAX:%016llX\nRBX:%016llX\nRCX:%016llX\nRDX:%016llX\nRSI:%016llX\nRDI:%016llX\n",
          Hex(c.Rax), Hex(c.Rbx), Hex(c.Rcx), Hex(c.Rdx), Hex(c.Rsi), Hex(c.Rdi));
    write("R8:%016llX\nR9:%016llX\nR10:%016llX\nR11:%016llX\n", Hex(c.R8), Hex(c.R9), Hex(c.R10),
          Hex(c.R11));
    write("R12:%016llX\nR13:%016llX\nR14:%016llX\nR15:%016llX\n", Hex(c.R12), Hex(c.R13),
          Hex(c.R14), Hex(c.R15));
    write("CS:RIP:%04X:%016llX\n", c.SegCs, Hex(c.Rip));
    write("SS:RSP:%04X:%016llX  RBP:%016llX\n", c.SegSs, Hex(c.Rsp), Hex(c.Rbp));
    write("DS:%04X  ES:%04X  FS:%04X  GS:%04X\n", c.SegDs, c.SegEs, c.SegFs, c.SegGs);
    write("Flags:%08X\n", c.EFlags);
}

void RefineFault(const ucontext_t& signal, const siginfo_t& info, DWORD& code, Address& address) {
    const Address pc = SignalProgramCounter(signal);
    if (info.si_signo == SIGTRAP && info.si_code == SI_KERNEL) {
        address = X86BreakpointAddress(pc);  // the kernel reports the next instruction
    } else if (info.si_signo == SIGFPE && code == EXCEPTION_INT_DIVIDE_BY_ZERO) {
        Address fsBase = 0;
        asm("mov %%fs:0, %0" : "=r"(fsBase));  // the thread control block points to itself
        const X86Machine machine = {true, SignalRegister, &signal, fsBase, pc};
        if (IsX86QuotientOverflow(machine)) code = EXCEPTION_INT_OVERFLOW;
    }
}

ULONG_PTR AccessKind(const ucontext_t& signal, const siginfo_t&) {
    const greg_t error = signal.uc_mcontext.gregs[REG_ERR];
    return (error & 0x10) ? 8 : (error & 0x2) ? 1 : 0;
}

Address SignalStackPointer(const ucontext_t& signal) {
    return static_cast<Address>(signal.uc_mcontext.gregs[REG_RSP]);
}
Address SignalProgramCounter(const ucontext_t& signal) {
    return static_cast<Address>(signal.uc_mcontext.gregs[REG_RIP]);
}
void SetSignalProgramCounter(ucontext_t& signal, Address pc) {
    signal.uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(pc);
}

bool UnsavedReturnAddress(const CONTEXT& context, Address& returnAddress) {
    return X86UnsavedReturnAddress(ProgramCounter(context), StackPointer(context), 7,
                                   returnAddress);  // DWARF RSP
}

bool ReturnToCaller(ucontext_t& signal) {
    greg_t* g = signal.uc_mcontext.gregs;
    Address returnAddress = 0;
    if (!X86ReturnAddressAt(static_cast<Address>(g[REG_RSP]), returnAddress)) return false;
    // Inside the call instruction: the caller's unwind rows and call-site
    // table hold there, whatever follows the call.
    g[REG_RIP] = static_cast<greg_t>(returnAddress - 1);
    g[REG_RSP] += 8;
    return true;
}

void ClearAlignmentCheck() {
    // Below the red zone, so that the interrupted function's is left alone.
    asm volatile(
        "sub $128, %%rsp\n\t"
        "pushfq\n\t"
        "andq $~0x40000, (%%rsp)\n\t"
        "popfq\n\t"
        "add $128, %%rsp" ::
            : "cc", "memory");
}

// DWARF: RAX RDX RCX RBX RSI RDI RBP RSP R8-R15, then the return address (RIP).
unsigned DwarfRegisters(const CONTEXT& c, std::uint64_t* registers, unsigned capacity,
                        std::uint64_t* pc, bool* pcSeparate) {
    const std::uint64_t values[] = {c.Rax, c.Rdx, c.Rcx, c.Rbx, c.Rsi, c.Rdi, c.Rbp, c.Rsp, c.R8,
                                    c.R9,  c.R10, c.R11, c.R12, c.R13, c.R14, c.R15, c.Rip};
    const unsigned count = sizeof values / sizeof values[0];
    if (capacity < count) return 0;
    std::memcpy(registers, values, sizeof values);
    *pc = c.Rip;
    *pcSeparate = false;
    return count;
}

const unsigned kDwarfStackPointer = 7;
const unsigned kDwarfFramePointer = 6;
const unsigned kDwarfCalleeSaved[] = {3, 6, 12, 13, 14, 15};  // RBX RBP R12-R15
const unsigned kDwarfCalleeSavedCount = sizeof kDwarfCalleeSaved / sizeof kDwarfCalleeSaved[0];

void SetDwarfRegister(CONTEXT& c, unsigned number, std::uint64_t value) {
    switch (number) {
        case 3:
            c.Rbx = value;
            break;
        case 6:
            c.Rbp = value;
            break;
        case 7:
            c.Rsp = value;
            break;
        case 12:
            c.R12 = value;
            break;
        case 13:
            c.R13 = value;
            break;
        case 14:
            c.R14 = value;
            break;
        case 15:
            c.R15 = value;
            break;
        case 16:
            c.Rip = value;
            break;
        default:
            break;
    }
}

__attribute__((noinline)) void CallOnStack(void (*fn)(void*), void* arg, void* top) {
    asm volatile(
        "mov %%rsp, %%r12\n\t"
        "mov %2, %%rsp\n\t"
        "call *%0\n\t"
        "mov %%r12, %%rsp\n\t"
        : "+a"(fn), "+D"(arg), "+S"(top)
        :
        : "rcx", "rdx", "r8", "r9", "r10", "r11", "r12", "memory", "cc", "xmm0", "xmm1", "xmm2",
          "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12",
          "xmm13", "xmm14", "xmm15");
}

}  // namespace arch
}  // namespace UTL

#endif  // __x86_64__
