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

namespace {

// Reads fixed-size values from the fuzzer's bytes, zero-filled at the end.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    template <typename T>
    T Take() {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (std::size_t i = 0; i < sizeof(T) && m_pos < m_size; ++i) bytes[i] = m_data[m_pos++];
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

volatile double g_sink;

void Angles(Input& in) {
    const double x = in.Take<double>();
    const int decimals = in.Take<int>();
    const int a = in.Take<int>(), b = in.Take<int>(), c = in.Take<int>();
    const auto resolution = static_cast<Unit::ResolutionAngleT>(in.Take<int>());
    int sign, whole, min;
    double sec;
    Unit::DMS2DMS(x, sign, whole, min, sec, decimals, resolution);
    Unit::Deg2DMS(x, sign, whole, min, sec, decimals);
    Unit::Rad2DMS(x, sign, whole, min, sec, decimals);
    Unit::GCCC2GCCC(x, sign, whole, min, sec, decimals);
    Unit::Grad2GCCC(x, sign, whole, min, sec, decimals);
    Unit::Rad2GCCC(x, sign, whole, min, sec, decimals);
    g_sink = Unit::DMS2Rad(x) + Unit::Rad2DMS(x, decimals) + Unit::Rad2GCCC(x, decimals) +
             Unit::DMS2Deg(a, b, c, x) + Unit::DMS2Rad(a, b, c, x) + Unit::DMS2DMS(a, b, c, x) +
             Unit::GCCC2GCCC(a, b, c, x) + Unit::GCCC2Grad(a, b, c, x) +
             Unit::GCCC2Rad(a, b, c, x) + Unit::GCCC2Rad(x) + Unit::VElevationRad2VZenithRad(x) +
             Unit::VZenithRad2VElevationRad(x) + Unit::VElevationRad2VSlopePercent(x) +
             Unit::VSlopePercent2VElevationRad(x) + Unit::VElevationRad2VertHorizRatio(x) +
             Unit::VertHorizRatio2VElevationRad(x);
}

void Tolerant(Input& in) {
    const double x = in.Take<double>(), y = in.Take<double>();
    const short digits = in.Take<short>();
    const float f = in.Take<float>(), g = in.Take<float>();
    g_sink = CTT::Equal(x, y) + CTT::Equal(f, g) + CTT::EqualIngoreDigits(x, y, digits) +
             CTT::IsGreaterEqual(x, y) + CTT::IsLessEqual(x, y) + CTT::IsMultiple(x, y, digits) +
             CTT::Round(x, y) + CTT::RoundToDouble(x) + CTT::RoundToInt(x) + CTT::RoundToLong(x);
}

void Units(Input& in) {
    const double x = in.Take<double>();
    long feet, inches, eighths;
    bool positive;
    Unit::Decimal2FeetInchEighthInch(x, feet, inches, eighths, positive);
    double back;
    Unit::FeetInchEighthInch2Decimal(back, in.Take<long>(), in.Take<long>(), in.Take<long>(),
                                     positive);
    g_sink = back + Unit::Cubm2CubUSYard(x) + Unit::USMpH2Ms(x) + Unit::Fahrenheit2Celsius(x);
}

void Dates(Input& in) {
    const double x = in.Take<double>(), y = in.Take<double>();
    long f[7];
    for (long& v : f) v = in.Take<long>();
    double sec;
    Unit::SetMjd(x, f[0], f[1], f[2], f[3], f[4], f[5]);
    Unit::SetMjd(x, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    Unit::SetMjdPrecise(x, f[0], f[1], f[2], f[3], f[4], sec);
    g_sink = Unit::GetMjd(f[0], f[1], f[2], f[3], f[4], f[5]) + Unit::BuildDateTime(x, y) +
             Unit::ValidateDateTime(x) + Unit::RoundToSecond(x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    switch (in.Take<std::uint8_t>() % 4) {
        case 0:
            Angles(in);
            break;
        case 1:
            Tolerant(in);
            break;
        case 2:
            Units(in);
            break;
        default:
            Dates(in);
            break;
    }
    return 0;
}
