// Continuous variates: exponential, polar normal (with its spare), lognormal, Cauchy,
// triangle, Weibull, and the gamma family (Cheng's GB, a two-piece method for shapes up to 1)
// with chi-square, Erlang and t built on it.
#include <cmath>

#include "numerics/variates_internal.h"

namespace vsf {

using namespace num;

double zrngexp(RngState* rng) { return -std::log(U(rng)); }

double zrngnorm(RngState* rng) {
  if (rng->spareFlag) {
    rng->spareFlag = 0;
    return rng->spare;
  }
  double x, y, s;
  do {
    double u = U(rng);
    x = (u - 1) + u;
    u = U(rng);
    y = (u - 1) + u;
    s = x * x + y * y;
  } while (!(s < 1) || s == 0);
  double f = std::sqrt(-2 * std::log(s) / s);
  rng->spare = y * f;
  rng->spareFlag = 1;
  return x * f;
}

double zrnglognorm(RngState* rng) { return zexp(zrngnorm(rng)); }

double zrngcauchy(RngState* rng) {
  double x, y;
  do {
    x = U(rng) - 0.5;
    y = U(rng) - 0.5;
  } while (x * x + y * y > 0.25);
  if (y == 0) return dotMissing();  // a uniform of exactly 1/2: no finite ratio
  return x / y;
}

double zrngtri(RngState* rng, double h) {
  if (!(h >= 0 && h <= 1)) return dotMissing();
  double u = U(rng);
  if (u <= h) return std::sqrt(h * u);
  return 1 - std::sqrt((1 - h) - u * (1 - h));
}

double zrngweib(RngState* rng, double a, double b) {
  if (!(a > 0 && b > 0)) return dotMissing();
  return b * zpow(-std::log(U(rng)), 1 / a);
}

namespace {

void gammaSetup(GammaCache& g, double a) {
  g.keyShape = a;
  g.k = a >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(std::floor(a));
  g.f = a - g.k;
  if (a > 1) {
    g.b = 1 / std::sqrt(2 * a - 1);
    g.c = a - 1.3862943611198906;
    g.d = a + 1 / g.b;
  } else if (g.f != 0) {
    g.invF = 1 / g.f;
    g.fm1 = g.f - 1;
    g.q = 0.5 / (0.5 + g.f * 0.606530659712633);
  }
}

}  // namespace

double zrnggamma(RngState* rng, double a) {
  // A negative shape would index a negative count of uniforms; shape 0 is the point mass at 0.
  if (!(a >= 0)) return dotMissing();
  GammaCache& g = rng->gamma;
  if (g.keyShape != a) gammaSetup(g, a);  // the zeroed cache is already the set-up of 0
  if (a > 1) {
    for (;;) {
      double u1 = U(rng), u2 = U(rng);
      double v = g.b * std::log(u1 / (1 - u1));
      double x = a * zexp(v);
      if (g.c - x + g.d * v >= std::log(u1 * u1 * u2)) return x;
    }
  }
  double gf = 0;
  if (g.f != 0) {
    for (;;) {
      double u = U(rng), v = U(rng), w = U(rng);
      if (u <= g.q) {
        gf = 0.5 * zpow(v, g.invF);
        if (zexp(-gf) >= w) break;
      } else {
        gf = 0.5 - std::log(v);
        if (zpow(2 * gf, g.fm1) >= w) break;
      }
    }
  }
  double p = 1;
  for (int i = 0; i < g.k; ++i) p *= U(rng);
  return gf - std::log(p);
}

double zrngerlang(RngState* rng, int k) { return zrnggamma(rng, static_cast<double>(k)); }

double zrngchisq(RngState* rng, double df) {
  if (!(df > 0)) return dotMissing();
  return 2 * zrnggamma(rng, df / 2);
}

double zrngt(RngState* rng, double df) {
  if (!(df >= 0.1)) return dotMissing();
  double z = zrngnorm(rng);
  return z / std::sqrt(2 * zrnggamma(rng, df / 2) / df);
}

}  // namespace vsf
