/// @file
/// StringC, the library's wide string.
#pragma once

#include <cstdint>
#include <string_view>

#include <UTL/CheckedFormat.h>
#include <UTL/Export.h>
#include <UTL/FormatArgument.h>

/// StringC: the library's reference-counted, copy-on-write wide string.
///
/// A StringC holds one pointer to a StringC::DataC block that carries the text
/// and a reference count. Copies share the block; an operation that changes the
/// text first gives the string a private block. Texts of up to 11 code units
/// live inside the block, longer ones in a heap buffer of exactly their size
/// (appending to an unshared string leaves room for more). Strings without
/// text share one static empty block.
///
/// Limits and their handling (the 16-bit fields of the block):
/// - A text holds at most 65534 code units. Longer texts, from any source
///   (construction, assignment, appending, formatting), are cut to their first
///   65534 units; nothing else is affected.
/// - A block carries at most 65535 references. A copy that would need a
///   65536th reference gets a private block holding the same text instead; for
///   the shared empty block that is a fresh empty block.
///
/// Indexes and pointers outside the stated ranges have fixed, safe results,
/// given with each member below. A null `const char16_t*` operand counts as the
/// empty text everywhere.
///
/// Threads: a string and the strings sharing its block must be used by one
/// thread at a time (reference counts are plain counters; only the shared empty
/// block, which strings share without being copies of each other, is counted
/// atomically). Strings on different threads may format at the same time.
///
/// Allocation failures surface as std::bad_alloc; every operation builds its
/// new block before it releases the old one, so a failed operation leaves the
/// string as it was.
///
/// A moved-from string is the empty string. Moves never allocate and never
/// throw: the moved-from string holds a static empty block that is never
/// counted (see docs/platform.md).
class UTL_API StringC {
public:
    class DataC;

    // ---- Construction and assignment ----------------------------------------

    /// The empty string (shares the static empty block).
    UTL_DIRECT_CALL StringC();
    /// Shares `other`'s block.
    StringC(const StringC& other);
    /// Takes over `other`'s block; `other` becomes the empty string.
    StringC(StringC&& other) noexcept;
    /// A copy of `text`; null or empty gives the empty string.
    UTL_DIRECT_CALL StringC(const char16_t* text);
    /// A copy of the units of `text` up to its first zero unit, if it has one;
    /// an empty result gives the empty string.
    explicit StringC(std::u16string_view text);
    /// `text` widened byte by byte (byte value = code unit value); null or empty
    /// gives the empty string.
    StringC(const char* text);
    /// The display text for the two keys (see LoadTxt); empty when there is none.
    StringC(unsigned int key1, unsigned int key2);
    ~StringC();

    /// Shares `other`'s block; assigning a string to itself does nothing.
    StringC& operator=(const StringC& other);
    /// Takes over `other`'s block and releases the own one; `other` becomes the
    /// empty string. Moving a string to itself does nothing.
    StringC& operator=(StringC&& other) noexcept;
    /// Copies `text` (reusing the string's own block when it is unshared and
    /// large enough); null or empty makes the string empty.
    UTL_DIRECT_CALL StringC& operator=(const char16_t* text);

    // ---- Access ---------------------------------------------------------------

    /// Code units before the terminator.
    int GetLength() const;
    bool IsEmpty() const;  ///< true for the empty text
    /// The code unit at `index`; at index == length the terminator 0. Any other
    /// index (negative or beyond the length) also gives 0.
    char16_t GetAt(int index) const;
    char16_t operator[](int index) const;  ///< GetAt(index)
    /// The text; never null. Read-only: changes go through the members below.
    operator const char16_t*() const;
    /// The text without its terminator, as a view. Valid until the string is
    /// changed or destroyed.
    std::u16string_view View() const;
    /// Writes `c` at `index` (0 to length - 1) in a private block. Writing 0
    /// cuts the text there. Any other index changes nothing.
    void SetAt(int index, char16_t c);
    /// Index from the start of the string of the first `c` at or after `start`,
    /// or -1. Searching for 0 gives the length. A negative start counts as 0; a
    /// start beyond the length gives -1.
    UTL_DIRECT_CALL int Find(char16_t c, int start = 0) const;
    /// Makes the string empty. An empty string keeps its block.
    void Empty();

    // ---- Comparison (null operands count as the empty text) -------------------

    /// -1, 0 or +1 by code unit values; with `caseSensitive` false both sides
    /// are folded with ltowlower first.
    int Compare(const char16_t* other, bool caseSensitive = true) const;
    ///@{
    /// Compare(other) == 0, != 0, < 0, ... (case-sensitive).
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
    ///@}

    // ---- New text -------------------------------------------------------------

    /// Appends `text` (which may be the string's own text); a null `text`
    /// appends nothing. The joined text is cut at 65534 units. An unshared
    /// block grows in place, by at least doubling its room when it is full, so
    /// a run of appends costs amortised constant time per unit. Short texts
    /// take an inline path; the library exports this member as well.
    UTL_API inline StringC& operator+=(const char16_t* text);
    StringC& operator+=(const StringC& other);  ///< appends `other`'s text
    ///@{
    /// A new string of this text followed by the other (cut at 65534 units).
    StringC operator+(const StringC& other) const;
    StringC operator+(const char16_t* text) const;
    ///@}
    /// The text from `start` to the end. A negative start counts as 0; a start
    /// beyond the length gives the empty string.
    StringC Mid(int start) const;
    /// At most `count` units from `start` (a negative count gives the empty
    /// text, a larger one the rest). Start as for Mid(int).
    StringC Mid(int start, int count) const;

    // ---- Changes in place (each works on a private block) ---------------------

    ///@{
    /// Case mapping of ltowupper / ltowlower; an empty string is left alone.
    void ToUpper();
    void ToLower();
    ///@}
    ///@{
    /// Remove leading / trailing spaces (U+0020) and tabs (U+0009).
    void LTrim();
    void RTrim();
    ///@}
    /// Deletes every `c`; returns how many were deleted (0 for c == 0).
    int Remove(char16_t c);

    // ---- Formatting, scanning, display texts ----------------------------------

    /// Sets the string to `format` formatted with the arguments by the library's
    /// printf engine (see lvswprintf in WideText.h); returns its result, 0.
    /// A format longer than 3500 units is not processed: the string becomes the
    /// format text itself and 0 is returned. Results are cut at 4095 units (the
    /// result area holds 4096); a result that fills the area is reported to the
    /// log manager as a LOG_DevMessage. A null or empty format, or a failure of
    /// the engine, makes the string empty. Strings on different threads may
    /// format at the same time: each thread has its own result area.
#if UTL_CHECKS_LITERAL_FORMATS
    /// The type-checked front end of Format for a format given at run time (a
    /// pointer or a StringC), unchecked: a StringC argument is passed as its
    /// text, and a class-type argument of any other type fails to compile.
    template <typename Text, typename... Args>
    auto Format(Text&& format, const Args&... args)
        -> std::enable_if_t<UTL::detail::kIsRuntimeFormat<Text>, int> {
        return FormatEngine(format, UTL::detail::FormatArgument(args)...);
    }
#else
    int Format(const char16_t* format, ...);
    /// The type-checked front end of Format, chosen whenever arguments follow
    /// the format: a StringC argument is passed as its text, and a class-type
    /// argument of any other type fails to compile.
    template <typename... Args>
    int Format(const char16_t* format, const Args&... args) {
        auto engine = static_cast<int (StringC::*)(const char16_t*, ...)>(&StringC::Format);
        return (this->*engine)(format, UTL::detail::FormatArgument(args)...);
    }
#endif
    /// The checked front end of Format: a literal format in C++20, or one
    /// wrapped in UTL_FORMAT, checked against the arguments at compile time
    /// (see CheckedFormat.h).
    template <typename... Args>
    int Format(UTL::OutputFormat<Args...> format, const Args&... args) {
        return Format(format.Text(), args...);
    }
#if UTL_CHECKS_LITERAL_FORMATS
    /// Scan with a format given at run time (a pointer or a StringC), unchecked.
    template <typename Text, typename... Targets>
    auto Scan(Text&& format, Targets... targets) const
        -> std::enable_if_t<UTL::detail::kIsRuntimeFormat<Text>, int> {
        return ScanEngine(format, targets...);
    }
#else
    /// Reads values from the text, after its leading spaces (U+0020 only), with
    /// the library's scanf engine (see lvswscanf); returns its result. A null
    /// format reads nothing and returns 0.
    int Scan(const char16_t* format, ...) const;
#endif
    /// The checked front end of Scan: a literal format in C++20, or one
    /// wrapped in UTL_FORMAT, checked against the targets at compile time.
    template <typename... Targets>
    int Scan(UTL::ScanFormat<Targets...> format, Targets... targets) const {
        return Scan(format.Text(), targets...);
    }
    /// Sets the string to the display text for the keys from
    /// UTL::TokenAccessorBridgeC. Returns true when there is a text; otherwise
    /// the string becomes empty and the result is false.
    bool LoadTxt(unsigned long key1, unsigned int key2);

    /// The shared text block. Its reference count and capacity are 16 bits
    /// wide, which fixes the limits above.
    class UTL_API DataC {
    public:
        static constexpr unsigned int kInlineUnits = 12;  ///< inline area, terminator included
        static constexpr unsigned int kMaxRefs = 0xFFFF;  ///< references one block can carry
        static constexpr unsigned int kMaxCapacity =
            0xFFFF;  ///< heap buffer units, terminator included
        static constexpr unsigned int kMaxLength = kMaxCapacity - 1;  ///< longest text

        /// Count 1. Null leaves the block empty; a text of n < 12 units goes
        /// inline, a longer one into a heap buffer of n + 1 units (texts longer
        /// than kMaxLength are cut).
        explicit DataC(const char16_t* text);
        /// Count 1, empty text, room for `size` units terminator included
        /// (inline below 12, at most kMaxCapacity).
        explicit DataC(unsigned long size);
        ~DataC() { delete[] m_heap; }
        DataC(const DataC&) = delete;
        DataC& operator=(const DataC&) = delete;

        /// The text, for writing. The block keeps the length of its text beside
        /// it; after this call it counts the length again instead, until a
        /// StringC member next changes the text.
        char16_t* GetBuffer() {
            ForgetLength();
            return Units();
        }
        const char16_t* GetBuffer() const { return Units(); }  ///< the text, for reading
        /// The references the block carries.
        unsigned int GetRefCount() const { return LoadCount() & kMaxRefs; }
        /// Adds a reference; false (and nothing changed) when the block already
        /// carries kMaxRefs.
        bool AddRef() {
            const std::uint32_t count = LoadCount();
            // Full, or not plainly counted:
            if ((count & (kMaxRefs | kNotPlainlyCounted)) >= kMaxRefs) return AddRefSlow(count);
            m_count = count + 1;
            return true;
        }
        /// Drops a reference and deletes the block with the last one; returns
        /// the count left.
        unsigned int Release() noexcept {
            const std::uint32_t count = LoadCount();
            if (count & kNotPlainlyCounted) return ReleaseSlow();
            m_count = count - 1;
            const unsigned int left = (count & kMaxRefs) - 1;
            if (left == 0) Destroy();
            return left;
        }
        /// Most code units the block holds besides the terminator.
        unsigned int GetMaxLength() const {
            return m_capacity ? m_capacity - 1u : kInlineUnits - 1u;
        }

    private:
        friend class StringC;

        /// m_count holds the references in its low 16 bits and flags above
        /// them. Two kinds of block are not counted plainly and take the
        /// out-of-line paths: the shared empty block, which strings on any
        /// thread share, is counted atomically; the block of moved-from strings
        /// is never counted. A block the library makes for a heap text holds
        /// the text in its own memory, right after the block (kTextInBlock).
        static constexpr std::uint32_t kAtomicCount = 1u << 16;
        static constexpr std::uint32_t kUncounted = 1u << 17;
        static constexpr std::uint32_t kNotPlainlyCounted = kAtomicCount | kUncounted;
        static constexpr std::uint32_t kTextInBlock = 1u << 18;
        static constexpr unsigned short kUnknownLength = 0xFFFF;
        struct UncountedTag {};

        /// The block of moved-from strings: empty, never counted, never freed.
        constexpr explicit DataC(UncountedTag)
            : m_inline{},
              m_heap(nullptr),
              m_count(kUncounted | kMaxRefs),
              m_capacity(0),
              m_length(0) {}

        /// Used only inside the library, where they are defined (inline, so
        /// that the library's own calls cost no indirection):
        /// count 1, the text in `heap` (a buffer of `capacity` units) or, for
        /// null, inline; a text of `length` units that the caller writes;
        inline DataC(char16_t* heap, unsigned int capacity, unsigned int length,
                     std::uint32_t flags);
        /// a new block with room for `capacity` units, terminator included,
        /// for a text of `length` (< capacity) units that the caller writes.
        /// Inline texts take a block from the library's per-thread block
        /// cache; longer ones get one piece of memory for block and text;
        static inline DataC* Make(unsigned int capacity, unsigned int length);
        /// Make, holding the first `length` units of `text`.
        static inline DataC* New(unsigned int capacity, const char16_t* text, unsigned int length);

        /// A relaxed atomic load: a plain load, which is also race-free for the
        /// shared empty block.
        std::uint32_t LoadCount() const { return __atomic_load_n(&m_count, __ATOMIC_RELAXED); }
        /// True when exactly one string refers to the block, which may then be
        /// changed in place.
        bool IsUnshared() const { return (LoadCount() & (kMaxRefs | kNotPlainlyCounted)) == 1; }
        UTL_DIRECT_CALL bool AddRefSlow(std::uint32_t count);
        UTL_DIRECT_CALL unsigned int ReleaseSlow() noexcept;
        UTL_DIRECT_CALL void Destroy() noexcept;

        char16_t* Units() { return m_heap ? m_heap : m_inline; }
        const char16_t* Units() const { return m_heap ? m_heap : m_inline; }
        /// The length of the text: kept, or counted after outside writes.
        unsigned int Length() const {
            return m_length != kUnknownLength ? m_length : CountLength();
        }
        unsigned short CountLength() const;  ///< at most GetMaxLength()
        void SetLength(unsigned int length) { m_length = static_cast<unsigned short>(length); }
        void ForgetLength() {
            if ((LoadCount() & kNotPlainlyCounted) == 0) m_length = kUnknownLength;
        }

        char16_t m_inline[kInlineUnits];
        char16_t* m_heap;           ///< null while the inline area is in use
        std::uint32_t m_count;      ///< references, and the kind flags above
        unsigned short m_capacity;  ///< heap buffer units; 0 while inline
        unsigned short m_length;    ///< units before the terminator, or kUnknownLength
    };

protected:
    /// Adopts `block` without adding a reference.
    explicit StringC(DataC* block) : m_pcs(block) {}

    DataC* Getpcs() {
        return m_pcs;
    }  ///< the string's block
    /// Gives the string a private block (exactly sized copy) if it is shared.
    void MakeCopy();
    /// Sets the text: copied into the string's own block when it is unshared
    /// and large enough, else into a new block; null or empty text without
    /// such a block gives the shared empty block.
    void NewStr(const char16_t* text);
    /// An unshared, empty block with room for `size` units.
    void NewStr(unsigned long size);
    /// Releases the block; the pointer becomes null.
    void DeleteStr();

private:
#if UTL_CHECKS_LITERAL_FORMATS
    // The C-variadic Format and Scan under other names, out of the overload
    // set of the front ends (see lswprintf's engines in WideText.h).
    int FormatEngine(const char16_t* format, ...) __asm__("_ZN7StringC6FormatEPKDsz");
    int ScanEngine(const char16_t* format, ...) const __asm__("_ZNK7StringC4ScanEPKDsz");
#endif
    /// The shared empty block, created on the first call; null once the
    /// process-exit step has destroyed it.
    DataC* GetEmptyDataBlock() const;
    /// The shared empty block with a reference for the caller, or a fresh
    /// empty block when it cannot take one more.
    DataC* AcquireEmptyBlock() const;
    /// `block` with a reference added, or a private copy of its text.
    static DataC* ShareBlock(DataC* block);
    /// A new block holding `block`'s text.
    UTL_DIRECT_CALL static DataC* CopyBlock(DataC* block);
    /// Used only inside the library, where they are defined:
    /// a block holding the first `length` units of `text`, the shared empty
    /// block for none (out of line: the short path of the next saves no
    /// registers);
    inline __attribute__((noinline)) DataC* BlockFor(const char16_t* text,
                                                     unsigned int length) const;
    /// a block holding `text` (cut to the length limit), the shared empty
    /// block for a null or empty one;
    inline DataC* BlockFor(const char16_t* text) const;
    /// appends the first `length` units of `text` (cut to the length limit);
    inline void Append(const char16_t* text, unsigned int length);
    /// operator+=(text) for every case that its inline path leaves.
    UTL_DIRECT_CALL StringC& AppendText(const char16_t* text);
    /// The block of moved-from strings, in storage that never runs its
    /// destructor: static strings may still hold it while statics are torn down.
    union MovedFromStorage {
        constexpr MovedFromStorage() : block(DataC::UncountedTag{}) {}
        ~MovedFromStorage() {}
        DataC block;
    };
    static MovedFromStorage s_movedFrom;

    DataC* m_pcs;
};

// ---- Inline members --------------------------------------------------------
// Copying, moving, assignment between strings and destruction change only
// reference counts; they are defined here so that they cost no call into the
// library.

inline StringC::StringC(const StringC& other) : m_pcs(ShareBlock(other.m_pcs)) {}

inline StringC::StringC(StringC&& other) noexcept : m_pcs(other.m_pcs) {
    other.m_pcs = &s_movedFrom.block;
}

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

inline StringC& StringC::operator=(StringC&& other) noexcept {
    if (this == &other) return *this;
    DataC* old = m_pcs;
    m_pcs = other.m_pcs;
    other.m_pcs = &s_movedFrom.block;
    if (old != nullptr) old->Release();
    return *this;
}

inline bool StringC::IsEmpty() const {
    return m_pcs->Units()[0] == 0;
}

inline StringC::operator const char16_t*() const {
    return m_pcs->Units();
}

inline void StringC::DeleteStr() {
    if (m_pcs == nullptr) return;
    m_pcs->Release();
    m_pcs = nullptr;
}

// Texts of up to 7 units that fit into an unshared block are appended here:
// for a literal the compiler counts them, and the append is a few stores. The
// copy runs forward, which is safe for a text in the string's own buffer: a
// tail of its text ends before the copy's first unit; a text after the
// terminator lies ahead of it. A length that is not kept (kUnknownLength)
// fails the room test.
inline StringC& StringC::operator+=(const char16_t* text) {
    constexpr unsigned int kShort = 8;
    DataC* block = m_pcs;
    if (text != nullptr && block->IsUnshared()) {
        unsigned int count = 0;
        while (count < kShort && text[count] != 0) ++count;
        const unsigned int own = block->m_length;
        if (count < kShort && own + count <= block->GetMaxLength()) {
            char16_t* end = block->Units() + own;
            for (unsigned int i = 0; i < count; ++i) end[i] = text[i];
            end[count] = 0;
            block->SetLength(own + count);
            return *this;
        }
    }
    return AppendText(text);
}

inline StringC::DataC* StringC::ShareBlock(DataC* block) {
    return block->AddRef() ? block : CopyBlock(block);
}
