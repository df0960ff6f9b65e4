/// @file
/// The seven dialects in which the library reads printf and scanf directives,
/// side by side: each is the one DirectiveSyntax its reader hands to
/// ReadDirective (DirectiveReader.h). A quirk of a dialect is changed here.
/// Public for the format check of the front ends (FormatCheck.h), which reads
/// literal formats in the wide engines' dialects, and walks them as the
/// engines do with the functions at the end.
#pragma once

#include <UTL/detail/DirectiveReader.h>

namespace UTL {
namespace detail {

// Plain conversions: printf as the C library reads it, without "*", "N$" and sizes but "h" "l".
constexpr DirectiveSyntax kPrintfSyntax = DirectiveSyntax{}.Flags("-+ #0");

// Wide output engine: up to 10 flag, width and "." characters in any order ("#" is no flag).
constexpr unsigned kClassifiedRun = 10;
constexpr DirectiveSyntax kClassification =
    DirectiveSyntax{}.Flags("-+ 0").InAnyOrder(kClassifiedRun).ClassifiedBy(WideOutputClass);

// Star mode: one flag, only before a width or precision, which may each be "*".
constexpr DirectiveSyntax kStarRewrite =
    DirectiveSyntax{}.Flags("-+0 #").OneFlag().Stars().ClassifiedBy(WideOutputClass);

// The directive text star mode hands to the C library, as the C library reads it.
constexpr DirectiveSyntax kHandedOver =
    DirectiveSyntax{}.Flags("-+ #0").ClassifiedBy(WideOutputClass);

// Wide input engine, its guard in front of sscanf: scanf as the C library reads it.
constexpr DirectiveSyntax kScanSyntax = DirectiveSyntax{}
                                            .Flags("*'I")
                                            .Positional()
                                            .NoPrecision()
                                            .Allocation()
                                            .SizeRun("hlqLjzt")
                                            .Conversions("diouxXaAeEfFgGsScC[pn%");

// Log manager, its argument walk: the C library's whole printf grammar, any conversion.
constexpr DirectiveSyntax kCLibrarySyntax =
    DirectiveSyntax{}.Flags("-+ #0'I").Positional().Stars().SizeRun("hlLqjzZt");

// Report formatter (the window system's): any order; only an "h" before an "s" matters.
constexpr DirectiveSyntax kWindowSyntax = DirectiveSyntax{}.Flags("-+ #0*").InAnyOrder().Sizes("h");

// ---- How the wide engines walk a format ----

// The wide output engine: "%s %S %c %C" directly after the "%" are letter
// directives, appended as they are; every other directive is classified.
constexpr bool IsDirectiveLetter(char16_t c) {
    return c == u's' || c == u'S' || c == u'c' || c == u'C';
}

// A classified directive too long to classify: its extent shrinks to the bare
// "%" (the class and its argument stay, its size letter is not read).
constexpr bool TooLongToClassify(const Directive& d) {
    const unsigned counted = d.runLength + (d.size ? 1 : 0) + (d.cls != Conv::None ? 1 : 0);
    return d.cls != Conv::None && counted >= kClassifiedRun;
}

// In star mode (a format with a "*" anywhere) the extent of a classified
// directive ends at its first conversion character.
template <typename Char>
constexpr const Char* StarDirectiveEnd(const Char* pct) {
    const Char* end = pct + 1;
    while (*end && WideOutputClass(*end) == Conv::None) ++end;
    return *end ? end + 1 : end;
}

// The wide input engine cuts the format into pieces, one per "%" that does not
// begin a "%%" pair (a lone "%" at the end counts): the end of the piece that
// starts at `start` is the next such "%" (pairs stay inside the piece).
template <typename Char>
constexpr const Char* PieceEnd(const Char* start) {
    const Char* s = start;
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

}  // namespace detail
}  // namespace UTL
