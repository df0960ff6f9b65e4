/// @file
/// Physical unit conversions between SI base units (metre, square and cubic
/// metre, hectopascal, degree Celsius, metre per second) and the customary
/// units shown to users.
///
/// Each function performs its operations in the order documented beside it,
/// each step rounded to double, with the stored factors below. The feet
/// factors are the decimal numbers 3.280839895 (international, 9 decimals)
/// and 3.28083333333 (US survey, 11 decimals), not the exact ratios of the foot
/// definitions: results follow from these values (they lie 4.0e-12 and
/// 1.0e-12 relative below 1/0.3048 and 3937/1200).
///
/// Precision: a one-step conversion is correctly rounded for its factor
/// (error <= 0.5 ulp); an n-step one (areas, volumes, speeds) is within n ulp.
/// A conversion followed by its inverse returns the input within the
/// rounding of two operations (about 2.2e-16 relative).
///
/// None checks its input: NaN propagates and infinities stay infinite.
#pragma once

#include <UTL/Export.h>

/// Surveying numerics: physical units, angle notations and Modified Julian
/// Dates. All functions are free, stateless and thread-safe.
namespace Unit {

// ---- Lengths ---------------------------------------------------------------
UTL_API double M2USMiles(double metres);  ///< (x / 1000) * 0.6213699493769715
UTL_API double USMiles2M(double miles);   ///< (x / 0.6213699493769715) * 1000
UTL_API double M2IntFoot(double metres);  ///< x * 3.280839895
UTL_API double IntFoot2M(double feet);    ///< x / 3.280839895
UTL_API double M2USFoot(double metres);   ///< x * 3.28083333333
UTL_API double USFoot2M(double feet);     ///< x / 3.28083333333

// ---- Areas -------------------------------------------------------------------
UTL_API double Sqm2SqIntFoot(double sqm);     ///< M2IntFoot twice
UTL_API double SqIntFoot2Sqm(double sqft);    ///< IntFoot2M twice
UTL_API double Sqm2SqUSFoot(double sqm);      ///< M2USFoot twice
UTL_API double SqUSFoot2Sqm(double sqft);     ///< USFoot2M twice
UTL_API double Sqm2USAcre(double sqm);        ///< x * 0.00024710439291682847
UTL_API double USAcre2Sqm(double acres);      ///< x / 0.00024710439291682847 (1 ac = 4046.8726 m²)
UTL_API double Sqm2IntAcre(double sqm);       ///< x * 0.0002471053814671653
UTL_API double IntAcre2Sqm(double acres);     ///< x / 0.0002471053814671653 (1 ac = 4046.8564 m²)
UTL_API double Sqm2Hectare(double sqm);       ///< x / 10000
UTL_API double Hectare2Sqm(double hectares);  ///< x * 10000

// ---- Volumes -----------------------------------------------------------------
UTL_API double Cubm2CubIntFoot(double cubm);  ///< M2IntFoot three times
UTL_API double Cubm2CubUSFoot(double cubm);   ///< M2USFoot three times
/// Cubm2CubUSFoot(x) / 3.0. The divisor is 3, not 27: 1 m³ gives about
/// 11.771485, kept as applications expect it.
UTL_API double Cubm2CubUSYard(double cubm);

// ---- Pressures ---------------------------------------------------------------
UTL_API double HPa2MmHg(double hpa);     ///< x * 0.75006150504
UTL_API double MmHg2HPa(double mmhg);    ///< x / 0.75006150504
UTL_API double HPa2InchHg(double hpa);   ///< x * 0.029529980514
UTL_API double InchHg2HPa(double inhg);  ///< x / 0.029529980514
UTL_API double HPa2PSI(double hpa);      ///< x * 0.014503768079
UTL_API double PSI2HPa(double psi);      ///< x / 0.014503768079

// ---- Temperatures ------------------------------------------------------------
UTL_API double Celsius2Fahrenheit(double celsius);     ///< x * 1.8 + 32
UTL_API double Fahrenheit2Celsius(double fahrenheit);  ///< ((x - 32) * 5) / 9

// ---- Speeds ------------------------------------------------------------------
UTL_API double Ms2KmH(double ms);          ///< x * 3.6
UTL_API double KmH2Ms(double kmh);         ///< x / 3.6
UTL_API double Ms2USMpH(double ms);        ///< Ms2KmH(x) * 0.6213699493769715
UTL_API double USMpH2Ms(double mph);       ///< KmH2Ms(x / 0.6213699493769715)
UTL_API double Ms2IntKnots(double ms);     ///< Ms2KmH(x) * 0.5399568035
UTL_API double IntKnots2Ms(double knots);  ///< KmH2Ms(x / 0.5399568035)

// ---- Feet, inches and eighths of an inch -------------------------------------

/// Decimal feet to whole feet, inches (0..11) and eighths (0..7), rounded to
/// the nearest eighth (half an eighth rounds up, carrying into inches and
/// feet), and a sign flag: true for a non-negative length (-0.0 included).
/// Beyond the long range (|x| >= 2^63, infinities) the feet saturate to
/// LONG_MAX with 0 inches and 0 eighths; NaN gives 0, 0, 0 and true.
UTL_API void Decimal2FeetInchEighthInch(double decimalFeet, long& feet, long& inches, long& eighths,
                                        bool& positive);
/// Back to decimal feet: (inches / 12 + feet) + eighths / 96, negated when
/// `positive` is false. Fields are not validated: 12 inches or more add up.
UTL_API void FeetInchEighthInch2Decimal(double& decimalFeet, long feet, long inches, long eighths,
                                        bool positive);

}  // namespace Unit
