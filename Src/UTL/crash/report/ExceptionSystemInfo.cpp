// Operating-system identification for the report banner.
#include <UTL/SystemVersion.h>

#include "ExceptionSystemInfo.h"
#include "win/Services.h"

#include <cstring>

namespace {

CTq32SystemVersionInfo::eOperatingSystem Classify(const OSVERSIONINFOEXA& record) {
    const DWORD major = record.dwMajorVersion;
    const DWORD minor = record.dwMinorVersion;
    switch (record.dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            return CTq32SystemVersionInfo::eWin32S;
        case VER_PLATFORM_WIN32_WINDOWS:
            if (major > 4 || (major == 4 && minor >= 90)) return CTq32SystemVersionInfo::eWinME;
            if (major == 4 && minor >= 1) return CTq32SystemVersionInfo::eWin98;
            return CTq32SystemVersionInfo::eWin95;
        case VER_PLATFORM_WIN32_NT:
            if (major < 4) return CTq32SystemVersionInfo::eNT35;
            if (major == 4) return CTq32SystemVersionInfo::eNT40;
            return minor == 0 ? CTq32SystemVersionInfo::eWin2000 : CTq32SystemVersionInfo::eWinXP;
        default:
            return CTq32SystemVersionInfo::eUnknownOS;
    }
}

}  // namespace

CTq32SystemVersionInfo::CTq32SystemVersionInfo()
    : m_osVersionInfo(), m_bOsVersionInfoEx(0), m_eOperatingSystem(eUnknownOS) {
    std::memset(&m_osVersionInfo, 0, sizeof m_osVersionInfo);
    OSVERSIONINFOA* record = reinterpret_cast<OSVERSIONINFOA*>(&m_osVersionInfo);
    m_osVersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    m_bOsVersionInfoEx = GetVersionExA(record);
    if (!m_bOsVersionInfoEx) {
        m_osVersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(record)) return;
    }
    m_eOperatingSystem = Classify(m_osVersionInfo);
}

CTq32SystemVersionInfo::CTq32SystemVersionInfo(const CTq32SystemVersionInfo& other) = default;
CTq32SystemVersionInfo& CTq32SystemVersionInfo::operator=(const CTq32SystemVersionInfo& other) =
    default;
CTq32SystemVersionInfo::~CTq32SystemVersionInfo() = default;

CTq32SystemVersionInfo::eOperatingSystem CTq32SystemVersionInfo::GetOperatingSystem() {
    return m_eOperatingSystem;
}

int CTq32SystemVersionInfo::IsUnknownOS() {
    return m_eOperatingSystem == eUnknownOS;
}
int CTq32SystemVersionInfo::IsWin32S() {
    return m_eOperatingSystem == eWin32S;
}
int CTq32SystemVersionInfo::IsWin95() {
    return m_eOperatingSystem == eWin95;
}
int CTq32SystemVersionInfo::IsWin98() {
    return m_eOperatingSystem == eWin98;
}
int CTq32SystemVersionInfo::IsWinME() {
    return m_eOperatingSystem == eWinME;
}
int CTq32SystemVersionInfo::IsNT35() {
    return m_eOperatingSystem == eNT35;
}
int CTq32SystemVersionInfo::IsNT40() {
    return m_eOperatingSystem == eNT40;
}
int CTq32SystemVersionInfo::IsWin2000() {
    return m_eOperatingSystem == eWin2000;
}
int CTq32SystemVersionInfo::IsWinXP() {
    return m_eOperatingSystem == eWinXP;
}
int CTq32SystemVersionInfo::IsWinNTPlatform() {
    return m_osVersionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

CExceptionSystemInfo::~CExceptionSystemInfo() = default;

const char* OperatingSystemDisplayName(int os) {
    static const char* const kNames[] = {"Unknown",    "Win32S",       "Windows 95",
                                         "Windows 98", "Windows ME",   "WinNT 3.5",
                                         "WinNT 4.0",  "Windows 2000", "Windows XP"};
    if (os < 0 || os > 8) return kNames[0];
    return kNames[os];
}
