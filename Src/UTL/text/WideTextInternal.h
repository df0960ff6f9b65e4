// Library-internal entry points of the wide formatting engine.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace UTL {
namespace detail {

// As lvswprintf, but writes at most capacity - 1 code units and a terminator, cutting a longer
// result; like lvswprintf it leaves `buffer` untouched for a null/empty format and on the double
// range failure (both log messages are still issued). A capacity of 0 writes nothing. Returns 0.
int lvsnwprintf(char16_t* buffer, unsigned int capacity, const char16_t* format, va_list args);

// The engines (format/WideFormat.cpp, scan/WideScan.cpp). FormatWide keeps at most `limit` code
// units and writes the terminator; it writes nothing for a null or empty format or on the double
// range failure.
int FormatWide(char16_t* buffer, std::size_t limit, const char16_t* format, va_list args);
// As FormatWide, but hands the result to `take` in the engine's own storage, terminated,
// with its length (which `take` may shorten by writing a terminator). The result holds no
// zero unit: one that a directive produces (%c of 0) ends it. Returns false, without
// calling `take`, where FormatWide writes nothing.
using TakeText = void (*)(char16_t* text, std::size_t length, void* context);
bool FormatWideTo(std::size_t limit, const char16_t* format, va_list args, TakeText take,
                  void* context);
int ScanWide(const char16_t* input, const char16_t* format, va_list args);

}  // namespace detail
}  // namespace UTL
