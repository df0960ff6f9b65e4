// Plain printf fields: integers and doubles turned into the C library's text
// without snprintf, into narrow text (the log manager) or straight into wide
// text (the wide output engine). The tests compare every field with snprintf.
#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "PlainDirective.h"

namespace UTL {
namespace detail {

namespace {

// The powers of ten that fit 64 bits.
constexpr unsigned long long kPowersOfTen[] = {1ULL,
                                               10ULL,
                                               100ULL,
                                               1000ULL,
                                               10000ULL,
                                               100000ULL,
                                               1000000ULL,
                                               10000000ULL,
                                               100000000ULL,
                                               1000000000ULL,
                                               10000000000ULL,
                                               100000000000ULL,
                                               1000000000000ULL,
                                               10000000000000ULL,
                                               100000000000000ULL,
                                               1000000000000000ULL,
                                               10000000000000000ULL,
                                               100000000000000000ULL,
                                               1000000000000000000ULL,
                                               10000000000000000000ULL};

// The two digits of 0 to 99.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// ---- Layout of printf fields ----

// Writes `prefix` and a body of `bodyLength` units, written by `body(at)`,
// padded to the field width: spaces before, zeros between or spaces after.
template <typename Char, typename Body>
std::size_t Field(Char* out, const Directive& layout, const char* prefix, std::size_t prefixLength,
                  std::size_t bodyLength, bool zeroPad, Body body) {
    std::size_t n = 0;
    const std::size_t content = prefixLength + bodyLength;
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t pad = width > content ? width - content : 0;
    const auto fill = [out, &n](Char c, std::size_t count) {
        for (std::size_t end = n + count; n < end;) out[n++] = c;
    };
    if (!layout.minus && !zeroPad) fill(' ', pad);
    for (std::size_t i = 0; i < prefixLength; ++i) out[n++] = prefix[i];
    if (!layout.minus && zeroPad) fill('0', pad);
    body(out + n);
    n += bodyLength;
    if (layout.minus) fill(' ', pad);
    return n;
}

// A field whose body is narrow text, widened as it is copied.
template <typename Char>
std::size_t LayOut(Char* out, const Directive& layout, const char* prefix, std::size_t prefixLength,
                   const char* body, std::size_t bodyLength, bool zeroPad) {
    return Field(out, layout, prefix, prefixLength, bodyLength, zeroPad, [=](Char* at) {
        for (std::size_t i = 0; i < bodyLength; ++i) at[i] = static_cast<unsigned char>(body[i]);
    });
}

// The sign printf shows before a number.
std::size_t SignPrefix(char* prefix, const Directive& layout, bool negative) {
    if (negative) return prefix[0] = '-', 1;
    if (layout.plus) return prefix[0] = '+', 1;
    if (layout.space) return prefix[0] = ' ', 1;
    return 0;
}

// ---- Digits ----

// The number of decimal digits of `value` (1 for 0), from its bit length:
// 1233 / 4096 is just above log10(2), so the guess is the count or one less.
std::size_t DecimalCount(unsigned long long value) {
    const unsigned bits = 64 - static_cast<unsigned>(__builtin_clzll(value | 1));
    const std::size_t guess = (bits * 1233) >> 12;
    const std::size_t count = guess + (value >= kPowersOfTen[guess]);
    return count > 0 ? count : 1;
}

// The `count` decimal digits of `value` written into `out`, last pair first.
template <typename Char>
void WriteDecimal(Char* out, unsigned long long value, std::size_t count) {
    Char* at = out + count;
    for (; value >= 100; value /= 100) {
        const unsigned pair = static_cast<unsigned>(value % 100) * 2;
        *--at = static_cast<Char>(kPairs[pair + 1]);
        *--at = static_cast<Char>(kPairs[pair]);
    }
    if (value >= 10) {
        *--at = static_cast<Char>(kPairs[value * 2 + 1]);
        *--at = static_cast<Char>(kPairs[value * 2]);
    } else {
        *--at = static_cast<Char>('0' + value);
    }
}

// The octal or hexadecimal digits of `magnitude`, least significant first,
// into `reversed` (at least 22 bytes); returns their count. A zero value gives
// "0", or nothing when `zeroIsEmpty`.
std::size_t ReversedDigits(char* reversed, const Directive& layout, unsigned long long magnitude,
                           bool zeroIsEmpty) {
    if (magnitude == 0 && zeroIsEmpty) return 0;
    const unsigned base = BaseOf(layout.conv);
    if (base == 10) {
        const std::size_t count = DecimalCount(magnitude);
        WriteDecimal(reversed, magnitude, count);
        std::reverse(reversed, reversed + count);
        return count;
    }
    const char* digitSet = layout.conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    const unsigned shift = base == 16 ? 4 : 3;
    std::size_t count = 0;
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

// ---- Fixed notation ----

#ifdef __SIZEOF_INT128__
// The magnitude |value| * 10^precision rounded to an integer as printf rounds
// to nearest: from the exact binary value, ties to even. False where it does
// not fit 64 bits (or the precision exceeds 19 digits); std::to_chars, exact
// too but slower, formats those.
bool ScaledMagnitude(double value, unsigned precision, unsigned long long& scaled) {
    if (precision >= sizeof kPowersOfTen / sizeof kPowersOfTen[0]) return false;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const unsigned biased = static_cast<unsigned>(bits >> 52 & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int exponent = -1074;  // |value| = mantissa * 2^exponent
    if (biased != 0) {
        mantissa |= std::uint64_t{1} << 52;
        exponent = static_cast<int>(biased) - 1075;
    }
    // Below 2^117, so a left shift by up to 10 still fits.
    unsigned __int128 n = static_cast<unsigned __int128>(mantissa) * kPowersOfTen[precision];
    if (exponent > 10) return false;
    if (exponent >= 0) {
        n <<= exponent;
    } else if (exponent > -118) {
        const unsigned shift = static_cast<unsigned>(-exponent);
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        const unsigned __int128 rest = n & ((half << 1) - 1);
        n >>= shift;
        if (rest > half || (rest == half && (n & 1) != 0)) ++n;
    } else {
        n = 0;  // below half a unit of the last decimal
    }
    if (n >> 64 != 0) return false;
    scaled = static_cast<unsigned long long>(n);
    return true;
}
#else
bool ScaledMagnitude(double, unsigned, unsigned long long&) {
    return false;
}
#endif

// "%f" of a value with its scaled magnitude, straight into `out`: the digits
// (at least one before the ".") with a "." before the last `precision` of them.
template <typename Char>
std::size_t FixedField(Char* out, const Directive& layout, bool negative, unsigned long long scaled,
                       unsigned precision) {
    const std::size_t count = DecimalCount(scaled);
    const std::size_t digits = count > precision ? count : precision + 1;
    char prefix[1] = {0};
    const std::size_t prefixLength = SignPrefix(prefix, layout, negative);
    const std::size_t bodyLength = digits + (precision > 0);
    return Field(out, layout, prefix, prefixLength, bodyLength, layout.zero, [=](Char* at) {
        for (std::size_t i = 0; i < digits - count; ++i) at[i] = '0';
        WriteDecimal(at + (digits - count), scaled, count);
        if (precision == 0) return;
        const std::size_t point = digits - precision;
        for (std::size_t i = digits; i > point; --i) at[i] = at[i - 1];
        at[point] = '.';
    });
}

// The number as std::to_chars writes it with the directive's precision,
// without field layout; 0 where it fails.
std::size_t NumberText(char* text, const Directive& layout, double value, unsigned precision) {
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
    const std::to_chars_result r =
        std::to_chars(text, text + kFieldMax, value, format,
                      format == std::chars_format::general && precision == 0 ? 1 : precision);
    if (r.ec != std::errc()) return 0;
    if (layout.conv == 'E' || layout.conv == 'G') {
        for (char* c = text; c < r.ptr; ++c) {
            if (*c == 'e') *c = 'E';
        }
    }
    return static_cast<std::size_t>(r.ptr - text);
}

}  // namespace

bool IsBare(const Directive& l) {
    return !l.minus && !l.plus && !l.space && !l.hash && !l.zero && l.width == 0 && !l.hasPrecision;
}

template <typename Char>
std::size_t FormatInteger(Char* out, const Directive& layout, bool negative,
                          unsigned long long magnitude) {
    const bool decimal = layout.conv == 'd' || layout.conv == 'i' || layout.conv == 'u';
    if (decimal && !layout.hasPrecision) {  // the common case: digits straight into `out`
        char prefix[1] = {0};
        const std::size_t prefixLength =
            IsSignedConversion(layout.conv) ? SignPrefix(prefix, layout, negative) : 0;
        const std::size_t count = DecimalCount(magnitude);
        return Field(out, layout, prefix, prefixLength, count, layout.zero,
                     [=](Char* at) { WriteDecimal(at, magnitude, count); });
    }
    char body[kPlainLimit + 24];
    const std::size_t bodyLength = IntegerBody(body, layout, magnitude);
    char prefix[2];
    const std::size_t prefixLength = IntegerPrefix(prefix, layout, negative, magnitude);
    return LayOut(out, layout, prefix, prefixLength, body, bodyLength,
                  layout.zero && !layout.hasPrecision);
}

template <typename Char>
std::size_t FormatNearestDouble(Char* out, const Directive& layout, double value) {
    if (layout.hash || !std::isfinite(value) || std::fabs(value) >= 1e51) return 0;
    const unsigned precision = layout.hasPrecision ? static_cast<unsigned>(layout.precision) : 6;
    unsigned long long scaled;
    if (layout.conv == 'f' && ScaledMagnitude(std::fabs(value), precision, scaled)) {
        return FixedField(out, layout, std::signbit(value), scaled, precision);
    }
    // At most 52 integer digits and 99 decimals.
    char text[kFieldMax];
    const std::size_t length = NumberText(text, layout, value, precision);
    if (length == 0) return 0;
    const bool negative = text[0] == '-';
    const char* body = negative ? text + 1 : text;
    char prefix[1];
    const std::size_t prefixLength = SignPrefix(prefix, layout, negative);
    return LayOut(out, layout, prefix, prefixLength, body, length - (body - text), layout.zero);
}

template <typename Char>
std::size_t FormatDouble(Char* out, const Directive& layout, double value) {
    return PlainNumberRules() ? FormatNearestDouble(out, layout, value) : 0;
}

template std::size_t FormatInteger(char*, const Directive&, bool, unsigned long long);
template std::size_t FormatInteger(char16_t*, const Directive&, bool, unsigned long long);
template std::size_t FormatNearestDouble(char16_t*, const Directive&, double);
template std::size_t FormatDouble(char*, const Directive&, double);

}  // namespace detail
}  // namespace UTL
