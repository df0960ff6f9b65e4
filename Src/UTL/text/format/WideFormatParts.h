// What the files of the wide output engine share: the per-call state, the
// directive text handed to the C library, a classified directive, the
// dialects the engine reads, and the parts kept in files of their own (the
// C-library path and the wide-string field in WideFields.cpp, star mode in
// WideStarMode.cpp).
#pragma once

#include <cstdarg>
#include <cstddef>

#include <UTL/detail/DirectiveDialects.h>

#include "Directive.h"
#include "PlainDirective.h"
#include "WideAccumulator.h"

namespace UTL {
namespace detail {

// Fixed work areas of one directive (terminator included).
constexpr unsigned kDirectiveArea = 100;  // the directive text as written
constexpr unsigned kRewriteArea = 50;     // the directive text handed over
constexpr unsigned kNarrowArea = 100;     // snprintf's text for one directive

// One call's state: the caller's argument list, and whether plain doubles
// may be converted here, asked of the C library at the first double only.
struct FormatCall {
    va_list ap;
    signed char nearestRules = -1;  // -1: not asked yet

    bool NearestRules() {
        if (nearestRules < 0) nearestRules = PlainNumberRules() ? 1 : 0;
        return nearestRules == 1;
    }
};

// The directive text handed to the C library, in its fixed work area. A
// directive read as written keeps only its place until the text is asked
// for (Fill): a plain directive never needs it.
class DirectiveText : public BoundedText {
public:
    DirectiveText() : BoundedText(m_area, sizeof m_area) {}
    DirectiveText(const DirectiveText&) = delete;
    DirectiveText& operator=(const DirectiveText&) = delete;

    void Defer(const char16_t* written, std::size_t length) {
        m_pending = written;
        m_pendingLength = length;
    }
    void Fill() {
        if (m_pending) AppendUnits(m_pending, m_pendingLength);
        m_pending = nullptr;
    }

private:
    const char16_t* m_pending = nullptr;
    std::size_t m_pendingLength = 0;
    char m_area[kRewriteArea];
};

// A classified directive: its class and what was read of the text handed to
// the C library.
struct Classified {
    Conv conv = Conv::None;
    char size = 0;          // the size letter
    bool complete = false;  // the text still ends in its conversion character
    // The text read as the C library reads it, when it is exactly one
    // directive; else null. Only such a text has its numbers limited or is
    // plain.
    Directive* layout = nullptr;
};

// ---- The C library's path and the wide-string field (WideFields.cpp) ----
//
// Each fills `text` and converts one argument by snprintf, its width and
// precision limited first, the text cut to the narrow area.

// `value` is the argument as read: an int, or a long for "l".
void HandOverInteger(WideAccumulator& out, DirectiveText& text, const Classified& c, long value);
void HandOverDouble(WideAccumulator& out, DirectiveText& text, const Classified& c, double value);
void HandOverPointer(WideAccumulator& out, DirectiveText& text, const Classified& c, void* value);
// "%S" with flags: the narrow string, shown as "%s" shows it.
void HandOverNarrowString(WideAccumulator& out, DirectiveText& text, Classified& c,
                          const char* value);
// "%s" with flags: the engine's own layout of a wide string.
void AppendWideField(WideAccumulator& out, DirectiveText& text, const char16_t* value);

// ---- Star mode (WideStarMode.cpp) ----

// Classifies the directive at `pct` in star mode into `c` and `text`, taking
// the "*" arguments; `handedOver` receives the layout `c` points to. Returns
// the position after the directive's extent.
const char16_t* ClassifyStarDirective(const char16_t* pct, FormatCall& call, DirectiveText& text,
                                      Classified& c, Directive& handedOver);

}  // namespace detail
}  // namespace UTL
