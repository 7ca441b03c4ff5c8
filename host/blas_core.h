// The BLAS kernels of the crossproducts, chosen for the processor the command runs on.
//
// A BLAS built for many processors picks its kernels when it loads, from the processor's model
// number. On a model newer than the library it falls back to generic SSE3 kernels, which run
// the crossproducts at half the speed of the kernels the processor's instructions allow. The
// library reads the kernels to use from OPENBLAS_CORETYPE only when it loads, so the command
// starts itself once more with that variable set.
#pragma once

#include <string>

namespace vsf::host {

// What the processor can run, as the kernels need it.
struct CpuAbilities {
  bool avx512 = false;  // F, CD, BW, DQ and VL
  bool avx2 = false;    // AVX2 and FMA
};

CpuAbilities cpuAbilities();

// The core to name for kernels that `chosen` (the library's own pick, as it names it; empty
// when the library does not say) leaves slower than `cpu` allows; empty when its pick stands.
std::string betterBlasCore(const std::string& chosen, const CpuAbilities& cpu);

// When the library fell back to generic kernels and the variable is not set, starts this
// program again with the better core named; returns only when it does not.
void restartForBlasKernels(char** argv);

}  // namespace vsf::host
