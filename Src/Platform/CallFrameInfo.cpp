// A small reader of .eh_frame entries (CIE and FDE) and of the call frame
// instructions that say where a register is saved and where the CFA is. 32-bit ARM unwinds
// through its own tables (.ARM.exidx), so there is nothing here for it.
#include "CallFrameInfo.h"

#if !defined(__arm__)

#include <cstddef>
#include <cstring>

// libgcc's lookup of the FDE that covers a code address; `bases` receives the
// text, data and function start addresses. Null when there is none.
extern "C" const void* _Unwind_Find_FDE(const void* pc, void* bases);

namespace UTL {
namespace arch {
namespace {

// Reads the bytes of one entry, never past its end.
struct Reader {
    const unsigned char* at;
    const unsigned char* end;
    bool ok = true;

    bool Has(std::size_t n) { return ok = ok && static_cast<std::size_t>(end - at) >= n; }
    std::uint64_t Fixed(std::size_t n) {
        if (!Has(n)) return 0;
        std::uint64_t value = 0;
        std::memcpy(&value, at, n);  // little-endian targets
        at += n;
        return value;
    }
    std::uint64_t Uleb() {
        std::uint64_t value = 0;
        for (unsigned shift = 0; Has(1); shift += 7) {
            const unsigned char byte = *at++;
            if (shift < 64) value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80)) break;
        }
        return value;
    }
    std::int64_t Sleb() {
        std::int64_t value = 0;
        unsigned shift = 0;
        unsigned char byte = 0;
        do {
            if (!Has(1)) return 0;
            byte = *at++;
            if (shift < 64) value |= static_cast<std::int64_t>(byte & 0x7F) << shift;
            shift += 7;
        } while (byte & 0x80);
        if (shift < 64 && (byte & 0x40)) value |= -(static_cast<std::int64_t>(1) << shift);
        return value;
    }
    void Skip(std::uint64_t n) {
        if (Has(n)) at += n;
    }
};

// Size of a pointer in the given DW_EH_PE encoding; 0 for forms not read here.
std::size_t EncodedSize(unsigned encoding) {
    switch (encoding & 0x0F) {
        case 0x00:
            return sizeof(void*);  // absptr
        case 0x02:
        case 0x0A:
            return 2;
        case 0x03:
        case 0x0B:
            return 4;
        case 0x04:
        case 0x0C:
            return 8;
        default:
            return 0;
    }
}

// An entry's contents after its 32-bit length; false for the 64-bit form.
bool OpenEntry(const unsigned char* entry, Reader& reader) {
    std::uint32_t length = 0;
    std::memcpy(&length, entry, 4);
    if (length == 0 || length == 0xFFFFFFFFu) return false;
    reader.at = entry + 4;
    reader.end = entry + 4 + length;
    return true;
}

struct Cie {
    std::uint64_t codeAlignment = 1;
    std::int64_t dataAlignment = 1;
    unsigned pointerEncoding = 0;  // of the FDE's address range
    bool augmented = false;        // "z": the FDE has augmentation data
    Reader instructions{nullptr, nullptr};
};

bool ReadCie(const unsigned char* entry, Cie& cie) {
    Reader r{nullptr, nullptr};
    if (!OpenEntry(entry, r) || r.Fixed(4) != 0) return false;  // CIE id
    const unsigned version = static_cast<unsigned>(r.Fixed(1));
    const char* augmentation = reinterpret_cast<const char*>(r.at);
    const std::size_t length = strnlen(augmentation, static_cast<std::size_t>(r.end - r.at));
    r.Skip(length + 1);
    cie.codeAlignment = r.Uleb();
    cie.dataAlignment = r.Sleb();
    version == 1 ? r.Fixed(1) : r.Uleb();  // return address register
    if (augmentation[0] == 'z') {
        cie.augmented = true;
        const std::uint64_t dataLength = r.Uleb();
        if (!r.Has(dataLength)) return false;
        Reader data{r.at, r.at + dataLength};
        for (const char* c = augmentation + 1; c < augmentation + length; ++c) {
            if (*c == 'R' || *c == 'L') {
                const unsigned encoding = static_cast<unsigned>(data.Fixed(1));
                if (*c == 'R') cie.pointerEncoding = encoding;
            } else if (*c == 'P') {
                const std::size_t size = EncodedSize(static_cast<unsigned>(data.Fixed(1)));
                if (size == 0) return false;
                data.Skip(size);
            } else if (*c != 'S' && *c != 'B' && *c != 'G') {
                return false;
            }
        }
        r.Skip(dataLength);
    } else if (length != 0) {
        return false;  // an augmentation of an older form
    }
    cie.instructions = r;
    return r.ok;
}

// Follows the rules for `reg` and for the CFA from the CIE's initial
// instructions through the FDE's, up to the row that holds at `target`.
class RuleFollower {
public:
    RuleFollower(unsigned reg, const Cie& cie)
        : m_reg(reg), m_codeAlignment(cie.codeAlignment), m_dataAlignment(cie.dataAlignment) {}

    // Runs `r` from the address `location`; false when an instruction is not
    // understood.
    bool Run(Reader r, std::uint64_t location, std::uint64_t target) {
        while (r.ok && r.at < r.end) {
            const unsigned op = *r.at++;
            std::uint64_t advance = 0;
            switch (op >> 6) {
                case 1:
                    advance = op & 0x3F;
                    break;
                case 2:
                    Set(op & 0x3F, true);
                    r.Uleb();
                    continue;
                case 3:
                    Set(op & 0x3F, m_initial.saved);
                    continue;
                default:
                    if (!Extended(op, r, advance)) return false;
                    break;
            }
            if (advance == 0) continue;
            location += advance * m_codeAlignment;
            if (location > target) return true;
        }
        return r.ok;
    }

    FrameRules rules;
    void KeepAsInitial() { m_initial = rules; }

private:
    void Set(std::uint64_t reg, bool isSaved) {
        if (reg == m_reg) rules.saved = isSaved;
    }
    void Cfa(std::uint64_t reg, std::int64_t offset) {
        rules.cfaKnown = true;
        rules.cfaRegister = static_cast<unsigned>(reg);
        rules.cfaOffset = offset;
    }

    bool Extended(unsigned op, Reader& r, std::uint64_t& advance) {
        switch (op) {
            case 0x00:  // nop
            case 0x2D:  // GNU_window_save, AArch64 negate_ra_state
                return true;
            case 0x02:
                advance = r.Fixed(1);
                return true;
            case 0x03:
                advance = r.Fixed(2);
                return true;
            case 0x04:
                advance = r.Fixed(4);
                return true;
            case 0x05:    // offset_extended
            case 0x09:    // register
            case 0x14:    // val_offset
            case 0x2F: {  // GNU_negative_offset_extended
                const std::uint64_t reg = r.Uleb();
                r.Uleb();
                Set(reg, true);
                return true;
            }
            case 0x11:    // offset_extended_sf
            case 0x15: {  // val_offset_sf
                const std::uint64_t reg = r.Uleb();
                r.Sleb();
                Set(reg, true);
                return true;
            }
            case 0x10:    // expression
            case 0x16: {  // val_expression
                const std::uint64_t reg = r.Uleb();
                r.Skip(r.Uleb());
                Set(reg, true);
                return true;
            }
            case 0x06:  // restore_extended
                Set(r.Uleb(), m_initial.saved);
                return true;
            case 0x07:  // undefined
            case 0x08:  // same_value
                Set(r.Uleb(), false);
                return true;
            case 0x0A:  // remember_state
                if (m_depth == kMaxDepth) return false;
                m_remembered[m_depth++] = rules;
                return true;
            case 0x0B:  // restore_state
                if (m_depth == 0) return false;
                rules = m_remembered[--m_depth];
                return true;
            case 0x0C: {  // def_cfa
                const std::uint64_t reg = r.Uleb();
                Cfa(reg, static_cast<std::int64_t>(r.Uleb()));
                return true;
            }
            case 0x12: {  // def_cfa_sf
                const std::uint64_t reg = r.Uleb();
                Cfa(reg, r.Sleb() * m_dataAlignment);
                return true;
            }
            case 0x0D:  // def_cfa_register
                Cfa(r.Uleb(), rules.cfaOffset);
                return true;
            case 0x0E:  // def_cfa_offset
                Cfa(rules.cfaRegister, static_cast<std::int64_t>(r.Uleb()));
                return true;
            case 0x13:  // def_cfa_offset_sf
                Cfa(rules.cfaRegister, r.Sleb() * m_dataAlignment);
                return true;
            case 0x2E:  // GNU_args_size
                r.Uleb();
                return true;
            case 0x0F:  // def_cfa_expression
                r.Skip(r.Uleb());
                rules.cfaKnown = false;
                return true;
            default:  // set_loc and anything unknown
                return false;
        }
    }

    static constexpr int kMaxDepth = 16;
    unsigned m_reg;
    std::uint64_t m_codeAlignment;
    std::int64_t m_dataAlignment;
    FrameRules m_initial;
    FrameRules m_remembered[kMaxDepth];
    int m_depth = 0;
};

}  // namespace

FrameRulesResult ReadFrameRules(std::uintptr_t pc, unsigned reg, FrameRules& rules) {
    void* bases[3] = {};  // text, data, and the function's start
    const unsigned char* fde =
        static_cast<const unsigned char*>(_Unwind_Find_FDE(reinterpret_cast<void*>(pc), bases));
    if (!fde) return FrameRulesResult::kNoInformation;
    Reader r{nullptr, nullptr};
    if (!OpenEntry(fde, r)) return FrameRulesResult::kUnreadable;
    const unsigned char* idField = r.at;
    const std::uint32_t cieOffset = static_cast<std::uint32_t>(r.Fixed(4));
    Cie cie;
    if (!ReadCie(idField - cieOffset, cie)) return FrameRulesResult::kUnreadable;
    const std::size_t pointerSize = EncodedSize(cie.pointerEncoding);
    if (pointerSize == 0) return FrameRulesResult::kUnreadable;
    r.Skip(2 * pointerSize);  // the address range; libgcc gave its start
    if (cie.augmented) r.Skip(r.Uleb());
    if (!r.ok) return FrameRulesResult::kUnreadable;

    const std::uint64_t start = reinterpret_cast<std::uintptr_t>(bases[2]);
    RuleFollower follower(reg, cie);
    if (!follower.Run(cie.instructions, start, ~std::uint64_t{0}))
        return FrameRulesResult::kUnreadable;
    follower.KeepAsInitial();
    if (!follower.Run(r, start, pc)) return FrameRulesResult::kUnreadable;
    rules = follower.rules;
    return FrameRulesResult::kRead;
}

}  // namespace arch
}  // namespace UTL

#endif
