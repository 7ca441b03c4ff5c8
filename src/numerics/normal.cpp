// The standard normal distribution: W. J. Cody's erf and erfc, both log tails with the Mills
// ratio in the far tail, and the quantile.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/normal_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

constexpr double kA[] = {3.16112374387056560e00, 1.13864154151050156e02, 3.77485237685302021e02,
                         3.20937758913846947e03, 1.85777706184603153e-1};
constexpr double kB[] = {2.36012909523441209e01, 2.44024637934444173e02, 1.28261652607737228e03,
                         2.84423683343917062e03};
constexpr double kC[] = {5.64188496988670089e-1, 8.88314979438837594e00, 6.61191906371416295e01,
                         2.98635138197400131e02, 8.81952221241769090e02, 1.71204761263407058e03,
                         2.05107837782607147e03, 1.23033935479799725e03, 2.15311535474403846e-8};
constexpr double kD[] = {1.57449261107098347e01, 1.17693950891312499e02, 5.37181101862009858e02,
                         1.62138957456669019e03, 3.29079923573345963e03, 4.36261909014324716e03,
                         3.43936767414372164e03, 1.23033935480374942e03};
constexpr double kP[] = {3.05326634961232344e-1, 3.60344899949804439e-1, 1.25781726111229246e-1,
                         1.60837851487422766e-2, 6.58749161529837803e-4, 1.63153871373020978e-2};
constexpr double kQ[] = {2.56852019228982242e00, 1.87295284992346725e00, 5.27905102951428412e-1,
                         6.05183413124413191e-2, 2.33520497626869185e-3};

// erf(y) for |y| <= 0.46875.
double erfSmall(double y) {
  double ysq = std::fabs(y) > 4.2e-16 ? y * y : 0.0;
  double num = kA[4] * ysq, den = ysq;
  for (int i = 0; i < 3; ++i) {
    num = (num + kA[i]) * ysq;
    den = (den + kB[i]) * ysq;
  }
  return y * (num + kA[3]) / (den + kB[3]);
}

// e^(-y^2) R = e^(-x^2/2) R with x^2 split so that the large part is exact (Cody). Split in x,
// not in y: y = x / sqrt 2 carries a rounding that y^2 multiplies (5e-14 relative at x = 30).
double gaussFactor(double x, double r) {
  double xs = std::trunc(x * 16) / 16;
  double del = (x - xs) * (x + xs) / 2;
  return zexp(-(xs * xs / 2)) * zexp(-del) * r;
}

}  // namespace

double num::erfcPositive(double y, double x) {
  if (y <= 0.46875) return 1 - erfSmall(y);
  if (y <= 4) {
    double num = kC[8] * y, den = y;
    for (int i = 0; i < 7; ++i) {
      num = (num + kC[i]) * y;
      den = (den + kD[i]) * y;
    }
    return gaussFactor(x, (num + kC[7]) / (den + kD[7]));
  }
  if (y > 1003.7843389117924 || -y * y < kExpUnder) return 0.0;
  double ysq = 1 / (y * y);
  double num = kP[5] * ysq, den = ysq;
  for (int i = 0; i < 4; ++i) {
    num = (num + kP[i]) * ysq;
    den = (den + kQ[i]) * ysq;
  }
  double r = ysq * (num + kP[4]) / (den + kQ[4]);
  r = (0.5641895835477563 - r) / y;
  return gaussFactor(x, r);
}

double znormcdf(double x) {
  if (isNan(x)) return x;
  double y = x * 0.7071067811865476, ay = std::fabs(y);
  if (x > 0) {
    double erf = ay <= 0.46875 ? erfSmall(y) : 1 - erfcPositive(ay, x);
    return zldexp(1 + erf, -1);
  }
  return zldexp(erfcPositive(ay, -x), -1);
}

int zlnormcdf(double x, double* logLower, double* logUpper, double* logDensity) {
  *logDensity = -x * x / 2 - kLnSqrt2Pi;
  double ax = std::fabs(x), t, small;
  if (ax >= 5) {
    double r;
    if (zmills(ax, &r) != 0) return 1;
    t = std::log(r) + *logDensity;
    // The small tail itself for the other one: e^t would turn the rounding of x^2/2 inside t
    // into a relative error of x^2/2 * 1.1e-16 (4.4e-14 at x = 30).
    small = gaussFactor(ax, r) * 0.3989422804014327;
  } else {
    small = zldexp(erfcPositive(ax * 0.7071067811865476, ax), -1);
    t = std::log(small);
  }
  double other = zlog1p(-small);
  if (x <= 0) {
    *logLower = t;
    *logUpper = other;
  } else {
    *logUpper = t;
    *logLower = other;
  }
  return 0;
}

namespace {

double horner(const double* c, int n, double t) {
  double r = c[0];
  for (int i = 1; i < n; ++i) r = r * t + c[i];
  return r;
}

constexpr double kN[] = {0.00023850990628812184, 0.007748014532123519, 0.09433047102597236,
                         0.5906175347671243,     2.0524292014826053,   3.926527220876258,
                         3.827787912267809,      1.4756646266356057};
constexpr double kDn[] = {0.00023846672191006805, 0.007472090148248392, 0.08675117268832777,
                          0.5155497927835685,     1.6853868285749263,   3.0193046324086072,
                          2.757985744718407};
constexpr double kNt[] = {2.2366406817573622e-7, 1.4756630668977935,    2.9349133839409465,
                          2.302486886454419,     0.9208235553699621,    0.1971184884114817,
                          0.021322238814693088,  0.0009933095513250212, 1.3896718225467155e-5};
constexpr double kDt[] = {1,
                          2.152916059924272,
                          1.8195065884540687,
                          0.7785719242838022,
                          0.1775558927085442,
                          0.020255719894916695,
                          0.000977052221781334};

}  // namespace

double znormq(double p) {
  if (!(p >= 0 && p <= 1)) return dotMissing();  // no quantile outside [0, 1]
  if (p == 0) return -37.64030867301702;
  if (p == 1) return 7.941345326170997;
  if (p >= 1e-16) {
    double q = p > 0.5 ? 1 - p : p;
    double t = std::sqrt(-2 * std::log(q)) - 1.1774100225154747;
    double m;
    if (q > 0.01) {
      m = t * horner(kN, 8, t) / (1 + t * horner(kDn, 7, t));
    } else {
      double u = 1 / t;
      m = t * horner(kNt, 9, u) / (u * horner(kDt, 7, u) + 1.389640654034189e-5);
    }
    return p > 0.5 ? m : -m;
  }
  // Newton's method on the log scale for the far lower tail.
  double l = std::log(p), z = -std::sqrt(-2 * l), e = std::fabs(l) * 1e-12;
  for (int i = 1; i <= 30; ++i) {
    double lo, up, dens;
    if (zlnormcdf(z, &lo, &up, &dens) != 0 || i == 30) break;
    double d = lo - l;
    if (std::fabs(d) < e) return z;
    z = z - zexp(lo - dens) * d;
  }
  return -37.51776241585513;
}

}  // namespace vsf
