// Log masks: the category values and the all-bits acceptance test.
#include <UTL/LogSink.h>

#include <gtest/gtest.h>

namespace {

using UTL::LogSinkI;

class NullSink : public LogSinkI {
public:
    void LogMessage(const char*, int, unsigned long, const char*) const override {}
};

TEST(LogSink, CategoryConstantsHaveTheirExactValues) {
    EXPECT_EQ(LogSinkI::LOG_None, 0x00000000ul);
    EXPECT_EQ(LogSinkI::LOG_TxtToken, 0x00000001ul);
    EXPECT_EQ(LogSinkI::LOG_AppMessage, 0x00000002ul);
    EXPECT_EQ(LogSinkI::LOG_DevMessage, 0x00000004ul);
    EXPECT_EQ(LogSinkI::LOG_GuiMessage, 0x00000008ul);
    // Combinations, not single bits.
    EXPECT_EQ(LogSinkI::LOG_DBMessage, 22ul);
    EXPECT_EQ(LogSinkI::LOG_UserApp, 100ul);
    EXPECT_EQ(LogSinkI::LOG_DeviceMsg, 296ul);
    EXPECT_EQ(LogSinkI::LOG_Assert, 2147483648ul);
    EXPECT_EQ(LogSinkI::LOG_All, 4294967295ul);
    // Read through the exported symbols, not only as folded constants.
    const unsigned long* dbMessage = &LogSinkI::LOG_DBMessage;
    EXPECT_EQ(*dbMessage, 0x16ul);
}

TEST(LogSink, NewSinkAcceptsEverything) {
    NullSink sink;
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);
    for (unsigned long mask : {0ul, 1ul, 0x16ul, 0x128ul, 0x80000000ul, 0xFFFFFFFFul})
        EXPECT_TRUE(sink.IsEnabled(mask)) << mask;
}

TEST(LogSink, AcceptanceNeedsEveryBitOfTheMessage) {
    NullSink sink;
    sink.SetLogMask(LogSinkI::LOG_None);
    EXPECT_TRUE(sink.IsEnabled(0));
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_TxtToken));

    sink.SetLogMask(0x10);
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_DBMessage));
    sink.SetLogMask(0x16);
    EXPECT_TRUE(sink.IsEnabled(LogSinkI::LOG_DBMessage));
    EXPECT_TRUE(sink.IsEnabled(LogSinkI::LOG_AppMessage));

    sink.SetLogMask(LogSinkI::LOG_DevMessage);
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_DevMessage | LogSinkI::LOG_Assert));
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_DBMessage));
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_UserApp));
    sink.SetLogMask(LogSinkI::LOG_All);
    EXPECT_TRUE(sink.IsEnabled(LogSinkI::LOG_DevMessage | LogSinkI::LOG_Assert));
}

TEST(LogSink, SharedBitsMakeCombinedCategoriesAcceptTheirParts) {
    NullSink sink;
    sink.SetLogMask(LogSinkI::LOG_UserApp);
    EXPECT_TRUE(sink.IsEnabled(LogSinkI::LOG_DevMessage));
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_DeviceMsg));  // 0x100 missing
    sink.SetLogMask(LogSinkI::LOG_DeviceMsg);
    EXPECT_TRUE(sink.IsEnabled(LogSinkI::LOG_GuiMessage));
    EXPECT_FALSE(sink.IsEnabled(LogSinkI::LOG_UserApp));  // 0x44 missing
}

TEST(LogSink, SetLogMaskReplacesAndCopiesCarryTheMask) {
    NullSink sink;
    sink.SetLogMask(LogSinkI::LOG_GuiMessage);
    EXPECT_EQ(sink.GetLogMask(), 0x8ul);

    NullSink copy(sink);
    EXPECT_EQ(copy.GetLogMask(), 0x8ul);
    NullSink assigned;
    assigned = sink;
    EXPECT_EQ(assigned.GetLogMask(), 0x8ul);
}

TEST(LogSink, MasksAreThirtyTwoBitsWide) {
    NullSink sink;
    sink.SetLogMask(static_cast<unsigned long>(-1));
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);
    if (sizeof(unsigned long) > 4) {
        // Bits above 31 of a message mask play no part in the test.
        const unsigned long high = static_cast<unsigned long>(1) << (sizeof(long) * 8 - 1);
        sink.SetLogMask(LogSinkI::LOG_DevMessage);
        EXPECT_TRUE(sink.IsEnabled(high | LogSinkI::LOG_DevMessage));
    }
}

}  // namespace
