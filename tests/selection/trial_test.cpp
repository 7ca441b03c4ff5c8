// Trial moves: the model comes back bit for bit, and a candidate is judged by the criterion
// value of its own trial model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/group_support.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

using test::kStorageModes;

// Everything of the current model that the methods read, as bytes.
std::string snapshot(const SelectionState& s) {
  std::string b;
  auto add = [&](const void* p, size_t n) { b.append(static_cast<const char*>(p), n); };
  const int n = s.sweep.sscpOrder;
  add(&n, 4);
  add(&s.sweep.sweptColumns, 4);
  add(&s.sweep.effectsInModel, 4);
  add(s.sweep.sscp, 8 * tri(n));
  add(s.sweep.swept, 8 * tri(n));
  add(s.sweep.flags, n);
  add(s.sweep.entryOrder, 4 * s.sweep.effectsInModel);
  add(s.sweep.states, s.layout.effectCount);
  for (int i = 0; i < s.sweep.effectsInModel; ++i)
    add(&s.sweep.firstColumn[s.sweep.entryOrder[i]], 4);
  for (double v : {s.fit.trainSse, s.fit.press, s.fit.cvPress, s.fit.validAse, s.fit.testAse})
    add(&v, 8);
  for (int f = 0; f < s.folds; ++f) {
    const FoldRecord& r = s.foldRecs[f];
    add(r.sscp, 8 * tri(n));
    add(r.swept, 8 * tri(n));
    add(r.flags, n);
    add(&r.sse, 8);
  }
  return b;
}

TEST(Trials, MovesRestoreTheModelBitForBit) {
  const auto data = test::readCase("diabetes_cv");
  for (const auto& m : kStorageModes) {
    SCOPED_TRACE(m.name);
    GroupSettings gs;
    gs.weight = true, gs.kfold = true, gs.folds = 5, gs.full = m.full, gs.store = m.store;
    gs.select = kCritPress;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0, 3, 9, 1}), 0);
    SelectionState& s = g.s();
    ASSERT_EQ(computePress(&s), 0);  // a cached value comes back with the model
    const std::string before = snapshot(s);

    saveModelState(&s, 0);
    for (int k : {2, 4, 5, 6, 7, 8, 10})
      for (CriterionCode code : {kCritSbc, kCritPress, kCritCv}) {
        double value, sse;
        int32_t df;
        ASSERT_EQ(trialEntryValue(&s, k, code, &value, &sse, &df), 0);
        EXPECT_EQ(s.sweep.states[k], EffectState::kFree);
      }
    restoreModelState(&s);
    EXPECT_TRUE(snapshot(s) == before);

    saveModelState(&s, 1);
    for (int k : {3, 9, 1})
      for (CriterionCode code : {kCritAic, kCritPress, kCritCv}) {
        double value, sse;
        ASSERT_EQ(trialRemovalValue(&s, k, code, &value, &sse), 0);
        EXPECT_EQ(s.sweep.states[k], EffectState::kSelected);
      }
    restoreModelState(&s);
    EXPECT_TRUE(snapshot(s) == before);
  }
}

// PRESS, validation ASE and CV PRESS of a trial model equal those of the same model reached
// by real entries; the closed-form route gives no value for them.
TEST(Trials, CandidatesAreJudgedByTheirOwnValues) {
  struct Row {
    const char* name;
    bool kfold, roles;
    CriterionCode code;
  };
  const Row rows[] = {{"diabetes", false, false, kCritPress},
                      {"diabetes_part", false, true, kCritValidate},
                      {"diabetes_cv", true, false, kCritCv}};
  const std::vector<int> model = {0, 3, 9};
  for (const Row& r : rows) {
    const auto data = test::readCase(r.name);
    for (const auto& m : kStorageModes) {
      SCOPED_TRACE(std::string(r.name) + ", " + m.name);
      GroupSettings gs;
      gs.weight = true, gs.kfold = r.kfold, gs.folds = r.kfold ? 5 : 0, gs.roles = r.roles;
      gs.full = m.full, gs.store = m.store, gs.select = r.code;
      Group g(data, gs);
      ASSERT_EQ(g.prepare(), 0);
      ASSERT_EQ(g.enter(model), 0);
      SelectionState& s = g.s();
      const double current = criterionValue(&s, r.code);
      EXPECT_TRUE(
          isAbsent(criterionFromStats(&s, r.code, s.fit.trainSse, s.fit.trainSse - 1,
                                      s.sweep.sweptColumns, s.sweep.sweptColumns + 1, 3, 4)));
      saveModelState(&s, 0);
      for (int k : {1, 4, 10}) {
        double value, sse;
        int32_t df;
        ASSERT_EQ(trialEntryValue(&s, k, r.code, &value, &sse, &df), 0);
        Group real(data, gs);
        ASSERT_EQ(real.prepare(), 0);
        std::vector<int> bigger = model;
        bigger.push_back(k);
        ASSERT_EQ(real.enter(bigger), 0);
        const double own = criterionValue(&real.s(), r.code);
        EXPECT_NEAR(value, own, 1e-9 * own) << k;
        EXPECT_NE(value, current) << k;
        EXPECT_NEAR(sse, real.s().fit.trainSse, 1e-9 * sse);
      }
      restoreModelState(&s);
      EXPECT_EQ(criterionValue(&s, r.code), current);
    }
  }
}

}  // namespace
}  // namespace vsf

namespace vsf {
namespace {

// A run whose pool scored candidates by their blocks (no checkpoint buffers) can still take a
// checkpoint: the buffers are made when it is first taken.
TEST(Trials, CheckpointBuffersComeWhenFirstNeeded) {
  const auto data = test::readCase("mtcars");
  test::GroupSettings gs;
  test::Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_TRUE(g.s().sweep.blockScoring);
  ASSERT_FALSE(g.s().ck.buffersExist);
  ASSERT_EQ(g.enter({0, 4}), 0);
  const double sse = g.s().fit.trainSse;
  saveModelState(&g.s(), 0);
  double value, trialSse;
  int32_t df;
  ASSERT_EQ(trialEntryValue(&g.s(), 3, kCritPress, &value, &trialSse, &df), 0);
  restoreModelState(&g.s());
  EXPECT_LT(trialSse, sse);
  EXPECT_EQ(g.s().fit.trainSse, sse);
}

}  // namespace
}  // namespace vsf
