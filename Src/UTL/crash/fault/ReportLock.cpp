// The report lock, its one owner: defined, taken for one report at a time,
// and reset in a child of fork().
#include <pthread.h>

#include "LibraryMutex.h"
#include "ThreadState.h"

namespace UTL {
namespace fault {

namespace {

// Constant: ready before any static object is built.
detail::LibraryMutexC g_reportLock;

// Only reset in a child, never taken before fork(): its data is the report
// file's state, rewritten by its next user. No other fork handler takes it,
// so its place among them does not matter.
void ResetInChild() {
    g_reportLock.ReinitialiseInChild();
}

const int g_forkHandler = pthread_atfork(nullptr, nullptr, ResetInChild);

}  // namespace

bool LockReport() {
    // A report before death must end the process within a second.
    return g_reportLock.Acquire(ThisThread().endsProcess ? 300 : 5000);
}

void UnlockReport() {
    g_reportLock.Release();
}

}  // namespace fault
}  // namespace UTL
