// The wide printf engine.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <UTL/WideText.h>

#include "DevMessage.h"
#include "PlainDirective.h"
#include "WideBlockScan.h"
#include "WideTextInternal.h"

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

using UTL::detail::Conv;
using UTL::detail::Directive;
using UTL::detail::DirectiveSyntax;
using UTL::detail::IsDecimalDigit;
using UTL::detail::kCountCap;
using UTL::detail::ReadDirective;
using UTL::detail::WideOutputClass;

// Classification: up to 10 flag, width and precision characters (in any
// order; "#" is none of them), a size letter, a conversion character.
constexpr unsigned kClassifiedRun = 10;
constexpr DirectiveSyntax kClassification{
    "-+ 0", kClassifiedRun, false, false, false, true, false, "hl", 1, "", WideOutputClass};
// Star mode reads one flag (only before a width or precision), a width and a
// precision that may each be "*", a size letter and a conversion character.
constexpr DirectiveSyntax kStarRewrite{"-+0 #", 0,    true, false, true,           true,
                                       false,   "hl", 1,    "",    WideOutputClass};
// The directive text handed over, as the C library reads it.
constexpr DirectiveSyntax kHandedOver{"-+ #0", 0,    false, false, false,          true,
                                      false,   "hl", 1,     "",    WideOutputClass};

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
    // The result with its terminator, in the accumulator's storage.
    char16_t* Terminated() {
        if (size_ == capacity_) Grow(size_ + 1);
        data_[size_] = 0;
        return data_;
    }
    size_t Size() const { return size_; }

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

// A classified directive: its class and what was read of the text handed to
// the C library.
struct Classified {
    Conv conv = Conv::None;
    char size = 0;          // the size letter
    bool complete = false;  // the text still ends in its conversion character
    // The text read as one directive of kHandedOver, when it is exactly that;
    // else null. Only such a text has its numbers limited or is plain.
    Directive* layout = nullptr;
};

// Limits the numbers of the directive `d` read from `text` as above and
// rewrites the text when they change. `narrowArg` is the string of a
// narrow-string directive, else null: its precision only limits how much text
// is read and stays, and its width keeps room to pad past the text shown.
void LimitFieldNumbers(DirectiveText& text, Directive& d, const char* narrowArg) {
    if ((narrowArg || d.precision <= kMaxPrecision) && d.width <= kMaxWidth) return;
    if (!narrowArg && d.precision > kMaxPrecision) d.precision = kMaxPrecision;
    if (d.width > kMaxWidth) {
        size_t widthLimit = kMaxWidth;
        if (narrowArg) {
            const size_t shown =
                d.hasPrecision ? strnlen(narrowArg, d.precision) : std::strlen(narrowArg);
            if (shown + kNarrowArea > widthLimit) widthLimit = shown + kNarrowArea;
        }
        if (d.width > widthLimit) d.width = widthLimit;
    }
    const char* written = text.Terminate();
    char area[kRewriteArea];
    BoundedText rebuilt(area, sizeof area);
    rebuilt.Put('%');
    rebuilt.Append(written + d.flagsAt, d.flagsEnd - d.flagsAt);
    if (d.width) rebuilt.AppendDecimal(static_cast<long long>(d.width));
    if (d.hasPrecision) {
        rebuilt.Put('.');
        rebuilt.AppendDecimal(static_cast<long long>(d.precision));
    }
    rebuilt.Append(written + d.sizesAt);
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

bool IsPlain(const Directive* layout) {
    return layout && UTL::detail::IsPlain(*layout);
}

// `value` is the argument as read (an int, or a long for "l"); "h" narrows it
// as the C library would.
bool AppendPlainInteger(WideAccumulator& out, const Directive* layout, long value) {
    if (!IsPlain(layout)) return false;
    bool negative = false;
    unsigned long long magnitude;
    if (layout->conv == 'd' || layout->conv == 'i') {
        const long long v = layout->size == 'h' ? static_cast<short>(value) : value;
        negative = v < 0;
        magnitude = negative ? 0ULL - static_cast<unsigned long long>(v) : v;
    } else if (layout->size == 'l') {
        magnitude = static_cast<unsigned long>(value);
    } else {
        magnitude =
            layout->size == 'h' ? static_cast<unsigned short>(value) : static_cast<unsigned>(value);
    }
    char field[UTL::detail::kFieldMax];
    AppendPlainField(out, field, UTL::detail::FormatInteger(field, *layout, negative, magnitude));
    return true;
}

bool AppendPlainDouble(WideAccumulator& out, const Directive* layout, double value) {
    if (!IsPlain(layout)) return false;
    char field[UTL::detail::kFieldMax];
    const size_t length = UTL::detail::FormatDouble(field, *layout, value);
    if (length == 0) return false;
    AppendPlainField(out, field, length);
    return true;
}

// snprintf gets the type the text names.
void AppendInteger(WideAccumulator& out, DirectiveText& text, const Classified& c, long value) {
    if (AppendPlainInteger(out, c.layout, value)) return;
    const char* directive = text.Terminate();
    const char conv = text.Back(1);
    const bool signedConv = conv == 'd' || conv == 'i';
    if (c.size == 'l') {
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

void LogRangeFailure() {
    UTL::detail::WriteDevMessage(kSourceName, kRangeLogLine, "lvswprintf\n");
    UTL::detail::WriteDevMessage(kSourceName, kRangeLogLine + 1, "double value to huge!\n");
}

// "%lS"/"%hS" would ask glibc for a wchar_t string: the size letter is
// dropped and the narrow text shown as with "%s".
void AsNarrowStringDirective(DirectiveText& text, Classified& c) {
    if (c.size) {
        text.Shrink(text.Size() - 1);
        if (c.layout) c.layout->sizesEnd = c.layout->sizesAt;
    }
    text.Data()[text.Size() - 1] = 's';
}

// Converts one classified directive by its class. `text` is the directive as
// handed to the C library. Returns false on the double range failure.
bool ConvertDirective(WideAccumulator& out, ArgReader& args, Classified& c, DirectiveText& text) {
    // A text whose conversion character was lost (to the work-area cut, or by
    // a directive too long to classify) still takes its argument but shows
    // nothing.
    switch (c.conv) {
        case Conv::None:
            return true;
        case Conv::Percent:
            out.AppendUnit(u'%');
            return true;
        case Conv::Integer: {
            const long value = c.size == 'l' ? va_arg(args.ap, long) : va_arg(args.ap, int);
            if (!c.complete) return true;
            if (c.layout) LimitFieldNumbers(text, *c.layout, nullptr);
            AppendInteger(out, text, c, value);
            return true;
        }
        case Conv::Double: {
            const double value = va_arg(args.ap, double);
            if (value < -kDoubleLimit || value > kDoubleLimit) {
                LogRangeFailure();
                return false;
            }
            if (!c.complete) return true;
            if (c.layout) LimitFieldNumbers(text, *c.layout, nullptr);
            if (!AppendPlainDouble(out, c.layout, value)) {
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
            if (!c.complete) return true;
            if (c.layout) LimitFieldNumbers(text, *c.layout, nullptr);
            AppendConverted(out, text.Terminate(), value);
            return true;
        }
        case Conv::NarrowString: {
            const char* value = va_arg(args.ap, const char*);
            if (!c.complete) return true;
            AsNarrowStringDirective(text, c);
            if (!value) value = "";
            if (c.layout) LimitFieldNumbers(text, *c.layout, value);
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

// The record of the rewritten text as the C library reads it (kHandedOver),
// made from the star-mode read and the numbers put in, not by reading the
// text again. The two reads differ only where a number's text starts with
// flag characters, which the C library takes as flags: the leading zeros of a
// written width, the "-" of a negative width, a width of 0; a negative
// precision ends the directive unread.
class HandedOverBuilder {
public:
    explicit HandedOverBuilder(const Directive& starRead)
        : d_(starRead), writtenWidth_(starRead.width), writtenPrecision_(starRead.precision) {
        // What the star-mode read says of the one flag it takes and of the
        // size letter and conversion stays; its numbers are set anew.
        d_.width = d_.precision = 0;
        d_.hasWidth = d_.widthStar = d_.precisionStar = false;
        d_.precisionAt = 0;
        at_ = d_.flagsEnd;
    }
    void WrittenWidth(const char* digits, size_t length) {
        size_t zeros = 0;
        while (zeros < length && digits[zeros] == '0') ++zeros;
        Flags(zeros, false, zeros > 0);
        Width(writtenWidth_, length - zeros);
    }
    void SubstitutedWidth(int width) {
        if (width == 0) {
            Flags(1, false, true);
            Width(0, 0);
        } else if (width < 0) {
            Flags(1, true, false);
            Width(Magnitude(width), Digits(Magnitude(width)));
        } else {
            Flags(0, false, false);
            Width(Magnitude(width), Digits(Magnitude(width)));
        }
    }
    void WrittenPrecision(size_t length) { Precision(writtenPrecision_, length); }
    void SubstitutedPrecision(int precision) {
        if (precision < 0) {
            unread_ = true;
        } else {
            Precision(Magnitude(precision), Digits(Magnitude(precision)));
        }
    }
    // Ends the record after the size letters and the conversion character;
    // false when the C library would not read a whole directive.
    bool Finish(Directive& out) {
        if (unread_ || !d_.complete) return false;
        const uint32_t sizes = d_.sizesEnd - d_.sizesAt;
        d_.sizesAt = at_;
        d_.sizesEnd = at_ + sizes;
        d_.length = d_.sizesEnd + 1;
        out = d_;
        return true;
    }

private:
    static unsigned long Magnitude(int value) {
        return static_cast<unsigned long>(value < 0 ? -static_cast<long long>(value) : value);
    }
    static uint32_t Digits(unsigned long value) {
        uint32_t n = 1;
        for (; value >= 10; value /= 10) ++n;
        return n;
    }
    void Flags(size_t count, bool minus, bool zero) {
        d_.minus |= minus;
        d_.zero |= zero;
        at_ += static_cast<uint32_t>(count);
        d_.flagsEnd = at_;
    }
    void Width(unsigned long value, size_t digits) {
        d_.hasWidth = digits > 0;
        d_.width = value;
        at_ += static_cast<uint32_t>(digits);
        d_.widthEnd = at_;
    }
    void Precision(unsigned long value, size_t digits) {
        d_.hasPrecision = true;
        d_.precision = value;
        d_.precisionAt = at_ + 1;
        at_ += 1 + static_cast<uint32_t>(digits);
    }

    Directive d_;
    const unsigned long writtenWidth_, writtenPrecision_;
    uint32_t at_;
    bool unread_ = false;
};

// Star mode: the directive as written (from its "%" to `end`), narrowed and
// cut to the directive area, is rewritten into `text`: one flag, width and
// precision with each "*" replaced by the decimal value of the next int
// argument, size letter, conversion character, then the rest verbatim up to a
// further "%". Returns what the rewrite read: its class is None when it found
// no conversion character or kept a "*". When the text is exactly one
// directive, `handedOver` receives it as the C library reads it, and the
// result's layout points there.
Classified RewriteStarDirective(const char16_t* pct, const char16_t* end, ArgReader& args,
                                DirectiveText& text, Directive& handedOver) {
    char area[kDirectiveArea];
    BoundedText written(area, sizeof area);
    written.AppendUnits(pct, static_cast<size_t>(end - pct), true);
    const char* s = written.Terminate();
    Directive d;
    ReadDirective(s, kStarRewrite, d);
    HandedOverBuilder handed(d);
    text.Put('%');
    text.Append(s + d.flagsAt, d.flagsEnd - d.flagsAt);
    if (d.widthStar) {
        const int width = va_arg(args.ap, int);
        text.AppendDecimal(width);
        handed.SubstitutedWidth(width);
    } else {
        text.Append(s + d.flagsEnd, d.widthEnd - d.flagsEnd);
        handed.WrittenWidth(s + d.flagsEnd, d.widthEnd - d.flagsEnd);
    }
    if (d.hasPrecision) {
        text.Put('.');
        if (d.precisionStar) {
            const int precision = va_arg(args.ap, int);
            text.AppendDecimal(precision);
            handed.SubstitutedPrecision(precision);
        } else {
            text.Append(s + d.precisionAt, d.sizesAt - d.precisionAt);
            handed.WrittenPrecision(d.sizesAt - d.precisionAt);
        }
    }
    text.Append(s + d.sizesAt, d.sizesEnd - d.sizesAt);
    Classified c;
    if (d.complete) {
        text.Put(d.conv);
        c.conv = d.cls;
        c.size = d.size;
    }
    bool keepsStar = false;
    for (const char* rest = s + d.length; *rest && *rest != '%'; ++rest) {
        keepsStar |= *rest == '*';
        text.Put(*rest);
    }
    if (keepsStar) c.conv = Conv::None;
    if (c.conv != Conv::None && handed.Finish(handedOver) && handedOver.length == text.Size()) {
        c.layout = &handedOver;
    }
    return c;
}

bool HasStar(const char16_t* format) {
    return *UTL::detail::FindUnitOrEnd(format, u'*') != 0;
}

// Classifies the directive at `pct` in star mode into `c` and `text`;
// returns the position after its extent, the first conversion character.
// Each directive is read once, except one the rewrite could not read: it is
// classified as written, and what it hands over is read as the C library
// reads it.
const char16_t* ClassifyStarDirective(const char16_t* pct, ArgReader& args, DirectiveText& text,
                                      Classified& c, Directive& handedOver) {
    const char16_t* end = pct + 1;
    while (*end && WideOutputClass(*end) == Conv::None) ++end;
    if (*end) ++end;
    c = RewriteStarDirective(pct, end, args, text, handedOver);
    const bool rewritten = c.conv != Conv::None;
    if (!rewritten) {
        Directive written;
        ReadDirective(pct, kClassification, written);
        c.conv = written.cls;
        c.size = written.size;
    }
    const char* handed = text.Terminate();
    // A "*" left unexpanded makes the directive unrecognised.
    if (std::strchr(handed, '*')) c.conv = Conv::None;
    c.complete =
        text.Size() > 1 && WideOutputClass(static_cast<unsigned char>(text.Back(1))) == c.conv;
    if (!rewritten && ReadDirective(handed, kHandedOver, handedOver) &&
        handedOver.length == text.Size()) {
        c.layout = &handedOver;
    }
    return end;
}

// Handles one classified directive starting at `pct`. Returns the position
// after its extent, or null on the double range failure.
const char16_t* ClassifiedDirective(WideAccumulator& out, ArgReader& args, const char16_t* pct,
                                    bool starMode) {
    DirectiveText text;
    Classified c;
    Directive d;
    const char16_t* end;
    if (starMode) {
        end = ClassifyStarDirective(pct, args, text, c, d);
    } else {
        ReadDirective(pct, kClassification, d);
        const unsigned counted = d.runLength + (d.size ? 1 : 0) + (d.cls != Conv::None ? 1 : 0);
        // Too long to classify: the extent shrinks to the bare "%" (the class
        // and its argument stay); unrecognised: the text resumes at the
        // failing character.
        const bool tooLong = d.cls != Conv::None && counted >= kClassifiedRun;
        end = tooLong ? pct + 1 : pct + d.length;
        text.AppendUnits(pct, static_cast<size_t>(end - pct));  // "%", flags, letters
        c.conv = d.cls;
        if (!tooLong && d.complete) {
            c.size = d.size;
            c.complete = true;
            if (d.ordered) c.layout = &d;
        }
    }
    if (!ConvertDirective(out, args, c, text)) return nullptr;
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

}  // namespace

namespace UTL {
namespace detail {

bool FormatWideTo(size_t limit, const char16_t* format, va_list callerArgs, TakeText take,
                  void* context) {
    if (!format || !*format) return false;
    // The format is scanned before the argument list is copied: the caller
    // has only just written the list, and reading it back at once waits for
    // those stores.
    const bool starMode = HasStar(format);
    WideAccumulator out(limit);
    ArgReader args;
    va_copy(args.ap, callerArgs);
    const char16_t* p = format;
    bool failed = false;
    while (true) {
        const char16_t* pct = p;  // literal runs are short: a plain loop
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
    if (failed) return false;
    take(out.Terminated(), out.Size(), context);
    return true;
}

int FormatWide(char16_t* buffer, size_t limit, const char16_t* format, va_list args) {
    const auto copy = [](char16_t* text, size_t length, void* to) {
        std::memcpy(to, text, (length + 1) * sizeof(char16_t));
    };
    FormatWideTo(limit, format, args, copy, buffer);
    return 0;
}

}  // namespace detail
}  // namespace UTL
