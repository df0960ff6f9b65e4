/// @file
/// Angle notations of field instruments and their conversions.
///
/// Radians are the common form. Degrees are 360 to the circle, gon ("Grad")
/// 400. The part forms are sign, degrees (gon), minutes, seconds:
///  - DMS: 60 minutes to the degree, 60 seconds to the minute;
///  - GCCC: 100 centesimal minutes to the gon, 100 centesimal seconds to the
///    centesimal minute.
/// A packed value holds the parts in one double, degrees + minutes / 100 +
/// seconds / 10000, negated for a negative angle: 12°34'56.7" is 12.345670.
/// Packed GCCC equals the decimal gon value.
///
/// Sign convention: splitting writes -1 for a negative angle and +1 otherwise
/// (-0.0 gives +1); joining treats any negative sign as negative and uses the
/// absolute value of the degrees (gon). Negative seconds are joined as 0.
///
/// Decimal count: the number of decimals with which the caller will show the
/// seconds. The seconds are never rounded to it; it only decides whether
/// seconds that would show as 60 (100 centesimal) are carried into the
/// minutes. A negative count switches the carry off. Degrees are never
/// reduced to a circle: 359°59'59.9" with 0 decimals splits into 360°00'00".
///
/// Precision: the unit factors are the doubles nearest pi/180, 180/pi, pi/200
/// and 200/pi, so each conversion is one correctly rounded product (relative
/// error at most about 1.1e-16 plus the factor's own 0.5 ulp). A split
/// followed by a join returns the value within a few ulp of the degrees; the
/// seconds of a split carry the absolute error of the input's last bit times
/// 3600 (about 2e-10" at 360°).
///
/// Outside the domain (never undefined behaviour):
///  - Splitting an angle of 2^31 degrees (gon) or more, or an infinity, gives
///    the saturated parts sign, INT32_MAX, 0, 0.0; a carry at INT32_MAX
///    degrees stays there (minutes and seconds become 0).
///  - Splitting NaN gives +1, 0, 0, NaN, so joining it again gives NaN (the
///    resolution steps 1-min and 1-deg set the seconds to 0.0).
///  - Joining with carries (DMS2DMS, parts to packed) works in double, so
///    huge minutes or seconds carry without overflow; infinite seconds give
///    NaN.
///  - The zenith reduction counts whole turns in double: any finite angle
///    reduces; NaN and infinities give NaN.
///  - Slope percent: NaN gives NaN, infinities the sentinel 1000.0. Ratio:
///    NaN and infinities give NaN (the tangent of an infinity is NaN).
#pragma once

#include <UTL/Export.h>

namespace Unit {

/// Resolution applied when a packed DMS value is split (Unit::DMS2DMS). The
/// underlying type is int so that any value may be passed: values outside the
/// table do no resolution step. Every value except RES_None and RES_TenthSec
/// replaces the decimal count with 0.
enum ResolutionAngleT : int {
    RES_None = 0,      ///< no resolution step
    RES_5Sec = 1,      ///< seconds to the nearest multiple of 5
    RES_10Sec = 2,     ///< seconds to the nearest multiple of 10
    RES_1Min = 3,      ///< whole minutes (30" and more round up)
    RES_1Deg = 4,      ///< whole degrees (30' and more round up; seconds ignored)
    RES_TenthSec = 5,  ///< seconds to the nearest tenth
};

// ---- Joining parts ----------------------------------------------------------

/// DMS parts to decimal degrees: |deg| + min / 60 + sec / 3600, no carries.
UTL_API double DMS2Deg(int sign, int deg, int min, double sec);
/// DMS parts to radians: DMS2Deg(...) * pi/180.
UTL_API double DMS2Rad(int sign, int deg, int min, double sec);
/// Packed DMS to radians: split without carry or resolution, then DMS2Deg, so
/// packed 12.3460 (34', 60") gives the radians of 12°35'.
UTL_API double DMS2Rad(double packedDms);
/// DMS parts to packed DMS with carries: seconds within 1e-9 of 60 snap to 60;
/// 60" and more carry into the minutes, 60' and more into the degrees. So
/// (+1, 12, 59, 60.0) gives 13.0 and (+1, 0, 75, 0.0) gives 1.15.
UTL_API double DMS2DMS(int sign, int deg, int min, double sec);

/// GCCC parts to packed GCCC: |gon| + min / 100 + sec / 10000, no carries.
UTL_API double GCCC2GCCC(int sign, int gon, int min, double sec);
/// GCCC parts to gon (the same value as GCCC2GCCC).
UTL_API double GCCC2Grad(int sign, int gon, int min, double sec);
/// GCCC parts to radians: GCCC2GCCC(...) * pi/200.
UTL_API double GCCC2Rad(int sign, int gon, int min, double sec);
/// Packed GCCC (that is, gon) to radians: value * pi/200.
UTL_API double GCCC2Rad(double packedGccc);

// ---- Splitting into parts ---------------------------------------------------

/// Packed DMS to parts, digit group by digit group without normalising
/// (packed 12.7500 gives 75 minutes), then the resolution step and the carry.
/// Seconds are unrounded: packed 12.3456 gives about 55.99999999999383".
UTL_API void DMS2DMS(double packedDms, int& sign, int& deg, int& min, double& sec, int decimals,
                     ResolutionAngleT resolution);
/// Decimal degrees to parts: minutes 0..59, seconds in [0, 60), then the carry.
UTL_API void Deg2DMS(double degrees, int& sign, int& deg, int& min, double& sec, int decimals);
/// Radians to parts: Deg2DMS(radians * 180/pi, ...).
UTL_API void Rad2DMS(double radians, int& sign, int& deg, int& min, double& sec, int decimals);
/// Radians to packed DMS: the parts of Rad2DMS joined by DMS2DMS (with
/// carries); the packed seconds are not rounded to the decimal count.
UTL_API double Rad2DMS(double radians, int decimals);

/// Packed GCCC to parts, digit group by digit group, then the carry.
UTL_API void GCCC2GCCC(double packedGccc, int& sign, int& gon, int& min, double& sec, int decimals);
/// Gon to parts: minutes 0..99, seconds in [0, 100), then the carry.
UTL_API void Grad2GCCC(double gon, int& sign, int& gonOut, int& min, double& sec, int decimals);
/// Radians to parts: Grad2GCCC(radians * 200/pi, ...).
UTL_API void Rad2GCCC(double radians, int& sign, int& gon, int& min, double& sec, int decimals);
/// Radians to packed GCCC: the parts of Rad2GCCC joined without carries.
UTL_API double Rad2GCCC(double radians, int decimals);

// ---- Vertical angles (all in radians) ---------------------------------------

/// Elevation (above the horizon) to zenith angle: pi/2 - elevation, unreduced.
UTL_API double VElevationRad2VZenithRad(double elevation);
/// Zenith angle of either telescope face to elevation: the angle is reduced to
/// one turn [0, 2pi); readings beyond pi (second face) give r - 3pi/2. So 300°
/// gives 30° and -90° gives 0°.
UTL_API double VZenithRad2VElevationRad(double zenith);
/// Elevation to slope in percent (100 * tan). Elevations steeper than
/// atan(10), and slopes beyond +-300 %, give the sentinel 1000.0 (positive in
/// both directions); exactly +-300 % is returned as it is.
UTL_API double VElevationRad2VSlopePercent(double elevation);
/// Slope in percent to elevation: atan(percent / 100), no limit.
UTL_API double VSlopePercent2VElevationRad(double percent);
/// Elevation to vertical/horizontal ratio (tan); |ratio| > 1000 gives the
/// sentinel 1000000.0 (exactly 1000 is returned as it is).
UTL_API double VElevationRad2VertHorizRatio(double elevation);
/// Vertical/horizontal ratio to elevation: atan(ratio), signed.
UTL_API double VertHorizRatio2VElevationRad(double ratio);

}  // namespace Unit
