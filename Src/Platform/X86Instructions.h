// Decoding of the few x86 instructions the crash reporter needs to look at,
// shared by the i386 and x86-64 architecture files: the divisor of a division
// (a division fault with a divisor other than zero is a quotient overflow, for
// example INT_MIN / -1, not a division by zero), and the call instruction
// that a return address follows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace UTL {
namespace arch {

struct X86Machine {
    bool longMode;  // 64-bit code: REX prefixes, RIP-relative addressing
    // Register by x86 number (0 AX, 1 CX, 2 DX, 3 BX, 4 SP, 5 BP, 6 SI, 7 DI, 8-15 R8-R15).
    std::uint64_t (*readRegister)(const void* state, unsigned number);
    const void* state;
    std::uint64_t fsBase;  // for an FS segment override
    std::uint64_t pc;      // address of the instruction
};

// Reads the divisor of the division at `code` (`length` bytes available) into
// `divisor`. False when the bytes are not a division or its operand cannot be
// read.
bool ReadX86Divisor(const unsigned char* code, std::size_t length, const X86Machine& machine,
                    std::uint64_t& divisor);

// True when the bytes before `returnAddress` end with a call instruction
// (direct, or indirect through a register or memory), as they do for a
// return address; the bytes are read without faulting.
bool FollowsX86Call(std::uintptr_t returnAddress);

// The x86 parts of the architecture interface, shared by i386 and x86-64.

// Where a breakpoint trap came from: the int3 (or "int $3") just before the
// reported instruction pointer `pc`; `pc` itself when there is none.
std::uintptr_t X86BreakpointAddress(std::uintptr_t pc);

// Whether the division fault at `machine.pc` was a quotient overflow: the
// divisor of the DIV or IDIV there is not zero.
bool IsX86QuotientOverflow(const X86Machine& machine);

// The return address at the stack pointer `sp`, when the word there follows a
// call instruction.
bool X86ReturnAddressAt(std::uintptr_t sp, std::uintptr_t& returnAddress);

// The return address of the function stopped at `pc` with the stack pointer
// `sp`, while its frame is still addressed from the stack pointer (DWARF
// register `dwarfSp`): it has not made the frame pointer its frame's base, so
// its frame record, if it keeps one, is not stored yet. Found where its call
// frame information puts it (above the registers it has pushed), at the stack
// pointer where there is none; it must follow a call instruction.
bool X86UnsavedReturnAddress(std::uintptr_t pc, std::uintptr_t sp, unsigned dwarfSp,
                             std::uintptr_t& returnAddress);

}  // namespace arch
}  // namespace UTL
