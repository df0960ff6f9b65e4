// Module files, their ELF facts (build-id, load segments, debug information)
// through libelf, and source lines and inlined functions through libdw.
#include "Modules.h"

#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwelf.h>
#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace symbolize {
namespace fs = std::filesystem;

namespace {

// What the symbolizer needs to know of an ELF file.
struct ElfFacts {
    std::string buildId;
    bool hasDwarf = false;
    std::vector<std::uint64_t> segments;
};

std::string HexText(const unsigned char* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

bool ReadElfFacts(const std::string& path, ElfFacts& facts) {
    static const bool initialised = elf_version(EV_CURRENT) != EV_NONE;
    if (!initialised) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    Elf* elf = elf_begin(fd, ELF_C_READ_MMAP, nullptr);
    const bool ok = elf && elf_kind(elf) == ELF_K_ELF;
    if (ok) {
        const void* id = nullptr;
        const ssize_t length = dwelf_elf_gnu_build_id(elf, &id);
        if (length > 0) facts.buildId = HexText(static_cast<const unsigned char*>(id), length);
        std::size_t names = 0;
        if (elf_getshdrstrndx(elf, &names) == 0) {
            for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
                GElf_Shdr header;
                if (!gelf_getshdr(scn, &header) || header.sh_type == SHT_NOBITS) continue;
                const char* name = elf_strptr(elf, names, header.sh_name);
                if (name &&
                    (!std::strcmp(name, ".debug_info") || !std::strcmp(name, ".zdebug_info")))
                    facts.hasDwarf = true;
            }
        }
        std::size_t count = 0;
        if (elf_getphdrnum(elf, &count) == 0) {
            for (std::size_t i = 0; i < count; ++i) {
                GElf_Phdr header;
                if (gelf_getphdr(elf, static_cast<int>(i), &header) && header.p_type == PT_LOAD)
                    facts.segments.push_back(header.p_vaddr);
            }
        }
    }
    if (elf) elf_end(elf);
    close(fd);
    return ok;
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string Demangled(const char* name) {
    if (!name) return std::string();
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

// The name of a function or inlined function, from its abstract origin where
// it has one: the demangled linkage name, else the plain name.
std::string FunctionName(Dwarf_Die* die) {
    Dwarf_Attribute attribute;
    for (const int name : {DW_AT_linkage_name, DW_AT_MIPS_linkage_name, DW_AT_name}) {
        if (dwarf_attr_integrate(die, name, &attribute))
            return Demangled(dwarf_formstring(&attribute));
    }
    return std::string();
}

}  // namespace

// libdw's view of one debug file, laid out at its own virtual addresses.
class Resolver {
public:
    explicit Resolver(const std::string& path) {
        static char* debugPath = nullptr;  // libdw's default places
        static const Dwfl_Callbacks callbacks = {dwfl_build_id_find_elf,
                                                 dwfl_standard_find_debuginfo,
                                                 dwfl_offline_section_address, &debugPath};
        m_dwfl = dwfl_begin(&callbacks);
        if (!m_dwfl) return;
        dwfl_report_begin(m_dwfl);
        m_module = dwfl_report_elf(m_dwfl, path.c_str(), path.c_str(), -1, 0, false);
        dwfl_report_end(m_dwfl, nullptr, nullptr);
    }

    // Debug information in the file itself or in a separate debug file that
    // libdw finds in its default places (/usr/lib/debug, by build-id or link).
    bool HasDwarf() {
        Dwarf_Addr bias = 0;
        return m_module && dwfl_module_getdwarf(m_module, &bias) != nullptr;
    }
    ~Resolver() {
        if (m_dwfl) dwfl_end(m_dwfl);
    }
    Resolver(const Resolver&) = delete;
    Resolver& operator=(const Resolver&) = delete;

    std::vector<Location> Resolve(std::uint64_t address) {
        std::vector<Location> chain;
        Dwfl_Module* module = m_dwfl ? dwfl_addrmodule(m_dwfl, address) : nullptr;
        if (!module) return chain;
        Location at;
        if (Dwfl_Line* line = dwfl_module_getsrc(module, address)) {
            if (const char* file =
                    dwfl_lineinfo(line, nullptr, &at.line, nullptr, nullptr, nullptr))
                at.file = file;
        }
        Dwarf_Addr bias = 0;
        Dwarf_Die* unit = dwfl_module_addrdie(module, address, &bias);
        Dwarf_Die* scopes = nullptr;
        int count = unit ? dwarf_getscopes(unit, address - bias, &scopes) : 0;
        for (int i = 0; i < count; ++i) {
            const int tag = dwarf_tag(&scopes[i]);
            if (tag != DW_TAG_subprogram && tag != DW_TAG_inlined_subroutine) continue;
            at.function = FunctionName(&scopes[i]);
            chain.push_back(at);
            if (tag == DW_TAG_subprogram) break;
            at = CallSite(unit, &scopes[i]);  // where it was inlined
            // The scopes after an inlined function are those of its abstract
            // definition; the function it was inlined into encloses the DIE.
            Dwarf_Die* enclosing = nullptr;
            const int enclosingCount = dwarf_getscopes_die(&scopes[i], &enclosing);
            std::free(scopes);
            scopes = enclosing;
            count = enclosingCount;
            i = 0;  // enclosing[0] is the inlined function itself
        }
        std::free(scopes);
        if (chain.empty()) {
            // No debug information for the address: the symbol table's name.
            at.function = Demangled(dwfl_module_addrname(module, address));
            if (!at.function.empty() || !at.file.empty()) chain.push_back(at);
        }
        return chain;
    }

private:
    static Location CallSite(Dwarf_Die* unit, Dwarf_Die* inlined) {
        Location site;
        Dwarf_Attribute attribute;
        Dwarf_Word value = 0;
        if (dwarf_attr(inlined, DW_AT_call_line, &attribute) &&
            dwarf_formudata(&attribute, &value) == 0)
            site.line = static_cast<int>(value);
        Dwarf_Files* files = nullptr;
        std::size_t fileCount = 0;
        if (dwarf_attr(inlined, DW_AT_call_file, &attribute) &&
            dwarf_formudata(&attribute, &value) == 0 &&
            dwarf_getsrcfiles(unit, &files, &fileCount) == 0 && value < fileCount) {
            if (const char* name = dwarf_filesrc(files, value, nullptr, nullptr)) site.file = name;
        }
        return site;
    }

    Dwfl* m_dwfl = nullptr;
    Dwfl_Module* m_module = nullptr;
};

ModuleFinder::ModuleFinder(std::string sysroot, std::vector<std::string> debugDirs)
    : m_sysroot(std::move(sysroot)), m_debugDirs(std::move(debugDirs)) {}
ModuleFinder::~ModuleFinder() = default;

std::string ModuleFinder::FindByBuildId(const std::string& buildId) {
    if (buildId.size() < 3) return std::string();
    for (const std::string& dir : m_debugDirs) {
        const fs::path tree = fs::path(dir) / ".build-id" / buildId.substr(0, 2);
        for (const char* suffix : {".debug", ""}) {
            const fs::path file = tree / (buildId.substr(2) + suffix);
            if (IsFile(file)) return file.string();
        }
    }
    if (!m_indexed) {
        m_indexed = true;
        for (const std::string& dir : m_debugDirs) {
            std::error_code error;
            for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
                 it.increment(error)) {
                ElfFacts facts;
                if (it->is_regular_file(error) && ReadElfFacts(it->path().string(), facts) &&
                    !facts.buildId.empty())
                    m_buildIdIndex.emplace(facts.buildId, it->path().string());
            }
        }
    }
    const auto found = m_buildIdIndex.find(buildId);
    return found == m_buildIdIndex.end() ? std::string() : found->second;
}

std::string ModuleFinder::FindByName(const std::string& path) const {
    const std::string name = fs::path(path).filename().string();
    for (const std::string& dir : m_debugDirs) {
        for (const std::string& candidate : {dir + "/" + path, dir + "/" + path + ".debug",
                                             dir + "/" + name, dir + "/" + name + ".debug"}) {
            if (IsFile(candidate)) return fs::path(candidate).lexically_normal().string();
        }
    }
    return std::string();
}

const Module& ModuleFinder::Find(const std::string& path, const std::string& buildId) {
    const std::string key = buildId + " " + path;
    const auto known = m_modules.find(key);
    if (known != m_modules.end()) return known->second;
    Module& module = m_modules[key];

    ElfFacts device;
    const std::string devicePath = m_sysroot.empty() ? path : m_sysroot + "/" + path;
    if (IsFile(devicePath) && ReadElfFacts(devicePath, device)) {
        module.devicePath = fs::path(devicePath).lexically_normal().string();
        module.deviceBuildId = device.buildId;
        module.segments = device.segments;
    }
    // The first candidate with debug information; else the first that exists
    // (its symbol table still names functions).
    const std::string candidates[] = {buildId.empty() ? std::string() : FindByBuildId(buildId),
                                      FindByName(path), module.devicePath};
    ElfFacts chosen;
    for (const std::string& candidate : candidates) {
        ElfFacts facts;
        if (candidate.empty() || !ReadElfFacts(candidate, facts)) continue;
        if (module.debugPath.empty() || (facts.hasDwarf && !chosen.hasDwarf)) {
            module.debugPath = candidate;
            chosen = facts;
        }
        if (chosen.hasDwarf) break;
    }
    if (module.debugPath.empty()) return module;
    module.fileBuildId = chosen.buildId;
    if (module.segments.empty()) module.segments = chosen.segments;
    module.resolver = std::make_shared<Resolver>(module.debugPath);
    module.hasLines = chosen.hasDwarf || module.resolver->HasDwarf();
    return module;
}

bool ModuleAddress(const Module& module, const Frame& frame, std::uint64_t& address) {
    if (module.segments.empty()) return false;
    if (frame.hasSection) {
        if (frame.section == 0 || frame.section > module.segments.size()) return false;
        address = module.segments[frame.section - 1] + frame.offset;
        return true;
    }
    if (!frame.hasBase || frame.address < frame.base) return false;
    // The base is the module's lowest mapped address: its first segment's
    // page.
    std::uint64_t lowest = module.segments.front();
    for (const std::uint64_t start : module.segments) lowest = std::min(lowest, start);
    address = frame.address - frame.base + (lowest & ~std::uint64_t{4095});
    return true;
}

std::vector<Location> Resolve(const Module& module, std::uint64_t address) {
    return module.resolver ? module.resolver->Resolve(address) : std::vector<Location>();
}

}  // namespace symbolize
