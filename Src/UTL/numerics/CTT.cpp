// Tolerant comparison and rounding of measured values.
#include <UTL/CTT.h>

#include <cmath>

#include "Numeric.h"

namespace {

// The absolute tolerance of CTT::Equal: the smallest normalised double.
constexpr double kEqualTolerance = 2.2250738585072014e-308;
constexpr double kHalf = 0.5;

}  // namespace

namespace CTT {

bool Equal(const double& a, const double& b) {
    return std::fabs(a - b) < kEqualTolerance;
}

bool Equal(const float& a, const float& b) {
    const double wideA = a;
    const double wideB = b;
    return Equal(wideA, wideB);
}

bool EqualIngoreDigits(const double& a, const double& b, short digits) {
    const int negated = -static_cast<int>(digits);
    return std::fabs(a - b) < std::pow(10.0, static_cast<double>(negated));
}

bool IsGreaterEqual(const double& a, const double& b) {
    return a > b || Equal(a, b);
}

bool IsLessEqual(const double& a, const double& b) {
    return a < b || Equal(a, b);
}

bool IsMultiple(double divisor, double value, short digits) {
    const double quotient = value / divisor;
    // floor in double equals the 32-bit floor wherever that fits, and keeps
    // working beyond it.
    const double remainder = quotient - std::floor(quotient);
    const double zero = 0.0;
    if (digits != 0) return EqualIngoreDigits(zero, remainder, digits);
    return Equal(zero, remainder);
}

double Round(const double& value, const double& step) {
    if (!(step > 0.0)) return value;
    const double magnitude = std::floor(std::fabs(value) / step + kHalf) * step;
    return std::copysign(magnitude, value);
}

double RoundToDouble(double value) {
    if (!(value < 0.0)) return std::floor(value + kHalf);
    return std::ceil(value - kHalf);
}

int RoundToInt(double value) {
    return UTL::detail::TruncToInt32(RoundToDouble(value));
}

long RoundToLong(const double& value) {
    return UTL::detail::TruncToInt32(Round(value, 1.0));
}

}  // namespace CTT
