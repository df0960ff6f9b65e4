// File log sink: composes the card path, owns the stream and writes one line
// per message under the process-wide file output lock.
#include <UTL/FileLog.h>

#include <UTL/BSS.h>

#include <cstring>

#include "Statics.h"

namespace UTL {

const int FileLogC::kMaxPath;

namespace {

// Composes "<card>/<name>" into `path` (kMaxPath + 1 bytes). False, with
// nothing usable in `path`, when the result would not fit.
bool ComposeCardPath(const char* name, char (&path)[FileLogC::kMaxPath + 1]) {
    const char* card = BSS::HAL::PathMapC::getCFCardPath();
    if (!card) card = "";
    const std::size_t cardLen = std::strlen(card);
    const std::size_t nameLen = std::strlen(name);
    if (cardLen + 1 + nameLen > static_cast<std::size_t>(FileLogC::kMaxPath)) return false;
    std::memcpy(path, card, cardLen);
    path[cardLen] = '/';
    std::memcpy(path + cardLen + 1, name, nameLen + 1);
    return true;
}

}  // namespace

FileLogC::FileLogC(const char* name) : m_stream(nullptr) {
    char path[kMaxPath + 1];
    if (name && ComposeCardPath(name, path)) m_stream = std::fopen(path, "w");
}

FileLogC::~FileLogC() {
    if (m_stream) std::fclose(m_stream);
}

void FileLogC::LogMessage(const char* file, int line, unsigned long mask, const char* text) const {
    if (!IsEnabled(mask) || !m_stream) return;
    BSS::TSK::GuardC guard(detail::g_fileOutputLock, -1);
    std::fprintf(m_stream, "%s (%d): %s\n", file ? file : "", line, text ? text : "");
}

}  // namespace UTL
