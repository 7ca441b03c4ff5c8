// The upper incomplete gamma integral by quadrature, for the points where the series and
// continued fractions fail.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/gamma_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

int zgammaterm(double t, void* context, double* value) {
  auto* g = static_cast<GammaDistRec*>(context);
  double l = g->shapeWork * std::log(t) - t;
  TrapezoidRec* q = g->quad;
  if (l > q->fScale) {
    if (!(std::fabs(l) <= 2147483647.0)) return 1;
    q->fScale = static_cast<int32_t>(l);
  }
  *value = zexp(l - q->fScale);
  return 0;
}

int zgammaser(GammaDistRec* rec) {
  double a = rec->a, x = rec->x;
  double ap = a < 1 ? a + 1 : a;
  rec->shapeWork = ap - 1;
  rec->logIntegrandAtShape = (ap - 1) * std::log(ap) - ap;
  TrapezoidRec t;
  t.tol = rec->tol;
  t.lower = x;
  t.kind = 2;
  t.mode = 1;
  t.scaling = 1;
  t.base = 2.718281828459045;
  t.scale = t.fScale = -2147483647;
  t.strict = 1;
  t.scaledConvergence = 1;
  t.maxPasses = 30;
  t.h = 1 / std::fmax(1.0, std::log(ap));
  double start = std::fmax(rec->shapeWork, 0.0);
  t.start = start < x ? x * (1 / ap + 1) : start;
  t.integrand = zgammaterm;
  t.context = rec;
  rec->quad = &t;
  double integral;
  int rc = zdistkern(&t, &integral);
  rec->quad = nullptr;
  rec->shapeWork = a < 1 ? a : a - 1;
  if (rc != 0 || !(integral > 0)) return 1;
  double lg = zlgamma(ap);
  double l = std::log(integral) + t.scale - lg;
  rec->logDensity = (ap - 1) * std::log(x) - lg - x;
  if (a >= 1) {
    rec->logUpper = std::fmin(l, 0.0);
  } else {
    // Q(a,x) = Q(a+1,x) - x^a e^-x / Gamma(a+1)
    if (l <= rec->logDensity) {
      rec->logUpper = l;
      return 1;
    }
    rec->logUpper = std::fmin(l + zlog1p(-zexp(rec->logDensity - l)), 0.0);
    rec->logDensity += std::log(a) - std::log(x);
  }
  rec->logLower = logOneMinusExp(rec->logUpper);
  return 0;
}

}  // namespace vsf
