// The wide formatting and scanning engines side by side with the C library:
// lswprintf against snprintf (narrow) and swprintf (wide), lswscanf against
// swscanf (wide) and sscanf (narrow), on the same formats and values. The
// string primitives beside std::char_traits<char16_t> and std::u16string_view.
#include <UTL/WideText.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>

namespace {

// ---- String primitives -------------------------------------------------------
// Texts of n units ('a' to 'z' repeated, the last unit '#'). The text pointers
// pass through DoNotOptimize so that no call is hoisted out of the loop.

using Traits = std::char_traits<char16_t>;

std::u16string PrimitiveText(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    std::u16string text;
    for (int i = 0; i + 1 < length; ++i) text.push_back(static_cast<char16_t>(u'a' + i % 26));
    text.push_back(u'#');
    return text;
}

void BM_lwcslen(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    const char16_t* s = text.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(lwcslen(s));
    }
}
void BM_CharTraitsLength(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    const char16_t* s = text.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(Traits::length(s));
    }
}

// Texts that differ in the last unit.
void BM_lwcscmp(benchmark::State& state) {
    const std::u16string a = PrimitiveText(state);
    std::u16string b = a;
    b.back() = u'$';
    const char16_t* pa = a.c_str();
    const char16_t* pb = b.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pa);
        benchmark::DoNotOptimize(pb);
        benchmark::DoNotOptimize(lwcscmp(pa, pb));
    }
}
void BM_CharTraitsCompare(benchmark::State& state) {
    const std::u16string a = PrimitiveText(state);
    std::u16string b = a;
    b.back() = u'$';
    const char16_t* pa = a.c_str();
    const char16_t* pb = b.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pa);
        benchmark::DoNotOptimize(pb);
        benchmark::DoNotOptimize(Traits::compare(pa, pb, a.size()));
    }
}

// The last unit.
void BM_lwcschr(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    const char16_t* s = text.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(lwcschr(s, u'#'));
    }
}
void BM_CharTraitsFind(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    const char16_t* s = text.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(Traits::find(s, text.size(), u'#'));
    }
}

// The whole text with its terminator; the std side measures it, then copies.
void BM_lwcscpy(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    std::u16string target(text.size() + 1, u' ');
    const char16_t* s = text.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(lwcscpy(&target[0], s));
    }
}
void BM_CharTraitsCopy(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    std::u16string target(text.size() + 1, u' ');
    const char16_t* s = text.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(Traits::copy(&target[0], s, Traits::length(s) + 1));
    }
}

// The last three units of the text; the std side holds both lengths.
void BM_lwcsstr(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    const std::u16string sub = text.substr(text.size() - 3);
    const char16_t* s = text.c_str();
    const char16_t* p = sub.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(lwcsstr(s, p));
    }
}
void BM_U16ViewFind(benchmark::State& state) {
    const std::u16string text = PrimitiveText(state);
    const std::u16string sub = text.substr(text.size() - 3);
    std::u16string_view s = text;
    std::u16string_view p = sub;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(s.find(p));
    }
}

BENCHMARK(BM_lwcslen)->Arg(5)->Arg(40)->Arg(400)->Arg(4000);
BENCHMARK(BM_CharTraitsLength)->Arg(5)->Arg(40)->Arg(400)->Arg(4000);
BENCHMARK(BM_lwcscmp)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_CharTraitsCompare)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_lwcschr)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_CharTraitsFind)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_lwcscpy)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_CharTraitsCopy)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_lwcsstr)->Arg(5)->Arg(40)->Arg(400);
BENCHMARK(BM_U16ViewFind)->Arg(5)->Arg(40)->Arg(400);

// ---- Formatting and scanning engines --------------------------------------------

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
