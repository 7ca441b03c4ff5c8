// The criterion library's special cases, the F test and the comparisons; values of fitted
// models are checked against R in fit_test.cpp.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "common/group_support.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

const double kMissing = absentValue();

bool same(double got, double want) {
  if (isAbsent(want)) return isAbsent(got);
  return got == want || std::fabs(got - want) <= 1e-12 * std::fabs(want);
}

TEST(CriterionLibrary, DegenerateFits) {
  struct Row {
    const char* what;
    double got, want;
  } rows[] = {
      // A perfect fit.
      {"AIC, SSE 0", critAIC(0, 20, 3), -DBL_MAX},
      {"AICC, SSE 0", critAICC(0, 20, 3), -DBL_MAX},
      {"SBC, SSE 0", critSBC(0, 20, 3), -DBL_MAX},
      {"R-square, SSE 0", critRSquare(0, 10), 1},
      {"adjusted R-square, SSE 0", critAdjRSquare(0, 10, 20, 3, 0), 1},
      {"Cp, SSE 0", critCP(0, 20, 3, 2), 2 * 3 - 20},
      {"BIC, SSE 0", critBIC(0, 20, 3, 2), kMissing},
      // No residual degrees of freedom: AICC once p + 2 reaches n, adjusted R-square once p
      // reaches n; never a value from a negative denominator.
      {"AICC, n = p + 2", critAICC(5, 5, 3), kMissing},
      {"AICC, n < p + 2", critAICC(5, 4, 3), kMissing},
      {"AICC, n = p + 3", critAICC(6, 6, 3), 6 * (std::log(1.0) + 1 + 8.0 / 1)},
      {"adjusted R-square, n = p", critAdjRSquare(1, 10, 4, 4, 0), kMissing},
      {"adjusted R-square, n < p", critAdjRSquare(1, 10, 3, 4, 0), kMissing},
      {"adjusted R-square without intercept", critAdjRSquare(2, 10, 10, 2, 1),
       1 - 10 * 2.0 / (8 * 10)},
      {"R-square, SST 0", critRSquare(1, 0), kMissing},
      {"R-square never negative", critRSquare(12, 10), 0},
      {"Cp, sigma2 0", critCP(1, 20, 3, 0), kMissing},
      {"AIC, missing SSE", critAIC(kMissing, 20, 3), kMissing},
  };
  for (const Row& r : rows) EXPECT_TRUE(same(r.got, r.want)) << r.what << ": " << r.got;
}

TEST(CriterionLibrary, FTest) {
  double f = 0;
  struct Row {
    const char* what;
    double sseA;
    int pA;
    double sseB;
    int pB, eA, eB;
    double n, wantF, wantP;
  } rows[] = {
      // An effect without columns leaves: F 0, p 1, without the F distribution.
      {"removal of an empty effect", 10, 3, 10 * (1 + 1e-12), 3, 3, 2, 30, 0, 1},
      // An aliased effect enters: no parameter changes, nothing to test.
      {"entry without a column", 10, 3, 10, 3, 2, 3, 30, kMissing, kMissing},
      {"removal keeping its columns, SSE up", 10, 3, 12, 3, 3, 2, 30, kMissing, kMissing},
      // A perfect fit after an entry: F without bound.
      {"entry to SSE 0", 10, 3, 0, 4, 2, 3, 30, DBL_MAX, 0},
      {"as many parameters as observations", 10, 3, 4, 5, 2, 3, 5, 0, kMissing},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const double p = effectFTestPValue(r.sseA, r.pA, r.sseB, r.pB, r.eA, r.eB, r.n, &f, 1e-8);
    EXPECT_TRUE(same(f, r.wantF)) << f;
    EXPECT_TRUE(isAbsent(r.wantP) ? isAbsent(p) : std::fabs(p - r.wantP) < 1e-9) << p;
    const double logp =
        effectFTestLogPValue(r.sseA, r.pA, r.sseB, r.pB, r.eA, r.eB, r.n, nullptr, 1e-8);
    if (isAbsent(r.wantP)) {
      EXPECT_TRUE(isAbsent(logp));
    } else if (r.wantP > 0) {
      EXPECT_NEAR(std::exp(logp), r.wantP, 1e-9);
    }
  }
}

// An entry and the removal that undoes it test the same change (p-values against R's anova
// are in fit_test.cpp).
TEST(CriterionLibrary, FTestOfAnEntryEqualsThatOfItsRemoval) {
  double fIn = 0, fOut = 0;
  const double pIn = effectFTestPValue(10, 3, 8, 4, 2, 3, 30, &fIn, 1e-8);
  const double pOut = effectFTestPValue(8, 4, 10, 3, 3, 2, 30, &fOut, 1e-8);
  EXPECT_EQ(fIn, 6.5);  // (10 - 8) (30 - 4) / (8 x 1)
  EXPECT_EQ(fOut, 6.5);
  EXPECT_EQ(pIn, pOut);
  EXPECT_GT(pIn, 0.0);
  EXPECT_LT(pIn, 0.05);
}

TEST(CriterionLibrary, Comparisons) {
  struct Row {
    const char* what;
    int got, want;
  } rows[] = {
      {"minimised, smaller wins", criterionBetter(1, 2, kCritSbc), 1},
      {"maximised, larger wins", criterionBetter(0.5, 0.4, kCritRsquare), 1},
      {"missing never wins", criterionBetter(kMissing, 2, kCritSbc), 0},
      {"missing is never beaten", criterionBetter(1, kMissing, kCritSbc), 0},
      {"fuzz: a hair better is not better", criterionBetterFuzz(1 - 1e-14, 1, kCritAic), 0},
      {"fuzz: clearly better", criterionBetterFuzz(1 - 1e-12, 1, kCritAic), 1},
      {"fuzz of a sum of squares: relative", criterionBetterFuzz(1e-20 - 1e-32, 1e-20, kCritPress),
       1},
      {"fuzz of a sum of squares: a hair", criterionBetterFuzz(1e20 - 1e5, 1e20, kCritPress), 0},
      {"FUZZ= given: within it", criterionBetterFuzz(1 - 1e-7, 1, kCritAic, 1e-6), 0},
      {"FUZZ= given: beyond it", criterionBetterFuzz(1 - 1e-5, 1, kCritAic, 1e-6), 1},
      {"FUZZ= given, maximised", criterionBetterFuzz(0.9 + 1e-7, 0.9, kCritRsquare, 1e-6), 0},
      {"FUZZ= given, sum of squares", criterionBetterFuzz(1e6 - 0.5, 1e6, kCritPress, 1e-6), 0},
      {"tol, strict, equal", criterionBetterTol(100, 100 * (1 + 1e-10), kCritSbc, 1, 1e-8), 0},
      {"tol, not worse, equal", criterionBetterTol(100 * (1 + 1e-10), 100, kCritSbc, 0, 1e-8), 1},
      {"tol, not worse, worse", criterionBetterTol(101, 100, kCritSbc, 0, 1e-8), 0},
      {"tol, strict, better", criterionBetterTol(99, 100, kCritSbc, 1, 1e-8), 1},
      {"tol, maximised", criterionBetterTol(0.9, 0.8, kCritAdjRsq, 1, 1e-8), 1},
      {"tol, missing", criterionBetterTol(kMissing, 1, kCritSbc, 0, 1e-8), 0},
      {"huge values do not overflow", criterionBetterTol(-DBL_MAX, DBL_MAX, kCritAic, 1, 1e-8), 1},
  };
  for (const Row& r : rows) EXPECT_EQ(r.got, r.want) << r.what;
}

// Code 13 reads the external cross-validation grid of a path: on a grid point its value,
// between points the line through the two.
TEST(CriterionValues, ExternalCrossValidationInterpolates) {
  const auto data = test::syntheticCase({1, 1}, 10, 1);
  test::Group g(data, test::GroupSettings{});
  ASSERT_EQ(g.prepare(), 0);
  SelectionState& s = g.s();
  g.options().externalCv = 1;
  g.options().l1Choice = kL1ChoiceValue;  // the step lambda itself, on a falling grid
  g.settleOptionRecords();
  double grid[] = {4, 3, 2, 1}, cv[] = {40, 30, 25, 10};
  s.path.extCvGrid = grid, s.path.extCvValues = cv, s.path.extCvCount = 4;
  s.path.heldOutFold = s.path.extCvFolds = 3;  // the fit on all the data
  struct Row {
    double lambda, want;
  } rows[] = {{3, 30}, {2.5, 27.5}, {5, 40}, {0.5, 10}, {1, 10}};
  for (const Row& r : rows) {
    s.path.stepLambda = r.lambda;
    EXPECT_DOUBLE_EQ(criterionValue(&s, kCritCvExternal), r.want) << r.lambda;
  }
  s.path.heldOutFold = 1;  // a fold fit keeps its stored value
  s.fit.extCvValue = 7;
  EXPECT_EQ(criterionValue(&s, kCritCvExternal), 7);
  g.options().externalCv = 0;
  g.settleOptionRecords();
  EXPECT_TRUE(isAbsent(criterionValue(&s, kCritCvExternal)));
}

// Data-based values are computed once per model and forgotten when the model changes.
TEST(CriterionValues, DataBasedValuesAreCachedPerModel) {
  const auto data = test::readCase("diabetes_part");
  test::GroupSettings gs;
  gs.weight = true, gs.roles = true;
  test::Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_EQ(g.enter({0, 3}), 0);
  SelectionState& s = g.s();
  const double v = criterionValue(&s, kCritValidate);
  s.totals.validWeight = 0;  // a second pass would now give a missing value
  EXPECT_EQ(criterionValue(&s, kCritValidate), v);
  ASSERT_EQ(g.enter({9}), 0);
  EXPECT_TRUE(isAbsent(s.fit.validAse));
  EXPECT_TRUE(isAbsent(criterionValue(&s, kCritValidate)));
}

}  // namespace
}  // namespace vsf
