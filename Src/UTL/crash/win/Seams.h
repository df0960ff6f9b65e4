// What the library's tests may put in place of what the system reports. The
// shipped library links NoSeams.cpp, where nothing is replaced; the internal
// target `utl_internal` that the tests link has TestSeams.cpp instead, with
// the setters below.
#pragma once

#include <UTL/WinServices.h>

namespace UTL {
namespace win {

namespace seams {
// The record GetVersionExA reports (its size field ignored), with the
// extended (156-byte) and basic (148-byte) queries accepted as told.
struct VersionRecord {
    OSVERSIONINFOEXA record;
    BOOL extendedAccepted;
    BOOL basicAccepted;
};
// Each null when the real behaviour holds.
const VersionRecord* InjectedVersionRecord();
const char* ExecutablePathOverride();    // GetModuleFileNameA(nullptr, ...); "" = unreadable
const char* DebugHelpLibraryOverride();  // the file LoadLibraryA("DbgHelp.dll") opens
// Told the size of every WriteFile call.
using WriteObserver = void (*)(DWORD size);
WriteObserver WriteFileObserver();
}  // namespace seams

// The setters, only in `utl_internal`. Each takes effect at once and for the
// whole process; null restores the real behaviour.
namespace testing {
void InjectVersionRecord(const OSVERSIONINFOEXA* record, BOOL extendedAccepted, BOOL basicAccepted);
void OverrideExecutablePath(const char* path);
void OverrideDebugHelpLibrary(const char* path);
void ObserveWriteFile(seams::WriteObserver observer);
}  // namespace testing

}  // namespace win
}  // namespace UTL
