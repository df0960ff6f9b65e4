// Printf's text for the common directive shapes, produced without the C
// library's per-call parsing. Shared by the wide formatting engine and the log
// manager; both fall back to the C library where these functions decline.
#pragma once

#include <cstddef>

namespace UTL {
namespace detail {

// "%[flags][width][.precision][h|l]conv" with width and precision up to 99.
struct DirectiveLayout {
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    int width = 0;
    int precision = -1;  // none
    char size = 0;       // 'h', 'l' or 0
    char conv = 0;
};

// Room that FormatInteger and FormatDouble may need.
constexpr std::size_t kDirectFieldMax = 256;

// Parses the directive at `s` (which starts with "%"). Returns the position
// just after the conversion character, or null for another shape (a width or
// precision above 99 included).
const char* ParseDirective(const char* s, DirectiveLayout& layout);

// Printf's field for an integer conversion (d i o u x X) of the value given as
// sign and magnitude, into `out` (kDirectFieldMax bytes, not terminated).
// Returns its length.
std::size_t FormatInteger(char* out, const DirectiveLayout& layout, bool negative,
                          unsigned long long magnitude);

// Printf's field for f, e, E, g or G into `out` (kDirectFieldMax bytes, not
// terminated); returns its length, or 0 where the C library must format it:
// "#", a value that is not finite or not below 1e51, a decimal point other
// than "." or a rounding mode other than to-nearest.
std::size_t FormatDouble(char* out, const DirectiveLayout& layout, double value);

}  // namespace detail
}  // namespace UTL
