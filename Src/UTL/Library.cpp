// Load handling: the library's static objects, defined in one translation unit
// so that their construction order at load (and the reverse order at unload)
// is the order written here rather than an accident of link order.
//
// Linux has no per-thread attach notifications to switch off, so loading does
// nothing beyond constructing these objects.
#include <UTL/Library.h>

#include <cstring>

#include <UTL/ExceptionParse.h>

#include "Statics.h"

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

struct LoadStep {
    explicit LoadStep(const char* name) { g_journal.Add(name); }
};

}  // namespace

namespace UTL {
namespace detail {

LibraryMutexC g_formatMutex;
static const LoadStep s_formatMutexBuilt("format mutex");

LibraryMutexC g_fileOutputLock;
static const LoadStep s_fileOutputLockBuilt("file output lock");

LibraryMutexC g_reportLock;  // constant: ready before any other static object

}  // namespace detail
}  // namespace UTL

// The crash reporter's report writer: fixes the default report file name and
// the start time shown in the report banner.
CExceptionLog CExceptionParse::m_logException;
static const LoadStep s_reportWriterBuilt("report writer");

namespace UTL {

const char* LoadSequence() {
    return g_journal.text;
}

}  // namespace UTL
