// StringC searching and comparison: by code unit values, or folded with
// ltowlower.
#include <UTL/StringC.h>

#include <UTL/WideText.h>

#include "StringBlock.h"

using UTL::stringc::OrEmpty;

// The text holds no zero before its length, so searching for 0 finds the end.
int StringC::Find(char16_t c, int start) const {
    if (start < 0) start = 0;
    const unsigned int length = m_pcs->Length();
    if (static_cast<unsigned int>(start) > length) return -1;
    if (c == 0) return static_cast<int>(length);
    const std::size_t left = length - static_cast<unsigned int>(start);
    const std::size_t at = UTL::detail::FindUnit(m_pcs->Units() + start, left, c);
    return at < left ? start + static_cast<int>(at) : -1;
}

int StringC::Compare(const char16_t* other, bool caseSensitive) const {
    const char16_t* text = m_pcs->Units();
    return caseSensitive ? UTL::detail::CompareUnits(text, OrEmpty(other))
                         : lwcsicmp(text, OrEmpty(other));
}

bool StringC::operator==(const char16_t* other) const {
    return UTL::detail::CompareUnits(m_pcs->Units(), OrEmpty(other)) == 0;
}
bool StringC::operator==(const StringC& other) const {
    return m_pcs->Length() == other.m_pcs->Length() && *this == other.m_pcs->Units();
}
bool StringC::operator!=(const char16_t* other) const {
    return !(*this == other);
}
bool StringC::operator!=(const StringC& other) const {
    return !(*this == other);
}
bool StringC::operator<(const char16_t* other) const {
    return Compare(other, true) < 0;
}
bool StringC::operator<(const StringC& other) const {
    return Compare(other, true) < 0;
}
bool StringC::operator>(const char16_t* other) const {
    return Compare(other, true) > 0;
}
bool StringC::operator>(const StringC& other) const {
    return Compare(other, true) > 0;
}
bool StringC::operator<=(const char16_t* other) const {
    return Compare(other, true) <= 0;
}
bool StringC::operator<=(const StringC& other) const {
    return Compare(other, true) <= 0;
}
bool StringC::operator>=(const char16_t* other) const {
    return Compare(other, true) >= 0;
}
bool StringC::operator>=(const StringC& other) const {
    return Compare(other, true) >= 0;
}
