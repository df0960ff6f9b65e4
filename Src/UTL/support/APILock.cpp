// API lock: the singleton unlock counter and its scope guard.
#include <UTL/APILock.h>

namespace UTL {

APILockManagementC* APILockManagementC::m_pSingleton = nullptr;

APILockManagementC::APILockManagementC() : m_unlockCount(0) {}

APILockManagementC::~APILockManagementC() = default;

APILockManagementC* APILockManagementC::Instance() {
    if (!m_pSingleton) m_pSingleton = new APILockManagementC;
    return m_pSingleton;
}

void APILockManagementC::Cleanup() {
    delete m_pSingleton;
    m_pSingleton = nullptr;
}

bool APILockManagementC::Lock() {
    APILockManagementC* self = Instance();
    if (self->m_unlockCount == 0) return false;
    --self->m_unlockCount;
    return true;
}

void APILockManagementC::Unlock() {
    APILockManagementC* self = Instance();
    // Unsigned 16-bit arithmetic: 65535 + 1 wraps to 0 (locked).
    self->m_unlockCount = static_cast<unsigned short>(self->m_unlockCount + 1u);
}

bool APILockManagementC::IsLocked() {
    return Instance()->m_unlockCount == 0;
}

APIUnlockC::APIUnlockC() {
    APILockManagementC::Unlock();
}

APIUnlockC::~APIUnlockC() {
    (void)APILockManagementC::Lock();
}

}  // namespace UTL
