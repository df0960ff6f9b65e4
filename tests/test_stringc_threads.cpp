// StringC under concurrency: Format shares one result area behind the format
// mutex, and every empty string shares one block across threads.
#include <UTL/LogManagement.h>
#include <UTL/StringC.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

const auto Text = [](const StringC& s) { return std::u16string(static_cast<const char16_t*>(s)); };

TEST(StringThreads, ConcurrentFormatsKeepTheirOwnResults) {
    UTL::LogManagementC::Instance();  // created before the threads: creation is not synchronised
    const std::u16string longFormat(3600, u'L');   // taken as text, without the mutex
    const std::u16string bigArgument(5000, u'B');  // result cut to the area, with a message
    std::vector<StringC> made(6);
    std::atomic<int> wrong{0};
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
                    wrong += Text(s) != longFormat;
                } else if (round % 3 == 1) {
                    s.Format(u"%s", bigArgument.c_str());
                    wrong += Text(s) != bigArgument.substr(0, 4095);
                } else {
                    s.Format(u"thread %d round %d", t, round);
                    const std::string expected =
                        "thread " + std::to_string(t) + " round " + std::to_string(round);
                    wrong += Text(s) != std::u16string(expected.begin(), expected.end());
                }
                wrong += !empty.IsEmpty();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    made.clear();  // blocks made in other threads are released here
}
