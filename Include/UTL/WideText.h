/// @file
/// Zero-terminated 16-bit text: string primitives, narrow/wide conversions and
/// the library's own printf/scanf engines for wide text.
///
/// A wide character is one UTF-16 code unit (char16_t); no function interprets
/// surrogate pairs. Narrow and wide text meet by byte value = code unit value
/// (0x00-0xFF); code units above 0xFF have no narrow form.
///
/// Pointers must be valid and non-null unless a function says otherwise. No
/// function allocates except the formatting engines, and none keeps state.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <type_traits>

#include <UTL/CheckedFormat.h>
#include <UTL/Export.h>
#include <UTL/FormatArgument.h>

// ---- Measuring, copying, comparing, searching ------------------------------

/// Number of code units before the terminator.
UTL_API unsigned int lwcslen(const char16_t* s);
/// Copies `src` with its terminator; returns `dst`.
UTL_API char16_t* lwcscpy(char16_t* dst, const char16_t* src);
/// Copies at most `count` code units, then always a terminator (no zero padding);
/// `dst` must hold count + 1 units. A negative count copies the whole source.
UTL_API char16_t* lwcsncpy(char16_t* dst, const char16_t* src, int count);
/// Appends `src` with its terminator to `dst`; returns `dst`.
UTL_API char16_t* lwcscat(char16_t* dst, const char16_t* src);

/// Comparisons return exactly -1, 0 or +1, ordering by unsigned code unit value.
UTL_API int lwcscmp(const char16_t* a, const char16_t* b);
/// As lwcscmp over at most `count` units; a count of 0 reads nothing and gives 0.
UTL_API int lwcsncmp(const char16_t* a, const char16_t* b, unsigned int count);
/// As lwcscmp after folding both sides with ltowlower.
UTL_API int lwcsicmp(const char16_t* a, const char16_t* b);
/// Narrow, case-insensitive: bytes are signed values folded by the C library's
/// tolower in the current locale, so bytes 0x80-0xFF order before ASCII.
UTL_API int lstricmp(const char* a, const char* b);

/// First position holding `c` (compared as int, so 0 finds the terminator and
/// values above 0xFFFF are never found), or null.
UTL_API char16_t* lwcschr(const char16_t* s, int c);
/// First occurrence of `sub` in `s` (an empty `sub` gives `s`), or null.
UTL_API char16_t* lwcsstr(const char16_t* s, const char16_t* sub);

///@{
/// Case mapping of ASCII, the Latin-1 letters and the pairs U+0152/3,
/// U+0160/1, U+017D/E; every other code unit is returned unchanged.
UTL_API char16_t ltowlower(char16_t c);
UTL_API char16_t ltowupper(char16_t c);
///@}

// ---- Formatting engines -----------------------------------------------------

///@{
/// Formats `format` into `buffer` (no size: the caller supplies enough room) and
/// always returns 0.
///
/// Literal text is copied; "%s" (const char16_t*), "%S" (const char*), "%c" (the
/// low 16 bits of an int) and "%C" (the low byte of an int, sign-extended) are
/// handled directly; every other directive is formatted like the C library's
/// narrow snprintf for that directive alone, so numeric text is exactly glibc's.
/// Arguments are taken by class, in order: "d i o u x X" an int, with the size
/// letter "l" a long (64 bits on LP64 targets), "e E f g G" a double, "n" and "p" a pointer, "*" an
/// int. A "*" anywhere in the format switches the call to star mode, in which "*" widths and
/// precisions are expanded. A "%s" with flags uses the engine's own field
/// layout ("%5s" keeps the last 5 units of a longer text, "%-5s" the first).
///
/// Unrecognised directives show nothing and take no argument; the text resumes
/// at the failing character ("%y" shows "y"). A zero code unit ends the result.
/// A double outside [-1e+50, +1e+50] logs two LOG_DevMessage lines and returns
/// at once, leaving `buffer` untouched; so does a null or empty format.
///
/// Outside the usual contract: null string arguments read as empty text; "%n"
/// takes its pointer, stores nothing and shows nothing; the text of
/// one converted directive is cut at 99 characters and a "%s" field at 65535
/// units; a null `buffer` does nothing. See docs/platform.md for the rest.
UTL_API int lvswprintf(char16_t* buffer, const char16_t* format, va_list args);
#if !UTL_CHECKS_LITERAL_FORMATS
UTL_API int lswprintf(char16_t* buffer, const char16_t* format, ...);
#endif
///@}

#if !UTL_CHECKS_LITERAL_FORMATS
/// As lswprintf, but writes at most `size` code units into `buffer`, its
/// terminator included, and cuts a longer result (a size of 0 writes nothing).
/// Returns 0.
UTL_API int lsnwprintf(char16_t* buffer, unsigned int size, const char16_t* format, ...);
#endif

namespace UTL {
namespace detail {

// The C-variadic entry points of the engines. Where literal formats are
// checked (C++20), the front ends below take the engines' names, so that a
// literal format meets no unchecked overload: the entry points are declared
// under other names for the same symbols.
#if UTL_CHECKS_LITERAL_FORMATS
UTL_API int FormatEngine(char16_t* buffer, const char16_t* format,
                         ...) __asm__("_Z9lswprintfPDsPKDsz");
UTL_API int BoundedFormatEngine(char16_t* buffer, unsigned int size, const char16_t* format,
                                ...) __asm__("_Z10lsnwprintfPDsjPKDsz");
UTL_API int ScanEngine(const char16_t* input, const char16_t* format,
                       ...) __asm__("_Z8lswscanfPKDsS0_z");
#else
constexpr auto FormatEngine = static_cast<int (*)(char16_t*, const char16_t*, ...)>(&lswprintf);
constexpr auto BoundedFormatEngine =
    static_cast<int (*)(char16_t*, unsigned int, const char16_t*, ...)>(&lsnwprintf);
#endif

// lswprintf's front end: into an array of known size at most its size.
template <typename Buffer, typename... Args>
int FormatInto(Buffer&& buffer, const char16_t* format, const Args&... args) {
    using Plain = std::remove_reference_t<Buffer>;
    if constexpr (std::is_array_v<Plain>) {
        constexpr std::size_t size = std::extent_v<Plain>;
        static_assert(size <= 0xFFFFFFFFu, "lswprintf: buffer too large");
        return BoundedFormatEngine(buffer, size, format, FormatArgument(args)...);
    } else {
        return FormatEngine(buffer, format, FormatArgument(args)...);
    }
}

template <typename Buffer>
constexpr bool kIsFormatBuffer = std::is_convertible_v<Buffer&&, char16_t*>;

}  // namespace detail
}  // namespace UTL

/// The type-checked front end of lswprintf, chosen whenever arguments follow
/// the format (in C++20, also without them): a StringC argument is passed as
/// its text, and a class-type argument of any other type fails to compile.
/// Into an array of known size (`char16_t buffer[N]`) it writes at most N
/// units, the terminator included, and cuts the rest; into a pointer it cannot
/// know the size. A C++17 call without arguments after the format is the C
/// function's, which writes the whole result: pass text as an argument
/// (`lswprintf(buffer, u"%s", text)`). A literal format is checked in C++20
/// (CheckedFormat.h); this one takes a pointer or a StringC unchecked.
#if UTL_CHECKS_LITERAL_FORMATS
template <typename Buffer, typename Format, typename... Args>
auto lswprintf(Buffer&& buffer, Format&& format, const Args&... args) -> std::enable_if_t<
    UTL::detail::kIsFormatBuffer<Buffer> && UTL::detail::kIsRuntimeFormat<Format>, int> {
    return UTL::detail::FormatInto(buffer, format, args...);
}
#else
template <typename Buffer, typename... Args>
auto lswprintf(Buffer&& buffer, const char16_t* format, const Args&... args)
    -> std::enable_if_t<UTL::detail::kIsFormatBuffer<Buffer>, int> {
    return UTL::detail::FormatInto(buffer, format, args...);
}
#endif
/// The checked front end of lswprintf: a literal format in C++20, or one
/// wrapped in UTL_FORMAT, checked against the arguments at compile time.
template <typename Buffer, typename... Args>
auto lswprintf(Buffer&& buffer, UTL::OutputFormat<Args...> format, const Args&... args)
    -> std::enable_if_t<UTL::detail::kIsFormatBuffer<Buffer>, int> {
    return UTL::detail::FormatInto(buffer, format.Text(), args...);
}

/// The type-checked front end of lsnwprintf, chosen whenever arguments follow
/// the format: a StringC argument is passed as its text, and a class-type
/// argument of any other type fails to compile. Unchecked as lswprintf's.
#if UTL_CHECKS_LITERAL_FORMATS
template <typename Format, typename... Args>
auto lsnwprintf(char16_t* buffer, unsigned int size, Format&& format, const Args&... args)
    -> std::enable_if_t<UTL::detail::kIsRuntimeFormat<Format>, int> {
    return UTL::detail::BoundedFormatEngine(buffer, size, format,
                                            UTL::detail::FormatArgument(args)...);
}
#else
template <typename... Args>
int lsnwprintf(char16_t* buffer, unsigned int size, const char16_t* format, const Args&... args) {
    return UTL::detail::BoundedFormatEngine(buffer, size, format,
                                            UTL::detail::FormatArgument(args)...);
}
#endif
/// The checked front end of lsnwprintf (see lswprintf's).
template <typename... Args>
int lsnwprintf(char16_t* buffer, unsigned int size, UTL::OutputFormat<Args...> format,
               const Args&... args) {
    return UTL::detail::BoundedFormatEngine(buffer, size, format.Text(),
                                            UTL::detail::FormatArgument(args)...);
}

///@{
/// Reads values from `input` under `format`, one target pointer per directive
/// (each directive takes exactly one, whatever its form).
///
/// The format is cut into pieces (a directive and the literal text after it).
/// For each piece the field's extent is measured first (up to the delimiter
/// that follows the conversion letter, leading delimiters skipped) and the
/// field is then converted as the C library's sscanf does for the piece: "%s",
/// "%c" and "%[" directly after the "%" store a wide string, "%S" a narrow
/// string, "%C" one narrow char, everything else what sscanf stores ("%ld" a
/// long, "%f" a float, "%lf" a double). The input advances by the measured
/// field and its delimiter. Code units from U+00FF up read as spaces.
///
/// Returns the sum of the measuring results: 1 per measured field (even if it
/// did not convert), 0 for an empty one, -1 when the input had ended (which also
/// ends the scan). A format without directives, or a null one, returns 0; a
/// null input reads as empty. Fields and pieces longer than 255 characters are
/// measured cut; see docs/platform.md for the rest.
UTL_API int lvswscanf(const char16_t* input, const char16_t* format, va_list args);
#if !UTL_CHECKS_LITERAL_FORMATS
UTL_API int lswscanf(const char16_t* input, const char16_t* format, ...);
#endif
///@}

#if UTL_CHECKS_LITERAL_FORMATS
/// lswscanf with a format given at run time (a pointer or a StringC), unchecked.
template <typename Format, typename... Targets>
auto lswscanf(const char16_t* input, Format&& format, Targets... targets)
    -> std::enable_if_t<UTL::detail::kIsRuntimeFormat<Format>, int> {
    return UTL::detail::ScanEngine(input, format, targets...);
}
#endif
/// The checked front end of lswscanf: a literal format in C++20, or one
/// wrapped in UTL_FORMAT, checked against the targets at compile time.
template <typename... Targets>
int lswscanf(const char16_t* input, UTL::ScanFormat<Targets...> format, Targets... targets) {
    return lswscanf(input, format.Text(), targets...);
}

namespace UTL {

/// Widens `src` into `dst`, byte value = code unit value. A null `src` gives an
/// empty string.
UTL_API void AsciiToUnicode(char16_t* dst, const char* src);
/// As above, storing at most size - 1 characters and always a terminator
/// (a size of 0 writes nothing at all).
UTL_API void AsciiToUnicode(char16_t* dst, unsigned int size, const char* src);
/// Narrows `src` into `dst`: units 0x01-0xFF become their byte, units above
/// 0xFF a space. A null `src` gives an empty string.
UTL_API void UnicodeToAscii(char* dst, const char16_t* src);
/// As above, storing at most size - 1 bytes and always a terminator (a size of
/// 0 writes nothing at all).
UTL_API void UnicodeToAscii(char* dst, unsigned int size, const char16_t* src);
/// True if any code unit is above 0xFF (exactly those UnicodeToAscii replaces);
/// false for a null pointer.
UTL_API bool HasUnicodeCharacters(const char16_t* s);

}  // namespace UTL
