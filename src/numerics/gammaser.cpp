// The upper incomplete gamma integral by quadrature, for the points where the series and
// continued fractions fail (shapes of some 1e5 and more near the mode).
//
// The integral runs over the offset s = t - x, not over t itself, and the integrand is measured
// against the density at x: Gamma(a') Q(a',x) = x^(a'-1) e^-x * int_0^inf (1 + s/x)^(a'-1) e^-s ds.
// Over t the points next to the lower limit round to x itself once s is below half an ulp of x,
// and the strict limit test then failed every x above the mode from x = 8 or so on; and for a
// large shape the logarithms of t^(a'-1) e^-t (about a ln a) kept only some a * 1e-16 of
// absolute accuracy. Over s the limit 0 is never reached and the terms stay of order one.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/gamma_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

// The integrand is e (1 + s/x)^(a'-1) e^-s: since a' >= 1 its integral is at least e, so the
// logarithm the engine compares relatively stays at 1 or above and never crosses 0.
constexpr double kLogUnit = 1.0;

}  // namespace

// t is the offset from the record's x; the value is scaled by e^(-scale exponent).
int zgammaterm(double t, void* context, double* value) {
  auto* g = static_cast<GammaDistRec*>(context);
  // (a'-1) ln(1 + t/x) - t split so that its two parts of size t do not cancel.
  double x = g->x;
  double l = kLogUnit + g->shapeWork * log1pmx(t / x) - t * ((x - g->shapeWork) / x);
  TrapezoidRec* q = g->quad;
  if (l > q->fScale) {
    if (!(std::fabs(l) <= 2147483647.0)) return 1;
    q->fScale = static_cast<int32_t>(l);
  }
  *value = zexp(l - q->fScale);
  return 0;
}

// Fills the log tails and log density of rec (x > 0, a > 0) by quadrature; 0 or 1.
int zgammaser(GammaDistRec* rec) {
  double a = rec->a, x = rec->x;
  if (!(x > 0 && a > 0)) return 1;
  double ap = a < 1 ? a + 1 : a;
  rec->shapeWork = ap - 1;
  rec->logIntegrandAtShape = (ap - 1) * std::log(ap) - ap;
  TrapezoidRec t;
  t.tol = rec->tol;
  t.lower = 0;
  t.kind = 2;
  t.mode = 1;
  t.scaling = 1;
  t.base = 2.718281828459045;
  t.scale = t.fScale = -2147483647;
  t.strict = 1;
  t.scaledConvergence = 1;
  t.maxPasses = 30;
  t.h = 1 / std::fmax(1.0, std::log(ap));
  // Start at the mode, or past x when the integrand falls from x on.
  double start = std::fmax(rec->shapeWork, 0.0);
  t.start = (start < x ? x * (1 / ap + 1) : start) - x;
  t.integrand = zgammaterm;
  t.context = rec;
  rec->quad = &t;
  double integral;
  int rc = zdistkern(&t, &integral);
  rec->quad = nullptr;
  rec->shapeWork = a < 1 ? a : a - 1;
  if (rc != 0 || !(integral > 0)) return 1;
  // ln of Q(a',x) / density(a',x), at least 0.
  double logRatio = std::log(integral) + t.scale - kLogUnit;
  rec->logDensity = gammaLogDensity(x, ap);
  if (a >= 1) {
    rec->logUpper = std::fmin(logRatio + rec->logDensity, 0.0);
  } else {
    // Q(a,x) = Q(a+1,x) - x^a e^-x / Gamma(a+1), the second term being density(a+1,x).
    if (!(logRatio > 0)) {
      rec->logUpper = logRatio + rec->logDensity;
      return 1;
    }
    rec->logUpper = std::fmin(rec->logDensity + logOneMinusExp(-logRatio) + logRatio, 0.0);
    rec->logDensity += std::log(a) - std::log(x);
  }
  rec->logLower = logOneMinusExp(rec->logUpper);
  return 0;
}

}  // namespace vsf
