// The program whose reports the symbolizer tests read: the fault at the end
// of crash_chain.cpp's call chain, reported once per run into an appended
// report file. Usage: symbolize_subject <report> fp|symbols [build-ids]
#include <UTL/ExceptionHandler.h>

#include <cstring>

#include "crash_chain.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    CExceptionLog::SetLogfileName(argv[1]);
    CExceptionLog::AppendToLogfile(1);
    CExceptionParse::EnableSymbolSearch(std::strcmp(argv[2], "symbols") == 0);
    CExceptionLog::EnableBuildIds(argc > 3);
    ExceptionHandlerC guard;
    void (*volatile run)() = ChainRun;
    try {
        run();
    } catch (ExceptionHandlerC&) {
        return 0;
    }
    return 1;
}
