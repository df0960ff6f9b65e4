// The report file (name, open rules, banner, line formatting), exception code
// names and the operating-system classification.
#include <UTL/ExceptionLog.h>
#include <UTL/SystemVersion.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "crash_test_support.h"

using crashtest::CountOf;
using crashtest::Describe;
using crashtest::ExitedWith;
using crashtest::ReadFile;
using crashtest::RunInChild;
using crashtest::TempDir;

namespace {

// ---- Exception code names -----------------------------------------------------

TEST(CrashLogNames, TableCodesHaveTheirNames) {
    const struct {
        unsigned long code;
        const char* name;
    } table[] = {
        {0x80000001, "GUARD_PAGE"},
        {0x80000002, "DATATYPE_MISALIGNMENT"},
        {0x80000003, "BREAKPOINT"},
        {0x80000004, "SINGLE_STEP"},
        {0xC0000005, "ACCESS_VIOLATION"},
        {0xC0000006, "IN_PAGE_ERROR"},
        {0xC0000008, "INVALID_HANDLE"},
        {0xC000001D, "ILLEGAL_INSTRUCTION"},
        {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
        {0xC0000026, "INVALID_DISPOSITION"},
        {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
        {0xC000008D, "FLT_DENORMAL_OPERAND"},
        {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
        {0xC000008F, "FLT_INEXACT_RESULT"},
        {0xC0000090, "FLT_INVALID_OPERATION"},
        {0xC0000091, "FLT_OVERFLOW"},
        {0xC0000092, "FLT_STACK_CHECK"},
        {0xC0000093, "FLT_UNDERFLOW"},
        {0xC0000094, "INT_DIVIDE_BY_ZERO"},
        {0xC0000095, "INT_OVERFLOW"},
        {0xC0000096, "PRIV_INSTRUCTION"},
        {0xC00000FD, "STACK_OVERFLOW"},
    };
    for (const auto& entry : table)
        EXPECT_STREQ(CExceptionLog::GetExceptionString(entry.code), entry.name) << entry.code;
}

TEST(CrashLogNames, OtherCodesGetAClearTextThatTheNextLookupReplaces) {
    char* first = CExceptionLog::GetExceptionString(0xE06D7363);
    EXPECT_STREQ(first, "Unknown exception 0xE06D7363");
    char* second = CExceptionLog::GetExceptionString(0);
    EXPECT_EQ(first, second);  // one buffer
    EXPECT_STREQ(second, "Unknown exception 0x00000000");
    // Codes that only match the table in their low 32 bits are not table codes.
    EXPECT_STREQ(CExceptionLog::GetExceptionString(0x1C0000005ul), "Unknown exception 0x1C0000005");
}

// ---- Operating system ---------------------------------------------------------

class VersionProbe : public CTq32SystemVersionInfo {
public:
    const OSVERSIONINFOEXA& Record() const { return m_osVersionInfo; }
    BOOL Extended() const { return m_bOsVersionInfoEx; }
};

OSVERSIONINFOEXA Record(DWORD platform, DWORD major, DWORD minor) {
    OSVERSIONINFOEXA record = {};
    record.dwPlatformId = platform;
    record.dwMajorVersion = major;
    record.dwMinorVersion = minor;
    return record;
}

class CrashSystemVersion : public ::testing::Test {
protected:
    void TearDown() override { UtlInjectVersionRecord(nullptr, 0, 0); }
};

TEST_F(CrashSystemVersion, LinuxIsUnknownWithKernelNameAndRelease) {
    VersionProbe probe;
    EXPECT_EQ(probe.GetOperatingSystem(), CTq32SystemVersionInfo::eUnknownOS);
    EXPECT_EQ(probe.IsUnknownOS(), 1);
    EXPECT_EQ(probe.IsWinNTPlatform(), 0);
    EXPECT_EQ(probe.Extended(), 1);
    EXPECT_EQ(probe.Record().dwOSVersionInfoSize, 156u);
    EXPECT_EQ(std::string(probe.Record().szCSDVersion).rfind("Linux ", 0), 0u)
        << probe.Record().szCSDVersion;
    EXPECT_GE(probe.Record().dwMajorVersion, 2u);
}

TEST_F(CrashSystemVersion, ClassificationTable) {
    using OS = CTq32SystemVersionInfo;
    const struct {
        DWORD platform, major, minor;
        OS::eOperatingSystem expected;
    } cases[] = {
        {0, 0, 0, OS::eWin32S}, {0, 9, 9, OS::eWin32S},    {1, 4, 0, OS::eWin95},
        {1, 3, 95, OS::eWin95}, {1, 4, 10, OS::eWin98},    {1, 4, 1, OS::eWin98},
        {1, 4, 89, OS::eWin98}, {1, 4, 90, OS::eWinME},    {1, 5, 0, OS::eWinME},
        {2, 3, 51, OS::eNT35},  {2, 4, 0, OS::eNT40},      {2, 5, 0, OS::eWin2000},
        {2, 5, 1, OS::eWinXP},  {2, 5, 2, OS::eWinXP},     {2, 6, 0, OS::eWin2000},
        {2, 6, 1, OS::eWinXP},  {3, 5, 1, OS::eUnknownOS}, {0x100, 6, 1, OS::eUnknownOS},
    };
    for (const auto& c : cases) {
        const OSVERSIONINFOEXA record = Record(c.platform, c.major, c.minor);
        UtlInjectVersionRecord(&record, 1, 1);
        CTq32SystemVersionInfo info;
        EXPECT_EQ(info.GetOperatingSystem(), c.expected)
            << c.platform << " " << c.major << "." << c.minor;
        const int predicates[] = {info.IsUnknownOS(), info.IsWin32S(),  info.IsWin95(),
                                  info.IsWin98(),     info.IsWinME(),   info.IsNT35(),
                                  info.IsNT40(),      info.IsWin2000(), info.IsWinXP()};
        for (int i = 0; i < 9; ++i) EXPECT_EQ(predicates[i], i == c.expected ? 1 : 0);
        EXPECT_EQ(info.IsWinNTPlatform(), c.platform == 2 ? 1 : 0);
    }
}

TEST_F(CrashSystemVersion, FallsBackToTheBasicRecordThenToUnknown) {
    const OSVERSIONINFOEXA nt4 = Record(2, 4, 0);
    UtlInjectVersionRecord(&nt4, 0, 1);
    VersionProbe basic;
    EXPECT_EQ(basic.Extended(), 0);
    EXPECT_EQ(basic.Record().dwOSVersionInfoSize, 148u);
    EXPECT_EQ(basic.IsNT40(), 1);

    UtlInjectVersionRecord(&nt4, 0, 0);
    VersionProbe none;
    EXPECT_EQ(none.IsUnknownOS(), 1);
    EXPECT_EQ(none.IsWin32S(), 0);  // the zeroed platform id is not read as Win32s
    EXPECT_EQ(none.IsWinNTPlatform(), 0);
    EXPECT_EQ(none.Record().dwOSVersionInfoSize, 148u);
    EXPECT_EQ(none.Record().dwPlatformId, 0u);
}

TEST_F(CrashSystemVersion, CopiesAnswerAsTheirSourceWithoutQueryingAgain) {
    const OSVERSIONINFOEXA xp = Record(2, 5, 1);
    UtlInjectVersionRecord(&xp, 1, 1);
    CTq32SystemVersionInfo source;
    UtlInjectVersionRecord(nullptr, 0, 0);
    CTq32SystemVersionInfo copy(source);
    EXPECT_EQ(copy.IsWinXP(), 1);
    EXPECT_EQ(copy.IsWinNTPlatform(), 1);
    CTq32SystemVersionInfo assigned;
    assigned = source;
    EXPECT_EQ(assigned.IsWinXP(), 1);
}

// ---- File name ------------------------------------------------------------------

class CrashLogName : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = CExceptionLog::GetLogfileName();
        const char* tmp = std::getenv("TMPDIR");
        m_hadTmp = tmp != nullptr;
        if (tmp) m_savedTmp = tmp;
    }
    void TearDown() override {
        UtlOverrideExecutablePath(nullptr);
        if (m_hadTmp)
            setenv("TMPDIR", m_savedTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        CExceptionLog::SetLogfileName(m_saved.c_str());
    }
    // The default name for an executable path and temporary directory.
    static std::string DefaultName(const char* executable, const char* tmp) {
        UtlOverrideExecutablePath(executable);
        if (tmp)
            setenv("TMPDIR", tmp, 1);
        else
            unsetenv("TMPDIR");
        CExceptionLog::SetLogfileName("");
        CExceptionLog recompute;
        return CExceptionLog::GetLogfileName();
    }

private:
    std::string m_saved, m_savedTmp;
    bool m_hadTmp = false;
};

TEST_F(CrashLogName, ExecutableNameInTheTemporaryDirectory) {
    EXPECT_EQ(DefaultName("/opt/prog/App.exe", "/var/tmp/"), "/var/tmp/App.RPT");
    EXPECT_EQ(DefaultName("/opt/prog/App.exe", "/var/tmp"), "/var/tmp/App.RPT");
    EXPECT_EQ(DefaultName("/opt/prog/App.exe", nullptr), "/tmp/App.RPT");
    EXPECT_EQ(DefaultName("/opt/prog/App.exe", ""), "/tmp/App.RPT");
}

TEST_F(CrashLogName, ExtensionRules) {
    EXPECT_EQ(DefaultName("/p/App.ab", "/t/"), "/t/App.ab");        // short: kept
    EXPECT_EQ(DefaultName("/p/App.longext", "/t/"), "/t/App.RPT");  // long: replaced
    EXPECT_EQ(DefaultName("/p/app", "/t/"), "/t/app.RPT");          // none: appended
    EXPECT_EQ(DefaultName("/p.d/app", "/t.x/"), "/t.x/app.RPT");    // dots elsewhere
    EXPECT_EQ(DefaultName("/p/a.b.cde", "/t/"), "/t/a.b.RPT");      // the last dot
}

TEST_F(CrashLogName, FallbackNames) {
    EXPECT_EQ(DefaultName("", "/t/"), "/t/Exception.RPT");  // executable unreadable
    const std::string longBase(250, 'x');
    EXPECT_EQ(DefaultName(("/p/" + longBase).c_str(), "/t/"), "/t/x" + longBase.substr(1) + ".RPT")
        << "fits: 3 + 250 + 4 < 260";
    const std::string tooLong(256, 'y');
    EXPECT_EQ(DefaultName(("/p/" + tooLong).c_str(), "/t/"), "/t/Exception.RPT");
    const std::string hugeTmp = "/" + std::string(300, 'd') + "/";
    EXPECT_EQ(DefaultName("/p/App.exe", hugeTmp.c_str()), "/tmp/App.RPT");
}

TEST_F(CrashLogName, RealExecutableAndSetRules) {
    const std::string name = DefaultName(nullptr, "/t/");
    EXPECT_EQ(name, "/t/test_crash_log.RPT");
    CExceptionLog::SetLogfileName(nullptr);  // refused
    EXPECT_EQ(CExceptionLog::GetLogfileName(), name);
    const std::string longest(259, 'p');
    CExceptionLog::SetLogfileName(longest.c_str());
    EXPECT_EQ(CExceptionLog::GetLogfileName(), longest);
    CExceptionLog::SetLogfileName(std::string(260, 'q').c_str());  // refused
    EXPECT_EQ(CExceptionLog::GetLogfileName(), longest);
    // A name once set is not replaced by the default.
    CExceptionLog again;
    EXPECT_EQ(CExceptionLog::GetLogfileName(), longest);
}

// ---- Opening, banner and writing (each in a fresh child process) ---------------

const std::regex kBanner(
    "//============== Application start ==================\n"
    "Application:      [^\n]*/test_crash_log\n"
    "Started at:       [0-9]{2}/[0-9]{2}/[0-9]{4} - [0-9]{2}:[0-9]{2}:[0-9]{2}\n"
    "Operating system: Unknown \\(Linux [^\n]+\\)\n\n");

TEST(CrashLogFile, BannerOnceThenAppendedPieces) {
    TempDir dir;
    const std::string path = dir.File("r.RPT");
    crashtest::WriteFileText(path, "old content\n");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        if (CExceptionLog::IsOpen()) return 1;
        if (CExceptionLog::WriteLogfile("first %d\n", 1) != 8) return 2;
        if (CExceptionLog::IsOpen()) return 3;  // opened and closed around the write
        void* handle = CExceptionLog::OpenLogfile(1);
        if (handle == INVALID_HANDLE_VALUE || !CExceptionLog::IsOpen()) return 4;
        if (CExceptionLog::OpenLogfile(1) != handle) return 5;  // already open: same handle
        CExceptionLog::WriteLogfile("%hs|%s|%08X|%2d\n", "narrow", "plain", 0xABCu, 7);
        CExceptionLog::WriteLogfile("%%hs %-4hs|%.2hs|\n", "ab", "xyz");
        CExceptionLog::CloseLogfile();
        CExceptionLog::CloseLogfile();  // closed: nothing happens
        if (CExceptionLog::IsOpen()) return 6;
        CExceptionLog::WriteLogfile("third\n");
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(path);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(text, match, kBanner)) << text;
    EXPECT_EQ(match.position(0), 0) << "appending off: old content is gone";
    EXPECT_EQ(text.substr(match.length(0)),
              "first 1\nnarrow|plain|00000ABC| 7\n%hs ab  |xy|\nthird\n");
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(CrashLogFile, BannerWithoutServicePackTextHasNoParentheses) {
    TempDir dir;
    const std::string path = dir.File("r.RPT");
    const int status = RunInChild([&] {
        OSVERSIONINFOEXA xp = {};
        xp.dwPlatformId = 2;
        xp.dwMajorVersion = 5;
        xp.dwMinorVersion = 1;
        UtlInjectVersionRecord(&xp, 1, 1);
        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionLog::WriteLogfile("x");
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("\nOperating system: Windows XP\n\nx"), std::string::npos) << text;
}

// Appending: the size limit decides at the first open of a run only.
std::string AppendRun(const std::string& path, size_t existing, int append, unsigned limit) {
    crashtest::WriteFileText(path, std::string(existing, '#'));
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionLog::AppendToLogfile(append);
        if (limit) CExceptionLog::SetMaxLogfileSize(limit);
        CExceptionLog::WriteLogfile("A\n");
        CExceptionLog::SetMaxLogfileSize(1);  // later opens ignore the limit
        CExceptionLog::WriteLogfile("B\n");
        return 0;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
    return ReadFile(path);
}

TEST(CrashLogFile, AppendAndSizeRules) {
    TempDir dir;
    const std::string path = dir.File("a.RPT");
    std::string text = AppendRun(path, 131072, 1, 0);
    EXPECT_EQ(text.substr(0, 131072), std::string(131072, '#'));
    EXPECT_EQ(CountOf(text, "Application start"), 1);
    EXPECT_EQ(text.substr(text.size() - 4), "A\nB\n");

    text = AppendRun(path, 131073, 1, 0);
    EXPECT_EQ(text.find('#'), std::string::npos) << "over the limit: emptied";

    text = AppendRun(path, 10, 1, 9);
    EXPECT_EQ(text.find('#'), std::string::npos) << "over a smaller limit: emptied";

    text = AppendRun(path, 3, 0, 0);
    EXPECT_EQ(text.find('#'), std::string::npos) << "appending off: always emptied";
    EXPECT_EQ(text.rfind("//====", 0), 0u);

    // Two runs appending: two banners.
    AppendRun(path, 0, 1, 0);
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionLog::AppendToLogfile(1);
        CExceptionLog::WriteLogfile("C\n");
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0));
    text = ReadFile(path);
    EXPECT_EQ(CountOf(text, "Application start"), 2);
    EXPECT_EQ(text.substr(text.size() - 2), "C\n");
    EXPECT_NE(text.find("A\nB\n//============== Application start"), std::string::npos);
}

TEST(CrashLogFile, UnopenableFileWritesNothingAndKeepsTheBannerForLater) {
    TempDir dir;
    const std::string good = dir.File("late.RPT");
    const int status = RunInChild([&] {
        const std::string bad = dir.File("missing/dir/x.RPT");
        CExceptionLog::SetLogfileName(bad.c_str());
        if (CExceptionLog::OpenLogfile(1) != INVALID_HANDLE_VALUE) return 1;
        if (CExceptionLog::IsOpen()) return 2;
        if (CExceptionLog::WriteLogfile("lost %s\n", "text") != 10) return 3;
        CExceptionLog::SetLogfileName(good.c_str());
        CExceptionLog::WriteLogfile("kept\n");
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(good);
    EXPECT_EQ(text.rfind("//============== Application start", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 5), "kept\n");
}

TEST(CrashLogFile, OpenIsExclusiveAcrossProcesses) {
    TempDir dir;
    const std::string path = dir.File("x.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        if (CExceptionLog::OpenLogfile(1) == INVALID_HANDLE_VALUE) return 1;
        // Another process (which inherited the open file and gives it up first).
        const int other = RunInChild([] {
            CExceptionLog::CloseLogfile();
            return CExceptionLog::OpenLogfile(1) == INVALID_HANDLE_VALUE ? 0 : 1;
        });
        if (!ExitedWith(other, 0)) return 2;
        CExceptionLog::CloseLogfile();
        const int after = RunInChild(
            [] { return CExceptionLog::OpenLogfile(1) != INVALID_HANDLE_VALUE ? 0 : 1; });
        return ExitedWith(after, 0) ? 0 : 3;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
}

TEST(CrashLogFile, LongTextIsCutAt1023Characters) {
    TempDir dir;
    const std::string path = dir.File("long.RPT");
    const std::string body(5000, 'z');
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionLog::OpenLogfile(1);
        const int n = CExceptionLog::WriteLogfile("%s%s", body.c_str(), "tail");
        CExceptionLog::CloseLogfile();
        return n == 1023 ? 0 : 1;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    // The banner ends in an empty line; the cut text follows it unterminated.
    const std::string text = ReadFile(path);
    ASSERT_GT(text.size(), 1025u);
    EXPECT_EQ(text.substr(text.size() - 1025), "\n\n" + std::string(1023, 'z'));
}

}  // namespace
