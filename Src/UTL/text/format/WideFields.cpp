// Directives of the wide output engine that the plain conversions do not
// take: the text handed to the C library (its numbers limited, snprintf's
// text cut to the narrow area), and the engine's own layout of a wide string.
#include <cstdio>
#include <cstring>

#include "WideFormatParts.h"

namespace UTL {
namespace detail {

namespace {

// Widths of the engine's own wide-string field are limited to this many code
// units, so a hostile width cannot demand gigabytes.
constexpr long kMaxFieldWidth = 65535;

// Width and precision beyond these would make glibc allocate work space of
// their size, yet cannot change the first 99 characters of the text, which is
// all the narrow area keeps: a precision of 1100 already shows every digit of
// any double (and of any in-range one with %f) exactly and pads integers with
// more zeros than the area holds; a width that pads beyond the longest such
// text by more than the area shows only padding there.
constexpr unsigned long kMaxPrecision = 1100;
constexpr unsigned long kMaxWidth = 4096;

// Leading decimal integer as the wide-string field reads it: white space, one
// sign, digits; saturated far above any usable width.
long LeadingInt(const char* s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;
    const long v = static_cast<long>(ReadDecimal(s, 1000000000UL));
    return negative ? -v : v;
}

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

// The directive text, filled and with its numbers limited, terminated.
const char* Prepared(DirectiveText& text, const Classified& c, const char* narrowArg = nullptr) {
    text.Fill();
    if (c.layout) LimitFieldNumbers(text, *c.layout, narrowArg);
    return text.Terminate();
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

}  // namespace

// snprintf gets the type the text names.
void HandOverInteger(WideAccumulator& out, DirectiveText& text, const Classified& c, long value) {
    const char* directive = Prepared(text, c);
    const bool signedConv = IsSignedConversion(text.Back(1));
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

void HandOverDouble(WideAccumulator& out, DirectiveText& text, const Classified& c, double value) {
    AppendConverted(out, Prepared(text, c), value);
}

void HandOverPointer(WideAccumulator& out, DirectiveText& text, const Classified& c, void* value) {
    AppendConverted(out, Prepared(text, c), value);
}

// "%lS"/"%hS" would ask glibc for a wchar_t string: the size letter is
// dropped and the narrow text shown as with "%s".
void HandOverNarrowString(WideAccumulator& out, DirectiveText& text, Classified& c,
                          const char* value) {
    text.Fill();
    if (c.size) {
        text.Shrink(text.Size() - 1);
        if (c.layout) c.layout->sizesEnd = c.layout->sizesAt;
    }
    text.Data()[text.Size() - 1] = 's';
    const char* shown = value ? value : "";
    AppendConverted(out, Prepared(text, c, shown), shown);
}

// "width.precision" read from the text after the "%", split at dots (empty
// pieces skipped). Right-aligned for a positive width, else left-aligned; a
// taken text longer than the field keeps its last (right) or first (left)
// |width| units.
void AppendWideField(WideAccumulator& out, DirectiveText& text, const char16_t* arg) {
    text.Fill();
    const char* layout = text.Terminate() + 1;
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

}  // namespace detail
}  // namespace UTL
