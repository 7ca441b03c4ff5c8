#include "host/blas_core.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

namespace vsf::host {

CpuAbilities cpuAbilities() {
  CpuAbilities a;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  a.avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd") &&
             __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512vl");
  a.avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
  return a;
}

std::string betterBlasCore(const std::string& chosen, const CpuAbilities& cpu) {
  // Only the library's fallback for a processor it does not know is overruled: a core it
  // picked by name was picked for that processor.
  if (chosen != "Prescott") return {};
  if (cpu.avx512) return "SkylakeX";
  if (cpu.avx2) return "Haswell";
  return {};
}

void restartForBlasKernels(char** argv) {
  if (std::getenv("OPENBLAS_CORETYPE")) return;  // the user's choice, or the restart's own
  using CoreName = char* (*)();
  auto name = reinterpret_cast<CoreName>(dlsym(RTLD_DEFAULT, "openblas_get_corename"));
  const char* chosen = name ? name() : nullptr;
  if (!chosen) return;  // another BLAS, which picks its kernels its own way
  const std::string core = betterBlasCore(chosen, cpuAbilities());
  if (core.empty()) return;
  if (setenv("OPENBLAS_CORETYPE", core.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // No restart (no /proc, say): the generic kernels give the same results, more slowly.
  unsetenv("OPENBLAS_CORETYPE");
}

}  // namespace vsf::host
