/// @file
/// Tolerant comparison and rounding of measured values.
///
/// All functions are stateless and work in double precision; halves always
/// round away from zero. Equality is exact for every ordinary value: the fixed
/// tolerance of `Equal` (the smallest normalised double, DBL_MIN) only absorbs
/// differences among subnormal numbers and between 0.0 and -0.0.
///
/// Inputs outside the usual domain never cause undefined behaviour:
///  - NaN compares unequal and unordered everywhere (every predicate gives
///    false); an infinity never equals anything, itself included, because the
///    difference inf - inf is NaN; so IsGreaterEqual(inf, inf) and
///    IsLessEqual(inf, inf) are false as well.
///  - The 32-bit conversions of `RoundToInt` and `RoundToLong` saturate:
///    results above INT32_MAX give INT32_MAX, below INT32_MIN give INT32_MIN,
///    and NaN gives 0.
///  - `IsMultiple` takes the whole part of the quotient in double precision, so
///    it has no 32-bit limit; a NaN or infinite quotient (zero divisor,
///    infinite value) gives false.
#pragma once

#include <UTL/Export.h>

/// Tolerant comparison and rounding of measured values (free functions).
namespace CTT {

/// True when |a - b| < 2.2250738585072014e-308 (DBL_MIN). 0.0 equals -0.0.
UTL_API bool Equal(const double& a, const double& b);
/// Both operands widened to double, then the double `Equal` (the tolerance is
/// the double one, so floats differing in their last bit are unequal).
UTL_API bool Equal(const float& a, const float& b);

/// True when |a - b| < 10^-digits. The digit count is negated as an integer,
/// so 0 means a tolerance of 1.0 and negative counts give 10, 100, ...
/// (The name is kept as applications spell it.)
UTL_API bool EqualIngoreDigits(const double& a, const double& b, short digits);

/// a > b, or Equal(a, b). False when either operand is NaN.
UTL_API bool IsGreaterEqual(const double& a, const double& b);
/// a < b, or Equal(a, b). False when either operand is NaN.
UTL_API bool IsLessEqual(const double& a, const double& b);

/// Whether `value` is a whole multiple of `divisor` (note the order). With
/// q = value / divisor, the remainder q - floor(q) must be below 10^-digits, or
/// below DBL_MIN for a digit count of 0. The tolerance acts on one side only:
/// a quotient just above a whole number passes, 5.999999999999999 does not.
UTL_API bool IsMultiple(double divisor, double value, short digits);

/// `value` rounded to the nearest multiple of `step`, halves away from zero,
/// computed as floor(|value| / step + 0.5) * step with the sign of `value`
/// (so -0.4 with step 1 gives -0.0). A step that is not positive (zero,
/// negative or NaN) returns `value` unchanged; an infinite step gives NaN.
UTL_API double Round(const double& value, const double& step);

/// Nearest whole number, halves away from zero: floor(v + 0.5) for v >= 0 and
/// NaN, ceil(v - 0.5) below zero. Infinities and NaN are returned as they are.
UTL_API double RoundToDouble(double value);

/// RoundToDouble(value) as a 32-bit integer; saturates outside the 32-bit
/// range, NaN gives 0.
UTL_API int RoundToInt(double value);

/// Round(value, 1.0) as a 32-bit integer (returned in a long); saturates
/// outside the 32-bit range, NaN gives 0.
UTL_API long RoundToLong(const double& value);

}  // namespace CTT
