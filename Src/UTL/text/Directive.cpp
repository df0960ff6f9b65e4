// The bounded text builder.
#include "Directive.h"

namespace UTL {
namespace detail {

void BoundedText::Append(const char* s, std::size_t n) {
    const std::size_t room = static_cast<std::size_t>(m_last - m_end);
    if (n > room) n = room;
    std::memcpy(m_end, s, n);
    m_end += n;
}

void BoundedText::Append(const char* s) {
    Append(s, std::strlen(s));
}

void BoundedText::AppendDecimal(long long value) {
    char digits[24];
    unsigned long long m = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                     : static_cast<unsigned long long>(value);
    std::size_t n = 0;
    do digits[n++] = static_cast<char>('0' + m % 10);
    while ((m /= 10) != 0);
    if (value < 0) Put('-');
    while (n > 0) Put(digits[--n]);
}

}  // namespace detail
}  // namespace UTL
