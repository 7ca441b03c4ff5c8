// Chi-square distribution record: central tails through the gamma distribution, noncentral
// tails as a Poisson mixture (or, for a large noncentrality, by quadrature of the density), the
// log density and the quantile requests.
#include <cmath>

#include "numerics/chisq_internal.h"
#include "numerics/faults_internal.h"
#include "numerics/mixture_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

bool gammaTailsAt(double x, double shape, double tol, double* lo, double* up, double* dens) {
  GammaDistRec g;
  g.request = 1;
  g.x = x, g.a = shape, g.tol = tol;
  if (zgammadist(&g) != 0) return false;
  *lo = g.logLower, *up = g.logUpper, *dens = g.logDensity;
  return true;
}

// ln of the noncentral chi-square density at t > 0 (needs df >= 2 for the Bessel order).
bool logDensityNc(double t, double df, double nc, double* out) {
  BesselIRec b;
  b.x = std::sqrt(nc * t);
  b.nu = df / 2 - 1;
  b.kind = 2;
  if (zbesseli(&b) != 0 || !(b.result > -kDblMax)) return false;
  *out = -kLn2 - (t + nc) / 2 + (df / 4 - 0.5) * std::log(t / nc) + b.result;
  return true;
}

struct NcDensity {
  double df, nc;
  TrapezoidRec* quad;
};

int ncTerm(double t, void* context, double* value) {
  auto* c = static_cast<NcDensity*>(context);
  double l;
  if (!(t > 0) || !logDensityNc(t, c->df, c->nc, &l)) {
    *value = 0;
    return t > 0 ? 1 : 0;
  }
  if (l > c->quad->fScale) {
    if (!(std::fabs(l) <= 2147483647.0)) return 1;
    c->quad->fScale = static_cast<int32_t>(l);
  }
  *value = zexp(l - c->quad->fScale);
  return 0;
}

}  // namespace

// The directly summed tail by quadrature of the density: over (x, inf) or (0, x).
bool chisqQuadratureTail(ChiSqDistRec* rec, bool lower, double* logTail) {
  TrapezoidRec t;
  NcDensity c{rec->df, rec->nc, &t};
  t.tol = std::fmax(rec->tol, 1e-10);
  t.kind = lower ? 3 : 2;
  t.lower = lower ? 0.0 : rec->x;
  t.upper = rec->x;
  t.mode = 1;
  t.scaling = 1;
  t.base = 2.718281828459045;
  t.scale = t.fScale = -2147483647;
  t.maxPasses = 30;
  t.h = 0.5;
  t.start = rec->mean > rec->x ? (lower ? rec->x / 2 : rec->mean) : (lower ? rec->mean : rec->x);
  t.integrand = ncTerm;
  t.context = &c;
  rec->quad = &t;
  double integral;
  int rc = zdistkern(&t, &integral);
  rec->quad = nullptr;
  if (rc != 0 || !(integral > 0)) return false;
  *logTail = std::log(integral) + t.scale;
  return true;
}

namespace {

int noncentralTails(ChiSqDistRec* rec) {
  double x = rec->x, df = rec->df, nc = rec->nc;
  if (!rec->momentsDone) {
    rec->mean = df + nc;
    rec->sd = std::sqrt(2 * (df + 2 * nc));
    rec->momentsDone = 1;
  }
  // Wilson-Hilferty deviate of the Patnaik approximation picks the tail to sum directly.
  double h = 1 - 2.0 / 3 * (df + nc) * (df + 3 * nc) / ((df + 2 * nc) * (df + 2 * nc));
  double p = (df + 2 * nc) / ((df + nc) * (df + nc));
  double z =
      (std::pow(x / (df + nc), h) - (1 + h * p * (h - 1 - 0.5 * (2 - h) * (1 - 3 * h) * p))) /
      (h * std::sqrt(2 * p) * (1 + 0.5 * (h - 1) * (1 - 3 * h) * p));
  bool lowerDirect = z <= -2;
  rec->directLower = lowerDirect;
  double logTail;
  auto term = [&](long long k, double* lt) {
    double lo, up, dens;
    if (!gammaTailsAt(x / 2, df / 2 + static_cast<double>(k), rec->tol, &lo, &up, &dens))
      return false;
    *lt = lowerDirect ? lo : up;
    return true;
  };
  auto series = [&] {
    return poissonMixture(nc / 2, static_cast<long long>(std::floor(nc / 2)), rec->tol, term,
                          &logTail);
  };
  // Beyond a noncentrality of 500 the quadrature (some 12 us) instead of the series (hundreds
  // of gamma tails: 0.1 to 0.8 ms); each stands in when the other gives up. The density needs
  // df >= 2.
  bool quadratureFirst = nc > 500 && df >= 2;
  bool ok = quadratureFirst && chisqQuadratureTail(rec, lowerDirect, &logTail);
  if (!ok) ok = series();
  if (!ok && !quadratureFirst && df >= 2) ok = chisqQuadratureTail(rec, lowerDirect, &logTail);
  if (!ok) return 1;
  if (logTail > 0) logTail = 0;
  double e = std::exp(logTail);
  double other = e == 1 ? kLogZero : zlog1p(-e);
  rec->logLower = lowerDirect ? logTail : other;
  rec->logUpper = lowerDirect ? other : logTail;
  if (df >= 2 && !logDensityNc(x, df, nc, &rec->logDensity)) rec->logDensity = dotMissing();
  return 0;
}

int tails(ChiSqDistRec* rec) {
  if (!(rec->x > 0 && rec->df >= 1e-8 && rec->nc >= 0)) return 1;
  if (!(rec->tol >= 5.551115123125785e-16)) rec->tol = 5.551115123125785e-16;
  if (rec->nc > 0) return noncentralTails(rec);
  double dens;
  if (!gammaTailsAt(rec->x / 2, rec->df / 2, rec->tol, &rec->logLower, &rec->logUpper, &dens))
    return 1;
  rec->logDensity = dens - kLn2;
  return 0;
}

int logDensity(ChiSqDistRec* rec) {
  if (!(rec->x > 0 && rec->df >= 1e-8 && rec->nc >= 0)) return 1;
  if (rec->nc == 0) {
    double d;
    if (zgammalpdf(rec->x / 2, rec->df / 2, &d) != 0) return 1;
    rec->logDensity = d - kLn2;
    return 0;
  }
  return logDensityNc(rec->x, rec->df, rec->nc, &rec->logDensity) ? 0 : 1;
}

// Quantiles through the root solver on the log tail of the request.
int quantileEval(RootSolveRec* s) {
  auto* rec = static_cast<ChiSqDistRec*>(s->context);
  rec->x = s->point;
  if (tails(rec) != 0) return 1;
  *s->value = s->scaleMode == 2 ? rec->logUpper : rec->logLower;
  return 0;
}

int quantileStart(RootSolveRec* s) {
  auto* rec = static_cast<ChiSqDistRec*>(s->context);
  double target = s->scaleMode == 2 ? 1 - rec->q : rec->p;
  double t = znormq(target);
  double m = rec->df + rec->nc, v = 2 * (rec->df + 2 * rec->nc);
  s->point = std::fmax(m + t * std::sqrt(v), 1e-3 * m + 1e-8);
  s->growth = 2;
  s->shrink = 0.5;
  return 0;
}

int quantile(ChiSqDistRec* rec, bool upper) {
  double target = upper ? rec->q : rec->p;
  if (!(target > 0 && target < 1 && rec->df >= 1e-8 && rec->nc >= 0)) return 1;
  double value = std::log(target);
  RootSolveRec s;
  s.scaleMode = upper ? 2 : 1;
  s.stepKind = 2;
  s.tol = 1.053671212772351e-08;
  s.tol2 = 1e-13;
  s.value = &value;
  s.context = rec;
  s.start = quantileStart;
  s.eval = quantileEval;
  if (zrootsolve(&s) != 0) return 1;
  rec->x = s.point;
  return 0;
}

}  // namespace

int zchisqnc(ChiSqDistRec* rec) {
  uint32_t req = rec->request;
  if (req == 0 || req > 15) return 1;
  if (!(rec->tol >= 8.881784197001256e-16)) rec->tol = 8.881784197001256e-16;
  if (req & 4) return quantile(rec, false);
  if (req & 8) return quantile(rec, true);
  if ((req & 1) && tails(rec) != 0) return 1;
  if ((req & 2) && logDensity(rec) != 0) return 1;
  return 0;
}

}  // namespace vsf
