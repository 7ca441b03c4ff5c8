// Return codes and special values of the distribution routines at the edges of their domains.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "base/strings.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

TEST(BetaEdges, CodesAndSpecialPoints) {
  double p = 7, d = 7;
  EXPECT_EQ(zbetacdf(0.5, 3e9, 2, &p, &d), 1);
  EXPECT_EQ(p, 7);  // untouched
  EXPECT_EQ(zbetacdf(0.5, 0, 2, &p, &d), -1);
  EXPECT_EQ(p, -1);
  EXPECT_EQ(d, 0);
  ASSERT_EQ(zbetacdf(0.5, 2, 2, &p, &d), 0);
  EXPECT_NEAR(p, 0.5, 1e-15);
  EXPECT_NEAR(d, 1.5, 1e-14);
  ASSERT_EQ(zbetacdf(0, 2, 2, &p, &d), 0);
  EXPECT_EQ(p, 0);
  ASSERT_EQ(zbetacdf(1, 2, 2, &p, &d), 0);
  EXPECT_EQ(p, 1);
  double swapped, direct;
  ASSERT_EQ(zbetacdf(0.9, 2, 2, &swapped, &d), 0);
  ASSERT_EQ(zbetacdf(0.1, 2, 2, &direct, &d), 0);
  EXPECT_NEAR(swapped, 0.972, 1e-15);
  EXPECT_NEAR(swapped, 1 - direct, 1e-15);
  // Far tails: the log density is below -708.4, so exactly 0 or 1 by the side of the mean.
  ASSERT_EQ(zbetacdf(0.01, 500, 500, &p, &d), 0);
  EXPECT_EQ(p, 0);
  ASSERT_EQ(zbetacdf(0.99, 500, 500, &p, &d), 0);
  EXPECT_EQ(p, 1);
  double out;
  EXPECT_EQ(zbetalpdf(0, 2, 3, &out), 0);
  EXPECT_EQ(bitsOf(out), bitsOf(missingValue('.')));
  EXPECT_EQ(zbetalpdf(0, 1, 3, &out), 0);
  EXPECT_DOUBLE_EQ(out, std::log(3.0));
  EXPECT_EQ(zbetalpdf(1.5, 1, 3, &out), 1);
  BetaDistRec r;
  r.request = 4, r.a = 1, r.b = 1, r.p = 0.3;
  ASSERT_EQ(zbetainv(&r), 0);
  EXPECT_NEAR(r.x, 0.3, 1e-9);
  BetaDistRec s;
  s.request = 4, s.a = 2, s.b = 3, s.p = 0.7;
  ASSERT_EQ(zbetainv(&s), 0);
  EXPECT_EQ(s.oriented, 1);
  EXPECT_DOUBLE_EQ(s.alpha, 1 - 0.7);
  double lo;
  ASSERT_EQ(zbetacdf(s.x, 2, 3, &lo, &d), 0);
  EXPECT_NEAR(lo, 0.7, 1e-9);
  BetaDistRec e;
  e.request = 8, e.a = 2, e.b = 3, e.q = 0;
  ASSERT_EQ(zbetainv(&e), 0);
  EXPECT_EQ(e.x, 1);
}

TEST(GammaEdges, CodesAndSpecialPoints) {
  for (uint32_t bits : {0u, 16u}) {
    GammaDistRec g;
    g.request = bits, g.x = 1, g.a = 1;
    EXPECT_EQ(zgammadist(&g), 1);
  }
  GammaDistRec z;
  z.request = 1, z.x = 0, z.a = 2;
  ASSERT_EQ(zgammadist(&z), 0);
  EXPECT_EQ(z.logLower, -DBL_MAX);
  EXPECT_EQ(z.logUpper, 0);
  GammaDistRec far;
  far.request = 1, far.x = 250, far.a = 2;  // the asymptotic expansion
  ASSERT_EQ(zgammadist(&far), 0);
  EXPECT_NEAR(far.logUpper, std::log(251.0) - 250, 1e-12);
  GammaDistRec q;
  q.request = 4, q.p = 0.5, q.a = 1;
  ASSERT_EQ(zgammadist(&q), 0);
  EXPECT_NEAR(q.x, std::log(2.0), 1.053671212772351e-08 * std::log(2.0));
  GammaDistRec q0;
  q0.request = 4, q0.p = 0, q0.a = 1;
  EXPECT_EQ(zgammadist(&q0), 1);
  double out;
  EXPECT_EQ(zgammalpdf(0, 2, &out), 0);
  EXPECT_EQ(bitsOf(out), bitsOf(missingValue('.')));
  EXPECT_EQ(zgammalpdf(-1, 2, &out), 1);
}

TEST(GammaEdges, QuadratureMatchesSeries) {
  // The quadrature gives the series' tails and leaves the caller's shape in the record, also
  // for x above the mode (the integrand falls from the lower limit on) and at the default
  // tolerance.
  struct Case {
    double a, x, tol;
  } cases[] = {{0.7, 3, 1e-14}, {1.5, 0.5, 0}, {5, 20, 0}, {0.7, 3, 0}, {1, 1, 0}};
  for (const Case& c : cases) {
    GammaDistRec a, b;
    a.x = b.x = c.x, a.a = b.a = c.a, a.tol = b.tol = std::fmax(c.tol, 8.881784197001256e-16);
    ASSERT_EQ(zgammainc(&a), 0);
    ASSERT_EQ(zgammaser(&b), 0) << c.a << " " << c.x;
    EXPECT_NEAR(a.logUpper, b.logUpper, 1e-13) << c.a << " " << c.x;
    EXPECT_NEAR(a.logLower, b.logLower, 1e-13) << c.a << " " << c.x;
    EXPECT_NEAR(a.logDensity, b.logDensity, 1e-13) << c.a << " " << c.x;
    EXPECT_EQ(b.a, c.a);
    EXPECT_EQ(b.quad, nullptr);
  }
  GammaDistRec bad;
  bad.x = 0, bad.a = 2, bad.tol = 1e-14;
  EXPECT_EQ(zgammaser(&bad), 1);
}

int expNeg(double t, void*, double* v) {
  *v = std::exp(-t);
  return 0;
}

TEST(Quadrature, ExponentialAndFailures) {
  TrapezoidRec r;
  r.tol = 1e-12, r.kind = 2, r.lower = 0, r.start = 1, r.h = 0.5, r.maxPasses = 30;
  r.integrand = expNeg;
  double v;
  ASSERT_EQ(zdistkern(&r, &v), 0);
  EXPECT_NEAR(v, 1, 1e-10);
  TrapezoidRec none = r;
  none.maxPasses = 0;
  EXPECT_EQ(zdistkern(&none, &v), 1);  // one pass more than allowed
  TrapezoidRec zero = r;
  zero.integrand = [](double, void*, double* out) { return *out = 0, 0; };
  EXPECT_EQ(zdistkern(&zero, &v), 1);  // a centre term of 0 fails at once
}

// e^(40 - t) with its own scale exponent, as the quadrature's callers keep it.
int scaledExp(double t, void* context, double* v) {
  auto* r = static_cast<TrapezoidRec*>(context);
  double l = 40 - t;
  if (l > r->fScale) r->fScale = static_cast<int32_t>(l);
  *v = std::exp(l - r->fScale);
  return 0;
}

TEST(Quadrature, ScaleRisingDuringTheSweeps) {
  // Started far to the right, the downward sweep raises the scale at almost every term; a term
  // rescaled twice is undervalued and the passes then never agree.
  for (double start : {1.0, 60.0}) {
    TrapezoidRec r;
    r.tol = 1e-14, r.kind = 2, r.lower = 0, r.start = start, r.h = 0.5, r.maxPasses = 30;
    r.mode = 1, r.scaling = 1, r.base = 2.718281828459045, r.scaledConvergence = 1;
    r.scale = r.fScale = -2147483647;
    r.integrand = scaledExp, r.context = &r;
    double v;
    ASSERT_EQ(zdistkern(&r, &v), 0) << start;
    EXPECT_NEAR(std::log(v) + r.scale, 40, 1e-12) << start;
  }
}

TEST(NormalAndFEdges, SpecialValues) {
  EXPECT_EQ(znormcdf(0), 0.5);
  EXPECT_EQ(znormcdf(-40), 0);
  EXPECT_EQ(znormcdf(40), 1);
  EXPECT_EQ(znormq(0), -37.64030867301702);
  EXPECT_EQ(znormq(1), 7.941345326170997);
  EXPECT_NEAR(znormq(0.5), 0, 1e-15);
  EXPECT_NEAR(znormq(1e-20), -9.262340089798408, 1e-9);
  EXPECT_NEAR(znormq(0.975), 1.959963984540054, 1e-9);
  double lo, up, dens;
  ASSERT_EQ(zlnormcdf(-10, &lo, &up, &dens), 0);
  EXPECT_NEAR(lo, -53.23128515051247, 1e-12);
  EXPECT_EQ(zprobf(0, 3, 10), 1);
  EXPECT_EQ(zprobf(-1, 3, 10), -1);
  lo = up = 5;
  EXPECT_EQ(zfdistnc(1, -3, 10, 0, &lo, &up), 1234567);
  EXPECT_EQ(lo, 5);
  ASSERT_EQ(zfdistnc(0, 3, 10, 0, &lo, &up), 0);
  EXPECT_EQ(lo, -1.3407807929943e154);
  EXPECT_EQ(up, 0);
  // F(1, df2) against the two-sided t test: P(F > t^2) = 2 (1 - T(t)); df2 = 2: closed form.
  ASSERT_EQ(zfdistnc(4, 1, 2, 0, &lo, &up), 0);
  EXPECT_NEAR(std::exp(up), 1 - 2 / std::sqrt(6.0), 1e-9);
  // Huge denominator degrees of freedom: the chi-square limit of x df1.
  ASSERT_EQ(zfdistnc(2, 3, 5e9, 0, &lo, &up), 0);
  ChiSqDistRec c;
  c.request = 1, c.x = 6, c.df = 3;
  ASSERT_EQ(zchisqnc(&c), 0);
  EXPECT_NEAR(up, c.logUpper, 1e-7);
}

TEST(BesselEdges, SpecialValuesAndStatus) {
  struct Case {
    double x, nu;
    int kind;
    double result;
    int status;
  } cases[] = {
      {0, 0, 0, 1, 0},
      {0, 2, 0, 0, 0},
      {0, 0, 2, 0, 0},
      {0, 2, 2, -1.3407807929943e+154, 0},
      {1, 0, 0, 1.2660658777520084, 0},
      {20, 0, 1, 0.0897803118848, 0},
      {-1, 0, 0, -DBL_MAX, 1},
  };
  for (const Case& c : cases) {
    BesselIRec r;
    r.x = c.x, r.nu = c.nu, r.kind = c.kind;
    EXPECT_EQ(zbesseli(&r), c.status) << c.x << " " << c.nu;
    EXPECT_NEAR(r.result, c.result, 1e-12 * std::fabs(c.result) + 1e-13) << c.x << " " << c.nu;
  }
  BesselIRec big;
  big.x = 800, big.nu = 0, big.kind = 0;
  EXPECT_EQ(zbesseli(&big), 1);  // I_0(800) overflows: the logarithm is kept
  EXPECT_NEAR(big.result, 800 - 0.5 * std::log(2 * M_PI * 800), 1e-3);
}

}  // namespace
}  // namespace vsf
