// Fault translation: a signal becomes an exception record and context for the
// faulting thread's translator, or a report before death when the fault
// cannot become an exception.
#include "FatalPath.h"
#include "FlushAtDeath.h"
#include "ThreadState.h"

using UTL::arch::Address;

namespace UTL {
namespace fault {

namespace {

// The code of a reported abort (ReportAborts).
constexpr DWORD EXCEPTION_FATAL_APP_EXIT = 0x40000015u;

bool IsStackOverflow(Address faultAddress, Address sp, const ThreadFaultState& state) {
    if (faultAddress < sp + 4096 && faultAddress + 65536 >= sp) return true;
    return state.stackLow != 0 && faultAddress < state.stackLow + 4096 &&
           faultAddress + 1024 * 1024 >= state.stackLow;
}

DWORD CodeOfFpe(int code) {
    switch (code) {
        case FPE_INTDIV:
            return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF:
            return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV:
            return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF:
            return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND:
            return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES:
            return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB:
            return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default:
            return EXCEPTION_FLT_INVALID_OPERATION;
    }
}

DWORD ExceptionCodeOfSignal(int signal, const siginfo_t& info, bool stackOverflow) {
    switch (signal) {
        case SIGSEGV:
            return stackOverflow ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
        case SIGFPE:
            return CodeOfFpe(info.si_code);
        case SIGILL:
            return info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG
                       ? EXCEPTION_PRIV_INSTRUCTION
                       : EXCEPTION_ILLEGAL_INSTRUCTION;
        case SIGBUS:
            return info.si_code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT
                                              : EXCEPTION_IN_PAGE_ERROR;
        case SIGTRAP:
            return info.si_code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
        default:
            return EXCEPTION_ACCESS_VIOLATION;
    }
}

// A fault signal that a process or thread sent (kill, raise, pthread_kill,
// sigqueue) rather than the hardware raised: it interrupted no faulting
// instruction.
bool WasSent(const siginfo_t& info) {
    return info.si_code <= 0;
}

// The sender's process id, where the kernel gives one.
long SenderOf(const siginfo_t& info) {
    switch (info.si_code) {
        case SI_USER:
        case SI_TKILL:
        case SI_QUEUE:
            return info.si_pid;
        default:
            return 0;
    }
}

// The report of a fault or signal that ends the process, written without heap
// memory or waiting long on a lock (see FatalPath.h); a fault inside it ends
// the process at once. `sent`: the information of a fault signal that was
// sent, which the report names; null for the others.
void ReportBeforeDeath(ThreadFaultState& state, int signal, EXCEPTION_POINTERS& pointers,
                       const siginfo_t* sent) {
    UnblockSignal(signal);
    DepthGuard inside(state, signal);
    state.endsProcess = true;
    state.sent = sent != nullptr;
    state.sender = sent ? SenderOf(*sent) : 0;
    WriteReportBeforeDeath(&pointers);
    state.endsProcess = false;
}

// The report before death of a signal that is no fault of an instruction (an
// abort, a sent signal), with `code`, at the instruction it interrupted.
void ReportInterrupted(ThreadFaultState& state, int signal, const ucontext_t& uc, DWORD code,
                       const siginfo_t* sent) {
    CONTEXT context;
    arch::ContextFromSignal(uc, context);
    const Address address = arch::SignalProgramCounter(uc);
    arch::SetControlRegisters(context, address, arch::SignalStackPointer(uc),
                              arch::FramePointer(context));
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(address);
    EXCEPTION_POINTERS pointers = {&record, &context};
    ReportBeforeDeath(state, signal, pointers, sent);
}

}  // namespace

void TranslateFault(int signal, siginfo_t* info, void* rawContext) {
    ucontext_t& uc = *static_cast<ucontext_t*>(rawContext);
    ThreadFaultState& state = ThisThread();
    if (WasSent(*info)) {
        // A request to end the process, never an exception: a guarded thread
        // reports it, then it goes on as it would without the library.
        if (state.translator && state.depth == 0)
            ReportInterrupted(state, signal, uc, ExceptionCodeOfSignal(signal, *info, false), info);
        detail::FlushSinkStreams();
        ForwardFault(signal, info, rawContext);
        return;
    }
    if (state.depth > 0) {
        // A fault in the report of a dying process: no exception (it would
        // take heap memory), the process dies now.
        if (state.endsProcess) DieBySignal(signal);
        // A fault inside the translator (a log sink, a broken report step):
        // leave that step; the translator goes on with the next one.
        UnblockSignal(signal);
        throw NestedFaultT{};
    }
    if (!state.translator) {
        ForwardFault(signal, info, rawContext);
        return;
    }

    CONTEXT context;
    arch::ContextFromSignal(uc, context);
    const Address faultAddress = reinterpret_cast<Address>(info->si_addr);
    const Address sp = arch::SignalStackPointer(uc);
    const bool overflow = signal == SIGSEGV && IsStackOverflow(faultAddress, sp, state);
    DWORD code = ExceptionCodeOfSignal(signal, *info, overflow);
    Address address = arch::SignalProgramCounter(uc);
    arch::RefineFault(uc, *info, code, address);
    arch::SetControlRegisters(context, address, sp, arch::FramePointer(context));

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(address);
    if (signal == SIGSEGV || signal == SIGBUS) {
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = arch::AccessKind(uc, *info);
        record.ExceptionInformation[1] = faultAddress;
    }
    EXCEPTION_POINTERS pointers = {&record, &context};

    if (IsUntranslatableFault(address, context)) {
        ReportBeforeDeath(state, signal, pointers, nullptr);
        ForwardFault(signal, info, rawContext);
        return;
    }

    const mcontext_t interrupted = uc.uc_mcontext;
    PrepareUnwinding(uc, address);
    // Leaving by an exception skips the signal return that would unblock it.
    UnblockSignal(signal);
    {
        DepthGuard inside(state, signal);
        state.translator(record.ExceptionCode, &pointers);
    }
    uc.uc_mcontext = interrupted;
    ForwardFault(signal, info, rawContext);
}

// A thread with a translator gets an exception block with the code
// EXCEPTION_FATAL_APP_EXIT at the instruction where the signal was raised;
// then the sinks are flushed and the signal goes on as it would have (the
// previous handler, else death by SIGABRT).
void TranslateAbort(int signal, siginfo_t* info, void* rawContext) {
    ThreadFaultState& state = ThisThread();
    if (state.translator && state.depth == 0)
        ReportInterrupted(state, signal, *static_cast<ucontext_t*>(rawContext),
                          EXCEPTION_FATAL_APP_EXIT, nullptr);
    detail::FlushSinkStreams();
    ForwardFault(signal, info, rawContext);
}

}  // namespace fault
}  // namespace UTL
