// The process and thread pseudo handles, and the memory probe of the
// frame-pointer walk.
#include <unistd.h>

#include <cstdint>

#include "SafeMemory.h"
#include "Services.h"

namespace {
char g_processToken;  // what the process pseudo handle points to
}  // namespace

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    if (processId != static_cast<DWORD>(getpid())) return nullptr;
    return static_cast<HANDLE>(&g_processToken);
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
}

BOOL IsBadWritePtr(void* address, std::size_t size) {
    return UTL::arch::IsReadWrite(address, size) ? 0 : 1;
}

bool UTL::win::IsProcessPseudoHandle(HANDLE handle) {
    return handle == static_cast<HANDLE>(&g_processToken) || handle == GetCurrentThread();
}
