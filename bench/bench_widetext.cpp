// The wide formatting and scanning engines side by side with the C library:
// lswprintf against snprintf (narrow) and swprintf (wide), lswscanf against
// swscanf (wide) and sscanf (narrow), on the same formats and values.
#include <UTL/WideText.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cwchar>

namespace {

// '%s: %5d items, %8.3f m, %c'
void BM_Mixed_lswprintf(benchmark::State& state) {
    char16_t buffer[256];
    for (auto _ : state) {
        lswprintf(buffer, u"%s: %5d items, %8.3f m, %c", u"Station", 42, 12.3456, u'x');
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Mixed_lswprintf);

void BM_Mixed_snprintf(benchmark::State& state) {
    char buffer[256];
    for (auto _ : state) {
        std::snprintf(buffer, sizeof buffer, "%s: %5d items, %8.3f m, %c", "Station", 42, 12.3456,
                      'x');
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Mixed_snprintf);

void BM_Mixed_swprintf(benchmark::State& state) {
    wchar_t buffer[256];
    for (auto _ : state) {
        std::swprintf(buffer, 256, L"%ls: %5d items, %8.3f m, %lc", L"Station", 42, 12.3456,
                      static_cast<wint_t>(L'x'));
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Mixed_swprintf);

// Ten directives of every kind.
void BM_Ten_lswprintf(benchmark::State& state) {
    char16_t buffer[512];
    for (auto _ : state) {
        lswprintf(buffer, u"%d;%s;%5.2f;%x;%c;%-6d;%e;%S;%08.3f;%u", 7, u"north", 3.14159, 255,
                  u'k', -12, 6.02e23, "ok", 2.5, 4000000000u);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Ten_lswprintf);

void BM_Ten_snprintf(benchmark::State& state) {
    char buffer[512];
    for (auto _ : state) {
        std::snprintf(buffer, sizeof buffer, "%d;%s;%5.2f;%x;%c;%-6d;%e;%s;%08.3f;%u", 7, "north",
                      3.14159, 255, 'k', -12, 6.02e23, "ok", 2.5, 4000000000u);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Ten_snprintf);

void BM_Ten_swprintf(benchmark::State& state) {
    wchar_t buffer[512];
    for (auto _ : state) {
        std::swprintf(buffer, 512, L"%d;%ls;%5.2f;%x;%lc;%-6d;%e;%s;%08.3f;%u", 7, L"north",
                      3.14159, 255, static_cast<wint_t>(L'k'), -12, 6.02e23, "ok", 2.5,
                      4000000000u);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Ten_swprintf);

// '%d,%d'
void BM_Pair_lswscanf(benchmark::State& state) {
    int a = 0, b = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lswscanf(u"123,456", u"%d,%d", &a, &b));
        benchmark::DoNotOptimize(a + b);
    }
}
BENCHMARK(BM_Pair_lswscanf);

void BM_Pair_swscanf(benchmark::State& state) {
    int a = 0, b = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::swscanf(L"123,456", L"%d,%d", &a, &b));
        benchmark::DoNotOptimize(a + b);
    }
}
BENCHMARK(BM_Pair_swscanf);

void BM_Pair_sscanf(benchmark::State& state) {
    int a = 0, b = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::sscanf("123,456", "%d,%d", &a, &b));
        benchmark::DoNotOptimize(a + b);
    }
}
BENCHMARK(BM_Pair_sscanf);

// A five-field line.
void BM_Line_lswscanf(benchmark::State& state) {
    int id = 0, offset = 0;
    double height = 0;
    unsigned flags = 0;
    char16_t name[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(lswscanf(u"42 3.25 alpha ff -7", u"%d %lf %s %x %d", &id, &height,
                                          name, &flags, &offset));
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_Line_lswscanf);

void BM_Line_swscanf(benchmark::State& state) {
    int id = 0, offset = 0;
    double height = 0;
    unsigned flags = 0;
    wchar_t name[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::swscanf(L"42 3.25 alpha ff -7", L"%d %lf %ls %x %d", &id,
                                              &height, name, &flags, &offset));
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_Line_swscanf);

void BM_Line_sscanf(benchmark::State& state) {
    int id = 0, offset = 0;
    double height = 0;
    unsigned flags = 0;
    char name[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::sscanf("42 3.25 alpha ff -7", "%d %lf %s %x %d", &id, &height,
                                             name, &flags, &offset));
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_Line_sscanf);

}  // namespace

BENCHMARK_MAIN();
