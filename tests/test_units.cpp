// Physical unit conversions: the stored factors, round trips, the
// feet-inch-eighths split with its carries, and bad input.
#include <UTL/Units.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Each conversion at a known value (exact where the stored factor decides the
// result: the feet factors have 9 and 11 decimals, the cubic yard divides by
// 3, not 27), and back within two roundings.
TEST(Units, KnownValuesAndRoundTrips) {
    using Fn = double (*)(double);
    const struct {
        Fn to, back;
        double x, expected, tolerance;
    } cases[] = {{Unit::M2IntFoot, Unit::IntFoot2M, 1.0, 3.280839895, 0},
                 {Unit::M2USFoot, Unit::USFoot2M, 1.0, 3.28083333333, 0},
                 {Unit::M2USMiles, Unit::USMiles2M, 1000.0, 0.6213699493769715, 0},
                 {Unit::Sqm2SqIntFoot, Unit::SqIntFoot2Sqm, 1.0, 10.7639104, 1e-7},
                 {Unit::Sqm2SqUSFoot, Unit::SqUSFoot2Sqm, 1.0, 10.7638674, 1e-7},
                 {Unit::USAcre2Sqm, Unit::Sqm2USAcre, 1.0, 4046.8726, 1e-4},
                 {Unit::IntAcre2Sqm, Unit::Sqm2IntAcre, 1.0, 4046.8564, 1e-4},
                 {Unit::Sqm2Hectare, Unit::Hectare2Sqm, 25000.0, 2.5, 0},
                 {Unit::HPa2MmHg, Unit::MmHg2HPa, 1013.25, 760.0, 1e-3},
                 {Unit::HPa2InchHg, Unit::InchHg2HPa, 1013.25, 29.92, 1e-2},
                 {Unit::HPa2PSI, Unit::PSI2HPa, 1013.25, 14.696, 1e-3},
                 {Unit::Celsius2Fahrenheit, Unit::Fahrenheit2Celsius, 100.0, 212.0, 0},
                 {Unit::Celsius2Fahrenheit, Unit::Fahrenheit2Celsius, -40.0, -40.0, 0},
                 {Unit::Ms2KmH, Unit::KmH2Ms, 10.0, 36.0, 0},
                 {Unit::Ms2USMpH, Unit::USMpH2Ms, 10.0, 36.0 * 0.6213699493769715, 0},
                 {Unit::Ms2IntKnots, Unit::IntKnots2Ms, 1852.0 / 3600.0, 1.0, 1e-9},
                 {Unit::Cubm2CubUSYard, nullptr, 1.0, 11.771485, 1e-6}};
    for (const auto& c : cases) {
        EXPECT_NEAR(c.to(c.x), c.expected, c.tolerance) << c.expected;
        if (!c.back) continue;
        for (double v : {c.x, 1234.5678, -987654.321})
            EXPECT_NEAR(c.back(c.to(v)), v, 8 * DBL_EPSILON * std::fabs(v));
    }
    EXPECT_NE(Unit::IntFoot2M(1.0), 0.3048);  // 0.3048 only to the factor's decimals
    EXPECT_TRUE(std::isnan(Unit::M2USFoot(kNaN)) && std::isnan(Unit::Fahrenheit2Celsius(kNaN)));
    EXPECT_EQ(Unit::USMpH2Ms(-kInf), -kInf);
}

// Rounded to the nearest eighth (a half rounds up) with carries into inches
// and feet; feet are a 64-bit long (no 32-bit cut), saturating beyond it.
TEST(Units, FeetInchesEighths) {
    const double kHalf = 0.5 / 96, kUnderHalf = 0.49 / 96, kCarry = 7.5 / 96, kFoot = 0.3 / 96 - 1;
    const double kBig = 3e9 + 0.5;
    const struct {
        double x;
        const char* expected;  // feet (max: LONG_MAX) inches eighths, + for not negative
    } cases[] = {{5.5, "5 6 0 +"},     {-2.25, "2 3 0 -"},         {3.0625, "3 0 6 +"},
                 {10.99, "10 11 7 +"}, {-0.0, "0 0 0 +"},          {10.999, "11 0 0 +"},
                 {kHalf, "0 0 1 +"},   {kUnderHalf, "0 0 0 +"},    {kCarry, "0 1 0 +"},
                 {kFoot, "1 0 0 -"},   {kBig, "3000000000 6 0 +"}, {0x1p63, "max 0 0 +"},
                 {-kInf, "max 0 0 -"}, {kNaN, "0 0 0 +"}};
    for (const auto& c : cases) {
        long feet = -1, inches = -1, eighths = -1;
        bool positive = false;
        Unit::Decimal2FeetInchEighthInch(c.x, feet, inches, eighths, positive);
        EXPECT_EQ((feet == LONG_MAX ? "max" : std::to_string(feet)) + ' ' + std::to_string(inches) +
                      ' ' + std::to_string(eighths) + (positive ? " +" : " -"),
                  c.expected)
            << c.x;
    }
    double x = 0.0;
    Unit::FeetInchEighthInch2Decimal(x, 2, 3, 0, false);
    EXPECT_EQ(x, -2.25);
    Unit::FeetInchEighthInch2Decimal(x, 1, 24, 16, true);  // unvalidated fields add up
    EXPECT_EQ(x, 3.0 + 16 / 96.0);
    Unit::FeetInchEighthInch2Decimal(x, LONG_MAX, LONG_MIN, LONG_MAX, false);
    EXPECT_TRUE(std::isfinite(x));
}

}  // namespace
