// StringC: the library's reference-counted, copy-on-write wide string.
//
// A StringC holds one pointer to a StringC::DataC block that carries the text
// and a reference count. Copies share the block; an operation that changes the
// text first gives the string a private block. Texts of up to 11 code units
// live inside the block, longer ones in a heap buffer of exactly their size.
// Strings without text share one static empty block.
//
// Limits and their handling (the 16-bit fields of the block):
// - A text holds at most 65534 code units. Longer texts, from any source
//   (construction, assignment, appending, formatting), are cut to their first
//   65534 units; nothing else is affected.
// - A block carries at most 65535 references. A copy that would need a
//   65536th reference gets a private block holding the same text instead; for
//   the shared empty block that is a fresh empty block.
//
// Indexes and pointers outside the stated ranges have fixed, safe results,
// given with each member below. A null `const char16_t*` operand counts as the
// empty text everywhere.
//
// Threads: a string and the strings sharing its block must be used by one
// thread at a time (reference counts are plain counters; only the shared empty
// block, which strings share without being copies of each other, is counted
// atomically). Format serialises all callers on one process-wide mutex.
//
// Allocation failures surface as std::bad_alloc; every operation builds its
// new block before it releases the old one, so a failed operation leaves the
// string as it was.
#pragma once

#include <cstddef>
#include <cstring>

#include <UTL/Export.h>

class UTL_API StringC {
public:
    class DataC;

    // ---- Construction and assignment ----------------------------------------

    // The empty string (shares the static empty block).
    StringC();
    // Shares `other`'s block.
    StringC(const StringC& other);
    // A copy of `text`; null or empty gives the empty string. Inline (see the
    // block cache below), so a short string costs no call into the library.
    StringC(const char16_t* text);
    // `text` widened byte by byte (byte value = code unit value); null or empty
    // gives the empty string.
    StringC(const char* text);
    // The display text for the two keys (see LoadTxt); empty when there is none.
    StringC(unsigned int key1, unsigned int key2);
    ~StringC();

    // Shares `other`'s block; assigning a string to itself does nothing.
    StringC& operator=(const StringC& other);
    // Copies `text` (reusing the string's own block when it is unshared and
    // large enough); null or empty makes the string empty.
    StringC& operator=(const char16_t* text);

    // ---- Access ---------------------------------------------------------------

    // Code units before the terminator (counted on each call).
    int GetLength() const;
    bool IsEmpty() const;
    // The code unit at `index`; at index == length the terminator 0. Any other
    // index (negative or beyond the length) also gives 0.
    char16_t GetAt(int index) const;
    char16_t operator[](int index) const;
    // The text; never null.
    operator const char16_t*() const;
    // Writes `c` at `index` (0 to length - 1) in a private block. Writing 0
    // cuts the text there. Any other index changes nothing.
    void SetAt(int index, char16_t c);
    // Index from the start of the string of the first `c` at or after `start`,
    // or -1. Searching for 0 gives the length. A negative start counts as 0; a
    // start beyond the length gives -1.
    int Find(char16_t c, int start = 0) const;
    // Makes the string empty. An empty string keeps its block.
    void Empty();

    // ---- Comparison (null operands count as the empty text) -------------------

    // -1, 0 or +1 by code unit values; with `caseSensitive` false both sides
    // are folded with ltowlower first.
    int Compare(const char16_t* other, bool caseSensitive = true) const;
    bool operator==(const StringC& other) const;
    bool operator==(const char16_t* other) const;
    bool operator!=(const StringC& other) const;
    bool operator!=(const char16_t* other) const;
    bool operator<(const StringC& other) const;
    bool operator<(const char16_t* other) const;
    bool operator>(const StringC& other) const;
    bool operator>(const char16_t* other) const;
    bool operator<=(const StringC& other) const;
    bool operator<=(const char16_t* other) const;
    bool operator>=(const StringC& other) const;
    bool operator>=(const char16_t* other) const;

    // ---- New text -------------------------------------------------------------

    // Appends `text` (which may be the string's own text) into a new block of
    // exactly the joined size; a null `text` appends nothing. The joined text
    // is cut at 65534 units.
    StringC& operator+=(const char16_t* text);
    StringC& operator+=(const StringC& other);
    StringC operator+(const StringC& other) const;
    StringC operator+(const char16_t* text) const;
    // The text from `start` to the end. A negative start counts as 0; a start
    // beyond the length gives the empty string.
    StringC Mid(int start) const;
    // At most `count` units from `start` (a negative count gives the empty
    // text, a larger one the rest). Start as for Mid(int).
    StringC Mid(int start, int count) const;

    // ---- Changes in place (each works on a private block) ---------------------

    // Case mapping of ltowupper / ltowlower; an empty string is left alone.
    void ToUpper();
    void ToLower();
    // Remove leading / trailing spaces (U+0020) and tabs (U+0009).
    void LTrim();
    void RTrim();
    // Deletes every `c`; returns how many were deleted (0 for c == 0).
    int Remove(char16_t c);

    // ---- Formatting, scanning, display texts ----------------------------------

    // Sets the string to `format` formatted with the arguments by the library's
    // printf engine (see lvswprintf in WideText.h); returns its result, 0.
    // A format longer than 3500 units is not processed: the string becomes the
    // format text itself and 0 is returned. Results are cut at 4095 units (the
    // shared result area holds 4096); a result that fills the area is reported
    // to the log manager as a LOG_DevMessage. A null or empty format, or a
    // failure of the engine, makes the string empty. Strings on different
    // threads may format at the same time: the shared area is guarded by the
    // library's format mutex.
    int Format(const char16_t* format, ...);
    // Reads values from the text, after its leading spaces (U+0020 only), with
    // the library's scanf engine (see lvswscanf); returns its result. A null
    // format reads nothing and returns 0.
    int Scan(const char16_t* format, ...) const;
    // Sets the string to the display text for the keys from
    // UTL::TokenAccessorBridgeC. Returns true when there is a text; otherwise
    // the string becomes empty and the result is false.
    bool LoadTxt(unsigned long key1, unsigned int key2);

    // The shared text block. Its reference count and capacity are 16 bits
    // wide, which fixes the limits above.
    class UTL_API DataC {
    public:
        static constexpr unsigned int kInlineUnits = 12;  // inline area, terminator included
        static constexpr unsigned int kMaxRefs = 0xFFFF;  // references one block can carry
        static constexpr unsigned int kMaxCapacity =
            0xFFFF;  // heap buffer units, terminator included
        static constexpr unsigned int kMaxLength = kMaxCapacity - 1;

        // Count 1. Null leaves the block empty; a text of n < 12 units goes
        // inline, a longer one into a heap buffer of n + 1 units (texts longer
        // than kMaxLength are cut).
        explicit DataC(const char16_t* text);
        // Count 1, empty text, room for `size` units terminator included
        // (inline below 12, at most kMaxCapacity).
        explicit DataC(unsigned long size);
        ~DataC() { delete[] m_heap; }
        DataC(const DataC&) = delete;
        DataC& operator=(const DataC&) = delete;

        char16_t* GetBuffer() { return m_heap ? m_heap : m_inline; }
        const char16_t* GetBuffer() const { return m_heap ? m_heap : m_inline; }
        unsigned int GetRefCount() const {
            return m_sharedEmpty ? __atomic_load_n(&m_refs, __ATOMIC_RELAXED) : m_refs;
        }
        // Adds a reference; false (and nothing changed) when the block already
        // carries kMaxRefs.
        bool AddRef() {
            if (m_sharedEmpty) return AddSharedRef();
            if (m_refs == kMaxRefs) return false;
            ++m_refs;
            return true;
        }
        // Drops a reference and deletes the block with the last one; returns
        // the count left.
        unsigned int Release() {
            if (m_sharedEmpty) return ReleaseShared();
            const unsigned int left = --m_refs;
            if (left == 0) delete this;
            return left;
        }
        // Most code units the block holds besides the terminator.
        unsigned int GetMaxLength() const {
            return m_capacity ? m_capacity - 1u : kInlineUnits - 1u;
        }

        // Blocks are recycled through a small per-thread cache. Taking a block
        // from it and giving one back are inline; the library is called only
        // when the cache is empty or full (or not yet set up for the thread).
        static void* operator new(std::size_t size);
        static void operator delete(void* block);

        // The calling thread's block cache; used only by the two operators
        // above and by the library. Initial-exec TLS: one thread-pointer
        // relative access, no call, from the library and from its users.
        // `room` is 0 until the library arms the thread's cleanup and again
        // after the thread's cleanup ran (and always when the library is
        // built with AddressSanitizer, which keeps its poisoned blocks apart),
        // so the inline paths then fall through to the library.
        static constexpr int kCachedBlocks = 16;
        struct BlockCache {
            void* blocks[kCachedBlocks];
            int count;  // blocks[0 .. count - 1] are free blocks
            int room;   // how many the inline path may hold
        };
        __attribute__((tls_model("initial-exec"))) static __thread BlockCache t_blockCache;

    private:
        friend class StringC;
        bool AddSharedRef();
        unsigned int ReleaseShared();
        // The library's side of the cache: a block when the cache is empty,
        // and taking back a block the cache has no room for.
        static void* TakeBlockSlow(std::size_t size);
        static void GiveBackBlockSlow(void* block);
        // Puts `text`, longer than the inline area, into a heap buffer of
        // its size (cut at kMaxLength) and empties the inline area. Out of
        // line: the library's copy is the faster one for long texts, and
        // the inline constructor stays small.
        void CopyLongText(const char16_t* text);
        // Code units before the terminator, counting at most `limit`.
        static unsigned int CountUnits(const char16_t* text, unsigned int limit) {
            unsigned int n = 0;
            while (n < limit && text[n] != 0) ++n;
            return n;
        }

        char16_t m_inline[kInlineUnits];
        char16_t* m_heap;           // null while the inline area is in use
        unsigned short m_refs;      // references held by strings (and the empty block's own)
        unsigned short m_capacity;  // heap buffer units; 0 while inline
        bool m_sharedEmpty;         // the static empty block, shared across threads
    };

protected:
    // Adopts `block` without adding a reference.
    explicit StringC(DataC* block);

    DataC* Getpcs() { return m_pcs; }
    // Gives the string a private block (exactly sized copy) if it is shared.
    void MakeCopy();
    // Sets the text: copied into the string's own block when it is unshared
    // and large enough, else into a new block; null or empty text without
    // such a block gives the shared empty block.
    void NewStr(const char16_t* text);
    // An unshared, empty block with room for `size` units.
    void NewStr(unsigned long size);
    // Releases the block; the pointer becomes null.
    void DeleteStr();

private:
    // The shared empty block, created on the first call; null once the
    // process-exit step has destroyed it.
    DataC* GetEmptyDataBlock() const;
    // The shared empty block with a reference for the caller, or a fresh
    // empty block when it cannot take one more.
    DataC* AcquireEmptyBlock() const;
    // `block` with a reference added, or a private copy of its text.
    static DataC* ShareBlock(DataC* block);
    // A new block holding `block`'s text.
    static DataC* CopyBlock(DataC* block);

    DataC* m_pcs;
};

// ---- Inline members --------------------------------------------------------
// Construction of a block, copying, assignment between strings and
// destruction are defined here so that they cost no call into the library.

inline StringC::DataC::DataC(const char16_t* text)
    : m_heap(nullptr), m_refs(1), m_capacity(0), m_sharedEmpty(false) {
    m_inline[0] = 0;
    if (text == nullptr) return;
    // Short texts are copied while they are measured: one pass, no call.
    for (unsigned int i = 0; i < kInlineUnits; ++i) {
        m_inline[i] = text[i];
        if (text[i] == 0) return;
    }
    CopyLongText(text);
}

inline StringC::DataC::DataC(unsigned long size)
    : m_heap(nullptr), m_refs(1), m_capacity(0), m_sharedEmpty(false) {
    m_inline[0] = 0;
    if (size < kInlineUnits) return;
    if (size > kMaxCapacity) size = kMaxCapacity;
    m_heap = new char16_t[size];
    m_heap[0] = 0;
    m_capacity = static_cast<unsigned short>(size);
}

inline void* StringC::DataC::operator new(std::size_t size) {
    BlockCache& cache = t_blockCache;
    if (size != sizeof(DataC) || cache.count == 0) return TakeBlockSlow(size);
    return cache.blocks[--cache.count];
}

inline void StringC::DataC::operator delete(void* block) {
    if (block == nullptr) return;
    BlockCache& cache = t_blockCache;
    if (cache.count >= cache.room) return GiveBackBlockSlow(block);
    cache.blocks[cache.count++] = block;
}

inline StringC::StringC(const char16_t* text)
    : m_pcs(text != nullptr && text[0] != 0 ? new DataC(text) : AcquireEmptyBlock()) {}

inline StringC::StringC(const StringC& other) : m_pcs(ShareBlock(other.m_pcs)) {}

inline StringC::~StringC() {
    DeleteStr();
}

inline StringC& StringC::operator=(const StringC& other) {
    if (m_pcs == other.m_pcs) return *this;  // itself, or already sharing
    DataC* block = ShareBlock(other.m_pcs);
    DeleteStr();
    m_pcs = block;
    return *this;
}

inline bool StringC::IsEmpty() const {
    return m_pcs->GetBuffer()[0] == 0;
}

inline StringC::operator const char16_t*() const {
    return m_pcs->GetBuffer();
}

inline void StringC::DeleteStr() {
    if (m_pcs == nullptr) return;
    m_pcs->Release();
    m_pcs = nullptr;
}

inline StringC::DataC* StringC::ShareBlock(DataC* block) {
    return block->AddRef() ? block : CopyBlock(block);
}
