// Must not compile: a class-type argument other than StringC is refused by the
// formatting front ends (the ctest format_refuses_* expects the message).
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#include <string>

void Refused(StringC& line, char16_t (&buffer)[16]) {
    const std::u16string name = u"A1";
#if defined(UTL_TRY_Format)
    line.Format(u"%s", name);
#elif defined(UTL_TRY_lswprintf)
    lswprintf(buffer, u"%s", name);
#endif
    (void)line, (void)buffer;
}
