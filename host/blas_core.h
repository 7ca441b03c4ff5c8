// The BLAS kernels of the crossproducts, chosen for the processor the command runs on.
//
// A BLAS built for many processors picks its kernels when it loads, from the processor's model
// number. On a model newer than the library it falls back to generic SSE3 kernels, which run
// the crossproducts at half the speed of the kernels the processor's instructions allow. The
// library reads the kernels to use from OPENBLAS_CORETYPE only when it loads, so the command
// starts itself once more with that variable set.
//
// The library also starts threads of its own when it loads, which spin a while before they
// sleep, and ends the process when one cannot be started (a process limit); the command runs
// the BLAS on one thread (its workers share out the rows), so it starts again with one thread
// named before the library's constructor runs, unless the user named a count.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

// What the library found when it loaded, and what the user set.
struct BlasStart {
  std::string chosen;       // the core it picked, as it names it; empty when it does not say
  int threads = 1;          // the threads it started
  bool coreNamed = false;   // OPENBLAS_CORETYPE was set
  bool countNamed = false;  // a thread count was set (OPENBLAS_NUM_THREADS, GOTO_NUM_THREADS,
                            // OMP_NUM_THREADS)
};

// The variables to set before the library loads again, none when the start stands: the better
// core when the library fell back to generic kernels, one thread when it started more and the
// count is the library's own.
std::vector<std::pair<std::string, std::string>> blasRestart(const BlasStart& start,
                                                             const CpuAbilities& cpu);

// Starts this program again at once with one BLAS thread named, where the user named no count
// and the machine has more than one processor; returns only when it does not. Called with the
// program's arguments and environment before any library's constructor runs (app/main.cpp),
// so that the library starts no threads of its own.
void oneBlasThreadAtLoad(char** argv, char** envp);

// Starts this program again with blasRestart's variables set, when there are any; returns only
// when it does not.
void restartForBlas(char** argv);

}  // namespace vsf::host
