// The file log sink: path on the card, line format, masks, buffering and the
// sink without a stream.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>

namespace {

using UTL::FileLogC;
using UTL::LogManagementC;
using UTL::LogSinkI;

static_assert(!std::is_copy_constructible<FileLogC>::value, "a stream has one owner");
static_assert(!std::is_copy_assignable<FileLogC>::value, "a stream has one owner");

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
        std::string command = "rm -rf '" + m_card + "'";
        (void)std::system(command.c_str());
    }
    std::string CardFile(const std::string& name) const { return m_card + "/" + name; }

    std::string m_card;
};

TEST_F(FileLog, WritesOneLinePerMessageInTheCardDirectory) {
    {
        FileLogC sink("app.log");
        ASSERT_TRUE(sink.IsOpen());
        sink.LogMessage("F", 56, LogSinkI::LOG_DevMessage, "T");
        sink.LogMessage("/src/module.cpp", -1, LogSinkI::LOG_Assert, "second %d");
        sink.LogMessage("g.cpp", 2147483647, 0, "");
        sink.LogMessage("h.cpp", -2147483647 - 1, 0, "min");
        sink.LogMessage("i.cpp", 0, 0, "zero");
    }
    EXPECT_EQ(ReadFile(CardFile("app.log")),
              "F (56): T\n"
              "/src/module.cpp (-1): second %d\n"
              "g.cpp (2147483647): \n"
              "h.cpp (-2147483648): min\n"
              "i.cpp (0): zero\n");
}

TEST_F(FileLog, ExistingFileIsEmptiedAtConstruction) {
    {
        std::ofstream old(CardFile("app.log"));
        old << "old content\n";
    }
    { FileLogC sink("app.log"); }
    EXPECT_EQ(ReadFile(CardFile("app.log")), "");
}

TEST_F(FileLog, NarrowedMaskFiltersAlsoDirectCalls) {
    {
        FileLogC sink("mask.log");
        sink.SetLogMask(LogSinkI::LOG_AppMessage);
        sink.LogMessage("f", 1, LogSinkI::LOG_DevMessage, "dropped");
        sink.LogMessage("f", 2, LogSinkI::LOG_AppMessage, "kept");
        sink.LogMessage("f", 3, LogSinkI::LOG_None, "kept too");
    }
    EXPECT_EQ(ReadFile(CardFile("mask.log")), "f (2): kept\nf (3): kept too\n");
}

TEST_F(FileLog, NullFileAndTextAreWrittenEmpty) {
    {
        FileLogC sink("null.log");
        sink.LogMessage(nullptr, 4, 0, nullptr);
    }
    EXPECT_EQ(ReadFile(CardFile("null.log")), " (4): \n");
}

TEST_F(FileLog, LinesAreBufferedUntilDestruction) {
    auto* sink = new FileLogC("buffered.log");
    ASSERT_TRUE(LogManagementC::AddSink(sink));
    LogManagementC::Log("x.cpp", 10, LogSinkI::LOG_DevMessage,
                        "Writing Exception information to %s\n", "/tmp/app.RPT");
    LogManagementC::Log("y.cpp", 20, LogSinkI::LOG_DevMessage,
                        "DbgHelp.dll or its exported procs not found");
    EXPECT_EQ(ReadFile(CardFile("buffered.log")), "");  // no flush per line

    EXPECT_TRUE(LogManagementC::RemoveSink(sink, true));  // destroying flushes
    // A format ending in a line feed leaves an empty line after it.
    EXPECT_EQ(ReadFile(CardFile("buffered.log")),
              "x.cpp (10): Writing Exception information to /tmp/app.RPT\n\n"
              "y.cpp (20): DbgHelp.dll or its exported procs not found\n");
}

TEST_F(FileLog, CleanupOfTheManagerClosesRegisteredFiles) {
    LogManagementC::AddSink(new FileLogC("a.log"));
    LogManagementC::AddSink(new FileLogC("b.log"));
    for (int i = 0; i < 3; ++i)
        LogManagementC::Log("m.cpp", i, LogSinkI::LOG_AppMessage, "n=%d", i);
    LogManagementC::Cleanup();
    const std::string expected = "m.cpp (0): n=0\nm.cpp (1): n=1\nm.cpp (2): n=2\n";
    EXPECT_EQ(ReadFile(CardFile("a.log")), expected);
    EXPECT_EQ(ReadFile(CardFile("b.log")), expected);
}

TEST_F(FileLog, SeparatorIsAppendedWhateverTheCardPathEndsWith) {
    BSS::HAL::PathMapC::setCFCardPath((m_card + "/").c_str());
    { FileLogC("slash.log").LogMessage("f", 1, 0, "t"); }
    EXPECT_EQ(ReadFile(m_card + "//slash.log"), "f (1): t\n");
}

// A path of exactly `length` bytes under the card: the card directory is padded
// with a subdirectory so that "<card>/<name>" has the requested length.
std::string MakeCardOfPathLength(const std::string& base, std::size_t length,
                                 const std::string& name) {
    const std::size_t fixed = base.size() + 1 /* "/" */ + 1 /* "/" */ + name.size();
    std::string card = base + "/" + std::string(length - fixed, 'd');
    mkdir(card.c_str(), 0700);
    return card;
}

TEST_F(FileLog, PathOfTheFullBufferLengthOpens) {
    const std::string name = "edge.log";
    const std::string card = MakeCardOfPathLength(m_card, FileLogC::kMaxPath, name);
    BSS::HAL::PathMapC::setCFCardPath(card.c_str());
    ASSERT_EQ((card + "/" + name).size(), 255u);
    {
        FileLogC sink(name.c_str());
        EXPECT_TRUE(sink.IsOpen());
        sink.LogMessage("f", 1, 0, "fits");
    }
    EXPECT_EQ(ReadFile(card + "/" + name), "f (1): fits\n");
}

TEST_F(FileLog, TooLongPathIsRefusedNotCut) {
    const std::string name = "edge.log";
    const std::string card = MakeCardOfPathLength(m_card, FileLogC::kMaxPath, name);
    BSS::HAL::PathMapC::setCFCardPath(card.c_str());
    const std::string longer = name + "x";  // 256 bytes in all
    {
        FileLogC sink(longer.c_str());
        EXPECT_FALSE(sink.IsOpen());
        sink.LogMessage("f", 1, 0, "goes nowhere");  // no stream: nothing written
    }
    EXPECT_FALSE(Exists(card + "/" + longer));
    EXPECT_FALSE(Exists(card + "/" + name));  // not cut to a shorter name either

    FileLogC huge(std::string(4000, 'n').c_str());
    EXPECT_FALSE(huge.IsOpen());
}

TEST_F(FileLog, SinkWithoutAStreamWritesAndClosesNothing) {
    FileLogC nullName(nullptr);
    EXPECT_FALSE(nullName.IsOpen());
    nullName.LogMessage("f", 1, 0, "t");

    auto* missingDir = new FileLogC("no/such/dir/x.log");  // directories are not created
    EXPECT_FALSE(missingDir->IsOpen());
    EXPECT_FALSE(Exists(CardFile("no")));
    ASSERT_TRUE(LogManagementC::AddSink(missingDir));
    LogManagementC::Log("f", 1, 0, "dropped");
    EXPECT_TRUE(LogManagementC::RemoveSink(missingDir, true));
}

TEST_F(FileLog, NameMayHoldExistingDirectories) {
    ASSERT_EQ(mkdir(CardFile("sub").c_str(), 0700), 0);
    { FileLogC("sub/inner.log").LogMessage("f", 9, 0, "deep"); }
    EXPECT_EQ(ReadFile(CardFile("sub/inner.log")), "f (9): deep\n");
}

}  // namespace
