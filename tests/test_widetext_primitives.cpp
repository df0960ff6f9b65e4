// Wide-text primitives and narrow/wide conversions.
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The values of a list of calls, as function arguments keep their layout compact.
const auto All = [](auto... values) { return std::vector<int>{int(values)...}; };

// Differences of 25, unsigned units, counted ends, unmapped units (U+0178) and '_'
// against folded letters; narrow high bytes are negative and order first.
TEST(WideText, ComparisonsGiveMinusOneZeroOrOne) {
    EXPECT_EQ(All(lwcscmp(u"abc", u"abd"), lwcscmp(u"abd", u"abc"), lwcscmp(u"ab", u"abc"),
                  lwcscmp(u"a", u"z"), lwcscmp(u"", u""), lwcscmp(u"\xFFFF", u"a"),
                  lwcsncmp(u"abX", u"abY", 2), lwcsncmp(u"abX", u"abY", 3), lwcsncmp(u"x", u"y", 0),
                  lwcsncmp(u"ab", u"ab", 100), lwcsicmp(u"ABC", u"abc"),
                  lwcsicmp(u"\u00C0", u"\u00E0"), lwcsicmp(u"\u0178", u"\u00FF"),
                  lwcsicmp(u"_", u"A"), lstricmp("\xE9", "a"), lstricmp("\xE9", ""),
                  lstricmp("", "\xE9"), lstricmp("ABC", "abc"), lstricmp("abc", "ABD")),
              All(-1, 1, -1, -1, 0, 1, 0, -1, 0, 0, 0, 0, 1, -1, -1, -1, 1, 0, -1));
}

TEST(WideText, CaseTableAndUnmappedUnits) {
    EXPECT_EQ(All(ltowlower(u'A'), ltowupper(u'z'), ltowlower(u'\u00DE'), ltowupper(u'\u00F8'),
                  ltowlower(u'\u0160'), ltowupper(u'\u017E')),
              All(u'a', u'Z', u'\u00FE', u'\u00D8', u'\u0161', u'\u017D'));
    for (char16_t c : {u'\u00D7', u'\u00F7', u'\u00DF', u'\u00FF', u'\u0178', u'\u00B5', u'1',
                       u'\u0100', u'\uFFFF'}) {
        EXPECT_TRUE(ltowlower(c) == c && ltowupper(c) == c) << int(c);
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
    EXPECT_TRUE(std::u16string(buf) == u"abcd" && lwcslen(buf) == 4);

    const char16_t* s = u"xAyA";
    EXPECT_EQ(
        All(lwcschr(s, u'A') - s, lwcschr(s, 0) - s, lwcsstr(s, u"") - s, lwcsstr(s, u"yA") - s),
        All(1, 4, 0, 2));
    EXPECT_TRUE(!lwcschr(s, 0x10041) && !lwcsstr(s, u"yAx") && !lwcsstr(u"", u"a"));
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
    EXPECT_TRUE(w[0] == u'#' && n[0] == '#');

    for (int sized = 0; sized < 2; ++sized) {  // null sources give empty strings
        w[0] = u'x';
        n[0] = 'x';
        sized ? UTL::AsciiToUnicode(w, 4, nullptr) : UTL::AsciiToUnicode(w, nullptr);
        sized ? UTL::UnicodeToAscii(n, 4, nullptr) : UTL::UnicodeToAscii(n, nullptr);
        EXPECT_TRUE(w[0] == 0 && n[0] == 0);
    }
}
