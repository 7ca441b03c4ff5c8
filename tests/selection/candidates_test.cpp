// The candidate table: one entry per effect, or one per level combination of the split CLASS
// variables within an effect, whose column lists cover the effect's columns once.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "common/test_host.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

// A design of the intercept, x, A*B (A split, 3 levels; B 3 levels; both effect coded with
// the last level the reference: 2 x 2 columns) and C (split, 4 levels: 3 columns).
struct Design {
  LevelVar classes[3];
  int32_t abKey[4] = {0, 1, 0, 0};
  int32_t cKey[2] = {2, 0};
  ZEffect effects[4];
  ZDesign d;
  std::unique_ptr<VsfState> state = std::make_unique<VsfState>();
  HostPool* pool = nullptr;

  Design() {
    test::ensureHost();
    const int levels[3] = {3, 3, 4};
    for (int i = 0; i < 3; ++i) {
      classes[i].levelCount = levels[i];
      classes[i].coding = kCodingEffect;
      classes[i].refIndex = levels[i] - 1;
    }
    classes[0].split = classes[2].split = 1;
    const int columns[4] = {1, 1, 4, 3};
    for (int e = 0; e < 4; ++e) effects[e].columnCount = effects[e].classColumnCount = columns[e];
    effects[2].crossCount = effects[2].keyCount = 2;
    effects[2].key = effects[2].cross = abKey;
    effects[3].crossCount = effects[3].keyCount = 1;
    effects[3].key = effects[3].cross = cKey;
    d.flags = dflag::kFullRank;
    d.classCount = 3;
    d.classVars = classes;
    d.effectCount = 4;
    d.effects = effects;
    d.columnCount = 9;
    pool = kernel().poolCreate("candidate pool", kPoolPlain);
    state->lev.design = &d;
    state->settings.options.forcedEffects = 1;
  }
  ~Design() { kernel().poolDestroy(pool); }
};

TEST(CandidateTable, OneEntryPerEffectWithoutSplitVariables) {
  Design t;
  for (LevelVar& v : t.classes) v.split = 0;
  ASSERT_EQ(buildCandidateTable(engineOptionsOf(t.state->settings), t.state->group,
                                t.state->lev.design, t.pool),
            0);
  const auto& table = *t.state->group.candidates.table;
  ASSERT_EQ(t.state->group.candidates.count, 4);
  for (int e = 0; e < 4; ++e) {
    EXPECT_EQ(table[e].effect, e);
    EXPECT_EQ(table[e].columns, t.effects[e].columnCount);
    EXPECT_EQ(table[e].splitCount, 0);
    EXPECT_EQ(table[e].columnMap, nullptr);
  }
  EXPECT_EQ(t.state->group.firstCandidate, 1);
  t.effects[3].columnCount = 2;  // a BY group with a level less
  refreshCandidateTable(t.state->group, t.state->lev.design);
  EXPECT_EQ(table[3].columns, 2);

  ZDesign empty;
  t.state->lev.design = &empty;
  EXPECT_EQ(buildCandidateTable(engineOptionsOf(t.state->settings), t.state->group,
                                t.state->lev.design, t.pool),
            -2);
  EXPECT_EQ(t.state->group.candidates.table, nullptr);
}

TEST(CandidateTable, SplitVariablesGiveOneEntryPerLevel) {
  Design t;
  ASSERT_EQ(buildParmCandidateTable(engineOptionsOf(t.state->settings), t.state->group,
                                    t.state->lev.design, t.pool),
            0);
  const auto& table = *t.state->group.candidates.table;
  // The intercept, x, A*B by A's two coded levels, C by its three.
  ASSERT_EQ(table.size(), 7u);
  struct Want {
    int effect, columns, level;
    std::vector<int32_t> list;
  };
  const Want want[] = {
      {2, 2, 0, {0, 1}}, {2, 2, 1, {2, 3}}, {3, 1, 0, {0}}, {3, 1, 1, {1}}, {3, 1, 2, {2}}};
  for (int i = 0; i < 5; ++i) {
    const CandidateEntry& c = table[static_cast<size_t>(i + 2)];
    const Want& w = want[i];
    EXPECT_EQ(c.effect, w.effect);
    EXPECT_EQ(c.splitCount, 1);
    EXPECT_EQ(c.columns, w.columns);
    EXPECT_EQ(c.splitVars[0], w.effect == 2 ? 0 : 2);
    EXPECT_EQ(c.levels[0], w.level);
    EXPECT_EQ(std::vector<int32_t>(c.columnMap, c.columnMap + c.columns), w.list);
  }
  EXPECT_EQ(t.state->group.firstCandidate, 1);

  // An effect without columns (a one-level variable under a full-rank coding) has no entry
  // and is named as left out; the others keep theirs.
  t.effects[3].columnCount = 0;
  std::vector<int32_t> leftOut;
  EXPECT_EQ(buildParmCandidateTable(engineOptionsOf(t.state->settings), t.state->group,
                                    t.state->lev.design, t.pool, &leftOut),
            0);
  EXPECT_EQ(leftOut, std::vector<int32_t>{3});
  EXPECT_EQ(t.state->group.candidates.table->size(), 4u);
  EXPECT_EQ(t.state->group.candidates.count, 4);
}

// Without a full-rank parametrization each level met is a column: C's three levels give three
// entries of one column each, whatever its reference level, and A*B's cells are the
// combinations met, grouped by A's level.
TEST(CandidateTable, SplitLevelsOfALessThanFullRankDesign) {
  Design t;
  t.d.flags = 0;
  int32_t cLevels[3] = {0, 1, 2};
  int32_t abLevels[8] = {0, 0, 0, 2, 1, 1, 2, 0};  // (A, B) met, in column order
  t.effects[2].combinationCount = t.effects[2].columnCount = t.effects[2].classColumnCount = 4;
  t.effects[2].combinations = abLevels;
  t.effects[3].combinationCount = t.effects[3].columnCount = t.effects[3].classColumnCount = 3;
  t.effects[3].combinations = cLevels;
  t.d.columnCount = 9;
  ASSERT_EQ(buildParmCandidateTable(engineOptionsOf(t.state->settings), t.state->group,
                                    t.state->lev.design, t.pool),
            0);
  const auto& table = *t.state->group.candidates.table;
  struct Want {
    int effect, level;
    std::vector<int32_t> list;
  };
  const Want want[] = {{2, 0, {0, 1}}, {2, 1, {2}}, {2, 2, {3}},
                       {3, 0, {0}},    {3, 1, {1}}, {3, 2, {2}}};
  ASSERT_EQ(table.size(), 8u);
  for (int i = 0; i < 6; ++i) {
    const CandidateEntry& c = table[static_cast<size_t>(i + 2)];
    EXPECT_EQ(c.effect, want[i].effect) << i;
    EXPECT_EQ(c.levels[0], want[i].level) << i;
    EXPECT_EQ(std::vector<int32_t>(c.columnMap, c.columnMap + c.columns), want[i].list) << i;
  }
}

}  // namespace
}  // namespace vsf
