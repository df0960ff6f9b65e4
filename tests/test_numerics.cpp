// Numerics: tolerant comparison and rounding, unit conversions, angle
// notations and Modified Julian Dates, with their documented bad-input results.
#include <UTL/Angles.h>
#include <UTL/CTT.h>
#include <UTL/Mjd.h>
#include <UTL/Units.h>

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <random>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr double kNext = 1 + 0x1p-52;                        // the double after 1
constexpr double kOdd = 5e9 + 1;                             // over 2 beyond the 32-bit range: x.5
constexpr double kUp = 2147483647.5, kDown = -2147483648.5;  // round beyond int
constexpr short kLo = SHRT_MIN, kHi = SHRT_MAX;

// The same double: equal with the same sign, or both NaN.
bool Same(double a, double b) {
    return a == b ? std::signbit(a) == std::signbit(b) : std::isnan(a) && std::isnan(b);
}

// The predicates as one signature: Eq, Dig (EqualIngoreDigits), GE, LE, Mul
// (IsMultiple: divisor, tested value, digit count).
using Predicate = bool (*)(double, double, short);
constexpr Predicate Eq = [](double a, double b, short) { return CTT::Equal(a, b); };
constexpr Predicate Dig = [](auto a, auto b, short n) { return CTT::EqualIngoreDigits(a, b, n); };
constexpr Predicate GE = [](double a, double b, short) { return CTT::IsGreaterEqual(a, b); };
constexpr Predicate LE = [](double a, double b, short) { return CTT::IsLessEqual(a, b); };
constexpr Predicate Mul = [](double d, double v, short n) { return CTT::IsMultiple(d, v, n); };

// The tolerance of Equal is DBL_MIN: exact equality for ordinary values, and
// never for NaN or an infinity (inf - inf is NaN). IsMultiple's tolerance acts
// on one side only (the remainder above the floor, also for negative
// quotients) and its whole part has no 32-bit limit.
TEST(Ctt, Comparisons) {
    const struct {
        Predicate test;
        double a, b;
        short digits;
        int expected;
    } cases[] = {{Eq, 1, kNext, 0, 0},    {Eq, 0.0, -0.0, 0, 1},    {Eq, 0, 1e-310, 0, 1},
                 {Eq, 0, DBL_MIN, 0, 0},  {Eq, kNaN, kNaN, 0, 0},   {Eq, kInf, kInf, 0, 0},
                 {Dig, 1, 1.5, 0, 1},     {Dig, 1, 2, 0, 0},        {Dig, 1, 1.0009, 3, 1},
                 {Dig, 100, 109, -1, 1},  {Dig, 1, 1, kHi, 0},      {Dig, 0, 1e300, kLo, 1},
                 {Dig, kNaN, 0, kLo, 0},  {GE, 0.0, -0.0, 0, 1},    {GE, kInf, DBL_MAX, 0, 1},
                 {GE, kInf, kInf, 0, 0},  {GE, kNaN, 0, 0, 0},      {GE, kInf, kNaN, 0, 0},
                 {LE, 1, 1, 0, 1},        {LE, -kInf, -kInf, 0, 0}, {LE, kNaN, 1, 0, 0},
                 {LE, 0, kNaN, 0, 0},     {Mul, 0.5, 2, 0, 1},      {Mul, 0.25, -1, 0, 1},
                 {Mul, 2, -3, 0, 0},      {Mul, 2, -3, -1, 1},      {Mul, 0.01, 0.07, 0, 0},
                 {Mul, 0.01, 0.07, 6, 1}, {Mul, 0.1, 0.6, 6, 0},    {Mul, 0, 1, 0, 0},
                 {Mul, 0, 1, kLo, 0},     {Mul, kNaN, 1, 0, 0},     {Mul, 0.5, -5e9, 0, 1},
                 {Mul, 2, kOdd, 0, 0},    {Mul, 2, kOdd, -1, 1},    {Mul, 0.1, -0.6, 6, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.test(c.a, c.b, c.digits), c.expected != 0)
            << c.a << ' ' << c.b << ' ' << c.digits;
    EXPECT_TRUE(CTT::Equal(1.0f, 1.0f));
    EXPECT_FALSE(CTT::Equal(1.0f, std::nextafter(1.0f, 2.0f)));
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
                 {Long, -3e9, 0, INT_MIN}, {Long, kNaN, 0, 0},       {Long, -2.5, 0, -3}};
    for (const auto& c : cases) {
        const double r = c.round(c.x, c.step);
        EXPECT_TRUE(Same(r, c.expected)) << c.x << ' ' << c.step << " gives " << r;
    }
}

// The factors' own choices: feet factors with 9 and 11 decimals (not the
// exact ratios), a cubic-yard divisor of 3 (not 27); conversions back and
// forth agree within two roundings; NaN and infinities pass through.
TEST(Units, FactorsRoundTripsAndBadInput) {
    EXPECT_EQ(Unit::M2IntFoot(1.0), 3.280839895);
    EXPECT_EQ(Unit::M2USFoot(1.0), 3.28083333333);
    EXPECT_NEAR(Unit::Cubm2CubIntFoot(1.0), 35.3146667, 1e-6);
    EXPECT_NEAR(Unit::Cubm2CubUSYard(1.0), 11.771485, 1e-6);
    EXPECT_NEAR(Unit::USAcre2Sqm(1.0), 4046.8726, 1e-4);
    EXPECT_NEAR(Unit::IntAcre2Sqm(1.0), 4046.8564, 1e-4);
    EXPECT_EQ(Unit::Celsius2Fahrenheit(100), 212);
    EXPECT_EQ(Unit::Celsius2Fahrenheit(0), 32);
    EXPECT_EQ(Unit::Fahrenheit2Celsius(212), 100);
    using Fn = double (*)(double);
    using namespace Unit;  // for the table
    const Fn pairs[][2] = {
        {M2USMiles, USMiles2M},         {M2IntFoot, IntFoot2M},       {M2USFoot, USFoot2M},
        {Sqm2SqIntFoot, SqIntFoot2Sqm}, {Sqm2SqUSFoot, SqUSFoot2Sqm}, {Sqm2USAcre, USAcre2Sqm},
        {Sqm2IntAcre, IntAcre2Sqm},     {Sqm2Hectare, Hectare2Sqm},   {HPa2MmHg, MmHg2HPa},
        {HPa2InchHg, InchHg2HPa},       {HPa2PSI, PSI2HPa},           {Ms2KmH, KmH2Ms},
        {Ms2USMpH, USMpH2Ms},           {Ms2IntKnots, IntKnots2Ms}};
    for (const auto& pair : pairs)
        for (double v : {1.0, 1234.5678, -987654.321})
            EXPECT_NEAR(pair[1](pair[0](v)), v, 8 * DBL_EPSILON * std::fabs(v));
    // Standard values within 1e-5 for the other factors: a swapped or
    // misplaced one would still pass the round trips.
    const struct {
        Fn convert;
        double from, to;
    } known[] = {{HPa2MmHg, 1013.25, 760},    {HPa2InchHg, 1013.25, 29.9213},
                 {HPa2PSI, 1013.25, 14.6959}, {Ms2KmH, 10, 36},
                 {Ms2IntKnots, 1, 1.943844},  {Ms2USMpH, 1, 2.236932},
                 {M2USMiles, 1609.347219, 1}, {Sqm2SqIntFoot, 1, 10.76391},
                 {Sqm2Hectare, 1e4, 1}};
    for (const auto& k : known) EXPECT_NEAR(k.convert(k.from), k.to, 1e-5 * k.to) << k.to;
    EXPECT_TRUE(std::isnan(Unit::M2USFoot(kNaN)));
    EXPECT_EQ(Unit::USMpH2Ms(-kInf), -kInf);
}

// Rounded to the nearest eighth (a half rounds up) with carries into inches
// and feet; feet are a long (64 bits: no 32-bit cut), saturating beyond it.
TEST(Units, FeetInchesEighths) {
    const double kHalfEighth = 0.5 / 96, kUnderHalf = 0.49 / 96, kCarryInch = 7.5 / 96;
    const double kFoot = 0.3 / 96 - 1, kBig = 3e9 + 0.5;
    const bool wide = sizeof(long) == 8;
    const double kRoundsToLimit = wide ? 0x1p63 : 0x1p31 - 0x1p-11;  // rounds up to 2^31
    const struct {
        double x;
        const char* expected;  // feet (max: LONG_MAX) inches eighths, + for not negative
    } cases[] = {{5.5, "5 6 0 +"},
                 {-2.25, "2 3 0 -"},
                 {3.0625, "3 0 6 +"},
                 {10.99, "10 11 7 +"},
                 {-0.0, "0 0 0 +"},
                 {10.999, "11 0 0 +"},
                 {kHalfEighth, "0 0 1 +"},
                 {kUnderHalf, "0 0 0 +"},
                 {kCarryInch, "0 1 0 +"},
                 {kFoot, "1 0 0 -"},
                 {kBig, wide ? "3000000000 6 0 +" : "max 0 0 +"},
                 {kRoundsToLimit, "max 0 0 +"},
                 {-kInf, "max 0 0 -"},
                 {kNaN, "0 0 0 +"}};
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

constexpr double kPi = 3.141592653589793, kDeg = kPi / 180.0;
constexpr int kTop = INT_MAX;  // what splits saturate to
// Seconds that show as 60 (100 centesimal) at few decimals: 10 59 59.9964,
// 359 59 59.9 and 99 99 99.999.
// 12° 58' 59.9999": at 2 decimals the seconds carry into minute 59, not the degree.
constexpr double k58m60s = 12 + 58 / 60.0 + 59.9999 / 3600;
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
                 {D2Dms, 1, 0, 0, 150.0, 0.023},        {D2Dms, 1, kTop, 60, 0.0, 0x1p31},
                 {G2G, 1, 123, 45, 67.0, 123.4567},     {G2G, -1, 0, 150, 0.0, -1.5},
                 {G2Grad, -1, 123, 45, 67.0, -123.4567}};
    for (const auto& c : cases)
        EXPECT_EQ(c.join(c.sign, c.whole, c.min, c.sec), c.expected) << c.whole << ' ' << c.min;
    EXPECT_EQ(Unit::DMS2DMS(1, 12, 59, 59.9999999999), 13.0);  // snapped to 60
    EXPECT_NE(Unit::DMS2DMS(1, 12, 59, 59.999999), 13.0);      // too far to snap
    EXPECT_EQ(Unit::GCCC2Rad(1, 200, 0, 0.0), 200.0 * 0.015707963267948967);
    EXPECT_EQ(Unit::DMS2DMS(1, kTop, kTop, 0.0), 2147483647.0 + 35791394.0 + 0.07);
    EXPECT_TRUE(std::isfinite(Unit::DMS2DMS(1, kTop, kTop, 1e300)));
    for (double bad : {kNaN, kInf}) EXPECT_TRUE(std::isnan(Unit::DMS2DMS(1, 0, 0, bad)));
    EXPECT_TRUE(std::isnan(Unit::DMS2Deg(1, 0, 0, kNaN)));
}

// How a row is split: P0 to P7 are Unit::DMS2DMS (packed DMS) with that
// resolution (None, 5", 10", 1', 1 degree, 0.1", and two outside the table);
// the others name the splitting function.
enum Splitter { P0, P5s, P10s, P1m, P1d, P01s, P6, P7, Deg, Gon, Gccc, RadDms, RadGccc };

// Seconds within 1e-8 (NaN expects NaN). Outside the int range the parts are
// sign, INT32_MAX, 0, 0.0, carries staying there; NaN gives +1, 0, 0, NaN.
// At 1' resolution exactly 30" (0.0030 splits into 30.0) rounds up.
TEST(Angles, SplittingIntoParts) {
    const struct {
        Splitter how;
        double value;
        int decimals, sign, whole, min;
        double sec;
    } cases[] = {{Deg, 12.5, 0, 1, 12, 30, 0.0},        {Deg, -0.5, 0, -1, 0, 30, 0.0},
                 {Deg, -0.0, 0, 1, 0, 0, 0.0},          {Deg, k11, 0, 1, 11, 0, 0.0},
                 {Deg, k11, 3, 1, 10, 59, 59.9964},     {Deg, k11, -1, 1, 10, 59, 59.9964},
                 {Deg, k11, kTop, 1, 10, 59, 59.9964},  {Deg, k360, 0, 1, 360, 0, 0.0},
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
                 {Deg, kInf, 0, 1, kTop, 0, 0.0},       {Deg, 0x1p31, 3, 1, kTop, 0, 0.0},
                 {Deg, kCarry, 0, 1, kTop, 0, 0.0},     {P1d, -1e300, 0, -1, kTop, 0, 0.0},
                 {P1m, kRound1m, 0, 1, kTop, 0, 0.0},   {P1d, kRound1d, 0, 1, kTop, 0, 0.0},
                 {Gon, -kInf, 2, -1, kTop, 0, 0.0},     {Gccc, -1e19, 2, -1, kTop, 0, 0.0},
                 {Deg, kNaN, 0, 1, 0, 0, kNaN},         {P5s, kNaN, 0, 1, 0, 0, kNaN},
                 {P1m, kNaN, 0, 1, 0, 0, 0.0},          {P6, 12.345999, 3, 1, 12, 35, 0.0},
                 {P1m, 0.0030, 0, 1, 0, 1, 0.0},        {Deg, k58m60s, 2, 1, 12, 59, 0.0}};
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
        SCOPED_TRACE(testing::Message() << c.how << ": " << v << " (" << n << ")");
        EXPECT_EQ(sign, c.sign);
        EXPECT_EQ(whole, c.whole);
        EXPECT_EQ(min, c.min);
        if (std::isnan(c.sec))
            EXPECT_TRUE(std::isnan(sec)) << sec;
        else
            EXPECT_NEAR(sec, c.sec, 1e-8);
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
    using namespace Unit;
    EXPECT_EQ(DMS2Rad(12.3460), DMS2Rad(1, 12, 35, 0.0));
    EXPECT_NEAR(DMS2Rad(-12.3456), -DMS2Rad(1, 12, 34, 56.0), 1e-15);
    EXPECT_NEAR(Rad2DMS(DMS2Rad(12.3456), 0), 12.3456, 1e-12);
    EXPECT_NEAR(Rad2GCCC(GCCC2Rad(123.4567), 4), 123.4567, 1e-12);
    EXPECT_EQ(VElevationRad2VZenithRad(-kPi), 1.5 * kPi);  // not reduced
    const double zenith[] = {0, 90, 180, 270, 300, 360, -90, 765},
                 elevation[] = {90, 0, -90, 0, 30, 90, 0, 45};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(VZenithRad2VElevationRad(zenith[i] * kDeg), elevation[i] * kDeg, 1e-12);
    EXPECT_NEAR(VZenithRad2VElevationRad(1e6 * 2 * kPi + 0.25), kPi / 2 - 0.25, 1e-8);
    EXPECT_LE(std::fabs(VZenithRad2VElevationRad(1e300)), kPi / 2);  // no 32-bit turn count
    EXPECT_NEAR(VElevationRad2VSlopePercent(-71.5 * kDeg), -298.87, 0.01);
    for (double deg : {71.6, -71.6, 100.0, kInf})
        EXPECT_EQ(VElevationRad2VSlopePercent(deg * kDeg), 1000.0) << deg;
    EXPECT_NEAR(VElevationRad2VertHorizRatio(std::atan(-999.0)), -999.0, 1e-9);
    for (double deg : {89.95, -89.95, 90.0})
        EXPECT_EQ(VElevationRad2VertHorizRatio(deg * kDeg), 1000000.0) << deg;
    EXPECT_NEAR(VertHorizRatio2VElevationRad(-1.0), -45 * kDeg, 1e-15);
    EXPECT_NEAR(VSlopePercent2VElevationRad(100.0), 45 * kDeg, 1e-15);
    for (double v : {kNaN, kInf}) {
        EXPECT_TRUE(std::isnan(VZenithRad2VElevationRad(v))) << v;
        EXPECT_TRUE(std::isnan(VElevationRad2VertHorizRatio(v))) << v;
    }
    EXPECT_TRUE(std::isnan(DMS2Rad(kNaN)));
    EXPECT_TRUE(std::isnan(Rad2DMS(kNaN, 0)));
    EXPECT_TRUE(std::isnan(Rad2GCCC(kNaN, 0)));
    EXPECT_TRUE(std::isnan(VElevationRad2VSlopePercent(kNaN)));
}

constexpr double kMin = -313698.0, kMax = 2973483.0;

// Year, month, day, hour, minute, second, tenths as the split writes them;
// fields it does not write keep `fill` (the precise seconds go to `sec`).
using Fields = std::array<long, 7>;
enum Kind { kSeconds, kTenths, kPrecise };
Fields Split(double mjd, Kind kind, double* sec = nullptr, long fill = 0) {
    Fields f;
    f.fill(fill);
    double precise = fill;
    if (kind == kSeconds) Unit::SetMjd(mjd, f[0], f[1], f[2], f[3], f[4], f[5]);
    if (kind == kTenths) Unit::SetMjd(mjd, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    if (kind == kPrecise) Unit::SetMjdPrecise(mjd, f[0], f[1], f[2], f[3], f[4], precise);
    if (sec) *sec = precise;
    return f;
}

// Proleptic Gregorian date of an MJD day count, by the era/day-of-era integer
// method (unrelated to the library's Julian-day steps).
Fields Civil(long mjdDay) {
    const long z = mjdDay + 678881;  // days since 0000-03-01
    const long era = (z >= 0 ? z : z - 146096) / 146097, doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (month <= 2), month, doy - (153 * mp + 2) / 5 + 1};
}

// Fields outside their usual range add up; beyond 32 bits the same formula.
// January and February count in the year before, century included (1900 and
// 2100 are no leap years; month 0 is the December before).
TEST(Mjd, GetMjd) {
    const struct {
        long f[6];
        double mjd;
    } cases[] = {{{1858, 11, 17, 0, 0, 0}, 0.0},       {{2000, 1, 1, 12, 0, 0}, 51544.5},
                 {{2000, 2, 29, 0, 0, 0}, 51603.0},    {{2000, 3, 1, 0, 0, 0}, 51604.0},
                 {{1900, 3, 1, 0, 0, 0}, 15079.0},     {{1900, 2, 28, 0, 0, 0}, 15078.0},
                 {{2100, 1, 1, 0, 0, 0}, 88069.0},     {{2100, 2, 28, 0, 0, 0}, 88127.0},
                 {{2100, 0, 31, 0, 0, 0}, 88068.0},    {{2100, 12, 31, 0, 0, 0}, 88433.0},
                 {{2000, 13, 1, 0, 0, 0}, 51910.0},    {{2000, 1, 0, 0, 0, 0}, 51543.0},
                 {{2000, 1, 1, 0, 0, 86400}, 51545.0}, {{2000, 1, 1, -12, 0, 0}, 51543.5},
                 {{2000, 1, 1, 24, 0, 0}, 51545.0}};
    for (const auto& c : cases)
        EXPECT_EQ(Unit::GetMjd(c.f[0], c.f[1], c.f[2], c.f[3], c.f[4], c.f[5]), c.mjd) << c.mjd;
    EXPECT_EQ(Unit::GetMjd(2024, 12, 31, 23, 59, 59), 60675.99998842592);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 25, 0, 0), 51545.041666666664);
    // Just past the usual minute and second ranges (and before them).
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 0, 60, 0), Unit::GetMjd(2000, 1, 1, 1, 0, 0));
    EXPECT_NEAR(Unit::GetMjd(2000, 1, 1, 0, 0, 60), Unit::GetMjd(2000, 1, 1, 0, 1, 0), 1e-9);
    EXPECT_NEAR(Unit::GetMjd(2000, 1, 1, 0, -1, 0), Unit::GetMjd(1999, 12, 31, 23, 59, 0), 1e-9);
    EXPECT_NEAR(Unit::GetMjd(2000, 1, 1, 0, 0, -1), Unit::GetMjd(1999, 12, 31, 23, 59, 59), 1e-9);
    if (sizeof(long) == 8) {  // fields beyond 32 bits
        EXPECT_EQ(Unit::GetMjd(2000, 1, long{1} << (8 * sizeof(long) - 24), 0, 0, 0),
                  51543.0 + 0x1p40);
        EXPECT_EQ(Unit::GetMjd(static_cast<long>(3000000000LL), 3, 1, 0, 0, 0),
                  std::trunc(365.25 * 3e9) - 679006.0 + 123.0 - 22499998.0);
        const long noLeapCentury = 3000000100L;
        EXPECT_EQ(Unit::GetMjd(noLeapCentury, 3, 1, 0, 0, 0) -
                      Unit::GetMjd(noLeapCentury, 2, 28, 0, 0, 0),
                  1.0);
    }
    for (long a : {LONG_MIN, -1L, 0L, 13L, LONG_MAX})  // no overflow for any long
        for (long b : {LONG_MIN, 2L, LONG_MAX})
            EXPECT_FALSE(std::isnan(Unit::GetMjd(a, b, a, b, a, b)));
}

// Rounding happens before the calendar split (60675.999999 is 2025 to the
// second but 23:59:59.9 to the tenth), halves round up. Before day 0 an
// instant that is not a midnight has a negative time of day.
TEST(Mjd, SplitRoundingEdges) {
    const double kHalfPast = 51544.0 + 0.5 / 86400.0 + 1e-16;  // 00:00:00.5
    const struct {
        double mjd;
        Kind kind;
        Fields expected;
    } cases[] = {{60675.99999, kSeconds, {2024, 12, 31, 23, 59, 59}},
                 {60675.999999, kSeconds, {2025, 1, 1, 0, 0, 0}},
                 {60675.999999, kTenths, {2024, 12, 31, 23, 59, 59, 9}},
                 {kHalfPast, kSeconds, {2000, 1, 1, 0, 0, 1}},
                 {kMax, kSeconds, {9999, 12, 31, 0, 0, 0}},
                 {-0.25, kSeconds, {1858, 11, 16, -6, 0, 0}}};
    for (const auto& c : cases) EXPECT_EQ(Split(c.mjd, c.kind), c.expected) << c.mjd;
}

// Random days over the whole range, instants of random seconds and tenths
// 0.4 units off the whole either way, and the range ends and days where the
// MJD's last bit doubles.
TEST(Mjd, AgreesWithTheCivilCalendar) {
    std::mt19937_64 rng(20261205);
    std::uniform_int_distribution<long> anyDay(long(kMin), long(kMax) - 1), tenth(0, 863999);
    std::uniform_real_distribution<double> off(-0.4, 0.4);
    std::vector<long> days = {long(kMin), -1, 0, 1, 65535, 65536, 2097151, 2097152, long(kMax) - 1};
    for (int i = 0; i < 600; ++i) days.push_back(anyDay(rng));
    for (long day : days) {
        Fields at = Civil(day);
        ASSERT_EQ(Unit::GetMjd(at[0], at[1], at[2], 0, 0, 0), double(day));
        ASSERT_EQ(Split(day, kSeconds), at) << day;
        if (day <= 0) continue;  // instants before day 0 have a negative time of day
        const long t = day % 3 ? tenth(rng) : (day % 2 ? 0 : 863999);
        at[3] = t / 36000, at[4] = t / 600 % 60, at[5] = t / 10 % 60, at[6] = t % 10;
        ASSERT_EQ(Split(day + (t + off(rng)) / 864000.0, kTenths), at) << day << ' ' << t;
        const long s = t / 10 + (at[6] >= 5);  // t rounded to the second, within the day
        at[3] = s / 3600, at[4] = s / 60 % 60, at[5] = s % 60, at[6] = 0;
        if (s == 86400) continue;
        const double instant = day + (s + off(rng)) / 86400.0;
        ASSERT_EQ(Split(instant, kSeconds), at) << std::hexfloat << instant;
        ASSERT_EQ(Unit::RoundToSecond(instant),
                  Unit::GetMjd(at[0], at[1], at[2], at[3], at[4], at[5]));
        double sec = 0;
        at[5] = 0;
        EXPECT_EQ(Split(day + (s + 0.25) / 86400.0, kPrecise, &sec), at);  // unrounded
        EXPECT_NEAR(sec, s % 60 + 0.25, 1e-4) << day;
    }
}

TEST(Mjd, OutsideTheRangeNothingIsWritten) {
    EXPECT_EQ(Unit::MinOleDateTimeAsMjd(), kMin);
    EXPECT_EQ(Unit::MaxOleDateTimeAsMjd(), kMax);
    const Fields untouched = {-7, -7, -7, -7, -7, -7, -7};
    for (double bad :
         {std::nextafter(kMax, kInf), std::nextafter(kMin, -kInf), kInf, -kInf, kNaN}) {
        double sec = 0;
        for (Kind kind : {kSeconds, kTenths, kPrecise})
            EXPECT_EQ(Split(bad, kind, &sec, -7), untouched) << bad;
        EXPECT_EQ(sec, -7);
        EXPECT_FALSE(Unit::ValidateDateTime(bad));
        EXPECT_TRUE(Same(Unit::RoundToSecond(bad), bad)) << bad;  // returned as it is
    }
}

TEST(Mjd, BuildValidateRound) {
    EXPECT_EQ(Unit::BuildDateTime(51544.9, 3.25), 51544.25);
    EXPECT_EQ(Unit::BuildDateTime(-2.5, -0.25), -2.25);           // days toward zero
    EXPECT_EQ(Unit::BuildDateTime(1e10 + 0.5, 0.5), 1e10 + 0.5);  // no 32-bit limit
    EXPECT_FALSE(std::signbit(Unit::BuildDateTime(-0.5, -0.0)));  // (-1, 0) gives +0 days
    EXPECT_TRUE(std::isnan(Unit::BuildDateTime(kNaN, 0.5)));
    EXPECT_TRUE(std::isnan(Unit::BuildDateTime(1, kInf)));
    EXPECT_EQ(Unit::BuildDateTime(-kInf, 0.5), -kInf);
    // Years 2000 to 2100, split as rounded to the second.
    EXPECT_TRUE(Unit::ValidateDateTime(51544.0));
    EXPECT_TRUE(Unit::ValidateDateTime(88433.99999));
    EXPECT_TRUE(Unit::ValidateDateTime(51543.999999));  // rounds into 2000
    EXPECT_FALSE(Unit::ValidateDateTime(51543.0));
    EXPECT_FALSE(Unit::ValidateDateTime(88433.999999));
    EXPECT_EQ(Unit::RoundToSecond(51544.123456), Unit::GetMjd(2000, 1, 1, 2, 57, 47));
}

}  // namespace
