// Elementary functions, zexp and zpow: edge cases and the faults they raise.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>

#include "base/strings.h"
#include "frame/host/status.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

uint32_t faultOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const NumericFault& e) {
    return e.code();
  }
  return 0;
}

TEST(Elementary, SentinelsAndExactValues) {
  EXPECT_EQ(zlgamma(1), 0);
  EXPECT_EQ(zlgamma(2), 0);
  EXPECT_DOUBLE_EQ(zlgamma(0.5), 0.5723649429247001);
  EXPECT_EQ(zlgamma(0), -99);
  EXPECT_EQ(zlbeta(-1, 2), 99);
  EXPECT_NEAR(zlbeta(20, 0.5), std::lgamma(20) + std::lgamma(0.5) - std::lgamma(20.5), 1e-14);
  EXPECT_NEAR(zlog1p(0.03125), std::log1p(0.03125), 1e-17);
  EXPECT_EQ(zlog1p(0.0313), std::log(1 + 0.0313));
  EXPECT_NEAR(zexpm1(1e-5), std::expm1(1e-5), 1e-21);
  int e;
  EXPECT_EQ(zfrexp(8, &e), 0.5);
  EXPECT_EQ(e, 4);
  EXPECT_EQ(zfrexp(0, &e), 0);
  EXPECT_EQ(e, 0);
  double r;
  EXPECT_EQ(zmills(5, &r), 0);
  EXPECT_NEAR(r, 0.19281, 5e-6);
  EXPECT_EQ(zmills(-20, &r), 0);
  EXPECT_NEAR(r / std::exp(200 + 0.9189385332046728), 1, 1e-13);  // 1/phi(-20), no factor
  EXPECT_EQ(zpkidx(2, 1), 4);
  EXPECT_EQ(zpkidx(1, 2), 4);
  EXPECT_EQ(zpkidx(0, 0), 0);
}

TEST(Elementary, LdexpSignAndSubnormals) {
  struct Case {
    double x;
    int e;
    double want;
  } cases[] = {
      {1, -1075, 0.0},
      {1, 1024, INFINITY},
      {-1, 1024, -INFINITY},
      {1, -1074, 4.9406564584124654e-324},
      {3, -1075, 9.8813129168249309e-324},  // 1.5 ulp rounds to even
      {1.5, -1073, 1.4821969375237396e-323},
      {-0.75, -1070, -0.75 * std::ldexp(1, -1070)},
      {std::ldexp(1, -1074), 1074, 1.0},
      {std::ldexp(3, -1074), 1, std::ldexp(3, -1073)},
      {0.0, 5000, 0.0},
      {1, 0, 1},
  };
  for (const Case& c : cases) {
    double got = zldexp(c.x, c.e);
    EXPECT_EQ(got, c.want) << c.x << " " << c.e;
    EXPECT_EQ(std::signbit(got), std::signbit(c.want)) << c.x << " " << c.e;
  }
  double m = missingValue('.');
  EXPECT_EQ(bitsOf(zldexp(m, 3)), bitsOf(m));
}

TEST(ExpPow, ValuesAndFaults) {
  EXPECT_EQ(zexp(0), 1);
  EXPECT_EQ(zexp(1e-25), 1);
  EXPECT_EQ(zexp(-709), 0);
  EXPECT_TRUE(std::isfinite(zexp(709)));
  EXPECT_NEAR(zexp(1), M_E, 1e-15);
  EXPECT_EQ(faultOf([] { zexp(709.8); }), fault::kOverflow);
  EXPECT_EQ(faultOf([] { zexp(INFINITY); }), fault::kOverflow);
  EXPECT_EQ(zexp(-INFINITY), 0);

  EXPECT_EQ(zpow(0, -2), 0);
  EXPECT_EQ(zpow(0, 0), 1);
  EXPECT_EQ(zpow(-2, 3), -8);
  EXPECT_EQ(zpow(2, -3), 0.125);
  EXPECT_EQ(zpow(4, 0.5), 2);
  EXPECT_EQ(zpow(INFINITY, 0.5), INFINITY);
  EXPECT_EQ(zpow(INFINITY, -0.5), 0);
  EXPECT_EQ(zpow(1, 0.3), 1);
  EXPECT_EQ(zpow(10, 400), INFINITY);  // the whole-exponent path has no overflow test
  EXPECT_EQ(bitsOf(zpow(10, 400.5)), bitsOf(missingValue('.')));
  EXPECT_EQ(zpow(10, -400.5), 0);
  EXPECT_EQ(zpow(0.5, 3e9), 0);
  EXPECT_EQ(faultOf([] { zpow(-2, 0.5); }), fault::kDomain);
  EXPECT_EQ(faultOf([] { zpow(-2, 3e9); }), fault::kDomain);
  EXPECT_EQ(faultOf([] { zpow(10, 3e9); }), fault::kOverflow);
  EXPECT_EQ(faultOf([] { zpow(2, INFINITY); }), fault::kOverflow);
}

TEST(ExpPow, MissingInMissingOut) {
  const double dot = missingValue('.'), special = missingValue('A');
  EXPECT_EQ(bitsOf(zexp(dot)), bitsOf(dot));
  EXPECT_EQ(bitsOf(zexp(special)), bitsOf(special));
  EXPECT_EQ(bitsOf(zpow(dot, 2)), bitsOf(dot));
  EXPECT_EQ(bitsOf(zpow(2, special)), bitsOf(special));
  EXPECT_EQ(bitsOf(zpow(-3, dot)), bitsOf(dot));
  EXPECT_TRUE(std::isnan(zpow(1, INFINITY)));  // 0 times infinity inside: not a number
}

}  // namespace
}  // namespace vsf
