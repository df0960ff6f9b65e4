// Formatted wide output: lswprintf / lvswprintf and the bounded internal entry point.
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <cfenv>

#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Directive.h"
#include "WideTextInternal.h"

namespace {

using Rows = std::vector<std::pair<std::u16string, std::u16string>>;  // {result, expected}

void ExpectRows(const Rows& rows) {
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

template <typename... Args>
std::u16string Fmt(const char16_t* format, Args... args) {
    static std::vector<char16_t> buffer(70000);  // room for the largest field
    buffer[0] = 0;
    EXPECT_EQ(lswprintf(buffer.data(), format, args...), 0);
    return std::u16string(buffer.data());
}

using U16 = std::u16string;

const auto Widen = [](const std::string& ascii) { return U16(ascii.begin(), ascii.end()); };

template <typename T>
std::u16string Snprintf(const char* directive, T value) {
    char text[512];
    std::snprintf(text, sizeof text, directive, value);
    return Widen(text);
}

int Bounded(char16_t* buffer, unsigned capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = UTL::detail::lvsnwprintf(buffer, capacity, format, args);
    va_end(args);
    return result;
}

}  // namespace

TEST(WideFormat, EmptyFormatsAndLiteralText) {
    std::vector<char16_t> buffer(8, u'#');
    EXPECT_EQ(lswprintf(buffer.data(), nullptr), 0);
    EXPECT_EQ(lswprintf(buffer.data(), u""), 0);
    EXPECT_EQ(buffer, std::vector<char16_t>(8, u'#'));  // left untouched
    EXPECT_EQ(lswprintf(buffer.data(), u"abc"), 0);
    EXPECT_EQ(std::u16string(buffer.data()), u"abc");
    EXPECT_EQ(buffer[4], u'#');  // nothing past the terminator
    EXPECT_EQ(lswprintf(buffer.data(), u"a%cb%d", 0, 5), 0);
    EXPECT_EQ(U16(buffer.data(), 4), U16(u"a\0c\0", 4));  // a zero unit ends the copy
}

TEST(WideFormat, DirectivesShowTheirText) {
    const char16_t* noWide = nullptr;
    const char* noNarrow = nullptr;
    ExpectRows({
        {Fmt(u"\u263A x \uFFFF"), u"\u263A x \uFFFF"},
        {Fmt(u"100%% of %d, lone %", 5), u"100% of 5, lone "},
        // Fast directives; bytes of "%S" widen zero-extended, "%C" sign-extends.
        {Fmt(u"[%s|%S]", u"\u263A\u00E9", "\xE9\xFF"), u"[\u263A\u00E9|\u00E9\u00FF]"},
        {Fmt(u"%c%c%C%C%C%C", 0x263A, 0x1263A, 0x41, 0xE9, 0x80, 0x17F),
         u"\u263A\u263AA\uFFE9\uFF80\u007F"},
        {Fmt(u"x%Cy", 0x100), u"x"},  // a zero unit ends the result
        // Null strings print as nothing and still take their argument.
        {Fmt(u"[%s|%S|%d|%3S]", noWide, noNarrow, 7, noNarrow), u"[||7|   ]"},
        // Integer classes take an int, with "l" a long.
        {Fmt(u"%ld %lx %lu %lo", -1L, 0xFFFFFFFFUL, 0xFFFFFFFFUL, 8L),
         u"-1 ffffffff 4294967295 10"},
        // Above 99 the C library converts: it gets the type the text names.
        {Fmt(u"%.100lx|%-100ld|", 0xFFFFFFFFUL, static_cast<long>(INT_MIN)),
         U16(92, u'0') + u"fffffff|-2147483648" + U16(88, u' ') + u"|"},
        {Fmt(u"%hd %hx %hu", 65537, -1, 70000), u"1 ffff 4464"},
        {Fmt(u"%ld %f %lx %s", 1L, 2.5, 3L, u"z"), u"1 2.500000 3 z"},
        {Fmt(u"[%5S|%-4S|%.2S|%lS|%3hS]", "ab", "cd", "efgh", "i", "j"), u"[   ab|cd  |ef|i|  j]"},
        // Unrecognised directives resume at the failing character, taking nothing.
        {Fmt(u"%y %#x %lld %Lf %F %a %I64d %-5lc"), u"y #x ld Lf F a I64d c"},
        {Fmt(u"%5c|%d", 9), u"c|9"},
        // Ten characters after "%": the argument is taken, the text shown literally.
        {Fmt(u"%123456789d|%d", 1, 2), u"123456789d|2"},
        {Fmt(u"%12345678.f|%123456789s|%s", 1.0, u"a", u"b"), u"12345678.f|123456789s|b"},
        {Fmt(u"%123456789%"), u"%123456789"},
        {Fmt(u"%12345678901d|%d", 2), u"1d|2"},  // eleven: unrecognised
        {Fmt(u"%p", static_cast<void*>(&noNarrow)), Snprintf("%p", static_cast<void*>(&noNarrow))},
        {Fmt(u"%5.1f|%f", 2.25, std::nan("")), u"  2.2|" + Snprintf("%f", std::nan(""))},
    });
}

// Bare integers are written by digit count: every length from 1 to 20 digits
// and both sides of each power of ten.
TEST(WideFormat, BareIntegersAtEveryPowerOfTen) {
    std::vector<unsigned long> values = {0, ULONG_MAX};
    for (unsigned long p = 1; p <= ULONG_MAX / 10; p *= 10) {
        values.insert(values.end(), {p - 1, p, p * 10 - 1});
    }
    for (unsigned long v : values) {
        EXPECT_EQ(Fmt(u"%lu", v), Snprintf("%lu", v)) << v;
        EXPECT_EQ(Fmt(u"%ld", static_cast<long>(v)), Snprintf("%ld", static_cast<long>(v))) << v;
        EXPECT_EQ(Fmt(u"%d", static_cast<int>(v)), Snprintf("%d", static_cast<int>(v))) << v;
    }
}

TEST(WideFormat, WideStringFieldLayout) {
    // Texts are cut from the left (right-aligned) or the right; ".2" is a width of 2; a
    // negative precision counts as positive; zero widths show nothing but take their argument.
    const char16_t* none = nullptr;
    ExpectRows({
        {Fmt(u"%10s|%-6s|%3s|%-3s", u"abc", u"abc", u"abcdef", u"abcdef"),
         u"       abc|abc   |def|abc"},
        {Fmt(u"%6.2s|%-6.2s|%010s|% 4s", u"abcdef", u"abcdef", u"ab", u"ab"),
         u"    ab|ab    |        ab|  ab"},
        {Fmt(u"%.2s|%4.-1s|%-3s|", u"abcdef", u"abc", none), u"ef|   a|   |"},
        {Fmt(u"%ls%hs%0s%s", u"a", u"b", u"c", u"d"), u"d"},
        {Fmt(u"%*s", 1000000, u"x"), U16(65534, u' ') + u"x"},  // the field is limited
        {Fmt(u"%*s|", INT_MIN, u"x"), u"x" + U16(65534, u' ') + u"|"},
    });
}

TEST(WideFormat, StarMode) {
    ExpectRows({
        {Fmt(u"%*d|%-*d|%*d|", 5, 42, 5, 42, -5, 42), u"   42|42   |42   |"},
        {Fmt(u"%.*f|%*.*f|%0*d", 2, 3.14159, 8, 3, 2.5, 4, 7), u"3.14|   2.500|0007"},
        {Fmt(u"%*s|%*S|%s%c", 4, u"ab", 4, "ab", u"c", 0x41), u"  ab|  ab|cA"},
        {Fmt(u"%.*%|%.*d|%*d", 3, 5, 42, 0, 42), u"%|00042|42"},  // "%.*%" takes its int
        // The C library reads a written width's leading zeros as flags, and a
        // negative precision as no directive.
        {Fmt(u"%+05d|%+005.*f|", 42, 1, 2.5), u"+0042|+02.5|"},
        {Fmt(u"%.*f|", -1, 2.5), Snprintf("%.-1f", 2.5) + u"|"},
        // Any star switches the call: an unrecognised directive runs to the
        // next conversion character (or "%") and shows nothing.
        {Fmt(u"%y and %d*", 7), u"d 7*"},
        {Fmt(u"%5c items %d*", 3), u"tems 3*"},
        {Fmt(u"%y|%d*", 7), u"d*"},
        // Two flags are not rewritten; an unreached star shows nothing, takes nothing.
        {Fmt(u"%+-5d|%5*d|%d|%#*x", 3, 8, 6, 255), u"+3   ||8|  0xff"},
        {Fmt((u"%" + U16(60, u'0') + u"d|%d*").c_str(), 1, 2), u"|2*"},  // rewrite area cut
        {Fmt((u"%-" + U16(200, u'w') + u"d|%d*").c_str(), 5), u"|5*"},
    });
}

TEST(WideFormat, NarrowWorkAreaKeepsTheFirst99Characters) {
    const std::string longText(5000, 'z');
    const U16 blanks(99, u' ');
    ExpectRows({
        {Fmt(u"%.99f", 1e+50), Snprintf("%.99f", 1e+50).substr(0, 99)},
        {Fmt(u"%120d|%150S|%12345678d|", 1, "x", 1), blanks + u"|" + blanks + u"|" + blanks + u"|"},
        {Fmt(u"%*d|%*p", INT_MAX, 1, 1000000000, nullptr), blanks + u"|" + blanks},
        {Fmt(u"%.*e", 1000000000, 1.0 / 3), Snprintf("%.5000e", 1.0 / 3).substr(0, 99)},
        {Fmt(u"%#1.*g", 5000, 1e-320), Snprintf("%#1.5000g", 1e-320).substr(0, 99)},
        {Fmt(u"%.*d%-*.*f|", 1000000000, -7, 1000000000, 1, 2.0),
         u"-" + U16(98, u'0') + u"2.0" + U16(96, u' ') + u"|"},
        {Fmt(u"%*S", 5050, longText.c_str()), U16(50, u' ') + U16(49, u'z')},
        {Fmt(u"%*.*S", 5030, 4990, longText.c_str()), U16(40, u' ') + U16(59, u'z')},
    });
}

TEST(WideFormat, FlagCombinationsMatchTheCLibrary) {
    // "#" passes only in star mode, as the single rewritten flag before a width.
    std::mt19937 random(12345);
    const int ints[] = {0, -1, 7, 65536, -32768, INT_MAX, INT_MIN};
    const double doubles[] = {0.0, -0.0, 0.5, 2.5, -2.5, 1e-7, 123456.789, -1e+50, 5e-324, 1.0 / 3};
    for (const char* flags : {"", "-", "+", " ", "0", "-0", "+ ", "-+0", "#"}) {
        const std::u16string suffix = flags[0] == '#' ? u"*" : u"";
        const auto check = [&](const std::string& d, auto value) {
            ASSERT_EQ(Fmt((Widen(d) + suffix).c_str(), value),
                      Snprintf(d.c_str(), value).substr(0, 99) + suffix)
                << d << " " << value;
        };
        for (const char* width : {"", "1", "12", "99"}) {
            for (const char* precision : {"", ".", ".0", ".3", ".60"}) {
                const std::string head = std::string("%") + flags + width + precision;
                if (suffix.empty() ? head.size() > 8 : !*width) continue;
                for (const char* tail : {"d", "i", "u", "o", "x", "X", "hd", "hx"})
                    check(head + tail, ints[random() % 7]);
                for (const char* tail : {"f", "e", "E", "g", "G", "lf"})
                    check(head + tail,
                          random() % 2 ? doubles[random() % 10]
                                       : std::ldexp(double(random()), int(random() % 200) - 100));
            }
        }
    }
}

// "%f" is exact at every scale: halfway cases round to even, tiny values to
// zero, and results too long for 64 bits of digits or more than 19 decimals
// take the general path.
TEST(WideFormat, FixedNotationRoundsLikeTheCLibraryAtEveryScale) {
    std::mt19937_64 random(2024);
    std::vector<double> values = {0.125,  0.375, 2.5,     -0.5,    1.5,           5e-324,
                                  1e-300, 0.0,   9.5e-20, 1.5e-19, 9.2e18 + 2048, 1.8e19};
    for (int exponent = -80; exponent <= 70; exponent += 3)
        values.push_back(std::ldexp(double(random() >> 11), exponent - 53));
    for (int shift = 1; shift <= 24; ++shift)  // exact halves of the last shown decimal
        values.push_back(std::ldexp(double(2 * (random() >> 45) + 1), -shift));
    for (double v : values) {
        for (int precision = 0; precision <= 21; ++precision) {
            const std::string d = "%." + std::to_string(precision) + "f";
            EXPECT_EQ(Fmt(Widen(d).c_str(), v), Snprintf(d.c_str(), v).substr(0, 99))
                << d << " " << v;
        }
    }
}

TEST(WideFormat, DoublesFollowTheCurrentRoundingMode) {
    std::fesetround(FE_UPWARD);  // the C library rounds by the current mode
    for (const char* d : {"%.1f", "%.0f", "%.2e", "%g"})
        for (double v : {0.25, -1.5, 1.0 / 3.0, 6.373285e-10})
            EXPECT_EQ(Fmt(Widen(d).c_str(), v), Snprintf(d, v)) << d << " " << v;
    std::fesetround(FE_TONEAREST);
}

// "%n" takes its pointer and stores nothing, in every engine, whatever its
// size letter, flags or position; the rest of the text is unchanged. (The
// formats are hostile on purpose: the compiler's format check is off, and
// UTL's check, which refuses "%n" in a literal, sees only pointers.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
TEST(WideFormat, CountDirectivesStoreNothingInAnyEngine) {
    struct Targets {
        int i = 99;
        short h = 99;
        long l = 99;
    };
    struct Row {
        const char* name;
        std::string (*format)(Targets& t);  // the text shown
        const char* expected;
    };
    static std::string logged;
    struct LastTextSink : UTL::LogSinkI {
        void LogMessage(const char*, int, unsigned long, const char* text) const override {
            logged = text;
        }
    };
    static const auto Narrow = [](const char16_t* text) {
        std::string out;
        for (; *text; ++text) out += static_cast<char>(*text);
        return out;
    };
    const Row rows[] = {
        {"lswprintf",
         [](Targets& t) { return Narrow(Fmt(u"a%nb%hn|%ln%d", &t.i, &t.h, &t.l, 5).c_str()); },
         "ab|5"},
        {"bounded engine",
         [](Targets& t) {
             char16_t buffer[8];
             Bounded(buffer, 8, u"a%nb%-5ln%d", &t.i, &t.l, 5);
             return Narrow(buffer);
         },
         "ab5"},
        {"StringC::Format",
         [](Targets& t) {
             StringC text;
             const char16_t* format = u"a%nb%hn%d";
             text.Format(format, &t.i, &t.h, 5);
             return Narrow(static_cast<const char16_t*>(text));
         },
         "ab5"},
        {"Log, plain directives",
         [](Targets& t) {
             UTL::LogManagementC::Log("f", 1, 0, "a%nb%d", &t.i, 5);
             return logged;
         },
         "ab5"},
        {"Log through vsnprintf",
         [](Targets& t) {
             UTL::LogManagementC::Log("f", 1, 0, "a%'d%5ln%s", 5, &t.l, "b");
             return logged;
         },
         "a5b"},
        {"Log with positions",
         [](Targets& t) {
             UTL::LogManagementC::Log("f", 1, 0, "%2$s%1$hn%3$d", &t.h, "a", 5);
             return logged;
         },
         "a5"},
        {"Log, a starred count ends the text",
         [](Targets& t) {
             UTL::LogManagementC::Log("f", 1, 0, "a%'d%*n%s", 5, 3, &t.i, "b");
             return logged;
         },
         "a5"},
    };
    LastTextSink* sink = new LastTextSink;
    ASSERT_TRUE(UTL::LogManagementC::AddSink(sink));
    for (const Row& row : rows) {
        Targets t;
        logged.clear();
        EXPECT_EQ(row.format(t), row.expected) << row.name;
        EXPECT_EQ(t.i, 99) << row.name;
        EXPECT_EQ(t.h, 99) << row.name;
        EXPECT_EQ(t.l, 99) << row.name;
    }
    EXPECT_TRUE(UTL::LogManagementC::RemoveSink(sink, true));
}
#pragma GCC diagnostic pop

TEST(WideFormat, TheBoundedEntry) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    Bounded(buffer, 4, u"%s-%d", u"abcdef", 12);
    EXPECT_EQ(U16(buffer, 5), U16(u"abc\0#", 5));
    Bounded(buffer, 1, u"xyz");
    Bounded(buffer, 0, u"xyz");  // no room: untouched
    EXPECT_EQ(U16(buffer, 5), U16(u"\0bc\0#", 5));
    Bounded(buffer, 8, u"%d", 12345678);
    EXPECT_EQ(U16(buffer), u"1234567");
    Bounded(buffer, 4, u"%s%f%d", u"abcdef", 2.0, 7);  // arguments after the cut are still read
    EXPECT_EQ(U16(buffer), u"abc");
}

static std::vector<std::string> g_log;

struct RecordingSink : UTL::LogSinkI {
    void LogMessage(const char* file, int line, unsigned long mask,
                    const char* text) const override {
        g_log.push_back(std::string(file) + "|" + std::to_string(line) + "|" +
                        std::to_string(mask == LOG_DevMessage) + "|" + text);
    }
};

void ExpectRangeMessages() {
    EXPECT_EQ(g_log, (std::vector<std::string>{
                         "..\\..\\Src\\CStringmodul|1396|1|lvswprintf\n",
                         "..\\..\\Src\\CStringmodul|1397|1|double value to huge!\n"}));
    g_log.clear();
}

TEST(WideFormat, OutOfRangeDoubleLeavesTheBufferAndLogsTwice) {
    RecordingSink* sink = new RecordingSink;
    ASSERT_TRUE(UTL::LogManagementC::AddSink(sink));
    EXPECT_EQ(Fmt(u"%.0e|%.0e", 1e+50, -1e+50), u"1e+50|-1e+50");  // the bounds pass
    EXPECT_TRUE(g_log.empty());
    for (double v : {2e+50, -2e+50, std::nextafter(1e+50, 1e+51), HUGE_VAL}) {
        std::vector<char16_t> buffer(16, u'#');
        int count = 7;  // never reached
        const char16_t* format = u"abc %*d %f %n*";  // unchecked: "%n" is refused in a literal
        EXPECT_EQ(lswprintf(buffer.data(), format, 3, 1, v, &count), 0);
        EXPECT_EQ(buffer, std::vector<char16_t>(16, u'#')) << v;
        EXPECT_EQ(count, 7);
        ExpectRangeMessages();
    }
    char16_t bounded[4] = {u'#', u'#', u'#', u'#'};
    Bounded(bounded, 4, u"x%g", 1e51);
    EXPECT_EQ(bounded[0], u'#');
    ExpectRangeMessages();
    EXPECT_TRUE(UTL::LogManagementC::RemoveSink(sink, true));
}

// The one directive reader: what each kind of syntax reads of a directive.
// (The engines' results above cover the dialects built on it.)
TEST(DirectiveReader, OrderedRunStarAndScanSyntaxes) {
    using UTL::detail::DirectiveSyntax;
    const DirectiveSyntax printf = DirectiveSyntax{}.Flags("-+ #0");
    const DirectiveSyntax run = DirectiveSyntax{}.Flags("-+ 0").InAnyOrder(10);
    const DirectiveSyntax star = DirectiveSyntax{}.Flags("-+0 #").OneFlag().Stars();
    const DirectiveSyntax scan = DirectiveSyntax{}
                                     .Flags("*'I")
                                     .Positional()
                                     .NoPrecision()
                                     .Allocation()
                                     .SizeRun("hlL")
                                     .Conversions("dsn[%");
    const struct {
        const char* name;
        const DirectiveSyntax& syntax;
        const char* text;
        bool complete;
        size_t length;
        unsigned long width, precision;
        bool ordered;
        char size, conv;
    } rows[] = {
        {"plain", printf, "%-08.3ld|", true, 8, 8, 3, true, 'l', 'd'},
        {"no percent", printf, "x%d", false, 0, 0, 0, true, 0, 0},
        {"any conversion", printf, "%5y", true, 3, 5, 0, true, 0, 'y'},
        {"saturated", printf, "%99999999999d", true, 13, 0xFFFFFFFF, 0, true, 0, 'd'},
        {"run in order", run, "%-5.2d", true, 6, 5, 2, true, 0, 'd'},
        {"run out of order", run, "%5-3d", true, 5, 5, 0, false, 0, 'd'},
        {"run cut at ten", run, "%12345678901d", true, 12, 1234567890, 0, true, 0, '1'},
        {"star flag before a number", star, "%-*.*hd", true, 7, 0, 0, true, 'h', 'd'},
        {"star flag alone is none", star, "%-.5d", true, 2, 0, 0, true, 0, '-'},
        {"scan position and sizes", scan, "%2$*5hhd", true, 8, 5, 0, true, 'h', 'd'},
        {"scan set", scan, "%[]a]x", true, 5, 0, 0, true, 0, '['},
        {"scan open set", scan, "%[^a", false, 4, 0, 0, true, 0, '['},
        {"scan unknown", scan, "%5q", false, 2, 5, 0, true, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UTL::detail::Directive d;
        EXPECT_EQ(UTL::detail::ReadDirective(row.text, row.syntax, d), row.complete);
        EXPECT_EQ(d.length, row.length);
        EXPECT_EQ(d.width, row.width);
        EXPECT_EQ(d.precision, row.precision);
        EXPECT_EQ(d.ordered, row.ordered);
        EXPECT_EQ(d.size, row.size);
        EXPECT_EQ(d.conv, row.conv);
    }
}
