// The report lock: one whole report at a time.
#include "LibraryLocks.h"
#include "ThreadState.h"

namespace UTL {
namespace fault {

bool LockReport() {
    // A report before death must end the process within a second.
    return detail::g_reportLock.Acquire(ThisThread().endsProcess ? 300 : 5000);
}

void UnlockReport() {
    detail::g_reportLock.Release();
}

}  // namespace fault
}  // namespace UTL
