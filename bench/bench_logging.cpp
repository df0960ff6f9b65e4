// Logging costs, side by side with spdlog's synchronous file sink:
//   - a message of a category that no sink accepts (the disabled path), and
//   - messages written through the manager into a file sink (throughput).
// Both libraries write the same line shape, "<file> (<line>): <text>\n", to a
// file in a temporary directory, with no flush per line.
#include <UTL/BSS.h>
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <string>

#ifdef UTL_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

using UTL::LogManagementC;
using UTL::LogSinkI;

const char* const kSourceFile = "/src/app/Measurement/DistanceController.cpp";

std::string& TempDir() {
    static std::string dir = [] {
        char pattern[] = "/tmp/utl_bench_log_XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/tmp");
    }();
    return dir;
}

// A manager with one file sink whose mask accepts only `accepted`.
void SetUpManager(const char* fileName, unsigned long accepted) {
    LogManagementC::Cleanup();
    BSS::HAL::PathMapC::setCFCardPath(TempDir().c_str());
    auto* sink = new UTL::FileLogC(fileName);
    sink->SetLogMask(accepted);
    LogManagementC::AddSink(sink);
}

void TearDownManager(const char* fileName) {
    LogManagementC::Cleanup();
    std::remove((TempDir() + "/" + fileName).c_str());
}

// A category that no sink accepts, on one thread and on two at once (the
// manager is set up and torn down by the first thread; the loop starts and
// ends together on all threads).
void BM_UTL_Log_Disabled(benchmark::State& state) {
    if (state.thread_index() == 0) SetUpManager("disabled.log", LogSinkI::LOG_AppMessage);
    int i = 0;
    for (auto _ : state) {
        LogManagementC::Log(kSourceFile, 120, LogSinkI::LOG_DevMessage, "distance %d of %s: %.3f",
                            ++i, "EDM", 12.345);
    }
    if (state.thread_index() == 0) TearDownManager("disabled.log");
}
BENCHMARK(BM_UTL_Log_Disabled)->Threads(1)->Threads(2)->UseRealTime();

// Integers and strings only: the shape of most log messages.
void BM_UTL_FileSink_IntStr(benchmark::State& state) {
    SetUpManager("enabled.log", LogSinkI::LOG_All);
    int i = 0;
    for (auto _ : state) {
        LogManagementC::Log(kSourceFile, 120, LogSinkI::LOG_DevMessage,
                            "reading %d from %s, status %u", ++i, "EDM", 7u);
    }
    state.SetItemsProcessed(state.iterations());
    TearDownManager("enabled.log");
}
BENCHMARK(BM_UTL_FileSink_IntStr);

// With a floating-point value.
void BM_UTL_FileSink_Float(benchmark::State& state) {
    SetUpManager("enabled.log", LogSinkI::LOG_All);
    int i = 0;
    for (auto _ : state) {
        LogManagementC::Log(kSourceFile, 120, LogSinkI::LOG_DevMessage, "distance %d of %s: %.3f",
                            ++i, "EDM", 12.345);
    }
    state.SetItemsProcessed(state.iterations());
    TearDownManager("enabled.log");
}
BENCHMARK(BM_UTL_FileSink_Float);

// One line at a time from two threads into the same file sink.
void BM_UTL_FileSink_Threads(benchmark::State& state) {
    if (state.thread_index() == 0) SetUpManager("threads.log", LogSinkI::LOG_All);
    int i = 0;
    for (auto _ : state) {
        LogManagementC::Log(kSourceFile, 120, LogSinkI::LOG_DevMessage,
                            "reading %d from %s, status %u", ++i, "EDM", 7u);
    }
    if (state.thread_index() == 0) TearDownManager("threads.log");
}
BENCHMARK(BM_UTL_FileSink_Threads)->Threads(2)->UseRealTime();

#ifdef UTL_HAVE_SPDLOG

std::shared_ptr<spdlog::logger> MakeSpdLogger(const char* fileName) {
    auto sink =
        std::make_shared<spdlog::sinks::basic_file_sink_mt>(TempDir() + "/" + fileName, true);
    auto logger = std::make_shared<spdlog::logger>("bench", sink);
    logger->set_pattern("%g (%#): %v");  // full source path, line, text
    logger->flush_on(spdlog::level::off);
    return logger;
}

std::shared_ptr<spdlog::logger> g_disabledLogger;  // shared by the threads of one run

void BM_spdlog_Log_Disabled(benchmark::State& state) {
    if (state.thread_index() == 0) {
        g_disabledLogger = MakeSpdLogger("spd_disabled.log");
        g_disabledLogger->set_level(spdlog::level::info);
    }
    int i = 0;
    for (auto _ : state) {
        g_disabledLogger->log(spdlog::source_loc{kSourceFile, 120, ""}, spdlog::level::debug,
                              "distance {} of {}: {:.3f}", ++i, "EDM", 12.345);
    }
    if (state.thread_index() == 0) {
        g_disabledLogger.reset();
        std::remove((TempDir() + "/spd_disabled.log").c_str());
    }
}
BENCHMARK(BM_spdlog_Log_Disabled)->Threads(1)->Threads(2)->UseRealTime();

void BM_spdlog_FileSink_IntStr(benchmark::State& state) {
    auto logger = MakeSpdLogger("spd_enabled.log");
    int i = 0;
    for (auto _ : state) {
        logger->log(spdlog::source_loc{kSourceFile, 120, ""}, spdlog::level::info,
                    "reading {} from {}, status {}", ++i, "EDM", 7u);
    }
    state.SetItemsProcessed(state.iterations());
    logger.reset();
    std::remove((TempDir() + "/spd_enabled.log").c_str());
}
BENCHMARK(BM_spdlog_FileSink_IntStr);

void BM_spdlog_FileSink_Float(benchmark::State& state) {
    auto logger = MakeSpdLogger("spd_enabled.log");
    int i = 0;
    for (auto _ : state) {
        logger->log(spdlog::source_loc{kSourceFile, 120, ""}, spdlog::level::info,
                    "distance {} of {}: {:.3f}", ++i, "EDM", 12.345);
    }
    state.SetItemsProcessed(state.iterations());
    logger.reset();
    std::remove((TempDir() + "/spd_enabled.log").c_str());
}
BENCHMARK(BM_spdlog_FileSink_Float);

std::shared_ptr<spdlog::logger> g_threadsLogger;  // shared by the threads of one run

void BM_spdlog_FileSink_Threads(benchmark::State& state) {
    if (state.thread_index() == 0) g_threadsLogger = MakeSpdLogger("spd_threads.log");
    int i = 0;
    for (auto _ : state) {
        g_threadsLogger->log(spdlog::source_loc{kSourceFile, 120, ""}, spdlog::level::info,
                             "reading {} from {}, status {}", ++i, "EDM", 7u);
    }
    if (state.thread_index() == 0) {
        g_threadsLogger.reset();
        std::remove((TempDir() + "/spd_threads.log").c_str());
    }
}
BENCHMARK(BM_spdlog_FileSink_Threads)->Threads(2)->UseRealTime();

#endif  // UTL_HAVE_SPDLOG

}  // namespace

BENCHMARK_MAIN();
