// Stacks of the library's own, mapped with an inaccessible guard page below
// them so that an overflow faults instead of writing over other memory; no
// heap memory is used.
#pragma once

#include <cstddef>

namespace UTL {
namespace arch {

struct GuardedStack {
    void* mapping = nullptr;  // the whole mapping, guard page included; null when none
    std::size_t mappedSize = 0;
    void* base = nullptr;  // lowest usable address
    std::size_t size = 0;  // usable bytes
    void* Top() const { return static_cast<char*>(base) + size; }
};

// Maps a stack of `size` usable bytes (a multiple of the page size). False when
// the system refuses; `stack` is left empty then.
bool MapGuardedStack(std::size_t size, GuardedStack& stack);
void UnmapGuardedStack(GuardedStack& stack);

}  // namespace arch
}  // namespace UTL
