// The files of the modules a report names: the device's copy (its path,
// under --sysroot), and the file with its debug information (an unstripped
// copy or a separate debug file in a --debug-dir, matched by build-id where
// the report carries one, by name otherwise; else the device's copy itself).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ReportLine.h"

namespace symbolize {

struct Location {
    std::string function;  // demangled; empty when unknown
    std::string file;      // empty when unknown
    int line = 0;
};

class Resolver;  // libdw's view of one debug file (Modules.cpp)

struct Module {
    std::string devicePath;   // empty when not found
    std::string debugPath;    // the file the lines come from; empty when none
    std::string fileBuildId;  // of the debug file (or the device's copy)
    std::string deviceBuildId;
    bool hasLines = false;                // the debug file has DWARF
    std::vector<std::uint64_t> segments;  // p_vaddr of each PT_LOAD, in order
    std::shared_ptr<Resolver> resolver;
};

class ModuleFinder {
public:
    ModuleFinder(std::string sysroot, std::vector<std::string> debugDirs);
    ~ModuleFinder();

    // The module of a frame (looked up once per path and build-id).
    const Module& Find(const std::string& path, const std::string& buildId);

private:
    std::string FindByBuildId(const std::string& buildId);
    std::string FindByName(const std::string& path) const;

    std::string m_sysroot;
    std::vector<std::string> m_debugDirs;
    std::map<std::string, std::string> m_buildIdIndex;  // build-id -> file in a debug dir
    bool m_indexed = false;
    std::map<std::string, Module> m_modules;
};

// The address of a frame in the module's own numbering (its ELF virtual
// addresses); false when the report's numbers do not fit the module.
bool ModuleAddress(const Module& module, const Frame& frame, std::uint64_t& address);

// The function and source line of `address`, innermost inlined function first,
// the function it was inlined into after it, and so on. Empty when nothing is
// known; one entry with only `function` when only the symbol table tells.
std::vector<Location> Resolve(const Module& module, std::uint64_t address);

}  // namespace symbolize
