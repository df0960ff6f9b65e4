// Crash reporter: a worker thread guarded by an ExceptionHandlerC writes
// through a null pointer; the fault becomes a report file and a caught
// exception, and the program goes on.
#include "demo.h"

#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

// Shows what the crash reporter logs.
class PrintSinkC : public UTL::LogSinkI {
public:
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        std::printf("  [log] %s%s", text,
                    text[0] && text[std::char_traits<char>::length(text) - 1] == '\n' ? "" : "\n");
    }
};

// Ordinary bugs: a write through a pointer that turned out null, and a
// division by a count that turned out zero.
__attribute__((noinline, no_sanitize("undefined"))) void StoreReading(int* volatile* slot,
                                                                      int value) {
    **slot = value;
}

__attribute__((noinline)) void ProcessReadings() {
    int* volatile reading = nullptr;
    StoreReading(&reading, 42);
    std::printf("  no fault?\n");
}

__attribute__((noinline, no_sanitize("undefined"))) int Average(int sum,
                                                                const volatile int* count) {
    return sum / *count;
}

// The measurement steps, called through pointers as a command loop would call
// them. (clang keeps a catch only around calls that may throw, and proves
// these two cannot; g++ with -fnon-call-exceptions keeps it around any code.)
void (*volatile g_processReadings)() = ProcessReadings;
int (*volatile g_average)(int, const volatile int*) = Average;

void Run() {
    char pattern[] = "/tmp/utl-demo-crash-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) {
        std::printf("  no temporary directory\n");
        return;
    }
    const std::string report = std::string(dir) + "/demo_crash.RPT";
    CExceptionLog::SetLogfileName(report.c_str());
    // Each module line names the exact build: utl-symbolize matches the
    // unstripped copies kept at build time by it.
    CExceptionLog::EnableBuildIds(1);
    PrintSinkC* sink = new PrintSinkC;
    UTL::LogManagementC::AddSink(sink);

    std::thread worker([] {
        ExceptionHandlerC guard;  // this thread's faults become reports and exceptions
        try {
            g_processReadings();
        } catch (ExceptionHandlerC&) {
            std::printf("  worker: caught ExceptionHandlerC, the report is on disk\n");
        }
        // The same with symbol search on: frames name their source lines.
        CExceptionParse::EnableSymbolSearch(1);
        volatile int count = 0;
        try {
            std::printf("  average: %d\n", g_average(10, &count));
        } catch (ExceptionHandlerC&) {
            std::printf("  worker: caught the division by zero as well\n");
        }
        CExceptionParse::EnableSymbolSearch(0);
    });
    worker.join();

    std::printf("  report file: %s\n", report.c_str());
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) std::printf("  | %s\n", line.c_str());
    std::printf("  the program goes on\n");

    UTL::LogManagementC::RemoveSink(sink, true);
    std::remove(report.c_str());
    rmdir(dir);
}

}  // namespace

DEMO_SCREEN(90, "Crash reporter", Run);
