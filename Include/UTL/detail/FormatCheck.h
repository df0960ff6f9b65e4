/// @file
/// The compile-time check of a literal format against the arguments of a
/// formatting or scanning call (see CheckedFormat.h). The format is walked as
/// the engines walk it, each directive read by the engines' own reader, and
/// every argument is held against what its directive takes.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include <UTL/detail/DirectiveDialects.h>

class StringC;

namespace UTL {
namespace detail {

// What an argument must be: a value (formatting) or a target (scanning).
enum class Takes : unsigned char {
    Int,         // an integer promoted to int (or unsigned)
    Long,        // long or unsigned long
    Double,      // float or double
    Pointer,     // any pointer
    NarrowText,  // const char*
    WideText,    // const char16_t* or a StringC
    // Targets of the scan engine.
    CharTarget,
    ShortTarget,
    IntTarget,
    LongTarget,
    LongLongTarget,
    IntmaxTarget,
    SizeTarget,
    PtrdiffTarget,
    FloatTarget,
    DoubleTarget,
    LongDoubleTarget,
    NarrowTextTarget,
    WideTextTarget,
    WcharTextTarget,
    PointerTarget,  // "%p": a pointer to a pointer
    AnyTarget       // a target the engine takes but leaves alone ("%*d")
};

// Why a directive is refused whatever the arguments.
enum class Refusal : unsigned char {
    None,
    NotRead,         // the engine shows it as text or stops there
    Count,           // "%n": the engines store nothing
    TooLong,         // longer than the engines' work areas: not checked
    TextBeforeFirst  // scanning: text before the first directive
};

// One directive of a format as an engine reads it, and what it takes.
struct FormatStep {
    const char16_t* at = nullptr;
    std::size_t length = 0;
    Takes takes[3] = {};
    unsigned count = 0;
    Refusal refusal = Refusal::None;

    constexpr void Take(Takes t) { takes[count++] = t; }
};

// Directives longer than this are refused: the engines cut them to work
// areas of 50 and 99 characters, which the check does not follow.
constexpr std::size_t kCheckedDirectiveMax = 40;

// What the output engine takes for a classified directive.
constexpr void TakeClassified(FormatStep& step, Conv conv, char size) {
    switch (conv) {
        case Conv::None:
            step.refusal = Refusal::NotRead;
            break;
        case Conv::Percent:
            break;
        case Conv::Integer:
            step.Take(size == 'l' ? Takes::Long : Takes::Int);
            break;
        case Conv::Double:
            step.Take(Takes::Double);
            break;
        case Conv::Count:
            step.Take(Takes::Pointer);
            step.refusal = Refusal::Count;
            break;
        case Conv::Pointer:
            step.Take(Takes::Pointer);
            break;
        case Conv::NarrowString:
            step.Take(Takes::NarrowText);
            break;
        case Conv::WideString:
            step.Take(Takes::WideText);
            break;
    }
}

// Star mode: the extent runs to the first conversion character; the
// directive, narrowed, is read by kStarRewrite, whose "*" take an int each.
// Its class is the rewrite's, or the classification's when the rewrite read
// no conversion character; a "*" left after it makes it unread.
constexpr const char16_t* ReadStarDirective(const char16_t* pct, FormatStep& step) {
    const char16_t* end = StarDirectiveEnd(pct);
    if (static_cast<std::size_t>(end - pct) > kCheckedDirectiveMax) {
        step.refusal = Refusal::TooLong;
        return end;
    }
    char narrowed[kCheckedDirectiveMax + 1] = {};
    for (const char16_t* p = pct; p < end; ++p)
        narrowed[p - pct] = *p > 0xFF ? ' ' : static_cast<char>(*p);
    Directive d;
    ReadDirective(narrowed, kStarRewrite, d);
    if (d.widthStar) step.Take(Takes::Int);
    if (d.hasPrecision && d.precisionStar) step.Take(Takes::Int);
    bool keepsStar = false;
    for (const char* rest = narrowed + d.length; *rest && *rest != '%'; ++rest)
        keepsStar |= *rest == '*';
    if (keepsStar) {
        step.refusal = Refusal::NotRead;
    } else if (d.complete) {
        TakeClassified(step, d.cls, d.size);
    } else {
        Directive written;
        ReadDirective(pct, kClassification, written);
        TakeClassified(step, written.cls, written.size);
    }
    return end;
}

// Reads the next directive of an output format from `p` into `step` and
// moves `p` past it; false at the end of the format.
constexpr bool NextOutputDirective(const char16_t*& p, bool starMode, FormatStep& step) {
    while (*p && *p != u'%') ++p;
    if (!*p) return false;
    const char16_t* pct = p;
    step = FormatStep{};
    step.at = pct;
    if (IsDirectiveLetter(pct[1])) {
        step.Take(pct[1] == u's'   ? Takes::WideText
                  : pct[1] == u'S' ? Takes::NarrowText
                                   : Takes::Int);
        p = pct + 2;
    } else if (starMode) {
        p = ReadStarDirective(pct, step);
    } else {
        Directive d;
        ReadDirective(pct, kClassification, d);
        const bool tooLong = TooLongToClassify(d);
        p = tooLong ? pct + 1 : pct + d.length;
        TakeClassified(step, d.cls, !tooLong && d.complete ? d.size : 0);
    }
    step.length = static_cast<std::size_t>(p - pct);
    return true;
}

// The scan engine reads the format narrowed: units from U+00FF up are spaces.
constexpr char ScanNarrowed(char16_t c) {
    return c >= 0xFF ? ' ' : static_cast<char>(c);
}

// What sscanf stores for the directive `d`, read from `s`, with its size
// letters.
constexpr Takes ScanTarget(const char* s, const Directive& d, Refusal& refusal) {
    const std::size_t sizes = d.sizesEnd - d.sizesAt;
    const char a = sizes > 0 ? s[d.sizesAt] : 0, b = sizes > 1 ? s[d.sizesAt + 1] : 0;
    const bool none = sizes == 0, one = sizes == 1, twice = sizes == 2 && a == b;
    const unsigned c = static_cast<unsigned char>(d.conv);
    if (IsIntegerConversion(c)) {
        if (none) return Takes::IntTarget;
        if (twice && a == 'h') return Takes::CharTarget;
        if (twice && a == 'l') return Takes::LongLongTarget;
        if (one) {
            switch (a) {
                case 'h':
                    return Takes::ShortTarget;
                case 'l':
                    return Takes::LongTarget;
                case 'q':
                case 'L':
                    return Takes::LongLongTarget;
                case 'j':
                    return Takes::IntmaxTarget;
                case 'z':
                    return Takes::SizeTarget;
                case 't':
                    return Takes::PtrdiffTarget;
                default:
                    break;
            }
        }
    } else if (IsFloatingConversion(c) || c == 'a' || c == 'A' || c == 'F') {
        if (none) return Takes::FloatTarget;
        if (one && a == 'l') return Takes::DoubleTarget;
        if ((one && (a == 'L' || a == 'q')) || (twice && a == 'l')) return Takes::LongDoubleTarget;
    } else if (c == 's' || c == 'c' || c == '[') {
        if (none || (one && a == 'h')) return Takes::NarrowTextTarget;
        if (one && a == 'l') return Takes::WcharTextTarget;
    } else if (c == 'S' || c == 'C') {
        if (none) return Takes::WcharTextTarget;
    } else if (c == 'p') {
        if (none) return Takes::PointerTarget;
    } else if (c == 'n') {
        refusal = Refusal::Count;
        return Takes::AnyTarget;
    }
    refusal = Refusal::NotRead;  // size letters sscanf reads otherwise, or none
    return Takes::AnyTarget;
}

// Reads the next piece of a scan format (a directive and the text after it,
// "%%" included) from `p` into `step`; false when no directive is left. Every
// piece takes one target, as the engine takes one per "%" outside "%%".
constexpr bool NextScanPiece(const char16_t*& p, FormatStep& step) {
    const char16_t* s = p;
    const char16_t* end = PieceEnd(s);
    const bool ownDirective = s[0] == u'%' && s[1] != u'%';
    if (!ownDirective && !*end) return false;
    step = FormatStep{};
    step.at = s;
    step.length = static_cast<std::size_t>(end - s);
    p = end;
    if (!ownDirective) {  // text before the first "%": the engine's first piece
        step.Take(Takes::AnyTarget);
        step.refusal = Refusal::TextBeforeFirst;
        return true;
    }
    const char16_t c1 = ScanNarrowed(s[1]);
    if (c1 == 's' || c1 == 'c' || c1 == '[') {
        step.Take(Takes::WideTextTarget);
        return true;
    }
    if (c1 == 'S' || c1 == 'C') {
        step.Take(Takes::NarrowTextTarget);
        return true;
    }
    char narrowed[kCheckedDirectiveMax + 1] = {};
    std::size_t n = 0;
    for (; s + n < end && n < kCheckedDirectiveMax; ++n) narrowed[n] = ScanNarrowed(s[n]);
    Directive d;
    if (!ReadDirective(narrowed, kScanSyntax, d)) {
        step.refusal = n == kCheckedDirectiveMax ? Refusal::TooLong : Refusal::NotRead;
        step.Take(Takes::AnyTarget);
    } else if (d.suppressed || d.allocate || d.conv == '%') {
        step.Take(Takes::AnyTarget);  // the engine takes a target and stores nothing
    } else {
        step.Take(ScanTarget(narrowed, d, step.refusal));
    }
    return true;
}

// ---- What an argument is ----

template <typename T, typename... Of>
constexpr bool IsOneOf() {
    return (std::is_same_v<T, Of> || ...);
}

// An integer promoted to int or unsigned. long is never one, even where it
// has the size of int: the call must be right on every target.
template <typename T>
constexpr bool IsIntLike() {
    if constexpr (std::is_enum_v<T>) {
        return IsIntLike<std::underlying_type_t<T>>();
    } else {
        return std::is_integral_v<T> && sizeof(T) <= sizeof(int) &&
               !IsOneOf<T, long, unsigned long>();
    }
}

// Whether an argument of type `Arg` (as the call passes it) fits `t`.
template <typename Arg, typename String = StringC>
constexpr bool Accepts(Takes t) {
    using T = std::remove_cv_t<std::decay_t<Arg>>;
    using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
    constexpr bool pointer = std::is_pointer_v<T> || std::is_null_pointer_v<T>;
    switch (t) {
        case Takes::Int:
            return IsIntLike<T>();
        case Takes::Long:
            return IsOneOf<T, long, unsigned long>();
        case Takes::Double:
            return IsOneOf<T, float, double>();
        case Takes::Pointer:
            return pointer;
        case Takes::NarrowText:
            return std::is_null_pointer_v<T> || (std::is_pointer_v<T> && IsOneOf<Pointee, char>());
        case Takes::WideText:
            return std::is_null_pointer_v<T> ||
                   (std::is_pointer_v<T> && IsOneOf<Pointee, char16_t>()) ||
                   std::is_base_of_v<String, T>;
        default:
            break;
    }
    // A target: a pointer to a writable object of the type sscanf stores.
    if (!std::is_pointer_v<T> || std::is_const_v<std::remove_pointer_t<T>>) return false;
    switch (t) {
        case Takes::CharTarget:
            return IsOneOf<Pointee, signed char, unsigned char, char>();
        case Takes::ShortTarget:
            return IsOneOf<Pointee, short, unsigned short>();
        case Takes::IntTarget:
            return IsOneOf<Pointee, int, unsigned>();
        case Takes::LongTarget:
            return IsOneOf<Pointee, long, unsigned long>();
        case Takes::LongLongTarget:
            return IsOneOf<Pointee, long long, unsigned long long>();
        case Takes::IntmaxTarget:
            return IsOneOf<Pointee, std::intmax_t, std::uintmax_t>();
        case Takes::SizeTarget:
            return IsOneOf<Pointee, std::size_t, std::make_signed_t<std::size_t>>();
        case Takes::PtrdiffTarget:
            return IsOneOf<Pointee, std::ptrdiff_t, std::make_unsigned_t<std::ptrdiff_t>>();
        case Takes::FloatTarget:
            return IsOneOf<Pointee, float>();
        case Takes::DoubleTarget:
            return IsOneOf<Pointee, double>();
        case Takes::LongDoubleTarget:
            return IsOneOf<Pointee, long double>();
        case Takes::NarrowTextTarget:
            return IsOneOf<Pointee, char, signed char, unsigned char>();
        case Takes::WideTextTarget:
            return IsOneOf<Pointee, char16_t>();
        case Takes::WcharTextTarget:
            return IsOneOf<Pointee, wchar_t>();
        case Takes::PointerTarget:
            return std::is_pointer_v<Pointee>;
        default:
            return true;  // AnyTarget
    }
}

// ---- The compiler's message ----
//
// A refused format calls one of these functions during constant evaluation,
// where a function that is not constexpr cannot run: the compiler names the
// function (its template arguments are the types) and the call chain (the
// directive's number and, where clang shows values, its text). Defined, and
// empty: only constant evaluation ever reaches them.

// The directive's argument has another type than it takes.
template <typename DirectiveTakes, typename ArgumentGiven>
void directive_takes_another_type() {}
// The directive has no argument left.
inline void directive_has_no_argument() {}
// More arguments than the directives take; the type is the first extra one's.
template <typename ExtraArgument>
void argument_without_directive() {}
// "%n": the engines store nothing through it.
inline void directive_n_stores_nothing() {}
// The engine does not read the directive: it shows it as text or stops there
// ("%lld", "%5c", a lone "%").
inline void directive_not_read_by_the_engine() {}
// Longer than the checked 40 characters.
inline void directive_too_long_to_check() {}
// The scan engine takes the text before the first "%" as a piece of its own.
inline void scan_format_must_start_with_a_directive() {}

// Calls `refuse`, stating the directive's number and text (from its "%").
template <unsigned Directive>
constexpr bool AtDirective(unsigned number, const char16_t* /*text*/, void (*refuse)()) {
    return number == Directive ? (refuse(), false) : true;
}

template <std::size_t... N>
constexpr bool Refuse(unsigned number, const char16_t* text, void (*refuse)(),
                      std::index_sequence<N...>) {
    // Numbers beyond the last shown are reported as directive 0.
    return (AtDirective<N + 1>(number, text, refuse) && ...) && AtDirective<0>(0, text, refuse);
}
constexpr bool Refuse(unsigned number, const char16_t* text, void (*refuse)()) {
    return Refuse(number, text, refuse, std::make_index_sequence<16>{});
}

template <typename Arg>
constexpr void (*WrongType(Takes t))() {
    using Given = std::decay_t<Arg>;
    switch (t) {
        case Takes::Int:
            return &directive_takes_another_type<int, Given>;
        case Takes::Long:
            return &directive_takes_another_type<long, Given>;
        case Takes::Double:
            return &directive_takes_another_type<double, Given>;
        case Takes::Pointer:
            return &directive_takes_another_type<void*, Given>;
        case Takes::NarrowText:
            return &directive_takes_another_type<const char*, Given>;
        case Takes::WideText:
            return &directive_takes_another_type<const char16_t*, Given>;
        case Takes::CharTarget:
            return &directive_takes_another_type<signed char*, Given>;
        case Takes::ShortTarget:
            return &directive_takes_another_type<short*, Given>;
        case Takes::IntTarget:
            return &directive_takes_another_type<int*, Given>;
        case Takes::LongTarget:
            return &directive_takes_another_type<long*, Given>;
        case Takes::LongLongTarget:
            return &directive_takes_another_type<long long*, Given>;
        case Takes::IntmaxTarget:
            return &directive_takes_another_type<std::intmax_t*, Given>;
        case Takes::SizeTarget:
            return &directive_takes_another_type<std::size_t*, Given>;
        case Takes::PtrdiffTarget:
            return &directive_takes_another_type<std::ptrdiff_t*, Given>;
        case Takes::FloatTarget:
            return &directive_takes_another_type<float*, Given>;
        case Takes::DoubleTarget:
            return &directive_takes_another_type<double*, Given>;
        case Takes::LongDoubleTarget:
            return &directive_takes_another_type<long double*, Given>;
        case Takes::NarrowTextTarget:
            return &directive_takes_another_type<char*, Given>;
        case Takes::WideTextTarget:
            return &directive_takes_another_type<char16_t*, Given>;
        case Takes::WcharTextTarget:
            return &directive_takes_another_type<wchar_t*, Given>;
        case Takes::PointerTarget:
            return &directive_takes_another_type<void**, Given>;
        case Takes::AnyTarget:
            break;
    }
    return &directive_takes_another_type<void*, Given>;
}

constexpr void (*RefusalOf(Refusal r))() {
    switch (r) {
        case Refusal::NotRead:
            return &directive_not_read_by_the_engine;
        case Refusal::Count:
            return &directive_n_stores_nothing;
        case Refusal::TooLong:
            return &directive_too_long_to_check;
        case Refusal::TextBeforeFirst:
            return &scan_format_must_start_with_a_directive;
        case Refusal::None:
            break;
    }
    return nullptr;
}

// ---- The check ----

enum class FormatEngine : unsigned char { Output, Scan };

// The argument types of a call, with their tests and messages.
struct ArgumentRules {
    bool (*accepts)(Takes);
    void (*(*wrongType)(Takes))();
    void (*extra)();
};
template <typename Arg>
constexpr ArgumentRules kRulesOf{&Accepts<Arg>, &WrongType<Arg>,
                                 &argument_without_directive<std::decay_t<Arg>>};

// Whether `format` fits the arguments `rules`; a refused format does not
// compile, as a call of one of the functions above is not a constant.
constexpr bool CheckFormat(FormatEngine engine, const char16_t* format, const ArgumentRules* rules,
                           std::size_t count) {
    bool starMode = false;
    for (const char16_t* p = format; *p; ++p) starMode |= *p == u'*';
    std::size_t next = 0;
    unsigned number = 0;
    FormatStep step;
    for (const char16_t* p = format; engine == FormatEngine::Output
                                         ? NextOutputDirective(p, starMode, step)
                                         : NextScanPiece(p, step);) {
        ++number;
        if (step.refusal != Refusal::None) return Refuse(number, step.at, RefusalOf(step.refusal));
        for (unsigned i = 0; i < step.count; ++i, ++next) {
            if (next == count) return Refuse(number, step.at, &directive_has_no_argument);
            if (!rules[next].accepts(step.takes[i]))
                return Refuse(number, step.at, rules[next].wrongType(step.takes[i]));
        }
    }
    if (next < count) return Refuse(number + 1, nullptr, rules[next].extra);
    return true;
}

template <FormatEngine Engine, typename... Args>
constexpr bool CheckFormat(const char16_t* format) {
    constexpr ArgumentRules rules[sizeof...(Args) + 1] = {kRulesOf<Args>..., {}};
    return CheckFormat(Engine, format, rules, sizeof...(Args));
}

}  // namespace detail
}  // namespace UTL
