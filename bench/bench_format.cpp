// The wide formatting engine and StringC::Format beside {fmt} (where it is
// installed) and snprintf: the same texts from the same values, the
// comparison in its own syntax.
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#ifdef UTL_HAVE_FMT
#include <fmt/xchar.h>
#endif
#ifdef UTL_HAVE_QT
#include <QString>
#endif

namespace {

// ---- lswprintf, four directives ---------------------------------------------------

void BM_Four_lswprintf(benchmark::State& state) {
    char16_t buffer[256];
    for (auto _ : state) {
        lswprintf(buffer, u"%s: %5d items, %8.3f m, %c", u"Station", 42, 12.3456, u'x');
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Four_lswprintf);

// ---- lswprintf, ten directives ----------------------------------------------------

void BM_Ten_lswprintf(benchmark::State& state) {
    char16_t buffer[512];
    for (auto _ : state) {
        lswprintf(buffer, u"%d|%5i|%-6u|%08x|%X|%o|%10.4f|%.3e|%g|%s", -12, 345, 678u, 0xBEEFu,
                  0xCAFEu, 8u, 3.14159, 6.02e23, 0.5, u"end");
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Ten_lswprintf);

// ---- StringC::Format("%d-%s") -----------------------------------------------------

void BM_IntText_Format(benchmark::State& state) {
    StringC s;
    int n = 0;
    for (auto _ : state) {
        s.Format(u"%d-%s", ++n, u"north");
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_IntText_Format);
// Two threads formatting at once: per call no slower than one.
BENCHMARK(BM_IntText_Format)->Threads(1)->Threads(2)->UseRealTime();

// snprintf and a widening pass into std::u16string.
void BM_IntText_snprintf(benchmark::State& state) {
    std::u16string s;
    int n = 0;
    for (auto _ : state) {
        char narrow[64];
        const int count = std::snprintf(narrow, sizeof narrow, "%d-%s", ++n, "north");
        s.assign(narrow, narrow + count);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_IntText_snprintf);

#ifdef UTL_HAVE_QT
// QString's printf-style formatting (its %ls reads a zero-terminated char16_t text).
void BM_IntText_QString(benchmark::State& state) {
    QString s;
    int n = 0;
    for (auto _ : state) {
        s = QString::asprintf("%d-%ls", ++n, u"north");
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_IntText_QString);
#endif

#ifdef UTL_HAVE_FMT

void BM_Four_fmt(benchmark::State& state) {
    char16_t buffer[256];
    for (auto _ : state) {
        const auto r = fmt::format_to_n(buffer, 255, u"{}: {:5} items, {:8.3f} m, {}", u"Station",
                                        42, 12.3456, u'x');
        *r.out = 0;
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Four_fmt);

void BM_Ten_fmt(benchmark::State& state) {
    char16_t buffer[512];
    for (auto _ : state) {
        const auto r =
            fmt::format_to_n(buffer, 511, u"{}|{:5}|{:<6}|{:08x}|{:X}|{:o}|{:10.4f}|{:.3e}|{:g}|{}",
                             -12, 345, 678u, 0xBEEFu, 0xCAFEu, 8u, 3.14159, 6.02e23, 0.5, u"end");
        *r.out = 0;
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Ten_fmt);

void BM_IntText_fmt(benchmark::State& state) {
    std::u16string s;
    int n = 0;
    for (auto _ : state) {
        s = fmt::format(u"{}-{}", ++n, u"north");
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_IntText_fmt);

#endif

}  // namespace

BENCHMARK_MAIN();
