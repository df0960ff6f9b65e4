// The text runtime's developer-message channel (see DevMessage.h).
#include "DevMessage.h"

namespace UTL {
namespace detail {

namespace {
// Set once at load, before any thread of the application runs.
DevMessageWriter g_writer = nullptr;
}  // namespace

void SetDevMessageWriter(DevMessageWriter writer) {
    g_writer = writer;
}

void WriteDevMessage(const char* file, int line, const char* text) {
    if (g_writer) g_writer(file, line, text);
}

}  // namespace detail
}  // namespace UTL
