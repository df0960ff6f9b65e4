// Internal helpers of the numeric families: conversions of doubles to integers
// that are defined for every input.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>

namespace UTL {
namespace detail {

// Truncation toward zero to a 32-bit integer where the value fits; outside
// the range it saturates to INT32_MIN/INT32_MAX and NaN gives 0 (a plain
// conversion would be undefined there).
inline std::int32_t TruncToInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0) return INT32_MAX;
    if (x <= -2147483649.0) return INT32_MIN;
    return static_cast<std::int32_t>(x);
}

// 2^63, or 2^31 where long has 32 bits: the first magnitude a long cannot hold.
constexpr double kLongLimit = -static_cast<double>(LONG_MIN);

// The same for the platform's long.
inline long TruncToLong(double x) {
    if (std::isnan(x)) return 0;
    if (x >= kLongLimit) return LONG_MAX;
    if (x < -kLongLimit) return LONG_MIN;
    return static_cast<long>(x);
}

// Truncation toward zero as a 32-bit conversion would give it (+0.0 for
// values in (-1, 0)), but kept in double so that it has no range limit.
inline double TruncWhole(double x) {
    return std::trunc(x) + 0.0;
}

// Adds one without overflowing: INT32_MAX stays INT32_MAX.
inline int IncrementSaturated(int x) {
    return x == INT32_MAX ? x : x + 1;
}

}  // namespace detail
}  // namespace UTL
