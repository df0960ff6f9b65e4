/// @file
/// An intrusive reference count for objects shared by several holders.
#pragma once

#include <cstdint>

#include <UTL/Export.h>

namespace UTL {

/// Base of counted objects: holders call IncrementRefCount when they take a
/// reference and DecrementRefCount when they drop it; the decrement that
/// brings the count from 1 to 0 deletes the object. Counted objects are
/// therefore created with `new`.
///
/// The count is a 32-bit signed value whatever the width of `long`: it wraps
/// modulo 2^32 (INT32_MAX + 1 gives INT32_MIN), never overflowing. Neither
/// operation is atomic; holders on several threads serialise their calls.
class UTL_API RefCounterC {
public:
    RefCounterC();  ///< count 0
    virtual ~RefCounterC();

    /// Adds 1 and returns the new count. Never destroys anything.
    long IncrementRefCount();
    /// With a count of 0: changes nothing and returns 0. Otherwise subtracts 1
    /// and returns the new count; when that is 0 the object has been deleted
    /// and must not be touched again.
    long DecrementRefCount();

protected:
    /// Copies carry the source's count over (not 0): a copy begins with as many
    /// references as its source had. Self-assignment changes nothing.
    RefCounterC(const RefCounterC& other);
    /// Takes `other`'s count (see the copy constructor).
    RefCounterC& operator=(const RefCounterC& other);

private:
    std::int32_t m_refCount;
};

}  // namespace UTL
