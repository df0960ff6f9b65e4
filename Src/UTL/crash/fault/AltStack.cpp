// Alternate signal stacks and stack bounds: what a thread needs before its
// first fault, since neither can be had at the fault without heap memory.
#include <pthread.h>

#include "GuardedStack.h"
#include "ThreadState.h"

namespace UTL {
namespace fault {

namespace {

// The alternate signal stack that this library gave the thread, unmapped when
// the thread ends (only while it is still the thread's alternate stack).
constexpr std::size_t kAltStackSize = 1024 * 1024;

struct AltStackOwner {
    arch::GuardedStack stack;
    ~AltStackOwner() {
        if (!stack.mapping) return;
        stack_t current;
        if (sigaltstack(nullptr, &current) != 0 || current.ss_sp != stack.base) return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) == 0) arch::UnmapGuardedStack(stack);
    }
};
thread_local AltStackOwner t_altStack;

}  // namespace

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
        if (pthread_attr_getstack(&attributes, &low, &size) == 0)
            state.stackLow = reinterpret_cast<arch::Address>(low);
        pthread_attr_destroy(&attributes);
    }
    // An alternate stack of our size or more is kept; a smaller one (such as
    // a sanitizer's) is replaced, since a report with the symbol walk needs
    // far more stack than a few pages.
    stack_t current;
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_ONSTACK)) return;
    if (!(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize) return;
    arch::GuardedStack stack;
    if (!arch::MapGuardedStack(kAltStackSize, stack)) return;
    stack_t alternate = {};
    alternate.ss_sp = stack.base;
    alternate.ss_size = stack.size;
    if (sigaltstack(&alternate, nullptr) != 0) {
        arch::UnmapGuardedStack(stack);
        return;
    }
    t_altStack.stack = stack;
}

}  // namespace fault
}  // namespace UTL
