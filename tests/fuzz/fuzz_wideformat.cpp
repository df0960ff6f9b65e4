// libFuzzer target for lswprintf and the bounded internal entry point, and
// for the format check's walks over the same formats.
//
// Formats are built from the fuzz data. The engine takes each argument by its
// class (int, double or pointer), so the harness passes arguments that every
// class can read safely: on x86-64 the first integer/pointer and double
// arguments travel in separate registers and the rest share the stack, so it
// passes four pointers (integer registers), eight doubles (vector registers)
// and then only pointers (the stack). Every pointer addresses one buffer that
// is at once a wide string, a narrow string and a writable count target; read
// as an int it is some number, read from the stack as a double a tiny one.
#include <UTL/WideText.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "WideTextInternal.h"

#if !defined(__x86_64__)
#error "this harness relies on the x86-64 System V argument passing"
#endif

namespace {

constexpr size_t kMaxFormat = 64;  // at most ~43 arguments read
constexpr size_t kFieldLimit = 65535;

alignas(16) char16_t g_universal[64];
bool g_bounded = false;
unsigned g_capacity = 0;

char16_t Unit(uint8_t b) {
    static const char16_t kSpecial[] = {
        u'%', u'%', u'%', u'%', u'*', u'*', u's', u'S', u'c',   u'C',   u'd',   u'i',  u'o',
        u'u', u'x', u'X', u'e', u'E', u'f', u'g', u'G', u'n',   u'p',   u'h',   u'l',  u'.',
        u'-', u'+', u' ', u'#', u'0', u'9', u'1', u'y', 0x263A, 0x00E9, 0x00FF, 0x0100};
    if (b < 0x80) return b ? b : u'%';
    return kSpecial[b % (sizeof kSpecial / sizeof kSpecial[0])];
}

int Format(char16_t* buffer, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    if (g_bounded) {
        UTL::detail::lvsnwprintf(buffer, g_capacity, format, args);
    } else {
        lvswprintf(buffer, format, args);
    }
    va_end(args);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    g_bounded = data[0] & 1;
    g_capacity = data[1] * 16u + (data[0] >> 1);
    std::u16string format;
    for (size_t i = 2; i < size && format.size() < kMaxFormat; ++i) format += Unit(data[i]);

    // The format check, which applications run at compile time, reads any
    // format to its terminator and no further, in both engines' walks.
    (void)UTL::detail::CheckFormat<UTL::detail::FormatEngine::Output>(format.c_str());
    (void)UTL::detail::CheckFormat<UTL::detail::FormatEngine::Scan>(format.c_str());

    // The universal argument: "Ab☺é" as wide text; as narrow text "A".
    const char16_t text[] = {u'A', u'b', 0x263A, 0x00E9, 0};
    for (size_t i = 0; i < 64; ++i) g_universal[i] = i < 5 ? text[i] : 0;

    // Room for the largest result: every directive at most one full field.
    static std::vector<char16_t> buffer((kMaxFormat + 1) * (kFieldLimit + 100));
    void* p = g_universal;
    const double d[8] = {0.0, -1.5, 1e+50, -1e+50, 3.14159, 1e-300, 2e+50, 42.0};
    Format(buffer.data(), format.c_str(), p, p, p, p, d[0], d[1], d[2], d[3], d[4], d[5], d[6],
           d[7], p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p,
           p, p, p, p, p, p, p, p, p, p);
    return 0;
}
