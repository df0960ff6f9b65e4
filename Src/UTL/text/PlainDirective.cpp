// Plain directives: the printf reader and the scanf fields, read by the C
// rules glibc implements (the tests compare every user with sscanf). The
// printf fields are made in PlainFormat.cpp.
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

// Value of a digit in bases up to 16, or 16 for any other character.
unsigned DigitValue(char c) {
    if (IsDecimalDigit(static_cast<unsigned char>(c))) return static_cast<unsigned>(c - '0');
    const char lower = static_cast<char>(c | 0x20);
    if (lower >= 'a' && lower <= 'f') return static_cast<unsigned>(lower - 'a' + 10);
    return 16;
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

const char* ParseDirective(const char* s, Directive& layout) {
    return ReadDirective(s, kPrintfSyntax, layout) && IsPlain(layout) ? s + layout.length : nullptr;
}

// nl_langinfo reads the locale's radix in place; localeconv would fill a
// whole record on every call. printf and strtod round by the current mode,
// std::to_chars and std::from_chars always to nearest.
bool PlainNumberRules() {
    const char* point = nl_langinfo(RADIXCHAR);
    return point && point[0] == '.' && point[1] == 0 && std::fegetround() == FE_TONEAREST;
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
