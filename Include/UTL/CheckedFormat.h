/// @file
/// Literal formats checked against their arguments at compile time.
///
/// The front ends StringC::Format, StringC::Scan, lswprintf, lsnwprintf and
/// lswscanf take a literal format as a CheckedFormat: in an application built
/// as C++20 or later a plain literal is checked, in C++17 a literal wrapped in
/// UTL_FORMAT. The format is read as the engines read it, with their own
/// directive reader, and the call does not compile when a directive's
/// argument has another type than it takes, when arguments are missing or
/// left over, for "%n" (the engines store nothing through it), and for a
/// directive the engine does not read ("%lld", "%5c", a lone "%"). A format
/// given as a pointer or a StringC is not checked. The check changes nothing
/// in the code of the call.
///
/// What a directive takes when formatting ("h" changes nothing: the engine
/// reads an int):
/// - `%d %i %o %u %x %X` (with or without `h`), `%c %C`, a `*` width or
///   precision: an integer type no wider than int, of either signedness
///   (bool, the char types, short, int, unsigned, such enums);
/// - the same with `l`: long or unsigned long;
/// - `%e %E %f %g %G`: float or double;
/// - `%p`: any pointer;
/// - `%s`: `const char16_t*`, a StringC (or a class derived from it), nullptr;
/// - `%S`: `const char*`, nullptr;
/// - `%%`: nothing.
///
/// `ll`, `L`, `I64`, `q`, `j`, `z` and `t` are no size letters of the output
/// engine: `%lld` shows "ld" and takes nothing, and is refused. A 64-bit value
/// is `%ld` with a long on 64-bit targets only.
///
/// What a directive takes when scanning (one target per "%" outside "%%"):
/// - `%d %i %o %u %x %X` with no size, `hh`, `h`, `l`, `ll`/`q`/`L`, `j`, `z`,
///   `t`: int*, signed char*, short*, long*, long long*, intmax_t*, size_t*,
///   ptrdiff_t* (either signedness);
/// - `%e %E %f %g %G %a %A %F` with no size, `l`, `L`/`ll`/`q`: float*,
///   double*, long double*;
/// - `%s %c %[` directly after the "%": char16_t*;
/// - `%S %C` directly after the "%": char*;
/// - `%s %c %[` after a width, flag or `h`: char*; with `l`: wchar_t*;
/// - `%S %C` after a width or flag: wchar_t*;
/// - `%p`: a pointer to a pointer;
/// - `%*d` (any suppressed or `m` directive), `%5%`: any pointer (the engine
///   takes one and stores nothing).
///
/// `I` is glibc's flag for the locale's digits, not a size: `%I64d` reads an
/// int of at most 64 characters. A scan format must start with its first
/// directive: the engine takes text before it as a piece of its own.
///
/// A refused call names the failing check as a function in the compiler's
/// message, for instance `directive_takes_another_type<long, int>` ("the
/// directive takes a long, the argument is an int") called from
/// `AtDirective<2>` (the second directive); see the guide's section on porting.
#pragma once

#include <cstddef>
#include <type_traits>

#include <UTL/detail/FormatCheck.h>

/// 1 when a plain literal format is checked (C++20 and later: a consteval
/// constructor), else 0 (C++17: wrap the literal in UTL_FORMAT).
#if __cplusplus >= 202002L && \
    (defined(__cpp_consteval) || (defined(__clang__) && __clang_major__ >= 14))
#define UTL_CHECKS_LITERAL_FORMATS 1
#else
#define UTL_CHECKS_LITERAL_FORMATS 0
#endif

/// A literal format checked in C++17 as in C++20:
/// `text.Format(UTL_FORMAT(u"%ld m"), distance)`.
#define UTL_FORMAT(literal)                                             \
    [] {                                                                \
        struct UtlFormatLiteral : ::UTL::detail::FormatLiteral {        \
            static constexpr const char16_t* Text() { return literal; } \
        };                                                              \
        return UtlFormatLiteral{};                                      \
    }()

namespace UTL {
namespace detail {

// The base of the types UTL_FORMAT makes: Text() gives the literal as a
// constant.
struct FormatLiteral {};

template <typename T>
struct Identity {
    using type = T;
};

// A format given at run time (unchecked): convertible to the format pointer,
// and not a literal (in C++20, a literal is checked).
template <typename Format>
constexpr bool kIsRuntimeFormat =
    std::is_convertible_v<Format, const char16_t*> &&
    !(UTL_CHECKS_LITERAL_FORMATS &&
      std::is_same_v<std::remove_extent_t<std::remove_reference_t<Format>>, const char16_t>);

}  // namespace detail

/// A format checked at compile time against the argument types `Args` by
/// the engine `Engine` reads it with. Made from a literal (C++20) or from
/// UTL_FORMAT (C++17 and later); the front ends take it as their format.
template <detail::FormatEngine Engine, typename... Args>
class CheckedFormat {
public:
#if UTL_CHECKS_LITERAL_FORMATS
    /// Checks the literal `format`: a refused format does not compile.
    template <std::size_t N>
    consteval CheckedFormat(const char16_t (&format)[N])  // NOLINT: a literal is a format
        : m_format(format) {
        detail::CheckFormat<Engine, Args...>(format);
    }
#endif
    /// Checks the literal of UTL_FORMAT.
    template <typename Literal,
              std::enable_if_t<std::is_base_of_v<detail::FormatLiteral, Literal>, int> = 0>
    constexpr CheckedFormat(Literal)  // NOLINT: a literal is a format
        : m_format(Literal::Text()) {
        static_assert(detail::CheckFormat<Engine, Args...>(Literal::Text()),
                      "the format does not fit the arguments");
    }

    /// The format.
    constexpr const char16_t* Text() const {
        return m_format;
    }

private:
    const char16_t* m_format;
};

/// The format of a formatting call with the arguments `Args` (deduced from
/// the arguments alone).
template <typename... Args>
using OutputFormat =
    CheckedFormat<detail::FormatEngine::Output, typename detail::Identity<Args>::type...>;
/// The format of a scanning call with the targets `Args`.
template <typename... Args>
using ScanFormat =
    CheckedFormat<detail::FormatEngine::Scan, typename detail::Identity<Args>::type...>;

}  // namespace UTL
