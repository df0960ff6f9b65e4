// Modified Julian Dates: known dates, an independent civil-calendar check,
// the rounding edges, the supported range and values outside it.
#include <UTL/Mjd.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <random>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
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
TEST(Mjd, GetMjd) {
    const struct {
        long f[6];
        double mjd;
    } cases[] = {{{1858, 11, 17, 0, 0, 0}, 0.0},       {{2000, 1, 1, 12, 0, 0}, 51544.5},
                 {{2000, 2, 29, 0, 0, 0}, 51603.0},    {{2000, 3, 1, 0, 0, 0}, 51604.0},
                 {{1900, 3, 1, 0, 0, 0}, 15079.0},     {{2100, 12, 31, 0, 0, 0}, 88433.0},
                 {{2000, 13, 1, 0, 0, 0}, 51910.0},    {{2000, 1, 0, 0, 0, 0}, 51543.0},
                 {{2000, 1, 1, 0, 0, 86400}, 51545.0}, {{2000, 1, 1, -12, 0, 0}, 51543.5}};
    for (const auto& c : cases) {
        const long* f = c.f;
        EXPECT_EQ(Unit::GetMjd(f[0], f[1], f[2], f[3], f[4], f[5]), c.mjd) << f[0] << '-' << f[1];
    }
    EXPECT_EQ(Unit::GetMjd(2024, 12, 31, 23, 59, 59), 60675.99998842592);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1, 25, 0, 0), 51545.041666666664);
    EXPECT_EQ(Unit::GetMjd(2000, 1, 1L << 40, 0, 0, 0), 51543.0 + 0x1p40);
    EXPECT_EQ(Unit::GetMjd(3000000000L, 3, 1, 0, 0, 0),
              std::trunc(365.25 * 3e9) - 679006.0 + 123.0 - 22499998.0);
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
    } cases[] = {{51544.123456, kSeconds, {2000, 1, 1, 2, 57, 47}},
                 {51544.123456, kTenths, {2000, 1, 1, 2, 57, 46, 6}},
                 {60675.99999, kSeconds, {2024, 12, 31, 23, 59, 59}},
                 {60675.999999, kSeconds, {2025, 1, 1, 0, 0, 0}},
                 {60675.999999, kTenths, {2024, 12, 31, 23, 59, 59, 9}},
                 {kHalfPast, kSeconds, {2000, 1, 1, 0, 0, 1}},
                 {kMax, kSeconds, {9999, 12, 31, 0, 0, 0}},
                 {-0.25, kSeconds, {1858, 11, 16, -6, 0, 0}}};
    for (const auto& c : cases) EXPECT_EQ(Split(c.mjd, c.kind), c.expected) << c.mjd;
    double sec = 0;
    EXPECT_EQ(Split(51544.123456, kPrecise, &sec), (Fields{2000, 1, 1, 2, 57}));
    EXPECT_NEAR(sec, 46.5984, 1e-6);
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
    EXPECT_TRUE(Unit::MinOleDateTimeAsMjd() == kMin && Unit::MaxOleDateTimeAsMjd() == kMax);
    const Fields untouched = {-7, -7, -7, -7, -7, -7, -7};
    for (double bad :
         {std::nextafter(kMax, kInf), std::nextafter(kMin, -kInf), kInf, -kInf, kNaN}) {
        double sec = 0;
        for (Kind kind : {kSeconds, kTenths, kPrecise})
            EXPECT_EQ(Split(bad, kind, &sec, -7), untouched) << bad;
        EXPECT_EQ(sec, -7);
        EXPECT_FALSE(Unit::ValidateDateTime(bad));
        const double back = Unit::RoundToSecond(bad);  // returned as it is
        EXPECT_TRUE(back == bad || (std::isnan(back) && std::isnan(bad))) << bad;
    }
}

TEST(Mjd, BuildValidateRound) {
    EXPECT_EQ(Unit::BuildDateTime(51544.9, 3.25), 51544.25);
    EXPECT_EQ(Unit::BuildDateTime(-2.5, -0.25), -2.25);           // days toward zero
    EXPECT_EQ(Unit::BuildDateTime(1e10 + 0.5, 0.5), 1e10 + 0.5);  // no 32-bit limit
    EXPECT_FALSE(std::signbit(Unit::BuildDateTime(-0.5, -0.0)));  // (-1, 0) gives +0 days
    EXPECT_TRUE(std::isnan(Unit::BuildDateTime(kNaN, 0.5)) &&
                std::isnan(Unit::BuildDateTime(1, kInf)));
    EXPECT_EQ(Unit::BuildDateTime(-kInf, 0.5), -kInf);
    // Years 2000 to 2100, split as rounded to the second.
    EXPECT_TRUE(Unit::ValidateDateTime(51544.0) && Unit::ValidateDateTime(88433.99999));
    EXPECT_TRUE(Unit::ValidateDateTime(51543.999999));  // rounds into 2000
    EXPECT_FALSE(Unit::ValidateDateTime(51543.0) || Unit::ValidateDateTime(88433.999999));
    EXPECT_EQ(Unit::RoundToSecond(51544.123456), Unit::GetMjd(2000, 1, 1, 2, 57, 47));
}

}  // namespace
