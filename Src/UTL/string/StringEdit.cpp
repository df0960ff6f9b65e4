// StringC editing: access by index, appending, parts of the text, and the
// changes made in place (case, trimming, removal).
#include <UTL/StringC.h>

#include <climits>
#include <cstring>

#include <UTL/WideText.h>

#include "StringBlock.h"

using UTL::detail::TextLength;
using namespace UTL::stringc;

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

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
    // A shared block (the shared empty one, say) whose text and the piece fit
    // inline together: the new block is an inline one, as in Append, and is
    // written before anything is released.
    DataC* block = m_pcs;
    if (text != nullptr && !block->IsUnshared()) {
        const unsigned int own = block->Length();
        const unsigned int room = own < DataC::kInlineUnits ? DataC::kInlineUnits - own : 0;
        const unsigned int length = static_cast<unsigned int>(TextLength(text, room));
        if (length < room) {
            DataC* joinedBlock = DataC::Make(DataC::kInlineUnits, own + length);
            char16_t* units = joinedBlock->m_inline;
            MoveUnits(units, block->Units(), own);
            MoveUnits(units + own, text, length);
            units[own + length] = 0;
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
