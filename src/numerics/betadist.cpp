// The regularised incomplete beta function by a continued fraction in the odds ratio, the
// beta log density and the log tails of a beta record.
#include <cmath>

#include "base/codes.h"
#include "numerics/beta_internal.h"
#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {
constexpr double kMaxShape = 2147483647.0;
constexpr double kFracTol = 8.881784197001256e-16;
}  // namespace

bool num::betaSwap(double x, double a, double b) {
  double s = x * (a + b);
  return s > a + 2 * std::sqrt(a * b / (a + b + 1)) || s + 6 * x > a + 3;
}

bool num::betaFraction(double y, double p, double q, double tol, double* k) {
  double r = (1 - y) / y;
  double aOdd = 0, bOdd = 1, aEven = 1, bEven = 1;
  double kNew = 1, kOld = 0;
  for (int n = 1; n <= 400; ++n) {
    if (n > 1 && std::fabs(kNew - kOld) < tol * kNew) {
      *k = kNew;
      return true;
    }
    if (n == 400) break;
    double alpha = (p + n - 1) * (n - q) / (r * (p + 2 * n - 2) * (p + 2 * n - 1));
    double beta = n * (p + q + n - 1) / (r * (p + 2 * n - 1) * (p + 2 * n));
    aOdd = aEven + alpha * aOdd;
    bOdd = bEven + alpha * bOdd;
    aEven = aOdd + beta * aEven;
    bEven = bOdd + beta * bEven;
    if (bEven != 0) {
      int e;
      zfrexp(bEven, &e);
      if (e > 354 || e < -354) {  // keep the recurrence in range by an exact power of two
        aOdd = zldexp(aOdd, -e);
        bOdd = zldexp(bOdd, -e);
        aEven = zldexp(aEven, -e);
        bEven = zldexp(bEven, -e);
      }
    }
    kOld = kNew;
    kNew = bEven != 0 ? aEven / bEven : kDblMax;
  }
  *k = kNew;
  return false;
}

double num::betaW(double y, double p, double q, double k, bool shifted) {
  if (!shifted) return k / p;
  return ((1 - y) + y * k * (p + q) / (p + 1)) / p;
}

int zbetacdf(double x, double a, double b, double* prob, double* dens) {
  if (a > kMaxShape || b > kMaxShape) return 1;
  if (!(x >= 0 && x <= 1 && a > 0 && b > 0)) {
    *prob = -1.0;
    *dens = 0.0;
    return rc::kDomain;
  }
  if (x == 0 || x == 1) {
    *prob = x;
    *dens = 0.0;
    return 0;
  }
  double logDens = (a - 1) * std::log(x) + (b - 1) * zlog1p(-x) - zlbeta(a, b);
  double pr;
  if (logDens < kExpUnder) {
    *dens = 0.0;
    pr = x > a / (a + b) ? 1.0 : 0.0;
  } else {
    *dens = zexp(logDens);
    bool swap = betaSwap(x, a, b);
    double y = swap ? 1 - x : x, p = swap ? b : a, q = swap ? a : b;
    bool shifted = p < 1;
    double k;
    if (betaFraction(y, shifted ? p + 1 : p, q, kFracTol, &k)) {
      double t = y * *dens * betaW(y, p, q, k, shifted);
      pr = swap ? 1 - t : t;
    } else if ((a > 5000 && b > 100) || (b > 5000 && a > 100)) {
      // Paulson's normal approximation in the caller's orientation.
      double c = std::cbrt(b * x / (a * (1 - x)));
      double z =
          ((1 - 1 / (9 * b)) * c - 1 + 1 / (9 * a)) / std::sqrt(1 / (9 * a) + c * c / (9 * b));
      pr = znormcdf(z);
    } else {
      *prob = -1.0;
      *dens = 0.0;
      return rc::kFailed;
    }
  }
  *prob = pr < 0 ? 0.0 : (pr > 1 ? 1.0 : pr);
  return 0;
}

int zbetalpdf(double x, double a, double b, double* out) {
  if (!(x >= 0 && x <= 1 && a > 0 && b > 0)) return 1;
  if (x == 0)
    *out = a == 1 ? std::log(b) : dotMissing();
  else if (x == 1)
    *out = b == 1 ? std::log(a) : dotMissing();
  else
    *out = (a - 1) * std::log(x) + (b - 1) * zlog1p(-x) - zlbeta(a, b);
  return 0;
}

namespace {

// ln(1 - e^l), the log-of-zero floor when e^l rounds to 1.
double logComplement(double l) {
  double e = zexp(l);
  return e == 1 ? kLogZero : zlog1p(-e);
}

}  // namespace

int zbetatails(BetaDistRec* rec) {
  double x = rec->x, a = rec->a, b = rec->b;
  if (!rec->momentsDone && a > 0 && b > 0) {
    double s = a + b;
    rec->mean = a / s;
    rec->sd = std::sqrt(a * b / (s * s * (s + 1)));
    rec->momentsDone = 1;
  }
  if (!(rec->tol >= 5.551115123125785e-16)) rec->tol = 5.551115123125785e-16;
  if (!(rec->smallest >= kSmallSqrt)) rec->smallest = kSmallSqrt;
  rec->savedX = x, rec->savedA = a, rec->savedB = b;
  if (a > kMaxShape || b > kMaxShape || !(x >= 0 && x <= 1 && a > 0 && b > 0)) return 1;
  if ((x == 0 && a != 1) || (x == 1 && b != 1)) return 1;
  if (x == 0 || x == 1) {  // the density is finite there; one tail is exactly zero
    (void)zbetalpdf(x, a, b, &rec->logDensity);  // x, a and b were checked above
    rec->logLower = x == 0 ? kLogZero : 0.0;
    rec->logUpper = x == 0 ? 0.0 : kLogZero;
    return 0;
  }
  rec->logDensity = (a - 1) * std::log(x) + (b - 1) * zlog1p(-x) - zlbeta(a, b);
  bool swap = betaSwap(x, a, b);
  double y = swap ? 1 - x : x, p = swap ? b : a, q = swap ? a : b;
  bool shifted = p < 1;
  rec->swapped = swap;
  rec->shifted = shifted;
  rec->complement = 1 - y;
  rec->shapeWork = shifted ? p : p - 1;
  rec->shapeSum = a + b;
  double k = 1.0;
  if (y > kDblMin) betaFraction(y, shifted ? p + 1 : p, q, rec->tol, &k);
  rec->lastConvergent = k;
  double logT = std::log(y) + std::log(betaW(y, p, q, k, shifted)) + rec->logDensity;
  if (!swap) {
    rec->logLower = logT;
    rec->logUpper = logComplement(logT);
  } else {
    rec->logUpper = logT;
    rec->logLower = logComplement(logT);
  }
  rec->x = rec->savedX, rec->a = rec->savedA, rec->b = rec->savedB;
  rec->shifted = rec->swapped = 0;
  return 0;
}

}  // namespace vsf
