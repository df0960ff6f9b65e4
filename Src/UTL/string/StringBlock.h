// StringC internals shared by its source files: text measures and unit
// copies, the per-thread block cache's fast paths, and the inline ways of
// making a block.
#pragma once

#include <UTL/StringC.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "WideBlockScan.h"

#if defined(__SANITIZE_ADDRESS__)
#define UTL_STRING_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UTL_STRING_ASAN 1
#endif
#endif
#if defined(UTL_STRING_ASAN)
#include <sanitizer/asan_interface.h>
#define UTL_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define UTL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define UTL_POISON(p, n) ((void)(p), (void)(n))
#define UTL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace UTL {
namespace stringc {

using DataC = StringC::DataC;

inline constexpr char16_t kNoText[] = u"";

inline const char16_t* OrEmpty(const char16_t* text) {
    return text ? text : kNoText;
}

// Units before the terminator of `text`, counting at most to the length limit.
inline unsigned int CutTextLength(const char16_t* text) {
    return static_cast<unsigned int>(detail::TextLength(text, DataC::kMaxLength));
}

// Copies `count` units; the ranges may overlap. Runs of up to 16 units, the
// usual case, take two fixed-size loads, then two stores, without a call.
template <std::size_t kUnits>
inline void MoveEnds(char16_t* dst, const char16_t* src, unsigned int count) {
    char16_t head[kUnits], tail[kUnits];
    std::memcpy(head, src, sizeof head);
    std::memcpy(tail, src + count - kUnits, sizeof tail);
    std::memcpy(dst, head, sizeof head);
    std::memcpy(dst + count - kUnits, tail, sizeof tail);
}
inline void MoveUnits(char16_t* dst, const char16_t* src, unsigned int count) {
    if (count > 16) {
        std::memmove(dst, src, count * sizeof(char16_t));
    } else if (count >= 8) {
        MoveEnds<8>(dst, src, count);
    } else if (count >= 4) {
        MoveEnds<4>(dst, src, count);
    } else if (count >= 2) {
        MoveEnds<2>(dst, src, count);
    } else if (count == 1) {
        dst[0] = src[0];
    }
}

// ---- Per-thread block cache (StringBlocks.cpp) -------------------------------
//
// Block memory comes in size classes: the plain block (inline texts, and the
// blocks users make with `new DataC`), and blocks that carry their text, by
// total size up to 1 KiB; larger ones go straight to the heap.

inline constexpr std::size_t kClassBytes[] = {sizeof(DataC), 128, 256, 512, 1024};
inline constexpr int kClasses = sizeof kClassBytes / sizeof kClassBytes[0];
inline constexpr int kNoClass = kClasses;
inline constexpr int kCachedPerClass = 8;

struct BlockCache {
    void* blocks[kClasses][kCachedPerClass];
    int count[kClasses];  // blocks[k][0 .. count[k] - 1] are free
    // The plain block released last, if any: the top of the plain blocks'
    // stack, above blocks[0]. A string made and released in turn reuses it
    // with one load and one store.
    void* sparePlain;
};
// Only a pointer in static TLS, which dlopen has little room for. `__thread`
// (constant-initialised, no wrapper) so that every source file reaches it
// with one load.
extern __thread BlockCache* t_blockCache __attribute__((tls_model("initial-exec")));

// The smallest class that holds `bytes`, or kNoClass.
inline int ClassOf(std::size_t bytes) {
    int k = 0;
    while (k < kClasses && kClassBytes[k] < bytes) ++k;
    return k;
}

// Memory for a block of `bytes` from the heap. Out of line, so that taking a
// cached block saves no registers.
void* HeapMemory(std::size_t bytes);
// Takes back memory of a block of `bytes` from TakeBlockMemory, or of a
// plain block from the global operator new.
void GiveBackBlockMemory(void* block, std::size_t bytes) noexcept;

inline void* TakeBlockMemory(std::size_t bytes) {
    const int k = ClassOf(bytes);
    if (k == kNoClass) return HeapMemory(bytes);
    BlockCache* cache = t_blockCache;
    if (k == 0 && cache != nullptr && cache->sparePlain != nullptr) {
        void* block = cache->sparePlain;
        cache->sparePlain = nullptr;
        UTL_UNPOISON(block, kClassBytes[0]);
        return block;
    }
    if (cache == nullptr || cache->count[k] == 0) return HeapMemory(kClassBytes[k]);
    void* block = cache->blocks[k][--cache->count[k]];
    UTL_UNPOISON(block, kClassBytes[k]);
    return block;
}

// A block that carries its text holds it from this offset on: 16-byte
// aligned, as copies are faster into aligned memory.
inline constexpr std::size_t kTextOffset = (sizeof(DataC) + 15) / 16 * 16;

// Bytes of a block that carries a text buffer of `capacity` units.
inline std::size_t BytesWithText(unsigned int capacity) {
    return kTextOffset + capacity * sizeof(char16_t);
}

}  // namespace stringc
}  // namespace UTL

// ---- Making blocks -------------------------------------------------------------

inline StringC::DataC::DataC(char16_t* heap, unsigned int capacity, unsigned int length,
                             std::uint32_t flags)
    : m_heap(heap),
      m_count(1 | flags),
      m_capacity(static_cast<unsigned short>(heap != nullptr ? capacity : 0)),
      m_length(static_cast<unsigned short>(length)) {}

inline StringC::DataC* StringC::DataC::Make(unsigned int capacity, unsigned int length) {
    using namespace UTL::stringc;
    if (capacity <= kInlineUnits) {
        return ::new (TakeBlockMemory(sizeof(DataC))) DataC(nullptr, 0, length, 0);
    }
    void* memory = TakeBlockMemory(BytesWithText(capacity));
    char16_t* heap = reinterpret_cast<char16_t*>(static_cast<char*>(memory) + kTextOffset);
    return ::new (memory) DataC(heap, capacity, length, kTextInBlock);
}

inline StringC::DataC* StringC::DataC::New(unsigned int capacity, const char16_t* text,
                                           unsigned int length) {
    DataC* block = Make(capacity, length);
    char16_t* units = block->Units();
    UTL::stringc::MoveUnits(units, text, length);
    units[length] = 0;
    return block;
}
