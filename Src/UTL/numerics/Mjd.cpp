// Modified Julian Dates: building from calendar fields, splitting with and
// without rounding, and the supported range.
//
// The results are defined by a sequence of double operations (see each
// function). The common cases take integer shortcuts that give bit-identical
// results: every shortcut is either exact integer arithmetic equal to the
// double steps (checked over every day of the supported range while it was
// written; the tests keep an independent calendar check) or a table of the
// same double expressions.
#include <UTL/Mjd.h>

#include <cmath>
#include <cstdint>

#include "Numeric.h"

using UTL::detail::TruncWhole;

namespace {

constexpr double kHoursPerDay = 24.0;
constexpr double kMinutesPerHour = 60.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kDaysPerYear = 365.25;
constexpr double kMonthFactor = 30.6001;
constexpr double kMjdOffset = 679006.0;
constexpr double kJulianDayOffset = 2400000.0;
constexpr double kGregorianEpoch = 1867216.25;
constexpr double kDaysPerCentury = 36524.25;
constexpr double kCalendarOrigin = 1720995.0;
constexpr double kYearEstimateOffset = 122.1;
constexpr double kSecondsPerDay = 86400.0;
constexpr std::uint32_t kSecondsInDay = 86400;
constexpr std::uint32_t kTenthsInDay = 864000;
constexpr double kHalf = 0.5;

// ---- Tables of the double expressions for the usual field values ------------

constexpr int kMonthTableSize = 16;  // month + 1 (4..15) and the split's E (4..15)

// trunc(30.6001 * i), the days before a month counted from March.
struct MonthDays {
    std::int64_t days[kMonthTableSize];
    constexpr MonthDays() : days() {
        for (int i = 0; i < kMonthTableSize; ++i)
            days[i] = static_cast<std::int64_t>(kMonthFactor * i);
    }
};
constexpr MonthDays kMonthDays;

// hour / 24, minute / 24 / 60 and second / 24 / 3600, as GetMjd divides them.
struct TimeFractions {
    double hour[24];
    double minute[60];
    double second[60];
    constexpr TimeFractions() : hour(), minute(), second() {
        for (int h = 0; h < 24; ++h) hour[h] = h / kHoursPerDay;
        for (int m = 0; m < 60; ++m) minute[m] = m / kHoursPerDay / kMinutesPerHour;
        for (int s = 0; s < 60; ++s) second[s] = s / kHoursPerDay / kSecondsPerHour;
    }
};
constexpr TimeFractions kTimeFractions;

// ---- Building --------------------------------------------------------------

// ((hour / 24 + day) + minute / 24 / 60) + second / 24 / 3600.
double DayWithTime(long day, long hour, long minute, long second) {
    if (hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60) {
        return ((kTimeFractions.hour[hour] + static_cast<double>(day)) +
                kTimeFractions.minute[minute]) +
               kTimeFractions.second[second];
    }
    return ((static_cast<double>(hour) / kHoursPerDay + static_cast<double>(day)) +
            static_cast<double>(minute) / kHoursPerDay / kMinutesPerHour) +
           static_cast<double>(second) / kHoursPerDay / kSecondsPerHour;
}

// Years for which the integer shortcut cannot overflow.
constexpr long kShortcutYearLimit = 1000000000L;

// The date part in double: trunc(365.25 * Y) - 679006 + trunc(30.6001 * (M + 1))
// and the Gregorian correction B, for any field values.
double GetMjdInDouble(long year, long month, double dayWithTime) {
    const bool early = month <= 2;
    const double y = static_cast<double>(year) - (early ? 1.0 : 0.0);
    const double monthPlusOne = static_cast<double>(month) + (early ? 13.0 : 1.0);
    const double century = std::trunc(y / 100.0);
    const double correction = 2.0 - century + std::trunc(century / 4.0);
    return (((std::trunc(kDaysPerYear * y) - kMjdOffset) +
             std::trunc(kMonthFactor * monthPlusOne)) +
            dayWithTime) +
           correction;
}

// ---- Splitting ---------------------------------------------------------------

// The values MinOleDateTimeAsMjd and MaxOleDateTimeAsMjd compute and cache
// (the tests check that they agree); the splitting functions compare with
// these constants directly.
constexpr double kMinSupportedMjd = -313698.0;
constexpr double kMaxSupportedMjd = 2973483.0;

// False for NaN as well.
bool InSupportedRange(double mjd) {
    return mjd >= kMinSupportedMjd && mjd <= kMaxSupportedMjd;
}

// fmod(x, 1.0) for finite x, sign of zero included.
double FractionOf(double x) {
    return std::copysign(x - std::trunc(x), x);
}

// floor(t), plus 1 when fmod(t, 1.0) >= 0.5: halves round up.
double RoundHalfUp(double scaled) {
    const double down = std::floor(scaled);
    return FractionOf(scaled) >= kHalf ? down + 1.0 : down;
}

struct Date {
    long year;
    long month;
    long day;
};

// The calendar steps in double, given Z and the fraction f of the day.
Date CalendarInDouble(double z, double fraction) {
    const double alpha = TruncWhole((z - kGregorianEpoch) / kDaysPerCentury);
    const double b = z - kCalendarOrigin + 1.0 + alpha - TruncWhole(alpha / 4.0);
    const double c = TruncWhole((b - kYearEstimateOffset) / kDaysPerYear);
    const double d = TruncWhole(kDaysPerYear * c);
    const double e = TruncWhole((b - d) / kMonthFactor);
    Date date;
    date.day = static_cast<long>(std::trunc(b - d - TruncWhole(kMonthFactor * e) + fraction));
    const long month = static_cast<long>(e) - 1;
    date.month = month > 12 ? month - 12 : month;
    date.year = static_cast<long>(c) + (date.month <= 2 ? 1 : 0);
    return date;
}

// The same steps for a whole Z of the supported range (2086303 to 5373484)
// in exact unsigned 32-bit arithmetic (every intermediate is positive and
// below 2^27). Each truncated quotient of the double steps lies at least
// 1/306001 from a whole number, far beyond the double rounding errors, so the
// results agree. Returns the day before adding the fraction
// (b - d - trunc(30.6001 * e)).
Date CalendarOfWholeDay(std::uint32_t z) {
    const std::uint32_t alpha = (4 * z - 7468865) / 146097;  // (z - 1867216.25) / 36524.25
    const std::uint32_t b = z - 1720994 + alpha - alpha / 4;
    const std::uint32_t c = (20 * b - 2442) / 7305;    // (b - 122.1) / 365.25
    const std::uint32_t d = (1461 * c) / 4;            // 365.25 * c
    const std::uint32_t e = (b - d) * 10000 / 306001;  // (b - d) / 30.6001
    Date date;
    date.day = static_cast<long>(b - d - kMonthDays.days[e]);
    const long month = static_cast<long>(e) - 1;
    date.month = month > 12 ? month - 12 : month;
    date.year = static_cast<long>(c) + (date.month <= 2 ? 1 : 0);
    return date;
}

// Z of a day count inside the supported range (at least 2086303).
constexpr std::uint32_t kJulianDayOfMjdZero = 2400001;

// The calendar split of an MJD m with its fraction f.
Date SplitCalendar(double mjd, double fraction) {
    const double z = mjd + 1.0 - fraction + kJulianDayOffset;
    const std::uint32_t wholeZ = static_cast<std::uint32_t>(z);  // 2086303 <= z < 5373485
    if (static_cast<double>(wholeZ) != z) return CalendarInDouble(z, fraction);
    Date date = CalendarOfWholeDay(wholeZ);
    date.day = static_cast<long>(std::trunc(static_cast<double>(date.day) + fraction));
    return date;
}

void WriteDate(const Date& date, long& year, long& month, long& day) {
    year = date.year;
    month = date.month;
    day = date.day;
}

// Splits an in-range MJD rounded to 1 / kUnitsPerDay of a day: writes the
// date and returns the rounded time of day in those units.
template <std::uint32_t kUnitsPerDay>
long SplitRounded(double mjd, long& year, long& month, long& day) {
    constexpr double unitsPerDay = kUnitsPerDay;
    const double scaled = mjd * unitsPerDay;
    if (scaled >= 0.0) {
        // Shortcut: the rounded count splits exactly into whole days and units
        // (the double steps recover the same day and time of day because the
        // quotient's rounding error stays below 1e-3 units). scaled < 2^38.
        const std::uint64_t truncated = static_cast<std::uint64_t>(scaled);
        const std::uint64_t rounded =
            truncated + (scaled - static_cast<double>(truncated) >= kHalf ? 1 : 0);
        const std::uint32_t days = static_cast<std::uint32_t>(rounded / kUnitsPerDay);
        WriteDate(CalendarOfWholeDay(days + kJulianDayOfMjdZero), year, month, day);
        return static_cast<long>(rounded % kUnitsPerDay);
    }
    const double rounded = RoundHalfUp(scaled) / unitsPerDay;
    const double fraction = FractionOf(rounded);
    WriteDate(SplitCalendar(rounded, fraction), year, month, day);
    return static_cast<long>(RoundHalfUp(fraction * unitsPerDay));
}

}  // namespace

namespace Unit {

double GetMjd(long year, long month, long day, long hour, long minute, long second) {
    const double dayWithTime = DayWithTime(day, hour, minute, second);
    if (month < 1 || month > 12 || year <= -kShortcutYearLimit || year >= kShortcutYearLimit)
        return GetMjdInDouble(year, month, dayWithTime);
    // Shortcut: the whole-day terms are exact integers in double, so integer
    // arithmetic gives the same sum; only the additions of the time of day
    // and of B round.
    const bool early = month <= 2;
    const long y = early ? year - 1 : year;
    const long century = y / 100;
    const long correction = 2 - century + century / 4;
    const long wholeDays = (1461 * y) / 4 - 679006 + kMonthDays.days[month + (early ? 13 : 1)];
    return (static_cast<double>(wholeDays) + dayWithTime) + static_cast<double>(correction);
}

void SetMjd(double mjd, long& year, long& month, long& day, long& hour, long& minute,
            long& second) {
    if (!InSupportedRange(mjd)) return;
    const long t = SplitRounded<kSecondsInDay>(mjd, year, month, day);
    hour = t / 3600;
    minute = (t - 3600 * hour) / 60;
    second = t - 3600 * hour - 60 * minute;
}

void SetMjd(double mjd, long& year, long& month, long& day, long& hour, long& minute, long& second,
            long& tenths) {
    if (!InSupportedRange(mjd)) return;
    long rest = SplitRounded<kTenthsInDay>(mjd, year, month, day);
    hour = rest / 36000;
    rest -= 36000 * hour;
    minute = rest / 600;
    rest -= 600 * minute;
    second = rest / 10;
    tenths = rest - 10 * second;
}

void SetMjdPrecise(double mjd, long& year, long& month, long& day, long& hour, long& minute,
                   double& second) {
    if (!InSupportedRange(mjd)) return;
    const double fraction = FractionOf(mjd);
    WriteDate(SplitCalendar(mjd, fraction), year, month, day);
    double seconds = fraction * kSecondsPerDay;
    hour = static_cast<long>(std::trunc(seconds / kSecondsPerHour));
    seconds = seconds - kSecondsPerHour * hour;
    minute = static_cast<long>(std::trunc(seconds / kMinutesPerHour));
    second = seconds - kMinutesPerHour * minute;
}

double MinOleDateTimeAsMjd() {
    static const double limit = GetMjd(1000, 1, 1, 0, 0, 0);
    return limit;
}

double MaxOleDateTimeAsMjd() {
    static const double limit = GetMjd(9999, 12, 31, 0, 0, 0);
    return limit;
}

double BuildDateTime(double date, double time) {
    return TruncWhole(date) + std::fmod(time, 1.0);
}

bool ValidateDateTime(double mjd) {
    if (!InSupportedRange(mjd)) return false;
    long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    SetMjd(mjd, year, month, day, hour, minute, second);
    return year >= 2000 && year <= 2100;
}

double RoundToSecond(double mjd) {
    if (!InSupportedRange(mjd)) return mjd;
    long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    SetMjd(mjd, year, month, day, hour, minute, second);
    return GetMjd(year, month, day, hour, minute, second);
}

}  // namespace Unit
