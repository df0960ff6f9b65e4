// Tolerant comparison and rounding: the tolerance edges, the one-sided
// multiple test, halves away from zero, and inputs outside the 32-bit range.
#include <UTL/CTT.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNext = 1 + 0x1p-52;                        // the double after 1
constexpr double kOdd = 5e9 + 1;                             // over 2 beyond the 32-bit range: x.5
constexpr double kUp = 2147483647.5, kDown = -2147483648.5;  // round beyond int
constexpr short kLo = SHRT_MIN, kHi = SHRT_MAX;

// The predicates as one signature: Eq, Dig (EqualIngoreDigits), GE, LE, Mul
// (IsMultiple: divisor, tested value, digit count).
using Predicate = bool (*)(double, double, short);
constexpr Predicate Eq = [](double a, double b, short) { return CTT::Equal(a, b); };
constexpr Predicate Dig = [](double a, double b, short n) {
    return CTT::EqualIngoreDigits(a, b, n);
};
constexpr Predicate GE = [](double a, double b, short) { return CTT::IsGreaterEqual(a, b); };
constexpr Predicate LE = [](double a, double b, short) { return CTT::IsLessEqual(a, b); };
constexpr Predicate Mul = [](double d, double v, short n) { return CTT::IsMultiple(d, v, n); };

// The tolerance of Equal is DBL_MIN: exact equality for ordinary values, and
// never for NaN or an infinity (inf - inf is NaN). IsMultiple's tolerance acts
// on one side only and its whole part has no 32-bit limit.
TEST(Ctt, Comparisons) {
    const struct {
        Predicate test;
        double a, b;
        short digits;
        int expected;
    } cases[] = {{Eq, 1, kNext, 0, 0},      {Eq, 0.0, -0.0, 0, 1},   {Eq, 0, 1e-310, 0, 1},
                 {Eq, 0, DBL_MIN, 0, 0},    {Eq, kNaN, kNaN, 0, 0},  {Eq, kInf, kInf, 0, 0},
                 {Dig, 1, 1.5, 0, 1},       {Dig, 1, 2, 0, 0},       {Dig, 1, 1.0011, 3, 0},
                 {Dig, 1, 1.0009, 3, 1},    {Dig, 100, 109, -1, 1},  {Dig, 100, 110, -1, 0},
                 {Dig, 1, 1, kHi, 0},       {Dig, 0, 1e300, kLo, 1}, {Dig, kInf, 0, kLo, 0},
                 {Dig, kNaN, 0, kLo, 0},    {GE, 1, 1, 0, 1},        {GE, 0.0, -0.0, 0, 1},
                 {GE, kInf, DBL_MAX, 0, 1}, {GE, kInf, kInf, 0, 0},  {GE, kNaN, 0, 0, 0},
                 {GE, kInf, kNaN, 0, 0},    {LE, 1, 1, 0, 1},        {LE, 2, 1, 0, 0},
                 {LE, -kInf, -kInf, 0, 0},  {LE, kNaN, 1, 0, 0},     {LE, 0, kNaN, 0, 0},
                 {Mul, 0.5, 2, 0, 1},       {Mul, 0.25, -1, 0, 1},   {Mul, 2, -3, 0, 0},
                 {Mul, 2, -3, -1, 1},       {Mul, 0.01, 0.07, 0, 0}, {Mul, 0.01, 0.07, 6, 1},
                 {Mul, 0.1, 0.6, 6, 0},     {Mul, 0, 1, 0, 0},       {Mul, 0, 1, kLo, 0},
                 {Mul, 0, 0, 0, 0},         {Mul, kNaN, 1, 0, 0},    {Mul, 0.5, -5e9, 0, 1},
                 {Mul, 2, kOdd, 0, 0},      {Mul, 2, kOdd, -1, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.test(c.a, c.b, c.digits), c.expected != 0)
            << c.a << ' ' << c.b << ' ' << c.digits;
    const float one = 1.0f, fnan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(CTT::Equal(one, one));
    EXPECT_FALSE(CTT::Equal(one, std::nextafter(one, 2.0f)) || CTT::Equal(fnan, fnan));
}

using Rounding = double (*)(double, double);
constexpr Rounding Step = [](double x, double step) { return CTT::Round(x, step); };
constexpr Rounding Whole = [](double x, double) { return CTT::RoundToDouble(x); };
constexpr Rounding Int = [](double x, double) { return double(CTT::RoundToInt(x)); };
constexpr Rounding Long = [](double x, double) { return double(CTT::RoundToLong(x)); };

// Halves away from zero; a step that is not positive leaves the value. The
// 32-bit results saturate (RoundToLong's too, in a 64-bit long); NaN gives 0.
TEST(Ctt, Rounding) {
    const struct {
        Rounding round;
        double x, step, expected;
    } cases[] = {{Step, 7.3, 0.5, 7.5},    {Step, -7.25, 0.5, -7.5}, {Step, -2.5, 1, -3},
                 {Step, -0.4, 1, -0.0},    {Step, 7.3, 0, 7.3},      {Step, 7.3, -1, 7.3},
                 {Step, 7.3, kNaN, 7.3},   {Step, 7.3, kInf, kNaN},  {Step, -kInf, 1, -kInf},
                 {Step, kNaN, 1, kNaN},    {Whole, 2.5, 0, 3},       {Whole, -2.5, 0, -3},
                 {Whole, -2.4, 0, -2},     {Whole, -kInf, 0, -kInf}, {Whole, kNaN, 0, kNaN},
                 {Int, -2.5, 0, -3},       {Long, 2.5, 0, 3},        {Long, -0.4, 0, 0.0},
                 {Int, kUp, 0, INT_MAX},   {Int, kDown, 0, INT_MIN}, {Int, 1e300, 0, INT_MAX},
                 {Int, -kInf, 0, INT_MIN}, {Int, kNaN, 0, 0},        {Long, 3e9, 0, INT_MAX},
                 {Long, -3e9, 0, INT_MIN}, {Long, kNaN, 0, 0}};
    for (const auto& c : cases) {
        const double r = c.round(c.x, c.step);
        EXPECT_TRUE(std::isnan(c.expected)
                        ? std::isnan(r)
                        : r == c.expected && !std::signbit(r) == !std::signbit(c.expected))
            << c.x << ' ' << c.step << " gives " << r;
    }
}

}  // namespace
