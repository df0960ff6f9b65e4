// The log manager: default sink, registration order and ownership, cleanup,
// throwing sinks, formatting (against the C library) and the 1023-byte cut.
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <cfenv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using UTL::LogManagementC;
using UTL::LogSinkI;
constexpr auto AddSink = LogManagementC::AddSink;
constexpr auto RemoveSink = LogManagementC::RemoveSink;

// What the recording sinks received ("sink:text"), in order, and where the
// last message came from.
using Texts = std::vector<std::string>;
Texts g_got;
std::string g_where;
int g_destroyed = 0;
const auto Received = [] { return std::exchange(g_got, {}); };

// Records what it receives; the sinks named "throws" and "dtor throws" throw
// from LogMessage and from their destructor.
struct RecordingSink : LogSinkI {
    RecordingSink(const char* name, unsigned long mask = LOG_All) : name(name) { SetLogMask(mask); }
    ~RecordingSink() noexcept(false) override {
        ++g_destroyed;
        if (name == "dtor throws") throw std::runtime_error("dtor");
    }
    void LogMessage(const char* file, int line, unsigned long, const char* text) const override {
        if (name == "throws") throw std::runtime_error("sink failed");
        g_where = std::string(file ? file : "(null)") + " " + std::to_string(line);
        g_got.push_back(name + ":" + text);
    }
    std::string name;
};

struct LogManager : ::testing::Test {
    void SetUp() override { LogManagementC::Cleanup(), g_got.clear(), g_destroyed = 0; }
    void TearDown() override { LogManagementC::Cleanup(); }
};

TEST_F(LogManager, DispatchRegistrationAndRemoval) {
    LogManagementC::Log(__FILE__, __LINE__, 0, "only the silent default sink %d", 1);
    EXPECT_EQ(Received(), Texts{});
    auto* first = new RecordingSink("a");
    auto* handedBack = new RecordingSink("back");
    EXPECT_TRUE(AddSink(first));
    EXPECT_FALSE(AddSink(first));  // registered once only
    EXPECT_FALSE(AddSink(nullptr));
    AddSink(new RecordingSink("app", LogSinkI::LOG_AppMessage));
    AddSink(handedBack);
    AddSink(new RecordingSink("b"));

    LogManagementC::Log("src/a.cpp", 56, LogSinkI::LOG_DevMessage,
                        "Writing Exception information to %s\n", "/tmp/app.RPT");
    EXPECT_EQ(g_where, "src/a.cpp 56");  // the text exactly as formatted, nothing added
    const std::string text = "Writing Exception information to /tmp/app.RPT\n";
    EXPECT_EQ(Received(), (Texts{"a:" + text, "back:" + text, "b:" + text}));

    EXPECT_TRUE(RemoveSink(first, true));
    EXPECT_TRUE(RemoveSink(handedBack, false));
    EXPECT_EQ(g_destroyed, 1);
    // No longer registered: refused, and not destroyed whatever the flag says.
    EXPECT_FALSE(RemoveSink(handedBack, true));
    EXPECT_FALSE(RemoveSink(nullptr, true));
    EXPECT_EQ(g_destroyed, 1);
    delete handedBack;

    const char* noFormat = nullptr;
    LogManagementC::Log(nullptr, -3, LogSinkI::LOG_None, noFormat);  // a mask of 0 reaches all
    EXPECT_EQ(g_where, "(null) -3");
    EXPECT_EQ(Received(), (Texts{"app:", "b:"}));  // a null format gives an empty text
}

TEST_F(LogManager, CleanupAndThrowingSinks) {
    AddSink(new RecordingSink("before"));
    AddSink(new RecordingSink("throws"));
    AddSink(new RecordingSink("after"));
    EXPECT_THROW(LogManagementC::Log("f", 1, 0, "boom"), std::runtime_error);
    EXPECT_EQ(Received(), Texts{"before:boom"});  // the sinks after it got nothing

    // The lock was released: another thread can take it (a thread blocked on
    // it could not be joined, so a timeout ends the program).
    auto late = std::async(std::launch::async, [] { AddSink(new RecordingSink("late")); });
    if (late.wait_for(std::chrono::seconds(10)) != std::future_status::ready) std::_Exit(1);
    LogManagementC::Cleanup();
    LogManagementC::Cleanup();  // no manager: nothing happens
    EXPECT_EQ(g_destroyed, 4);
    LogManagementC::Log("f", 1, 0, "x");  // the new manager has only a default sink
    EXPECT_EQ(Received(), Texts{});

    // A throwing sink destructor is swallowed; the sinks after it are skipped.
    AddSink(new RecordingSink("a"));
    AddSink(new RecordingSink("dtor throws"));
    auto* after = new RecordingSink("b");
    AddSink(after);
    EXPECT_NO_THROW(LogManagementC::Cleanup());
    EXPECT_EQ(g_destroyed, 6);
    delete after;
}

// Logs `format` with `args` and expects the text snprintf gives for them
// (the manager formats common directives itself).
template <typename... Args>
void ExpectSameAsCLibrary(const char* format, Args... args) {
    LogManagementC::Log("f", 1, 0, format, args...);
    char expected[1024];
    std::snprintf(expected, sizeof expected, format, args...);
    EXPECT_EQ(Received(), Texts{std::string("s:") + expected}) << "format: " << format;
}

TEST_F(LogManager, FormattingMatchesTheCLibraryAndIsCutAt1023) {
    AddSink(new RecordingSink("s"));
    const char* volatile noText = nullptr;  // hidden from the compiler's format checks
    ExpectSameAsCLibrary("%d|%i|%u|%x|%X", INT_MIN, INT_MAX, 0u, 0xDEADBEEFu, 0xABCu);
    ExpectSameAsCLibrary("%ld %li %lu %lx %lX", LONG_MIN, LONG_MAX, ULONG_MAX, 0ul, ULONG_MAX);
    ExpectSameAsCLibrary("%c%c|%s and %s", 'a', 0xE9, "", static_cast<const char*>(noText));
    ExpectSameAsCLibrary("100%% sure, %s%% trailing %", "really");
    ExpectSameAsCLibrary("%5d|%-4s|%+d|%#x|%lld|%zu|%e|%g", 42, "ab", 3, 16u, -5LL, size_t{7}, 1.5,
                         1e-4);
    ExpectSameAsCLibrary("%f %.0f %.f %.2f %.0f %.3f %.3f %f %f", 3.14159, 0.5, 1.5, 0.125, -0.4,
                         -0.0, 1e16 + 2, -HUGE_VAL, 1e20);
    ExpectSameAsCLibrary("%.17f %.99f %.100f %f", 0.1, 1.0 / 3.0, 2.0 / 3.0, std::nan(""));
    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int> precision(0, 20), exponent(-30, 40);
    for (int i = 0; i < 300 && !HasFailure(); ++i) {
        const double value =
            std::ldexp(double(random() >> 11), exponent(random) - 53) * (i % 2 ? -1 : 1);
        ExpectSameAsCLibrary(("%." + std::to_string(precision(random)) + "f").c_str(), value);
    }
    std::fesetround(FE_UPWARD);  // printf rounds by the current mode
    ExpectSameAsCLibrary("%.1f %.0f %.2f", 0.25, -1.5, 1.0 / 3.0);
    std::fesetround(FE_TONEAREST);

    const std::string half(600, 'h');
    LogManagementC::Log("f", 1, 0, "%s!", std::string(5000, 'x').c_str());
    LogManagementC::Log("f", 1, 0, "%s", std::string(1023, 'y').c_str());
    LogManagementC::Log("f", 1, 0, "%s%d%s%.3f", half.c_str(), 123456, half.c_str(), 2.5);
    LogManagementC::Log("f", 1, 0, "%s%5d", std::string(1020, 'w').c_str(), 12);
    EXPECT_EQ(Received(), (Texts{"s:" + std::string(1023, 'x'), "s:" + std::string(1023, 'y'),
                                 "s:" + (half + "123456" + half).substr(0, 1023),
                                 "s:" + std::string(1020, 'w') + "   "}));
}

}  // namespace
