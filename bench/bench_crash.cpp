// Crash reporter: time from a hardware fault to the catch of the
// ExceptionHandlerC, with the report written and flushed to the disk.
//
//   BM_FaultBareTranslation  a translator that throws at once (no report): the
//                            cost of the signal and the C++ unwinding alone
//   BM_FaultReport/...       the library's translator: report with the
//                            frame-pointer walk (the default) or the symbol
//                            walk (warm: symbol tables already loaded), into
//                            a file on the disk or on a memory file system
//   BM_FaultReportSymbolsCold  the first symbol-walk report of a process
//                            (a fresh child per iteration, manual timing)
//   BM_FaultDurableFloor     the floor of a report that reaches the disk: a
//                            translator that opens the file, writes the
//                            backtrace in one write, fdatasyncs, closes and
//                            throws (BM_FaultReport/symbols:0/memfs:0 against it)
//   BM_WriteAndFlush         the disk flush alone: 2 KiB written and
//                            fdatasync'ed, what write-through costs a report
#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <benchmark/benchmark.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "../tests/crash_test_support.h"

namespace {

std::string ReportDirectory(bool memory) {
    if (memory) {
        struct stat status;
        if (stat("/dev/shm", &status) == 0) return "/dev/shm";
    }
    return "/tmp";
}

std::string ReportPath(bool memory) {
    return ReportDirectory(memory) + "/utl_bench_crash_" + std::to_string(getpid()) + ".RPT";
}

// Two faults at different addresses, alternating over the whole run, so that
// the same-address rule never declines one.
int g_faults = 0;

bool FaultAndCatch() {
    try {
        if (++g_faults & 1)
            crashtest::NullWrite();
        else
            crashtest::NullWrite2();
    } catch (ExceptionHandlerC&) {
        return true;
    } catch (int) {
        return true;
    }
    return false;
}

// Runs first, before any symbol walk of this process, so that each forked
// child starts without the symbol tables.
void BM_FaultReportSymbolsCold(benchmark::State& state) {
    const std::string path = ReportPath(true);
    for (auto _ : state) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            state.SkipWithError("pipe");
            break;
        }
        const pid_t child = fork();
        if (child == 0) {
            CExceptionLog::SetLogfileName(path.c_str());
            CExceptionParse::EnableSymbolSearch(1);
            ExceptionHandlerC guard;
            const auto start = std::chrono::steady_clock::now();
            FaultAndCatch();
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            (void)!write(pipeEnds[1], &seconds, sizeof seconds);
            _exit(0);
        }
        double seconds = 0;
        (void)!read(pipeEnds[0], &seconds, sizeof seconds);
        waitpid(child, nullptr, 0);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        state.SetIterationTime(seconds);
    }
    unlink(path.c_str());
}
BENCHMARK(BM_FaultReportSymbolsCold)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_FaultBareTranslation(benchmark::State& state) {
    _se_translator_function previous = _set_se_translator(
        [](unsigned int code, EXCEPTION_POINTERS*) { throw static_cast<int>(code); });
    for (auto _ : state) benchmark::DoNotOptimize(FaultAndCatch());
    _set_se_translator(previous);
}
BENCHMARK(BM_FaultBareTranslation)->Unit(benchmark::kMicrosecond);

const char* g_floorPath = nullptr;

void BM_FaultDurableFloor(benchmark::State& state) {
    const std::string path = ReportPath(false);
    g_floorPath = path.c_str();
    _se_translator_function previous =
        _set_se_translator([](unsigned int code, EXCEPTION_POINTERS*) {
            void* frames[64];
            const int count = backtrace(frames, 64);
            char text[64 * 20];
            int length = 0;
            for (int i = 0; i < count; ++i)
                length += std::snprintf(text + length, sizeof text - length, "%p\n", frames[i]);
            const int fd = open(g_floorPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
            (void)!write(fd, text, length);
            fdatasync(fd);
            close(fd);
            throw static_cast<int>(code);
        });
    // The library's faults go on alternating where they left off after these:
    // a repeat of its last fault's address would not be translated.
    const int libraryFaults = g_faults;
    int i = 0;
    FaultAndCatch();  // warm: the unwinder loaded
    for (auto _ : state) {
        if (!FaultAndCatch()) state.SkipWithError("fault not caught");
        if ((++i & 255) == 0) {
            state.PauseTiming();
            truncate(path.c_str(), 0);
            state.ResumeTiming();
        }
    }
    _set_se_translator(previous);
    g_faults = libraryFaults;
    unlink(path.c_str());
}
BENCHMARK(BM_FaultDurableFloor)->Unit(benchmark::kMicrosecond);

// range(0): 0 frame-pointer walk, 1 symbol walk; range(1): 1 memory file system
void BM_FaultReport(benchmark::State& state) {
    const bool symbols = state.range(0) != 0;
    const std::string path = ReportPath(state.range(1) != 0);
    CExceptionLog::SetLogfileName(path.c_str());
    CExceptionParse::EnableSymbolSearch(symbols ? 1 : 0);
    ExceptionHandlerC guard;
    int i = 0;
    FaultAndCatch();  // warm: banner written, symbol tables loaded
    for (auto _ : state) {
        if (!FaultAndCatch()) state.SkipWithError("fault not caught");
        if ((++i & 255) == 0) {
            state.PauseTiming();
            truncate(path.c_str(), 0);  // keep the file small
            state.ResumeTiming();
        }
    }
    CExceptionParse::EnableSymbolSearch(0);
    unlink(path.c_str());
}
BENCHMARK(BM_FaultReport)
    ->ArgNames({"symbols", "memfs"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

void BM_WriteAndFlush(benchmark::State& state) {
    const std::string path = ReportPath(false);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char block[2048];
    std::memset(block, 'x', sizeof block);
    for (auto _ : state) {
        (void)!write(fd, block, sizeof block);
        fdatasync(fd);
    }
    close(fd);
    unlink(path.c_str());
}
BENCHMARK(BM_WriteAndFlush)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
