#include "GuardedStack.h"

#include <sys/mman.h>
#include <unistd.h>

namespace UTL {
namespace arch {

bool MapGuardedStack(std::size_t size, GuardedStack& stack) {
    stack = GuardedStack{};
    const std::size_t guard = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* mapping = mmap(nullptr, size + guard, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED) return false;
    if (mprotect(mapping, guard, PROT_NONE) != 0) {
        munmap(mapping, size + guard);
        return false;
    }
    stack.mapping = mapping;
    stack.mappedSize = size + guard;
    stack.base = static_cast<char*>(mapping) + guard;
    stack.size = size;
    return true;
}

void UnmapGuardedStack(GuardedStack& stack) {
    if (stack.mapping) munmap(stack.mapping, stack.mappedSize);
    stack = GuardedStack{};
}

}  // namespace arch
}  // namespace UTL
