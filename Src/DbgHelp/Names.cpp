// Symbol names and source lines of addresses.
#include <cxxabi.h>

#include <cstdlib>

#include "DbgHelpInternal.h"

namespace UTL::dbghelp {
namespace {

char g_fileName[4096];  // file name handed out when the caller gives no buffer

// Writes the (demangled) symbol name into the caller's record, cut to fit.
void StoreSymbolName(IMAGEHLP_SYMBOL* symbol, const char* name) {
    std::size_t capacity = symbol->MaxNameLength;
    if (symbol->SizeOfStruct != 0) {
        const std::size_t room = symbol->SizeOfStruct - offsetof(IMAGEHLP_SYMBOL, Name);
        if (room < capacity) capacity = room;
    }
    if (capacity == 0) return;
    char* demangled = nullptr;
    if ((g_options.load() & kSymOptUndName) && name[0] == '_' && name[1] == 'Z') {
        int status = 0;
        demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    }
    CopyCut(symbol->Name, capacity, demangled ? demangled : name);
    std::free(demangled);
}

}  // namespace

BOOL SymbolFromAddress(DWORD64 address, DWORD64* displacement, IMAGEHLP_SYMBOL* symbol) {
    Dwfl_Module* mod = ModuleOf(address);
    if (!mod) return 0;
    GElf_Off offset = 0;
    GElf_Sym sym{};
    const char* name = g_dw.module_addrinfo(mod, address, &offset, &sym, nullptr, nullptr, nullptr);
    if (!name || !*name) return 0;
    // A symbol with a size covers only that many bytes; a sizeless one
    // (assembly labels) covers up to the next symbol.
    if (sym.st_size != 0 && offset >= sym.st_size) return 0;
    symbol->Address = address - offset;
    symbol->Size = static_cast<DWORD>(sym.st_size > 0xFFFFFFFFu ? 0xFFFFFFFFu : sym.st_size);
    symbol->Flags = 0;
    StoreSymbolName(symbol, name);
    if (displacement) *displacement = offset;
    return 1;
}

BOOL LineFromAddress(DWORD64 address, DWORD* displacement, IMAGEHLP_LINE* line) {
    Dwfl_Module* mod = ModuleOf(address);
    if (!mod) return 0;
    Dwfl_Line* found = g_dw.module_getsrc(mod, address);
    if (!found) return 0;
    Dwarf_Addr lineAddress = 0;
    int lineNumber = 0;
    const char* file = g_dw.lineinfo(found, &lineAddress, &lineNumber, nullptr, nullptr, nullptr);
    if (!file || lineNumber <= 0) return 0;
    if (line->FileName) {
        CopyCut(line->FileName, 260, file);
    } else {
        CopyCut(g_fileName, sizeof g_fileName, file);
        line->FileName = g_fileName;
    }
    line->Key = found;
    line->LineNumber = static_cast<DWORD>(lineNumber);
    line->Address = lineAddress;
    if (displacement) {
        const std::uint64_t delta = lineAddress <= address ? address - lineAddress : 0;
        *displacement = static_cast<DWORD>(delta > 0xFFFFFFFFu ? 0 : delta);
    }
    return 1;
}

}  // namespace UTL::dbghelp
