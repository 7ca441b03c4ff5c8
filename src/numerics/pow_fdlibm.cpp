// fdlibm's pow for a positive base and a fractional exponent: log2 of x in extended
// precision, the product with y in two parts, then 2^z by its own polynomial. The special
// cases of a positive x stay; the huge-exponent branch is never reached (|y| < 2^31).
#include <cmath>
#include <cstdint>

#include "numerics/faults_internal.h"
#include "numerics/pow_internal.h"

namespace vsf::num {

namespace {

inline int32_t hi(double x) { return static_cast<int32_t>(bits(x) >> 32); }
inline uint32_t lo(double x) { return static_cast<uint32_t>(bits(x)); }
inline double withHi(double x, int32_t h) {
  return fromBits((static_cast<uint64_t>(static_cast<uint32_t>(h)) << 32) | lo(x));
}
inline double clearLo(double x) { return fromBits(bits(x) & 0xFFFFFFFF00000000ULL); }
inline double word(uint32_t h, uint32_t l) {
  return fromBits((static_cast<uint64_t>(h) << 32) | l);
}

const double bp[] = {1.0, 1.5};
const double dp_h[] = {0.0, word(0x3FE2B803, 0x40000000)};
const double dp_l[] = {0.0, word(0x3E4CFDEB, 0x43CFD006)};
const double two53 = word(0x43400000, 0x00000000);
const double L1 = word(0x3FE33333, 0x33333303);
const double L2 = word(0x3FDB6DB6, 0xDB6FABFF);
const double L3 = word(0x3FD55555, 0x518F264D);
const double L4 = word(0x3FD17460, 0xA91D4101);
const double L5 = word(0x3FCD864A, 0x93C9DB65);
const double L6 = word(0x3FCA7E28, 0x4A454EEF);
const double P1 = word(0x3FC55555, 0x5555553E);
const double P2 = word(0xBF66C16C, 0x16BEBD93);
const double P3 = word(0x3F11566A, 0xAF25DE2C);
const double P4 = word(0xBEBBBD41, 0xC5D26BF1);
const double P5 = word(0x3E663769, 0x72BEA4D0);
const double lg2 = word(0x3FE62E42, 0xFEFA39EF);
const double lg2_h = word(0x3FE62E43, 0x00000000);
const double lg2_l = word(0xBE205C61, 0x0CA86C39);
const double ovt = 8.0085662595372944372e-17;  // -(1024 - log2(overflow + 0.5 ulp))
const double cp = word(0x3FEEC709, 0xDC3A03FD);
const double cp_h = word(0x3FEEC709, 0xE0000000);
const double cp_l = word(0xBE3E2FE0, 0x145B01F5);

}  // namespace

double fdlibmPow(double x, double y) {
  int32_t hy = hi(y);
  uint32_t ly = lo(y);
  int32_t iy = hy & 0x7fffffff;
  if ((iy | ly) == 0) return 1.0;
  if (ly == 0 && hy == 0x3fe00000) return std::sqrt(x);  // y = 0.5
  int32_t hx = hi(x);
  uint32_t lx = lo(x);
  int32_t ix = hx & 0x7fffffff;
  if (lx == 0 && (ix == 0x7ff00000 || ix == 0x3ff00000)) {  // x = +inf or 1
    double z = x;
    if (hy < 0) z = 1.0 / z;
    return z;
  }

  // log2(x) = t1 + t2 in extended precision.
  double ax = x, t1, t2;
  {
    int32_t n = 0, k;
    if (ix < 0x00100000) {  // subnormal x
      ax *= two53;
      n -= 53;
      ix = hi(ax);
    }
    n += (ix >> 20) - 0x3ff;
    int32_t j = ix & 0x000fffff;
    ix = j | 0x3ff00000;
    if (j <= 0x3988E) {
      k = 0;  // |x| < sqrt(3/2)
    } else if (j < 0xBB67A) {
      k = 1;  // |x| < sqrt(3)
    } else {
      k = 0;
      n += 1;
      ix -= 0x00100000;
    }
    ax = withHi(ax, ix);

    // ss = s_h + s_l = (x - 1)/(x + 1) or (x - 1.5)/(x + 1.5)
    double u = ax - bp[k];
    double v = 1.0 / (ax + bp[k]);
    double ss = u * v;
    double s_h = clearLo(ss);
    double t_h = fromBits(static_cast<uint64_t>(static_cast<uint32_t>(((ix >> 1) | 0x20000000) +
                                                                      0x00080000 + (k << 18)))
                          << 32);
    double t_l = ax - (t_h - bp[k]);
    double s_l = v * ((u - s_h * t_h) - s_h * t_l);
    double s2 = ss * ss;
    double r = s2 * s2 * (L1 + s2 * (L2 + s2 * (L3 + s2 * (L4 + s2 * (L5 + s2 * L6)))));
    r += s_l * (s_h + ss);
    s2 = s_h * s_h;
    t_h = clearLo(3.0 + s2 + r);
    t_l = r - ((t_h - 3.0) - s2);
    u = s_h * t_h;
    v = s_l * t_h + t_l * ss;
    double p_h = clearLo(u + v);
    double p_l = v - (p_h - u);
    double z_h = cp_h * p_h;
    double z_l = cp_l * p_h + p_l * cp + dp_l[k];
    double t = static_cast<double>(n);
    t1 = clearLo(((z_h + z_l) + dp_h[k]) + t);
    t2 = z_l - (((t1 - t) - dp_h[k]) - z_h);
  }

  // (y1 + y2)(t1 + t2)
  double y1 = clearLo(y);
  double p_l = (y - y1) * t1 + y * t2;
  double p_h = y1 * t1;
  double z = p_l + p_h;
  int32_t j = hi(z);
  int32_t i = static_cast<int32_t>(lo(z));
  if (j >= 0x40900000) {  // z >= 1024: the overflow fdlibm would return becomes missing
    if (((j - 0x40900000) | i) != 0 || p_l + ovt > z - p_h) return dotMissing();
  } else if ((j & 0x7fffffff) >= 0x4090cc00) {  // z <= -1075
    if (((j - static_cast<int32_t>(0xc090cc00)) | i) != 0 || p_l <= z - p_h) return 0.0;
  }

  // 2^(p_h + p_l)
  i = j & 0x7fffffff;
  int32_t k = (i >> 20) - 0x3ff;
  int32_t n = 0;
  if (i > 0x3fe00000) {  // |z| > 0.5: n = [z + 0.5]
    n = j + (0x00100000 >> (k + 1));
    k = ((n & 0x7fffffff) >> 20) - 0x3ff;
    double t = fromBits(static_cast<uint64_t>(static_cast<uint32_t>(n & ~(0x000fffff >> k))) << 32);
    n = ((n & 0x000fffff) | 0x00100000) >> (20 - k);
    if (j < 0) n = -n;
    p_h -= t;
  }
  double t = clearLo(p_l + p_h);
  double u = t * lg2_h;
  double v = (p_l - (t - p_h)) * lg2 + t * lg2_l;
  z = u + v;
  double w = v - (z - u);
  t = z * z;
  t1 = z - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
  double r = (z * t1) / (t1 - 2.0) - (w + z * w);
  z = 1.0 - (r - z);
  j = hi(z);
  j += static_cast<int32_t>(static_cast<uint32_t>(n) << 20);
  if ((j >> 20) <= 0) return std::scalbn(z, n);  // subnormal output
  return withHi(z, j);
}

}  // namespace vsf::num
