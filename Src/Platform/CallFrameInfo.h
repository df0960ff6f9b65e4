// What a function's DWARF call frame information (.eh_frame, found as the
// unwinder finds it) says at one of its instructions: whether it has saved a
// register, and how its canonical frame address (the stack pointer before
// the call) is computed. The frame-pointer walk asks this to tell whether a
// function has stored its frame record yet.
#pragma once

#include <cstdint>

namespace UTL {
namespace arch {

struct FrameRules {
    bool saved = false;     // the asked-for register is saved
    bool cfaKnown = false;  // the CFA is a register plus an offset:
    unsigned cfaRegister = 0;
    std::int64_t cfaOffset = 0;
};

enum class FrameRulesResult {
    kRead,
    kNoInformation,  // no unwind information covers the instruction
    kUnreadable,     // there is some, in a form not read here
};

// The rules at the instruction `pc` for DWARF register `reg`. No heap memory.
FrameRulesResult ReadFrameRules(std::uintptr_t pc, unsigned reg, FrameRules& rules);

}  // namespace arch
}  // namespace UTL
