// Crash reports: a guarded thread's hardware fault becomes a report file and a
// C++ exception that the thread catches; the program goes on.
#include <UTL/ExceptionHandler.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

// An ordinary bug: a write through a pointer that turned out null.
__attribute__((noinline, no_sanitize("undefined"))) void Store(int* volatile* slot) {
    **slot = 42;
}
// Called through a pointer, as a command loop would: clang keeps a catch only
// around calls that may throw (g++ with -fnon-call-exceptions around any code).
void (*volatile g_store)(int* volatile*) = Store;

int main() {
    CExceptionLog::SetLogfileName("guide_crash.RPT");

    std::thread worker([] {
        ExceptionHandlerC guard;  // this thread's faults are now reported and thrown
        try {
            int* volatile reading = nullptr;
            g_store(&reading);
        } catch (const ExceptionHandlerC&) {
            std::puts("fault caught, the thread goes on");
        }
    });
    worker.join();

    std::ifstream file(CExceptionLog::GetLogfileName());
    std::stringstream report;
    report << file.rdbuf();
    std::printf("report names the fault: %d\n",
                report.str().find("ACCESS_VIOLATION") != std::string::npos);
}

// Output:
//   fault caught, the thread goes on
//   report names the fault: 1
