// The regularised incomplete gamma functions in logarithmic form: a power series, Legendre's
// continued fraction, the series as a continued fraction, the Wilson-Hilferty approximation for
// huge shapes and the asymptotic expansion far in the upper tail.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/gamma_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

double log1pmx(double d) {
  // Series while u^2 <= 1/9 (at most 18 terms); beyond, the difference loses at most a factor 3.6.
  if (!(d >= -0.5 && d <= 1)) return zlog1p(d) - d;
  // With u = d / (2 + d), ln(1 + d) = 2 atanh(u) and d - 2u = d u, so
  // ln(1 + d) - d = -d u + 2 (u^3/3 + u^5/5 + ...), without the cancellation.
  double u = d / (2 + d), u2 = u * u, term = 2 * u * u2, sum = 0;
  for (int k = 3; k < 60; k += 2) {
    double next = term / k;
    sum += next;
    if (std::fabs(next) <= 1e-17 * std::fabs(sum)) break;
    term *= u2;
  }
  return sum - d * u;
}

double gammaLogDensity(double x, double a) {
  if (a < 10) return (a - 1) * std::log(x) - zlgamma(a) - x;
  // The Stirling form (a-1) ln(x/a) - x + a - 0.5 ln a - ln sqrt(2 pi) - stirlerr(a), with
  // (a-1) ln(x/a) - (x-a) taken as a (ln(x/a) - d) - ln(x/a), d = (x-a)/a. Added up term by
  // term, parts of size a ln a cancel and leave about a ln a * 1e-16 (5e-12 at a = x = 1e5,
  // where -x + a alone rounded away 1e5 * 1e-16); this way the error stays near 1e-16 times
  // the result. Away from the mode ln(x/a) comes from the ratio, not from 1 + d.
  double d = (x - a) / a, l, lmd;
  if (d >= -0.5 && d <= 1) {
    l = zlog1p(d);
    lmd = log1pmx(d);
  } else {
    double r = x / a;
    l = r >= kDblMin ? std::log(r) : std::log(x) - std::log(a);
    lmd = l - d;
  }
  return a * lmd - l - kLnSqrt2Pi - 0.5 * std::log(a) - zstirlerr(a);
}

double logOneMinusExp(double l) {
  double e = zexp(l);
  return e == 1 ? kLogZero : zlog1p(-e);
}

namespace {

// Rescales a recurrence whose numerator left [sqrt(DBL_MIN), sqrt(DBL_MAX)].
void rescale(double& a0, double& a1, double& b0, double& b1) {
  double m = std::fabs(a1);
  if (m != 0 && (m < kSmallSqrt || m > kBig)) {
    int e;
    zfrexp(a1, &e);
    a0 = zldexp(a0, -e), a1 = zldexp(a1, -e), b0 = zldexp(b0, -e), b1 = zldexp(b1, -e);
  }
}

// Legendre's fraction for Q(a,x) / density; false after 1,000 steps.
bool legendre(double x, double a, double tol, double* v) {
  double aOld = 0, aNew = 1, bOld = 1, bNew = 1, prev = 1;
  for (int n = 1; n <= 1000; ++n) {
    int k = (n + 1) / 2;
    double c = (n & 1) ? (k - a) / x : k / x;
    double an = aNew + c * aOld, bn = bNew + c * bOld;
    aOld = aNew, aNew = an, bOld = bNew, bNew = bn;
    rescale(aOld, aNew, bOld, bNew);
    *v = aNew / bNew;
    if (std::fabs(*v - prev) < tol * *v) return true;
    prev = *v;
  }
  return false;
}

// The power series as a continued fraction for P(a,x) / density; false after 1,000 steps.
bool seriesFraction(double x, double a, double tol, double* v) {
  double aOld = x / a, aNew = x / a, bOld = 1, bNew = 1 - x / (a + 1);
  double prev = aNew / bNew;
  *v = prev;
  int i = 0;
  for (int n = 2; n <= 1000; ++n) {
    double c = a + n, d;
    if ((n & 1) == 0) {
      ++i;
      d = (x / (c - 1)) * (i / c);
    } else {
      d = -(x / (c - 1)) * ((i + a) / c);
    }
    double an = aNew + d * aOld, bn = bNew + d * bOld;
    aOld = aNew, aNew = an, bOld = bNew, bNew = bn;
    rescale(aOld, aNew, bOld, bNew);
    *v = aNew / bNew;
    if (std::fabs(*v - prev) < tol * *v) return true;
    prev = *v;
  }
  return false;
}

int gammaincCore(GammaDistRec* rec, double a) {
  double x = rec->x, tol = rec->tol;
  double ap = a < 1 ? a + 1 : a;
  rec->shapeWork = a < 1 ? a : a - 1;
  rec->a = ap;
  double logDens = gammaLogDensity(x, ap);
  rec->logDensity = logDens;
  bool series = x <= ap || x <= 1;
  double v = 0;
  bool ok;
  if (ap >= 1e9 && std::fabs(x - ap) <= 0.7 * std::sqrt(ap) + 0.02 * ap) {
    rec->method = 2;
    double z = (std::cbrt(x / ap) - 1 + 1 / (9 * ap)) * std::sqrt(9 * ap);
    double dens;
    return zlnormcdf(z, &rec->logLower, &rec->logUpper, &dens);
  }
  if (series && ap < 1e9) {
    double t = 1 / ap, s = t;
    int k = 1;
    for (; k <= 2000; ++k) {
      t = t * x / (ap + k);
      s += t;
      if (t / s <= tol) break;
    }
    if (k < 2000) {
      rec->method = 0;
      v = x * s;
      ok = true;
    } else {
      rec->method = 4;
      ok = seriesFraction(x, ap, tol, &v);
    }
  } else if (series) {
    rec->method = 4;
    ok = seriesFraction(x, ap, tol, &v);
  } else {
    rec->method = 3;
    ok = legendre(x, ap, tol, &v);
  }
  rec->lastConvergent = v;
  if (!ok) return 1;
  if (a >= 1) {
    if (v <= 0) return 1;
    double logT = std::log(v) + logDens;
    if (series) {
      rec->logLower = logT;
      rec->logUpper = logOneMinusExp(logT);
    } else {
      rec->logUpper = logT;
      rec->logLower = logOneMinusExp(logT);
    }
    return 0;
  }
  // P(a,x) = P(a+1,x) + x^a e^-x / Gamma(a+1)
  if (series) {
    rec->logLower = v == -1 ? kLogZero : zlog1p(v) + logDens;
    rec->logUpper = logOneMinusExp(rec->logLower);
  } else {
    if (!(v > 1)) return 1;
    rec->logUpper = std::log(v - 1) + logDens;
    rec->logLower = logOneMinusExp(rec->logUpper);
  }
  rec->logDensity = logDens + std::log(a) - std::log(x);
  return 0;
}

}  // namespace

int zgammainc(GammaDistRec* rec) {
  double a = rec->a;
  int rc = gammaincCore(rec, a);
  rec->a = a;
  return rc;
}

int gammaTails(GammaDistRec* rec) {
  double x = rec->x, a = rec->a;
  if (x / a < 100 || a < 0.5) return zgammainc(rec) == 0 ? 0 : zgammaser(rec);
  // Asymptotic expansion of the upper tail far beyond the mode.
  double u = 1, s = 0;
  int k = 1;
  for (; k <= 100; ++k) {
    u = u * (a - k) / x;
    s += u;
    if (std::fabs(u) <= 1e-12 * std::fabs(s)) break;
  }
  if (k > 100) return zgammaser(rec);
  double base = (a - 1) * std::log(x) - zlgamma(a) - x;
  rec->logDensity = base;
  rec->logUpper = s == -1 ? kLogZero : base + zlog1p(s);
  rec->logLower = logOneMinusExp(rec->logUpper);
  return 0;
}

int zgammalpdf(double x, double a, double* out) {
  if (!(x >= 0 && a > 0)) return 1;
  *out = x == 0 ? (a == 1 ? 0.0 : dotMissing()) : gammaLogDensity(x, a);
  return 0;
}

int zgammadist(GammaDistRec* rec) {
  uint32_t req = rec->request;
  if (req == 0 || req >= 16) return 1;
  if (!(rec->tol >= 8.881784197001256e-16)) rec->tol = 8.881784197001256e-16;
  if (!(rec->smallest >= kDblMin / rec->tol)) rec->smallest = kDblMin / rec->tol;
  if (req & 4) return gammaQuantileLower(rec);
  if (req & 8) return gammaQuantileUpper(rec);
  double x = rec->x, a = rec->a;
  if (req & 1) {
    if (!(x >= 0 && a > 1e-9)) return 1;
    if (x == 0) {
      rec->logLower = -kDblMax;
      rec->logUpper = 0;
      rec->logDensity = a > 1 ? -kDblMax : (a == 1 ? 0.0 : kDblMax);
    } else {
      if (gammaTails(rec) != 0) return 1;
      if (rec->logLower > 0 || rec->logUpper > 0) return 1;
    }
  }
  if (req & 2) {
    if (zgammalpdf(x, a, &rec->logDensity) != 0) return 1;
  }
  return 0;
}

}  // namespace vsf
