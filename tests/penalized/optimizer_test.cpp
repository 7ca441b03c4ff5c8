// Group LASSO over effects of several columns, stored dense and sparse, with weights,
// frequencies and validation rows: at every step the solution meets the group optimality
// conditions on the training rows' standardized columns, worked out here from the rows
// themselves; the validation ASE is that of the reported estimates.
#include <gtest/gtest.h>

#include <cmath>
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

TEST(GroupLasso, EveryStepMeetsTheGroupOptimalityConditions) {
  const std::vector<int> columns = {1, 3, 1, 2, 4, 1};
  const test::CaseData d = test::syntheticCase(columns, 400, 7);
  for (bool sparse : {false, true}) {
    SCOPED_TRACE(sparse ? "CLASS effects stored sparse" : "dense");
    test::GroupSettings g;
    g.weight = g.freq = g.roles = true;
    g.method = kMethodGroupLasso;
    g.select = kCritNone;
    g.sparse = {false, sparse, false, sparse, sparse, false};
    test::Group group(d, g);
    SelectionOptions& o = group.options();
    o.optimizerMethod = 1, o.stop = kCritNone, o.maxSteps = 6, o.rho = 0.7, o.tolerance = 1e-13;
    o.validAsePerStep = 1;
    ASSERT_EQ(fitModel(&group.s(), nullptr), 0);
    const SelectionState& s = group.s();
    ASSERT_EQ(s.run.status, 0);
    ASSERT_GT(s.steps.stepCount, 3);
    const Standardized z = standardize(d);
    // The final model's coefficients on the standardized columns, and the gradient there.
    const size_t p = z.sd.size();
    std::vector<double> b(p, 0), grad(p, 0);
    for (size_t j = 1; j < p; ++j) b[j] = s.sweep.estimates[j] * z.sd[j];
    for (size_t i = 0; i < z.y.size(); ++i) {
      double e = z.y[i];
      for (size_t j = 1; j < p; ++j) e -= z.x[i][j] * b[j];
      for (size_t j = 1; j < p; ++j) grad[j] -= z.a[i] * z.x[i][j] * e;
    }
    const double lambda = s.steps.lambdaRatio[s.steps.stepCount - 1] * s.path.lambdaMax;
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
    EXPECT_GT(active, 0u);
    // The validation rows' ASE of the reported estimates.
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

}  // namespace
}  // namespace vsf
