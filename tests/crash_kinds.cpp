// The fault kinds of crash_kinds.h. Built twice: UTL_KINDS_TABLE names the
// table of this build, and UTL_KINDS_SHARED marks the build that also defines
// what both share.
//
// Each fault is a deliberate invalid operation: the functions that perform one
// in C++ are left out of the undefined-behaviour sanitizer's checks, which
// would otherwise report it before the processor faults.
#include "crash_kinds.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#define FAULT __attribute__((noinline, no_sanitize("undefined")))

namespace crashkinds {

extern const volatile char* g_beyondFile;

#if defined(UTL_KINDS_SHARED)
const volatile char* g_beyondFile = nullptr;

void PrepareBusFault(const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    g_beyondFile = page == MAP_FAILED ? nullptr : static_cast<const volatile char*>(page);
    close(fd);
}
#endif

namespace {

int* volatile g_null = nullptr;
int* volatile g_wild = reinterpret_cast<int*>(0x1234);
volatile int g_zero = 0, g_minusOne = -1, g_intMin = INT_MIN;
volatile int g_sink;

FAULT void NullRead() {
    g_sink = *g_null;
}
FAULT void NullWrite() {
    *g_null = 1;
}
FAULT void WildRead() {
    g_sink = *g_wild;
}
FAULT void WildWrite() {
    *g_wild = 1;
}
FAULT void IntDivideByZero() {
    g_sink = g_intMin / g_zero;
}
FAULT void IntOverflow() {
    g_sink = g_intMin / g_minusOne;
}
FAULT void BusRead() {
    g_sink = *g_beyondFile;
}

// Recursion through a pointer the compiler cannot follow.
FAULT void IndirectRecursion();
void (*volatile g_recurse)() = IndirectRecursion;
void IndirectRecursion() {
    volatile char block[512];
    block[0] = 1;
    g_recurse();
    block[1] = block[0];
}

// Direct recursion of a function the compiler proves cannot throw.
FAULT int Recurse(int depth) {
    volatile char block[512];
    block[0] = static_cast<char>(depth);
    return depth == -1 ? block[0] : Recurse(depth + 1) + block[0];
}
FAULT void DirectRecursion() {
    g_sink = Recurse(0);
}

// Calls to where there is no code: the exception surfaces at the call.
void (*volatile g_nullFunction)() = nullptr;
void (*volatile g_wildFunction)() = reinterpret_cast<void (*)()>(0x1234);
alignas(64) unsigned char g_data[64] = {0xC3};  // a return instruction, in a data page
FAULT void CallNull() {
    g_nullFunction();
}
FAULT void CallWild() {
    g_wildFunction();
}
FAULT void JumpIntoData() {
    void* data = g_data;
    reinterpret_cast<void (*)()>(data)();
}

}  // namespace

// Outside the anonymous namespace: a class the compiler sees whole would have
// its virtual calls resolved at compile time.
struct Shape {
    virtual ~Shape() = default;
    virtual void Draw() {}
};

namespace {

// Even: ARM runs a branch target with bit 0 set as Thumb code at the address
// below it.
const std::uintptr_t kBadMethod = 0x4320;
const std::uintptr_t g_corruptTable[4] = {kBadMethod, kBadMethod, kBadMethod, kBadMethod};
Shape* volatile g_shape = nullptr;
FAULT void CorruptVtable() {
    static Shape shape;
    const std::uintptr_t* table = g_corruptTable;
    std::memcpy(static_cast<void*>(&shape), &table, sizeof table);
    g_shape = &shape;
    g_shape->Draw();
}

// A fault in a callback of the C library.
FAULT int FaultingCompare(const void*, const void*) {
    *g_null = 2;
    return 0;
}
FAULT void QsortCallback() {
    int values[4] = {3, 1, 2, 0};
    std::qsort(values, 4, sizeof values[0], FaultingCompare);
}

std::string Unless(bool ok, const char* problem) {
    return ok ? "" : problem;
}
std::string AtZero(std::uintptr_t address) {
    return Unless(address == 0, "not address 0");
}
std::string AtWild(std::uintptr_t address) {
    return Unless(address == 0x1234, "not the wild address 0x1234");
}
std::string AtData(std::uintptr_t address) {
    return Unless(address == reinterpret_cast<std::uintptr_t>(g_data), "not the data called");
}
std::string AtBadMethod(std::uintptr_t address) {
    return Unless(address == kBadMethod, "not the corrupt table's method");
}

// Reads the code at `address` when it is inside a loaded object.
template <class T>
bool CodeAt(std::uintptr_t address, T& code) {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(address), &info)) return false;
    std::memcpy(&code, reinterpret_cast<const void*>(address), sizeof code);
    return true;
}

#if defined(__x86_64__) || defined(__i386__)
FAULT void IllegalInstruction() {
    asm volatile("ud2");
}
FAULT void Breakpoint() {
    asm volatile("int3");
}
// The divisor in memory: the report tells the overflow from the operand.
FAULT void IntOverflowInMemory() {
    asm volatile("movl $0x80000000, %%eax\n\tcltd\n\tidivl %0" ::"m"(g_minusOne)
                 : "eax", "edx", "cc");
}
// With the alignment check flag set, an unaligned read faults.
alignas(8) char g_bytes[16];
FAULT void Misaligned() {
#if defined(__x86_64__)
    asm volatile(
        "pushfq\n orq $0x40000, (%%rsp)\n popfq\n movl 1(%0), %%eax\n"
        "pushfq\n andq $~0x40000, (%%rsp)\n popfq" ::"r"(g_bytes)
        : "eax", "cc", "memory");
#else
    asm volatile(
        "pushfl\n orl $0x40000, (%%esp)\n popfl\n movl 1(%0), %%eax\n"
        "pushfl\n andl $~0x40000, (%%esp)\n popfl" ::"r"(g_bytes)
        : "eax", "cc", "memory");
#endif
}
std::string AtBreakpoint(std::uintptr_t address) {
    unsigned char code = 0;
    if (!CodeAt(address, code)) return "in no loaded object";
    return Unless(code == 0xCC, "not an int3 instruction");
}
std::string AtIllegal(std::uintptr_t address) {
    unsigned char code[2] = {0, 0};
    if (!CodeAt(address, code)) return "in no loaded object";
    return Unless(code[0] == 0x0F && code[1] == 0x0B, "not a ud2 instruction");
}
const char* const kNoDivisionTrap = nullptr;
#elif defined(__aarch64__)
FAULT void IllegalInstruction() {
    asm volatile(".inst 0x00000000");  // udf #0
}
FAULT void Breakpoint() {
    asm volatile("brk #0");
}
FAULT void IntOverflowInMemory() {}
// An exclusive load must be aligned.
alignas(8) char g_bytes[16];
FAULT void Misaligned() {
    asm volatile("ldxr w0, [%0]\n\tclrex" ::"r"(g_bytes + 1) : "w0", "memory");
}
std::string AtBreakpoint(std::uintptr_t address) {
    std::uint32_t code = 0;
    if (!CodeAt(address, code)) return "in no loaded object";
    return Unless((code & 0xFFE0001Fu) == 0xD4200000u, "not a brk instruction");
}
std::string AtIllegal(std::uintptr_t address) {
    std::uint32_t code = 1;
    if (!CodeAt(address, code)) return "in no loaded object";
    return Unless(code == 0, "not a udf #0 instruction");
}
const char* const kNoDivisionTrap = "integer division does not trap on this architecture";
#elif defined(__arm__)
FAULT void IllegalInstruction() {
    asm volatile("udf #0");
}
FAULT void Breakpoint() {
    asm volatile("bkpt #0");
}
FAULT void IntOverflowInMemory() {}
// An exclusive load must be aligned.
alignas(8) char g_bytes[16];
FAULT void Misaligned() {
    asm volatile("ldrex r0, [%0]\n\tclrex" ::"r"(g_bytes + 1) : "r0", "memory");
}
// The Thumb encoding (this target's default) or the ARM one.
bool IsInstruction(std::uintptr_t address, std::uint16_t thumb, std::uint16_t thumbMask,
                   std::uint32_t arm, std::uint32_t armMask) {
    std::uint32_t code = 0;
    if (!CodeAt(address, code)) return false;
    return (code & thumbMask) == thumb || (code & armMask) == arm;
}
std::string AtBreakpoint(std::uintptr_t address) {
    return Unless(IsInstruction(address, 0xBE00, 0xFF00, 0xE1200070u, 0xFFF000F0u),
                  "not a bkpt instruction");
}
std::string AtIllegal(std::uintptr_t address) {
    return Unless(IsInstruction(address, 0xDE00, 0xFF00, 0xE7F000F0u, 0xFFF000F0u),
                  "not a udf instruction");
}
// ARMv7-A has no divide instruction of its own (the run-time library divides),
// and the one of later cores gives 0 for a division by zero.
const char* const kNoDivisionTrap = "integer division does not trap on this architecture";
#endif

}  // namespace

const Kind UTL_KINDS_TABLE[] = {
    {"NullRead", NullRead, "C0000005 ACCESS_VIOLATION", SIGSEGV, nullptr, nullptr},
    {"NullWrite", NullWrite, "C0000005 ACCESS_VIOLATION", SIGSEGV, nullptr, nullptr},
    {"WildRead", WildRead, "C0000005 ACCESS_VIOLATION", SIGSEGV, nullptr, nullptr},
    {"WildWrite", WildWrite, "C0000005 ACCESS_VIOLATION", SIGSEGV, nullptr, nullptr},
    {"IntDivideByZero", IntDivideByZero, "C0000094 INT_DIVIDE_BY_ZERO", SIGFPE, nullptr,
     kNoDivisionTrap},
    {"IntOverflow", IntOverflow, "C0000095 INT_OVERFLOW", SIGFPE, nullptr, kNoDivisionTrap},
    {"IntOverflowInMemory", IntOverflowInMemory, "C0000095 INT_OVERFLOW", SIGFPE, nullptr,
     kNoDivisionTrap},
    {"IllegalInstruction", IllegalInstruction, "C000001D ILLEGAL_INSTRUCTION", SIGILL, AtIllegal,
     nullptr},
    {"Breakpoint", Breakpoint, "80000003 BREAKPOINT", SIGTRAP, AtBreakpoint, nullptr},
    {"BusError", BusRead, "C0000006 IN_PAGE_ERROR", SIGBUS, nullptr, nullptr},
    {"Misaligned", Misaligned, "80000002 DATATYPE_MISALIGNMENT", SIGBUS, nullptr, nullptr},
    {"IndirectRecursion", IndirectRecursion, "C00000FD STACK_OVERFLOW", SIGSEGV, nullptr, nullptr},
    {"DirectRecursion", DirectRecursion, "C00000FD STACK_OVERFLOW", SIGSEGV, nullptr, nullptr},
    {"CallNull", CallNull, "C0000005 ACCESS_VIOLATION", SIGSEGV, AtZero, nullptr},
    {"CallWild", CallWild, "C0000005 ACCESS_VIOLATION", SIGSEGV, AtWild, nullptr},
    {"JumpIntoData", JumpIntoData, "C0000005 ACCESS_VIOLATION", SIGSEGV, AtData, nullptr},
    {"CorruptVtable", CorruptVtable, "C0000005 ACCESS_VIOLATION", SIGSEGV, AtBadMethod, nullptr},
    {"QsortCallback", QsortCallback, "C0000005 ACCESS_VIOLATION", SIGSEGV, nullptr, nullptr},
    {nullptr, nullptr, nullptr, 0, nullptr, nullptr},
};

}  // namespace crashkinds
