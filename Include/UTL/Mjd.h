/// @file
/// Modified Julian Dates (MJD): a double counting days since 1858-11-17
/// 00:00:00, the fraction being the time of day. The calendar is the Gregorian
/// one throughout (also before 1582).
///
/// Supported range: MinOleDateTimeAsMjd() (1000-01-01, -313698.0) to
/// MaxOleDateTimeAsMjd() (9999-12-31 00:00:00, 2973483.0), both inclusive.
/// The splitting functions leave every output untouched (write nothing) for a
/// value outside it, NaN and infinities included.
///
/// Precision: an MJD resolves the time of day to its last bit, about 0.6 us
/// near today's dates (MJD ~ 60000) and 40 us at the end of the range.
/// Rounding to the second or tenth happens before the calendar split, so the
/// rounded fields are always a valid date and time (never 60 seconds).
///
/// Instants before day 0 that are not a whole day split with the fraction's
/// sign, i.e. a negative time of day: -0.25 gives 1858-11-16 and hour -6.
#pragma once

#include <UTL/Export.h>

namespace Unit {

/// Calendar fields to MJD, without validation: fields outside their usual
/// range simply add up (hour 25 is 01:00 the next day, month 13 is January of
/// the next year, day 0 the last day of the previous month). So 1858-11-17
/// gives 0.0 and 2000-01-01 12:00:00 gives 51544.5.
/// Any long values are accepted without overflow; for |year| or |month|
/// beyond 2^31 the same formula is evaluated in double precision.
UTL_API double GetMjd(long year, long month, long day, long hour, long minute, long second);

/// MJD rounded to the nearest second (halves up), split into fields:
/// 60675.999999 gives 2025-01-01 00:00:00.
UTL_API void SetMjd(double mjd, long& year, long& month, long& day, long& hour, long& minute,
                    long& second);
/// MJD rounded to the nearest tenth of a second, split into fields and the
/// tenths (0..9): 60675.999999 gives 2024-12-31 23:59:59 and 9 tenths.
UTL_API void SetMjd(double mjd, long& year, long& month, long& day, long& hour, long& minute,
                    long& second, long& tenths);
/// MJD split without rounding; the seconds keep their fraction.
UTL_API void SetMjdPrecise(double mjd, long& year, long& month, long& day, long& hour, long& minute,
                           double& second);

///@{
/// The supported range's limits, computed with GetMjd on the first call and
/// cached: -313698.0 (1000-01-01) and 2973483.0 (9999-12-31).
UTL_API double MinOleDateTimeAsMjd();
UTL_API double MaxOleDateTimeAsMjd();
///@}

/// The whole days of `date` (truncated toward zero) plus fmod(time, 1.0), the
/// time-of-day fraction of `time`: (51544.9, 3.25) gives 51544.25. The whole
/// days are taken in double, so there is no 32-bit limit; NaN and infinities
/// propagate (an infinite time gives NaN).
UTL_API double BuildDateTime(double date, double time);

/// True when the MJD is in the supported range and its year, split as by
/// SetMjd (rounded to the second), is 2000 to 2100 inclusive.
UTL_API bool ValidateDateTime(double mjd);

/// The MJD rounded to the nearest second (SetMjd, then GetMjd of the fields).
/// A value outside the supported range (NaN, infinities) is returned as it is.
UTL_API double RoundToSecond(double mjd);

}  // namespace Unit
