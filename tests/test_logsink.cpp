// Log masks: the category values and the all-bits acceptance test.
#include <UTL/LogSink.h>

#include <gtest/gtest.h>

namespace {

using UTL::LogSinkI;

struct NullSink : LogSinkI {
    void LogMessage(const char*, int, unsigned long, const char*) const override {}
};

TEST(LogSink, CombinedCategoriesAreNotSingleBits) {
    // Read through the exported symbols, not only as folded constants.
    const unsigned long* combined[] = {&LogSinkI::LOG_DBMessage, &LogSinkI::LOG_UserApp,
                                       &LogSinkI::LOG_DeviceMsg};
    EXPECT_EQ(*combined[0], 0x16ul);
    EXPECT_EQ(*combined[1], 0x64ul);
    EXPECT_EQ(*combined[2], 0x128ul);
    EXPECT_EQ(LogSinkI::LOG_Assert, 0x80000000ul);
    EXPECT_EQ(LogSinkI::LOG_All, 0xFFFFFFFFul);
}

TEST(LogSink, AcceptanceNeedsEveryBitOfTheMessage) {
    struct Case {
        unsigned long sink, message;
        bool accepted;
    } cases[] = {
        {LogSinkI::LOG_All, LogSinkI::LOG_DevMessage | LogSinkI::LOG_Assert, true},
        {LogSinkI::LOG_None, LogSinkI::LOG_None, true},
        {LogSinkI::LOG_None, LogSinkI::LOG_TxtToken, false},
        {0x10, LogSinkI::LOG_DBMessage, false},
        {LogSinkI::LOG_DBMessage, LogSinkI::LOG_AppMessage, true},  // shared bits
        {LogSinkI::LOG_UserApp, LogSinkI::LOG_DevMessage, true},
        {LogSinkI::LOG_DeviceMsg, LogSinkI::LOG_GuiMessage, true},
        {LogSinkI::LOG_DeviceMsg, LogSinkI::LOG_UserApp, false},
        {LogSinkI::LOG_DevMessage, LogSinkI::LOG_DevMessage | LogSinkI::LOG_Assert, false},
        {LogSinkI::LOG_DevMessage, LogSinkI::LOG_DBMessage, false},
        // Bits above 31 of an unsigned long play no part.
        {LogSinkI::LOG_DevMessage, ~0xFFFFFFFFul | LogSinkI::LOG_DevMessage, true},
    };
    NullSink sink;
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);  // a new sink accepts everything
    for (const Case& c : cases) {
        sink.SetLogMask(c.sink);
        EXPECT_EQ(sink.IsEnabled(c.message), c.accepted) << std::hex << c.sink << " " << c.message;
    }
}

TEST(LogSink, SetLogMaskReplacesAndCopiesCarryTheMask) {
    NullSink sink;
    sink.SetLogMask(LogSinkI::LOG_GuiMessage);
    EXPECT_EQ(sink.GetLogMask(), 0x8ul);  // not combined with the old mask
    NullSink copy(sink), assigned;
    assigned = sink;
    EXPECT_EQ(copy.GetLogMask(), 0x8ul);
    EXPECT_EQ(assigned.GetLogMask(), 0x8ul);
    sink.SetLogMask(static_cast<unsigned long>(-1));
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);  // 32 bits kept
}

}  // namespace
