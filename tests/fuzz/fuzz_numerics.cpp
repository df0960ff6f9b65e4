// Every numeric function with integer conversions or limits, fed arbitrary
// bit patterns (NaN, infinities, huge values, any int, long and short): under
// the sanitizers no input may reach undefined behaviour.
#include <UTL/Angles.h>
#include <UTL/CTT.h>
#include <UTL/Mjd.h>
#include <UTL/Units.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

volatile double g_sink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    struct {
        double x, y;
        int a, b, c, n;
        short digits;
        float p, q;
        long f[7];
    } in = {};  // the first bytes, zero-filled past the end
    std::memcpy(&in, data, size < sizeof in ? size : sizeof in);
    const double x = in.x, y = in.y;
    const int a = in.a, b = in.b, c = in.c, n = in.n;
    long* f = in.f;
    int sign, whole, min;
    double sec;
    bool positive;
    using Split = void (*)(double, int&, int&, int&, double&, int);
    for (Split split : {Split(Unit::Deg2DMS), Split(Unit::Rad2DMS), Split(Unit::GCCC2GCCC),
                        Split(Unit::Grad2GCCC), Split(Unit::Rad2GCCC)})
        split(x, sign, whole, min, sec, n);
    Unit::DMS2DMS(x, sign, whole, min, sec, n, static_cast<Unit::ResolutionAngleT>(a));
    Unit::Decimal2FeetInchEighthInch(x, f[0], f[1], f[2], positive);
    Unit::FeetInchEighthInch2Decimal(sec, f[3], f[4], f[5], positive);
    Unit::SetMjd(x, f[0], f[1], f[2], f[3], f[4], f[5]);
    Unit::SetMjd(x, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    Unit::SetMjdPrecise(x, f[0], f[1], f[2], f[3], f[4], sec);
    g_sink = Unit::DMS2Rad(x) + Unit::Rad2DMS(x, n) + Unit::Rad2GCCC(x, n) +
             Unit::DMS2Deg(a, b, c, y) + Unit::DMS2DMS(a, b, c, y) + Unit::GCCC2GCCC(a, b, c, y) +
             Unit::VZenithRad2VElevationRad(x) + Unit::VElevationRad2VSlopePercent(x) +
             Unit::VElevationRad2VertHorizRatio(x) + CTT::Equal(x, y) + CTT::Equal(in.p, in.q) +
             CTT::EqualIngoreDigits(x, y, in.digits) + CTT::IsGreaterEqual(x, y) +
             CTT::IsLessEqual(x, y) + CTT::IsMultiple(x, y, in.digits) + CTT::Round(x, y) +
             CTT::RoundToDouble(x) + CTT::RoundToInt(x) + CTT::RoundToLong(x) +
             Unit::GetMjd(f[0], f[1], f[2], f[3], f[4], f[5]) + Unit::BuildDateTime(x, y) +
             Unit::ValidateDateTime(x) + Unit::RoundToSecond(x);
    return 0;
}
