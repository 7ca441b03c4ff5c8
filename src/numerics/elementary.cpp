// Log gamma, log beta, log(1+x), e^x - 1, the binary split of a double and its inverse, the
// Mills ratio and packed-triangle indexes.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

double horner(const double* c, int n, double t) {
  double r = c[0];
  for (int i = 1; i < n; ++i) r = r * t + c[i];
  return r;
}

// Rational approximations of ln Gamma(1 + t) and ln Gamma(2 + t) on [0, 1).
constexpr double kN1[] = {0.002126546376940967, 0.05692342633165193, 0.36252537533106266,
                          0.7494577256954738,   0.2079812846119617,  -0.8017986934675778,
                          -0.5772156649015329};
constexpr double kD1[] = {0.0005124543681927987, 0.026724016735058816, 0.31469269123782706,
                          1.4276752135116328,    2.9550965510668346,   2.8139668163177345};
constexpr double kN2[] = {9.627912858833401e-05, 0.004410493669232917, 0.05678875296955259,
                          0.3098673634213962,    0.8058203645027399,   0.9712118746069075,
                          0.42278433509846713};
constexpr double kD2[] = {2.1326962979603636e-05, 0.0016767266689027731, 0.03194668377437606,
                          0.24611091348667924,    0.8949255863507323,    1.5344580849517535};

}  // namespace

double zlgamma(double x) {
  constexpr double eps = 1.110223024625157e-16;
  if (x <= kDblMin) return -99.0;
  if (std::fabs(x - 1) < eps || std::fabs(x - 2) < eps) return 0.0;
  if (x >= 15) return kLnSqrt2Pi - x + (x - 0.5) * std::log(x) + zstirlerr(x);
  double c = 1, z = x;
  while (z < 1) {
    c = c / z;
    z = z + 1;
  }
  while (z > 2) {
    z = z - 1;
    c = c * z;
  }
  if (std::fabs(x - 0.5 - std::trunc(x)) < eps) return std::log(c) - 0.12078223763524522;
  if (z < 1.5) {
    double t = z - 1;
    return std::log(c) + t * horner(kN1, 7, t) / (1 + t * horner(kD1, 6, t));
  }
  double t = z - 2;
  return std::log(c) + t * horner(kN2, 7, t) / (1 + t * horner(kD2, 6, t));
}

double zstirlerr(double x) {
  double u = 1 / x, v = u * u;
  return u * (0.08333333333333333 +
              v * (-0.002777777777777778 +
                   v * (0.0007936507936507937 +
                        v * (-0.0005952380952380953 +
                             v * (0.0008417508417508417 + v * -0.0019175269175269176)))));
}

double zlbeta(double a, double b) {
  if (a <= 0 || b <= 0) return 99.0;
  double p = a > b ? a : b, q = a > b ? b : a;
  if (p < 15) return zlgamma(p) + zlgamma(q) - zlgamma(p + q);
  return (p - 0.5 + q) * zlog1p(-q / (p + q)) + q - q * std::log(p) + zlgamma(q) + zstirlerr(p) -
         zstirlerr(p + q);
}

double zlog1p(double x) {
  if (std::fabs(x) <= 0.03125) {
    double u = x / (1 + 0.5 * x), w = u * u;
    return u +
           u * w * (0.08333333333333427 - 0.0023812878804825234 * w) / (1 - 0.178575454351365 * w);
  }
  return std::log(1 + x);
}

double zexpm1(double x) {
  if (std::fabs(x) <= 0.01)
    return x * (1 + x / 2 * (1 + x / 3 * (1 + x / 4 * (1 + x / 5 * (1 + x / 6)))));
  return zexp(x) - 1;
}

double zfrexp(double x, int* e) {
  uint64_t u = bits(x);
  if (u == 0) {
    *e = 0;
    return 0.0;
  }
  *e = static_cast<int>((u >> 52) & 0x7FF) - 1022;
  return fromBits((u & 0x800FFFFFFFFFFFFFULL) | (uint64_t{1022} << 52));
}

// Works on the bit pattern; a subnormal input is normalised first and a subnormal result is
// rounded once, and an overflow keeps the sign of x.
double zldexp(double x, int e) {
  uint64_t u = bits(x);
  if ((u & 0x7FFFFFFFFFFFFFFFULL) == 0) return x;
  int field = static_cast<int>((u >> 52) & 0x7FF);
  if (field == 0x7FF) return x;  // infinities and missing values pass unchanged
  if (field == 0) {              // subnormal: scale into the normal range
    x *= 18014398509481984.0;    // 2^54
    u = bits(x);
    field = static_cast<int>((u >> 52) & 0x7FF);
    e -= 54;
  }
  long long nf = static_cast<long long>(field) + e;
  uint64_t sign = u & 0x8000000000000000ULL;
  if (nf >= 2047) return fromBits(sign | 0x7FF0000000000000ULL);
  if (nf >= 1) return fromBits((u & 0x800FFFFFFFFFFFFFULL) | (static_cast<uint64_t>(nf) << 52));
  if (nf < -53) return fromBits(sign);
  double y = fromBits((u & 0x800FFFFFFFFFFFFFULL) | (static_cast<uint64_t>(nf + 54) << 52));
  return y * 5.551115123125783e-17;  // 2^-54: one rounding into the subnormal range
}

int zmills(double x, double* out) {
  if (x < 5) {
    double r = zexp(x * x / 2 + kLnSqrt2Pi);
    if (x >= -10) r *= znormcdf(-x);
    *out = r;
    return 0;
  }
  double w = 1 / (x * x);
  double aPrev = 0, a = 1 / x, bPrev = 1, b = 1;
  double r = a / b;
  for (int n = 1; n <= 100; ++n) {
    double aNew = a + n * w * aPrev, bNew = b + n * w * bPrev;
    aPrev = a, a = aNew, bPrev = b, b = bNew;
    double rNew = a / b;
    bool done = std::fabs(rNew - r) <= 5.551115123125785e-16 * rNew;
    r = rNew;
    if (done) {
      *out = r;
      return 0;
    }
  }
  *out = r;
  return 1;
}

int zpkidx(int i, int j) {
  int m = i > j ? i : j, n = i > j ? j : i;
  return ((m * (m + 1)) >> 1) + n;
}

}  // namespace vsf
