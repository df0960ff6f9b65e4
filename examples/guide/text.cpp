// Wide text: StringC, the formatting and scanning engines, narrow copies.
#include <UTL/StringC.h>
#include <UTL/WideText.h>

#include <cstdio>

// Prints wide text (code units above 0xFF would show as spaces).
void Print(const char16_t* text) {
    char narrow[128];
    UTL::UnicodeToAscii(narrow, sizeof narrow, text);
    std::puts(narrow);
}

int main() {
    const StringC station(u"Pillar 12");

    // Format takes numbers, pointers and StringC; "%ld" takes a long.
    StringC line;
    line.Format(u"%s: Hz %.4f gon, %ld mm", station, 123.45678, 2500000L);
    Print(line);

    // Into an array of known size the result is cut, never overrun.
    char16_t label[7];
    lswprintf(label, u"%s/%d", station, 3);
    Print(label);

    // Copies share their text until one of them changes it.
    StringC upper = station;
    upper.ToUpper();
    Print(upper);
    Print(station);

    // Scanning: one target per directive.
    int number = 0;
    double height = 0.0;
    StringC(u"12 1.625").Scan(u"%d %lf", &number, &height);
    std::printf("%d %.3f\n", number, height);
}

// Output:
//   Pillar 12: Hz 123.4568 gon, 2500000 mm
//   Pillar
//   PILLAR 12
//   Pillar 12
//   12 1.625
