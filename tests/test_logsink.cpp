// Log masks: the category values (0x16, 0x64 and 0x128 combine several bits)
// and the all-bits acceptance test.
#include <UTL/LogSink.h>

#include <gtest/gtest.h>

namespace {

using L = UTL::LogSinkI;

struct NullSink : L {
    void LogMessage(const char*, int, unsigned long, const char*) const override {}
};

TEST(LogSink, MasksAcceptMessagesWithAllTheirBits) {
    const unsigned long* combined[] = {&L::LOG_DBMessage, &L::LOG_UserApp, &L::LOG_DeviceMsg};
    EXPECT_TRUE(*combined[0] == 0x16 && *combined[1] == 0x64 && *combined[2] == 0x128 &&
                L::LOG_Assert == 0x80000000ul && L::LOG_All == 0xFFFFFFFFul);
    const unsigned long db = L::LOG_DBMessage, app = L::LOG_AppMessage, user = L::LOG_UserApp;
    const unsigned long device = L::LOG_DeviceMsg, gui = L::LOG_GuiMessage, dev = L::LOG_DevMessage;
    const unsigned long devAssert = dev | L::LOG_Assert, devHigh = dev | ~0xFFFFFFFFul;  // 32 bits
    const struct {
        unsigned long sink, message;
        bool accepted;
    } cases[] = {{0, 0, true},          {0, L::LOG_TxtToken, false},
                 {0x10, db, false},     {db, app, true},
                 {user, dev, true},     {device, gui, true},
                 {device, user, false}, {dev, devAssert, false},
                 {dev, db, false},      {L::LOG_All, devAssert, true},
                 {dev, devHigh, true}};
    NullSink sink;
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);
    for (const auto& c : cases) {
        sink.SetLogMask(c.sink);  // replaces, does not combine
        EXPECT_EQ(sink.IsEnabled(c.message), c.accepted) << std::hex << c.sink << " " << c.message;
    }
    NullSink copy(sink);
    EXPECT_EQ(copy.GetLogMask(), dev);
    sink.SetLogMask(~0ul);
    EXPECT_EQ(sink.GetLogMask(), 0xFFFFFFFFul);  // 32 bits kept
}

}  // namespace
