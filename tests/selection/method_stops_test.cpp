// Every stop reason of the classical methods reached by a case, with the stop block of the
// STOP criterion and the full-model build of BACKWARD under hierarchy rules.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "penalized/penalized.h"
#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

using test::MethodFit;
using test::MethodSettings;

const test::MethodCase& swiss() {
  static const test::MethodCase c = test::readMethodCase("swiss");
  return c;
}

// y = 3 + 2 x1 exactly, x2 noise: the model is perfect once x1 is in.
test::MethodCase perfectCase() {
  test::MethodCase c = test::readMethodCase("swiss");
  test::CaseData& d = c.data;
  for (size_t i = 0; i < d.rows(); ++i) d.y[i] = 3 + 2 * d.x[i][1];
  return c;
}

struct StopCase {
  const char* name;
  MethodCode method;
  CriterionCode select, stop;
  std::function<void(SelectionOptions&)> options;
  uint8_t reason;
  int selectionSteps;  // -1: not checked
};

TEST(MethodStops, EachReasonIsReachedByItsCase) {
  const StopCase cases[] = {
      {"MAXSTEPS=2", kMethodForward, kCritSbc, kCritNone,
       [](SelectionOptions& o) { o.maxSteps = 2; }, stopreason::kStepLimit, 2},
      {"STEPS=2", kMethodForward, kCritSbc, kCritNone, [](SelectionOptions& o) { o.steps = 2; },
       stopreason::kStepsDone, 2},
      {"STOP=3 (the intercept and two effects)", kMethodForward, kCritSbc, kCritNone,
       [](SelectionOptions& o) { o.stopSteps = 3; }, stopreason::kStopSize, 2},
      {"STOP=SBC", kMethodForward, kCritSbc, kCritSbc, nullptr, stopreason::kCriterion, 4},
      {"no STOP, every effect in", kMethodForward, kCritSbc, kCritNone, nullptr, stopreason::kAllIn,
       5},
      {"NONE", kMethodNone, kCritSbc, kCritNone, nullptr, stopreason::kAllEntered, 5},
      {"BACKWARD to the forced effects", kMethodBackward, kCritSbc, kCritNone, nullptr,
       stopreason::kOnlyForced, 5},
      {"BACKWARD by SBC", kMethodBackward, kCritSbc, kCritSbc, nullptr, stopreason::kCriterion, 1},
      {"STEPWISE by SL without STOP", kMethodStepwise, kCritSl, kCritNone, nullptr,
       stopreason::kStepwiseSl, 4},
      {"STEPWISE by SBC without STOP", kMethodStepwise, kCritSbc, kCritNone, nullptr,
       stopreason::kStepwiseOther, 4},
      {"STEPWISE by SBC", kMethodStepwise, kCritSbc, kCritSbc, nullptr, stopreason::kCriterion, 4},
      {"STEPWISE with every effect in", kMethodStepwise, kCritSl, kCritSl,
       [](SelectionOptions& o) { o.entryLevel = o.stayLevel = 0.99; }, stopreason::kAllIn, 5},
      {"STEPWISE entering what it removed", kMethodStepwise, kCritSl, kCritSl,
       [](SelectionOptions& o) { o.entryLevel = 0.99, o.stayLevel = 0.02; }, stopreason::kCycle,
       -1},
      {"BACKWARD without intercept", kMethodBackward, kCritSbc, kCritNone,
       [](SelectionOptions& o) { o.noInt = 1, o.forcedEffects = 0; }, stopreason::kOneLeft, 4},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    MethodSettings m;
    m.group.method = c.method;
    m.group.select = c.select;
    m.group.full = true;
    m.stop = c.stop;
    m.options = c.options;
    MethodFit fit(swiss(), m);
    ASSERT_EQ(fit.fit(), 0);
    ASSERT_EQ(fit.s().run.status, 0);
    EXPECT_EQ(fit.s().run.stop.reason, c.reason) << fit.path();
    if (c.selectionSteps >= 0) {
      const int start = c.method == kMethodBackward ? 1 : fit.s().layout.firstSelectable;
      EXPECT_EQ(fit.s().steps.stepCount - start, c.selectionSteps) << fit.path();
    }
  }
}

TEST(MethodStops, PerfectFitEndsForwardButNotBackward) {
  const test::MethodCase c = perfectCase();
  for (MethodCode method : {kMethodForward, kMethodStepwise, kMethodBackward}) {
    MethodSettings m;
    m.group.method = method;
    m.stop = kCritNone;
    MethodFit fit(c, m);
    ASSERT_EQ(fit.fit(), 0);
    if (method == kMethodBackward) {
      EXPECT_EQ(fit.s().run.stop.reason, stopreason::kOnlyForced);
    } else {
      EXPECT_EQ(fit.s().run.stop.reason, stopreason::kPerfectFit);
      EXPECT_EQ(fit.path(), "+1");
    }
  }
}

// Group LASSO standardizes by effect: its path goes on past a fit exact to rounding, and at its
// step limit it ends with reason 1, every effect in or not.
TEST(MethodStops, GroupLassoPassesTheExactFitAndEndsAtItsLimit) {
  const test::MethodCase c = perfectCase();
  MethodSettings m;
  m.group.method = kMethodGroupLasso;
  m.group.select = kCritNone;
  m.stop = kCritNone;
  m.options = [](SelectionOptions& o) { o.maxSteps = 4, o.rho = 1e-3; };
  MethodFit fit(c, m);
  ASSERT_EQ(fit.fit(), 0);
  const SelectionState& s = fit.s();
  ASSERT_EQ(s.run.status, 0);
  EXPECT_EQ(s.run.stop.reason, stopreason::kStepLimit);
  EXPECT_EQ(s.steps.stepCount - s.layout.firstSelectable, 4);
  // Past the first steps the fit is exact to rounding, and every effect is in.
  EXPECT_TRUE(fitsExactly(s.totals, s.steps.sse[s.steps.stepCount - 1]));
  EXPECT_EQ(s.sweep.effectsInModel, s.layout.effectCount);
}

// FORWARD on mtcars of tests/data/selection: its effect 6 is disp - 100 wt; once two of disp,
// wt and effect 6 are in, the third is aliased and no other candidate is left.
TEST(MethodStops, AnAliasedCandidateIsNeverChosenAndLeavesNoCandidate) {
  const test::CaseData data = test::readCase("mtcars");
  test::GroupSettings g;
  g.method = kMethodForward;
  g.select = kCritSbc;
  test::Group group(data, g);
  group.options().stop = kCritNone;
  group.settleOptionRecords();
  ASSERT_EQ(fitModel(&group.s(), nullptr), 0);
  const SelectionState& s = group.s();
  EXPECT_EQ(s.run.stop.reason, stopreason::kNoCandidate);
  int free = 0;
  for (int e : {2, 4, 6}) free += s.sweep.states[e] == EffectState::kFree;
  EXPECT_EQ(free, 1);
  EXPECT_EQ(s.sweep.effectsInModel, 7);
  EXPECT_EQ(s.sweep.sweptColumns,
            9);  // the last level of cyl and of gear aliased with the intercept
}

// The STOP block holds the refused entry and its SBC (R's lm of the whole swiss model).
TEST(MethodStops, RefusedEntryIsUndoneAndKeptInTheStopBlock) {
  const auto models = test::readModels("swiss");  // tests/reference/selection_fixtures.R
  MethodSettings m;
  m.group.method = kMethodForward;
  m.group.select = kCritSbc;
  MethodFit fit(swiss(), m);
  ASSERT_EQ(fit.fit(), 0);
  const SelectionState& s = fit.s();
  EXPECT_EQ(s.run.stop.entryEffect, 2);
  EXPECT_NEAR(s.run.stop.entryValue, models.back().sbc, 1e-9 * std::fabs(models.back().sbc));
  EXPECT_EQ(s.sweep.states[2], EffectState::kFree);
  EXPECT_NEAR(s.fit.trainSse, models[4].sse, 1e-9 * models[4].sse);
  EXPECT_EQ(s.sweep.sweptColumns, 5);
}

}  // namespace
}  // namespace vsf

namespace vsf {
namespace {

// Containment lists given by hand: `contains[e]` the effects e contains.
struct Containment {
  std::vector<std::vector<int32_t>> pre, dep;
  std::vector<int32_t> preCount, depCount;
  std::vector<const int32_t*> preLists, depLists;
  explicit Containment(const std::vector<std::vector<int32_t>>& contains) : pre(contains) {
    dep.resize(pre.size());
    for (size_t e = 0; e < pre.size(); ++e)
      for (int32_t q : pre[e]) dep[static_cast<size_t>(q)].push_back(static_cast<int32_t>(e));
    for (size_t e = 0; e < pre.size(); ++e) {
      preCount.push_back(static_cast<int32_t>(pre[e].size()));
      depCount.push_back(static_cast<int32_t>(dep[e].size()));
      preLists.push_back(pre[e].data());
      depLists.push_back(dep[e].data());
    }
  }
  void apply(CandidateData& c) const {
    c.prerequisiteCount = preCount.data(), c.prerequisites = preLists.data();
    c.dependantCount = depCount.data(), c.dependants = depLists.data();
  }
};

// Effect 1 contains effects 2 to 5 and is forced in: BACKWARD builds the full model in two
// sweeps, and no effect can leave while effect 1 holds them.
TEST(MethodStops, BackwardWithNothingRemovableStops) {
  const test::MethodCase& c = swiss();
  const Containment h({{}, {2, 3, 4, 5}, {}, {}, {}, {}});
  MethodSettings m;
  m.group.method = kMethodBackward;
  m.stop = kCritNone;
  m.hierarchy = 1;
  m.options = [&](SelectionOptions& o) { o.include = 1, o.forcedEffects = 2; };
  MethodFit fit(c, m);
  h.apply(fit.group().vsf().group.candidates);
  ASSERT_EQ(fit.fit(), 0);
  const SelectionState& s = fit.s();
  EXPECT_EQ(s.run.stop.reason, stopreason::kNoRemoval);
  EXPECT_EQ(s.sweep.effectsInModel, 6);
  EXPECT_EQ(s.sweep.states[1], EffectState::kForced);
  EXPECT_EQ(s.steps.stepCount, 1);
}

// An effect whose prerequisite is held out (no columns) can never enter: the build of the
// full model ends instead of sweeping for ever, and BACKWARD goes on without it.
TEST(MethodStops, BackwardBuildEndsWhenAPrerequisiteIsHeldOut) {
  test::CaseData data = test::syntheticCase({1, 1, 0, 1, 1}, 60, 7);
  const Containment h({{}, {}, {}, {2, 1}, {}});
  test::GroupSettings g;
  g.method = kMethodBackward;
  test::Group group(data, g);
  SelectionOptions& o = group.options();
  o.stop = kCritNone;
  o.hierarchy = 1;
  h.apply(group.vsf().group.candidates);
  group.settleOptionRecords();
  ASSERT_EQ(fitModel(&group.s(), nullptr), 0);
  const SelectionState& s = group.s();
  ASSERT_EQ(s.run.status, 0);
  EXPECT_EQ(s.sweep.states[2], EffectState::kHeldOut);
  EXPECT_EQ(s.steps.effects[0], 3);  // the intercept, effects 1 and 4
  EXPECT_EQ(s.sweep.states[3], EffectState::kFree);
  EXPECT_EQ(s.run.stop.reason, stopreason::kOnlyForced);
}

}  // namespace
}  // namespace vsf

namespace vsf {
namespace {

// STEPWISE refuses Examination by SBC; the stop block gets its AIC (the STOP criterion) from a
// moment's entry, and the model is left as it was.
TEST(MethodStops, StepwiseRefusalCarriesTheStopCriterionsValue) {
  const auto models = test::readModels("swiss");  // tests/reference/selection_fixtures.R
  MethodSettings m;
  m.group.method = kMethodStepwise;
  m.group.select = kCritSbc;
  m.stop = kCritAic;
  MethodFit fit(swiss(), m);
  ASSERT_EQ(fit.fit(), 0);
  const SelectionState& s = fit.s();
  EXPECT_EQ(fit.path(), "+3 +4 +5 +1");
  EXPECT_EQ(s.run.stop.reason, stopreason::kStepwiseOther);
  EXPECT_EQ(s.run.stop.entryEffect, 2);
  EXPECT_NEAR(s.run.stop.entryValue, models.back().aic, 1e-9 * models.back().aic);
  EXPECT_EQ(s.sweep.states[2], EffectState::kFree);
  EXPECT_NEAR(s.fit.trainSse, models[4].sse, 1e-9 * models[4].sse);
}

}  // namespace
}  // namespace vsf
