// Gamma quantiles: a geometric bracket from a normal start refined by secant steps on
// (ln x, log-odds of P), and the root solver for an upper-tail target.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/gamma_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

// The start from the normal approximation, or, when it is smaller, the quantile of the
// leading series term P(a,x) ~ x^a / Gamma(a+1), a lower bound of the quantile and close to it
// where it lies below 1: for shape 0.01 the quantile of p = 0.1 is 6e-101, which steps by a
// factor 3 down from 1 reach only after 210 evaluations. Never below DBL_MIN.
double startPoint(double a, double p, double z) {
  double x0 = std::fmax(a + z * std::sqrt(a), 1.0);
  double lead = std::exp((std::log(p) + zlgamma(a + 1)) / a);
  if (lead < 1 && lead < x0) x0 = std::fmax(lead, kDblMin);
  return x0;
}

void bracketFactors(GammaDistRec* rec, double x0) {
  double g = 1 / (rec->a * x0) + 1;
  g = g < 1.5 ? 1.5 : (g > 3 ? 3 : g);
  rec->growth = g;
  rec->shrink = std::fmin(1 / g, 0.9);
}

// Tails at x as request 1 computes them; false on failure.
bool tailsAt(GammaDistRec* rec, double x) {
  rec->x = x;
  if (!(x > 0)) return false;
  if (gammaTails(rec) != 0) return false;
  return !(rec->logLower > 0 || rec->logUpper > 0);
}

}  // namespace

int gammaQuantileLower(GammaDistRec* rec) {
  double a = rec->a, p = rec->p;
  if (!(a > 1e-9 && p != 0 && p > 0 && p <= 0.9999999894632878)) return 1;
  double target = std::log(p), goal = std::log(p / (1 - p));
  double x = startPoint(a, p, znormq(p));
  bracketFactors(rec, x);
  if (!tailsAt(rec, x)) return 1;
  double xPrev = x, lPrev = rec->logLower - rec->logUpper;
  bool above = rec->logLower > target;
  double factor = above ? rec->shrink : rec->growth;
  for (int i = 0; i < 50; ++i) {
    bool passed = above ? rec->logLower <= target : rec->logLower >= target;
    if (passed) break;
    xPrev = x, lPrev = rec->logLower - rec->logUpper;
    x *= factor;
    if (x < kDblMin) return 1;  // the quantile is no double
    if (!tailsAt(rec, x)) return 1;
  }
  double lCur = rec->logLower - rec->logUpper;
  for (int i = 0; i < 70; ++i) {
    if (std::fabs(lPrev - lCur) <= std::fmax(2.0, std::fabs(goal - lCur)) * kDblMin) {
      rec->x = x;
      return 0;
    }
    double lnNew = std::log(x) + (std::log(xPrev) - std::log(x)) * (goal - lCur) / (lPrev - lCur);
    double xNew = std::exp(lnNew);
    if (xNew < kDblMin) return 1;
    if (!tailsAt(rec, xNew)) return 1;
    if (std::fabs(x - xNew) < std::fmax(std::fabs(xNew), rec->smallest) * 1.053671212772351e-08) {
      rec->x = xNew;
      return 0;
    }
    xPrev = x, lPrev = lCur;
    x = xNew, lCur = rec->logLower - rec->logUpper;
  }
  rec->x = x;
  return 1;
}

int zgammaqstart(RootSolveRec* solver) {
  auto* rec = static_cast<GammaDistRec*>(solver->context);
  // The lower-tail probability 1 - q is exact for q >= 1/2, where the series start matters.
  double x0 = startPoint(rec->a, 1 - rec->q, -znormq(rec->q));
  bracketFactors(rec, x0);
  solver->point = x0;
  solver->growth = rec->growth;
  solver->shrink = rec->shrink;
  return 0;
}

int zgammaqeval(RootSolveRec* solver) {
  auto* rec = static_cast<GammaDistRec*>(solver->context);
  if (!tailsAt(rec, solver->point)) return 1;
  *solver->value = rec->logUpper;
  return 0;
}

namespace {

// The solver stops once the log-odds agree to 1e-8 times their size, which leaves up to 1e-8/a
// times that in x for a shape a below 1 (2.6e-7 at a = 0.001). One Newton step in ln x on the
// log-odds, from the tails and density of the solver's last evaluation (at rec->x).
void polishUpper(GammaDistRec* rec) {
  double q = rec->q, x = rec->x;
  double goal = (q < 0.5 ? zlog1p(-q) : std::log(1 - q)) - std::log(q);
  double slope =
      zexp(std::fmin(std::log(x) + rec->logDensity - rec->logLower - rec->logUpper, 700.0));
  double step = (goal - (rec->logLower - rec->logUpper)) / slope;
  if (std::fabs(step) < 1e-3) rec->x = x * zexp(step);
}

}  // namespace

int gammaQuantileUpper(GammaDistRec* rec) {
  if (!(rec->a > 1e-9 && rec->q > 0 && rec->q < 1)) return 1;
  RootSolveRec s;
  double value = std::log(rec->q);
  s.scaleMode = 2;
  s.stepKind = 2;
  s.tol = 1.053671212772351e-08;
  s.tol2 = 1e-13;
  s.value = &value;
  s.context = rec;
  s.start = zgammaqstart;
  s.eval = zgammaqeval;
  int rc = zrootsolve(&s);
  if (rc == 0 && s.point >= kDblMin) {
    rec->x = s.point;
    polishUpper(rec);
    return 0;
  }
  rec->x = dotMissing();
  if (rc == 0) return 1;  // the quantile is no double
  return s.status ? s.status : rc;
}

}  // namespace vsf
