// Logging: a file sink on a (temporary) memory card receives messages whose
// categories its mask accepts; removing it closes and flushes the file.
#include "demo.h"

#include <stdlib.h>

#include <cstdio>
#include <string>

#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

namespace {

using UTL::LogManagementC;
using UTL::LogSinkI;

void ShowLogging() {
    char card[] = "/tmp/utl_demo_card_XXXXXX";
    if (!mkdtemp(card)) {
        std::printf("could not create a card directory\n");
        return;
    }
    BSS::HAL::PathMapC::setCFCardPath(card);

    auto* sink = new UTL::FileLogC("demo.log");
    LogManagementC::AddSink(sink);  // the manager owns it now
    std::printf("File sink registered, mask 0x%08lX (all categories)\n", sink->GetLogMask());

    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_AppMessage, "Station set up at %s",
                        "PT-17");
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_DevMessage, "Distance %.3f m, %d tries",
                        123.4567, 2);

    sink->SetLogMask(LogSinkI::LOG_AppMessage);
    std::printf("Mask narrowed to LOG_AppMessage (0x%08lX): developer messages are dropped\n",
                sink->GetLogMask());
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_DevMessage, "not in the file");
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_AppMessage, "Measurement %d stored", 42);
    LogManagementC::Log(__FILE__, __LINE__, LogSinkI::LOG_None, "A message of mask 0 reaches all");

    LogManagementC::RemoveSink(sink, true);  // destroying the sink flushes and closes the file

    const std::string path = std::string(card) + "/demo.log";
    std::printf("Log file (removed when this screen ends): %s\n", path.c_str());
    if (std::FILE* file = std::fopen(path.c_str(), "r")) {
        char line[1200];
        while (std::fgets(line, sizeof line, file)) std::printf("  | %s", line);
        std::fclose(file);
    }

    BSS::HAL::PathMapC::setCFCardPath(nullptr);
    std::remove(path.c_str());
    std::remove(card);
}

}  // namespace

DEMO_SCREEN(50, "Logging", ShowLogging);
