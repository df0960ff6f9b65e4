// libFuzzer target for lswscanf on formats with a directive ASan's scanf
// interceptor does not read (see WideScanHarness.h): the "'" and "I" flags,
// "q", "j", "z", "t" and "hh", "h" before "c", "s", "[" and floating-point
// letters, and the like. The interceptor checks none of the C library's
// stores there; the canaries behind the targets do.
#include <cstddef>
#include <cstdint>

#include "WideScanHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    widescan::Run(data, size, widescan::Directives::NotIntercepted);
    return 0;
}
