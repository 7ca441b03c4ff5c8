// Raising the arithmetic faults and the bit-level helpers shared by the numerics routines.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/host/status.h"

namespace vsf::num {

[[noreturn]] inline void raiseFault(uint32_t code) { throw NumericFault(code); }

inline uint64_t bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return u;
}
inline double fromBits(uint64_t u) {
  double x;
  std::memcpy(&x, &u, 8);
  return x;
}
// The host's "." missing value.
inline double dotMissing() { return fromBits(0xFFFFD10000000000ULL); }
inline bool isNan(double x) { return (bits(x) & 0x7FFFFFFFFFFFFFFFULL) > 0x7FF0000000000000ULL; }
inline bool nonFinite(double x) {
  return (bits(x) & 0x7FF0000000000000ULL) == 0x7FF0000000000000ULL;
}

constexpr double kDblMax = 1.7976931348623157e308;
constexpr double kDblMin = 2.225073858507202e-308;
constexpr double kExpUnder = -708.3964185;       // below this e^x is taken as 0
constexpr double kExpOver = 709.782712893384;    // above this e^x overflows
constexpr double kBig = 1.3407807929943e+154;    // sqrt(DBL_MAX), the recurrences' bound
constexpr double kSmallSqrt = 1.491668147e-154;  // sqrt(DBL_MIN)
constexpr double kLnSqrt2Pi = 0.9189385332046728;
constexpr double kLn2 = 0.6931471805599453;

}  // namespace vsf::num
