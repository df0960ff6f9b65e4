/// @file
/// Symbol visibility of the UTL libraries: they are built with everything
/// hidden, and the interface is marked UTL_API.
#pragma once

/// Marks a declaration as part of the libraries' interface.
#define UTL_API __attribute__((visibility("default")))

/// Marks a library function that inline code and short paths call often:
/// GCC then calls it through the global offset table directly, without a PLT
/// stub's extra jump. A calling convention hint only; the symbol is the same.
#if defined(__GNUC__) && !defined(__clang__)
#define UTL_DIRECT_CALL __attribute__((noplt))
#else
#define UTL_DIRECT_CALL
#endif
