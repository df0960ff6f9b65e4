// Wide-text primitives and narrow/wide conversions.
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(WideCompare, ResultIsAlwaysMinusOneZeroOrOne) {
    EXPECT_EQ(lwcscmp(u"abc", u"abd"), -1);
    EXPECT_EQ(lwcscmp(u"abd", u"abc"), 1);
    EXPECT_EQ(lwcscmp(u"ab", u"abc"), -1);
    EXPECT_EQ(lwcscmp(u"abc", u"ab"), 1);
    EXPECT_EQ(lwcscmp(u"a", u"z"), -1);  // difference 25, still -1
    EXPECT_EQ(lwcscmp(u"", u""), 0);
    // Code units compare unsigned: U+FFFF orders after ASCII.
    EXPECT_EQ(lwcscmp(u"\xFFFF", u"a"), 1);
}

TEST(WideCompare, CountedAndCaseInsensitive) {
    EXPECT_EQ(lwcsncmp(u"abX", u"abY", 2), 0);
    EXPECT_EQ(lwcsncmp(u"abX", u"abY", 3), -1);
    EXPECT_EQ(lwcsncmp(u"x", u"y", 0), 0);
    EXPECT_EQ(lwcsncmp(u"ab", u"ab", 100), 0);  // stops at the terminator

    EXPECT_EQ(lwcsicmp(u"ABC", u"abc"), 0);
    EXPECT_EQ(lwcsicmp(u"\u00C0", u"\u00E0"), 0);
    EXPECT_NE(lwcsicmp(u"\u0178", u"\u00FF"), 0);  // not mapped
    EXPECT_EQ(lwcsicmp(u"_", u"A"), -1);           // '_' < 'a' after folding
    EXPECT_EQ(lwcsicmp(u"_", u"a"), -1);
}

TEST(NarrowCompare, HighBytesAreNegativeAndOrderFirst) {
    EXPECT_EQ(lstricmp("\xE9", "a"), -1);
    EXPECT_EQ(lstricmp("\xE9", ""), -1);
    EXPECT_EQ(lstricmp("", "\xE9"), 1);
    EXPECT_EQ(lstricmp("ABC", "abc"), 0);
    EXPECT_EQ(lstricmp("abc", "ABD"), -1);
}

TEST(CaseMapping, TableAndUnmappedUnits) {
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

TEST(WideCopy, CountedCopyWritesNoPadding) {
    char16_t buf[12];
    std::fill(std::begin(buf), std::end(buf), u'#');
    lwcsncpy(buf, u"hello", 3);
    EXPECT_EQ(std::u16string(buf), u"hel");
    EXPECT_EQ(buf[4], u'#');

    std::fill(std::begin(buf), std::end(buf), u'#');
    lwcsncpy(buf, u"hi", 10);
    EXPECT_EQ(std::u16string(buf), u"hi");
    EXPECT_EQ(buf[3], u'#');  // only 3 units written

    lwcsncpy(buf, u"hello", 0);
    EXPECT_EQ(buf[0], 0);
    lwcsncpy(buf, u"negative", -1);  // a negative count limits nothing
    EXPECT_EQ(std::u16string(buf), u"negative");

    lwcscpy(buf, u"ab");
    lwcscat(buf, u"cd");
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(lwcslen(buf), 4u);
}

TEST(WideSearch, CharacterAndSubstring) {
    const char16_t* s = u"xAyA";
    EXPECT_EQ(lwcschr(s, u'A'), s + 1);
    EXPECT_EQ(lwcschr(s, 0), s + 4);
    EXPECT_EQ(lwcschr(s, 0x10041), nullptr);
    EXPECT_EQ(lwcschr(s, u'q'), nullptr);

    const char16_t* t = u"aab";
    EXPECT_EQ(lwcsstr(t, u""), t);
    EXPECT_EQ(lwcsstr(t, u"ab"), t + 1);
    EXPECT_EQ(lwcsstr(t, u"abc"), nullptr);
    EXPECT_EQ(lwcsstr(u"", u"a"), nullptr);
}

TEST(Conversions, WidenAndNarrowByByteValue) {
    char16_t w[8];
    UTL::AsciiToUnicode(w, "a\xE9");
    EXPECT_EQ(w[1], 0x00E9);
    EXPECT_EQ(w[2], 0);

    char n[8];
    UTL::UnicodeToAscii(n, u"\u00FF\u0100z");
    EXPECT_EQ(std::string(n), "\xFF z");

    EXPECT_FALSE(UTL::HasUnicodeCharacters(u"\u00FF"));
    EXPECT_TRUE(UTL::HasUnicodeCharacters(u"a\u0100"));
    EXPECT_FALSE(UTL::HasUnicodeCharacters(nullptr));
}

TEST(Conversions, SizedFormsCutAndAlwaysTerminate) {
    char16_t w[8];
    UTL::AsciiToUnicode(w, 4, "abcdef");
    EXPECT_EQ(std::u16string(w), u"abc");
    UTL::AsciiToUnicode(w, 1, "abcdef");
    EXPECT_EQ(w[0], 0);
    w[0] = u'#';
    UTL::AsciiToUnicode(w, 0, "abc");  // no room even for the terminator
    EXPECT_EQ(w[0], u'#');

    char n[8];
    UTL::UnicodeToAscii(n, 3, u"abcdef");
    EXPECT_EQ(std::string(n), "ab");
    n[0] = '#';
    UTL::UnicodeToAscii(n, 0, u"abc");
    EXPECT_EQ(n[0], '#');
}

TEST(Conversions, NullSourcesGiveEmptyStrings) {
    char16_t w[4] = {u'x', u'x', 0, 0};
    char n[4] = "xx";
    UTL::AsciiToUnicode(w, nullptr);
    EXPECT_EQ(w[0], 0);
    w[0] = u'x';
    UTL::AsciiToUnicode(w, 4, nullptr);
    EXPECT_EQ(w[0], 0);
    UTL::UnicodeToAscii(n, nullptr);
    EXPECT_EQ(n[0], 0);
    n[0] = 'x';
    UTL::UnicodeToAscii(n, 4, nullptr);
    EXPECT_EQ(n[0], 0);
}
