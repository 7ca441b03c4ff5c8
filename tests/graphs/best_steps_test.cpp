// The one best step of each criterion, for the summary's markers and the plots' optima: the
// tie rules, the CHOOSE criterion, a perfect fit, the forced block; and the displayed steps and
// columns of the hidden BestStep table.
#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "displays/display_support.h"
#include "frame/state.h"
#include "graphs/graphs.h"

namespace vsf::test {
namespace {

// A step history with these criterion values, effects and parameters (the values replace what
// the SSEs would give, so that ties are exact or as near as a case wants).
void stepsWith(BareState& b, CriterionCode code, const std::vector<double>& values,
               const std::vector<int32_t>& effects, const std::vector<int32_t>& parms) {
  SelectionState& s = b.sel();
  s.totals.trainFreq = 20;
  s.totals.correctedSS = s.totals.totalSS = 400;
  b.history(std::vector<int32_t>(values.size(), 1), effects);
  StepHistory& h = s.steps;
  for (size_t i = 0; i < values.size(); ++i) {
    h.criteria[i * h.criterionCount + h.criterionSlot[codeIndex(code)] - 1] = values[i];
    h.sweptColumns[i] = parms[i];
  }
}

TEST(BestSteps, TiesGoToFewerEffectsThenFewerParametersThenTheLaterStep) {
  const double near = 1 + 1e-10, far = 1 + 1e-6;
  struct Case {
    const char* name;
    CriterionCode code;
    std::vector<double> values;
    std::vector<int32_t> effects, parms;
    int32_t forced = 1;
    CriterionCode choose = kCritNone;
    int32_t chosen = -1;
    int32_t best;
  } cases[] = {
      // clang-format off
      // name, criterion, values, effects, parameters, forced, CHOOSE, chosen step, best
      {"an exact tie later with more effects keeps the first", kCritSbc, {10, 5, 7, 5},
       {1, 2, 3, 4}, {1, 2, 3, 4}, 1, kCritNone, -1, 1},
      {"an exact tie with fewer effects moves the optimum", kCritAic, {10, 7, 5, 6, 5},
       {1, 3, 4, 3, 3}, {1, 3, 4, 3, 3}, 1, kCritNone, -1, 4},
      {"within the tolerance, fewer parameters", kCritSbc, {10, 5, 5 * near},
       {1, 2, 2}, {1, 4, 3}, 1, kCritNone, -1, 2},
      {"within the tolerance and alike: the later step", kCritSbc, {10, 5, 5 * near},
       {1, 2, 2}, {1, 2, 2}, 1, kCritNone, -1, 2},
      {"beyond the tolerance the strict best", kCritSbc, {10, 5, 5 * far},
       {1, 2, 2}, {1, 2, 2}, 1, kCritNone, -1, 1},
      {"a perfect fit keeps the first step that reached it", kCritAic, {10, -DBL_MAX, -DBL_MAX},
       {1, 2, 2}, {1, 2, 2}, 1, kCritNone, -1, 1},
      {"a maximized criterion with a tie", kCritAdjRsq, {0.1, 0.5, 0.5},
       {1, 3, 2}, {1, 3, 2}, 1, kCritNone, -1, 2},
      {"the CHOOSE criterion reports the chosen step", kCritSbc, {10, 5, 5},
       {1, 2, 3}, {1, 2, 3}, 1, kCritSbc, 1, 1},
      {"the forced block's partial models are not candidates", kCritSbc, {1, 10, 5, 7},
       {1, 2, 3, 4}, {1, 2, 3, 4}, 2, kCritNone, -1, 2},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BareState b({"Intercept", "a", "b", "c", "d"});
    b.vsf().settings.options.method = kMethodForward;
    b.vsf().settings.options.choose = c.choose;
    b.sel().layout.firstSelectable = c.forced;
    b.sel().run.chosenStep = c.chosen;
    stepsWith(b, c.code, c.values, c.effects, c.parms);
    BestSteps best;
    computeBestSteps(settledView(b.vsf()), &b.sel(), &best);
    EXPECT_EQ(best.step[codeIndex(c.code)], c.best);
  }
}

// The table's steps are displayed steps: the history index less the forced effects plus one,
// BACKWARD's as they stand; a criterion without values shows step 0 and a missing value.
TEST(BestSteps, TableShowsDisplayedStepsAndTheChosenStep) {
  struct Case {
    const char* name;
    MethodCode method;
    int32_t forced;
    int32_t aicStep, chosen;
  } cases[] = {
      {"intercept forced", kMethodForward, 1, 2, 3},
      {"two effects forced", kMethodForward, 2, 1, 2},
      {"backward", kMethodBackward, 0, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BareState b({"Intercept", "a", "b", "c"});
    VsfState& v = b.vsf();
    v.settings.options.method = c.method;
    v.settings.graphicsOn = 1;
    b.sel().layout.firstSelectable = c.forced;
    stepsWith(b, kCritAic, {9, 8, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4});
    BestSteps best;
    computeBestSteps(settledView(v), &b.sel(), &best);
    StepMarks marks;
    ASSERT_EQ(makeStepLabels(settledView(v), &b.sel(), &marks), 0);
    void* data = nullptr;
    ASSERT_EQ(printBestStep(settledView(v), &b.sel(), best, &marks, &data), 0);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(marks.optimalStep[codeIndex(kCritAic)], c.aicStep);
    EXPECT_EQ(marks.chosenStep, c.chosen);
    const Json row = oneTable(b.out.document(), "BestStep")["rows"][0];
    EXPECT_EQ(row["OptLabel"], "Optimal Value");
    EXPECT_EQ(row["AICStep"], c.aicStep);
    EXPECT_EQ(row["AICStepLabel"], std::string(stepLabelText(settledView(v), marks, c.aicStep)));
    EXPECT_EQ(row["AICVal"], 3.0);
    EXPECT_FALSE(row.contains("BICStep"));  // no full-model variance
    EXPECT_FALSE(row.contains("AICNormBeta"));
  }
}

}  // namespace
}  // namespace vsf::test
