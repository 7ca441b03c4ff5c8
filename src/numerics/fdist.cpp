// F distribution: the upper-tail probability of the central F, and the log tails with a
// noncentrality parameter with their chi-square and normal fallbacks.
#include <cmath>

#include "base/codes.h"
#include "numerics/faults_internal.h"
#include "numerics/mixture_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

double zprobf(double x, double df1, double df2) {
  if (!(x >= 0 && df1 > 0 && df2 > 0)) return rc::kDomain;
  if (x == 0) return 1;
  double w = df2 / (x * df1 + df2);
  if (w == 0) return 0;
  double prob, dens;
  if (zbetacdf(w, df2 / 2, df1 / 2, &prob, &dens) != 0) return rc::kNoResult;
  return prob;
}

namespace {

// Log tails of Beta(a, b) at u, handed over as the smaller of u and 1 - u by the caller.
bool betaTails(double u, double a, double b, double tol, double* lo, double* up, double* dens) {
  BetaDistRec r;
  r.x = u, r.a = a, r.b = b, r.tol = tol;
  if (zbetainv(&r) != 0) return false;
  *lo = r.logLower, *up = r.logUpper, *dens = r.logDensity;
  return true;
}

// Central F tails through the beta distribution.
int centralF(FDistRec* rec) {
  double x = rec->x, r = rec->df2 / rec->df1, w = r / (x + r), lo, up, dens;
  if (x > r) {
    if (!betaTails(w, rec->df2 / 2, rec->df1 / 2, rec->tol, &up, &lo, &dens)) return 1;
  } else {
    if (!betaTails(x / (x + r), rec->df1 / 2, rec->df2 / 2, rec->tol, &lo, &up, &dens)) return 1;
  }
  rec->logLower = lo, rec->logUpper = up;
  rec->logDensity = dens + std::log(r / ((x + r) * (x + r)));
  return 0;
}

// Noncentral F as a Poisson(nc/2) mixture of beta tails; the tail the normal deviate points
// to is summed directly and the other is its complement.
int noncentralF(FDistRec* rec) {
  double x = rec->x, d1 = rec->df1, d2 = rec->df2, nc = rec->nc;
  double y = std::cbrt(x * d1 / (d1 + nc));
  double v1 = 2 * (d1 + 2 * nc) / (9 * (d1 + nc) * (d1 + nc)), v2 = 2 / (9 * d2);
  double z = ((1 - v2) * y - (1 - v1)) / std::sqrt(v1 + v2 * y * y);
  bool lowerDirect = z <= -2;
  rec->directLower = lowerDirect;
  double u = x * d1 / (x * d1 + d2);
  double tol = std::fmax(rec->tol, 5.551115123125785e-16);
  auto term = [&](long long k, double* lt) {
    double a = d1 / 2 + static_cast<double>(k), lo, up, dens;
    if (u <= 0.5) {
      if (!betaTails(u, a, d2 / 2, tol, &lo, &up, &dens)) return false;
    } else {
      if (!betaTails(1 - u, d2 / 2, a, tol, &up, &lo, &dens)) return false;
    }
    *lt = lowerDirect ? lo : up;
    return true;
  };
  double logSum;
  long long k0 = static_cast<long long>(std::floor(1.16 * nc / 2));
  if (!poissonMixture(nc / 2, k0, tol, term, &logSum)) return 1;
  if (logSum > 0) logSum = 0;
  double other = std::exp(logSum) == 1 ? kLogZero : zlog1p(-std::exp(logSum));
  rec->logLower = lowerDirect ? logSum : other;
  rec->logUpper = lowerDirect ? other : logSum;
  return 0;
}

}  // namespace

int zfdist(FDistRec* rec) {
  constexpr double kMinDf = 0.0009765625, kMaxDf = 2147483647.0;
  if (!(rec->df1 > kMinDf && rec->df1 <= kMaxDf && rec->df2 > kMinDf && rec->df2 <= kMaxDf &&
        rec->nc >= 0 && rec->x >= 0))
    return 1;
  if (rec->x == 0) {
    rec->logLower = -kDblMax;
    rec->logUpper = 0;
    rec->logDensity = rec->df1 < 2 ? kDblMax : (rec->df1 == 2 ? 0.0 : -kDblMax);
    return 0;
  }
  return rec->nc == 0 ? centralF(rec) : noncentralF(rec);
}

int zfdistnc(double x, double df1, double df2, double nc, double* logLower, double* logUpper) {
  if (!(x >= 0 && df1 > 0 && df2 > 0 && nc >= 0)) return 1234567;
  if (x == 0) {
    *logLower = kLogZero;
    *logUpper = 0;
    return 0;
  }
  FDistRec f;
  f.x = x, f.df1 = df1, f.df2 = df2, f.nc = nc;
  f.request = 1;
  f.tol = 1.053671212772351e-08;
  f.seriesTol = 1.110223024625157e-16;
  f.quadTol = 1.053671212772351e-08;
  if (zfdist(&f) == 0) {
    *logLower = f.logLower, *logUpper = f.logUpper;
    return 0;
  }
  // Chi-square limits for one huge degrees of freedom.
  ChiSqDistRec c;
  c.nc = 0;
  c.tol = 1.053671212772351e-08;
  c.request = 1;
  if (df2 > 1e7 && df1 < 1e7) {
    c.x = x * df1, c.df = df1;
    if (zchisqnc(&c) == 0) {
      *logLower = c.logLower, *logUpper = c.logUpper;
      return 0;
    }
  } else if (df1 > 1e7 && df2 < 1e7) {
    c.x = df2 / x, c.df = df2;
    if (zchisqnc(&c) == 0) {
      *logLower = c.logUpper, *logUpper = c.logLower;
      return 0;
    }
  }
  // The normal approximation needs a finite variance of F: df2 > 4.
  if (!(df2 > 4)) return 1;
  double m = df2 / (df2 - 2);
  double s = m * std::sqrt(2 * (df1 + df2 - 2) / (df1 * (df2 - 4)));
  double dens;
  return zlnormcdf((x - m) / s, logLower, logUpper, &dens);
}

}  // namespace vsf
