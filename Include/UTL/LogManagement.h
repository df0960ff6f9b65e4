/// @file
/// The process-wide log manager.
#pragma once

#include <cstdarg>
#include <memory>

#include <UTL/Export.h>
#include <UTL/LogSink.h>

namespace UTL {

class LogManagementDataC;

/// Keeps the registered sinks, formats each message printf-style and hands the
/// text to every sink whose mask accepts it.
///
/// The manager is created on first use (with a silent default sink of mask
/// LOG_None) and destroyed only by Cleanup(), which also destroys every
/// registered sink. Log, AddSink and RemoveSink may be called from any thread;
/// creation and Cleanup are not synchronised and belong to start-up and
/// shutdown.
///
/// A message whose mask no registered sink can accept costs no lock and no
/// shared write: one lock-free test drops it. That test never misses a change:
/// a SetLogMask, AddSink, RemoveSink or Cleanup that happens before a Log (on
/// the same thread, or on another that synchronised with it) is seen by it.
///
/// A message that passes that test is formatted once, before the manager lock
/// is taken, into a 1024-byte buffer of its own that every accepting sink then
/// receives: longer texts are cut at 1023 characters. The text is exactly
/// vsnprintf's. A sink must not
/// call Log, AddSink or RemoveSink from its LogMessage.
class UTL_API LogManagementC {
public:
    /// The manager, created on first use.
    static LogManagementC* Instance();
    /// Destroys the manager and every registered sink; the next use creates a
    /// fresh manager.
    static void Cleanup();

    /// Takes ownership of `sink`. False if it is already registered or null.
    static bool AddSink(LogSinkI* sink);
    /// The same for a sink held by a unique_ptr, which always lets go of it:
    /// on success the manager owns it; a sink that is already registered (and
    /// so belongs to the manager) stays registered once and is not destroyed.
    static bool AddSink(std::unique_ptr<LogSinkI> sink);
    /// Unregisters `sink` and, if `destroy`, deletes it. False (and nothing
    /// deleted) if it was not registered.
    static bool RemoveSink(LogSinkI* sink, bool destroy);

    /// Formats `format` and the arguments (vsnprintf conventions) and dispatches
    /// the text with `file` and `line` passed through untouched. A null format
    /// gives an empty text. An exception thrown by a sink reaches the caller,
    /// with the lock released; the sinks after it miss that message.
    static void Log(const char* file, int line, unsigned long mask, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    LogManagementC(const LogManagementC&) = delete;
    LogManagementC& operator=(const LogManagementC&) = delete;

protected:
    LogManagementC();
    virtual ~LogManagementC();

    /// The dispatch loop; `args` is the argument list of Log.
    virtual void LogMessage(const char* file, int line, unsigned long mask, const char* format,
                            va_list args) const;

private:
    LogManagementDataC* GetData() { return m_data; }
    const LogManagementDataC* GetData() const { return m_data; }

    LogManagementDataC* m_data;
    static LogManagementC* s_instance;
};

}  // namespace UTL
