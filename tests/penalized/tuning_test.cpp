// The searches over L2 against values worked out by hand: the grid from 0 and from a positive
// low end, the golden-section sequence with its ties, its convergence and a value that is not
// finite, a failed run's code that ends a search; and the merge of the folds' path points,
// linear and quadratic between knots, flat past a fold's last knot, a fold without a step.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "penalized/tuning_internal.h"

namespace vsf {
namespace {

TEST(L2Search, GridValues) {
  struct Case {
    double low, high;
    int32_t n;
    std::vector<double> want;
  } cases[] = {
      {0, 1, 1, {0}},
      {0, 1, 2, {0, 1}},
      {0, 1, 4, {0, 1e-8, 1e-4, 1}},  // the first step 1e-8 when high is not below 1
      {0, 10, 3, {0, 1e-8, 10}},
      {0, 0.5, 3, {0, 5e-9, 0.5}},  // 1e-8 times high below 1
      {0.01, 100, 5, {0.01, 0.1, 1, 10, 100}},
  };
  for (const Case& c : cases)
    for (int32_t k = 0; k < c.n; ++k)
      EXPECT_NEAR(l2GridValue(c.low, c.high, c.n, k), c.want[k], 1e-12 * c.want[k])
          << c.low << " " << c.high << " " << c.n << " " << k;
}

// The objective of a case: the points tried are recorded.
struct Recorder {
  std::vector<double> tried;
  std::function<double(double)> f;
  int failAt = -1, failCode = 0;
  L2Objective objective() {
    return [this](double l2, int32_t index, double* value) {
      EXPECT_EQ(index, static_cast<int32_t>(tried.size()));
      tried.push_back(l2);
      if (index == failAt) return failCode;
      *value = f(l2);
      return 0;
    };
  }
};

TEST(L2Search, GoldenSectionSequence) {
  const double nan = std::nan("");
  struct Case {
    const char* name;
    double low, high;
    int32_t n;
    std::function<double(double)> f;
    std::vector<double> tried;
    double best;
    bool converged;
  } cases[] = {
      // b = a + (c - a) / phi^2; then the larger side is cut at 2 - phi.
      {"minimum at 0.3",
       0,
       1,
       6,
       [](double x) { return (x - 0.3) * (x - 0.3); },
       {0, 0.3819660112501051, 1, 0.6180339887498949, 0.2360679774997897, 0.1458980337503155},
       0.2360679774997897,
       false},
      {"budget of 3 tries a, b and c",
       0,
       1,
       3,
       [](double x) { return -x; },
       {0, 0.3819660112501051, 1},
       1,
       false},
      {"budget below 3 still tries a, b and c",
       0,
       1,
       2,
       [](double x) { return x; },
       {0, 0.3819660112501051, 1},
       0,
       false},
      {"ties keep the earlier point",
       0,
       1,
       5,
       [](double) { return 1.0; },
       {0, 0.3819660112501051, 1, 0.6180339887498949, 0.2360679774997897},
       0,
       false},
      {"a bracket narrower than 1e-8 of b converges",
       1,
       1 + 1e-9,
       10,
       [](double x) { return x; },
       {1, 1 + 1e-9 / 2.618033988749895, 1 + 1e-9},
       1,
       true},
      {"a value that is not finite never wins",
       0,
       1,
       3,
       [&](double x) { return x == 0 ? nan : x; },
       {0, 0.3819660112501051, 1},
       0.3819660112501051,
       false},
  };
  for (Case& c : cases) {
    Recorder r;
    r.f = c.f;
    const L2SearchResult got = goldenSectionSearch(c.low, c.high, c.n, r.objective());
    ASSERT_EQ(r.tried.size(), c.tried.size()) << c.name;
    for (size_t i = 0; i < c.tried.size(); ++i)
      EXPECT_NEAR(r.tried[i], c.tried[i], 1e-15) << c.name;
    EXPECT_NEAR(got.best, c.best, 1e-15) << c.name;
    EXPECT_EQ(got.converged, c.converged) << c.name;
    EXPECT_EQ(got.rc, 0) << c.name;
  }
}

TEST(L2Search, GridStopsAtAValueNotFiniteAndAtAFailure) {
  struct Case {
    const char* name;
    std::function<double(double)> f;
    int failAt, failCode;
    size_t tries;
    double best;
    int rc;
  } cases[] = {
      {"smallest value", [](double x) { return std::fabs(x - 1e-4); }, -1, 0, 4, 1e-4, 0},
      {"ties keep the earlier point", [](double) { return 2.0; }, -1, 0, 4, 0, 0},
      {"a value that is not finite ends the grid unchosen",
       [](double x) { return x > 1e-6 ? HUGE_VAL : -x; }, -1, 0, 3, 1e-8, 0},
      {"a failed run's code ends the search", [](double x) { return -x; }, 2, -7, 3, 1e-8, -7},
      {"a run that stopped ends the search", [](double x) { return -x; }, 1, kTuningStopped, 2, 0,
       kTuningStopped},
  };
  for (const Case& c : cases) {
    Recorder r;
    r.f = c.f, r.failAt = c.failAt, r.failCode = c.failCode;
    const L2SearchResult got = gridSearch(0, 1, 4, r.objective());
    EXPECT_EQ(r.tried.size(), c.tries) << c.name;
    EXPECT_EQ(got.rc, c.rc) << c.name;
    if (c.rc == 0) {
      EXPECT_NEAR(got.best, c.best, 1e-12 * c.best) << c.name;
    }
  }
  Recorder failing;
  failing.f = [](double) { return 0.0; };
  failing.failAt = 0, failing.failCode = -2;
  EXPECT_EQ(goldenSectionSearch(0, 1, 10, failing.objective()).rc, -2);
  EXPECT_EQ(failing.tried.size(), 1u);
}

// Folds given as (ratio, L1 norm, curvature, ASE) points with their lambda-max.
struct Fold {
  double lambdaMax;
  std::vector<std::array<double, 4>> points;
};

TuningTables tablesOf(const std::vector<Fold>& folds, std::vector<int32_t>* ints,
                      std::vector<double>* values, std::vector<int32_t>* ends,
                      std::vector<double>* maxima, std::vector<double>* grid,
                      std::vector<double>* average) {
  for (size_t f = 0; f < folds.size(); ++f) {
    for (const auto& p : folds[f].points) {
      ints->insert(ints->end(), {static_cast<int32_t>(f), 0, 0});
      values->insert(values->end(), {p[0], 0, p[1], 0, p[2], p[3]});
    }
    ends->push_back(static_cast<int32_t>(values->size() / 6));
    maxima->push_back(folds[f].lambdaMax);
  }
  grid->assign(values->size() / 6 + 1, 0);
  average->assign(grid->size(), 0);
  TuningTables t;
  t.points = static_cast<int32_t>(values->size() / 6);
  t.pointInts = ints->data(), t.pointValues = values->data();
  t.foldCount = static_cast<int32_t>(folds.size());
  t.foldEnd = ends->data(), t.foldLambdaMax = maxima->data();
  t.grid = grid->data(), t.average = average->data();
  return t;
}

TEST(FoldMerge, InterpolatedAndAveragedOnTheUnionGrid) {
  struct Case {
    const char* name;
    L1ChoiceCode mode;
    std::vector<Fold> folds;
    std::vector<double> grid, average;
    double chosen;
  } cases[] = {
      {"linear, flat past the last knot, a fold without a step left out",
       kL1ChoiceRatio,
       {{2, {{{1, 0, 0, 10}}, {{0.5, 1, 0, 6}}, {{0, 2, 0, 4}}}},
        {4, {{{1, 0, 0, 12}}, {{0.25, 1, 0, 8}}}},
        {3, {}}},
       {1, 0.5, 0.25, 0},
       {11, (6 + 12 - 8.0 / 3) / 2, 6.5, 6},
       0},
      // b = (6 - 10) / 1 - 2 * 1 = -6, and 0.75 lies 0.5 down in lambda: 10 - 3 + 0.5.
      {"quadratic in lambda where the curvature is known",
       kL1ChoiceRatio,
       {{2, {{{1, 0, 0, 10}}, {{0.5, 1, 2, 6}}}}, {2, {{{1, 0, 0, 10}}, {{0.75, 1, 0, 7.5}}}}},
       {1, 0.75, 0.5},
       {10, 7.5, 6.75},
       0.5},
      {"by the penalty itself: each fold's ratios times its lambda-max",
       kL1ChoiceValue,
       {{2, {{{1, 0, 0, 10}}, {{0.5, 1, 0, 6}}}}, {4, {{{1, 0, 0, 12}}, {{0.5, 1, 0, 4}}}}},
       {4, 2, 1},
       {(10 + 12) / 2.0, (10 + 4) / 2.0, (6 + 4) / 2.0},
       1},
      {"by the L1 norm, rising",
       kL1ChoiceNorm,
       {{1, {{{1, 0, 0, 9}}, {{0.5, 2, 0, 5}}}}, {1, {{{1, 0, 0, 9}}, {{0.4, 1, 0, 3}}}}},
       {0, 1, 2},
       {9, 5, 4},
       2},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> ints, ends;
    std::vector<double> values, maxima, grid, average;
    TuningTables t = tablesOf(c.folds, &ints, &values, &ends, &maxima, &grid, &average);
    const double best = mergeFoldPaths(&t, c.mode, 1e-8);
    ASSERT_EQ(t.gridCount, static_cast<int32_t>(c.grid.size())) << c.name;
    for (size_t k = 0; k < c.grid.size(); ++k) {
      EXPECT_DOUBLE_EQ(t.grid[k], c.grid[k]) << c.name << " " << k;
      EXPECT_NEAR(t.average[k], c.average[k], 1e-12) << c.name << " " << k;
    }
    EXPECT_DOUBLE_EQ(t.chosenAlignment, c.chosen) << c.name;
    EXPECT_NEAR(best, *std::min_element(c.average.begin(), c.average.end()), 1e-12) << c.name;
  }
}

}  // namespace
}  // namespace vsf
