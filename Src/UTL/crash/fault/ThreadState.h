// What the sources of the fault mechanism share: the per-thread state and the
// steps that one mechanism hands to another.
#pragma once

#include <signal.h>
#include <ucontext.h>

#include "Arch.h"
#include "Fault.h"

namespace UTL {
namespace fault {

// Per-thread state; trivially constructible so that reading it in a signal
// handler never allocates.
struct ThreadFaultState {
    _se_translator_function translator;
    int depth;         // > 0 while this thread's translator runs
    int signal;        // the signal being translated, 0 for a raised exception
    bool prepared;     // alternate stack and stack bounds set up
    bool endsProcess;  // reporting a fault or abort that the process will not survive
    bool sent;         // the signal reported before death was sent, not raised by a fault
    long sender;       // the process that sent it, 0 when the kernel does not say
    arch::Address stackLow;
};
ThreadFaultState& ThisThread();

// Marks the thread's translator as running (nested faults become
// NestedFaultT) for one scope.
struct DepthGuard {
    DepthGuard(ThreadFaultState& s, int signal) : state(s) {
        ++state.depth;
        state.signal = signal;
    }
    ~DepthGuard() { --state.depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    ThreadFaultState& state;
};

void UnblockSignal(int signal);

// The fault is not translated: the handler installed before ours gets it, or,
// when there was none, the process dies by the signal (Handlers.cpp).
void ForwardFault(int signal, siginfo_t* info, void* context);

// Alternate signal stack and stack bounds of the calling thread, once
// (AltStack.cpp).
void PrepareThread(ThreadFaultState& state);

// A hardware fault: to the thread's translator, else forwarded; SIGABRT while
// aborts are reported: a report before death, then forwarded (Translate.cpp).
void TranslateFault(int signal, siginfo_t* info, void* context);
void TranslateAbort(int signal, siginfo_t* info, void* context);

// Sets the interrupted context up for the exception a translator may throw
// (Unwinding.cpp).
void PrepareUnwinding(ucontext_t& signal, arch::Address faultingInstruction);

}  // namespace fault
}  // namespace UTL
