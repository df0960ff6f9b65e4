// StringC blocks: their memory (the per-thread cache), the shared empty
// block, reference counting, and the ways a string gets its block:
// construction, assignment of a text, copies before a change.
#include <UTL/StringC.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include <UTL/WideText.h>

#include "StringBlock.h"

using UTL::detail::TextLength;
using namespace UTL::stringc;

// ---- Per-thread block cache -----------------------------------------------
//
// Blocks are made and freed all the time; recycling their memory per thread
// makes that a few loads and stores instead of a trip through the allocator.
// A block released on another thread than the one that made it simply joins
// that thread's cache. The cache is made on the thread's first release; the
// closer object frees it at thread exit, after which blocks go straight to
// the heap. Under AddressSanitizer cached memory is poisoned, so a use after
// release is still caught.

namespace UTL {
namespace stringc {

__thread BlockCache* t_blockCache __attribute__((tls_model("initial-exec"))) = nullptr;

__attribute__((noinline)) void* HeapMemory(std::size_t bytes) {
    return ::operator new(bytes);
}

}  // namespace stringc
}  // namespace UTL

namespace {

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

BlockCache* OpenBlockCache() noexcept {
    if (t_blockCacheClosed) return nullptr;
    BlockCache* cache = new (std::nothrow) BlockCache();
    if (cache == nullptr) return nullptr;
    t_blockCache = cache;
    t_blockCacheCloser.armed = true;  // the first use constructs it for this thread
    return cache;
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

}  // namespace

void UTL::stringc::GiveBackBlockMemory(void* block, std::size_t bytes) noexcept {
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

// ---- The shared empty block -------------------------------------------------

namespace {

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
__attribute__((noinline)) static void DestroyPlainBlock(DataC* block) noexcept {
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

StringC::StringC(const char16_t* text) {
    // The usual case makes no call: a short text into a cached plain block.
    // Everything else is NewStr's work, a tail call (with no block yet).
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
    m_pcs = nullptr;
    NewStr(text);
}

StringC::StringC(std::u16string_view text) : m_pcs(nullptr) {
    // Up to the first zero unit, if any; nothing beyond the view is read.
    const std::size_t limit = text.size() < DataC::kMaxLength ? text.size() : DataC::kMaxLength;
    m_pcs = BlockFor(text.data(), static_cast<unsigned int>(TextLength(text.data(), limit)));
}

StringC::StringC(const char* text) : m_pcs(nullptr) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length == 0) {
        m_pcs = AcquireEmptyBlock();
        return;
    }
    const unsigned int cut =
        length > DataC::kMaxLength ? DataC::kMaxLength : static_cast<unsigned int>(length);
    m_pcs = DataC::New(cut + 1, kNoText, 0);
    UTL::AsciiToUnicode(m_pcs->Units(), cut + 1, text);
    m_pcs->SetLength(cut);
}

StringC& StringC::operator=(const char16_t* text) {
    NewStr(text);
    return *this;
}

void StringC::Empty() {
    if (IsEmpty()) return;
    DataC* block = AcquireEmptyBlock();
    DeleteStr();
    m_pcs = block;
}
