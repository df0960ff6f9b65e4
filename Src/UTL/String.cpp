// StringC: reference-counted, copy-on-write wide string.
#include <UTL/StringC.h>

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <UTL/BSS.h>
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include "Statics.h"
#include "WideBlockScan.h"
#include "WideTextInternal.h"

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

using DataC = StringC::DataC;
using UTL::detail::TextLength;

namespace {

// Format rules: longer formats are taken as plain text, results are cut so
// that they fit the shared area with their terminator.
constexpr unsigned int kFormatLimit = 3500;
constexpr unsigned int kFormatAreaUnits = 4096;

const char16_t kNoText[] = u"";

const char16_t* OrEmpty(const char16_t* text) {
    return text ? text : kNoText;
}

unsigned int CutLength(unsigned long length) {
    return length > DataC::kMaxLength ? DataC::kMaxLength : static_cast<unsigned int>(length);
}

// Units before the terminator of `text`, counting at most to the length limit.
unsigned int CutTextLength(const char16_t* text) {
    return static_cast<unsigned int>(TextLength(text, DataC::kMaxLength));
}

// Units of `text` before its first zero unit, if any, counting at most to
// the length limit. Reads nothing beyond the view.
unsigned int CutTextLength(std::u16string_view text) {
    const std::size_t limit = text.size() < DataC::kMaxLength ? text.size() : DataC::kMaxLength;
    return static_cast<unsigned int>(TextLength(text.data(), limit));
}

// Copies `count` units; the ranges may overlap. Runs of up to 16 units, the
// usual case, take two fixed-size loads, then two stores, without a call.
template <std::size_t kUnits>
void MoveEnds(char16_t* dst, const char16_t* src, unsigned int count) {
    char16_t head[kUnits], tail[kUnits];
    std::memcpy(head, src, sizeof head);
    std::memcpy(tail, src + count - kUnits, sizeof tail);
    std::memcpy(dst, head, sizeof head);
    std::memcpy(dst + count - kUnits, tail, sizeof tail);
}
void MoveUnits(char16_t* dst, const char16_t* src, unsigned int count) {
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

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// ---- Per-thread block cache -----------------------------------------------
//
// Blocks are made and freed all the time; recycling their memory per thread
// makes that a few loads and stores instead of a trip through the allocator.
// The memory comes in size classes: the plain block (inline texts, and the
// blocks users make with `new DataC`), and blocks that carry their text, by
// total size up to 1 KiB; larger ones go straight to the heap. A block
// released on another thread than the one that made it simply joins that
// thread's cache. The cache is made on the thread's first release; the closer
// object frees it at thread exit, after which blocks go straight to the heap.
// Under AddressSanitizer cached memory is poisoned, so a use after release is
// still caught.

constexpr std::size_t kClassBytes[] = {sizeof(DataC), 128, 256, 512, 1024};
constexpr int kClasses = sizeof kClassBytes / sizeof kClassBytes[0];
constexpr int kNoClass = kClasses;
constexpr int kCachedPerClass = 8;

struct BlockCache {
    void* blocks[kClasses][kCachedPerClass];
    int count[kClasses];  // blocks[k][0 .. count[k] - 1] are free
    // The plain block released last, if any: the top of the plain blocks'
    // stack, above blocks[0]. A string made and released in turn reuses it
    // with one load and one store.
    void* sparePlain;
};
// Only a pointer in static TLS, which dlopen has little room for.
__attribute__((tls_model("initial-exec"))) thread_local BlockCache* t_blockCache;
__attribute__((tls_model("initial-exec"))) thread_local bool t_blockCacheClosed;

struct BlockCacheCloser {
    bool armed = false;
    ~BlockCacheCloser() {
        BlockCache* cache = t_blockCache;
        t_blockCache = nullptr;
        t_blockCacheClosed = true;
        if (cache != nullptr && cache->sparePlain != nullptr) {
            UTL_UNPOISON(cache->sparePlain, kClassBytes[0]);
            ::operator delete(cache->sparePlain);
        }
        for (int k = 0; cache != nullptr && k < kClasses; ++k) {
            while (cache->count[k] > 0) {
                void* block = cache->blocks[k][--cache->count[k]];
                UTL_UNPOISON(block, kClassBytes[k]);
                ::operator delete(block);
            }
        }
        delete cache;
    }
};
thread_local BlockCacheCloser t_blockCacheCloser;

// The smallest class that holds `bytes`, or kNoClass.
int ClassOf(std::size_t bytes) {
    int k = 0;
    while (k < kClasses && kClassBytes[k] < bytes) ++k;
    return k;
}

// Memory for a block of `bytes`.
// Out of line, so that taking a cached block saves no registers.
__attribute__((noinline)) void* HeapMemory(std::size_t bytes) {
    return ::operator new(bytes);
}

void* TakeBlockMemory(std::size_t bytes) {
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

// A cached plain block, or null.
void* TakeCachedPlainBlock() {
    BlockCache* cache = t_blockCache;
    if (cache == nullptr) return nullptr;
    void* block = cache->sparePlain;
    if (block != nullptr) {
        cache->sparePlain = nullptr;
    } else if (cache->count[0] != 0) {
        block = cache->blocks[0][--cache->count[0]];
    } else {
        return nullptr;
    }
    UTL_UNPOISON(block, kClassBytes[0]);
    return block;
}

BlockCache* OpenBlockCache() noexcept {
    if (t_blockCacheClosed) return nullptr;
    BlockCache* cache = new (std::nothrow) BlockCache();
    if (cache == nullptr) return nullptr;
    t_blockCache = cache;
    t_blockCacheCloser.armed = true;  // the first use constructs it for this thread
    return cache;
}

// Takes back memory of a block of `bytes` from TakeBlockMemory, or of a
// plain block from the global operator new.
void GiveBackBlockMemory(void* block, std::size_t bytes) noexcept {
    const int k = ClassOf(bytes);
    BlockCache* cache = t_blockCache;
    if (cache == nullptr && k != kNoClass) cache = OpenBlockCache();
    if (cache == nullptr || k == kNoClass) {
        ::operator delete(block);
        return;
    }
    // A plain block becomes the spare, the spare it replaces goes below it.
    void* pushed = block;
    if (k == 0) {
        pushed = cache->sparePlain;
        UTL_POISON(block, kClassBytes[0]);
        cache->sparePlain = block;
        if (pushed == nullptr) return;
    }
    if (cache->count[k] == kCachedPerClass) {
        if (k == 0) UTL_UNPOISON(pushed, kClassBytes[0]);
        ::operator delete(pushed);
        return;
    }
    if (k != 0) UTL_POISON(pushed, kClassBytes[k]);
    cache->blocks[k][cache->count[k]++] = pushed;
}

// A block that carries its text holds it from this offset on: 16-byte
// aligned, as copies are faster into aligned memory.
constexpr std::size_t kTextOffset = (sizeof(DataC) + 15) / 16 * 16;

// Bytes of a block that carries a text buffer of `capacity` units.
std::size_t BytesWithText(unsigned int capacity) {
    return kTextOffset + capacity * sizeof(char16_t);
}

// ---- The shared empty block -------------------------------------------------

std::atomic<DataC*> g_sharedEmptyBlock{nullptr};
std::atomic<bool> g_sharedEmptyDestroyed{false};

// Registered at exit when the block is created. The block is freed only if no
// string refers to it any more; strings that outlive this step (other static
// objects) keep it, and since its own reference stays, their releases never
// bring it to zero.
void DestroySharedEmptyBlock() {
    DataC* block = g_sharedEmptyBlock.load(std::memory_order_acquire);
    if (block == nullptr || block->GetRefCount() != 1) return;
    g_sharedEmptyDestroyed.store(true, std::memory_order_release);
    block->Release();
}

}  // namespace

// ============================================================================
// StringC::DataC
// ============================================================================

inline DataC::DataC(char16_t* heap, unsigned int capacity, unsigned int length, std::uint32_t flags)
    : m_heap(heap),
      m_count(1 | flags),
      m_capacity(static_cast<unsigned short>(heap != nullptr ? capacity : 0)),
      m_length(static_cast<unsigned short>(length)) {}

inline DataC* DataC::Make(unsigned int capacity, unsigned int length) {
    if (capacity <= kInlineUnits) {
        return ::new (TakeBlockMemory(sizeof(DataC))) DataC(nullptr, 0, length, 0);
    }
    void* memory = TakeBlockMemory(BytesWithText(capacity));
    char16_t* heap = reinterpret_cast<char16_t*>(static_cast<char*>(memory) + kTextOffset);
    return ::new (memory) DataC(heap, capacity, length, kTextInBlock);
}

inline DataC* DataC::New(unsigned int capacity, const char16_t* text, unsigned int length) {
    DataC* block = Make(capacity, length);
    char16_t* units = block->Units();
    MoveUnits(units, text, length);
    units[length] = 0;
    return block;
}

DataC::DataC(const char16_t* text) : DataC(nullptr, 0, 0, 0) {
    text = OrEmpty(text);
    const unsigned int length = CutTextLength(text);
    if (length >= kInlineUnits) {
        m_heap = new char16_t[length + 1];
        m_capacity = static_cast<unsigned short>(length + 1);
    }
    MoveUnits(Units(), text, length);
    Units()[length] = 0;
    SetLength(length);
}

DataC::DataC(unsigned long size) : DataC(nullptr, 0, 0, 0) {
    m_inline[0] = 0;
    if (size < kInlineUnits) return;
    if (size > kMaxCapacity) size = kMaxCapacity;
    m_heap = new char16_t[size];
    m_heap[0] = 0;
    m_capacity = static_cast<unsigned short>(size);
}

bool DataC::AddRefSlow(std::uint32_t count) {
    if (count & kUncounted) return true;
    if ((count & kAtomicCount) == 0) return false;  // plainly counted and full
    while ((count & kMaxRefs) != kMaxRefs) {
        if (__atomic_compare_exchange_n(&m_count, &count, count + 1, true, __ATOMIC_RELAXED,
                                        __ATOMIC_RELAXED)) {
            return true;
        }
    }
    return false;
}

unsigned int DataC::ReleaseSlow() noexcept {
    if (LoadCount() & kUncounted) return kMaxRefs;
    const unsigned int left = __atomic_sub_fetch(&m_count, 1, __ATOMIC_ACQ_REL) & kMaxRefs;
    if (left == 0) Destroy();
    return left;
}

// Destroy for a block whose memory does not go straight back to the cache.
__attribute__((noinline)) void DestroyPlainBlock(DataC* block) noexcept {
    block->~DataC();
    GiveBackBlockMemory(block, sizeof(DataC));
}

void DataC::Destroy() noexcept {
    // The usual case first: a block with its text inline, and a free spare.
    BlockCache* cache = t_blockCache;
    if (m_heap == nullptr && cache != nullptr && cache->sparePlain == nullptr) {
        UTL_POISON(this, sizeof(DataC));
        cache->sparePlain = this;
        return;
    }
    if (m_count & kTextInBlock) {
        // Block and text are one piece of memory, and hold nothing else.
        GiveBackBlockMemory(this, BytesWithText(m_capacity));
        return;
    }
    DestroyPlainBlock(this);
}

unsigned short DataC::CountLength() const {
    return static_cast<unsigned short>(TextLength(Units(), GetMaxLength()));
}

// ============================================================================
// StringC: blocks
// ============================================================================

StringC::MovedFromStorage StringC::s_movedFrom;

DataC* StringC::GetEmptyDataBlock() const {
    static DataC* const shared = [] {
        DataC* block = DataC::New(1, kNoText, 0);
        block->m_count |= DataC::kAtomicCount;
        g_sharedEmptyBlock.store(block, std::memory_order_release);
        std::atexit(DestroySharedEmptyBlock);
        return block;
    }();
    return g_sharedEmptyDestroyed.load(std::memory_order_acquire) ? nullptr : shared;
}

DataC* StringC::AcquireEmptyBlock() const {
    DataC* shared = GetEmptyDataBlock();
    if (shared != nullptr && shared->AddRef()) return shared;
    return DataC::New(1, kNoText, 0);
}

DataC* StringC::CopyBlock(DataC* block) {
    const unsigned int length = block->Length();
    return DataC::New(length + 1, block->Units(), length);
}

DataC* StringC::BlockFor(const char16_t* text, unsigned int length) const {
    return length == 0 ? AcquireEmptyBlock() : DataC::New(length + 1, text, length);
}

// A short text is counted and copied with one load and one store.
static_assert(DataC::kInlineUnits >= UTL::detail::kBlockUnits, "a short text fits inline");

inline DataC* StringC::BlockFor(const char16_t* text) const {
    if (text == nullptr) return AcquireEmptyBlock();
    UTL::detail::ShortText shortText;
    if (!UTL::detail::ReadShortText(text, shortText)) return BlockFor(text, CutTextLength(text));
    if (shortText.length == 0) return AcquireEmptyBlock();
    DataC* block = DataC::Make(DataC::kInlineUnits, shortText.length);
    UTL::detail::WriteShortText(block->m_inline, shortText);
    return block;
}

void StringC::MakeCopy() {
    if (m_pcs->IsUnshared()) return;
    DataC* copy = CopyBlock(m_pcs);
    m_pcs->Release();
    m_pcs = copy;
}

void StringC::NewStr(const char16_t* text) {
    if (m_pcs != nullptr && text != nullptr && m_pcs->IsUnshared()) {
        // Every block has room for a short text. The whole text is read
        // before it is written, so it may lie in this very buffer.
        UTL::detail::ShortText shortText;
        if (UTL::detail::ReadShortText(text, shortText)) {
            UTL::detail::WriteShortText(m_pcs->Units(), shortText);
            m_pcs->SetLength(static_cast<unsigned int>(shortText.length));
            return;
        }
        const unsigned int room = m_pcs->GetMaxLength();
        const unsigned int length = static_cast<unsigned int>(TextLength(text, room + 1));
        if (length <= room) {
            // `text` may lie inside this very buffer.
            MoveUnits(m_pcs->Units(), text, length + 1);
            m_pcs->SetLength(length);
            return;
        }
    }
    DataC* block = BlockFor(text);
    DeleteStr();
    m_pcs = block;
}

void StringC::NewStr(unsigned long size) {
    if (m_pcs != nullptr && m_pcs->IsUnshared() && m_pcs->GetMaxLength() >= size) {
        m_pcs->Units()[0] = 0;
        m_pcs->SetLength(0);
        return;
    }
    const unsigned int capacity =
        size > DataC::kMaxCapacity ? DataC::kMaxCapacity : static_cast<unsigned int>(size);
    DataC* block = DataC::New(capacity, kNoText, 0);
    DeleteStr();
    m_pcs = block;
}

// ============================================================================
// StringC: construction and assignment
// ============================================================================

StringC::StringC() : m_pcs(AcquireEmptyBlock()) {}

StringC::StringC(const char16_t* text) : m_pcs(nullptr) {
    // The usual case makes no call: a short text into a cached plain block.
    // Everything else is NewStr's work, a tail call.
    UTL::detail::ShortText piece;
    if (text != nullptr && UTL::detail::ReadShortText(text, piece) && piece.length != 0) {
        if (void* memory = TakeCachedPlainBlock()) {
            DataC* block =
                ::new (memory) DataC(nullptr, 0, static_cast<unsigned int>(piece.length), 0);
            UTL::detail::WriteShortText(block->m_inline, piece);
            m_pcs = block;
            return;
        }
    }
    NewStr(text);
}

StringC::StringC(std::u16string_view text) : m_pcs(BlockFor(text.data(), CutTextLength(text))) {}

StringC::StringC(const char* text) : m_pcs(nullptr) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length == 0) {
        m_pcs = AcquireEmptyBlock();
        return;
    }
    const unsigned int cut = CutLength(length);
    m_pcs = DataC::New(cut + 1, kNoText, 0);
    UTL::AsciiToUnicode(m_pcs->Units(), cut + 1, text);
    m_pcs->SetLength(cut);
}

StringC::StringC(unsigned int key1, unsigned int key2) : m_pcs(nullptr) {
    LoadTxt(key1, key2);
}

StringC& StringC::operator=(const char16_t* text) {
    NewStr(text);
    return *this;
}

// ============================================================================
// StringC: access
// ============================================================================

int StringC::GetLength() const {
    return static_cast<int>(m_pcs->Length());
}

std::u16string_view StringC::View() const {
    return std::u16string_view(m_pcs->Units(), m_pcs->Length());
}

char16_t StringC::GetAt(int index) const {
    if (index < 0 || static_cast<unsigned int>(index) > m_pcs->Length()) return u'\0';
    return m_pcs->Units()[index];
}

char16_t StringC::operator[](int index) const {
    return GetAt(index);
}

void StringC::SetAt(int index, char16_t c) {
    if (index < 0 || static_cast<unsigned int>(index) >= m_pcs->Length()) return;
    MakeCopy();
    m_pcs->Units()[index] = c;
    if (c == 0) m_pcs->SetLength(static_cast<unsigned int>(index));
}

int StringC::Find(char16_t c, int start) const {
    if (start < 0) start = 0;
    if (static_cast<unsigned int>(start) > m_pcs->Length()) return -1;
    const char16_t* text = m_pcs->Units();
    const char16_t* at = UTL::detail::FindUnitOrEnd(text + start, c);
    return *at == c ? static_cast<int>(at - text) : -1;
}

void StringC::Empty() {
    if (IsEmpty()) return;
    DataC* block = AcquireEmptyBlock();
    DeleteStr();
    m_pcs = block;
}

// ============================================================================
// StringC: comparison
// ============================================================================

int StringC::Compare(const char16_t* other, bool caseSensitive) const {
    const char16_t* text = m_pcs->Units();
    return caseSensitive ? UTL::detail::CompareUnits(text, OrEmpty(other))
                         : lwcsicmp(text, OrEmpty(other));
}

bool StringC::operator==(const char16_t* other) const {
    return UTL::detail::CompareUnits(m_pcs->Units(), OrEmpty(other)) == 0;
}
bool StringC::operator==(const StringC& other) const {
    return m_pcs->Length() == other.m_pcs->Length() && *this == other.m_pcs->Units();
}
bool StringC::operator!=(const char16_t* other) const {
    return !(*this == other);
}
bool StringC::operator!=(const StringC& other) const {
    return !(*this == other);
}
bool StringC::operator<(const char16_t* other) const {
    return Compare(other, true) < 0;
}
bool StringC::operator<(const StringC& other) const {
    return Compare(other, true) < 0;
}
bool StringC::operator>(const char16_t* other) const {
    return Compare(other, true) > 0;
}
bool StringC::operator>(const StringC& other) const {
    return Compare(other, true) > 0;
}
bool StringC::operator<=(const char16_t* other) const {
    return Compare(other, true) <= 0;
}
bool StringC::operator<=(const StringC& other) const {
    return Compare(other, true) <= 0;
}
bool StringC::operator>=(const char16_t* other) const {
    return Compare(other, true) >= 0;
}
bool StringC::operator>=(const StringC& other) const {
    return Compare(other, true) >= 0;
}

// ============================================================================
// StringC: new text
// ============================================================================

inline void StringC::Append(const char16_t* text, unsigned int length) {
    DataC* block = m_pcs;
    const unsigned int own = block->Length();
    const unsigned int added = length < DataC::kMaxLength - own ? length : DataC::kMaxLength - own;
    const unsigned int joined = own + added;
    if (block->IsUnshared() && joined <= block->GetMaxLength()) {
        // `text` may lie in this very buffer.
        char16_t* units = block->Units();
        MoveUnits(units + own, text, added);
        units[joined] = 0;
        block->SetLength(joined);
        return;
    }
    // A new block: exactly sized for a shared block; for a full unshared one
    // at least twice the room, so that a run of appends stays linear. The
    // old block stays alive until the copy is done, as `text` may be its text.
    unsigned int capacity = joined + 1;
    if (block->IsUnshared()) {
        const unsigned int doubled = 2 * (block->GetMaxLength() + 1);
        const unsigned int grown = doubled < DataC::kMaxCapacity ? doubled : DataC::kMaxCapacity;
        if (grown > capacity) capacity = grown;
    }
    DataC* joinedBlock = DataC::New(capacity, block->Units(), own);
    char16_t* units = joinedBlock->Units();
    MoveUnits(units + own, text, added);
    units[joined] = 0;
    joinedBlock->SetLength(joined);
    DeleteStr();
    m_pcs = joinedBlock;
}

StringC& StringC::AppendText(const char16_t* text) {
    // A shared block (the shared empty one, say) whose text and a short piece
    // fit inline together: the new block is an inline one, as in Append, and
    // the piece is read whole before anything is released.
    DataC* block = m_pcs;
    UTL::detail::ShortText piece;
    if (text != nullptr && !block->IsUnshared() && UTL::detail::ReadShortText(text, piece)) {
        const unsigned int own = block->Length();
        const unsigned int joined = own + static_cast<unsigned int>(piece.length);
        if (joined < DataC::kInlineUnits) {
            DataC* joinedBlock = DataC::Make(DataC::kInlineUnits, joined);
            char16_t* units = joinedBlock->m_inline;
            MoveUnits(units, block->Units(), own);
            if (own + UTL::detail::kBlockUnits <= DataC::kInlineUnits) {
                UTL::detail::WriteShortText(units + own, piece);  // the terminator comes with it
            } else {
                MoveUnits(units + own, text, static_cast<unsigned int>(piece.length) + 1);
            }
            DeleteStr();
            m_pcs = joinedBlock;
            return *this;
        }
    }
    const unsigned int room = DataC::kMaxLength - m_pcs->Length();
    Append(OrEmpty(text), static_cast<unsigned int>(TextLength(OrEmpty(text), room)));
    return *this;
}

// The library keeps an out-of-line operator+=(text) for callers built before
// it became inline.
__attribute__((used)) constexpr StringC& (StringC::*kExportedAppend)(const char16_t*) =
    &StringC::operator+=;

StringC& StringC::operator+=(const StringC& other) {
    Append(other.m_pcs->Units(), other.m_pcs->Length());
    return *this;
}

StringC StringC::operator+(const StringC& other) const {
    StringC joined(*this);
    joined += other;
    return joined;
}

StringC StringC::operator+(const char16_t* text) const {
    StringC joined(*this);
    joined += text;
    return joined;
}

StringC StringC::Mid(int start) const {
    return Mid(start, INT_MAX);
}

StringC StringC::Mid(int start, int count) const {
    if (start < 0) start = 0;
    const unsigned int length = m_pcs->Length();
    if (static_cast<unsigned int>(start) > length) return StringC();
    const unsigned int rest = length - static_cast<unsigned int>(start);
    const unsigned int taken = count < 0 ? 0u
                               : static_cast<unsigned int>(count) < rest
                                   ? static_cast<unsigned int>(count)
                                   : rest;
    return StringC(DataC::New(taken + 1, m_pcs->Units() + start, taken));
}

// ============================================================================
// StringC: changes in place
// ============================================================================

void StringC::ToUpper() {
    const unsigned int length = m_pcs->Length();
    if (length == 0) return;
    MakeCopy();
    char16_t* text = m_pcs->Units();
    for (unsigned int i = 0; i < length; ++i) text[i] = ltowupper(text[i]);
    m_pcs->SetLength(length);
}

void StringC::ToLower() {
    const unsigned int length = m_pcs->Length();
    if (length == 0) return;
    MakeCopy();
    char16_t* text = m_pcs->Units();
    for (unsigned int i = 0; i < length; ++i) text[i] = ltowlower(text[i]);
    m_pcs->SetLength(length);
}

void StringC::LTrim() {
    MakeCopy();
    char16_t* text = m_pcs->Units();
    unsigned int blanks = 0;
    while (IsBlank(text[blanks])) ++blanks;
    if (blanks == 0) return;
    const unsigned int rest = m_pcs->Length() - blanks;
    std::memmove(text, text + blanks, (rest + 1) * sizeof(char16_t));
    m_pcs->SetLength(rest);
}

void StringC::RTrim() {
    MakeCopy();
    char16_t* text = m_pcs->Units();
    unsigned int end = m_pcs->Length();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    text[end] = 0;
    m_pcs->SetLength(end);
}

int StringC::Remove(char16_t c) {
    MakeCopy();
    if (c == 0) return 0;
    char16_t* text = m_pcs->Units();
    const unsigned int length = m_pcs->Length();
    unsigned int kept = 0;
    for (unsigned int i = 0; i < length; ++i) {
        if (text[i] != c) text[kept++] = text[i];
    }
    text[kept] = 0;
    m_pcs->SetLength(kept);
    return static_cast<int>(length - kept);
}

// ============================================================================
// StringC: formatting, scanning, display texts
// ============================================================================

int StringC::Format(const char16_t* format, ...) {
    if (format == nullptr) {
        NewStr(kNoText);
        return 0;
    }
    if (lwcslen(format) > kFormatLimit) {
        NewStr(format);
        return 0;
    }
    // The result, in the engine's own storage of the calling thread, is cut
    // at 4095 units; one unit more tells a result that does not fit (4096
    // units or more) from one that fills them exactly, which is legal.
    struct Taken {
        StringC* self;
        bool tooLong;
    } taken{this, false};
    const auto take = [](char16_t* text, size_t length, void* context) {
        Taken& to = *static_cast<Taken*>(context);
        to.tooLong = length >= kFormatAreaUnits;
        if (to.tooLong) text[kFormatAreaUnits - 1] = 0;
        to.self->NewStr(text);
    };
    va_list args;
    va_start(args, format);
    const bool formatted = UTL::detail::FormatWideTo(kFormatAreaUnits, format, args, take, &taken);
    va_end(args);
    if (!formatted) NewStr(kNoText);  // no text produced gives the empty string
    const bool tooLong = taken.tooLong;
    // Reported once the text is set.
    if (tooLong) {
        UTL::LogManagementC::Log(__FILE__, __LINE__, UTL::LogSinkI::LOG_DevMessage, "%s\n",
                                 "lwcslen( szResult ) < 4096");
    }
    return 0;
}

int StringC::Scan(const char16_t* format, ...) const {
    if (format == nullptr) return 0;
    const char16_t* text = m_pcs->Units();
    while (*text == u' ') ++text;
    va_list args;
    va_start(args, format);
    const int result = lvswscanf(text, format, args);
    va_end(args);
    return result;
}

bool StringC::LoadTxt(unsigned long key1, unsigned int key2) {
    // Token keys are 32-bit values, whatever the width of unsigned long.
    const char16_t* text =
        UTL::TokenAccessorBridgeC::getToken(static_cast<std::uint32_t>(key1), key2);
    NewStr(text);
    return text != nullptr;
}
