// The debugging-help library, loaded as the reporter loads it: line and symbol
// lookups, module bases, stack walks from a context.
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <ucontext.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "crash_test_support.h"

#define NOINLINE __attribute__((noinline))

namespace {

using UTL::arch::Address64;

const auto SymInitialize = UTL_DBGHELP(SymInitialize);
const auto SymCleanup = UTL_DBGHELP(SymCleanup);
const auto SymGetModuleBase = UTL_DBGHELP(SymGetModuleBase);
const auto SymGetSymFromAddr = UTL_DBGHELP(SymGetSymFromAddr);
const auto SymGetLineFromAddr = UTL_DBGHELP(SymGetLineFromAddr);

// The symbol record as the reporter lays it out: 536 bytes, names up to 512.
struct SymbolBuffer {
    alignas(IMAGEHLP_SYMBOL) unsigned char bytes[536] = {};
    IMAGEHLP_SYMBOL* record = reinterpret_cast<IMAGEHLP_SYMBOL*>(bytes);
    SymbolBuffer() { record->SizeOfStruct = sizeof bytes, record->MaxNameLength = 512; }
};

std::string SymbolName(DWORD64 address) {
    SymbolBuffer buffer;
    return SymGetSymFromAddr(nullptr, address, nullptr, buffer.record) ? buffer.record->Name : "";
}

// The symbols of the frames the library walks from the calling point (or from
// `corrupt`), those of callers looked up inside their call instruction.
NOINLINE std::vector<std::string> WalkFromHere(const CONTEXT* corrupt = nullptr) {
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT ctx = crashtest::ControlOf(uc);
    if (corrupt) ctx = *corrupt;
    STACKFRAME frame{};
    std::vector<std::string> names;
    while (names.size() < 1000 &&
           UTL_DBGHELP(StackWalk)(crashtest::kMachine, nullptr, nullptr, &frame, &ctx, nullptr,
                                  nullptr, nullptr, nullptr))
        names.push_back(SymbolName(frame.AddrPC.Offset - (names.empty() ? 0 : 1)));
    return names;
}

// A call chain; B has no frame pointer, so only an unwinder reading the call
// frame information finds its caller.
using Names = std::vector<std::string>;
template <class T>
inline T NoTailCall(T value) {  // keeps the call before it out of tail position
    asm volatile("" ::: "memory");
    return value;
}
#if defined(__clang__)  // builds the tests without frame pointers anyway
#define NO_FRAME_POINTER __attribute__((noinline))
#else
#define NO_FRAME_POINTER __attribute__((noinline, optimize("omit-frame-pointer")))
#endif
struct Chain {
    NOINLINE static Names C() { return WalkFromHere(); }
    NO_FRAME_POINTER static Names B() { return NoTailCall(C()); }
    NOINLINE static Names A() { return NoTailCall(B()); }
    NOINLINE static DWORD64 ReturnAddress() {
        return Address64(__builtin_return_address(0)) & ~crashtest::kCodeModeBit;
    }
    NOINLINE static Names Deep(int depth) {
        return depth == 0 ? WalkFromHere() : NoTailCall(Deep(depth - 1));
    }
};

DWORD64 LongFileNameProbe();  // at the end, under a very long file name

struct DbgHelp : ::testing::Test {
    void SetUp() override {
        if (!crashtest::DbgHelpUsable()) GTEST_SKIP() << "no libutldbghelp.so.1 or libdw.so.1";
        ASSERT_TRUE(SymInitialize(nullptr, nullptr, 1));
    }
    void TearDown() override {
        if (crashtest::DbgHelpUsable()) {
            EXPECT_TRUE(SymCleanup(nullptr));
        }
    }
};

TEST_F(DbgHelp, LineOfACallInThisFileAndTheFileNameCut) {
    const unsigned callLine = __LINE__ + 1;
    const DWORD64 pc = Chain::ReturnAddress() - 1;  // inside the call instruction
    char fileName[300];
    IMAGEHLP_LINE line{}, bare{};
    line.FileName = fileName;
    DWORD displacement = 12345;
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, pc, &displacement, &line));
    EXPECT_NE(std::strstr(fileName, "test_dbghelp.cpp"), nullptr) << fileName;
    EXPECT_GE(line.LineNumber, callLine);
    EXPECT_LE(line.LineNumber, callLine + 1);
    EXPECT_EQ(displacement, pc - line.Address);
    // Without a caller buffer the name comes from the library's own.
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, pc, nullptr, &bare));
    EXPECT_STREQ(bare.FileName, fileName);
    EXPECT_FALSE(SymGetLineFromAddr(nullptr, pc, &displacement, nullptr));
    // A file name longer than the 260 bytes the reporter hands over is cut.
    const DWORD64 longPc = LongFileNameProbe() - 1;
    std::memset(fileName, 'X', sizeof fileName);
    bare.FileName = nullptr;
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, longPc, nullptr, &line));
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, longPc, nullptr, &bare));
    EXPECT_EQ(std::strlen(fileName), 259u);
    EXPECT_EQ(fileName[260], 'X');
    EXPECT_GT(std::strlen(bare.FileName), 300u);
    EXPECT_EQ(std::string(bare.FileName).substr(0, 259), fileName);
}

TEST_F(DbgHelp, SymbolNamesAndTheirCuts) {
    const DWORD64 start = Address64(&Chain::ReturnAddress);
    // Above 0x80000000 on every target (32-bit ones link this program there),
    // where a sign-extended address would be in no module.
    ASSERT_GT(start, DWORD64{0x80000000u});
    SymbolBuffer buffer;
    DWORD64 displacement = 0;
    ASSERT_TRUE(SymGetSymFromAddr(nullptr, start + 1, &displacement, buffer.record));
    EXPECT_NE(std::strstr(buffer.record->Name, "Chain::ReturnAddress()"), nullptr)
        << buffer.record->Name;
    EXPECT_EQ(buffer.record->Address, start);
    EXPECT_EQ(displacement, 1u);
    EXPECT_EQ(SymbolName(Address64(&lwcslen)), "lwcslen(char16_t const*)");
    // The name is cut by MaxNameLength and by the record's size.
    std::memset(buffer.record->Name, 'X', 64);
    buffer.record->MaxNameLength = 5;
    ASSERT_TRUE(SymGetSymFromAddr(nullptr, start, nullptr, buffer.record));
    EXPECT_EQ(std::strlen(buffer.record->Name), 4u);
    EXPECT_EQ(buffer.record->Name[5], 'X');
    buffer.record->MaxNameLength = 512;
    buffer.record->SizeOfStruct = offsetof(IMAGEHLP_SYMBOL, Name) + 3;
    ASSERT_TRUE(SymGetSymFromAddr(nullptr, start, nullptr, buffer.record));
    EXPECT_EQ(std::strlen(buffer.record->Name), 2u);
}

TEST_F(DbgHelp, StackWalkFollowsTheCallChain) {
    const Names names = Chain::A();
    ASSERT_GE(names.size(), 5u);
    const char* expected[] = {"WalkFromHere", "Chain::C", "Chain::B", "Chain::A", "CallChain"};
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(names[i].find(expected[i]), std::string::npos) << i << " " << names[i];
}

TEST_F(DbgHelp, StackWalkHandsOutAtMost256Frames) {
    const Names names = Chain::Deep(300);
    EXPECT_EQ(names.size(), 256u);
    ASSERT_FALSE(names.empty());
    EXPECT_NE(names.back().find("Chain::Deep"), std::string::npos) << names.back();
}

TEST_F(DbgHelp, CorruptContextsEndTheWalkWithoutFaulting) {
    std::vector<DWORD64> loop(64, 0);  // words pointing back into themselves
    for (auto& word : loop) word = Address64(loop.data());
    CONTEXT bad[4] = {};
    crashtest::SetControl(bad[0], Address64(&lwcslen), 0x10, 0xdead0000);
    crashtest::SetControl(bad[1], 0x1234, ~std::uintptr_t{0} - 4, 0);
    crashtest::SetControl(bad[2], Address64(&lwcslen), Address64(loop.data()),
                          Address64(loop.data()));
    crashtest::SetControl(bad[3], Address64(loop.data()), Address64(loop.data()), 0);  // not code
    for (const CONTEXT& context : bad) EXPECT_LE(WalkFromHere(&context).size(), 256u);
}

TEST_F(DbgHelp, OutsideEveryModuleNothingAndCleanupThenInitialize) {
    const DWORD64 address = Address64(&lwcslen);
    for (const DWORD64 outside : {DWORD64{0}, Address64(&address), ~DWORD64{0}}) {  // in no module
        IMAGEHLP_LINE line{};
        EXPECT_EQ(SymGetModuleBase(nullptr, outside), 0u) << outside;
        EXPECT_EQ(SymbolName(outside), "") << outside;
        EXPECT_FALSE(SymGetLineFromAddr(nullptr, outside, nullptr, &line)) << outside;
    }
    ASSERT_TRUE(SymCleanup(nullptr));  // the session ends
    EXPECT_EQ(SymGetModuleBase(nullptr, address), 0u);
    EXPECT_EQ(SymbolName(address), "");
    EXPECT_FALSE(SymCleanup(nullptr));  // nothing left to clean up
    // A search path (either separator) is accepted.
    ASSERT_TRUE(SymInitialize(nullptr, "/nonexistent;/tmp:/usr/lib/debug", 1));
    EXPECT_NE(SymbolName(address), "");
}

// A child of fork() looks a symbol up at once, although a thread of its
// parent held the library's lock at the fork: stopped by a fault inside a
// lookup (whose file name goes to a page it cannot write), for good. The
// limit is far below the seconds that waiting for that lock would take; an
// emulator's lookup is some ten times slower.
#ifndef UTL_TEST_EMULATED
#define UTL_TEST_EMULATED 0
#endif
constexpr std::chrono::milliseconds kForkLookupLimit{UTL_TEST_EMULATED ? 1000 : 100};

TEST_F(DbgHelp, AForkChildLooksUpWhileAParentThreadHoldsTheLock) {
    const int status = crashtest::RunInChild([] {
        static sem_t stopped;
        sem_init(&stopped, 0, 0);
        struct sigaction stop = {};
        stop.sa_handler = [](int) {
            sem_post(&stopped);
            for (;;) pause();
        };
        sigaction(SIGSEGV, &stop, nullptr);
        void* const readOnly =
            mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        std::thread([readOnly] {
            IMAGEHLP_LINE line{};
            line.FileName = static_cast<char*>(readOnly);
            SymGetLineFromAddr(nullptr, Chain::ReturnAddress() - 1, nullptr, &line);
        }).detach();
        sem_wait(&stopped);
        const pid_t child = fork();
        if (child == 0) {
            const auto start = std::chrono::steady_clock::now();
            const bool found = SymInitialize(nullptr, nullptr, 1) &&
                               SymbolName(Address64(&Chain::ReturnAddress)) != "";
            const auto took = std::chrono::steady_clock::now() - start;
            _exit(!found ? 1 : took > kForkLookupLimit ? 2 : 0);
        }
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        return WIFEXITED(childStatus) ? WEXITSTATUS(childStatus) : 3;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not found, 2: too late, 3: the child died";
}

}  // namespace

// A function recorded under a file name longer than any 260-byte buffer.
#line 1 "dbghelp/a-directory-whose-only-purpose-is-length/a-very-long-directory-name-used-only-to-make-the-file-name-of-this-function-longer-than-the-two-hundred-and-sixty-bytes-that-the-crash-reporter-hands-over/and-another-directory-level-to-be-sure-of-the-length-of-the-whole-path/and-one-more-level-for-good-measure/long_file_name_probe.cpp"
namespace {
NOINLINE DWORD64 LongFileNameProbe() {
    return NoTailCall(Chain::ReturnAddress());
}
}  // namespace
