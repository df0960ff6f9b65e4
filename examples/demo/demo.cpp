// What the UTL library does, end to end: one screen per family.
#include "demo.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <UTL/UTL.h>

namespace demo {
namespace {

struct Screen {
    int order;
    const char* title;
    ScreenFn run;
};

std::vector<Screen>& Screens() {
    static std::vector<Screen> screens;
    return screens;
}

}  // namespace

int RegisterScreen(int order, const char* title, ScreenFn run) {
    Screens().push_back({order, title, run});
    return order;
}

}  // namespace demo

int main() {
    auto& screens = demo::Screens();
    std::stable_sort(
        screens.begin(), screens.end(),
        [](const demo::Screen& a, const demo::Screen& b) { return a.order < b.order; });
    std::printf("UTL demo - library loaded (static objects: %s)\n", UTL::LoadSequence());
    for (const demo::Screen& s : screens) {
        std::printf("\n=== %s ===\n", s.title);
        s.run();
    }
    std::printf("\nDemo finished.\n");
    return 0;
}
