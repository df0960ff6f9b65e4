// Reading and probing the process's own memory without faulting and without
// heap memory: the kernel copies the bytes (process_vm_readv/writev, or a pipe
// where those are not permitted), so an unmapped or protected address gives a
// failed result instead of a signal. Safe in signal handlers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace UTL {
namespace arch {

// Copies `size` bytes at `address` into `buffer`; false when any of them
// cannot be read.
bool ReadMemory(const void* address, void* buffer, std::size_t size);

// One pointer-sized word at `address`.
bool ReadWord(std::uintptr_t address, std::uintptr_t* value);

// True when `size` bytes at `address` can be read and written: they are read
// and written back unchanged.
bool IsReadWrite(void* address, std::size_t size);

}  // namespace arch
}  // namespace UTL
