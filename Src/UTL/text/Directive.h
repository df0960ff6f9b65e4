// The bounded narrow text builder of the formatting engines; the directive
// reader they share with the format checks is <UTL/detail/DirectiveReader.h>.
#pragma once

#include <cstddef>
#include <cstring>

#include <UTL/detail/DirectiveReader.h>

namespace UTL {
namespace detail {

// Narrow text built in a fixed area of `size` bytes (at least 1): at most
// size - 1 characters are kept, what does not fit is dropped.
class BoundedText {
public:
    BoundedText(char* area, std::size_t size)
        : m_begin(area), m_end(area), m_last(area + size - 1) {}

    void Put(char c) {
        if (m_end < m_last) *m_end++ = c;
    }
    void Append(const char* s, std::size_t n);
    void Append(const char* s);  // zero-terminated
    // Appends 16-bit units, each as its low byte, or as a space when
    // `narrowing` is set and the unit is above 0xFF. Inline, with the end
    // kept in a local: a char store could alias a member.
    void AppendUnits(const char16_t* s, std::size_t n, bool narrowing = false) {
        char* end = m_end;
        const std::size_t room = static_cast<std::size_t>(m_last - end);
        if (n > room) n = room;
        for (std::size_t i = 0; i < n; ++i)
            end[i] = narrowing && s[i] > 0xFF ? ' ' : static_cast<char>(s[i]);
        m_end = end + n;
    }
    void AppendDecimal(long long value);

    std::size_t Size() const { return static_cast<std::size_t>(m_end - m_begin); }
    char* Data() const { return m_begin; }
    // The character `back` places before the end (1 = the last), or 0.
    char Back(std::size_t back) const { return back >= 1 && back <= Size() ? *(m_end - back) : 0; }
    // Keeps the first `size` characters (never grows the text).
    void Shrink(std::size_t size) {
        if (size < Size()) m_end = m_begin + size;
    }
    // Writes the terminator and returns the text.
    const char* Terminate() {
        *m_end = 0;
        return m_begin;
    }

private:
    char* const m_begin;
    char* m_end;
    char* const m_last;
};

}  // namespace detail
}  // namespace UTL
