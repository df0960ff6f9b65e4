// The signal handlers: their installation, their entries, and what happens to
// a signal that is not translated.
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "FatalPath.h"
#include "FlushAtDeath.h"
#include "ThreadState.h"

namespace UTL {
namespace fault {

namespace {

const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
struct sigaction g_previous[NSIG];
std::atomic<bool> g_handlersInstalled{false};
std::mutex g_installMutex;
bool g_abortsReported = false;  // under g_installMutex

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
    arch::ClearAlignmentCheck();
    TranslateFault(signal, info, rawContext);
}

// SIGABRT while aborts are reported.
__attribute__((UTL_ALIGN_STACK no_sanitize_address, noinline)) void OnAbort(int signal,
                                                                            siginfo_t* info,
                                                                            void* rawContext) {
    TranslateAbort(signal, info, rawContext);
}
#undef UTL_ALIGN_STACK

void InstallHandlersOnce() {
    if (g_handlersInstalled.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (g_handlersInstalled.load(std::memory_order_relaxed)) return;
    PrepareUntranslatableFaults();
    for (int signal : kFaultSignals) {
        struct sigaction action = {};
        action.sa_sigaction = OnHardwareFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
    g_handlersInstalled.store(true, std::memory_order_release);
}

}  // namespace

_se_translator_function SetTranslator(_se_translator_function translator) {
    ThreadFaultState& state = ThisThread();
    const _se_translator_function previous = state.translator;
    if (translator) {
        InstallHandlersOnce();
        PrepareThread(state);
    }
    state.translator = translator;
    return previous;
}

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
    DieBySignal(signal);
}

void DieBySignal(int signal) {
    detail::FlushSinkStreams();  // the report, if any, is on disk
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

}  // namespace fault
}  // namespace UTL
