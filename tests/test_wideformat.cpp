// Formatted wide output: lswprintf / lvswprintf and the bounded internal entry point.
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../Src/WideTextInternal.h"

namespace {

constexpr size_t kBufferUnits = 70000;  // room for the largest field

// Formats into a buffer prefilled with '#' and returns the text before the
// terminator; `untouched` reports whether the buffer kept its fill.
struct Formatted {
    std::vector<char16_t> buffer = std::vector<char16_t>(kBufferUnits, u'#');
    std::u16string Text() const { return std::u16string(buffer.data()); }
    bool Untouched() const {
        for (char16_t c : buffer) {
            if (c != u'#') return false;
        }
        return true;
    }
};

template <typename... Args>
std::u16string Fmt(const char16_t* format, Args... args) {
    static std::vector<char16_t> buffer(kBufferUnits);
    buffer[0] = 0;  // an empty format leaves the buffer as it is
    EXPECT_EQ(lswprintf(buffer.data(), format, args...), 0);
    return std::u16string(buffer.data());
}

std::u16string Widen(const std::string& s) {
    std::u16string w;
    for (unsigned char c : s) w += static_cast<char16_t>(c);
    return w;
}

// The C library's own text for one directive.
template <typename T>
std::u16string Snprintf(const char* directive, T value) {
    char text[512];
    std::snprintf(text, sizeof text, directive, value);
    return Widen(text);
}

std::u16string WideOf(const char* ascii) {
    return Widen(ascii);
}

int BoundedFormat(char16_t* buffer, unsigned capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = UTL::detail::lvsnwprintf(buffer, capacity, format, args);
    va_end(args);
    return result;
}

// Records every message it accepts.
class RecordingSink : public UTL::LogSinkI {
public:
    struct Entry {
        std::string file;
        int line;
        unsigned long mask;
        std::string text;
    };
    explicit RecordingSink(std::vector<Entry>* entries) : entries_(entries) {}
    void LogMessage(const char* file, int line, unsigned long mask,
                    const char* text) const override {
        entries_->push_back({file, line, mask, text});
    }

private:
    std::vector<Entry>* entries_;
};

// Registers a recording sink for the lifetime of the fixture.
class WideFormatLog : public ::testing::Test {
protected:
    void SetUp() override {
        sink_ = new RecordingSink(&entries_);
        ASSERT_TRUE(UTL::LogManagementC::AddSink(sink_));
    }
    void TearDown() override { EXPECT_TRUE(UTL::LogManagementC::RemoveSink(sink_, true)); }

    void ExpectRangeMessages() {
        ASSERT_EQ(entries_.size(), 2u);
        EXPECT_EQ(entries_[0].file, "..\\..\\Src\\CStringmodul");
        EXPECT_EQ(entries_[0].line, 1396);
        EXPECT_EQ(entries_[0].mask, UTL::LogSinkI::LOG_DevMessage);
        EXPECT_EQ(entries_[0].text, "lvswprintf\n");
        EXPECT_EQ(entries_[1].file, "..\\..\\Src\\CStringmodul");
        EXPECT_EQ(entries_[1].line, 1397);
        EXPECT_EQ(entries_[1].mask, UTL::LogSinkI::LOG_DevMessage);
        EXPECT_EQ(entries_[1].text, "double value to huge!\n");
    }

    std::vector<RecordingSink::Entry> entries_;
    RecordingSink* sink_ = nullptr;
};

}  // namespace

// ---- Literal text and the main loop -------------------------------------------

TEST(WideFormat, NullOrEmptyFormatLeavesBufferUntouched) {
    Formatted f;
    EXPECT_EQ(lswprintf(f.buffer.data(), nullptr), 0);
    EXPECT_TRUE(f.Untouched());
    EXPECT_EQ(lswprintf(f.buffer.data(), u""), 0);
    EXPECT_TRUE(f.Untouched());
}

TEST(WideFormat, LiteralTextIsCopiedWithTerminator) {
    Formatted f;
    EXPECT_EQ(lswprintf(f.buffer.data(), u"abc"), 0);
    EXPECT_EQ(f.buffer[3], 0);
    EXPECT_EQ(f.buffer[4], u'#');  // nothing written past the terminator
    EXPECT_EQ(f.Text(), u"abc");
    EXPECT_EQ(Fmt(u"\u263A x \uFFFF"), u"\u263A x \uFFFF");  // non-Latin-1 literals kept
}

TEST(WideFormat, PercentPairsAndLonePercent) {
    EXPECT_EQ(Fmt(u"%%"), u"%");
    EXPECT_EQ(Fmt(u"100%% of %d", 5), u"100% of 5");
    EXPECT_EQ(Fmt(u"abc%"), u"abc");
    EXPECT_EQ(Fmt(u"%"), u"");
}

// ---- Fast directives ---------------------------------------------------------

TEST(WideFormat, FastStringDirectives) {
    EXPECT_EQ(Fmt(u"[%s]", u"x"), u"[x]");
    EXPECT_EQ(Fmt(u"[%S]", "x"), u"[x]");
    EXPECT_EQ(Fmt(u"%s", u"\u263A\u00E9"), u"\u263A\u00E9");
    EXPECT_EQ(Fmt(u"%S", "\xE9\xFF"), u"\u00E9\u00FF");  // bytes widen zero-extended
    // Null strings print as nothing and still take their argument.
    EXPECT_EQ(Fmt(u"[%s|%S|%d]", static_cast<const char16_t*>(nullptr),
                  static_cast<const char*>(nullptr), 7),
              u"[||7]");
}

TEST(WideFormat, FastCharacterDirectives) {
    EXPECT_EQ(Fmt(u"%c", 0x263A), u"\u263A");
    EXPECT_EQ(Fmt(u"%c", 0x1263A), u"\u263A");  // low 16 bits
    EXPECT_EQ(Fmt(u"%C", 0x41), u"A");
    EXPECT_EQ(Fmt(u"%C", 0xE9), u"\uFFE9");  // sign-extended byte
    EXPECT_EQ(Fmt(u"%C", 0x80), u"\uFF80");
    EXPECT_EQ(Fmt(u"%C", 0x17F), u"\u007F");
}

TEST(WideFormat, ZeroCodeUnitEndsTheResult) {
    Formatted f;
    EXPECT_EQ(lswprintf(f.buffer.data(), u"a%cb%d", 0, 5), 0);
    EXPECT_EQ(f.Text(), u"a");
    EXPECT_EQ(f.buffer[2], u'#');  // the copy stops at the first zero
    EXPECT_EQ(Fmt(u"x%Cy", 0x100), u"x");
}

// ---- General directives -----------------------------------------------------------

TEST(WideFormat, IntegersMatchTheCLibrary) {
    EXPECT_EQ(Fmt(u"%d|%5d|%-5d|%05d|%x", 42, 42, 42, 42, 255), u"42|   42|42   |00042|ff");
    for (const char* directive : {"%d", "%i", "%+d", "% d", "%-8d|", "%08d", "%.3d", "%8.3d", "%o",
                                  "%u", "%x", "%X", "%+.0d", "%-+5i"}) {
        for (int v : {0, 1, -1, 42, -42, INT_MAX, INT_MIN}) {
            EXPECT_EQ(Fmt(WideOf(directive).c_str(), v), Snprintf(directive, v))
                << directive << " " << v;
        }
    }
}

TEST(WideFormat, SizeLettersKeepTheIntSlotAndNameTheType) {
    // Each directive takes an int; "%l" forms show it as a 32-bit platform did.
    EXPECT_EQ(Fmt(u"%ld %lx %lu %lo", -1, -1, -1, 8), u"-1 ffffffff 4294967295 10");
    EXPECT_EQ(Fmt(u"%ld|%d", INT_MIN, 3), u"-2147483648|3");
    EXPECT_EQ(Fmt(u"%hd %hx %hu", 65537, -1, 70000), u"1 ffff 4464");
    // Arguments stay aligned across classes.
    EXPECT_EQ(Fmt(u"%ld %f %lx %s", 1, 2.5, 3, u"z"), u"1 2.500000 3 z");
}

TEST(WideFormat, DoublesMatchTheCLibrary) {
    for (const char* directive : {"%f", "%e", "%E", "%g", "%G", "%.2f", "%10.3f", "%-10.1e|", "%+g",
                                  "%08.2f", "%lf", "%.0f", "% .3e"}) {
        for (double v :
             {0.0, -0.0, 1.0, -2.5, 3.14159265358979, 1e-300, 123456789.125, 1e+50, -1e+50}) {
            EXPECT_EQ(Fmt(WideOf(directive).c_str(), v), Snprintf(directive, v))
                << directive << " " << v;
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Fmt(u"%f", nan), Snprintf("%f", nan));
    EXPECT_EQ(Fmt(u"%5.1f", 2.25), u"  2.2");  // the C library's rounding
}

TEST(WideFormat, PointerAndNarrowStringDirectives) {
    int object = 0;
    EXPECT_EQ(Fmt(u"%p", static_cast<void*>(&object)), Snprintf("%p", static_cast<void*>(&object)));
    EXPECT_EQ(Fmt(u"[%5S|%-4S|%.2S]", "ab", "cd", "efgh"), u"[   ab|cd  |ef]");
    // Size letters on "S" are dropped: the text is still narrow.
    EXPECT_EQ(Fmt(u"[%lS|%hS|%3lS]", "ab", "cd", "e"), u"[ab|cd|  e]");
    EXPECT_EQ(Fmt(u"[%3S]", static_cast<const char*>(nullptr)), u"[   ]");
}

TEST(WideFormat, CountDirectiveStoresZeroByItsSizeLetter) {
    int count = 99;
    short shortCount = 99;
    long longCount = 99;
    EXPECT_EQ(Fmt(u"abc%n|%hn|%ln|%d", &count, &shortCount, &longCount, 5), u"abc|||5");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(shortCount, 0);
    EXPECT_EQ(longCount, 0);
    EXPECT_EQ(Fmt(u"%n%d", static_cast<int*>(nullptr), 4), u"4");  // null target: no store
}

TEST(WideFormat, UnrecognisedDirectivesResumeAtTheFailingCharacter) {
    EXPECT_EQ(Fmt(u"%y"), u"y");
    EXPECT_EQ(Fmt(u"%#x", 5), u"#x");
    EXPECT_EQ(Fmt(u"%lld", 5), u"ld");
    EXPECT_EQ(Fmt(u"%5c|%d", 9), u"c|9");  // takes no argument
    EXPECT_EQ(Fmt(u"%Lf %F %a %I64d"), u"Lf F a I64d");
    EXPECT_EQ(Fmt(u"%-5lc"), u"c");
}

TEST(WideFormat, OverlongDirectiveTakesItsArgumentAndShowsItsTextLiterally) {
    // Ten characters after the "%": the extent is the bare "%", the argument
    // of the class is consumed, the rest is copied as text.
    EXPECT_EQ(Fmt(u"%123456789d|%d", 1, 2), u"123456789d|2");
    EXPECT_EQ(Fmt(u"%12345678ld|%d", 1, 2), u"12345678ld|2");
    EXPECT_EQ(Fmt(u"%12345678.f|%d", 1.0, 2), u"12345678.f|2");
    EXPECT_EQ(Fmt(u"%123456789s|%s", u"a", u"b"), u"123456789s|b");
    EXPECT_EQ(Fmt(u"%123456789%"), u"%123456789");  // the last "%" is lone
    // Eleven flag and width characters: unrecognised, the text resumes at the eleventh.
    EXPECT_EQ(Fmt(u"%12345678901d|%d", 2), u"1d|2");
    // Nine characters are still within the limit.
    EXPECT_EQ(Fmt(u"%12345678d", 1).size(), 99u);  // and cut to the narrow area
}

// The C library's text for `directive` with an int slot, by the type the
// directive names.
std::u16string SnprintfInt(const std::string& directive, int value) {
    const bool isLong = directive[directive.size() - 2] == 'l';
    const bool isSigned = directive.back() == 'd' || directive.back() == 'i';
    if (isLong && isSigned) return Snprintf(directive.c_str(), static_cast<long>(value));
    if (isLong) {
        return Snprintf(directive.c_str(),
                        static_cast<unsigned long>(static_cast<unsigned>(value)));
    }
    return Snprintf(directive.c_str(), value);
}

TEST(WideFormat, EveryFlagCombinationMatchesTheCLibrary) {
    // Integers and doubles over flag sets, widths and precisions that the
    // engine may convert itself rather than through the C library. "#" only
    // passes the classification in star mode (as the single rewritten flag).
    std::mt19937 random(12345);
    const char* flagSets[] = {"", "-", "+", " ", "0", "-0", "+0", " 0", "+ ", "-+0", "#"};
    const char* widths[] = {"", "1", "5", "12", "40", "99"};
    const char* precisions[] = {"", ".", ".0", ".1", ".3", ".17", ".60"};
    const int ints[] = {0, 1, -1, 7, -8, 255, 65535, 65536, -32768, INT_MAX, INT_MIN};
    const double doubles[] = {0.0,  -0.0,        0.5,        1.5,    2.5,   -2.5,
                              1e-7, 9.999999e-5, 123456.789, -1e+50, 1e+50, 5e-324,
                              0.1,  1.0 / 3,     999999.5,   9.5e22};
    const char* intTails[] = {"d", "i", "u", "o", "x", "X", "hd", "hu", "hx", "ld", "lu", "lx"};
    const char* doubleTails[] = {"f", "e", "E", "g", "G", "lf"};
    int checked = 0;
    for (const char* flags : flagSets) {
        const bool star = flags[0] == '#';
        for (const char* width : widths) {
            if (star && !*width) continue;  // "#" is rewritten only before a width
            for (const char* precision : precisions) {
                const std::string head = std::string("%") + flags + width + precision;
                // Outside star mode a directive counts at most 9 characters.
                const auto fits = [&](const std::string& d) { return star || d.size() <= 10; };
                const std::u16string suffix = star ? u"*" : u"";
                for (const char* tail : intTails) {
                    const std::string directive = head + tail;
                    if (!fits(directive)) continue;
                    const std::u16string format = WideOf(directive.c_str()) + suffix;
                    for (int v : ints) {
                        const int value = random() % 2 ? static_cast<int>(random()) : v;
                        ASSERT_EQ(Fmt(format.c_str(), value),
                                  SnprintfInt(directive, value).substr(0, 99) + suffix)
                            << directive << " " << value;
                        ++checked;
                    }
                }
                for (const char* tail : doubleTails) {
                    const std::string directive = head + tail;
                    if (!fits(directive)) continue;
                    const std::u16string format = WideOf(directive.c_str()) + suffix;
                    for (double v : doubles) {
                        const double value =
                            random() % 3 == 0 ? std::ldexp(static_cast<double>(random()),
                                                           static_cast<int>(random() % 200) - 100)
                                              : v;
                        ASSERT_EQ(Fmt(format.c_str(), value),
                                  Snprintf(directive.c_str(), value).substr(0, 99) + suffix)
                            << directive << " " << value;
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_GT(checked, 20000);
}

// ---- Star mode ---------------------------------------------------------------------

TEST(WideFormat, StarsTakeIntArgumentsBeforeTheValue) {
    EXPECT_EQ(Fmt(u"%*d", 5, 42), u"   42");
    EXPECT_EQ(Fmt(u"%-*d|", 5, 42), u"42   |");
    EXPECT_EQ(Fmt(u"%*d|", -5, 42), u"42   |");  // negative width: left-aligned
    EXPECT_EQ(Fmt(u"%.*f", 2, 3.14159), u"3.14");
    EXPECT_EQ(Fmt(u"%*.*f", 8, 3, 2.5), u"   2.500");
    EXPECT_EQ(Fmt(u"%0*d", 4, 7), u"0007");
    EXPECT_EQ(Fmt(u"%*s|", 4, u"ab"), u"  ab|");  // wide-string layout after the rewrite
    EXPECT_EQ(Fmt(u"%*S|", 4, "ab"), u"  ab|");
    EXPECT_EQ(Fmt(u"%.*%", 3), u"%");  // a star before "%" still takes its int
}

TEST(WideFormat, AnyStarSwitchesTheWholeCallToStarMode) {
    EXPECT_EQ(Fmt(u"%d*", 7), u"7*");
    // In star mode an unrecognised directive runs to the next conversion
    // character and shows nothing.
    // ("n" of "and" is the count conversion; "i" of "items" the integer one).
    EXPECT_EQ(Fmt(u"%y and %d*", 7), u"d 7*");
    EXPECT_EQ(Fmt(u"%y*"), u"");
    EXPECT_EQ(Fmt(u"%5c items %d*", 3), u"tems 3*");
    // A "%" ends the extent too; the "d" after it is then plain text.
    EXPECT_EQ(Fmt(u"%y|%d*", 7), u"d*");
    // Outside star mode the same text resumes at the failing character.
    EXPECT_EQ(Fmt(u"%y and %d", 7), u"y and 7");
    // Fast directives are not affected.
    EXPECT_EQ(Fmt(u"%s%c*", u"ab", 0x41), u"abA*");
}

TEST(WideFormat, StarModePassesOddShapesOnUnchanged) {
    // Two flags: not rewritten, the class from the classification stays.
    EXPECT_EQ(Fmt(u"%+-5d|*", 3), Snprintf("%+-5d", 3) + u"|*");
    // A star the rewrite does not reach stays unexpanded: nothing is shown and
    // no argument is taken.
    EXPECT_EQ(Fmt(u"%5*d|%d", 8), u"|8");
    EXPECT_EQ(Fmt(u"%#*x", 6, 255), u"  0xff");
}

TEST(WideFormat, StarValuesAreWrittenInDecimal) {
    EXPECT_EQ(Fmt(u"%*d|", INT_MIN + 1, 1).size(), 99u + 1u);  // cut to the narrow area
    EXPECT_EQ(Fmt(u"%*d|", INT_MAX, 1), std::u16string(99, u' ') + u"|");
    EXPECT_EQ(Fmt(u"%.*d", 5, 42), u"00042");
    EXPECT_EQ(Fmt(u"%*d", 0, 42), u"42");
}

// ---- Wide-string field layout --------------------------------------------------------

TEST(WideFormat, WideStringFieldLayout) {
    EXPECT_EQ(Fmt(u"%10s", u"abc"), u"       abc");
    EXPECT_EQ(Fmt(u"%-6s|", u"abc"), u"abc   |");
    EXPECT_EQ(Fmt(u"%3s", u"abcdef"), u"def");
    EXPECT_EQ(Fmt(u"%-3s", u"abcdef"), u"abc");
    EXPECT_EQ(Fmt(u"%6.2s", u"abcdef"), u"    ab");
    EXPECT_EQ(Fmt(u"%-6.2s|", u"abcdef"), u"ab    |");
    EXPECT_EQ(Fmt(u"%.2s", u"abcdef"), u"ef");  // width 2, no precision
    EXPECT_EQ(Fmt(u"%010s", u"ab"), u"        ab");
    EXPECT_EQ(Fmt(u"% 4s", u"ab"), u"  ab");
    EXPECT_EQ(Fmt(u"%4.-1s", u"abc"), u"   a");  // a negative precision counts as positive
    EXPECT_EQ(Fmt(u"%5s", u"\u263A"), u"    \u263A");
    EXPECT_EQ(Fmt(u"%-3s|", static_cast<const char16_t*>(nullptr)), u"   |");
}

TEST(WideFormat, ZeroWidthFieldsShowNothingButTakeTheirArgument) {
    EXPECT_EQ(Fmt(u"%ls%s", u"a", u"b"), u"b");
    EXPECT_EQ(Fmt(u"%hs%s", u"a", u"b"), u"b");
    EXPECT_EQ(Fmt(u"%0s%s", u"a", u"b"), u"b");
}

TEST(WideFormat, HugeFieldWidthIsLimited) {
    // Star widths are not bounded by the classification; the field is.
    const std::u16string text = Fmt(u"%*s", 1000000, u"x");
    EXPECT_EQ(text.size(), 65535u);
    EXPECT_EQ(text.back(), u'x');
    EXPECT_EQ(Fmt(u"%*s|", INT_MIN, u"x").size(), 65536u);
}

// ---- Fixed work areas ------------------------------------------------------------

TEST(WideFormat, NarrowTextIsCutAt99Characters) {
    const std::u16string big = Fmt(u"%.99f", 1e+50);
    EXPECT_EQ(big.size(), 99u);
    EXPECT_EQ(big, Snprintf("%.99f", 1e+50).substr(0, 99));
    EXPECT_EQ(Fmt(u"%120d|", 1).size(), 100u);
    EXPECT_EQ(Fmt(u"%150S|", "x").size(), 100u);
}

TEST(WideFormat, HugeWidthsAndPrecisionsKeepTheFirst99Characters) {
    // Beyond the narrow area they cannot change what is shown, so they are
    // limited before the C library sees them (no huge work space, no delay).
    const struct {
        const char16_t* wide;
        const char* narrow;
    } cases[] = {
        {u"%.*f", "%.5000f"}, {u"%.*e", "%.5000e"}, {u"%#1.*g", "%#1.5000g"}, {u"%.*g", "%.5000g"}};
    for (const auto& c : cases) {
        for (double v : {1e-320, 1.0 / 3, -1e+50, 2.5e-7}) {
            EXPECT_EQ(Fmt(c.wide, 5000, v), Snprintf(c.narrow, v).substr(0, 99)) << c.narrow;
            EXPECT_EQ(Fmt(c.wide, 1000000000, v), Snprintf(c.narrow, v).substr(0, 99)) << c.narrow;
        }
    }
    EXPECT_EQ(Fmt(u"%.*d", 1000000000, -7), u"-" + std::u16string(98, u'0'));
    EXPECT_EQ(Fmt(u"%#1.*x", 1000000000, 255), u"0x" + std::u16string(97, u'0'));
    EXPECT_EQ(Fmt(u"%-*.*f|", 1000000000, 1, 2.0), u"2.0" + std::u16string(96, u' ') + u"|");
    EXPECT_EQ(Fmt(u"%0*d", 1000000000, -3), u"-" + std::u16string(98, u'0'));
    EXPECT_EQ(Fmt(u"%*p", 1000000000, nullptr), std::u16string(99, u' '));
    // A narrow string longer than the usual limit still shows its padding.
    const std::string longText(5000, 'z');
    EXPECT_EQ(Fmt(u"%*S", 5050, longText.c_str()),
              std::u16string(50, u' ') + std::u16string(49, u'z'));
    EXPECT_EQ(Fmt(u"%*S", 1000000000, longText.c_str()), std::u16string(99, u' '));
    EXPECT_EQ(Fmt(u"%-*.*S", 1000000000, 1000000000, "ab"), u"ab" + std::u16string(97, u' '));
    // A large precision on a long narrow text still decides the padding.
    EXPECT_EQ(Fmt(u"%*.*S", 5030, 4990, longText.c_str()),
              std::u16string(40, u' ') + std::u16string(59, u'z'));
}

TEST(WideFormat, StarDirectiveBeyondTheRewriteAreaShowsNothing) {
    // 60 zero flags: the rewritten directive is cut before its conversion
    // character; the argument is still consumed.
    std::u16string format = u"%";
    format.append(60, u'0');
    format += u"d|%d*";
    EXPECT_EQ(Fmt(format.c_str(), 1, 2), u"|2*");
    // A long directive text (over 99 characters) in star mode.
    std::u16string longText = u"%-";
    longText.append(200, u'w');  // not a conversion character
    longText += u"d|%d*";
    EXPECT_EQ(Fmt(longText.c_str(), 5), u"|5*");
}

TEST(WideFormat, BoundedEntryCutsTheResult) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    BoundedFormat(buffer, 4, u"%s-%d", u"abcdef", 12);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(buffer[4], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    BoundedFormat(buffer, 1, u"xyz");
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    BoundedFormat(buffer, 0, u"xyz");
    EXPECT_EQ(buffer[0], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    BoundedFormat(buffer, 8, u"%d", 1234567);
    EXPECT_EQ(std::u16string(buffer), u"1234567");
    BoundedFormat(buffer, 8, u"%d", 12345678);
    EXPECT_EQ(std::u16string(buffer), u"1234567");
}

TEST(WideFormat, BoundedEntryKeepsTheArgumentsAligned) {
    // Everything after the cut is still read: the last string is not shown
    // but the count directive after it gets its pointer.
    char16_t buffer[4];
    int count = 7;
    BoundedFormat(buffer, 4, u"%s%f%n", u"abcdef", 2.0, &count);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(count, 0);
}

// ---- The double range check -----------------------------------------------------------

TEST_F(WideFormatLog, DoublesWithinTheBoundsAreFormattedWithoutMessages) {
    EXPECT_EQ(Fmt(u"%.0e", 1e+50), u"1e+50");
    EXPECT_EQ(Fmt(u"%.0e", -1e+50), u"-1e+50");
    EXPECT_EQ(Fmt(u"%f", std::nan("")), Snprintf("%f", std::nan("")));
    EXPECT_TRUE(entries_.empty());
}

TEST_F(WideFormatLog, OutOfRangeDoubleLeavesBufferUntouchedAndLogsTwice) {
    for (double v : {2e+50, -2e+50, std::nextafter(1e+50, 1e+51), HUGE_VAL, -HUGE_VAL}) {
        entries_.clear();
        Formatted f;
        EXPECT_EQ(lswprintf(f.buffer.data(), u"abc %d %f", 1, v), 0);
        EXPECT_TRUE(f.Untouched()) << v;
        ExpectRangeMessages();
    }
}

TEST_F(WideFormatLog, RangeFailureStopsReadingArguments) {
    // The count directive after the failing double is never reached.
    int count = 7;
    Formatted f;
    lswprintf(f.buffer.data(), u"%*d %f %n*", 3, 1, 1e300, &count);
    EXPECT_TRUE(f.Untouched());
    EXPECT_EQ(count, 7);
    ExpectRangeMessages();
}

TEST_F(WideFormatLog, BoundedEntryFailsTheSameWay) {
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    BoundedFormat(buffer, 4, u"x%g", 1e51);
    EXPECT_EQ(buffer[0], u'#');
    ExpectRangeMessages();
}
