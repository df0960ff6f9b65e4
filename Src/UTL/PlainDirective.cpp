// Plain directives, converted by the C rules glibc implements (the tests
// compare every user with snprintf and sscanf).
#include "PlainDirective.h"

#include <langinfo.h>

#include <cctype>
#include <cfenv>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace UTL {
namespace detail {

namespace {

constexpr int kLimit = 99;  // largest width or precision of a plain directive

// Value of a digit in bases up to 16, or 16 for any other character.
unsigned DigitValue(char c) {
    if (IsDecimalDigit(static_cast<unsigned char>(c))) return static_cast<unsigned>(c - '0');
    const char lower = static_cast<char>(c | 0x20);
    if (lower >= 'a' && lower <= 'f') return static_cast<unsigned>(lower - 'a' + 10);
    return 16;
}

// ---- Layout of printf fields ----

// Pads `prefix` + `body` to the field width: spaces before, zeros between or
// spaces after.
std::size_t LayOut(char* out, const Directive& layout, const char* prefix, std::size_t prefixLength,
                   const char* body, std::size_t bodyLength, bool zeroPad) {
    std::size_t n = 0;
    const std::size_t content = prefixLength + bodyLength;
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t pad = width > content ? width - content : 0;
    if (!layout.minus && !zeroPad) n += (std::memset(out + n, ' ', pad), pad);
    n += (std::memcpy(out + n, prefix, prefixLength), prefixLength);
    if (!layout.minus && zeroPad) n += (std::memset(out + n, '0', pad), pad);
    n += (std::memcpy(out + n, body, bodyLength), bodyLength);
    if (layout.minus) n += (std::memset(out + n, ' ', pad), pad);
    return n;
}

// The sign printf shows before a number.
std::size_t SignPrefix(char* prefix, const Directive& layout, bool negative) {
    if (negative) return prefix[0] = '-', 1;
    if (layout.plus) return prefix[0] = '+', 1;
    if (layout.space) return prefix[0] = ' ', 1;
    return 0;
}

bool IsSignedConversion(char conv) {
    return conv == 'd' || conv == 'i';
}

unsigned BaseOf(char conv) {
    return conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
}

// The digits of `magnitude` in the directive's base, least significant first,
// into `reversed` (at least 22 bytes); returns their count. A zero value gives
// "0", or nothing when `zeroIsEmpty`. Decimal digits go two at a time from a
// table, octal and hexadecimal ones by shifts: no division by a variable.
std::size_t ReversedDigits(char* reversed, const Directive& layout, unsigned long long magnitude,
                           bool zeroIsEmpty) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::size_t count = 0;
    if (magnitude == 0 && zeroIsEmpty) return 0;
    const unsigned base = BaseOf(layout.conv);
    if (base == 10) {
        for (; magnitude >= 100; magnitude /= 100) {
            const unsigned pair = static_cast<unsigned>(magnitude % 100) * 2;
            reversed[count++] = kPairs[pair + 1];
            reversed[count++] = kPairs[pair];
        }
        if (magnitude >= 10) {
            reversed[count++] = kPairs[magnitude * 2 + 1];
            reversed[count++] = kPairs[magnitude * 2];
        } else {
            reversed[count++] = static_cast<char>('0' + magnitude);
        }
        return count;
    }
    const char* digitSet = layout.conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    const unsigned shift = base == 16 ? 4 : 3;
    do reversed[count++] = digitSet[magnitude & (base - 1)];
    while ((magnitude >>= shift) != 0);
    return count;
}

// The digits with the zeros that the precision and "#o" ask for in front.
std::size_t IntegerBody(char* body, const Directive& layout, unsigned long long magnitude) {
    char reversed[24];
    // A precision of 0 shows a zero value as no digits at all.
    std::size_t count =
        ReversedDigits(reversed, layout, magnitude, layout.hasPrecision && layout.precision == 0);
    const std::size_t precision = layout.precision;
    std::size_t zeros = precision > count ? precision - count : 0;
    // "#o" makes the first digit a 0.
    if (layout.conv == 'o' && layout.hash && zeros == 0 &&
        (count == 0 || reversed[count - 1] != '0')) {
        zeros = 1;
    }
    std::size_t n = 0;
    while (zeros--) body[n++] = '0';
    while (count) body[n++] = reversed[--count];
    return n;
}

// The sign of a signed conversion, or "0x"/"0X" for "#x" of a nonzero value.
std::size_t IntegerPrefix(char* prefix, const Directive& layout, bool negative,
                          unsigned long long magnitude) {
    if (IsSignedConversion(layout.conv)) return SignPrefix(prefix, layout, negative);
    if (BaseOf(layout.conv) == 16 && layout.hash && magnitude != 0) {
        prefix[0] = '0';
        prefix[1] = layout.conv;
        return 2;
    }
    return 0;
}

// ---- Reading floating-point fields ----

// The characters a decimal floating-point number can be made of; the number
// itself ends at or before the first other character.
bool IsDecimalNumberChar(char c) {
    return IsDecimalDigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' ||
           c == '+' || c == '-';
}

template <typename T>
bool ReadFloating(const char* s, T& value, bool& found) {
    found = false;
    while (IsSpace(*s)) ++s;
    const bool negative = *s == '-';
    const char* t = s + (*s == '-' || *s == '+');
    const char first = static_cast<char>(*t | 0x20);
    if (first == 'n' || first == 'i') return false;         // NaN or infinity
    if (t[0] == '0' && (t[1] | 0x20) == 'x') return false;  // hexadecimal
    if (*t == '+' || *t == '-') return true;                // a second sign: no number
    if (!PlainNumberRules()) return false;
    const char* end = t;
    while (IsDecimalNumberChar(*end)) ++end;
    T magnitude;
    const std::from_chars_result r = std::from_chars(t, end, magnitude);
    if (r.ec == std::errc::invalid_argument) return true;
    if (r.ec != std::errc()) return false;  // overflow or underflow: the C library's value
    value = negative ? -magnitude : magnitude;
    found = true;
    return true;
}

}  // namespace

bool IsLocaleSpace(unsigned char byte) {
    return std::isspace(byte) != 0;
}

const DirectiveSyntax kPrintfSyntax{"-+ #0"};

bool IsPlain(const Directive& d) {
    return d.complete && d.width <= kLimit && d.precision <= kLimit;
}

const char* ParseDirective(const char* s, Directive& layout) {
    return ReadDirective(s, kPrintfSyntax, layout) && IsPlain(layout) ? s + layout.length : nullptr;
}

bool IsBare(const Directive& l) {
    return !l.minus && !l.plus && !l.space && !l.hash && !l.zero && l.width == 0 && !l.hasPrecision;
}

// nl_langinfo reads the locale's radix in place; localeconv would fill a
// whole record on every call. printf and strtod round by the current mode,
// std::to_chars and std::from_chars always to nearest.
bool PlainNumberRules() {
    const char* point = nl_langinfo(RADIXCHAR);
    return point && point[0] == '.' && point[1] == 0 && std::fegetround() == FE_TONEAREST;
}

std::size_t FormatInteger(char* out, const Directive& layout, bool negative,
                          unsigned long long magnitude) {
    if (IsBare(layout)) {  // the common case: sign and digits only
        char reversed[24];
        std::size_t count = ReversedDigits(reversed, layout, magnitude, false);
        std::size_t n = 0;
        if (negative && IsSignedConversion(layout.conv)) out[n++] = '-';
        while (count) out[n++] = reversed[--count];
        return n;
    }
    char body[kLimit + 24];
    const std::size_t bodyLength = IntegerBody(body, layout, magnitude);
    char prefix[2];
    const std::size_t prefixLength = IntegerPrefix(prefix, layout, negative, magnitude);
    return LayOut(out, layout, prefix, prefixLength, body, bodyLength,
                  layout.zero && !layout.hasPrecision);
}

std::size_t FormatDouble(char* out, const Directive& layout, double value) {
    if (layout.hash || !std::isfinite(value) || std::fabs(value) >= 1e51) return 0;
    if (!PlainNumberRules()) return 0;
    const int precision = layout.hasPrecision ? static_cast<int>(layout.precision) : 6;
    std::chars_format format;
    switch (layout.conv) {
        case 'f':
            format = std::chars_format::fixed;
            break;
        case 'e':
        case 'E':
            format = std::chars_format::scientific;
            break;
        case 'g':
        case 'G':
            format = std::chars_format::general;
            break;
        default:
            return 0;
    }
    // At most 52 integer digits and 99 decimals. Without width or sign flags
    // the number is the whole field and goes straight to `out`.
    const bool whole = layout.width == 0 && !layout.plus && !layout.space;
    char scratch[kFieldMax];
    char* text = whole ? out : scratch;
    const std::to_chars_result r =
        std::to_chars(text, text + kFieldMax, value, format,
                      format == std::chars_format::general && precision == 0 ? 1 : precision);
    if (r.ec != std::errc()) return 0;
    if (layout.conv == 'E' || layout.conv == 'G') {
        for (char* c = text; c < r.ptr; ++c) {
            if (*c == 'e') *c = 'E';
        }
    }
    if (whole) return static_cast<std::size_t>(r.ptr - text);
    const bool negative = text[0] == '-';
    const char* body = negative ? text + 1 : text;
    char prefix[1];
    const std::size_t prefixLength = SignPrefix(prefix, layout, negative);
    return LayOut(out, layout, prefix, prefixLength, body, static_cast<std::size_t>(r.ptr - body),
                  layout.zero);
}

bool IsPlainScan(const Directive& l) {
    if (l.minus || l.plus || l.space || l.hash || l.zero || l.hasPrecision) return false;
    if (IsIntegerConversion(static_cast<unsigned char>(l.conv))) return true;
    return IsFloatingConversion(static_cast<unsigned char>(l.conv)) && l.width == 0 &&
           l.size != 'h';
}

// The characters are consumed as glibc's scanner gathers them; their value
// is then what strtol/strtoul make of the gathered text.
ScannedInteger ScanInteger(const char* s, const Directive& layout) {
    ScannedInteger number;
    unsigned base = layout.conv == 'i' ? 0 : BaseOf(layout.conv);
    int width = layout.width > 0 ? static_cast<int>(layout.width) : -1;  // -1: unlimited
    const auto consume = [&width, &s] {
        if (width > 0) --width;
        ++s;
    };
    while (IsSpace(*s)) ++s;
    if (*s == '-' || *s == '+') {
        number.negative = *s == '-';
        consume();
    }
    if (width != 0 && *s == '0') {
        number.found = true;  // the 0 is a digit of the number
        consume();
        if (width != 0 && (*s == 'x' || *s == 'X')) {
            if (base == 0) base = 16;
            if (base == 16) consume();
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0) base = 10;
    for (unsigned digit; width != 0 && (digit = DigitValue(*s)) < base; consume()) {
        number.found = true;
        unsigned long shifted;
        number.overflow |= __builtin_mul_overflow(number.magnitude, base, &shifted);
        number.overflow |= __builtin_add_overflow(shifted, digit, &number.magnitude);
    }
    return number;
}

long SignedValue(const ScannedInteger& n) {
    const unsigned long lowest = static_cast<unsigned long>(LONG_MAX) + 1;  // |LONG_MIN|
    if (n.negative) {
        if (n.overflow || n.magnitude >= lowest) return LONG_MIN;
        return -static_cast<long>(n.magnitude);
    }
    if (n.overflow || n.magnitude > static_cast<unsigned long>(LONG_MAX)) return LONG_MAX;
    return static_cast<long>(n.magnitude);
}

unsigned long UnsignedValue(const ScannedInteger& n) {
    if (n.overflow) return ULONG_MAX;
    return n.negative ? 0UL - n.magnitude : n.magnitude;
}

bool ScanFloating(const char* s, float& value, bool& found) {
    return ReadFloating(s, value, found);
}

bool ScanFloating(const char* s, double& value, bool& found) {
    return ReadFloating(s, value, found);
}

}  // namespace detail
}  // namespace UTL
