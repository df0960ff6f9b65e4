// Whether a function has saved a register by a given instruction, read from
// its DWARF call frame information (.eh_frame, found as the unwinder finds
// it). The frame-pointer walk asks this of the return-address register: a
// function that has not saved it yet has not stored its frame record either.
#pragma once

#include <cstdint>

namespace UTL {
namespace platform {

enum class RegisterState {
    kSaved,          // a rule saves it at that instruction
    kNotSaved,       // it still holds its value from the function's entry
    kNoInformation,  // no unwind information covers the instruction
    kUnreadable,     // there is some, in a form not read here
};

// The state of DWARF register `reg` at the instruction `pc`. No heap memory.
RegisterState ReturnRegisterState(std::uintptr_t pc, unsigned reg);

}  // namespace platform
}  // namespace UTL
