// StringC under concurrency: Format shares one result area behind the format
// mutex, every empty string shares one block across threads, every moved-from
// string another, and blocks move between the threads' block caches.
#include <UTL/LogManagement.h>
#include <UTL/StringC.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

const auto Text = [](const StringC& s) { return std::u16string(static_cast<const char16_t*>(s)); };

TEST(StringThreads, ConcurrentFormatsKeepTheirOwnResults) {
    UTL::LogManagementC::Instance();  // created before the threads: creation is not synchronised
    const std::u16string longFormat(3600, u'L');   // taken as text, without the mutex
    const std::u16string bigArgument(5000, u'B');  // result cut to the area, with a message
    std::vector<StringC> made(6);
    std::atomic<int> wrongLong{0}, wrongCut{0}, wrongFormatted{0}, notEmpty{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            StringC& s = made[t];
            for (int round = 0; round < 300; ++round) {
                StringC empty(u"x");  // the shared empty block, from every thread
                empty.Empty();
                empty.Format(u"");
                if (round % 3 == 0) {
                    s.Format(longFormat.c_str(), 1, 2);
                    wrongLong += Text(s) != longFormat;
                } else if (round % 3 == 1) {
                    s.Format(u"%s", bigArgument.c_str());
                    wrongCut += Text(s) != bigArgument.substr(0, 4095);
                } else {
                    s.Format(u"thread %d round %d", t, round);
                    const std::string expected =
                        "thread " + std::to_string(t) + " round " + std::to_string(round);
                    wrongFormatted += Text(s) != std::u16string(expected.begin(), expected.end());
                }
                notEmpty += !empty.IsEmpty();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrongLong.load(), 0);  // results that differ from their own call's text
    EXPECT_EQ(wrongCut.load(), 0);
    EXPECT_EQ(wrongFormatted.load(), 0);
    EXPECT_EQ(notEmpty.load(), 0);
    made.clear();  // blocks made in other threads are released here
}

TEST(StringThreads, BlocksOutliveTheThreadThatMadeThem) {
    std::vector<StringC> kept;
    std::thread([&] {
        // Made before the thread's cache is set up, so destroyed after the
        // cache's cleanup at thread exit: its block goes straight to the heap.
        thread_local StringC late(u"released after the cache closed");
        for (int i = 0; i < 40; ++i) {
            StringC passing(u"passing");  // recycled through this thread's cache
            kept.emplace_back(i % 2 ? u"short" : u"a text longer than the inline area");
        }
        std::vector<StringC> burst(40, StringC(u"x"));
        for (StringC& s : burst) s.SetAt(0, u'y');  // 40 private blocks, more than the cache holds
    }).join();  // the cached blocks are freed here (the leak checker would see them)
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(Text(kept[i]), i % 2 ? u"short" : u"a text longer than the inline area");
    }
    kept.clear();  // released on this thread: they join its cache
    StringC reused(u"reused");
    EXPECT_EQ(Text(reused), u"reused");
}

// Every moved-from string on every thread holds the one static empty block;
// moving, copying and releasing it never writes to it.
TEST(StringThreads, MovedFromStringsOnManyThreads) {
    std::atomic<int> notEmpty{0}, wrongLength{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 1000; ++round) {
                StringC source(u"moved between strings");
                StringC target(std::move(source));
                const StringC copyOfEmpty(source);
                source = std::move(target);
                target = copyOfEmpty;
                notEmpty += !target.IsEmpty();
                wrongLength += source.GetLength() != 21;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(notEmpty.load(), 0);
    EXPECT_EQ(wrongLength.load(), 0);
}
