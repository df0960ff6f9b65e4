// Crash reporter: a worker thread guarded by an ExceptionHandlerC writes
// through a null pointer; the fault becomes a report file and a caught
// exception, and the program goes on.
#include "demo.h"

#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <cstdio>
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

// 32-bit ARM has no integer division that traps: the run-time library divides,
// and raises SIGFPE for a zero divisor from code that cannot be unwound. There
// the count itself is missing instead.
#if defined(__arm__)
constexpr bool kDivisionTraps = false;
#else
constexpr bool kDivisionTraps = true;
#endif

// The report stays in the current directory for the reader (and for
// docs/crash-reports.md, which is made from it); each run replaces it.
constexpr char kReport[] = "demo.RPT";

void Run() {
    CExceptionLog::SetLogfileName(kReport);
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
            std::printf("  average: %d\n", g_average(10, kDivisionTraps ? &count : nullptr));
        } catch (ExceptionHandlerC&) {
            std::printf(kDivisionTraps ? "  worker: caught the division by zero as well\n"
                                       : "  worker: caught the missing count as well\n");
        }
        CExceptionParse::EnableSymbolSearch(0);
    });
    worker.join();

    char cwd[4096];
    std::printf("  report file: %s/%s (kept)\n", getcwd(cwd, sizeof cwd) ? cwd : ".", kReport);
    std::ifstream in(kReport);
    for (std::string line; std::getline(in, line);) std::printf("  | %s\n", line.c_str());
    std::printf("  the program goes on\n");

    UTL::LogManagementC::RemoveSink(sink, true);
}

}  // namespace

DEMO_SCREEN(90, "Crash reporter", Run);
