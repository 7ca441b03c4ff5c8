// The program's own e^x and x^y: overflow and a negative base with a fractional exponent are
// raised as numeric faults instead of giving infinities or NaNs.
#include <cmath>
#include <cstdint>

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"
#include "numerics/pow_internal.h"

namespace vsf {

using namespace num;

// Cody and Waite's rational approximation. The reduction by ln 2 takes ln 2 in two parts, the
// first (355/512) short enough that n times it and x minus that are exact: one rounded
// constant cost n * 2.3e-17 relative (8e-14 near x = -700, 1.5e-14 in the normal tail at -30).
double zexp(double x) {
  if (isNan(x)) return x;  // a missing value never reaches the integer conversion
  if (x > 709.78271289339) raiseFault(fault::kOverflow);
  if (x < kExpUnder) return 0.0;
  if (std::fabs(x) < 2.710505e-20) return 1.0;
  int n = static_cast<int>(std::trunc(std::fabs(x) * 1.4426950408889634 + 0.5));
  if (x < 0) n = -n;
  double g = (x - n * 0.693359375) - n * -2.1219444005469058277e-4;
  double z = g * g;
  double p = g * ((1.6520330026827912e-5 * z + 0.006943600015117929) * z + 0.25);
  double q = (0.0004958628849054413 * z + 0.05555386669690012) * z + 0.5;
  double r = 0.5 + p / (q - p);
  return zldexp(r, n + 1);
}

double zpow(double x, double y) {
  if (isNan(x)) return x;
  if (isNan(y)) return y;
  if (x == 0) return y == 0 ? 1.0 : 0.0;
  if (y < -2147483647.0 || y > 2147483647.0) {
    if (x < 0) raiseFault(fault::kDomain);
    double t = y * std::log(x);
    if (t > kExpOver) raiseFault(fault::kOverflow);
    if (t < kExpUnder) return 0.0;
    return zexp(t);  // t is NaN only for x = 1 with an infinite y: missing out
  }
  int32_t iy = static_cast<int32_t>(y);
  if (y == static_cast<double>(iy)) {
    // Square and multiply; an infinite result is returned as it comes.
    uint32_t e = iy < 0 ? 0u - static_cast<uint32_t>(iy) : static_cast<uint32_t>(iy);
    double base = iy < 0 ? 1 / x : x, r = 1.0;
    while (e) {
      if (e & 1) r *= base;
      e >>= 1;
      if (e) base *= base;
    }
    return r;
  }
  if (x < 0) raiseFault(fault::kDomain);
  return num::fdlibmPow(x, y);
}

}  // namespace vsf
