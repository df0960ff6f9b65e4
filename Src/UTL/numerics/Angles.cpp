// Angle notations: sexagesimal and centesimal parts, packed values, radians
// and the vertical-angle forms.
#include <UTL/Angles.h>

#include <cmath>

#include "Numeric.h"

using UTL::detail::IncrementSaturated;
using UTL::detail::TruncToInt32;

namespace {

constexpr double kRadPerDeg = 0.017453292519943295;
constexpr double kDegPerRad = 57.29577951308232;
constexpr double kRadPerGon = 0.015707963267948967;
constexpr double kGonPerRad = 63.66197723675813;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
constexpr double kThreeHalfPi = 4.71238898038469;
constexpr double kTwoPi = 6.283185307179586;

// Packed notation: two decimal digits of minutes, then the seconds.
constexpr double kPackedMinutes = 100.0;
constexpr double kPackedSeconds = 10000.0;
// Keeps a packed value stored slightly below its decimal form (12.34) from
// losing a minute to the truncation.
constexpr double kPackedMinutesGuard = 5e-7;
// Seconds this close to 60 are taken as a full minute when joining.
constexpr double kSnapToSixty = 1e-9;
// Whole degrees beyond this do not fit the int part.
constexpr double kWholeLimit = 2147483648.0;

// The two part notations.
struct Notation {
    double perUnit;    // minutes per degree (gon), seconds per minute
    int minuteLimit;   // largest minute value
    double threshold;  // seconds above this show as a full minute (two steps below perUnit)
};
constexpr Notation kSexagesimal{60.0, 59, 59.999999999999986};
constexpr Notation kCentesimal{100.0, 99, 99.99999999999997};

// 1 / 10^n with 10^n built by repeated squaring (n >= 0); huge n give 0.
double InversePowerOfTen(int n) {
    unsigned int bits = static_cast<unsigned int>(n);
    double power = 1.0;
    for (double base = 10.0;; base *= base) {
        if ((bits & 1u) != 0) power *= base;
        bits >>= 1;
        if (bits == 0) break;
    }
    return 1.0 / power;
}

// Carries seconds that would show as a full minute at `decimals` decimals.
void CarrySeconds(const Notation& notation, int decimals, int& whole, int& min, double& sec) {
    if (decimals < 0) return;
    const double half = 0.5 * InversePowerOfTen(decimals);
    if (half + sec > notation.threshold) {
        sec = 0.0;
        min = IncrementSaturated(min);
        if (min > notation.minuteLimit) {
            min = 0;
            whole = IncrementSaturated(whole);
        }
    }
}

// Writes the sign and returns the magnitude; false when the magnitude is too
// large for the whole part, which then saturates.
bool BeginSplit(double value, int& sign, int& whole, int& min, double& sec, double& magnitude) {
    sign = value < 0.0 ? -1 : 1;
    magnitude = std::fabs(value);
    if (magnitude >= kWholeLimit) {  // includes infinity, not NaN
        whole = INT32_MAX;
        min = 0;
        sec = 0.0;
        return false;
    }
    whole = TruncToInt32(magnitude);
    return true;
}

// Decimal degrees (gon) to parts, without the carry.
void SplitDecimal(const Notation& notation, double value, int& sign, int& whole, int& min,
                  double& sec, int decimals) {
    double magnitude;
    if (!BeginSplit(value, sign, whole, min, sec, magnitude)) return;
    const double minutes = (magnitude - whole) * notation.perUnit;
    min = TruncToInt32(minutes);
    sec = (minutes - min) * notation.perUnit;
    if (sec < 0.0) sec = 0.0;
    CarrySeconds(notation, decimals, whole, min, sec);
}

// Packed value to parts, digit group by digit group, without normalising.
bool SplitPacked(double value, int& sign, int& whole, int& min, double& sec) {
    double magnitude;
    if (!BeginSplit(value, sign, whole, min, sec, magnitude)) return false;
    min = TruncToInt32((magnitude - whole) * kPackedMinutes + kPackedMinutesGuard);
    sec = (magnitude - (min / kPackedMinutes + whole)) * kPackedSeconds;
    if (sec < 0.0) sec = 0.0;
    return true;
}

void ApplyResolution(Unit::ResolutionAngleT resolution, int& deg, int& min, double& sec) {
    switch (resolution) {
        case Unit::RES_5Sec:
            sec = std::trunc((sec + 2.5) / 5.0) * 5.0;
            break;
        case Unit::RES_10Sec:
            sec = std::trunc((sec + 5.0) / 10.0) * 10.0;
            break;
        case Unit::RES_1Min:
            if (sec >= 30.0) min = IncrementSaturated(min);
            sec = 0.0;
            if (min == 60) {
                min = 0;
                deg = IncrementSaturated(deg);
            }
            break;
        case Unit::RES_1Deg:
            if (min >= 30) deg = IncrementSaturated(deg);
            min = 0;
            sec = 0.0;
            break;
        case Unit::RES_TenthSec:
            sec = std::trunc((sec + 0.05) / 0.1) * 0.1;
            break;
        default:  // RES_None and values outside the table
            break;
    }
}

double ApplySign(int sign, double magnitude) {
    return sign < 0 ? -magnitude : magnitude;
}

// Negative seconds count as none.
double ClampSeconds(double sec) {
    return sec < 0.0 ? 0.0 : sec;
}

// |whole| + min / perUnit + sec / perUnit^2, summed left to right.
double JoinPlain(int sign, int whole, int min, double sec, double minuteDivisor,
                 double secondDivisor) {
    const double value = std::fabs(static_cast<double>(whole)) + min / minuteDivisor +
                         ClampSeconds(sec) / secondDivisor;
    return ApplySign(sign, value);
}

}  // namespace

namespace Unit {

double DMS2Deg(int sign, int deg, int min, double sec) {
    return JoinPlain(sign, deg, min, sec, 60.0, 3600.0);
}

double DMS2Rad(int sign, int deg, int min, double sec) {
    return DMS2Deg(sign, deg, min, sec) * kRadPerDeg;
}

double DMS2Rad(double packedDms) {
    int sign, deg, min;
    double sec;
    DMS2DMS(packedDms, sign, deg, min, sec, -1, RES_None);
    return DMS2Rad(sign, deg, min, sec);
}

double DMS2DMS(int sign, int deg, int min, double sec) {
    double seconds = ClampSeconds(sec);
    if (std::fabs(seconds - 60.0) < kSnapToSixty) seconds = 60.0;
    // The carries are done in double: exact wherever the int parts hold the
    // result, and free of overflow beyond.
    double minutes = min;
    if (seconds >= 60.0) {
        minutes += std::floor(seconds / 60.0);
        seconds = std::fmod(seconds, 60.0);
    }
    double degrees = deg;
    if (minutes >= 60.0) {
        degrees += std::floor(minutes / 60.0);
        minutes = std::fmod(minutes, 60.0);
    }
    return ApplySign(sign,
                     std::fabs(degrees) + minutes / kPackedMinutes + seconds / kPackedSeconds);
}

double GCCC2GCCC(int sign, int gon, int min, double sec) {
    return JoinPlain(sign, gon, min, sec, kPackedMinutes, kPackedSeconds);
}

double GCCC2Grad(int sign, int gon, int min, double sec) {
    return GCCC2GCCC(sign, gon, min, sec);
}

double GCCC2Rad(int sign, int gon, int min, double sec) {
    return GCCC2GCCC(sign, gon, min, sec) * kRadPerGon;
}

double GCCC2Rad(double packedGccc) {
    return packedGccc * kRadPerGon;
}

void DMS2DMS(double packedDms, int& sign, int& deg, int& min, double& sec, int decimals,
             ResolutionAngleT resolution) {
    if (resolution != RES_None && resolution != RES_TenthSec) decimals = 0;
    if (!SplitPacked(packedDms, sign, deg, min, sec)) return;
    ApplyResolution(resolution, deg, min, sec);
    CarrySeconds(kSexagesimal, decimals, deg, min, sec);
}

void Deg2DMS(double degrees, int& sign, int& deg, int& min, double& sec, int decimals) {
    SplitDecimal(kSexagesimal, degrees, sign, deg, min, sec, decimals);
}

void Rad2DMS(double radians, int& sign, int& deg, int& min, double& sec, int decimals) {
    Deg2DMS(radians * kDegPerRad, sign, deg, min, sec, decimals);
}

double Rad2DMS(double radians, int decimals) {
    int sign, deg, min;
    double sec;
    Rad2DMS(radians, sign, deg, min, sec, decimals);
    return DMS2DMS(sign, deg, min, sec);
}

void GCCC2GCCC(double packedGccc, int& sign, int& gon, int& min, double& sec, int decimals) {
    if (!SplitPacked(packedGccc, sign, gon, min, sec)) return;
    CarrySeconds(kCentesimal, decimals, gon, min, sec);
}

void Grad2GCCC(double gon, int& sign, int& gonOut, int& min, double& sec, int decimals) {
    SplitDecimal(kCentesimal, gon, sign, gonOut, min, sec, decimals);
}

void Rad2GCCC(double radians, int& sign, int& gon, int& min, double& sec, int decimals) {
    Grad2GCCC(radians * kGonPerRad, sign, gon, min, sec, decimals);
}

double Rad2GCCC(double radians, int decimals) {
    int sign, gon, min;
    double sec;
    Rad2GCCC(radians, sign, gon, min, sec, decimals);
    return GCCC2GCCC(sign, gon, min, sec);
}

double VElevationRad2VZenithRad(double elevation) {
    return kHalfPi - elevation;
}

double VZenithRad2VElevationRad(double zenith) {
    const double turns = zenith / kTwoPi;
    // Whole turns counted in double: the same as a 32-bit count where that
    // fits, and no overflow beyond.
    const double fraction = turns - UTL::detail::TruncWhole(turns);
    double reduced = (fraction + fraction) * kPi;
    if (reduced < 0.0) reduced = reduced + kTwoPi;
    if (reduced <= kPi) return kHalfPi - reduced;
    return reduced - kThreeHalfPi;  // second face
}

double VElevationRad2VSlopePercent(double elevation) {
    const double steepest = std::atan(10.0);
    if (elevation > steepest || elevation < -steepest) return 1000.0;
    const double percent = std::tan(elevation) * 100.0;
    if (percent > 300.0 || percent < -300.0) return 1000.0;
    return percent;
}

double VSlopePercent2VElevationRad(double percent) {
    return std::atan(percent / 100.0);
}

double VElevationRad2VertHorizRatio(double elevation) {
    const double ratio = std::tan(elevation);
    if (std::fabs(ratio) > 1000.0) return 1000000.0;
    return ratio;
}

double VertHorizRatio2VElevationRad(double ratio) {
    return std::atan(ratio);
}

}  // namespace Unit
