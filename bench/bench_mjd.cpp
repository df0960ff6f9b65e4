// Modified Julian Dates: building and splitting, side by side with ERFA's
// calendar conversions (eraCal2jd / eraJd2cal) when ERFA is installed.
//
// Every case walks through the same 4096 varied inputs so that branch
// prediction sees realistic data; results go through DoNotOptimize.
#include <UTL/Mjd.h>

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

#ifdef UTL_HAVE_ERFA
#include <erfa.h>
#endif

namespace {

constexpr std::size_t kInputCount = 4096;  // a power of two

struct Fields {
    long year, month, day, hour, minute, second;
};

const std::vector<Fields>& FieldInputs() {
    static const std::vector<Fields> inputs = [] {
        std::mt19937 rng(1);
        std::uniform_int_distribution<long> year(1900, 2100), month(1, 12), day(1, 28), hour(0, 23),
            minute(0, 59), second(0, 59);
        std::vector<Fields> v(kInputCount);
        for (Fields& f : v)
            f = {year(rng), month(rng), day(rng), hour(rng), minute(rng), second(rng)};
        return v;
    }();
    return inputs;
}

const std::vector<double>& MjdInputs() {
    static const std::vector<double> inputs = [] {
        std::mt19937 rng(2);
        std::uniform_real_distribution<double> mjd(15020.0, 88069.0);  // 1900..2100
        std::vector<double> v(kInputCount);
        for (double& m : v) m = mjd(rng);
        return v;
    }();
    return inputs;
}

void BM_GetMjd(benchmark::State& state) {
    const auto& in = FieldInputs();
    std::size_t i = 0;
    for (auto _ : state) {
        const Fields& f = in[i++ & (kInputCount - 1)];
        double mjd = Unit::GetMjd(f.year, f.month, f.day, f.hour, f.minute, f.second);
        benchmark::DoNotOptimize(mjd);
    }
}
BENCHMARK(BM_GetMjd);

void BM_SetMjd(benchmark::State& state) {
    const auto& in = MjdInputs();
    std::size_t i = 0;
    long year, month, day, hour, minute, second;
    for (auto _ : state) {
        Unit::SetMjd(in[i++ & (kInputCount - 1)], year, month, day, hour, minute, second);
        benchmark::DoNotOptimize(year);
        benchmark::DoNotOptimize(month);
        benchmark::DoNotOptimize(day);
        benchmark::DoNotOptimize(hour);
        benchmark::DoNotOptimize(minute);
        benchmark::DoNotOptimize(second);
    }
}
BENCHMARK(BM_SetMjd);

void BM_SetMjdTenths(benchmark::State& state) {
    const auto& in = MjdInputs();
    std::size_t i = 0;
    long year, month, day, hour, minute, second, tenths;
    for (auto _ : state) {
        Unit::SetMjd(in[i++ & (kInputCount - 1)], year, month, day, hour, minute, second, tenths);
        benchmark::DoNotOptimize(year);
        benchmark::DoNotOptimize(day);
        benchmark::DoNotOptimize(tenths);
    }
}
BENCHMARK(BM_SetMjdTenths);

void BM_SetMjdPrecise(benchmark::State& state) {
    const auto& in = MjdInputs();
    std::size_t i = 0;
    long year, month, day, hour, minute;
    double second;
    for (auto _ : state) {
        Unit::SetMjdPrecise(in[i++ & (kInputCount - 1)], year, month, day, hour, minute, second);
        benchmark::DoNotOptimize(year);
        benchmark::DoNotOptimize(day);
        benchmark::DoNotOptimize(second);
    }
}
BENCHMARK(BM_SetMjdPrecise);

#ifdef UTL_HAVE_ERFA

// Date only, as eraCal2jd takes no time of day.
void BM_ERFA_Cal2jd(benchmark::State& state) {
    const auto& in = FieldInputs();
    std::size_t i = 0;
    double djm0, djm;
    for (auto _ : state) {
        const Fields& f = in[i++ & (kInputCount - 1)];
        int status = eraCal2jd(static_cast<int>(f.year), static_cast<int>(f.month),
                               static_cast<int>(f.day), &djm0, &djm);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(djm);
    }
}
BENCHMARK(BM_ERFA_Cal2jd);

// The same work as GetMjd: date plus time of day.
void BM_ERFA_Cal2jd_Tf2d(benchmark::State& state) {
    const auto& in = FieldInputs();
    std::size_t i = 0;
    double djm0, djm, fraction;
    for (auto _ : state) {
        const Fields& f = in[i++ & (kInputCount - 1)];
        int status = eraCal2jd(static_cast<int>(f.year), static_cast<int>(f.month),
                               static_cast<int>(f.day), &djm0, &djm);
        status |= eraTf2d('+', static_cast<int>(f.hour), static_cast<int>(f.minute),
                          static_cast<double>(f.second), &fraction);
        double mjd = djm + fraction;
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(mjd);
    }
}
BENCHMARK(BM_ERFA_Cal2jd_Tf2d);

// Date and day fraction, no rounding.
void BM_ERFA_Jd2cal(benchmark::State& state) {
    const auto& in = MjdInputs();
    std::size_t i = 0;
    int year, month, day;
    double fraction;
    for (auto _ : state) {
        int status =
            eraJd2cal(2400000.5, in[i++ & (kInputCount - 1)], &year, &month, &day, &fraction);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(year);
        benchmark::DoNotOptimize(month);
        benchmark::DoNotOptimize(day);
        benchmark::DoNotOptimize(fraction);
    }
}
BENCHMARK(BM_ERFA_Jd2cal);

// The same work as SetMjd: date plus time of day rounded to the second.
void BM_ERFA_Jd2cal_D2tf(benchmark::State& state) {
    const auto& in = MjdInputs();
    std::size_t i = 0;
    int year, month, day, hms[4];
    double fraction;
    char sign;
    for (auto _ : state) {
        int status =
            eraJd2cal(2400000.5, in[i++ & (kInputCount - 1)], &year, &month, &day, &fraction);
        eraD2tf(0, fraction, &sign, hms);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(year);
        benchmark::DoNotOptimize(month);
        benchmark::DoNotOptimize(day);
        benchmark::DoNotOptimize(hms);
    }
}
BENCHMARK(BM_ERFA_Jd2cal_D2tf);

#endif  // UTL_HAVE_ERFA

}  // namespace

BENCHMARK_MAIN();
