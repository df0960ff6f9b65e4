/// @file
/// The one reader of printf and scanf directives of the formatting engines
/// (its dialects: DirectiveDialects.h). Usable in constant expressions: the format checks of the
/// front ends (CheckedFormat.h) read a literal format with it exactly as the engines read it at run
/// time.
///
/// A directive is read once, into a Directive record: its extent, flags,
/// width, precision, size letters, conversion character and class. What the
/// dialects (the wide output engine, its star mode, the wide input engine, the
/// log manager, the report formatter) read differently is a DirectiveSyntax:
/// data, not another reader (DirectiveDialects.h).
#pragma once

#include <cstdint>

namespace UTL {
namespace detail {

constexpr bool IsDecimalDigit(unsigned c) {
    return c - '0' < 10u;
}

// Reads the run of decimal digits at `s` and moves `s` past it. The value
// saturates at `cap`, which must be below 2^32 (digits after that are still
// consumed); no digits give 0.
template <typename Char>
constexpr unsigned long ReadDecimal(const Char*& s, unsigned long cap) {
    unsigned long long value = 0;
    for (; IsDecimalDigit(*s); ++s) {
        value = value * 10 + static_cast<unsigned>(*s - '0');
        if (value > cap) value = cap;
    }
    return static_cast<unsigned long>(value);
}

// Numbers of directives are read up to this value: above INT_MAX, where the
// C library refuses a field anyway, and within every platform's unsigned long.
constexpr unsigned long kCountCap = 0xFFFFFFFFUL;

// The integer conversions "d i o u x X" and the floating-point ones "e E f g G"
// (printf's and scanf's alike).
constexpr bool IsIntegerConversion(unsigned c) {
    return c == 'd' || c == 'i' || c == 'o' || c == 'u' || c == 'x' || c == 'X';
}
constexpr bool IsFloatingConversion(unsigned c) {
    return c == 'e' || c == 'E' || c == 'f' || c == 'g' || c == 'G';
}

// What a conversion character asks of the argument list, as the wide output
// engine reads it (other dialects look at the character itself).
enum class Conv : unsigned char {
    None,
    Integer,
    Double,
    Count,
    Pointer,
    NarrowString,
    WideString,
    Percent
};

// "c" and "C" are letter directives of the wide engine, not classified ones.
constexpr Conv WideOutputClass(unsigned c) {
    switch (c) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            return Conv::Integer;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
            return Conv::Double;
        case 'n':
            return Conv::Count;
        case 'p':
            return Conv::Pointer;
        case 'S':
            return Conv::NarrowString;
        case 's':
            return Conv::WideString;
        case '%':
            return Conv::Percent;
        default:
            return Conv::None;
    }
}

// A set of ASCII characters, tested with one bit test.
class CharSet {
public:
    constexpr CharSet(const char* chars) : m_bits{0, 0} {  // NOLINT: a literal is a set
        for (; *chars; ++chars) {
            const unsigned c = static_cast<unsigned char>(*chars);
            m_bits[c >> 6 & 1] |= std::uint64_t{1} << (c & 63);
        }
    }
    constexpr bool Has(unsigned c) const { return c < 128 && (m_bits[c >> 6] >> (c & 63) & 1); }
    constexpr bool Empty() const { return m_bits[0] == 0 && m_bits[1] == 0; }

private:
    std::uint64_t m_bits[2];
};

// How a dialect reads a directive: "%", a positional "N$", flags, width,
// ".precision", scanf's "m", size letters, the conversion character and, for
// scanf, the "[...]" set of a "[" conversion. The dialects are written with
// the named setters below, side by side in DirectiveDialects.h.
struct DirectiveSyntax {
    CharSet flags = "";  // the flag characters ("*": scanf's assignment suppression)
    // 0: flags, width and precision in this order. Else they are a run of at
    // most `run` of the flag, digit and "." characters in any order (the
    // output engine's classification); the numbers are still read while the
    // order holds.
    unsigned run = 0;
    bool oneFlag = false;     // at most one flag, and only before a width or precision
    bool positional = false;  // "N$" after the "%"
    bool stars = false;       // "*" for a width or precision takes an int
    bool precision = true;    // "." starts a precision
    bool allocation = false;  // "m" before the size letters
    CharSet sizes = "hl";
    unsigned maxSizes = 1;
    CharSet conversions = "";  // empty: any character but the terminator
    Conv (*classOf)(unsigned) = nullptr;

    static constexpr unsigned kUnbounded = ~0u;

private:
    // A copy with `field` set; defined above its callers, as clang needs to
    // evaluate them in constant expressions.
    template <typename Field, typename Value>
    constexpr DirectiveSyntax With(Field DirectiveSyntax::*field, Value value) const {
        DirectiveSyntax copy = *this;
        copy.*field = value;
        return copy;
    }

public:
    constexpr DirectiveSyntax Flags(CharSet set) const {
        return With(&DirectiveSyntax::flags, set);
    }
    constexpr DirectiveSyntax InAnyOrder(unsigned atMost = kUnbounded) const {
        return With(&DirectiveSyntax::run, atMost);
    }
    constexpr DirectiveSyntax OneFlag() const { return With(&DirectiveSyntax::oneFlag, true); }
    constexpr DirectiveSyntax Positional() const {
        return With(&DirectiveSyntax::positional, true);
    }
    constexpr DirectiveSyntax Stars() const { return With(&DirectiveSyntax::stars, true); }
    constexpr DirectiveSyntax NoPrecision() const {
        return With(&DirectiveSyntax::precision, false);
    }
    constexpr DirectiveSyntax Allocation() const {
        return With(&DirectiveSyntax::allocation, true);
    }
    // One size letter of `set`.
    constexpr DirectiveSyntax Sizes(CharSet set) const {
        return With(&DirectiveSyntax::sizes, set);
    }
    // Any number of size letters of `set`.
    constexpr DirectiveSyntax SizeRun(CharSet set) const {
        return Sizes(set).With(&DirectiveSyntax::maxSizes, kUnbounded);
    }
    constexpr DirectiveSyntax Conversions(CharSet set) const {
        return With(&DirectiveSyntax::conversions, set);
    }
    constexpr DirectiveSyntax ClassifiedBy(Conv (*classify)(unsigned)) const {
        return With(&DirectiveSyntax::classOf, classify);
    }
};

// One directive as read. Offsets count characters from the "%" (a directive
// is far shorter than 4 GiB); the record is small, as one is made per
// directive.
struct Directive {
    std::uint32_t length = 0;  // to just after the conversion (or where reading stopped)
    std::uint32_t flagsAt = 0, flagsEnd = 0;      // the flags as written
    std::uint32_t widthEnd = 0, precisionAt = 0;  // end of the width; after the "."
    std::uint32_t sizesAt = 0, sizesEnd = 0;      // the size letters; the conversion follows
    std::uint32_t runLength = 0;                  // flag, digit and "." characters read
    unsigned long width = 0, precision = 0;
    bool complete = false;  // the conversion character was read (and a set ended)
    bool ordered = true;    // flags, width and precision came in their order
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    bool suppressed = false;  // scanf's "*"
    bool allocate = false;    // scanf's "m"
    bool hasWidth = false, widthStar = false, hasPrecision = false, precisionStar = false;
    char size = 0;  // the first size letter
    char conv = 0;
    Conv cls = Conv::None;  // by the syntax's classOf
};

namespace directive {

constexpr bool In(const CharSet& set, unsigned c) {
    return set.Has(c);
}

// `value` with the decimal digit `c` appended, saturated as ReadDecimal does.
constexpr unsigned long Shifted(unsigned long value, unsigned c) {
    const unsigned long long next = value * 10ULL + (c - '0');
    return next > kCountCap ? kCountCap : static_cast<unsigned long>(next);
}

template <typename Char>
constexpr std::uint32_t Offset(const Char* p, const Char* s) {
    return static_cast<std::uint32_t>(p - s);
}

template <typename Char>
constexpr const Char* SkipPositional(const Char* s) {
    const Char* p = s;
    while (IsDecimalDigit(*p)) ++p;
    return p != s && *p == '$' ? p + 1 : s;
}

}  // namespace directive

// Reads the directive whose "%" is at `s` by `syntax` into `d` (which must be
// fresh). Returns d.complete (false when `s` holds no "%"). Always inlined:
// with the syntax a constant, the reader shrinks to what that dialect reads.
template <typename Char>
__attribute__((always_inline)) constexpr bool ReadDirective(const Char* s,
                                                            const DirectiveSyntax& syntax,
                                                            Directive& d) {
    using directive::In;
    using directive::Offset;
    using directive::Shifted;
    if (*s != '%') return false;
    const Char* p = s + 1;
    if (syntax.positional) p = directive::SkipPositional(p);
    d.flagsAt = Offset(p, s);
    // Flags, width and precision: 0 flags, 1 width, 2 precision.
    int part = 0;
    const auto number = [&](bool& star) {
        if (syntax.stars && *p == '*') {
            star = true;
            ++p;
            if (syntax.positional) p = directive::SkipPositional(p);
            return 0UL;
        }
        return ReadDecimal(p, kCountCap);
    };
    if (syntax.run == 0) {
        for (unsigned c = 0; In(syntax.flags, c = *p); ++p) {
            if (syntax.oneFlag && (d.flagsEnd > 0 || !(IsDecimalDigit(p[1]) || p[1] == '*'))) break;
            d.minus |= c == '-', d.plus |= c == '+', d.space |= c == ' ';
            d.hash |= c == '#', d.zero |= c == '0', d.suppressed |= c == '*';
            d.flagsEnd = Offset(p + 1, s);
        }
        if (d.flagsEnd == 0) d.flagsEnd = d.flagsAt;
        d.hasWidth = IsDecimalDigit(*p) || (syntax.stars && *p == '*');
        d.width = number(d.widthStar);
        d.widthEnd = Offset(p, s);
        if (syntax.precision && *p == '.') {
            d.precisionAt = Offset(++p, s);
            d.hasPrecision = true;
            d.precision = number(d.precisionStar);
        }
    } else {
        // The run: its characters are counted, and read as flags, width and
        // precision while they come in that order.
        d.flagsEnd = d.flagsAt;
        for (unsigned c = 0; d.runLength < syntax.run &&
                             (In(syntax.flags, c = *p) || IsDecimalDigit(c) || c == '.');
             ++p, ++d.runLength) {
            if (!d.ordered) {
                // counted only
            } else if (part == 0 && In(syntax.flags, c)) {
                d.minus |= c == '-', d.plus |= c == '+', d.space |= c == ' ', d.zero |= c == '0';
                d.flagsEnd = Offset(p + 1, s);
            } else if (part <= 1 && IsDecimalDigit(c)) {
                part = 1;
                d.hasWidth = true;
                d.width = Shifted(d.width, c);
            } else if (part <= 1 && c == '.') {
                part = 2;
                d.hasPrecision = true;
            } else if (part == 2 && IsDecimalDigit(c)) {
                d.precision = Shifted(d.precision, c);
            } else {
                d.ordered = false;
            }
        }
    }
    if (syntax.allocation) {
        for (; *p == 'm'; ++p) d.allocate = true;
    }
    d.sizesAt = Offset(p, s);
    for (unsigned n = 0; n < syntax.maxSizes && In(syntax.sizes, *p); ++n) {
        if (n == 0) d.size = static_cast<char>(*p);
        ++p;
    }
    d.sizesEnd = Offset(p, s);
    const unsigned c = *p;
    d.cls = syntax.classOf ? syntax.classOf(c) : Conv::None;
    d.complete = c != 0 && (!syntax.conversions.Empty() ? In(syntax.conversions, c)
                                                        : !syntax.classOf || d.cls != Conv::None);
    if (d.complete) {
        d.conv = static_cast<char>(c);
        ++p;
        if (c == '[' && !syntax.conversions.Empty()) {  // scanf's set: "]" first is a member
            if (*p == '^') ++p;
            if (*p == ']') ++p;
            while (*p && *p != ']') ++p;
            d.complete = *p != 0;
            if (*p) ++p;
        }
    }
    d.length = Offset(p, s);
    return d.complete;
}

}  // namespace detail
}  // namespace UTL
