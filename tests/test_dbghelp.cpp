// The crash reporter's debugging-help library, loaded the way the reporter
// loads it: line and symbol lookups, module bases, stack walks from a context.
#include <gtest/gtest.h>
#include <ucontext.h>

#include <string>
#include <vector>

#include "crash_test_support.h"

#define NOINLINE __attribute__((noinline))

namespace {

const auto SymInitialize = UTL_DBGHELP(SymInitialize);
const auto SymCleanup = UTL_DBGHELP(SymCleanup);
const auto StackWalk = UTL_DBGHELP(StackWalk);
const auto SymGetModuleBase = UTL_DBGHELP(SymGetModuleBase);
const auto SymGetSymFromAddr = UTL_DBGHELP(SymGetSymFromAddr);
const auto SymGetLineFromAddr = UTL_DBGHELP(SymGetLineFromAddr);
const auto SymGetOptions = UTL_DBGHELP(SymGetOptions);
const auto SymSetOptions = UTL_DBGHELP(SymSetOptions);

template <typename T>
DWORD64 Address(T* p) {
    return reinterpret_cast<DWORD64>(p);
}

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

// The symbols of the frames the library walks from the calling point, those of
// callers looked up inside their call instruction.
NOINLINE std::vector<std::string> WalkFromHere(CONTEXT* changed = nullptr) {
    ucontext_t uc;
    getcontext(&uc);
    const greg_t* g = uc.uc_mcontext.gregs;
    CONTEXT ctx{};
    ctx.Rip = g[REG_RIP], ctx.Rsp = g[REG_RSP], ctx.Rbp = g[REG_RBP], ctx.Rbx = g[REG_RBX];
    ctx.R12 = g[REG_R12], ctx.R13 = g[REG_R13], ctx.R14 = g[REG_R14], ctx.R15 = g[REG_R15];
    if (changed) ctx = *changed;  // a corrupt context
    STACKFRAME frame{};
    std::vector<std::string> names;
    while (names.size() < 1000 && StackWalk(IMAGE_FILE_MACHINE_AMD64, nullptr, nullptr, &frame,
                                            &ctx, nullptr, nullptr, nullptr, nullptr))
        names.push_back(SymbolName(frame.AddrPC.Offset - (names.empty() ? 0 : 1)));
    return names;
}

NOINLINE std::vector<std::string> ChainC() {
    return WalkFromHere();
}
// Without a frame pointer: only an unwinder reading the call frame
// information finds the caller.
__attribute__((noinline, optimize("omit-frame-pointer"))) std::vector<std::string> ChainB() {
    auto names = ChainC();
    asm volatile("" ::: "memory");
    return names;
}
NOINLINE std::vector<std::string> ChainA() {
    auto names = ChainB();
    asm volatile("" ::: "memory");
    return names;
}

NOINLINE DWORD64 ReturnAddress() {
    const DWORD64 ra = Address(__builtin_return_address(0));
    asm volatile("" ::: "memory");
    return ra;
}

DWORD64 LongFileNameProbe();  // at the end, under a very long file name

class DbgHelp : public ::testing::Test {
protected:
    void SetUp() override {
        if (!crashtest::DbgHelpUsable()) GTEST_SKIP() << "no libutldbghelp.so.1 or libdw.so.1";
        ASSERT_TRUE(SymInitialize(nullptr, nullptr, 1));
    }
    void TearDown() override { EXPECT_TRUE(!crashtest::DbgHelpUsable() || SymCleanup(nullptr)); }
};

TEST_F(DbgHelp, NineEntryPointsAndOptions) {
    for (const char* name :
         {"SymInitialize", "SymCleanup", "StackWalk", "SymFunctionTableAccess", "SymGetModuleBase",
          "SymGetSymFromAddr", "SymGetLineFromAddr", "SymGetOptions", "SymSetOptions"})
        EXPECT_NE(crashtest::DbgHelpEntry(name), nullptr) << name;
    const DWORD before = SymGetOptions();
    EXPECT_EQ(SymSetOptions(before | SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES), before | 0x14u);
    EXPECT_EQ(SymGetOptions(), before | 0x14u);
    SymSetOptions(before);
}

TEST_F(DbgHelp, LineOfACallInThisFileAndTheFileNameCut) {
    const int callLine = __LINE__ + 1;
    const DWORD64 pc = ReturnAddress() - 1;  // inside the call instruction
    char fileName[300];
    IMAGEHLP_LINE line{}, bare{};
    line.FileName = fileName;
    DWORD displacement = 12345;
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, pc, &displacement, &line));
    EXPECT_NE(std::string(fileName).find("test_dbghelp.cpp"), std::string::npos) << fileName;
    EXPECT_TRUE(line.LineNumber == DWORD(callLine) || line.LineNumber == DWORD(callLine + 1));
    EXPECT_EQ(displacement, pc - line.Address);
    // Without a caller buffer the name comes from the library's own.
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, pc, nullptr, &bare));
    EXPECT_STREQ(bare.FileName, fileName);
    EXPECT_FALSE(SymGetLineFromAddr(nullptr, pc, &displacement, nullptr));

    // A file name longer than the 260 bytes the reporter hands over is cut.
    const DWORD64 longPc = LongFileNameProbe() - 1;
    std::memset(fileName, 'X', sizeof fileName);
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, longPc, nullptr, &line));
    EXPECT_EQ(std::strlen(fileName), 259u);
    EXPECT_EQ(fileName[260], 'X');
    bare.FileName = nullptr;
    ASSERT_TRUE(SymGetLineFromAddr(nullptr, longPc, nullptr, &bare));
    EXPECT_GT(std::strlen(bare.FileName), 300u);
    EXPECT_EQ(std::string(bare.FileName).substr(0, 259), fileName);
}

TEST_F(DbgHelp, SymbolNamesAndTheirCuts) {
    const DWORD64 start = Address(&ReturnAddress);
    SymbolBuffer buffer;
    DWORD64 displacement = 0;
    ASSERT_TRUE(SymGetSymFromAddr(nullptr, start + 1, &displacement, buffer.record));
    EXPECT_NE(std::string(buffer.record->Name).find("ReturnAddress()"), std::string::npos);
    EXPECT_EQ(buffer.record->Address, start);
    EXPECT_EQ(displacement, 1u);
    // Undecorated names can be switched off.
    const DWORD options = SymGetOptions();
    SymSetOptions(options & ~0x2u);
    EXPECT_EQ(SymbolName(Address(&lwcslen)), "_Z7lwcslenPKDs");
    SymSetOptions(options);
    EXPECT_EQ(SymbolName(Address(&lwcslen)), "lwcslen(char16_t const*)");
    // The name is cut by MaxNameLength and by the record's size.
    std::memset(buffer.record->Name, 'X', 64);
    buffer.record->MaxNameLength = 5;
    ASSERT_TRUE(SymGetSymFromAddr(nullptr, start, nullptr, buffer.record));
    EXPECT_TRUE(std::strlen(buffer.record->Name) == 4 && buffer.record->Name[5] == 'X');
    buffer.record->MaxNameLength = 512;
    buffer.record->SizeOfStruct = offsetof(IMAGEHLP_SYMBOL, Name) + 3;
    ASSERT_TRUE(SymGetSymFromAddr(nullptr, start, nullptr, buffer.record));
    EXPECT_EQ(std::strlen(buffer.record->Name), 2u);
    buffer.record->SizeOfStruct = 8;
    EXPECT_FALSE(SymGetSymFromAddr(nullptr, start, nullptr, buffer.record));
}

TEST_F(DbgHelp, ModuleBasesAndAddressesOutsideEveryModule) {
    Dl_info utl{};
    ASSERT_TRUE(dladdr(reinterpret_cast<const void*>(&lwcslen), &utl));
    EXPECT_EQ(SymGetModuleBase(nullptr, Address(&lwcslen)), Address(utl.dli_fbase));
    EXPECT_NE(UTL_DBGHELP(SymFunctionTableAccess)(nullptr, Address(&lwcslen)), nullptr);
    std::vector<char> heap(64);
    for (const DWORD64 outside : {DWORD64{0}, Address(heap.data()), ~DWORD64{0}}) {
        IMAGEHLP_LINE line{};
        EXPECT_EQ(SymGetModuleBase(nullptr, outside), 0u) << std::hex << outside;
        EXPECT_EQ(UTL_DBGHELP(SymFunctionTableAccess)(nullptr, outside), nullptr);
        EXPECT_EQ(SymbolName(outside), "");
        EXPECT_FALSE(SymGetLineFromAddr(nullptr, outside, nullptr, &line));
    }
}

TEST_F(DbgHelp, StackWalkFollowsTheCallChain) {
    const std::vector<std::string> names = ChainA();
    ASSERT_GE(names.size(), 5u);
    const char* expected[] = {"WalkFromHere", "ChainC", "ChainB", "ChainA", "StackWalkFollows"};
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(names[i].find(expected[i]), std::string::npos) << i << " " << names[i];
}

TEST_F(DbgHelp, CorruptContextsEndTheWalkWithoutFaulting) {
    std::vector<DWORD64> loop(64, 0);  // words pointing back into themselves
    for (auto& word : loop) word = Address(loop.data());
    CONTEXT bad[4] = {};
    bad[0].Rip = Address(&lwcslen), bad[0].Rsp = 0x10, bad[0].Rbp = 0xdead0000;
    bad[1].Rip = 0x1234, bad[1].Rsp = ~DWORD64{0} - 4;
    bad[2].Rip = Address(&lwcslen), bad[2].Rsp = bad[2].Rbp = Address(loop.data());
    bad[3].Rip = Address(loop.data()), bad[3].Rsp = Address(loop.data());  // not code
    for (CONTEXT& context : bad) EXPECT_LE(WalkFromHere(&context).size(), 256u);
}

TEST_F(DbgHelp, CleanupEndsTheSessionAndInitializeStartsAnother) {
    const DWORD64 address = Address(&lwcslen);
    ASSERT_TRUE(SymCleanup(nullptr));
    EXPECT_EQ(SymGetModuleBase(nullptr, address), 0u);
    EXPECT_EQ(SymbolName(address), "");
    EXPECT_FALSE(SymCleanup(nullptr));  // nothing left to clean up
    // A search path (either separator) is accepted.
    ASSERT_TRUE(SymInitialize(nullptr, "/nonexistent;/tmp:/usr/lib/debug", 1));
    EXPECT_NE(SymbolName(address), "");
}

}  // namespace

// A function recorded under a file name longer than any 260-byte buffer.
#line 1 "dbghelp/a-directory-whose-only-purpose-is-length/a-very-long-directory-name-used-only-to-make-the-file-name-of-this-function-longer-than-the-two-hundred-and-sixty-bytes-that-the-crash-reporter-hands-over/and-another-directory-level-to-be-sure-of-the-length-of-the-whole-path/and-one-more-level-for-good-measure/long_file_name_probe.cpp"
namespace {
NOINLINE DWORD64 LongFileNameProbe() {
    const DWORD64 ra = ReturnAddress();
    asm volatile("" ::: "memory");
    return ra;
}
}  // namespace
