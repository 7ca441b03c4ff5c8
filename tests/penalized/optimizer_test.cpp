// Group LASSO over effects of several columns, stored dense and sparse, with weights,
// frequencies and validation rows: at every step the solution meets the group optimality
// conditions on the training rows' standardized columns, worked out here from the rows
// themselves; the validation ASE is that of the reported estimates. HXGLASSO$'s single fit
// meets them at its ratio, as the group path's step there.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "common/group_support.h"
#include "penalized/penalized.h"

namespace vsf {
namespace {

struct Standardized {
  std::vector<std::vector<double>> x;  // training rows, columns centred and scaled
  std::vector<double> y, a, sd;
};

Standardized standardize(const test::CaseData& d) {
  Standardized z;
  const size_t p = d.x[0].size();
  std::vector<double> sum(p, 0), squares(p, 0);
  double W = 0, n = 0, sy = 0;
  for (size_t i = 0; i < d.rows(); ++i) {
    if (d.role[i] != 1) continue;
    const double a = d.w[i] * d.f[i];
    W += a, n += d.f[i], sy += a * d.y[i];
    for (size_t j = 0; j < p; ++j) sum[j] += a * d.x[i][j], squares[j] += a * d.x[i][j] * d.x[i][j];
  }
  z.sd.resize(p);
  for (size_t j = 0; j < p; ++j) z.sd[j] = std::sqrt((squares[j] - sum[j] * sum[j] / W) / (n - 1));
  for (size_t i = 0; i < d.rows(); ++i) {
    if (d.role[i] != 1) continue;
    std::vector<double> row(p, 0);
    for (size_t j = 1; j < p; ++j) row[j] = (d.x[i][j] - sum[j] / W) / z.sd[j];
    z.x.push_back(row);
    z.y.push_back(d.y[i] - sy / W);
    z.a.push_back(d.w[i] * d.f[i]);
  }
  return z;
}

// The group optimality conditions of coefficients at penalty lambda: a group at 0 has a
// gradient of norm at most lambda sqrt(p(g)); a group away from 0 has its gradient balanced by
// the penalty's. The coefficients are the estimates on the training rows' standardized columns.
size_t expectGroupOptimality(const test::CaseData& d, const std::vector<int>& columns,
                             const SelectionState& s, double lambda) {
  const Standardized z = standardize(d);
  const size_t p = z.sd.size();
  std::vector<double> b(p, 0), grad(p, 0);
  for (size_t j = 1; j < p; ++j) b[j] = s.sweep.estimates[j] * z.sd[j];
  for (size_t i = 0; i < z.y.size(); ++i) {
    double e = z.y[i];
    for (size_t j = 1; j < p; ++j) e -= z.x[i][j] * b[j];
    for (size_t j = 1; j < p; ++j) grad[j] -= z.a[i] * z.x[i][j] * e;
  }
  size_t first = 1, active = 0;
  for (size_t e = 1; e < columns.size(); first += columns[e], ++e) {
    const double root = std::sqrt(double(columns[e]));
    double norm = 0, gnorm = 0;
    for (int c = 0; c < columns[e]; ++c) norm += b[first + c] * b[first + c];
    norm = std::sqrt(norm);
    if (norm == 0) {
      for (int c = 0; c < columns[e]; ++c) gnorm += grad[first + c] * grad[first + c];
      EXPECT_LE(std::sqrt(gnorm), lambda * root * (1 + 1e-6)) << "effect " << e;
      continue;
    }
    active += 1;
    for (int c = 0; c < columns[e]; ++c) {
      const double r = grad[first + c] + lambda * root * b[first + c] / norm;
      gnorm += r * r;
    }
    EXPECT_LE(std::sqrt(gnorm), 1e-6 * lambda * root) << "effect " << e;
  }
  return active;
}

// Settings of an optimizer method's fit of the synthetic rows (weights, frequencies, roles),
// solved to TOL=1e-13.
test::GroupSettings optimizerSettings(MethodCode method, std::vector<bool> sparse) {
  test::GroupSettings g;
  g.weight = g.freq = g.roles = true;
  g.method = method;
  g.select = kCritNone;
  g.sparse = std::move(sparse);
  return g;
}
void solvedTightly(SelectionOptions& o) {
  o.optimizerMethod = 1, o.stop = kCritNone, o.tolerance = 1e-13;
}

TEST(GroupLasso, EveryStepMeetsTheGroupOptimalityConditions) {
  const std::vector<int> columns = {1, 3, 1, 2, 4, 1};
  const test::CaseData d = test::syntheticCase(columns, 400, 7);
  for (bool sparse : {false, true}) {
    SCOPED_TRACE(sparse ? "CLASS effects stored sparse" : "dense");
    test::Group group(
        d, optimizerSettings(kMethodGroupLasso, {false, sparse, false, sparse, sparse, false}));
    SelectionOptions& o = group.options();
    solvedTightly(o);
    o.maxSteps = 6, o.rho = 0.7, o.validAsePerStep = 1;
    ASSERT_EQ(fitModel(&group.s(), nullptr), 0);
    const SelectionState& s = group.s();
    ASSERT_EQ(s.run.status, 0);
    ASSERT_GT(s.steps.stepCount, 3);
    // The final model's coefficients meet the conditions at the last step's penalty.
    const double lambda = s.steps.lambdaRatio[s.steps.stepCount - 1] * s.path.lambdaMax;
    EXPECT_GT(expectGroupOptimality(d, columns, s, lambda), 0u);
    // The validation rows' ASE of the reported estimates.
    const size_t p = d.x[0].size();
    double sse = 0, weight = 0;
    for (size_t i = 0; i < d.rows(); ++i) {
      if (d.role[i] != 2) continue;
      double fit = s.sweep.estimates[0];
      for (size_t j = 1; j < p; ++j) fit += s.sweep.estimates[j] * d.x[i][j];
      sse += d.w[i] * d.f[i] * (d.y[i] - fit) * (d.y[i] - fit);
      weight += d.w[i] * d.f[i];
    }
    EXPECT_NEAR(s.fit.validAse, sse / weight, 1e-10 * sse / weight);
  }
}

// HXGLASSO$: one optimizer fit of the group penalty at a ratio (it took the plain L1 penalty),
// whatever the response's units (its lambda-max is reported in them): the group path's step
// at that ratio. Near lambda-max few groups are in; far below it more.
TEST(GroupLasso, OneOptimizerFitMeetsTheConditionsAtItsRatio) {
  const std::vector<int> columns = {1, 3, 1, 2, 4, 1};
  for (double units : {1.0, 1e-8}) {
    test::CaseData d = test::syntheticCase(columns, 300, 11);
    for (double& y : d.y) y *= units;
    size_t before = columns.size();
    for (double ratio : {0.6, 0.05}) {
      SCOPED_TRACE("ratio " + std::to_string(ratio) + ", units " + std::to_string(units));
      const std::vector<bool> sparse = {false, true, false, false, true, false};
      test::Group group(d, optimizerSettings(kMethodHxGLasso, sparse));
      solvedTightly(group.options());
      group.s().fit.penalty = ratio;
      ASSERT_EQ(fitModel(&group.s(), nullptr), 0);
      const SelectionState& s = group.s();
      ASSERT_EQ(s.run.status, 0);
      const size_t active = expectGroupOptimality(d, columns, s, ratio * s.optim.lambdaMax);
      EXPECT_GT(active, 0u);
      // The group path's step at the same ratio is the same fit.
      test::Group path(d, optimizerSettings(kMethodGroupLasso, sparse));
      solvedTightly(path.options());
      path.options().rho = ratio, path.options().maxSteps = 1;
      ASSERT_EQ(fitModel(&path.s(), nullptr), 0);
      ASSERT_EQ(path.s().steps.lambdaRatio[path.s().steps.stepCount - 1], ratio);
      for (size_t j = 0; j < d.x[0].size(); ++j)
        EXPECT_NEAR(s.sweep.estimates[j], path.s().sweep.estimates[j],
                    1e-8 * std::fabs(path.s().sweep.estimates[0]))
            << j;
      if (before < columns.size()) {
        EXPECT_GT(active, before);
      }
      before = active;
    }
  }
}

}  // namespace
}  // namespace vsf
