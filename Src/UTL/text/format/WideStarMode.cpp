// Star mode of the wide output engine (a format with a "*" anywhere): each
// directive is rewritten for the C library with every "*" replaced by the
// decimal value of the next int argument, and its layout is made from the
// rewrite's reading rather than by reading the rewritten text again.
#include <cstring>

#include "WideFormatParts.h"

namespace UTL {
namespace detail {

namespace {

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
Classified RewriteStarDirective(const char16_t* pct, const char16_t* end, FormatCall& call,
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
        const int width = va_arg(call.ap, int);
        text.AppendDecimal(width);
        handed.SubstitutedWidth(width);
    } else {
        text.Append(s + d.flagsEnd, d.widthEnd - d.flagsEnd);
        handed.WrittenWidth(s + d.flagsEnd, d.widthEnd - d.flagsEnd);
    }
    if (d.hasPrecision) {
        text.Put('.');
        if (d.precisionStar) {
            const int precision = va_arg(call.ap, int);
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

}  // namespace

// The extent of a star-mode directive ends at its first conversion
// character. Each directive is read once, except one the rewrite could not
// read: it is classified as written, and what it hands over is read as the C
// library reads it.
const char16_t* ClassifyStarDirective(const char16_t* pct, FormatCall& call, DirectiveText& text,
                                      Classified& c, Directive& handedOver) {
    const char16_t* end = StarDirectiveEnd(pct);
    c = RewriteStarDirective(pct, end, call, text, handedOver);
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
    // Two reads of two texts in two dialects: the class is the written
    // directive's, the layout the C library's reading of the text handed over.
    if (!rewritten && ReadDirective(handed, kHandedOver, handedOver) &&
        handedOver.length == text.Size()) {
        c.layout = &handedOver;
    }
    return end;
}

}  // namespace detail
}  // namespace UTL
