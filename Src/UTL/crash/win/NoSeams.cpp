// The shipped library: the system's own answers, nothing replaced.
#include "Seams.h"

namespace UTL {
namespace win {
namespace seams {

const VersionRecord* InjectedVersionRecord() {
    return nullptr;
}

const char* ExecutablePathOverride() {
    return nullptr;
}

const char* DebugHelpLibraryOverride() {
    return nullptr;
}

WriteObserver WriteFileObserver() {
    return nullptr;
}

}  // namespace seams
}  // namespace win
}  // namespace UTL
