/// @file
/// How the type-checked formatting front ends (StringC::Format, lswprintf,
/// lsnwprintf) hand each argument to the C-variadic engines.
#pragma once

#include <type_traits>

class StringC;

namespace UTL {
namespace detail {

/// The argument as the engines read it: a StringC (or a class derived from it)
/// as its text, a number, pointer or enumerator as it is. Any other class type
/// cannot travel through "...", and is refused here at compile time. (String
/// is a parameter so that StringC needs to be complete only where a StringC is
/// passed.)
template <typename T, typename String = StringC>
decltype(auto) FormatArgument(const T& argument) {
    if constexpr (std::is_base_of_v<String, T>) {
        return static_cast<const char16_t*>(static_cast<const String&>(argument));
    } else {
        static_assert(!std::is_class_v<T> && !std::is_union_v<T>,
                      "UTL formatting takes numbers, pointers and StringC: pass other text as "
                      "const char16_t* (u16string::c_str()) or const char* (for %S)");
        return argument;
    }
}

}  // namespace detail
}  // namespace UTL
