// The BLAS's crossproduct of a panel, called so that the BLAS never waits for memory it cannot
// get.
//
// OpenBLAS works each level-3 call in a buffer of 128 MB of address space, taken from a table
// it shares among the threads that call it: a call that finds every buffer of the table in use
// maps a new one, kept for the life of the process. A mapping refused (an address-space limit:
// `ulimit -v`, `prlimit --as`, `ulimit -d`) it retries for ever, and the calling thread spins
// without end. Where such a limit holds, the buffers are therefore mapped only where nothing
// else runs (reserveBlasBuffers, as a step starts) and only while there is room for them, and a
// call waits for one of those to come free; where the BLAS holds none, the caller adds the
// panel's rows itself. Without a limit a call maps the buffer it needs.
#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <vector>

#include "numerics/numerics.h"

extern "C" void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k,
                       const double* alpha, const double* a, const int* lda, const double* beta,
                       double* c, const int* ldc, size_t, size_t);

namespace vsf {

namespace {

// The buffer and the page it is mapped with (32 << 22 bytes on x86-64). Under a limit a buffer
// is mapped only where the room left takes three more: the BLAS holds at most a quarter of
// what the run has left, the rest being its own (a buffer that leaves none is not worth the
// rows, which the caller can add without it).
constexpr size_t kBuffer = (size_t{32} << 22) + 4096;
constexpr size_t kRoomAsked = 4 * kBuffer;

// OpenBLAS's own calls that take a buffer from its table and give it back; absent from another
// BLAS, which has no such table.
struct BufferCalls {
  void* (*take)(int) = nullptr;
  void (*give)(void*) = nullptr;
};

const BufferCalls& bufferCalls() {
  static const BufferCalls calls = [] {
    BufferCalls c;
    c.take = reinterpret_cast<void* (*)(int)>(dlsym(RTLD_DEFAULT, "blas_memory_alloc"));
    c.give = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "blas_memory_free"));
    if (!c.take || !c.give) c = BufferCalls();
    return c;
  }();
  return calls;
}

bool unbounded(int resource) {
  struct rlimit r;
  return ::getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY;
}

}  // namespace

bool mappingsBounded() {
  static const bool bounded = [] {
    if (!unbounded(RLIMIT_AS) || !unbounded(RLIMIT_DATA)) return true;
    int mode = 0;
    if (std::FILE* f = std::fopen("/proc/sys/vm/overcommit_memory", "r")) {
      if (std::fscanf(f, "%d", &mode) != 1) mode = 0;
      std::fclose(f);
    }
    return mode == 2;
  }();
  return bounded;
}

namespace {

std::mutex gMutex;
std::condition_variable gFreed;
int gHeld = 0;          // buffers the BLAS has mapped for our calls
int gBusy = 0;          // calls in the BLAS
bool gGrowing = false;  // a call is mapping a buffer
int gLimit = -1;        // a test's bound on the buffers, as a limit leaving room for so many

bool bounded() { return gLimit >= 0 || mappingsBounded(); }

// Whether a buffer and the room asked beside it can be mapped now; what the probe maps it
// gives back.
bool roomForBuffer() {
  if (gLimit >= 0 && gHeld >= gLimit) return false;
  void* p = ::mmap(nullptr, kRoomAsked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  ::munmap(p, kRoomAsked);
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

// A call may go into the BLAS: true with a buffer there for it or, without a limit, its own
// to map (`grows`); false when the BLAS holds none and may map none.
bool enter(bool* grows) {
  std::unique_lock lock(gMutex);
  for (;;) {
    const int usable = gLimit < 0 ? gHeld : std::min(gHeld, gLimit);
    if (gBusy < usable) {
      ++gBusy;
      *grows = false;
      return true;
    }
    if (!gGrowing && !bounded()) {
      gGrowing = true;
      ++gBusy;
      *grows = true;
      return true;
    }
    if (gBusy == 0 && !gGrowing) return false;
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
  if (!bufferCalls().take) {  // a BLAS without the table: nothing to wait for
    const double one = 1.0, zero = 0.0;
    dsyrk_("U", "N", &n, &k, &one, panel, &n, &zero, square, &n, 1, 1);
    return true;
  }
  bool grows = false;
  if (!enter(&grows)) return false;
  const double one = 1.0, zero = 0.0;
  dsyrk_("U", "N", &n, &k, &one, panel, &n, &zero, square, &n, 1, 1);
  leave(grows);
  return true;
}

void reserveBlasBuffers(int callers) {
  const BufferCalls& calls = bufferCalls();
  if (!calls.take || !bounded()) return;  // without a limit each call maps what it needs
  oneThread();
  std::lock_guard lock(gMutex);
  if (gBusy > 0) return;  // not as quiet as it seemed
  // Every buffer held is taken first: the table maps a new one only when none is free.
  std::vector<void*> taken;
  taken.reserve(static_cast<size_t>(std::max(callers, 0)));
  while (static_cast<int>(taken.size()) < callers &&
         (static_cast<int>(taken.size()) < gHeld || roomForBuffer())) {
    taken.push_back(calls.take(0));
    gHeld = std::max(gHeld, static_cast<int>(taken.size()));
  }
  for (void* b : taken) calls.give(b);
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
