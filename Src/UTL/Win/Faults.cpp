// Faults and contexts: hardware faults (signals) become calls of the faulting
// thread's translator, software exceptions are raised to it; the process and
// thread pseudo handles; the memory probe of the frame-pointer walk.
#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

#include "FatalPath.h"
#include "Platform/Arch.h"
#include "Platform/GuardedStack.h"
#include "Platform/SafeMemory.h"
#include "Services.h"
#include "Statics.h"

using UTL::arch::Address;

// libgcc's lookup of the unwind information (FDE) that covers a code
// address, the same lookup the unwinder makes when an exception leaves the
// signal handler; null when there is none.
extern "C" const void* _Unwind_Find_FDE(const void* pc, void* bases);

namespace {

// Per-thread state; trivially constructible so that reading it in a signal
// handler never allocates.
struct ThreadFaultState {
    _se_translator_function translator;
    int depth;         // > 0 while this thread's translator runs
    int signal;        // the signal being translated, 0 for a raised exception
    bool prepared;     // alternate stack and stack bounds set up
    bool endsProcess;  // reporting a fault or abort that the process will not survive
    Address stackLow;
    Address stackHigh;
};
thread_local ThreadFaultState t_fault;

// The alternate signal stack that this library gave the thread, unmapped when
// the thread ends (only while it is still the thread's alternate stack).
constexpr std::size_t kAltStackSize = 1024 * 1024;

struct AltStackOwner {
    UTL::platform::GuardedStack stack;
    ~AltStackOwner() {
        if (!stack.mapping) return;
        stack_t current;
        if (sigaltstack(nullptr, &current) != 0 || current.ss_sp != stack.base) return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) == 0) UTL::platform::UnmapGuardedStack(stack);
    }
};
thread_local AltStackOwner t_altStack;

const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
struct sigaction g_previous[NSIG];
std::atomic<bool> g_handlersInstalled{false};
std::mutex g_installMutex;

char g_processToken;  // what the process pseudo handle points to

void UnblockSignal(int signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

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

bool HasUnwindInfo(Address pc) {
    void* bases[3];  // text, data and function bases, filled by the lookup
    return _Unwind_Find_FDE(reinterpret_cast<const void*>(pc), bases) != nullptr;
}

// Sets the interrupted context up for the exception a translator may throw:
// the unwinder starts at the faulting instruction (a breakpoint's own, not the
// one after it), and a fault where there is no code or no unwind information
// (a call through a bad pointer, a jump into data) looks like a return into
// the caller, so that the exception surfaces at the call. Left as it is when
// neither helps: the exception then ends the process (see OnTerminate).
void PrepareUnwinding(ucontext_t& signal, Address faultingInstruction) {
    UTL::arch::SetSignalProgramCounter(signal, faultingInstruction);
    if (HasUnwindInfo(faultingInstruction)) return;
    const mcontext_t before = signal.uc_mcontext;
    if (!UTL::arch::ReturnToCaller(signal) ||
        !HasUnwindInfo(UTL::arch::SignalProgramCounter(signal)))
        signal.uc_mcontext = before;
}

struct DepthGuard {
    DepthGuard(ThreadFaultState& s, int signal) : state(s) {
        ++state.depth;
        state.signal = signal;
    }
    ~DepthGuard() { --state.depth; }
    ThreadFaultState& state;
};

// The report of a fault or abort that ends the process, written without heap
// memory or waiting long on a lock (see FatalPath.h); a fault inside it ends
// the process at once.
void ReportBeforeDeath(ThreadFaultState& state, int signal, EXCEPTION_POINTERS& pointers) {
    UnblockSignal(signal);
    DepthGuard inside(state, signal);
    state.endsProcess = true;
    UTL::detail::WriteReportBeforeDeath(&pointers);
    state.endsProcess = false;
}

// The fault is not translated: the handler installed before ours gets it, or,
// when there was none, the process dies by the signal.
void ForwardFault(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = g_previous[signal];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    UTL::win::DieBySignal(signal);
}

void TranslateFault(int signal, siginfo_t* info, void* rawContext) {
    ucontext_t& uc = *static_cast<ucontext_t*>(rawContext);
    ThreadFaultState& state = t_fault;
    if (state.depth > 0) {
        // A fault in the report of a dying process: no exception (it would
        // take heap memory), the process dies now.
        if (state.endsProcess) UTL::win::DieBySignal(signal);
        // A fault inside the translator (a log sink, a broken report step):
        // leave that step; the translator goes on with the next one.
        UnblockSignal(signal);
        throw UTL::win::NestedFaultT{};
    }
    if (!state.translator) {
        ForwardFault(signal, info, rawContext);
        return;
    }

    CONTEXT context;
    UTL::arch::ContextFromSignal(uc, context);
    const Address faultAddress = reinterpret_cast<Address>(info->si_addr);
    const Address sp = UTL::arch::SignalStackPointer(uc);
    const bool overflow = signal == SIGSEGV && IsStackOverflow(faultAddress, sp, state);
    DWORD code = ExceptionCodeOfSignal(signal, *info, overflow);
    Address address = UTL::arch::SignalProgramCounter(uc);
    UTL::arch::RefineFault(uc, *info, code, address);
    UTL::arch::SetControlRegisters(context, address, sp, UTL::arch::FramePointer(context));

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(address);
    if (signal == SIGSEGV || signal == SIGBUS) {
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = UTL::arch::AccessKind(uc, *info);
        record.ExceptionInformation[1] = faultAddress;
    }
    EXCEPTION_POINTERS pointers = {&record, &context};

    if (UTL::detail::IsUntranslatableFault(address)) {
        ReportBeforeDeath(state, signal, pointers);
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

// The handler's entry clears the alignment check before any other code runs:
// instrumented code (sanitizers) may access memory unaligned in its prologue.
// On i386 it also realigns the stack to the 16 bytes that SSE code expects:
// not every system (qemu, for one) aligns a signal frame that far.
#if defined(__i386__)
#define UTL_ALIGN_STACK force_align_arg_pointer,
#else
#define UTL_ALIGN_STACK
#endif
__attribute__((UTL_ALIGN_STACK no_sanitize_address, noinline)) void OnHardwareFault(
    int signal, siginfo_t* info, void* rawContext) {
    UTL::arch::ClearAlignmentCheck();
    TranslateFault(signal, info, rawContext);
}

// SIGABRT while aborts are reported: a thread with a translator gets an
// exception block with the code EXCEPTION_FATAL_APP_EXIT at the instruction
// where the signal was raised; then the sinks are flushed and the signal goes
// on as it would have (the previous handler, else death by SIGABRT).
__attribute__((UTL_ALIGN_STACK no_sanitize_address, noinline)) void OnAbort(int signal,
                                                                            siginfo_t* info,
                                                                            void* rawContext) {
    ThreadFaultState& state = t_fault;
    if (state.translator && state.depth == 0) {
        const ucontext_t& uc = *static_cast<ucontext_t*>(rawContext);
        CONTEXT context;
        UTL::arch::ContextFromSignal(uc, context);
        const Address address = UTL::arch::SignalProgramCounter(uc);
        UTL::arch::SetControlRegisters(context, address, UTL::arch::SignalStackPointer(uc),
                                       UTL::arch::FramePointer(context));
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = EXCEPTION_FATAL_APP_EXIT;
        record.ExceptionAddress = reinterpret_cast<PVOID>(address);
        EXCEPTION_POINTERS pointers = {&record, &context};
        ReportBeforeDeath(state, signal, pointers);
    }
    UTL::detail::FlushSinkStreams();
    ForwardFault(signal, info, rawContext);
}

bool g_abortsReported = false;  // under g_installMutex

void InstallHandlersOnce() {
    if (g_handlersInstalled.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (g_handlersInstalled.load(std::memory_order_relaxed)) return;
    UTL::detail::PrepareUntranslatableFaults();
    for (int signal : kFaultSignals) {
        struct sigaction action = {};
        action.sa_sigaction = OnHardwareFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
    g_handlersInstalled.store(true, std::memory_order_release);
}

// Alternate signal stack (kept when the thread already has one as large) and the
// thread's stack bounds, which pthread_getattr_np can only give with heap
// memory and so are taken here rather than at a fault.
void PrepareThread(ThreadFaultState& state) {
    if (state.prepared) return;
    state.prepared = true;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* low = nullptr;
        std::size_t size = 0;
        if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
            state.stackLow = reinterpret_cast<Address>(low);
            state.stackHigh = state.stackLow + size;
        }
        pthread_attr_destroy(&attributes);
    }
    // An alternate stack of our size or more is kept; a smaller one (such as
    // a sanitizer's) is replaced, since a report with the symbol walk needs
    // far more stack than a few pages.
    stack_t current;
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_ONSTACK)) return;
    if (!(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize) return;
    UTL::platform::GuardedStack stack;
    if (!UTL::platform::MapGuardedStack(kAltStackSize, stack)) return;
    stack_t alternate = {};
    alternate.ss_sp = stack.base;
    alternate.ss_size = stack.size;
    if (sigaltstack(&alternate, nullptr) != 0) {
        UTL::platform::UnmapGuardedStack(stack);
        return;
    }
    t_altStack.stack = stack;
}

}  // namespace

// ---- Structured exceptions ---------------------------------------------------

_se_translator_function _set_se_translator(_se_translator_function translator) {
    ThreadFaultState& state = t_fault;
    const _se_translator_function previous = state.translator;
    if (translator) {
        InstallHandlersOnce();
        PrepareThread(state);
    }
    state.translator = translator;
    return previous;
}

namespace UTL {
namespace win {

void RaiseException(const CONTEXT& context, DWORD code, DWORD flags, DWORD numberOfArguments,
                    const ULONG_PTR* arguments) {
    ThreadFaultState& state = t_fault;
    if (state.depth > 0) throw NestedFaultT{};
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = reinterpret_cast<PVOID>(arch::ProgramCounter(context));
    if (numberOfArguments > EXCEPTION_MAXIMUM_PARAMETERS)
        numberOfArguments = EXCEPTION_MAXIMUM_PARAMETERS;
    record.NumberParameters = arguments ? numberOfArguments : 0;
    for (DWORD i = 0; i < record.NumberParameters; ++i)
        record.ExceptionInformation[i] = arguments[i];
    CONTEXT copy = context;
    EXCEPTION_POINTERS pointers = {&record, &copy};
    if (state.translator) {
        DepthGuard inside(state, 0);
        state.translator(code, &pointers);
    }
    std::terminate();  // an exception that nobody translates ends the process
}

bool ReportEndsProcess() {
    return t_fault.endsProcess;
}

int TranslatingSignal() {
    return t_fault.depth > 0 ? t_fault.signal : 0;
}

void DieBySignal(int signal) {
    UTL::detail::FlushSinkStreams();  // the report, if any, is on disk
    struct sigaction deflt = {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    sigaction(signal, &deflt, nullptr);
    UnblockSignal(signal);
    raise(signal);
    std::abort();  // a signal the process survives by default
}

void ReportAborts(bool on) {
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (on == g_abortsReported) return;
    g_abortsReported = on;
    if (!on) {
        sigaction(SIGABRT, &g_previous[SIGABRT], nullptr);
        return;
    }
    struct sigaction action = {};
    action.sa_sigaction = OnAbort;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGABRT, &action, &g_previous[SIGABRT]);
}

bool LockReport() {
    // A report before death must end the process within a second.
    return UTL::detail::g_reportLock.Acquire(t_fault.endsProcess ? 300 : 5000);
}

void UnlockReport() {
    UTL::detail::g_reportLock.Release();
}

}  // namespace win
}  // namespace UTL

// ---- Process, thread and memory ----------------------------------------------------

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    if (processId != static_cast<DWORD>(getpid())) return nullptr;
    return static_cast<HANDLE>(&g_processToken);
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
}

BOOL IsBadWritePtr(void* address, std::size_t size) {
    return UTL::platform::IsReadWrite(address, size) ? 0 : 1;
}

bool UTL::win::IsProcessPseudoHandle(HANDLE handle) {
    return handle == static_cast<HANDLE>(&g_processToken) || handle == GetCurrentThread();
}
