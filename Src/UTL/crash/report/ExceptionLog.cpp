// The exception report file.
#include <UTL/ExceptionLog.h>

#include <cstdio>
#include <cstring>

#include "ExceptionSystemInfo.h"
#include "win/Services.h"

char CExceptionLog::m_szLogfileName[260] = "";
void* CExceptionLog::m_hReportFile = INVALID_HANDLE_VALUE;
unsigned int CExceptionLog::m_nMaxSize = 0x20000;
int CExceptionLog::m_bAppendToLogfile = 0;
int CExceptionLog::m_bAppStarted = 0;
int CExceptionLog::m_bBuildIds = 0;
std::tm CExceptionLog::m_tmLocalTime = {};

namespace {

constexpr std::size_t kPathSize = 260;

char g_applicationName[kPathSize];
char g_startTime[kPathSize];
char g_operatingSystem[kPathSize];
char g_errorText[512];

// Appends `text` to `path` when it fits kPathSize; false (path unchanged)
// otherwise.
bool Append(char* path, const char* text) {
    const std::size_t used = std::strlen(path);
    const std::size_t length = std::strlen(text);
    if (used + length >= kPathSize) return false;
    std::memcpy(path + used, text, length + 1);
    return true;
}

// <temp><base>, with the base's extension of 3 or more characters replaced by
// "RPT" and ".RPT" appended to a base without one. False when it does not fit.
bool ComposeReportName(char* path, const char* tempDir, const char* base) {
    path[0] = '\0';
    if (!Append(path, tempDir)) return false;
    const std::size_t baseStart = std::strlen(path);
    if (!Append(path, base)) return false;
    char* dot = std::strrchr(path + baseStart, '.');
    if (!dot) return Append(path, ".RPT");
    if (std::strlen(dot + 1) >= 3) std::memcpy(dot + 1, "RPT", 4);
    return true;
}

// The report being composed: its text gathers here and goes to the file when
// the room left may not hold another line, or when the file is closed, so
// that a report reaches the file in as few writes as its size allows; a fixed
// buffer, since a signal handler composes it (under the report lock).
constexpr std::size_t kPendingSize = 16384;
static_assert(kPendingSize >= WVSPRINTF_BUFFER_SIZE, "a whole line fits");
char g_pending[kPendingSize];
std::size_t g_pendingLength = 0;

void WritePending(HANDLE file) {
    if (g_pendingLength == 0) return;
    DWORD written = 0;
    WriteFile(file, g_pending, static_cast<DWORD>(g_pendingLength), &written, nullptr);
    g_pendingLength = 0;
}

struct ExceptionName {
    unsigned long code;
    const char* name;
};

const ExceptionName kExceptionNames[] = {
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
    {0x40000015, "FATAL_APP_EXIT"},  // a reported abort (ExceptionHandlerC::ReportAborts)
};

}  // namespace

CExceptionLog::CExceptionLog() {
    if (m_szLogfileName[0]) return;
    char executable[kPathSize];
    char tempDir[kPathSize];
    GetTempPathA(kPathSize, tempDir);
    const char* base = "Exception.rpt";
    if (GetModuleFileNameA(nullptr, executable, kPathSize) && executable[0]) {
        const char* slash = std::strrchr(executable, '/');
        base = slash ? slash + 1 : executable;
        if (!base[0]) base = "Exception.rpt";
    }
    if (!ComposeReportName(m_szLogfileName, tempDir, base) &&
        !ComposeReportName(m_szLogfileName, tempDir, "Exception.rpt"))
        ComposeReportName(m_szLogfileName, "/tmp/", "Exception.rpt");

    std::memset(&m_tmLocalTime, 0, sizeof m_tmLocalTime);
    std::int64_t now = 0;
    _time64(&now);
    if (const std::tm* local = _localtime64(&now)) m_tmLocalTime = *local;
}

CExceptionLog::CExceptionLog(const CExceptionLog&) {}
CExceptionLog& CExceptionLog::operator=(const CExceptionLog&) {
    return *this;
}
CExceptionLog::~CExceptionLog() {}

void CExceptionLog::SetLogfileName(const char* path) {
    if (!path || std::strlen(path) >= sizeof m_szLogfileName) return;
    std::memcpy(m_szLogfileName, path, std::strlen(path) + 1);
}

const char* CExceptionLog::GetLogfileName() {
    return m_szLogfileName;
}
void CExceptionLog::AppendToLogfile(int append) {
    m_bAppendToLogfile = append;
}
void CExceptionLog::SetMaxLogfileSize(unsigned int bytes) {
    m_nMaxSize = bytes;
}
void CExceptionLog::EnableBuildIds(int enable) {
    m_bBuildIds = enable;
}
int CExceptionLog::EnableBuildIds() {
    return m_bBuildIds;
}

void* CExceptionLog::OpenLogfile(int) {
    if (m_hReportFile != INVALID_HANDLE_VALUE) return m_hReportFile;
    m_hReportFile = CreateFileA(m_szLogfileName, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_FLAG_WRITE_THROUGH, nullptr);
    if (m_hReportFile == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    if (m_bAppStarted) {
        SetFilePointer(m_hReportFile, 0, nullptr, FILE_END);
        return m_hReportFile;
    }
    if (m_bAppendToLogfile && GetFileSize(m_hReportFile, nullptr) <= m_nMaxSize) {
        SetFilePointer(m_hReportFile, 0, nullptr, FILE_END);
    } else {
        SetFilePointer(m_hReportFile, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(m_hReportFile);
    }
    WriteBanner();
    m_bAppStarted = 1;
    return m_hReportFile;
}

void CExceptionLog::WriteBanner() {
    if (!g_applicationName[0]) GetModuleFileNameA(nullptr, g_applicationName, kPathSize);
    CExceptionSystemInfo system;
    std::snprintf(g_operatingSystem, sizeof g_operatingSystem, "%s",
                  OperatingSystemDisplayName(system.GetOperatingSystem()));
    if (std::strftime(g_startTime, sizeof g_startTime, "%d/%m/%Y - %H:%M:%S", &m_tmLocalTime) == 0)
        g_startTime[0] = '\0';
    WriteLogfile("//============== Application start ==================\n");
    WriteLogfile("Application:      %s\n", g_applicationName);
    WriteLogfile("Started at:       %s\n", g_startTime);
    const char* servicePack = system.m_osVersionInfo.szCSDVersion;
    if (servicePack[0]) {
        // The record's text need not be terminated: print at most its 128 bytes.
        WriteLogfile("Operating system: %s (%.128s)\n\n", g_operatingSystem, servicePack);
    } else {
        WriteLogfile("Operating system: %s\n\n", g_operatingSystem);
    }
}

void CExceptionLog::CloseLogfile() {
    if (m_hReportFile == INVALID_HANDLE_VALUE) return;
    WritePending(m_hReportFile);
    CloseHandle(m_hReportFile);
    m_hReportFile = INVALID_HANDLE_VALUE;
}

int CExceptionLog::IsOpen() {
    return m_hReportFile != INVALID_HANDLE_VALUE;
}

int CExceptionLog::WriteLogfile(const char* format, ...) {
    const bool openedHere = m_hReportFile == INVALID_HANDLE_VALUE;
    if (openedHere) OpenLogfile(1);
    // The line is formatted in place, after the text pending.
    if (kPendingSize - g_pendingLength < WVSPRINTF_BUFFER_SIZE) WritePending(m_hReportFile);
    va_list args;
    va_start(args, format);
    const int length = wvsprintfA(g_pending + g_pendingLength, format, args);
    va_end(args);
    if (m_hReportFile != INVALID_HANDLE_VALUE) g_pendingLength += static_cast<std::size_t>(length);
    if (openedHere) CloseLogfile();
    return length;
}

char* CExceptionLog::GetExceptionString(unsigned long code) {
    for (const ExceptionName& entry : kExceptionNames) {
        if (entry.code == code) return const_cast<char*>(entry.name);
    }
    std::snprintf(g_errorText, sizeof g_errorText, "Unknown exception 0x%08lX", code);
    return g_errorText;
}
