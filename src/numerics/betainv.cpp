// Beta quantiles: the AS 109 start value refined by Newton or Halley steps, with a bracketing
// secant search on the log-odds scale as the fallback.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

constexpr double kXLo = 2.225073858507202e-293;
constexpr double kXHi = 0.999999999999889;

bool wantLower(const BetaDistRec* rec) { return !(rec->request & 8); }

// Tails at x clamped into [kXLo, kXHi]; false when the evaluation failed.
bool tailsAt(BetaDistRec* rec, double x, double* logLower, double* logUpper) {
  rec->clamp = 0;
  if (x < kXLo) x = kXLo, rec->clamp = 1;
  if (x > kXHi) x = kXHi, rec->clamp = 2;
  rec->x = x;
  if (zbetatails(rec) != 0) return false;
  *logLower = rec->logLower;
  *logUpper = rec->logUpper;
  return true;
}

double trialPoint(double u) { return 1 / (1 + std::exp(-u)); }

}  // namespace

// Fallback search; x is the result on success. Bracketing steps in the log-odds double from 1:
// for shapes below 0.1 the AS 109 start can lie hundreds of log-odds units from the quantile
// (Beta(0.01, 0.01) at p = 0.1: -161), out of reach of unit steps. The secant steps keep the
// bracket and bisect it when the secant leaves it, since the log-odds of F is nearly flat
// between the two tails when both shapes are small.
int zbetainvx(BetaDistRec* rec) {
  bool lower = wantLower(rec);
  double target = lower ? rec->p : rec->q;
  if (rec->a < 1e-12 || rec->b < 0.001 || target == 0 || target > 0.9999999894632878) return 1;
  rec->searchTol = 1e-7;
  double goal = lower ? std::log(rec->p / (1 - rec->p)) : std::log((1 - rec->q) / rec->q);
  double x0 = rec->oriented ? 1 - rec->start : rec->start;
  double uB = std::log(x0 / (1 - x0)), lo, up;
  if (!tailsAt(rec, trialPoint(uB), &lo, &up)) return 1;
  double lB = lo - up;
  double uA = uB, lA = lB;
  double dir = lB > goal ? -1.0 : 1.0;
  bool bracketed = false;
  for (int i = 0; i < 30 && !bracketed; ++i) {
    uA = uB, lA = lB;
    uB += dir * std::ldexp(1.0, i);
    if (!tailsAt(rec, trialPoint(uB), &lo, &up)) return 1;
    if (rec->clamp) uB = std::log(rec->x / (1 - rec->x));  // the end of the range
    lB = lo - up;
    bracketed = (lA - goal) * (lB - goal) <= 0;
    if (!bracketed && rec->clamp) return 1;  // the end of the range is still on the wrong side
  }
  if (!bracketed) return 1;
  double uLo = uA, lLo = lA, uHi = uB;  // the goal lies between the log-odds at uLo and uHi
  double scale = std::fabs(goal) > 1 ? std::fabs(goal) : 1.0;
  for (int i = 0; i < 30; ++i) {
    if (std::fabs(lA - lB) < rec->searchTol * scale) {
      rec->x = trialPoint(uB);
      if (rec->x < kXLo) rec->x = kXLo;
      if (rec->x > kXHi) rec->x = kXHi;
      return 0;
    }
    double uNew = uB + (goal - lB) * (uA - uB) / (lA - lB);
    if (!(uNew > std::fmin(uLo, uHi) && uNew < std::fmax(uLo, uHi))) uNew = (uLo + uHi) / 2;
    uA = uB, lA = lB, uB = uNew;
    if (!tailsAt(rec, trialPoint(uB), &lo, &up)) return 1;
    lB = lo - up;
    if ((lB - goal) * (lLo - goal) > 0) {
      uLo = uB, lLo = lB;
    } else {
      uHi = uB;
    }
  }
  return 1;
}

namespace {

// AS 109 start value for the lower-tail probability alpha <= 0.5 of Beta(pp, qq).
double startValue(BetaDistRec* rec, double pp, double qq, double alpha) {
  double y = std::sqrt(-2 * std::log(alpha));
  y = y - (2.30753 + 0.27061 * y) / (1 + (0.99229 + 0.04481 * y) * y);
  if (pp <= 1 || qq <= 1) {
    rec->halley = 0;
    double x0 = pp / (pp + qq) - y * std::sqrt(pp * qq / ((pp + qq) * (pp + qq + 1)));
    return x0 < 1e-9 ? std::exp(std::log(alpha) / pp) : x0;
  }
  rec->halley = 1;
  double r = (y * y - 3) / 6, s = 1 / (2 * pp - 1), t = 1 / (2 * qq - 1), h = 2 / (s + t);
  double w = y * std::sqrt(h + r) / h - (t - s) * (r + 0.8333 - 0.6666 / h);
  return pp / (pp + qq * std::exp(2 * w));
}

// Newton or Halley steps on I_x(pp, qq) = alpha; true with the result in *out.
bool newtonSteps(BetaDistRec* rec, double pp, double qq, double alpha, double* out) {
  double x = rec->start;
  for (int step = 1; step <= 30; ++step) {
    double f, dens;
    if (zbetacdf(x, pp, qq, &f, &dens) != 0) return false;
    double xNew;
    if (dens >= 5.562684646268004e-305) {
      if (rec->halley) dens += 0.5 * ((pp - 1) / x - (qq - 1) / (1 - x)) * (alpha - f);
      xNew = x - (f - alpha) / dens;
    } else {
      xNew = f <= alpha ? 1.0 : 0.0;
    }
    if (xNew >= 1) xNew = (x + 1) / 2;
    if (xNew <= 0) xNew = x / 2;
    if (step < 30 && std::fabs(f - alpha) < 1e-7 * alpha) {
      *out = xNew;
      return true;
    }
    x = xNew;
  }
  return false;
}

}  // namespace

int zbetainv(BetaDistRec* rec) {
  uint32_t req = rec->request ? rec->request : 1;
  double a = rec->a, b = rec->b;
  if (!(a > 0 && b > 0)) return 1;
  if ((req & 1) && !(rec->x >= 0 && rec->x <= 1)) return 1;
  if ((req & 4) && !(rec->p >= 0 && rec->p <= 1)) return 1;
  if (req & 1) return zbetatails(rec);
  if (!(req & 12)) return (req & 2) ? zbetalpdf(rec->x, a, b, &rec->logDensity) : 0;

  double fStar, target, alpha;
  bool lower = !(req & 8);
  if (lower) {
    if (rec->p == 0 || rec->p == 1) {
      rec->x = rec->p;
      return 0;
    }
    fStar = rec->p;
    target = std::log(rec->p);
  } else {
    if (!(rec->q >= 0 && rec->q <= 1)) return 1;
    if (rec->q == 0 || rec->q == 1) {
      rec->x = 1 - rec->q;
      return 0;
    }
    rec->p = 1 - rec->q;
    fStar = rec->p;
    target = zlog1p(-rec->q);
  }
  rec->logTarget = target;
  rec->xLo = kXLo, rec->xHi = kXHi;
  double lo, up;
  double saved = rec->x;
  if (!tailsAt(rec, kXLo, &lo, &up) || lo > target) return rec->x = saved, 1;
  rec->fLo = lo;
  if (!tailsAt(rec, kXHi, &lo, &up) || lo < target) return rec->x = saved, 1;
  rec->fHi = lo;
  rec->clamp = 0;

  double pp = a, qq = b;
  rec->oriented = 0;
  if (fStar <= 0.5) {
    alpha = fStar;
  } else {
    pp = b, qq = a;
    alpha = lower ? 1 - fStar : rec->q;  // the upper target is kept exact
    rec->oriented = 1;
  }
  rec->alpha = alpha;
  rec->startA = pp, rec->startB = qq;
  rec->start = startValue(rec, pp, qq, alpha);
  double x;
  if (pp <= 2147483647.0 && qq <= 2147483647.0 && newtonSteps(rec, pp, qq, alpha, &x)) {
    rec->x = rec->oriented ? 1 - x : x;
    return 0;
  }
  rec->x = saved;
  return zbetainvx(rec);
}

}  // namespace vsf
