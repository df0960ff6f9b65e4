// i386: registers, frame records and faulting instructions.
#if defined(__i386__)

#include <cstring>

#include "Arch.h"
#include "X86Instructions.h"

namespace UTL {
namespace arch {
namespace {

// greg_t index of each x86 register number (AX CX DX BX SP BP SI DI).
const int kSignalRegister[8] = {REG_EAX, REG_ECX, REG_EDX, REG_EBX,
                                REG_ESP, REG_EBP, REG_ESI, REG_EDI};

std::uint64_t SignalRegister(const void* state, unsigned number) {
    const ucontext_t& signal = *static_cast<const ucontext_t*>(state);
    return static_cast<std::uint32_t>(signal.uc_mcontext.gregs[kSignalRegister[number & 7]]);
}

DWORD Register(const ucontext_t& signal, int index) {
    return static_cast<DWORD>(signal.uc_mcontext.gregs[index]);
}

}  // namespace

const DWORD kMachineType = IMAGE_FILE_MACHINE_I386;

Address ProgramCounter(const CONTEXT& context) {
    return context.Eip;
}
Address StackPointer(const CONTEXT& context) {
    return context.Esp;
}
Address FramePointer(const CONTEXT& context) {
    return context.Ebp;
}
void SetControlRegisters(CONTEXT& context, Address pc, Address sp, Address fp) {
    context.Eip = pc;
    context.Esp = sp;
    context.Ebp = fp;
}

void ContextFromSignal(const ucontext_t& signal, CONTEXT& context) {
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_FULL;
    context.Eax = Register(signal, REG_EAX);
    context.Ebx = Register(signal, REG_EBX);
    context.Ecx = Register(signal, REG_ECX);
    context.Edx = Register(signal, REG_EDX);
    context.Esi = Register(signal, REG_ESI);
    context.Edi = Register(signal, REG_EDI);
    context.Ebp = Register(signal, REG_EBP);
    context.Esp = Register(signal, REG_ESP);
    context.Eip = Register(signal, REG_EIP);
    context.EFlags = Register(signal, REG_EFL);
    context.SegCs = Register(signal, REG_CS) & 0xFFFF;
    context.SegSs = Register(signal, REG_SS) & 0xFFFF;
    context.SegDs = Register(signal, REG_DS) & 0xFFFF;
    context.SegEs = Register(signal, REG_ES) & 0xFFFF;
    context.SegFs = Register(signal, REG_FS) & 0xFFFF;
    context.SegGs = Register(signal, REG_GS) & 0xFFFF;
}

void CaptureCaller(CONTEXT& context, Address returnAddress, Address callerStack,
                   Address frameRecord) {
    std::memset(&context, 0, sizeof context);
    context.ContextFlags = CONTEXT_CONTROL;
    context.Eip = returnAddress;
    context.Esp = callerStack;
    context.Ebp = *reinterpret_cast<const Address*>(frameRecord);
    std::uint16_t cs, ss;
    std::uint32_t flags;
    asm volatile("mov %%cs, %0\n\tmov %%ss, %1\n\tpushfl\n\tpopl %2"
                 : "=r"(cs), "=r"(ss), "=r"(flags));
    context.SegCs = cs;
    context.SegSs = ss;
    context.EFlags = flags;
}

void WriteRegisters(const CONTEXT& c, ReportWriter write) {
    write("EAX:%08X\nEBX:%08X\nECX:%08X\nEDX:%08X\nESI:%08X\nEDI:%08X\n", c.Eax, c.Ebx, c.Ecx,
          c.Edx, c.Esi, c.Edi);
    write("CS:EIP:%04X:%08X\n", c.SegCs, c.Eip);
    write("SS:ESP:%04X:%08X  EBP:%08X\n", c.SegSs, c.Esp, c.Ebp);
    write("DS:%04X  ES:%04X  FS:%04X  GS:%04X\n", c.SegDs, c.SegEs, c.SegFs, c.SegGs);
    write("Flags:%08X\n", c.EFlags);
}

void RefineFault(const ucontext_t& signal, const siginfo_t& info, DWORD& code, Address& address) {
    const Address pc = SignalProgramCounter(signal);
    if (info.si_signo == SIGTRAP && info.si_code == SI_KERNEL) {
        address = X86BreakpointAddress(pc);  // the kernel reports the next instruction
    } else if (info.si_signo == SIGFPE && code == EXCEPTION_INT_DIVIDE_BY_ZERO) {
        const X86Machine machine = {false, SignalRegister, &signal, 0, pc};
        if (IsX86QuotientOverflow(machine)) code = EXCEPTION_INT_OVERFLOW;
    }
}

ULONG_PTR AccessKind(const ucontext_t& signal, const siginfo_t&) {
    const greg_t error = signal.uc_mcontext.gregs[REG_ERR];
    return (error & 0x10) ? 8 : (error & 0x2) ? 1 : 0;
}

Address SignalStackPointer(const ucontext_t& signal) {
    return Register(signal, REG_ESP);
}
Address SignalProgramCounter(const ucontext_t& signal) {
    return Register(signal, REG_EIP);
}
void SetSignalProgramCounter(ucontext_t& signal, Address pc) {
    signal.uc_mcontext.gregs[REG_EIP] = static_cast<greg_t>(pc);
}

bool UnsavedReturnAddress(const CONTEXT& context, Address& returnAddress) {
    return X86UnsavedReturnAddress(ProgramCounter(context), StackPointer(context), 4,
                                   returnAddress);  // DWARF ESP
}

bool ReturnToCaller(ucontext_t& signal) {
    greg_t* g = signal.uc_mcontext.gregs;
    Address returnAddress = 0;
    if (!X86ReturnAddressAt(static_cast<Address>(g[REG_ESP]), returnAddress)) return false;
    // Inside the call instruction: the caller's unwind rows and call-site
    // table hold there, whatever follows the call.
    g[REG_EIP] = static_cast<greg_t>(returnAddress - 1);
    g[REG_ESP] += 4;
    return true;
}

void ClearAlignmentCheck() {
    asm volatile(
        "pushfl\n\t"
        "andl $~0x40000, (%%esp)\n\t"
        "popfl" ::
            : "cc", "memory");
}

// DWARF: EAX ECX EDX EBX ESP EBP ESI EDI, then the return address (EIP).
unsigned DwarfRegisters(const CONTEXT& c, std::uint64_t* registers, unsigned capacity,
                        std::uint64_t* pc, bool* pcSeparate) {
    const std::uint64_t values[] = {c.Eax, c.Ecx, c.Edx, c.Ebx, c.Esp, c.Ebp, c.Esi, c.Edi, c.Eip};
    const unsigned count = sizeof values / sizeof values[0];
    if (capacity < count) return 0;
    std::memcpy(registers, values, sizeof values);
    *pc = c.Eip;
    *pcSeparate = false;
    return count;
}

const unsigned kDwarfStackPointer = 4;
const unsigned kDwarfFramePointer = 5;
const unsigned kDwarfCalleeSaved[] = {3, 5, 6, 7};  // EBX EBP ESI EDI
const unsigned kDwarfCalleeSavedCount = sizeof kDwarfCalleeSaved / sizeof kDwarfCalleeSaved[0];

void SetDwarfRegister(CONTEXT& c, unsigned number, std::uint64_t value) {
    const DWORD word = static_cast<DWORD>(value);
    switch (number) {
        case 3:
            c.Ebx = word;
            break;
        case 4:
            c.Esp = word;
            break;
        case 5:
            c.Ebp = word;
            break;
        case 6:
            c.Esi = word;
            break;
        case 7:
            c.Edi = word;
            break;
        case 8:
            c.Eip = word;
            break;
        default:
            break;
    }
}

__attribute__((noinline)) void CallOnStack(void (*fn)(void*), void* arg, void* top) {
    // The stack is 16-byte aligned at the call, with the argument above the
    // return address.
    asm volatile(
        "mov %%esp, %%edi\n\t"
        "mov %2, %%esp\n\t"
        "sub $12, %%esp\n\t"
        "push %1\n\t"
        "call *%0\n\t"
        "mov %%edi, %%esp"
        : "+a"(fn), "+c"(arg), "+d"(top)
        :
        : "edi", "memory", "cc");
}

}  // namespace arch
}  // namespace UTL

#endif  // __i386__
