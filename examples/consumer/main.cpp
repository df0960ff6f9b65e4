// Built against the installed UTL package: proves headers, library and package
// configuration are complete.
#include <UTL/UTL.h>

#include <cstdio>

int main() {
    char16_t wide[32];
    UTL::AsciiToUnicode(wide, sizeof wide / sizeof wide[0], "installed UTL");
    char narrow[32];
    UTL::UnicodeToAscii(narrow, sizeof narrow, wide);
    std::printf("%s: %u code units, loaded %s\n", narrow, lwcslen(wide), UTL::LoadSequence());
    return lwcslen(wide) == 13 ? 0 : 1;
}
