// Wide-text primitives (the lwcs* functions, case folding) and the
// narrow/wide conversions. The engines call them; nothing here calls an engine.
#include <UTL/WideText.h>

#include <cctype>
#include <cstring>

#include "WideBlockScan.h"

namespace {

// Folding for lstricmp: the locale's tolower of the byte, read back as a signed
// char. Bytes the locale does not fold keep their negative value, so 0x80-0xFF
// order before ASCII (glibc's tolower would otherwise map them to 128-255).
int FoldNarrow(unsigned char byte) {
    return static_cast<signed char>(std::tolower(byte));
}

}  // namespace

// ---- Primitives -----------------------------------------------------------

// The scans are those of WideBlockScan.h (vector blocks where the target has
// them). Copies measure first and then move the units with the terminator, so
// a source that overlaps the destination is still copied whole.

unsigned int lwcslen(const char16_t* s) {
    return static_cast<unsigned int>(UTL::detail::TextLength(s));
}

char16_t* lwcscpy(char16_t* dst, const char16_t* src) {
    std::memmove(dst, src, (UTL::detail::TextLength(src) + 1) * sizeof(char16_t));
    return dst;
}

char16_t* lwcsncpy(char16_t* dst, const char16_t* src, int count) {
    // A negative count limits nothing.
    const std::size_t n = count < 0 ? UTL::detail::TextLength(src)
                                    : UTL::detail::TextLength(src, static_cast<std::size_t>(count));
    std::memmove(dst, src, n * sizeof(char16_t));
    dst[n] = 0;
    return dst;
}

char16_t* lwcscat(char16_t* dst, const char16_t* src) {
    lwcscpy(dst + lwcslen(dst), src);
    return dst;
}

int lwcscmp(const char16_t* a, const char16_t* b) {
    return UTL::detail::CompareUnits(a, b);
}

int lwcsncmp(const char16_t* a, const char16_t* b, unsigned int count) {
    return UTL::detail::CompareUnits(a, b, count);
}

int lwcsicmp(const char16_t* a, const char16_t* b) {
    int d;
    while ((d = int(ltowlower(*a)) - int(ltowlower(*b))) == 0 && *b) ++a, ++b;
    return UTL::detail::SignOf(d);
}

int lstricmp(const char* a, const char* b) {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    int d;
    while ((d = FoldNarrow(*pa) - FoldNarrow(*pb)) == 0 && *pb) ++pa, ++pb;
    return UTL::detail::SignOf(d);
}

char16_t* lwcschr(const char16_t* s, int c) {
    // No unit holds a value outside 0..0xFFFF.
    if (c < 0 || c > 0xFFFF) return nullptr;
    const char16_t* at = UTL::detail::FindUnitOrEnd(s, static_cast<char16_t>(c));
    return int(*at) == c ? const_cast<char16_t*>(at) : nullptr;
}

char16_t* lwcsstr(const char16_t* s, const char16_t* sub) {
    if (!*sub) return const_cast<char16_t*>(s);
    return const_cast<char16_t*>(UTL::detail::FindText(s, sub));
}

char16_t ltowlower(char16_t c) {
    if ((c >= 0x41 && c <= 0x5A) || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c == 0x152 || c == 0x160 || c == 0x17D) return c + 1;
    return c;
}

char16_t ltowupper(char16_t c) {
    if ((c >= 0x61 && c <= 0x7A) || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0x153 || c == 0x161 || c == 0x17E) return c - 1;
    return c;
}

// ---- Conversions ------------------------------------------------------------

namespace UTL {

void AsciiToUnicode(char16_t* dst, const char* src) {
    if (src) {
        for (; *src; ++src) *dst++ = static_cast<unsigned char>(*src);
    }
    *dst = 0;
}

void AsciiToUnicode(char16_t* dst, unsigned int size, const char* src) {
    if (size == 0) return;
    if (src) {
        for (; *src && size > 1; ++src, --size) *dst++ = static_cast<unsigned char>(*src);
    }
    *dst = 0;
}

void UnicodeToAscii(char* dst, const char16_t* src) {
    if (src) {
        for (; *src; ++src) *dst++ = *src > 0xFF ? ' ' : static_cast<char>(*src);
    }
    *dst = 0;
}

void UnicodeToAscii(char* dst, unsigned int size, const char16_t* src) {
    if (size == 0) return;
    if (src) {
        for (; *src && size > 1; ++src, --size)
            *dst++ = *src > 0xFF ? ' ' : static_cast<char>(*src);
    }
    *dst = 0;
}

bool HasUnicodeCharacters(const char16_t* s) {
    if (!s) return false;
    for (; *s; ++s) {
        if (*s > 0xFF) return true;
    }
    return false;
}

}  // namespace UTL
