/// @file
/// Common services: locks with scoped guards, the path mapping of the device's
/// storage and a date-time record.
///
/// This is the small sibling library (libutlbss) that the utilities library
/// builds on. On Linux a recursive pthread mutex stands in for the device
/// mutex, the "memory card" is a directory that defaults to the current working
/// directory, and file searches go through stat(2).
#pragma once

#include <UTL/Export.h>

/// The common services the utilities library builds on.
namespace BSS {
/// Tasks: locks and their guards.
namespace TSK {

/// Anything that can be held by a GuardC.
class UTL_API LockC {
public:
    LockC() = default;
    LockC(const LockC&) = delete;
    LockC& operator=(const LockC&) = delete;
    virtual ~LockC();

    /// Blocks until the lock is held or `timeout` milliseconds have passed; a
    /// negative timeout (-1) waits forever. Returns true once held, false when the
    /// time ran out (nothing is held then).
    virtual bool Acquire(long timeout) = 0;
    /// Releases the lock once (a recursive lock stays held until the last release).
    virtual void Release() = 0;
};

/// A recursive mutex: the thread that holds it may take it again.
class UTL_API MutexC : public LockC {
public:
    MutexC();
    ~MutexC() override;

    bool Acquire(long timeout) override;  ///< see LockC::Acquire
    void Release() override;              ///< see LockC::Release

private:
    struct Impl;
    Impl* m_impl;
};

/// Holds a lock from construction to destruction.
class UTL_API GuardC {
public:
    /// Acquires `lock` with `timeout` (milliseconds, -1 waits forever); when the
    /// time runs out the guard holds nothing: see IsLocked.
    GuardC(LockC& lock, long timeout);
    GuardC(const GuardC&) = delete;
    GuardC& operator=(const GuardC&) = delete;
    virtual ~GuardC();

    /// True when the guard holds the lock.
    bool IsLocked() const { return m_locked; }

private:
    LockC& m_lock;
    bool m_locked;
};

}  // namespace TSK

/// Time: calendar records.
namespace TIM {

/// Calendar date and time of day; default-constructed to all zero.
class UTL_API YmdhmsC {
public:
    YmdhmsC();
    /// The given fields, unchecked.
    YmdhmsC(int year, int month, int day, int hour, int minute, int second);

    ///@{
    /// A calendar field: year, month 1-12, day 1-31, hour 0-23, minute, second.
    int year, month, day, hour, minute, second;
    ///@}
};

}  // namespace TIM
}  // namespace BSS

/// File information filled by BSS::HAL::PathMapC::findFirstFile.
struct UTL_API FILEINFO {
    char name[256];              ///< the file's name
    unsigned long size;          ///< its size in bytes
    unsigned long attributes;    ///< its attribute bits
    BSS::TIM::YmdhmsC created;   ///< when it was created
    BSS::TIM::YmdhmsC modified;  ///< when it was last changed
};

namespace BSS {
/// Hardware abstraction: the device's storage.
namespace HAL {

/// The device's file system as the library sees it: file searches and the
/// root directory of the memory card.
class UTL_API PathMapC {
public:
    /// Looks up `path` (no wildcards). Returns 0 and fills `info` when a file or
    /// directory of that name exists, -1 otherwise. `handle` receives a search
    /// handle that findClose accepts after any outcome (null on failure).
    static long findFirstFile(const char* path, void*& handle, FILEINFO* info);
    /// Ends a search; accepts null handles. Returns 0.
    static long findClose(void*& handle);

    /// Root directory of the memory card; the current working directory unless
    /// setCFCardPath chose another. Never null.
    static char* getCFCardPath();
    /// Sets the card directory (a null or empty path restores the default).
    /// Paths longer than 255 bytes are cut. Not synchronised: call at start-up.
    static void setCFCardPath(const char* path);
};

}  // namespace HAL
}  // namespace BSS
