// utl-symbolize: prints an exception report with the function and source
// line of every call-stack frame, from the modules' debug information.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Modules.h"
#include "ReportLine.h"

namespace {

const char kUsage[] = R"(Usage: utl-symbolize [--sysroot DIR] [--debug-dir DIR]... [REPORT]

Prints an exception report (REPORT, or standard input when it is absent or
"-") with every call-stack frame followed by where it is in the source, one
line per function, the innermost inlined function first:

    <function> at <file>:<line>

Both call-stack forms (frame-pointer walk and symbol search), every
architecture's register block, and files with several process runs and
blocks are read. A frame's module is taken from the path the report names:

  --sysroot DIR    the device's file tree copied here (DIR/usr/bin/app for
                   /usr/bin/app); without it, the path as it is on this machine
  --debug-dir DIR  unstripped copies or separate debug files (objcopy
                   --only-keep-debug, also DIR/.build-id/xx/yyyy.debug),
                   matched by build-id where the report carries one, by file
                   name otherwise; may be given more than once

Section and offset are mapped through the module's program headers (the
section is the 1-based PT_LOAD index); every frame but a fault's first is a
return address, so the line of the call before it is looked up. A frame
whose debug file has another build-id than the report's module (or than
the device's copy) is marked with a warning: its lines may be another
build's. A module or debug information that is not found is said so.

Workflow:
  1. Build with -g (and -fno-omit-frame-pointer for the frame-pointer walk);
     keep the unstripped binaries, or their debug files:
       objcopy --only-keep-debug app app.debug && strip app
  2. In the application, CExceptionLog::EnableBuildIds(1) puts each module's
     build-id in the report, so that copies are matched to the exact build.
  3. From a field report:
       utl-symbolize --sysroot device-tree --debug-dir build/symbols app.RPT
)";

struct Options {
    std::string sysroot;
    std::vector<std::string> debugDirs;
    std::string report = "-";
};

// False with a message when the command line is wrong; `help` when asked.
bool ParseOptions(int argc, char** argv, Options& options, bool& help) {
    help = false;
    bool reportGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            help = true;
            return true;
        }
        if (arg == "--sysroot" && i + 1 < argc) {
            options.sysroot = argv[++i];
        } else if (arg == "--debug-dir" && i + 1 < argc) {
            options.debugDirs.emplace_back(argv[++i]);
        } else if (arg.rfind("--sysroot=", 0) == 0) {
            options.sysroot = arg.substr(10);
        } else if (arg.rfind("--debug-dir=", 0) == 0) {
            options.debugDirs.push_back(arg.substr(12));
        } else if ((arg == "-" || arg[0] != '-') && !reportGiven) {
            options.report = arg;
            reportGiven = true;
        } else {
            std::cerr << "utl-symbolize: unexpected argument '" << arg << "' (see --help)\n";
            return false;
        }
    }
    return true;
}

void PrintWarnings(const symbolize::Module& module, const symbolize::Frame& frame) {
    const std::string& file = module.fileBuildId;
    if (!frame.buildId.empty() && file != frame.buildId) {
        std::cout << "    warning: " << module.debugPath << " has build-id "
                  << (file.empty() ? "none" : file) << ", the report's module " << frame.buildId
                  << ": the lines may be another build's\n";
    } else if (frame.buildId.empty() && !module.deviceBuildId.empty() &&
               module.deviceBuildId != file) {
        std::cout << "    warning: " << module.debugPath << " has build-id "
                  << (file.empty() ? "none" : file) << ", the device's copy " << module.devicePath
                  << " " << module.deviceBuildId << ": the lines may be another build's\n";
    }
}

// The lines that follow a frame: where it is, or why that is not known.
void PrintResolution(symbolize::ModuleFinder& finder, const symbolize::Frame& frame,
                     bool returnAddress) {
    if (frame.module.empty()) {
        std::cout << "    (in no module)\n";
        return;
    }
    const symbolize::Module& module = finder.Find(frame.module, frame.buildId);
    if (module.debugPath.empty()) {
        std::cout << "    module not found: " << frame.module
                  << " (give the device's tree with --sysroot, or a copy in a --debug-dir)\n";
        return;
    }
    PrintWarnings(module, frame);
    std::uint64_t address = 0;
    if (!symbolize::ModuleAddress(module, frame, address)) {
        std::cout << "    the report's address does not fit " << module.debugPath << "\n";
        return;
    }
    if (returnAddress && address > 0) --address;  // the call, not what follows it
    if (!module.hasLines) {
        std::cout << "    no debug information for " << frame.module << " (give the unstripped "
                  << "copy or its debug file in a --debug-dir)\n";
    }
    const std::vector<symbolize::Location> chain = symbolize::Resolve(module, address);
    if (chain.empty() && module.hasLines) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(address));
        std::cout << "    nothing known at " << hex << " in " << module.debugPath << "\n";
    }
    for (const symbolize::Location& at : chain) {
        std::cout << "    " << (at.function.empty() ? "??" : at.function) << " at "
                  << (at.file.empty() ? "??" : at.file) << ":" << at.line << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help)) return 2;
    if (help) {
        std::cout << kUsage;
        return 0;
    }
    std::ifstream file;
    if (options.report != "-") {
        file.open(options.report);
        if (!file) {
            std::cerr << "utl-symbolize: cannot read " << options.report << ": "
                      << std::strerror(errno) << "\n";
            return 1;
        }
    }
    std::istream& in = options.report == "-" ? std::cin : file;
    symbolize::ModuleFinder finder(options.sysroot, options.debugDirs);
    bool firstIsCall = false;
    for (std::string line; std::getline(in, line);) {
        std::cout << line << "\n";
        if (symbolize::IsBlockStart(line)) firstIsCall = false;
        if (symbolize::ParseExceptionCode(line, firstIsCall)) continue;
        if (const auto frame = symbolize::ParseFrame(line))
            PrintResolution(finder, *frame, frame->number > 1 || firstIsCall);
    }
    return 0;
}
