// The report file (name, open rules, banner, writing), code names, the system
// classification, and bare-context reports: the block, both walks, their stops.
#include <UTL/ExceptionParse.h>
#include <UTL/SystemVersion.h>
#include <UTL/WideText.h>
#include <link.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "crash_test_support.h"
#include "win/Seams.h"
#include "win/Services.h"

using namespace crashtest;
using namespace UTL::win::testing;

namespace {

struct ParseProbe : CExceptionParse {  // opens the protected interface
    using CExceptionParse::_StackWalk, CExceptionParse::_SymGetLineFromAddr,
        CExceptionParse::_SymGetModuleBase, CExceptionParse::_SymGetSymFromAddr,
        CExceptionParse::GenerateExceptionReport, CExceptionParse::GetLogicalAddress,
        CExceptionParse::ImagehlpStackWalk, CExceptionParse::InitImagehlpFunctions;
};

// Runs gtest assertions in a child, for tests that change process-wide settings.
template <class Body>
void InChild(Body body) {
    if (RunInChild([&] { return body(), ::testing::Test::HasFailure() ? 1 : 0; }) != 0)
        ADD_FAILURE() << "the child process failed (see above)";
}

// The PT_LOAD segment (1-based index) and offset of an address, found
// independently of the library.
std::pair<unsigned long, unsigned long> LoadSegmentOf(const void* address) {
    struct Query {
        std::uintptr_t address;
        std::pair<unsigned long, unsigned long> found;
    } query{reinterpret_cast<std::uintptr_t>(address), {0, 0}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* q = static_cast<Query*>(data);
            unsigned long index = 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                ++index;
                const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
                if (q->address >= start && q->address < start + ph.p_memsz) {
                    q->found = {index, static_cast<unsigned long>(q->address - start)};
                    return 1;
                }
            }
            return 0;
        },
        &query);
    return query.found;
}

TEST(CrashReport, LogicalAddressIsTheLoadSegmentAndThePathNeverOverruns) {
    // Inside the C library (looked up there: a sanitizer intercepts many calls).
    void* code = dlsym(dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD), "getpid");
    const auto expected = LoadSegmentOf(code);
    ASSERT_NE(expected.first, 0u);
    char module[260];
    unsigned long section = 99, offset = 99;
    ASSERT_EQ(ParseProbe::GetLogicalAddress(code, module, sizeof module, section, offset), 1);
    EXPECT_NE(std::string(module).find("/libc.so"), std::string::npos) << module;
    EXPECT_EQ(section, expected.first);
    EXPECT_EQ(offset, expected.second);

    // A path that does not fit the caller's buffer is refused, not overrun.
    char small[9];
    std::fill(std::begin(small), std::end(small), '#');
    section = offset = 7;
    EXPECT_EQ(ParseProbe::GetLogicalAddress(code, small, 8, section, offset), 0);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(small[8], '#');
    EXPECT_EQ(section, 7u);
    // An address in no module: no path, section and offset untouched.
    char none[260] = "x";
    EXPECT_EQ(ParseProbe::GetLogicalAddress(reinterpret_cast<void*>(16), none, sizeof none, section,
                                            offset),
              0);
    EXPECT_EQ(section, 7u);
}

TEST(CrashLog, ExceptionNames) {
    EXPECT_STREQ(CExceptionLog::GetExceptionString(0x80000001), "GUARD_PAGE");
    EXPECT_STREQ(CExceptionLog::GetExceptionString(0xC0000096), "PRIV_INSTRUCTION");
    EXPECT_STREQ(CExceptionLog::GetExceptionString(0), "Unknown exception 0x00000000");
    // Codes that match the table only in their low 32 bits are not table codes.
    if (sizeof(unsigned long) > 4) {
        EXPECT_STREQ(CExceptionLog::GetExceptionString(~0ul - 0xFFFFFFFFul + 0xC0000005ul),
                     "Unknown exception 0xFFFFFFFFC0000005");
    }
}

struct VersionProbe : CTq32SystemVersionInfo {
    const OSVERSIONINFOEXA& Record() const { return m_osVersionInfo; }
    BOOL Extended() const { return m_bOsVersionInfoEx; }
};

OSVERSIONINFOEXA Record(DWORD platform, DWORD major, DWORD minor) {
    OSVERSIONINFOEXA record = {};
    record.dwPlatformId = platform, record.dwMajorVersion = major, record.dwMinorVersion = minor;
    return record;
}

TEST(CrashSystemVersion, LinuxAndTheClassificationOfInjectedRecords) {
    InChild([] {
        VersionProbe real;
        EXPECT_EQ(real.IsUnknownOS(), 1);
        EXPECT_EQ(real.Extended(), 1);
        EXPECT_EQ(real.Record().dwOSVersionInfoSize, 156u);
        EXPECT_EQ(std::string(real.Record().szCSDVersion).rfind("Linux ", 0), 0u);
        using OS = CTq32SystemVersionInfo;
        const std::tuple<DWORD, DWORD, DWORD, int> cases[] = {
            // platform, version, class
            {0, 0, 0, OS::eWin32S}, {0, 9, 9, OS::eWin32S},    {1, 4, 0, OS::eWin95},
            {1, 3, 95, OS::eWin95}, {1, 4, 10, OS::eWin98},    {1, 4, 1, OS::eWin98},
            {1, 4, 89, OS::eWin98}, {1, 4, 90, OS::eWinME},    {1, 5, 0, OS::eWinME},
            {2, 3, 51, OS::eNT35},  {2, 4, 0, OS::eNT40},      {2, 5, 0, OS::eWin2000},
            {2, 5, 1, OS::eWinXP},  {2, 5, 2, OS::eWinXP},     {2, 6, 0, OS::eWin2000},
            {2, 6, 1, OS::eWinXP},  {3, 5, 1, OS::eUnknownOS}, {0x100, 6, 1, OS::eUnknownOS},
        };
        const std::tuple<const char*, int (OS::*)(), int> predicates[] = {
            {"IsUnknownOS", &OS::IsUnknownOS, OS::eUnknownOS},
            {"IsWin32S", &OS::IsWin32S, OS::eWin32S},
            {"IsWin95", &OS::IsWin95, OS::eWin95},
            {"IsWin98", &OS::IsWin98, OS::eWin98},
            {"IsWinME", &OS::IsWinME, OS::eWinME},
            {"IsNT35", &OS::IsNT35, OS::eNT35},
            {"IsNT40", &OS::IsNT40, OS::eNT40},
            {"IsWin2000", &OS::IsWin2000, OS::eWin2000},
            {"IsWinXP", &OS::IsWinXP, OS::eWinXP},
        };
        for (const auto& [platform, major, minor, expected] : cases) {
            const OSVERSIONINFOEXA record = Record(platform, major, minor);
            InjectVersionRecord(&record, 1, 1);
            CTq32SystemVersionInfo info;
            std::ostringstream name;
            name << platform << " " << major << "." << minor;
            EXPECT_EQ(info.GetOperatingSystem(), expected) << name.str();
            for (const auto& [predicate, is, os] : predicates)
                EXPECT_EQ((info.*is)(), expected == os ? 1 : 0) << name.str() << " " << predicate;
            EXPECT_EQ(info.IsWinNTPlatform(), platform == 2 ? 1 : 0) << name.str();
        }
        // The basic record when the extended one is refused; nothing when both
        // are (the zeroed platform id is not read as Win32s).
        const OSVERSIONINFOEXA nt4 = Record(2, 4, 0);
        InjectVersionRecord(&nt4, 0, 1);
        VersionProbe basic;
        EXPECT_EQ(basic.Record().dwOSVersionInfoSize, sizeof(OSVERSIONINFOA));
        EXPECT_EQ(basic.IsNT40(), 1);
        EXPECT_EQ(basic.Extended(), 0);
        InjectVersionRecord(&nt4, 0, 0);
        VersionProbe none;
        EXPECT_EQ(none.IsUnknownOS(), 1);
        EXPECT_EQ(none.IsWin32S(), 0);
        EXPECT_EQ(none.IsWinNTPlatform(), 0);
    });
}

TEST(CrashLogName, DefaultNameAndSetRules) {
    InChild([] {
        const auto name = [](const char* executable, const char* tmp) {
            OverrideExecutablePath(executable);
            tmp ? setenv("TMPDIR", tmp, 1) : unsetenv("TMPDIR");
            CExceptionLog::SetLogfileName("");
            CExceptionLog recompute;
            return std::string(CExceptionLog::GetLogfileName());
        };
        const std::string base(250, 'x'), tooLong = "/p/" + std::string(256, 'y'),
                                          hugeTmp = "/" + std::string(300, 'd') + "/";
        const std::tuple<std::string, const char*, std::string> cases[] = {
            {"/opt/prog/App.exe", "/var/tmp/", "/var/tmp/App.RPT"},
            {"/opt/prog/App.exe", "/var/tmp", "/var/tmp/App.RPT"},
            {"/opt/prog/App.exe", nullptr, "/tmp/App.RPT"},
            {"/opt/prog/App.exe", "", "/tmp/App.RPT"},
            {"/p/App.exe", hugeTmp.c_str(), "/tmp/App.RPT"},
            {"/p/App.ab", "/t/", "/t/App.ab"},             // short extension: kept
            {"/p/App.longext", "/t/", "/t/App.RPT"},       // long: replaced
            {"/p.d/app", "/t.x/", "/t.x/app.RPT"},         // none: appended
            {"/p/a.b.cde", "/t/", "/t/a.b.RPT"},           // the last dot
            {"", "/t/", "/t/Exception.RPT"},               // executable unreadable
            {"/p/" + base, "/t/", "/t/" + base + ".RPT"},  // 3 + 250 + 4 < 260
            {tooLong, "/t/", "/t/Exception.RPT"},
        };
        for (const auto& [executable, tmp, expected] : cases)
            EXPECT_EQ(name(executable.c_str(), tmp), expected) << executable;
        EXPECT_EQ(name(nullptr, "/t/"), "/t/test_crash_report.RPT");  // the real executable
        CExceptionLog::SetLogfileName(nullptr);                       // refused
        EXPECT_STREQ(CExceptionLog::GetLogfileName(), "/t/test_crash_report.RPT");
        const std::string longest(259, 'p');
        CExceptionLog::SetLogfileName(longest.c_str());
        CExceptionLog::SetLogfileName(std::string(260, 'q').c_str());  // refused
        CExceptionLog again;  // a name once set is not replaced by the default
        EXPECT_EQ(CExceptionLog::GetLogfileName(), longest);
    });
}

const std::string kBanner =
    "//============== Application start ==================\n"
    "Application:      [^\n]*/test_crash_report\n"
    "Started at:       [0-9]{2}/[0-9]{2}/[0-9]{4} - [0-9]{2}:[0-9]{2}:[0-9]{2}\n"
    "Operating system: ";

__attribute__((noinline)) int ReportAtDepth(int depth) {
    if (depth == 0) return CExceptionParse(1), 1;
    volatile int keep = ReportAtDepth(depth - 1);
    return keep + 1;
}

TEST(CrashLogFile, BannerAtTheFirstSuccessfulOpenThenWrittenPieces) {
    TempDir dir;
    std::ofstream(dir.File("r.RPT")) << "old content\n";  // appending off: emptied
    Outcome r = RunReporting(
        [&] {
            // An unopenable file: nothing written, no report, no log message.
            CExceptionLog::SetLogfileName("/nonexistent-dir/x.RPT");
            if (CExceptionLog::OpenLogfile(1) != INVALID_HANDLE_VALUE) return 1;
            if (CExceptionLog::WriteLogfile("lost %s\n", "text") != 10) return 2;
            if (ReportAtDepth(1) != 2) return 3;
            CExceptionLog::SetLogfileName(dir.File("r.RPT").c_str());
            if (CExceptionLog::WriteLogfile("first %d\n", 1) != 8) return 4;
            if (CExceptionLog::IsOpen()) return 5;  // opened and closed around the write
            void* handle = CExceptionLog::OpenLogfile(1);
            if (handle == INVALID_HANDLE_VALUE) return 6;
            if (CExceptionLog::OpenLogfile(1) != handle) return 7;  // already open: the same
            // Another process (which inherited the open file and gives it up
            // first) cannot open it while it is open here.
            const int other = RunInChild([] {
                CExceptionLog::CloseLogfile();
                return CExceptionLog::OpenLogfile(1) == INVALID_HANDLE_VALUE ? 0 : 1;
            });
            CExceptionLog::WriteLogfile("%hs|%s|%08X|%2d\n", "narrow", "plain", 0xABCu, 7);
            CExceptionLog::WriteLogfile("%%hs %-4hs|%.2hs|\n", "ab", "xyz");
            CExceptionLog::CloseLogfile();
            CExceptionLog::CloseLogfile();  // closed: nothing happens
            // Longer text is cut to the 1023 characters of the buffer.
            const std::string longText(5000, 'z');
            if (CExceptionLog::WriteLogfile("%s%s", longText.c_str(), "tail") != 1023) return 8;
            if (CExceptionLog::IsOpen()) return 9;
            return other == 0 ? 0 : 10;  // 10: the other process opened the file
        },
        dir);
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_EQ(r.log, "");
    EXPECT_TRUE(
        std::regex_match(r.report, std::regex(kBanner + "Unknown \\(Linux [^\n]+\\)\n\nfirst 1\n"
                                                        "narrow\\|plain\\|00000ABC\\| 7\n"
                                                        "%hs ab  \\|xy\\|\nz{1023}")))
        << r;
    // Without service-pack text the banner has no parentheses.
    r = RunReporting([] {
        const OSVERSIONINFOEXA xp = Record(2, 5, 1);
        InjectVersionRecord(&xp, 1, 1);
        return CExceptionLog::WriteLogfile("x") - 1;
    });
    EXPECT_TRUE(std::regex_match(r.report, std::regex(kBanner + "Windows XP\n\nx"))) << r;
}

TEST(CrashLogFile, AppendAndSizeRules) {
    TempDir dir;
    // A run appending to a file of `existing` bytes (none: the file as it is)
    // with the size `limit` (0: the default); a later open ignores any limit.
    const auto run = [&](long existing, int append, unsigned limit) {
        if (existing >= 0) std::ofstream(dir.File("r.RPT")) << std::string(existing, '#');
        return RunReporting(
                   [&] {
                       CExceptionLog::AppendToLogfile(append);
                       if (limit) CExceptionLog::SetMaxLogfileSize(limit);
                       CExceptionLog::WriteLogfile("A\n");
                       CExceptionLog::SetMaxLogfileSize(1);
                       return CExceptionLog::WriteLogfile("B\n") - 2;
                   },
                   dir)
            .report;
    };
    const std::string kept = run(131072, 1, 0);
    EXPECT_EQ(kept.substr(0, 131072), std::string(131072, '#'));
    EXPECT_EQ(CountOf(kept, "Application start"), 1);
    EXPECT_EQ(CountOf(kept, "A\nB\n"), 1);
    EXPECT_EQ(run(131073, 1, 0).find('#'), std::string::npos) << "over the limit";
    EXPECT_EQ(run(10, 1, 9).find('#'), std::string::npos) << "over a smaller limit";
    EXPECT_EQ(run(3, 0, 0).rfind("//====", 0), 0u) << "appending off: always emptied";
    const std::string twice = run(-1, 1, 0);  // a second run appending: a second banner
    EXPECT_EQ(CountOf(twice, "Application start"), 2);
    EXPECT_NE(twice.find("A\nB\n//============== Application start"), std::string::npos);
}

// Frame lines of the frame-pointer walk (in `module` when given).
long FrameCount(const std::string& text, const std::string& module = "[^\n]*") {
    const std::regex frame("\n ?[0-9]+: [0-9A-F]{8,}  [0-9A-F]{8,}  [0-9A-F]{4}:[0-9A-F]{8} " +
                           module + " \\(Version: not available\\)(?=\n)");
    return std::distance(std::sregex_iterator(text.begin(), text.end(), frame),
                         std::sregex_iterator());
}

// The local date of `moment` as the report writes it.
std::string ReportDate(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    char text[16];
    return std::string(text, std::strftime(text, sizeof text, "%m/%d/%y", &local));
}

TEST(CrashReport, ConstructorReportOfTheCapturedContextAndTheFrameLimit) {
    const std::time_t before = std::time(nullptr);
    Outcome r = RunReporting([] { return ReportAtDepth(3) == 4 ? 0 : 1; });
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(r.Exited()) << r;
    // The date of the moment (which may have passed midnight meanwhile).
    const std::size_t dateAt = r.report.find("Date/time of exception: ");
    ASSERT_NE(dateAt, std::string::npos) << r;
    const std::string date = r.report.substr(dateAt + 24, 8);
    EXPECT_TRUE(date == ReportDate(before) || date == ReportDate(after))
        << date << " is neither " << ReportDate(before) << " nor " << ReportDate(after);
    // Symbol search is off by default: the frame-pointer walk and its note.
    EXPECT_EQ(r.log, "DbgHelp.dll or its exported procs not found");
    EXPECT_TRUE(
        std::regex_match(r.report, std::regex(kBanner + "[^\n]*\n\n" + BlockPattern("UNKNOWN"))))
        << r;
    // Only the control registers are captured: the general ones read 0 (on
    // 32-bit ARM R0-R3: R4-R11 are kept for the walk by the unwind tables).
    const std::string unknown = UTL::arch::kWalksByUnwindTables ? "4" : "6";
    EXPECT_TRUE(std::regex_search(r.report,
                                  std::regex("\nRegisters:\n(?:[A-Z0-9]+:0+\n){" + unknown + "}")))
        << r;
    // The captured point is in the caller, ReportAtDepth(0): fault address,
    // instruction pointer and first frame agree.
    const std::uintptr_t address = FaultAddressOf(r.report);
    EXPECT_EQ(InstructionPointerOf(r.report), address) << r;
    EXPECT_EQ(FirstFrameOf(r.report), address) << r;
    EXPECT_NE(r.report.find(" " + SelfPath() + "\n\nRegisters:"), std::string::npos) << r;
    EXPECT_GE(FrameCount(r.report, SelfPath()), 5) << r;  // ReportAtDepth x4, the test body
    // Limit 0: one frame; the default 40: 41 frames; no limit: the chain's end
    // (ReportAtDepth x61 and the test's frames).
    // Symbol search is on but the debugging-help library is missing: the same
    // walk and note.
    for (const auto& [limit, frames] : {std::pair(0u, 1l), {40u, 41l}, {0xFFFFFFFFu, 62l}}) {
        r = RunReporting([&, limit = limit] {
            OverrideDebugHelpLibrary("/nonexistent/libutldbghelp.so.1");
            CExceptionParse::EnableSymbolSearch(1);
            if (limit != 40) CExceptionParse::SetMaxStackTrace(limit);  // 40: the default
            return ReportAtDepth(60) - 61;
        });
        EXPECT_EQ(std::min(FrameCount(r.report), 62l), frames) << "limit " << limit << "\n" << r;
        EXPECT_EQ(r.log, "DbgHelp.dll or its exported procs not found") << "limit " << limit;
    }
}

// A report reaches the file in one write; one longer than the buffer in
// pieces that each filled the buffer as far as a line could be sure to fit,
// whole and in order.
TEST(CrashReport, AReportIsWrittenAtOnceOrInFullBufferPieces) {
    static std::vector<DWORD> writes;
    const TempDir dir;
    const std::string path = dir.File("r.RPT");
    InChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionLog::WriteLogfile("after the banner\n");
        ObserveWriteFile([](DWORD size) { writes.push_back(size); });
        ReportAtDepth(3);
        EXPECT_EQ(writes.size(), 1u);

        writes.clear();
        const std::size_t before = ReadFile(path).size();
        CExceptionParse::SetMaxStackTrace(0xFFFFFFFFu);
        ReportAtDepth(400);  // some 40 KiB
        ObserveWriteFile(nullptr);
        const std::string report = ReadFile(path).substr(before);
        ASSERT_GE(writes.size(), 3u);
        std::size_t total = 0;
        for (std::size_t i = 0; i < writes.size(); ++i) {
            total += writes[i];
            EXPECT_LE(writes[i], 16384u) << "write " << i;
            if (i + 1 < writes.size()) {
                EXPECT_GT(writes[i], 16384u - 1024u) << "write " << i;
            }
        }
        EXPECT_EQ(total, report.size());
        EXPECT_EQ(report.rfind("//=============== Exception start", 0), 0u);
        EXPECT_GE(FrameCount(report), 400);
        EXPECT_EQ(report.substr(report.size() - 2), "\n\n");
    });
}

// What the loaded-object queries tell about an address.
struct ModuleAnswer {
    std::size_t queried;
    PVOID base;
    std::string name;
    int segments;
    DWORD64 bias;
    std::string buildId;
};
ModuleAnswer AskAbout(const void* address) {
    ModuleAnswer answer{};
    MEMORY_BASIC_INFORMATION memory{};
    answer.queried = VirtualQuery(address, &memory, sizeof memory);
    const auto module = static_cast<HMODULE>(memory.AllocationBase);
    answer.base = memory.AllocationBase;
    char text[4096];
    GetModuleFileNameA(module, text, sizeof text);
    answer.name = text;
    IMAGE_LOAD_SEGMENT segments[16];
    answer.segments = GetModuleImageSegments(module, &answer.bias, segments, 16);
    GetModuleBuildId(module, text, sizeof text);
    answer.buildId = text;
    return answer;
}

// A report looks its frames' objects up in one snapshot of the loader's list:
// the answers are those of the list itself, and once the report is over a
// library loaded after it is found again.
TEST(CrashReport, ModuleSnapshotAnswersAsTheListAndEndsWithTheReport) {
    const TempDir dir;
    const std::string path = dir.File("r.RPT");
    InChild([&] {
        void* library = dlopen(UTL_FAKE_DBGHELP, RTLD_NOW);
        ASSERT_NE(library, nullptr);
        const std::pair<const char*, const void*> rows[] = {
            {"the program", reinterpret_cast<const void*>(&ReportAtDepth)},
            {"the C library", dlsym(dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD), "getpid")},
            {"a loaded library", dlsym(library, "SymInitialize")},
            {"no object", reinterpret_cast<const void*>(16)},
        };
        for (const auto& [row, address] : rows) {
            const ModuleAnswer walked = AskAbout(address);
            BeginModuleSnapshot();
            const ModuleAnswer snapshot = AskAbout(address);
            EndModuleSnapshot();
            EXPECT_EQ(snapshot.queried, walked.queried) << row;
            EXPECT_EQ(snapshot.base, walked.base) << row;
            EXPECT_EQ(snapshot.name, walked.name) << row;
            EXPECT_EQ(snapshot.segments, walked.segments) << row;
            EXPECT_EQ(snapshot.bias, walked.bias) << row;
            EXPECT_EQ(snapshot.buildId, walked.buildId) << row;
        }
        EXPECT_EQ(AskAbout(rows[0].second).name, SelfPath());

        dlclose(library);
        ASSERT_EQ(dlopen(UTL_FAKE_DBGHELP, RTLD_NOW | RTLD_NOLOAD), nullptr);
        CExceptionLog::SetLogfileName(path.c_str());
        ReportAtDepth(1);
        library = dlopen(UTL_FAKE_DBGHELP, RTLD_NOW);
        ASSERT_NE(library, nullptr);
        const ModuleAnswer later = AskAbout(dlsym(library, "SymInitialize"));
        EXPECT_EQ(later.queried, sizeof(MEMORY_BASIC_INFORMATION));
        EXPECT_EQ(later.name, UTL_FAKE_DBGHELP);
    });
}

// The GNU build-id note of an ELF file, found in its bytes: the note header
// (name size 4, type 3) and "GNU", then the id, as lower-case hexadecimal.
std::string BuildIdInFile(const std::string& path) {
    const std::string bytes = ReadFile(path);
    const std::string header("\x04\0\0\0", 4), type("\x03\0\0\0GNU\0", 8);
    for (auto at = bytes.find(type); at != std::string::npos; at = bytes.find(type, at + 1)) {
        if (at < 8 || bytes.compare(at - 8, 4, header) != 0) continue;
        const std::size_t size = static_cast<unsigned char>(bytes[at - 4]);
        std::string hex;
        for (std::size_t i = 0; i < size && at + 8 + i < bytes.size(); ++i) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x",
                          static_cast<unsigned char>(bytes[at + 8 + i]));
            hex += digits;
        }
        return hex;
    }
    return "";
}

TEST(CrashReport, BuildIdsOnlyWhenSwitchedOn) {
    const std::string id = BuildIdInFile(SelfPath());
    ASSERT_FALSE(id.empty()) << "the test program has no build-id";
    for (const int enabled : {0, 1}) {
        const Outcome r = RunReporting([&] {
            CExceptionLog::EnableBuildIds(enabled);
            return ReportAtDepth(0) - 1;
        });
        const std::string version = enabled ? "build-id " + id : "not available";
        EXPECT_GE(CountOf(r.report, SelfPath() + " (Version: " + version + ")\n"), 2)
            << "switch " << enabled << "\n"
            << r;
    }
    // Code in no module has none to show.
    const Outcome r = RunReporting([] {
        CExceptionLog::EnableBuildIds(1);
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        SetControl(context, 0x10, 0, 0);
        return ParseProbe::GenerateExceptionReport(&context), 0;
    });
    EXPECT_EQ(CountOf(r.report, " (Version: not available)\n"), 1) << r;
}

TEST(CrashReport, CorruptFramePointersEndTheWalkCleanly) {
    const auto at = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    // Chains that lead downwards or to themselves, after one return address.
    static std::uintptr_t chain[8] = {0, 0, 0, 0, at(&chain[2]), 0x1234, at(&chain[6]), 0x1234};
    alignas(16) static const std::uintptr_t readOnly[2] = {0, 0};
    // Null, misaligned, unmapped, not writable, chains, code, the top of memory.
    const std::uintptr_t frames[] = {0,
                                     0x13,
                                     0x10,
                                     at(readOnly),
                                     at(&chain[4]),
                                     at(&chain[6]),
                                     at(reinterpret_cast<void*>(&ReportAtDepth)),
                                     ~0ul - 7};
    for (const std::uintptr_t frame : frames) {
        const Outcome r = RunReporting([&] {
            CONTEXT context = {};
            context.ContextFlags = CONTEXT_CONTROL;
            SetControl(context, at(reinterpret_cast<void*>(&ReportAtDepth)), 0, frame);
            return ParseProbe::GenerateExceptionReport(&context), 0;
        });
        EXPECT_EQ(FrameCount(r.report), 1) << std::hex << frame << "\n" << r;
        EXPECT_EQ(CountOf(r.report, "Exception end"), 1) << std::hex << frame;
    }
}

// The search path that reaches SymInitialize, through a stand-in
// debugging-help library that records it ("(null)" for none).
TEST(CrashReport, SymbolPathIsRefusedWhenItDoesNotFitAndEmptyMeansNone) {
    InChild([] {
        OverrideDebugHelpLibrary(UTL_FAKE_DBGHELP);
        const auto passed = [] {
            EXPECT_EQ(ParseProbe::InitImagehlpFunctions(), 1);
            void* fake = dlopen(UTL_FAKE_DBGHELP, RTLD_NOW | RTLD_NOLOAD);
            return std::string(static_cast<const char*>(dlsym(fake, "g_searchPath")));
        };
        CExceptionParse::SetSymbolPath("/usr/lib/debug;/opt/symbols");
        CExceptionParse::SetSymbolPath(nullptr);  // keeps the previous path
        EXPECT_EQ(passed(), "/usr/lib/debug;/opt/symbols");
        const std::string longest(2047, 's');
        CExceptionParse::SetSymbolPath(longest.c_str());
        CExceptionParse::SetSymbolPath(std::string(2048, 't').c_str());  // refused
        EXPECT_EQ(passed(), longest);
        CExceptionParse::SetSymbolPath("");
        EXPECT_EQ(passed(), "(null)");
    });
}

// A scripted debugging-help library: three frames, one per output form.
DWORD64 g_pcs[4];

BOOL FakeStackWalk(DWORD machine, HANDLE, HANDLE, STACKFRAME* frame, PVOID,
                   PREAD_PROCESS_MEMORY_ROUTINE, PFUNCTION_TABLE_ACCESS_ROUTINE,
                   PGET_MODULE_BASE_ROUTINE, PTRANSLATE_ADDRESS_ROUTINE) {
    const DWORD64 index = frame->Reserved[0]++;
    if (machine != kMachine || index >= 4) return 0;
    frame->AddrPC.Offset = g_pcs[index];
    frame->AddrFrame.Offset = index == 3 ? 0 : 0x7000 + index * 0x10;
    return 1;
}
BOOL FakeLine(HANDLE, DWORD64 address, DWORD* displacement, IMAGEHLP_LINE* line) {
    if (address != g_pcs[0] - 5 && address != g_pcs[2] - 1000) return 0;
    std::strcpy(line->FileName, "walk.cpp");
    line->LineNumber = 42;
    return *displacement = 0, 1;
}
BOOL FakeSymbol(HANDLE, DWORD64 address, DWORD64* displacement, IMAGEHLP_SYMBOL* symbol) {
    if (address != g_pcs[1]) return 0;
    std::strcpy(symbol->Name, "Namespace::Function");
    return *displacement = 0x1C, 1;
}

TEST(CrashReport, SymbolWalkFormsAndBackwardLineSearch) {
    g_pcs[0] = reinterpret_cast<std::uintptr_t>(&ReportAtDepth) + 8;     // line 5 bytes below
    g_pcs[1] = 0x1234560;                                                // a symbol
    g_pcs[2] = reinterpret_cast<std::uintptr_t>(&ReportAtDepth) + 2000;  // line 1000 below
    g_pcs[3] = 0x99;
    const Outcome r = RunReporting([] {
        ParseProbe::_StackWalk = FakeStackWalk;
        ParseProbe::_SymGetModuleBase = [](HANDLE, DWORD64) -> DWORD64 { return 0x400000; };
        ParseProbe::_SymGetLineFromAddr = FakeLine;
        ParseProbe::_SymGetSymFromAddr = FakeSymbol;
        CExceptionLog::OpenLogfile(1);
        CONTEXT context = {};
        ParseProbe::ImagehlpStackWalk(&context);
        return CExceptionLog::CloseLogfile(), 0;
    });
    const std::string tail = " \\(Version: not available, Base address: 0x400000\\)\n";
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_TRUE(std::regex_search(
        r.report,
        std::regex("\nCall stack:\n    Address   Frame\n 1: [0-9A-F]{8,}  "
                   "00007000  walk\\.cpp \\(Line: 42\\) " +
                   SelfPath() + tail + " 2: 01234560  00007010  Namespace::Function\\+1C " + tail +
                   " 3: [0-9A-F]{8,}  00007020  [0-9A-F]{4}:[0-9A-F]{8} " + SelfPath() + tail +
                   "$")))  // frame address 0 ends it
        << r;
}

// A walk that never ends by itself stops after the limit's frame plus one.
TEST(CrashReport, SymbolWalkStopsAfterTheFrameLimit) {
    for (const unsigned limit : {0u, 1u, 5u}) {
        const Outcome r = RunReporting([&] {
            ParseProbe::_StackWalk = [](DWORD, HANDLE, HANDLE, STACKFRAME* frame, PVOID,
                                        PREAD_PROCESS_MEMORY_ROUTINE,
                                        PFUNCTION_TABLE_ACCESS_ROUTINE, PGET_MODULE_BASE_ROUTINE,
                                        PTRANSLATE_ADDRESS_ROUTINE) -> BOOL {
                frame->AddrPC.Offset = 0x99;
                frame->AddrFrame.Offset = 0x7000;
                return 1;
            };
            CExceptionParse::SetMaxStackTrace(limit);
            CExceptionLog::OpenLogfile(1);
            CONTEXT context = {};
            ParseProbe::ImagehlpStackWalk(&context);
            return CExceptionLog::CloseLogfile(), 0;
        });
        EXPECT_EQ(CountOf(r.report, ": 00000099  00007000  "), static_cast<int>(limit) + 1)
            << "limit " << limit << "\n"
            << r;
    }
}

// Line and file of an address through the stand-in library, which answers a
// line lookup at g_lineAt and a symbol lookup at g_symbolAt.
TEST(CrashReport, LineAndFileFromPointer) {
    InChild([] {
        unsigned long section = 7, offset = 7;
        char fileName[260] = "";
        IMAGEHLP_LINE line = {};
        line.FileName = fileName;
        OverrideDebugHelpLibrary("/nonexistent/libutldbghelp.so.1");
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(0x10, &line, section, offset), 0)
            << "no library";

        OverrideDebugHelpLibrary(UTL_FAKE_DBGHELP);
        void* fake = dlopen(UTL_FAKE_DBGHELP, RTLD_NOW);
        ASSERT_NE(fake, nullptr);
        DWORD64& lineAt = *static_cast<DWORD64*>(dlsym(fake, "g_lineAt"));
        DWORD64& symbolAt = *static_cast<DWORD64*>(dlsym(fake, "g_symbolAt"));
        const void* code = reinterpret_cast<const char*>(&ReportAtDepth) + 8;
        const unsigned long address = reinterpret_cast<std::uintptr_t>(code);
        const auto expected = LoadSegmentOf(code);
        ASSERT_NE(expected.first, 0u);

        lineAt = address;  // at the address itself
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(address, &line, section, offset), 1);
        EXPECT_STREQ(fileName, "fake.cpp");
        EXPECT_EQ(line.LineNumber, 42u);
        EXPECT_EQ(section, expected.first);
        EXPECT_EQ(offset, expected.second);
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(address, nullptr, section, offset), 0);

        lineAt = address - 999;  // the deepest the backward search goes
        fileName[0] = '\0';
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(address, &line, section, offset), 1);
        EXPECT_STREQ(fileName, "fake.cpp");

        // A line too far back: the symbol's name instead, line 0.
        lineAt = address - 1000;
        symbolAt = address;
        line.LineNumber = 99;
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(address, &line, section, offset), 1);
        EXPECT_STREQ(fileName, "Fake::Symbol");
        EXPECT_EQ(line.LineNumber, 0u);
        line.FileName = nullptr;  // no room for a name: only the line number
        line.LineNumber = 99;
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(address, &line, section, offset), 1);
        EXPECT_EQ(line.LineNumber, 0u);

        symbolAt = 0;  // neither
        line.FileName = fileName;
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(address, &line, section, offset), 0);

        // In no module: section and offset are reset, the lookups still answer.
        symbolAt = 0x10;
        section = offset = 7;
        EXPECT_EQ(CExceptionParse::GetLineAndFileFromPointer(0x10, &line, section, offset), 1);
        EXPECT_EQ(section, 0u);
        EXPECT_EQ(offset, 0u);
    });
}

TEST(CrashSymbols, FaultReportNamesSourceFilesAndLines) {
    // Probe in a child: loading the library must not change this process.
    if (RunInChild([] { return ParseProbe::InitImagehlpFunctions() ? 0 : 1; }))
        GTEST_SKIP() << "libutldbghelp.so.1 or libdw.so.1 is not usable here";
    const Outcome r = RunReporting([] {
        CExceptionParse::EnableSymbolSearch(1);
        CExceptionParse::SetMaxStackTrace(5);  // at most 6 frames
        ExceptionHandlerC guard;
        return Caught(NullWrite) ? 0 : 1;
    });
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_EQ(r.log.find("DbgHelp.dll"), std::string::npos) << r;
    // The faulting function, with its source line, then its callers (where
    // the compiler inlined the test's code, its lines are in the header).
    EXPECT_TRUE(std::regex_search(
        r.report, std::regex("\nCall stack:\n    Address   Frame\n"
                             " 1: [0-9A-F]{8,}  [0-9A-F]{8,}  [^\n]*crash_test_support\\.h "
                             "\\(Line: [0-9]+\\) " +
                             SelfPath() +
                             " \\(Version: not available, Base address: 0x[0-9A-F]+\\)\n"
                             " 2: [^\n]*\\.(h|cpp) \\(Line: [0-9]+\\) ")))
        << r;
    EXPECT_EQ(r.report.find("\n 7: "), std::string::npos);
}

}  // namespace
