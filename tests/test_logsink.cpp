// Log masks: the category values (three of them combine several bits) and
// the all-bits acceptance test.
#include <UTL/LogSink.h>

#include <gtest/gtest.h>

namespace {

using UTL::LogSinkI;

struct NullSink : LogSinkI {
    void LogMessage(const char*, int, unsigned long, const char*) const override {}
};

TEST(LogSink, MasksAcceptMessagesWithAllTheirBits) {
    // Read through the exported symbols, not only as folded constants.
    const unsigned long* combined[] = {&LogSinkI::LOG_DBMessage, &LogSinkI::LOG_UserApp,
                                       &LogSinkI::LOG_DeviceMsg, &LogSinkI::LOG_Assert};
    EXPECT_TRUE(*combined[0] == 0x16 && *combined[1] == 0x64 && *combined[2] == 0x128 &&
                *combined[3] == 0x80000000ul && LogSinkI::LOG_All == 0xFFFFFFFFul);
    const struct {
        unsigned long sink, message;
        bool accepted;
    } cases[] = {
        {LogSinkI::LOG_None, LogSinkI::LOG_None, true},
        {LogSinkI::LOG_None, LogSinkI::LOG_TxtToken, false},
        {0x10, LogSinkI::LOG_DBMessage, false},
        {LogSinkI::LOG_DBMessage, LogSinkI::LOG_AppMessage, true},  // shared bits
        {LogSinkI::LOG_UserApp, LogSinkI::LOG_DevMessage, true},
        {LogSinkI::LOG_DeviceMsg, LogSinkI::LOG_GuiMessage, true},
        {LogSinkI::LOG_DeviceMsg, LogSinkI::LOG_UserApp, false},
        {LogSinkI::LOG_DevMessage, LogSinkI::LOG_DevMessage | LogSinkI::LOG_Assert, false},
        {LogSinkI::LOG_DevMessage, LogSinkI::LOG_DBMessage, false},
        {LogSinkI::LOG_DevMessage, ~0xFFFFFFFFul | LogSinkI::LOG_DevMessage, true}};  // 32 bits
    NullSink sink;
    EXPECT_TRUE(sink.GetLogMask() == 0xFFFFFFFFul && sink.IsEnabled(0x80000004ul));
    for (const auto& c : cases) {
        sink.SetLogMask(c.sink);  // replaces, does not combine
        EXPECT_EQ(sink.IsEnabled(c.message), c.accepted) << std::hex << c.sink << " " << c.message;
    }
    NullSink copy(sink), assigned;
    assigned = sink;
    EXPECT_TRUE(copy.GetLogMask() == LogSinkI::LOG_DevMessage && assigned.GetLogMask() == 4);
    sink.SetLogMask(~0ul);
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);  // 32 bits kept
}

}  // namespace
