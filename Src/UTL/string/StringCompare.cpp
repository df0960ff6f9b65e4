// StringC searching and comparison: by code unit values, or folded with
// ltowlower.
#include <UTL/StringC.h>

#include <UTL/WideText.h>

#include "StringBlock.h"

using UTL::stringc::OrEmpty;

int StringC::Find(char16_t c, int start) const {
    if (start < 0) start = 0;
    if (static_cast<unsigned int>(start) > m_pcs->Length()) return -1;
    const char16_t* text = m_pcs->Units();
    const char16_t* at = UTL::detail::FindUnitOrEnd(text + start, c);
    return *at == c ? static_cast<int>(at - text) : -1;
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
