// Logging under real concurrency: many threads through the manager into two
// file sinks, direct writes to one sink, and registration and mask changes
// while others log. Every line must arrive once, whole and in its thread's
// order.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using UTL::FileLogC;
using UTL::LogManagementC;
using UTL::LogSinkI;

constexpr int kThreads = 4;
constexpr int kMessages = 2000;
const std::string kPadding(120, 'p');  // long lines make tearing visible

void RunWorkers(const std::function<void(int thread, int message)>& logOne) {
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([t, &logOne] {
            for (int i = 0; i < kMessages; ++i) logOne(t, i);
        });
    for (std::thread& w : workers) w.join();
}

void LogThroughManager(int t, int i) {
    LogManagementC::Log("worker.cpp", 100 + t, LogSinkI::LOG_AppMessage, "t%d m%d %s", t, i,
                        kPadding.c_str());
}

void ExpectEveryLineOnceAndWhole(const std::string& path) {
    std::ifstream in(path);
    std::vector<int> next(kThreads, 0);
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        int lineNo = -1, t = -1, i = -1, consumed = 0;
        ASSERT_EQ(
            std::sscanf(line.c_str(), "worker.cpp (%d): t%d m%d %n", &lineNo, &t, &i, &consumed), 3)
            << line;
        ASSERT_TRUE(t >= 0 && t < kThreads && lineNo == 100 + t) << line;
        EXPECT_EQ(line.substr(consumed), kPadding) << line;
        EXPECT_EQ(i, next[t]++) << line;
    }
    EXPECT_EQ(lines, kThreads * kMessages);
}

struct CountingSink : LogSinkI {
    explicit CountingSink(std::atomic<long>* received) : received(received) {}
    void LogMessage(const char*, int, unsigned long, const char*) const override { ++*received; }
    std::atomic<long>* received;
};

class LoggingThreads : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/utl_logthreads_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_card = pattern;
        BSS::HAL::PathMapC::setCFCardPath(m_card.c_str());
        LogManagementC::Cleanup();
        LogManagementC::Instance();  // created before any other thread logs
    }
    void TearDown() override {
        LogManagementC::Cleanup();
        BSS::HAL::PathMapC::setCFCardPath(nullptr);
        (void)std::system(("rm -rf '" + m_card + "'").c_str());
    }
    std::string CardFile(const char* name) const { return m_card + "/" + name; }

    std::string m_card;
};

TEST_F(LoggingThreads, ManyThreadsIntoTwoFileSinksLoseAndTearNothing) {
    LogManagementC::AddSink(new FileLogC("one.log"));
    LogManagementC::AddSink(new FileLogC("two.log"));
    RunWorkers(LogThroughManager);
    LogManagementC::Cleanup();  // closes both files
    ExpectEveryLineOnceAndWhole(CardFile("one.log"));
    ExpectEveryLineOnceAndWhole(CardFile("two.log"));
}

TEST_F(LoggingThreads, DirectWritesToOneSinkSerialise) {
    {
        FileLogC sink("direct.log");
        RunWorkers([&sink](int t, int i) {
            char text[256];
            std::snprintf(text, sizeof text, "t%d m%d %s", t, i, kPadding.c_str());
            sink.LogMessage("worker.cpp", 100 + t, LogSinkI::LOG_DevMessage, text);
        });
    }
    ExpectEveryLineOnceAndWhole(CardFile("direct.log"));
}

TEST_F(LoggingThreads, RegistrationAndMaskChangesDuringLogging) {
    LogManagementC::AddSink(new FileLogC("steady.log"));
    std::atomic<long> received{0};
    auto* toggled = new CountingSink(&received);
    LogManagementC::AddSink(toggled);

    std::atomic<bool> stop{false};
    std::atomic<int> churns{0};
    std::thread churner([&] {
        while (!stop) {
            auto* destroyed = new CountingSink(&received);
            auto* handedBack = new CountingSink(&received);
            EXPECT_TRUE(LogManagementC::AddSink(destroyed));
            EXPECT_TRUE(LogManagementC::AddSink(handedBack));
            EXPECT_FALSE(LogManagementC::AddSink(destroyed));
            EXPECT_TRUE(LogManagementC::RemoveSink(destroyed, true));
            EXPECT_TRUE(LogManagementC::RemoveSink(handedBack, false));
            delete handedBack;
            ++churns;
        }
    });
    std::thread masker([&] {  // the mask flips without any lock
        for (int i = 0; !stop; ++i)
            toggled->SetLogMask(i % 2 ? LogSinkI::LOG_None : LogSinkI::LOG_All);
    });

    RunWorkers(LogThroughManager);
    while (churns < 10) std::this_thread::yield();
    stop = true;
    churner.join();
    masker.join();
    LogManagementC::Cleanup();
    ExpectEveryLineOnceAndWhole(CardFile("steady.log"));
    EXPECT_LE(received.load(), 3L * kThreads * kMessages);
}

}  // namespace
