// The log manager: default sink, registration and ownership, formatting
// (against the C library) and the behaviour around throwing sinks.
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <cfenv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using UTL::LogManagementC;
using UTL::LogSinkI;

struct Record {
    std::string sink, file, text;
    int line;
};
std::vector<Record> g_journal;  // what the recording sinks received, in order
int g_destroyed = 0;

class RecordingSink : public LogSinkI {
public:
    explicit RecordingSink(std::string name, unsigned long mask = LOG_All) : m_name(name) {
        SetLogMask(mask);
    }
    ~RecordingSink() override { ++g_destroyed; }
    void LogMessage(const char* file, int line, unsigned long, const char* text) const override {
        g_journal.push_back({m_name, file ? file : "(null)", text, line});
    }

private:
    std::string m_name;
};

struct ThrowingSink : LogSinkI {
    void LogMessage(const char*, int, unsigned long, const char*) const override {
        throw std::runtime_error("sink failed");
    }
};

struct ThrowingDestructorSink : LogSinkI {
    ~ThrowingDestructorSink() noexcept(false) override { throw std::runtime_error("dtor"); }
    void LogMessage(const char*, int, unsigned long, const char*) const override {}
};

class LogManager : public ::testing::Test {
protected:
    void SetUp() override {
        LogManagementC::Cleanup();
        g_journal.clear();
        g_destroyed = 0;
    }
    void TearDown() override { LogManagementC::Cleanup(); }
};

TEST_F(LogManager, DispatchesToAcceptingSinksInRegistrationOrder) {
    // A fresh manager has only its silent default sink.
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_None, "nobody hears %d", 1);
    EXPECT_TRUE(g_journal.empty());

    auto* first = new RecordingSink("first");
    EXPECT_TRUE(LogManagementC::AddSink(first));
    EXPECT_FALSE(LogManagementC::AddSink(first));  // registered once only
    EXPECT_FALSE(LogManagementC::AddSink(nullptr));
    LogManagementC::AddSink(new RecordingSink("app", LogSinkI::LOG_AppMessage));
    LogManagementC::AddSink(new RecordingSink("second"));

    LogManagementC::Log("src/a.cpp", 56, LogSinkI::LOG_DevMessage,
                        "Writing Exception information to %s\n", "/tmp/app.RPT");
    ASSERT_EQ(g_journal.size(), 2u);
    EXPECT_EQ(g_journal[0].sink, "first");
    EXPECT_EQ(g_journal[1].sink, "second");
    for (const Record& r : g_journal) {
        EXPECT_EQ(r.text, "Writing Exception information to /tmp/app.RPT\n");  // nothing added
        EXPECT_EQ(r.file, "src/a.cpp");
        EXPECT_EQ(r.line, 56);
    }

    g_journal.clear();
    const char* noFormat = nullptr;
    LogManagementC::Log(nullptr, -3, LogSinkI::LOG_None, noFormat);
    ASSERT_EQ(g_journal.size(), 3u);   // a mask of 0 is accepted everywhere
    EXPECT_EQ(g_journal[1].text, "");  // a null format gives an empty text
    EXPECT_EQ(g_journal[1].file, "(null)");
}

TEST_F(LogManager, RemoveSinkHandsBackOrDestroysAndKeepsTheOrder) {
    auto* kept = new RecordingSink("kept");
    auto* destroyed = new RecordingSink("destroyed");
    LogManagementC::AddSink(new RecordingSink("a"));
    LogManagementC::AddSink(kept);
    LogManagementC::AddSink(destroyed);
    LogManagementC::AddSink(new RecordingSink("b"));

    EXPECT_TRUE(LogManagementC::RemoveSink(destroyed, true));
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_TRUE(LogManagementC::RemoveSink(kept, false));
    // No longer registered: refused, and not destroyed whatever the flag says.
    EXPECT_FALSE(LogManagementC::RemoveSink(kept, true));
    EXPECT_FALSE(LogManagementC::RemoveSink(nullptr, true));
    EXPECT_EQ(g_destroyed, 1);

    LogManagementC::Log("f", 1, 0, "x");
    ASSERT_EQ(g_journal.size(), 2u);
    EXPECT_EQ(g_journal[0].sink, "a");
    EXPECT_EQ(g_journal[1].sink, "b");
    delete kept;  // owned by us again
}

TEST_F(LogManager, CleanupDestroysEverySinkAndStartsAfresh) {
    LogManagementC::AddSink(new RecordingSink("a"));
    LogManagementC::AddSink(new RecordingSink("b"));
    LogManagementC::Cleanup();
    LogManagementC::Cleanup();  // no manager: nothing happens
    EXPECT_EQ(g_destroyed, 2);

    LogManagementC::Log("f", 1, 0, "x");  // the new manager has only a default sink
    EXPECT_TRUE(g_journal.empty());

    // A throwing sink destructor is swallowed; the sinks after it are skipped.
    LogManagementC::AddSink(new RecordingSink("before"));
    LogManagementC::AddSink(new ThrowingDestructorSink);
    auto* after = new RecordingSink("after");
    LogManagementC::AddSink(after);
    EXPECT_NO_THROW(LogManagementC::Cleanup());
    EXPECT_EQ(g_destroyed, 3);
    delete after;
}

TEST_F(LogManager, ExceptionFromASinkReachesTheCallerAndReleasesTheLock) {
    LogManagementC::AddSink(new RecordingSink("before"));
    LogManagementC::AddSink(new ThrowingSink);
    LogManagementC::AddSink(new RecordingSink("after"));
    EXPECT_THROW(LogManagementC::Log("f", 1, 0, "boom"), std::runtime_error);
    ASSERT_EQ(g_journal.size(), 1u);  // the sinks after it got nothing

    // Another thread can take the manager lock; a blocked thread cannot be
    // joined, so a timeout ends the program.
    std::packaged_task<void()> task([] {
        LogManagementC::Log("f", 1, LogSinkI::LOG_DevMessage, "quiet");
        LogManagementC::AddSink(new RecordingSink("late"));
    });
    auto done = task.get_future();
    std::thread(std::move(task)).detach();
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the manager lock was not released";
        std::_Exit(1);
    }
}

// Logs `format` with `args` and expects the text snprintf gives for them.
template <typename... Args>
void ExpectSameAsCLibrary(const char* format, Args... args) {
    g_journal.clear();
    LogManagementC::Log("f", 1, 0, format, args...);
    char expected[1024];
    std::snprintf(expected, sizeof expected, format, args...);
    ASSERT_EQ(g_journal.size(), 1u);
    EXPECT_EQ(g_journal[0].text, expected) << "format: " << format;
}

TEST_F(LogManager, FormattingMatchesTheCLibrary) {
    LogManagementC::AddSink(new RecordingSink("s"));
    const double inf = std::numeric_limits<double>::infinity();
    const char* volatile noText = nullptr;  // hidden from the compiler's format checks
    ExpectSameAsCLibrary("%d|%i|%u|%x|%X", INT_MIN, INT_MAX, 0u, 0xDEADBEEFu, 0xABCu);
    ExpectSameAsCLibrary("%ld %li %lu %lx %lX", LONG_MIN, LONG_MAX, ULONG_MAX, 0ul, ULONG_MAX);
    ExpectSameAsCLibrary("%c%c%c|%s and %s", 'a', 0xE9, 0, "", static_cast<const char*>(noText));
    ExpectSameAsCLibrary("100%% sure, %s%% trailing %", "really");
    ExpectSameAsCLibrary("%5d|%-4s|%05x|%+d|%#x|%lld|%zu", 42, "ab", 255u, 3, 16u, -5LL,
                         std::size_t{7});
    ExpectSameAsCLibrary("%e %g %a %f %.0f %.f %.2f %.2f", 1.5, 1e-4, 1.0, 3.14159, 0.5, 1.5, 0.125,
                         0.375);
    ExpectSameAsCLibrary("%.0f %.0f %.3f %.3f %f %f %f %lf", 2.5, -0.4, -0.0, 1e16 + 2, -inf,
                         std::nan(""), 1e20, 2.0);
    ExpectSameAsCLibrary("%.17f %.99f %.100f", 0.1, 1.0 / 3.0, 2.0 / 3.0);

    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int> precision(0, 20), exponent(-30, 40);
    for (int i = 0; i < 2000 && !HasFailure(); ++i) {
        const double value =
            std::ldexp(static_cast<double>(random() >> 11), exponent(random) - 53) *
            (i % 2 ? -1 : 1);
        ExpectSameAsCLibrary(("%." + std::to_string(precision(random)) + "f").c_str(), value);
    }

    std::fesetround(FE_UPWARD);  // printf rounds by the current mode
    ExpectSameAsCLibrary("%.1f %.0f %.2f", 0.25, -1.5, 1.0 / 3.0);
    std::fesetround(FE_TONEAREST);
}

TEST_F(LogManager, LongMessagesAreCutToTheBuffer) {
    LogManagementC::AddSink(new RecordingSink("s"));
    const std::string half(600, 'h');
    LogManagementC::Log("f", 1, 0, "%s!", std::string(5000, 'x').c_str());
    LogManagementC::Log("f", 1, 0, "%s", std::string(1023, 'y').c_str());
    LogManagementC::Log("f", 1, 0, "%s%d%s%.3f", half.c_str(), 123456, half.c_str(), 2.5);
    LogManagementC::Log("f", 1, 0, "%s%5d", std::string(1020, 'w').c_str(), 12);
    ASSERT_EQ(g_journal.size(), 4u);
    EXPECT_EQ(g_journal[0].text, std::string(1023, 'x'));
    EXPECT_EQ(g_journal[1].text, std::string(1023, 'y'));  // exactly full: nothing lost
    EXPECT_EQ(g_journal[2].text, (half + "123456" + half).substr(0, 1023));
    EXPECT_EQ(g_journal[3].text, std::string(1020, 'w') + "   ");
}

}  // namespace
