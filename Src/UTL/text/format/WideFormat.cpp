// The wide printf engine: the walk over the format and its entry points.
//
// The engine copies literal text. A letter directive (%s %S %c %C directly
// after the "%") is appended as it is; every other directive is classified by
// its conversion character and converted with exactly one argument: plain
// integer and floating-point directives by PlainFormat.cpp, straight into the
// result, the rest, narrowed, by the C library's snprintf (WideFields.cpp).
// A format with a "*" anywhere is read in star mode (WideStarMode.cpp). The
// result is gathered in a WideAccumulator and handed over only at the end,
// because a double out of range must leave the caller's buffer untouched.
#include <cstring>

#include <UTL/WideText.h>

#include "DevMessage.h"
#include "WideBlockScan.h"
#include "WideFormatParts.h"
#include "WideTextInternal.h"

namespace UTL {
namespace detail {

namespace {

// Doubles beyond +-1e+50 (infinities included) fail the whole call.
constexpr double kDoubleLimit = 1e+50;
constexpr const char* kSourceName = "..\\..\\Src\\CStringmodul";
constexpr int kRangeLogLine = 1396;

void LogRangeFailure() {
    WriteDevMessage(kSourceName, kRangeLogLine, "lvswprintf\n");
    WriteDevMessage(kSourceName, kRangeLogLine + 1, "double value to huge!\n");
}

// ---- Plain directives ----
//
// snprintf's set-up dominates the cost of a one-directive call, so plain
// integer and floating-point directives are converted here, into the result
// in place; like snprintf's text they are cut to the narrow area.

constexpr std::size_t kPlainShown = kNarrowArea - 1;

void CommitPlain(WideAccumulator& out, std::size_t length) {
    out.Commit(length < kPlainShown ? length : kPlainShown);
}

bool IsPlainLayout(const Directive* layout) {
    return layout && IsPlain(*layout);
}

// `value` is the argument as read (an int, or a long for "l"); "h" narrows it
// as the C library would.
void AppendPlainInteger(WideAccumulator& out, const Directive& layout, long value) {
    bool negative = false;
    unsigned long long magnitude;
    if (IsSignedConversion(layout.conv)) {
        const long long v = layout.size == 'h' ? static_cast<short>(value) : value;
        negative = v < 0;
        magnitude = negative ? 0ULL - static_cast<unsigned long long>(v) : v;
    } else if (layout.size == 'l') {
        magnitude = static_cast<unsigned long>(value);
    } else {
        magnitude =
            layout.size == 'h' ? static_cast<unsigned short>(value) : static_cast<unsigned>(value);
    }
    CommitPlain(out, FormatInteger(out.Reserve(kFieldMax), layout, negative, magnitude));
}

bool AppendPlainDouble(WideAccumulator& out, FormatCall& call, const Directive* layout,
                       double value) {
    if (!IsPlainLayout(layout) || !call.NearestRules()) return false;
    const std::size_t length = FormatNearestDouble(out.Reserve(kFieldMax), *layout, value);
    if (length == 0) return false;
    CommitPlain(out, length);
    return true;
}

// Converts one classified directive by its class. `text` is the directive as
// handed to the C library. Returns false on the double range failure.
bool ConvertDirective(WideAccumulator& out, FormatCall& call, Classified& c, DirectiveText& text) {
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
            const long value = c.size == 'l' ? va_arg(call.ap, long) : va_arg(call.ap, int);
            if (!c.complete) return true;
            if (IsPlainLayout(c.layout)) {
                AppendPlainInteger(out, *c.layout, value);
            } else {
                HandOverInteger(out, text, c, value);
            }
            return true;
        }
        case Conv::Double: {
            const double value = va_arg(call.ap, double);
            if (value < -kDoubleLimit || value > kDoubleLimit) {
                LogRangeFailure();
                return false;
            }
            if (!c.complete) return true;
            if (!AppendPlainDouble(out, call, c.layout, value)) HandOverDouble(out, text, c, value);
            return true;
        }
        case Conv::Count:
            // Takes its pointer and stores nothing: a format that comes from
            // outside the program must not write through an argument.
            (void)va_arg(call.ap, void*);
            return true;
        case Conv::Pointer: {
            void* value = va_arg(call.ap, void*);
            if (c.complete) HandOverPointer(out, text, c, value);
            return true;
        }
        case Conv::NarrowString: {
            const char* value = va_arg(call.ap, const char*);
            if (c.complete) HandOverNarrowString(out, text, c, value);
            return true;
        }
        case Conv::WideString:
            AppendWideField(out, text, va_arg(call.ap, const char16_t*));
            return true;
    }
    return true;
}

// Classifies the directive at `pct` as written into `c`, `text` and `d`;
// returns the position after its extent.
const char16_t* ClassifyDirective(const char16_t* pct, DirectiveText& text, Classified& c,
                                  Directive& d) {
    ReadDirective(pct, kClassification, d);
    // Unrecognised: the text resumes at the failing character.
    const bool tooLong = TooLongToClassify(d);
    const char16_t* end = tooLong ? pct + 1 : pct + d.length;
    text.Defer(pct, static_cast<std::size_t>(end - pct));  // "%", flags, letters
    c.conv = d.cls;
    if (!tooLong && d.complete) {
        c.size = d.size;
        c.complete = true;
        if (d.ordered) c.layout = &d;
    }
    return end;
}

// Handles one classified directive starting at `pct`. Returns the position
// after its extent, or null on the double range failure.
const char16_t* ClassifiedDirective(WideAccumulator& out, FormatCall& call, const char16_t* pct,
                                    bool starMode) {
    DirectiveText text;
    Classified c;
    Directive d;
    const char16_t* end = starMode ? ClassifyStarDirective(pct, call, text, c, d)
                                   : ClassifyDirective(pct, text, c, d);
    return ConvertDirective(out, call, c, text) ? end : nullptr;
}

// Appends a letter directive (%s %S %c %C directly after the "%"): the whole
// string, or one code unit.
void LetterDirective(WideAccumulator& out, FormatCall& call, char16_t letter) {
    switch (letter) {
        case u's': {
            const char16_t* s = va_arg(call.ap, const char16_t*);
            if (s) out.Append(s, TextLength(s));
            break;
        }
        case u'S': {
            const char* s = va_arg(call.ap, const char*);
            if (s) out.AppendNarrow(s, std::strlen(s));
            break;
        }
        case u'c':
            out.AppendUnit(static_cast<char16_t>(va_arg(call.ap, int)));
            break;
        default:  // 'C': the low byte, sign-extended
            out.AppendUnit(static_cast<char16_t>(static_cast<signed char>(va_arg(call.ap, int))));
            break;
    }
}

// The end of the literal text at `p`: the next "%" or the terminator. Runs
// of one unit or none (between directives, at the end) are common and
// cheaper to test than to scan by blocks.
const char16_t* LiteralEnd(const char16_t* p) {
    if (p[0] == 0 || p[0] == u'%') return p;
    if (p[1] == 0 || p[1] == u'%') return p + 1;
    return FindUnitOrEnd(p + 2, u'%');
}

bool HasStar(const char16_t* format) {
    return *FindUnitOrEnd(format, u'*') != 0;
}

}  // namespace

bool FormatWideTo(size_t limit, const char16_t* format, va_list callerArgs, TakeText take,
                  void* context) {
    if (!format || !*format) return false;
    // The format is scanned before the argument list is copied: the caller
    // has only just written the list, and reading it back at once waits for
    // those stores.
    const bool starMode = HasStar(format);
    WideAccumulator out(limit);
    FormatCall call;
    va_copy(call.ap, callerArgs);
    const char16_t* p = format;
    bool failed = false;
    while (true) {
        const char16_t* pct = LiteralEnd(p);
        out.Append(p, static_cast<size_t>(pct - p));
        if (!*pct) break;
        if (IsDirectiveLetter(pct[1])) {
            LetterDirective(out, call, pct[1]);
            p = pct + 2;
        } else if ((p = ClassifiedDirective(out, call, pct, starMode)) == nullptr) {
            failed = true;
            break;
        }
    }
    va_end(call.ap);
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
