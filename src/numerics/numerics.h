// Numerics library: distributions, random numbers, packed-matrix kernels, trees and sorts.
#pragma once

namespace vsf {}

namespace vsf {

// Settles the procedure seed (mode 1) or records the generator's end state in SYSRANEND
// (mode 2); 0 or a negative code.
int zsysrand(int* seed, int mode);

}  // namespace vsf
