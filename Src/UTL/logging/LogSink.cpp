// Log sink base: the category mask and its acceptance test.
#include <UTL/LogSink.h>

namespace UTL {

// Out-of-line definitions so that the constants are exported symbols.
const unsigned long LogSinkI::LOG_None;
const unsigned long LogSinkI::LOG_TxtToken;
const unsigned long LogSinkI::LOG_AppMessage;
const unsigned long LogSinkI::LOG_DevMessage;
const unsigned long LogSinkI::LOG_GuiMessage;
const unsigned long LogSinkI::LOG_DBMessage;
const unsigned long LogSinkI::LOG_UserApp;
const unsigned long LogSinkI::LOG_DeviceMsg;
const unsigned long LogSinkI::LOG_Assert;
const unsigned long LogSinkI::LOG_All;

LogSinkI::LogSinkI() : m_mask(static_cast<std::uint32_t>(LOG_All)) {}

LogSinkI::LogSinkI(const LogSinkI& other) : m_mask(other.m_mask.load(std::memory_order_relaxed)) {}

LogSinkI& LogSinkI::operator=(const LogSinkI& other) {
    SetLogMask(other.GetLogMask());
    return *this;
}

LogSinkI::~LogSinkI() noexcept(false) = default;

// SetLogMask is defined with the log manager, whose lock-free early test it
// keeps up to date.

}  // namespace UTL
