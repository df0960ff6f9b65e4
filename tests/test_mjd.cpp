// Modified Julian Dates: building, splitting (rounded and precise), the
// supported range, and values outside it.
#include <UTL/Mjd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Fields {
    long year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1, tenths = -1;
    double preciseSecond = -1.0;
    bool operator==(const Fields& o) const {
        return year == o.year && month == o.month && day == o.day && hour == o.hour &&
               minute == o.minute && second == o.second && tenths == o.tenths &&
               std::memcmp(&preciseSecond, &o.preciseSecond, sizeof(double)) == 0;
    }
};

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute << ':'
              << f.second << " t" << f.tenths << " p" << f.preciseSecond;
}

Fields Seconds(double mjd) {
    Fields f;
    Unit::SetMjd(mjd, f.year, f.month, f.day, f.hour, f.minute, f.second);
    return f;
}
Fields Tenths(double mjd) {
    Fields f;
    Unit::SetMjd(mjd, f.year, f.month, f.day, f.hour, f.minute, f.second, f.tenths);
    return f;
}
Fields Precise(double mjd) {
    Fields f;
    Unit::SetMjdPrecise(mjd, f.year, f.month, f.day, f.hour, f.minute, f.preciseSecond);
    return f;
}
Fields Ymdhms(long y, long mo, long d, long h, long mi, long s, long tenths = -1) {
    Fields f;
    f.year = y, f.month = mo, f.day = d, f.hour = h, f.minute = mi, f.second = s, f.tenths = tenths;
    return f;
}

// ---- A step-by-step transcription of the date arithmetic, all in double,
// ---- against which the library's integer shortcuts are checked.
namespace reference {

double Frac(double x) {
    return std::fmod(x, 1.0);
}

double GetMjd(long year, long month, long day, long hour, long minute, long second) {
    const double f = ((double(hour) / 24.0 + double(day)) + double(minute) / 24.0 / 60.0) +
                     double(second) / 24.0 / 3600.0;
    long y = year, m = month;
    if (m <= 2) y -= 1, m += 12;
    const long c = y / 100;
    const long b = 2 - c + c / 4;
    return ((((double)(long)(365.25 * y) - 679006.0) + (double)(long)(30.6001 * (m + 1))) + f) + b;
}

void Calendar(double m, double f, Fields& out) {
    const double z = m + 1.0 - f + 2400000.0;
    const double alpha = (double)(long)((z - 1867216.25) / 36524.25);
    const double b = z - 1720995.0 + 1.0 + alpha - (double)(long)(alpha / 4.0);
    const double c = (double)(long)((b - 122.1) / 365.25);
    const double d = (double)(long)(365.25 * c);
    const double e = (double)(long)((b - d) / 30.6001);
    out.day = (long)(b - d - (double)(long)(30.6001 * e) + f);
    out.month = (long)e - 1 > 12 ? (long)e - 13 : (long)e - 1;
    out.year = (long)c + (out.month <= 2 ? 1 : 0);
}

double Round(double t) {
    return std::floor(t) + (Frac(t) >= 0.5 ? 1.0 : 0.0);
}

Fields Seconds(double mjd) {
    Fields out;
    const double m = Round(mjd * 86400.0) / 86400.0;
    const double f = Frac(m);
    Calendar(m, f, out);
    const long t = (long)Round(f * 86400.0);
    out.hour = t / 3600;
    out.minute = (t - 3600 * out.hour) / 60;
    out.second = t - 3600 * out.hour - 60 * out.minute;
    return out;
}

Fields Tenths(double mjd) {
    Fields out;
    const double m = Round(mjd * 864000.0) / 864000.0;
    const double f = Frac(m);
    Calendar(m, f, out);
    long t = (long)Round(f * 864000.0);
    out.hour = t / 36000;
    t -= 36000 * out.hour;
    out.minute = t / 600;
    t -= 600 * out.minute;
    out.second = t / 10;
    out.tenths = t - 10 * out.second;
    return out;
}

Fields Precise(double mjd) {
    Fields out;
    const double f = Frac(mjd);
    Calendar(mjd, f, out);
    double s = f * 86400.0;
    out.hour = (long)(s / 3600.0);
    s = s - 3600.0 * out.hour;
    out.minute = (long)(s / 60.0);
    out.preciseSecond = s - 60.0 * out.minute;
    return out;
}

}  // namespace reference

constexpr double kMin = -313698.0;
constexpr double kMax = 2973483.0;

// ---- Building --------------------------------------------------------------

TEST(MjdBuild, KnownDates) {
    EXPECT_EQ(Unit::GetMjd(1858, 11, 17, 0, 0, 0), 0.0);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 12, 0, 0), 51544.5);
    EXPECT_EQ(Unit::GetMjd(2000, 2, 29, 0, 0, 0), 51603.0);
    EXPECT_EQ(Unit::GetMjd(2000, 3, 1, 0, 0, 0), 51604.0);
    EXPECT_EQ(Unit::GetMjd(1900, 3, 1, 0, 0, 0), 15079.0);  // 1900 is no leap year
    EXPECT_EQ(Unit::GetMjd(1900, 2, 28, 0, 0, 0), 15078.0);
    EXPECT_EQ(Unit::GetMjd(2100, 12, 31, 0, 0, 0), 88433.0);
    EXPECT_EQ(Unit::GetMjd(2024, 12, 31, 23, 59, 59), 60675.99998842592);
    EXPECT_EQ(Unit::GetMjd(1582, 10, 15, 0, 0, 0), -100840.0);  // proleptic Gregorian
    EXPECT_EQ(Unit::GetMjd(1582, 10, 4, 0, 0, 0), -100851.0);
}

TEST(MjdBuild, FieldsOutsideTheirRangeAddUp) {
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 25, 0, 0), 51545.041666666664);
    EXPECT_EQ(Unit::GetMjd(2000, 13, 1, 0, 0, 0), 51910.0);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 0, 0, 0, 0), 51543.0);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 0, 0, 86400), 51545.0);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 0, 1440, 0), 51545.0);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, -12, 0, 0), 51544.0 - 0.5);
}

TEST(MjdBuild, MatchesTheStepByStepArithmeticBitForBit) {
    std::mt19937_64 rng(20261205);
    std::uniform_int_distribution<long> year(-5000, 12000), month(-30, 40), day(-40, 70),
        hour(-30, 50), minute(-90, 150), second(-100, 200);
    std::uniform_int_distribution<long> usualMonth(1, 12), usualDay(1, 31), usualHour(0, 23),
        usualMinute(0, 59), usualSecond(0, 59);
    for (int i = 0; i < 200000; ++i) {
        long f[6] = {year(rng), month(rng), day(rng), hour(rng), minute(rng), second(rng)};
        if (i % 2 == 0) {
            f[1] = usualMonth(rng), f[2] = usualDay(rng), f[3] = usualHour(rng);
            f[4] = usualMinute(rng), f[5] = usualSecond(rng);
        }
        const double expected = reference::GetMjd(f[0], f[1], f[2], f[3], f[4], f[5]);
        const double actual = Unit::GetMjd(f[0], f[1], f[2], f[3], f[4], f[5]);
        ASSERT_EQ(std::memcmp(&expected, &actual, sizeof(double)), 0)
            << f[0] << '-' << f[1] << '-' << f[2] << ' ' << f[3] << ':' << f[4] << ':' << f[5];
    }
}

TEST(MjdBuild, ExtremeFieldsDoNotOverflow) {
    // Any long is accepted (the sanitizer build checks for signed overflow);
    // the date part then follows the same formula in double.
    const long extremes[] = {LONG_MIN, LONG_MIN + 1, -1, 0, 1, 2, 12, 13, LONG_MAX - 1, LONG_MAX};
    for (long a : extremes) {
        for (long b : extremes) {
            EXPECT_FALSE(std::isnan(Unit::GetMjd(a, b, a, b, a, b)));
            EXPECT_FALSE(std::isnan(Unit::GetMjd(b, a, 1, 0, 0, 0)));
        }
    }
    // Beyond the 32-bit range of the fields the result is still the formula's.
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1LL << 40, 0, 0, 0), 51543.0 + double(1LL << 40));
    EXPECT_EQ(Unit::GetMjd(3000000000L, 3, 1, 0, 0, 0),
              std::trunc(365.25 * 3e9) - 679006.0 + 122.0 + 1.0 + (2.0 - 30000000.0 + 7500000.0));
}

// ---- Splitting ---------------------------------------------------------------

TEST(MjdSplit, RoundedToTheSecond) {
    EXPECT_EQ(Seconds(51544.5), Ymdhms(2000, 1, 1, 12, 0, 0));
    EXPECT_EQ(Seconds(51544.123456), Ymdhms(2000, 1, 1, 2, 57, 47));
    EXPECT_EQ(Seconds(60675.99999), Ymdhms(2024, 12, 31, 23, 59, 59));  // 0.136 s down
    EXPECT_EQ(Seconds(60675.999999), Ymdhms(2025, 1, 1, 0, 0, 0));      // rounded before split
    EXPECT_EQ(Seconds(0.0), Ymdhms(1858, 11, 17, 0, 0, 0));
    EXPECT_EQ(Seconds(51603.0), Ymdhms(2000, 2, 29, 0, 0, 0));
    EXPECT_EQ(Seconds(15078.0), Ymdhms(1900, 2, 28, 0, 0, 0));
    EXPECT_EQ(Seconds(15079.0), Ymdhms(1900, 3, 1, 0, 0, 0));
    // Exactly half a second rounds up.
    EXPECT_EQ(Seconds(51544.0 + 0.5 / 86400.0 + 1e-16), Ymdhms(2000, 1, 1, 0, 0, 1));
}

TEST(MjdSplit, RoundedToTheTenth) {
    EXPECT_EQ(Tenths(51544.123456), Ymdhms(2000, 1, 1, 2, 57, 46, 6));
    EXPECT_EQ(Tenths(60675.999999), Ymdhms(2024, 12, 31, 23, 59, 59, 9));
    EXPECT_EQ(Tenths(51544.5), Ymdhms(2000, 1, 1, 12, 0, 0, 0));
}

TEST(MjdSplit, PreciseKeepsTheFraction) {
    const Fields f = Precise(51544.123456);
    EXPECT_EQ(f.year, 2000);
    EXPECT_EQ(f.month, 1);
    EXPECT_EQ(f.day, 1);
    EXPECT_EQ(f.hour, 2);
    EXPECT_EQ(f.minute, 57);
    EXPECT_NEAR(f.preciseSecond, 46.5984, 1e-6);
}

TEST(MjdSplit, RangeLimitsAndBeyond) {
    EXPECT_EQ(Unit::MinOleDateTimeAsMjd(), kMin);
    EXPECT_EQ(Unit::MaxOleDateTimeAsMjd(), kMax);
    EXPECT_EQ(Unit::MinOleDateTimeAsMjd(), Unit::GetMjd(1000, 1, 1, 0, 0, 0));  // cached value
    EXPECT_EQ(Seconds(kMin), Ymdhms(1000, 1, 1, 0, 0, 0));
    EXPECT_EQ(Seconds(kMax), Ymdhms(9999, 12, 31, 0, 0, 0));
    // Outside the range (NaN and infinities included) nothing is written.
    const Fields untouched;
    for (double bad : {kMax + 0.1, std::nextafter(kMax, kInf), std::nextafter(kMin, -kInf), -1e300,
                       1e300, kInf, -kInf, kNaN}) {
        EXPECT_EQ(Seconds(bad), untouched) << bad;
        EXPECT_EQ(Tenths(bad), untouched) << bad;
        EXPECT_EQ(Precise(bad), untouched) << bad;
    }
}

TEST(MjdSplit, BeforeDayZeroTheTimeOfDayIsNegative) {
    EXPECT_EQ(Seconds(-0.25), Ymdhms(1858, 11, 16, -6, 0, 0));
    EXPECT_EQ(Seconds(-1.0), Ymdhms(1858, 11, 16, 0, 0, 0));
    EXPECT_EQ(Precise(-1.0).preciseSecond, 0.0);
    EXPECT_TRUE(std::signbit(Precise(-1.0).preciseSecond));  // fmod keeps the sign of zero
    EXPECT_EQ(Seconds(-100840.0), Ymdhms(1582, 10, 15, 0, 0, 0));
}

// Every day of the supported range: the integer shortcut and the double
// steps agree, and building the split date gives the day back.
TEST(MjdSplit, EveryWholeDayOfTheRange) {
    for (double day = kMin; day <= kMax; day += 1.0) {
        const Fields s = Seconds(day);
        ASSERT_EQ(s, reference::Seconds(day)) << day;
        ASSERT_EQ(Precise(day), reference::Precise(day)) << day;
        ASSERT_EQ(Unit::GetMjd(s.year, s.month, s.day, 0, 0, 0), day);
        ASSERT_GE(s.month, 1);
        ASSERT_LE(s.month, 12);
        ASSERT_GE(s.day, 1);
        ASSERT_LE(s.day, 31);
    }
}

double RandomInRange(std::mt19937_64& rng, int kind) {
    std::uniform_real_distribution<double> any(kMin, kMax), modern(40000.0, 80000.0),
        frac(0.0, 1.0);
    switch (kind % 4) {
        case 0:
            return any(rng);
        case 1:
            return modern(rng);
        // Instants next to a half second and next to midnight.
        case 2:
            return std::floor(modern(rng) * 86400.0) / 86400.0 +
                   (0.5 + (frac(rng) - 0.5) * 1e-6) / 86400.0;
        default:
            return std::nextafter(std::floor(any(rng)), frac(rng) < 0.5 ? -kInf : kInf);
    }
}

TEST(MjdSplit, MatchesTheStepByStepArithmetic) {
    std::mt19937_64 rng(42);
    for (int i = 0; i < 1000000; ++i) {
        const double mjd = RandomInRange(rng, i);
        ASSERT_EQ(Seconds(mjd), reference::Seconds(mjd)) << std::hexfloat << mjd;
        ASSERT_EQ(Tenths(mjd), reference::Tenths(mjd)) << std::hexfloat << mjd;
        ASSERT_EQ(Precise(mjd), reference::Precise(mjd)) << std::hexfloat << mjd;
    }
}

// Every second and every half second of days where the MJD changes binade
// (its last bit doubles) and of the range's ends.
TEST(MjdSplit, EverySecondOfBinadeEdges) {
    for (double day : {-313698.0, -1.0, 0.0, 1.0, 32767.0, 65535.0, 65536.0, 1048575.0, 2097151.0,
                       2097152.0, 2973482.0}) {
        for (int s = 0; s < 2 * 86400; ++s) {
            const double mjd = day + s / 172800.0;
            ASSERT_EQ(Seconds(mjd), reference::Seconds(mjd)) << std::hexfloat << mjd;
            ASSERT_EQ(Tenths(mjd), reference::Tenths(mjd)) << std::hexfloat << mjd;
            ASSERT_EQ(Precise(mjd), reference::Precise(mjd)) << std::hexfloat << mjd;
        }
    }
}

TEST(MjdSplit, RoundTripsThroughTheFields) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> any(0.0, kMax);
    for (int i = 0; i < 100000; ++i) {
        const double mjd = any(rng);
        const Fields s = Seconds(mjd);
        const double back = Unit::GetMjd(s.year, s.month, s.day, s.hour, s.minute, s.second);
        ASSERT_NEAR(back, mjd, 0.5 / 86400.0 + 1e-9) << mjd;
        ASSERT_EQ(Unit::RoundToSecond(mjd), back);
    }
}

// ---- Combining, validating, rounding -------------------------------------------

TEST(MjdHelpers, BuildDateTime) {
    EXPECT_EQ(Unit::BuildDateTime(51544.9, 3.25), 51544.25);
    EXPECT_EQ(Unit::BuildDateTime(51544.0, 0.75), 51544.75);
    EXPECT_EQ(Unit::BuildDateTime(-0.5, 0.25), 0.25);  // toward zero
    EXPECT_EQ(Unit::BuildDateTime(-2.5, -0.25), -2.25);
    // No 32-bit limit on the days; NaN and infinities propagate.
    EXPECT_EQ(Unit::BuildDateTime(1e10 + 0.5, 0.5), 1e10 + 0.5);
    EXPECT_TRUE(std::isnan(Unit::BuildDateTime(kNaN, 0.5)));
    EXPECT_TRUE(std::isnan(Unit::BuildDateTime(1.0, kInf)));
    EXPECT_EQ(Unit::BuildDateTime(-kInf, 0.5), -kInf);
    // Like a 32-bit truncation, the whole days of (-1, 0) are +0.
    EXPECT_FALSE(std::signbit(Unit::BuildDateTime(-0.5, -0.0)));
}

TEST(MjdHelpers, ValidateDateTimeAcceptsYears2000To2100) {
    EXPECT_TRUE(Unit::ValidateDateTime(51544.0));
    EXPECT_TRUE(Unit::ValidateDateTime(88433.0));
    EXPECT_TRUE(Unit::ValidateDateTime(88433.99999));    // still 2100-12-31 23:59:59
    EXPECT_FALSE(Unit::ValidateDateTime(88433.999999));  // rounds into 2101
    EXPECT_FALSE(Unit::ValidateDateTime(51543.0));
    EXPECT_TRUE(Unit::ValidateDateTime(51543.999999));  // rounds into 2000
    for (double bad : {kMax + 1.0, kMin - 1.0, kNaN, kInf, -kInf}) {
        EXPECT_FALSE(Unit::ValidateDateTime(bad)) << bad;
    }
}

TEST(MjdHelpers, RoundToSecond) {
    EXPECT_EQ(Unit::RoundToSecond(51544.123456), Unit::GetMjd(2000, 1, 1, 2, 57, 47));
    EXPECT_EQ(Unit::RoundToSecond(60675.999999), 60676.0);
    // Outside the range the value comes back as it is.
    EXPECT_EQ(Unit::RoundToSecond(kMax + 0.5), kMax + 0.5);
    EXPECT_EQ(Unit::RoundToSecond(-kInf), -kInf);
    EXPECT_TRUE(std::isnan(Unit::RoundToSecond(kNaN)));
}

}  // namespace
