// Every numeric function with arbitrary bit patterns: doubles of any value
// (NaN, infinities, subnormals, huge), any int, long and short. Under the
// sanitizers this proves that no input reaches undefined behaviour.
#include <UTL/Angles.h>
#include <UTL/CTT.h>
#include <UTL/Mjd.h>
#include <UTL/Units.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

volatile double g_sink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    // The next sizeof(T) bytes as a T, zero-filled past the end.
    auto take = [&](auto value) {
        unsigned char bytes[sizeof value] = {};
        for (unsigned char& b : bytes) b = pos < size ? data[pos++] : 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    };
    const double x = take(0.0), y = take(0.0);
    const int a = take(0), b = take(0), c = take(0), n = take(0);
    const short digits = take(short{});
    long f[7];
    for (long& v : f) v = take(0L);
    const float p = take(0.0f), q = take(0.0f);
    int sign, whole, min;
    double sec;
    bool positive;
    Unit::DMS2DMS(x, sign, whole, min, sec, n, static_cast<Unit::ResolutionAngleT>(a));
    Unit::Deg2DMS(x, sign, whole, min, sec, n);
    Unit::Rad2DMS(x, sign, whole, min, sec, n);
    Unit::GCCC2GCCC(x, sign, whole, min, sec, n);
    Unit::Grad2GCCC(x, sign, whole, min, sec, n);
    Unit::Rad2GCCC(x, sign, whole, min, sec, n);
    Unit::Decimal2FeetInchEighthInch(x, f[0], f[1], f[2], positive);
    Unit::FeetInchEighthInch2Decimal(sec, f[3], f[4], f[5], a < 0);
    g_sink = Unit::DMS2Rad(x) + Unit::Rad2DMS(x, n) + Unit::Rad2GCCC(x, n) + Unit::GCCC2Rad(x) +
             Unit::DMS2Deg(a, b, c, y) + Unit::DMS2Rad(a, b, c, y) + Unit::DMS2DMS(a, b, c, y) +
             Unit::GCCC2GCCC(a, b, c, y) + Unit::GCCC2Grad(a, b, c, y) +
             Unit::GCCC2Rad(a, b, c, y) + Unit::VElevationRad2VZenithRad(x) +
             Unit::VZenithRad2VElevationRad(x) + Unit::VElevationRad2VSlopePercent(x) +
             Unit::VSlopePercent2VElevationRad(x) + Unit::VElevationRad2VertHorizRatio(x) +
             Unit::VertHorizRatio2VElevationRad(x) + Unit::Cubm2CubUSYard(x) + Unit::USMpH2Ms(x) +
             Unit::Fahrenheit2Celsius(x);
    g_sink = CTT::Equal(x, y) + CTT::Equal(p, q) + CTT::EqualIngoreDigits(x, y, digits) +
             CTT::IsGreaterEqual(x, y) + CTT::IsLessEqual(x, y) + CTT::IsMultiple(x, y, digits) +
             CTT::Round(x, y) + CTT::RoundToDouble(x) + CTT::RoundToInt(x) + CTT::RoundToLong(x);
    Unit::SetMjd(x, f[0], f[1], f[2], f[3], f[4], f[5]);
    Unit::SetMjd(x, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    Unit::SetMjdPrecise(x, f[0], f[1], f[2], f[3], f[4], sec);
    g_sink = Unit::GetMjd(f[0], f[1], f[2], f[3], f[4], f[5]) + Unit::BuildDateTime(x, y) +
             Unit::ValidateDateTime(x) + Unit::RoundToSecond(x);
    return 0;
}
