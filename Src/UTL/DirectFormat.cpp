// Direct conversion of the common printf directive shapes, following the C
// rules glibc implements (the tests compare both users with snprintf).
#include "DirectFormat.h"

#include <langinfo.h>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstring>

namespace UTL {
namespace detail {

namespace {

constexpr int kLimit = 99;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to two digits; false when a third follows.
bool ReadNumber(const char*& s, int& value) {
    value = 0;
    for (; IsDigit(*s); ++s) {
        value = value * 10 + (*s - '0');
        if (value > kLimit) return false;
    }
    return true;
}

// Pads `prefix` + `body` to the field width: spaces before, zeros between or
// spaces after.
std::size_t LayOut(char* out, const DirectiveLayout& layout, const char* prefix,
                   std::size_t prefixLength, const char* body, std::size_t bodyLength,
                   bool zeroPad) {
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
std::size_t SignPrefix(char* prefix, const DirectiveLayout& layout, bool negative) {
    if (negative) return prefix[0] = '-', 1;
    if (layout.plus) return prefix[0] = '+', 1;
    if (layout.space) return prefix[0] = ' ', 1;
    return 0;
}

// nl_langinfo reads the locale's radix in place; localeconv would fill a whole
// record on every call.
// No flags, width or precision: printf shows just the number.
bool IsBare(const DirectiveLayout& l) {
    return !l.minus && !l.plus && !l.space && !l.hash && !l.zero && l.width == 0 && l.precision < 0;
}

bool PlainDecimalPoint() {
    const char* point = nl_langinfo(RADIXCHAR);
    return point && point[0] == '.' && point[1] == 0;
}

}  // namespace

const char* ParseDirective(const char* s, DirectiveLayout& layout) {
    if (*s++ != '%') return nullptr;
    for (;; ++s) {
        if (*s == '-') {
            layout.minus = true;
        } else if (*s == '+') {
            layout.plus = true;
        } else if (*s == ' ') {
            layout.space = true;
        } else if (*s == '#') {
            layout.hash = true;
        } else if (*s == '0') {
            layout.zero = true;
        } else {
            break;
        }
    }
    if (!ReadNumber(s, layout.width)) return nullptr;
    if (*s == '.') {
        ++s;
        if (!ReadNumber(s, layout.precision)) return nullptr;
    }
    if (*s == 'h' || *s == 'l') layout.size = *s++;
    layout.conv = *s;
    return *s ? s + 1 : nullptr;
}

std::size_t FormatInteger(char* out, const DirectiveLayout& layout, bool negative,
                          unsigned long long magnitude) {
    const char conv = layout.conv;
    const unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    const char* digitSet = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    const bool nonzero = magnitude != 0;
    if (IsBare(layout)) {  // the common case: sign and digits only
        char reversed[24];
        std::size_t count = 0;
        do reversed[count++] = digitSet[magnitude % base];
        while ((magnitude /= base) != 0);
        std::size_t n = 0;
        if (negative && (conv == 'd' || conv == 'i')) out[n++] = '-';
        while (count) out[n++] = reversed[--count];
        return n;
    }

    char reversed[24];
    std::size_t count = 0;
    if (nonzero || layout.precision != 0) {
        do reversed[count++] = digitSet[magnitude % base];
        while ((magnitude /= base) != 0);
    }
    char body[kLimit + 24];
    std::size_t bodyLength = 0;
    std::size_t zeros = layout.precision > 0 && static_cast<std::size_t>(layout.precision) > count
                            ? static_cast<std::size_t>(layout.precision) - count
                            : 0;
    // "#o" makes the first digit a 0.
    if (conv == 'o' && layout.hash && zeros == 0 && (count == 0 || reversed[count - 1] != '0')) {
        zeros = 1;
    }
    while (zeros--) body[bodyLength++] = '0';
    while (count) body[bodyLength++] = reversed[--count];

    char prefix[2];
    std::size_t prefixLength = 0;
    if (conv == 'd' || conv == 'i') {
        prefixLength = SignPrefix(prefix, layout, negative);
    } else if (base == 16 && layout.hash && nonzero) {
        prefix[prefixLength++] = '0';
        prefix[prefixLength++] = conv;
    }
    return LayOut(out, layout, prefix, prefixLength, body, bodyLength,
                  layout.zero && layout.precision < 0);
}

std::size_t FormatDouble(char* out, const DirectiveLayout& layout, double value) {
    if (layout.hash || !std::isfinite(value) || std::fabs(value) >= 1e51) return 0;
    // printf rounds by the current mode; std::to_chars always to nearest.
    if (!PlainDecimalPoint() || std::fegetround() != FE_TONEAREST) return 0;
    const int precision = layout.precision < 0 ? 6 : layout.precision;
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
    char scratch[kDirectFieldMax];
    char* text = whole ? out : scratch;
    const std::to_chars_result r =
        std::to_chars(text, text + kDirectFieldMax, value, format,
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

}  // namespace detail
}  // namespace UTL
