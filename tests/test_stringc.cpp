// StringC: shared blocks, copy-on-write, limits, editing, formatting, scanning.
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/StringC.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Block = StringC::DataC;

// Opens the protected members for inspection and direct calls.
class Probe : public StringC {
public:
    using StringC::DeleteStr;
    using StringC::Getpcs;
    using StringC::MakeCopy;
    using StringC::NewStr;
    using StringC::StringC;
    using StringC::operator=;

    // The block of any string (the member pointer names a member of StringC).
    static Block* BlockOf(const StringC& s) {
        Block* (StringC::*get)() = &Probe::Getpcs;
        return (const_cast<StringC&>(s).*get)();
    }
    static unsigned int Refs(const StringC& s) { return BlockOf(s)->GetRefCount(); }
    static Block* SharedEmpty() { return BlockOf(StringC()); }
};

std::u16string Text(const StringC& s) {
    return std::u16string(static_cast<const char16_t*>(s));
}

// ---- Shared blocks ------------------------------------------------------------

TEST(StringBlocks, EveryEmptyStringSharesOneBlock) {
    Block* shared = Probe::SharedEmpty();
    ASSERT_NE(shared, nullptr);
    const StringC fromDefault;
    const StringC fromNullWide(static_cast<const char16_t*>(nullptr));
    const StringC fromEmptyWide(u"");
    const StringC fromNullNarrow(static_cast<const char*>(nullptr));
    const StringC fromEmptyNarrow("");
    const StringC fromMissingToken(12345u, 678u);  // no accessor installed
    for (const StringC* s : {&fromDefault, &fromNullWide, &fromEmptyWide, &fromNullNarrow,
                             &fromEmptyNarrow, &fromMissingToken}) {
        EXPECT_EQ(Probe::BlockOf(*s), shared);
        ASSERT_NE(static_cast<const char16_t*>(*s), nullptr);
        EXPECT_EQ(static_cast<const char16_t*>(*s)[0], u'\0');
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(s->GetLength(), 0);
    }
    // Each holds a reference, beside the block's own.
    EXPECT_GE(shared->GetRefCount(), 7u);
}

TEST(StringBlocks, CopiesShareUntilOneChanges) {
    StringC a(u"a text of some length");
    {
        StringC b(a);
        StringC c;
        c = a;
        EXPECT_EQ(Probe::BlockOf(b), Probe::BlockOf(a));
        EXPECT_EQ(Probe::BlockOf(c), Probe::BlockOf(a));
        EXPECT_EQ(Probe::Refs(a), 3u);
        StringC& same = c;
        c = same;  // itself: nothing changes
        EXPECT_EQ(Probe::Refs(a), 3u);
    }
    EXPECT_EQ(Probe::Refs(a), 1u);
}

TEST(StringBlocks, ShortTextsInlineLongOnesExactlySized) {
    EXPECT_EQ(Probe::BlockOf(StringC(u"abcdefghijk"))->GetMaxLength(), 11u);
    EXPECT_EQ(Probe::BlockOf(StringC(u"abcdefghijkl"))->GetMaxLength(), 12u);
    const StringC narrow("caf\xE9 \xFF and more text");  // byte value = code unit value
    EXPECT_EQ(Probe::BlockOf(narrow)->GetMaxLength(), 20u);
    EXPECT_EQ(Text(narrow), u"caf\u00E9 \u00FF and more text");
}

// Every change through the public interface leaves the sharing strings alone.
TEST(StringBlocks, ChangesCopyASharedBlockFirst) {
    const StringC original(u" \tHello World banana \t");
    const std::u16string before = Text(original);
    using Change = void (*)(StringC&);
    const Change changes[] = {
        [](StringC& s) { s.SetAt(2, u'X'); },   [](StringC& s) { s.ToUpper(); },
        [](StringC& s) { s.ToLower(); },        [](StringC& s) { s.LTrim(); },
        [](StringC& s) { s.RTrim(); },          [](StringC& s) { s.Remove(u'a'); },
        [](StringC& s) { s += u"!"; },          [](StringC& s) { s = u"other"; },
        [](StringC& s) { s.Format(u"%d", 7); }, [](StringC& s) { s.Empty(); },
        [](StringC& s) { s.LoadTxt(1, 2); },  // no accessor: becomes empty
    };
    for (const Change& change : changes) {
        StringC copy(original);
        change(copy);
        EXPECT_EQ(Text(original), before);
        EXPECT_NE(Probe::BlockOf(copy), Probe::BlockOf(original));
        EXPECT_EQ(Probe::Refs(original), 1u);
    }
}

TEST(StringBlocks, AssignedTextReusesAnUnsharedBlockThatFits) {
    Probe s(u"twenty characters...");
    Block* block = s.Getpcs();
    const char16_t* buffer = s;
    s = u"eleven char";
    EXPECT_EQ(s.Getpcs(), block);
    EXPECT_EQ(static_cast<const char16_t*>(s), buffer);
    EXPECT_EQ(Text(s), u"eleven char");

    s = u"twenty-five characters...";
    EXPECT_NE(static_cast<const char16_t*>(s), buffer);
    EXPECT_EQ(Text(s), u"twenty-five characters...");

    // Shared: the other holder keeps the old text.
    StringC other(s);
    s = u"x";
    EXPECT_EQ(Text(other), u"twenty-five characters...");
    EXPECT_EQ(Text(s), u"x");
}

TEST(StringBlocks, EmptyTextKeepsAPrivateBlockButEmptyOnTextReleasesIt) {
    Probe s(u"abc");
    Block* own = s.Getpcs();
    s = u"";
    EXPECT_EQ(s.Getpcs(), own);  // unshared block, empty text
    EXPECT_TRUE(s.IsEmpty());
    s.Empty();  // already empty: stays
    EXPECT_EQ(s.Getpcs(), own);

    Probe t(u"abc");
    t.Empty();
    EXPECT_EQ(t.Getpcs(), Probe::SharedEmpty());
    t = static_cast<const char16_t*>(nullptr);
    EXPECT_EQ(t.Getpcs(), Probe::SharedEmpty());
}

TEST(StringBlocks, AssigningOwnTextInsideItsBuffer) {
    Probe s(u"0123456789abcdef");
    s = static_cast<const char16_t*>(s) + 10;  // overlapping move within the block
    EXPECT_EQ(Text(s), u"abcdef");
    StringC shared(s);
    s = static_cast<const char16_t*>(s) + 2;  // shared: new block built before release
    EXPECT_EQ(Text(s), u"cdef");
    EXPECT_EQ(Text(shared), u"abcdef");
}

TEST(StringBlocks, ProtectedBlockOperations) {
    Probe s(u"a shared text of 25 units");
    StringC other(s);
    s.MakeCopy();
    EXPECT_NE(s.Getpcs(), Probe::BlockOf(other));
    EXPECT_EQ(s.Getpcs()->GetMaxLength(), 25u);  // exactly sized
    Block* own = s.Getpcs();
    s.MakeCopy();    // unshared: nothing changes
    s.NewStr(20ul);  // fits: same block, emptied
    EXPECT_EQ(s.Getpcs(), own);
    EXPECT_TRUE(s.IsEmpty());
    s.NewStr(100ul);  // too small: a new block with room for 100 units
    EXPECT_EQ(s.Getpcs()->GetMaxLength(), 99u);
    s.DeleteStr();
    EXPECT_EQ(s.Getpcs(), nullptr);
    s.NewStr(u"back");
    EXPECT_EQ(Text(s), u"back");
}

// ---- Limits of the 16-bit fields --------------------------------------------

TEST(StringLimits, ReferenceCountNeverWraps) {
    const StringC original(u"shared by very many strings");
    std::vector<StringC> copies(Block::kMaxRefs - 1, original);
    ASSERT_EQ(Probe::Refs(original), Block::kMaxRefs);

    const StringC beyond(original);  // gets its own block with the same text
    EXPECT_NE(Probe::BlockOf(beyond), Probe::BlockOf(original));
    EXPECT_EQ(Text(beyond), Text(original));
    EXPECT_EQ(Probe::Refs(beyond), 1u);
    StringC assigned;
    assigned = original;
    EXPECT_NE(Probe::BlockOf(assigned), Probe::BlockOf(original));
    EXPECT_EQ(Probe::Refs(original), Block::kMaxRefs);

    copies.pop_back();
    StringC again(original);  // room again: shares
    EXPECT_EQ(Probe::BlockOf(again), Probe::BlockOf(original));
}

TEST(StringLimits, EmptyBlockAtItsCeilingHandsOutFreshEmptyBlocks) {
    Block* shared = Probe::SharedEmpty();
    std::vector<StringC> empties(Block::kMaxRefs + 10);
    EXPECT_EQ(shared->GetRefCount(), Block::kMaxRefs);
    int fresh = 0;
    for (const StringC& s : empties) {
        EXPECT_TRUE(s.IsEmpty());
        if (Probe::BlockOf(s) != shared) {
            ++fresh;
            EXPECT_EQ(Probe::Refs(s), 1u);
        }
    }
    EXPECT_GE(fresh, 10);
    empties.clear();
    EXPECT_LT(shared->GetRefCount(), 100u);
}

TEST(StringLimits, LongTextsAreCutAt65534Units) {
    const std::u16string huge(70000, u'x');
    const StringC wide(huge.c_str());
    EXPECT_EQ(wide.GetLength(), 65534);
    EXPECT_EQ(Probe::BlockOf(wide)->GetMaxLength(), 65534u);

    const std::string narrowHuge(70000, 'n');
    const StringC narrow(narrowHuge.c_str());
    EXPECT_EQ(narrow.GetLength(), 65534);
    EXPECT_EQ(narrow.GetAt(65533), u'n');

    StringC assigned(u"short");
    assigned = huge.c_str();
    EXPECT_EQ(assigned.GetLength(), 65534);

    StringC joined(std::u16string(65530, u'a').c_str());
    joined += u"bcdefgh";
    EXPECT_EQ(joined.GetLength(), 65534);
    EXPECT_EQ(Text(joined.Mid(65528)), u"aabcde");
    joined += joined;  // already full: stays as it is
    EXPECT_EQ(joined.GetLength(), 65534);
    EXPECT_EQ(Text(joined.Mid(65530)), u"bcde");

    Probe sized(u"");
    sized.NewStr(1000000ul);  // room is capped at 65534 units and a terminator
    EXPECT_EQ(sized.Getpcs()->GetMaxLength(), 65534u);
}

// ---- Access -------------------------------------------------------------------

TEST(StringAccess, GetAtAndSubscriptOutsideTheTextGiveZero) {
    const StringC s(u"abc");
    EXPECT_EQ(s.GetAt(0), u'a');
    EXPECT_EQ(s[2], u'c');
    EXPECT_EQ(s.GetAt(3), u'\0');  // the terminator
    for (int index : {-1, 4, 11, 12, 1000, INT_MAX, INT_MIN}) {
        EXPECT_EQ(s.GetAt(index), u'\0') << index;
        EXPECT_EQ(s[index], u'\0') << index;
    }
    // Units left behind a shorter text in a reused buffer are not text.
    StringC reused(u"a long text in a heap buffer");
    reused = u"hi";
    EXPECT_EQ(reused.GetAt(5), u'\0');
    EXPECT_EQ(reused.GetAt(2), u'\0');
}

TEST(StringAccess, SetAtWritesInsideTheTextOnly) {
    StringC s(u"abc");
    StringC copy(s);
    for (int index : {-1, 3, 4, 100, INT_MIN}) s.SetAt(index, u'X');
    EXPECT_EQ(Text(s), u"abc");
    EXPECT_EQ(Probe::BlockOf(s), Probe::BlockOf(copy));  // nothing written, still shared
    s.SetAt(2, u'\u263A');
    EXPECT_EQ(Text(s), u"ab\u263A");
    s.SetAt(1, u'\0');  // cuts the text
    EXPECT_EQ(s.GetLength(), 1);
    EXPECT_EQ(s.GetAt(2), u'\0');
    StringC empty;
    empty.SetAt(0, u'x');
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(StringAccess, FindCountsFromTheStartOfTheString) {
    const StringC s(u"abcabc");
    EXPECT_EQ(s.Find(u'b'), 1);
    EXPECT_EQ(s.Find(u'b', 2), 4);
    EXPECT_EQ(s.Find(u'b', 4), 4);
    EXPECT_EQ(s.Find(u'z'), -1);
    EXPECT_EQ(s.Find(u'\0'), 6);
    EXPECT_EQ(s.Find(u'\0', 6), 6);
    EXPECT_EQ(s.Find(u'a', 6), -1);
    EXPECT_EQ(s.Find(u'a', -5), 0);  // negative start: from the beginning
    EXPECT_EQ(s.Find(u'a', 7), -1);  // beyond the length
    EXPECT_EQ(s.Find(u'\0', 7), -1);
    EXPECT_EQ(s.Find(u'a', INT_MAX), -1);
    EXPECT_EQ(StringC().Find(u'\0'), 0);
}

// ---- Comparison ---------------------------------------------------------------

TEST(StringCompare, CaseSensitiveAndFolded) {
    const StringC abc(u"abc");
    EXPECT_EQ(abc.Compare(u"ABC", true), 1);
    EXPECT_EQ(abc.Compare(u"ABC", false), 0);
    EXPECT_EQ(abc.Compare(u"abd"), -1);
    EXPECT_EQ(StringC(u"\u00C0x").Compare(u"\u00E0X", false), 0);
    EXPECT_EQ(StringC(u"\uFFFF").Compare(u"a"), 1);  // unsigned units
    EXPECT_TRUE(StringC(u"ABC") < StringC(u"abc"));
    EXPECT_TRUE(abc <= abc && abc >= u"abc" && !(abc < abc) && abc > u"ab");
    EXPECT_TRUE(abc == StringC(u"abc") && abc == u"abc");
    EXPECT_TRUE(abc != u"abC" && abc != StringC(u"abC"));
}

TEST(StringCompare, NullOperandIsTheEmptyText) {
    const char16_t* none = nullptr;
    const StringC abc(u"abc");
    const StringC empty;
    EXPECT_EQ(abc.Compare(none), 1);
    EXPECT_EQ(abc.Compare(none, false), 1);
    EXPECT_EQ(empty.Compare(none), 0);
    EXPECT_TRUE(empty == none && empty <= none);
    EXPECT_TRUE(abc != none && abc > none && abc >= none);
    EXPECT_FALSE(abc < none || abc <= none);
}

// ---- New text -----------------------------------------------------------------

TEST(StringBuild, AppendBuildsAnExactlySizedBlock) {
    StringC s(u"ab");
    s += s;
    EXPECT_EQ(Text(s), u"abab");
    s += StringC(u"-0123456789");
    EXPECT_EQ(Text(s), u"abab-0123456789");
    EXPECT_EQ(Probe::BlockOf(s)->GetMaxLength(), 15u);
    s += static_cast<const char16_t*>(s) + 5;  // a tail of its own text
    EXPECT_EQ(Text(s), u"abab-01234567890123456789");
    const char16_t* none = nullptr;
    s += none;
    EXPECT_EQ(Text(s), u"abab-01234567890123456789");
    StringC empty;
    empty += u"";
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(StringBuild, PlusLeavesItsOperandsAlone) {
    const StringC left(u"left");
    const StringC right(u"right");
    EXPECT_EQ(Text(left + right), u"leftright");
    EXPECT_EQ(Text(left + u"+"), u"left+");
    const char16_t* none = nullptr;
    EXPECT_EQ(Text(left + none), u"left");
    EXPECT_EQ(Text(left), u"left");
    EXPECT_EQ(Text(right), u"right");
}

TEST(StringBuild, MidClampsItsRanges) {
    const StringC s(u"abcdef");
    EXPECT_EQ(Text(s.Mid(-3)), u"abcdef");
    EXPECT_EQ(Text(s.Mid(2)), u"cdef");
    EXPECT_EQ(Text(s.Mid(6)), u"");
    EXPECT_EQ(Text(s.Mid(7)), u"");  // beyond the length
    EXPECT_EQ(Text(s.Mid(INT_MAX)), u"");
    EXPECT_EQ(Text(s.Mid(2, 100)), u"cdef");
    EXPECT_EQ(Text(s.Mid(2, -1)), u"");
    EXPECT_EQ(Text(s.Mid(-2, 3)), u"abc");
    EXPECT_EQ(Text(s.Mid(9, 3)), u"");
    EXPECT_EQ(Text(s.Mid(INT_MIN, INT_MIN)), u"");
    // A new, exactly sized block, never the original.
    const StringC longer(u"0123456789abcdefghij");
    EXPECT_EQ(Probe::BlockOf(longer.Mid(4))->GetMaxLength(), 16u);
    EXPECT_NE(Probe::BlockOf(longer.Mid(0)), Probe::BlockOf(longer));
}

// ---- Changes in place ---------------------------------------------------------

TEST(StringEdit, TrimsTakeSpacesAndTabs) {
    StringC left(u" \tx ");
    left.LTrim();
    EXPECT_EQ(Text(left), u"x ");
    StringC right(u" \tx ");
    right.RTrim();
    EXPECT_EQ(Text(right), u" \tx");
    StringC blanks(u"  ");
    blanks.RTrim();
    EXPECT_TRUE(blanks.IsEmpty());
    StringC other(u"\nx\r");  // only space and tab are blanks
    other.LTrim();
    other.RTrim();
    EXPECT_EQ(Text(other), u"\nx\r");
}

TEST(StringEdit, RemoveDeletesEveryOccurrence) {
    StringC s(u"banana");
    EXPECT_EQ(s.Remove(u'a'), 3);
    EXPECT_EQ(Text(s), u"bnn");
    EXPECT_EQ(s.Remove(u'z'), 0);
    EXPECT_EQ(s.Remove(u'\0'), 0);
    EXPECT_EQ(Text(s), u"bnn");
    StringC all(u"aaaaaaaaaaaaaaaaaaaa");
    EXPECT_EQ(all.Remove(u'a'), 20);
    EXPECT_TRUE(all.IsEmpty());
}

TEST(StringEdit, CaseMappingFollowsTheLibraryTable) {
    StringC s(u"Stra\u00DFe \u00E9t\u00E9 \u0161 \u00FF");
    s.ToUpper();
    EXPECT_EQ(Text(s), u"STRA\u00DFE \u00C9T\u00C9 \u0160 \u00FF");
    s.ToLower();
    EXPECT_EQ(Text(s), u"stra\u00DFe \u00E9t\u00E9 \u0161 \u00FF");
    StringC empty;
    empty.ToUpper();
    EXPECT_EQ(Probe::BlockOf(empty), Probe::SharedEmpty());
}

// ---- Formatting -----------------------------------------------------------------

// Collects the library's developer messages.
class CapturingSink : public UTL::LogSinkI {
public:
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        messages->push_back(text);
    }
    std::shared_ptr<std::vector<std::string>> messages =
        std::make_shared<std::vector<std::string>>();
};

TEST(StringFormat, NumbersAndTexts) {
    StringC s;
    EXPECT_EQ(s.Format(u"%s: %5d items, %.3f m, %c", u"Station", 42, 12.5, 0x263A), 0);
    EXPECT_EQ(Text(s), u"Station:    42 items, 12.500 m, \u263A");
    s.Format(u"[%s|%S]", static_cast<const char16_t*>(s.Mid(0, 3)), "narrow");
    EXPECT_EQ(Text(s), u"[Sta|narrow]");
    s.Format(u"%s and %s", static_cast<const char16_t*>(s), static_cast<const char16_t*>(s));
    EXPECT_EQ(Text(s), u"[Sta|narrow] and [Sta|narrow]");
}

TEST(StringFormat, EmptyNullAndFailingFormatsEmptyTheString) {
    StringC s(u"before");
    EXPECT_EQ(s.Format(u""), 0);
    EXPECT_TRUE(s.IsEmpty());
    s = u"before";
    EXPECT_EQ(s.Format(nullptr), 0);
    EXPECT_TRUE(s.IsEmpty());
    s = u"before";
    s.Format(u"%f", 2e50);  // the engine refuses the value: no text
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StringFormat, FormatsOver3500UnitsAreTakenAsText) {
    std::u16string format(3500, u'a');
    format.replace(0, 2, u"%d");
    StringC s;
    s.Format(format.c_str(), 7);
    EXPECT_EQ(s.GetLength(), 3499);  // processed: "%d" became "7"
    EXPECT_EQ(s.GetAt(0), u'7');

    format += u'b';  // 3501 units
    EXPECT_EQ(s.Format(format.c_str(), 7), 0);
    EXPECT_EQ(Text(s), format);
}

TEST(StringFormat, ResultsAreCutToTheArea) {
    CapturingSink* sink = new CapturingSink;
    auto messages = sink->messages;
    sink->SetLogMask(UTL::LogSinkI::LOG_DevMessage);
    ASSERT_TRUE(UTL::LogManagementC::AddSink(sink));

    const std::u16string big(5000, u'q');
    StringC s;
    s.Format(u"<%s>", big.c_str());
    EXPECT_EQ(s.GetLength(), 4095);
    EXPECT_EQ(Text(s), u"<" + std::u16string(4094, u'q'));
    ASSERT_EQ(messages->size(), 1u);
    EXPECT_EQ(messages->front(), "lwcslen( szResult ) < 4096\n");

    s.Format(u"%s", std::u16string(4094, u'r').c_str());  // fits: no message
    EXPECT_EQ(s.GetLength(), 4094);
    EXPECT_EQ(messages->size(), 1u);

    EXPECT_TRUE(UTL::LogManagementC::RemoveSink(sink, true));
}

// ---- Scanning -------------------------------------------------------------------

TEST(StringScan, SkipsLeadingSpacesButNotTabs) {
    int a = 0, b = 0;
    EXPECT_EQ(StringC(u"   12 34").Scan(u"%d %d", &a, &b), 2);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);

    char16_t unit[4] = {};
    StringC(u"   x").Scan(u"%c", unit);
    EXPECT_EQ(std::u16string(unit), u"x");
    StringC(u"\tx").Scan(u"%c", unit);  // the tab is the first character
    EXPECT_EQ(std::u16string(unit), u"\t");

    double d = 0;
    float f = 0;
    EXPECT_EQ(StringC(u"1.5;2.25").Scan(u"%f;%lf", &f, &d), 2);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(d, 2.25);
}

TEST(StringScan, NullFormatOrEmptyTextReadNothing) {
    int a = 5;
    EXPECT_EQ(StringC(u"12").Scan(nullptr, &a), 0);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(StringC(u"   ").Scan(u"%d", &a), -1);
    EXPECT_EQ(a, 5);
}

}  // namespace
