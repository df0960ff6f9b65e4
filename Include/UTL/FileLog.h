/// @file
/// The file log sink: one line per accepted message in a text file on the
/// memory card.
#pragma once

#include <cstdio>

#include <UTL/Export.h>
#include <UTL/LogSink.h>

namespace UTL {

/// Writes each accepted message as the line `"%s (%d): %s\n"` (source file, line,
/// text) to a file in the memory card's root directory.
///
/// The file is created (or emptied) by the constructor and closed, which
/// flushes it, by the destructor. Lines are buffered in the stream's buffer
/// and reach the file when it fills or at destruction, never one by one, and
/// before the process dies of a fault, an abort or an uncaught exception that
/// the library sees.
/// Every write of every FileLogC in the process is made under one file output
/// lock, so sinks may be called from any thread.
///
/// The mask starts as LOG_All. A sink registered with LogManagementC belongs to
/// the manager, which destroys it.
class UTL_API FileLogC : public LogSinkI {
public:
    /// Length limit of the composed path, terminator excluded.
    static const int kMaxPath = 255;

    /// Opens `"<card path>/<name>"` as mode "w" would. The name is appended
    /// unchanged (directories in it are not created). The sink stays without
    /// a stream, and so writes nothing, when `name` is null, when the composed
    /// path is longer than kMaxPath bytes (it is refused, not cut, so that no
    /// file of another name is created), when the file cannot be opened, or
    /// when the path is not the process's own regular file: a symbolic link,
    /// a FIFO, another user's file or a second name of a file is not written.
    explicit FileLogC(const char* name);
    /// Closes the file, if one was opened.
    ~FileLogC() override;

    /// Copying is withheld: the stream has exactly one owner and is closed once.
    FileLogC(const FileLogC&) = delete;
    FileLogC& operator=(const FileLogC&) = delete;

    /// Writes one line for a message whose mask this sink accepts; nothing when
    /// the mask is not accepted or the sink has no stream. A null `file` or
    /// `text` is written as an empty string.
    void LogMessage(const char* file, int line, unsigned long mask,
                    const char* text) const override;

    /// True when the constructor opened the file.
    bool IsOpen() const { return m_stream != nullptr; }

private:
    std::FILE* m_stream;
};

}  // namespace UTL
