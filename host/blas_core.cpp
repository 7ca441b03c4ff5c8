#include "host/blas_core.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

std::vector<std::pair<std::string, std::string>> blasRestart(const BlasStart& start,
                                                             const CpuAbilities& cpu) {
  std::vector<std::pair<std::string, std::string>> set;
  if (!start.coreNamed) {
    const std::string core = betterBlasCore(start.chosen, cpu);
    if (!core.empty()) set.emplace_back("OPENBLAS_CORETYPE", core);
  }
  if (!start.countNamed && start.threads > 1) set.emplace_back("OPENBLAS_NUM_THREADS", "1");
  return set;
}

namespace {

// The variables by which a user names the BLAS's thread count.
constexpr const char* kCountNames[] = {"OPENBLAS_NUM_THREADS", "GOTO_NUM_THREADS",
                                       "OMP_NUM_THREADS"};

bool countNamed() {
  return std::any_of(std::begin(kCountNames), std::end(kCountNames),
                     [](const char* name) { return std::getenv(name) != nullptr; });
}

// Whether `entry` ("NAME=value") sets one of them.
bool setsCount(const char* entry) {
  return std::any_of(std::begin(kCountNames), std::end(kCountNames), [&](const char* name) {
    const size_t n = std::strlen(name);
    return std::strncmp(entry, name, n) == 0 && entry[n] == '=';
  });
}

}  // namespace

void oneBlasThreadAtLoad(char** argv, char** envp) {
  // Before the C library is set up the environment is read from envp, and added to only by a
  // new start: what setenv sets now, the library's set-up forgets.
  size_t n = 0;
  for (; envp && envp[n]; ++n)
    if (setsCount(envp[n])) return;
  if (::sysconf(_SC_NPROCESSORS_ONLN) <= 1) return;  // one thread whatever is named
  auto** env = static_cast<char**>(std::malloc((n + 2) * sizeof(char*)));
  if (!env) return;
  static char one[] = "OPENBLAS_NUM_THREADS=1";
  for (size_t i = 0; i < n; ++i) env[i] = envp[i];
  env[n] = one;
  env[n + 1] = nullptr;
  ::execve("/proc/self/exe", argv, env);
  std::free(env);  // no new start (no /proc): the library starts its threads, as before
}

void restartForBlas(char** argv) {
  using CoreName = char* (*)();
  using ThreadCount = int (*)();
  auto name = reinterpret_cast<CoreName>(dlsym(RTLD_DEFAULT, "openblas_get_corename"));
  auto count = reinterpret_cast<ThreadCount>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
  if (!name || !count) return;  // another BLAS, which picks its kernels its own way
  BlasStart start;
  const char* chosen = name();
  start.chosen = chosen ? chosen : "";
  start.threads = count();
  start.coreNamed = std::getenv("OPENBLAS_CORETYPE") != nullptr;
  start.countNamed = countNamed();
  const auto set = blasRestart(start, cpuAbilities());
  if (set.empty()) return;
  size_t done = 0;
  while (done < set.size() && setenv(set[done].first.c_str(), set[done].second.c_str(), 1) == 0)
    ++done;
  // The restart's own variables make its blasRestart empty, so it starts no further one.
  if (done == set.size()) execv("/proc/self/exe", argv);
  // No restart (no /proc, say): the generic kernels give the same results, more slowly.
  for (size_t i = 0; i < done; ++i) unsetenv(set[i].first.c_str());
}

}  // namespace vsf::host
