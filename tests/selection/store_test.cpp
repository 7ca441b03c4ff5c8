// The per-effect store of the incremental mode: its growth and its fold rows.
#include <gtest/gtest.h>

#include <cmath>

#include "common/group_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

TEST(Store, GrowsByDoublingOrByWhatTheEffectNeeds) {
  struct Row {
    std::vector<int> effects;  // effect 2 is the one that grows the store
    int want;
  } rows[] = {
      {{1, 2, 25, 20}, 38},  // 3 rows used + 25 + 10
      {{1, 2, 9, 30}, 20},   // twice 10
      {{1, 2, 25, 2}, 31},   // at most p + 1
  };
  for (const Row& r : rows) {
    const auto data = test::syntheticCase(r.effects, 60, 2);
    GroupSettings gs;
    gs.full = false, gs.store = true;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    SelectionState& s = g.s();
    ASSERT_EQ(growEffectStore(&s, 10, s.layout.paramCount + 1), 0);
    ASSERT_EQ(g.enter({0, 1}), 0);
    ASSERT_EQ(s.sweep.storeRowsUsed, 4);
    s.sweep.storeRowsUsed = 3;  // as if effect 1 had two columns less
    s.sweep.storeSlot[1] = 1;
    ASSERT_EQ(g.enter({2}), 0);
    EXPECT_EQ(s.sweep.storeRowCapacity, r.want);
  }
}

TEST(Store, AnEffectKeepsItsRowsAfterItLeaves) {
  const auto data = test::readCase("swiss");
  GroupSettings gs;
  gs.full = false, gs.store = true;
  Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_EQ(g.enter({0, 3, 4}), 0);
  SelectionState& s = g.s();
  const int used = s.sweep.storeRowsUsed, slot = s.sweep.storeSlot[3];
  removeEffect(&s, 3, Removal::kStep);
  ASSERT_EQ(g.enter({3}), 0);
  EXPECT_EQ(s.sweep.storeRowsUsed, used);
  EXPECT_EQ(s.sweep.storeSlot[3], slot);
}

// Each fold's store holds the sums of the rows outside the fold.
TEST(Store, FoldRowsAreTheMainRowsWithoutTheFold) {
  const auto data = test::readCase("diabetes_cv");
  GroupSettings gs;
  gs.weight = true, gs.full = false, gs.store = true, gs.kfold = true, gs.folds = 5;
  Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_EQ(g.enter({0, 3, 1}), 0);
  const SelectionState& s = g.s();
  const int64_t n = static_cast<int64_t>(s.sweep.storeRowsUsed) * (s.layout.paramCount + 1);
  for (int f = 0; f < 5; ++f) {
    test::CaseData rest = data;
    rest.y.clear(), rest.w.clear(), rest.f.clear(), rest.x.clear();
    rest.fold.clear(), rest.role.clear();
    for (size_t i = 0; i < data.rows(); ++i)
      if (data.fold[i] != f) {
        rest.y.push_back(data.y[i]), rest.w.push_back(data.w[i]), rest.f.push_back(1);
        rest.x.push_back(data.x[i]), rest.fold.push_back(0), rest.role.push_back(1);
      }
    GroupSettings one = gs;
    one.kfold = false, one.folds = 0;
    Group without(rest, one);
    ASSERT_EQ(without.prepare(), 0);
    ASSERT_EQ(without.enter({0, 3, 1}), 0);
    for (int64_t i = 0; i < n; ++i)
      EXPECT_NEAR(s.foldRecs[f].store[i], without.s().sweep.store[i],
                  1e-9 * std::fmax(1, std::fabs(without.s().sweep.store[i])))
          << "fold " << f << " value " << i;
  }
}

// A row with a missing value adds nothing to the store rows, nor to the crossproducts with the
// entering column's residual, as if it had not been stored.
TEST(Store, ARowWithAMissingValueAddsNothing) {
  test::CaseData data = test::syntheticCase({1, 1, 1, 3, 1}, 40, 4), without = data;
  data.x[7][4] = missingValue('.');
  without.y.erase(without.y.begin() + 7), without.x.erase(without.x.begin() + 7);
  for (auto* v : {&without.w, &without.f}) v->erase(v->begin() + 7);
  for (auto* v : {&without.fold, &without.role}) v->erase(v->begin() + 7);
  GroupSettings gs;
  gs.full = false, gs.store = true;
  Group g(data, gs), h(without, gs);
  std::vector<double> cross[2];
  for (Group* k : {&g, &h}) {
    ASSERT_EQ(k->prepare(), 0);
    ASSERT_EQ(k->enter({0, 2}), 0);
    SelectionState& s = k->s();
    const RunningScores* r = nullptr;
    ASSERT_EQ(currentScores(&s, &r), 0);
    ASSERT_TRUE(prepareScoreUpdate(&s, 1));
    ASSERT_EQ(growEffectCrossproducts(&s, 1), 0);
    cross[k == &h].assign(r->cross, r->cross + s.layout.paramCount + 1);
  }
  const int64_t n = int64_t{g.s().sweep.storeRowsUsed} * (g.s().layout.paramCount + 1);
  for (int64_t i = 0; i < n; ++i) EXPECT_EQ(g.s().sweep.store[i], h.s().sweep.store[i]) << i;
  EXPECT_EQ(cross[0], cross[1]);
}

}  // namespace
}  // namespace vsf
