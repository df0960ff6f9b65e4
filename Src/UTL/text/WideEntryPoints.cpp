// The exported entry points of formatted wide output and input: lswprintf and
// lswscanf and their relatives, each a thin call into its engine
// (format/WideFormat.cpp, scan/WideScan.cpp).
#include <UTL/WideText.h>

#include <cstdint>

#include "WideTextInternal.h"

int lvswprintf(char16_t* buffer, const char16_t* format, va_list args) {
    if (!buffer) return 0;
    return UTL::detail::FormatWide(buffer, SIZE_MAX, format, args);
}

int lswprintf(char16_t* buffer, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = lvswprintf(buffer, format, args);
    va_end(args);
    return result;
}

int lsnwprintf(char16_t* buffer, unsigned int size, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = UTL::detail::lvsnwprintf(buffer, size, format, args);
    va_end(args);
    return result;
}

namespace UTL {
namespace detail {

int lvsnwprintf(char16_t* buffer, unsigned int capacity, const char16_t* format, va_list args) {
    if (!buffer || capacity == 0) return 0;
    return UTL::detail::FormatWide(buffer, capacity - 1, format, args);
}

}  // namespace detail
}  // namespace UTL

int lvswscanf(const char16_t* input, const char16_t* format, va_list args) {
    return UTL::detail::ScanWide(input, format, args);
}

int lswscanf(const char16_t* input, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = lvswscanf(input, format, args);
    va_end(args);
    return result;
}
