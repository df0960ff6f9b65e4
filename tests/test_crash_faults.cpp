// Hardware faults on guarded threads become reports and caught exceptions;
// untranslated faults end the process by the signal. Each case runs in a child.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <regex>
#include <string>
#include <thread>
#include <tuple>

#include "crash_test_support.h"

using namespace crashtest;

extern "C" char utl_test_bus_read[];

namespace {

const char kStart[] = "//=============== Exception start ===================\n";
const char kEnd[] = "//=============== Exception end ===================\n\n";

// Reads a page of a mapping beyond the end of its empty file: SIGBUS.
const void* g_beyondFile = nullptr;
__attribute__((noinline)) void BusRead() {
    asm volatile(
        ".globl utl_test_bus_read\n utl_test_bus_read: movzbl (%0), %%eax" ::"r"(g_beyondFile)
        : "rax", "memory");
}

// Recursion without end, through a volatile pointer so that the compiler
// cannot prove it endless.
__attribute__((noinline)) void StackOverflow();
void (*volatile g_recurse)() = StackOverflow;
void StackOverflow() {
    volatile char block[1024];
    block[0] = 1;
    g_recurse();
    block[1] = block[0];
}

// Sets EFLAGS.AC, reads 4 bytes at an odd address, clears the flag again.
__attribute__((noinline)) void UnalignedRead() {
    alignas(8) static char bytes[16];
    asm volatile(
        "pushfq\n orq $0x40000, (%%rsp)\n popfq\n movl 1(%0), %%eax\n"
        "pushfq\n andq $~0x40000, (%%rsp)\n popfq" ::"r"(bytes)
        : "rax", "cc", "memory");
}

// A fault in ordinary C++ code: caught thanks to -fnon-call-exceptions.
int* volatile g_nowhere = nullptr;
__attribute__((no_sanitize("undefined"))) void PlainNullWrite() {
    *g_nowhere = 1;
}

struct Kind {
    const char* name;
    void (*fault)();
    const char* code;   // and name, as the report shows them
    const void* label;  // the faulting instruction, where known
    int signal;         // that ends the process when nobody translates the fault
};

const Kind kKinds[] = {
    {"NullWrite", NullWrite, "C0000005 ACCESS_VIOLATION", utl_test_null_write, SIGSEGV},
    {"IntDivide", IntDivideByZero, "C0000094 INT_DIVIDE_BY_ZERO", utl_test_divide, SIGFPE},
    {"Ud2", IllegalInstruction, "C000001D ILLEGAL_INSTRUCTION", utl_test_ud2, SIGILL},
    {"Int3", Breakpoint, "80000003 BREAKPOINT", utl_test_int3, SIGTRAP},
    {"Bus", BusRead, "C0000006 IN_PAGE_ERROR", utl_test_bus_read, SIGBUS},
    {"StackOverflow", StackOverflow, "C00000FD STACK_OVERFLOW", nullptr, SIGSEGV},
    {"PlainCxx", PlainNullWrite, "C0000005 ACCESS_VIOLATION", nullptr, SIGSEGV},
    {"Misaligned", UnalignedRead, "80000002 DATATYPE_MISALIGNMENT", nullptr, SIGBUS},
};

class CrashFaults : public ::testing::TestWithParam<std::tuple<Kind, bool>> {};

// The kind, a fault elsewhere, the kind again, elsewhere again: every fault
// is reported and caught (exit 77: this processor does not check alignment).
// Then, without a guard (destroyed, or on the main thread that never had
// one), the kind ends the process by its signal.
TEST_P(CrashFaults, EachKindIsReportedAndCaughtAgainAndAgain) {
    const Kind& kind = std::get<0>(GetParam());
    const Outcome r = RunReporting([&] {
        const int fd = open((CExceptionLog::GetLogfileName() + std::string(".bus")).c_str(),
                            O_RDWR | O_CREAT | O_TRUNC, 0644);
        g_beyondFile = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
        void (*elsewhere)() = kind.fault == Breakpoint ? NullWrite : Breakpoint;
        int result = 0;
        auto faults = [&] {
            ExceptionHandlerC guard;
            result = Caught(kind.fault) ? 0 : 77;
            for (int i = 0; i < 3 && result == 0; ++i)
                if (!Caught(i % 2 ? kind.fault : elsewhere)) result = 1 + i;
        };
        std::get<1>(GetParam()) ? std::thread(faults).join() : faults();
        if (result == 0) kind.fault();
        return result;
    });
    if (kind.fault == UnalignedRead && r.Exited(77)) GTEST_SKIP() << "no alignment checking";
    ASSERT_TRUE(r.DiedOf(kind.signal)) << r;
    EXPECT_EQ(CountOf(r.report, "//============== Application start"), 1);
    EXPECT_EQ(CountOf(r.report, kStart) + CountOf(r.report, kEnd), 8) << r;
    EXPECT_EQ(CountOf(r.report, "Exception code: " + std::string(kind.code) + "\n"), 2) << r;
    const std::string written = "Writing Exception information to " + r.path + "\n";
    EXPECT_EQ(CountOf(r.log, written + "DbgHelp.dll or its exported procs not found"), 4) << r;
    char line[64];
    std::snprintf(line, sizeof line, "Fault address:  %08llX ",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(kind.label)));
    EXPECT_TRUE(!kind.label || r.report.find(line) != std::string::npos) << r;
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashFaults,
                         ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "OnWorker" : "OnMain");
                         });

// Writes known values into the six registers of the report, then faults.
__attribute__((noinline)) void NullWriteWithRegisters() {
    asm volatile(
        "movabs $0x1111111111111111, %%rax\n movabs $0x2222222222222222, %%rbx\n"
        "movabs $0x3333333333333333, %%rcx\n movabs $0x4444444444444444, %%rdx\n"
        "movabs $0x5555555555555555, %%rsi\n mov $0xABCDEF, %%edi\n"
        "xor %%r8d, %%r8d\n movl $1, (%%r8)" ::
            : "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "r8", "memory");
}

TEST(CrashFault, ReportOfANullWrite) {
    const Outcome r = RunReporting([] {
        ExceptionHandlerC guard;
        try {
            NullWriteWithRegisters();
        } catch (CExceptionParse&) {  // the base catches it too
            return 0;
        }
        return 1;
    });
    // The rest of the block is laid out as for a bare context (report tests).
    EXPECT_TRUE(r.Exited() &&
                std::regex_search(
                    r.report, std::regex("\nException code: C0000005 ACCESS_VIOLATION\n"
                                         "Fault address:  [0-9A-F]{8,} [0-9A-F]{2}:[0-9A-F]{8} " +
                                         SelfPath() +
                                         "\n\nRegisters:\nEAX:1111111111111111\n"
                                         "EBX:2222222222222222\nECX:3333333333333333\n"
                                         "EDX:4444444444444444\nESI:5555555555555555\n"
                                         "EDI:00ABCDEF\nCS:EIP:0033:[0-9A-F]{8,}\n")))
        << r;
}

TEST(CrashFault, SameAddressTwiceIsNotTranslated) {
    const Outcome r = RunReporting([] {
        ExceptionHandlerC guard;
        if (!Caught(NullWrite) || !Caught(NullWrite2)) return 1;
        if (!Caught(NullWrite)) return 2;  // back after another: translated again
        NullWrite();                       // same as the last one
        return 3;
    });
    EXPECT_TRUE(r.DiedOf(SIGSEGV)) << r;
    EXPECT_EQ(CountOf(r.report, kStart), 3);
    // The untranslated fault still logged its message.
    EXPECT_EQ(CountOf(r.log, "Writing Exception information to "), 4);
}

TEST(CrashFault, GuardsRestoreThePreviousTranslator) {
    const Outcome r = RunReporting([] {
        const auto custom = [](unsigned int code, EXCEPTION_POINTERS*) { throw int(code); };
        _set_se_translator(custom);
        {
            ExceptionHandlerC outer;
            { ExceptionHandlerC inner, copy(inner); }  // a copy restores nothing
            // Destroying the caught objects leaves the translator in place.
            if (!Caught(NullWrite) || !Caught(NullWrite2)) return 1;
        }
        try {
            IllegalInstruction();
        } catch (int code) {  // the custom translator is back
            return code == int(0xC000001D) && _set_se_translator(nullptr) == +custom ? 0 : 2;
        }
        return 3;
    });
    EXPECT_TRUE(r.Exited() && CountOf(r.report, kStart) == 2) << r;
}

TEST(CrashFault, FaultInsideALogSinkIsReportedAndReleasesTheManagerLock) {
    static std::atomic<bool> faulty{false};
    struct FaultingSinkC : UTL::LogSinkI {
        void LogMessage(const char*, int, unsigned long, const char*) const override {
            if (faulty) NullWrite2();
        }
    };
    const Outcome r = RunReporting([] {
        UTL::LogManagementC::AddSink(new FaultingSinkC);
        ExceptionHandlerC guard;
        faulty = true;
        if (!Caught([] { UTL::LogManagementC::Log(__FILE__, __LINE__, 0, "from the app\n"); }))
            return 1;
        faulty = false;
        // Another thread can log: the manager lock was released (a held lock
        // would block it until the child's alarm).
        std::thread([] { UTL::LogManagementC::Log(__FILE__, __LINE__, 0, "after\n"); }).join();
        return 0;
    });
    EXPECT_TRUE(r.Exited() && r.log.find("after\n") != std::string::npos) << r;
    EXPECT_TRUE(CountOf(r.report, "ACCESS_VIOLATION\n") + CountOf(r.report, kEnd) == 2) << r;
}

TEST(CrashFault, TwoThreadsFaultingAtOnceBothGetWholeReports) {
    const Outcome r = RunReporting([] {
        std::atomic<int> ready{0}, caught{0};
        auto body = [&](void (*fault)()) {
            ExceptionHandlerC guard;
            for (++ready; ready < 2;) {
            }
            caught += Caught(fault);
        };
        std::thread a(body, NullWrite), b(body, IntDivideByZero);
        a.join();
        b.join();
        return caught == 2 ? 0 : 1;
    });
    const std::regex block(std::string(kStart) + "(?:(?!Exception start)[^])*?" + kEnd);
    EXPECT_TRUE(r.Exited() && CountOf(r.report, kStart) == 2 &&
                std::distance(std::sregex_iterator(r.report.begin(), r.report.end(), block),
                              std::sregex_iterator()) == 2)
        << r;
}

TEST(CrashFault, UnopenableReportFileStillThrows) {
    const Outcome r = RunReporting([] {
        CExceptionLog::SetLogfileName("/nonexistent-dir/x.RPT");
        ExceptionHandlerC guard;
        return Caught(NullWrite) ? 0 : 1;
    });
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_EQ(r.log, "Writing Exception information to /nonexistent-dir/x.RPT\n");
}

TEST(CrashRaise, ReportObjectFromPointersAndTheUnwindingNote) {
    const Outcome r = RunReporting([] {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = 0xC0000094;
        record.ExceptionAddress = reinterpret_cast<PVOID>(0x10);  // in no module
        CONTEXT context = {};
        context.Rax = 0xFFFFFFFFFFFFFFFFull, context.Rip = 0x10, context.SegDs = 0x2B;
        EXCEPTION_POINTERS pointers = {&record, &context};
        { ExceptionHandlerC report(&pointers); }
        record.ExceptionFlags = EXCEPTION_UNWINDING;
        { ExceptionHandlerC note(&pointers); }
        return 0;
    });
    EXPECT_TRUE(r.Exited() && CountOf(r.report, kStart) == 1) << r;
    EXPECT_TRUE(std::regex_search(
        r.report,
        std::regex("Exception code: C0000094 INT_DIVIDE_BY_ZERO\n"
                   "Fault address:  00000010 00:00000000 \n\nRegisters:\n"
                   "EAX:FFFFFFFFFFFFFFFF\n[^]*\nDS:002B  ES:0000  FS:0000  GS:0000\n"
                   "Flags:00000000\n[^]*" +
                   std::string(kEnd) + "//============ Unwinding exception ================\n$")))
        << r;
}

}  // namespace
