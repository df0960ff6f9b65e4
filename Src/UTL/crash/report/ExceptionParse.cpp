// Context capture, logical addresses, both stack walks and the report of a
// bare thread context.
#include <UTL/ExceptionParse.h>
#include <UTL/LogManagement.h>

#include <cstring>

#include "Arch.h"
#include "LoadOrder.h"
#include "ReportScope.h"
#include "fault/Fault.h"
#include "win/Services.h"

using UTL::arch::Address;

// The report writer fixes the default report file name and the start time
// shown in the report banner; it is built at load, after the file output lock.
CExceptionLog CExceptionParse::m_logException
    __attribute__((init_priority(UTL::detail::kBuildReportWriter)));
static const UTL::detail::LoadStep s_reportWriterBuilt
    __attribute__((init_priority(UTL::detail::kBuildReportWriter))) ("report writer");

int CExceptionParse::m_bEnableSymbols = 0;
char CExceptionParse::m_szSymbolPath[2048] = "";
unsigned int CExceptionParse::m_nMaxTrace = 40;
HANDLE CExceptionParse::m_hProcessHandle = INVALID_HANDLE_VALUE;

PFN_SymInitialize CExceptionParse::_SymInitialize = nullptr;
PFN_SymCleanup CExceptionParse::_SymCleanup = nullptr;
PFN_StackWalk CExceptionParse::_StackWalk = nullptr;
PFN_SymFunctionTableAccess CExceptionParse::_SymFunctionTableAccess = nullptr;
PFN_SymGetModuleBase CExceptionParse::_SymGetModuleBase = nullptr;
PFN_SymGetSymFromAddr CExceptionParse::_SymGetSymFromAddr = nullptr;
PFN_SymGetLineFromAddr CExceptionParse::_SymGetLineFromAddr = nullptr;
PFN_SymGetOptions CExceptionParse::_SymGetOptions = nullptr;
PFN_SymSetOptions CExceptionParse::_SymSetOptions = nullptr;

namespace {

// The context captured by the last CExceptionParse constructed on this
// thread; per thread, so that guards built on several threads do not race.
thread_local CONTEXT t_capturedContext;

constexpr unsigned long kModulePathSize = 260;
constexpr int kMaxSegments = 32;
constexpr unsigned long kMaxSymbolName = 512;
constexpr unsigned long kLineSearchDepth = 999;
const char kNotAvailable[] = "not available";

// Date and time of the block being written (used under the report lock).
char g_date[16];
char g_time[16];

typedef unsigned long long Hex64;  // what "%llX" prints

Hex64 H(DWORD64 value) {
    return static_cast<Hex64>(value);
}
Hex64 H(const void* value) {
    return UTL::arch::Address64(value);
}

// A symbol record with room for a name of kMaxSymbolName characters and its
// terminator, zeroed.
struct SymbolBuffer {
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[sizeof(IMAGEHLP_SYMBOL) + kMaxSymbolName + 1];
    IMAGEHLP_SYMBOL* Prepare(DWORD64 address) {
        std::memset(bytes, 0, sizeof bytes);
        IMAGEHLP_SYMBOL* symbol = reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes);
        symbol->SizeOfStruct = sizeof bytes;  // the whole record, name room included
        symbol->Address = address;
        symbol->MaxNameLength = kMaxSymbolName;
        return symbol;
    }
    const char* Name() {
        bytes[sizeof bytes - 1] = '\0';
        return reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes)->Name;
    }
};

// The version field of a call-stack line for code at `address`: "not
// available", or with build-ids switched on "build-id <hex>" when the module
// carries one. Uses `buffer` for the latter.
constexpr std::size_t kVersionSize = 160;  // "build-id " and a 64-byte id
const char* ModuleVersion(Address address, char (&buffer)[kVersionSize]) {
    if (!CExceptionLog::EnableBuildIds()) return kNotAvailable;
    MEMORY_BASIC_INFORMATION memory;
    if (!VirtualQuery(reinterpret_cast<void*>(address), &memory, sizeof memory))
        return kNotAvailable;
    static const char kPrefix[] = "build-id ";
    const std::size_t prefix = sizeof kPrefix - 1;
    std::memcpy(buffer, kPrefix, prefix);
    if (!GetModuleBuildId(static_cast<HMODULE>(memory.AllocationBase), buffer + prefix,
                          static_cast<DWORD>(sizeof buffer - prefix)))
        return kNotAvailable;
    return buffer;
}

bool IsFrameAligned(Address value) {
    return value % UTL::arch::kFrameAlignment == 0;
}

}  // namespace

__attribute__((noinline)) CExceptionParse::CExceptionParse(int generateReport) {
    UTL_CAPTURE_CALLER(t_capturedContext);
    if (generateReport) GenerateExceptionReport(&t_capturedContext);
}

CExceptionParse::CExceptionParse(const CExceptionParse&) {}
CExceptionParse& CExceptionParse::operator=(const CExceptionParse&) {
    return *this;
}
CExceptionParse::~CExceptionParse() {}

void CExceptionParse::SetMaxStackTrace(unsigned int limit) {
    m_nMaxTrace = limit;
}

void CExceptionParse::SetSymbolPath(const char* path) {
    if (!path) return;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof m_szSymbolPath) return;
    std::memcpy(m_szSymbolPath, path, length + 1);
}

void CExceptionParse::EnableSymbolSearch(int enable) {
    m_bEnableSymbols = enable;
}
int CExceptionParse::EnableSymbolSearch() {
    return m_bEnableSymbols;
}

void CExceptionParse::GenerateExceptionReport() {
    GenerateExceptionReport(&t_capturedContext);
}

void CExceptionParse::GenerateExceptionReport(CONTEXT* context) {
    ReportScope report;
    if (!report.Held() || !context) return;
    try {
        if (CExceptionLog::OpenLogfile(1) == INVALID_HANDLE_VALUE) return;
        WriteBlockStart();
        CExceptionLog::WriteLogfile("Exception code: UNKNOWN\n");
        WriteFaultAddress(reinterpret_cast<void*>(UTL::arch::ProgramCounter(*context)));
        WriteRegisters(context);
        WriteCallStack(context, __FILE__, __LINE__);
        WriteBlockEnd();
        CExceptionLog::CloseLogfile();
    } catch (...) {
        CExceptionLog::CloseLogfile();
    }
}

void CExceptionParse::WriteBlockStart() {
    CExceptionLog::WriteLogfile("//=============== Exception start ===================\n");
    _strdate(g_date);
    _strtime(g_time);
    CExceptionLog::WriteLogfile("Date/time of exception: %s - %s\n", g_date, g_time);
}

void CExceptionParse::WriteFaultAddress(void* address) {
    char module[kModulePathSize] = "";
    unsigned long section = 0;
    unsigned long offset = 0;
    GetLogicalAddress(address, module, sizeof module, section, offset);
    CExceptionLog::WriteLogfile("Fault address:  %08llX %02lX:%08lX %s\n", H(address), section,
                                offset, module);
}

void CExceptionParse::WriteRegisters(const CONTEXT* context) {
    CExceptionLog::WriteLogfile("\nRegisters:\n");
    UTL::arch::WriteRegisters(*context, &CExceptionLog::WriteLogfile);
}

void CExceptionParse::WriteCallStack(CONTEXT* context, const char* file, int line) {
    // Before death (a fault inside the allocator, an abort) neither the symbol
    // walk nor a sink may run: both may take heap memory.
    if (UTL::fault::ReportEndsProcess()) {
        IntelStackWalk(context);
        return;
    }
    if (m_bEnableSymbols && InitImagehlpFunctions()) {
        ImagehlpStackWalk(context);
        if (_SymCleanup) _SymCleanup(m_hProcessHandle);
        return;
    }
    try {
        UTL::LogManagementC::Log(file, line, UTL::LogSinkI::LOG_DevMessage,
                                 "DbgHelp.dll or its exported procs not found");
    } catch (...) {
        // A failing sink must not cost the report its call stack.
    }
    IntelStackWalk(context);
}

void CExceptionParse::WriteBlockEnd() {
    CExceptionLog::WriteLogfile("//=============== Exception end ===================\n\n");
}

int CExceptionParse::GetLogicalAddress(void* address, char* module, unsigned long length,
                                       unsigned long& section, unsigned long& offset) {
    MEMORY_BASIC_INFORMATION memory;
    if (!VirtualQuery(address, &memory, sizeof memory)) return 0;
    HMODULE moduleHandle = static_cast<HMODULE>(memory.AllocationBase);
    if (!module || length == 0 ||
        !GetModuleFileNameA(moduleHandle, module, static_cast<DWORD>(length)))
        return 0;

    IMAGE_LOAD_SEGMENT segments[kMaxSegments];
    DWORD64 loadBias = 0;
    const int count = GetModuleImageSegments(moduleHandle, &loadBias, segments, kMaxSegments);
    const DWORD64 relative = UTL::arch::Address64(address) - loadBias;
    for (int i = 0; i < count; ++i) {
        const IMAGE_LOAD_SEGMENT& segment = segments[i];
        const DWORD64 size = segment.SizeOfRawData > segment.VirtualSize ? segment.SizeOfRawData
                                                                         : segment.VirtualSize;
        if (relative >= segment.VirtualAddress && relative <= segment.VirtualAddress + size) {
            section = static_cast<unsigned long>(i + 1);
            offset = static_cast<unsigned long>(relative - segment.VirtualAddress);
            return 1;
        }
    }
    return 0;
}

void CExceptionParse::IntelStackWalk(CONTEXT* context) {
    CExceptionLog::WriteLogfile("\nCall stack:\n");
    CExceptionLog::WriteLogfile("    Address   Frame     Logical addr  Module\n");
    const auto writeFrame = [](unsigned long long number, Address pc, Address frame) {
        char module[kModulePathSize] = "";
        unsigned long section = 0;
        unsigned long offset = 0;
        GetLogicalAddress(reinterpret_cast<void*>(pc), module, sizeof module, section, offset);
        char version[kVersionSize];
        CExceptionLog::WriteLogfile("%2llu: %08llX  %08llX  %04lX:%08lX %s (Version: %s)\n", number,
                                    H(pc), H(frame), section, offset, module,
                                    ModuleVersion(pc, version));
    };
    if (UTL::arch::kWalksByUnwindTables) {
        // By the unwind tables; the frame column shows each frame's stack pointer.
        CONTEXT walk = *context;
        for (unsigned long long number = 1;; ++number) {
            writeFrame(number, UTL::arch::ProgramCounter(walk), UTL::arch::StackPointer(walk));
            if (number > m_nMaxTrace || !UTL::arch::UnwindCaller(walk, number == 1)) break;
        }
        return;
    }
    Address pc = UTL::arch::ProgramCounter(*context);
    Address frame = UTL::arch::FramePointer(*context);
    const std::size_t recordSize = UTL::arch::kFrameRecordSize;
    // A function stopped before it stored its frame record (a leaf, a
    // prologue): its caller comes from the link register or the stack, and
    // the record at the frame pointer is that caller's.
    Address callerPc = 0;
    bool callerPending = UTL::arch::UnsavedReturnAddress(*context, callerPc) && callerPc != pc;
    bool frameChecked = false;
    for (unsigned long long number = 1;; ++number) {
        writeFrame(number, pc, frame);
        if (number > m_nMaxTrace) break;
        if (callerPending) {
            pc = callerPc;
            callerPending = false;
            continue;
        }
        // The first record is checked before it is read; later ones were
        // checked as they were reached.
        if (!frameChecked &&
            (!IsFrameAligned(frame) || IsBadWritePtr(reinterpret_cast<void*>(frame), recordSize)))
            break;
        frameChecked = true;
        Address next = 0;
        UTL::arch::ReadFrameRecord(frame, next, pc);
        if (!IsFrameAligned(next) || next <= frame ||
            IsBadWritePtr(reinterpret_cast<void*>(next), recordSize))
            break;
        frame = next;
    }
}

void CExceptionParse::ImagehlpStackWalk(CONTEXT* context) {
    CExceptionLog::WriteLogfile("\nCall stack:\n");
    CExceptionLog::WriteLogfile("    Address   Frame\n");
    if (!_StackWalk) return;
    STACKFRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.AddrPC.Offset = UTL::arch::ProgramCounter(*context);
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = UTL::arch::FramePointer(*context);
    frame.AddrFrame.Mode = AddrModeFlat;
    frame.AddrStack.Offset = UTL::arch::StackPointer(*context);
    frame.AddrStack.Mode = AddrModeFlat;
    for (unsigned long long number = 1;; ++number) {
        if (!_StackWalk(UTL::arch::kMachineType, m_hProcessHandle, GetCurrentThread(), &frame,
                        context, nullptr, _SymFunctionTableAccess, _SymGetModuleBase, nullptr))
            break;
        if (frame.AddrFrame.Offset == 0) break;
        const DWORD64 pc = frame.AddrPC.Offset;
        CExceptionLog::WriteLogfile("%2llu: %08llX  %08llX  ", number, H(pc),
                                    H(frame.AddrFrame.Offset));

        char module[kModulePathSize] = "";
        unsigned long section = 0;
        unsigned long offset = 0;
        GetLogicalAddress(reinterpret_cast<void*>(pc), module, sizeof module, section, offset);
        const DWORD64 base = _SymGetModuleBase ? _SymGetModuleBase(m_hProcessHandle, pc) : 0;
        char versionBuffer[kVersionSize];
        const char* version = ModuleVersion(static_cast<Address>(pc), versionBuffer);

        char fileName[kModulePathSize] = "";
        IMAGEHLP_LINE line;
        std::memset(&line, 0, sizeof line);
        line.SizeOfStruct = sizeof line;
        line.FileName = fileName;
        unsigned long lineDisplacement = 0;
        SymbolBuffer symbolBuffer;
        IMAGEHLP_SYMBOL* symbol = symbolBuffer.Prepare(pc);
        DWORD64 symbolDisplacement = 0;
        if (InternalSymGetLineFromAddr(static_cast<unsigned long>(pc), &lineDisplacement, &line)) {
            CExceptionLog::WriteLogfile("%s (Line: %d) %s (Version: %s, Base address: 0x%llX)\n",
                                        line.FileName ? line.FileName : "",
                                        static_cast<int>(line.LineNumber), module, version,
                                        H(base));
        } else if (_SymGetSymFromAddr &&
                   _SymGetSymFromAddr(m_hProcessHandle, pc, &symbolDisplacement, symbol)) {
            CExceptionLog::WriteLogfile("%s+%llX %s (Version: %s, Base address: 0x%llX)\n",
                                        symbolBuffer.Name(), H(symbolDisplacement), module, version,
                                        H(base));
        } else {
            CExceptionLog::WriteLogfile("%04lX:%08lX %s (Version: %s, Base address: 0x%llX)\n",
                                        section, offset, module, version, H(base));
        }
        if (number > m_nMaxTrace) break;
    }
}

int CExceptionParse::InitImagehlpFunctions() {
    HMODULE library = LoadLibraryA("DbgHelp.dll");
    if (!library) return 0;
#define UTL_LOOKUP(member, name)                                                \
    member = reinterpret_cast<decltype(member)>(GetProcAddress(library, name)); \
    if (!member) return 0
    UTL_LOOKUP(_SymInitialize, "SymInitialize");
    UTL_LOOKUP(_SymCleanup, "SymCleanup");
    UTL_LOOKUP(_StackWalk, "StackWalk");
    UTL_LOOKUP(_SymFunctionTableAccess, "SymFunctionTableAccess");
    UTL_LOOKUP(_SymGetModuleBase, "SymGetModuleBase");
    UTL_LOOKUP(_SymGetSymFromAddr, "SymGetSymFromAddr");
    UTL_LOOKUP(_SymGetLineFromAddr, "SymGetLineFromAddr");
    UTL_LOOKUP(_SymGetOptions, "SymGetOptions");
    UTL_LOOKUP(_SymSetOptions, "SymSetOptions");
#undef UTL_LOOKUP
    _SymSetOptions(_SymGetOptions() | SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES);
    if (m_hProcessHandle == INVALID_HANDLE_VALUE)
        m_hProcessHandle = OpenProcess(PROCESS_ALL_ACCESS, 0, GetCurrentProcessId());
    return _SymInitialize(m_hProcessHandle, m_szSymbolPath[0] ? m_szSymbolPath : nullptr,
                          m_bEnableSymbols)
               ? 1
               : 0;
}

int CExceptionParse::InternalSymGetLineFromAddr(unsigned long address, unsigned long* displacement,
                                                IMAGEHLP_LINE* line) {
    if (!_SymGetLineFromAddr || !line) return 0;
    DWORD found = 0;
    if (_SymGetLineFromAddr(m_hProcessHandle, address, &found, line)) {
        if (displacement) *displacement = found;
        return 1;
    }
    for (unsigned long back = 1; back <= kLineSearchDepth && back <= address; ++back) {
        if (_SymGetLineFromAddr(m_hProcessHandle, address - back, &found, line)) {
            if (displacement) *displacement = back;
            return 1;
        }
    }
    return 0;
}

int CExceptionParse::GetLineAndFileFromPointer(unsigned long address, IMAGEHLP_LINE* line,
                                               unsigned long& section, unsigned long& offset) {
    if (!line || !InitImagehlpFunctions()) return 0;
    section = 0;
    offset = 0;
    char module[kModulePathSize] = "";
    GetLogicalAddress(reinterpret_cast<void*>(address), module, sizeof module, section, offset);
    unsigned long displacement = 0;
    if (InternalSymGetLineFromAddr(address, &displacement, line)) return 1;
    SymbolBuffer symbolBuffer;
    IMAGEHLP_SYMBOL* symbol = symbolBuffer.Prepare(address);
    DWORD64 symbolDisplacement = 0;
    if (!_SymGetSymFromAddr(m_hProcessHandle, address, &symbolDisplacement, symbol)) return 0;
    if (line->FileName) {
        const char* name = symbolBuffer.Name();
        std::size_t length = std::strlen(name);
        if (length > kMaxSymbolName) length = kMaxSymbolName;
        std::memcpy(line->FileName, name, length);
        line->FileName[length] = '\0';
    }
    line->LineNumber = 0;
    return 1;
}
