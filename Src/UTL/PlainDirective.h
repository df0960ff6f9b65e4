// Plain directives: the printf and scanf directive shapes that the library
// converts itself, with exactly the C library's results, instead of paying for
// snprintf's or sscanf's per-call set-up. The wide formatting engine, the wide
// scanning engine and the log manager share them; each hands every other
// shape to the C library.
//
// Also here: the one bounded narrow text builder and the one decimal reader
// that the engines and the log manager use for their fixed work areas.
#pragma once

#include <cstddef>

namespace UTL {
namespace detail {

// Reads the run of decimal digits at `s` and moves `s` past it. The value
// saturates at `cap`, which must be below 2^32 (digits after that are still
// consumed); no digits give 0.
inline unsigned long ReadDecimal(const char*& s, unsigned long cap) {
    unsigned long long value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        value = value * 10 + static_cast<unsigned>(*s - '0');
        if (value > cap) value = cap;
    }
    return static_cast<unsigned long>(value);
}

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
    // Appends 16-bit units of ASCII text, each as its low byte. Inline, with
    // the end kept in a local: a char store could alias a member.
    void AppendAscii(const char16_t* s, std::size_t n) {
        char* end = m_end;
        const std::size_t room = static_cast<std::size_t>(m_last - end);
        if (n > room) n = room;
        for (std::size_t i = 0; i < n; ++i) end[i] = static_cast<char>(s[i]);
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

// "%[flags][width][.precision][h|l]conv" with width and precision up to 99.
struct DirectiveLayout {
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    int width = 0;
    int precision = -1;  // none
    char size = 0;       // 'h', 'l' or 0
    char conv = 0;
};

// The integer conversions "d i o u x X" and the floating-point ones "e E f g G"
// (printf's and scanf's alike).
inline bool IsIntegerConversion(unsigned c) {
    return c == 'd' || c == 'i' || c == 'o' || c == 'u' || c == 'x' || c == 'X';
}
inline bool IsFloatingConversion(unsigned c) {
    return c == 'e' || c == 'E' || c == 'f' || c == 'g' || c == 'G';
}

// Parses the directive at `s` (which starts with "%"). Returns the position
// just after the conversion character, or null for another shape (a width or
// precision above 99 included).
const char* ParseDirective(const char* s, DirectiveLayout& layout);

// No flags, width or precision: printf shows just the value.
bool IsBare(const DirectiveLayout& layout);

// The C library's isspace, as its scanf skips blanks: the ASCII blanks are
// the same in every locale, other bytes are asked of the locale.
bool IsLocaleSpace(unsigned char byte);
inline bool IsSpace(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) return byte == ' ' || (byte >= '\t' && byte <= '\r');
    return IsLocaleSpace(byte);
}

// True while the C library reads and writes numbers by the rules the plain
// conversions implement: the decimal point is "." and rounding is to nearest.
bool PlainNumberRules();

// ---- Numbers to text (printf) ----

// Room that FormatInteger and FormatDouble may need.
constexpr std::size_t kFieldMax = 256;

// Printf's field for an integer conversion (d i o u x X) of the value given as
// sign and magnitude, into `out` (kFieldMax bytes, not terminated). Returns
// its length.
std::size_t FormatInteger(char* out, const DirectiveLayout& layout, bool negative,
                          unsigned long long magnitude);

// Printf's field for f, e, E, g or G into `out` (kFieldMax bytes, not
// terminated); returns its length, or 0 where the C library must format it:
// "#", a value that is not finite or not below 1e51, or other number rules.
std::size_t FormatDouble(char* out, const DirectiveLayout& layout, double value);

// ---- Text to numbers (scanf) ----

// True for the scanf directives read here: "%[width][h|l]conv" with conv one
// of d i o u x X, and "%[l]conv" with conv one of e E f g G.
bool IsPlainScan(const DirectiveLayout& layout);

// An integer field as scanf gathers it: blanks skipped, a sign, for "%x",
// "%X" and "%i" a "0x" prefix ("%i" reads hexadecimal after it, octal after
// another leading 0, else decimal), then the digits of the base; at most
// `layout.width` characters in all when the width is not 0.
struct ScannedInteger {
    bool found = false;  // false: no digit, nothing is stored
    bool negative = false;
    bool overflow = false;  // the magnitude exceeds unsigned long
    unsigned long magnitude = 0;
};
ScannedInteger ScanInteger(const char* s, const DirectiveLayout& layout);

// strtol's and strtoul's results for a scanned integer (saturated, or
// negated modulo 2^n for the unsigned conversions, as the C library does).
long SignedValue(const ScannedInteger& number);
unsigned long UnsignedValue(const ScannedInteger& number);

// A floating-point field ("%f", "%lf" ...) read as scanf reads it, into
// `value`. Returns false where the C library must read it (infinities, NaNs,
// hexadecimal forms, values out of range, other number rules); otherwise
// `found` tells whether a number was there.
bool ScanFloating(const char* s, float& value, bool& found);
bool ScanFloating(const char* s, double& value, bool& found);

}  // namespace detail
}  // namespace UTL
