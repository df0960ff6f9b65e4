// The call chain of crash_chain.h. The "line:" comments mark the lines that a
// symbolized report names for each frame.
#include "crash_chain.h"

// Kept apart: neither inlined nor specialised for its arguments; visible to
// dladdr.
#if defined(__clang__)
#define UTL_CHAIN_CALL __attribute__((noinline, visibility("default")))
#else
#define UTL_CHAIN_CALL __attribute__((noipa, visibility("default")))
#endif

namespace {
const int* volatile g_values = nullptr;
volatile int g_result;
}  // namespace

extern "C" {

UTL_CHAIN_CALL __attribute__((no_sanitize("address", "undefined"))) int ChainMean(const int* values,
                                                                                  int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i) sum += values[i];  // line:ChainMean
    return sum / count;
}

__attribute__((always_inline)) inline int Scaled(const int* values, int count) {
    return 2 * ChainMean(values, count);  // line:Scaled
}

UTL_CHAIN_CALL int ChainReduce(const int* values, int count) {
    const int scaled = Scaled(values, count);  // line:ChainReduce
    return scaled + count;
}

UTL_CHAIN_CALL int ChainOuter() {
    return ChainReduce(g_values, 4) + 1;  // line:ChainOuter
}

UTL_CHAIN_CALL void ChainRun() {
    g_result = ChainOuter();  // line:ChainRun
}
}
