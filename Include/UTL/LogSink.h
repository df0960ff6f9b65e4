/// @file
/// Log sinks and 32-bit category masks.
#pragma once

#include <UTL/Export.h>

#include <atomic>
#include <cstdint>

namespace UTL {

/// Base of every log sink. A sink accepts a message when every bit of the
/// message's mask is also set in the sink's own mask (not an any-bit test), so
/// a message of mask LOG_None reaches every sink.
///
/// Masks are 32 bits wide: higher bits of an `unsigned long` argument are
/// ignored. The mask is one word read and written whole without a lock, so an
/// application may change it at any time, also while the sink is registered and
/// other threads log: a Log call that follows the change sees it.
class UTL_API LogSinkI {
public:
    /// Category constants. Note that LOG_DBMessage, LOG_UserApp and
    /// LOG_DeviceMsg combine several bits (0x16, 0x64, 0x128) and so share bits
    /// with other categories.
    static const unsigned long LOG_None = 0x00000000;        ///< no category: every sink accepts it
    static const unsigned long LOG_TxtToken = 0x00000001;    ///< display-text lookups
    static const unsigned long LOG_AppMessage = 0x00000002;  ///< application messages
    static const unsigned long LOG_DevMessage =
        0x00000004;  ///< developer messages (the library's own)
    static const unsigned long LOG_GuiMessage = 0x00000008;  ///< user-interface messages
    static const unsigned long LOG_DBMessage = 0x00000016;   ///< database messages (three bits)
    static const unsigned long LOG_UserApp = 0x00000064;     ///< user applications (three bits)
    static const unsigned long LOG_DeviceMsg = 0x00000128;   ///< device messages (three bits)
    static const unsigned long LOG_Assert = 0x80000000;      ///< failed assertions
    static const unsigned long LOG_All = 0xFFFFFFFF;         ///< every category

    LogSinkI();                                  ///< mask LOG_All
    LogSinkI(const LogSinkI& other);             ///< copies the mask
    LogSinkI& operator=(const LogSinkI& other);  ///< copies the mask
    /// May throw (noexcept(false)) so that a derived sink's throwing destructor
    /// reaches the log manager, which swallows it while tearing down.
    virtual ~LogSinkI() noexcept(false);

    /// Replaces the mask (no combination with the old one). Takes no lock.
    void SetLogMask(unsigned long mask);
    /// The sink's mask.
    unsigned long GetLogMask() const { return m_mask.load(std::memory_order_relaxed); }

    /// True when every bit of `mask` is set in the sink's mask.
    bool IsEnabled(unsigned long mask) const {
        const std::uint32_t m = static_cast<std::uint32_t>(mask);
        return (m_mask.load(std::memory_order_relaxed) & m) == m;
    }

    /// Writes one message: the logging code's source file and line, the
    /// message's mask and the finished text (valid only during the call).
    virtual void LogMessage(const char* file, int line, unsigned long mask,
                            const char* text) const = 0;

private:
    std::atomic<std::uint32_t> m_mask;  ///< 32-bit category mask
};

}  // namespace UTL
