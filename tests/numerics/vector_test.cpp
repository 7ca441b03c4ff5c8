// Vector kernels and Gram-Schmidt QR (numpy's QR in tests/reference/numerics_fixtures.py).
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <vector>

#include "frame/host/status.h"
#include "numerics/fixtures.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

uint32_t faultOf(std::vector<double> z, std::vector<double> y, std::vector<double> x, double a,
                 bool inPlace) {
  try {
    if (inPlace)
      zdaxpy(y.data(), y.data(), x.data(), static_cast<int>(y.size()), a);
    else
      zdaxpy(z.data(), y.data(), x.data(), static_cast<int>(y.size()), a);
  } catch (const NumericFault& f) {
    return f.code();
  }
  return 0;
}

TEST(Daxpy, FaultsOnEveryPath) {
  const double big = 1e308, inf = INFINITY;
  struct Case {
    std::vector<double> y, x;
    double a;
    uint32_t code;
  } cases[] = {
      {{1, 2, 3, 4}, {1, 1, 1, 1}, 2, 0},
      {{big, 0, 0, 0}, {1, 0, 0, 0}, big, fault::kOverflow},      // sum overflows
      {{0, 0, 0, 0}, {1e200, 0, 0, 0}, 1e200, fault::kOverflow},  // product overflows
      {{inf, 0, 0, 0}, {-1, 0, 0, 0}, inf, fault::kInvalid},      // inf - inf
      {{inf, 1, 1, 1}, {1, 1, 1, 1}, 1, 0},                       // infinity passes quietly
      {{big, 1}, {1, 0}, big, fault::kOverflow},                  // inline length 2
      {{inf, 1e308, 0}, {-inf, 1, 0}, 1e308, fault::kOverflow},   // overflow wins over invalid
  };
  for (const Case& c : cases) {
    std::vector<double> z(c.y.size());
    EXPECT_EQ(faultOf(z, c.y, c.x, c.a, true), c.code) << c.y[0] << " " << c.a;
    EXPECT_EQ(faultOf(z, c.y, c.x, c.a, false), c.code) << c.y[0] << " " << c.a;
  }
}

TEST(Daxpy, CopiesOrSkipsForZeroAndKeepsRounding) {
  std::vector<double> y = {1, 2, 3}, x = {NAN, NAN, NAN}, z(3, 9);
  zdaxpy(z.data(), y.data(), x.data(), 3, 0.0);
  EXPECT_EQ(z, y);  // x is not read
  zdaxpy(y.data(), y.data(), x.data(), 3, 0.0);
  EXPECT_EQ(y, (std::vector<double>{1, 2, 3}));
  // The library path runs round-to-nearest and leaves the caller's mode in place.
  std::vector<double> u(5, 1.0), v(5, 1e-17);
  ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
  zdaxpy(u.data(), u.data(), v.data(), 5, 1.0);
  int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  EXPECT_EQ(mode, FE_UPWARD);
  EXPECT_EQ(u[0], 1.0);  // upward rounding would have given the next double
  std::vector<double> w = {1, 2, 3, 4, 5};
  zdaxpy(w.data(), w.data(), std::vector<double>{1, 1, 1, 1, 1}.data(), 5, 0.5);
  EXPECT_EQ(w, (std::vector<double>{1.5, 2.5, 3.5, 4.5, 5.5}));
}

TEST(VectorKernels, SumScaleMaxAndNorm) {
  std::vector<double> x = {3, -4, 1e-300, 2};
  EXPECT_EQ(zdsum(x.data(), 0), 0);
  EXPECT_EQ(zdsum(x.data(), 4), 1 + 1e-300);
  std::vector<double> out(4);
  zdscal(out.data(), x.data(), 4, -2);
  EXPECT_EQ(out[1], 8);
  EXPECT_EQ(zdamaxinc(x.data(), 2, 2), 3);
  EXPECT_EQ(zdamaxinc(x.data(), 1, 0), 0);
  double v34[2] = {3, 4}, huge[3] = {1e300, 1e300, 0}, zero[3] = {0, 0, 0};
  EXPECT_EQ(zdnrm2(2, 1, v34), 5);
  EXPECT_NEAR(zdnrm2(3, 1, huge), std::sqrt(2.0) * 1e300, 1e285);
  EXPECT_EQ(zdnrm2(3, 1, zero), 0);
  EXPECT_EQ(zdnrm2(2, 2, x.data()), 3.0);  // strided: 3 and 1e-300, which is negligible
}

TEST(GramSchmidt, AgreesWithNumpyQr) {
  test::Csv t = test::readCsv("numerics/qr.csv");
  const int n = 7, p = 4;
  std::vector<double> x(n * p), qWant(n * p), rWant(p * p);
  for (size_t i = 0; i < t.rows.size(); ++i) {
    int r = static_cast<int>(t.number(i, 1)), c = static_cast<int>(t.number(i, 2));
    double v = t.number(i, 3);
    if (i < static_cast<size_t>(n * p))
      x[r * p + c] = v;
    else if (i < static_cast<size_t>(2 * n * p))
      qWant[r * p + c] = v;
    else
      rWant[r * p + c] = v;
  }
  std::vector<double> q(n * p), r(p * (p + 1) / 2);
  EXPECT_EQ(zgsqr(n, p, x.data(), q.data(), r.data()), 0);
  for (int i = 0; i < n * p; ++i) EXPECT_NEAR(q[i], qWant[i], 1e-13);
  for (int k = 0; k < p; ++k)
    for (int j = 0; j <= k; ++j) EXPECT_NEAR(r[zpkidx(k, j)], rWant[j * p + k], 1e-13);
}

TEST(GramSchmidt, DependentColumns) {
  // Columns: a, a again, zeros, b.
  const int n = 3, p = 4;
  double x[n * p] = {1, 1, 0, 2, 2, 2, 0, 1, 3, 3, 0, 0};
  double q[n * p], r[10];
  EXPECT_EQ(zgsqr(n, p, x, q, r), 2);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(q[i * p + 1], 0);
    EXPECT_EQ(q[i * p + 2], 0);
  }
  EXPECT_EQ(r[zpkidx(1, 1)], 0);
  EXPECT_NEAR(r[zpkidx(1, 0)], std::sqrt(14.0), 1e-14);  // column 1 = column 0
  EXPECT_GT(r[zpkidx(3, 3)], 0);
  EXPECT_EQ(zgsqr(n, 0, x, q, r), 0);
  EXPECT_EQ(zgsqr(0, 2, x, q, r), 2);
}

}  // namespace
}  // namespace vsf
