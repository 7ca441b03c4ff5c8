// Adaptive weights against R (tests/reference/methods_fixtures.R, adaptive.csv): |b|^gamma of
// the least-squares fit without the intercept; an effect with an aliased column is held out.
#include <gtest/gtest.h>

#include <cmath>

#include "base/codes.h"
#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

TEST(AdaptiveWeights, FromTheFitMatchR) {
  const test::Csv t = test::readCsv("methods/adaptive.csv");
  for (const char* name : {"swiss", "mtcars"})
    for (double gamma : {1.0, 0.5}) {
      SCOPED_TRACE(std::string(name) + " gamma " + std::to_string(gamma));
      const test::MethodCase c = test::readMethodCase(name);
      test::GroupSettings g;
      test::Group group(c.data, g);
      group.options().adaptive = 1;
      group.options().adaptiveGamma = gamma;
      ASSERT_EQ(group.prepare(), 0);
      SelectionState& s = group.s();
      ASSERT_EQ(adaptiveWeightsFromFit(&s), 0);
      int compared = 0;
      for (size_t i = 0; i < t.rows.size(); ++i) {
        if (t.text(i, "case") != name || std::stod(t.text(i, "gamma")) != gamma) continue;
        const std::string w = t.text(i, "weight");
        if (w.empty()) continue;  // aliased in R's fit
        const int column = std::stoi(t.text(i, "column"));
        EXPECT_NEAR(s.sweep.weights[column], std::stod(w), 1e-8 * std::stod(w))
            << "column " << column;
        ++compared;
      }
      EXPECT_GT(compared, 4);
      // The last levels of gear and carb are aliased without the intercept.
      const bool mt = std::string(name) == "mtcars";
      EXPECT_EQ(s.sweep.aliasedFound, mt ? 1 : 0);
      if (mt) {
        EXPECT_EQ(s.sweep.states[9], EffectState::kHeldOut);
        EXPECT_EQ(s.sweep.states[10], EffectState::kHeldOut);
        EXPECT_EQ(s.sweep.states[1], EffectState::kFree);
      }
      EXPECT_EQ(s.sweep.states[0], EffectState::kIntercept);
      EXPECT_EQ(s.sweep.sweptColumns, 0);  // the path starts from the crossproducts alone
    }
}

TEST(AdaptiveWeights, FromEstimatesScaleAndRefuseZeroToANegativePower) {
  const test::MethodCase c = test::readMethodCase("swiss");
  test::GroupSettings g;
  test::Group group(c.data, g);
  group.options().adaptive = 1;
  ASSERT_EQ(group.prepare(), 0);
  SelectionState& s = group.s();
  std::vector<double> est = {9, 2, -3, 0.5, 4, -1};
  std::vector<double> scales = {0, 2, 0, 1, 0.5, 4};
  s.initialEstimates = est.data();
  s.layout.colScales = scales.data();
  group.options().adaptiveGamma = 1;
  group.settleOptionRecords();
  ASSERT_EQ(adaptiveWeightsFromEstimates(&s), 0);
  EXPECT_EQ(std::vector<double>(s.sweep.weights + 1, s.sweep.weights + 6),
            (std::vector<double>{1, 3, 0.5, 8, 0.25}));
  est[3] = 0;
  group.options().adaptiveGamma = -1;
  group.settleOptionRecords();
  EXPECT_EQ(adaptiveWeightsFromEstimates(&s), rc::kAdaptiveWeight);  // said, not a bare status
  // GAMMA=0 weighs every effect 1, an estimate of 0 too.
  group.options().adaptiveGamma = 0;
  group.settleOptionRecords();
  ASSERT_EQ(adaptiveWeightsFromEstimates(&s), 0);
  EXPECT_EQ(std::vector<double>(s.sweep.weights + 1, s.sweep.weights + 6),
            (std::vector<double>{1, 1, 1, 1, 1}));
}

}  // namespace
}  // namespace vsf
