// Must not compile: each UTL_REFUSE_<case> is one class of mismatch that the
// format check refuses; the ctests format_check_refuses_<case>_<standard> expect the
// compiler's message to name it. Built as C++20 with plain literals and as
// C++17 with UTL_FORMAT.
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#if UTL_CHECKS_LITERAL_FORMATS
#define CHECKED(literal) literal
#else
#define CHECKED(literal) UTL_FORMAT(literal)
#endif

void Refused(StringC& text, char16_t (&buffer)[16]) {
    int count = 0;
    long distance = 0;
    (void)count, (void)distance;
#if defined(UTL_REFUSE_long_given_int)
    text.Format(CHECKED(u"%d %ld"), count, count);
#elif defined(UTL_REFUSE_int_given_long)
    lswprintf(buffer, CHECKED(u"%d"), distance);
#elif defined(UTL_REFUSE_int_given_pointer)
    lsnwprintf(buffer, 16, CHECKED(u"%x"), &count);
#elif defined(UTL_REFUSE_wide_given_narrow)
    text.Format(CHECKED(u"%s"), "narrow");
#elif defined(UTL_REFUSE_narrow_given_wide)
    text.Format(CHECKED(u"%S"), u"wide");
#elif defined(UTL_REFUSE_missing_argument)
    text.Format(CHECKED(u"%d %d"), count);
#elif defined(UTL_REFUSE_extra_argument)
    text.Format(CHECKED(u"%d"), count, distance);
#elif defined(UTL_REFUSE_count)
    text.Format(CHECKED(u"%d%n"), count, &count);
#elif defined(UTL_REFUSE_not_read)
    text.Format(CHECKED(u"%lld"), 1LL);
#elif defined(UTL_REFUSE_scan_target)
    lswscanf(u"1", CHECKED(u"%ld"), &count);
#elif defined(UTL_REFUSE_scan_leading_text)
    text.Scan(CHECKED(u" %d"), &count);
#endif
    (void)text, (void)buffer;
}
