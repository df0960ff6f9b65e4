// A stack of the library's own for every call into libdw.
#include "DbgHelpInternal.h"
#include "GuardedStack.h"

// Reading a module's line table for the first time takes about 160 KiB of
// stack inside libdw. The reporter calls in from a signal handler, often on a
// small alternate signal stack (after a stack overflow there is nothing else),
// so all work with libdw runs on a stack of this library's own: 1 MiB, mapped
// once with a guard page below it. Sanitizer builds keep the caller's stack,
// since their run-times track the stacks of each thread.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DBGHELP_OWN_STACK 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define DBGHELP_OWN_STACK 0
#endif
#endif
#ifndef DBGHELP_OWN_STACK
#define DBGHELP_OWN_STACK 1
#endif

namespace UTL::dbghelp {

void* g_ownStackTop = nullptr;

void MapOwnStack() {
#if DBGHELP_OWN_STACK
    if (g_ownStackTop) return;
    UTL::arch::GuardedStack stack;
    if (UTL::arch::MapGuardedStack(std::size_t{1} << 20, stack)) g_ownStackTop = stack.Top();
#endif
}

}  // namespace UTL::dbghelp
