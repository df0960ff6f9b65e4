// Logging under real concurrency: many threads through the manager into two
// file sinks, direct writes to one sink, and registration changes and mask
// changes while others log. Every line must arrive once, whole and in each
// thread's order.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <fstream>
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

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Checks that `lines` hold exactly kThreads * kMessages well-formed lines,
// each (thread, message) once and every thread's messages in order.
void ExpectEveryLineOnceAndWhole(const std::vector<std::string>& lines) {
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kMessages));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int thread = -1, lineNo = -1, message = -1, consumed = 0;
        const int fields = std::sscanf(line.c_str(), "worker.cpp (%d): t%d m%d %n", &lineNo,
                                       &thread, &message, &consumed);
        ASSERT_EQ(fields, 3) << line;
        ASSERT_GE(thread, 0);
        ASSERT_LT(thread, kThreads);
        EXPECT_EQ(lineNo, 100 + thread) << line;
        EXPECT_EQ(line.substr(consumed), kPadding) << line;
        EXPECT_EQ(message, next[thread]) << line;
        next[thread] = message + 1;
    }
}

void LogFromWorkers(unsigned long mask) {
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([t, mask] {
            for (int i = 0; i < kMessages; ++i)
                LogManagementC::Log("worker.cpp", 100 + t, mask, "t%d m%d %s", t, i,
                                    kPadding.c_str());
        });
    }
    for (std::thread& w : workers) w.join();
}

class CountingSink : public LogSinkI {
public:
    explicit CountingSink(std::atomic<long>* received) : m_received(received) {}
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        if (text[0] == 't') m_received->fetch_add(1, std::memory_order_relaxed);
    }

private:
    std::atomic<long>* m_received;
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
    LogFromWorkers(LogSinkI::LOG_AppMessage);
    LogManagementC::Cleanup();  // closes both files
    ExpectEveryLineOnceAndWhole(ReadLines(CardFile("one.log")));
    ExpectEveryLineOnceAndWhole(ReadLines(CardFile("two.log")));
}

TEST_F(LoggingThreads, DirectWritesToOneSinkSerialise) {
    {
        FileLogC sink("direct.log");
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t) {
            workers.emplace_back([t, &sink] {
                char text[256];
                for (int i = 0; i < kMessages; ++i) {
                    std::snprintf(text, sizeof text, "t%d m%d %s", t, i, kPadding.c_str());
                    sink.LogMessage("worker.cpp", 100 + t, LogSinkI::LOG_DevMessage, text);
                }
            });
        }
        for (std::thread& w : workers) w.join();
    }
    ExpectEveryLineOnceAndWhole(ReadLines(CardFile("direct.log")));
}

TEST_F(LoggingThreads, RegistrationAndMaskChangesDuringLogging) {
    LogManagementC::AddSink(new FileLogC("steady.log"));
    std::atomic<long> received{0};
    auto* toggled = new CountingSink(&received);
    LogManagementC::AddSink(toggled);

    std::atomic<bool> stop{false};
    std::atomic<int> churns{0};
    std::thread churner([&] {
        while (!stop.load()) {
            auto* destroyed = new CountingSink(&received);
            auto* handedBack = new CountingSink(&received);
            EXPECT_TRUE(LogManagementC::AddSink(destroyed));
            EXPECT_TRUE(LogManagementC::AddSink(handedBack));
            EXPECT_FALSE(LogManagementC::AddSink(destroyed));
            EXPECT_TRUE(LogManagementC::RemoveSink(destroyed, true));
            EXPECT_TRUE(LogManagementC::RemoveSink(handedBack, false));
            delete handedBack;
            churns.fetch_add(1);
        }
    });
    std::thread masker([&] {
        // The sink stays registered; only its mask flips, without a lock.
        for (int i = 0; !stop.load(); ++i)
            toggled->SetLogMask(i % 2 ? LogSinkI::LOG_None : LogSinkI::LOG_All);
    });

    LogFromWorkers(LogSinkI::LOG_AppMessage);
    // Keep churning until the churner has surely overlapped some logging.
    while (churns.load() < 10) std::this_thread::yield();
    stop.store(true);
    churner.join();
    masker.join();

    LogManagementC::Cleanup();
    ExpectEveryLineOnceAndWhole(ReadLines(CardFile("steady.log")));
    EXPECT_LE(received.load(), 3L * kThreads * kMessages);
}

}  // namespace
