// x86 only (i386 and x86-64).
#if defined(__x86_64__) || defined(__i386__)

#include "X86Instructions.h"

#include "CallFrameInfo.h"

#include "SafeMemory.h"

namespace UTL {
namespace arch {
namespace {

struct Prefixes {
    bool operandSize16 = false;  // 0x66
    bool addressSize = false;    // 0x67: 32-bit addresses in long mode, 16-bit otherwise
    bool fs = false;
    bool otherSegment = false;  // GS (FS in 32-bit code): a base we do not know
    unsigned rex = 0;           // 0x40-0x4F in long mode, else 0
};

std::uint64_t Mask(std::uint64_t value, unsigned bytes) {
    return bytes >= 8 ? value : value & ((std::uint64_t{1} << (8 * bytes)) - 1);
}

std::int64_t SignedDisplacement(const unsigned char* p, unsigned bytes) {
    if (bytes == 1) return static_cast<std::int8_t>(p[0]);
    std::uint32_t value = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                          static_cast<std::uint32_t>(p[2]) << 16 |
                          static_cast<std::uint32_t>(p[3]) << 24;
    return static_cast<std::int32_t>(value);
}

}  // namespace

bool ReadX86Divisor(const unsigned char* code, std::size_t length, const X86Machine& machine,
                    std::uint64_t& divisor) {
    Prefixes prefixes;
    std::size_t at = 0;
    for (; at < length; ++at) {
        const unsigned char byte = code[at];
        if (byte == 0x66) {
            prefixes.operandSize16 = true;
        } else if (byte == 0x67) {
            prefixes.addressSize = true;
        } else if (byte == 0x64) {
            (machine.longMode ? prefixes.fs : prefixes.otherSegment) = true;
        } else if (byte == 0x65) {
            prefixes.otherSegment = true;
        } else if (byte == 0x2E || byte == 0x36 || byte == 0x3E || byte == 0x26 || byte == 0xF0 ||
                   byte == 0xF2 || byte == 0xF3) {
            // Segments with base 0, lock and repeat prefixes.
        } else {
            break;
        }
    }
    if (machine.longMode && at < length && (code[at] & 0xF0) == 0x40) prefixes.rex = code[at++];
    if (at + 2 > length) return false;
    const unsigned char opcode = code[at++];
    if (opcode != 0xF6 && opcode != 0xF7) return false;
    const unsigned char modrm = code[at++];
    const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7, rm = modrm & 7;
    if (reg != 6 && reg != 7) return false;  // DIV, IDIV
    const bool rexW = prefixes.rex & 8, rexX = prefixes.rex & 2, rexB = prefixes.rex & 1;
    const unsigned size = opcode == 0xF6 ? 1 : rexW ? 8 : prefixes.operandSize16 ? 2 : 4;

    if (mod == 3) {
        const unsigned number = rm | (rexB ? 8 : 0);
        if (size == 1 && prefixes.rex == 0 && rm >= 4) {  // AH, CH, DH, BH
            divisor = (machine.readRegister(machine.state, rm - 4) >> 8) & 0xFF;
        } else {
            divisor = Mask(machine.readRegister(machine.state, number), size);
        }
        return true;
    }
    if (prefixes.otherSegment || (prefixes.addressSize && !machine.longMode)) return false;

    std::uint64_t address = 0;
    bool ripRelative = false;
    if (rm == 4) {  // SIB byte
        if (at >= length) return false;
        const unsigned char sib = code[at++];
        const unsigned scale = sib >> 6, index = ((sib >> 3) & 7) | (rexX ? 8 : 0);
        const unsigned base = sib & 7;
        if (index != 4) address += machine.readRegister(machine.state, index) << scale;
        if (base == 5 && mod == 0) {
            if (at + 4 > length) return false;
            address += static_cast<std::uint64_t>(SignedDisplacement(code + at, 4));
            at += 4;
        } else {
            address += machine.readRegister(machine.state, base | (rexB ? 8 : 0));
        }
    } else if (rm == 5 && mod == 0) {
        if (at + 4 > length) return false;
        address = static_cast<std::uint64_t>(SignedDisplacement(code + at, 4));
        at += 4;
        ripRelative = machine.longMode;
    } else {
        address = machine.readRegister(machine.state, rm | (rexB ? 8 : 0));
    }
    const unsigned displacement = mod == 1 ? 1 : mod == 2 ? 4 : 0;
    if (at + displacement > length) return false;
    if (displacement)
        address += static_cast<std::uint64_t>(SignedDisplacement(code + at, displacement));
    at += displacement;
    if (ripRelative) address += machine.pc + at;  // relative to the next instruction
    if (prefixes.addressSize || !machine.longMode) address &= 0xFFFFFFFFu;
    if (prefixes.fs) address += machine.fsBase;

    std::uint64_t value = 0;  // little endian: the low bytes of the word
    if (!arch::ReadMemory(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)),
                          &value, size))
        return false;
    divisor = value;
    return true;
}

namespace {

// Length of an instruction FF /2 (indirect call) from its ModRM byte on:
// ModRM, SIB and displacement.
std::size_t IndirectCallLength(const unsigned char* modrmAndAfter) {
    const unsigned modrm = modrmAndAfter[0];
    const unsigned mod = modrm >> 6, rm = modrm & 7;
    if (mod == 3) return 1;
    std::size_t length = 1;
    unsigned base = rm;
    if (rm == 4) {
        ++length;
        base = modrmAndAfter[1] & 7;
    }
    if (mod == 1) return length + 1;
    if (mod == 2) return length + 4;
    if (rm == 5 || (rm == 4 && base == 5)) return length + 4;  // disp32 (RIP-relative in 64-bit)
    return length;
}

}  // namespace

bool FollowsX86Call(std::uintptr_t returnAddress) {
    unsigned char code[8];
    if (returnAddress < sizeof code ||
        !arch::ReadMemory(reinterpret_cast<const void*>(returnAddress - sizeof code), code,
                          sizeof code))
        return false;
    const unsigned char* end = code + sizeof code;
    if (end[-5] == 0xE8) return true;  // call rel32
    for (std::size_t back = 2; back <= 7; ++back) {
        const unsigned char* start = end - back;
        if (start[0] != 0xFF || ((start[1] >> 3) & 7) != 2) continue;
        if (1 + IndirectCallLength(start + 1) == back) return true;
    }
    return false;
}

std::uintptr_t X86BreakpointAddress(std::uintptr_t pc) {
    unsigned char before[2] = {0, 0};
    if (arch::ReadMemory(reinterpret_cast<const void*>(pc - 1), &before[1], 1) && before[1] == 0xCC)
        return pc - 1;
    if (arch::ReadMemory(reinterpret_cast<const void*>(pc - 2), before, 2) && before[0] == 0xCD &&
        before[1] == 0x03)
        return pc - 2;
    return pc;
}

bool IsX86QuotientOverflow(const X86Machine& machine) {
    unsigned char instruction[15];
    std::size_t length = sizeof instruction;
    // The instruction may end just before an unmapped page.
    while (length > 0 &&
           !arch::ReadMemory(reinterpret_cast<const void*>(machine.pc), instruction, length))
        --length;
    std::uint64_t divisor = 0;
    return ReadX86Divisor(instruction, length, machine, divisor) && divisor != 0;
}

bool X86ReturnAddressAt(std::uintptr_t sp, std::uintptr_t& returnAddress) {
    return arch::ReadWord(sp, &returnAddress) && FollowsX86Call(returnAddress);
}

bool X86UnsavedReturnAddress(std::uintptr_t pc, std::uintptr_t sp, unsigned dwarfSp,
                             std::uintptr_t& returnAddress) {
    arch::FrameRules rules;
    switch (arch::ReadFrameRules(pc, dwarfSp, rules)) {
        case arch::FrameRulesResult::kNoInformation:
            return X86ReturnAddressAt(sp, returnAddress);
        case arch::FrameRulesResult::kUnreadable:
            return false;
        case arch::FrameRulesResult::kRead:
            break;
    }
    // The CFA is the stack pointer before the call; the return address is
    // the word below it.
    if (!rules.cfaKnown || rules.cfaRegister != dwarfSp || rules.cfaOffset < 0) return false;
    return X86ReturnAddressAt(sp + static_cast<std::uintptr_t>(rules.cfaOffset) - sizeof(void*),
                              returnAddress);
}

}  // namespace arch
}  // namespace UTL

#endif  // x86
