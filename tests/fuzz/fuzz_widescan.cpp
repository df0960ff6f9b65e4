// libFuzzer target for lswscanf on formats whose every directive ASan's scanf
// interceptor reads, so that it checks the stores the C library makes as well
// as the engine's own (see WideScanHarness.h; fuzz_widescan_extended takes
// the other formats).
#include <cstddef>
#include <cstdint>

#include "WideScanHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    widescan::Run(data, size, widescan::Directives::Intercepted);
    return 0;
}
