// The seven dialects in which the library reads printf and scanf directives,
// side by side: each is the one DirectiveSyntax its reader hands to
// ReadDirective (Directive.h). A quirk of a dialect is changed here.
#pragma once

#include "Directive.h"

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

}  // namespace detail
}  // namespace UTL
