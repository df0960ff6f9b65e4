// The symbol walk through the debugging-help library (libutldbghelp.so.1,
// found beside libutl.so): source file and line of each frame in a build
// with debugging information, and the public line lookup.
#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "crash_test_support.h"

using crashtest::CountOf;
using crashtest::Describe;
using crashtest::ExitedWith;
using crashtest::ReadFile;
using crashtest::RecordingSinkC;
using crashtest::RunInChild;
using crashtest::TempDir;

namespace {

class ParseProbe : public CExceptionParse {
public:
    using CExceptionParse::InitImagehlpFunctions;
};

class CrashSymbols : public ::testing::Test {
protected:
    void SetUp() override {
        // Probe in a child: loading the library must not change this process.
        const int status = RunInChild([] { return ParseProbe::InitImagehlpFunctions() ? 0 : 1; });
        if (!ExitedWith(status, 0))
            GTEST_SKIP() << "the debugging-help library (libutldbghelp.so.1 and libdw.so.1) "
                            "is not usable here";
    }
};

__attribute__((noinline)) int LineOfThisFunction() {
    volatile int here = __LINE__;
    return here;
}

TEST_F(CrashSymbols, FaultReportNamesSourceFilesAndLines) {
    TempDir dir;
    const std::string path = dir.File("symbols.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        RecordingSinkC* sink = new RecordingSinkC;
        UTL::LogManagementC::AddSink(sink);
        CExceptionParse::EnableSymbolSearch(1);
        ExceptionHandlerC guard;
        bool caught = false;
        try {
            crashtest::NullWrite();
        } catch (ExceptionHandlerC&) {
            caught = true;
        }
        if (!caught) return 1;
        return sink->CountStartingWith("DbgHelp.dll") == 0 ? 0 : 2;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("\nCall stack:\n    Address   Frame\n"), std::string::npos) << text;
    // The faulting function and the test body, with their source lines.
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\n 1: [0-9A-F]{8,}  [0-9A-F]{8,}  [^\n]*crash_test_support\\.h "
                         "\\(Line: [0-9]+\\) [^\n]*test_crash_symbols \\(Version: not "
                         "available, Base address: 0x[0-9A-F]+\\)\n")))
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("test_crash_symbols\\.cpp \\(Line: [0-9]+\\)")))
        << text;
    EXPECT_EQ(CountOf(text, "Exception end"), 1);
}

TEST_F(CrashSymbols, BareContextReportWithSymbols) {
    TempDir dir;
    const std::string path = dir.File("bare.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionParse::EnableSymbolSearch(1);
        CExceptionParse::SetMaxStackTrace(2);
        CExceptionParse report(1);
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("Exception code: UNKNOWN\n"), std::string::npos);
    EXPECT_NE(text.find("    Address   Frame\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n 4: "), std::string::npos) << "limit 2: at most 3 frames";
}

TEST_F(CrashSymbols, LineAndFileOfAPointer) {
    const int status = RunInChild([] {
        char file[520] = "";
        IMAGEHLP_LINE line = {};
        line.SizeOfStruct = sizeof line;
        line.FileName = file;
        unsigned long section = 99, offset = 99;
        const unsigned long address = reinterpret_cast<unsigned long>(&LineOfThisFunction) + 4;
        if (CExceptionParse::GetLineAndFileFromPointer(address, &line, section, offset) != 1)
            return 1;
        if (!line.FileName || !std::strstr(line.FileName, "test_crash_symbols.cpp")) return 2;
        const int expected = LineOfThisFunction();
        if (line.LineNumber + 2 < static_cast<DWORD>(expected) ||
            line.LineNumber > static_cast<DWORD>(expected))
            return 3;
        if (section < 1 || section > 16) return 4;

        // A function with a symbol but without line information: its name.
        Dl_info info;
        void* symbol = dlsym(RTLD_DEFAULT, "getpid");
        if (!symbol || !dladdr(symbol, &info)) return 0;
        file[0] = '\0';
        line.FileName = file;
        line.LineNumber = 7;
        const unsigned long inLibc = reinterpret_cast<unsigned long>(symbol);
        const int found =
            CExceptionParse::GetLineAndFileFromPointer(inLibc, &line, section, offset);
        if (found == 1 && line.LineNumber != 0) return 0;  // libc has line information here
        if (found != 1 || std::strstr(file, "getpid") == nullptr) return 5;
        line.FileName = nullptr;
        if (CExceptionParse::GetLineAndFileFromPointer(inLibc, &line, section, offset) != 1)
            return 6;
        return 0;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
}

}  // namespace
