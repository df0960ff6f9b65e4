// Must compile: the directive and argument combinations the engines read, as
// the format check accepts them, and calls of every checked front end. Built
// as C++17 (formats wrapped in UTL_FORMAT) and as C++20 (plain literals too).
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#include <cstddef>

namespace {

using UTL::detail::CheckFormat;
using UTL::detail::FormatEngine;

template <typename... Args>
constexpr bool Prints(const char16_t* format) {
    return CheckFormat<FormatEngine::Output, Args...>(format);
}
template <typename... Targets>
constexpr bool Scans(const char16_t* format) {
    return CheckFormat<FormatEngine::Scan, Targets...>(format);
}

enum Unscoped { kOne = 1 };

// Formatting: integers no wider than int, either signedness ("h" too).
static_assert(Prints<int, unsigned, short, char, bool>(u"%d %u %x %i %o"), "int-like");
static_assert(Prints<char16_t, Unscoped, int>(u"%X %d %hd"), "char16_t, enum, h");
static_assert(Prints<char16_t, char, int>(u"%c %C %5d"), "letters and widths");
// "l": long of either signedness.
static_assert(Prints<long, unsigned long, long>(u"%ld %lu %-8lx"), "long");
// Floating values.
static_assert(Prints<double, float, double, double>(u"%f %e %.3g %+8.2E"), "floating");
// Pointers and text.
static_assert(Prints<void*, const int*, std::nullptr_t>(u"%p %p %p"), "pointers");
static_assert(Prints<const char16_t*, char16_t[4], StringC, std::nullptr_t>(u"%s %s %-6s %s"),
              "wide text");
static_assert(Prints<const char*, char[4]>(u"%S %5S"), "narrow text");
// No argument: "%%" (with flags too), literal text, the empty format.
static_assert(Prints<>(u"100%% %5% done"), "percent");
static_assert(Prints<>(u""), "empty");
// Star mode: each "*" takes an int before the value.
static_assert(Prints<int, int>(u"%*d"), "star width");
static_assert(Prints<int, int, double>(u"%-*.*f"), "star width and precision");
static_assert(Prints<int, const char16_t*, long>(u"%.*s %ld"), "star precision of a string");

// Scanning: a pointer to what sscanf stores.
static_assert(Scans<int*, unsigned*, short*, signed char*>(u"%d %u %hd %hhd"), "int targets");
static_assert(Scans<long*, unsigned long*, long long*, long long*>(u"%ld %lx %lld %qd"),
              "long targets");
static_assert(Scans<std::size_t*, std::ptrdiff_t*>(u"%zu %td"), "size_t and ptrdiff_t");
static_assert(Scans<float*, double*, long double*>(u"%f %lf %Lf"), "floating targets");
static_assert(Scans<char16_t*, char16_t*, char16_t*>(u"%s %c %[a-z]"), "wide text targets");
static_assert(Scans<char*, char*, char*, wchar_t*>(u"%S %C %5s %ls"), "narrow text targets");
static_assert(Scans<void**, int*>(u"%p %*d"), "pointer, suppressed");
static_assert(Scans<int*>(u"%I64d"), "I is a flag: an int");
static_assert(Scans<int*>(u"%d%%"), "a percent pair inside a piece");

}  // namespace

#if UTL_CHECKS_LITERAL_FORMATS
#define CHECKED(literal) literal
#else
#define CHECKED(literal) UTL_FORMAT(literal)
#endif

// Every checked front end, with a literal where C++20 checks it.
int CheckedCalls(StringC& text, char16_t (&buffer)[32], char16_t* pointer) {
    long distance = 12;
    int count = 3;
    double height = 1.5;
    text.Format(CHECKED(u"%ld m, %d, %.2f %s"), distance, count, height, text);
    text.Format(UTL_FORMAT(u"%S"), "narrow");
    lswprintf(buffer, CHECKED(u"%*d|%p"), 4, count, static_cast<void*>(pointer));
    lswprintf(pointer, CHECKED(u"%s"), u"wide");
    lsnwprintf(pointer, 8, CHECKED(u"%lu"), 7UL);
    char16_t word[8];
    int read = lswscanf(u"5 ab", CHECKED(u"%d %s"), &count, word);
    read += text.Scan(CHECKED(u"%ld"), &distance);
    return read;
}
