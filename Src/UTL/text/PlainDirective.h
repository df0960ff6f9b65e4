// Plain directives: the printf and scanf directive shapes that the library
// converts itself, with exactly the C library's results, instead of paying for
// snprintf's or sscanf's per-call set-up. The wide formatting engine, the wide
// scanning engine and the log manager share them; each hands every other
// shape to the C library.
//
#pragma once

#include <cstddef>

#include <UTL/detail/DirectiveDialects.h>

#include "Directive.h"

namespace UTL {
namespace detail {

// The integer conversions that take a signed value ("d i").
inline bool IsSignedConversion(char conv) {
    return conv == 'd' || conv == 'i';
}

// Whether a directive read by kPrintfSyntax is plain: complete, with a width
// and precision of at most 99.
constexpr unsigned long kPlainLimit = 99;
inline bool IsPlain(const Directive& d) {
    return d.complete && d.width <= kPlainLimit && d.precision <= kPlainLimit;
}

// The base of an integer conversion.
inline unsigned BaseOf(char conv) {
    return conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
}

// Reads the directive at `s` (which starts with "%") by kPrintfSyntax.
// Returns the position just after the conversion character, or null when it
// is not plain.
const char* ParseDirective(const char* s, Directive& layout);

// No flags, width or precision: printf shows just the value.
bool IsBare(const Directive& layout);

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
// sign and magnitude, into `out` (kFieldMax units, not terminated). Returns
// its length. Made for char and char16_t.
template <typename Char>
std::size_t FormatInteger(Char* out, const Directive& layout, bool negative,
                          unsigned long long magnitude);

// Printf's field for f, e, E, g or G into `out` (kFieldMax units, not
// terminated); returns its length, or 0 where the C library must format it:
// "#", a value that is not finite or not below 1e51, or other number rules.
// Made for char.
template <typename Char>
std::size_t FormatDouble(Char* out, const Directive& layout, double value);
// As FormatDouble, for a caller that has found PlainNumberRules() true (the
// wide engine asks once per call). Made for char16_t.
template <typename Char>
std::size_t FormatNearestDouble(Char* out, const Directive& layout, double value);

// ---- Text to numbers (scanf) ----

// True for the scanf directives read here: "%[width][h|l]conv" with conv one
// of d i o u x X, and "%[l]conv" with conv one of e E f g G.
bool IsPlainScan(const Directive& layout);

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
ScannedInteger ScanInteger(const char* s, const Directive& layout);

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
