// libFuzzer target for lswscanf, in two modes chosen by the first byte:
//
// - Hostile input texts and formats. The data is split into an input text and
//   a format. Every directive of the format gets its own zeroed 4 KiB target;
//   the input is kept below 1000 code units, so even a wide string field the
//   C library stores (4 bytes a character) stays inside its target.
// - Cross-check: one directive of the kinds the engine converts itself
//   (integer and floating-point, "%s" and "%c" into wide targets) on a text of
//   number-like characters must store exactly what sscanf stores; the
//   program aborts where it does not.
#include <UTL/WideText.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kTargets = 64;
constexpr size_t kTargetBytes = 4096;
constexpr size_t kMaxInput = 999;
constexpr size_t kMaxFormat = 128;

alignas(16) unsigned char g_targets[kTargets][kTargetBytes];

// Bytes below 0x80 stand for themselves; the others pick characters that
// matter to the engine, including non-ASCII delimiters and units it narrows
// to spaces.
char16_t Unit(uint8_t b) {
    static const char16_t kSpecial[] = {
        u'%', u'%', u'%', u'd', u's',   u'S',   u'c',   u'C',   u'[',   u']',   u'^',   u',',
        u';', u' ', u'*', u'l', u'h',   u'L',   u'I',   u'n',   u'p',   u'm',   u'$',   u'f',
        u'x', u'i', u'0', u'9', 0x00A7, 0x00B6, 0x00FE, 0x00FF, 0x0100, 0x263A, 0x00E9, 0x0080};
    if (b < 0x80) return b ? b : u' ';
    return kSpecial[b % (sizeof kSpecial / sizeof kSpecial[0])];
}

unsigned CountDirectives(const std::u16string& format) {
    unsigned count = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') continue;
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            ++i;
        } else {
            ++count;
        }
    }
    return count;
}

// "%[width][h|l]conv" from two bytes. Widths stay off the characters that a
// width makes the engine skip before the field ("^" and "["), which the
// input alphabet leaves out.
std::string CrossCheckDirective(uint8_t a, uint8_t b) {
    static const char kConversions[] = "diouxXeEfgGsc";
    static const char* const kWidths[] = {"", "", "", "1", "2", "3", "12", "99"};
    static const char* const kSizes[] = {"", "", "h", "l"};
    const char conv = kConversions[a % 13];
    if (conv == 's' || conv == 'c') return std::string("%") + conv;
    return std::string("%") + kWidths[b % 8] + kSizes[(b / 8) % 4] + conv;
}

void Fail(const char* what, const std::string& format, const std::string& input) {
    std::fprintf(stderr, "%s differs from sscanf: \"%s\" on \"%s\"\n", what, format.c_str(),
                 input.c_str());
    std::abort();
}

void CrossCheck(const uint8_t* data, size_t size) {
    if (size < 2) return;
    static const char kAlphabet[] = "0123456789012345+-.eExXaAfFiInN \t,;pP";  // no "Z" (0x5A)
    const std::string format = CrossCheckDirective(data[0], data[1]);
    std::string input;
    for (size_t i = 2; i < size && input.size() < 80; ++i) {
        input += kAlphabet[data[i] % (sizeof kAlphabet - 1)];
    }
    const std::u16string wideFormat(format.begin(), format.end());
    const std::u16string wideInput(input.begin(), input.end());
    // Room for the longest word, narrow and wide, with its terminator.
    unsigned char expected[256], actual[256];
    std::memset(expected, 0x5A, sizeof expected);
    std::memset(actual, 0x5A, sizeof actual);
    std::sscanf(input.c_str(), format.c_str(), expected);
    lswscanf(wideInput.c_str(), wideFormat.c_str(), actual);
    if (format != "%s" && format != "%c") {
        if (std::memcmp(expected, actual, sizeof expected) != 0) Fail("value", format, input);
        return;
    }
    // A wide string in `actual`; sscanf's "%c" stores no terminator.
    char16_t text[128];
    std::memcpy(text, actual, sizeof text);
    const bool stored = expected[0] != 0x5A;
    if (stored != (text[0] != 0x5A5A)) Fail("storing", format, input);
    if (!stored) return;
    const size_t length =
        format == "%c" ? 1 : strnlen(reinterpret_cast<const char*>(expected), sizeof expected);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != expected[i]) Fail("text", format, input);
    }
    if (text[length] != 0) Fail("terminator", format, input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (data[0] >= 0xF0) {
        CrossCheck(data + 1, size - 1);
        return 0;
    }
    // First byte: how much of the rest is format.
    const size_t rest = size - 1;
    size_t formatLength = rest * data[0] / 255;
    if (formatLength > kMaxFormat) formatLength = kMaxFormat;
    std::u16string format, input;
    for (size_t i = 0; i < formatLength; ++i) format += Unit(data[1 + i]);
    for (size_t i = 1 + formatLength; i < size && input.size() < kMaxInput; ++i) {
        input += Unit(data[i]);
    }
    if (CountDirectives(format) > kTargets) return 0;

    std::memset(g_targets, 0, sizeof g_targets);
    void* t[kTargets];
    for (size_t i = 0; i < kTargets; ++i) t[i] = g_targets[i];
    lswscanf(input.c_str(), format.c_str(), t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8],
             t[9], t[10], t[11], t[12], t[13], t[14], t[15], t[16], t[17], t[18], t[19], t[20],
             t[21], t[22], t[23], t[24], t[25], t[26], t[27], t[28], t[29], t[30], t[31], t[32],
             t[33], t[34], t[35], t[36], t[37], t[38], t[39], t[40], t[41], t[42], t[43], t[44],
             t[45], t[46], t[47], t[48], t[49], t[50], t[51], t[52], t[53], t[54], t[55], t[56],
             t[57], t[58], t[59], t[60], t[61], t[62], t[63]);
    return 0;
}
