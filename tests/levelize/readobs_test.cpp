// The observation reader: status words, decoded levels, scaled values, effect products and
// level combinations of the rows of tests/data/levelize/readobs.csv after levelization, and
// the effect check of constructed members.
#include <gtest/gtest.h>

#include <cstring>

#include "levelize/lev_harness.h"
#include "levelize/levelize.h"

namespace vsf {
namespace {

using test::LevHarness;

// What zreadobs leaves for the design row and the data pass.
struct Read {
  uint32_t status;
  std::vector<int32_t> levels;   // c, d
  std::vector<double> values;    // x, z scaled
  std::vector<double> products;  // per effect
  std::vector<int32_t> combos;   // per effect
  double y, w, f;
};

// Response y; weight w1 (and w2); frequency f.
void readobsExtras(LevHarness& h, bool twoWeights) {
  h.ctx.responseCount = 1;
  h.ctx.responses = h.extraVar("y");
  static LevelVar weights[2];
  weights[0] = *h.extraVar("w1");
  weights[1] = *h.extraVar("w2");
  h.ctx.weights = weights;
  h.ctx.weightCount = twoWeights ? 2 : 1;
  h.ctx.frequency = h.extraVar("f");
}

// CLASS variables c, d and model variables x, z.
void addReadobsVars(LevHarness& h) {
  h.addClass("c");
  h.addClass("d");
  h.addModelVar("x");
  h.addModelVar("z");
}

// Model c d c*d x x*z; response y; weight w1 (and w2); frequency f.
void readobsModel(LevHarness& h, bool twoWeights = false) {
  addReadobsVars(h);
  h.addEffect({0});
  h.addEffect({1});
  h.addEffect({0, 1});
  h.addEffect({}, {}, {0});
  h.addEffect({}, {}, {0, 1});
  h.build();
  readobsExtras(h, twoWeights);
}

std::vector<Read> readAll(LevHarness& h) {
  std::vector<Read> out;
  ZLevCtx& ctx = h.ctx;
  ctx.start(&ctx);
  while (ctx.next(&ctx)) {
    Read r{};
    r.status = zreadobs(&ctx, &r.y, &r.w, &r.f);
    if (h.design.classCount > 0) r.levels.assign(ctx.levelIndexes, ctx.levelIndexes + 2);
    r.values.assign(ctx.values, ctx.values + 2);
    for (int e = 0; e < h.design.effectCount; ++e) {
      r.products.push_back(h.design.results[e].product);
      r.combos.push_back(h.design.results[e].combination);
    }
    out.push_back(r);
  }
  return out;
}

// Levelizes the first group and reads it; `general` reads through another fetch routine,
// which keeps zreadobs off its one-loop road.
std::vector<Read> levelizeAndRead(LevHarness& h, bool general) {
  if (!h.nextGroup() || h.levelize() != 0) {
    ADD_FAILURE() << "levelization failed";
    return {};
  }
  if (general)
    h.ctx.fetch = [](ZLevCtx* c, const char* spec, const FetchTargets& to) {
      return zlevFetch(c, spec, to);
    };
  return readAll(h);
}

// Two roads read the row alike: status, levels, and every number bit for bit.
void expectSameRead(const Read& a, const Read& b) {
  auto bits = [](double x) {
    uint64_t u;
    std::memcpy(&u, &x, 8);
    return u;
  };
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.levels, b.levels);
  for (size_t k = 0; k < a.values.size(); ++k) EXPECT_EQ(bits(a.values[k]), bits(b.values[k]));
  for (size_t k = 0; k < a.products.size(); ++k)
    EXPECT_EQ(bits(a.products[k]), bits(b.products[k]));
  EXPECT_EQ(a.combos, b.combos);
  EXPECT_EQ(bits(a.y), bits(b.y));
  EXPECT_EQ(bits(a.w), bits(b.w));
  EXPECT_EQ(bits(a.f), bits(b.f));
}

TEST(ReadObs, StatusWordsLevelsScalingProductsAndCombinations) {
  LevHarness h("readobs");
  readobsModel(h);
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  // x: 0 .. 4 (centre 2, half-range 2); z: 10 .. 30 (centre 20, half-range 10). Only rows 0
  // and 1 are usable for the combinations: c*d met (a,1) and (b,2).
  EXPECT_EQ(h.design.effects[3].combinationCount, 2);
  std::vector<Read> rows = readAll(h);
  ASSERT_EQ(rows.size(), 10u);
  const double dot = missingValue('.');
  struct Want {
    const char* why;
    uint32_t status;
    std::vector<int32_t> levels;
    std::vector<int32_t> combos;  // Intercept c d c*d x x*z
  } want[] = {
      {"usable", 0, {0, 0}, {0, 0, 0, 0, 0, 0}},
      {"usable", 0, {1, 1}, {0, 1, 1, 1, 0, 0}},
      {"response missing; (a,2) not met", 0x04 | 0x22, {0, 1}, {0, 0, 1, 2, 0, 0}},
      {"c missing", 0x0A | 0x22, {-1, 0}, {0, 2, 0, 2, 0, 0}},
      {"d missing", 0x0A | 0x22, {1, -1}, {0, 1, 2, 2, 0, 0}},
      {"x missing", 0x12 | 0x20, {0, 0}, {0, 0, 0, 0, 0, 0}},
      {"weight 0", 0x01, {0, 0}, {0, 0, 0, 0, 0, 0}},
      {"weight -1", 0x01, {0, 0}, {0, 0, 0, 0, 0, 0}},
      {"frequency 0", 0x01, {0, 0}, {0, 0, 0, 0, 0, 0}},
      {"weight missing", 0x01, {0, 0}, {0, 0, 0, 0, 0, 0}},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(std::to_string(i) + ": " + want[i].why);
    EXPECT_EQ(rows[i].status, want[i].status);
    EXPECT_EQ(rows[i].levels, want[i].levels);
    EXPECT_EQ(rows[i].combos, want[i].combos);
  }
  // Row 0: x = 0, z = 10 scale to -1 and -1; the products of x and x*z; y, w and f as read.
  EXPECT_EQ(rows[0].values, (std::vector<double>{-1, -1}));
  EXPECT_EQ(rows[0].products, (std::vector<double>{1, 1, 1, 1, -1, 1}));
  EXPECT_EQ(rows[0].y, 5);
  EXPECT_EQ(rows[0].w, 2);
  EXPECT_EQ(rows[0].f, 1);
  EXPECT_EQ(rows[1].values, (std::vector<double>{1, 1}));
  // Row 5: x missing makes the products of x and x*z the missing value ".".
  EXPECT_EQ(bitsOf(rows[5].products[4]), bitsOf(dot));
  EXPECT_EQ(bitsOf(rows[5].products[5]), bitsOf(dot));
  EXPECT_EQ(bitsOf(rows[9].w), bitsOf(dot));
}

// A variable whose centre is missing (no value in the group, so zcenter gave none) cannot be
// scaled: its values read as missing, never as a value scaled by a stale centre.
TEST(ReadObs, AVariableWithoutACentreReadsAsMissing) {
  LevHarness h("readobs");
  readobsModel(h);
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  h.design.modelVars[0].center = missingValue('.');
  std::vector<Read> rows = readAll(h);
  EXPECT_EQ(rows[0].status & 0x12u, 0x12u);
  EXPECT_EQ(rows[1].status & 0x12u, 0x12u);
}

TEST(ReadObs, ZeroWeightsAllowedAndTwoWeightVariables) {
  struct Case {
    const char* name;
    uint32_t flags;
    bool twoWeights;
    std::vector<uint32_t> lastFive;  // rows 5 .. 9
    double weightRow0;
  } cases[] = {
      {"zero weight and frequency allowed",
       dflag::kZeroWeights,
       false,
       {0x32, 0, 0x01, 0, 0x01},
       2},
      {"two weights: their mean; one missing makes it missing",
       0,
       true,
       {0x32, 0, 0x01, 0x01, 0x01},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LevHarness h("readobs");
    readobsModel(h, c.twoWeights);
    h.design.flags |= c.flags;
    ASSERT_TRUE(h.nextGroup());
    ASSERT_EQ(h.levelize(), 0);
    std::vector<Read> rows = readAll(h);
    std::vector<uint32_t> got;
    for (size_t i = 5; i < rows.size(); ++i) got.push_back(rows[i].status);
    EXPECT_EQ(got, c.lastFive);
    EXPECT_EQ(rows[0].w, c.weightRow0);
  }
}

TEST(ReadObs, UnscaledValuesAndProviderCallbacks) {
  LevHarness h("readobs");
  readobsModel(h);
  h.design.flags |= dflag::kNoScaling;
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  ZLevCtx& ctx = h.ctx;
  ctx.start(&ctx);
  ASSERT_TRUE(ctx.next(&ctx));
  double y = 0;
  EXPECT_EQ(ctx.sscp.obsUsable(&ctx, &y), 1);
  EXPECT_EQ(ctx.values[0], 0.0);
  EXPECT_EQ(ctx.values[1], 10.0);
  EXPECT_EQ(y, 5.0);
  ASSERT_TRUE(ctx.next(&ctx));
  ASSERT_TRUE(ctx.next(&ctx));  // row 2: its response is missing
  EXPECT_EQ(ctx.sscp.obsUsable(&ctx, &y), 0);
  EXPECT_EQ(ctx.sscp.obsUsableW(&ctx, nullptr), 0);  // (a,2) was not met
}

// Numbers only (no CLASS, lag or constructed variable, one variable an effect) take the
// reader's one-loop road; read through another fetch routine they take the general one. Both
// must leave the same status, values, products, combinations and extras, bit for bit.
TEST(ReadObs, NumbersOnlyReadAsTheGeneralRoadDoes) {
  for (uint32_t flags : {0u, dflag::kNoScaling, dflag::kFullRank, dflag::kZeroWeights}) {
    for (int weights : {1, 2}) {
      std::vector<Read> roads[2];
      for (int general = 0; general < 2; ++general) {
        LevHarness h("plainobs");
        h.addModelVar("x");
        h.addModelVar("z");
        h.addEffect({}, {}, {0});
        h.addEffect({}, {}, {1});
        h.build();
        h.design.flags |= flags;
        readobsExtras(h, weights == 2);
        roads[general] = levelizeAndRead(h, general != 0);
      }
      SCOPED_TRACE(testing::Message() << "flags " << flags << ", weights " << weights);
      ASSERT_EQ(roads[0].size(), 12u);
      ASSERT_EQ(roads[1].size(), 12u);
      uint32_t seen = 0;
      for (size_t i = 0; i < 12; ++i) {
        const Read &a = roads[0][i], &b = roads[1][i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        seen |= a.status;
        expectSameRead(a, b);
      }
      // The data reach every bit the road sets.
      for (uint32_t bit :
           {obs::kContMissing, obs::kInfinite, obs::kEffect, obs::kExcluded, obs::kWeight})
        EXPECT_NE(seen & bit, 0u) << bit;
    }
  }
}

// With CLASS variables the numbers come from the block's columns and the levels from an image
// of the CLASS fields alone: the same levels, status, values and products as the whole image.
TEST(ReadObs, ClassesWithNumbersFromTheColumnsReadAsTheImage) {
  for (uint32_t flags : {0u, dflag::kFullRank}) {
    for (bool twoWeights : {false, true}) {
      std::vector<Read> roads[2];
      std::vector<int> levelCounts[2];
      for (int image = 0; image < 2; ++image) {
        LevHarness h("readobs");
        if (image) {  // the host gives no block columns: every value comes through the image
          h.ds.currentNumbers = nullptr;
          h.load();
        }
        readobsModel(h, twoWeights);
        h.design.flags |= flags;
        ASSERT_TRUE(h.nextGroup());
        ASSERT_EQ(h.levelize(), 0);
        for (int i = 0; i < h.design.classCount; ++i)
          levelCounts[image].push_back(h.design.classVars[i].levelCount);
        roads[image] = readAll(h);
      }
      SCOPED_TRACE(testing::Message() << "flags " << flags << ", two weights " << twoWeights);
      EXPECT_EQ(levelCounts[0], levelCounts[1]);
      ASSERT_EQ(roads[0].size(), 10u);
      ASSERT_EQ(roads[1].size(), 10u);
      for (size_t i = 0; i < roads[0].size(); ++i) {
        const Read &a = roads[0][i], &b = roads[1][i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        expectSameRead(a, b);
      }
    }
  }
}

// CLASS effects beside effects of one number each take the one-loop road for the numbers and
// decode the levels as the general road does; read through another fetch routine, the general
// road. The same status, levels, values, products and combinations, bit for bit.
TEST(ReadObs, ClassesBesideSingleNumbersReadAsTheGeneralRoadDoes) {
  for (uint32_t flags : {0u, dflag::kNoScaling, dflag::kFullRank, dflag::kZeroWeights}) {
    std::vector<Read> roads[2];
    for (int general = 0; general < 2; ++general) {
      LevHarness h("readobs");
      addReadobsVars(h);
      h.addEffect({0});
      h.addEffect({0, 1});
      h.addEffect({}, {}, {0});
      h.addEffect({1}, {}, {1});  // d*z: a level key and one number
      h.build();
      h.design.flags |= flags;
      readobsExtras(h, false);
      roads[general] = levelizeAndRead(h, general != 0);
    }
    SCOPED_TRACE(testing::Message() << "flags " << flags);
    ASSERT_EQ(roads[0].size(), 10u);
    ASSERT_EQ(roads[1].size(), 10u);
    uint32_t seen = 0;
    for (size_t i = 0; i < 10; ++i) {
      SCOPED_TRACE(testing::Message() << "row " << i);
      seen |= roads[0][i].status;
      expectSameRead(roads[0][i], roads[1][i]);
    }
    for (uint32_t bit : {obs::kClassMissing, obs::kContMissing, obs::kExcluded, obs::kWeight})
      EXPECT_NE(seen & bit, 0u) << bit;
  }
}

// A CLASS variable that is also the response: its missing level excludes the row (0x04).
// Under full-rank codings a missing level of a variable no effect uses leaves the row usable
// when the design has constructed members whose checks pass.
TEST(ReadObs, MissingLevelsThatNoEffectNeeds) {
  {
    LevHarness h("readobs");
    readobsModel(h);
    h.ctx.responses = h.extraVar("d");
    ASSERT_TRUE(h.nextGroup());
    ASSERT_EQ(h.levelize(), 0);
    std::vector<Read> rows = readAll(h);
    EXPECT_EQ(rows[4].status & 0x0C, 0x04u);  // d missing: excluded, no missing CLASS level
  }
  {
    LevHarness h("readobs");
    addReadobsVars(h);
    h.addEffect({0});
    h.build();
    // One COLLECTION member of x, used by an effect of its own.
    static int32_t values[] = {0};
    static ZDesignVar coll;
    coll.type = effkind::kCollection;
    coll.valueCount = 1;
    coll.values = values;
    static int32_t constructed[] = {0};
    ZEffect& e = h.design.effects[1];
    e.constructedCount = 1;
    e.constructed = constructed;
    h.design.designVarCount = 1;
    h.design.designVars = &coll;
    h.design.flags |= dflag::kFullRank;
    ASSERT_TRUE(h.nextGroup());
    ASSERT_EQ(h.levelize(), 0);
    std::vector<Read> rows = readAll(h);
    EXPECT_EQ(rows[4].status, 0x08u);          // d is in no effect: used, level missing
    EXPECT_EQ(rows[3].status, 0x0Au | 0x20u);  // c is: needed, and the mask marks it
    ASSERT_NE(h.design.usageMask, nullptr);
    EXPECT_EQ(std::string(h.design.usageMask->classVars, 2), "10");
    EXPECT_EQ(std::string(h.design.usageMask->cont, 2), "10");
    EXPECT_EQ(std::string(h.design.usageMask->effects, 2), "11");
    h.design.designVarCount = 0;
  }
}

// ---- The effect check and the combination search without a data set ----

class EffectCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureHost();
    d.classCount = 3;
    d.modelVarCount = 2;
    d.effectCount = 1;
    d.effects = &effect;
    d.designVars = vars;
    d.designVarCount = 1;
    ctx.design = &d;
    ctx.levelIndexes = levels;
    ctx.values = values;
    effect.constructedCount = 1;
    effect.constructed = member;
  }
  int check(uint32_t* status) { return zeffobs(status, &ctx, &d, 0); }

  ZDesign d;
  ZLevCtx ctx;
  ZEffect effect;
  ZDesignVar vars[1];
  int32_t member[1] = {0};
  int32_t levels[3] = {0, 0, 0};
  double values[2] = {1, 1};
  int32_t classMembers[2] = {0, 1};
  int32_t valueMembers[2] = {0, 1};
};

TEST_F(EffectCheck, ConstructedMembersByKind) {
  const double dot = missingValue('.');
  struct Case {
    const char* name;
    int32_t type;
    uint8_t allMissingOk, weightedSum;
    int valueCount;
    int32_t l0, l1;
    double v0, v1;
    uint8_t lagEffects;
    int32_t lagResult;
    int usable;
    uint32_t status;
    uint8_t allMissing;
  } cases[] = {
      {"multimember with a level", effkind::kMultimember, 0, 0, 0, 0, -1, 1, 1, 0, 0, 1, 0, 0},
      {"multimember all missing", effkind::kMultimember, 0, 0, 0, -1, -1, 1, 1, 0, 0, 0, 0x22, 0},
      {"multimember all missing, allowed", effkind::kMultimember, 1, 0, 0, -1, -1, 1, 1, 0, 0, 1,
       0x40, 1},
      {"weighted multimember summing to 0", effkind::kMultimember, 0, 1, 2, 0, 1, 1, -1, 0, 0, 0,
       0x22, 0},
      {"weighted multimember", effkind::kMultimember, 0, 1, 2, 0, 1, 1, 2, 0, 0, 1, 0, 0},
      {"weight of a present member missing", effkind::kMultimember, 0, 1, 2, 0, -1, dot, 1, 0, 0, 0,
       0x22, 0},
      {"weight of a missing member missing", effkind::kMultimember, 0, 1, 2, 0, -1, 1, dot, 0, 0, 1,
       0, 0},
      {"collection with a missing level", effkind::kCollection, 0, 0, 1, 0, -1, 1, 1, 0, 0, 0, 0x22,
       0},
      {"collection with a missing value", effkind::kCollection, 0, 0, 1, 0, 0, dot, 1, 0, 0, 0,
       0x22, 0},
      {"spline value missing", effkind::kSpline, 0, 0, 2, -1, -1, 1, dot, 0, 0, 0, 0x22, 0},
      {"polynomial values present", effkind::kPolynomial, 0, 0, 2, -1, -1, 1, 2, 0, 0, 1, 0, 0},
      {"lag not available", effkind::kLag, 0, 0, 0, 0, 0, 1, 1, 1, -1, 0, 0x22, 0},
      {"lag before its distance", effkind::kLag, 0, 0, 0, 0, 0, 1, 1, 1, -2, 1, 0, 0},
      {"lag tables not built", effkind::kLag, 0, 0, 0, 0, 0, 1, 1, 0, -1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZDesignVar& v = vars[0];
    v = ZDesignVar();
    v.type = c.type;
    v.allMissingOk = c.allMissingOk;
    v.weightedSum = c.weightedSum;
    v.classCount = c.type == effkind::kMultimember || c.type == effkind::kCollection ? 2 : 0;
    v.classMembers = classMembers;
    v.valueCount = c.valueCount;
    v.values = valueMembers;
    LagRecord lag;
    lag.result = c.lagResult;
    if (c.type == effkind::kLag) v.lag = &lag;
    d.lagEffects = c.lagEffects;
    levels[0] = c.l0;
    levels[1] = c.l1;
    values[0] = c.v0;
    values[1] = c.v1;
    uint32_t status = 0;
    EXPECT_EQ(check(&status), c.usable);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(effect.allMissing, c.allMissing);
  }
  uint32_t status = obs::kEffect;
  EXPECT_EQ(check(&status), 0);  // already unusable for an effect
}

// The combination search finds every row of a table (crossed levels, then nesting ones,
// ordered nesting part first) and reports a combination that is not there as n.
TEST(ReadObsCombinations, EveryRowIsFoundAndAnAbsentOneIsN) {
  test::ensureHost();
  ZDesign d;
  ZEffect z;
  int32_t key[4] = {0, 1, 0, 0};  // crossed c0, nested in c1; then the multipliers
  z.crossCount = 1;
  z.nestCount = 1;
  z.keyCount = 2;
  z.key = key;
  z.cross = key;
  z.nest = key + 1;
  // Every (cross, nest) pair of 0..6 x 0..4 but (3, 2), ordered by nest, then cross.
  std::vector<int32_t> rows;
  for (int nest = 0; nest < 5; ++nest)
    for (int cross = 0; cross < 7; ++cross)
      if (!(cross == 3 && nest == 2)) rows.insert(rows.end(), {cross, nest});
  z.combinations = rows.data();
  z.combinationCount = static_cast<int32_t>(rows.size() / 2);
  EffectResult result;
  d.effects = &z;
  d.effectCount = 1;
  d.results = &result;
  d.classCount = 2;
  LevelVar cls[2];
  d.classVars = cls;
  ZLevCtx ctx;
  ctx.design = &d;
  int32_t levels[2];
  ctx.levelIndexes = levels;
  // zreadobs needs a fetch: this one delivers nothing.
  ctx.fetch = [](ZLevCtx*, const char*, const FetchTargets&) { return 1; };
  for (int nest = 0; nest < 5; ++nest) {
    for (int cross = 0; cross < 7; ++cross) {
      levels[0] = cross;
      levels[1] = nest;
      uint32_t status = zreadobs(&ctx, nullptr, nullptr, nullptr);
      if (cross == 3 && nest == 2) {
        EXPECT_EQ(result.combination, z.combinationCount);
        EXPECT_EQ(status, 0x22u);
      } else {
        int32_t want = nest * 7 + cross - (nest > 2 || (nest == 2 && cross > 3) ? 1 : 0);
        EXPECT_EQ(result.combination, want) << cross << "," << nest;
        EXPECT_EQ(status, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace vsf

namespace vsf {
namespace {

// LAG results: the lagged variable's level at time t - d in the same group.
TEST(ReadObsLag, LagResultsFromTheGroupTables) {
  test::ensureHost();
  ZDesign d;
  LevelVar cls[2];
  d.classCount = 2;
  d.classVars = cls;
  LevelVar model[1];
  d.modelVarCount = 1;
  d.modelVars = model;
  double values[1] = {1};
  int32_t levels[2] = {0, 0};
  LagRecord lag;
  int32_t keys[1] = {0};
  int32_t keyBuffer[1];
  lag.distance = 1;
  lag.keyCount = 1;
  lag.keys = keys;
  lag.keyBuffer = keyBuffer;
  lag.time = 1;
  lag.stride = 3;
  // Default table, group = level of the key: group 0 has levels 0, -, 2 at times 0, 1, 2;
  // group 1 has level 1 throughout.
  int32_t cells[6] = {1, 0, 3, 2, 2, 2};
  lag.defaultTable.groupCount = 2;
  lag.defaultTable.cells = cells;
  lag.tables[0] = &lag.defaultTable;
  ZDesignVar v;
  v.type = effkind::kLag;
  v.lag = &lag;
  d.designVarCount = 1;
  d.designVars = &v;
  d.lagEffects = 1;
  ZEffect effect;
  int32_t constructed[1] = {0};
  effect.constructedCount = 1;
  effect.constructed = constructed;
  d.effectCount = 1;
  d.effects = &effect;
  EffectResult result;
  d.results = &result;
  d.flags = dflag::kFullRank | dflag::kNoScaling;
  ZLevCtx ctx;
  ctx.design = &d;
  ctx.levelIndexes = levels;
  ctx.values = values;
  ctx.fetch = [](ZLevCtx*, const char*, const FetchTargets&) { return 1; };

  struct Case {
    int32_t group, time;
    int32_t result;
    uint32_t status;
  } cases[] = {
      {0, 0, -2, 0},                        // earlier than the lag distance
      {0, 1, 0, 0},                         // level 0 at time 0
      {0, 2, -1, 0x22},                     // nothing at time 1
      {1, 2, 1, 0},     {-1, 2, -1, 0x22},  // no group
  };
  for (const Case& c : cases) {
    levels[0] = c.group;
    levels[1] = c.time;
    uint32_t status = zreadobs(&ctx, nullptr, nullptr, nullptr);
    EXPECT_EQ(lag.result, c.result) << c.group << "," << c.time;
    EXPECT_EQ(status, c.status) << c.group << "," << c.time;
  }

  // An explicit table keyed through its tree: the key level 5 is group 1.
  LagGroupTable keyed;
  keyed.groupCount = 2;
  keyed.cells = cells;
  struct Node {
    LagGroupNode head;
    int32_t key;
  } node;
  node.head.group = 1;
  node.key = 5;
  ASSERT_EQ(ztrebld(&keyed.tree, &node.head.link, 4, kLagKeyOffset, &zidxcmp), &node.head.link);
  lag.tables[2] = &keyed;
  levels[0] = 5;
  levels[1] = 1;
  EXPECT_EQ(zreadobs(&ctx, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(lag.result, 1);
  levels[0] = 4;  // no such group
  EXPECT_EQ(zreadobs(&ctx, nullptr, nullptr, nullptr), 0x22u);
  lag.tables[2] = nullptr;

  // A switch variable picks the alternative table when its value is 0; missing: not available.
  int32_t other[6] = {0, 0, 0, 3, 3, 3};
  LagGroupTable alternative;
  alternative.groupCount = 2;
  alternative.cells = other;
  lag.tables[1] = &alternative;
  lag.switchVar = 0;
  levels[0] = 1;
  levels[1] = 2;
  values[0] = 0;
  EXPECT_EQ(zreadobs(&ctx, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(lag.result, 2);
  values[0] = missingValue('.');
  EXPECT_EQ(zreadobs(&ctx, nullptr, nullptr, nullptr), 0x22u);
  lag.notAvailable = 1;
  values[0] = 1;
  EXPECT_EQ(zreadobs(&ctx, nullptr, nullptr, nullptr), 0x22u);
}

}  // namespace
}  // namespace vsf
