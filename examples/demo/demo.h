// The demo is a sequence of screens, one per family of the library. Each
// demo_<family>.cpp registers its screen with DEMO_SCREEN; demo.cpp runs them
// in order.
#pragma once

namespace demo {

using ScreenFn = void (*)();
int RegisterScreen(int order, const char* title, ScreenFn run);

}  // namespace demo

#define DEMO_SCREEN(order, title, fn) \
    static const int fn##_registered = ::demo::RegisterScreen(order, title, fn)
