// The tests' replacements of what the system reports; linked into the
// internal target only, never into the shipped library.
#include <cstdio>

#include "Seams.h"

namespace UTL {
namespace win {

namespace {
seams::VersionRecord g_version;
bool g_versionInjected = false;
char g_exeOverride[4096];
bool g_exeOverridden = false;
char g_dbgHelpOverride[4096];
bool g_dbgHelpOverridden = false;
seams::WriteObserver g_writeObserver = nullptr;
}  // namespace

const seams::VersionRecord* seams::InjectedVersionRecord() {
    return g_versionInjected ? &g_version : nullptr;
}

const char* seams::ExecutablePathOverride() {
    return g_exeOverridden ? g_exeOverride : nullptr;
}

const char* seams::DebugHelpLibraryOverride() {
    return g_dbgHelpOverridden ? g_dbgHelpOverride : nullptr;
}

seams::WriteObserver seams::WriteFileObserver() {
    return g_writeObserver;
}

void testing::InjectVersionRecord(const OSVERSIONINFOEXA* record, BOOL extendedAccepted,
                                  BOOL basicAccepted) {
    g_versionInjected = record != nullptr;
    if (record) g_version.record = *record;
    g_version.extendedAccepted = extendedAccepted;
    g_version.basicAccepted = basicAccepted;
}

void testing::OverrideExecutablePath(const char* path) {
    g_exeOverridden = path != nullptr;
    if (path) std::snprintf(g_exeOverride, sizeof g_exeOverride, "%s", path);
}

void testing::OverrideDebugHelpLibrary(const char* path) {
    g_dbgHelpOverridden = path != nullptr;
    if (path) std::snprintf(g_dbgHelpOverride, sizeof g_dbgHelpOverride, "%s", path);
}

void testing::ObserveWriteFile(seams::WriteObserver observer) {
    g_writeObserver = observer;
}

}  // namespace win
}  // namespace UTL
