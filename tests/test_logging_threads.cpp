// Logging under real concurrency: every line must arrive once, whole and in
// its thread's order, also while sinks come and go.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using UTL::FileLogC;
using UTL::LogManagementC;
using UTL::LogSinkI;
constexpr int kThreads = 4, kMessages = 2000;
const std::string kPadding(120, 'p');  // long lines make tearing visible

void RunWorkers(const std::function<void(int thread, int message)>& logOne) {
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([t, &logOne] {
            for (int i = 0; i < kMessages; ++i) logOne(t, i);
        });
    for (std::thread& w : workers) w.join();
}

void ExpectEveryLineOnceAndWhole(const std::string& path) {
    std::ifstream in(path);
    std::vector<int> next(kThreads, 0);
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        int lineNo = -1, t = -1, i = -1, end = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "worker.cpp (%d): t%d m%d %n", &lineNo, &t, &i, &end),
                  3);
        ASSERT_TRUE(t >= 0 && t < kThreads && lineNo == 100 + t) << line;
        EXPECT_TRUE(line.substr(end) == kPadding && i == next[t]++) << line;
    }
    EXPECT_EQ(lines, kThreads * kMessages);
}

struct NullSink : LogSinkI {
    void LogMessage(const char*, int, unsigned long, const char*) const override {}
};

// Threads log through the manager into two file sinks while another thread
// registers and removes sinks and flips a mask; then threads write directly
// to one file sink (serialised by the file output lock).
TEST(LoggingThreads, NoLineLostOrTorn) {
    char dir[] = "/tmp/utl_logthreads_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    BSS::HAL::PathMapC::setCFCardPath(dir);
    LogManagementC::AddSink(new FileLogC("one.log"));  // creates the manager first
    LogManagementC::AddSink(new FileLogC("two.log"));
    auto* toggled = new NullSink;
    LogManagementC::AddSink(toggled);
    std::atomic<bool> stop{false};
    std::thread churner([&] {
        for (int i = 0; !stop || i < 10; ++i) {
            auto* sink = new NullSink;
            EXPECT_TRUE(LogManagementC::AddSink(sink) && !LogManagementC::AddSink(sink));
            EXPECT_TRUE(LogManagementC::RemoveSink(sink, i % 2 == 0));  // destroyed or handed back
            if (i % 2) delete sink;
            toggled->SetLogMask(i % 2 ? LogSinkI::LOG_None : LogSinkI::LOG_All);  // without a lock
        }
    });
    RunWorkers([](int t, int i) {
        LogManagementC::Log("worker.cpp", 100 + t, 2, "t%d m%d %s", t, i, kPadding.c_str());
    });
    stop = true;
    churner.join();
    LogManagementC::Cleanup();  // closes both files
    {
        FileLogC sink("direct.log");
        RunWorkers([&sink](int t, int i) {
            const std::string text = "t" + std::to_string(t) + " m" + std::to_string(i) + " ";
            sink.LogMessage("worker.cpp", 100 + t, 4, (text + kPadding).c_str());
        });
    }
    for (const char* name : {"/one.log", "/two.log", "/direct.log"})
        ExpectEveryLineOnceAndWhole(dir + std::string(name));
    BSS::HAL::PathMapC::setCFCardPath(nullptr);
    (void)std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

}  // namespace
