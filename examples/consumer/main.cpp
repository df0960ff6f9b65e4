// Built against UTL (an installed package, or UTL's tree in the same build):
// headers, libraries, their run paths and the package files are complete when
// this prints and exits 0.
#include <UTL/UTL.h>

#include <cstdio>

int main() {
    char16_t wide[64];
    lswprintf(wide, u"UTL %d.%d.%d: %s", UTL_VERSION_MAJOR, UTL_VERSION_MINOR, UTL_VERSION_PATCH,
              u"in use");
    const StringC text(wide);
    char narrow[64];
    UTL::UnicodeToAscii(narrow, sizeof narrow, text);
    std::printf("%s, %d code units, loaded %s\n", narrow, text.GetLength(), UTL::LoadSequence());

    // The crash reporter finds its debugging-help plugin wherever the libraries
    // are: it names the source file, or else the function, of an address in
    // libutl (the plugin reads them with libdw1).
    char symbol[513] = "";
    IMAGEHLP_LINE line{};
    line.SizeOfStruct = sizeof line;
    line.FileName = symbol;
    unsigned long section = 0;
    unsigned long offset = 0;
    const int found = CExceptionParse::GetLineAndFileFromPointer(
        reinterpret_cast<unsigned long>(&UTL::LoadSequence), &line, section, offset);
    std::printf("symbol search: %s\n",
                found ? symbol : "unavailable (debugging-help plugin or libdw1 missing)");
    return found && text.Find(u'i') > 0 ? 0 : 1;
}
