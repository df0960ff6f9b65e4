// The fault mechanism as the crash reporter sees it: hardware faults
// (signals) of a thread with a translator become calls of that translator,
// software exceptions are raised to it, and whole reports are serialised.
// Internal to the library.
//
// One source per mechanism: signal handlers and their installation
// (Handlers.cpp), alternate stacks and stack bounds (AltStack.cpp), fault
// translation (Translate.cpp), unwinding preparation (Unwinding.cpp), raised
// exceptions (Raise.cpp), the per-thread state (ThreadState.cpp), the report
// lock (ReportLock.cpp) and the path of a process about to die (FatalPath.cpp).
#pragma once

#include <UTL/WinServices.h>

namespace UTL {
namespace fault {

// Makes `translator` the calling thread's translator (null: none) and returns
// the one before. The first translator installs the fault handlers; each
// thread that gets one is given an alternate signal stack.
_se_translator_function SetTranslator(_se_translator_function translator);

// Hands a software exception (record with `code`, `flags` and up to 15
// arguments, raised at `context`'s instruction) to the calling thread's
// translator. When there is none or it returns, the exception is unhandled:
// std::terminate().
[[noreturn]] void RaiseException(const CONTEXT& context, DWORD code, DWORD flags,
                                 DWORD numberOfArguments, const ULONG_PTR* arguments);

// The signal being translated on the calling thread (while its translator
// runs), 0 for a raised exception or when nothing is translated.
int TranslatingSignal();

// Ends the process by `signal` with its default action, whatever handler is
// installed, once the file sinks are flushed.
[[noreturn]] void DieBySignal(int signal);

// On: SIGABRT (abort, std::terminate's default, failed assertions) on a thread
// with a translator writes an exception block (EXCEPTION_FATAL_APP_EXIT) and
// every thread's SIGABRT flushes the file sinks, before the signal goes on as
// before. Off (the default): SIGABRT is left to the application, and switching
// off puts back the handler that was there.
void ReportAborts(bool on);

// True while the calling thread reports a fault or abort that the process
// will not survive: the report then takes no heap memory, calls no sink and
// waits for the report lock a short time only.
bool ReportEndsProcess();

// True while the calling thread reports a signal that was sent (kill, raise,
// pthread_kill, sigqueue) rather than raised by a faulting instruction;
// `sender` is then the sending process's id, 0 when the kernel gives none.
bool ReportedSignalWasSent(long& sender);

// Writes the report of a fault or abort the process will not survive. The
// report writer installs itself at load (report/ExceptionHandler.cpp); without
// one nothing is written.
using FatalReportWriter = void (*)(EXCEPTION_POINTERS* pointers);
void SetFatalReportWriter(FatalReportWriter writer);

// Serialises whole reports between threads. Waits at most a few seconds (a
// report before death 300 ms), so a thread that faults while another report is
// stuck still goes on; false then.
bool LockReport();
void UnlockReport();

// Holds the report lock for one report, when it could be had.
class ReportLock {
public:
    ReportLock() : m_held(LockReport()) {}
    ReportLock(const ReportLock&) = delete;
    ReportLock& operator=(const ReportLock&) = delete;
    ~ReportLock() {
        if (m_held) UnlockReport();
    }
    bool Held() const { return m_held; }

private:
    bool m_held;
};

// Thrown out of a fault that happens while the same thread's translator runs;
// the translator's own catch-all handlers take it.
struct NestedFaultT {};

}  // namespace fault
}  // namespace UTL
