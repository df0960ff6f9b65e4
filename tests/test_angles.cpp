// Angle notations: joining and splitting DMS and GCCC parts, the carry by
// decimal count, resolutions, radians, vertical angles and bad input.
#include <UTL/Angles.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793, kDeg = kPi / 180.0;
using Unit::ResolutionAngleT;

TEST(Angles, JoiningParts) {
    const struct {
        double (*join)(int, int, int, double);
        int sign, whole, min;
        double sec, expected;
    } cases[] = {
        {Unit::DMS2Deg, 1, 12, 30, 0.0, 12.5},
        {Unit::DMS2Deg, -1, 0, 30, 36.0, -0.51},
        {Unit::DMS2Deg, 1, 12, 30, -5.0, 12.5},   // negative seconds ignored
        {Unit::DMS2Deg, -7, 12, 30, 0.0, -12.5},  // any negative sign
        {Unit::DMS2Deg, 0, -12, 30, 0.0, 12.5},   // |degrees|; sign 0 is positive
        {Unit::DMS2Deg, 1, INT_MIN, 0, 0.0, 2147483648.0},
        {Unit::DMS2Rad, 1, 12, 30, 0.0, 12.5 * 0.017453292519943295},
        {Unit::DMS2DMS, 1, 12, 34, 56.0, 12.3456},
        {Unit::DMS2DMS, -1, 12, 59, 60.0, -13.0},
        {Unit::DMS2DMS, 1, 12, 59, 59.9999999999, 13.0},  // snapped to 60
        {Unit::DMS2DMS, 1, 0, 75, 0.0, 1.15},
        {Unit::DMS2DMS, 1, 0, 0, 150.0, 2 / 100.0 + 30 / 10000.0},
        {Unit::DMS2DMS, 1, 0, 0, -3.0, 0.0},
        {Unit::DMS2DMS, 1, INT_MAX, 60, 0.0, 2147483648.0},  // carries never overflow
        {Unit::DMS2DMS, 1, INT_MAX, INT_MAX, 0.0, 2147483647.0 + 35791394.0 + 0.07},
        {Unit::GCCC2GCCC, 1, 123, 45, 67.0, 123.4567},
        {Unit::GCCC2GCCC, -1, 0, 150, 0.0, -1.5},  // no carries
        {Unit::GCCC2GCCC, 1, 5, 0, -1.0, 5.0},
        {Unit::GCCC2Grad, -1, 123, 45, 67.0, -123.4567},
        {Unit::GCCC2Rad, 1, 200, 0, 0.0, 200.0 * 0.015707963267948967},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.join(c.sign, c.whole, c.min, c.sec), c.expected) << c.whole << ' ' << c.min;
    EXPECT_NE(Unit::DMS2DMS(1, 12, 59, 59.999999), 13.0);  // too far to snap
    EXPECT_TRUE(std::isfinite(Unit::DMS2DMS(1, INT_MAX, INT_MAX, 1e300)));
    for (double bad : {kNaN, kInf}) EXPECT_TRUE(std::isnan(Unit::DMS2DMS(1, 0, 0, bad)));
    EXPECT_TRUE(std::isnan(Unit::DMS2Deg(1, 0, 0, kNaN)));
}

enum Splitter { Deg, PackedDms, Gon, PackedGccc, RadDms, RadGccc };

struct Split {
    Splitter from;
    double value;
    int decimals;
    ResolutionAngleT res;
    int sign, whole, min;
    double sec, tolerance;
};

// Seconds within `tolerance` (exact when 0; NaN expects NaN).
TEST(Angles, SplittingIntoParts) {
    const Split cases[] = {
        {Deg, 12.5, 0, {}, 1, 12, 30, 0.0, 0},
        {Deg, -0.5, 0, {}, -1, 0, 30, 0.0, 0},
        {Deg, -0.0, 0, {}, 1, 0, 0, 0.0, 0},
        {Deg, 10.999999, 0, {}, 1, 11, 0, 0.0, 0},  // 59.9964" would show as 60
        {Deg, 10.999999, 3, {}, 1, 10, 59, 59.9964, 1e-6},
        {Deg, 10.999999, -1, {}, 1, 10, 59, 59.9964, 1e-6},  // carry off
        {Deg, 10.999999, INT_MIN, {}, 1, 10, 59, 59.9964, 1e-6},
        {Deg, 10.999999, INT_MAX, {}, 1, 10, 59, 59.9964, 1e-6},
        {Deg, 359.0 + 59.0 / 60.0 + 59.9 / 3600.0, 0, {}, 1, 360, 0, 0.0, 0},  // no circle
        {PackedDms, 12.3456, 0, Unit::RES_None, 1, 12, 34, 55.99999999999383, 1e-12},
        {PackedDms, 12.34, 0, Unit::RES_None, 1, 12, 34, 0.0, 1e-9},  // the minutes guard
        {PackedDms, 12.75, 0, Unit::RES_None, 1, 12, 75, 0.0, 1e-9},  // not normalised
        {PackedDms, -12.3456, 3, Unit::RES_None, -1, 12, 34, 56.0, 1e-9},
        {PackedDms, 12.3457, 3, Unit::RES_5Sec, 1, 12, 34, 55.0, 0},
        {PackedDms, 12.3458, 3, Unit::RES_5Sec, 1, 12, 35, 0.0, 0},  // 60" carried
        {PackedDms, 12.3457, 3, Unit::RES_10Sec, 1, 12, 35, 0.0, 0},
        {PackedDms, 12.3454, 3, Unit::RES_10Sec, 1, 12, 34, 50.0, 0},
        {PackedDms, 12.5930, 3, Unit::RES_1Min, 1, 13, 0, 0.0, 0},
        {PackedDms, 12.5929, 3, Unit::RES_1Min, 1, 12, 59, 0.0, 0},
        {PackedDms, 12.3030, 3, Unit::RES_1Deg, 1, 13, 0, 0.0, 0},
        {PackedDms, 12.2959, 3, Unit::RES_1Deg, 1, 12, 0, 0.0, 0},  // seconds ignored
        {PackedDms, 12.345678, 3, Unit::RES_TenthSec, 1, 12, 34, 56.8, 1e-9},
        {PackedDms, 12.345996, 3, Unit::RES_TenthSec, 1, 12, 35, 0.0, 0},
        {PackedDms, 12.345994, 3, Unit::RES_TenthSec, 1, 12, 34, 59.9, 1e-9},  // keeps 3
        {PackedDms, 12.345994, 0, Unit::RES_TenthSec, 1, 12, 35, 0.0, 0},
        {PackedDms, 12.345999, 3, Unit::RES_None, 1, 12, 34, 59.99, 1e-8},
        // Any other resolution, also outside the table, forces 0 decimals.
        {PackedDms, 12.345999, 3, ResolutionAngleT(7), 1, 12, 35, 0.0, 0},
        {PackedDms, 12.345999, 3, ResolutionAngleT(-1), 1, 12, 35, 0.0, 0},
        {Gon, 123.4567, 2, {}, 1, 123, 45, 67.0, 1e-9},
        {Gon, -0.25, 2, {}, -1, 0, 25, 0.0, 1e-9},
        {Gon, 99.9999999, 2, {}, 1, 100, 0, 0.0, 0},  // 99.99 cc shows as 100
        {Gon, 99.9999999, 4, {}, 1, 99, 99, 99.999, 1e-6},
        {PackedGccc, 1.5, 2, {}, 1, 1, 50, 0.0, 1e-9},
        {PackedGccc, 0.0099999999, 2, {}, 1, 0, 1, 0.0, 0},  // carried
        {RadDms, 30.5 * kDeg, 0, {}, 1, 30, 30, 0.0, 1e-9},
        {RadGccc, -kPi / 4, 2, {}, -1, 50, 0, 0.0, 1e-9},
        // Beyond the int range: sign, INT32_MAX, 0, 0.0; carries stay there.
        {Deg, kInf, 0, {}, 1, INT_MAX, 0, 0.0, 0},
        {Deg, -kInf, -1, {}, -1, INT_MAX, 0, 0.0, 0},
        {Deg, 2147483648.0, 3, {}, 1, INT_MAX, 0, 0.0, 0},
        {Deg, 2147483647.9999998, 0, {}, 1, INT_MAX, 0, 0.0, 0},
        {PackedDms, -1e300, 0, Unit::RES_1Deg, -1, INT_MAX, 0, 0.0, 0},
        {PackedDms, 2147483647.5930, 0, Unit::RES_1Min, 1, INT_MAX, 0, 0.0, 0},
        {PackedDms, 2147483647.3, 0, Unit::RES_1Deg, 1, INT_MAX, 0, 0.0, 0},
        {Gon, kInf, 2, {}, 1, INT_MAX, 0, 0.0, 0},
        {PackedGccc, -1e19, 2, {}, -1, INT_MAX, 0, 0.0, 0},
        {RadDms, 1e300, 0, {}, 1, INT_MAX, 0, 0.0, 0},
        // NaN: +1, 0, 0 and NaN seconds, unless a resolution zeroes them.
        {Deg, kNaN, 0, {}, 1, 0, 0, kNaN, 0},
        {PackedDms, kNaN, 0, Unit::RES_5Sec, 1, 0, 0, kNaN, 0},
        {PackedDms, kNaN, 0, Unit::RES_1Min, 1, 0, 0, 0.0, 0},
        {Gon, kNaN, 2, {}, 1, 0, 0, kNaN, 0},
    };
    for (const Split& c : cases) {
        int sign = 99, whole = 99, min = 99;
        double sec = 99.0;
        const double v = c.value;
        if (c.from == Deg) Unit::Deg2DMS(v, sign, whole, min, sec, c.decimals);
        if (c.from == PackedDms) Unit::DMS2DMS(v, sign, whole, min, sec, c.decimals, c.res);
        if (c.from == Gon) Unit::Grad2GCCC(v, sign, whole, min, sec, c.decimals);
        if (c.from == PackedGccc) Unit::GCCC2GCCC(v, sign, whole, min, sec, c.decimals);
        if (c.from == RadDms) Unit::Rad2DMS(v, sign, whole, min, sec, c.decimals);
        if (c.from == RadGccc) Unit::Rad2GCCC(v, sign, whole, min, sec, c.decimals);
        SCOPED_TRACE(::testing::Message() << c.from << ": " << v << " (" << c.decimals << ')');
        EXPECT_TRUE(sign == c.sign && whole == c.whole && min == c.min)
            << sign << ' ' << whole << ' ' << min;
        EXPECT_TRUE(std::isnan(c.sec) ? std::isnan(sec) : std::fabs(sec - c.sec) <= c.tolerance)
            << sec;
    }
}

TEST(Angles, PackedValuesAndRadians) {
    EXPECT_EQ(Unit::DMS2Rad(12.3460), Unit::DMS2Rad(1, 12, 35, 0.0));  // 60" joined plainly
    EXPECT_NEAR(Unit::DMS2Rad(-12.3456), -Unit::DMS2Rad(1, 12, 34, 56.0), 1e-15);
    EXPECT_NEAR(Unit::Rad2DMS(Unit::DMS2Rad(12.3456), 0), 12.3456, 1e-12);
    EXPECT_NEAR(Unit::Rad2DMS(-kPi / 2, 3), -90.0, 1e-12);
    EXPECT_NEAR(Unit::Rad2GCCC(Unit::GCCC2Rad(123.4567), 4), 123.4567, 1e-12);
    EXPECT_EQ(Unit::GCCC2Rad(100.0), 100.0 * 0.015707963267948967);
    EXPECT_TRUE(std::isnan(Unit::DMS2Rad(kNaN)) && std::isnan(Unit::Rad2DMS(kNaN, 0)) &&
                std::isnan(Unit::Rad2GCCC(kNaN, 0)));
}

TEST(Angles, VerticalAngles) {
    EXPECT_EQ(Unit::VElevationRad2VZenithRad(-kPi), 1.5 * kPi);  // not reduced
    for (auto c : {std::pair<double, double>{0, 90},
                   {90, 0},
                   {180, -90},
                   {270, 0},
                   {300, 30},
                   {360, 90},
                   {-90, 0},
                   {720 + 45, 45}})
        EXPECT_NEAR(Unit::VZenithRad2VElevationRad(c.first * kDeg), c.second * kDeg, 1e-12);
    EXPECT_NEAR(Unit::VElevationRad2VSlopePercent(45 * kDeg), 100.0, 1e-12);
    EXPECT_NEAR(Unit::VElevationRad2VSlopePercent(-71.5 * kDeg), -298.87, 0.01);
    for (double deg : {71.6, -71.6, 85.0, 100.0, kInf, -kInf})
        EXPECT_EQ(Unit::VElevationRad2VSlopePercent(deg * kDeg), 1000.0) << deg;
    EXPECT_NEAR(Unit::VSlopePercent2VElevationRad(-5000.0), -88.854 * kDeg, 1e-4);  // no limit
    EXPECT_NEAR(Unit::VElevationRad2VertHorizRatio(89.9 * kDeg), 572.96, 0.01);
    EXPECT_NEAR(Unit::VElevationRad2VertHorizRatio(std::atan(-999.0)), -999.0, 1e-9);
    for (double deg : {89.95, -89.95, 90.0})
        EXPECT_EQ(Unit::VElevationRad2VertHorizRatio(deg * kDeg), 1000000.0) << deg;
    EXPECT_NEAR(Unit::VertHorizRatio2VElevationRad(-1.0), -45 * kDeg, 1e-15);
    EXPECT_EQ(Unit::VertHorizRatio2VElevationRad(kInf), kPi / 2);
    for (double bad : {kNaN, kInf, -kInf}) {
        EXPECT_TRUE(std::isnan(Unit::VZenithRad2VElevationRad(bad))) << bad;
        EXPECT_TRUE(std::isnan(Unit::VElevationRad2VertHorizRatio(bad))) << bad;
    }
    EXPECT_TRUE(std::isnan(Unit::VElevationRad2VSlopePercent(kNaN)));
    // Whole turns counted without a 32-bit limit.
    for (double zenith : {1e10, -1e20, 1e300})
        EXPECT_LE(std::fabs(Unit::VZenithRad2VElevationRad(zenith)), kPi / 2 + 1e-12) << zenith;
    EXPECT_NEAR(Unit::VZenithRad2VElevationRad(1e6 * 2 * kPi + 0.25), kPi / 2 - 0.25, 1e-8);
}

}  // namespace
