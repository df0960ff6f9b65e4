/// @file
/// The API lock: a process-wide gate that is locked by default and opened by
/// scopes.
#pragma once

#include <UTL/Export.h>

namespace UTL {

/// Holds the gate's state as a count of open unlock scopes; the gate is locked
/// exactly when the count is 0. It is a counter, not a mutual-exclusion lock:
/// nothing waits and no thread owns it.
///
/// The count is 16 bits wide: the 65536th outstanding Unlock wraps it to 0,
/// which reads as locked. Nothing here is synchronised (creation, Cleanup and
/// the count itself); applications that use the gate from several threads
/// serialise their calls.
class UTL_API APILockManagementC {
public:
    /// The single instance, created locked on first use.
    static APILockManagementC* Instance();
    /// Destroys the instance, if any; the next use creates a fresh, locked one.
    static void Cleanup();

    /// Closes one unlock level. False, with the count left at 0, when the gate
    /// was already locked.
    static bool Lock();
    /// Opens one unlock level (16-bit count, wrapping).
    static void Unlock();
    /// True exactly when no unlock level is open.
    static bool IsLocked();

    APILockManagementC(const APILockManagementC&) = delete;
    APILockManagementC& operator=(const APILockManagementC&) = delete;

protected:
    APILockManagementC();
    virtual ~APILockManagementC();

private:
    unsigned short m_unlockCount;
    static APILockManagementC* m_pSingleton;
};

/// Opens the gate for its own lifetime: the constructor calls Unlock, the
/// destructor Lock (ignoring its result). Scopes nest.
///
/// Copying is withheld: a copy would not open a level but its destruction
/// would close one.
class UTL_API APIUnlockC {
public:
    APIUnlockC();
    virtual ~APIUnlockC();

    APIUnlockC(const APIUnlockC&) = delete;
    APIUnlockC& operator=(const APIUnlockC&) = delete;
};

}  // namespace UTL
