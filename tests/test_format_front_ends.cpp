// The type-checked formatting front ends: StringC arguments, arrays of known
// size, and the size letter "l" taking a long.
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

using U16 = std::u16string;

U16 Widen(const char* ascii) {
    return U16(ascii, ascii + std::char_traits<char>::length(ascii));
}

// The C library's text of one narrow directive, widened.
U16 CLibrary(const char* directive, long value) {
    char text[64];
    std::snprintf(text, sizeof text, directive, value);
    return Widen(text);
}

}  // namespace

TEST(FormatFrontEnds, StringCArgumentIsPassedAsItsText) {
    const StringC name(u"A1");
    StringC line;
    line.Format(u"station %s, %d", name, 7);
    EXPECT_EQ(U16(line.View()), u"station A1, 7");

    char16_t buffer[32];
    lswprintf(buffer, u"[%s|%s]", name, StringC());
    EXPECT_EQ(U16(buffer), u"[A1|]");
    char16_t* pointer = buffer;
    lswprintf(pointer, u"<%s>", line + u"!");  // a temporary lives through the call
    EXPECT_EQ(U16(buffer), u"<station A1, 7!>");
    lsnwprintf(pointer, 3, u"%s!", name);
    EXPECT_EQ(U16(buffer), u"A1");
}

TEST(FormatFrontEnds, ArrayOfKnownSizeIsNeverOverrun) {
    struct {
        char16_t buffer[8];
        char16_t guard[4];
    } area;
    const struct {
        const char* name;
        const char16_t* text;
        U16 expected;
    } rows[] = {
        {"fits exactly", u"1234567", u"1234567"},
        {"cut to 7 units", u"123456789abc", u"1234567"},
        {"empty", u"", u""},
    };
    for (const auto& row : rows) {
        std::fill(std::begin(area.guard), std::end(area.guard), u'#');
        lswprintf(area.buffer, u"%s", row.text);
        EXPECT_EQ(U16(area.buffer), row.expected) << row.name;
        EXPECT_EQ(U16(area.guard, 4), u"####") << row.name;
    }
}

TEST(FormatFrontEnds, SizeLetterLTakesALong) {
    // Above 2^31 where long has 64 bits (LONG_MAX stands in elsewhere).
    constexpr long kAbove2To31 = LONG_MAX > INT_MAX ? static_cast<long>(3000000000LL) : LONG_MAX;
    const long values[] = {LONG_MIN, -1L, kAbove2To31, LONG_MAX};
    const struct {
        const char* narrow;
        const char16_t* wide;
    } directives[] = {{"%ld", u"%ld"}, {"%li", u"%li"},     {"%lu", u"%lu"},
                      {"%lx", u"%lx"}, {"%12ld", u"%12ld"}, {"%-5lX|", u"%-5lX|"}};
    for (const auto& d : directives) {
        for (const long value : values) {
            const U16 expected = CLibrary(d.narrow, value);
            char16_t buffer[64];
            lswprintf(buffer, d.wide, value);
            EXPECT_EQ(U16(buffer), expected) << "lswprintf " << d.narrow << " of " << value;
            StringC s;
            s.Format(d.wide, value);
            EXPECT_EQ(U16(s.View()), expected) << "Format " << d.narrow << " of " << value;
        }
    }
}

TEST(FormatFrontEnds, ScanOfLongFillsTheLong) {
    long value = 0;
    const U16 text = CLibrary("%ld", LONG_MAX);
    EXPECT_EQ(lswscanf(text.c_str(), u"%ld", &value), 1);
    EXPECT_EQ(value, LONG_MAX);
}
