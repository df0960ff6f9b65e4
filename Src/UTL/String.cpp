// StringC: reference-counted, copy-on-write wide string.
#include <UTL/StringC.h>

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include <UTL/BSS.h>
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include "Statics.h"
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
using BlockCache = DataC::BlockCache;

namespace {

// Format rules: longer formats are taken as plain text, results are cut so
// that they fit the shared area with their terminator.
constexpr unsigned int kFormatLimit = 3500;
constexpr unsigned int kFormatAreaUnits = 4096;

// Shared result area of Format, used only under UTL::detail::g_formatMutex.
char16_t g_formatArea[kFormatAreaUnits];

const char16_t kNoText[] = u"";

const char16_t* OrEmpty(const char16_t* text) {
    return text ? text : kNoText;
}

unsigned int CutLength(unsigned long length) {
    return length > DataC::kMaxLength ? DataC::kMaxLength : static_cast<unsigned int>(length);
}

void CopyUnits(char16_t* dst, const char16_t* src, unsigned int count) {
    std::memcpy(dst, src, count * sizeof(char16_t));
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// True when `index` is a position inside the text (0 to length - 1), or, with
// `allowEnd`, also the terminator's position. Reads only the units before
// `index`, never beyond the block's buffer.
bool IsTextIndex(const DataC& block, int index, bool allowEnd) {
    if (index < 0 || static_cast<unsigned int>(index) > block.GetMaxLength()) return false;
    const char16_t* text = block.GetBuffer();
    for (int i = 0; i < index; ++i) {
        if (text[i] == 0) return false;
    }
    return allowEnd || text[index] != 0;
}

// ---- Per-thread block cache -----------------------------------------------
//
// A short string costs one block allocation; recycling the fixed-size blocks
// per thread makes that allocation a few loads and stores, inline in the
// header (DataC::operator new/delete on DataC::t_blockCache). A block released
// on another thread than the one that made it simply joins that thread's
// cache. The cache is plain TLS data, so it stays usable after the thread's
// destructors ran: the closer object frees the cached blocks at thread exit
// and closes the cache (room 0), after which blocks go straight to the heap.
//
// Under AddressSanitizer cached blocks are poisoned, so a use after release is
// still caught. They are then kept in a cache of the library's own that the
// inline paths never see (the header's cache keeps room 0 and no blocks), so
// code built without the sanitizer cannot take a poisoned block either.

constexpr int kCachedBlocks = DataC::kCachedBlocks;

#if defined(UTL_STRING_ASAN)
__attribute__((tls_model("initial-exec"))) thread_local DataC::BlockCache t_poisonedCache;
DataC::BlockCache& LibraryCache() {
    return t_poisonedCache;
}
#else
DataC::BlockCache& LibraryCache() {
    return DataC::t_blockCache;
}
#endif
__attribute__((tls_model("initial-exec"))) thread_local bool t_blockCacheClosed;

struct BlockCacheCloser {
    bool armed = false;
    ~BlockCacheCloser() {
        BlockCache& cache = LibraryCache();
        t_blockCacheClosed = true;
        cache.room = 0;
        while (cache.count > 0) {
            void* block = cache.blocks[--cache.count];
            UTL_UNPOISON(block, sizeof(DataC));
            ::operator delete(block);
        }
    }
};
thread_local BlockCacheCloser t_blockCacheCloser;

void* TakeBlockMemory() {
    BlockCache& cache = LibraryCache();
    if (cache.count == 0) return ::operator new(sizeof(DataC));
    void* block = cache.blocks[--cache.count];
    UTL_UNPOISON(block, sizeof(DataC));
    return block;
}

void GiveBackBlockMemory(void* block) {
    BlockCache& cache = LibraryCache();
    if (t_blockCacheClosed || cache.count == kCachedBlocks) {
        ::operator delete(block);
        return;
    }
    if (cache.room == 0) {
        cache.room = kCachedBlocks;
        t_blockCacheCloser.armed = true;  // the first use constructs it for this thread
    }
    UTL_POISON(block, sizeof(DataC));
    cache.blocks[cache.count++] = block;
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

bool DataC::AddSharedRef() {
    unsigned short count = __atomic_load_n(&m_refs, __ATOMIC_RELAXED);
    do {
        if (count == kMaxRefs) return false;
    } while (!__atomic_compare_exchange_n(&m_refs, &count, static_cast<unsigned short>(count + 1),
                                          true, __ATOMIC_RELAXED, __ATOMIC_RELAXED));
    return true;
}

unsigned int DataC::ReleaseShared() {
    const unsigned int left = __atomic_sub_fetch(&m_refs, 1, __ATOMIC_ACQ_REL);
    if (left == 0) delete this;
    return left;
}

__thread BlockCache DataC::t_blockCache;

void DataC::CopyLongText(const char16_t* text) {
    const unsigned int length =
        kInlineUnits + CountUnits(text + kInlineUnits, kMaxLength - kInlineUnits);
    m_heap = new char16_t[length + 1];
    m_capacity = static_cast<unsigned short>(length + 1);
    std::memcpy(m_heap, text, length * sizeof(char16_t));
    m_heap[length] = 0;
    m_inline[0] = 0;
}

void* DataC::TakeBlockSlow(std::size_t size) {
    return size == sizeof(DataC) ? TakeBlockMemory() : ::operator new(size);
}

void DataC::GiveBackBlockSlow(void* block) {
    GiveBackBlockMemory(block);
}

// ============================================================================
// StringC: blocks
// ============================================================================

DataC* StringC::GetEmptyDataBlock() const {
    static DataC* const shared = [] {
        DataC* block = new DataC(static_cast<const char16_t*>(nullptr));
        block->m_sharedEmpty = true;
        g_sharedEmptyBlock.store(block, std::memory_order_release);
        std::atexit(DestroySharedEmptyBlock);
        return block;
    }();
    return g_sharedEmptyDestroyed.load(std::memory_order_acquire) ? nullptr : shared;
}

DataC* StringC::AcquireEmptyBlock() const {
    DataC* shared = GetEmptyDataBlock();
    if (shared != nullptr && shared->AddRef()) return shared;
    return new DataC(static_cast<const char16_t*>(nullptr));
}

DataC* StringC::CopyBlock(DataC* block) {
    return new DataC(block->GetBuffer());
}

void StringC::MakeCopy() {
    if (m_pcs->GetRefCount() <= 1) return;
    DataC* copy = new DataC(m_pcs->GetBuffer());
    m_pcs->Release();
    m_pcs = copy;
}

void StringC::NewStr(const char16_t* text) {
    if (m_pcs != nullptr && text != nullptr && m_pcs->GetRefCount() == 1) {
        const unsigned int length = lwcslen(text);
        if (length <= m_pcs->GetMaxLength()) {
            // memmove: `text` may lie inside this very buffer.
            std::memmove(m_pcs->GetBuffer(), text, (length + 1) * sizeof(char16_t));
            return;
        }
    }
    DataC* block = (text != nullptr && text[0] != 0) ? new DataC(text) : AcquireEmptyBlock();
    DeleteStr();
    m_pcs = block;
}

void StringC::NewStr(unsigned long size) {
    if (m_pcs != nullptr && m_pcs->GetRefCount() == 1 && m_pcs->GetMaxLength() >= size) {
        m_pcs->GetBuffer()[0] = 0;
        return;
    }
    DataC* block = new DataC(size);
    DeleteStr();
    m_pcs = block;
}

// ============================================================================
// StringC: construction and assignment
// ============================================================================

StringC::StringC() : m_pcs(AcquireEmptyBlock()) {}

StringC::StringC(const char* text) : m_pcs(nullptr) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length == 0) {
        m_pcs = AcquireEmptyBlock();
        return;
    }
    const unsigned int size = CutLength(length) + 1;
    m_pcs = new DataC(static_cast<unsigned long>(size));
    UTL::AsciiToUnicode(m_pcs->GetBuffer(), size, text);
}

StringC::StringC(unsigned int key1, unsigned int key2) : m_pcs(nullptr) {
    LoadTxt(key1, key2);
}

StringC::StringC(DataC* block) : m_pcs(block) {}

StringC& StringC::operator=(const char16_t* text) {
    NewStr(text);
    return *this;
}

// ============================================================================
// StringC: access
// ============================================================================

int StringC::GetLength() const {
    return static_cast<int>(lwcslen(m_pcs->GetBuffer()));
}

char16_t StringC::GetAt(int index) const {
    return IsTextIndex(*m_pcs, index, true) ? m_pcs->GetBuffer()[index] : u'\0';
}

char16_t StringC::operator[](int index) const {
    return GetAt(index);
}

void StringC::SetAt(int index, char16_t c) {
    if (!IsTextIndex(*m_pcs, index, false)) return;
    MakeCopy();
    m_pcs->GetBuffer()[index] = c;
}

int StringC::Find(char16_t c, int start) const {
    if (start < 0) start = 0;
    if (!IsTextIndex(*m_pcs, start, true)) return -1;
    const char16_t* text = m_pcs->GetBuffer();
    const char16_t* found = lwcschr(text + start, c);
    return found ? static_cast<int>(found - text) : -1;
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
    const char16_t* text = m_pcs->GetBuffer();
    return caseSensitive ? lwcscmp(text, OrEmpty(other)) : lwcsicmp(text, OrEmpty(other));
}

bool StringC::operator==(const char16_t* other) const {
    return lwcscmp(m_pcs->GetBuffer(), OrEmpty(other)) == 0;
}
bool StringC::operator==(const StringC& other) const {
    return *this == other.m_pcs->GetBuffer();
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

StringC& StringC::operator+=(const char16_t* text) {
    const char16_t* own = m_pcs->GetBuffer();
    const char16_t* added = OrEmpty(text);
    const unsigned int ownLength = lwcslen(own);
    const unsigned int joinedLength =
        CutLength(static_cast<unsigned long>(ownLength) + lwcslen(added));
    // The old block stays alive until the copy is done: `text` may be our own.
    DataC* block = new DataC(static_cast<unsigned long>(joinedLength) + 1);
    char16_t* dst = block->GetBuffer();
    CopyUnits(dst, own, ownLength);
    CopyUnits(dst + ownLength, added, joinedLength - ownLength);
    dst[joinedLength] = 0;
    DeleteStr();
    m_pcs = block;
    return *this;
}

StringC& StringC::operator+=(const StringC& other) {
    return *this += other.m_pcs->GetBuffer();
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
    if (!IsTextIndex(*m_pcs, start, true)) return StringC();
    // Measures only as far as the part reaches.
    const char16_t* from = m_pcs->GetBuffer() + start;
    const unsigned int taken =
        DataC::CountUnits(from, count < 0 ? 0u : static_cast<unsigned int>(count));
    DataC* block = new DataC(static_cast<unsigned long>(taken) + 1);
    CopyUnits(block->GetBuffer(), from, taken);
    block->GetBuffer()[taken] = 0;
    return StringC(block);
}

// ============================================================================
// StringC: changes in place
// ============================================================================

void StringC::ToUpper() {
    const int length = GetLength();
    if (length == 0) return;
    MakeCopy();
    char16_t* text = m_pcs->GetBuffer();
    for (int i = 0; i < length; ++i) text[i] = ltowupper(text[i]);
}

void StringC::ToLower() {
    const int length = GetLength();
    if (length == 0) return;
    MakeCopy();
    char16_t* text = m_pcs->GetBuffer();
    for (int i = 0; i < length; ++i) text[i] = ltowlower(text[i]);
}

void StringC::LTrim() {
    MakeCopy();
    char16_t* text = m_pcs->GetBuffer();
    unsigned int blanks = 0;
    while (IsBlank(text[blanks])) ++blanks;
    if (blanks == 0) return;
    const unsigned int rest = lwcslen(text + blanks);
    std::memmove(text, text + blanks, (rest + 1) * sizeof(char16_t));
}

void StringC::RTrim() {
    MakeCopy();
    char16_t* text = m_pcs->GetBuffer();
    unsigned int end = lwcslen(text);
    while (end > 0 && IsBlank(text[end - 1])) --end;
    text[end] = 0;
}

int StringC::Remove(char16_t c) {
    MakeCopy();
    if (c == 0) return 0;
    char16_t* kept = m_pcs->GetBuffer();
    const char16_t* read = kept;
    for (; *read != 0; ++read) {
        if (*read != c) *kept++ = *read;
    }
    *kept = 0;
    return static_cast<int>(read - kept);
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
    int result = 0;
    bool filledArea = false;
    {
        BSS::TSK::GuardC guard(UTL::detail::g_formatMutex, -1);
        g_formatArea[0] = 0;  // no text produced gives the empty string
        va_list args;
        va_start(args, format);
        result = UTL::detail::lvsnwprintf(g_formatArea, kFormatAreaUnits, format, args);
        va_end(args);
        filledArea = lwcslen(g_formatArea) >= kFormatAreaUnits - 1;
        NewStr(g_formatArea);
    }
    // Reported after the mutex is released, so that the format mutex never
    // nests around the log manager's lock.
    if (filledArea) {
        UTL::LogManagementC::Log(__FILE__, __LINE__, UTL::LogSinkI::LOG_DevMessage, "%s\n",
                                 "lwcslen( szResult ) < 4096");
    }
    return result;
}

int StringC::Scan(const char16_t* format, ...) const {
    if (format == nullptr) return 0;
    const char16_t* text = m_pcs->GetBuffer();
    while (*text == u' ') ++text;
    va_list args;
    va_start(args, format);
    const int result = lvswscanf(text, format, args);
    va_end(args);
    return result;
}

bool StringC::LoadTxt(unsigned long key1, unsigned int key2) {
    const char16_t* text = UTL::TokenAccessorBridgeC::getToken(key1, key2);
    NewStr(text);
    return text != nullptr;
}
