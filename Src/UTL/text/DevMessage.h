// Developer messages of the text runtime. The text runtime lies below the log
// manager and must not call it; the log manager installs itself as the
// writer when the library is loaded (LogManagement.cpp).
#pragma once

namespace UTL {
namespace detail {

using DevMessageWriter = void (*)(const char* file, int line, const char* text);

void SetDevMessageWriter(DevMessageWriter writer);

// Hands `text` to the installed writer; without one the message is dropped.
void WriteDevMessage(const char* file, int line, const char* text);

}  // namespace detail
}  // namespace UTL
