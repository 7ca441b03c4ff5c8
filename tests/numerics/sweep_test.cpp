// Packed-matrix kernels: SWEEP against numpy's lstsq (tests/reference/numerics_fixtures.py),
// the pivot rule, quadratic forms, Cholesky rows and the rank-one update.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/strings.h"
#include "numerics/fixtures.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

std::vector<double> packedCrossproducts(const test::Csv& t, int p) {
  // [y X]'[y X] in packed lower form: column 0 the response, 1..p the design columns.
  int n = static_cast<int>(t.rows.size()), q = p + 1;
  std::vector<double> a(static_cast<size_t>(q) * (q + 1) / 2, 0.0);
  for (int r = 0; r < n; ++r) {
    std::vector<double> row(q);
    row[0] = t.number(r, "y");
    for (int j = 0; j < p; ++j) row[j + 1] = t.number(r, "x" + std::to_string(j));
    EXPECT_EQ(zdspr(row.data(), q, 1.0, a.data()), 1);
  }
  return a;
}

TEST(Sweep, DesignColumnsGiveLeastSquares) {
  test::Csv data = test::readCsv("numerics/lstsq.csv"),
            fit = test::readCsv("numerics/lstsq_fit.csv");
  const int p = 5;
  std::vector<double> a = packedCrossproducts(data, p), work(p + 1);
  std::string flags(p + 1, '0');
  for (int j = 1; j <= p; ++j) zsweep(a.data(), j, p + 1, flags.data(), work.data(), 1e-12);
  EXPECT_EQ(flags, "011111");
  for (int j = 0; j < p; ++j)
    EXPECT_NEAR(-a[zpkidx(j + 1, 0)], fit.number(j, 2), 1e-12) << j;  // stored (j,0) = -coefficient
  EXPECT_NEAR(a[0], fit.number(p, 2), 1e-11);                         // RSS
  // Sweeping the columns out again, in another order, restores the crossproducts.
  std::vector<double> original = packedCrossproducts(data, p);
  for (int j : {3, 1, 5, 2, 4}) zsweep(a.data(), j, p + 1, flags.data(), work.data(), 1e-12);
  EXPECT_EQ(flags, "000000");
  for (size_t i = 0; i < a.size(); ++i)
    EXPECT_NEAR(a[i], original[i], 1e-9 * std::fabs(original[i]) + 1e-9);
}

TEST(Sweep, PivotToleranceRule) {
  struct Case {
    double pivot, tol;
    bool swept;
  } cases[] = {
      {2.0, 2.0, false},                           // equal to a non-negative tolerance
      {2.0, 1.0, true},       {-3.0, 0.0, false},  // negative pivot, tolerance >= 0
      {-3.0, -1.0, true},     {0.5, -1.0, false},  // |d| must exceed -tol
      {0.0, 0.0, false},      {std::nan(""), 0.0, false},
      {INFINITY, 0.0, false}, {missingValue('.'), -1.0, false},
  };
  for (const Case& c : cases) {
    double a[3] = {c.pivot, 1.0, 4.0};  // [[d, 1], [1, 4]]
    double before[3];
    std::memcpy(before, a, sizeof a);
    double work[2] = {7, 7};
    char flags[2] = {' ', '0'};
    zsweep(a, 0, 2, flags, work, c.tol);
    EXPECT_EQ(flags[0] == '1', c.swept) << c.pivot << " " << c.tol;
    if (!c.swept) {
      EXPECT_EQ(std::memcmp(a, before, sizeof a), 0);
      EXPECT_EQ(work[0], 7);
    } else {
      EXPECT_DOUBLE_EQ(a[0], 1 / c.pivot);
      EXPECT_DOUBLE_EQ(a[2], 4 - 1 / c.pivot);
      EXPECT_EQ(work[0], 0);
      EXPECT_EQ(work[1], 1);
    }
  }
}

TEST(Sweep, OrderOneAndSignRule) {
  double a[1] = {4};
  char f[1] = {'0'};
  double w[1];
  zsweep(a, 0, 1, f, w, 0);
  EXPECT_EQ(a[0], 0.25);
  EXPECT_EQ(f[0], '1');
  zsweep(a, 0, 1, f, w, 0);
  EXPECT_EQ(a[0], 4);
  EXPECT_EQ(f[0], '0');
  // 3x3 SPD: sweeping 1 then 2 equals the inverse block on {1,2}.
  double m[6] = {5, 2, 4, 1, 1, 3};  // rows: [5], [2 4], [1 1 3]
  char fl[3] = {'0', '0', '0'};
  double wk[3];
  zsweep(m, 1, 3, fl, wk, 0);
  zsweep(m, 2, 3, fl, wk, 0);
  double det = 4 * 3 - 1 * 1;
  EXPECT_NEAR(m[2], 3 / det, 1e-15);
  EXPECT_NEAR(m[5], 4 / det, 1e-15);
  EXPECT_NEAR(m[4], -1 / det, 1e-15);
  // (0,0) = 5 - [2 1] inv [2 1]'
  EXPECT_NEAR(m[0], 5 - (2 * (3 * 2 - 1) + 1 * (-2 + 4 * 1)) / det, 1e-14);
}

TEST(PackedKernels, QuadraticFormCholeskyRowAndRankOne) {
  double a[6] = {2, 1, 3, 0, 1, 4};  // [[2,1,0],[1,3,1],[0,1,4]]
  double x[6] = {1, 2, 3, -1, 0, 2}, b[3] = {10, 10, 10}, work[3];
  zquadform(a, 3, x, 1, b, work, 0);
  EXPECT_DOUBLE_EQ(b[0], 2 + 12 + 36 + 2 * (2 + 6));  // x'Ax for x = (1,2,3)
  zquadform(a, 3, x, 1, b, work, 1);
  EXPECT_DOUBLE_EQ(b[0], 2 * 66);
  zquadform(a, 3, x, 2, b, work, 0);  // [[66, .], [x2'Ax1, x2'Ax2]]
  EXPECT_DOUBLE_EQ(b[0], 66);
  EXPECT_DOUBLE_EQ(b[1], -1 * 4 + 0 + 2 * 14);
  EXPECT_DOUBLE_EQ(b[2], 2 + 16 + 0);

  // Cholesky rows of [[4,2,2],[2,2,1],[2,1,1+1e-20]]: row 2 depends on rows 0 and 1.
  double l[6] = {4, 2, 2, 2, 1, 1};
  for (int k = 0; k < 3; ++k) zcholrow(k, l, 1e-12);
  EXPECT_DOUBLE_EQ(l[0], 2);
  EXPECT_DOUBLE_EQ(l[1], 1);
  EXPECT_DOUBLE_EQ(l[2], 1);
  EXPECT_DOUBLE_EQ(l[3], 1);
  EXPECT_DOUBLE_EQ(l[4], 0);
  EXPECT_DOUBLE_EQ(l[5], 0);  // remainder at or below tol
  double l2[10] = {4, 2, 2, 2, 1, 1, 1, 1, 1, 5};
  for (int k = 0; k < 4; ++k) zcholrow(k, l2, 1e-12);
  EXPECT_EQ(l2[8], 0);  // a later row gets 0 in the dependent column

  double p[3] = {1, 1, 1}, v[2] = {2, 3};
  double m = missingValue('.'), vm[2] = {1, m};
  struct Case {
    const double* x;
    double a;
    int rc;
    double want[3];
  } cases[] = {
      {v, 0.0, 0, {1, 1, 1}},
      {vm, 1.0, 0, {1, 1, 1}},
      {v, m, 0, {1, 1, 1}},
      {v, 2.0, 1, {9, 13, 19}},
  };
  for (const Case& c : cases) {
    double q[3] = {1, 1, 1};
    EXPECT_EQ(zdspr(c.x, 2, c.a, q), c.rc);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(q[i], c.want[i]);
  }
  double zero[2] = {0, 0};
  EXPECT_EQ(zdspr(zero, 2, 1.0, p), 1);
  EXPECT_EQ(p[0], 1);
}

}  // namespace
}  // namespace vsf
