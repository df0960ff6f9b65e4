// The version record: the kernel's name and release from uname(2).
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "Services.h"

namespace {

struct VersionInjection {
    bool active;
    OSVERSIONINFOEXA record;
    BOOL extendedAccepted;
    BOOL basicAccepted;
};
VersionInjection g_version = {};

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
    if (g_version.active) {
        if (!(extended ? g_version.extendedAccepted : g_version.basicAccepted)) return 0;
        std::memcpy(info, &g_version.record, size);
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

void UTL::win::testing::InjectVersionRecord(const OSVERSIONINFOEXA* record, BOOL extendedAccepted,
                                            BOOL basicAccepted) {
    g_version.active = record != nullptr;
    if (record) g_version.record = *record;
    g_version.extendedAccepted = extendedAccepted;
    g_version.basicAccepted = basicAccepted;
}
