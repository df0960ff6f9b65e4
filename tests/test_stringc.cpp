// StringC: shared blocks, copy-on-write, limits, moves and views, editing,
// formatting, scanning, and display texts by token through the accessor bridge.
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "guard_page.h"

namespace {

using Block = StringC::DataC;
using Keys = std::pair<unsigned long, unsigned long>;
using Bridge = UTL::TokenAccessorBridgeC;

// Opens the protected members for inspection and direct calls.
class Probe : public StringC {
public:
    using StringC::Getpcs;
    using StringC::NewStr;
    using StringC::StringC;
    using StringC::operator=;
    static Block* BlockOf(const StringC& s) {
        Block* (StringC::*get)() = &Probe::Getpcs;
        return (const_cast<StringC&>(s).*get)();
    }
    static unsigned Refs(const StringC& s) { return BlockOf(s)->GetRefCount(); }
};

const auto Text = [](const StringC& s) { return std::u16string(static_cast<const char16_t*>(s)); };

const char16_t* const kNone = nullptr;

// Serves texts from a table.
struct TableAccessor : UTL::TokenAccessorI {
    const char16_t* getToken(unsigned long key1, unsigned long key2) override {
        auto found = texts.find({key1, key2});
        return found == texts.end() ? nullptr : found->second.c_str();
    }
    std::map<Keys, std::u16string> texts;
};

TEST(StringBlocks, EmptyStringsShareOneBlock) {
    Block* shared = Probe::BlockOf(StringC());
    const StringC strings[] = {StringC(),    StringC(kNone),
                               StringC(u""), StringC(static_cast<const char*>(nullptr)),
                               StringC(""),  StringC(12345u, 678u)};  // no accessor installed
    for (std::size_t i = 0; i < std::size(strings); ++i) {
        EXPECT_EQ(Probe::BlockOf(strings[i]), shared) << i;
        EXPECT_TRUE(strings[i].IsEmpty()) << i;
    }
    Probe t(u"abc");
    t = u"";  // an unshared block is kept for an empty text, also through Empty
    t.Empty();
    EXPECT_NE(t.Getpcs(), shared);
    t = u"abc";
    t.Empty();  // Empty on a text releases the block
    EXPECT_EQ(t.Getpcs(), shared);
}

// Exactly two strings share the block, so that a change through one of them
// must copy it: a count test off by one would change both.
TEST(StringBlocks, AChangeThroughOneOfTwoSharersLeavesTheOther) {
    using Change = void (*)(StringC&);
    const Change changes[] = {
        [](StringC& s) { s.SetAt(2, u'X'); }, [](StringC& s) { s.ToUpper(); },
        [](StringC& s) { s.ToLower(); },      [](StringC& s) { s.LTrim(); },
        [](StringC& s) { s.RTrim(); },        [](StringC& s) { s.Remove(u'a'); },
        [](StringC& s) { s += u"!"; },        [](StringC& s) { s += s; },
        [](StringC& s) { s = u"other"; },     [](StringC& s) { s.Format(u"%d", 7); },
        [](StringC& s) { s.Empty(); },        [](StringC& s) { s.LoadTxt(1, 2); },
    };
    for (const char16_t* text : {u" \tab A\t", u" \tHello World banana \t"}) {  // inline, heap
        for (const Change& change : changes) {
            const StringC original(text);
            StringC copy(original);
            ASSERT_EQ(Probe::Refs(original), 2u);
            change(copy);
            EXPECT_EQ(Text(original), text);
            EXPECT_EQ(Probe::Refs(original), 1u);
        }
    }
}

// The copy made for a change has exactly the room of the text, even when the
// shared block had more.
TEST(StringBlocks, ACopyForAChangeIsExactlySized) {
    Probe grown(u"x");
    for (int i = 0; i < 20; ++i) grown += u"y";
    ASSERT_GT(grown.Getpcs()->GetMaxLength(), 21u);
    const StringC keeper(grown);
    grown.SetAt(0, u'X');
    EXPECT_EQ(grown.Getpcs()->GetMaxLength(), 21u);
    EXPECT_EQ(Text(keeper), u"x" + std::u16string(20, u'y'));
}

// Appending to an unshared string at least doubles the room when it runs
// out, so a thousand appends make a handful of blocks, not a thousand.
TEST(StringBlocks, AppendsGrowAnUnsharedBlockGeometrically) {
    Probe s;
    std::u16string model;
    const Block* last = nullptr;
    int blocks = 0;
    for (int i = 0; i < 1000; ++i) {
        s += i % 2 ? u"y" : u"z";
        model += i % 2 ? u'y' : u'z';
        blocks += s.Getpcs() != last;
        last = s.Getpcs();
    }
    EXPECT_EQ(Text(s), model);
    EXPECT_LE(blocks, 10);
}

TEST(StringBlocks, BlockSizesAndReuse) {
    EXPECT_EQ(Text(StringC("caf\xE9 \xFF")), u"caf\u00E9 \u00FF");  // byte value = unit value

    Probe s(u"twenty characters...");
    Block* block = s.Getpcs();
    s = u"exactly twenty units";  // fills an unshared block exactly: reused
    EXPECT_EQ(s.Getpcs(), block);
    s = u"eleven char";
    s = static_cast<const char16_t*>(s) + 7;  // its own text, overlapping
    EXPECT_EQ(Text(s), u"char");
    s = u"twenty-five characters...";
    EXPECT_NE(s.Getpcs(), block);
    const StringC other(s);
    s = static_cast<const char16_t*>(s) + 20;  // shared: built before the release
    EXPECT_EQ(Text(s), u"rs...");
    EXPECT_EQ(Text(other), u"twenty-five characters...");

    block = s.Getpcs();
    ASSERT_EQ(block->GetMaxLength(), 11u);  // the inline area
    s.NewStr(11ul);                         // fits exactly: same block, emptied
    EXPECT_EQ(s.Getpcs(), block);
    EXPECT_TRUE(s.IsEmpty());
    s += u"abcdef";
    s += u"ghijk";  // appends that fill the unshared block exactly stay in it
    EXPECT_EQ(s.Getpcs(), block);
    EXPECT_EQ(Text(s), u"abcdefghijk");
    s.NewStr(100ul);  // a new block with room for 100 units
    EXPECT_EQ(s.Getpcs()->GetMaxLength(), 99u);
    s.NewStr(1000000ul);  // capped
    EXPECT_EQ(s.Getpcs()->GetMaxLength(), 65534u);
}

TEST(StringBlocks, ReleasedBlocksAreRecycledAndTheSurplusFreed) {
    const Block* released = nullptr;
    {
        Probe s(u"short");
        released = s.Getpcs();
    }
    Probe again(u"again");
    EXPECT_EQ(again.Getpcs(), released);  // the thread's cache hands it out again
    EXPECT_EQ(Text(again), u"again");
    {
        Probe s(u"a text of more than the inline units");  // block and text in one piece
        released = s.Getpcs();
    }
    Probe longer(u"another text, longer than the first");
    EXPECT_EQ(longer.Getpcs(), released);
    EXPECT_EQ(Text(longer), u"another text, longer than the first");

    // More live blocks than the cache holds, released together and made again.
    for (int round = 0; round < 2; ++round) {
        std::vector<StringC> many;
        for (int i = 0; i < 100; ++i) {
            many.emplace_back(
                std::u16string(1 + i % 30, static_cast<char16_t>(u'a' + i % 26)).c_str());
        }
        for (int i = 0; i < 100; ++i) {
            EXPECT_EQ(Text(many[i]),
                      std::u16string(1 + i % 30, static_cast<char16_t>(u'a' + i % 26)));
        }
    }
}

TEST(StringLimits, ReferenceCountNeverWraps) {
    const StringC original(u"shared by very many strings");
    std::vector<StringC> copies(Block::kMaxRefs - 1, original);
    ASSERT_EQ(Probe::Refs(original), 65535u);
    const StringC beyond(original);  // the 65536th reference gets its own copy
    EXPECT_NE(Probe::BlockOf(beyond), Probe::BlockOf(original));
    EXPECT_EQ(Probe::Refs(original), 65535u);
    EXPECT_EQ(Probe::Refs(beyond), 1u);
    EXPECT_EQ(Text(beyond), Text(original));
    StringC assigned;
    assigned = original;
    EXPECT_NE(Probe::BlockOf(assigned), Probe::BlockOf(original));
    EXPECT_EQ(Probe::Refs(assigned), 1u);
    EXPECT_EQ(Text(assigned), Text(original));

    Block* sharedEmpty = Probe::BlockOf(StringC());
    const std::vector<StringC> empties(Block::kMaxRefs + 10);  // the empty block too
    int fresh = 0;
    for (const StringC& e : empties) {
        ASSERT_TRUE(e.IsEmpty());
        fresh += Probe::BlockOf(e) != sharedEmpty;
    }
    EXPECT_GE(fresh, 10);
}

TEST(StringLimits, TextsAreCutAt65534Units) {
    const std::u16string huge(70000, u'x');
    StringC assigned(u"short");
    assigned = huge.c_str();
    EXPECT_EQ(StringC(huge.c_str()).GetLength(), 65534);
    EXPECT_EQ(assigned.GetLength(), 65534);
    EXPECT_EQ(StringC(std::string(70000, 'n').c_str()).GetLength(), 65534);
    StringC joined(std::u16string(65530, u'a').c_str());
    joined += u"bcdefgh";
    EXPECT_EQ(Text(joined.Mid(65528)), u"aabcde");
    EXPECT_EQ(Probe::BlockOf(joined)->GetMaxLength(), 65534u);  // growth stops at the limit
    joined += joined;                                           // already full: stays as it is
    EXPECT_EQ(Text(joined.Mid(65528)), u"aabcde");
}

TEST(StringAccess, IndexesOutsideTheTextReadZeroAndWriteNothing) {
    StringC s(u"a long text in a heap buffer");
    s = u"abc";  // units left behind in the reused buffer are not text
    const StringC copy(s);
    for (int index : {-1, 3, 4, 5, 12, INT_MAX, INT_MIN}) {
        EXPECT_EQ(s.GetAt(index), 0) << index;
        EXPECT_EQ(s[index], 0) << index;
        s.SetAt(index, u'X');
    }
    EXPECT_EQ(Probe::BlockOf(s), Probe::BlockOf(copy));  // nothing written, still shared
    s.SetAt(1, u'\0');                                   // cuts the text
    EXPECT_EQ(s.GetLength(), 1);
}

// The length kept beside the text follows every change: a cut by SetAt, and
// writes of a derived class through the block's buffer.
TEST(StringAccess, TheKeptLengthFollowsCutsAndWritesThroughTheBuffer) {
    StringC s(u"abcdef");
    s.SetAt(2, u'\0');
    EXPECT_EQ(s.GetLength(), 2);
    EXPECT_EQ(s.View(), u"ab");
    EXPECT_EQ(s.Find(u'd'), -1);
    s += u"Z";  // appended at the cut
    EXPECT_EQ(Text(s), u"abZ");

    Probe p;
    p.NewStr(20ul);
    lwcscpy(p.Getpcs()->GetBuffer(), u"written");
    EXPECT_EQ(p.GetLength(), 7);
    p += u"!";
    EXPECT_EQ(Text(p), u"written!");
    p.Getpcs()->GetBuffer()[3] = 0;
    EXPECT_EQ(p.GetLength(), 3);
    EXPECT_EQ(p.Mid(1), u"ri");
    EXPECT_EQ(p, StringC(u"wri"));
}

// Counting reads nothing past the page a text ends in, and a view needs no
// terminator at all: texts that end at the last unit of a page followed by an
// inaccessible page, at every alignment.
TEST(StringLimits, CountingStopsAtThePageEnd) {
    GuardedPage page;
    ASSERT_TRUE(page.Ready());
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::u16string text(length, u't');
        EXPECT_EQ(Text(StringC(page.TextAtEnd(text))), text);
        StringC assigned(u"abc");
        assigned = page.TextAtEnd(text);
        EXPECT_EQ(Text(assigned), text);
        StringC appended(u"abc");
        appended += page.TextAtEnd(text);
        EXPECT_EQ(Text(appended), u"abc" + text);
        StringC shared(u"abc");
        const StringC keeper(shared);  // the append makes a new block
        shared += page.TextAtEnd(text);
        EXPECT_EQ(Text(shared), u"abc" + text);
        char16_t* bare = page.UnitsAtEnd(length);
        text.copy(bare, length);
        EXPECT_EQ(Text(StringC(std::u16string_view(bare, length))), text);
    }
}

// ---- Moves and views -------------------------------------------------------

TEST(StringMove, MovesHandTheBlockOverAndLeaveTheEmptyString) {
    static_assert(std::is_nothrow_move_constructible_v<StringC>);
    static_assert(std::is_nothrow_move_assignable_v<StringC>);
    StringC source(u"a text in a heap buffer");
    Block* block = Probe::BlockOf(source);
    StringC target(std::move(source));
    EXPECT_EQ(Probe::BlockOf(target), block);
    EXPECT_EQ(Probe::Refs(target), 1u);  // handed over, not shared
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_EQ(source.GetLength(), 0);

    StringC assigned(u"its own text, released by the move");
    assigned = std::move(target);
    EXPECT_EQ(Probe::BlockOf(assigned), block);
    EXPECT_EQ(Probe::Refs(assigned), 1u);
    EXPECT_TRUE(target.IsEmpty());

    // Moved-from strings take every operation, and their copies share nothing
    // that a change could reach.
    source += u"appended";
    EXPECT_EQ(Text(source), u"appended");
    StringC copy(target);
    copy.SetAt(0, u'x');
    copy = u"assigned";
    EXPECT_EQ(Text(copy), u"assigned");
    EXPECT_TRUE(target.IsEmpty());
    target.ToUpper();
    target.RTrim();
    EXPECT_EQ(target.Remove(u'a'), 0);
    EXPECT_EQ(target, u"");
}

TEST(StringMove, MovesBetweenSharersAndOntoItself) {
    StringC a(u"one text, two holders");
    StringC b(a);
    b = std::move(a);  // b's own reference goes, a's comes: one holder left
    EXPECT_EQ(Probe::Refs(b), 1u);
    EXPECT_TRUE(a.IsEmpty());
    StringC& alias = b;
    b = std::move(alias);
    EXPECT_EQ(Text(b), u"one text, two holders");
    EXPECT_EQ(Probe::Refs(b), 1u);
    b = static_cast<const StringC&>(alias);
    EXPECT_EQ(Probe::Refs(b), 1u);

    std::vector<StringC> grown;  // reallocations move the strings
    for (int i = 0; i < 100; ++i) grown.emplace_back(std::u16string(i % 20, u'g').c_str());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(grown[i].GetLength(), i % 20);
}

// A move takes no reference of the shared empty block, so it works (and
// allocates nothing) even when that block carries all it can.
TEST(StringMove, MovesNeedNoReferenceOfTheSharedEmptyBlock) {
    const std::vector<StringC> empties(Block::kMaxRefs);
    Block* shared = Probe::BlockOf(empties.front());
    ASSERT_EQ(shared->GetRefCount(), 65535u);
    StringC first(u"first"), second(u"second");
    StringC firstTarget(std::move(first)), secondTarget(std::move(second));
    EXPECT_TRUE(first.IsEmpty());
    EXPECT_EQ(Probe::BlockOf(first), Probe::BlockOf(second));  // one static block for both
    EXPECT_NE(Probe::BlockOf(first), shared);
    EXPECT_EQ(shared->GetRefCount(), 65535u);
    EXPECT_EQ(Text(secondTarget), u"second");
}

TEST(StringView, ViewsAndConstructionFromViews) {
    const StringC s(u"view of a text");
    EXPECT_EQ(s.View(), u"view of a text");
    EXPECT_EQ(s.View().data(), static_cast<const char16_t*>(s));
    EXPECT_TRUE(StringC().View().empty());
    EXPECT_EQ(Text(StringC(std::u16string_view(u"abcdef", 3))), u"abc");
    EXPECT_EQ(Text(StringC(std::u16string_view(u"ab\0cd", 5))), u"ab");  // up to a zero unit
    EXPECT_EQ(Probe::BlockOf(StringC(std::u16string_view())), Probe::BlockOf(StringC()));
    const std::u16string huge(70000, u'v');
    EXPECT_EQ(StringC(std::u16string_view(huge)).GetLength(), 65534);
}

TEST(StringSearch, FindCountsFromTheStartOfTheString) {
    const StringC s(u"abcabc"), empty;
    EXPECT_EQ(s.Find(u'b'), 1);
    EXPECT_EQ(s.Find(u'b', 2), 4);
    EXPECT_EQ(s.Find(u'z'), -1);
    EXPECT_EQ(s.Find(0), 6);  // the terminator is found at the length
    EXPECT_EQ(s.Find(0, 6), 6);
    EXPECT_EQ(s.Find(0, 7), -1);
    EXPECT_EQ(empty.Find(0), 0);
    EXPECT_EQ(s.Find(u'a', 6), -1);
    EXPECT_EQ(s.Find(u'a', -5), 0);
    EXPECT_EQ(s.Find(u'a', INT_MAX), -1);
}

// Find against a plain scan over lengths that end a text in every unit of a
// block and of a four-block group, from every start in the first block, with
// the unit at every position and again three units later. The filler units
// share a byte with the one sought (0x0123), which catches a byte-wise test.
TEST(StringSearch, FindAtEveryPositionAndStart) {
    const char16_t sought = u'\u0123';
    const char16_t fillers[] = {u'\u0023', u'\u2301', u'\u0122', u'\u0100'};
    for (std::size_t length = 0; length <= 72; ++length) {
        std::u16string base(length, u' ');
        for (std::size_t i = 0; i < length; ++i) base[i] = fillers[i % 4];
        for (std::size_t at = 0; at <= length; ++at) {  // `length`: no match
            std::u16string text = base;
            if (at < length) text[at] = sought;
            if (at + 3 < length) text[at + 3] = sought;
            const StringC s(text.c_str());
            for (int start = 0; start <= 9; ++start) {
                const std::size_t plain = text.find(sought, static_cast<std::size_t>(start));
                const int expected = plain == std::u16string::npos ? -1 : static_cast<int>(plain);
                SCOPED_TRACE(testing::Message() << "length " << length << ", unit at " << at
                                                << ", start " << start);
                EXPECT_EQ(s.Find(sought, start), expected);
            }
        }
    }
}

// The search ends at the length, even where units written beyond a cut stay
// in the same block as the terminator.
TEST(StringSearch, FindStopsAtACutInsideABlock) {
    for (int cut = 0; cut < 32; ++cut) {
        StringC s(std::u16string(40, u'x').c_str());
        s.SetAt(cut + 1, u'#');
        s.SetAt(cut, 0);
        SCOPED_TRACE(testing::Message() << "cut at " << cut);
        EXPECT_EQ(s.Find(u'#'), -1);
        EXPECT_EQ(s.Find(0), cut);
    }
}

// Case-sensitive and folded, unsigned units; a null operand is the empty text.
TEST(StringSearch, CompareGivesMinusOneZeroOrOne) {
    const StringC abc(u"abc"), empty;
    EXPECT_EQ(abc.Compare(u"ABC", true), 1);
    EXPECT_EQ(abc.Compare(u"ABC", false), 0);
    EXPECT_EQ(abc.Compare(u"abd"), -1);
    EXPECT_EQ(StringC(u"\u00C0x").Compare(u"\u00E0X", false), 0);
    EXPECT_EQ(StringC(u"\uFFFF").Compare(u"a"), 1);
    EXPECT_EQ(abc.Compare(kNone), 1);
    EXPECT_EQ(abc.Compare(kNone, false), 1);
    EXPECT_EQ(empty.Compare(kNone), 0);
}

// Every operator on pairs that order each way and not at all, so that a
// flipped or loosened operator fails by its name and the pair.
TEST(StringSearch, ComparisonOperators) {
    const struct {
        const char16_t *left, *right;
        int order;
        const char* pair;
    } pairs[] = {
        {u"abc", u"abd", -1, "abc abd"}, {u"abd", u"abc", 1, "abd abc"},
        {u"abc", u"abc", 0, "abc abc"},  {u"ab", u"abc", -1, "ab abc"},
        {u"abc", u"ab", 1, "abc ab"},    {u"ABC", u"abc", -1, "ABC abc"},
        {u"\uFFFF", u"a", 1, "FFFF a"},  {u"", u"a", -1, "empty a"},
    };
    for (const auto& p : pairs) {
        const StringC left(p.left), right(p.right);
        EXPECT_EQ(left == right, p.order == 0) << p.pair;
        EXPECT_EQ(left == p.right, p.order == 0) << p.pair;
        EXPECT_EQ(left != right, p.order != 0) << p.pair;
        EXPECT_EQ(left != p.right, p.order != 0) << p.pair;
        EXPECT_EQ(left < right, p.order < 0) << p.pair;
        EXPECT_EQ(left < p.right, p.order < 0) << p.pair;
        EXPECT_EQ(left > right, p.order > 0) << p.pair;
        EXPECT_EQ(left > p.right, p.order > 0) << p.pair;
        EXPECT_EQ(left <= right, p.order <= 0) << p.pair;
        EXPECT_EQ(left <= p.right, p.order <= 0) << p.pair;
        EXPECT_EQ(left >= right, p.order >= 0) << p.pair;
        EXPECT_EQ(left >= p.right, p.order >= 0) << p.pair;
    }
    const StringC abc(u"abc"), empty;
    EXPECT_TRUE(empty == kNone);  // a null operand is the empty text
    EXPECT_TRUE(abc > kNone);
}

TEST(StringEdit, AppendPlusAndMid) {
    StringC s(u"ab");
    s += s;
    s += StringC(u"-0123456789");
    s += static_cast<const char16_t*>(s) + 5;  // a tail of its own text
    s += kNone;
    EXPECT_EQ(Text(s), u"abab-01234567890123456789");
    const StringC left(u"left"), right(u"right");
    EXPECT_EQ(Text(left + right), u"leftright");
    EXPECT_EQ(Text(left + u"+"), u"left+");
    EXPECT_EQ(Text(left + kNone), u"left");
    EXPECT_EQ(Text(left), u"left");  // the operands are left as they were
    EXPECT_EQ(Text(right), u"right");

    const StringC m(u"abcdef");  // ranges are clamped
    EXPECT_EQ(Text(m.Mid(-3)), u"abcdef");
    EXPECT_EQ(Text(m.Mid(2)), u"cdef");
    EXPECT_EQ(Text(m.Mid(6)), u"");
    EXPECT_EQ(Text(m.Mid(7)), u"");
    EXPECT_EQ(Text(m.Mid(INT_MAX)), u"");
    EXPECT_EQ(Text(m.Mid(2, 100)), u"cdef");
    EXPECT_EQ(Text(m.Mid(2, -1)), u"");
    EXPECT_EQ(Text(m.Mid(-2, 3)), u"abc");
    EXPECT_EQ(Text(m.Mid(9, 3)), u"");
    EXPECT_EQ(Text(m.Mid(INT_MIN, INT_MIN)), u"");
}

// Appending to a shared block, at every text length around the inline area
// (11 units) and every piece length around the room left: the joined text is
// whole, the other holder keeps its text, and the shared block loses the
// reference (the shared empty block too).
TEST(StringEdit, AppendToASharedBlockAtEveryLength) {
    const std::u16string digits = u"0123456789abcdef";
    for (std::size_t own = 0; own <= 13; ++own) {
        for (std::size_t added = 0; added <= 13; ++added) {
            const std::u16string text(own, u'x'), piece = digits.substr(0, added);
            StringC s(text.c_str());
            const StringC holder(s);
            const unsigned int refs = Probe::Refs(holder);
            s += piece.c_str();
            SCOPED_TRACE(testing::Message() << own << " units + " << added);
            EXPECT_EQ(Text(s), text + piece);
            EXPECT_EQ(Text(holder), text);
            EXPECT_EQ(Probe::Refs(holder), refs - 1);
        }
    }
}

// Short pieces of a string's own buffer appended to it: the piece must be
// read whole before the string is written, also from beyond a cut.
TEST(StringEdit, AppendingPiecesOfTheOwnBuffer) {
    struct Row {
        const char* name;
        const char16_t* text;
        int cut;     // SetAt(cut, 0) first, when not negative
        int offset;  // the piece starts here in the buffer
        const char16_t* expected;
    };
    const Row rows[] = {
        {"tail, one store", u"abcd", -1, 1, u"abcdbcd"},
        {"tail, unit moves", u"abcdef", -1, 3, u"abcdefdef"},
        {"beyond a cut", u"abcdefg", 1, 3, u"adefg"},
        {"whole text", u"abcde", -1, 0, u"abcdeabcde"},
    };
    for (const Row& row : rows) {
        StringC s(row.text);
        const char16_t* buffer = s;
        if (row.cut >= 0) s.SetAt(row.cut, u'\0');
        s += buffer + row.offset;
        EXPECT_EQ(Text(s), row.expected) << row.name;
    }
}

TEST(StringEdit, TrimsRemoveAndCaseMapping) {
    StringC left(u" \t\nx "), right(u" x\r \t"), blanks(u"  ");
    left.LTrim();
    right.RTrim();
    blanks.RTrim();
    EXPECT_EQ(Text(left), u"\nx ");  // only space and tab are blanks
    EXPECT_EQ(Text(right), u" x\r");
    EXPECT_EQ(Text(blanks), u"");

    StringC s(u"banana");
    EXPECT_EQ(s.Remove(u'a'), 3);
    EXPECT_EQ(s.Remove(u'z'), 0);
    EXPECT_EQ(s.Remove(u'\0'), 0);
    EXPECT_EQ(Text(s), u"bnn");

    StringC c(u"Stra\u00DFe \u00E9t\u00E9 \u0161 \u00FF");
    c.ToUpper();
    EXPECT_EQ(Text(c), u"STRA\u00DFE \u00C9T\u00C9 \u0160 \u00FF");
    c.ToLower();
    EXPECT_EQ(Text(c), u"stra\u00DFe \u00E9t\u00E9 \u0161 \u00FF");
}

// Results, empty formats, the 3500-unit rule and the cut to the 4096-unit area.
TEST(StringFormat, ResultsAndLimits) {
    struct Sink : UTL::LogSinkI {
        void LogMessage(const char*, int, unsigned long, const char* text) const override {
            messages.push_back(text);
        }
        mutable std::vector<std::string> messages;
    }* sink = new Sink;
    sink->SetLogMask(UTL::LogSinkI::LOG_DevMessage);
    ASSERT_TRUE(UTL::LogManagementC::AddSink(sink));
    StringC s;
    EXPECT_EQ(s.Format(u"%s: %5d items, %.3f m, %c", u"Station", 42, 12.5, 0x263A), 0);
    EXPECT_EQ(Text(s), u"Station:    42 items, 12.500 m, \u263A");
    s.Format(u"%s and %s", static_cast<const char16_t*>(s), static_cast<const char16_t*>(s));
    EXPECT_EQ(s.GetLength(), 2 * 33 + 5);
    for (const char16_t* empty : {u"", kNone, u"%f"}) {  // "%f" of 2e50 is refused
        s = u"before";
        EXPECT_EQ(s.Format(empty, 2e50), 0);
        EXPECT_TRUE(s.IsEmpty());
    }
    std::u16string format(3500, u'a');
    format.replace(0, 2, u"%d");
    s.Format(format.c_str(), 7);
    EXPECT_EQ(s.GetLength(), 3499);  // processed: "%d" became "7"
    format += u'b';                  // 3501 units: taken as text
    EXPECT_EQ(s.Format(format.c_str(), 7), 0);
    EXPECT_EQ(Text(s), format);
    s.Format(u"<%s>", std::u16string(5000, u'q').c_str());
    EXPECT_EQ(Text(s), u"<" + std::u16string(4094, u'q'));
    s.Format(u"%s", std::u16string(4095, u'r').c_str());  // fills the area exactly: no message
    EXPECT_EQ(s.GetLength(), 4095);
    s.Format(u"%s", std::u16string(4096, u'r').c_str());  // one more: cut, reported
    EXPECT_EQ(s.GetLength(), 4095);
    EXPECT_EQ(sink->messages, (std::vector<std::string>{"lvswprintf\n", "double value to huge!\n",
                                                        "lwcslen( szResult ) < 4096\n",
                                                        "lwcslen( szResult ) < 4096\n"}));
    EXPECT_TRUE(UTL::LogManagementC::RemoveSink(sink, true));
}

// A result ends at its first zero unit (a %c of 0) wherever it falls, and so
// does its length; it is written into the string's own block only when that
// is unshared and has room.
TEST(StringFormat, ResultEndsAtItsFirstZeroUnit) {
    struct Row {
        const char* name;
        const char16_t* format;
        int unit;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {"zero in a short result", u"ab%ccd", 0, u"ab"},
        {"zero in the first block", u"a%cbcdefghijk", 0, u"a"},
        {"zero in the last block", u"abcdefgh%cj", 0, u"abcdefgh"},
        {"zero in the last block, 12 units", u"abcdefgh%cijk", 0, u"abcdefgh"},
        {"zero after 16 units", u"abcdefghijklmnopq%cr", 0, u"abcdefghijklmnopq"},
        {"11 units, the inline room", u"abcdefghij%c", u'k', u"abcdefghijk"},
        {"12 units, beyond it", u"abcdefghij%cl", u'k', u"abcdefghijkl"},
        {"16 units", u"abcdefghijklmno%c", u'p', u"abcdefghijklmnop"},
        {"17 units", u"abcdefghijklmno%cq", u'p', u"abcdefghijklmnopq"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StringC s(u"old");
        const StringC shared(s);
        s.Format(row.format, row.unit);
        EXPECT_EQ(s.View(), row.expected);  // the kept length as well as the units
        EXPECT_EQ(shared.View(), u"old");
        s.Format(row.format, row.unit);  // again, into its own block
        EXPECT_EQ(s.View(), row.expected);
    }
}

TEST(StringScan, SkipsLeadingSpacesButNotTabs) {
    int a = 0, b = 0;
    char16_t unit[2][4] = {};
    EXPECT_EQ(StringC(u"   12 34").Scan(u"%d %d", &a, &b), 2);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
    EXPECT_EQ(StringC(u"   x").Scan(u"%c", unit[0]), 1);
    EXPECT_EQ(std::u16string(unit[0]), u"x");
    EXPECT_EQ(StringC(u"\tx").Scan(u"%c", unit[1]), 1);
    EXPECT_EQ(std::u16string(unit[1]), u"\t");  // the tab is the first character
    EXPECT_EQ(StringC(u"1").Scan(nullptr, &a), 0);
    EXPECT_EQ(StringC(u"   ").Scan(u"%d", &a), -1);
}

TEST(StringToken, BridgeLoadTxtAndTheTwoKeyConstructor) {
    EXPECT_EQ(Bridge::getToken(0xFFFFFFFFul, 1), nullptr);  // nothing installed
    UTL::TokenAccessorI plain;                              // the default body has no text
    Bridge::setTokenAccessor(&plain);
    EXPECT_EQ(Bridge::getToken(1, 2), nullptr);
    TableAccessor table;
    table.texts = {{{10, 20}, u"Instrument ready"}, {{10, 21}, u""}};
    Bridge::setTokenAccessor(&table);  // replaces the first
    StringC s(u"old");
    EXPECT_TRUE(s.LoadTxt(10, 20));
    const StringC fromKeys(10u, 20u);
    table.texts[{10, 20}] = u"changed later";  // the strings hold copies
    EXPECT_EQ(Text(s), u"Instrument ready");
    EXPECT_EQ(Text(fromKeys), u"Instrument ready");
    EXPECT_TRUE(s.LoadTxt(10, 21));  // an empty text is still a text
    EXPECT_TRUE(s.IsEmpty());
    s = u"old";
    EXPECT_FALSE(s.LoadTxt(0xFFFFFFFFul, 0));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_TRUE(StringC(20u, 10u).IsEmpty());
    // Keys are 32 bits: a wider unsigned long reaches the accessor as its low half.
    EXPECT_TRUE(s.LoadTxt(static_cast<unsigned long>(~0ull << 32 | 10u), 20));
    EXPECT_EQ(Text(s), u"changed later");

    Bridge::setTokenAccessor(nullptr);
    EXPECT_EQ(Bridge::getToken(10, 20), nullptr);
}

}  // namespace
