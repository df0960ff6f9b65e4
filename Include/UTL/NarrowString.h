/// @file
/// Helpers for narrow (one byte per character) strings and file paths.
#pragma once

#include <UTL/Export.h>

namespace UTL {

/// Replaces, in place, every byte of `s` equal to `from` by `to`. A `from` of 0
/// matches nothing. Returns 0, also for a null `s`.
UTL_API int ReplaceChars(char* s, char from, char to);

/// @name Trims
/// Blanks are the space and the horizontal tab; no other white space counts.
/// Strings longer than INT_MAX bytes are outside the contract of the trims.
///@{

/// Removes leading blanks in place. Returns how many were removed (0 for a null
/// or empty `s`; the former length for an all-blank string, which becomes
/// empty).
UTL_API int LTrim(char* s);

/// Removes trailing blanks in place. Returns the zero-based position of the
/// last remaining character (not the number removed): -1 when every character
/// was a blank, 0 for a null or empty `s`.
UTL_API int RTrim(char* s);

/// LTrim, then RTrim on what it leaves; returns the sum of their results (0 for
/// a null or empty `s`). An all-blank string gives its former length.
UTL_API int Trim(char* s);
///@}

/// True when the common services' path mapping finds a file (or directory) for
/// `path`, which is passed unchanged. Every failure of the search, a null path
/// included, gives false; the search is closed after any outcome.
UTL_API bool FileExists(const char* path);

/// Longest path that SplitPath splits, in characters.
constexpr int kSplitPathMax = 774;

/// Splits `path` into drive, directory, name and extension. The separators are
/// the backslash and the colon only ("/" is an ordinary character):
///
///     "C:\dir\sub\file.txt" -> "C:", "\dir\sub\", "file", ".txt"
///
/// The extension runs from the last "." anywhere in the path, so a dot in a
/// directory part takes the rest with it (`"C:\a.b\file"` -> ext `".b\file"`).
/// `drive` keeps its ":", `dir` its trailing backslash, `ext` its ".".
///
/// All four outputs are first set to empty strings and stay empty when `path`
/// is null, empty or longer than kSplitPathMax characters. Each non-null output
/// needs room for the whole path plus its terminator; a null output is skipped.
UTL_API void SplitPath(const char* path, char* drive, char* dir, char* name, char* ext);

}  // namespace UTL
