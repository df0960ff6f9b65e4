// The wide scanf engine.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <UTL/NarrowString.h>
#include <UTL/WideText.h>

#include "PlainDirective.h"
#include "WideTextInternal.h"

// ---- Formatted wide input ---------------------------------------------------
//
// Input and format are narrowed, the format is cut into one piece per
// directive, and each piece is scanned twice on the same input position: once
// with a "measuring" format that stores the field's text into a 256-byte area
// (its length decides how far the input advances), once to convert the field
// into the caller's target.
//
// The commonest measuring formats ("%[^X]", "%s", "%c") are evaluated here, and
// plain pieces (the numeric directives of PlainDirective.h, and "%s" and "%c"
// into wide targets) are converted here, with sscanf's results. Every other
// format goes to sscanf after a guard that keeps it to one assigning directive,
// turns "%m" allocation into assignment suppression, drops positional "N$"
// prefixes and, for the engine's own areas, limits the width of string fields
// to the area.

namespace {

using UTL::detail::BoundedText;
using UTL::detail::Directive;
using UTL::detail::IsDecimalDigit;
using UTL::detail::IsSpace;
using UTL::detail::kCountCap;
using UTL::detail::kScanSyntax;
using UTL::detail::PieceEnd;
using UTL::detail::ReadDecimal;
using UTL::detail::ReadDirective;

constexpr unsigned kScanArea = 256;  // piece, measuring format, field text

// A narrow buffer that lives on the stack when small.
class ScratchBuffer {
public:
    explicit ScratchBuffer(size_t size)
        : data_(size <= sizeof inline_ ? inline_ : new char[size]) {}
    ~ScratchBuffer() {
        if (data_ != inline_) delete[] data_;
    }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    char* Data() { return data_; }

private:
    char inline_[512];
    char* data_;
};

// The scan engine's own narrowing: U+00FF and above become a space.
size_t NarrowForScan(char* dst, const char16_t* src) {
    size_t n = 0;
    for (; src[n]; ++n) dst[n] = src[n] >= 0xFF ? ' ' : static_cast<char>(src[n]);
    dst[n] = 0;
    return n;
}

// "%" characters that are not part of a "%%" pair (a trailing lone "%" counts).
unsigned CountDirectives(const char* format) {
    unsigned count = 0;
    for (const char* s = format; *s; ++s) {
        if (*s != '%') continue;
        if (s[1] == '%') {
            ++s;
        } else {
            ++count;
        }
    }
    return count;
}

// Copies at most kScanArea - 1 characters of [begin, end).
void CopyCut(char* dst, const char* begin, const char* end) {
    size_t n = static_cast<size_t>(end - begin);
    if (n > kScanArea - 1) n = kScanArea - 1;
    std::memcpy(dst, begin, n);
    dst[n] = 0;
}

bool IsScanSizeLetter(char c) {
    return c == 'I' || c == 'L' || c == 'h' || c == 'l';
}

// The letters that end the directive part of a piece for the measuring
// format: "C E G S X [ ] c d e f g i o s u x".
bool IsScanConversionLetter(char c) {
    switch (c) {
        case 'C':
        case 'E':
        case 'G':
        case 'S':
        case 'X':
        case '[':
        case ']':
        case 'c':
        case 'd':
        case 'e':
        case 'f':
        case 'g':
        case 'i':
        case 'o':
        case 's':
        case 'u':
        case 'x':
            return true;
        default:
            return false;
    }
}

// The measuring format of a piece, into `out` (kScanArea bytes); returns its
// length. String and character pieces measure as they are; every other piece
// becomes "%[^X]" with X the delimiter after the conversion letter (a space
// at the end of the piece), size letters dropped.
size_t MeasuringFormat(const char* piece, char* out) {
    BoundedText text(out, kScanArea);
    const char p1 = piece[0] ? piece[1] : 0;
    const char p2 = p1 ? piece[2] : 0;
    const bool charPair = p2 == 'c' || p2 == 'C';
    const bool stringPair = p2 == 's' || p2 == 'S';
    if (p1 == 'c' || p1 == 'C' || p1 == '[' || p1 == 's' || p1 == 'S') {
        text.Append(piece);
    } else if ((p1 == 'h' || p1 == 'l') && (charPair || stringPair)) {
        text.Append(p1 == 'h' ? (charPair ? "%C" : "%S") : (charPair ? "%c" : "%s"));
    } else {
        bool converted = false;
        bool afterDropped = false;
        for (const char* s = piece; *s; ++s) {
            if (!converted && !afterDropped && IsScanSizeLetter(*s)) {
                afterDropped = true;
                continue;
            }
            afterDropped = false;
            if (!converted && IsScanConversionLetter(*s)) {
                converted = true;
                text.Put('[');
                text.Put('^');
                text.Put(s[1] ? *++s : ' ');
                text.Put(']');
                continue;
            }
            text.Put(*s);
        }
    }
    text.Terminate();
    return text.Size();
}

// ---- The guard in front of sscanf ----

// Limits a string or character field to what an area of `areaBytes` holds
// (wide forms at 4 bytes a character, with the terminator). `s` is the
// directive as written.
void LimitTextWidth(const char* s, Directive& d, size_t areaBytes) {
    bool wide = d.conv == 'S' || d.conv == 'C';
    for (size_t i = d.sizesAt; i < d.sizesEnd; ++i) wide |= s[i] != 'h';
    const unsigned long cap = wide ? areaBytes / 4 - 1 : areaBytes - 1;
    const bool single = d.conv == 'c' || d.conv == 'C';  // default width 1
    if (d.hasWidth ? d.width > cap || (d.width == 0 && !single) : !single) {
        d.width = cap;
        d.hasWidth = true;
    }
}

// Writes the directive `d`, read from `s`, without its position.
void WriteScanDirective(BoundedText& text, const char* s, const Directive& d) {
    text.Put('%');
    if (d.suppressed) text.Put('*');
    for (size_t i = d.flagsAt; i < d.flagsEnd; ++i) {
        if (s[i] != '*') text.Put(s[i]);
    }
    if (d.hasWidth) text.AppendDecimal(static_cast<long long>(d.width));
    text.Append(s + d.sizesAt, d.length - d.sizesAt);  // sizes, conversion, set
}

// Rewrites a scanf format so it is safe to run with exactly one target:
// positional "N$" prefixes are dropped, "%m" allocation becomes assignment
// suppression, everything from a second assigning directive on is cut off
// and, when `areaBytes` is not 0, string and character fields are limited to
// what fits an area of that many bytes. Widths above `inputLength` + 1 are
// lowered to it: no field can take more than the rest of the input, so
// nothing changes but the numbers stay small. A directive that kScanSyntax
// does not read as complete (incomplete, unknown, an unterminated "[" set)
// ends the copy: sscanf stops there and returns what it has, exactly as at
// the end of the format.
void GuardScanFormat(const char* in, char* out, size_t areaBytes, size_t inputLength) {
    BoundedText text(out, kScanArea);
    bool assigned = false;
    for (const char* s = in; *s;) {
        if (*s != '%') {
            text.Put(*s++);
            continue;
        }
        if (s[1] == '%') {  // literal percent
            text.Append("%%");
            s += 2;
            continue;
        }
        Directive d;
        if (!ReadDirective(s, kScanSyntax, d)) break;
        const bool assigning = !d.suppressed && d.conv != '%';
        if (assigning && assigned) break;  // no target for a second field
        if (d.allocate && assigning) d.suppressed = true;
        assigned = assigned || (assigning && !d.allocate);
        if (d.width > inputLength + 1) d.width = inputLength + 1;
        if (areaBytes && std::strchr("sScC[", d.conv) && !d.suppressed) {
            LimitTextWidth(s, d, areaBytes);
        }
        WriteScanDirective(text, s, d);
        s += d.length;
    }
    text.Terminate();
}

// ---- Measuring ----

// A measuring scan the engine evaluates itself: "%[^X]" (optionally with a
// width), "%s" or "%c".
struct Measure {
    enum Kind { UpTo, Word, Char } kind = UpTo;
    char delimiter = 0;  // UpTo: the X of "%[^X]"
    size_t width = 0;    // UpTo: 0 for none
};

// The measure's result as sscanf gives it: -1 at the end of the input, 0
// when nothing matched, 1 when the field was stored; `length` is the length
// of the field's text.
int MeasureBy(const char* input, const Measure& m, size_t& length) {
    length = 0;
    if (m.kind == Measure::Word) {
        while (IsSpace(*input)) ++input;
    }
    if (!*input) return -1;
    switch (m.kind) {
        case Measure::Word:
            while (input[length] && !IsSpace(input[length]) && length < kScanArea - 1) ++length;
            return 1;
        case Measure::Char:
            length = 1;
            return 1;
        case Measure::UpTo:
            break;
    }
    const size_t width = m.width == 0 || m.width > kScanArea - 1 ? kScanArea - 1 : m.width;
    while (length < width && input[length] && input[length] != m.delimiter) ++length;
    return length ? 1 : 0;
}

// Recognises a measuring format that MeasureBy evaluates ("%S" and "%C"
// measure as "%s" and "%c").
bool ReadMeasure(const char* format, Measure& m) {
    if (format[0] != '%') return false;
    const char* f = format + 1;
    if (*f == 's' || *f == 'S' || *f == 'c' || *f == 'C') {
        m.kind = *f == 's' || *f == 'S' ? Measure::Word : Measure::Char;
        return true;
    }
    m.width = ReadDecimal(f, kScanArea);
    if (f[0] != '[' || f[1] != '^' || !f[2] || f[3] != ']') return false;
    m.kind = Measure::UpTo;
    m.delimiter = f[2];
    return true;
}

// The measuring scan: sscanf's result for the field, and the length of the
// text it stores.
int MeasureField(const char* input, size_t inputLength, const char* measuring, size_t& length) {
    Measure m;
    if (ReadMeasure(measuring, m)) return MeasureBy(input, m, length);
    char guarded[kScanArea];
    GuardScanFormat(measuring, guarded, kScanArea, inputLength);
    char field[kScanArea] = {};
    const int result = std::sscanf(input, guarded, field);
    length = std::strlen(field);  // the guard keeps a terminator in the area
    return result;
}

// ---- Converting ----

// "%s" or "%c" into a wide target; nothing is stored when the input has ended.
void ScanWideTarget(const char* input, char conv, char16_t* target) {
    if (conv == 's') {
        while (IsSpace(*input)) ++input;
    }
    if (!*input) return;  // nothing stored, target untouched
    size_t n = 0;
    if (conv == 's') {
        for (; input[n] && !IsSpace(input[n]); ++n)
            target[n] = static_cast<unsigned char>(input[n]);
    } else {
        target[n] = static_cast<unsigned char>(input[n]);
        ++n;
    }
    target[n] = 0;
}

// Stores strtol's (d, i) or strtoul's value by the size letter, as sscanf does.
void StoreInteger(void* target, const UTL::detail::Directive& layout,
                  const UTL::detail::ScannedInteger& number) {
    if (UTL::detail::IsSignedConversion(layout.conv)) {
        const long v = UTL::detail::SignedValue(number);
        if (layout.size == 'l') {
            *static_cast<long*>(target) = v;
        } else if (layout.size == 'h') {
            *static_cast<short*>(target) = static_cast<short>(v);
        } else {
            *static_cast<int*>(target) = static_cast<int>(v);
        }
        return;
    }
    const unsigned long v = UTL::detail::UnsignedValue(number);
    if (layout.size == 'l') {
        *static_cast<unsigned long*>(target) = v;
    } else if (layout.size == 'h') {
        *static_cast<unsigned short*>(target) = static_cast<unsigned short>(v);
    } else {
        *static_cast<unsigned*>(target) = static_cast<unsigned>(v);
    }
}

// A floating-point field ("%f" a float, "%lf" a double). False where sscanf
// must read it.
template <typename T>
bool StoreFloating(const char* input, void* target) {
    T value;
    bool found;
    if (!UTL::detail::ScanFloating(input, value, found)) return false;
    if (found) *static_cast<T*>(target) = value;
    return true;
}

// Recognises a plain piece: "%s" or "%c" directly after the "%" (wide
// targets, `layout.conv` only), or a plain numeric directive. Returns the
// position after the conversion letter, or null.
const char* ParsePlainPiece(const char* piece, UTL::detail::Directive& layout) {
    if (piece[0] == '%' && (piece[1] == 's' || piece[1] == 'c')) {
        layout.conv = piece[1];
        return piece + 2;
    }
    const char* after = UTL::detail::ParseDirective(piece, layout);
    return after && UTL::detail::IsPlainScan(layout) ? after : nullptr;
}

// Converts a plain piece into `target`. False where sscanf must convert it.
bool ConvertPlain(const char* input, const UTL::detail::Directive& layout, void* target) {
    if (layout.conv == 's' || layout.conv == 'c') {
        ScanWideTarget(input, layout.conv, static_cast<char16_t*>(target));
        return true;
    }
    if (UTL::detail::IsFloatingConversion(static_cast<unsigned char>(layout.conv))) {
        return layout.size == 'l' ? StoreFloating<double>(input, target)
                                  : StoreFloating<float>(input, target);
    }
    const UTL::detail::ScannedInteger number = UTL::detail::ScanInteger(input, layout);
    if (number.found) StoreInteger(target, layout, number);
    return true;
}

// The conversion scan of a piece by sscanf, into the caller's target.
void ConvertByCLibrary(const char* input, size_t inputLength, char* piece, void* target,
                       char* strings, size_t stringsSize) {
    char guarded[kScanArea];
    const char p1 = piece[0] == '%' ? piece[1] : 0;
    if (p1 == '[') {
        // Wide target: scan narrow, then widen with a terminator.
        GuardScanFormat(piece, guarded, stringsSize, inputLength);
        strings[0] = strings[1] = 0;
        if (std::sscanf(input, guarded, strings) == 1) {
            UTL::AsciiToUnicode(static_cast<char16_t*>(target), strings);
        }
        return;
    }
    if (p1 == 'S' || p1 == 'C') piece[1] = p1 == 'S' ? 's' : 'c';  // narrow target
    GuardScanFormat(piece, guarded, 0, inputLength);
    std::sscanf(input, guarded, target);
}

// ---- One piece ----

// Smallest byte 1..126 absent from `s`, or 0 when all occur.
char UnusedByte(const char* s) {
    bool seen[128] = {};
    for (; *s; ++s) {
        const unsigned char c = static_cast<unsigned char>(*s);
        if (c < 128) seen[c] = true;
    }
    for (int v = 1; v <= 126; ++v) {
        if (!seen[v]) return static_cast<char>(v);
    }
    return 0;
}

struct ScanState {
    char* input;  // narrowed input
    size_t inputLength;
    size_t position;  // current input position
    char* strings;    // the area for string and character fields
    size_t stringsSize;
};

// Skips the input characters equal to `skip` (the fourth character of the
// measuring format, 0 for none).
char* SkipRepeated(ScanState& st, char skip) {
    char* rest = st.input + st.position;
    if (skip) {
        while (*rest && *rest == skip) ++rest;
    }
    st.position = static_cast<size_t>(rest - st.input);
    return rest;
}

// Steps over the measured field and its delimiter; sets `done` when that
// steps over the end of the input. The field text lies inside the input; the
// bound only matters for non-text results such as "%n" or "%p" that measure
// binary values.
void Advance(ScanState& st, size_t fieldLength, bool& done) {
    const size_t restLength = st.inputLength - st.position;
    const size_t step = fieldLength < restLength ? fieldLength : restLength;
    if (st.input[st.position + step] == 0) {
        done = true;
    } else {
        st.position += step + 1;
    }
}

// A plain piece, read from the format without building its measuring format:
// what that format would measure and the character before the field that it
// would skip.
// (The directive itself is kept apart: records above 64 bytes are cleared by
// a slow string instruction.)
struct PlainPiece {
    Measure measure;
    char skip = 0;
};

// Reads how the plain piece in [piece, end), whose directive `layout` ends
// at `after`, is measured. False when its delimiter is not ASCII: that needs
// the delimiter substitution of the general path.
bool ReadPlainPiece(const char* piece, const char* end, const char* after, const Directive& layout,
                    PlainPiece& plain) {
    const size_t length = static_cast<size_t>(end - piece);
    if (layout.conv == 's' || layout.conv == 'c') {
        // The measuring format is the piece itself.
        plain.measure.kind = layout.conv == 's' ? Measure::Word : Measure::Char;
        plain.skip = length > 3 ? piece[3] : 0;
    } else {
        // "%[W][^X]...": the fourth character is X, "^" or "[" for 0, 1 or 2
        // width digits (a plain width has no leading zero).
        const int width = layout.width;
        plain.measure.delimiter = after < end ? *after : ' ';
        plain.measure.width = static_cast<size_t>(width);
        plain.skip = width == 0 ? plain.measure.delimiter : width < 10 ? '^' : '[';
    }
    return static_cast<unsigned char>(plain.skip) <= 0x7F;
}

int ScanPlainPiece(ScanState& st, const Directive& layout, const PlainPiece& plain,
                   const char* pieceStart, const char* pieceEnd, void* target, bool& done) {
    const char* rest = SkipRepeated(st, plain.skip);
    size_t fieldLength;
    const int measured = MeasureBy(rest, plain.measure, fieldLength);
    if (target && !ConvertPlain(rest, layout, target)) {
        char piece[kScanArea];
        CopyCut(piece, pieceStart, pieceEnd);
        ConvertByCLibrary(rest, st.inputLength - st.position, piece, target, st.strings,
                          st.stringsSize);
    }
    Advance(st, fieldLength, done);
    return measured;
}

// Any other piece: measured by its measuring format, converted by sscanf
// unless `plainLayout` (its directive when plain, else null) says otherwise.
int ScanPiece(ScanState& st, char* piece, const Directive* plainLayout, void* target, bool& done) {
    char measuring[kScanArea];
    const size_t measuringLength = MeasuringFormat(piece, measuring);

    // A delimiter outside ASCII is swapped for an unused ASCII byte while
    // this field is scanned.
    char* rest = st.input + st.position;
    char delimiter = 0, substitute = 0;
    if (measuringLength > 3 && static_cast<unsigned char>(measuring[3]) > 0x7F) {
        delimiter = measuring[3];
        substitute = UnusedByte(rest);
        if (substitute) {
            UTL::ReplaceChars(rest, delimiter, substitute);
            UTL::ReplaceChars(piece, delimiter, substitute);
            UTL::ReplaceChars(measuring, delimiter, substitute);
        }
    }
    rest = SkipRepeated(st, measuringLength > 3 ? measuring[3] : 0);

    const size_t restLength = st.inputLength - st.position;
    size_t fieldLength;
    const int measured = MeasureField(rest, restLength, measuring, fieldLength);
    if (target && !(plainLayout && ConvertPlain(rest, *plainLayout, target))) {
        ConvertByCLibrary(rest, restLength, piece, target, st.strings, st.stringsSize);
    }
    if (substitute) UTL::ReplaceChars(rest, substitute, delimiter);
    Advance(st, fieldLength, done);
    return measured;
}

}  // namespace

namespace UTL {
namespace detail {

int ScanWide(const char16_t* input, const char16_t* format, va_list args) {
    if (!format) return 0;
    if (!input) input = u"";
    const size_t inputLength = lwcslen(input);
    const size_t formatLength = lwcslen(format);
    const size_t stringsSize = inputLength + 2;
    ScratchBuffer scratch(inputLength + 1 + formatLength + 1 + stringsSize);
    char* narrowInput = scratch.Data();
    char* narrowFormat = narrowInput + inputLength + 1;
    NarrowForScan(narrowInput, input);
    NarrowForScan(narrowFormat, format);
    const unsigned directives = CountDirectives(narrowFormat);
    if (directives == 0) return 0;

    ScanState st{narrowInput, inputLength, 0, narrowFormat + formatLength + 1, stringsSize};
    va_list targets;
    va_copy(targets, args);
    int result = 0;
    const char* pieceStart = narrowFormat;
    bool done = false;
    for (unsigned i = 0; i < directives && !done; ++i) {
        const char* pieceEnd = PieceEnd(pieceStart);
        void* target = va_arg(targets, void*);
        Directive layout;
        PlainPiece plain;
        // The piece's directive is read once; the general path gets the
        // record of a plain one (the cut copy it works on keeps the whole
        // directive, and the delimiter it swaps lies after it).
        const char* after = ParsePlainPiece(pieceStart, layout);
        if (after && ReadPlainPiece(pieceStart, pieceEnd, after, layout, plain)) {
            result += ScanPlainPiece(st, layout, plain, pieceStart, pieceEnd, target, done);
        } else {
            char piece[kScanArea];
            CopyCut(piece, pieceStart, pieceEnd);
            result += ScanPiece(st, piece, after ? &layout : nullptr, target, done);
        }
        pieceStart = pieceEnd;
    }
    va_end(targets);
    return result;
}

}  // namespace detail
}  // namespace UTL
