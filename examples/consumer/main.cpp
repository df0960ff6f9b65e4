// Built against the installed UTL package: headers, libraries, their run
// paths and the package files are complete when this prints and exits 0.
#include <UTL/UTL.h>

#include <cstdio>

int main() {
    char16_t wide[64];
    lswprintf(wide, u"UTL %d.%d.%d: %s", UTL_VERSION_MAJOR, UTL_VERSION_MINOR, UTL_VERSION_PATCH,
              u"installed");
    const StringC text(wide);
    char narrow[64];
    UTL::UnicodeToAscii(narrow, sizeof narrow, text);
    std::printf("%s, %d code units, loaded %s\n", narrow, text.GetLength(), UTL::LoadSequence());
    return text.Find(u'i') > 0 ? 0 : 1;
}
