// The file log sink: path on the card, exact line format, masks, buffering and
// the sink without a stream.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>

namespace {

using UTL::FileLogC;
using UTL::LogManagementC;
using UTL::LogSinkI;

static_assert(!std::is_copy_constructible<FileLogC>::value &&
                  !std::is_copy_assignable<FileLogC>::value,
              "a stream has one owner");

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class FileLog : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/utl_filelog_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_card = pattern;
        BSS::HAL::PathMapC::setCFCardPath(m_card.c_str());
    }
    void TearDown() override {
        LogManagementC::Cleanup();
        BSS::HAL::PathMapC::setCFCardPath(nullptr);
        (void)std::system(("rm -rf '" + m_card + "'").c_str());
    }
    std::string CardFile(const std::string& name) const { return m_card + "/" + name; }

    std::string m_card;
};

TEST_F(FileLog, WritesTheLinesOfTheFormatAndFiltersByMask) {
    std::ofstream(CardFile("app.log")) << "old content\n";  // emptied by the sink
    {
        FileLogC sink("app.log");
        ASSERT_TRUE(sink.IsOpen());
        sink.LogMessage("F", 56, LogSinkI::LOG_DevMessage, "T");
        sink.LogMessage("/src/module.cpp", -2147483647 - 1, LogSinkI::LOG_Assert, "second %d");
        sink.LogMessage(nullptr, 2147483647, 0, nullptr);  // nulls are written empty
        sink.SetLogMask(LogSinkI::LOG_AppMessage);
        sink.LogMessage("f", 0, LogSinkI::LOG_DevMessage, "dropped, also when called directly");
        sink.LogMessage("f", 0, LogSinkI::LOG_AppMessage, "kept");
    }
    EXPECT_EQ(ReadFile(CardFile("app.log")),
              "F (56): T\n"
              "/src/module.cpp (-2147483648): second %d\n"
              " (2147483647): \n"
              "f (0): kept\n");
}

TEST_F(FileLog, LinesAreBufferedUntilTheManagerDestroysTheSink) {
    auto* sink = new FileLogC("buffered.log");
    ASSERT_TRUE(LogManagementC::AddSink(sink));
    LogManagementC::AddSink(new FileLogC("other.log"));
    LogManagementC::Log("x.cpp", 10, LogSinkI::LOG_DevMessage,
                        "Writing Exception information to %s\n", "/tmp/app.RPT");
    LogManagementC::Log("y.cpp", 20, LogSinkI::LOG_DevMessage,
                        "DbgHelp.dll or its exported procs not found");
    EXPECT_EQ(ReadFile(CardFile("buffered.log")), "");  // no flush per line

    // A format ending in a line feed leaves an empty line after it.
    const std::string expected =
        "x.cpp (10): Writing Exception information to /tmp/app.RPT\n\n"
        "y.cpp (20): DbgHelp.dll or its exported procs not found\n";
    EXPECT_TRUE(LogManagementC::RemoveSink(sink, true));
    EXPECT_EQ(ReadFile(CardFile("buffered.log")), expected);
    LogManagementC::Cleanup();
    EXPECT_EQ(ReadFile(CardFile("other.log")), expected);
}

TEST_F(FileLog, PathIsCardSlashNameUpToTheBufferLength) {
    BSS::HAL::PathMapC::setCFCardPath((m_card + "/").c_str());  // "/" appended regardless
    { FileLogC("slash.log").LogMessage("f", 1, 0, "t"); }
    EXPECT_EQ(ReadFile(m_card + "//slash.log"), "f (1): t\n");

    // A card directory padded so that "<card>/edge.log" is exactly 255 bytes.
    const std::string name = "edge.log";
    const std::string card = m_card + "/" + std::string(255 - m_card.size() - 2 - name.size(), 'd');
    ASSERT_EQ(mkdir(card.c_str(), 0700), 0);
    BSS::HAL::PathMapC::setCFCardPath(card.c_str());
    {
        FileLogC fits(name.c_str());
        EXPECT_TRUE(fits.IsOpen());
        FileLogC tooLong((name + "x").c_str());  // 256 bytes: refused, not cut
        EXPECT_FALSE(tooLong.IsOpen());
        tooLong.LogMessage("f", 1, 0, "goes nowhere");
        EXPECT_FALSE(FileLogC(std::string(4000, 'n').c_str()).IsOpen());
    }
    EXPECT_EQ(ReadFile(card + "/" + name), "");  // the cut name was not reused
    EXPECT_FALSE(Exists(card + "/" + name + "x"));
}

TEST_F(FileLog, SinkWithoutAStreamWritesAndClosesNothing) {
    FileLogC nullName(nullptr);
    EXPECT_FALSE(nullName.IsOpen());
    nullName.LogMessage("f", 1, 0, "t");

    ASSERT_EQ(mkdir(CardFile("sub").c_str(), 0700), 0);
    { FileLogC("sub/inner.log").LogMessage("f", 9, 0, "deep"); }  // existing directories work
    EXPECT_EQ(ReadFile(CardFile("sub/inner.log")), "f (9): deep\n");

    auto* missingDir = new FileLogC("no/such/x.log");  // directories are not created
    EXPECT_FALSE(missingDir->IsOpen());
    EXPECT_FALSE(Exists(CardFile("no")));
    ASSERT_TRUE(LogManagementC::AddSink(missingDir));
    LogManagementC::Log("f", 1, 0, "dropped");
    EXPECT_TRUE(LogManagementC::RemoveSink(missingDir, true));
}

}  // namespace
