// Wide-text primitives and narrow/wide conversions.
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <string>

TEST(WideText, ComparisonsGiveMinusOneZeroOrOne) {
    const struct {
        int actual, expected;
    } rows[] = {
        {lwcscmp(u"abc", u"abd"), -1},
        {lwcscmp(u"abd", u"abc"), 1},
        {lwcscmp(u"ab", u"abc"), -1},
        {lwcscmp(u"a", u"z"), -1},  // a difference of 25 is still -1
        {lwcscmp(u"", u""), 0},
        {lwcscmp(u"\xFFFF", u"a"), 1},  // unsigned units
        {lwcsncmp(u"abX", u"abY", 2), 0},
        {lwcsncmp(u"abX", u"abY", 3), -1},
        {lwcsncmp(u"x", u"y", 0), 0},
        {lwcsncmp(u"ab", u"ab", 100), 0},
        {lwcsicmp(u"ABC", u"abc"), 0},
        {lwcsicmp(u"\u00C0", u"\u00E0"), 0},
        {lwcsicmp(u"\u0178", u"\u00FF"), 1},  // not mapped
        {lwcsicmp(u"_", u"A"), -1},           // '_' < 'a' after folding
        {lstricmp("\xE9", "a"), -1},          // high bytes are negative: they order first
        {lstricmp("\xE9", ""), -1},
        {lstricmp("", "\xE9"), 1},
        {lstricmp("ABC", "abc"), 0},
        {lstricmp("abc", "ABD"), -1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].actual, rows[i].expected) << i;
}

TEST(WideText, CaseTableAndUnmappedUnits) {
    EXPECT_EQ(ltowlower(u'A'), u'a');
    EXPECT_EQ(ltowupper(u'z'), u'Z');
    EXPECT_EQ(ltowlower(u'\u00DE'), u'\u00FE');
    EXPECT_EQ(ltowupper(u'\u00F8'), u'\u00D8');
    EXPECT_EQ(ltowlower(u'\u0160'), u'\u0161');
    EXPECT_EQ(ltowupper(u'\u017E'), u'\u017D');
    for (char16_t c : {u'\u00D7', u'\u00F7', u'\u00DF', u'\u00FF', u'\u0178', u'\u00B5', u'1',
                       u'\u0100', u'\uFFFF'}) {
        EXPECT_EQ(ltowlower(c), c) << int(c);
        EXPECT_EQ(ltowupper(c), c) << int(c);
    }
}

TEST(WideText, CopySearchAndCountedCopyWithoutPadding) {
    char16_t buf[12];
    std::fill(std::begin(buf), std::end(buf), u'#');
    lwcsncpy(buf, u"hi", 10);
    EXPECT_EQ(std::u16string(buf), u"hi");
    EXPECT_EQ(buf[3], u'#');  // only 3 units written
    lwcsncpy(buf, u"hello", 3);
    EXPECT_EQ(buf[3], u'\0');
    lwcsncpy(buf, u"negative", -1);  // a negative count limits nothing
    EXPECT_EQ(std::u16string(buf), u"negative");
    lwcscpy(buf, u"ab");
    lwcscat(buf, u"cd");
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(lwcslen(buf), 4u);

    const char16_t* s = u"xAyA";
    EXPECT_EQ(lwcschr(s, u'A'), s + 1);
    EXPECT_EQ(lwcschr(s, 0), s + 4);
    EXPECT_EQ(lwcschr(s, 0x10041), nullptr);
    EXPECT_EQ(lwcsstr(s, u""), s);
    EXPECT_EQ(lwcsstr(u"aab", u"ab"), u"aab" + 1);
    EXPECT_EQ(lwcsstr(u"aab", u"abc"), nullptr);
}

TEST(WideText, ConversionsByByteValueSizedAndNull) {
    char16_t w[8];
    char n[8];
    UTL::AsciiToUnicode(w, "a\xE9");
    EXPECT_EQ(std::u16string(w), u"a\u00E9");
    UTL::UnicodeToAscii(n, u"\u00FF\u0100z");
    EXPECT_EQ(std::string(n), "\xFF z");
    EXPECT_FALSE(UTL::HasUnicodeCharacters(u"\u00FF"));
    EXPECT_TRUE(UTL::HasUnicodeCharacters(u"a\u0100"));
    EXPECT_FALSE(UTL::HasUnicodeCharacters(nullptr));

    UTL::AsciiToUnicode(w, 4, "abcdef");
    EXPECT_EQ(std::u16string(w), u"abc");
    UTL::UnicodeToAscii(n, 3, u"abcdef");
    EXPECT_EQ(std::string(n), "ab");
    w[0] = u'#';
    n[0] = '#';
    UTL::AsciiToUnicode(w, 0, "abc");  // no room even for the terminator
    UTL::UnicodeToAscii(n, 0, u"abc");
    EXPECT_EQ(w[0], u'#');
    EXPECT_EQ(n[0], '#');

    UTL::AsciiToUnicode(w, nullptr);  // null sources give empty strings
    UTL::UnicodeToAscii(n, 4, nullptr);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(n[0], 0);
    w[0] = u'x';
    n[0] = 'x';
    UTL::AsciiToUnicode(w, 4, nullptr);
    UTL::UnicodeToAscii(n, nullptr);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(n[0], 0);
}
