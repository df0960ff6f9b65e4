// A child of fork() whose parent was logging and formatting on another thread
// at the moment of the fork can log, format and report a fault: the library's
// locks are usable again in the child. (Not run under ThreadSanitizer, which
// keeps the locks that the child resets held in its books and so reports
// races and lock-order inversions with the parent's vanished threads.)
#include <gtest/gtest.h>

#include <UTL/StringC.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "crash_test_support.h"

using namespace crashtest;

namespace {

std::atomic<bool> g_inside{false};

// Holds the log manager's lock for a while on the thread that logs.
struct SlowSinkC : UTL::LogSinkI {
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        if (std::strcmp(text, "lvswprintf\n") != 0) return;
        g_inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
};

TEST(ForkChild, LogsFormatsAndReportsWhileAParentThreadHeldTheLocks) {
    SlowSinkC* sink = new SlowSinkC;
    ASSERT_TRUE(UTL::LogManagementC::AddSink(sink));
    // A format whose double is out of range logs twice: the fork comes while
    // this thread holds the manager's lock, inside a sink.
    std::thread busy([] {
        StringC text;
        text.Format(u"%f", 1e300);
    });
    while (!g_inside) std::this_thread::yield();
    const Outcome r = RunReporting([] {
        UTL::LogManagementC::Log(__FILE__, __LINE__, 0, "child logs\n");
        StringC text;
        text.Format(u"%d", 7);
        if (text != StringC(u"7")) return 1;
        ExceptionHandlerC guard;
        return Caught(NullWrite) ? 0 : 2;
    });
    busy.join();
    EXPECT_TRUE(UTL::LogManagementC::RemoveSink(sink, true));
    EXPECT_TRUE(r.Exited(0)) << r;
    EXPECT_NE(r.log.find("child logs\n"), std::string::npos) << r;
    EXPECT_EQ(CountOf(r.report, "Exception start"), 1) << r;
}

}  // namespace
