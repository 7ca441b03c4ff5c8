// The BLAS's crossproduct of a panel, called so that the BLAS never waits for memory it cannot
// get.
//
// OpenBLAS works each level-3 call in a buffer of 128 MB of address space, taken from a table
// it shares among the threads that call it: a call that finds every buffer of the table in use
// maps a new one, kept for the life of the process. A mapping refused (an address-space limit:
// `ulimit -v`, `prlimit --as`) it retries for ever, and the calling thread spins without end. So
// a call that would need a new buffer first makes sure there is room for one; where there is
// none, it waits for a buffer to come free, or, when the BLAS holds none, is not made at all.
#include <dlfcn.h>
#include <sys/mman.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "numerics/numerics.h"

extern "C" void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k,
                       const double* alpha, const double* a, const int* lda, const double* beta,
                       double* c, const int* ldc, size_t, size_t);

namespace vsf {

namespace {

// The buffer and the page it is mapped with (32 << 22 bytes on x86-64), and room beside it for
// what the other threads allocate meanwhile: a buffer that leaves none is not worth the rows.
constexpr size_t kBuffer = (size_t{32} << 22) + 4096;
constexpr size_t kBeside = size_t{64} << 20;

std::mutex gMutex;
std::condition_variable gFreed;
int gHeld = 0;          // buffers the BLAS has mapped for our calls
int gBusy = 0;          // calls in the BLAS
bool gGrowing = false;  // a call is mapping a buffer
int gLimit = -1;        // a test's bound on the buffers used; negative: none

// Whether a buffer and the room beside it can be mapped now; what the probe maps it gives back.
bool roomForBuffer() {
  void* p = ::mmap(nullptr, kBuffer + kBeside, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
  if (p == MAP_FAILED) return false;
  ::munmap(p, kBuffer + kBeside);
  return true;
}

// The BLAS runs on the calling thread only: the passes bring their own workers.
void oneThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    using SetThreads = void (*)(int);
    if (auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads")))
      set(1);
  });
}

// A call may go into the BLAS: true with its buffer there or its new one sure to map (`grows`);
// false when the BLAS holds none and none can be mapped.
bool enter(bool* grows) {
  std::unique_lock lock(gMutex);
  for (;;) {
    const int usable = gLimit < 0 ? gHeld : std::min(gHeld, gLimit);
    if (gBusy < usable) {
      ++gBusy;
      *grows = false;
      return true;
    }
    if (!gGrowing) {
      if ((gLimit < 0 || gHeld < gLimit) && roomForBuffer()) {
        gGrowing = true;
        ++gBusy;
        *grows = true;
        return true;
      }
      if (gBusy == 0) return false;
    }
    gFreed.wait(lock);  // for a call to end, or for the buffer being mapped
  }
}

void leave(bool grew) {
  {
    std::lock_guard lock(gMutex);
    --gBusy;
    if (grew) {
      ++gHeld;
      gGrowing = false;
    }
  }
  gFreed.notify_all();
}

}  // namespace

bool blasSyrk(int n, int k, const double* panel, double* square) {
  oneThread();
  bool grows = false;
  if (!enter(&grows)) return false;
  const double one = 1.0, zero = 0.0;
  dsyrk_("U", "N", &n, &k, &one, panel, &n, &zero, square, &n, 1, 1);
  leave(grows);
  return true;
}

void limitBlasBuffers(int most) {
  {
    std::lock_guard lock(gMutex);
    gLimit = most;
  }
  gFreed.notify_all();
}

int blasBuffersHeld() {
  std::lock_guard lock(gMutex);
  return gHeld;
}

}  // namespace vsf
