// Zero-terminated 16-bit text: string primitives, narrow/wide conversions and
// the library's own printf/scanf engines for wide text.
//
// A wide character is one UTF-16 code unit (char16_t); no function interprets
// surrogate pairs. Narrow and wide text meet by byte value = code unit value
// (0x00-0xFF); code units above 0xFF have no narrow form.
//
// Pointers must be valid and non-null unless a function says otherwise. No
// function allocates except the formatting engines, and none keeps state.
#pragma once

#include <cstdarg>

#include <UTL/Export.h>

// ---- Measuring, copying, comparing, searching ------------------------------

// Number of code units before the terminator.
UTL_API unsigned int lwcslen(const char16_t* s);
// Copies `src` with its terminator; returns `dst`.
UTL_API char16_t* lwcscpy(char16_t* dst, const char16_t* src);
// Copies at most `count` code units, then always a terminator (no zero padding);
// `dst` must hold count + 1 units. A negative count copies the whole source.
UTL_API char16_t* lwcsncpy(char16_t* dst, const char16_t* src, int count);
// Appends `src` with its terminator to `dst`; returns `dst`.
UTL_API char16_t* lwcscat(char16_t* dst, const char16_t* src);

// Comparisons return exactly -1, 0 or +1, ordering by unsigned code unit value.
UTL_API int lwcscmp(const char16_t* a, const char16_t* b);
// As lwcscmp over at most `count` units; a count of 0 reads nothing and gives 0.
UTL_API int lwcsncmp(const char16_t* a, const char16_t* b, unsigned int count);
// As lwcscmp after folding both sides with ltowlower.
UTL_API int lwcsicmp(const char16_t* a, const char16_t* b);
// Narrow, case-insensitive: bytes are signed values folded by the C library's
// tolower in the current locale, so bytes 0x80-0xFF order before ASCII.
UTL_API int lstricmp(const char* a, const char* b);

// First position holding `c` (compared as int, so 0 finds the terminator and
// values above 0xFFFF are never found), or null.
UTL_API char16_t* lwcschr(const char16_t* s, int c);
// First occurrence of `sub` in `s` (an empty `sub` gives `s`), or null.
UTL_API char16_t* lwcsstr(const char16_t* s, const char16_t* sub);

// Case mapping of ASCII, the Latin-1 letters and the pairs U+0152/3,
// U+0160/1, U+017D/E; every other code unit is returned unchanged.
UTL_API char16_t ltowlower(char16_t c);
UTL_API char16_t ltowupper(char16_t c);

// ---- Formatting engines -----------------------------------------------------

// Formats `format` into `buffer` (no size: the caller supplies enough room).
// Literal text and %s/%S/%c/%C are handled directly; every other directive is
// handed, narrowed, to the C library's snprintf, so numeric text is exactly the
// C library's. Arguments are taken by class, in order: integer directives take
// an int, floating-point ones a double, %s a const char16_t*, %S a const char*.
// Always returns 0.
UTL_API int lvswprintf(char16_t* buffer, const char16_t* format, va_list args);
UTL_API int lswprintf(char16_t* buffer, const char16_t* format, ...);

// Reads values from `input` under `format`, one target pointer per directive,
// by measuring each field with the C library's sscanf and then converting it.
// Returns the sum of the measuring scans (1 per measured field, 0 for an empty
// one, -1 when the input had ended).
UTL_API int lvswscanf(const char16_t* input, const char16_t* format, va_list args);
UTL_API int lswscanf(const char16_t* input, const char16_t* format, ...);

namespace UTL {

// Widens `src` into `dst`, byte value = code unit value. A null `src` gives an
// empty string.
UTL_API void AsciiToUnicode(char16_t* dst, const char* src);
// As above, storing at most size - 1 characters and always a terminator
// (a size of 0 writes nothing at all).
UTL_API void AsciiToUnicode(char16_t* dst, unsigned int size, const char* src);
// Narrows `src` into `dst`: units 0x01-0xFF become their byte, units above
// 0xFF a space. A null `src` gives an empty string.
UTL_API void UnicodeToAscii(char* dst, const char16_t* src);
// As above, storing at most size - 1 bytes and always a terminator (a size of
// 0 writes nothing at all).
UTL_API void UnicodeToAscii(char* dst, unsigned int size, const char16_t* src);
// True if any code unit is above 0xFF (exactly those UnicodeToAscii replaces);
// false for a null pointer.
UTL_API bool HasUnicodeCharacters(const char16_t* s);

}  // namespace UTL
