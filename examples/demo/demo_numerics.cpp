// Numerics and units: angle notations, unit conversions, Modified Julian
// Dates and tolerant rounding.
#include <cstdio>
#include <initializer_list>

#include <UTL/Angles.h>
#include <UTL/CTT.h>
#include <UTL/Mjd.h>
#include <UTL/Units.h>

#include "demo.h"

namespace {

constexpr double kPi = 3.141592653589793;

void ShowAngles() {
    std::printf("Packed DMS 12.345670 means 12 deg 34' 56.70\".\n");
    int sign, deg, min;
    double sec;
    Unit::DMS2DMS(12.345670, sign, deg, min, sec, 2, Unit::RES_None);
    std::printf("  split:               %s%d deg %02d' %05.2f\"\n", sign < 0 ? "-" : "", deg, min,
                sec);
    const double rad = Unit::DMS2Rad(12.345670);
    std::printf("  in radians:          %.12f\n", rad);
    std::printf("  back to packed DMS:  %.6f\n", Unit::Rad2DMS(rad, 2));
    Unit::Rad2GCCC(rad, sign, deg, min, sec, 2);
    std::printf("  in gon (GCCC):       %d gon %02d c %05.2f cc, packed %.6f\n", deg, min, sec,
                Unit::Rad2GCCC(rad, 2));

    std::printf("Resolutions applied to packed 12.345670:\n");
    const struct {
        Unit::ResolutionAngleT res;
        const char* name;
    } resolutions[] = {{Unit::RES_TenthSec, "tenth of a second"},
                       {Unit::RES_5Sec, "5 seconds"},
                       {Unit::RES_10Sec, "10 seconds"},
                       {Unit::RES_1Min, "1 minute"},
                       {Unit::RES_1Deg, "1 degree"}};
    for (const auto& r : resolutions) {
        Unit::DMS2DMS(12.345670, sign, deg, min, sec, 1, r.res);
        std::printf("  %-18s %3d deg %02d' %04.1f\"\n", r.name, deg, min, sec);
    }
    std::printf("Seconds that would show as 60 are carried: 10.999999 deg\n");
    Unit::Deg2DMS(10.999999, sign, deg, min, sec, 0);
    std::printf("  shown with 0 decimals: %d deg %02d' %02.0f\"\n", deg, min, sec);
    Unit::Deg2DMS(10.999999, sign, deg, min, sec, 3);
    std::printf("  shown with 3 decimals: %d deg %02d' %06.3f\"\n", deg, min, sec);

    std::printf("Vertical angles (elevation -> zenith, slope, V/H ratio):\n");
    for (double elevationDeg : {5.0, 30.0, 45.0, -20.0, 85.0}) {
        const double e = elevationDeg * kPi / 180.0;
        std::printf("  elevation %6.1f deg: zenith %6.2f deg, slope %8.2f %%, ratio %8.4f\n",
                    elevationDeg, Unit::VElevationRad2VZenithRad(e) * 180.0 / kPi,
                    Unit::VElevationRad2VSlopePercent(e), Unit::VElevationRad2VertHorizRatio(e));
    }
    std::printf("  (slopes beyond 300 %% show the sentinel 1000)\n");
    std::printf("  zenith 300 deg read in face two is elevation %.1f deg\n",
                Unit::VZenithRad2VElevationRad(300.0 * kPi / 180.0) * 180.0 / kPi);
}

void ShowUnits() {
    const double metres = 1000.0;
    std::printf("%.0f m is %.6f US survey ft and %.6f international ft\n", metres,
                Unit::M2USFoot(metres), Unit::M2IntFoot(metres));
    std::printf("  (difference %.6f ft; a US survey mile is %.3f m)\n",
                Unit::M2IntFoot(metres) - Unit::M2USFoot(metres), Unit::USMiles2M(1.0));
    long feet, inches, eighths;
    bool positive;
    for (double decimalFeet : {5.5, 3.0625, 10.999, -2.25}) {
        Unit::Decimal2FeetInchEighthInch(decimalFeet, feet, inches, eighths, positive);
        std::printf("  %8.4f ft = %s%ld' %ld\" %ld/8\n", decimalFeet, positive ? "" : "-", feet,
                    inches, eighths);
    }
    std::printf("1 ha = %.4f US survey acres = %.4f international acres\n",
                Unit::Sqm2USAcre(10000.0), Unit::Sqm2IntAcre(10000.0));
    std::printf("1 m3 = %.4f cubic US survey ft (cubic-yard figure %.6f = ft3 / 3)\n",
                Unit::Cubm2CubUSFoot(1.0), Unit::Cubm2CubUSYard(1.0));
    std::printf("1013.25 hPa = %.2f mmHg = %.3f inHg = %.3f psi\n", Unit::HPa2MmHg(1013.25),
                Unit::HPa2InchHg(1013.25), Unit::HPa2PSI(1013.25));
    for (double celsius : {-40.0, 0.0, 20.0, 100.0})
        std::printf("  %6.1f C = %6.1f F\n", celsius, Unit::Celsius2Fahrenheit(celsius));
    std::printf("10 m/s = %.1f km/h = %.3f mph (US survey) = %.3f kn\n", Unit::Ms2KmH(10.0),
                Unit::Ms2USMpH(10.0), Unit::Ms2IntKnots(10.0));
}

void PrintFields(const char* label, double mjd) {
    long y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, tenths = 0;
    Unit::SetMjd(mjd, y, mo, d, h, mi, s);
    std::printf("  %-14s %.6f -> %04ld-%02ld-%02ld %02ld:%02ld:%02ld", label, mjd, y, mo, d, h, mi,
                s);
    Unit::SetMjd(mjd, y, mo, d, h, mi, s, tenths);
    std::printf("  (to the tenth: %02ld:%02ld:%02ld.%ld)\n", h, mi, s, tenths);
}

void ShowMjd() {
    std::printf("MJD counts days since 1858-11-17 00:00; the fraction is the time of day.\n");
    std::printf("  GetMjd(2000-01-01 12:00:00)  = %.6f\n", Unit::GetMjd(2000, 1, 1, 12, 0, 0));
    std::printf("  GetMjd(2024-12-31 23:59:59)  = %.11f\n", Unit::GetMjd(2024, 12, 31, 23, 59, 59));
    std::printf("  fields add up: month 13 of 2000 = %.1f (2001-01-01)\n",
                Unit::GetMjd(2000, 13, 1, 0, 0, 0));
    std::printf("Splitting rounds first, then splits the calendar:\n");
    PrintFields("noon", 51544.5);
    PrintFields("early morning", 51544.123456);
    PrintFields("23:59:59.136", 60675.99999);
    PrintFields("23:59:59.914", 60675.999999);
    long y, mo, d, h, mi;
    double s;
    Unit::SetMjdPrecise(51544.123456, y, mo, d, h, mi, s);
    std::printf("  unrounded:     51544.123456 -> %02ld:%02ld:%09.6f\n", h, mi, s);
    std::printf("  RoundToSecond(51544.123456) = %.9f\n", Unit::RoundToSecond(51544.123456));
    std::printf("  BuildDateTime(51544.9, 3.25) = %.2f (days of one, time of day of the other)\n",
                Unit::BuildDateTime(51544.9, 3.25));
    std::printf("Supported range %.1f .. %.1f (1000-01-01 .. 9999-12-31);\n",
                Unit::MinOleDateTimeAsMjd(), Unit::MaxOleDateTimeAsMjd());
    std::printf("valid for the instrument are the years 2000 to 2100:\n");
    for (double mjd : {51543.0, 51544.0, 88433.0, 88434.0, 3000000.0})
        std::printf("  ValidateDateTime(%.1f) = %s\n", mjd,
                    Unit::ValidateDateTime(mjd) ? "true" : "false");
}

void ShowTolerantRounding() {
    std::printf("Equality is exact for ordinary values: Equal(0.1 + 0.2, 0.3) = %s\n",
                CTT::Equal(0.1 + 0.2, 0.3) ? "true" : "false");
    std::printf("  ... to 9 digits: EqualIngoreDigits(0.1 + 0.2, 0.3, 9) = %s\n",
                CTT::EqualIngoreDigits(0.1 + 0.2, 0.3, 9) ? "true" : "false");
    std::printf("Halves round away from zero (to a whole number, to a step of 0.5):\n");
    for (double v : {2.5, -2.5, -2.4, 7.3})
        std::printf("  RoundToInt(%4.1f) = %2d   Round(%4.1f, step 0.5) = %4.1f\n", v,
                    CTT::RoundToInt(v), v, CTT::Round(v, 0.5));
    std::printf("Whole multiples (divisor, value, digits) - the tolerance is one-sided:\n");
    std::printf("  IsMultiple(0.01, 0.07, 0) = %s   (quotient 7.000000000000001)\n",
                CTT::IsMultiple(0.01, 0.07, 0) ? "true" : "false");
    std::printf("  IsMultiple(0.01, 0.07, 6) = %s\n",
                CTT::IsMultiple(0.01, 0.07, 6) ? "true" : "false");
    std::printf("  IsMultiple(0.1,  0.6,  6) = %s   (quotient 5.999999999999999)\n",
                CTT::IsMultiple(0.1, 0.6, 6) ? "true" : "false");
}

}  // namespace

DEMO_SCREEN(10, "Angles", ShowAngles);
DEMO_SCREEN(20, "Units", ShowUnits);
DEMO_SCREEN(30, "Modified Julian Dates", ShowMjd);
DEMO_SCREEN(40, "Tolerant rounding", ShowTolerantRounding);
