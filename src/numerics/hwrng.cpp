// The processor's hardware random source (RDRAND), only where the processor has it. Retries
// are bounded; a source that stops answering hands the record over to MT19937.
#include "base/hostcalls.h"
#include "numerics/numerics.h"
#include "numerics/rng_internal.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vsf {

namespace {

constexpr int kRetries = 10;  // the processor maker's advice for a transient underflow

#if defined(__x86_64__)
__attribute__((target("rdrnd"))) bool rdrandStep(uint64_t* out) {
  unsigned long long v;
  if (!_rdrand64_step(&v)) return false;
  *out = v;
  return true;
}
#else
bool rdrandStep(uint64_t*) { return false; }
#endif

HardwareStep gStep = rdrandStep;

}  // namespace

void setHardwareStep(HardwareStep step) { gStep = step ? step : rdrandStep; }

bool hardwareWord64(uint64_t* out) {
  for (int i = 0; i < kRetries; ++i)
    if (gStep(out)) return true;
  return false;
}

bool hardwareWord32(uint32_t* out) {
  uint64_t v;
  if (!hardwareWord64(&v)) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

int zrdrandok() {
  CpuInfoRecord info;
  zcpuinfo(&info);
  return info.hasRdrand ? 1 : 0;
}

uint32_t zrdrand32() {
  uint32_t v = 0;
  return hardwareWord32(&v) ? v : 0;
}

// A uniform strictly inside (0, 1): 52 random bits placed at the odd multiples of 2^-53, so
// that a logarithm of it or of its complement is always finite.
double zrdranduni(RngState* rng) {
  uint64_t v;
  if (!hardwareWord64(&v)) {
    zrngmsg(2, rngmsg::kNoHardware);
    mtSeedRecord(rng, 4);
    return zmtunif(rng);
  }
  return static_cast<double>(((v >> 12) << 1) | 1) * 1.1102230246251565e-16;
}

}  // namespace vsf
