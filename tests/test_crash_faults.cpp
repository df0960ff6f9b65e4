// Hardware faults on guarded threads become reports and caught exceptions;
// faults nobody translates end the process by their signal. Each case runs in
// a child process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "crash_chain.h"
#include "crash_kinds.h"
#include "crash_test_support.h"

using namespace crashtest;
using crashkinds::Kind;

namespace {

const char kStart[] = "//=============== Exception start ===================\n";
const char kEnd[] = "//=============== Exception end ===================\n\n";

// The exception blocks of a report, each from its start line to its end line.
std::vector<std::string> Blocks(const std::string& report) {
    std::vector<std::string> blocks;
    for (auto start = report.find(kStart); start != std::string::npos;
         start = report.find(kStart, start + 1)) {
        const auto end = report.find(kEnd, start);
        blocks.push_back(report.substr(
            start, end == std::string::npos ? std::string::npos : end + sizeof kEnd - 1 - start));
    }
    return blocks;
}

enum class Build { kPlain, kFramed };
using KindCase = std::tuple<int, bool, Build>;  // kind, on a worker thread, build

const Kind& KindOf(const KindCase& c) {
    const int index = std::get<0>(c);
    return std::get<2>(c) == Build::kPlain ? crashkinds::kPlainKinds[index]
                                           : crashkinds::kFramedKinds[index];
}

std::vector<int> KindIndexes() {
    std::vector<int> indexes;
    for (int i = 0; crashkinds::kPlainKinds[i].name; ++i) indexes.push_back(i);
    return indexes;
}

class FaultKinds : public ::testing::TestWithParam<KindCase> {};

constexpr int kNotRaised = 77;

// The kind (the first fault of the process), a fault elsewhere, the kind
// again, elsewhere again: each is reported and caught. Then, without a guard,
// the kind ends the process by its signal.
TEST_P(FaultKinds, AreReportedAndCaughtAgainAndAgain) {
    const Kind& kind = KindOf(GetParam());
    if (kind.skip) GTEST_SKIP() << kind.skip;
    const Outcome r = RunReporting([&] {
        crashkinds::PrepareBusFault(
            (CExceptionLog::GetLogfileName() + std::string(".bus")).c_str());
        int result = 0;
        auto faults = [&] {
            ExceptionHandlerC guard;
            if (!Caught(kind.fault)) return void(result = kNotRaised);
            for (int i = 0; i < 3 && result == 0; ++i)
                if (!Caught(i % 2 ? kind.fault : IllegalInstruction)) result = 1 + i;
        };
        std::get<1>(GetParam()) ? std::thread(faults).join() : faults();
        if (result == 0) kind.fault();
        return result;
    });
    if (r.Exited(kNotRaised)) GTEST_SKIP() << "this processor (or its emulator) did not fault";
    ASSERT_TRUE(r.DiedOf(kind.signal)) << r;
    const std::vector<std::string> blocks = Blocks(r.report);
    ASSERT_EQ(blocks.size(), 4u) << r;
    for (int i : {0, 2}) {
        const std::string& block = blocks[i];
        EXPECT_TRUE(std::regex_match(block, std::regex(BlockPattern(kind.code)))) << block;
        const std::uintptr_t address = FaultAddressOf(block);
        EXPECT_EQ(InstructionPointerOf(block), address) << block;
        EXPECT_EQ(FirstFrameOf(block), address) << block;
        if (kind.faultAddressProblem) {
            EXPECT_EQ(kind.faultAddressProblem(address), "") << block;
        }
    }
    const std::string written = "Writing Exception information to " + r.path + "\n";
    EXPECT_EQ(CountOf(r.log, written + "DbgHelp.dll or its exported procs not found"), 4) << r;
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultKinds,
                         ::testing::Combine(::testing::ValuesIn(KindIndexes()), ::testing::Bool(),
                                            ::testing::Values(Build::kPlain, Build::kFramed)),
                         [](const auto& row) {
                             return std::string(
                                        crashkinds::kPlainKinds[std::get<0>(row.param)].name) +
                                    (std::get<1>(row.param) ? "OnWorker" : "OnMain") +
                                    (std::get<2>(row.param) == Build::kPlain ? "Plain"
                                                                             : "WithFramePointers");
                         });

// Known values in the general registers, then a null write.
__attribute__((noinline)) void NullWriteWithRegisters() {
#if defined(__x86_64__)
    asm volatile(
        "movabs $0x1111111111111111, %%rax\n movabs $0x2222222222222222, %%rbx\n"
        "movabs $0x3333333333333333, %%rcx\n movabs $0x4444444444444444, %%rdx\n"
        "movabs $0x5555555555555555, %%rsi\n mov $0xABCDEF, %%edi\n"
        "movabs $0x8888888888888888, %%r8\n movabs $0x9999999999999999, %%r9\n"
        "mov $0x10, %%r10d\n mov $0x11, %%r11d\n mov $0x12, %%r12d\n mov $0x13, %%r13d\n"
        "mov $0x14, %%r14d\n mov $0x15, %%r15d\n"
        "movl $1, (%%r10)" ::
            : "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11", "r12", "r13",
              "r14", "r15", "memory");
#elif defined(__i386__)
    asm volatile(
        "mov $0x11111111, %%eax\n mov $0x22222222, %%ebx\n mov $0x33333333, %%ecx\n"
        "mov $0x10, %%edx\n mov $0x55555555, %%esi\n mov $0xABCDEF, %%edi\n movl $1, (%%edx)" ::
            : "eax", "ebx", "ecx", "edx", "esi", "edi", "memory");
#elif defined(__aarch64__)
    asm volatile(
        "mov x0, #0x1111\n mov x1, #0x2222\n mov x2, #0x3333\n mov x19, #0x1919\n"
        "mov x28, #0x2828\n mov x3, #0x10\n str w0, [x3]" ::
            : "x0", "x1", "x2", "x3", "x19", "x28", "memory");
#elif defined(__arm__)
    asm volatile(
        "movw r0, #0x1111\n movw r1, #0x2222\n movw r2, #0x3333\n movw r8, #0x0808\n"
        "movw r12, #0x1212\n movw r3, #0x10\n str r0, [r3]" ::
            : "r0", "r1", "r2", "r3", "r8", "r12", "memory");
#endif
}

TEST(CrashFault, TheReportShowsTheRegistersOfTheFault) {
    const Outcome r = RunReporting([] {
        ExceptionHandlerC guard;
        if (guard.GetExceptionCode() != 0) return 2;
        if (guard.GetExceptionAddress() != nullptr) return 3;
        void (*volatile fault)() = NullWriteWithRegisters;
        try {
            fault();
        } catch (CExceptionParse& caught) {  // the base catches it too
            // The caught object tells the code and address that the report shows.
            const auto& handler = dynamic_cast<const ExceptionHandlerC&>(caught);
            if (handler.GetExceptionCode() != 0xC0000005) return 4;
            const std::string report = ReadFile(CExceptionLog::GetLogfileName());
            if (reinterpret_cast<std::uintptr_t>(handler.GetExceptionAddress()) !=
                FaultAddressOf(report))
                return 5;
            return 0;
        }
        return 1;
    });
    ASSERT_TRUE(r.Exited()) << r;
#if defined(__x86_64__)
    const char* expected =
        "\nRegisters:\nRAX:1111111111111111\nRBX:2222222222222222\nRCX:3333333333333333\n"
        "RDX:4444444444444444\nRSI:5555555555555555\nRDI:0000000000ABCDEF\n"
        "R8:8888888888888888\nR9:9999999999999999\nR10:0000000000000010\n"
        "R11:0000000000000011\nR12:0000000000000012\nR13:0000000000000013\n"
        "R14:0000000000000014\nR15:0000000000000015\nCS:RIP:0033:";
#elif defined(__i386__)
    const char* expected =
        "\nRegisters:\nEAX:11111111\nEBX:22222222\nECX:33333333\nEDX:00000010\n"
        "ESI:55555555\nEDI:00ABCDEF\nCS:EIP:";
#elif defined(__aarch64__)
    const char* expected =
        "\nRegisters:\nX0:0000000000001111\nX1:0000000000002222\nX2:0000000000003333\n"
        "X3:0000000000000010\n";
#elif defined(__arm__)
    const char* expected = "\nRegisters:\nR0:00001111\nR1:00002222\nR2:00003333\nR3:00000010\n";
#endif
    EXPECT_NE(r.report.find(expected), std::string::npos) << r;
#if defined(__aarch64__)
    EXPECT_NE(r.report.find("\nX19:0000000000001919\n"), std::string::npos) << r;
    EXPECT_NE(r.report.find("\nX28:0000000000002828\nFP:"), std::string::npos) << r;
#elif defined(__arm__)
    EXPECT_NE(r.report.find("\nR8:00000808\n"), std::string::npos) << r;
    EXPECT_NE(r.report.find("\nR12:00001212\nSP:"), std::string::npos) << r;
    EXPECT_EQ(r.report.find("\nCS:"), std::string::npos) << r;  // no segment registers
#endif
    EXPECT_NE(r.report.find("\nException code: C0000005 ACCESS_VIOLATION\n"), std::string::npos);
}

// A leaf calls nothing, so it leaves its return address where the call put it
// (the link register, or on x86 the stack): it records that address, or faults.
int* volatile g_leafTarget = nullptr;
std::uintptr_t g_leafReturn = 0;
__attribute__((noinline, no_sanitize("undefined"))) void Leaf(bool fault) {
    if (fault) {
        *g_leafTarget = 1;
    } else {
        g_leafReturn = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    }
}
void (*volatile g_leaf)(bool) = Leaf;
__attribute__((noinline)) void CallsLeaf(bool fault) {
    g_leaf(fault);
    asm volatile("" ::: "memory");  // not a tail call
}

// The debugging-help library's walk: the fault's frame, then the leaf's caller
// at the call, and on to the C library's code that called main.
TEST(CrashFault, ALeafFaultWithSymbolsListsItsCallerAndOnToMain) {
    if (!DbgHelpUsable()) GTEST_SKIP() << "no libutldbghelp.so.1 or libdw.so.1";
    CallsLeaf(false);
    const std::uintptr_t callerAtCall = g_leafReturn & ~kCodeModeBit;
    const Outcome r = RunReporting([] {
        CExceptionParse::EnableSymbolSearch(1);
        ExceptionHandlerC guard;
        return Caught([] { CallsLeaf(true); }) ? 0 : 1;
    });
    ASSERT_TRUE(r.Exited()) << r;
    EXPECT_EQ(NumberAfter(r.report, "\n 2: "), callerAtCall) << r;
    EXPECT_NE(r.report.find("/libc.so.6 (Version: "), std::string::npos) << r;
}

// The functions of the frame-pointer walk's frames, by the dynamic symbol
// table; a caller's frame is named by the call instruction, just below its
// return address.
std::vector<std::string> FrameFunctions(const std::string& report) {
    std::vector<std::string> names;
    const std::regex frame("\n ?([0-9]+): ([0-9A-F]{8,})  ");
    for (std::sregex_iterator it(report.begin(), report.end(), frame), end; it != end; ++it) {
        const std::uintptr_t address = std::stoull((*it)[2], nullptr, 16);
        Dl_info info{};
        const bool first = (*it)[1] == "1";
        dladdr(reinterpret_cast<void*>(address - (first ? 0 : 1)), &info);
        names.push_back(info.dli_sname ? info.dli_sname : "?");
    }
    return names;
}

#if defined(__x86_64__)
// A function that faults after pushing a register and before storing a frame
// record (its call frame address is then 16 bytes above the stack pointer,
// not 8), called from one that keeps a frame record.
extern "C" void PushedThenFaults();
extern "C" void CallsPushedThenFaults();
asm(R"(
    .text
    .globl PushedThenFaults
    .type PushedThenFaults, @function
PushedThenFaults:
    .cfi_startproc
    push %rbx
    .cfi_def_cfa_offset 16
    .cfi_offset %rbx, -16
    xor %ebx, %ebx
    movl $1, (%rbx)
    pop %rbx
    .cfi_def_cfa_offset 8
    ret
    .cfi_endproc
    .size PushedThenFaults, .-PushedThenFaults

    .globl CallsPushedThenFaults
    .type CallsPushedThenFaults, @function
CallsPushedThenFaults:
    .cfi_startproc
    push %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    mov %rsp, %rbp
    .cfi_def_cfa_register %rbp
    call PushedThenFaults
    pop %rbp
    .cfi_def_cfa %rsp, 8
    ret
    .cfi_endproc
    .size CallsPushedThenFaults, .-CallsPushedThenFaults
)");

#endif

// A fault in a function that has not stored its frame record: its caller's
// return address is found by the call frame information (the link register,
// the stack pointer, or above a pushed register), and the walk goes on from
// that caller's record.
struct CallerChain {
    const char* name;
    void (*fault)();
    std::vector<std::string> frames;  // the first frames' functions
};

const CallerChain kCallerChains[] = {
    {"LeafFault", ChainRun, {"ChainMean", "ChainReduce", "ChainOuter", "ChainRun"}},
#if defined(__x86_64__)
    {"FaultAfterAPush", CallsPushedThenFaults, {"PushedThenFaults", "CallsPushedThenFaults"}},
#endif
};

void PrintTo(const CallerChain& chain, std::ostream* out) {
    *out << chain.name;
}

class CallerChains : public ::testing::TestWithParam<CallerChain> {};

TEST_P(CallerChains, ListTheCallersOneByOne) {
    const CallerChain& chain = GetParam();
    const Outcome r = RunReporting([&] {
        ExceptionHandlerC guard;
        return Caught(chain.fault) ? 0 : 1;
    });
    ASSERT_TRUE(r.Exited()) << r;
    const std::vector<std::string> names = FrameFunctions(r.report);
    ASSERT_GE(names.size(), chain.frames.size()) << r;
    for (std::size_t i = 0; i < chain.frames.size(); ++i)
        EXPECT_EQ(names[i], chain.frames[i]) << "frame " << i + 1 << "\n" << r;
}

INSTANTIATE_TEST_SUITE_P(Faults, CallerChains, ::testing::ValuesIn(kCallerChains),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CrashFault, SameAddressTwiceIsNotTranslated) {
    const Outcome r = RunReporting([] {
        ExceptionHandlerC guard;
        if (!Caught(NullWrite)) return 1;
        if (!Caught(NullWrite2)) return 2;
        if (!Caught(NullWrite)) return 3;  // back after another: translated again
        NullWrite();                       // same as the last one
        return 4;
    });
    EXPECT_TRUE(r.DiedOf(SIGSEGV)) << r;
    EXPECT_EQ(CountOf(r.report, kStart), 3);
    // The untranslated fault still logged its message.
    EXPECT_EQ(CountOf(r.log, "Writing Exception information to "), 4);
}

// The exception of a fault inside strlen cannot leave a function that must not
// throw: the process ends by the signal, not by abort, with the report on disk.
std::size_t (*volatile g_length)(const char*) = std::strlen;
const char* volatile g_noText = nullptr;
__attribute__((noinline)) std::size_t LengthOrTerminate() noexcept {
    return g_length(g_noText);
}

TEST(CrashFault, AFaultThatCannotBecomeAnExceptionStillLeavesItsReport) {
    const Outcome r = RunReporting([] {
        ExceptionHandlerC guard;
        try {
            return static_cast<int>(LengthOrTerminate());
        } catch (...) {
            return 1;
        }
    });
    EXPECT_TRUE(r.DiedOf(SIGSEGV)) << r;
    const std::vector<std::string> blocks = Blocks(r.report);
    ASSERT_EQ(blocks.size(), 1u) << r;
    EXPECT_TRUE(std::regex_match(blocks[0], std::regex(BlockPattern("C0000005 ACCESS_VIOLATION"))))
        << r;
}

TEST(CrashFault, GuardsRestoreThePreviousTranslator) {
    const Outcome r = RunReporting([] {
        const auto custom = [](unsigned int code, EXCEPTION_POINTERS*) { throw int(code); };
        _set_se_translator(custom);
        {
            ExceptionHandlerC outer;
            { ExceptionHandlerC inner, copy(inner); }  // a copy restores nothing
            // Destroying the caught objects leaves the translator in place.
            if (!Caught(NullWrite)) return 1;
            if (!Caught(NullWrite2)) return 2;
        }
        void (*volatile fault)() = IllegalInstruction;
        try {
            fault();
        } catch (int code) {  // the custom translator is back
            if (code != int(0xC000001D)) return 3;
            return _set_se_translator(nullptr) == +custom ? 0 : 4;
        }
        return 5;
    });
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_EQ(CountOf(r.report, kStart), 2) << r;
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
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_NE(r.log.find("after\n"), std::string::npos) << r;
    EXPECT_EQ(CountOf(r.report, "ACCESS_VIOLATION\n"), 1) << r;
    EXPECT_EQ(CountOf(r.report, kEnd), 1) << r;
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
        std::thread a(body, NullWrite), b(body, IllegalInstruction);
        a.join();
        b.join();
        return caught == 2 ? 0 : 1;
    });
    EXPECT_TRUE(r.Exited()) << r;
    const std::vector<std::string> blocks = Blocks(r.report);
    ASSERT_EQ(blocks.size(), 2u) << r;
    for (const std::string& block : blocks)
        EXPECT_TRUE(std::regex_match(block, std::regex(BlockPattern()))) << block;
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

// A raise is reported at its caller: the fault address, the instruction
// pointer and the first frame are the return address into the caller.
__attribute__((noinline)) std::uintptr_t RaiseHere() {
    DoRaise(nullptr, nullptr);
    return 0;
}

TEST(CrashRaise, IsReportedAtTheCaller) {
    const Outcome r = RunReporting([] {
        ExceptionHandlerC guard;
        return Caught(RaiseHere) ? 0 : 1;
    });
    ASSERT_TRUE(r.Exited()) << r;
    const std::uintptr_t address = FaultAddressOf(r.report);
    EXPECT_EQ(InstructionPointerOf(r.report), address) << r;
    EXPECT_EQ(FirstFrameOf(r.report), address) << r;
    const std::uintptr_t function = reinterpret_cast<std::uintptr_t>(&RaiseHere);
    EXPECT_GT(address, function) << r;
    EXPECT_LT(address, function + 64) << r;
    EXPECT_NE(r.report.find("Exception code: E06D7363 Unknown exception 0xE06D7363\n"),
              std::string::npos)
        << r;
}

TEST(CrashRaise, ReportObjectFromPointersAndTheUnwindingNote) {
    const Outcome r = RunReporting([] {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = 0xC0000094;
        record.ExceptionAddress = reinterpret_cast<PVOID>(0x10);  // in no module
        CONTEXT context = {};
        SetControl(context, 0x10, 0, 0);
        EXCEPTION_POINTERS pointers = {&record, &context};
        { ExceptionHandlerC report(&pointers); }
        record.ExceptionFlags = EXCEPTION_UNWINDING;
        { ExceptionHandlerC note(&pointers); }
        return 0;
    });
    EXPECT_TRUE(r.Exited()) << r;
    EXPECT_EQ(CountOf(r.report, kStart), 1) << r;
    EXPECT_NE(r.report.find("Exception code: C0000094 INT_DIVIDE_BY_ZERO\n"
                            "Fault address:  00000010 00:00000000 \n\nRegisters:\n"),
              std::string::npos)
        << r;
    EXPECT_NE(
        r.report.find(std::string(kEnd) + "//============ Unwinding exception ================\n"),
        std::string::npos)
        << r;
}

}  // namespace
