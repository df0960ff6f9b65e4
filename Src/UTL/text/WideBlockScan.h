// Block scans over zero-terminated 16-bit text: the engines behind the wide
// string primitives and StringC's counting.
//
// A block is 16 bytes, 8 code units. Where the instruction set has vector
// compares, a scan tests a whole block at once; otherwise it walks unit by
// unit. Every block scan keeps to memory the text itself reaches:
// - an aligned block never crosses a page, so the aligned block that holds a
//   unit of the text may be read whole, units before the text and after its
//   terminator included;
// - an unaligned block is read only where it is known to end inside the page
//   of its first unit (PageRoom); near a page end the scans go unit by unit.
// Units outside the text are masked away from every result. Such reads may
// touch bytes of neighbouring objects in the same page, which the sanitizers
// would report; the one load helper, LoadBlock, is exempted from them.
//
// Instruction sets: SSE2 (the x86-64 baseline; on i686 only when the compiler
// targets it) and NEON (aarch64, and 32-bit ARM where the compiler targets
// it). Each provides a block type, a mask type with kMaskBitsPerByte marks
// per byte of the block, and LoadBlock, Splat, EqualUnits, ZeroUnits and
// FirstMarkedByte; a new one goes beside them. Other targets use the portable
// loops at the end.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define UTL_WIDE_BLOCKS 1
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#define UTL_WIDE_BLOCKS 1
#endif

namespace UTL {
namespace detail {

inline int SignOf(int d) {
    return (d > 0) - (d < 0);
}

#if defined(UTL_WIDE_BLOCKS)

// ---- Block operations of the instruction set --------------------------------

#if defined(__SSE2__)

using Block = __m128i;
using UnitMask = unsigned int;  // bit k marks byte k of the block
constexpr unsigned int kMaskBitsPerByte = 1;
constexpr UnitMask kAllUnits = 0xFFFF;

// The one read that may reach beyond the text: 16 bytes at `address`, which
// the caller knows to lie in one page (an aligned block, or one checked with
// PageRoom or BlocksInPage). The bytes outside the text are never used.
__attribute__((no_sanitize_address, no_sanitize_thread)) inline Block LoadBlock(
    std::uintptr_t address) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(address));
}
inline Block Splat(char16_t c) {
    return _mm_set1_epi16(static_cast<short>(c));
}
// All ones in the units where `a` and `b` are equal, zeros elsewhere.
inline Block EqualLanes(Block a, Block b) {
    return _mm_cmpeq_epi16(a, b);
}
inline Block EitherLanes(Block a, Block b) {
    return _mm_or_si128(a, b);
}
// The marks of the all-ones units of a lane block.
inline UnitMask MarksOf(Block lanes) {
    return static_cast<UnitMask>(_mm_movemask_epi8(lanes));
}
inline UnitMask EqualUnits(Block a, Block b) {
    return MarksOf(EqualLanes(a, b));
}
inline UnitMask ZeroUnits(Block a) {
    return EqualUnits(a, _mm_setzero_si128());
}
// Index of the byte of the first mark in a non-zero mask.
inline unsigned int FirstMarkedByte(UnitMask mask) {
    return static_cast<unsigned int>(__builtin_ctz(mask)) / kMaskBitsPerByte;
}

#elif defined(__ARM_NEON)

using Block = uint16x8_t;
using UnitMask = std::uint64_t;  // bits 4k to 4k + 3 mark byte k of the block
constexpr unsigned int kMaskBitsPerByte = 4;
constexpr UnitMask kAllUnits = ~UnitMask(0);

// The one read that may reach beyond the text: see the SSE2 twin.
__attribute__((no_sanitize_address, no_sanitize_thread)) inline Block LoadBlock(
    std::uintptr_t address) {
    return vld1q_u16(reinterpret_cast<const std::uint16_t*>(address));
}
inline Block Splat(char16_t c) {
    return vdupq_n_u16(c);
}
inline Block EqualLanes(Block a, Block b) {
    return vceqq_u16(a, b);
}
inline Block EitherLanes(Block a, Block b) {
    return vorrq_u16(a, b);
}
// NEON has no byte mask: narrowing each 16-bit lane by a shift of 4 leaves one
// byte per unit, eight marks per unit in a 64-bit value.
inline UnitMask MarksOf(Block lanes) {
    const uint8x8_t marks = vshrn_n_u16(lanes, 4);
    return vget_lane_u64(vreinterpret_u64_u8(marks), 0);
}
inline UnitMask EqualUnits(Block a, Block b) {
    return MarksOf(EqualLanes(a, b));
}
inline UnitMask ZeroUnits(Block a) {
    return EqualUnits(a, vdupq_n_u16(0));
}
inline unsigned int FirstMarkedByte(UnitMask mask) {
    return static_cast<unsigned int>(__builtin_ctzll(mask)) / kMaskBitsPerByte;
}

#endif

// ---- Scans built on the block operations ------------------------------------

constexpr std::size_t kBlockUnits = 8;
constexpr std::size_t kBlockBytes = 16;
// The smallest page of every supported target.
constexpr std::uintptr_t kPageBytes = 4096;

inline std::uintptr_t AddressOf(const char16_t* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}
// Offset of `p` in its aligned block, in bytes.
inline std::size_t OffsetInBlock(const char16_t* p) {
    return AddressOf(p) & (kBlockBytes - 1);
}
// The marks of the bytes from `skipped` on.
inline UnitMask MarksFrom(UnitMask mask, std::size_t skipped) {
    return mask >> (skipped * kMaskBitsPerByte);
}
// The marks of the units before `count` (count < kBlockUnits).
inline UnitMask MarksBelow(UnitMask mask, std::size_t count) {
    return mask & ((UnitMask(1) << (count * sizeof(char16_t) * kMaskBitsPerByte)) - 1);
}
inline std::size_t FirstUnit(UnitMask mask) {
    return FirstMarkedByte(mask) / sizeof(char16_t);
}
// Bytes from `p` to the end of its page.
inline std::size_t PageRoom(const char16_t* p) {
    return kPageBytes - (AddressOf(p) & (kPageBytes - 1));
}
// True when the blocks at `a` and at `b` both end inside the page they start
// in. Tests the two offsets together, so it may say no where both would fit;
// it never says yes where one does not.
inline bool BlocksInPage(const char16_t* a, const char16_t* b) {
    return ((AddressOf(a) | AddressOf(b)) & (kPageBytes - 1)) <= kPageBytes - kBlockBytes;
}

// Index of the first unit of `s` marked by `marks` (a block test). Reads the
// aligned blocks from the one holding s[0] to the one holding the result.
template <typename Marks>
inline std::size_t ScanAligned(const char16_t* s, Marks marks) {
    const std::size_t skipped = OffsetInBlock(s);
    std::uintptr_t address = AddressOf(s) - skipped;
    const UnitMask head = MarksFrom(marks(LoadBlock(address)), skipped);
    if (head != 0) return FirstUnit(head);
    for (;;) {
        address += kBlockBytes;
        const UnitMask mask = marks(LoadBlock(address));
        if (mask != 0) return (address - AddressOf(s)) / sizeof(char16_t) + FirstUnit(mask);
    }
}

// As ScanAligned, but among the first `limit` units only: `limit` when none of
// them is marked. Reads no block that starts at or after s[limit].
template <typename Marks>
inline std::size_t ScanAligned(const char16_t* s, std::size_t limit, Marks marks) {
    if (limit == 0) return 0;
    const std::size_t skipped = OffsetInBlock(s);
    std::uintptr_t address = AddressOf(s) - skipped;
    UnitMask mask = MarksFrom(marks(LoadBlock(address)), skipped);
    std::size_t base = 0;  // index in `s` of the first unit the mask covers
    std::size_t next = kBlockUnits - skipped / sizeof(char16_t);
    while (mask == 0) {
        if (next >= limit) return limit;
        base = next;
        address += kBlockBytes;
        mask = marks(LoadBlock(address));
        next += kBlockUnits;
    }
    const std::size_t at = base + FirstUnit(mask);
    return at < limit ? at : limit;
}

inline UnitMask TerminatorMarks(Block b) {
    return ZeroUnits(b);
}

// Units before the terminator.
inline std::size_t TextLength(const char16_t* s) {
    return ScanAligned(s, TerminatorMarks);
}
// Units before the terminator, counting at most `limit`.
inline std::size_t TextLength(const char16_t* s, std::size_t limit) {
    return ScanAligned(s, limit, TerminatorMarks);
}

// The first unit of `s` that is `c` or the terminator.
inline const char16_t* FindUnitOrEnd(const char16_t* s, char16_t c) {
    const Block needle = Splat(c);
    return s + ScanAligned(s, [needle](Block b) { return EqualUnits(b, needle) | ZeroUnits(b); });
}

// Index of the first `c` among the `count` units of `s`, or `count`; the
// units need not end in a terminator. Reads only aligned blocks that hold one
// of the units, four at a time while all four do: one compare per block, the
// four results joined before the test.
inline std::size_t FindUnit(const char16_t* s, std::size_t count, char16_t c) {
    if (count == 0) return 0;
    const Block needle = Splat(c);
    const std::size_t skipped = OffsetInBlock(s);
    std::uintptr_t address = AddressOf(s) - skipped;
    const std::uintptr_t end = AddressOf(s + count);  // the first byte not searched
    // The index of the unit marked first in the block at `address`; a mark
    // past the units searched means none.
    const auto found = [&](UnitMask mask) {
        const std::size_t at = (address - AddressOf(s)) / sizeof(char16_t) + FirstUnit(mask);
        return at < count ? at : count;
    };
    const UnitMask head = MarksFrom(EqualUnits(LoadBlock(address), needle), skipped);
    if (head != 0) return FirstUnit(head) < count ? FirstUnit(head) : count;
    for (address += kBlockBytes; address + 3 * kBlockBytes < end; address += 4 * kBlockBytes) {
        const Block b0 = EqualLanes(LoadBlock(address), needle);
        const Block b1 = EqualLanes(LoadBlock(address + kBlockBytes), needle);
        const Block b2 = EqualLanes(LoadBlock(address + 2 * kBlockBytes), needle);
        const Block b3 = EqualLanes(LoadBlock(address + 3 * kBlockBytes), needle);
        if (MarksOf(EitherLanes(EitherLanes(b0, b1), EitherLanes(b2, b3))) == 0) continue;
        const Block lanes[] = {b0, b1, b2, b3};
        for (const Block& b : lanes) {
            if (MarksOf(b) != 0) return found(MarksOf(b));
            address += kBlockBytes;
        }
    }
    for (; address < end; address += kBlockBytes) {
        const UnitMask mask = EqualUnits(LoadBlock(address), needle);
        if (mask != 0) return found(mask);
    }
    return count;
}

// The units of the blocks at `a` and `b` where the texts differ or `b` ends.
inline UnitMask CompareStops(const char16_t* a, const char16_t* b) {
    const Block blockA = LoadBlock(AddressOf(a)), blockB = LoadBlock(AddressOf(b));
    return (EqualUnits(blockA, blockB) ^ kAllUnits) | ZeroUnits(blockB);
}
inline int CompareAt(const char16_t* a, const char16_t* b, std::size_t at) {
    return SignOf(int(a[at]) - int(b[at]));
}

// CompareUnits from unit `i` on, the first `i` units being equal and not the
// end: unaligned blocks while neither reaches past its page, unit by unit for
// a block's worth near a page end. Out of line, so that the first block's
// compare in CompareUnits saves no register and the rest is a tail call.
__attribute__((noinline)) inline int CompareUnitsFrom(const char16_t* a, const char16_t* b,
                                                      std::size_t i, std::size_t count) {
    while (i < count) {
        const std::size_t roomA = PageRoom(a + i), roomB = PageRoom(b + i);
        const std::size_t room = roomA < roomB ? roomA : roomB;
        if (room < kBlockBytes) {
            const std::size_t end = count - i > kBlockUnits ? i + kBlockUnits : count;
            for (; i < end; ++i) {
                const int d = int(a[i]) - int(b[i]);
                if (d != 0 || b[i] == 0) return SignOf(d);
            }
            continue;
        }
        for (std::size_t blocks = room / kBlockBytes; blocks > 0; --blocks) {
            UnitMask stop = CompareStops(a + i, b + i);
            const std::size_t left = count - i;
            if (left < kBlockUnits) stop = MarksBelow(stop, left);
            if (stop != 0) return CompareAt(a, b, i + FirstUnit(stop));
            if (left <= kBlockUnits) return 0;
            i += kBlockUnits;
        }
    }
    return 0;
}

// lwcscmp: -1, 0 or +1 at the first unit where the texts differ or `b` ends.
inline int CompareUnits(const char16_t* a, const char16_t* b) {
    if (!BlocksInPage(a, b)) return CompareUnitsFrom(a, b, 0, SIZE_MAX);
    const UnitMask stop = CompareStops(a, b);
    if (stop != 0) return CompareAt(a, b, FirstUnit(stop));
    return CompareUnitsFrom(a, b, kBlockUnits, SIZE_MAX);
}
// As above over at most `count` units (0 reads nothing).
inline int CompareUnits(const char16_t* a, const char16_t* b, std::size_t count) {
    if (count == 0) return 0;
    if (!BlocksInPage(a, b)) return CompareUnitsFrom(a, b, 0, count);
    UnitMask stop = CompareStops(a, b);
    if (count < kBlockUnits) stop = MarksBelow(stop, count);
    if (stop != 0) return CompareAt(a, b, FirstUnit(stop));
    if (count <= kBlockUnits) return 0;
    return CompareUnitsFrom(a, b, kBlockUnits, count);
}

// The plain search for a non-empty `sub` of `length` units: `sub` compared at
// every unit of `s` that holds sub[0]. Out of line, so that the short-needle
// search below keeps no value across a call and stays small.
__attribute__((noinline)) inline const char16_t* FindTextPlain(const char16_t* s,
                                                               const char16_t* sub,
                                                               std::size_t length) {
    for (;; ++s) {
        s = FindUnitOrEnd(s, sub[0]);
        if (*s == 0) return nullptr;
        if (CompareUnits(s, sub, length) == 0) return s;
    }
}

// lwcsstr for a non-empty `sub`: the first position in `s` where `sub`
// occurs, or null. A `sub` of under 8 units whose block stays in its page is
// compared as one block, masked to its units, at every candidate whose block
// stays in its page too; from a candidate near a page end on, and for longer
// or page-straddling needles, the plain search goes on.
inline const char16_t* FindText(const char16_t* s, const char16_t* sub) {
    if (PageRoom(sub) < kBlockBytes) return FindTextPlain(s, sub, TextLength(sub));
    const Block needle = LoadBlock(AddressOf(sub));
    const UnitMask end = ZeroUnits(needle);
    if (end == 0) return FindTextPlain(s, sub, kBlockUnits + TextLength(sub + kBlockUnits));
    const UnitMask needed = (end & (0 - end)) - 1;  // the marks below the first end mark
    for (;; ++s) {
        s = FindUnitOrEnd(s, sub[0]);
        if (*s == 0) return nullptr;
        if (PageRoom(s) < kBlockBytes) return FindTextPlain(s, sub, FirstUnit(needed + 1));
        if ((EqualUnits(LoadBlock(AddressOf(s)), needle) & needed) == needed) return s;
    }
}

// A text of fewer than kBlockUnits units, read in one block so that one store
// copies it: `units` holds the text, its terminator and whatever follows in
// the block; `length` is the units before the terminator.
struct ShortText {
    Block units;
    std::size_t length;
};

// Reads `s` into `text` when its terminator lies in its first block and that
// block ends inside the page of s[0]; false (nothing read) otherwise.
inline bool ReadShortText(const char16_t* s, ShortText& text) {
    if (PageRoom(s) < kBlockBytes) return false;
    text.units = LoadBlock(AddressOf(s));
    const UnitMask ends = ZeroUnits(text.units);
    if (ends == 0) return false;
    text.length = FirstUnit(ends);
    return true;
}

#else  // ---- Portable loops ----------------------------------------------------

constexpr std::size_t kBlockUnits = 8;

// As the block version: the units up to the terminator, zeros after it.
struct ShortText {
    char16_t units[kBlockUnits];
    std::size_t length;
};

inline bool ReadShortText(const char16_t* s, ShortText& text) {
    for (std::size_t i = 0; i < kBlockUnits; ++i) {
        text.units[i] = s[i];
        if (s[i] == 0) {
            for (std::size_t j = i + 1; j < kBlockUnits; ++j) text.units[j] = 0;
            text.length = i;
            return true;
        }
    }
    return false;
}

inline std::size_t TextLength(const char16_t* s) {
    const char16_t* end = s;
    while (*end != 0) ++end;
    return static_cast<std::size_t>(end - s);
}

inline std::size_t TextLength(const char16_t* s, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    return n;
}

inline const char16_t* FindUnitOrEnd(const char16_t* s, char16_t c) {
    while (*s != 0 && *s != c) ++s;
    return s;
}

inline std::size_t FindUnit(const char16_t* s, std::size_t count, char16_t c) {
    std::size_t i = 0;
    while (i < count && s[i] != c) ++i;
    return i;
}

inline int CompareUnits(const char16_t* a, const char16_t* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const int d = int(a[i]) - int(b[i]);
        if (d != 0 || b[i] == 0) return SignOf(d);
    }
    return 0;
}

inline int CompareUnits(const char16_t* a, const char16_t* b) {
    return CompareUnits(a, b, SIZE_MAX);
}

inline const char16_t* FindText(const char16_t* s, const char16_t* sub) {
    const std::size_t length = TextLength(sub);
    for (;; ++s) {
        s = FindUnitOrEnd(s, sub[0]);
        if (*s == 0) return nullptr;
        if (CompareUnits(s, sub, length) == 0) return s;
    }
}

#endif

// Writes a text read by ReadShortText, terminator included, to `dst`, which
// has room for kBlockUnits units.
inline void WriteShortText(char16_t* dst, const ShortText& text) {
    static_assert(sizeof text.units == kBlockUnits * sizeof(char16_t), "one block");
    __builtin_memcpy(dst, &text.units, sizeof text.units);
}

}  // namespace detail
}  // namespace UTL
