// The model pool: array sizes, held-out effects, folds; the chosen step brought back.
#include <gtest/gtest.h>

#include <cmath>

#include "common/group_support.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

// 120 parameters in 10 effects, STEPWISE without step or effect limits: 20 steps; the
// incremental history starts at 10, R = 10 x 120 / 10 + 1.5 = 121.5, truncated.
TEST(ModelPool, IncrementalSizesFollowTheExpectedModel) {
  const auto data = test::syntheticCase({1, 13, 13, 13, 13, 13, 13, 13, 13, 15}, 30, 1);
  GroupSettings gs;
  gs.full = false, gs.store = true, gs.method = kMethodStepwise;
  Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  const SelectionState& s = g.s();
  EXPECT_EQ(s.layout.paramCount, 120);
  EXPECT_EQ(s.steps.stepCapacity, 20);
  EXPECT_EQ(s.steps.historyCapacity, 10);
  EXPECT_EQ(s.sweep.orderCapacity, 121);
  EXPECT_EQ(s.sweep.storeRowCapacity, 121);
  EXPECT_EQ(s.sweep.sscpOrder, 1);
  EXPECT_EQ(s.sweep.fullOffset[1], 2);
  EXPECT_EQ(s.sweep.fullOffset[9], 2 + 8 * 13);
}

TEST(ModelPool, StepCapacityByMethod) {
  const auto data = test::syntheticCase({1, 1, 1, 1, 1, 1}, 20, 1);
  struct Row {
    MethodCode method;
    int maxSteps, maxEffects, want;
  } rows[] = {
      {kMethodNone, 0, 0, 6},         {kMethodForward, 0, 0, 6},  {kMethodForward, 3, 0, 3},
      {kMethodStepwise, 0, 0, 12},    {kMethodStepwise, 7, 0, 7}, {kMethodStepwise, 0, 2, 3},
      {kMethodGroupLasso, 0, 0, 100},
  };
  for (const Row& r : rows) {
    GroupSettings gs;
    gs.method = r.method;
    Group g(data, gs);
    g.options().maxSteps = r.maxSteps, g.options().maxEffects = r.maxEffects;
    ASSERT_EQ(g.prepare(), 0);
    EXPECT_EQ(g.s().steps.stepCapacity, r.want) << int(r.method) << " " << r.maxSteps;
  }
}

TEST(ModelPool, EffectsThatCanNeverEnterAreHeldOut) {
  const auto data = test::syntheticCase({1, 1, 0, 2}, 20, 1);
  GroupSettings gs;
  Group g(data, gs);
  g.options().noInt = 1;
  ASSERT_EQ(g.prepare(), 0);
  SelectionState& s = g.s();
  EXPECT_EQ(s.sweep.states[0], EffectState::kHeldOut);
  EXPECT_EQ(s.sweep.states[2], EffectState::kHeldOut);
  EXPECT_EQ(s.sweep.states[3], EffectState::kFree);
  EXPECT_EQ(s.sweep.firstParam[3], 2);
  ASSERT_EQ(enterEffect(&s, 0, 0, 0), 0);
  EXPECT_EQ(s.sweep.effectsInModel, 0);
}

TEST(ModelPool, FoldCountAndEarlyReturn) {
  const auto data = test::syntheticCase({1, 1}, 3, 1);
  for (CvMethodCode method : {kCvRandom, kCvBlock}) {
    GroupSettings gs;
    gs.kfold = true, gs.folds = 5;
    Group g(data, gs);
    g.options().cvMethod = method;
    ASSERT_EQ(g.prepare(), 0);
    EXPECT_EQ(g.s().folds, method == kCvRandom ? 5 : 3);  // RANDOM keeps its folds
  }
  Group empty(data, GroupSettings{});
  empty.s().totals.obsUsed = 0;
  resetSelectionState(&empty.s());
  ASSERT_EQ(buildModelPool(&empty.s()), 0);
  EXPECT_EQ(empty.s().sweep.states, nullptr);
  EXPECT_NE(empty.s().modelPool, nullptr);
}

// Between the fits of one group the run is cleared, not what the frame set for the group: the
// elastic net's L2, the penalty and the candidates' containment lists.
TEST(ModelPool, ResetKeepsWhatTheGroupSet) {
  const auto data = test::syntheticCase({1, 1}, 3, 1);
  Group g(data, GroupSettings{});
  SelectionState& s = g.s();
  int32_t counts[3] = {1, 0, 0};
  int32_t list[1] = {2};
  int32_t* lists[3] = {list, nullptr, nullptr};
  s.path.l2 = 0.25, s.fit.penalty = 3;
  s.containment.containedCount = s.containment.containingCount = counts;
  s.containment.containedCountCopy = s.containment.containingCountCopy = counts;
  s.containment.containedLists = s.containment.containingLists = lists;
  s.steps.stepCount = 4, s.run.status = -201;
  resetSelectionState(&s);
  EXPECT_EQ(s.steps.stepCount, 0);
  EXPECT_EQ(s.run.status, 0);
  EXPECT_EQ(s.path.l2, 0.25);
  EXPECT_EQ(s.fit.penalty, 3);
  EXPECT_EQ(s.containment.containedCount, counts);
  EXPECT_EQ(s.containment.containingCountCopy, counts);
  EXPECT_EQ(s.containment.containedLists, lists);
  EXPECT_EQ(s.containment.containingLists, lists);
}

TEST(Checkpoints, ChosenStepComesBackOnlyForASuccessfulRunWithChoose) {
  const auto data = test::syntheticCase({1, 1, 1}, 20, 1);
  for (int variant = 0; variant < 3; ++variant) {
    GroupSettings gs;
    gs.choose = variant == 1 ? kCritNone : kCritSbc;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0, 1, 2}), 0);
    SelectionState& s = g.s();
    s.steps.stepCount = 3;
    for (int i = 0; i < 3; ++i) {
      s.steps.sse[i] = 10.0 - i, s.steps.sweptColumns[i] = i + 1, s.steps.effects[i] = i + 1;
    }
    if (variant != 1) {
      s.run.chosenStep = 1;
      s.run.chosenEffects[0] = 0, s.run.chosenEffects[1] = 2;
      s.run.chosenStates[0] = EffectState::kIntercept,
      s.run.chosenStates[2] = EffectState::kSelected;
      s.run.chosenEstimates[2] = 4.5;
    }
    if (variant == 2) s.run.status = -201;
    const double sse = s.fit.trainSse;
    restoreSelectedStep(&s);
    if (variant == 0) {
      EXPECT_EQ(s.steps.stepCount, 2);
      EXPECT_EQ(s.fit.trainSse, 9.0);
      EXPECT_EQ(s.sweep.effectsInModel, 2);
      EXPECT_EQ(s.sweep.entryOrder[1], 2);
      EXPECT_EQ(s.sweep.states[1], EffectState::kFree);
      EXPECT_EQ(s.sweep.estimates[2], 4.5);
    } else {
      EXPECT_EQ(s.steps.stepCount, 3);
      EXPECT_EQ(s.fit.trainSse, sse);
    }
  }
}

}  // namespace
}  // namespace vsf
