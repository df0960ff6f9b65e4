// Wide-text primitives, narrow/wide conversions and the wide printf/scanf
// engines.
#include <UTL/WideText.h>

#include <cctype>

namespace {

int Sign(int d) { return (d > 0) - (d < 0); }

// Folding for lstricmp: the locale's tolower of the byte, read back as a signed
// char. Bytes the locale does not fold keep their negative value, so 0x80-0xFF
// order before ASCII (glibc's tolower would otherwise map them to 128-255).
int FoldNarrow(unsigned char byte) { return static_cast<signed char>(std::tolower(byte)); }

}  // namespace

// ---- Primitives -----------------------------------------------------------

unsigned int lwcslen(const char16_t* s) {
    const char16_t* p = s;
    while (*p) ++p;
    return static_cast<unsigned int>(p - s);
}

char16_t* lwcscpy(char16_t* dst, const char16_t* src) {
    char16_t* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

char16_t* lwcsncpy(char16_t* dst, const char16_t* src, int count) {
    char16_t* d = dst;
    // A negative count is decremented away from zero and so never limits.
    while (*src && count != 0) {
        *d++ = *src++;
        if (count > 0) --count;
    }
    *d = 0;
    return dst;
}

char16_t* lwcscat(char16_t* dst, const char16_t* src) {
    lwcscpy(dst + lwcslen(dst), src);
    return dst;
}

int lwcscmp(const char16_t* a, const char16_t* b) {
    int d;
    while ((d = int(*a) - int(*b)) == 0 && *b) ++a, ++b;
    return Sign(d);
}

int lwcsncmp(const char16_t* a, const char16_t* b, unsigned int count) {
    int d = 0;
    for (; count != 0; --count, ++a, ++b) {
        d = int(*a) - int(*b);
        if (d != 0 || !*b) break;
    }
    return Sign(d);
}

int lwcsicmp(const char16_t* a, const char16_t* b) {
    int d;
    while ((d = int(ltowlower(*a)) - int(ltowlower(*b))) == 0 && *b) ++a, ++b;
    return Sign(d);
}

int lstricmp(const char* a, const char* b) {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    int d;
    while ((d = FoldNarrow(*pa) - FoldNarrow(*pb)) == 0 && *pb) ++pa, ++pb;
    return Sign(d);
}

char16_t* lwcschr(const char16_t* s, int c) {
    while (*s && int(*s) != c) ++s;
    return int(*s) == c ? const_cast<char16_t*>(s) : nullptr;
}

char16_t* lwcsstr(const char16_t* s, const char16_t* sub) {
    if (!*sub) return const_cast<char16_t*>(s);
    const unsigned int n = lwcslen(sub);
    for (; (s = lwcschr(s, *sub)) != nullptr; ++s) {
        if (lwcsncmp(s, sub, n) == 0) return const_cast<char16_t*>(s);
    }
    return nullptr;
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
        for (; *src && size > 1; ++src, --size) *dst++ = *src > 0xFF ? ' ' : static_cast<char>(*src);
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
