// Group LASSO over effects of several columns, stored dense and sparse, with weights,
// frequencies and validation rows: at every step the solution meets the group optimality
// conditions on the training rows' standardized columns, worked out here from the rows
// themselves; the validation ASE is that of the reported estimates. HXGLASSO$'s single fit
// meets the plain LASSO's conditions at its ratio.
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
void solvedTightly(SelectionOptions& o) { o.stop = kCritNone, o.tolerance = 1e-13; }

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
    group.settleOptionRecords();
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

// What group LASSO's path left: each step's SSE, the final estimates, the columns' scales in
// the optimizer's problem (0: left out).
struct PathEnd {
  std::vector<double> sse, estimates, scales;
};

PathEnd groupLassoPath(const test::CaseData& d) {
  test::Group group(
      d, optimizerSettings(kMethodGroupLasso, std::vector<bool>(d.effectColumns.size(), false)));
  SelectionOptions& o = group.options();
  solvedTightly(o);
  o.maxSteps = 8, o.rho = 0.7;
  group.settleOptionRecords();
  PathEnd end;
  EXPECT_EQ(fitModel(&group.s(), nullptr), 0);
  const SelectionState& s = group.s();
  EXPECT_EQ(s.run.status, 0);
  const int32_t p = s.layout.paramCount;
  end.sse.assign(s.steps.sse, s.steps.sse + s.steps.stepCount);
  end.estimates.assign(s.sweep.estimates, s.sweep.estimates + p);
  end.scales.assign(s.optim.scale, s.optim.scale + p);
  return end;
}

// An effect that only repeats a column before it, up to its centre and scale, stays out of the
// optimizer's problem, as the sweep leaves it out of the other methods' models: the path is
// the one without it and its estimate stays 0, where it would take half the coefficient. An
// effect with a column of its own beside the repeated one stays in.
TEST(GroupLasso, AnEffectRepeatingAColumnStaysOut) {
  const test::CaseData d = test::syntheticCase({1, 1, 3, 1}, 300, 5);
  test::CaseData repeated = d, partly = d;
  repeated.effectColumns.push_back(1);
  partly.effectColumns.push_back(2);
  for (size_t i = 0; i < d.rows(); ++i) {
    const double x = d.x[i][1];
    repeated.x[i].push_back(5 - 3 * x);
    partly.x[i].push_back(5 - 3 * x);
    partly.x[i].push_back(x * d.x[i][5]);
  }
  const PathEnd alone = groupLassoPath(d), with = groupLassoPath(repeated);
  ASSERT_EQ(with.sse.size(), alone.sse.size());
  for (size_t k = 0; k < alone.sse.size(); ++k)
    EXPECT_NEAR(with.sse[k], alone.sse[k], 1e-9 * alone.sse[k]) << "step " << k;
  ASSERT_EQ(with.estimates.size(), alone.estimates.size() + 1);
  for (size_t j = 0; j < alone.estimates.size(); ++j)
    EXPECT_NEAR(with.estimates[j], alone.estimates[j], 1e-9 * std::fabs(alone.estimates[j]) + 1e-12)
        << "column " << j;
  EXPECT_NE(alone.estimates[1], 0);
  EXPECT_EQ(with.estimates.back(), 0);
  EXPECT_EQ(with.scales.back(), 0);
  const PathEnd part = groupLassoPath(partly);
  EXPECT_GT(part.scales[part.scales.size() - 2], 0);
  EXPECT_GT(part.scales.back(), 0);
}

// HXGLASSO$: one optimizer fit of the plain L1 penalty over every column at a ratio, whatever
// the response's units (its lambda-max is reported in them): on the standardized columns a
// column at 0 has a gradient of at most lambda, one away from 0 a gradient of -lambda times its
// sign. Near lambda-max few columns are in; far below it more.
TEST(GroupLasso, OneOptimizerFitMeetsTheLassoConditionsAtItsRatio) {
  const std::vector<int> columns = {1, 3, 1, 2, 4, 1};
  for (double units : {1.0, 1e-8}) {
    test::CaseData d = test::syntheticCase(columns, 300, 11);
    for (double& y : d.y) y *= units;
    size_t before = 0;
    for (double ratio : {0.6, 0.05}) {
      SCOPED_TRACE("ratio " + std::to_string(ratio) + ", units " + std::to_string(units));
      test::GroupSettings g;
      g.weight = g.freq = g.roles = true;
      g.method = kMethodHxGLasso;
      g.select = kCritNone;
      g.sparse = {false, true, false, false, true, false};
      test::Group group(d, g);
      SelectionOptions& o = group.options();
      o.stop = kCritNone, o.tolerance = 1e-13;
      group.s().fit.penalty = ratio;
      group.settleOptionRecords();
      ASSERT_EQ(fitModel(&group.s(), nullptr), 0);
      const SelectionState& s = group.s();
      ASSERT_EQ(s.run.status, 0);
      const double lambda = ratio * s.optim.lambdaMax;
      const Standardized z = standardize(d);
      const size_t p = z.sd.size();
      std::vector<double> b(p, 0), grad(p, 0);
      for (size_t j = 1; j < p; ++j) b[j] = s.sweep.estimates[j] * z.sd[j];
      for (size_t i = 0; i < z.y.size(); ++i) {
        double e = z.y[i];
        for (size_t j = 1; j < p; ++j) e -= z.x[i][j] * b[j];
        for (size_t j = 1; j < p; ++j) grad[j] -= z.a[i] * z.x[i][j] * e;
      }
      size_t active = 0;
      for (size_t j = 1; j < p; ++j) {
        if (b[j] == 0) {
          EXPECT_LE(std::fabs(grad[j]), lambda * (1 + 1e-6)) << "column " << j;
          continue;
        }
        ++active;
        EXPECT_LE(std::fabs(grad[j] + lambda * (b[j] > 0 ? 1 : -1)), 1e-6 * lambda)
            << "column " << j;
      }
      EXPECT_GT(active, before);
      before = active;
    }
  }
}

}  // namespace
}  // namespace vsf
