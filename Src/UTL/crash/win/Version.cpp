// The version record: the kernel's name and release from uname(2).
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "Seams.h"
#include "Services.h"

namespace {

// Leading decimal number of `text`, advancing past it and one following dot.
DWORD ReadVersionNumber(const char*& text) {
    DWORD value = 0;
    while (*text >= '0' && *text <= '9') {
        if (value < 100000000u) value = value * 10 + static_cast<DWORD>(*text - '0');
        ++text;
    }
    if (*text == '.') ++text;
    return value;
}

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info) return 0;
    const DWORD size = info->dwOSVersionInfoSize;
    const bool extended = size == sizeof(OSVERSIONINFOEXA);
    if (!extended && size != sizeof(OSVERSIONINFOA)) return 0;
    if (const UTL::win::seams::VersionRecord* injected = UTL::win::seams::InjectedVersionRecord()) {
        if (!(extended ? injected->extendedAccepted : injected->basicAccepted)) return 0;
        std::memcpy(info, &injected->record, size);
        info->dwOSVersionInfoSize = size;
        return 1;
    }
    utsname name;
    if (uname(&name) != 0) return 0;
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    const char* release = name.release;
    info->dwMajorVersion = ReadVersionNumber(release);
    info->dwMinorVersion = ReadVersionNumber(release);
    info->dwBuildNumber = ReadVersionNumber(release);
    info->dwPlatformId = VER_PLATFORM_UTL_LINUX;
    std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%.63s %.63s", name.sysname,
                  name.release);
    return 1;
}
