// Unwinding preparation: where the exception thrown out of a signal handler
// starts its way up the stack.
#include "ThreadState.h"

// libgcc's lookup of the unwind information (FDE) that covers a code
// address, the same lookup the unwinder makes when an exception leaves the
// signal handler; null when there is none.
extern "C" const void* _Unwind_Find_FDE(const void* pc, void* bases);

namespace UTL {
namespace fault {

namespace {

bool HasUnwindInfo(arch::Address pc) {
    if constexpr (arch::kWalksByUnwindTables) {
        return arch::HasUnwindEntry(pc);  // 32-bit ARM has no FDE lookup
    } else {
        void* bases[3];  // text, data and function bases, filled by the lookup
        return _Unwind_Find_FDE(reinterpret_cast<const void*>(pc), bases) != nullptr;
    }
}

}  // namespace

// The unwinder starts at the faulting instruction (a breakpoint's own, not the
// one after it), and a fault where there is no code or no unwind information
// (a call through a bad pointer, a jump into data) looks like a return into
// the caller, so that the exception surfaces at the call. Left as it is when
// neither helps: the exception then ends the process (see OnTerminate).
void PrepareUnwinding(ucontext_t& signal, arch::Address faultingInstruction) {
    arch::SetSignalProgramCounter(signal, faultingInstruction);
    if (HasUnwindInfo(faultingInstruction)) return;
    const mcontext_t before = signal.uc_mcontext;
    if (!arch::ReturnToCaller(signal) || !HasUnwindInfo(arch::SignalProgramCounter(signal)))
        signal.uc_mcontext = before;
}

}  // namespace fault
}  // namespace UTL
