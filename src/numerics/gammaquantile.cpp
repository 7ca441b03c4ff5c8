// Gamma quantiles: a geometric bracket from a normal start refined by secant steps on
// (ln x, log-odds of P), and the root solver for an upper-tail target.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/gamma_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

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
  double z = znormq(p);
  double x = std::fmax(a + z * std::sqrt(a), 1.0);
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
  double z = znormq(rec->q);
  double x0 = std::fmax(rec->a - z * std::sqrt(rec->a), 1.0);
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
  if (rc == 0) {
    rec->x = s.point;
    return 0;
  }
  rec->x = dotMissing();
  return s.status ? s.status : rc;
}

}  // namespace vsf
