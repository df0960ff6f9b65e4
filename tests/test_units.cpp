// Physical unit conversions: the stored factors and operation order, the
// feet-inch-eighths split with its carries, round trips and bad input.
#include <UTL/Units.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(UnitsFactors, LengthsUseTheStoredDecimalFactors) {
    EXPECT_EQ(Unit::M2IntFoot(1.0), 3.280839895);
    EXPECT_EQ(Unit::M2USFoot(1.0), 3.28083333333);
    EXPECT_EQ(Unit::IntFoot2M(3.280839895), 1.0);
    // 1 ft = 0.3048 m only up to the stored factor's 9 decimals.
    EXPECT_NEAR(Unit::IntFoot2M(1.0), 0.3048, 2e-12);
    EXPECT_NE(Unit::IntFoot2M(1.0), 0.3048);
    EXPECT_NEAR(Unit::USFoot2M(1.0), 1200.0 / 3937.0, 1e-12);
    EXPECT_EQ(Unit::M2USMiles(1000.0), 0.6213699493769715);
    EXPECT_NEAR(Unit::USMiles2M(1.0), 1609.347219, 1e-6);
}

TEST(UnitsFactors, AreasAndVolumes) {
    EXPECT_EQ(Unit::Sqm2SqIntFoot(2.0), 2.0 * 3.280839895 * 3.280839895);
    EXPECT_EQ(Unit::SqUSFoot2Sqm(2.0), 2.0 / 3.28083333333 / 3.28083333333);
    EXPECT_NEAR(Unit::USAcre2Sqm(1.0), 4046.8726, 1e-4);
    EXPECT_NEAR(Unit::IntAcre2Sqm(1.0), 4046.8564, 1e-4);
    EXPECT_EQ(Unit::Sqm2Hectare(25000.0), 2.5);
    EXPECT_EQ(Unit::Hectare2Sqm(2.5), 25000.0);
    EXPECT_EQ(Unit::Cubm2CubIntFoot(1.0), 3.280839895 * 3.280839895 * 3.280839895);
    EXPECT_NEAR(Unit::Cubm2CubUSFoot(1.0), 35.314455, 1e-6);
    // The cubic-yard divisor is 3, not 27.
    EXPECT_EQ(Unit::Cubm2CubUSYard(1.0), Unit::Cubm2CubUSFoot(1.0) / 3.0);
    EXPECT_NEAR(Unit::Cubm2CubUSYard(1.0), 11.771485, 1e-6);
}

TEST(UnitsFactors, PressuresTemperaturesSpeeds) {
    EXPECT_NEAR(Unit::HPa2MmHg(1013.25), 760.0, 1e-3);
    EXPECT_NEAR(Unit::HPa2InchHg(1013.25), 29.92, 1e-2);
    EXPECT_NEAR(Unit::HPa2PSI(1013.25), 14.696, 1e-3);
    EXPECT_EQ(Unit::Celsius2Fahrenheit(100.0), 212.0);
    EXPECT_EQ(Unit::Celsius2Fahrenheit(0.0), 32.0);
    EXPECT_EQ(Unit::Celsius2Fahrenheit(-40.0), -40.0);
    EXPECT_EQ(Unit::Fahrenheit2Celsius(212.0), 100.0);
    EXPECT_EQ(Unit::Fahrenheit2Celsius(-40.0), -40.0);
    EXPECT_EQ(Unit::Ms2KmH(10.0), 36.0);
    EXPECT_EQ(Unit::KmH2Ms(36.0), 10.0);
    EXPECT_EQ(Unit::Ms2USMpH(10.0), 36.0 * 0.6213699493769715);
    EXPECT_EQ(Unit::USMpH2Ms(60.0), (60.0 / 0.6213699493769715) / 3.6);
    EXPECT_NEAR(Unit::IntKnots2Ms(1.0), 1852.0 / 3600.0, 1e-9);
}

TEST(UnitsFactors, RoundTripsWithinTwoRoundings) {
    using Fn = double (*)(double);
    const std::pair<Fn, Fn> pairs[] = {
        {Unit::M2USMiles, Unit::USMiles2M},
        {Unit::M2IntFoot, Unit::IntFoot2M},
        {Unit::M2USFoot, Unit::USFoot2M},
        {Unit::Sqm2SqIntFoot, Unit::SqIntFoot2Sqm},
        {Unit::Sqm2SqUSFoot, Unit::SqUSFoot2Sqm},
        {Unit::Sqm2USAcre, Unit::USAcre2Sqm},
        {Unit::Sqm2IntAcre, Unit::IntAcre2Sqm},
        {Unit::Sqm2Hectare, Unit::Hectare2Sqm},
        {Unit::HPa2MmHg, Unit::MmHg2HPa},
        {Unit::HPa2InchHg, Unit::InchHg2HPa},
        {Unit::HPa2PSI, Unit::PSI2HPa},
        {Unit::Celsius2Fahrenheit, Unit::Fahrenheit2Celsius},
        {Unit::Ms2KmH, Unit::KmH2Ms},
        {Unit::Ms2USMpH, Unit::USMpH2Ms},
        {Unit::Ms2IntKnots, Unit::IntKnots2Ms},
    };
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> value(1.0, 1e6);
    for (const auto& pair : pairs) {
        for (int i = 0; i < 1000; ++i) {
            const double x = value(rng);
            EXPECT_NEAR(pair.second(pair.first(x)), x,
                        8 * std::numeric_limits<double>::epsilon() * x);
        }
    }
}

// ---- Feet, inches and eighths -----------------------------------------------

struct Fie {
    long feet = -1, inches = -1, eighths = -1;
    bool positive = false;
};
Fie Split(double x) {
    Fie f;
    Unit::Decimal2FeetInchEighthInch(x, f.feet, f.inches, f.eighths, f.positive);
    return f;
}
void ExpectFie(double x, long feet, long inches, long eighths, bool positive) {
    const Fie f = Split(x);
    EXPECT_EQ(f.feet, feet) << x;
    EXPECT_EQ(f.inches, inches) << x;
    EXPECT_EQ(f.eighths, eighths) << x;
    EXPECT_EQ(f.positive, positive) << x;
}

TEST(UnitsFeetInch, SplitRoundsToTheNearestEighth) {
    ExpectFie(5.5, 5, 6, 0, true);
    ExpectFie(-2.25, 2, 3, 0, false);
    ExpectFie(3.0625, 3, 0, 6, true);
    ExpectFie(10.99, 10, 11, 7, true);
    ExpectFie(0.0, 0, 0, 0, true);
    ExpectFie(-0.0, 0, 0, 0, true);
}

TEST(UnitsFeetInch, CarriesThroughInchesAndFeet) {
    ExpectFie(10.999, 11, 0, 0, true);
    ExpectFie(0.5 / 96.0, 0, 0, 1, true);  // exactly half an eighth rounds up
    ExpectFie(0.49 / 96.0, 0, 0, 0, true);
    ExpectFie(7.5 / 96.0, 0, 1, 0, true);  // eighths carry into inches
    ExpectFie(-(1.0 - 0.3 / 96.0), 1, 0, 0, false);
}

TEST(UnitsFeetInch, JoinAddsUpUnvalidatedFields) {
    double x = 0.0;
    Unit::FeetInchEighthInch2Decimal(x, 5, 6, 0, true);
    EXPECT_EQ(x, 5.5);
    Unit::FeetInchEighthInch2Decimal(x, 2, 3, 0, false);
    EXPECT_EQ(x, -2.25);
    Unit::FeetInchEighthInch2Decimal(x, 1, 24, 16, true);  // 1 ft + 2 ft + 2 in
    EXPECT_EQ(x, (24 / 12.0 + 1) + 16 / 96.0);
    Unit::FeetInchEighthInch2Decimal(x, LONG_MAX, LONG_MIN, LONG_MAX, false);
    EXPECT_TRUE(std::isfinite(x));
}

TEST(UnitsFeetInch, EveryEighthRoundTrips) {
    for (long feet = 0; feet < 3; ++feet) {
        for (long inches = 0; inches < 12; ++inches) {
            for (long eighths = 0; eighths < 8; ++eighths) {
                double x = 0.0;
                Unit::FeetInchEighthInch2Decimal(x, feet, inches, eighths, false);
                const Fie f = Split(x);
                EXPECT_EQ(f.feet, feet);
                EXPECT_EQ(f.inches, inches);
                EXPECT_EQ(f.eighths, eighths);
                EXPECT_EQ(f.positive, x == 0.0);  // -0.0 counts as non-negative
            }
        }
    }
}

TEST(UnitsFeetInch, BadInput) {
    ExpectFie(kNaN, 0, 0, 0, true);
    ExpectFie(kInf, LONG_MAX, 0, 0, true);
    ExpectFie(-kInf, LONG_MAX, 0, 0, false);
    ExpectFie(1e300, LONG_MAX, 0, 0, true);
    ExpectFie(9223372036854775808.0, LONG_MAX, 0, 0, true);
    ExpectFie(4611686018427387904.0, 4611686018427387904L, 0, 0, true);  // 2^62 fits
    ExpectFie(3e9 + 0.5, 3000000000L, 6, 0, true);  // long is not cut to 32 bits
}

TEST(UnitsBadInput, NaNAndInfinitiesPropagate) {
    EXPECT_TRUE(std::isnan(Unit::M2USFoot(kNaN)));
    EXPECT_TRUE(std::isnan(Unit::Fahrenheit2Celsius(kNaN)));
    EXPECT_EQ(Unit::Cubm2CubUSYard(kInf), kInf);
    EXPECT_EQ(Unit::USMpH2Ms(-kInf), -kInf);
}

}  // namespace
