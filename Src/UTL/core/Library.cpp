// Load handling: the load journal and the library-wide locks of the run-time
// core. Their construction order, and that of the static objects other layers
// own, is fixed in LoadOrder.h.
//
// Linux has no per-thread attach notifications to switch off, so loading does
// nothing beyond constructing these objects.
#include <UTL/Library.h>

#include <cstring>

#include "LibraryLocks.h"
#include "LoadOrder.h"

namespace {

// Records each construction; constant-initialised, so it is ready before any
// dynamic initialisation of this library runs.
struct LoadJournal {
    char text[128];
    void Add(const char* name) {
        if (text[0]) std::strncat(text, ", ", sizeof text - std::strlen(text) - 1);
        std::strncat(text, name, sizeof text - std::strlen(text) - 1);
    }
};
LoadJournal g_journal = {};

}  // namespace

namespace UTL {
namespace detail {

void RecordLoadStep(const char* name) {
    g_journal.Add(name);
}

LibraryMutexC g_fileOutputLock __attribute__((init_priority(kBuildFileOutputLock)));
static const LoadStep s_fileOutputLockBuilt
    __attribute__((init_priority(kBuildFileOutputLock))) ("file output lock");

}  // namespace detail

const char* LoadSequence() {
    return g_journal.text;
}

}  // namespace UTL
