// The report file and the file sink's log write only the process's own
// regular files: a link planted at their path, a FIFO, another user's file or
// a second name of one are left alone, and nothing waits. Each case runs in a
// child process with a time limit.
#include <gtest/gtest.h>

#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <sys/stat.h>

#include <functional>

#include "crash_test_support.h"

using namespace crashtest;

namespace {

const char kPrecious[] = "precious\n";

// What is planted at the path before the process writes it; returns the file
// that must keep its content ("" when there is none).
struct Plant {
    const char* name;
    std::string (*plant)(const TempDir& dir, const std::string& path);
};

std::string Victim(const TempDir& dir) {
    const std::string victim = dir.File("victim");
    std::ofstream(victim) << kPrecious;
    return victim;
}

const Plant kPlants[] = {
    {"SymbolicLinkToAFileOfOurs",
     [](const TempDir& dir, const std::string& path) {
         const std::string victim = Victim(dir);
         return symlink(victim.c_str(), path.c_str()) == 0 ? victim : "planting failed";
     }},
    {"SecondNameOfAFileOfOurs",
     [](const TempDir& dir, const std::string& path) {
         const std::string victim = Victim(dir);
         return link(victim.c_str(), path.c_str()) == 0 ? victim : "planting failed";
     }},
    {"FileOfAnotherUser",
     [](const TempDir&, const std::string& path) {
         std::ofstream(path) << kPrecious;
         return chown(path.c_str(), 65534, 65534) == 0 ? path : "planting failed";
     }},
    {"FifoWithoutReader",
     [](const TempDir&, const std::string& path) {
         return mkfifo(path.c_str(), 0600) == 0 ? std::string() : "planting failed";
     }},
};

void PrintTo(const Plant& plant, std::ostream* out) {
    *out << plant.name;
}

// Runs `body` in a child that must end within five seconds.
int RunBriefly(const std::function<int()>& body) {
    return RunInChild([&] {
        alarm(5);
        return body();
    });
}

class PlantedPaths : public ::testing::TestWithParam<Plant> {
protected:
    void SetUp() override {
        if (std::string(GetParam().name) == "FileOfAnotherUser" && geteuid() != 0)
            GTEST_SKIP() << "giving a file to another user needs root";
    }
};

TEST_P(PlantedPaths, AreNotWrittenByAReportAndTheFaultIsStillCaught) {
    const TempDir dir;
    const std::string path = dir.File("app.RPT");
    const std::string victim = GetParam().plant(dir, path);
    ASSERT_NE(victim, "planting failed");
    const int status = RunBriefly([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        ExceptionHandlerC guard;
        return Caught(NullWrite) ? 0 : 1;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    if (!victim.empty()) {
        EXPECT_EQ(ReadFile(victim), kPrecious);
    }
}

TEST_P(PlantedPaths, AreNotOpenedByAFileSink) {
    const TempDir dir;
    const std::string victim = GetParam().plant(dir, dir.File("log.txt"));
    ASSERT_NE(victim, "planting failed");
    const int status = RunBriefly([&] {
        BSS::HAL::PathMapC::setCFCardPath(dir.path.c_str());
        UTL::FileLogC sink("log.txt");
        sink.LogMessage("f", 1, 0, "written");
        return sink.IsOpen() ? 1 : 0;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    if (!victim.empty()) {
        EXPECT_EQ(ReadFile(victim), kPrecious);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedPaths, ::testing::ValuesIn(kPlants),
                         [](const auto& row) { return std::string(row.param.name); });

// A FIFO that has a reader opens at once; it is still refused.
TEST(ReportFile, AFifoWithAReaderGetsNothing) {
    const TempDir dir;
    const std::string path = dir.File("app.RPT");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int status = RunBriefly([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        ExceptionHandlerC guard;
        return Caught(NullWrite) ? 0 : 1;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    char byte;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
}

TEST(ReportFile, IsCreatedForItsOwnerOnly) {
    const TempDir dir;
    const std::string path = dir.File("app.RPT");
    const int status = RunBriefly([&] {
        umask(0);
        CExceptionLog::SetLogfileName(path.c_str());
        ExceptionHandlerC guard;
        return Caught(NullWrite) ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    struct stat status_;
    ASSERT_EQ(stat(path.c_str(), &status_), 0);
    EXPECT_EQ(status_.st_mode & 0777, 0600u);
}

}  // namespace
