// Reports of a bare thread context: context capture, the exception block's
// lines, logical addresses, the frame-pointer walk and its stops, and the
// symbol walk's three frame forms through the debugging-help entry points.
#include <UTL/ExceptionParse.h>
#include <UTL/LogManagement.h>

#include <gtest/gtest.h>
#include <link.h>

#include <regex>
#include <string>
#include <vector>

#include "crash_test_support.h"

using crashtest::CountOf;
using crashtest::Describe;
using crashtest::ExitedWith;
using crashtest::Lines;
using crashtest::ReadFile;
using crashtest::RecordingSinkC;
using crashtest::RunInChild;
using crashtest::TempDir;

// Reads the private settings.
struct CExceptionParseTestAccess {
    static const char* SymbolPath() { return CExceptionParse::m_szSymbolPath; }
    static unsigned int MaxTrace() { return CExceptionParse::m_nMaxTrace; }
};

namespace {

// Opens the protected interface for the tests.
class ParseProbe : public CExceptionParse {
public:
    using CExceptionParse::_StackWalk;
    using CExceptionParse::_SymFunctionTableAccess;
    using CExceptionParse::_SymGetLineFromAddr;
    using CExceptionParse::_SymGetModuleBase;
    using CExceptionParse::_SymGetSymFromAddr;
    using CExceptionParse::GenerateExceptionReport;
    using CExceptionParse::GetLogicalAddress;
    using CExceptionParse::ImagehlpStackWalk;
    using CExceptionParse::InitImagehlpFunctions;
    using CExceptionParse::IntelStackWalk;
    using CExceptionParse::InternalSymGetLineFromAddr;
};

const char kFrameLine[] =
    "^ ?[0-9]+: [0-9A-F]{8,}  [0-9A-F]{8,}  [0-9A-F]{4}:[0-9A-F]{8} [^\n]* \\(Version: not "
    "available\\)$";

std::vector<std::string> FrameLines(const std::string& text) {
    std::vector<std::string> frames;
    const std::regex frame(kFrameLine);
    for (const std::string& line : Lines(text))
        if (std::regex_match(line, frame)) frames.push_back(line);
    return frames;
}

std::string SelfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

__attribute__((noinline)) int ReportAtDepth(int depth) {
    if (depth == 0) {
        CExceptionParse report(1);
        return 1;
    }
    volatile int keep = ReportAtDepth(depth - 1);
    return keep + 1;
}

// Writes a bare-context report in a child; returns the file's text.
template <class Body>
std::string ReportInChild(const TempDir& dir, Body body, int* statusOut = nullptr) {
    const std::string path = dir.File("report.RPT");
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(path.c_str());
        return body();
    });
    if (statusOut) *statusOut = status;
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
    return ReadFile(path);
}

TEST(CrashReport, ConstructorReportOfTheCapturedContext) {
    TempDir dir;
    const std::string text = ReportInChild(dir, [] {
        RecordingSinkC* sink = new RecordingSinkC;
        UTL::LogManagementC::AddSink(sink);
        ReportAtDepth(3);
        // The frame-pointer walk (symbol search is off) logs the fallback note.
        if (sink->Count() != 1) return 1;
        if (std::string(sink->Text(0)) != "DbgHelp.dll or its exported procs not found") return 2;
        return 0;
    });
    const std::vector<std::string> lines = Lines(text);
    ASSERT_GT(lines.size(), 25u) << text;
    EXPECT_EQ(CountOf(text, "//============== Application start =================="), 1);
    EXPECT_EQ(CountOf(text, "//=============== Exception start ===================\n"), 1);
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\nDate/time of exception: [0-9]{2}/[0-9]{2}/[0-9]{2} - "
                         "[0-9]{2}:[0-9]{2}:[0-9]{2}\nException code: UNKNOWN\n")))
        << text;
    // The context is taken inside the library.
    EXPECT_TRUE(std::regex_search(
        text,
        std::regex(
            "\nFault address:  [0-9A-F]{8,} [0-9A-F]{2}:[0-9A-F]{8} [^\n]*libutl\\.so[^\n]*\n")))
        << text;
    EXPECT_NE(text.find("\n\nRegisters:\nEAX:00000000\nEBX:00000000\nECX:00000000\nEDX:00000000\n"
                        "ESI:00000000\nEDI:00000000\nCS:EIP:0033:"),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\nSS:ESP:002B:[0-9A-F]{8,}  EBP:[0-9A-F]{8,}\n"
                                                   "DS:0000  ES:0000  FS:0000  GS:0000\n"
                                                   "Flags:[0-9A-F]{8}\n")))
        << text;
    EXPECT_NE(text.find("\nCall stack:\n    Address   Frame     Logical addr  Module\n"),
              std::string::npos);
    const std::vector<std::string> frames = FrameLines(text);
    ASSERT_GE(frames.size(), 6u) << text;
    EXPECT_EQ(frames[0].substr(0, 4), " 1: ");
    int inTest = 0;
    for (const std::string& frame : frames)
        if (frame.find(SelfPath() + " (Version: not available)") != std::string::npos) ++inTest;
    EXPECT_GE(inTest, 4) << text;  // ReportAtDepth x4 and the test body
    EXPECT_EQ(text.substr(text.size() - 53),
              "//=============== Exception end ===================\n\n");
}

TEST(CrashReport, FrameLimit) {
    TempDir dir;
    std::string text = ReportInChild(dir, [] {
        CExceptionParse::SetMaxStackTrace(0);
        ReportAtDepth(5);
        return 0;
    });
    EXPECT_EQ(FrameLines(text).size(), 1u) << text;

    text = ReportInChild(dir, [] {
        ReportAtDepth(60);  // default limit 40: 41 frames
        return 0;
    });
    const std::vector<std::string> frames = FrameLines(text);
    ASSERT_EQ(frames.size(), 41u) << text;
    EXPECT_EQ(frames.back().substr(0, 4), "41: ");

    text = ReportInChild(dir, [] {
        CExceptionParse::SetMaxStackTrace(0xFFFFFFFFu);  // the chain's end stops the walk
        ReportAtDepth(60);
        return 0;
    });
    EXPECT_GT(FrameLines(text).size(), 62u);
}

// A context whose frame pointer leads nowhere useful.
CONTEXT ContextWithFrame(std::uintptr_t frame) {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    context.Rip = reinterpret_cast<std::uintptr_t>(&ReportAtDepth);
    context.Rbp = frame;
    context.Rsp = frame;
    return context;
}

TEST(CrashReport, CorruptFramePointersEndTheWalkCleanly) {
    TempDir dir;
    static std::uintptr_t chain[8];
    alignas(16) static const std::uintptr_t readOnly[2] = {0, 0};
    const std::uintptr_t cases[] = {
        0,                                                 // null
        0x13,                                              // misaligned
        0x10,                                              // unmapped
        reinterpret_cast<std::uintptr_t>(&readOnly[0]),    // not writable
        reinterpret_cast<std::uintptr_t>(&ReportAtDepth),  // code
        ~static_cast<std::uintptr_t>(7),                   // top of the address space
    };
    for (std::uintptr_t frame : cases) {
        const std::string text = ReportInChild(dir, [&] {
            CONTEXT context = ContextWithFrame(frame);
            ParseProbe::GenerateExceptionReport(&context);
            return 0;
        });
        EXPECT_EQ(FrameLines(text).size(), 1u) << std::hex << frame << "\n" << text;
        EXPECT_NE(text.find("Exception end"), std::string::npos);
    }
    // A chain that leads downwards, or loops, stops after the frames read.
    chain[4] = reinterpret_cast<std::uintptr_t>(&chain[2]);  // saved frame below: stop
    chain[5] = 0x1234;
    const std::string text = ReportInChild(dir, [&] {
        CONTEXT context = ContextWithFrame(reinterpret_cast<std::uintptr_t>(&chain[4]));
        ParseProbe::GenerateExceptionReport(&context);
        chain[4] = reinterpret_cast<std::uintptr_t>(&chain[4]);  // itself: stop
        ParseProbe::GenerateExceptionReport(&context);
        return 0;
    });
    EXPECT_EQ(FrameLines(text).size(), 2u) << text;
    EXPECT_EQ(CountOf(text, "Exception end"), 2);
}

TEST(CrashReport, UnopenableFileMeansNoReportAndNoLogMessage) {
    TempDir dir;
    const int status = RunInChild([&] {
        RecordingSinkC* sink = new RecordingSinkC;
        UTL::LogManagementC::AddSink(sink);
        CExceptionLog::SetLogfileName(dir.File("no/such/dir.RPT").c_str());
        ReportAtDepth(1);
        return sink->Count() == 0 && !CExceptionLog::IsOpen() ? 0 : 1;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
}

TEST(CrashReport, SymbolPathIsRefusedWhenItDoesNotFit) {
    using Access = CExceptionParseTestAccess;
    EXPECT_STREQ(Access::SymbolPath(), "");
    EXPECT_EQ(Access::MaxTrace(), 40u);
    CExceptionParse::SetSymbolPath("/usr/lib/debug;/opt/symbols");
    EXPECT_STREQ(Access::SymbolPath(), "/usr/lib/debug;/opt/symbols");
    CExceptionParse::SetSymbolPath(nullptr);  // keeps the previous path
    EXPECT_STREQ(Access::SymbolPath(), "/usr/lib/debug;/opt/symbols");
    const std::string longest(2047, 's');
    CExceptionParse::SetSymbolPath(longest.c_str());
    EXPECT_EQ(Access::SymbolPath(), longest);
    CExceptionParse::SetSymbolPath(std::string(2048, 't').c_str());  // refused
    EXPECT_EQ(Access::SymbolPath(), longest);
    CExceptionParse::SetSymbolPath("");  // none
    EXPECT_STREQ(Access::SymbolPath(), "");
}

// ---- Logical addresses ----------------------------------------------------------

struct LoadSegments {
    std::uintptr_t bias = 0;
    std::vector<ElfW(Phdr)> loads;
};

int CollectMain(dl_phdr_info* info, size_t, void* data) {
    LoadSegments& out = *static_cast<LoadSegments*>(data);
    out.bias = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD) out.loads.push_back(info->dlpi_phdr[i]);
    return 1;  // the executable comes first
}

TEST(CrashReport, LogicalAddressIsTheLoadSegmentAndItsOffset) {
    LoadSegments main;
    dl_iterate_phdr(CollectMain, &main);
    ASSERT_GE(main.loads.size(), 2u);
    char module[260];
    for (size_t i = 0; i < main.loads.size(); ++i) {
        const ElfW(Phdr)& load = main.loads[i];
        const std::uintptr_t start = main.bias + load.p_vaddr;
        const std::uintptr_t size = std::max(load.p_filesz, load.p_memsz);
        for (std::uintptr_t delta : {std::uintptr_t{0}, size / 2, size}) {
            unsigned long section = 99, offset = 99;
            module[0] = '\0';
            // The end (start + size) still belongs to the segment when it is mapped.
            if (delta == size && ((start + size) & 4095) == 0) continue;
            ASSERT_EQ(ParseProbe::GetLogicalAddress(reinterpret_cast<void*>(start + delta), module,
                                                    sizeof module, section, offset),
                      1)
                << i << " " << delta;
            EXPECT_EQ(section, i + 1);
            EXPECT_EQ(offset, delta);
            EXPECT_EQ(std::string(module), SelfPath());
        }
    }
}

TEST(CrashReport, LogicalAddressOutsideEveryModule) {
    char module[260] = "unchanged";
    unsigned long section = 7, offset = 8;
    EXPECT_EQ(ParseProbe::GetLogicalAddress(reinterpret_cast<void*>(0x10), module, sizeof module,
                                            section, offset),
              0);
    EXPECT_EQ(section, 7u);
    EXPECT_EQ(offset, 8u);
    int onStack = 0;
    EXPECT_EQ(ParseProbe::GetLogicalAddress(&onStack, module, sizeof module, section, offset), 0);
    // A module path that does not fit the buffer is not written.
    char tiny[4] = "abc";
    EXPECT_EQ(ParseProbe::GetLogicalAddress(reinterpret_cast<void*>(&ReportAtDepth), tiny,
                                            sizeof tiny, section, offset),
              0);
    EXPECT_STREQ(tiny, "");
}

TEST(CrashReport, LibraryAddressNamesTheSharedObject) {
    char module[260];
    unsigned long section = 0, offset = 0;
    ASSERT_EQ(ParseProbe::GetLogicalAddress(reinterpret_cast<void*>(&CExceptionLog::IsOpen), module,
                                            sizeof module, section, offset),
              1);
    EXPECT_NE(std::string(module).find("libutl.so"), std::string::npos) << module;
    EXPECT_GE(section, 1u);
}

// ---- Symbol walk through the entry points ---------------------------------------

// A scripted debugging-help library: three frames, one per output form.
struct Script {
    static DWORD64 pcs[4];
    static int lineCalls;
};
DWORD64 Script::pcs[4];
int Script::lineCalls = 0;

BOOL FakeStackWalk(DWORD machine, HANDLE, HANDLE, STACKFRAME* frame, PVOID,
                   PREAD_PROCESS_MEMORY_ROUTINE, PFUNCTION_TABLE_ACCESS_ROUTINE,
                   PGET_MODULE_BASE_ROUTINE, PTRANSLATE_ADDRESS_ROUTINE) {
    if (machine != IMAGE_FILE_MACHINE_AMD64) return 0;
    const DWORD64 index = frame->Reserved[0]++;
    if (index >= 4) return 0;
    frame->AddrPC.Offset = Script::pcs[index];
    frame->AddrFrame.Offset = index == 3 ? 0 : 0x7000 + index * 0x10;
    return 1;
}

DWORD64 FakeModuleBase(HANDLE, DWORD64) {
    return 0x400000;
}

BOOL FakeLine(HANDLE, DWORD64 address, DWORD* displacement, IMAGEHLP_LINE* line) {
    ++Script::lineCalls;
    if (address != Script::pcs[0] - 5) return 0;  // only 5 bytes below the first frame
    std::strcpy(line->FileName, "walk.cpp");
    line->LineNumber = 42;
    *displacement = 0;
    return 1;
}

BOOL FakeSymbol(HANDLE, DWORD64 address, DWORD64* displacement, IMAGEHLP_SYMBOL* symbol) {
    if (address != Script::pcs[1]) return 0;
    std::strcpy(symbol->Name, "Namespace::Function");
    *displacement = 0x1C;
    return 1;
}

TEST(CrashReport, SymbolWalkFormsAndBackwardLineSearch) {
    TempDir dir;
    Script::pcs[0] = reinterpret_cast<std::uintptr_t>(&ReportAtDepth) + 8;
    Script::pcs[1] = 0x1234560;
    Script::pcs[2] = reinterpret_cast<std::uintptr_t>(&ReportAtDepth) + 2000;  // no line within 999
    Script::pcs[3] = 0x99;
    const std::string path = dir.File("walk.RPT");
    const int status = RunInChild([&] {
        ParseProbe::_StackWalk = FakeStackWalk;
        ParseProbe::_SymGetModuleBase = FakeModuleBase;
        ParseProbe::_SymGetLineFromAddr = FakeLine;
        ParseProbe::_SymGetSymFromAddr = FakeSymbol;
        unsigned long displacement = 0;
        IMAGEHLP_LINE line = {};
        char file[260] = "";
        line.FileName = file;
        if (!ParseProbe::InternalSymGetLineFromAddr(static_cast<unsigned long>(Script::pcs[0]),
                                                    &displacement, &line))
            return 1;
        if (displacement != 5 || line.LineNumber != 42) return 2;
        Script::lineCalls = 0;
        if (ParseProbe::InternalSymGetLineFromAddr(0x5000000, &displacement, &line)) return 3;
        if (Script::lineCalls != 1000) return 4;  // the address and 999 below it

        CExceptionLog::SetLogfileName(path.c_str());
        CExceptionLog::OpenLogfile(1);
        CONTEXT context = {};
        ParseProbe::ImagehlpStackWalk(&context);
        CExceptionLog::CloseLogfile();
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(path);
    const std::string self = SelfPath();
    EXPECT_NE(text.find("\nCall stack:\n    Address   Frame\n"), std::string::npos) << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\n 1: [0-9A-F]{8,}  00007000  walk\\.cpp \\(Line: 42\\) " + self +
                         " \\(Version: not available, Base address: 0x400000\\)\n")))
        << text;
    EXPECT_NE(text.find("\n 2: 01234560  00007010  Namespace::Function+1C  (Version: not "
                        "available, Base address: 0x400000)\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\n 3: [0-9A-F]{8,}  00007020  [0-9A-F]{4}:[0-9A-F]{8} " + self +
                         " \\(Version: not available, Base address: 0x400000\\)\n")))
        << text;
    EXPECT_EQ(text.find("\n 4:"), std::string::npos) << "frame address 0 ends the walk";
}

TEST(CrashReport, MissingDebugHelpLibraryFallsBackToTheFramePointerWalk) {
    TempDir dir;
    const std::string text = ReportInChild(dir, [] {
        UtlOverrideDebugHelpLibrary("/nonexistent/libutldbghelp.so.1");
        RecordingSinkC* sink = new RecordingSinkC;
        UTL::LogManagementC::AddSink(sink);
        CExceptionParse::EnableSymbolSearch(1);
        if (CExceptionParse::EnableSymbolSearch() != 1) return 1;
        IMAGEHLP_LINE line = {};
        unsigned long section = 5, offset = 6;
        if (CExceptionParse::GetLineAndFileFromPointer(0x1000, &line, section, offset) != 0)
            return 2;
        if (section != 5 || offset != 6) return 3;
        ReportAtDepth(2);
        return sink->CountStartingWith("DbgHelp.dll or its exported procs not found") == 1 ? 0 : 4;
    });
    EXPECT_NE(text.find("    Address   Frame     Logical addr  Module\n"), std::string::npos);
    EXPECT_GE(FrameLines(text).size(), 3u);
}

}  // namespace
