// The lines of an exception report that the symbolizer reads: call-stack
// frames of either form, and the lines that tell where a block starts and
// whether its first frame is a fault or a call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace symbolize {

// Where a frame's code lies, as the report gives it.
struct Frame {
    int number = 0;
    std::uint64_t address = 0;
    std::string module;   // the module's path on the device
    std::string buildId;  // lower-case hex; empty when the report has none
    // Frame-pointer form and the symbol form's fallback: the 1-based load
    // segment and the offset in it.
    bool hasSection = false;
    unsigned section = 0;
    std::uint64_t offset = 0;
    // Symbol form: the module's load address.
    bool hasBase = false;
    std::uint64_t base = 0;
};

std::optional<Frame> ParseFrame(const std::string& line);

bool IsBlockStart(const std::string& line);
// "Exception code: ..." line: `firstIsCall` is set when the block's first
// frame is where a call returns to (a captured context, a raised exception)
// rather than a faulting instruction.
bool ParseExceptionCode(const std::string& line, bool& firstIsCall);

}  // namespace symbolize
