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

#include "DirectFormat.h"
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
// The engine walks the wide format, copies literal text, handles %s/%S/%c/%C
// itself and hands every other directive, narrowed, with exactly one argument
// to the C library's snprintf. The result is gathered in a local accumulator
// and copied into the caller's buffer only at the end, because a double out of
// range must leave the buffer untouched.

namespace {

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

// Class of a conversion character of a general directive ("c" and "C" are
// only handled as fast directives).
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

// Small bounded narrow text (one of the fixed work areas).
template <unsigned N>
class NarrowArea {
public:
    void Push(char c) {
        if (size_ < N - 1) text_[size_++] = c;
    }
    void PushInt(int v) {
        char digits[16];
        unsigned long long m = v < 0 ? 0ULL - static_cast<long long>(v) : static_cast<unsigned>(v);
        int n = 0;
        do digits[n++] = static_cast<char>('0' + m % 10);
        while ((m /= 10) != 0);
        if (v < 0) Push('-');
        while (n > 0) Push(digits[--n]);
    }
    const char* Text() {
        text_[size_] = 0;
        return text_;
    }
    unsigned Size() const { return size_; }
    char Last() const { return size_ ? text_[size_ - 1] : 0; }
    char BeforeLast() const { return size_ > 1 ? text_[size_ - 2] : 0; }
    void SetLast(char c) { text_[size_ - 1] = c; }
    void Assign(const char* s) {
        size_ = 0;
        while (*s) Push(*s++);
    }
    void DropBeforeLast() {
        text_[size_ - 2] = text_[size_ - 1];
        --size_;
    }

private:
    char text_[N];
    unsigned size_ = 0;
};

using DirectiveText = NarrowArea<kRewriteArea>;

// Leading decimal integer as the wide-string field reads it: white space, one
// sign, digits; saturated far above any usable width.
long LeadingInt(const char* s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;
    long v = 0;
    for (; IsDigit(static_cast<unsigned char>(*s)); ++s) {
        if (v < 1000000000L) v = v * 10 + (*s - '0');
    }
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

unsigned long ReadCount(const char*& s) {
    unsigned long v = 0;
    for (; IsDigit(static_cast<unsigned char>(*s)); ++s) {
        if (v < 100000000000UL) v = v * 10 + static_cast<unsigned>(*s - '0');
    }
    return v;
}

// Rewrites "%<flags><width>.<precision><size><conv>" with its numbers limited
// as above. `narrowArg` is the string of a narrow-string directive, else null:
// its precision only limits how much text is read and stays, and its width
// keeps room to pad past the text shown. Texts of other shapes are not
// touched: glibc rejects those without allocating.
void LimitFieldNumbers(DirectiveText& text, const char* narrowArg) {
    const char* s = text.Text();
    if (*s++ != '%') return;
    const char* flags = s;
    while (*s == '-' || *s == '+' || *s == ' ' || *s == '#' || *s == '0') ++s;
    const int flagCount = static_cast<int>(s - flags);
    unsigned long width = ReadCount(s);
    const bool hasPrecision = *s == '.';
    unsigned long precision = 0;
    if (hasPrecision) {
        ++s;
        precision = ReadCount(s);
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

    char rebuilt[kRewriteArea];
    char precisionText[24] = "";
    if (hasPrecision) std::snprintf(precisionText, sizeof precisionText, ".%lu", precision);
    char widthText[24] = "";
    if (width) std::snprintf(widthText, sizeof widthText, "%lu", width);
    std::snprintf(rebuilt, sizeof rebuilt, "%%%.*s%s%s%s", flagCount, flags, widthText,
                  precisionText, tail);
    text.Assign(rebuilt);
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

// ---- Direct conversion of the common directive shapes ----
//
// snprintf's set-up dominates the cost of a one-directive call, so the shapes
// "%[flags][width][.precision][h|l]conv" of the integer and the plain
// floating-point conversions are produced directly (DirectFormat.h); anything
// else goes to snprintf. Both are cut to the narrow area like snprintf's text.

void AppendDirect(WideAccumulator& out, const char* field, size_t length) {
    out.AppendNarrow(field, length < kNarrowArea - 1 ? length : kNarrowArea - 1);
}

bool ParseWholeDirective(const char* directive, UTL::detail::DirectiveLayout& layout) {
    const char* end = UTL::detail::ParseDirective(directive, layout);
    return end && *end == 0;
}

bool AppendIntegerDirect(WideAccumulator& out, const char* directive, int value) {
    UTL::detail::DirectiveLayout layout;
    if (!ParseWholeDirective(directive, layout)) return false;
    // The slot is a 32-bit int; "h" narrows it as the C library would.
    bool negative = false;
    unsigned long long magnitude;
    if (layout.conv == 'd' || layout.conv == 'i') {
        const long long v = layout.size == 'h' ? static_cast<short>(value) : value;
        negative = v < 0;
        magnitude = negative ? 0ULL - static_cast<unsigned long long>(v) : v;
    } else {
        magnitude =
            layout.size == 'h' ? static_cast<unsigned short>(value) : static_cast<unsigned>(value);
    }
    char field[UTL::detail::kDirectFieldMax];
    AppendDirect(out, field, UTL::detail::FormatInteger(field, layout, negative, magnitude));
    return true;
}

bool AppendDoubleDirect(WideAccumulator& out, const char* directive, double value) {
    UTL::detail::DirectiveLayout layout;
    if (!ParseWholeDirective(directive, layout)) return false;
    char field[UTL::detail::kDirectFieldMax];
    const size_t length = UTL::detail::FormatDouble(field, layout, value);
    if (length == 0) return false;
    AppendDirect(out, field, length);
    return true;
}

void AppendInteger(WideAccumulator& out, DirectiveText& text, int value) {
    if (AppendIntegerDirect(out, text.Text(), value)) return;
    // The slot is an int whatever the size letter; snprintf gets the type the
    // text names, so "%lx" shows the 32-bit pattern as a 32-bit platform did.
    const char conv = text.Last();
    const bool signedConv = conv == 'd' || conv == 'i';
    if (text.BeforeLast() == 'l') {
        if (signedConv) {
            AppendConverted(out, text.Text(), static_cast<long>(value));
        } else {
            AppendConverted(out, text.Text(),
                            static_cast<unsigned long>(static_cast<unsigned>(value)));
        }
    } else if (signedConv) {
        AppendConverted(out, text.Text(), value);
    } else {
        AppendConverted(out, text.Text(), static_cast<unsigned>(value));
    }
}

// "%n" is not handed to snprintf (glibc refuses it in writable formats): as
// the directive is alone in its snprintf call, the count is 0, stored with the
// width the size letter names.
void StoreCount(const DirectiveText& text, void* target) {
    if (!target) return;
    switch (text.BeforeLast()) {
        case 'h':
            *static_cast<short*>(target) = 0;
            break;
        case 'l':
            *static_cast<long*>(target) = 0;
            break;
        default:
            *static_cast<int*>(target) = 0;
            break;
    }
}

void LogRangeFailure() {
    UTL::LogManagementC::Log(kSourceName, kRangeLogLine, UTL::LogSinkI::LOG_DevMessage,
                             "lvswprintf\n");
    UTL::LogManagementC::Log(kSourceName, kRangeLogLine + 1, UTL::LogSinkI::LOG_DevMessage,
                             "double value to huge!\n");
}

// Converts one general directive by its class. `text` is the directive as
// handed to the C library. Returns false on the double range failure.
bool ConvertDirective(WideAccumulator& out, ArgReader& args, Conv conv, DirectiveText& text) {
    // A text whose conversion character was lost (to the work-area cut, or by
    // a directive too long to classify) still takes its argument but shows
    // nothing.
    const bool complete =
        text.Size() > 1 && ClassOf(static_cast<unsigned char>(text.Last())) == conv;
    switch (conv) {
        case Conv::None:
            return true;
        case Conv::Percent:
            out.AppendUnit(u'%');
            return true;
        case Conv::Integer: {
            const int value = va_arg(args.ap, int);
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
            if (!AppendDoubleDirect(out, text.Text(), value)) {
                AppendConverted(out, text.Text(), value);
            }
            return true;
        }
        case Conv::Count: {
            void* target = va_arg(args.ap, void*);
            if (complete) StoreCount(text, target);
            return true;
        }
        case Conv::Pointer: {
            void* value = va_arg(args.ap, void*);
            if (!complete) return true;
            LimitFieldNumbers(text, nullptr);
            AppendConverted(out, text.Text(), value);
            return true;
        }
        case Conv::NarrowString: {
            const char* value = va_arg(args.ap, const char*);
            if (!complete) return true;
            // "%lS"/"%hS" would ask glibc for a wchar_t string: the size
            // letter is dropped and the narrow text shown as with "%s".
            if (text.BeforeLast() == 'l' || text.BeforeLast() == 'h') text.DropBeforeLast();
            text.SetLast('s');
            if (!value) value = "";
            LimitFieldNumbers(text, value);
            AppendConverted(out, text.Text(), value);
            return true;
        }
        case Conv::WideString: {
            const char16_t* value = va_arg(args.ap, const char16_t*);
            AppendWideField(out, text.Text() + 1, value);
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
    out.Push(*s++);  // "%"
    if (IsRewriteFlag(cur()) && (s[1] == '*' || IsDigit(static_cast<unsigned char>(s[1])))) {
        out.Push(*s++);
    }
    // A width or precision: "*" takes the next int argument, else digits are copied.
    auto pushNumber = [&] {
        if (cur() == '*') {
            out.PushInt(va_arg(args.ap, int));
            ++s;
        } else {
            while (IsDigit(cur())) out.Push(*s++);
        }
    };
    pushNumber();
    if (cur() == '.') {
        out.Push(*s++);
        pushNumber();
    }
    if (cur() == 'h' || cur() == 'l') out.Push(*s++);
    Conv conv = ClassOf(cur());
    if (conv != Conv::None) out.Push(*s++);
    bool keepsStar = false;
    while (*s && *s != '%') {
        keepsStar |= *s == '*';
        out.Push(*s++);
    }
    return keepsStar ? Conv::None : conv;
}

bool HasStar(const char16_t* format) {
    for (; *format; ++format) {
        if (*format == u'*') return true;
    }
    return false;
}

// Handles one general directive starting at `pct`. Returns the position after
// its extent, or null on the double range failure.
const char16_t* GeneralDirective(WideAccumulator& out, ArgReader& args, const char16_t* pct,
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
        for (const char* c = text.Text(); *c; ++c) {
            if (*c == '*') conv = Conv::None;
        }
    } else {
        for (const char16_t* c = pct; c < end; ++c) text.Push(static_cast<char>(*c));
    }
    if (!ConvertDirective(out, args, conv, text)) return nullptr;
    return end;
}

// Appends a fast directive (%s %S %c %C directly after the "%").
void FastDirective(WideAccumulator& out, ArgReader& args, char16_t letter) {
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

bool IsFastLetter(char16_t c) {
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
        if (IsFastLetter(pct[1])) {
            FastDirective(out, args, pct[1]);
            p = pct + 2;
        } else if ((p = GeneralDirective(out, args, pct, starMode)) == nullptr) {
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
// Every format handed to sscanf first passes a guard that keeps it to one
// assigning directive, turns "%m" allocation into assignment suppression,
// drops positional "N$" prefixes and, for the engine's own areas, limits the
// width of string fields to the area. The commonest measuring formats are
// evaluated directly, with results identical to sscanf's.

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
bool IsScanConversionLetter(char c) {
    return c && std::strchr("CEGSX[]cdefgiosux", c) != nullptr;
}

// Bounded narrow text builder for the 256-byte areas.
class ScanText {
public:
    explicit ScanText(char* area) : area_(area) {}
    void Push(char c) {
        if (size_ < kScanArea - 1) area_[size_++] = c;
    }
    void Push(const char* s) {
        while (*s) Push(*s++);
    }
    void End() { area_[size_] = 0; }

private:
    char* area_;
    size_t size_ = 0;
};

// The measuring format of a piece: string and character pieces measure as
// they are; every other piece becomes "%[^X]" with X the delimiter after the
// conversion letter (a space at the end of the piece), size letters dropped.
void MeasuringFormat(const char* piece, char* out) {
    const char p1 = piece[0] ? piece[1] : 0;
    const char p2 = p1 ? piece[2] : 0;
    if (p1 == 'c' || p1 == 'C' || p1 == '[' || p1 == 's' || p1 == 'S') {
        std::strcpy(out, piece);
        return;
    }
    const bool charPair = p2 == 'c' || p2 == 'C';
    const bool stringPair = p2 == 's' || p2 == 'S';
    if ((p1 == 'h' || p1 == 'l') && (charPair || stringPair)) {
        const char* fixed = p1 == 'h' ? (charPair ? "%C" : "%S") : (charPair ? "%c" : "%s");
        std::strcpy(out, fixed);
        return;
    }
    ScanText text(out);
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
            text.Push("[^");
            if (s[1]) {
                text.Push(*++s);
            } else {
                text.Push(' ');
            }
            text.Push(']');
            continue;
        }
        text.Push(*s);
    }
    text.End();
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Rewrites a scanf format so it is safe to run with exactly one target:
// positional "N$" prefixes are dropped, "%m" allocation becomes assignment
// suppression, everything from a second assigning directive on is cut off
// and, when `areaBytes` is not 0, string and character fields are limited to
// what fits an area of that many bytes (wide forms at 4 bytes a character).
// Widths above `inputLength` + 1 are lowered to it: no field can take more
// than the rest of the input, so nothing changes but the numbers stay small.
void GuardScanFormat(const char* in, char* out, size_t areaBytes, size_t inputLength) {
    ScanText text(out);
    bool assigned = false;
    const char* s = in;
    while (*s) {
        if (*s != '%') {
            text.Push(*s++);
            continue;
        }
        ++s;
        if (*s == '%') {  // literal percent
            text.Push("%%");
            ++s;
            continue;
        }
        const char* digits = s;
        while (IsAsciiDigit(*s)) ++s;
        if (*s == '$' && s != digits) {
            ++s;  // positional argument: dropped
        } else {
            s = digits;
        }
        bool suppressed = false;
        std::string flags;
        for (; *s == '*' || *s == '\'' || *s == 'I'; ++s) {
            if (*s == '*') {
                suppressed = true;
            } else {
                flags += *s;
            }
        }
        unsigned long width = 0;
        bool hasWidth = false;
        for (; IsAsciiDigit(*s); ++s) {
            hasWidth = true;
            if (width < 100000000UL) width = width * 10 + static_cast<unsigned>(*s - '0');
        }
        bool allocate = false;
        for (; *s == 'm'; ++s) allocate = true;
        std::string sizes;
        for (; *s && std::strchr("hlqLjzt", *s); ++s) sizes += *s;
        const char conv = *s;
        if (!conv || !std::strchr("diouxXaAeEfFgGsScC[pn%", conv)) {
            // Incomplete or unknown: sscanf stops here and returns what it
            // has, exactly as at the end of the format, so the format ends.
            break;
        }
        ++s;
        const char* setBegin = s;
        if (conv == '[') {
            if (*s == '^') ++s;
            if (*s == ']') ++s;
            while (*s && *s != ']') ++s;
            if (!*s) break;  // an unterminated set fails the same way
            ++s;
        }
        const bool assigning = !suppressed && conv != '%';
        if (assigning && assigned) break;  // no target for a second field
        if (allocate && assigning) suppressed = true;
        assigned = assigned || (assigning && !allocate);
        if (width > inputLength + 1) width = inputLength + 1;
        const bool isText = std::strchr("sScC[", conv) != nullptr;
        if (areaBytes && isText && !suppressed) {
            const bool wide =
                conv == 'S' || conv == 'C' || sizes.find_first_not_of('h') != std::string::npos;
            const unsigned long cap = wide ? areaBytes / 4 - 1 : areaBytes - 1;
            const bool single = conv == 'c' || conv == 'C';  // default width 1
            if (hasWidth ? width > cap || (width == 0 && !single) : !single) {
                width = cap;
                hasWidth = true;
            }
        }
        text.Push('%');
        if (suppressed) text.Push('*');
        text.Push(flags.c_str());
        if (hasWidth) {
            char number[24];
            std::snprintf(number, sizeof number, "%lu", width);
            text.Push(number);
        }
        text.Push(sizes.c_str());
        text.Push(conv);
        for (; setBegin < s; ++setBegin) text.Push(*setBegin);
    }
    text.End();
}

// Direct evaluation of the measuring formats "%[^X]" (optionally with a
// width), "%s" and "%c", with sscanf's results: -1 at the end of the input,
// 0 when nothing matched, 1 when the field was stored. Returns false for any
// other format (left to sscanf).
bool MeasureDirectly(const char* input, const char* format, char* field, int& result) {
    if (format[0] != '%') return false;
    const char* f = format + 1;
    if ((*f == 's' || *f == 'S' || *f == 'c' || *f == 'C')) {
        const bool word = *f == 's' || *f == 'S';
        if (word) {
            while (std::isspace(static_cast<unsigned char>(*input))) ++input;
        }
        if (!*input) {
            result = -1;
            return true;
        }
        size_t n = 0;
        if (word) {
            while (input[n] && !std::isspace(static_cast<unsigned char>(input[n])) &&
                   n < kScanArea - 1) {
                ++n;
            }
        } else {
            n = 1;
        }
        std::memcpy(field, input, n);
        result = 1;
        return true;
    }
    size_t width = 0;
    for (; IsAsciiDigit(*f); ++f) {
        if (width < kScanArea) width = width * 10 + static_cast<unsigned>(*f - '0');
    }
    if (f[0] != '[' || f[1] != '^' || !f[2] || f[3] != ']') return false;
    const char delimiter = f[2];
    if (width == 0 || width > kScanArea - 1) width = kScanArea - 1;
    if (!*input) {
        result = -1;
        return true;
    }
    size_t n = 0;
    while (n < width && input[n] && input[n] != delimiter) ++n;
    std::memcpy(field, input, n);
    result = n ? 1 : 0;
    return true;
}

// The measuring scan: stores the field's text into `field` (cleared first)
// and returns sscanf's result for it.
int MeasureField(const char* input, size_t inputLength, char* measuring, char* field) {
    std::memset(field, 0, kScanArea);
    // Wide forms measure as their narrow counterparts.
    if (measuring[0] && (measuring[1] == 'C' || measuring[1] == 'S')) {
        measuring[1] = measuring[1] == 'C' ? 'c' : 's';
    }
    int result;
    if (MeasureDirectly(input, measuring, field, result)) return result;
    char guarded[kScanArea];
    GuardScanFormat(measuring, guarded, kScanArea, inputLength);
    return std::sscanf(input, guarded, field);
}

// ---- Direct conversion of the common piece shapes ----
//
// As in the output engine, sscanf's set-up dominates, so the plainest pieces
// are converted here by glibc's own rules: the number's characters are
// gathered exactly as glibc's scanner gathers them and then converted by the
// same strtol/strtoul/strtod/strtof it uses. Every other piece goes to sscanf.

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// "%s" or "%c" into a wide target; nothing is stored when the input has ended.
void ScanWideDirect(const char* input, char p1, char16_t* target) {
    if (p1 == 's') {
        while (IsSpace(*input)) ++input;
    }
    if (!*input) return;  // nothing stored, target untouched
    size_t n = 0;
    if (p1 == 's') {
        for (; input[n] && !IsSpace(input[n]); ++n)
            target[n] = static_cast<unsigned char>(input[n]);
    } else {
        target[n] = static_cast<unsigned char>(input[n]);
        ++n;
    }
    target[n] = 0;
}

// "%[width][h|l]conv" with conv one of "diouxX": true when handled.
bool ScanIntegerDirect(const char* input, const char* piece, void* target) {
    const char* f = piece + 1;
    long width = 0;
    for (; IsAsciiDigit(*f); ++f) {
        if (width < 100000) width = width * 10 + (*f - '0');
    }
    if (width == 0) width = -1;  // unlimited, as glibc reads a zero width
    const char size = (*f == 'h' || *f == 'l') ? *f++ : 0;
    const char conv = *f;
    if (!conv || !std::strchr("diouxX", conv)) return false;
    int base = conv == 'i' ? 0 : conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;

    const char* s = input;
    while (IsSpace(*s)) ++s;
    if (!*s) return true;  // end of input: nothing stored
    char digits[64];
    size_t n = 0;
    auto take = [&](char c) {
        if (width > 0) --width;
        digits[n++] = c;
    };
    char c = *s;
    if (c == '-' || c == '+') take(c), c = *++s;
    if (width != 0 && c == '0') {
        take(c);
        c = *++s;
        if (width != 0 && (c == 'x' || c == 'X')) {
            if (base == 0) base = 16;
            if (base == 16) {
                if (width > 0) --width;
                c = *++s;
            }
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0) base = 10;
    while (c && width != 0) {
        const bool digit = base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                      : IsAsciiDigit(c) && c - '0' < base;
        if (!digit) break;
        if (n == sizeof digits - 1) return false;  // very long: leave it to sscanf
        take(c);
        c = *++s;
    }
    digits[n] = 0;
    if (n == 0 || (n == 1 && (digits[0] == '+' || digits[0] == '-'))) return true;
    char* end;
    if (conv == 'd' || conv == 'i') {
        const long v = std::strtol(digits, &end, base);
        if (end == digits) return true;
        if (size == 'l') {
            *static_cast<long*>(target) = v;
        } else if (size == 'h') {
            *static_cast<short*>(target) = static_cast<short>(v);
        } else {
            *static_cast<int*>(target) = static_cast<int>(v);
        }
    } else {
        const unsigned long v = std::strtoul(digits, &end, base);
        if (end == digits) return true;
        if (size == 'l') {
            *static_cast<unsigned long*>(target) = v;
        } else if (size == 'h') {
            *static_cast<unsigned short*>(target) = static_cast<unsigned short>(v);
        } else {
            *static_cast<unsigned*>(target) = static_cast<unsigned>(v);
        }
    }
    return true;
}

// "%[l]conv" with conv one of "eEfgG" and no width: true when handled.
// Infinities, NaNs and hexadecimal forms are left to sscanf.
bool ScanFloatDirect(const char* input, const char* piece, void* target) {
    const char* f = piece + 1;
    const bool isDouble = *f == 'l';
    if (isDouble) ++f;
    if (!*f || !std::strchr("eEfgG", *f)) return false;
    const char* s = input;
    while (IsSpace(*s)) ++s;
    if (!*s) return true;
    const char* t = s + (*s == '-' || *s == '+');
    if (*t == 'n' || *t == 'N' || *t == 'i' || *t == 'I') return false;
    if (t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) return false;
    char* end;
    if (isDouble) {
        const double v = std::strtod(s, &end);
        if (end != s) *static_cast<double*>(target) = v;
    } else {
        const float v = std::strtof(s, &end);
        if (end != s) *static_cast<float*>(target) = v;
    }
    return true;
}

// The conversion scan of one piece into the caller's target.
void ConvertField(const char* input, size_t inputLength, char* piece, void* target, char* strings,
                  size_t stringsSize) {
    if (!target) return;
    char guarded[kScanArea];
    const char p1 = piece[0] == '%' ? piece[1] : 0;
    if (p1 == 's' || p1 == 'c') {
        ScanWideDirect(input, p1, static_cast<char16_t*>(target));
        return;
    }
    if (p1 && (ScanIntegerDirect(input, piece, target) || ScanFloatDirect(input, piece, target))) {
        return;
    }
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

// One directive: measure, convert, advance. Returns the measuring result and
// sets `done` when the input has been stepped over its end.
int ScanPiece(ScanState& st, char* piece, void* target, bool& done) {
    char measuring[kScanArea];
    MeasuringFormat(piece, measuring);
    const size_t measuringLength = std::strlen(measuring);

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
    if (measuringLength > 3) {
        while (*rest && *rest == measuring[3]) ++rest;
    }
    st.position = static_cast<size_t>(rest - st.input);

    char field[kScanArea];
    const size_t restLength = st.inputLength - st.position;
    const int measured = MeasureField(rest, restLength, measuring, field);
    ConvertField(rest, restLength, piece, target, st.strings, st.stringsSize);
    if (substitute) ReplaceByte(rest, substitute, delimiter);

    // The field text lies inside the input; the bound only matters for
    // non-text results such as "%n" or "%p" that measure binary values.
    size_t step = std::strlen(field);
    if (step > st.inputLength - st.position) step = st.inputLength - st.position;
    if (st.input[st.position + step] == 0) {
        done = true;
    } else {
        st.position += step + 1;
    }
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
        char piece[kScanArea];
        CopyCut(piece, pieceStart, pieceEnd);
        pieceStart = pieceEnd;
        result += ScanPiece(st, piece, va_arg(targets, void*), done);
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
