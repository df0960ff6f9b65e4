// File log sink: composes the card path, owns the stream and writes one line
// per message under the process-wide file output lock.
#include <UTL/FileLog.h>

#include <UTL/BSS.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "FlushAtDeath.h"
#include "LibraryLocks.h"
#include "OwnFile.h"

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

// Writes `n` in decimal so that it ends just before `end`; returns its first
// character (digit or sign): the "%d" of the line without parsing a format.
char* FormatDecimal(int n, char* end) {
    // Negate in unsigned arithmetic so that INT_MIN needs no special case.
    unsigned int magnitude =
        n < 0 ? 0u - static_cast<unsigned int>(n) : static_cast<unsigned int>(n);
    char* p = end;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (n < 0) *--p = '-';
    return p;
}

// Bytes of a line composed before the locks are taken; a longer line is
// written piece by piece.
constexpr std::size_t kLineBytes = 2048;

// Appends `n` bytes at `at`; returns the end.
char* Put(char* at, const char* bytes, std::size_t n) {
    std::memcpy(at, bytes, n);
    return at + n;
}

// As fopen(path, "w"), but only the process's own regular file: no link is
// followed, a FIFO is not waited for (see OwnFile.h).
std::FILE* OpenLogFile(const char* path) {
    const int fd = detail::OpenOwnFile(path, O_CREAT, 0666, true);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "w");
    if (!stream) close(fd);
    return stream;
}

}  // namespace

FileLogC::FileLogC(const char* name) : m_stream(nullptr) {
    char path[kMaxPath + 1];
    if (name && ComposeCardPath(name, path)) m_stream = OpenLogFile(path);
    if (!m_stream) return;
    // What is buffered is written out before the process dies of something
    // the library sees.
    detail::RegisterSinkStream(m_stream);
    detail::InstallTerminateHandler();
}

FileLogC::~FileLogC() {
    if (!m_stream) return;
    detail::UnregisterSinkStream(m_stream);
    std::fclose(m_stream);
}

// The line is the one fprintf(stream, "%s (%d): %s\n", file, line, text) would
// write, composed before the locks are taken and written with one call.
void FileLogC::LogMessage(const char* file, int line, unsigned long mask, const char* text) const {
    if (!IsEnabled(mask) || !m_stream) return;
    char number[24];
    char* const numberEnd = number + sizeof number - 3;
    char* first = FormatDecimal(line, numberEnd);
    *--first = '(';
    *--first = ' ';
    std::memcpy(numberEnd, "): ", 3);
    const std::size_t numberLength = static_cast<std::size_t>(number + sizeof number - first);
    if (!file) file = "";
    if (!text) text = "";
    const std::size_t fileLength = std::strlen(file), textLength = std::strlen(text);

    char composed[kLineBytes];
    const bool fits = fileLength + numberLength + textLength < sizeof composed;
    char* end = composed;
    if (fits) {
        end = Put(end, file, fileLength);
        end = Put(end, first, numberLength);
        end = Put(end, text, textLength);
        *end++ = '\n';
    }

    BSS::TSK::GuardC guard(detail::g_fileOutputLock, -1);
    flockfile(m_stream);
    if (fits) {
        fwrite_unlocked(composed, 1, static_cast<std::size_t>(end - composed), m_stream);
    } else {
        fwrite_unlocked(file, 1, fileLength, m_stream);
        fwrite_unlocked(first, 1, numberLength, m_stream);
        fwrite_unlocked(text, 1, textLength, m_stream);
        putc_unlocked('\n', m_stream);
    }
    funlockfile(m_stream);
}

}  // namespace UTL
