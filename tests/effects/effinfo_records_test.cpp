// The effect information records that zeffinfo makes from the effect chain, the CLASS list
// and the EFFECT statements.
#include <gtest/gtest.h>

#include "effects/effinfo_fakehost.h"

namespace vsf {
namespace {

using Names = std::vector<std::string>;
using Ints = std::vector<int32_t>;
using test::EffectsHarness;
using test::Var;

std::vector<Var> dataVars() {
  return {{"A", 'c', 0, 5}, {"B", 'c', 0, 3}, {"D", 'n', 8}, {"E", 'n'}, {"x", 'n'},
          {"y", 'n'},       {"z", 'n'},       {"u", 'n'},    {"v", 'n'}};
}

Ints ints(const int32_t* p, int32_t n) { return p ? Ints(p, p + n) : Ints(); }

Names effectNames(const ZDesign& d) {
  Names out;
  for (int32_t i = 0; i < d.effectCount; ++i) out.emplace_back(d.effects[i].name);
  return out;
}

int build(EffectsHarness& h, ZDesign* d, const char* model, int noInt = 0, int fullRank = 0) {
  h.parseModel(model);
  EXPECT_EQ(h.status, 0) << model;
  return zeffinfo(d, h.dataSet(), 1, 2, h.model, 1, noInt, fullRank);
}

TEST(EffectInfo, RecordsOfClassContinuousCrossedNestedAndConstructedEffects) {
  EffectsHarness h(dataVars());
  h.setClass({"A", "B"});
  h.addEffect("spl", effkind::kSpline, {"z"});
  ZDesign d;
  ASSERT_EQ(build(h, &d, "x A B(A) x*A spl spl*A"), 0);
  EXPECT_EQ(effectNames(d), (Names{"Intercept", "x", "A", "B(A)", "x*A", "spl", "spl*A"}));
  ASSERT_EQ(d.effectCount, 7);
  EXPECT_EQ(d.flags & (dflag::kNoIntercept | dflag::kFullRank), 0u);

  struct Expect {
    Ints cont, cross, nest, constructed, allClass;
  } expect[] = {
      {{}, {}, {}, {}, {}},       {{0}, {}, {}, {}, {}},   {{}, {0}, {}, {}, {0}},
      {{}, {1}, {0}, {}, {1, 0}}, {{0}, {0}, {}, {}, {0}}, {{}, {}, {}, {0}, {}},
      {{}, {0}, {}, {0}, {0}},
  };
  for (int i = 0; i < 7; ++i) {
    const ZEffect& z = d.effects[i];
    SCOPED_TRACE(z.name);
    EXPECT_EQ(ints(z.cont, z.contCount), expect[i].cont);
    EXPECT_EQ(ints(z.cross, z.crossCount), expect[i].cross);
    EXPECT_EQ(ints(z.nest, z.nestCount), expect[i].nest);
    EXPECT_EQ(ints(z.constructed, z.constructedCount), expect[i].constructed);
    EXPECT_EQ(ints(z.allClass, z.allClassCount), expect[i].allClass);
    EXPECT_EQ(z.keyCount, z.crossCount + z.nestCount);
    EXPECT_EQ(z.key == nullptr, z.keyCount == 0);
    if (z.keyCount) {
      EXPECT_EQ(z.multipliers, z.key + z.keyCount);
      EXPECT_EQ(z.cross, z.key);
    }
    EXPECT_EQ(z.owner, &d);
    EXPECT_EQ(z.designVars != nullptr, z.constructedCount > 0);
    EXPECT_EQ(z.source == nullptr, i == 0);
  }
  // z came in through the spline: the model variables are x (from the effects), then z.
  ASSERT_EQ(d.modelVarCount, 2);
  EXPECT_EQ(d.modelVars[0].desc->name, "x");
  EXPECT_EQ(d.modelVars[1].desc->name, "z");
  ASSERT_EQ(d.designVarCount, 1);
  EXPECT_STREQ(d.designVars[0].name, "spl");
  EXPECT_EQ(ints(d.designVars[0].values, d.designVars[0].valueCount), (Ints{1}));
  EXPECT_EQ(ints(d.replicates, d.replicateCount), (Ints{1, 1, 1, 1, 1, 1}));
  EXPECT_NE(d.results, nullptr);
  EXPECT_EQ(d.nameLengthLimit, 20);
  EXPECT_EQ(d.allocator != nullptr, true);
}

TEST(EffectInfo, FlagsFromTheArguments) {
  EffectsHarness h(dataVars());
  h.setClass({"A"});
  ZDesign d;
  d.flags = dflag::kSplitAll;
  ASSERT_EQ(build(h, &d, "x A", 1, 1), 0);
  EXPECT_EQ(effectNames(d), (Names{"x", "A"}));
  EXPECT_EQ(d.flags, dflag::kSplitAll | dflag::kNoIntercept | dflag::kFullRank);
}

// Formatted widths: the format's width, else 12 for a number and the length for a text;
// TRUNCATE alone gives 16 and TRUNCATE=n gives n, up to the wider of 16 and the variable's own
// width. Offsets run over the widths.
TEST(EffectInfo, ClassVariableOptionsAndWidths) {
  struct Case {
    int option;
    Ints widths, offsets;
    int largest, total;
  } cases[] = {
      {-1, {5, 3, 8, 12}, {0, 5, 8, 16}, 12, 28},
      {0, {16, 16, 16, 16}, {0, 16, 32, 48}, 16, 64},
      {3, {3, 3, 3, 3}, {0, 3, 6, 9}, 3, 12},
      // Past every value's width a length cuts nothing: the levels keep the 16 of TRUNCATE alone.
      {2000000000, {16, 16, 16, 16}, {0, 16, 32, 48}, 16, 64},
  };
  for (const auto& c : cases) {
    EffectsHarness h(dataVars());
    h.setClass({"A", "B", "D", "E"});
    ZDesign d;
    d.widthOption = c.option;
    ASSERT_EQ(build(h, &d, "A"), 0);
    ASSERT_EQ(d.classCount, 4);
    for (int i = 0; i < 4; ++i) {
      const LevelVar& v = d.classVars[i];
      EXPECT_EQ(v.formattedWidth, c.widths[i]) << c.option << " " << i;
      EXPECT_EQ(v.valueOffset, c.offsets[i]) << c.option << " " << i;
      EXPECT_EQ(v.order, 'U');
      EXPECT_EQ(v.coding, kCodingEffect);
      EXPECT_EQ(v.refIndex, -2);
      EXPECT_EQ(v.cprefix, -1);
      EXPECT_EQ(v.lprefix, -1);
    }
    EXPECT_EQ(d.largestWidth, c.largest);
    EXPECT_EQ(d.totalWidth, c.total);
  }
}

// An effect using statements of 3 and 2 design variables becomes 6 effects, the last
// statement's design variable changing fastest, each named after its own design variables.
TEST(EffectInfo, ReplicationOverConstructedMembers) {
  EffectsHarness h(dataVars());
  h.setClass({"A"});
  StatementRecord* s3 = h.addEffect("s3", effkind::kSpline, {"x", "y", "z"});
  s3->setFlag(ef::kSeparate);
  h.addEffect("p2", effkind::kPolynomial, {"u", "v"});
  ZDesign d;
  ASSERT_EQ(build(h, &d, "p2*s3 A*s3 p2"), 0);
  ASSERT_EQ(d.designVarCount, 5);
  EXPECT_EQ(d.lookup[0].first, 0);
  EXPECT_EQ(d.lookup[0].count, 3);
  EXPECT_EQ(d.lookup[1].first, 3);
  EXPECT_EQ(d.lookup[1].count, 2);
  EXPECT_EQ(ints(d.replicates, d.replicateCount), (Ints{6, 3, 2}));
  EXPECT_EQ(effectNames(d), (Names{"Intercept", "s3_x*u", "s3_x*v", "s3_y*u", "s3_y*v", "s3_z*u",
                                   "s3_z*v", "s3_x*A", "s3_y*A", "s3_z*A", "u", "v"}));
  const Ints pairs[] = {{0, 3}, {0, 4}, {1, 3}, {1, 4}, {2, 3}, {2, 4}};
  for (int k = 0; k < 6; ++k) {
    const ZEffect& z = d.effects[1 + k];
    EXPECT_EQ(ints(z.constructed, z.constructedCount), pairs[k]);
    EXPECT_EQ(z.copy, k > 0 ? 1 : 0);
    EXPECT_STREQ(z.chainName, "s3*p2");
  }
  EXPECT_EQ(d.effectCount, 12);
}

TEST(EffectInfo, SplitSplineBecomesOneEffectPerColumn) {
  EffectsHarness h(dataVars());
  h.setClass({"A"});
  h.addEffect("spl", effkind::kSpline, {"x"})->setFlag(ef::kSplit);
  ZDesign d;
  ASSERT_EQ(build(h, &d, "spl A*spl"), 0);
  Names expected = {"Intercept"};
  for (int i = 1; i <= 7; ++i) expected.push_back("spl:" + std::to_string(i));
  for (int i = 1; i <= 7; ++i) expected.push_back("spl:" + std::to_string(i) + "*A");
  EXPECT_EQ(effectNames(d), expected);
  EXPECT_EQ(d.effects[14].allClassCount, 1);
}

// Design variables of a MULTIMEMBER effect bring their CLASS members into the effect's list
// of CLASS variables, each once, ahead of its own.
TEST(EffectInfo, AllClassVariablesOfAnEffect) {
  EffectsHarness h(dataVars());
  h.setClass({"A", "B"});
  h.addEffect("mm", effkind::kMultimember, {"B", "A", "B"});
  ZDesign d;
  ASSERT_EQ(build(h, &d, "mm*A mm(A)"), 0);
  ASSERT_EQ(d.effectCount, 3);
  EXPECT_EQ(ints(d.effects[1].allClass, d.effects[1].allClassCount), (Ints{1, 0, 0}));
  EXPECT_STREQ(d.effects[1].name, "mm*A");
  EXPECT_STREQ(d.effects[2].name, "mm(A)");
}

// The failure of an EFFECT statement is zeffinfo's result; the build code says why.
TEST(EffectInfo, ExpansionFailureIsReturned) {
  EffectsHarness h(dataVars());
  h.addEffect("none", effkind::kSpline, {});
  ZDesign d;
  EXPECT_EQ(build(h, &d, "x"), 1);
  EXPECT_EQ(d.buildCode, 3000);
  EXPECT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{174, 67}}));
}

}  // namespace
}  // namespace vsf
