// utl-symbolize on the reports of a stripped program, made as in the field:
// the program's copy under a device tree (--sysroot), its unstripped copy in a
// debug directory (--debug-dir).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "crash_test_support.h"

using namespace crashtest;

namespace {

const char kDevicePath[] = "/usr/bin/subject";

std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// The line of crash_chain.cpp marked "line:<name>".
int MarkedLine(const std::string& name) {
    std::ifstream source(UTL_CHAIN_SOURCE);
    int number = 0;
    for (std::string line; std::getline(source, line);) {
        ++number;
        if (line.find("// line:" + name) != std::string::npos) return number;
    }
    return 0;
}

std::string At(const std::string& function) {
    return function + " at " + UTL_CHAIN_SOURCE + ":" + std::to_string(MarkedLine(function));
}

// The lines the symbolizer printed after each frame line of the subject, in
// each exception block: blocks[b][frame number - 1].
using Resolutions = std::vector<std::vector<std::vector<std::string>>>;
Resolutions ResolutionsOf(const std::string& output) {
    Resolutions blocks;
    std::vector<std::string>* current = nullptr;
    const std::regex frame(" ?[0-9]+: [0-9A-F]{8,}  .*");
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("//=============== Exception start", 0) == 0) blocks.emplace_back();
        if (blocks.empty()) continue;
        if (std::regex_match(line, frame)) {
            blocks.back().emplace_back();
            current = &blocks.back().back();
        } else if (current && line.rfind("    ", 0) == 0 && line[4] != ' ') {
            current->push_back(line.substr(4));
        } else {
            current = nullptr;
        }
    }
    return blocks;
}

// A device tree with the stripped program, a debug directory with its
// unstripped copy and one whose build-id was changed, and the reports of
// four runs: frame-pointer walk, symbol search, frame-pointer walk with
// build-ids, and symbol search in the unstripped copy. The reports name the
// stripped program by its path on the device.
class Symbolize : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        const std::string device = dir->File("device") + kDevicePath;
        Shell("mkdir -p " + dir->File("device/usr/bin") + " " + dir->File("symbols") + " " +
              dir->File("other"));
        Shell(std::string(UTL_STRIP) + " -o " + device + " " + UTL_SUBJECT);
        Shell(std::string("cp ") + UTL_SUBJECT + " " + dir->File("symbols/subject"));
        for (const char* mode : {"fp", "symbols", "fp build-ids"})
            Shell(device + " " + dir->File("raw.RPT") + " " + mode);
        // Unstripped, symbol search names lines on the device: those frames
        // carry no segment, only the module's base address.
        Shell(dir->File("symbols/subject") + " " + dir->File("raw.RPT") + " symbols");
        std::string report = ReadFile(dir->File("raw.RPT"));
        for (std::size_t at; (at = report.find(dir->File("device"))) != std::string::npos;)
            report.erase(at, dir->File("device").size());
        std::ofstream(dir->File("r.RPT")) << report;

        // The same program with one bit of its build-id changed.
        std::smatch id;
        std::regex_search(report, id, std::regex("build-id ([0-9a-f]{16,})"));
        std::string bytes = ReadFile(UTL_SUBJECT), raw;
        for (std::size_t i = 0; i + 1 < id[1].str().size(); i += 2)
            raw += static_cast<char>(std::stoi(id[1].str().substr(i, 2), nullptr, 16));
        const std::size_t at = raw.empty() ? std::string::npos : bytes.find(raw);
        if (at != std::string::npos) bytes[at] ^= 1;
        std::ofstream(dir->File("other/subject"), std::ios::binary) << bytes;
    }
    static void TearDownTestSuite() { delete dir; }

    static std::string Symbolized(const std::string& options) {
        return Shell(std::string(UTL_SYMBOLIZE) + " " + options + " " + dir->File("r.RPT"));
    }

    static TempDir* dir;
};
TempDir* Symbolize::dir = nullptr;

TEST_F(Symbolize, EveryFrameOfBothFormsGetsItsFunctionAndLine) {
    const std::string output =
        Symbolized("--sysroot " + dir->File("device") + " --debug-dir " + dir->File("symbols"));
    const Resolutions blocks = ResolutionsOf(output);
    ASSERT_EQ(blocks.size(), 4u) << output;
    const std::vector<std::vector<std::string>> expected = {
        {At("ChainMean")},
        {At("Scaled"), At("ChainReduce")},  // the call inlined into ChainReduce
        {At("ChainOuter")},
        {At("ChainRun")},
    };
    const char* forms[] = {"frame-pointer walk", "symbol search", "frame-pointer walk, build-ids",
                           "symbol search, lines named on the device"};
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        ASSERT_GE(blocks[b].size(), expected.size()) << forms[b] << "\n" << output;
        for (std::size_t f = 0; f < expected.size(); ++f)
            EXPECT_EQ(blocks[b][f], expected[f]) << forms[b] << ", frame " << f + 1;
    }
    EXPECT_EQ(output.find("warning"), std::string::npos) << output;
}

TEST_F(Symbolize, BuildIdsAreInTheReportOnlyWhenSwitchedOn) {
    const std::string report = ReadFile(dir->File("r.RPT"));
    const std::regex subjectFrame(std::string(kDevicePath) + " \\(Version: ([^,)]*)");
    std::vector<std::string> versions;
    for (std::sregex_iterator it(report.begin(), report.end(), subjectFrame), end; it != end; ++it)
        versions.push_back((*it)[1]);
    ASSERT_FALSE(versions.empty()) << report;
    std::size_t thirdBlock = 0;
    for (int i = 0; i < 3; ++i) thirdBlock = report.find("Exception start", thirdBlock + 1);
    std::size_t at = 0;
    for (const std::string& version : versions) {
        at = report.find(kDevicePath + std::string(" (Version: ") + version, at + 1);
        if (at < thirdBlock)
            EXPECT_EQ(version, "not available");
        else
            EXPECT_TRUE(std::regex_match(version, std::regex("build-id [0-9a-f]{16,}"))) << version;
    }
}

// What the symbolizer says on a frame of the subject when it cannot name the
// line, or should not be trusted.
TEST_F(Symbolize, SaysWhatIsMissingOrMismatched) {
    const std::string device = " --sysroot " + dir->File("device");
    const std::string other = " --debug-dir " + dir->File("other");
    const struct {
        const char* name;
        std::string options;
        std::string said;
    } cases[] = {
        {"no module", "", "    module not found: /usr/bin/subject"},
        {"stripped only", device, "    no debug information for /usr/bin/subject"},
        {"another build-id than the report's", device + other,
         "    warning: " + dir->File("other/subject") + " has build-id "},
        {"another build-id than the device's copy", device + other, ", the device's copy "},
    };
    for (const auto& c : cases) {
        const std::string output = Symbolized(c.options);
        EXPECT_NE(output.find(c.said), std::string::npos) << c.name << "\n" << output;
    }
    // A copy that differs only in its build-id still names the lines.
    const Resolutions blocks = ResolutionsOf(Symbolized(device + other));
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[2][0].back(), At("ChainMean"));
}

TEST(SymbolizeHelp, ShowsTheWorkflow) {
    const std::string help = Shell(std::string(UTL_SYMBOLIZE) + " --help");
    EXPECT_NE(help.find("--sysroot DIR"), std::string::npos) << help;
    EXPECT_NE(help.find("--debug-dir DIR"), std::string::npos) << help;
    EXPECT_NE(help.find("EnableBuildIds"), std::string::npos) << help;
}

}  // namespace
