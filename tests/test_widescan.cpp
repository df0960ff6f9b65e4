// Formatted wide input: lswscanf / lvswscanf.
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A wide target with room to spare, prefilled so untouched targets show.
struct WideTarget {
    char16_t text[1024];
    WideTarget() { Reset(); }
    void Reset() {
        std::fill(std::begin(text), std::end(text), u'#');
        text[1023] = 0;
    }
    std::u16string Str() const { return std::u16string(text); }
    bool Untouched() const { return text[0] == u'#' && text[1] == u'#'; }
};

}  // namespace

// ---- Directives, pieces and the running result ------------------------------------

TEST(WideScan, SpaceSeparatedIntegers) {
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(u"12 34", u"%d %d", &a, &b), 2);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
    a = b = -9;
    EXPECT_EQ(lswscanf(u"12   34", u"%d %d", &a, &b), 2);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
}

TEST(WideScan, CommaSeparatedIntegersAndRunningOutOfInput) {
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(u"1,2", u"%d,%d", &a, &b), 2);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);

    a = b = -9;
    EXPECT_EQ(lswscanf(u"1", u"%d,%d", &a, &b), 1);  // the advance steps over the end
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -9);

    a = b = -9;
    EXPECT_EQ(lswscanf(u"1,", u"%d,%d", &a, &b), 0);  // 1 + (-1): measured at the end
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -9);

    a = -9;
    EXPECT_EQ(lswscanf(u"", u"%d", &a), -1);
    EXPECT_EQ(a, -9);
}

TEST(WideScan, RepeatedDelimitersAreCollapsedOnlyBeforeTheirOwnPiece) {
    int a = -9, b = -9, c = -9;
    EXPECT_EQ(lswscanf(u"1,,3", u"%d,%d,%d", &a, &b, &c), 2);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(c, -9);

    a = b = -9;
    EXPECT_EQ(lswscanf(u"1,,3", u"%d,%d", &a, &b), 2);  // last field text is ",3"
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -9);

    a = b = -9;
    EXPECT_EQ(lswscanf(u",2", u"%d,%d", &a, &b), 1);  // leading delimiter skipped
    EXPECT_EQ(a, 2);
}

TEST(WideScan, MeasuredButUnconvertedFieldCountsOne) {
    int a = -9;
    EXPECT_EQ(lswscanf(u"abc", u"%d", &a), 1);
    EXPECT_EQ(a, -9);
    // An empty field adds 0 and advances one character.
    int b = -9;
    a = -9;
    EXPECT_EQ(lswscanf(u";5;7", u"%d;%d", &a, &b), 2);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 7);
}

TEST(WideScan, FormatsWithoutDirectives) {
    EXPECT_EQ(lswscanf(u"abc", u"abc"), 0);
    EXPECT_EQ(lswscanf(u"abc", u"%%"), 0);
    EXPECT_EQ(lswscanf(u"abc", u""), 0);
    EXPECT_EQ(lswscanf(u"abc", nullptr), 0);
    int a = -9;
    EXPECT_EQ(lswscanf(nullptr, u"%d", &a), -1);  // a null input reads as empty
    EXPECT_EQ(a, -9);
}

TEST(WideScan, PercentPairsStayInsideTheirPiece) {
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(u"5% 6", u"%d%% %d", &a, &b), 2);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 6);
}

// ---- Numbers ----------------------------------------------------------------------

TEST(WideScan, NumbersFollowTheCLibrary) {
    float f = 0;
    double d = 0;
    EXPECT_EQ(lswscanf(u"1.5;2.25", u"%f;%lf", &f, &d), 2);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(d, 2.25);

    long l = 0;
    short s = 0;
    unsigned x = 0;
    int i = 0;
    EXPECT_EQ(lswscanf(u"-5 7 ff 0x10", u"%ld %hd %x %i", &l, &s, &x, &i), 4);
    EXPECT_EQ(l, -5);
    EXPECT_EQ(s, 7);
    EXPECT_EQ(x, 0xFFu);
    EXPECT_EQ(i, 16);

    int width = 0, rest = 0;
    EXPECT_EQ(lswscanf(u"12345 6", u"%3d %d", &width, &rest), 2);
    // The width limits the conversion and the measure ("%3[^ ]"); the input
    // advances by the measured field plus one, so "4" is stepped over.
    EXPECT_EQ(width, 123);
    EXPECT_EQ(rest, 5);
}

TEST(WideScan, SingleFieldsStoreWhatTheCLibraryStores) {
    // The stored value of every one-directive format equals sscanf's own on
    // the same text, including overflow, prefixes, widths and partial numbers.
    const char* inputs[] = {
        "",
        " ",
        "0",
        "-0",
        "+",
        "-",
        "12",
        "-12",
        " \t 42x",
        "0x",
        "0x1f",
        "0X1G",
        "0xg",
        "08",
        "077",
        "9999999999",
        "-9999999999",
        "99999999999999999999999",
        "+-1",
        "1e5",
        "1.5",
        ".5",
        "-.5e-3",
        "1e",
        "1e+",
        "inf",
        "-nan",
        "0x1p3",
        "abc",
        "1,2",
        "  -0x10",
        "ff",
        "FFFFFFFF",
        "4294967296",
        "-2147483649",
        "1.7976931348623157e309",
        "4.9e-325",
        "00x1",
        "1.2.3",
        "+.e3",
        "123456789012345678901234567890123456789012345678901234567890123456789"};
    const char* formats[] = {"%d",  "%i",  "%x",  "%X",  "%o",  "%u",  "%hd", "%hu", "%ld",
                             "%lu", "%li", "%lx", "%3d", "%2x", "%1i", "%1d", "%2i", "%0d",
                             "%f",  "%lf", "%e",  "%lg", "%G",  "%5f", "%Lf"};
    for (const char* format : formats) {
        for (const char* input : inputs) {
            unsigned char expected[32], actual[32];
            std::memset(expected, 0x5A, sizeof expected);
            std::memset(actual, 0x5A, sizeof actual);
            std::sscanf(input, format, expected);
            std::u16string wideInput, wideFormat;
            for (const char* c = input; *c; ++c) wideInput += static_cast<char16_t>(*c);
            for (const char* c = format; *c; ++c) wideFormat += static_cast<char16_t>(*c);
            lswscanf(wideInput.c_str(), wideFormat.c_str(), actual);
            EXPECT_EQ(std::memcmp(expected, actual, sizeof expected), 0)
                << format << " on \"" << input << "\"";
        }
    }
}

// ---- Strings and characters ----------------------------------------------------

TEST(WideScan, WideStringTargets) {
    WideTarget a, b;
    EXPECT_EQ(lswscanf(u"abc def", u"%s", a.text), 1);
    EXPECT_EQ(a.Str(), u"abc");
    a.Reset();
    EXPECT_EQ(lswscanf(u"abc def", u"%s %s", a.text, b.text), 2);
    EXPECT_EQ(a.Str(), u"abc");
    EXPECT_EQ(b.Str(), u"def");

    a.Reset();
    EXPECT_EQ(lswscanf(u"xyz", u"%c", a.text), 1);
    EXPECT_EQ(a.Str(), u"x");  // a one-character wide string

    a.Reset();
    EXPECT_EQ(lswscanf(u"ab12cd", u"%[a-z]", a.text), 1);
    EXPECT_EQ(a.Str(), u"ab");

    a.Reset();
    EXPECT_EQ(lswscanf(u"\u00E9t\u00E9 x", u"%s", a.text), 1);
    EXPECT_EQ(a.Str(), u"\u00E9t\u00E9");  // Latin-1 survives the round trip
}

TEST(WideScan, FailedWideConversionLeavesTheTargetUntouched) {
    WideTarget a;
    EXPECT_EQ(lswscanf(u"   ", u"%s", a.text), -1);
    EXPECT_TRUE(a.Untouched());
    EXPECT_EQ(lswscanf(u"123", u"%[a-z]", a.text), 0);
    EXPECT_TRUE(a.Untouched());
}

TEST(WideScan, NarrowStringAndCharacterTargets) {
    char narrow[64];
    std::memset(narrow, '#', sizeof narrow);
    EXPECT_EQ(lswscanf(u"abc", u"%S", narrow), 1);
    EXPECT_STREQ(narrow, "abc");

    char c[2] = {'#', '#'};
    EXPECT_EQ(lswscanf(u"q", u"%C", c), 1);
    EXPECT_EQ(c[0], 'q');
    EXPECT_EQ(c[1], '#');  // one byte, no terminator

    // With a width the C library stores narrow text itself.
    std::memset(narrow, '#', sizeof narrow);
    EXPECT_EQ(lswscanf(u"abcdef", u"%3s", narrow), 1);
    EXPECT_STREQ(narrow, "abc");
    // "%hs" measures like "%S" and is stored by the C library (narrow).
    std::memset(narrow, '#', sizeof narrow);
    EXPECT_EQ(lswscanf(u"word", u"%hs", narrow), 1);
    EXPECT_STREQ(narrow, "word");
}

// ---- Narrowing and delimiters ---------------------------------------------------

TEST(WideScan, UnitsFromU00FFBecomeSpaces) {
    WideTarget a;
    EXPECT_EQ(lswscanf(u"ab\u0100c", u"%s", a.text), 1);
    EXPECT_EQ(a.Str(), u"ab");
    a.Reset();
    EXPECT_EQ(lswscanf(u"ab\u00FFc", u"%s", a.text), 1);  // unlike UnicodeToAscii
    EXPECT_EQ(a.Str(), u"ab");
    a.Reset();
    EXPECT_EQ(lswscanf(u"ab\u00FEc", u"%s", a.text), 1);
    EXPECT_EQ(a.Str(), u"ab\u00FEc");
}

TEST(WideScan, NonAsciiDelimiterWorksLikeAnAsciiOne) {
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(u"1\u00A72", u"%d\u00A7%d", &a, &b), 2);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    // Leading delimiters are collapsed before their own piece only: the second
    // piece measures up to a space, so its field is "§2", which converts nothing.
    a = b = -9;
    EXPECT_EQ(lswscanf(u"\u00A7\u00A71\u00A7\u00A72", u"%d\u00A7%d", &a, &b), 2);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -9);
    // The substitute byte is turned back: the rest of the input is intact.
    WideTarget rest;
    a = -9;
    EXPECT_EQ(lswscanf(u"4\u00A7x\u00A7y", u"%d\u00A7%s", &a, rest.text), 2);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(rest.Str(), u"x\u00A7y");
}

TEST(WideScan, NonAsciiDelimiterWithLowBytesInTheInput) {
    // Bytes 1..9 occur in the input, so the substitute is 10 (a line feed).
    int a = -9;
    std::u16string control;
    for (char16_t c = 1; c <= 9; ++c) control += c;
    const std::u16string text = u"7\u00B6" + control;
    WideTarget rest;
    EXPECT_EQ(lswscanf(text.c_str(), u"%d\u00B6%[^\u00B6]", &a, rest.text), 2);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(rest.Str(), control);
}

TEST(WideScan, EveryAsciiValuePresentMeansNoSubstitution) {
    std::u16string text = u"5\u00A76 ";
    for (char16_t c = 1; c <= 126; ++c) text += c;
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(text.c_str(), u"%d\u00A7%d", &a, &b), 2);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 6);
}

// ---- Work-area limits -------------------------------------------------------------

TEST(WideScan, FieldLongerThan255IsMeasuredAsItsFirst255) {
    const std::u16string word(300, u'a');
    const std::u16string text = word + u" b";
    WideTarget first, second;
    EXPECT_EQ(lswscanf(text.c_str(), u"%s %s", first.text, second.text), 2);
    EXPECT_EQ(first.Str(), word);                       // the conversion takes all of it
    EXPECT_EQ(second.Str(), std::u16string(44, u'a'));  // the advance was 256

    int a = -9, b = -9;
    const std::u16string digits = std::u16string(400, u'1') + u",2";
    EXPECT_EQ(lswscanf(digits.c_str(), u"%d,%d", &a, &b), 2);
}

TEST(WideScan, PieceLongerThan255IsCut) {
    std::u16string format = u"%d,";
    format.append(300, u' ');
    format += u"%d";
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(u"4,5", format.c_str(), &a, &b), 2);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 5);
}

// ---- Formats outside the usual shapes ---------------------------------------------

TEST(WideScan, PathologicalFormatsTerminate) {
    int t[8] = {-9, -9, -9, -9, -9, -9, -9, -9};
    EXPECT_EQ(lswscanf(u"1 2", u"%", &t[0]), 0);
    EXPECT_EQ(lswscanf(u"1 2", u"%%%", &t[0]), 0);
    EXPECT_EQ(lswscanf(u"abc", u"%[", &t[0]), 0);
    // "%[%]" is two directives; "%]" measures like "%[^ ]".
    EXPECT_EQ(lswscanf(u"abc", u"%[%]", &t[0], &t[1]), 1);
    EXPECT_EQ(lswscanf(u"", u"%5", &t[0]), 0);
    // A literal-first piece "%%%%" takes t[0]; "%d%" then stores into t[1].
    EXPECT_EQ(lswscanf(u"12", u"%%%%%d%", &t[0], &t[1]), 1);
    EXPECT_EQ(t[0], -9);
    EXPECT_EQ(t[1], 2);
}

TEST(WideScan, LiteralFirstFormatTakesATargetForTheLiteral) {
    // The literal "x=" is the first piece: it takes `a` and converts nothing;
    // the directive's own piece is never reached.
    int a = -9, b = -9;
    lswscanf(u"x=3", u"x=%d", &a, &b);
    EXPECT_EQ(a, -9);
    EXPECT_EQ(b, -9);
}

TEST(WideScan, SuppressedFieldTakesATargetAndStoresNothing) {
    int a = -9, b = -9;
    EXPECT_EQ(lswscanf(u"1 2", u"%*d %d", &a, &b), 1);
    EXPECT_EQ(a, -9);
    EXPECT_EQ(b, 2);  // the suppressed measure advanced one character only
}

TEST(WideScan, CountAndPointerPiecesGoToTheCLibrary) {
    int n = -9;
    EXPECT_EQ(lswscanf(u"abc", u"%n", &n), 0);
    EXPECT_EQ(n, 0);
}

TEST(WideScan, AllocatingAndPositionalFormsAreNeutralised) {
    // "%m" would have the C library allocate: it is scanned as suppressed.
    char* allocated = nullptr;
    EXPECT_EQ(lswscanf(u"abc def", u"%ms", &allocated), 0);
    EXPECT_EQ(allocated, nullptr);
    // A positional prefix is dropped: only the one target exists.
    int a = -9;
    EXPECT_EQ(lswscanf(u"42", u"%2$d", &a), 1);
    EXPECT_EQ(a, 42);
    // Its measuring format "%1$[^%]%9" ends in an incomplete directive,
    // which is cut off like everything sscanf would stop at.
    a = -9;
    EXPECT_EQ(lswscanf(u"5%9", u"%1$d%%9", &a), 1);
    EXPECT_EQ(a, 5);
}

TEST(WideScan, SubstitutionNeverGivesAPieceASecondTarget) {
    // The delimiter U+00A7 becomes "%" (bytes 1..36 all occur in the input),
    // which would turn the piece "%d§%%s" into "%d%%%s" with two fields.
    std::u16string text = u"3\u00A7";
    for (char16_t c = 1; c <= 36; ++c) text += c;
    int a = -9;
    EXPECT_EQ(lswscanf(text.c_str(), u"%d\u00A7%%s", &a), 1);
    EXPECT_EQ(a, 3);
}
