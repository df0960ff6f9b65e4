// Frame lines, as the report writes them (hex digits upper case):
//   frame-pointer form: "%2d: %08X  %08X  %04X:%08X <module> (Version: <v>)"
//   symbol form:        "%2d: %08X  %08X  <where> <module> (Version: <v>, Base address: 0x%X)"
// where <where> is "<file> (Line: <n>)", "<symbol>+<hex>" or "%04X:%08X".
// <v> is "not available" or "build-id <hex>".
#include "ReportLine.h"

#include <regex>

namespace symbolize {
namespace {

std::uint64_t Hex(const std::string& text) {
    return std::stoull(text, nullptr, 16);
}

std::string BuildIdOf(const std::string& version) {
    static const std::regex buildId("build-id ([0-9a-f]+)");
    std::smatch m;
    return std::regex_match(version, m, buildId) ? m[1].str() : std::string();
}

// The module after the symbol form's <where>; false when <where> is none of
// its three shapes.
bool SplitWhere(const std::string& rest, Frame& frame) {
    static const std::regex logical("([0-9A-F]{4}):([0-9A-F]{8}) (.+)");
    std::smatch m;
    if (std::regex_match(rest, m, logical)) {
        frame.hasSection = true;
        frame.section = static_cast<unsigned>(Hex(m[1]));
        frame.offset = Hex(m[2]);
        frame.module = m[3];
        return true;
    }
    static const std::regex line(".* \\(Line: -?[0-9]+\\) (.+)");
    if (std::regex_match(rest, m, line)) {
        frame.module = m[1];
        return true;
    }
    // "<symbol>+<hex> <module>": the last '+' followed by hex digits and a
    // space (a symbol may hold '+' itself, as operator+ does).
    static const std::regex symbol(".*\\+[0-9A-F]+ (.+)");
    if (std::regex_match(rest, m, symbol)) {
        frame.module = m[1];
        return true;
    }
    return false;
}

}  // namespace

std::optional<Frame> ParseFrame(const std::string& line) {
    static const std::regex head(" ?([0-9]+): ([0-9A-F]{8,})  ([0-9A-F]{8,})  (.*)");
    static const std::regex framePointer("([0-9A-F]{4}):([0-9A-F]{8}) (.*) \\(Version: (.*)\\)");
    static const std::regex symbolForm("(.*) \\(Version: (.*), Base address: 0x([0-9A-F]+)\\)");
    std::smatch m;
    if (!std::regex_match(line, m, head)) return std::nullopt;
    Frame frame;
    frame.number = std::stoi(m[1]);
    frame.address = Hex(m[2]);
    const std::string rest = m[4];
    if (std::regex_match(rest, m, symbolForm)) {
        frame.hasBase = true;
        frame.base = Hex(m[3]);
        frame.buildId = BuildIdOf(m[2]);
        if (!SplitWhere(m[1], frame)) return std::nullopt;
        return frame;
    }
    if (std::regex_match(rest, m, framePointer)) {
        frame.hasSection = true;
        frame.section = static_cast<unsigned>(Hex(m[1]));
        frame.offset = Hex(m[2]);
        frame.module = m[3];
        frame.buildId = BuildIdOf(m[4]);
        return frame;
    }
    return std::nullopt;
}

bool IsBlockStart(const std::string& line) {
    return line.rfind("//=============== Exception start", 0) == 0;
}

bool ParseExceptionCode(const std::string& line, bool& firstIsCall) {
    static const std::string kPrefix = "Exception code: ";
    if (line.rfind(kPrefix, 0) != 0) return false;
    const std::string code = line.substr(kPrefix.size());
    firstIsCall = code == "UNKNOWN" || code.rfind("E06D7363", 0) == 0;
    return true;
}

}  // namespace symbolize
