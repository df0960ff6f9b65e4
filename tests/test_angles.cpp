// Angle notations: joining and splitting DMS and GCCC parts, the carry by
// decimal count, resolutions, radians, vertical angles and bad input.
#include <UTL/Angles.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793, kDeg = kPi / 180.0;
constexpr int kMax = INT_MAX;
// Seconds that show as 60 (100 centesimal) at few decimals: 10 59 59.9964,
// 359 59 59.9 and 99 99 99.999.
constexpr double k11 = 10.999999, k360 = 359.99997222, k100 = 99.9999999;
// Carries that would pass INT32_MAX degrees: by the seconds at 0 decimals, by
// the 1' resolution (packed 59'30") and by the 1 degree resolution (30').
constexpr double kCarry = 2147483647.9999998, kRound1m = 2147483647.593, kRound1d = 2147483647.3;
using Unit::ResolutionAngleT;

// Joining without validation: any negative sign is negative, |degrees| is
// used, negative seconds count as 0; DMS2DMS carries (never overflowing) and
// snaps seconds within 1e-9 of 60, GCCC2GCCC does not carry.
TEST(Angles, JoiningParts) {
    using Join = double (*)(int, int, int, double);
    const Join D2Deg = Unit::DMS2Deg, D2Rad = Unit::DMS2Rad, D2Dms = Unit::DMS2DMS;
    const Join G2G = Unit::GCCC2GCCC, G2Grad = Unit::GCCC2Grad;
    const struct {
        Join join;
        int sign, whole, min;
        double sec, expected;
    } cases[] = {{D2Deg, 1, 12, 30, 0.0, 12.5},         {D2Deg, -1, 0, 30, 36.0, -0.51},
                 {D2Deg, 1, 12, 30, -5.0, 12.5},        {D2Deg, -7, 12, 30, 0.0, -12.5},
                 {D2Deg, 0, -12, 30, 0.0, 12.5},        {D2Deg, 1, INT_MIN, 0, 0.0, 0x1p31},
                 {D2Rad, 1, 180, 0, 0.0, kPi},          {D2Dms, 1, 12, 34, 56.0, 12.3456},
                 {D2Dms, -1, 12, 59, 60.0, -13.0},      {D2Dms, 1, 0, 75, 0.0, 1.15},
                 {D2Dms, 1, 0, 0, 150.0, 0.023},        {D2Dms, 1, kMax, 60, 0.0, 0x1p31},
                 {G2G, 1, 123, 45, 67.0, 123.4567},     {G2G, -1, 0, 150, 0.0, -1.5},
                 {G2Grad, -1, 123, 45, 67.0, -123.4567}};
    for (const auto& c : cases)
        EXPECT_EQ(c.join(c.sign, c.whole, c.min, c.sec), c.expected) << c.whole << ' ' << c.min;
    EXPECT_EQ(Unit::DMS2DMS(1, 12, 59, 59.9999999999), 13.0);  // snapped to 60
    EXPECT_NE(Unit::DMS2DMS(1, 12, 59, 59.999999), 13.0);      // too far to snap
    EXPECT_EQ(Unit::GCCC2Rad(1, 200, 0, 0.0), 200.0 * 0.015707963267948967);
    EXPECT_EQ(Unit::DMS2DMS(1, kMax, kMax, 0.0), 2147483647.0 + 35791394.0 + 0.07);
    EXPECT_TRUE(std::isfinite(Unit::DMS2DMS(1, kMax, kMax, 1e300)));
    for (double bad : {kNaN, kInf}) EXPECT_TRUE(std::isnan(Unit::DMS2DMS(1, 0, 0, bad)));
    EXPECT_TRUE(std::isnan(Unit::DMS2Deg(1, 0, 0, kNaN)));
}

// How a row is split: P0 to P01s and P7 are Unit::DMS2DMS (packed DMS) with
// that resolution (None, 5", 10", 1', 1 degree, 0.1", and one outside the
// table); the others name the splitting function.
enum Splitter { P0, P5s, P10s, P1m, P1d, P01s, P7 = 7, Deg, Gon, Gccc, RadDms, RadGccc };

// Seconds within 1e-8 (NaN expects NaN). Outside the int range the parts are
// sign, INT32_MAX, 0, 0.0, carries staying there; NaN gives +1, 0, 0, NaN.
TEST(Angles, SplittingIntoParts) {
    const struct {
        Splitter how;
        double value;
        int decimals, sign, whole, min;
        double sec;
    } cases[] = {{Deg, 12.5, 0, 1, 12, 30, 0.0},        {Deg, -0.5, 0, -1, 0, 30, 0.0},
                 {Deg, -0.0, 0, 1, 0, 0, 0.0},          {Deg, k11, 0, 1, 11, 0, 0.0},
                 {Deg, k11, 3, 1, 10, 59, 59.9964},     {Deg, k11, -1, 1, 10, 59, 59.9964},
                 {Deg, k11, kMax, 1, 10, 59, 59.9964},  {Deg, k360, 0, 1, 360, 0, 0.0},
                 {P0, 12.34, 0, 1, 12, 34, 0.0},        {P0, 12.75, 0, 1, 12, 75, 0.0},
                 {P5s, 12.3457, 3, 1, 12, 34, 55.0},    {P5s, 12.3458, 3, 1, 12, 35, 0.0},
                 {P10s, 12.3457, 3, 1, 12, 35, 0.0},    {P10s, 12.3454, 3, 1, 12, 34, 50.0},
                 {P01s, 12.345678, 3, 1, 12, 34, 56.8}, {P1m, 12.5930, 3, 1, 13, 0, 0.0},
                 {P1m, 12.5929, 3, 1, 12, 59, 0.0},     {P1d, 12.3030, 3, 1, 13, 0, 0.0},
                 {P1d, 12.2959, 3, 1, 12, 0, 0.0},      {P01s, 12.345996, 3, 1, 12, 35, 0.0},
                 {P01s, 12.345994, 3, 1, 12, 34, 59.9}, {P01s, 12.345994, 0, 1, 12, 35, 0.0},
                 {P0, 12.345999, 3, 1, 12, 34, 59.99},  {P7, 12.345999, 3, 1, 12, 35, 0.0},
                 {Gon, 123.4567, 2, 1, 123, 45, 67.0},  {Gon, -0.25, 2, -1, 0, 25, 0.0},
                 {Gon, k100, 2, 1, 100, 0, 0.0},        {Gon, k100, 4, 1, 99, 99, 99.999},
                 {Gccc, 1.5, 2, 1, 1, 50, 0.0},         {Gccc, 0.0099999999, 2, 1, 0, 1, 0.0},
                 {RadDms, -kPi, 0, -1, 180, 0, 0.0},    {RadGccc, kPi, 2, 1, 200, 0, 0.0},
                 {Deg, kInf, 0, 1, kMax, 0, 0.0},       {Deg, 0x1p31, 3, 1, kMax, 0, 0.0},
                 {Deg, kCarry, 0, 1, kMax, 0, 0.0},     {P1d, -1e300, 0, -1, kMax, 0, 0.0},
                 {P1m, kRound1m, 0, 1, kMax, 0, 0.0},   {P1d, kRound1d, 0, 1, kMax, 0, 0.0},
                 {Gon, -kInf, 2, -1, kMax, 0, 0.0},     {Gccc, -1e19, 2, -1, kMax, 0, 0.0},
                 {Deg, kNaN, 0, 1, 0, 0, kNaN},         {P5s, kNaN, 0, 1, 0, 0, kNaN},
                 {P1m, kNaN, 0, 1, 0, 0, 0.0}};
    for (const auto& c : cases) {
        int sign = 99, whole = 99, min = 99;
        double sec = 99.0;
        const double v = c.value;
        const int n = c.decimals;
        if (c.how <= P7) Unit::DMS2DMS(v, sign, whole, min, sec, n, ResolutionAngleT(c.how));
        if (c.how == Deg) Unit::Deg2DMS(v, sign, whole, min, sec, n);
        if (c.how == Gon) Unit::Grad2GCCC(v, sign, whole, min, sec, n);
        if (c.how == Gccc) Unit::GCCC2GCCC(v, sign, whole, min, sec, n);
        if (c.how == RadDms) Unit::Rad2DMS(v, sign, whole, min, sec, n);
        if (c.how == RadGccc) Unit::Rad2GCCC(v, sign, whole, min, sec, n);
        EXPECT_TRUE(sign == c.sign && whole == c.whole && min == c.min &&
                    (std::isnan(c.sec) ? std::isnan(sec) : std::fabs(sec - c.sec) <= 1e-8))
            << c.how << ": " << v << " (" << n << ") gives " << sign << ' ' << whole << ' ' << min
            << ' ' << sec;
    }
    // Packed digit groups are split unrounded: 12.3456 gives a little below 56".
    int sign, whole, min;
    double sec;
    Unit::DMS2DMS(12.3456, sign, whole, min, sec, 0, Unit::RES_None);
    EXPECT_NEAR(sec, 55.99999999999383, 1e-12);
}

// Packed DMS to radians joins without a carry; radians to packed values join
// the split parts. Vertical angles: zenith in either face, slope and ratio
// with their sentinels (positive for both directions), bad input.
TEST(Angles, RadiansAndVerticalAngles) {
    EXPECT_EQ(Unit::DMS2Rad(12.3460), Unit::DMS2Rad(1, 12, 35, 0.0));
    EXPECT_NEAR(Unit::DMS2Rad(-12.3456), -Unit::DMS2Rad(1, 12, 34, 56.0), 1e-15);
    EXPECT_NEAR(Unit::Rad2DMS(Unit::DMS2Rad(12.3456), 0), 12.3456, 1e-12);
    EXPECT_NEAR(Unit::Rad2GCCC(Unit::GCCC2Rad(123.4567), 4), 123.4567, 1e-12);
    EXPECT_EQ(Unit::VElevationRad2VZenithRad(-kPi), 1.5 * kPi);  // not reduced
    const double zenith[] = {0, 90, 180, 270, 300, 360, -90, 765},
                 elevation[] = {90, 0, -90, 0, 30, 90, 0, 45};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(Unit::VZenithRad2VElevationRad(zenith[i] * kDeg), elevation[i] * kDeg, 1e-12);
    EXPECT_NEAR(Unit::VZenithRad2VElevationRad(1e6 * 2 * kPi + 0.25), kPi / 2 - 0.25, 1e-8);
    EXPECT_LE(std::fabs(Unit::VZenithRad2VElevationRad(1e300)), kPi / 2);  // no 32-bit turn count
    EXPECT_NEAR(Unit::VElevationRad2VSlopePercent(-71.5 * kDeg), -298.87, 0.01);
    for (double deg : {71.6, -71.6, 100.0, kInf})
        EXPECT_EQ(Unit::VElevationRad2VSlopePercent(deg * kDeg), 1000.0) << deg;
    EXPECT_NEAR(Unit::VElevationRad2VertHorizRatio(std::atan(-999.0)), -999.0, 1e-9);
    for (double deg : {89.95, -89.95, 90.0})
        EXPECT_EQ(Unit::VElevationRad2VertHorizRatio(deg * kDeg), 1000000.0) << deg;
    EXPECT_NEAR(Unit::VertHorizRatio2VElevationRad(-1.0), -45 * kDeg, 1e-15);
    EXPECT_NEAR(Unit::VSlopePercent2VElevationRad(100.0), 45 * kDeg, 1e-15);
    for (double v : {kNaN, kInf})
        EXPECT_TRUE(std::isnan(Unit::VZenithRad2VElevationRad(v)) &&
                    std::isnan(Unit::VElevationRad2VertHorizRatio(v)));
    EXPECT_TRUE(std::isnan(Unit::DMS2Rad(kNaN)) && std::isnan(Unit::Rad2DMS(kNaN, 0)) &&
                std::isnan(Unit::Rad2GCCC(kNaN, 0)) &&
                std::isnan(Unit::VElevationRad2VSlopePercent(kNaN)));
}

}  // namespace
