// Hardware faults on guarded threads: each kind becomes a report and a
// caught ExceptionHandlerC, on the main thread and on workers, again and
// again; the same-address rule; stack overflows; faults without a guard end
// the process by the signal. Every case runs in a child process.
#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "crash_test_support.h"

using crashtest::CountOf;
using crashtest::Describe;
using crashtest::ExitedWith;
using crashtest::KilledBy;
using crashtest::ReadFile;
using crashtest::RunInChild;
using crashtest::TempDir;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif

// The process ended because of an untranslated fault: killed by the signal,
// or, under AddressSanitizer, whose handler was installed before ours and so
// receives the untranslated fault, ended by its report.
bool DiedOfFault(int status, int signal) {
    if (KilledBy(status, signal)) return true;
    return kAsan && WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

// Appends every message to a file descriptor (unbuffered, so that messages
// logged just before the process dies are kept).
class FdSinkC : public UTL::LogSinkI {
public:
    explicit FdSinkC(int fd) : m_fd(fd) {}
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        (void)!write(m_fd, text, std::strlen(text));
    }

private:
    int m_fd;
};

struct Files {
    TempDir dir;
    std::string report = dir.File("faults.RPT");
    std::string log = dir.File("messages.log");
};

// Sets the report file and a log sink writing to `files.log`.
void UseFiles(const Files& files) {
    CExceptionLog::SetLogfileName(files.report.c_str());
    const int fd = open(files.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    UTL::LogManagementC::AddSink(new FdSinkC(fd));
}

// Runs `fault` and tells whether it came back as an ExceptionHandlerC.
template <class Fault>
bool Caught(Fault fault) {
    try {
        fault();
    } catch (ExceptionHandlerC&) {
        return true;
    }
    return false;
}

// A file mapping that ends before the mapped page: reading it is SIGBUS.
const void* TruncatedMapping(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    return page == MAP_FAILED ? nullptr : page;
}

// Every fault kind twice, in an order where no two neighbours share an
// address. Returns how many were caught.
int AllKindsTwice(const std::string& scratch) {
    const void* beyond = TruncatedMapping(scratch);
    int caught = 0;
    for (int round = 0; round < 2; ++round) {
        caught += Caught(crashtest::NullWrite);
        caught += Caught(crashtest::IntDivideByZero);
        caught += Caught(crashtest::IllegalInstruction);
        caught += Caught(crashtest::Breakpoint);
        caught += Caught([&] { crashtest::BusRead(beyond); });
    }
    return caught;
}

const char* const kKindCodes[] = {
    "Exception code: C0000005 ACCESS_VIOLATION\n", "Exception code: C0000094 INT_DIVIDE_BY_ZERO\n",
    "Exception code: C000001D ILLEGAL_INSTRUCTION\n", "Exception code: 80000003 BREAKPOINT\n",
    "Exception code: C0000006 IN_PAGE_ERROR\n"};

void ExpectAllKindsReported(const std::string& text, int times) {
    EXPECT_EQ(CountOf(text, "//============== Application start"), 1);
    EXPECT_EQ(CountOf(text, "//=============== Exception start ===================\n"), 5 * times);
    EXPECT_EQ(CountOf(text, "//=============== Exception end ===================\n\n"), 5 * times);
    for (const char* code : kKindCodes) EXPECT_EQ(CountOf(text, code), times) << code << text;
    // In order: the codes follow one another as the faults did.
    std::size_t at = 0;
    for (int i = 0; i < 5 * times; ++i) {
        at = text.find(kKindCodes[i % 5], at);
        ASSERT_NE(at, std::string::npos) << i;
    }
}

class CrashFaults : public ::testing::Test {};

TEST_F(CrashFaults, EveryKindOnTheMainThreadAgainAndAgain) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        ExceptionHandlerC guard;
        return AllKindsTwice(files.dir.File("bus")) == 10 ? 0 : 1;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    ExpectAllKindsReported(ReadFile(files.report), 2);
    const std::string log = ReadFile(files.log);
    EXPECT_EQ(CountOf(log, "Writing Exception information to " + files.report + "\n"), 10) << log;
    EXPECT_EQ(CountOf(log, "DbgHelp.dll or its exported procs not found"), 10);
}

TEST_F(CrashFaults, EveryKindOnWorkerThreads) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        int caught[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            std::thread worker([&, i] {
                ExceptionHandlerC guard;
                caught[i] = AllKindsTwice(files.dir.File("bus" + std::to_string(i)));
            });
            worker.join();
        }
        return caught[0] == 10 && caught[1] == 10 ? 0 : 1;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    ExpectAllKindsReported(ReadFile(files.report), 4);
}

TEST_F(CrashFaults, ReportOfANullWrite) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        ExceptionHandlerC guard;
        try {
            crashtest::NullWriteWithRegisters();
        } catch (CExceptionParse&) {  // the base catches it too
            return 0;
        }
        return 1;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    char address[32];
    std::snprintf(address, sizeof address, "%08llX",
                  static_cast<unsigned long long>(
                      reinterpret_cast<std::uintptr_t>(&crashtest::NullWriteWithRegisters)));
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    EXPECT_NE(text.find("Exception code: C0000005 ACCESS_VIOLATION\nFault address:  "),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\nFault address:  [0-9A-F]{8,} [0-9A-F]{2}:[0-9A-F]{8} " +
                         std::string(self) + "\n")))
        << text;
    EXPECT_NE(text.find("\nRegisters:\nEAX:1111111111111111\nEBX:2222222222222222\n"
                        "ECX:3333333333333333\nEDX:4444444444444444\nESI:5555555555555555\n"
                        "EDI:00ABCDEF\nCS:EIP:0033:"),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\nSS:ESP:002B:[0-9A-F]{8,}  EBP:[0-9A-F]{8,}\n"
                                                   "DS:0000  ES:0000  FS:0000  GS:0000\n"
                                                   "Flags:000[0-9A-F]{5}\n\nCall stack:\n")))
        << text;
    // The first frame is the fault itself, in the test program.
    EXPECT_TRUE(
        std::regex_search(text, std::regex("\n 1: [0-9A-F]{8,}  [0-9A-F]{8,}  "
                                           "[0-9A-F]{4}:[0-9A-F]{8} " +
                                           std::string(self) + " \\(Version: not available\\)\n")))
        << text;
}

TEST_F(CrashFaults, FaultAddressIsTheFaultingInstruction) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        ExceptionHandlerC guard;
        int caught = Caught(crashtest::NullWrite) + Caught(crashtest::Breakpoint);
        return caught == 2 ? 0 : 1;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    for (const char* label : {utl_test_null_write, utl_test_int3}) {
        char line[64];
        std::snprintf(line, sizeof line, "Fault address:  %08llX ",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(label)));
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

TEST_F(CrashFaults, SameAddressTwiceEndsTheProcess) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        ExceptionHandlerC guard;
        if (!Caught(crashtest::NullWrite)) return 1;
        if (!Caught(crashtest::NullWrite2)) return 2;  // elsewhere: translated again
        if (!Caught(crashtest::NullWrite)) return 3;   // and back: translated again
        crashtest::NullWrite();                        // same as the last one
        return 4;
    });
    ASSERT_TRUE(DiedOfFault(status, SIGSEGV)) << Describe(status);
    EXPECT_EQ(CountOf(ReadFile(files.report), "Exception start"), 3);
    // The untranslated fault still logged its message.
    EXPECT_EQ(CountOf(ReadFile(files.log), "Writing Exception information to "), 4);
}

TEST_F(CrashFaults, SameAddressRuleHoldsAcrossThreads) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        bool first = false;
        std::thread worker([&] {
            ExceptionHandlerC guard;
            first = Caught(crashtest::IllegalInstruction);
        });
        worker.join();
        if (!first) return 1;
        ExceptionHandlerC guard;
        crashtest::IllegalInstruction();
        return 2;
    });
    EXPECT_TRUE(DiedOfFault(status, SIGILL)) << Describe(status);
}

// Recursion deep enough to overflow any stack. Two copies, so that two
// overflows in a row do not fault at the same address. The calls go through
// volatile pointers so that the compiler cannot prove the recursion endless
// (and so free of exceptions).
int RecurseA(int depth);
int RecurseB(int depth);
int (*volatile g_recurseA)(int) = RecurseA;
int (*volatile g_recurseB)(int) = RecurseB;

__attribute__((noinline)) int RecurseA(int depth) {
    volatile char block[1024];
    block[0] = static_cast<char>(depth);
    if (depth < 0) return 0;
    return g_recurseA(depth + 1) + block[0];
}
__attribute__((noinline)) int RecurseB(int depth) {
    volatile char block[2048];
    block[0] = static_cast<char>(depth);
    if (depth < 0) return 0;
    return g_recurseB(depth + 1) + block[0];
}

// Three overflows, alternating; `first` picks the copy that starts.
int Overflows(int (*first)(int), int (*second)(int)) {
    int caught = 0;
    caught += Caught([&] { first(0); });
    caught += Caught([&] { second(0); });
    caught += Caught([&] { first(0); });
    return caught;
}

TEST_F(CrashFaults, StackOverflowIsCaughtOnMainAndWorkerThreads) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        int main = 0, worker = 0;
        {
            ExceptionHandlerC guard;
            main = Overflows(RecurseA, RecurseB);
        }
        std::thread thread([&] {
            ExceptionHandlerC guard;
            worker = Overflows(RecurseB, RecurseA);  // A came last
        });
        thread.join();
        return main == 3 && worker == 3 ? 0 : 10 * main + worker;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    EXPECT_EQ(CountOf(text, "Exception code: C00000FD STACK_OVERFLOW\n"), 6)
        << text.substr(0, 3000);
    EXPECT_EQ(CountOf(text, "Exception end"), 6);
}

TEST_F(CrashFaults, WithoutAGuardTheProcessDiesByTheSignal) {
    const struct {
        void (*fault)();
        int signal;
    } kinds[] = {{crashtest::NullWrite, SIGSEGV},
                 {crashtest::IntDivideByZero, SIGFPE},
                 {crashtest::IllegalInstruction, SIGILL},
                 {crashtest::Breakpoint, SIGTRAP}};
    for (const auto& kind : kinds) {
        // Guard destroyed before the fault.
        int status = RunInChild([&] {
            { ExceptionHandlerC guard; }
            kind.fault();
            return 1;
        });
        EXPECT_TRUE(DiedOfFault(status, kind.signal)) << Describe(status);
        // Another thread holds a guard; this one has none.
        status = RunInChild([&] {
            ExceptionHandlerC guard;
            std::thread unguarded(kind.fault);
            unguarded.join();
            return 1;
        });
        EXPECT_TRUE(DiedOfFault(status, kind.signal)) << Describe(status);
    }
}

TEST_F(CrashFaults, CaughtObjectsLeaveTheTranslatorInPlaceAndGuardsRestore) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        static int customCalls = 0;
        _se_translator_function custom = [](unsigned int code, EXCEPTION_POINTERS*) {
            ++customCalls;
            throw static_cast<int>(code & 0xFF);
        };
        if (_set_se_translator(custom) != nullptr) return 1;
        {
            ExceptionHandlerC outer;
            {
                ExceptionHandlerC inner;
                ExceptionHandlerC copy(inner);  // a copy restores nothing
            }
            // The caught object is destroyed at the end of its handler: the
            // translator stays, so the next fault is caught again.
            if (!Caught(crashtest::NullWrite)) return 2;
            if (!Caught(crashtest::NullWrite2)) return 3;
        }
        // The outer guard put the custom translator back.
        try {
            crashtest::IllegalInstruction();
        } catch (int code) {
            if (code != 0x1D || customCalls != 1) return 4;
        }
        if (_set_se_translator(nullptr) != custom) return 5;
        return 0;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
    EXPECT_EQ(CountOf(ReadFile(files.report), "Exception start"), 2);
}

TEST_F(CrashFaults, FaultInsideALogSinkIsReportedAndReleasesTheManagerLock) {
    Files files;
    static std::atomic<bool> faulty{false};
    class FaultingSinkC : public UTL::LogSinkI {
    public:
        void LogMessage(const char*, int, unsigned long, const char*) const override {
            if (faulty) crashtest::NullWrite2();
        }
    };
    const int status = RunInChild([&] {
        UseFiles(files);
        UTL::LogManagementC::AddSink(new FaultingSinkC);
        ExceptionHandlerC guard;
        faulty = true;
        bool caught = false;
        try {
            UTL::LogManagementC::Log(__FILE__, __LINE__, 0, "from the application\n");
        } catch (ExceptionHandlerC&) {
            caught = true;
        }
        faulty = false;
        if (!caught) return 1;
        // Another thread can log: the manager lock was released.
        std::atomic<bool> logged{false};
        std::thread other([&] {
            UTL::LogManagementC::Log(__FILE__, __LINE__, 0, "after\n");
            logged = true;
        });
        for (int i = 0; i < 200 && !logged; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!logged) _exit(2);  // a held lock would block the join forever
        other.join();
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    EXPECT_EQ(CountOf(text, "Exception code: C0000005 ACCESS_VIOLATION"), 1) << text;
    EXPECT_EQ(CountOf(text, "Exception end"), 1);
    EXPECT_NE(ReadFile(files.log).find("after\n"), std::string::npos);
}

TEST_F(CrashFaults, FaultInsideTheReportIsSurvived) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        // A translator that reports a broken context: reading its registers
        // faults inside the report.
        _set_se_translator([](unsigned int, EXCEPTION_POINTERS* p) {
            EXCEPTION_POINTERS broken = {p->ExceptionRecord, reinterpret_cast<CONTEXT*>(0x10)};
            ExceptionHandlerC report(&broken);
            throw 5;
        });
        try {
            crashtest::NullWrite();
        } catch (int) {
        }
        if (CExceptionLog::IsOpen()) return 1;  // the report closed its file
        _set_se_translator(nullptr);
        ExceptionHandlerC guard;  // reports still work afterwards
        return Caught(crashtest::NullWrite2) ? 0 : 2;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    EXPECT_EQ(CountOf(text, "Exception start"), 2) << text;
    EXPECT_EQ(CountOf(text, "Exception end"), 1);
    EXPECT_NE(text.find("Fault address:  "), std::string::npos);
}

TEST_F(CrashFaults, TwoThreadsFaultingAtOnceBothGetWholeReports) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        std::atomic<int> ready{0};
        bool caught[2] = {false, false};
        auto body = [&](int i) {
            ExceptionHandlerC guard;
            ++ready;
            while (ready < 2) {
            }
            caught[i] = Caught(i == 0 ? crashtest::NullWrite : crashtest::IntDivideByZero);
        };
        std::thread a(body, 0), b(body, 1);
        a.join();
        b.join();
        return caught[0] && caught[1] ? 0 : 1;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    // Whole blocks, one after the other.
    const std::regex block(
        "//=============== Exception start ===================\n(?:(?!Exception start)[^])*?"
        "//=============== Exception end ===================\n\n");
    const auto begin = std::sregex_iterator(text.begin(), text.end(), block);
    EXPECT_EQ(std::distance(begin, std::sregex_iterator()), 2) << text;
    EXPECT_EQ(CountOf(text, "Exception start"), 2);
}

TEST_F(CrashFaults, UnopenableReportFileStillThrows) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        CExceptionLog::SetLogfileName(files.dir.File("missing/x.RPT").c_str());
        ExceptionHandlerC guard;
        return Caught(crashtest::NullWrite) ? 0 : 1;
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
    EXPECT_EQ(CountOf(ReadFile(files.log), "Writing Exception information to "), 1);
}

// Sets EFLAGS.AC, reads 4 bytes at an odd address, clears the flag.
__attribute__((noinline)) void UnalignedReadWithAlignmentCheck(char* bytes) {
    asm volatile(
        "pushfq\n\t"
        "orq $0x40000, (%%rsp)\n\t"
        "popfq\n\t"
        "movl 1(%0), %%eax\n\t"
        "pushfq\n\t"
        "andq $~0x40000, (%%rsp)\n\t"
        "popfq" ::"r"(bytes)
        : "rax", "cc", "memory");
}

TEST_F(CrashFaults, AlignmentFaultIsDatatypeMisalignment) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        ExceptionHandlerC guard;
        alignas(8) static char bytes[16];
        try {
            UnalignedReadWithAlignmentCheck(bytes);
        } catch (ExceptionHandlerC&) {
            // The flag is off again: unaligned accesses work after the catch.
            int value;
            asm volatile("movl 3(%1), %0" : "=r"(value) : "r"(bytes) : "memory");
            return value == 0 ? 0 : 2;
        }
        return 77;  // the processor does not check alignment here
    });
    if (ExitedWith(status, 77)) GTEST_SKIP() << "alignment checking is not enabled";
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    EXPECT_NE(ReadFile(files.report).find("Exception code: 80000002 DATATYPE_MISALIGNMENT\n"),
              std::string::npos);
}

// A fault in ordinary C++ code (no inline assembly) is caught thanks to
// -fnon-call-exceptions.
__attribute__((no_sanitize("undefined"))) int PlainNullWrite(int* volatile* where) {
    try {
        **where = 1;
    } catch (ExceptionHandlerC&) {
        return 0;
    }
    return 1;
}

TEST_F(CrashFaults, PlainCxxNullWriteIsCaught) {
    Files files;
    const int status = RunInChild([&] {
        UseFiles(files);
        ExceptionHandlerC guard;
        int* volatile nowhere = nullptr;
        return PlainNullWrite(&nowhere);
    });
    EXPECT_TRUE(ExitedWith(status, 0)) << Describe(status);
}

// ---- Software exceptions and report objects -----------------------------------

TEST(CrashRaise, DoRaiseGoesToTheTranslator) {
    Files files;
    int status = RunInChild([&] {
        UseFiles(files);
        static EXCEPTION_RECORD seen;
        _set_se_translator([](unsigned int, EXCEPTION_POINTERS* p) {
            seen = *p->ExceptionRecord;
            throw 1;
        });
        int object = 0;
        try {
            DoRaise(&object, &files);
        } catch (int) {
        }
        PreviewException(nullptr, nullptr, nullptr);
        PreviewException(&object, nullptr, &typeid(int));
        if (seen.ExceptionCode != 0xE06D7363 || seen.ExceptionFlags != EXCEPTION_NONCONTINUABLE)
            return 1;
        if (seen.NumberParameters != 3 || seen.ExceptionInformation[0] != 0x19930520 ||
            seen.ExceptionInformation[1] != reinterpret_cast<ULONG_PTR>(&object) ||
            seen.ExceptionInformation[2] != reinterpret_cast<ULONG_PTR>(&files))
            return 2;
        _set_se_translator(nullptr);
        ExceptionHandlerC guard;
        int caught = 0;
        try {
            DoRaise(nullptr, nullptr);
        } catch (ExceptionHandlerC&) {
            ++caught;
        }
        try {
            DoRaise(nullptr, nullptr);  // another place: translated again
        } catch (ExceptionHandlerC&) {
            ++caught;
        }
        return caught == 2 ? 0 : 3;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    EXPECT_NE(
        ReadFile(files.report).find("Exception code: E06D7363 Unknown exception 0xE06D7363\n"),
        std::string::npos);
    status = RunInChild([] {
        DoRaise(nullptr, nullptr);  // nobody translates it
        return 1;
    });
    EXPECT_TRUE(KilledBy(status, SIGABRT)) << Describe(status);
}

TEST(CrashRaise, ReportObjectFromPointersAndTheUnwindingNote) {
    Files files;
    const int status = RunInChild([&] {
        CExceptionLog::SetLogfileName(files.report.c_str());
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = 0xC0000094;
        record.ExceptionAddress = reinterpret_cast<PVOID>(0x10);  // in no module
        CONTEXT context = {};
        context.Rax = 0xFFFFFFFFFFFFFFFFull;
        context.Rip = 0x10;
        context.SegDs = 0x2B;
        EXCEPTION_POINTERS pointers = {&record, &context};
        { ExceptionHandlerC report(&pointers); }
        record.ExceptionFlags = EXCEPTION_UNWINDING;
        { ExceptionHandlerC note(&pointers); }
        return 0;
    });
    ASSERT_TRUE(ExitedWith(status, 0)) << Describe(status);
    const std::string text = ReadFile(files.report);
    EXPECT_NE(text.find("Exception code: C0000094 INT_DIVIDE_BY_ZERO\n"
                        "Fault address:  00000010 00:00000000 \n\nRegisters:\n"
                        "EAX:FFFFFFFFFFFFFFFF\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("DS:002B  ES:0000  FS:0000  GS:0000\nFlags:00000000\n"), std::string::npos);
    EXPECT_EQ(CountOf(text, "Exception start"), 1);
    EXPECT_EQ(text.substr(text.size() - 54),
              "\n\n//============ Unwinding exception ================\n");
}

}  // namespace
