// Wide-text primitives, narrow/wide conversions and the wide printf/scanf
// engines.
#include <UTL/WideText.h>

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>

#include "PlainDirective.h"
#include "WideBlockScan.h"
#include "WideTextInternal.h"

namespace {

// Folding for lstricmp: the locale's tolower of the byte, read back as a signed
// char. Bytes the locale does not fold keep their negative value, so 0x80-0xFF
// order before ASCII (glibc's tolower would otherwise map them to 128-255).
int FoldNarrow(unsigned char byte) {
    return static_cast<signed char>(std::tolower(byte));
}

}  // namespace

// ---- Primitives -----------------------------------------------------------

// The scans are those of WideBlockScan.h (vector blocks where the target has
// them). Copies measure first and then move the units with the terminator, so
// a source that overlaps the destination is still copied whole.

unsigned int lwcslen(const char16_t* s) {
    return static_cast<unsigned int>(UTL::detail::TextLength(s));
}

char16_t* lwcscpy(char16_t* dst, const char16_t* src) {
    std::memmove(dst, src, (UTL::detail::TextLength(src) + 1) * sizeof(char16_t));
    return dst;
}

char16_t* lwcsncpy(char16_t* dst, const char16_t* src, int count) {
    // A negative count limits nothing.
    const std::size_t n = count < 0 ? UTL::detail::TextLength(src)
                                    : UTL::detail::TextLength(src, static_cast<std::size_t>(count));
    std::memmove(dst, src, n * sizeof(char16_t));
    dst[n] = 0;
    return dst;
}

char16_t* lwcscat(char16_t* dst, const char16_t* src) {
    lwcscpy(dst + lwcslen(dst), src);
    return dst;
}

int lwcscmp(const char16_t* a, const char16_t* b) {
    return UTL::detail::CompareUnits(a, b);
}

int lwcsncmp(const char16_t* a, const char16_t* b, unsigned int count) {
    return UTL::detail::CompareUnits(a, b, count);
}

int lwcsicmp(const char16_t* a, const char16_t* b) {
    int d;
    while ((d = int(ltowlower(*a)) - int(ltowlower(*b))) == 0 && *b) ++a, ++b;
    return UTL::detail::SignOf(d);
}

int lstricmp(const char* a, const char* b) {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    int d;
    while ((d = FoldNarrow(*pa) - FoldNarrow(*pb)) == 0 && *pb) ++pa, ++pb;
    return UTL::detail::SignOf(d);
}

char16_t* lwcschr(const char16_t* s, int c) {
    // No unit holds a value outside 0..0xFFFF.
    if (c < 0 || c > 0xFFFF) return nullptr;
    const char16_t* at = UTL::detail::FindUnitOrEnd(s, static_cast<char16_t>(c));
    return int(*at) == c ? const_cast<char16_t*>(at) : nullptr;
}

char16_t* lwcsstr(const char16_t* s, const char16_t* sub) {
    if (!*sub) return const_cast<char16_t*>(s);
    return const_cast<char16_t*>(UTL::detail::FindText(s, sub));
}

char16_t ltowlower(char16_t c) {
    if ((c >= 0x41 && c <= 0x5A) || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c == 0x152 || c == 0x160 || c == 0x17D) return c + 1;
    return c;
}

char16_t ltowupper(char16_t c) {
    if ((c >= 0x61 && c <= 0x7A) || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0x153 || c == 0x161 || c == 0x17E) return c - 1;
    return c;
}

// ---- Conversions ------------------------------------------------------------

namespace UTL {

void AsciiToUnicode(char16_t* dst, const char* src) {
    if (src) {
        for (; *src; ++src) *dst++ = static_cast<unsigned char>(*src);
    }
    *dst = 0;
}

void AsciiToUnicode(char16_t* dst, unsigned int size, const char* src) {
    if (size == 0) return;
    if (src) {
        for (; *src && size > 1; ++src, --size) *dst++ = static_cast<unsigned char>(*src);
    }
    *dst = 0;
}

void UnicodeToAscii(char* dst, const char16_t* src) {
    if (src) {
        for (; *src; ++src) *dst++ = *src > 0xFF ? ' ' : static_cast<char>(*src);
    }
    *dst = 0;
}

void UnicodeToAscii(char* dst, unsigned int size, const char16_t* src) {
    if (size == 0) return;
    if (src) {
        for (; *src && size > 1; ++src, --size)
            *dst++ = *src > 0xFF ? ' ' : static_cast<char>(*src);
    }
    *dst = 0;
}

bool HasUnicodeCharacters(const char16_t* s) {
    if (!s) return false;
    for (; *s; ++s) {
        if (*s > 0xFF) return true;
    }
    return false;
}

}  // namespace UTL

// ---- Formatted wide output --------------------------------------------------
//
// The engine walks the wide format and copies literal text. A letter
// directive (%s %S %c %C directly after the "%") is appended as it is; every
// other directive is classified by its conversion character and converted
// with exactly one argument: plain integer and floating-point directives by
// PlainDirective.h, the rest, narrowed, by the C library's snprintf. The
// result is gathered in a local accumulator and copied into the caller's
// buffer only at the end, because a double out of range must leave the buffer
// untouched.

namespace {

using UTL::detail::BoundedText;
using UTL::detail::IsSpace;
using UTL::detail::ReadDecimal;

// Fixed work areas of one directive (terminator included).
constexpr unsigned kDirectiveArea = 100;  // the directive text as written
constexpr unsigned kRewriteArea = 50;     // the star-mode rewritten directive
constexpr unsigned kNarrowArea = 100;     // snprintf's text for one directive

// Widths of the engine's own wide-string field are limited to this many code
// units, so a hostile width cannot demand gigabytes.
constexpr long kMaxFieldWidth = 65535;

// Doubles beyond +-1e+50 (infinities included) fail the whole call.
constexpr double kDoubleLimit = 1e+50;
constexpr const char* kSourceName = "..\\..\\Src\\CStringmodul";
constexpr int kRangeLogLine = 1396;

enum class Conv { None, Integer, Double, Count, Pointer, NarrowString, WideString, Percent };

// Class of the conversion character of a classified directive ("c" and "C"
// are only letter directives).
Conv ClassOf(unsigned c) {
    switch (c) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            return Conv::Integer;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
            return Conv::Double;
        case 'n':
            return Conv::Count;
        case 'p':
            return Conv::Pointer;
        case 'S':
            return Conv::NarrowString;
        case 's':
            return Conv::WideString;
        case '%':
            return Conv::Percent;
        default:
            return Conv::None;
    }
}

bool IsDigit(unsigned c) {
    return c >= '0' && c <= '9';
}
// Flags, width and precision characters counted by the classification.
bool IsSpecChar(unsigned c) {
    return c == ' ' || c == '+' || c == '-' || c == '.' || IsDigit(c);
}
bool IsRewriteFlag(unsigned c) {
    return c == '-' || c == '+' || c == '0' || c == ' ' || c == '#';
}

// Growing wide result with a small inline area. Units beyond `limit` are
// dropped (the bounded entry point never needs them), and so is everything
// after a zero unit, which ends the result anyway.
class WideAccumulator {
public:
    explicit WideAccumulator(size_t limit) : limit_(limit) {}
    ~WideAccumulator() {
        if (data_ != inline_) delete[] data_;
    }
    WideAccumulator(const WideAccumulator&) = delete;
    WideAccumulator& operator=(const WideAccumulator&) = delete;

    void Append(const char16_t* s, size_t n) {
        n = Room(n);
        for (size_t i = 0; i < n; ++i) data_[size_ + i] = s[i];
        size_ += n;
    }
    void AppendNarrow(const char* s, size_t n) {
        n = Room(n);
        for (size_t i = 0; i < n; ++i) data_[size_ + i] = static_cast<unsigned char>(s[i]);
        size_ += n;
    }
    void AppendFill(char16_t c, size_t n) {
        n = Room(n);
        for (size_t i = 0; i < n; ++i) data_[size_ + i] = c;
        size_ += n;
    }
    void AppendUnit(char16_t c) {
        if (c == 0) {
            limit_ = size_;  // the result ends here
        } else if (Room(1) == 1) {
            data_[size_++] = c;
        }
    }
    // Writes the result and its terminator to `buffer`.
    void CopyTo(char16_t* buffer) const {
        std::memcpy(buffer, data_, size_ * sizeof(char16_t));
        buffer[size_] = 0;
    }

private:
    // How many of `n` units may be appended; grows the storage for them.
    size_t Room(size_t n) {
        if (n > limit_ - size_) n = limit_ - size_;
        if (n > capacity_ - size_) Grow(size_ + n);
        return n;
    }
    void Grow(size_t needed) {
        size_t capacity = capacity_ * 2;
        if (capacity < needed) capacity = needed;
        char16_t* data = new char16_t[capacity];
        std::memcpy(data, data_, size_ * sizeof(char16_t));
        if (data_ != inline_) delete[] data_;
        data_ = data;
        capacity_ = capacity;
    }

    static constexpr size_t kInline = 512;
    char16_t inline_[kInline];
    char16_t* data_ = inline_;
    size_t size_ = 0;
    size_t capacity_ = kInline;
    size_t limit_;
};

// The caller's argument list, read by class.
struct ArgReader {
    va_list ap;
};

// The directive text handed to the C library, in its fixed work area.
class DirectiveText : public BoundedText {
public:
    DirectiveText() : BoundedText(m_area, sizeof m_area) {}
    DirectiveText(const DirectiveText&) = delete;
    DirectiveText& operator=(const DirectiveText&) = delete;

private:
    char m_area[kRewriteArea];
};

// Leading decimal integer as the wide-string field reads it: white space, one
// sign, digits; saturated far above any usable width.
long LeadingInt(const char* s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;
    const long v = static_cast<long>(ReadDecimal(s, 1000000000UL));
    return negative ? -v : v;
}

// The engine's own layout of "%s" with flags: "width.precision" read from the
// text after the "%", split at dots (empty pieces skipped). Right-aligned for
// a positive width, else left-aligned; a taken text longer than the field
// keeps its last (right) or first (left) |width| units.
void AppendWideField(WideAccumulator& out, const char* layout, const char16_t* arg) {
    long width = 0, precision = 0;
    int token = 0;
    for (const char* s = layout; *s && token < 2;) {
        if (*s == '.') {
            ++s;
            continue;
        }
        if (token++ == 0) {
            width = LeadingInt(s);
        } else {
            precision = LeadingInt(s);
        }
        while (*s && *s != '.') ++s;
    }
    if (precision < 0) precision = -precision;
    const bool right = width > 0;
    size_t field = static_cast<size_t>(width < 0 ? -width : width);
    if (field > static_cast<size_t>(kMaxFieldWidth)) field = kMaxFieldWidth;
    if (field == 0) return;

    if (!arg) arg = u"";
    size_t taken = 0;
    const size_t limit = precision != 0 ? static_cast<size_t>(precision) : SIZE_MAX;
    while (taken < limit && arg[taken]) ++taken;

    if (right) {
        if (taken >= field) {
            out.Append(arg + taken - field, field);
        } else {
            out.AppendFill(u' ', field - taken);
            out.Append(arg, taken);
        }
    } else {
        const size_t shown = taken < field ? taken : field;
        out.Append(arg, shown);
        out.AppendFill(u' ', field - shown);
    }
}

// Width and precision beyond these would make glibc allocate work space of
// their size, yet cannot change the first 99 characters of the text, which is
// all the narrow area keeps: a precision of 1100 already shows every digit of
// any double (and of any in-range one with %f) exactly and pads integers with
// more zeros than the area holds; a width that pads beyond the longest such
// text by more than the area shows only padding there.
constexpr unsigned long kMaxPrecision = 1100;
constexpr unsigned long kMaxWidth = 4096;
// Numbers are read up to this value: above INT_MAX, where snprintf refuses a
// field anyway, and within every platform's unsigned long.
constexpr unsigned long kCountCap = 0xFFFFFFFFUL;

// Rewrites "%<flags><width>.<precision><size><conv>" with its numbers limited
// as above. `narrowArg` is the string of a narrow-string directive, else null:
// its precision only limits how much text is read and stays, and its width
// keeps room to pad past the text shown. Texts of other shapes are not
// touched: glibc rejects those without allocating.
void LimitFieldNumbers(DirectiveText& text, const char* narrowArg) {
    const char* s = text.Terminate();
    if (*s++ != '%') return;
    const char* flags = s;
    while (*s == '-' || *s == '+' || *s == ' ' || *s == '#' || *s == '0') ++s;
    const int flagCount = static_cast<int>(s - flags);
    unsigned long width = ReadDecimal(s, kCountCap);
    const bool hasPrecision = *s == '.';
    unsigned long precision = 0;
    if (hasPrecision) {
        ++s;
        precision = ReadDecimal(s, kCountCap);
    }
    const char* tail = s;
    if (*s == 'h' || *s == 'l') ++s;
    if (ClassOf(static_cast<unsigned char>(*s)) == Conv::None || s[1] != 0) return;

    if ((narrowArg || precision <= kMaxPrecision) && width <= kMaxWidth) return;
    if (!narrowArg && precision > kMaxPrecision) precision = kMaxPrecision;
    if (width > kMaxWidth) {
        size_t widthLimit = kMaxWidth;
        if (narrowArg) {
            const size_t shown =
                hasPrecision ? strnlen(narrowArg, precision) : std::strlen(narrowArg);
            if (shown + kNarrowArea > widthLimit) widthLimit = shown + kNarrowArea;
        }
        if (width > widthLimit) width = widthLimit;
    }

    char area[kRewriteArea];
    BoundedText rebuilt(area, sizeof area);
    rebuilt.Put('%');
    rebuilt.Append(flags, static_cast<size_t>(flagCount));
    if (width) rebuilt.AppendDecimal(static_cast<long long>(width));
    if (hasPrecision) {
        rebuilt.Put('.');
        rebuilt.AppendDecimal(static_cast<long long>(precision));
    }
    rebuilt.Append(tail);
    text.Shrink(0);
    text.Append(rebuilt.Terminate());
}

// Appends snprintf's text for one directive, cut to the narrow work area.
// An error of snprintf appends nothing.
template <typename T>
void AppendConverted(WideAccumulator& out, const char* directive, T value) {
    char narrow[kNarrowArea];
    const int n = std::snprintf(narrow, sizeof narrow, directive, value);
    if (n <= 0) return;
    const size_t shown = static_cast<unsigned>(n) < sizeof narrow ? n : sizeof narrow - 1;
    out.AppendNarrow(narrow, shown);
}

// ---- Plain directives ----
//
// snprintf's set-up dominates the cost of a one-directive call, so plain
// integer and floating-point directives are converted by PlainDirective.h;
// anything else goes to snprintf. Both are cut to the narrow area like
// snprintf's text.

void AppendPlainField(WideAccumulator& out, const char* field, size_t length) {
    out.AppendNarrow(field, length < kNarrowArea - 1 ? length : kNarrowArea - 1);
}

bool ParseWholeDirective(const char* directive, UTL::detail::DirectiveLayout& layout) {
    const char* end = UTL::detail::ParseDirective(directive, layout);
    return end && *end == 0;
}

// `value` is the argument as read (an int, or a long for "l"); "h" narrows it
// as the C library would.
bool AppendPlainInteger(WideAccumulator& out, const char* directive, long value) {
    UTL::detail::DirectiveLayout layout;
    if (!ParseWholeDirective(directive, layout)) return false;
    bool negative = false;
    unsigned long long magnitude;
    if (layout.conv == 'd' || layout.conv == 'i') {
        const long long v = layout.size == 'h' ? static_cast<short>(value) : value;
        negative = v < 0;
        magnitude = negative ? 0ULL - static_cast<unsigned long long>(v) : v;
    } else if (layout.size == 'l') {
        magnitude = static_cast<unsigned long>(value);
    } else {
        magnitude =
            layout.size == 'h' ? static_cast<unsigned short>(value) : static_cast<unsigned>(value);
    }
    char field[UTL::detail::kFieldMax];
    AppendPlainField(out, field, UTL::detail::FormatInteger(field, layout, negative, magnitude));
    return true;
}

bool AppendPlainDouble(WideAccumulator& out, const char* directive, double value) {
    UTL::detail::DirectiveLayout layout;
    if (!ParseWholeDirective(directive, layout)) return false;
    char field[UTL::detail::kFieldMax];
    const size_t length = UTL::detail::FormatDouble(field, layout, value);
    if (length == 0) return false;
    AppendPlainField(out, field, length);
    return true;
}

// snprintf gets the type the text names.
void AppendInteger(WideAccumulator& out, DirectiveText& text, long value) {
    const char* directive = text.Terminate();
    if (AppendPlainInteger(out, directive, value)) return;
    const char conv = text.Back(1);
    const bool signedConv = conv == 'd' || conv == 'i';
    if (text.Back(2) == 'l') {
        if (signedConv) {
            AppendConverted(out, directive, value);
        } else {
            AppendConverted(out, directive, static_cast<unsigned long>(value));
        }
    } else if (signedConv) {
        AppendConverted(out, directive, static_cast<int>(value));
    } else {
        AppendConverted(out, directive, static_cast<unsigned>(value));
    }
}

// Whether an integer directive names the size letter "l": its argument is
// then a long (64 bits on LP64 targets), else an int. Read from the text as
// handed over, past "%" and the flag, width and precision characters.
bool TakesLong(const DirectiveText& text) {
    const char* s = text.Data();
    const char* end = s + text.Size();
    if (s < end && *s == '%') ++s;
    while (s < end && (IsSpecChar(static_cast<unsigned char>(*s)) || *s == '#')) ++s;
    return s < end && *s == 'l';
}

void LogRangeFailure() {
    UTL::LogManagementC::Log(kSourceName, kRangeLogLine, UTL::LogSinkI::LOG_DevMessage,
                             "lvswprintf\n");
    UTL::LogManagementC::Log(kSourceName, kRangeLogLine + 1, UTL::LogSinkI::LOG_DevMessage,
                             "double value to huge!\n");
}

// "%lS"/"%hS" would ask glibc for a wchar_t string: the size letter is
// dropped and the narrow text shown as with "%s".
void AsNarrowStringDirective(DirectiveText& text) {
    if (text.Back(2) == 'l' || text.Back(2) == 'h') text.Shrink(text.Size() - 1);
    text.Data()[text.Size() - 1] = 's';
}

// Converts one classified directive by its class. `text` is the directive as
// handed to the C library. Returns false on the double range failure.
bool ConvertDirective(WideAccumulator& out, ArgReader& args, Conv conv, DirectiveText& text) {
    // A text whose conversion character was lost (to the work-area cut, or by
    // a directive too long to classify) still takes its argument but shows
    // nothing.
    const bool complete =
        text.Size() > 1 && ClassOf(static_cast<unsigned char>(text.Back(1))) == conv;
    switch (conv) {
        case Conv::None:
            return true;
        case Conv::Percent:
            out.AppendUnit(u'%');
            return true;
        case Conv::Integer: {
            const long value = TakesLong(text) ? va_arg(args.ap, long) : va_arg(args.ap, int);
            if (!complete) return true;
            LimitFieldNumbers(text, nullptr);
            AppendInteger(out, text, value);
            return true;
        }
        case Conv::Double: {
            const double value = va_arg(args.ap, double);
            if (value < -kDoubleLimit || value > kDoubleLimit) {
                LogRangeFailure();
                return false;
            }
            if (!complete) return true;
            LimitFieldNumbers(text, nullptr);
            if (!AppendPlainDouble(out, text.Terminate(), value)) {
                AppendConverted(out, text.Terminate(), value);
            }
            return true;
        }
        case Conv::Count:
            // Takes its pointer and stores nothing: a format that comes from
            // outside the program must not write through an argument.
            (void)va_arg(args.ap, void*);
            return true;
        case Conv::Pointer: {
            void* value = va_arg(args.ap, void*);
            if (!complete) return true;
            LimitFieldNumbers(text, nullptr);
            AppendConverted(out, text.Terminate(), value);
            return true;
        }
        case Conv::NarrowString: {
            const char* value = va_arg(args.ap, const char*);
            if (!complete) return true;
            AsNarrowStringDirective(text);
            if (!value) value = "";
            LimitFieldNumbers(text, value);
            AppendConverted(out, text.Terminate(), value);
            return true;
        }
        case Conv::WideString: {
            const char16_t* value = va_arg(args.ap, const char16_t*);
            AppendWideField(out, text.Terminate() + 1, value);
            return true;
        }
    }
    return true;
}

// Copies the directive as written (from its "%" to `end`), narrowed and cut to
// the directive area, then rewrites it for star mode into `out`: one flag,
// width and precision with each "*" replaced by the decimal value of the next
// int argument, size letter, conversion character, then the rest verbatim up
// to a further "%". Returns the conversion class the rewrite found, or None.
Conv RewriteStarDirective(const char16_t* pct, const char16_t* end, ArgReader& args,
                          DirectiveText& out) {
    char written[kDirectiveArea];
    unsigned n = 0;
    for (const char16_t* c = pct; c < end && n < kDirectiveArea - 1; ++c) {
        written[n++] = *c > 0xFF ? ' ' : static_cast<char>(*c);
    }
    written[n] = 0;

    const char* s = written;
    auto cur = [&s] { return static_cast<unsigned char>(*s); };
    out.Put(*s++);  // "%"
    if (IsRewriteFlag(cur()) && (s[1] == '*' || IsDigit(static_cast<unsigned char>(s[1])))) {
        out.Put(*s++);
    }
    // A width or precision: "*" takes the next int argument, else digits are copied.
    auto putNumber = [&] {
        if (cur() == '*') {
            out.AppendDecimal(va_arg(args.ap, int));
            ++s;
        } else {
            while (IsDigit(cur())) out.Put(*s++);
        }
    };
    putNumber();
    if (cur() == '.') {
        out.Put(*s++);
        putNumber();
    }
    if (cur() == 'h' || cur() == 'l') out.Put(*s++);
    Conv conv = ClassOf(cur());
    if (conv != Conv::None) out.Put(*s++);
    bool keepsStar = false;
    while (*s && *s != '%') {
        keepsStar |= *s == '*';
        out.Put(*s++);
    }
    return keepsStar ? Conv::None : conv;
}

bool HasStar(const char16_t* format) {
    for (; *format; ++format) {
        if (*format == u'*') return true;
    }
    return false;
}

// Handles one classified directive starting at `pct`. Returns the position
// after its extent, or null on the double range failure.
const char16_t* ClassifiedDirective(WideAccumulator& out, ArgReader& args, const char16_t* pct,
                                    bool starMode) {
    // Classification: up to 10 flag/width/precision characters, a size
    // letter, a conversion character.
    const char16_t* q = pct + 1;
    int counted = 0;
    while (counted < 10 && IsSpecChar(*q)) ++q, ++counted;
    if (*q == u'h' || *q == u'l') ++q, ++counted;
    Conv conv = ClassOf(*q);
    if (conv != Conv::None) ++q, ++counted;
    // Too long to classify: the extent shrinks to the bare "%" (the class and
    // its argument stay); unrecognised: the text resumes at the failing char.
    const char16_t* end = conv != Conv::None && counted >= 10 ? pct + 1 : q;

    DirectiveText text;
    if (starMode) {
        end = pct + 1;
        while (*end && ClassOf(*end) == Conv::None) ++end;
        if (*end) ++end;
        const Conv rewritten = RewriteStarDirective(pct, end, args, text);
        if (rewritten != Conv::None) conv = rewritten;
        // A "*" left unexpanded makes the directive unrecognised.
        for (const char* c = text.Terminate(); *c; ++c) {
            if (*c == '*') conv = Conv::None;
        }
    } else {
        text.AppendAscii(pct, static_cast<size_t>(end - pct));  // "%", flags, letters
    }
    if (!ConvertDirective(out, args, conv, text)) return nullptr;
    return end;
}

// Appends a letter directive (%s %S %c %C directly after the "%"): the whole
// string, or one code unit.
void LetterDirective(WideAccumulator& out, ArgReader& args, char16_t letter) {
    switch (letter) {
        case u's': {
            const char16_t* s = va_arg(args.ap, const char16_t*);
            if (s) out.Append(s, lwcslen(s));
            break;
        }
        case u'S': {
            const char* s = va_arg(args.ap, const char*);
            if (s) out.AppendNarrow(s, std::strlen(s));
            break;
        }
        case u'c':
            out.AppendUnit(static_cast<char16_t>(va_arg(args.ap, int)));
            break;
        default:  // 'C': the low byte, sign-extended
            out.AppendUnit(static_cast<char16_t>(static_cast<signed char>(va_arg(args.ap, int))));
            break;
    }
}

bool IsDirectiveLetter(char16_t c) {
    return c == u's' || c == u'S' || c == u'c' || c == u'C';
}

// The engine proper; `limit` bounds the code units kept.
int FormatWide(char16_t* buffer, size_t limit, const char16_t* format, va_list callerArgs) {
    if (!format || !*format) return 0;
    ArgReader args;
    va_copy(args.ap, callerArgs);
    const bool starMode = HasStar(format);
    WideAccumulator out(limit);
    const char16_t* p = format;
    bool failed = false;
    while (true) {
        const char16_t* pct = p;
        while (*pct && *pct != u'%') ++pct;
        out.Append(p, static_cast<size_t>(pct - p));
        if (!*pct) break;
        if (IsDirectiveLetter(pct[1])) {
            LetterDirective(out, args, pct[1]);
            p = pct + 2;
        } else if ((p = ClassifiedDirective(out, args, pct, starMode)) == nullptr) {
            failed = true;
            break;
        }
    }
    va_end(args.ap);
    if (!failed) out.CopyTo(buffer);
    return 0;
}

}  // namespace

int lvswprintf(char16_t* buffer, const char16_t* format, va_list args) {
    if (!buffer) return 0;
    return FormatWide(buffer, SIZE_MAX, format, args);
}

int lswprintf(char16_t* buffer, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = lvswprintf(buffer, format, args);
    va_end(args);
    return result;
}

int lsnwprintf(char16_t* buffer, unsigned int size, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = UTL::detail::lvsnwprintf(buffer, size, format, args);
    va_end(args);
    return result;
}

namespace UTL {
namespace detail {

int lvsnwprintf(char16_t* buffer, unsigned int capacity, const char16_t* format, va_list args) {
    if (!buffer || capacity == 0) return 0;
    return FormatWide(buffer, capacity - 1, format, args);
}

}  // namespace detail
}  // namespace UTL

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

// End of the piece that starts at `start`: the next "%" that does not begin a
// "%%" pair (pairs stay inside the piece).
const char* PieceEnd(const char* start) {
    const char* s = start;
    if (*s == '%' && s[1] != '%') ++s;  // the piece's own directive
    while (*s) {
        if (*s != '%') {
            ++s;
        } else if (s[1] == '%') {
            s += 2;
        } else {
            break;
        }
    }
    return s;
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

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
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

// One directive of a scanf format, from the character after its "%".
struct ScanDirective {
    const char* flags = nullptr;  // run of "*", "'" and "I" ("*" suppresses)
    const char* flagsEnd = nullptr;
    bool suppressed = false;
    bool hasWidth = false;
    unsigned long width = 0;
    bool allocate = false;        // "m"
    const char* sizes = nullptr;  // run of size letters
    const char* sizesEnd = nullptr;
    char conv = 0;
    const char* set = nullptr;  // a "[" set: from after the "[" to `end`
    const char* end = nullptr;  // just after the directive
};

bool IsScanSizeChar(char c) {
    return c && std::strchr("hlqLjzt", c) != nullptr;
}

// Reads the directive whose "%" precedes `s`. False when it is incomplete or
// unknown, or an unterminated "[" set: sscanf stops there and returns what it
// has, exactly as at the end of the format.
bool ReadScanDirective(const char* s, ScanDirective& d) {
    const char* digits = s;
    while (IsAsciiDigit(*s)) ++s;
    if (*s != '$' || s == digits) s = digits;  // else a positional "N$": dropped
    if (s != digits) ++s;
    d.flags = s;
    for (; *s == '*' || *s == '\'' || *s == 'I'; ++s) d.suppressed |= *s == '*';
    d.flagsEnd = s;
    d.hasWidth = IsAsciiDigit(*s);
    d.width = ReadDecimal(s, kCountCap);
    for (; *s == 'm'; ++s) d.allocate = true;
    d.sizes = s;
    while (IsScanSizeChar(*s)) ++s;
    d.sizesEnd = s;
    d.conv = *s;
    if (!d.conv || !std::strchr("diouxXaAeEfFgGsScC[pn%", d.conv)) return false;
    d.set = ++s;
    if (d.conv == '[') {
        if (*s == '^') ++s;
        if (*s == ']') ++s;
        while (*s && *s != ']') ++s;
        if (!*s) return false;
        ++s;
    }
    d.end = s;
    return true;
}

// Limits a string or character field to what an area of `areaBytes` holds
// (wide forms at 4 bytes a character, with the terminator).
void LimitTextWidth(ScanDirective& d, size_t areaBytes) {
    bool wide = d.conv == 'S' || d.conv == 'C';
    for (const char* c = d.sizes; c < d.sizesEnd; ++c) wide |= *c != 'h';
    const unsigned long cap = wide ? areaBytes / 4 - 1 : areaBytes - 1;
    const bool single = d.conv == 'c' || d.conv == 'C';  // default width 1
    if (d.hasWidth ? d.width > cap || (d.width == 0 && !single) : !single) {
        d.width = cap;
        d.hasWidth = true;
    }
}

void WriteScanDirective(BoundedText& text, const ScanDirective& d) {
    text.Put('%');
    if (d.suppressed) text.Put('*');
    for (const char* c = d.flags; c < d.flagsEnd; ++c) {
        if (*c != '*') text.Put(*c);
    }
    if (d.hasWidth) text.AppendDecimal(static_cast<long long>(d.width));
    text.Append(d.sizes, static_cast<size_t>(d.sizesEnd - d.sizes));
    text.Put(d.conv);
    text.Append(d.set, static_cast<size_t>(d.end - d.set));
}

// Rewrites a scanf format so it is safe to run with exactly one target:
// positional "N$" prefixes are dropped, "%m" allocation becomes assignment
// suppression, everything from a second assigning directive on is cut off
// and, when `areaBytes` is not 0, string and character fields are limited to
// what fits an area of that many bytes. Widths above `inputLength` + 1 are
// lowered to it: no field can take more than the rest of the input, so
// nothing changes but the numbers stay small.
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
        ScanDirective d;
        if (!ReadScanDirective(s + 1, d)) break;
        const bool assigning = !d.suppressed && d.conv != '%';
        if (assigning && assigned) break;  // no target for a second field
        if (d.allocate && assigning) d.suppressed = true;
        assigned = assigned || (assigning && !d.allocate);
        if (d.width > inputLength + 1) d.width = inputLength + 1;
        if (areaBytes && std::strchr("sScC[", d.conv) && !d.suppressed) {
            LimitTextWidth(d, areaBytes);
        }
        WriteScanDirective(text, d);
        s = d.end;
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
void StoreInteger(void* target, const UTL::detail::DirectiveLayout& layout,
                  const UTL::detail::ScannedInteger& number) {
    if (layout.conv == 'd' || layout.conv == 'i') {
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
const char* ParsePlainPiece(const char* piece, UTL::detail::DirectiveLayout& layout) {
    if (piece[0] == '%' && (piece[1] == 's' || piece[1] == 'c')) {
        layout.conv = piece[1];
        return piece + 2;
    }
    const char* after = UTL::detail::ParseDirective(piece, layout);
    return after && UTL::detail::IsPlainScan(layout) ? after : nullptr;
}

// Converts a plain piece into `target`. False where sscanf must convert it.
bool ConvertPlain(const char* input, const UTL::detail::DirectiveLayout& layout, void* target) {
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

void ReplaceByte(char* s, char from, char to) {
    for (; *s; ++s) {
        if (*s == from) *s = to;
    }
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
struct PlainPiece {
    UTL::detail::DirectiveLayout layout;
    Measure measure;
    char skip = 0;
};

// Recognises a plain piece in [piece, end) whose delimiter is ASCII (others
// need the delimiter substitution of the general path).
bool ReadPlainPiece(const char* piece, const char* end, PlainPiece& plain) {
    const char* after = ParsePlainPiece(piece, plain.layout);
    if (!after) return false;
    const size_t length = static_cast<size_t>(end - piece);
    if (plain.layout.conv == 's' || plain.layout.conv == 'c') {
        // The measuring format is the piece itself.
        plain.measure.kind = plain.layout.conv == 's' ? Measure::Word : Measure::Char;
        plain.skip = length > 3 ? piece[3] : 0;
    } else {
        // "%[W][^X]...": the fourth character is X, "^" or "[" for 0, 1 or 2
        // width digits (a plain width has no leading zero).
        const int width = plain.layout.width;
        plain.measure.delimiter = after < end ? *after : ' ';
        plain.measure.width = static_cast<size_t>(width);
        plain.skip = width == 0 ? plain.measure.delimiter : width < 10 ? '^' : '[';
    }
    return static_cast<unsigned char>(plain.skip) <= 0x7F;
}

int ScanPlainPiece(ScanState& st, const PlainPiece& plain, const char* pieceStart,
                   const char* pieceEnd, void* target, bool& done) {
    const char* rest = SkipRepeated(st, plain.skip);
    size_t fieldLength;
    const int measured = MeasureBy(rest, plain.measure, fieldLength);
    if (target && !ConvertPlain(rest, plain.layout, target)) {
        char piece[kScanArea];
        CopyCut(piece, pieceStart, pieceEnd);
        ConvertByCLibrary(rest, st.inputLength - st.position, piece, target, st.strings,
                          st.stringsSize);
    }
    Advance(st, fieldLength, done);
    return measured;
}

// Any other piece: measured by its measuring format, converted by sscanf
// unless plain.
int ScanPiece(ScanState& st, char* piece, void* target, bool& done) {
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
            ReplaceByte(rest, delimiter, substitute);
            ReplaceByte(piece, delimiter, substitute);
            ReplaceByte(measuring, delimiter, substitute);
        }
    }
    rest = SkipRepeated(st, measuringLength > 3 ? measuring[3] : 0);

    const size_t restLength = st.inputLength - st.position;
    size_t fieldLength;
    const int measured = MeasureField(rest, restLength, measuring, fieldLength);
    UTL::detail::DirectiveLayout layout;
    if (target && !(ParsePlainPiece(piece, layout) && ConvertPlain(rest, layout, target))) {
        ConvertByCLibrary(rest, restLength, piece, target, st.strings, st.stringsSize);
    }
    if (substitute) ReplaceByte(rest, substitute, delimiter);
    Advance(st, fieldLength, done);
    return measured;
}

}  // namespace

int lvswscanf(const char16_t* input, const char16_t* format, va_list args) {
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
        PlainPiece plain;
        if (ReadPlainPiece(pieceStart, pieceEnd, plain)) {
            result += ScanPlainPiece(st, plain, pieceStart, pieceEnd, target, done);
        } else {
            char piece[kScanArea];
            CopyCut(piece, pieceStart, pieceEnd);
            result += ScanPiece(st, piece, target, done);
        }
        pieceStart = pieceEnd;
    }
    va_end(targets);
    return result;
}

int lswscanf(const char16_t* input, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = lvswscanf(input, format, args);
    va_end(args);
    return result;
}
