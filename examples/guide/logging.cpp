// Logging: a sink of one's own, category masks, the process-wide manager.
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>

#include <cstdio>
#include <memory>

using UTL::LogManagementC;
using UTL::LogSinkI;

// Receives every message whose categories are all in its mask, with the
// logging code's file and line.
class ConsoleSink : public LogSinkI {
public:
    void LogMessage(const char*, int, unsigned long mask, const char* text) const override {
        std::printf("[%#lx] %s\n", mask, text);
    }
};

int main() {
    auto sink = std::make_unique<ConsoleSink>();
    sink->SetLogMask(LogSinkI::LOG_AppMessage | LogSinkI::LOG_Assert);
    LogManagementC::AddSink(std::move(sink));  // the manager owns it now

    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_AppMessage,
                        "station %s set up, %d prisms", "P12", 3);
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_DevMessage, "not in the sink's mask");
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_None, "no category reaches every sink");

    LogManagementC::Cleanup();  // destroys the manager and its sinks
}

// Output:
//   [0x2] station P12 set up, 3 prisms
//   [0] no category reaches every sink
