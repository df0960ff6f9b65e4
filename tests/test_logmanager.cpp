// The log manager: default sink, registration, ownership, formatting and the
// behaviour around throwing sinks.
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
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

TEST_F(LogManager, LongMessagesAreCutToTheBuffer) {
    LogManagementC::AddSink(new RecordingSink("s"));
    const std::string longText(5000, 'x');
    LogManagementC::Log("f", 1, 0, "%s!", longText.c_str());
    ASSERT_EQ(g_journal.size(), 1u);
    EXPECT_EQ(g_journal[0].text, std::string(1023, 'x'));

    LogManagementC::Log("f", 1, 0, "%s", std::string(1023, 'y').c_str());
    EXPECT_EQ(g_journal[1].text.size(), 1023u);  // exactly full: nothing lost
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
