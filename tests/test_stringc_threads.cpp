// StringC under real concurrency: Format shares one result area behind the
// format mutex, and every empty string shares one block across threads.
#include <UTL/LogManagement.h>
#include <UTL/StringC.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 6;
constexpr int kRounds = 400;

std::u16string Text(const StringC& s) {
    return std::u16string(static_cast<const char16_t*>(s));
}

std::u16string Widen(const std::string& narrow) {
    return std::u16string(narrow.begin(), narrow.end());
}

// Runs `body(thread index)` on kThreads threads released together.
template <typename Body>
void RunTogether(Body body) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            body(t);
        });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
}

TEST(StringThreads, ConcurrentFormatsKeepTheirOwnResults) {
    std::atomic<int> wrong{0};
    RunTogether([&](int t) {
        StringC own;
        StringC label(u"thread-");
        for (int round = 0; round < kRounds; ++round) {
            own.Format(u"%s%d round %05d value %.2f", static_cast<const char16_t*>(label), t, round,
                       t + round / 4.0);
            char expected[96];
            std::snprintf(expected, sizeof expected, "thread-%d round %05d value %.2f", t, round,
                          t + round / 4.0);
            if (Text(own) != Widen(expected)) ++wrong;
        }
    });
    EXPECT_EQ(wrong.load(), 0);
}

TEST(StringThreads, LongFormatsAndCutResultsBesideShortOnes) {
    UTL::LogManagementC::Instance();  // created before the threads: creation is not synchronised
    const std::u16string longFormat(3600, u'L');   // taken as text, without the mutex
    const std::u16string bigArgument(5000, u'B');  // result cut to the area
    std::atomic<int> wrong{0};
    RunTogether([&](int t) {
        StringC s;
        for (int round = 0; round < kRounds / 4; ++round) {
            switch ((t + round) % 3) {
                case 0:
                    s.Format(longFormat.c_str(), 1, 2, 3);
                    if (Text(s) != longFormat) ++wrong;
                    break;
                case 1:
                    s.Format(u"%s", bigArgument.c_str());
                    if (s.GetLength() != 4095 || s.GetAt(4094) != u'B') ++wrong;
                    break;
                default:
                    s.Format(u"%d", t);
                    if (Text(s) != Widen(std::to_string(t))) ++wrong;
            }
        }
    });
    EXPECT_EQ(wrong.load(), 0);
}

TEST(StringThreads, EmptyStringsShareOneBlockAcrossThreads) {
    std::atomic<int> wrong{0};
    RunTogether([&](int t) {
        for (int round = 0; round < kRounds; ++round) {
            StringC a;
            StringC b(u"");
            StringC c(a);
            c = b;
            StringC d(u"x");
            d.Empty();
            d += u"y";
            d.Format(u"");  // an empty result: the shared empty block again
            if (!a.IsEmpty() || !c.IsEmpty() || !d.IsEmpty() || t < 0) ++wrong;
        }
    });
    EXPECT_EQ(wrong.load(), 0);
}

TEST(StringThreads, StringsHandedOverAtJoinAreReleasedElsewhere) {
    std::vector<StringC> made(kThreads);
    RunTogether([&](int t) {
        for (int round = 0; round < 50; ++round) {
            made[t].Format(u"made by %d in round %d, long enough for a heap buffer", t, round);
        }
    });
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(made[t].Find(u'0' + t), 8);
    }
    made.clear();  // blocks from other threads end in this thread's cache
}

}  // namespace
