// Entering and removing effects: aliased columns, re-admission, the pivot rule, compaction of
// the incremental matrices, the folds, hierarchy counts and candidate SSEs.
#include <gtest/gtest.h>

#include <cmath>

#include "common/group_support.h"
#include "selection/engine_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

using test::kStorageModes;

int flagCount(const SelectionState& s) {
  return static_cast<int>(std::count(s.sweep.flags, s.sweep.flags + s.sweep.sscpOrder, '1'));
}

double sseOf(const test::CaseData& data, GroupSettings gs, const std::vector<int>& effects) {
  Group g(data, gs);
  EXPECT_EQ(g.prepare(), 0);
  EXPECT_EQ(g.enter(effects), 0);
  return g.s().fit.trainSse;
}

// mtcars effect 6 is disp - 100 wt, effect 2 disp and effect 4 wt.
TEST(Engine, AliasedEffectEntersWithoutColumnsAndComesBackWhenItsPartnerLeaves) {
  const auto data = test::readCase("mtcars");
  for (const auto& m : kStorageModes) {
    SCOPED_TRACE(m.name);
    GroupSettings gs;
    gs.full = m.full, gs.store = m.store;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0, 4, 2}), 0);
    SelectionState& s = g.s();
    const double sse = s.fit.trainSse;
    const int swept = s.sweep.sweptColumns;
    ASSERT_EQ(g.enter({6}), 0);
    EXPECT_EQ(s.sweep.effectsInModel, 4);
    EXPECT_EQ(s.sweep.sweptColumns, swept);
    EXPECT_EQ(s.fit.trainSse, sse);
    EXPECT_EQ(s.sweep.flags[s.sweep.firstColumn[6]], '0');

    removeEffect(&s, 2, Removal::kStep);
    EXPECT_EQ(s.sweep.flags[s.sweep.firstColumn[6]], '1');
    EXPECT_EQ(s.sweep.sweptColumns, swept);
    EXPECT_EQ(s.sweep.sweptColumns, flagCount(s));
    EXPECT_EQ(s.sweep.states[2], EffectState::kFree);
    EXPECT_NEAR(s.fit.trainSse, sseOf(data, gs, {0, 4, 6}), 1e-9 * sse);
  }
}

// The rows of an effect entered while a column is aliased carry that column's entries, so
// the column comes back right when its partner leaves later; in a trial removal too, where
// the model is copied into compact matrices.
TEST(Engine, AliasedColumnComesBackRightAfterLaterEntries) {
  const auto data = test::readCase("mtcars");
  for (const auto& m : kStorageModes) {
    SCOPED_TRACE(m.name);
    GroupSettings gs;
    gs.full = m.full, gs.store = m.store, gs.method = kMethodBackward;
    Group g(data, gs), want(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0, 4, 2, 6, 3}), 0);
    SelectionState& s = g.s();
    ASSERT_EQ(want.prepare(), 0);
    ASSERT_EQ(want.enter({0, 4, 6, 3}), 0);
    const double sse = want.s().fit.trainSse;

    saveModelState(&s, 1);
    double value, trialSse;
    ASSERT_EQ(trialRemovalValue(&s, 2, kCritPress, &value, &trialSse), 0);
    EXPECT_NEAR(trialSse, sse, 1e-9 * sse);
    EXPECT_NEAR(value, criterionValue(&want.s(), kCritPress), 1e-9 * value);
    restoreModelState(&s);

    removeEffect(&s, 2, Removal::kStep);
    EXPECT_NEAR(s.fit.trainSse, sse, 1e-9 * sse);
    auto a = g.estimates(), b = want.estimates();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-8 * std::fabs(b[i])) << i;
  }
}

// A column of scale 1e80 has a swept diagonal near 1e-163: it is still swept out when its
// effect leaves.
TEST(Engine, SweptColumnIsSweptOutWhateverItsDiagonal) {
  auto data = test::syntheticCase({1, 1, 1}, 50, 2);
  for (auto& x : data.x) x[1] *= 1e80;
  for (const auto& m : kStorageModes) {
    SCOPED_TRACE(m.name);
    GroupSettings gs;
    gs.full = m.full, gs.store = m.store;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0, 1, 2}), 0);
    SelectionState& s = g.s();
    const int64_t c = s.sweep.firstColumn[1];
    ASSERT_EQ(s.sweep.flags[c], '1');
    ASSERT_LT(s.sweep.swept[pk(c, c)], 1e-150);
    removeEffect(&s, 1, Removal::kStep);
    EXPECT_EQ(s.sweep.sweptColumns, 2);
    EXPECT_EQ(s.sweep.sweptColumns, flagCount(s));
    EXPECT_NEAR(s.fit.trainSse, sseOf(data, gs, {0, 2}), 1e-9 * s.fit.trainSse);
  }
}

TEST(Engine, PivotRule) {
  struct Row {
    char flag;
    double reference, accumulated, want;
  } rows[] = {
      {'0', 4.0, 4.0, 4e-8},                      // relative to the reference sum of squares
      {'0', 0.0, 0.0, 1e-8},                      // no positive reference: absolute
      {'0', 1e-170, 1e-170, 1e-178},              // at any scale
      {'0', 4.0, 4e6, 4e-6},                      // never below rounding of the accumulated sums
      {'0', -1e-3, 1e12, 1.0},                    // a centred sum rounding left negative
      {'1', 4.0, 4.0, -4.9406564584124654e-324},  // sweeping out always goes through
  };
  for (const Row& r : rows)
    EXPECT_EQ(pivotTolerance(r.flag, r.reference, r.accumulated), r.want) << r.reference;
}

// With an intercept a column is judged by what the model leaves of its sum of squares about its
// mean: a shift far above the spread aliases nothing more, a column that keeps a small share
// of its spread (x3) enters, and one that is a sum of others up to rounding (x4) stays out.
// Summed plainly the shift costs digits (the full mode's sweep keeps the most of them); summed
// about centres, none, whichever way the crossproducts are kept.
TEST(Engine, ShiftFarFromZeroChangesNoAliasing) {
  test::CaseData base = test::syntheticCase({1, 1, 1, 1, 1}, 40, 7);
  for (auto& x : base.x) x[3] = x[1] + 1e-2 * x[3];
  struct Way {
    test::StorageMode mode;
    bool centres;
    double tolerance;
  } ways[] = {{kStorageModes[0], false, 1e-3},
              {kStorageModes[0], true, 1e-9},
              {kStorageModes[1], true, 1e-9},
              {kStorageModes[2], true, 1e-9}};
  for (const Way& w : ways) {
    std::vector<double> reference;
    for (double shift : {0.0, 1e4}) {
      SCOPED_TRACE(std::string(w.mode.name) + (w.centres ? " centred" : " plain") + " shift " +
                   std::to_string(shift));
      test::CaseData data = base;
      for (auto& x : data.x) {
        x[1] += shift, x[3] += shift;
        x[4] = x[1] + x[2];
      }
      GroupSettings gs;
      gs.full = w.mode.full, gs.store = w.mode.store, gs.centres = w.centres;
      Group g(data, gs);
      ASSERT_EQ(g.prepare(), 0);
      ASSERT_EQ(g.enter({0, 1, 2, 3, 4}), 0);
      EXPECT_EQ(g.flagsText(), "011110");
      const std::vector<double> b = g.estimates();
      if (shift == 0) reference = b;
      for (size_t j = 1; j < 4; ++j)
        EXPECT_NEAR(b[j], reference[j], w.tolerance * std::fabs(reference[j]));
    }
  }
}

TEST(Engine, IncrementalRemovalClosesUpTheMatrices) {
  const auto data = test::readCase("swiss");
  for (bool store : {false, true}) {
    SCOPED_TRACE(store);
    GroupSettings gs;
    gs.full = false, gs.store = store;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0, 3, 4, 5, 1}), 0);
    SelectionState& s = g.s();
    EXPECT_EQ(s.sweep.sscpOrder, 6);
    removeEffect(&s, 1, Removal::kStep);  // the last entered: nothing moves
    EXPECT_EQ(s.sweep.sscpOrder, 5);
    EXPECT_EQ(s.sweep.firstColumn[5], 4);
    removeEffect(&s, 3, Removal::kStep);  // a middle one: later blocks move down
    EXPECT_EQ(s.sweep.sscpOrder, 4);
    EXPECT_EQ(s.sweep.firstColumn[4], 2);
    EXPECT_EQ(s.sweep.firstColumn[5], 3);
    Group fresh(data, gs);
    ASSERT_EQ(fresh.prepare(), 0);
    ASSERT_EQ(fresh.enter({0, 4, 5}), 0);
    auto a = g.estimates(), b = fresh.estimates();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-9 * std::fabs(b[i]));
  }
}

TEST(Engine, FoldFlagsFollowTheMainModel) {
  const auto data = test::readCase("diabetes_cv");
  for (const auto& m : kStorageModes) {
    SCOPED_TRACE(m.name);
    GroupSettings gs;
    gs.weight = true, gs.kfold = true, gs.folds = 5, gs.full = m.full, gs.store = m.store;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    SelectionState& s = g.s();
    auto check = [&] {
      for (int f = 0; f < s.folds; ++f)
        EXPECT_EQ(std::string(s.foldRecs[f].flags, s.foldRecs[f].flags + s.sweep.sscpOrder),
                  g.flagsText());
    };
    ASSERT_EQ(g.enter({0, 3, 9, 1, 2}), 0);
    check();
    removeEffect(&s, 9, Removal::kStep);
    check();
    ASSERT_EQ(g.enter({9, 4}), 0);
    removeEffect(&s, 1, Removal::kStep);
    check();
  }
}

// Effect 3 contains effect 1 and effect 2 (its prerequisites).
TEST(Engine, HierarchyCountsMoveOnRealEntriesOnly) {
  const auto data = test::syntheticCase({1, 1, 1, 1}, 40, 9);
  const int32_t prereqCount[] = {0, 0, 0, 2}, depCount[] = {0, 1, 1, 0};
  const int32_t p3[] = {1, 2}, d1[] = {3}, d2[] = {3};
  const int32_t* prereq[] = {nullptr, nullptr, nullptr, p3};
  const int32_t* dep[] = {nullptr, d1, d2, nullptr};
  GroupSettings gs;
  gs.method = kMethodStepwise, gs.generalSearch = true;
  Group g(data, gs);
  SelectionOptions& o = g.options();
  o.hierarchy = 1;
  CandidateData& c = g.vsf().group.candidates;
  c.prerequisiteCount = prereqCount, c.prerequisites = prereq;
  c.dependantCount = depCount, c.dependants = dep;
  ASSERT_EQ(g.prepare(), 0);
  SelectionState& s = g.s();
  EXPECT_EQ(s.sweep.missingPrerequisites[3], 2);
  ASSERT_EQ(g.enter({0, 1}), 0);
  EXPECT_EQ(s.sweep.missingPrerequisites[3], 1);
  saveModelState(&s, 0);
  double value, sse;
  int32_t df;
  ASSERT_EQ(trialEntryValue(&s, 2, kCritSbc, &value, &sse, &df), 0);
  restoreModelState(&s);
  EXPECT_EQ(s.sweep.missingPrerequisites[3], 1);
  ASSERT_EQ(g.enter({2, 3}), 0);
  EXPECT_EQ(s.sweep.missingPrerequisites[3], 0);
  EXPECT_EQ(s.sweep.absentDependants[1], 0);  // its one dependant is in
  removeEffect(&s, 2, Removal::kStep);
  EXPECT_EQ(s.sweep.missingPrerequisites[3], 1);
  removeEffect(&s, 1, Removal::kTrial);  // a trial removal counts nothing
  EXPECT_EQ(s.sweep.missingPrerequisites[3], 1);
}

TEST(Engine, CandidateSseEqualsARealEntry) {
  const auto data = test::readCase("mtcars");
  GroupSettings gs;
  Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_TRUE(g.s().sweep.blockScoring);
  ASSERT_EQ(g.enter({0, 4, 2}), 0);
  for (int k : {1, 3, 5, 6, 7}) {
    SCOPED_TRACE(k);
    double sse;
    int32_t df;
    candidateEffectSse(&g.s(), k, &sse, &df);
    Group real(data, gs);
    ASSERT_EQ(real.prepare(), 0);
    ASSERT_EQ(real.enter({0, 4, 2, k}), 0);
    EXPECT_NEAR(sse, real.s().fit.trainSse, 1e-9 * sse);
    EXPECT_EQ(df, real.s().sweep.sweptColumns - g.s().sweep.sweptColumns);
  }
}

// An unswept pivot is copied out and cleared inside the matrix; a swept one is only marked.
TEST(Engine, SscpSweepColumnClearsOnlyUnsweptPivotsInsideTheMatrix) {
  // Order 3 with a guard element after the triangle; column 2 is a copy of column 1.
  double a[7] = {4, 2, 3, 1, 3, 3, 99};
  char flags[4] = "000";
  double work[3], record[9] = {};
  EXPECT_EQ(sscpSweepColumn(a, 1, 3, flags, work, 1e-8, record, 3), 1);
  EXPECT_EQ(record[1 + 1 * 3], 1.0);
  const double kept[3] = {a[3], a[4], a[5]};
  EXPECT_EQ(sscpSweepColumn(a, 2, 3, flags, work, 1e-8, record, 3), 0);
  EXPECT_EQ(flags[2], '0');
  EXPECT_EQ(a[3], 0.0);  // row 2, columns 0 and 1, cleared
  EXPECT_EQ(a[4], 0.0);
  EXPECT_EQ(a[5], kept[2]);  // the diagonal stays
  EXPECT_EQ(record[2 + 0 * 3], kept[0]);
  EXPECT_EQ(a[6], 99.0);  // nothing written past the matrix
}

}  // namespace
}  // namespace vsf
