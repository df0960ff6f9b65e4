// The per-thread state of the fault mechanism and what it tells the reporter.
#include <pthread.h>

#include "ThreadState.h"

namespace UTL {
namespace fault {

namespace {
thread_local ThreadFaultState t_fault;
}  // namespace

ThreadFaultState& ThisThread() {
    return t_fault;
}

bool ReportEndsProcess() {
    return t_fault.endsProcess;
}

bool ReportedSignalWasSent(long& sender) {
    if (!t_fault.endsProcess || !t_fault.sent) return false;
    sender = t_fault.sender;
    return true;
}

int TranslatingSignal() {
    return t_fault.depth > 0 ? t_fault.signal : 0;
}

void UnblockSignal(int signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace fault
}  // namespace UTL
