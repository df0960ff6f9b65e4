// The file log sink: path on the card, exact line format, masks, buffering,
// the 255-byte path limit and the sink without a stream.
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

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Each test gets a fresh card directory.
class FileLog : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/utl_filelog_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        card = pattern;
        BSS::HAL::PathMapC::setCFCardPath(card.c_str());
    }
    void TearDown() override {
        LogManagementC::Cleanup();
        BSS::HAL::PathMapC::setCFCardPath(nullptr);
        (void)std::system(("rm -rf '" + card + "'").c_str());
    }
    std::string card;
};

TEST_F(FileLog, LineFormatMasksAndBuffering) {
    std::ofstream(card + "/app.log") << "old content\n";  // emptied by the sink
    auto* sink = new FileLogC("app.log");
    sink->LogMessage("F", 56, LogSinkI::LOG_DevMessage, "T");
    sink->LogMessage(nullptr, -2147483647 - 1, LogSinkI::LOG_Assert, nullptr);  // nulls: empty
    sink->SetLogMask(LogSinkI::LOG_AppMessage);
    sink->LogMessage("f", 0, LogSinkI::LOG_DevMessage, "dropped, also when called directly");
    ASSERT_TRUE(LogManagementC::AddSink(sink));
    LogManagementC::Log("x.cpp", 10, LogSinkI::LOG_AppMessage,
                        "Writing Exception information to %s\n", "/tmp/app.RPT");
    LogManagementC::Log("y.cpp", 20, LogSinkI::LOG_AppMessage,
                        "DbgHelp.dll or its exported procs not found");
    EXPECT_EQ(Read(card + "/app.log"), "");  // no flush per line
    EXPECT_TRUE(LogManagementC::RemoveSink(sink, true));
    // A format ending in a line feed leaves an empty line after it.
    EXPECT_EQ(Read(card + "/app.log"),
              "F (56): T\n"
              " (-2147483648): \n"
              "x.cpp (10): Writing Exception information to /tmp/app.RPT\n\n"
              "y.cpp (20): DbgHelp.dll or its exported procs not found\n");
}

TEST_F(FileLog, PathIsCardSlashNameUpTo255Bytes) {
    BSS::HAL::PathMapC::setCFCardPath((card + "/").c_str());  // "/" appended regardless
    { FileLogC("slash.log").LogMessage("f", 1, 0, "t"); }
    EXPECT_EQ(Read(card + "//slash.log"), "f (1): t\n");
    ASSERT_EQ(mkdir((card + "/sub").c_str(), 0700), 0);
    { FileLogC("sub/inner.log").LogMessage("f", 9, 0, "deep"); }  // existing directories work
    EXPECT_EQ(Read(card + "/sub/inner.log"), "f (9): deep\n");

    // A card directory padded so that "<card>/edge.log" is exactly 255 bytes.
    const std::string padded = card + "/" + std::string(255 - card.size() - 10, 'd');
    ASSERT_EQ(mkdir(padded.c_str(), 0700), 0);
    BSS::HAL::PathMapC::setCFCardPath(padded.c_str());
    EXPECT_TRUE(FileLogC("edge.log").IsOpen());
    struct stat st;
    EXPECT_EQ(stat((padded + "/edge.log").c_str(), &st), 0);
    // Longer paths are refused, not cut; a sink without a stream writes and
    // closes nothing, also when the manager owns it.
    for (const char* name : {"edge.logx", "no/such/dir.log", static_cast<const char*>(nullptr)}) {
        auto* sink = new FileLogC(name);
        EXPECT_FALSE(sink->IsOpen()) << name;
        sink->LogMessage("f", 1, 0, "goes nowhere");
        LogManagementC::AddSink(sink);
    }
    LogManagementC::Log("f", 1, 0, "dropped");
    LogManagementC::Cleanup();
    EXPECT_NE(stat((padded + "/edge.logx").c_str(), &st), 0);
    EXPECT_NE(stat((padded + "/no").c_str(), &st), 0);  // directories are not created
    EXPECT_EQ(Read(padded + "/edge.log"), "");          // the cut name was not reused
}

}  // namespace
