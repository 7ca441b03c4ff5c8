// zlev over the BY groups of CSV data sets (tests/data/levelize, made by
// tests/reference/levelize_data.py): the statuses that skip a group with their messages and
// step codes, the level combinations of the effects, the column counts and the release.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "frame/phases.h"
#include "frame/state.h"
#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;
using Messages = std::vector<std::pair<int, int>>;
using Levels = std::vector<std::string>;

nlohmann::json fixture() {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/levelize/groups_levels.json");
  return nlohmann::json::parse(in);
}

// One BY group as the step driver sees it.
struct Group {
  int status;
  int stepCode;
  Messages messages;
};

// Runs the driver's levelization step over every group of the harness's data set.
std::vector<Group> runGroups(LevHarness& h, VsfState* state) {
  std::vector<Group> out;
  while (h.nextGroup()) {
    h.messages.clear();
    int status = levelizeByGroup(state);
    out.push_back({status, state->stepCode, h.messageNumbers()});
  }
  return out;
}

// The model c n c*n n(c) x over groups.csv with FREQ f.
void classModel(LevHarness& h, bool missing = false) {
  h.addClass("c").missingLevel = missing;
  h.addClass("n").missingLevel = missing;
  h.addModelVar("x");
  h.ctx.frequency = h.extraVar("f");
  h.addEffect({0});
  h.addEffect({1});
  h.addEffect({0, 1});
  h.addEffect({1}, {0});
  h.addEffect({}, {}, {0});
}

// Group 2 has no usable row (each misses x): it is skipped with (848, 144) and step code 108.
// A failing constructed-effect set-up (status 6) raises the step code to 112, reports its own
// failure and skips only its group.
TEST(Levelize, GroupsThatCannotBeLevelizedAreSkipped) {
  struct Case {
    const char* what;
    bool failFirstSetUp;
    std::vector<int> statuses, codes;
  } cases[] = {
      {"no levels in group 2", false, {0, 1, 0}, {0, 108, 108}},
      {"the set-up of group 1 fails", true, {6, 1, 0}, {112, 112, 112}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto state = std::make_unique<VsfState>();
    LevHarness h("groups", {"g"});
    classModel(h);
    h.build();
    h.useContext(&state->lev);
    state->lev.frequency = h.ctx.frequency;
    static int calls;
    calls = 0;
    if (c.failFirstSetUp) levDataPass = [](ZLevCtx*) { return ++calls == 1 ? 3 : 0; };
    std::vector<Group> groups = runGroups(h, state.get());
    levDataPass = &zdatapass;
    ASSERT_EQ(groups.size(), 3u);
    for (size_t g = 0; g < 3; ++g) {
      EXPECT_EQ(groups[g].status, c.statuses[g]) << g;
      EXPECT_EQ(groups[g].stepCode, c.codes[g]) << g;
    }
    EXPECT_TRUE(groups[0].messages.empty());
    EXPECT_EQ(groups[1].messages, (Messages{{848, 144}}));
    EXPECT_TRUE(groups[2].messages.empty());
  }
}

// A continuous variable that has no value in a group cannot be centred: the group is skipped
// (status 1) instead of being judged by the centre of the group before it.
TEST(Levelize, ContinuousVariableWithoutValuesSkipsItsGroup) {
  auto state = std::make_unique<VsfState>();
  LevHarness h("groups", {"g"});
  h.addModelVar("x");
  h.addEffect({}, {}, {0});
  h.build();
  h.useContext(&state->lev);
  std::vector<double> centres, halves;
  std::vector<int> statuses, states;
  while (h.nextGroup()) {
    statuses.push_back(levelizeByGroup(state.get()));
    centres.push_back(h.design.modelVars[0].center);
    halves.push_back(h.design.modelVars[0].halfRange);
    states.push_back(h.design.modelVars[0].levelCount);
  }
  EXPECT_EQ(statuses, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(states, (std::vector<int>{2, 0, 2}));  // varying, no value seen, varying
  EXPECT_EQ(state->stepCode, 108);
  // x: -1 .. 4 in group 1, none in group 2, 5 .. 7 in group 3.
  EXPECT_EQ(centres[0], 1.5);
  EXPECT_EQ(halves[0], 2.5);
  EXPECT_TRUE(znotfinite(centres[1]));
  EXPECT_EQ(centres[2], 6.0);
  EXPECT_EQ(halves[2], 1.0);
}

// REF='B' by value: group 2 has no B. The group is skipped with (172, 394) and the step code
// 112; group 3 resolves B again from the saved request.
TEST(Levelize, ReferenceValueMissingFromAGroup) {
  for (const char* ref : {"B", " B "}) {
    SCOPED_TRACE(ref);
    auto state = std::make_unique<VsfState>();
    LevHarness h("ref", {"g"});
    h.addClass("r");
    h.addEffect({0});
    h.build();
    h.useContext(&state->lev);
    LevelVar& r = h.design.classVars[0];
    r.refIndex = -3;
    r.refText = const_cast<char*>(ref);
    std::vector<Levels> levels;
    std::vector<int> refs;
    std::vector<Group> groups;
    while (h.nextGroup()) {
      h.messages.clear();
      int status = levelizeByGroup(state.get());
      groups.push_back({status, state->stepCode, h.messageNumbers()});
      levels.push_back(h.levels(0));
      refs.push_back(r.refIndex);
    }
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].status, 0);
    EXPECT_EQ(levels[0], (Levels{"A", "C", "B"}));  // moved last
    EXPECT_EQ(refs[0], 2);
    EXPECT_EQ(groups[1].status, 2);
    EXPECT_EQ(groups[1].messages, (Messages{{172, 394}}));
    EXPECT_EQ(groups[1].stepCode, 112);
    EXPECT_EQ(h.design.buildCode, 112);
    EXPECT_EQ(groups[2].status, 0);
    EXPECT_EQ(levels[2], (Levels{"C", "B"}));
    EXPECT_EQ(refs[2], 1);
    EXPECT_TRUE(groups[2].messages.empty());
  }
}

TEST(Levelize, MultimemberMembersMustAgreeOnMissing) {
  LevHarness h("groups", {"g"});
  h.addClass("c").missingLevel = 1;
  h.addClass("n");
  h.build();
  ZDesignVar mm;
  mm.name = const_cast<char*>("mm");
  mm.nameLength = 2;
  mm.type = effkind::kMultimember;
  int32_t members[] = {0, 1};
  mm.classCount = 2;
  mm.classMembers = members;
  h.design.designVarCount = 1;
  h.design.designVars = &mm;
  ASSERT_TRUE(h.nextGroup());
  EXPECT_TRUE(test::endsStep([&] { h.levelize(); }, step::kStatement));
  EXPECT_EQ(h.messageNumbers(), (Messages{{174, 85}}));
  h.design.designVarCount = 0;
}

std::vector<std::vector<int32_t>> table(const ZEffect& z) {
  std::vector<std::vector<int32_t>> rows;
  for (int r = 0; r < z.combinationCount; ++r)
    rows.emplace_back(z.combinations + r * z.keyCount, z.combinations + (r + 1) * z.keyCount);
  return rows;
}

// The level combinations each effect meets, in key order; the column counts from them.
TEST(Levelize, LevelCombinationsAndColumnsOfEachGroup) {
  nlohmann::json fx = fixture();
  for (const char* option : {"plain", "missing"}) {
    SCOPED_TRACE(option);
    LevHarness h("groups", {"g"});
    classModel(h, std::string(option) == "missing");
    h.build();
    for (const auto& g : fx[option]) {
      ASSERT_TRUE(h.nextGroup());
      int status = h.levelize();
      if (g["c"].empty()) {
        EXPECT_EQ(status, 1);
        continue;
      }
      ASSERT_EQ(status, 0);
      std::vector<std::vector<int32_t>> cn, nc;
      for (const auto& p : g["cn"]) {
        cn.push_back({p[0].get<int32_t>(), p[1].get<int32_t>()});
      }
      const ZDesign& d = h.design;
      const ZEffect& crossed = d.effects[3];
      const ZEffect& nested = d.effects[4];
      EXPECT_EQ(table(crossed), cn);
      // n(c): keyed nesting first, laid out crossed first: the pairs (n, c) in (c, n) order.
      for (auto& p : cn) nc.push_back({p[1], p[0]});
      EXPECT_EQ(table(nested), nc);
      EXPECT_EQ(d.effects[1].combinationCount, static_cast<int>(g["c"].size()));
      EXPECT_EQ(d.effects[2].combinationCount, static_cast<int>(g["n"].size()));
      EXPECT_EQ(d.effects[0].combinationCount, 1);
      EXPECT_EQ(d.effects[5].combinationCount, 1);
      // Columns: one per combination met.
      int total = 0;
      for (int e = 0; e < d.effectCount; ++e) {
        EXPECT_EQ(d.effects[e].startColumn, total);
        EXPECT_EQ(d.effects[e].columnCount, d.effects[e].combinationCount);
        EXPECT_EQ(d.effects[e].levelTable, d.effects[e].combinations);
        total += d.effects[e].columnCount;
      }
      EXPECT_EQ(d.columnCount, total);
      // Multipliers are cleared so that the observation reader searches from the last row.
      EXPECT_EQ(crossed.multipliers, nullptr);
    }
  }
}

TEST(Levelize, FullRankColumnCounts) {
  struct Case {
    bool noIntercept;
    std::vector<int> columns;  // c n c*n n(c) x, after the intercept when there is one
  } cases[] = {
      {false, {1, 2, 3, 6, 9, 1}},
      {true, {3, 3, 6, 9, 1}},  // the first crossed variable of the first effect: all levels
  };
  for (const Case& c : cases) {
    LevHarness h("groups", {"g"});
    classModel(h);
    h.build(c.noIntercept);
    h.design.flags |= dflag::kFullRank;
    ASSERT_TRUE(h.nextGroup());
    ASSERT_EQ(h.levelize(), 0);  // group 1: c has 3 levels, n 4
    std::vector<int> got;
    for (int e = 0; e < h.design.effectCount; ++e) got.push_back(h.design.effects[e].columnCount);
    EXPECT_EQ(got, c.columns);
    EXPECT_EQ(h.design.effects[0].combinations, nullptr);  // no combination pass
  }
}

TEST(Levelize, ReleaseOfAGroup) {
  LevHarness h("groups", {"g"});
  classModel(h);
  h.build();
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  ASSERT_NE(h.ctx.levelIndexes, nullptr);
  EXPECT_EQ(h.ctx.largestLevelCount, 4);
  EXPECT_EQ(h.ctx.sscp.responseCount, 0);
  EXPECT_EQ(h.ctx.sscp.obsUsable, &zobsusable);
  EXPECT_EQ(zlevfree(&h.ctx, -1), 0);
  const ZDesign& d = h.design;
  EXPECT_EQ(d.columnCount, 0);
  for (int i = 0; i < d.classCount; ++i) {
    EXPECT_EQ(d.classVars[i].levelCount, 0);
    EXPECT_EQ(d.classVars[i].levelTexts, nullptr);
  }
  EXPECT_EQ(d.modelVars[0].levelCount, 0);
  for (int e = 0; e < d.effectCount; ++e) {
    EXPECT_EQ(d.effects[e].combinations, nullptr);
    EXPECT_EQ(d.effects[e].levelTable, nullptr);
  }
  EXPECT_EQ(h.ctx.levelIndexes, nullptr);
  EXPECT_EQ(h.ctx.values, nullptr);
  EXPECT_EQ(h.ctx.formatted, nullptr);
  EXPECT_EQ(h.ctx.start, nullptr);
  EXPECT_EQ(h.ctx.fetch, nullptr);
  EXPECT_EQ(h.alloc.allocator, nullptr);
  EXPECT_EQ(h.alloc.active, -1);
  EXPECT_EQ(h.ctx.largestLevelCount, 0);
  // The next group levelizes from scratch on a fresh heap.
  EXPECT_TRUE(h.nextGroup());
  EXPECT_EQ(h.levelize(), 1);
  EXPECT_TRUE(h.nextGroup());
  EXPECT_EQ(h.levelize(), 0);
  EXPECT_EQ(h.levels(0), (Levels{"a", "b"}));
}

TEST(Levelize, SingleLevelNote) {
  LevHarness h("ref", {"g"});
  h.addClass("r");
  h.addClass("g");
  h.build();
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  h.messages.clear();
  EXPECT_EQ(zsinglelvl(&h.ctx), 0);
  EXPECT_EQ(h.messageNumbers(), (Messages{{172, 398}}));  // g has one level in its group
  EXPECT_EQ(h.messages[0].args, (std::vector<std::string>{"g"}));
}

}  // namespace
}  // namespace vsf
