// Formatted wide input: lswscanf / lvswscanf.
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Two int targets prefilled with -9, the result and both values in one text.
std::string ScanTwo(const char16_t* input, const char16_t* format) {
    int a = -9, b = -9;
    const int result = lswscanf(input, format, &a, &b);
    return std::to_string(result) + ":" + std::to_string(a) + "," + std::to_string(b);
}

struct WideTarget {
    char16_t text[1024];
    WideTarget() { std::fill(std::begin(text), std::end(text) - 1, u'#'), text[1023] = 0; }
    std::u16string Str() const { return text; }
};

const auto Widen = [](const char* a) { return std::u16string(a, a + std::strlen(a)); };

}  // namespace

TEST(WideScan, RunningResultAndDelimiters) {
    const struct {
        const char16_t *input, *format;
        const char* expected;
    } rows[] = {
        {u"12   34", u"%d %d", "2:12,34"},
        {u"1", u"%d,%d", "1:1,-9"},   // the advance steps over the end
        {u"1,", u"%d,%d", "0:1,-9"},  // 1 + (-1): measured at the end
        {u"", u"%d", "-1:-9,-9"},
        {nullptr, u"%d", "-1:-9,-9"},   // a null input reads as empty
        {u"abc", u"%d", "1:-9,-9"},     // measured but not converted
        {u";5;7", u"%d;%d", "2:5,7"},   // an empty field advances one character
        {u"1,,3", u"%d,%d", "2:1,-9"},  // the last field text is ",3"
        {u",2", u"%d,%d", "1:2,-9"},    // a leading delimiter is skipped
        {u"5% 6", u"%d%% %d", "2:5,6"},
        {u"%7", u"%%%d", "0:-9,-9"},  // a leading pair ends the first piece: "%d" is not reached
        {u"%%", u"%%%%", "0:-9,-9"},
        {u"12345 6", u"%3d %d", "2:123,5"},  // advance: measured field plus one
        {u"1 2", u"%*d %d", "1:-9,2"},       // the suppressed field takes a target
        {u"abc", nullptr, "0:-9,-9"},
        {u"x=3", u"x=%d", "0:-9,-9"},           // the literal piece takes `a`, converts nothing
        {u"42", u"%2$d", "1:42,-9"},            // positional prefixes are dropped
        {u"1\u00A72", u"%d\u00A7%d", "2:1,2"},  // a non-ASCII delimiter
        {u"\u00A7\u00A71\u00A7\u00A72", u"%d\u00A7%d", "2:1,-9"},
        {u"1;2", u"%d,%d", "1:1,-9"},    // literal mismatch: one field up to the end
        {u"12,-", u"%d,%d", "2:12,-9"},  // the input ends inside a field
        {u"7,0x", u"%d,%x", "2:7,0"},    // "0x" alone is the number 0
        {u"^^5^6", u"%1d^%d", "2:5,6"},  // a width makes "^" the skipped character
        {u"[[5", u"%12d", "1:5,-9"},     // and two width digits "["
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(ScanTwo(rows[i].input, rows[i].format), rows[i].expected) << "row " << i;
    const std::u16string digits = std::u16string(400, u'1') + u",2";
    const std::u16string longPiece = u"%d," + std::u16string(300, u' ') + u"%d";  // cut at 255
    // Both fields overflow: each stores what the C library stores for one
    // (-1 where long has 64 bits, INT_MAX where it has 32).
    int overflowed = 0;
    ASSERT_EQ(std::sscanf(std::string(400, '1').c_str(), "%d", &overflowed), 1);
    const std::string both = std::to_string(overflowed);
    EXPECT_EQ(ScanTwo(digits.c_str(), u"%d,%d"), "2:" + both + "," + both);
    EXPECT_EQ(ScanTwo(u"4,5", longPiece.c_str()), "2:4,5");
    int n = -9;
    char* allocated = nullptr;  // "%m" would have the C library allocate: scanned as suppressed
    const char16_t* count = u"%n";  // unchecked: "%n" is refused in a literal
    EXPECT_EQ(lswscanf(u"abc", count, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(lswscanf(u"abc def", u"%ms", &allocated), 0);
    EXPECT_EQ(allocated, nullptr);
}

TEST(WideScan, SingleFieldsStoreWhatTheCLibraryStores) {
    const std::string zeros(70, '0');  // longer than any digit buffer
    const std::vector<std::string> inputs = {
        // Empty, blanks and signs.
        "", " ", "-", "-0", "+", "+-1", " \t 42x", "\t-7,",
        // Bases and prefixes.
        "0x", "-0x", "0xg", "+0x1A", "0x1f", "0X1G", "08", "077", "0x" + zeros + "f",
        // Floating-point forms, ending early or not decimal.
        "1e5", "-.5e-3", ".5", "5.", "1,5", "1e", "1.5e+", "+.e3", "inf", "-nan", "NaN(12)",
        "infinity", "0x1p3", "-" + zeros + ".5",
        // At and beyond the limits.
        "FFFFFFFF", "4294967296", "-9999999999", "9223372036854775807", "9223372036854775808",
        "-9223372036854775809", "18446744073709551615", "18446744073709551616",
        "-18446744073709551616", "123456789012345678901", zeros + "1", "2e308", "-1e-400",
        "4.9e-325", "1.17549435e-38"};
    const char* formats[] = {"%d",  "%i",  "%x",  "%X",   "%o",    "%u",  "%hd", "%hi",
                             "%hu", "%hx", "%ld", "%li",  "%lu",   "%lo", "%lx", "%3d",
                             "%2x", "%1i", "%2i", "%99d", "%12lu", "%0d", "%f",  "%lf",
                             "%e",  "%G",  "%lg", "%lE",  "%5f",   "%hf", "%Lf"};
    for (const char* format : formats) {
        for (const std::string& input : inputs) {
            unsigned char expected[32], actual[32];
            std::memset(expected, 0x5A, sizeof expected);
            std::memset(actual, 0x5A, sizeof actual);
            std::sscanf(input.c_str(), format, expected);
            lswscanf(Widen(input.c_str()).c_str(), Widen(format).c_str(), actual);
            EXPECT_EQ(std::memcmp(expected, actual, sizeof expected), 0)
                << format << " on " << input;
        }
    }
}

TEST(WideScan, FloatingFieldsFollowTheRoundingMode) {
    std::fesetround(FE_UPWARD);  // strtod rounds by the current mode
    for (const char* input : {"0.1", "-0.1", "1e-40", "3.4028235e38", "2.5e-324"}) {
        float expectedFloat = 0, actualFloat = 0;
        double expectedDouble = 0, actualDouble = 0;
        std::sscanf(input, "%f", &expectedFloat);
        std::sscanf(input, "%lf", &expectedDouble);
        lswscanf(Widen(input).c_str(), u"%f", &actualFloat);
        lswscanf(Widen(input).c_str(), u"%lf", &actualDouble);
        EXPECT_EQ(std::memcmp(&expectedFloat, &actualFloat, sizeof actualFloat), 0) << input;
        EXPECT_EQ(std::memcmp(&expectedDouble, &actualDouble, sizeof actualDouble), 0) << input;
    }
    std::fesetround(FE_TONEAREST);
}

TEST(WideScan, StringAndCharacterTargets) {
    WideTarget a, b, c, d, e, f;
    EXPECT_EQ(lswscanf(u"abc def", u"%s %s", a.text, b.text), 2);
    EXPECT_EQ(a.Str(), u"abc");
    EXPECT_EQ(b.Str(), u"def");
    EXPECT_EQ(lswscanf(u"xyz", u"%c", c.text), 1);
    EXPECT_EQ(c.Str(), u"x");  // "%c" stores a one-character wide string
    EXPECT_EQ(lswscanf(u"ab12", u"%[a-z]", d.text), 1);
    EXPECT_EQ(d.Str(), u"ab");
    // Units from U+0100 (and U+00FF) become spaces in the narrowed text.
    EXPECT_EQ(lswscanf(u"\u00E9\u00FE\u00FFc", u"%s", e.text), 1);
    EXPECT_EQ(e.Str(), u"\u00E9\u00FE");
    EXPECT_EQ(lswscanf(u"ab\u0100c", u"%s", f.text), 1);
    EXPECT_EQ(f.Str(), u"ab");

    WideTarget untouched;
    EXPECT_EQ(lswscanf(u"   ", u"%s", untouched.text), -1);
    EXPECT_EQ(lswscanf(u"123", u"%[a-z]", untouched.text), 0);
    EXPECT_EQ(untouched.text[0], u'#');

    char narrow[3][16] = {};
    char byte[2] = {'#', '#'};
    // With a width the C library stores the narrow text; "%C" stores one byte, no terminator.
    EXPECT_EQ(lswscanf(u"abc", u"%S", narrow[0]), 1);
    EXPECT_STREQ(narrow[0], "abc");
    EXPECT_EQ(lswscanf(u"abcdef", u"%3s", narrow[1]), 1);
    EXPECT_STREQ(narrow[1], "abc");
    EXPECT_EQ(lswscanf(u"word", u"%hs", narrow[2]), 1);
    EXPECT_STREQ(narrow[2], "word");
    EXPECT_EQ(lswscanf(u"q", u"%C", byte), 1);
    EXPECT_EQ(std::string(byte, 2), "q#");

    float fl = 0;
    double db = 0;
    EXPECT_EQ(lswscanf(u"1.5;2.25", u"%f;%lf", &fl, &db), 2);
    EXPECT_EQ(fl, 1.5f);
    EXPECT_EQ(db, 2.25);

    // A field over 255 units converts whole but is measured (and skipped) as 256.
    const std::u16string word(300, u'a');
    EXPECT_EQ(lswscanf((word + u" b").c_str(), u"%s %s", e.text, f.text), 2);
    EXPECT_EQ(e.Str(), word);
    EXPECT_EQ(f.Str(), std::u16string(44, u'a'));
}

TEST(WideScan, NonAsciiDelimiterSubstitution) {
    WideTarget rest;
    int a = -9;
    EXPECT_EQ(lswscanf(u"4\u00A7x\u00A7y", u"%d\u00A7%s", &a, rest.text), 2);
    EXPECT_EQ(rest.Str(), u"x\u00A7y");  // the substitute is turned back
    // Bytes 1..9 occur in the input, so the substitute is a line feed.
    std::u16string control;
    for (char16_t c = 1; c <= 9; ++c) control += c;
    WideTarget low;
    EXPECT_EQ(lswscanf((u"7\u00B6" + control).c_str(), u"%d\u00B6%[^\u00B6]", &a, low.text), 2);
    EXPECT_EQ(low.Str(), control);
    // Bytes 1..36 all occur: the substitute "%" never gives a piece a second target.
    std::u16string text = u"3\u00A7";
    for (char16_t c = 1; c <= 36; ++c) text += c;
    EXPECT_EQ(lswscanf(text.c_str(), u"%d\u00A7%%s", &a), 1);
    // Every ASCII value present: no substitution at all.
    for (char16_t c = 37; c <= 126; ++c) text += c;
    EXPECT_EQ(ScanTwo((u"5\u00A76 " + text).c_str(), u"%d\u00A7%d"), "2:5,6");
}
