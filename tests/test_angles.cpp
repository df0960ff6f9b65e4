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
    for (double bad : {kNaN, kInf})
        EXPECT_TRUE(std::isnan(Unit::VZenithRad2VElevationRad(bad)) &&
                    std::isnan(Unit::VElevationRad2VertHorizRatio(bad)));
    EXPECT_TRUE(std::isnan(Unit::DMS2Rad(kNaN)) && std::isnan(Unit::Rad2DMS(kNaN, 0)) &&
                std::isnan(Unit::Rad2GCCC(kNaN, 0)));
    EXPECT_TRUE(std::isnan(Unit::VElevationRad2VSlopePercent(kNaN)));
}

}  // namespace
