// Logging: masks, the manager (default sink, order, ownership, throwing
// sinks, formatting against the C library, the 1023 cut) and the file sink.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfenv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>

namespace {

using UTL::FileLogC;
using UTL::LogManagementC;
using L = UTL::LogSinkI;
constexpr bool (*AddSink)(L*) = LogManagementC::AddSink;  // the raw-pointer overload
constexpr auto RemoveSink = LogManagementC::RemoveSink;
constexpr auto Log = LogManagementC::Log;

// What the recording sinks received ("sink:text") and where the last message
// came from. Sinks named "throws" and "dtor throws" throw from LogMessage and
// from their destructor.
using Texts = std::vector<std::string>;
Texts g_got;
std::string g_where;
int g_destroyed = 0;
const auto Received = [] { return std::exchange(g_got, {}); };

struct RecordingSink : L {
    RecordingSink(const char* sinkName, unsigned long mask = LOG_All) : name(sinkName) {
        SetLogMask(mask);
    }
    ~RecordingSink() noexcept(false) override {
        if (++g_destroyed, name == "dtor throws") throw std::runtime_error("dtor");
    }
    void LogMessage(const char* file, int line, unsigned long, const char* text) const override {
        if (name == "throws") throw std::runtime_error("sink failed");
        g_where = std::string(file ? file : "(null)") + " " + std::to_string(line);
        g_got.push_back(name + ":" + text);
    }
    std::string name;
};

TEST(LogSink, MasksAcceptMessagesWithAllTheirBits) {
    // Bound by reference: the constants are defined in the library.
    EXPECT_EQ(L::LOG_DBMessage, 0x16ul);
    EXPECT_EQ(L::LOG_UserApp, 0x64ul);
    EXPECT_EQ(L::LOG_DeviceMsg, 0x128ul);
    EXPECT_EQ(L::LOG_Assert, 0x80000000ul);
    EXPECT_EQ(L::LOG_All, 0xFFFFFFFFul);
    const unsigned long db = L::LOG_DBMessage, app = L::LOG_AppMessage, user = L::LOG_UserApp;
    const unsigned long device = L::LOG_DeviceMsg, gui = L::LOG_GuiMessage, dev = L::LOG_DevMessage;
    const unsigned long devAssert = dev | L::LOG_Assert, devHigh = dev | ~0xFFFFFFFFul;  // 32 bits
    const unsigned long txt = L::LOG_TxtToken, all = L::LOG_All;
    const struct {
        unsigned long sink, message;
        bool accepted;
    } cases[] = {{0, 0, true},           {0, txt, false},         {0x10, db, false},
                 {db, app, true},        {user, dev, true},       {device, gui, true},
                 {device, user, false},  {dev, devAssert, false}, {dev, db, false},
                 {all, devAssert, true}, {dev, devHigh, true}};
    RecordingSink sink("s");
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);
    for (const auto& c : cases) {
        sink.SetLogMask(c.sink);  // replaces, does not combine
        EXPECT_EQ(sink.IsEnabled(c.message), c.accepted) << std::hex << c.sink << " " << c.message;
    }
    RecordingSink copy(sink);
    EXPECT_EQ(copy.GetLogMask(), dev);
    sink.SetLogMask(~0ul);
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);
}

// Each test starts without a manager and with a fresh card directory.
struct Logging : ::testing::Test {
    void SetUp() override {
        LogManagementC::Cleanup(), g_got.clear(), g_destroyed = 0;
        char pattern[] = "/tmp/utl_log_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        BSS::HAL::PathMapC::setCFCardPath((card = pattern).c_str());
    }
    void TearDown() override {
        LogManagementC::Cleanup();
        BSS::HAL::PathMapC::setCFCardPath(nullptr);
        std::filesystem::remove_all(card);
    }
    std::string card;
};

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST_F(Logging, DispatchRegistrationAndRemoval) {
    Log(__FILE__, __LINE__, 0, "only the silent default sink %d", 1);
    auto* first = new RecordingSink("a");
    auto* handedBack = new RecordingSink("back");
    EXPECT_TRUE(AddSink(first));
    EXPECT_FALSE(AddSink(first));  // once only
    EXPECT_FALSE(AddSink(nullptr));
    AddSink(new RecordingSink("app", L::LOG_AppMessage));
    AddSink(handedBack);
    AddSink(new RecordingSink("b"));
    Log("src/a.cpp", 56, L::LOG_DevMessage, "Writing Exception information to %s\n",
        "/tmp/app.RPT");
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
    Log(nullptr, -3, L::LOG_None, noFormat);  // a mask of 0 reaches all
    EXPECT_EQ(g_where, "(null) -3");
    EXPECT_EQ(Received(), (Texts{"app:", "b:"}));  // a null format gives an empty text
}

TEST_F(Logging, CleanupAndThrowingSinks) {
    AddSink(new RecordingSink("before"));
    AddSink(new RecordingSink("throws"));
    AddSink(new RecordingSink("after"));
    EXPECT_THROW(Log("f", 1, 0, "boom"), std::runtime_error);
    EXPECT_EQ(Received(), Texts{"before:boom"});  // the sinks after it got nothing
    // The lock was released: another thread can take it (a thread blocked on
    // it could not be joined, so a timeout ends the program).
    auto late = std::async(std::launch::async, [] { AddSink(new RecordingSink("late")); });
    if (late.wait_for(std::chrono::seconds(10)) != std::future_status::ready) std::_Exit(1);
    LogManagementC::Cleanup();
    LogManagementC::Cleanup();  // no manager: nothing happens
    EXPECT_EQ(g_destroyed, 4);
    Log("f", 1, 0, "x");  // the new manager has only a default sink
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

// Categories switched on by a mask change or a registration reach the sink at
// once; a removal of another sink keeps what the remaining ones accept.
TEST_F(Logging, EverySwitchOnIsSeenByTheNextLog) {
    auto* sink = new RecordingSink("s", L::LOG_None);
    AddSink(sink);
    Log("f", 1, L::LOG_DevMessage, "dropped");
    sink->SetLogMask(L::LOG_DevMessage);  // while registered
    Log("f", 2, L::LOG_DevMessage, "by mask");
    auto* wide = new RecordingSink("wide");
    AddSink(wide);
    RemoveSink(wide, true);
    Log("f", 3, L::LOG_DevMessage | ~0xFFFFFFFFul, "after another removal");  // 32-bit masks
    // A mask set before registration, while the manager accepted less.
    auto* gui = new RecordingSink("gui", L::LOG_GuiMessage);
    RemoveSink(sink, false);
    Log("f", 4, L::LOG_GuiMessage, "not yet registered");
    AddSink(gui);
    Log("f", 5, L::LOG_GuiMessage, "by registration");
    sink->SetLogMask(L::LOG_All);  // not registered: nothing changes for it
    Log("f", 6, L::LOG_DevMessage, "to no sink");
    EXPECT_EQ(Received(), (Texts{"s:by mask", "s:after another removal", "gui:by registration"}));
    delete sink;
}

TEST_F(Logging, UniquePtrSinksBelongToTheManager) {
    EXPECT_TRUE(LogManagementC::AddSink(std::make_unique<RecordingSink>("owned")));
    EXPECT_FALSE(LogManagementC::AddSink(std::unique_ptr<L>()));
    auto* registered = new RecordingSink("registered");
    AddSink(registered);
    // Already the manager's: refused, and neither destroyed nor registered twice.
    EXPECT_FALSE(LogManagementC::AddSink(std::unique_ptr<L>(registered)));
    Log("f", 1, 0, "x");
    EXPECT_EQ(Received(), (Texts{"owned:x", "registered:x"}));
    EXPECT_EQ(g_destroyed, 0);
    LogManagementC::Cleanup();
    EXPECT_EQ(g_destroyed, 2);
}

// Logs `format` with `args` and expects the text snprintf gives for them
// (the manager formats common directives itself).
template <typename... Args>
void ExpectSameAsCLibrary(const char* format, Args... args) {
    Log("f", 1, 0, format, args...);
    char expected[1024];
    std::snprintf(expected, sizeof expected, format, args...);
    EXPECT_EQ(Received(), Texts{std::string("s:") + expected}) << "format: " << format;
}

TEST_F(Logging, FormattingMatchesTheCLibraryAndIsCutAt1023) {
    AddSink(new RecordingSink("s"));
    const char* volatile noText = nullptr;  // hidden from the compiler's format checks
    ExpectSameAsCLibrary("%d|%i|%u|%x|%X|%c%c", INT_MIN, INT_MAX, 0u, 0xDEADBEEFu, 0xABCu, 'a',
                         0xE9);
    ExpectSameAsCLibrary("%ld %lu %lX|%s%s|%% %", LONG_MIN, ULONG_MAX, ULONG_MAX, "",
                         static_cast<const char*>(noText));
    ExpectSameAsCLibrary("%hd|%hd", -5, 40000);  // "h" narrows to a signed short
    ExpectSameAsCLibrary("%5d|%-4s|%+d|%#x|%lld|%zu|%e|%g", 42, "ab", 3, 16u, -5LL, size_t{7}, 1.5,
                         1e-4);
    ExpectSameAsCLibrary("%f %.0f %.f %.2f %.0f %.3f %.3f %f %f", 3.14159, 0.5, 1.5, 0.125, -0.4,
                         -0.0, 1e16 + 2, -HUGE_VAL, 1e20);
    ExpectSameAsCLibrary("%.17f %.99f %.100f %f", 0.1, 1.0 / 3.0, 2.0 / 3.0, std::nan(""));
    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int> precision(0, 20), exponent(-30, 40);
    for (int i = 0; i < 300 && !HasFailure(); ++i) {
        const double value =
            std::ldexp(double(random() >> 11), exponent(random) - 53) * (i % 2 - 0.5);
        ExpectSameAsCLibrary(("%." + std::to_string(precision(random)) + "f").c_str(), value);
    }
    std::fesetround(FE_UPWARD);  // printf rounds by the current mode
    ExpectSameAsCLibrary("%.1f %.0f %.2f", 0.25, -1.5, 1.0 / 3.0);
    std::fesetround(FE_TONEAREST);

    const std::string half(600, 'h'), x(5000, 'x'), y(1023, 'y'), w(1020, 'w');
    Log("f", 1, 0, "%s!", x.c_str());
    Log("f", 1, 0, "%s", y.c_str());  // exactly full: nothing lost
    Log("f", 1, 0, "%s%d%s%.3f", half.c_str(), 123456, half.c_str(), 2.5);
    Log("f", 1, 0, "%s%5d", w.c_str(), 12);
    EXPECT_EQ(Received(),
              (Texts{"s:" + x.substr(0, 1023), "s:" + y,
                     "s:" + (half + "123456" + half).substr(0, 1023), "s:" + w + "   "}));
}

TEST_F(Logging, FileSinkLinesMasksAndBuffering) {
    std::ofstream(card + "/app.log") << "old content\n";  // emptied by the sink
    auto* sink = new FileLogC("app.log");
    sink->LogMessage("F", 56, L::LOG_DevMessage, "T");
    sink->LogMessage(nullptr, INT_MIN, L::LOG_Assert, nullptr);  // nulls are written empty
    sink->SetLogMask(L::LOG_AppMessage);
    sink->LogMessage("f", 0, L::LOG_DevMessage, "dropped, also when called directly");
    ASSERT_TRUE(AddSink(sink));
    Log("x.cpp", 10, L::LOG_AppMessage, "Writing Exception information to %s\n", "/tmp/app.RPT");
    Log("y.cpp", 20, L::LOG_AppMessage, "DbgHelp.dll or its exported procs not found");
    EXPECT_EQ(Read(card + "/app.log"), "");  // no flush per line
    EXPECT_TRUE(RemoveSink(sink, true));
    // A format ending in a line feed leaves an empty line after it.
    EXPECT_EQ(Read(card + "/app.log"),
              "F (56): T\n (-2147483648): \n"
              "x.cpp (10): Writing Exception information to /tmp/app.RPT\n\n"
              "y.cpp (20): DbgHelp.dll or its exported procs not found\n");
}

TEST_F(Logging, FileSinkPathIsCardSlashNameUpTo255Bytes) {
    BSS::HAL::PathMapC::setCFCardPath((card + "/").c_str());  // "/" appended regardless
    { FileLogC("slash.log").LogMessage("f", 1, 0, "t"); }
    EXPECT_EQ(Read(card + "//slash.log"), "f (1): t\n");
    // A card directory padded so that "<card>/edge.log" is exactly 255 bytes.
    const std::string padded = card + "/" + std::string(255 - card.size() - 10, 'd');
    ASSERT_EQ(mkdir(padded.c_str(), 0700), 0);
    BSS::HAL::PathMapC::setCFCardPath(padded.c_str());
    EXPECT_TRUE(FileLogC("edge.log").IsOpen());
    // Longer paths are refused, not cut, and directories are not created; a
    // sink without a stream writes and closes nothing, also when owned.
    for (const char* name : {"edge.logx", "no/such/dir.log", static_cast<const char*>(nullptr)}) {
        auto* sink = new FileLogC(name);
        EXPECT_FALSE(sink->IsOpen()) << name;
        sink->LogMessage("f", 1, 0, "goes nowhere");
        AddSink(sink);
    }
    Log("f", 1, 0, "dropped");
    LogManagementC::Cleanup();
    struct stat st;
    EXPECT_NE(stat((padded + "/edge.logx").c_str(), &st), 0);
    EXPECT_NE(stat((padded + "/no").c_str(), &st), 0);
    EXPECT_EQ(Read(padded + "/edge.log"), "");
}

}  // namespace
