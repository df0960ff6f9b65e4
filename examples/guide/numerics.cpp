// Surveying numerics: tolerant comparison, angles, units and dates.
#include <UTL/Angles.h>
#include <UTL/CTT.h>
#include <UTL/Mjd.h>
#include <UTL/Units.h>

#include <cstdio>

int main() {
    // Equality is exact for ordinary values; ask for a tolerance explicitly.
    const double sum = 0.1 + 0.2;
    std::printf("Equal: %d, within 1e-9: %d\n", CTT::Equal(sum, 0.3),
                CTT::EqualIngoreDigits(sum, 0.3, 9));
    std::printf("Round to 5 mm: %.3f\n", CTT::Round(12.3475, 0.005));

    // Radians to degrees, minutes and seconds, shown with one decimal.
    int sign = 0, deg = 0, min = 0;
    double sec = 0.0;
    Unit::Rad2DMS(1.0, sign, deg, min, sec, 1);
    std::printf("1 rad = %s%d deg %02d' %04.1f\"\n", sign < 0 ? "-" : "", deg, min, sec);
    std::printf("100 gon = %.6f rad\n", Unit::GCCC2Rad(100.0));

    // Units: the US survey foot, hectopascal to inches of mercury.
    std::printf("100 m = %.5f US ft\n", Unit::M2USFoot(100.0));
    std::printf("1013.25 hPa = %.3f inHg\n", Unit::HPa2InchHg(1013.25));

    // Modified Julian Dates.
    const double mjd = Unit::GetMjd(2024, 2, 29, 18, 30, 0);
    long year, month, day, hour, minute, second;
    Unit::SetMjd(mjd + 0.25, year, month, day, hour, minute, second);
    std::printf("MJD %.4f; six hours later %04ld-%02ld-%02ld %02ld:%02ld\n", mjd, year, month, day,
                hour, minute);
}

// Output:
//   Equal: 0, within 1e-9: 1
//   Round to 5 mm: 12.350
//   1 rad = 57 deg 17' 44.8"
//   100 gon = 1.570796 rad
//   100 m = 328.08333 US ft
//   1013.25 hPa = 29.921 inHg
//   MJD 60369.7708; six hours later 2024-03-01 00:30
