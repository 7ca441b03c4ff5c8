// Beta variates (Cheng's BB and BC, Atkinson and Whittaker's switching method, and the cases
// with a shape of 1), and F built on them.
#include <cmath>

#include "numerics/variates_internal.h"

namespace vsf {

using namespace num;

namespace {

constexpr double kLn4 = 1.38629436;

double chengBB(RngState* rng, BetaCache& c, double a, double b) {
  double lo = std::fmin(a, b), hi = std::fmax(a, b);
  double& alpha = c.v[2];
  double& beta = c.v[3];
  double& gamma = c.v[4];
  if (c.keyA != a || c.keyB != b) {
    c.keyA = a, c.keyB = b;
    c.v[0] = lo, c.v[1] = hi;
    alpha = lo + hi;
    beta = std::sqrt((alpha - 2) / (2 * lo * hi - alpha));
    gamma = lo + 1 / beta;
  }
  double w;
  for (;;) {
    double u1 = U(rng), u2 = U(rng);
    double v = beta * std::log(u1 / (1 - u1));
    w = lo * zexp(v);
    double z = u1 * u1 * u2, r = gamma * v - kLn4, s = lo + r - w;
    if (s + 2.60943791 > 5 * z) break;
    double t = std::log(z);
    if (t <= s) break;
    if (r + alpha * std::log(alpha / (hi + w)) >= t) break;
  }
  return a == lo ? w / (hi + w) : hi / (hi + w);
}

double chengBC(RngState* rng, BetaCache& c, double a, double b) {
  double A = std::fmax(a, b), B = std::fmin(a, b);
  double *alpha = &c.v[2], *beta = &c.v[3], *delta = &c.v[4], *k1 = &c.v[5], *k2 = &c.v[6],
         *limit = &c.v[7];
  if (c.keyA != a || c.keyB != b) {
    c.keyA = a, c.keyB = b;
    c.v[0] = A, c.v[1] = B;
    *alpha = A + B;
    *beta = 1 / B;
    *delta = 1 + A - B;
    *k1 = *delta * (0.0138888889 + 0.0416666667 * B) / (A * *beta - 0.777777778);
    *k2 = 0.25 + (0.5 + 0.25 / *delta) * B;
    *limit = 709.782712893384 - std::log(A);
  }
  double w;
  for (;;) {
    double u1 = U(rng), u2 = U(rng), z;
    if (u1 < 0.5) {
      double y = u1 * u2;
      z = u1 * y;
      if (0.25 * u2 + z - y >= *k1) continue;
    } else {
      z = u1 * u1 * u2;
      if (z <= 0.25) {
        double v = *beta * std::log(u1 / (1 - u1));
        w = v > *limit ? kDblMax : A * zexp(v);
        break;
      }
      if (z >= *k2) continue;
    }
    double v = *beta * std::log(u1 / (1 - u1));
    w = v > *limit ? kDblMax : A * zexp(v);
    if (*alpha * (std::log(*alpha / (B + w)) + v) - kLn4 >= std::log(z)) break;
  }
  if (a == A) return w == kDblMax ? 1.0 : w / (B + w);
  return w == kDblMax ? 0.0 : B / (B + w);
}

double switching(RngState* rng, BetaCache& c, double a, double b) {
  double &t = c.v[0], &p = c.v[1];
  if (c.keyA != a || c.keyB != b) {
    c.keyA = a, c.keyB = b;
    t = 1 / (1 + std::sqrt(b * (1 - b) / (a * (1 - a))));
    p = b * t / (b * t + a * (1 - t));
  }
  for (;;) {
    double u = U(rng), e = -std::log(U(rng)), x;
    if (u <= p) {
      x = t * zpow(u / p, 1 / a);
      if (e >= (1 - b) * (t - x) / (1 - t)) return x;
      if (e >= (1 - b) * std::log((1 - x) / (1 - t))) return x;
    } else {
      x = 1 - (1 - t) * zpow((1 - u) / (1 - p), 1 / b);
      if (e >= (1 - a) * (x / t - 1)) return x;
      if (e >= (1 - a) * std::log(x / t)) return x;
    }
  }
}

}  // namespace

double zrngbeta(RngState* rng, double a, double b) {
  // Shapes must be positive: 1/a, 1/b and a(1-a) are divided by below.
  if (!(a > 0 && b > 0)) return dotMissing();
  BetaCache& c = rng->beta;
  if (a > 1 && b > 1) return chengBB(rng, c, a, b);
  if ((a < 1 && b > 1) || (b < 1 && a > 1)) return chengBC(rng, c, a, b);
  if (a == 1 || b == 1) {
    if (c.keyA != a || c.keyB != b) {
      c.keyA = a, c.keyB = b;
      c.v[0] = a == 1 ? 1 / b : 1 / a;
    }
    double u = U(rng);
    if (a == 1 && b == 1) return u;
    return b == 1 ? zpow(u, c.v[0]) : 1 - zpow(u, c.v[0]);
  }
  return switching(rng, c, a, b);
}

double zrngf(RngState* rng, double d1, double d2) {
  if (!(d1 > 0 && d2 > 0)) return dotMissing();
  double x = zrngbeta(rng, d1 / 2, d2 / 2);
  if (x == 1) return 0;
  return (d2 * x / d1) / (1 - x);
}

}  // namespace vsf
