// A chain of calls that ends in a fault in a leaf function, built as an
// application builds it for useful reports: optimised, frame pointers kept,
// none in leaf functions (the aarch64 default, asked for on x86).
#pragma once

extern "C" {
// ChainRun -> ChainOuter -> ChainReduce (-> Scaled, inlined) -> ChainMean,
// which reads through a null pointer.
void ChainRun();
}
