// Shared by the two lswscanf targets: an input text and a format decoded from
// the fuzz data, and targets whose stores are checked.
//
// The engine hands many directives to the C library's sscanf. ASan's scanf
// interceptor checks those stores only for the directives it understands; on
// the others (the "'" and "I" flags, most size letters before "c", "s" and
// "[", "h" and "q" before floating-point letters, "j", "z", "t" and "hh"
// where the engine's measuring format keeps them) it prints a warning and
// checks nothing. So the targets split the formats: fuzz_widescan takes
// those the interceptor reads throughout, fuzz_widescan_extended the others.
//
// Both give every directive its own target, sized for the largest store its
// input allows (a wide string of 4-byte characters, or a long double) and
// followed by a canary that must survive the call: that checks even stores
// nothing intercepts.
#pragma once

#include <UTL/WideText.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace widescan {

constexpr size_t kTargets = 64;
constexpr size_t kMaxInput = 999;
constexpr size_t kMaxFormat = 128;
constexpr size_t kCanary = 16;
constexpr unsigned char kCanaryByte = 0xA5;

// Bytes below 0x80 stand for themselves; the others pick characters that
// matter to the engine, including non-ASCII delimiters and units it narrows
// to spaces.
inline char16_t Unit(uint8_t b) {
    static const char16_t kSpecial[] = {
        u'%',   u'%',   u'%',   u'd',   u's',   u'S',   u'c',   u'C',  u'[', u']', u'^',
        u',',   u';',   u' ',   u'*',   u'l',   u'h',   u'L',   u'I',  u'n', u'p', u'm',
        u'$',   u'f',   u'x',   u'i',   u'0',   u'9',   u'q',   u'j',  u'z', u't', u'\'',
        0x00A7, 0x00B6, 0x00FE, 0x00FF, 0x0100, 0x263A, 0x00E9, 0x0080};
    if (b < 0x80) return b ? b : u' ';
    return kSpecial[b % (sizeof kSpecial / sizeof kSpecial[0])];
}

// "%" units that are not part of a "%%" pair.
inline unsigned CountDirectives(const std::u16string& format) {
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

inline bool IsIn(char16_t c, const char* set) {
    return c != 0 && c < 0x80 && std::strchr(set, static_cast<char>(c)) != nullptr;
}

// Whether ASan's scanf interceptor reads everything the engine hands sscanf
// for the directive after the "%" at `d`: the directive itself, and the
// "%[^X]" measuring format that keeps its flags and all size letters but a
// first "h", "l", "L" or "I". Moves `d` past the directive.
inline bool InterceptorReads(const std::u16string& f, size_t& d) {
    struct Rule {
        const char* conversions;
        std::initializer_list<std::u16string_view> sizes;
    };
    static const Rule kRules[] = {
        {"diouxX", {u"", u"h", u"l", u"ll", u"L"}},
        {"n", {u"", u"h", u"l", u"ll"}},
        {"aAeEfFgG", {u"", u"l", u"L"}},
        {"sc[", {u"", u"l"}},
        {"SCp", {u""}},
        {"]", {u"", u"h", u"l", u"L"}},  // no conversion, but measured as "[^X]"
    };
    const auto at = [&](size_t k) { return k < f.size() ? f[k] : char16_t(0); };
    size_t k = d;
    while (IsIn(at(k), "0123456789")) ++k;
    if (at(k) == u'$') d = k + 1;  // a position, which the engine drops
    bool flags = false;
    for (k = d; IsIn(at(k), "*'I"); ++k) flags = flags || at(k) != u'*';
    while (IsIn(at(k), "0123456789m")) ++k;
    const size_t sizes = k;
    while (IsIn(at(k), "hlqLjzt")) ++k;
    const std::u16string_view size = std::u16string_view(f).substr(sizes, k - sizes);
    const char16_t conv = at(k);
    d = k + (conv != 0);
    // A "%%" right after the letter: the measuring format takes its first
    // "%" as the delimiter, and the second starts a directive.
    if (flags || (at(d) == u'%' && at(d + 1) == u'%')) return false;
    for (const Rule& rule : kRules) {
        if (!IsIn(conv, rule.conversions)) continue;
        for (const std::u16string_view allowed : rule.sizes) {
            if (size == allowed) return true;
        }
        return false;
    }
    // Anything else ("%5%", "%y", "%y,d") reaches sscanf as it is, or in a
    // measuring format built from a conversion letter further on.
    return false;
}

inline bool InterceptorReadsAll(const std::u16string& format) {
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') continue;
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            ++i;
            continue;
        }
        size_t d = i + 1;
        if (!InterceptorReads(format, d)) return false;
        i = d - 1;
    }
    return true;
}

// The fuzz data as an input text and a format: the first byte says how much
// of the rest is format.
struct ScanCase {
    std::u16string format, input;
};

inline ScanCase Decode(const uint8_t* data, size_t size) {
    ScanCase c;
    const size_t rest = size - 1;
    size_t formatLength = rest * data[0] / 255;
    if (formatLength > kMaxFormat) formatLength = kMaxFormat;
    for (size_t i = 0; i < formatLength; ++i) c.format += Unit(data[1 + i]);
    for (size_t i = 1 + formatLength; i < size && c.input.size() < kMaxInput; ++i) {
        c.input += Unit(data[i]);
    }
    return c;
}

// Runs lswscanf with one target per directive (null arguments after them)
// and aborts when a store went past its target: into its canary, or (ASan)
// past the whole area.
inline void ScanIntoCheckedTargets(const ScanCase& c) {
    const unsigned count = CountDirectives(c.format);
    if (count > kTargets) return;
    // The largest store a field of this input can need, rounded for alignment.
    size_t room = 4 * (c.input.size() + 1);
    if (room < 16) room = 16;
    room = (room + 15) / 16 * 16;
    const size_t slot = room + kCanary;
    unsigned char* area = static_cast<unsigned char*>(std::aligned_alloc(16, slot * (count + 1)));
    void* t[kTargets] = {};
    for (unsigned k = 0; k < count; ++k) {
        t[k] = area + k * slot;
        std::memset(area + k * slot, 0, room);
        std::memset(area + k * slot + room, kCanaryByte, kCanary);
    }
    lswscanf(c.input.c_str(), c.format.c_str(), t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7],
             t[8], t[9], t[10], t[11], t[12], t[13], t[14], t[15], t[16], t[17], t[18], t[19],
             t[20], t[21], t[22], t[23], t[24], t[25], t[26], t[27], t[28], t[29], t[30], t[31],
             t[32], t[33], t[34], t[35], t[36], t[37], t[38], t[39], t[40], t[41], t[42], t[43],
             t[44], t[45], t[46], t[47], t[48], t[49], t[50], t[51], t[52], t[53], t[54], t[55],
             t[56], t[57], t[58], t[59], t[60], t[61], t[62], t[63]);
    for (unsigned k = 0; k < count; ++k) {
        const unsigned char* canary = area + k * slot + room;
        for (size_t b = 0; b < kCanary; ++b) {
            if (canary[b] == kCanaryByte) continue;
            std::fprintf(stderr, "store past target %u (%zu bytes)\n", k, room);
            std::abort();
        }
    }
    std::free(area);
}

// "%[width][h|l]conv" from two bytes. Widths stay off the characters that a
// width makes the engine skip before the field ("^" and "["), which the
// input alphabet leaves out.
inline std::string CrossCheckDirective(uint8_t a, uint8_t b) {
    static const char kConversions[] = "diouxXeEfgGsc";
    static const char* const kWidths[] = {"", "", "", "1", "2", "3", "12", "99"};
    static const char* const kSizes[] = {"", "", "h", "l"};
    const char conv = kConversions[a % 13];
    if (conv == 's' || conv == 'c') return std::string("%") + conv;
    return std::string("%") + kWidths[b % 8] + kSizes[(b / 8) % 4] + conv;
}

[[noreturn]] inline void Fail(const char* what, const std::string& format,
                              const std::string& input) {
    std::fprintf(stderr, "%s differs from sscanf: \"%s\" on \"%s\"\n", what, format.c_str(),
                 input.c_str());
    std::abort();
}

// Which formats a target takes: those the interceptor reads throughout, or
// those with a directive it does not read.
enum class Directives { Intercepted, NotIntercepted };

inline bool Takes(Directives which, const std::u16string& format) {
    return InterceptorReadsAll(format) == (which == Directives::Intercepted);
}

inline void CrossCheck(const uint8_t* data, size_t size, Directives which) {
    if (size < 2) return;
    static const char kAlphabet[] = "0123456789012345+-.eExXaAfFiInN \t,;pP";  // no "Z" (0x5A)
    const std::string format = CrossCheckDirective(data[0], data[1]);
    if (!Takes(which, std::u16string(format.begin(), format.end()))) return;
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

// One run: the first byte picks the cross-check (0xF0 and above) or a
// hostile text and format.
inline void Run(const uint8_t* data, size_t size, Directives which) {
    if (size < 1) return;
    if (data[0] >= 0xF0) {
        CrossCheck(data + 1, size - 1, which);
        return;
    }
    const ScanCase c = Decode(data, size);
    if (Takes(which, c.format)) ScanIntoCheckedTargets(c);
}

}  // namespace widescan
