// Wide text and StringC: formatting, scanning, display texts by token and
// copy-on-write sharing.
#include <cstdio>

#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include "demo.h"

namespace {

// Prints a wide text narrowed byte for byte (units above 0xFF become spaces).
void Show(const char* label, const char16_t* text) {
    char narrow[256];
    UTL::UnicodeToAscii(narrow, sizeof narrow, text);
    std::printf("  %-28s \"%s\"\n", label, narrow);
}

// The application's display texts: key 1 is the screen, key 2 the text.
class ScreenTexts : public UTL::TokenAccessorI {
public:
    const char16_t* getToken(unsigned long screen, unsigned long text) override {
        if (screen != 60) return nullptr;
        switch (text) {
            case 1:
                return u"Measurement stored";
            case 2:
                return u"Prism constant: %d mm";
            default:
                return nullptr;
        }
    }
};

void RunTextScreen() {
    std::printf("Formatting with the library's own engine:\n");
    StringC line;
    line.Format(u"%s: Hz %8.4f gon, slope %.3f m, %d face%s", u"Point 1001", 123.45678, 250.1234, 2,
                u"s");
    Show("Format", line);
    line.Format(u"[%-8s|%8s|%05d|%x]", u"left", u"right", 42, 255);
    Show("Format fields", line);

    std::printf("\nScanning numbers out of a text:\n");
    const StringC reading(u"   1234.567,89.2");
    double distance = 0;
    float angle = 0;
    const int fields = reading.Scan(u"%lf,%f", &distance, &angle);
    std::printf("  %-28s %d fields: distance %.3f, angle %.1f\n", "Scan \"%lf,%f\"", fields,
                distance, angle);

    std::printf("\nDisplay texts by token:\n");
    ScreenTexts texts;
    UTL::TokenAccessorBridgeC::setTokenAccessor(&texts);
    const StringC stored(60u, 1u);
    Show("StringC(60, 1)", stored);
    StringC prism;
    if (prism.LoadTxt(60, 2)) {
        StringC message;
        message.Format(prism, -30);
        Show("LoadTxt(60, 2) + Format", message);
    }
    StringC missing(u"previous text");
    const bool found = missing.LoadTxt(60, 99);
    std::printf("  %-28s %s, now empty: %s\n", "LoadTxt(60, 99)", found ? "found" : "not found",
                missing.IsEmpty() ? "yes" : "no");
    UTL::TokenAccessorBridgeC::setTokenAccessor(nullptr);

    std::printf("\nCopy-on-write sharing:\n");
    StringC original(u"Station ALPHA, instrument height 1.650 m");
    StringC copy(original);
    std::printf("  %-28s %s\n", "copy shares the text",
                static_cast<const char16_t*>(copy) == static_cast<const char16_t*>(original)
                    ? "yes"
                    : "no");
    copy.ToLower();
    std::printf("  %-28s %s\n", "shared after copy.ToLower()",
                static_cast<const char16_t*>(copy) == static_cast<const char16_t*>(original)
                    ? "yes"
                    : "no");
    Show("original", original);
    Show("copy", copy);
    copy += u" (checked)";
    Show("copy += \" (checked)\"", copy);
    Show("original.Mid(8, 5)", original.Mid(8, 5));
}

}  // namespace

DEMO_SCREEN(60, "Wide text and StringC", RunTextScreen);
