// Discrete variates: Bernoulli, geometric, tabled, hypergeometric, binomial (normal
// approximation or inversion), Poisson (normal approximation, mode search, inversion) and the
// negative binomial as a gamma mixture of Poissons.
#include <cmath>

#include "numerics/variates_internal.h"

namespace vsf {

using namespace num;

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kCdfCeiling = 0.9999999999999999;
}  // namespace

double zrngbern(RngState* rng, double p) {
  if (!(p >= 0 && p <= 1)) return dotMissing();
  return U(rng) <= p ? 1.0 : 0.0;
}

double zrnggeom(RngState* rng, double p) {
  if (!(p > 0)) return dotMissing();  // log1p(-0) = 0 would be divided by
  if (p == 1) return 1;
  if (p >= 0.001) {
    double count = 1;
    while (U(rng) > p) count += 1;
    return count;
  }
  return std::ceil(std::log(U(rng)) / zlog1p(-p));
}

double zrngtable(RngState* rng, int n, const double* probabilities) {
  double u = U(rng), c = 0;
  for (int i = 1; i <= n; ++i) {
    c += probabilities[i - 1];
    if (u <= c) return i;
  }
  return n + 1.0;
}

double zrnghyper(RngState* rng, int bigN, int bigM, int n) {
  if (bigN <= 0 || bigM > bigN || n > bigN) return dotMissing();
  double x = 0, m = bigM, rest = bigN;
  for (int i = 1; i <= n; ++i) {
    if (x > bigM) return x;
    if (U(rng) <= m / rest) {
      x += 1;
      m -= 1;
    }
    rest -= 1;
  }
  return x;
}

double zrngbinom(RngState* rng, int n, double p) {
  if (n < 0 || !(p >= 0 && p <= 1)) return dotMissing();
  BinomialCache& c = rng->binomial;
  if (n > 300 && n * p > 5 && n * (1 - p) > 5) {
    double sd = std::sqrt(n * p * (1 - p)), x;
    do {
      double u1 = U(rng), u2 = U(rng);
      x = std::trunc(n * p + 0.5 + std::sqrt(-2 * std::log(u1)) * std::cos(kTwoPi * u2) * sd);
    } while (x > n || x < 0);
    return x;
  }
  if (c.keyP != p || c.keyN != n || c.f0 == 0) {
    double q = p <= 0.5 ? p : 1 - p;
    c.keyP = p, c.keyN = n;
    c.mean = n * p;
    c.sd = std::sqrt(n * p * (1 - p));
    c.f0 = zexp(n * std::log(1 - q));
    c.r = q / (1 - q);
    c.nr = (n + 1) * c.r;
  }
  if (c.f0 < 2.2250738585072018e-307) {
    c.underflow = 1;
    return dotMissing();
  }
  double x = 0, prob = c.f0, cdf = c.f0, u = U(rng);
  while (cdf < u && cdf <= kCdfCeiling && prob >= 2.2250738585072018e-307) {
    x += 1;
    prob *= c.nr / x - c.r;
    cdf += prob;
  }
  return p > 0.5 ? n - x : x;
}

namespace {

void poissonSetup(PoissonCache& c, double lambda) {
  c.keyLambda = lambda;
  c.ceiling = kCdfCeiling;
  double m = std::floor(lambda);
  c.expFrac = zexp(m - lambda);
  double prob = zexp(-m), cdf = prob;
  for (int i = 1; i <= static_cast<int>(m); ++i) {
    prob = prob * m / i;
    cdf += prob;
  }
  c.pM = prob, c.cdfM = cdf;
  c.expNeg = zexp(-lambda);
  c.method = (lambda >= 8 || lambda == m) ? 1 : 0;
}

// Inversion from 0 with the given starting mass e^-l.
double invert(RngState* rng, double l, double start) {
  double y = 0, prob = start, cdf = start, u = U(rng);
  while (cdf < u && cdf <= kCdfCeiling && prob >= 1.110223024625157e-16) {
    y += 1;
    prob = prob * l / y;
    cdf += prob;
  }
  return y;
}

}  // namespace

double zrngpois(RngState* rng, double lambda) {
  if (!(lambda >= 0)) return dotMissing();
  if (lambda >= 85) {
    double u1 = U(rng), u2 = U(rng);
    double x =
        std::floor(lambda + 0.5 + std::cos(kTwoPi * u2) * std::sqrt(-2 * lambda * std::log(u1)));
    return x > 0 ? x : 0.0;
  }
  PoissonCache& c = rng->poisson;
  if (c.keyLambda != lambda || c.ceiling == 0) poissonSetup(c, lambda);
  if (c.method == 0) return invert(rng, lambda, c.expNeg);
  double m = std::floor(lambda), x = m, prob = c.pM, cdf = c.cdfM, u = U(rng);
  if (u <= cdf) {
    while (x > 0) {
      cdf -= prob;
      if (cdf < u) break;
      x -= 1;
      prob = prob * (x + 1) / m;
    }
  } else {
    do {
      x += 1;
      prob = prob * m / x;
      cdf += prob;
    } while (!(u <= cdf || cdf >= kCdfCeiling || prob <= 1.110223024625157e-16));
  }
  if (lambda == m) return x;
  return x + invert(rng, lambda - m, c.expFrac);
}

double zrngnegbin(RngState* rng, double p, double r) {
  if (!(p > 0 && p <= 1 && r > 0)) return dotMissing();
  if (p == 1) return 0;
  return zrngpois(rng, (1 - p) * zrnggamma(rng, r) / p);
}

}  // namespace vsf
