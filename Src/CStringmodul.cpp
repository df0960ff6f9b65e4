// Wide-text primitives, narrow/wide conversions and the wide printf/scanf
// engines.
#include <UTL/WideText.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>

#include "WideTextInternal.h"

namespace {

int Sign(int d) {
    return (d > 0) - (d < 0);
}

// Folding for lstricmp: the locale's tolower of the byte, read back as a signed
// char. Bytes the locale does not fold keep their negative value, so 0x80-0xFF
// order before ASCII (glibc's tolower would otherwise map them to 128-255).
int FoldNarrow(unsigned char byte) {
    return static_cast<signed char>(std::tolower(byte));
}

}  // namespace

// ---- Primitives -----------------------------------------------------------

unsigned int lwcslen(const char16_t* s) {
    const char16_t* p = s;
    while (*p) ++p;
    return static_cast<unsigned int>(p - s);
}

char16_t* lwcscpy(char16_t* dst, const char16_t* src) {
    char16_t* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

char16_t* lwcsncpy(char16_t* dst, const char16_t* src, int count) {
    char16_t* d = dst;
    // A negative count is decremented away from zero and so never limits.
    while (*src && count != 0) {
        *d++ = *src++;
        if (count > 0) --count;
    }
    *d = 0;
    return dst;
}

char16_t* lwcscat(char16_t* dst, const char16_t* src) {
    lwcscpy(dst + lwcslen(dst), src);
    return dst;
}

int lwcscmp(const char16_t* a, const char16_t* b) {
    int d;
    while ((d = int(*a) - int(*b)) == 0 && *b) ++a, ++b;
    return Sign(d);
}

int lwcsncmp(const char16_t* a, const char16_t* b, unsigned int count) {
    int d = 0;
    for (; count != 0; --count, ++a, ++b) {
        d = int(*a) - int(*b);
        if (d != 0 || !*b) break;
    }
    return Sign(d);
}

int lwcsicmp(const char16_t* a, const char16_t* b) {
    int d;
    while ((d = int(ltowlower(*a)) - int(ltowlower(*b))) == 0 && *b) ++a, ++b;
    return Sign(d);
}

int lstricmp(const char* a, const char* b) {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    int d;
    while ((d = FoldNarrow(*pa) - FoldNarrow(*pb)) == 0 && *pb) ++pa, ++pb;
    return Sign(d);
}

char16_t* lwcschr(const char16_t* s, int c) {
    while (*s && int(*s) != c) ++s;
    return int(*s) == c ? const_cast<char16_t*>(s) : nullptr;
}

char16_t* lwcsstr(const char16_t* s, const char16_t* sub) {
    if (!*sub) return const_cast<char16_t*>(s);
    const unsigned int n = lwcslen(sub);
    for (; (s = lwcschr(s, *sub)) != nullptr; ++s) {
        if (lwcsncmp(s, sub, n) == 0) return const_cast<char16_t*>(s);
    }
    return nullptr;
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
void AppendWideField(WideAccumulator& out, const char* spec, const char16_t* arg) {
    long width = 0, precision = 0;
    int token = 0;
    for (const char* s = spec; *s && token < 2;) {
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

void AppendInteger(WideAccumulator& out, DirectiveText& text, int value) {
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
            if (complete) AppendInteger(out, text, value);
            return true;
        }
        case Conv::Double: {
            const double value = va_arg(args.ap, double);
            if (value < -kDoubleLimit || value > kDoubleLimit) {
                LogRangeFailure();
                return false;
            }
            if (complete) AppendConverted(out, text.Text(), value);
            return true;
        }
        case Conv::Count: {
            void* target = va_arg(args.ap, void*);
            if (complete) StoreCount(text, target);
            return true;
        }
        case Conv::Pointer: {
            void* value = va_arg(args.ap, void*);
            if (complete) AppendConverted(out, text.Text(), value);
            return true;
        }
        case Conv::NarrowString: {
            const char* value = va_arg(args.ap, const char*);
            if (!complete) return true;
            // "%lS"/"%hS" would ask glibc for a wchar_t string: the size
            // letter is dropped and the narrow text shown as with "%s".
            if (text.BeforeLast() == 'l' || text.BeforeLast() == 'h') text.DropBeforeLast();
            text.SetLast('s');
            AppendConverted(out, text.Text(), value ? value : "");
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
    if (cur() == '*') {
        out.PushInt(va_arg(args.ap, int));
        ++s;
    } else {
        while (IsDigit(cur())) out.Push(*s++);
    }
    if (cur() == '.') {
        out.Push(*s++);
        if (cur() == '*') {
            out.PushInt(va_arg(args.ap, int));
            ++s;
        } else {
            while (IsDigit(cur())) out.Push(*s++);
        }
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
