// Angle notations: joining and splitting DMS and GCCC parts, packed values,
// the carry by decimal count, resolutions, vertical angles, bad input.
#include <UTL/Angles.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <ostream>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;

struct Parts {
    int sign = 99, whole = 99, min = 99;
    double sec = 99.0;
};
std::ostream& operator<<(std::ostream& os, const Parts& p) {
    return os << p.sign << ' ' << p.whole << ' ' << p.min << ' ' << p.sec;
}

Parts FromDeg(double v, int decimals) {
    Parts p;
    Unit::Deg2DMS(v, p.sign, p.whole, p.min, p.sec, decimals);
    return p;
}
Parts FromPacked(double v, int decimals, Unit::ResolutionAngleT res) {
    Parts p;
    Unit::DMS2DMS(v, p.sign, p.whole, p.min, p.sec, decimals, res);
    return p;
}
Parts FromGon(double v, int decimals) {
    Parts p;
    Unit::Grad2GCCC(v, p.sign, p.whole, p.min, p.sec, decimals);
    return p;
}
Parts FromPackedGccc(double v, int decimals) {
    Parts p;
    Unit::GCCC2GCCC(v, p.sign, p.whole, p.min, p.sec, decimals);
    return p;
}

// Sign, whole and minutes exactly; seconds within `tol`.
void ExpectParts(const Parts& p, int sign, int whole, int min, double sec, double tol = 0.0) {
    EXPECT_EQ(p.sign, sign) << p;
    EXPECT_EQ(p.whole, whole) << p;
    EXPECT_EQ(p.min, min) << p;
    if (tol == 0.0) {
        EXPECT_EQ(p.sec, sec) << p;
    } else {
        EXPECT_NEAR(p.sec, sec, tol) << p;
    }
}

// ---- Joining ----------------------------------------------------------------

TEST(AnglesJoin, DmsToDegrees) {
    EXPECT_EQ(Unit::DMS2Deg(1, 12, 30, 0.0), 12.5);
    EXPECT_EQ(Unit::DMS2Deg(-1, 0, 30, 36.0), -0.51);
    EXPECT_EQ(Unit::DMS2Deg(1, 12, 30, -5.0), 12.5);   // negative seconds ignored
    EXPECT_EQ(Unit::DMS2Deg(-7, 12, 30, 0.0), -12.5);  // any negative sign
    EXPECT_EQ(Unit::DMS2Deg(0, -12, 30, 0.0), 12.5);   // |degrees|, sign 0 positive
    EXPECT_EQ(Unit::DMS2Deg(1, INT_MIN, 0, 0.0), 2147483648.0);
    EXPECT_EQ(Unit::DMS2Rad(1, 12, 30, 0.0), 12.5 * 0.017453292519943295);
}

TEST(AnglesJoin, DmsToPackedCarries) {
    EXPECT_EQ(Unit::DMS2DMS(1, 12, 34, 56.0), 12.3456);
    EXPECT_EQ(Unit::DMS2DMS(-1, 12, 59, 60.0), -13.0);
    EXPECT_EQ(Unit::DMS2DMS(1, 12, 59, 59.9999999999), 13.0);  // snapped to 60
    EXPECT_NE(Unit::DMS2DMS(1, 12, 59, 59.999999), 13.0);      // too far to snap
    EXPECT_EQ(Unit::DMS2DMS(1, 0, 75, 0.0), 1.15);
    EXPECT_EQ(Unit::DMS2DMS(1, 0, 0, 150.0), Unit::DMS2DMS(1, 0, 2, 30.0));
    EXPECT_EQ(Unit::DMS2DMS(1, 0, 0, -3.0), 0.0);
}

TEST(AnglesJoin, DmsToPackedNeverOverflows) {
    EXPECT_EQ(Unit::DMS2DMS(1, INT_MAX, 60, 0.0), 2147483648.0);
    EXPECT_EQ(Unit::DMS2DMS(1, INT_MAX, INT_MAX, 0.0), 2147483647.0 + 35791394.0 + 0.07);
    EXPECT_TRUE(std::isfinite(Unit::DMS2DMS(1, INT_MAX, INT_MAX, 1e300)));
    EXPECT_TRUE(std::isnan(Unit::DMS2DMS(1, 0, 0, kInf)));
    EXPECT_TRUE(std::isnan(Unit::DMS2DMS(1, 0, 0, kNaN)));
}

TEST(AnglesJoin, Gccc) {
    EXPECT_EQ(Unit::GCCC2GCCC(1, 123, 45, 67.0), 123.4567);
    EXPECT_EQ(Unit::GCCC2GCCC(-1, 0, 150, 0.0), -1.5);  // no carries
    EXPECT_EQ(Unit::GCCC2GCCC(1, 5, 0, -1.0), 5.0);
    EXPECT_EQ(Unit::GCCC2Grad(-1, 123, 45, 67.0), -123.4567);
    EXPECT_EQ(Unit::GCCC2Rad(1, 200, 0, 0.0), 200.0 * 0.015707963267948967);
    EXPECT_NEAR(Unit::GCCC2Rad(1, 200, 0, 0.0), kPi, 1e-15);
    EXPECT_EQ(Unit::GCCC2Rad(100.0), 100.0 * 0.015707963267948967);
}

// ---- Splitting ----------------------------------------------------------------

TEST(AnglesSplit, DecimalDegrees) {
    ExpectParts(FromDeg(12.5, 0), 1, 12, 30, 0.0);
    ExpectParts(FromDeg(-0.5, 0), -1, 0, 30, 0.0);
    ExpectParts(FromDeg(-0.0, 0), 1, 0, 0, 0.0);
    ExpectParts(FromDeg(12.345, -1), 1, 12, 20, 42.0, 1e-9);
}

TEST(AnglesSplit, CarryByDecimalCount) {
    ExpectParts(FromDeg(10.999999, 0), 1, 11, 0, 0.0);             // 59.9964" shows as 60
    ExpectParts(FromDeg(10.999999, 3), 1, 10, 59, 59.9964, 1e-6);  // unrounded
    ExpectParts(FromDeg(10.999999, 2), 1, 11, 0, 0.0);
    ExpectParts(FromDeg(10.999999, -1), 1, 10, 59, 59.9964, 1e-6);
    ExpectParts(FromDeg(10.999999, INT_MIN), 1, 10, 59, 59.9964, 1e-6);
    ExpectParts(FromDeg(10.999999, INT_MAX), 1, 10, 59, 59.9964, 1e-6);
    // Never reduced to a circle.
    ExpectParts(FromDeg(359.0 + 59.0 / 60.0 + 59.9 / 3600.0, 0), 1, 360, 0, 0.0);
    ExpectParts(FromDeg(-(359.0 + 59.0 / 60.0 + 59.9 / 3600.0), 0), -1, 360, 0, 0.0);
}

TEST(AnglesSplit, PackedDmsDigitGroups) {
    const Parts p = FromPacked(12.3456, 0, Unit::RES_None);
    ExpectParts(p, 1, 12, 34, 55.99999999999383, 1e-12);
    EXPECT_LT(p.sec, 56.0);                                                   // unrounded
    ExpectParts(FromPacked(12.34, 0, Unit::RES_None), 1, 12, 34, 0.0, 1e-9);  // guard
    ExpectParts(FromPacked(12.75, 0, Unit::RES_None), 1, 12, 75, 0.0, 1e-9);  // not normalised
    ExpectParts(FromPacked(-12.3456, 3, Unit::RES_None), -1, 12, 34, 56.0, 1e-9);
}

TEST(AnglesSplit, PackedDmsResolutions) {
    ExpectParts(FromPacked(12.3457, 3, Unit::RES_5Sec), 1, 12, 34, 55.0);
    ExpectParts(FromPacked(12.3458, 3, Unit::RES_5Sec), 1, 12, 35, 0.0);  // 60" carried
    ExpectParts(FromPacked(12.3457, 3, Unit::RES_10Sec), 1, 12, 35, 0.0);
    ExpectParts(FromPacked(12.3454, 3, Unit::RES_10Sec), 1, 12, 34, 50.0);
    ExpectParts(FromPacked(12.5930, 3, Unit::RES_1Min), 1, 13, 0, 0.0);
    ExpectParts(FromPacked(12.5929, 3, Unit::RES_1Min), 1, 12, 59, 0.0);
    ExpectParts(FromPacked(12.3030, 3, Unit::RES_1Deg), 1, 13, 0, 0.0);
    ExpectParts(FromPacked(12.2959, 3, Unit::RES_1Deg), 1, 12, 0, 0.0);  // seconds ignored
    ExpectParts(FromPacked(12.345678, 3, Unit::RES_TenthSec), 1, 12, 34, 56.8, 1e-9);
    ExpectParts(FromPacked(12.345996, 3, Unit::RES_TenthSec), 1, 12, 35, 0.0);  // 60.0" carried
    // RES_TenthSec keeps the decimal count: 59.9" carries only at 0 decimals.
    ExpectParts(FromPacked(12.345994, 3, Unit::RES_TenthSec), 1, 12, 34, 59.9, 1e-9);
    ExpectParts(FromPacked(12.345994, 0, Unit::RES_TenthSec), 1, 12, 35, 0.0);
}

TEST(AnglesSplit, ResolutionDecidesTheDecimalCount) {
    // 59.99": kept with 3 decimals and no resolution, carried when a
    // resolution (also one outside the table) forces 0 decimals.
    ExpectParts(FromPacked(12.345999, 3, Unit::RES_None), 1, 12, 34, 59.99, 1e-8);
    ExpectParts(FromPacked(12.345999, 3, static_cast<Unit::ResolutionAngleT>(7)), 1, 12, 35, 0.0);
    ExpectParts(FromPacked(12.345999, 3, static_cast<Unit::ResolutionAngleT>(-1)), 1, 12, 35, 0.0);
    ExpectParts(FromPacked(12.345911, 3, static_cast<Unit::ResolutionAngleT>(INT_MAX)), 1, 12, 34,
                59.11, 1e-8);  // no resolution step
}

TEST(AnglesSplit, Gccc) {
    ExpectParts(FromGon(123.4567, 2), 1, 123, 45, 67.0, 1e-9);
    ExpectParts(FromGon(-0.25, 2), -1, 0, 25, 0.0, 1e-9);
    ExpectParts(FromGon(99.9999999, 2), 1, 100, 0, 0.0);  // 99.99 cc shows as 100
    ExpectParts(FromGon(99.9999999, 4), 1, 99, 99, 99.999, 1e-6);
    ExpectParts(FromPackedGccc(123.4567, 2), 1, 123, 45, 67.0, 1e-9);
    ExpectParts(FromPackedGccc(1.5, 2), 1, 1, 50, 0.0, 1e-9);
    ExpectParts(FromPackedGccc(0.0099999999, 2), 1, 0, 1, 0.0);  // carried
}

// ---- Radians -----------------------------------------------------------------

TEST(AnglesRadians, PackedDmsRoundTrip) {
    EXPECT_EQ(Unit::DMS2Rad(12.3460), Unit::DMS2Rad(1, 12, 35, 0.0));  // 60" joined plainly
    EXPECT_NEAR(Unit::DMS2Rad(-12.3456), -Unit::DMS2Rad(1, 12, 34, 56.0), 1e-15);
    EXPECT_NEAR(Unit::Rad2DMS(Unit::DMS2Rad(12.3456), 0), 12.3456, 1e-12);
    EXPECT_NEAR(Unit::Rad2DMS(kPi, 0), 180.0, 1e-12);
    EXPECT_NEAR(Unit::Rad2DMS(-kPi / 2, 3), -90.0, 1e-12);
    Parts p;
    Unit::Rad2DMS(30.5 * kDeg, p.sign, p.whole, p.min, p.sec, 0);
    ExpectParts(p, 1, 30, 30, 0.0, 1e-9);
}

TEST(AnglesRadians, GcccRoundTrip) {
    EXPECT_NEAR(Unit::Rad2GCCC(kPi, 2), 200.0, 1e-12);
    EXPECT_NEAR(Unit::Rad2GCCC(Unit::GCCC2Rad(123.4567), 4), 123.4567, 1e-12);
    Parts p;
    Unit::Rad2GCCC(-kPi / 4, p.sign, p.whole, p.min, p.sec, 2);
    ExpectParts(p, -1, 50, 0, 0.0, 1e-9);
}

// ---- Vertical angles -----------------------------------------------------------

TEST(AnglesVertical, ZenithAndElevation) {
    EXPECT_EQ(Unit::VElevationRad2VZenithRad(0.0), kPi / 2);
    EXPECT_EQ(Unit::VElevationRad2VZenithRad(-kPi), 1.5 * kPi);  // not reduced
    const struct {
        double zenith, elevation;
    } cases[] = {{0, 90},   {90, 0},  {180, -90}, {270, 0},      {300, 30},
                 {360, 90}, {-90, 0}, {450, 0},   {720 + 45, 45}};
    for (const auto& c : cases) {
        EXPECT_NEAR(Unit::VZenithRad2VElevationRad(c.zenith * kDeg), c.elevation * kDeg, 1e-12)
            << c.zenith;
    }
}

TEST(AnglesVertical, SlopePercentWithSentinel) {
    EXPECT_NEAR(Unit::VElevationRad2VSlopePercent(45 * kDeg), 100.0, 1e-12);
    EXPECT_NEAR(Unit::VElevationRad2VSlopePercent(71.5 * kDeg), 298.87, 0.01);
    EXPECT_NEAR(Unit::VElevationRad2VSlopePercent(-71.5 * kDeg), -298.87, 0.01);
    for (double deg : {71.6, -71.6, 85.0, 100.0, -100.0}) {
        EXPECT_EQ(Unit::VElevationRad2VSlopePercent(deg * kDeg), 1000.0) << deg;
    }
    EXPECT_NEAR(Unit::VSlopePercent2VElevationRad(100.0), 45 * kDeg, 1e-15);
    EXPECT_NEAR(Unit::VSlopePercent2VElevationRad(-5000.0), -88.854 * kDeg, 1e-4);  // no limit
}

TEST(AnglesVertical, RatioWithSentinel) {
    EXPECT_NEAR(Unit::VElevationRad2VertHorizRatio(89.9 * kDeg), 572.96, 0.01);
    for (double deg : {89.95, -89.95, 90.0}) {
        EXPECT_EQ(Unit::VElevationRad2VertHorizRatio(deg * kDeg), 1000000.0) << deg;
    }
    EXPECT_NEAR(Unit::VElevationRad2VertHorizRatio(std::atan(999.0)), 999.0, 1e-9);
    EXPECT_NEAR(Unit::VElevationRad2VertHorizRatio(std::atan(-999.0)), -999.0, 1e-9);
    EXPECT_NEAR(Unit::VertHorizRatio2VElevationRad(-1.0), -45 * kDeg, 1e-15);
}

// ---- Bad input -------------------------------------------------------------------

TEST(AnglesBadInput, SplittingSaturatesBeyondTheIntRange) {
    ExpectParts(FromDeg(kInf, 0), 1, INT_MAX, 0, 0.0);
    ExpectParts(FromDeg(-kInf, -1), -1, INT_MAX, 0, 0.0);
    ExpectParts(FromDeg(1e12, 3), 1, INT_MAX, 0, 0.0);
    ExpectParts(FromDeg(2147483648.0, 3), 1, INT_MAX, 0, 0.0);
    ExpectParts(FromDeg(2147483647.9999998, 0), 1, INT_MAX, 0, 0.0);  // carry saturates
    ExpectParts(FromPacked(-1e300, 0, Unit::RES_1Deg), -1, INT_MAX, 0, 0.0);
    ExpectParts(FromPacked(2147483647.5930, 0, Unit::RES_1Min), 1, INT_MAX, 0, 0.0);
    ExpectParts(FromPacked(2147483647.3, 0, Unit::RES_1Deg), 1, INT_MAX, 0, 0.0);
    ExpectParts(FromGon(kInf, 2), 1, INT_MAX, 0, 0.0);
    ExpectParts(FromPackedGccc(-1e19, 2), -1, INT_MAX, 0, 0.0);
    Parts p;
    Unit::Rad2DMS(1e300, p.sign, p.whole, p.min, p.sec, 0);
    ExpectParts(p, 1, INT_MAX, 0, 0.0);
}

TEST(AnglesBadInput, NaNStaysNaN) {
    const Parts p = FromDeg(kNaN, 0);
    EXPECT_EQ(p.sign, 1);
    EXPECT_EQ(p.whole, 0);
    EXPECT_EQ(p.min, 0);
    EXPECT_TRUE(std::isnan(p.sec));
    EXPECT_TRUE(std::isnan(FromPacked(kNaN, 0, Unit::RES_5Sec).sec));
    ExpectParts(FromPacked(kNaN, 0, Unit::RES_1Min), 1, 0, 0, 0.0);
    EXPECT_TRUE(std::isnan(FromGon(kNaN, 2).sec));
    EXPECT_TRUE(std::isnan(Unit::DMS2Rad(kNaN)));
    EXPECT_TRUE(std::isnan(Unit::Rad2DMS(kNaN, 0)));
    EXPECT_TRUE(std::isnan(Unit::Rad2GCCC(kNaN, 0)));
    EXPECT_TRUE(std::isnan(Unit::DMS2Deg(1, 0, 0, kNaN)));
}

TEST(AnglesBadInput, VerticalAngles) {
    for (double bad : {kNaN, kInf, -kInf}) {
        EXPECT_TRUE(std::isnan(Unit::VZenithRad2VElevationRad(bad))) << bad;
        EXPECT_TRUE(std::isnan(Unit::VElevationRad2VertHorizRatio(bad))) << bad;
    }
    EXPECT_TRUE(std::isnan(Unit::VElevationRad2VSlopePercent(kNaN)));
    EXPECT_EQ(Unit::VElevationRad2VSlopePercent(kInf), 1000.0);
    EXPECT_EQ(Unit::VElevationRad2VSlopePercent(-kInf), 1000.0);
    // Whole turns counted without a 32-bit limit: any finite zenith reduces.
    for (double zenith : {1e10, -1e10, 1e20, 1e300}) {
        const double e = Unit::VZenithRad2VElevationRad(zenith);
        EXPECT_GE(e, -kPi / 2 - 1e-12) << zenith;
        EXPECT_LE(e, kPi / 2 + 1e-12) << zenith;
    }
    EXPECT_NEAR(Unit::VZenithRad2VElevationRad(1e6 * 2 * kPi + 0.25),
                Unit::VZenithRad2VElevationRad(0.25), 1e-8);
    EXPECT_EQ(Unit::VertHorizRatio2VElevationRad(kInf), kPi / 2);
}

}  // namespace
