// Generator records: set-up with the method named by OSENV.ZAN_RNG_METHOD, the MT19937 draw,
// the seed maker, the 31-bit congruential uniform and the procedure seed with its macro
// variables.
#include <cmath>

#include "base/host.h"
#include "base/hostcalls.h"
#include "numerics/numerics.h"
#include "numerics/rng_internal.h"

namespace vsf {

int zrngmethod() {
  return hxnrlook("OSENV.ZAN_RNG_METHOD", 3,
                  {{"TRNG", 1},
                   {"RDRAND", 1},
                   {"HARDWARE", 1},
                   {"HARD", 1},
                   {"MT1998", 2},
                   {"MTHYBRID", 3},
                   {"MT2002", 4},
                   {"MT32", 4},
                   {"MT64", 6},
                   {"MH3", 7},
                   {"XOR64", 8},
                   {"XOR128", 9},
                   {"XOR1024", 10},
                   {"XOR4096", 11},
                   {"XORGENS", 12},
                   {"R123", 13}});
}

void mtSeedRecord(RngState* rng, int method) {
  if (rng->seed < 1) {
    int s = zrngseed();
    if ((s & 0x1FFF) == 0) s += 1;
    rng->seed = s;
  }
  rng->seedUsed = rng->seed;
  bool hybridSwitched = false;
  if (method == 3) {
    method = (rng->seed & 0x1FFF) ? 2 : 4;
    hybridSwitched = method == 4;
  }
  uint32_t* mt = rng->mt;
  mt[0] = static_cast<uint32_t>(rng->seed);
  if (method == 2) {
    for (int i = 1; i < 624; ++i) mt[i] = 69069u * mt[i - 1];
  } else {
    if (method != 4) zrngmsg(4, rngmsg::kNotImplemented);
    if (hybridSwitched) zrngmsg(1, rngmsg::kHybrid2002, {rng->seed});
    for (int i = 1; i < 624; ++i)
      mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + static_cast<uint32_t>(i);
  }
  rng->mag01[0] = 0;
  rng->mag01[1] = 0x9908B0DFu;
  rng->mti = 624;
  rng->uniform = zmtunif;
}

int zrnginit(RngState* rng) {
  int method = zrngmethod();
  rng->uniform = zmtunif;
  bool hardware = false;
  if (method == 1) {
    if (zrdrandok()) {
      rng->uniform = zrdranduni;
      zrngmsg(1, rngmsg::kHardwareInUse);
      rng->seedUsed = 0;
      hardware = true;
    } else {
      zrngmsg(2, rngmsg::kNoHardware);
      method = 4;
    }
  }
  if (!hardware) mtSeedRecord(rng, method);
  hxnrlset("OSENV.ZAN_RNG_SEED", rng->seedUsed);
  rngFillTables(rng);
  rng->spareFlag = 0;
  rng->spare = 0;
  return 0;
}

double zmtunif(RngState* rng) {
  uint32_t* mt = rng->mt;
  uint32_t y;
  do {
    if (rng->mti >= 624) {
      int k = 0;
      for (; k < 624 - 397; ++k) {
        y = (mt[k] & 0x80000000u) | (mt[k + 1] & 0x7FFFFFFFu);
        mt[k] = mt[k + 397] ^ (y >> 1) ^ rng->mag01[y & 1];
      }
      for (; k < 623; ++k) {
        y = (mt[k] & 0x80000000u) | (mt[k + 1] & 0x7FFFFFFFu);
        mt[k] = mt[k + 397 - 624] ^ (y >> 1) ^ rng->mag01[y & 1];
      }
      y = (mt[623] & 0x80000000u) | (mt[0] & 0x7FFFFFFFu);
      mt[623] = mt[396] ^ (y >> 1) ^ rng->mag01[y & 1];
      rng->mti = 0;
    }
    y = mt[rng->mti++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
  } while (y == 0);  // 0 would give a uniform of exactly 0
  uint32_t magnitude = (y & 0x80000000u) ? 0u - y : y;
  rng->lastMagnitude = static_cast<int32_t>(magnitude);
  return y * 2.3283064365386963e-10;
}

int zrngseed() {
  uint32_t s = 0;
  if (!(zrdrandok() && hardwareWord32(&s) && s != 0)) {
    double t0 = zhostclock(), t1 = t0;
    for (long i = 0; i < 10000000 && t1 == t0; ++i) t1 = zhostclock();
    double d = t1 - t0;
    double v = d != 0 ? (1.0000000000000009 * t1) / d : t1;
    v = std::fmod(v, 4294967296.0);
    s = static_cast<uint32_t>(static_cast<int64_t>(v));
    if (s == 0) s = 1;
  }
  s &= 0x7FFFFFFFu;
  if (s == 0x7FFFFFFFu) s = 1;
  int seed = static_cast<int>(s);
  zrngmsg(0, rngmsg::kSeedMade, {seed, seed});
  return seed;
}

double zlcgunif(uint32_t* state) {
  uint64_t t = static_cast<uint64_t>(397204094u) * *state;
  uint64_t x = (t >> 31) + (t & 0x7FFFFFFFu);
  if (x >= 0x7FFFFFFFu) x -= 0x7FFFFFFFu;
  *state = static_cast<uint32_t>(x);
  return static_cast<double>(x) / 2147483647.0;
}

double zrngunif(RngState* rng) { return rng->uniform(rng); }

int32_t zrngrecseed(int32_t procedureSeed, int32_t index) {
  if (procedureSeed == 0) return 0;
  // Wrap within 1..2147483646 so that a seed near the top never overflows into "make one".
  int64_t v = (static_cast<int64_t>(procedureSeed) - 1 + index) % 2147483646;
  if (v < 0) v += 2147483646;
  return static_cast<int32_t>(v + 1);
}

int zsysrand(int* seed, int mode) {
  if (mode == 2) {
    hostv().macro->setNum("SYSRANEND", *seed, 'F');
    return 0;
  }
  if (*seed < 1 || *seed == 2147483647) {
    double t = hostv().core->timeOfDay() * 0.001;
    double f = t - std::floor(t);
    *seed = static_cast<int>(std::floor(f * 1e9)) + 1;
  }
  if (mode == 1) hostv().macro->setNum("SYSRANDOM", *seed, 'F');
  return 0;
}

}  // namespace vsf
