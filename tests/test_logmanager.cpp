// The log manager: default sink, registration, ownership, formatting and the
// behaviour around throwing sinks.
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <cfenv>
#include <chrono>
#include <climits>
#include <clocale>
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
    unsigned long mask;
};

// Journal shared by the recording sinks of one test, in call order.
std::vector<Record> g_journal;
int g_destroyed = 0;

class RecordingSink : public LogSinkI {
public:
    explicit RecordingSink(std::string name, unsigned long mask = LOG_All)
        : m_name(std::move(name)) {
        SetLogMask(mask);
    }
    ~RecordingSink() override { ++g_destroyed; }
    void LogMessage(const char* file, int line, unsigned long mask,
                    const char* text) const override {
        g_journal.push_back({m_name, file ? file : "(null)", text, line, mask});
    }

private:
    std::string m_name;
};

class ThrowingSink : public LogSinkI {
public:
    void LogMessage(const char*, int, unsigned long, const char*) const override {
        throw std::runtime_error("sink failed");
    }
};

class ThrowingDestructorSink : public LogSinkI {
public:
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

TEST_F(LogManager, FreshManagerReachesNoSinkButItsSilentDefault) {
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_DevMessage, "nobody hears %d", 1);
    EXPECT_NE(LogManagementC::Instance(), nullptr);
    EXPECT_TRUE(g_journal.empty());
    // The default sink was registered first and is not handed out: the same
    // sink of ours can still be added exactly once.
    auto* sink = new RecordingSink("a");
    EXPECT_TRUE(LogManagementC::AddSink(sink));
    EXPECT_FALSE(LogManagementC::AddSink(sink));
}

TEST_F(LogManager, DispatchesOnlyToAcceptingSinksInRegistrationOrder) {
    LogManagementC::AddSink(new RecordingSink("first"));
    LogManagementC::AddSink(new RecordingSink("app", LogSinkI::LOG_AppMessage));
    LogManagementC::AddSink(new RecordingSink("second"));

    LogManagementC::Log("src/a.cpp", 56, LogSinkI::LOG_DevMessage, "value %d of %s", 7, "x");
    ASSERT_EQ(g_journal.size(), 2u);
    EXPECT_EQ(g_journal[0].sink, "first");
    EXPECT_EQ(g_journal[1].sink, "second");
    for (const Record& r : g_journal) {
        // Each sink's text is formatted afresh from the same arguments.
        EXPECT_EQ(r.text, "value 7 of x");
        EXPECT_EQ(r.file, "src/a.cpp");
        EXPECT_EQ(r.line, 56);
        EXPECT_EQ(r.mask, LogSinkI::LOG_DevMessage);
    }

    g_journal.clear();
    LogManagementC::Log("f", 1, LogSinkI::LOG_None, "to all");
    EXPECT_EQ(g_journal.size(), 3u);  // a mask of 0 is accepted everywhere
}

TEST_F(LogManager, TextIsExactlyTheFormattedMessage) {
    LogManagementC::AddSink(new RecordingSink("s"));
    LogManagementC::Log("f", 2, LogSinkI::LOG_DevMessage, "Writing Exception information to %s\n",
                        "/tmp/app.RPT");
    ASSERT_EQ(g_journal.size(), 1u);
    EXPECT_EQ(g_journal[0].text, "Writing Exception information to /tmp/app.RPT\n");

    const char* noFormat = nullptr;
    LogManagementC::Log(nullptr, -3, LogSinkI::LOG_DevMessage, noFormat);
    ASSERT_EQ(g_journal.size(), 2u);
    EXPECT_EQ(g_journal[1].text, "");  // a null format gives an empty text
    EXPECT_EQ(g_journal[1].file, "(null)");
    EXPECT_EQ(g_journal[1].line, -3);
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
    ExpectSameAsCLibrary("%d|%i|%u|%x|%X", INT_MIN, INT_MAX, 0u, 0xDEADBEEFu, 0xABCu);
    ExpectSameAsCLibrary("%ld %li %lu %lx %lX", LONG_MIN, LONG_MAX, ULONG_MAX, 0ul, ULONG_MAX);
    ExpectSameAsCLibrary("%c%c%c.", 'a', 0xE9, 'z');
    const char* volatile noText = nullptr;  // hidden from the compiler's format checks
    ExpectSameAsCLibrary("%s and %s", "", static_cast<const char*>(noText));
    ExpectSameAsCLibrary("100%% sure, %s%%", "really");
    ExpectSameAsCLibrary("%5d|%-4s|%05x|%+d|% d|%#x", 42, "ab", 255u, 3, 4, 16u);
    ExpectSameAsCLibrary("%lld %hd %zu %p", -5LL, (short)-2, std::size_t{7}, (void*)0x10);
    ExpectSameAsCLibrary("%e %g %E %G %a", 1.5, 0.0001, -2e300, 1e-5, 1.0);
    ExpectSameAsCLibrary("%f %.0f %.f %.1f %.2f %.2f", 3.14159, 0.5, 1.5, 2.25, 0.125, 0.375);
    ExpectSameAsCLibrary("%.0f %.0f %.0f %.3f %.3f", 2.5, -2.5, -0.4, -0.0, 1e16 + 2);
    ExpectSameAsCLibrary("%f %f %f %f %lf", std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(), std::nan(""), 1e20, 2.0);
    ExpectSameAsCLibrary("%.17f %.99f %.100f", 0.1, 1.0 / 3.0, 2.0 / 3.0);
    ExpectSameAsCLibrary("%.3f%s%.3fx", 1.0005, "/", 1.0015);
    ExpectSameAsCLibrary("%d %s trailing %", 1, "x");
    ExpectSameAsCLibrary("%c|%s", 0, "after a zero byte");

    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int> precision(0, 20), exponent(-30, 20);
    for (int i = 0; i < 2000; ++i) {
        const double value =
            std::ldexp(static_cast<double>(random() >> 11) / (1ull << 53), exponent(random)) *
            (i % 2 ? -1 : 1) * 1e6;
        const std::string format = "%." + std::to_string(precision(random)) + "f";
        ExpectSameAsCLibrary(format.c_str(), value);
        if (HasFailure()) break;
    }
}

TEST_F(LogManager, FormattingFollowsTheRoundingModeAndLocale) {
    LogManagementC::AddSink(new RecordingSink("s"));
    std::fesetround(FE_UPWARD);
    ExpectSameAsCLibrary("%.1f %.0f %.2f", 0.25, -1.5, 1.0 / 3.0);
    std::fesetround(FE_TONEAREST);

    const char* const previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            ExpectSameAsCLibrary("%.2f %f", 1.25, -3.5);  // decimal comma
            break;
        }
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(LogManager, LongMessagesAreCutToTheBuffer) {
    LogManagementC::AddSink(new RecordingSink("s"));
    const std::string longText(5000, 'x');
    LogManagementC::Log("f", 1, 0, "%s!", longText.c_str());
    ASSERT_EQ(g_journal.size(), 1u);
    EXPECT_EQ(g_journal[0].text, std::string(1023, 'x'));

    LogManagementC::Log("f", 1, 0, "%s", std::string(1023, 'y').c_str());
    EXPECT_EQ(g_journal[1].text.size(), 1023u);  // exactly full: nothing lost

    const std::string half(600, 'h');
    LogManagementC::Log("f", 1, 0, "%s%d%s%.3f", half.c_str(), 123456, half.c_str(), 2.5);
    EXPECT_EQ(g_journal[2].text, (half + "123456" + half).substr(0, 1023));
    LogManagementC::Log("f", 1, 0, "%s%5d", std::string(1020, 'w').c_str(), 12);
    EXPECT_EQ(g_journal[3].text, std::string(1020, 'w') + "   ");
}

TEST_F(LogManager, AddSinkRefusesDuplicatesAndNull) {
    auto* sink = new RecordingSink("s");
    EXPECT_TRUE(LogManagementC::AddSink(sink));
    EXPECT_FALSE(LogManagementC::AddSink(sink));
    EXPECT_FALSE(LogManagementC::AddSink(nullptr));
    LogManagementC::Log("f", 1, 0, "once");
    EXPECT_EQ(g_journal.size(), 1u);
}

TEST_F(LogManager, RemoveSinkHandsBackOrDestroys) {
    auto* kept = new RecordingSink("kept");
    auto* destroyed = new RecordingSink("destroyed");
    LogManagementC::AddSink(kept);
    LogManagementC::AddSink(destroyed);

    EXPECT_TRUE(LogManagementC::RemoveSink(destroyed, true));
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_TRUE(LogManagementC::RemoveSink(kept, false));
    EXPECT_EQ(g_destroyed, 1);

    // No longer registered: refused, and not destroyed whatever the flag says.
    EXPECT_FALSE(LogManagementC::RemoveSink(kept, true));
    EXPECT_FALSE(LogManagementC::RemoveSink(nullptr, true));
    EXPECT_EQ(g_destroyed, 1);
    LogManagementC::Log("f", 1, 0, "nobody");
    EXPECT_TRUE(g_journal.empty());
    delete kept;  // owned by us again
}

TEST_F(LogManager, RemovalKeepsTheOrderOfTheOthers) {
    auto* middle = new RecordingSink("b");
    LogManagementC::AddSink(new RecordingSink("a"));
    LogManagementC::AddSink(middle);
    LogManagementC::AddSink(new RecordingSink("c"));
    LogManagementC::RemoveSink(middle, true);
    LogManagementC::Log("f", 1, 0, "x");
    ASSERT_EQ(g_journal.size(), 2u);
    EXPECT_EQ(g_journal[0].sink, "a");
    EXPECT_EQ(g_journal[1].sink, "c");
}

TEST_F(LogManager, CleanupDestroysEverySinkAndStartsAfresh) {
    LogManagementC::AddSink(new RecordingSink("a"));
    LogManagementC::AddSink(new RecordingSink("b"));
    LogManagementC::Cleanup();
    EXPECT_EQ(g_destroyed, 2);
    LogManagementC::Cleanup();  // no manager: nothing happens
    EXPECT_EQ(g_destroyed, 2);

    // A new manager holds only a new (silent) default sink.
    LogManagementC::Log("f", 1, 0, "x");
    EXPECT_TRUE(g_journal.empty());
    LogManagementC::AddSink(new RecordingSink("c"));
    LogManagementC::Log("f", 1, 0, "y");
    ASSERT_EQ(g_journal.size(), 1u);
    EXPECT_EQ(g_journal[0].sink, "c");
}

TEST_F(LogManager, ThrowingDestructorIsSwallowedAndStopsTheTeardown) {
    LogManagementC::AddSink(new RecordingSink("before"));
    LogManagementC::AddSink(new ThrowingDestructorSink);
    auto* after = new RecordingSink("after");
    LogManagementC::AddSink(after);
    EXPECT_NO_THROW(LogManagementC::Cleanup());
    EXPECT_EQ(g_destroyed, 1);  // the sink after the throwing one was skipped
    delete after;
}

// Runs `fn` on another thread; fails (and ends the program, since a blocked
// thread cannot be joined) if it does not finish in time.
template <typename Fn>
void RunElsewhereWithin(std::chrono::seconds limit, Fn fn) {
    std::packaged_task<void()> task(fn);
    auto done = task.get_future();
    std::thread(std::move(task)).detach();
    if (done.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "the manager lock was not released";
        std::_Exit(1);
    }
}

TEST_F(LogManager, ExceptionFromASinkReachesTheCallerAndReleasesTheLock) {
    LogManagementC::AddSink(new RecordingSink("before"));
    LogManagementC::AddSink(new ThrowingSink);
    LogManagementC::AddSink(new RecordingSink("after"));

    EXPECT_THROW(LogManagementC::Log("f", 1, 0, "boom"), std::runtime_error);
    ASSERT_EQ(g_journal.size(), 1u);
    EXPECT_EQ(g_journal[0].sink, "before");  // the sinks after it got nothing

    // Another thread can take the manager lock again.
    RunElsewhereWithin(std::chrono::seconds(10), [] {
        LogManagementC::Log("f", 1, LogSinkI::LOG_DevMessage, "quiet");
        LogManagementC::AddSink(new RecordingSink("late"));
    });
}

}  // namespace
