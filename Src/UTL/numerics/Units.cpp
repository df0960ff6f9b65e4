// Physical unit conversions: the stored factors and the order of operations
// are part of the results, so each function is written out step by step.
#include <UTL/Units.h>

#include <cmath>

#include "Numeric.h"

namespace {

constexpr double kUSMilesPerKm = 0.6213699493769715;  // 1609.347219 m to the mile
constexpr double kIntFeetPerM = 3.280839895;
constexpr double kUSFeetPerM = 3.28083333333;
constexpr double kMmHgPerHPa = 0.75006150504;
constexpr double kInchHgPerHPa = 0.029529980514;
constexpr double kPsiPerHPa = 0.014503768079;
constexpr double kKmHPerMs = 3.6;
constexpr double kKnotsPerKmH = 0.5399568035;
constexpr double kUSAcresPerSqm = 0.00024710439291682847;
constexpr double kIntAcresPerSqm = 0.0002471053814671653;
constexpr double kSqmPerHectare = 10000.0;
constexpr double kMPerKm = 1000.0;
constexpr double kCubicYardDivisor = 3.0;
constexpr double kInchesPerFoot = 12.0;
constexpr double kEighthsPerInch = 8.0;
constexpr double kEighthsPerFoot = 96.0;

}  // namespace

namespace Unit {

double M2USMiles(double metres) {
    return (metres / kMPerKm) * kUSMilesPerKm;
}
double USMiles2M(double miles) {
    return (miles / kUSMilesPerKm) * kMPerKm;
}
double M2IntFoot(double metres) {
    return metres * kIntFeetPerM;
}
double IntFoot2M(double feet) {
    return feet / kIntFeetPerM;
}
double M2USFoot(double metres) {
    return metres * kUSFeetPerM;
}
double USFoot2M(double feet) {
    return feet / kUSFeetPerM;
}

double Sqm2SqIntFoot(double sqm) {
    return M2IntFoot(M2IntFoot(sqm));
}
double SqIntFoot2Sqm(double sqft) {
    return IntFoot2M(IntFoot2M(sqft));
}
double Sqm2SqUSFoot(double sqm) {
    return M2USFoot(M2USFoot(sqm));
}
double SqUSFoot2Sqm(double sqft) {
    return USFoot2M(USFoot2M(sqft));
}
double Sqm2USAcre(double sqm) {
    return sqm * kUSAcresPerSqm;
}
double USAcre2Sqm(double acres) {
    return acres / kUSAcresPerSqm;
}
double Sqm2IntAcre(double sqm) {
    return sqm * kIntAcresPerSqm;
}
double IntAcre2Sqm(double acres) {
    return acres / kIntAcresPerSqm;
}
double Sqm2Hectare(double sqm) {
    return sqm / kSqmPerHectare;
}
double Hectare2Sqm(double hectares) {
    return hectares * kSqmPerHectare;
}

double Cubm2CubIntFoot(double cubm) {
    return M2IntFoot(M2IntFoot(M2IntFoot(cubm)));
}
double Cubm2CubUSFoot(double cubm) {
    return M2USFoot(M2USFoot(M2USFoot(cubm)));
}
double Cubm2CubUSYard(double cubm) {
    return Cubm2CubUSFoot(cubm) / kCubicYardDivisor;
}

double HPa2MmHg(double hpa) {
    return hpa * kMmHgPerHPa;
}
double MmHg2HPa(double mmhg) {
    return mmhg / kMmHgPerHPa;
}
double HPa2InchHg(double hpa) {
    return hpa * kInchHgPerHPa;
}
double InchHg2HPa(double inhg) {
    return inhg / kInchHgPerHPa;
}
double HPa2PSI(double hpa) {
    return hpa * kPsiPerHPa;
}
double PSI2HPa(double psi) {
    return psi / kPsiPerHPa;
}

double Celsius2Fahrenheit(double celsius) {
    return celsius * 1.8 + 32.0;
}
double Fahrenheit2Celsius(double fahrenheit) {
    return ((fahrenheit - 32.0) * 5.0) / 9.0;
}

double Ms2KmH(double ms) {
    return ms * kKmHPerMs;
}
double KmH2Ms(double kmh) {
    return kmh / kKmHPerMs;
}
double Ms2USMpH(double ms) {
    return Ms2KmH(ms) * kUSMilesPerKm;
}
double USMpH2Ms(double mph) {
    return KmH2Ms(mph / kUSMilesPerKm);
}
double Ms2IntKnots(double ms) {
    return Ms2KmH(ms) * kKnotsPerKmH;
}
double IntKnots2Ms(double knots) {
    return KmH2Ms(knots / kKnotsPerKmH);
}

void Decimal2FeetInchEighthInch(double decimalFeet, long& feet, long& inches, long& eighths,
                                bool& positive) {
    positive = !(decimalFeet < 0.0);
    double rest = positive ? decimalFeet : -decimalFeet;
    if (rest >= UTL::detail::kLongLimit) {  // includes infinity
        feet = LONG_MAX;
        inches = 0;
        eighths = 0;
        return;
    }
    // Below the limit every truncation fits a long; NaN truncates to 0.
    feet = UTL::detail::TruncToLong(rest);
    rest = (rest - feet) * kInchesPerFoot;
    inches = UTL::detail::TruncToLong(rest);
    rest = (rest - inches) * kEighthsPerInch;
    eighths = UTL::detail::TruncToLong(rest);
    if (rest - eighths >= 0.5) {
        if (++eighths == 8) {
            eighths = 0;
            if (++inches == 12) {
                inches = 0;
                // Only a 32-bit long can be full here (a double near 2^63
                // has no fraction): rounding up to its limit saturates.
                if (feet < LONG_MAX) ++feet;
            }
        }
    }
}

void FeetInchEighthInch2Decimal(double& decimalFeet, long feet, long inches, long eighths,
                                bool positive) {
    const double magnitude = (inches / kInchesPerFoot + feet) + eighths / kEighthsPerFoot;
    decimalFeet = positive ? magnitude : -magnitude;
}

}  // namespace Unit
