// Wide-text primitives and narrow/wide conversions; the block scans behind the
// primitives against plain loops, at every alignment and up to a page end.
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "guard_page.h"

// Differences of 25, unsigned units, counted ends, unmapped units (U+0178) and '_'
// against folded letters; narrow high bytes are negative and order first.
TEST(WideText, ComparisonsGiveMinusOneZeroOrOne) {
    EXPECT_EQ(lwcscmp(u"abc", u"abd"), -1);
    EXPECT_EQ(lwcscmp(u"abd", u"abc"), 1);
    EXPECT_EQ(lwcscmp(u"ab", u"abc"), -1);
    EXPECT_EQ(lwcscmp(u"a", u"z"), -1);
    EXPECT_EQ(lwcscmp(u"", u""), 0);
    EXPECT_EQ(lwcscmp(u"\xFFFF", u"a"), 1);
    EXPECT_EQ(lwcsncmp(u"abX", u"abY", 2), 0);
    EXPECT_EQ(lwcsncmp(u"abX", u"abY", 3), -1);
    EXPECT_EQ(lwcsncmp(u"x", u"y", 0), 0);
    EXPECT_EQ(lwcsncmp(u"ab", u"ab", 100), 0);
    EXPECT_EQ(lwcsicmp(u"ABC", u"abc"), 0);
    EXPECT_EQ(lwcsicmp(u"\u00C0", u"\u00E0"), 0);
    EXPECT_EQ(lwcsicmp(u"\u0178", u"\u00FF"), 1);
    EXPECT_EQ(lwcsicmp(u"_", u"A"), -1);
    EXPECT_EQ(lstricmp("\xE9", "a"), -1);
    EXPECT_EQ(lstricmp("\xE9", ""), -1);
    EXPECT_EQ(lstricmp("", "\xE9"), 1);
    EXPECT_EQ(lstricmp("ABC", "abc"), 0);
    EXPECT_EQ(lstricmp("abc", "ABD"), -1);
}

// Both ends of every mapped range and each single pair, in both directions;
// the neighbours of the ranges and the unpaired letters stay as they are.
TEST(WideText, CaseTableAndUnmappedUnits) {
    const char16_t pairs[][2] = {{u'A', u'a'},           {u'Z', u'z'},
                                 {u'\u00C0', u'\u00E0'}, {u'\u00D8', u'\u00F8'},
                                 {u'\u00DE', u'\u00FE'}, {u'\u0152', u'\u0153'},
                                 {u'\u0160', u'\u0161'}, {u'\u017D', u'\u017E'}};
    for (const auto& pair : pairs) {
        const char16_t upper = pair[0], lower = pair[1];
        EXPECT_EQ(ltowlower(upper), lower) << int(upper);
        EXPECT_EQ(ltowupper(lower), upper) << int(lower);
        EXPECT_EQ(ltowlower(lower), lower) << int(lower);
        EXPECT_EQ(ltowupper(upper), upper) << int(upper);
    }
    for (char16_t c :
         {u'@', u'[', u'`', u'{', u'1', u'\u00BF', u'\u00D7', u'\u00F7', u'\u00DF', u'\u00FF',
          u'\u0178', u'\u00B5', u'\u0151', u'\u0154', u'\u017F', u'\u0100', u'\uFFFF'}) {
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

    const char16_t* s = u"xAyA";
    EXPECT_EQ(lwcschr(s, u'A'), s + 1);
    EXPECT_EQ(lwcschr(s, 0), s + 4);
    EXPECT_EQ(lwcsstr(s, u""), s);
    EXPECT_EQ(lwcsstr(s, u"yA"), s + 2);
    EXPECT_EQ(lwcschr(s, 0x10041), nullptr);  // not cut to the unit u'A'
    EXPECT_EQ(lwcsstr(s, u"yAx"), nullptr);
    EXPECT_EQ(lwcsstr(u"", u"a"), nullptr);
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

    UTL::AsciiToUnicode(w, 4, "a\351cdef");  // the sized forms map units alike
    EXPECT_EQ(std::u16string(w), u"a\u00E9c");
    UTL::UnicodeToAscii(n, 4, u"\u00FF\u0100zdef");
    EXPECT_EQ(std::string(n), "\xFF z");
    w[0] = u'#';
    n[0] = '#';
    UTL::AsciiToUnicode(w, 0, "abc");  // no room even for the terminator
    UTL::UnicodeToAscii(n, 0, u"abc");
    EXPECT_EQ(w[0], u'#');
    EXPECT_EQ(n[0], '#');

    for (int sized = 0; sized < 2; ++sized) {  // null sources give empty strings
        w[0] = u'x';
        n[0] = 'x';
        sized ? UTL::AsciiToUnicode(w, 4, nullptr) : UTL::AsciiToUnicode(w, nullptr);
        sized ? UTL::UnicodeToAscii(n, 4, nullptr) : UTL::UnicodeToAscii(n, nullptr);
        EXPECT_EQ(w[0], 0) << sized;
        EXPECT_EQ(n[0], 0) << sized;
    }
}

// ---- Block scans ------------------------------------------------------------
// The scans read whole 16-byte blocks where the target has vector compares;
// these tests place terminators, matches and mismatches at every position
// within and across blocks, at every alignment of the text in its block, and
// check the results against the plain loops of the definitions.

namespace {

constexpr char16_t kFill = u'x';

std::size_t PlainLength(const char16_t* s) {
    std::size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

int PlainCompare(const char16_t* a, const char16_t* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const int d = int(a[i]) - int(b[i]);
        if (d != 0 || b[i] == 0) return (d > 0) - (d < 0);
    }
    return 0;
}

const char16_t* PlainFind(const char16_t* s, const char16_t* sub) {
    const std::size_t n = PlainLength(sub);
    for (; *s != 0; ++s) {
        if (PlainCompare(s, sub, n) == 0) return s;
    }
    return n == 0 ? s : nullptr;
}

// A text of `length` units at unit `offset` of a 16-byte aligned buffer, filled
// with kFill and followed, after its terminator, by more units that are not
// zero, so that a scan running past the terminator finds them.
struct PlacedText {
    PlacedText(std::size_t offset, std::size_t length) : text(units + offset) {
        std::fill(std::begin(units), std::end(units), kFill);
        text[length] = 0;
    }
    alignas(16) char16_t units[96];
    char16_t* text;
};

}  // namespace

TEST(WideTextBlocks, LengthAndUnitSearchAtEveryPosition) {
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t length = 0; length <= 40; ++length) {
            PlacedText placed(offset, length);
            char16_t* s = placed.text;
            s[length + 1] = u'T';  // beyond the terminator: never found
            EXPECT_EQ(lwcslen(s), length) << offset;
            EXPECT_EQ(lwcschr(s, 0), s + length) << offset << " " << length;
            EXPECT_EQ(lwcschr(s, u'T'), nullptr) << offset << " " << length;
            for (std::size_t at = 0; at < length; ++at) {
                s[at] = u'T';
                EXPECT_EQ(lwcschr(s, u'T'), s + at) << offset << " " << length;
                s[at] = kFill;
            }
            if (HasFailure()) return;
        }
    }
}

// Mismatches in both directions (by unsigned value: 0xFFFF is the largest)
// and either text ending first, at every position, for every pair of
// alignments; the counted compare also with counts around the position.
TEST(WideTextBlocks, ComparisonsAtEveryMismatchPosition) {
    const char16_t kinds[][2] = {
        {u'\xFFFF', u'\x0001'}, {u'\x0001', u'\xFFFF'}, {0, kFill}, {kFill, 0}, {kFill, kFill}};
    for (std::size_t offsetA = 0; offsetA < 8; ++offsetA) {
        for (std::size_t offsetB = 0; offsetB < 8; ++offsetB) {
            for (std::size_t length : {0, 1, 5, 7, 8, 9, 15, 16, 17, 31, 40}) {
                for (std::size_t at = 0; at <= length; ++at) {
                    for (const auto& kind : kinds) {
                        PlacedText a(offsetA, length), b(offsetB, length);
                        if (at < length) a.text[at] = kind[0], b.text[at] = kind[1];
                        EXPECT_EQ(lwcscmp(a.text, b.text), PlainCompare(a.text, b.text, SIZE_MAX))
                            << offsetA << " " << offsetB << " " << length << " " << at;
                        for (std::size_t count : {std::size_t(0), at, at + 1, length + 3}) {
                            EXPECT_EQ(lwcsncmp(a.text, b.text, static_cast<unsigned>(count)),
                                      PlainCompare(a.text, b.text, count))
                                << offsetA << " " << offsetB << " " << length << " " << at << " "
                                << count;
                        }
                    }
                    if (HasFailure()) return;
                }
            }
        }
    }
}

// Texts over a two-letter alphabet, so that partial matches abound; needles
// cut from the text itself and made up, short and longer than a block.
TEST(WideTextBlocks, TextSearchAgreesWithThePlainSearch) {
    unsigned seed = 12345;
    const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = next() % 41;
        PlacedText haystack(next() % 8, length);
        for (std::size_t i = 0; i < length; ++i) haystack.text[i] = u'a' + next() % 2;
        PlacedText needle(next() % 8, 0);
        const std::size_t needleLength = 1 + next() % 12;
        if (length > 0 && next() % 2) {
            const std::size_t from = next() % length;
            const std::size_t taken = std::min(needleLength, length - from);
            std::copy_n(haystack.text + from, taken, needle.text);
            needle.text[taken] = 0;
        } else {
            for (std::size_t i = 0; i < needleLength; ++i) needle.text[i] = u'a' + next() % 2;
            needle.text[needleLength] = 0;
        }
        EXPECT_EQ(lwcsstr(haystack.text, needle.text), PlainFind(haystack.text, needle.text))
            << std::u16string(haystack.text).size() << " " << needleLength;
        if (HasFailure()) return;
    }
}

// Copies write the text and its terminator and nothing after them.
TEST(WideTextBlocks, CopiesWriteExactlyTheTextAndItsTerminator) {
    for (std::size_t length = 0; length <= 40; ++length) {
        PlacedText source(length % 8, length);
        for (std::size_t i = 0; i < length; ++i) source.text[i] = u'a' + i % 26;
        PlacedText target((length + 3) % 8, 60);
        lwcscpy(target.text, source.text);
        EXPECT_EQ(std::u16string(target.text), std::u16string(source.text));
        EXPECT_EQ(target.text[length + 1], kFill);
        for (int count : {-1, 0, 1, int(length) - 1, int(length), int(length) + 1}) {
            PlacedText counted(length % 5, 60);
            lwcsncpy(counted.text, source.text, count);
            const std::size_t copied = count < 0 ? length : std::min<std::size_t>(count, length);
            EXPECT_EQ(std::u16string(counted.text), std::u16string(source.text, copied));
            EXPECT_EQ(counted.text[copied + 1], kFill) << count;
        }
    }
    char16_t shifted[] = u"..abcdefghijklmnopqrstuvwxyz";
    lwcscpy(shifted, shifted + 2);  // forwards into its own text, as a plain loop copies
    EXPECT_EQ(std::u16string(shifted), u"abcdefghijklmnopqrstuvwxyz");
}

// Texts that end at the last unit of a page followed by an inaccessible page:
// no function reads or writes a byte beyond, at any alignment and length.
TEST(WideTextBlocks, NothingIsReadPastThePageTheTextEndsIn) {
    GuardedPage first, second, third;
    ASSERT_TRUE(first.Ready());
    ASSERT_TRUE(second.Ready());
    ASSERT_TRUE(third.Ready());
    for (std::size_t length = 0; length <= 40; ++length) {
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i) text.push_back(u'a' + i % 3);
        const char16_t* a = first.TextAtEnd(text);
        const char16_t* b = second.TextAtEnd(text);
        EXPECT_EQ(lwcslen(a), length);
        EXPECT_EQ(lwcscmp(a, b), 0);
        EXPECT_EQ(lwcsncmp(a, b, 100), 0);
        EXPECT_EQ(lwcschr(a, u'z'), nullptr);
        EXPECT_EQ(lwcschr(a, 0), a + length);
        EXPECT_EQ(lwcsstr(a, u"zz"), nullptr);
        const char16_t* tail = second.TextAtEnd(text.substr(length / 2));
        EXPECT_EQ(lwcsstr(a, tail), PlainFind(a, tail)) << length;
        EXPECT_EQ(lwcsstr(u"aaa", third.TextAtEnd(u"aaaa")), nullptr);
        const char16_t* shorter = third.TextAtEnd(text.substr(0, length / 2));
        EXPECT_EQ(lwcscmp(a, shorter), length / 2 < length ? 1 : 0);
        EXPECT_EQ(lwcscmp(shorter, a), length / 2 < length ? -1 : 0);
        char16_t* copy = third.UnitsAtEnd(length + 1);
        EXPECT_EQ(std::u16string(lwcscpy(copy, a)), text);
        EXPECT_EQ(std::u16string(lwcsncpy(copy, a, int(length) + 5)), text);
        copy[0] = 0;
        EXPECT_EQ(std::u16string(lwcscat(copy, a)), text);
        // Searches near the page end, where candidates are compared unit by
        // unit: texts and needles over two letters.
        std::u16string twoLetters;
        for (std::size_t i = 0; i < length; ++i) twoLetters.push_back(u'a' + (i * 7 / 3) % 2);
        const char16_t* haystack = first.TextAtEnd(twoLetters);
        for (std::u16string needle : {u"a", u"ab", u"aab", u"abab", u"bba", u"abbab", u"aabbaab"}) {
            EXPECT_EQ(lwcsstr(haystack, needle.c_str()), PlainFind(haystack, needle.c_str()))
                << length;
        }
        // Counted functions read no further than their count: sources without
        // a terminator that end at the page end.
        char16_t* bare = first.UnitsAtEnd(length);
        text.copy(bare, length);
        char16_t* bareToo = second.UnitsAtEnd(length);
        text.copy(bareToo, length);
        EXPECT_EQ(lwcsncmp(bare, bareToo, static_cast<unsigned>(length)), 0);
        EXPECT_EQ(std::u16string(lwcsncpy(copy, bare, int(length))), text);
        if (HasFailure()) return;
    }
}
