// Design rows: effect blocks, the two CLASS layouts, member design variables, subsets, missing
// levels and the level-weight path.
#include "design/design_support.h"

namespace vsf::test {
namespace {

using Row = std::vector<double>;

TEST(DesignRow, InterceptAndContinuousEffects) {
  DesignBuilder b;
  int x = b.addContinuous("x");
  int z = b.addContinuous("z");
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"x*z", {x, z}, {}, {}, {}});
  b.finish();
  EXPECT_EQ(b.row({}, {2.0, 3.5}), (Row{1.0, 7.0}));
  Row r = b.row({}, {2.0, kMissingDot()});
  EXPECT_EQ(r[0], 1.0);
  EXPECT_EQ(bitsOf(r[1]), missingBits('.'));
}

struct LayoutCase {
  const char* what;
  uint32_t flags;
  CodingCode coding;
  std::vector<int32_t> levels;
  Row want;  // effects Intercept, A, A*B, B(A)
};

// A has 3 levels, B 2; references last.
TEST(DesignRow, CodedLayoutOrdersTheFirstCrossedVariableSlowest) {
  const LayoutCase cases[] = {
      {"ref coding, A=1 B=1", dflag::kFullRank, kCodingRef, {0, 0}, {1, 1, 0, 1, 0, 1, 0, 0}},
      {"ref coding, A=2 B=1", dflag::kFullRank, kCodingRef, {1, 0}, {1, 0, 1, 0, 1, 0, 1, 0}},
      {"ref coding, A at its reference zeroes A and A*B",
       dflag::kFullRank,
       kCodingRef,
       {2, 0},
       {1, 0, 0, 0, 0, 0, 0, 1}},
      {"effect coding, A at its reference",
       dflag::kFullRank,
       kCodingEffect,
       {2, 0},
       {1, -1, -1, -1, -1, 0, 0, 1}},
      {"effect coding, both at their references",
       dflag::kFullRank,
       kCodingEffect,
       {2, 1},
       {1, -1, -1, 1, 1, 0, 0, -1}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    DesignBuilder b(c.flags);
    int a = b.addClass(cls("A", 3, c.coding));
    int bb = b.addClass(cls("B", 2, c.coding));
    b.addEffect({"Intercept", {}, {}, {}, {}});
    b.addEffect({"A", {}, {a}, {}, {}});
    b.addEffect({"A*B", {}, {a, bb}, {}, {}});
    b.addEffect({"B(A)", {}, {bb}, {a}, {}});
    b.finish();
    EXPECT_EQ(b.row(c.levels, {}), c.want);
  }
}

TEST(DesignRow, FullRankFirstGivesIndicatorsToTheFirstVariable) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  int a = b.addClass(cls("A", 3));
  int bb = b.addClass(cls("B", 3));
  b.addEffect({"A", {}, {a}, {}, {}});
  b.addEffect({"B", {}, {bb}, {}, {}});
  b.finish();
  ASSERT_EQ(b.d.columnCount, 5);
  EXPECT_EQ(b.row({2, 2}, {}), (Row{0, 0, 1, 0, 0}));
  EXPECT_EQ(b.row({0, 1}, {}), (Row{1, 0, 0, 0, 1}));
}

TEST(DesignRow, ObservedCombinationLayout) {
  DesignBuilder b(0);
  int a = b.addClass(cls("A", 3));
  int bb = b.addClass(cls("B", 2));
  int x = b.addContinuous("x");
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"x*A*B", {x}, {a, bb}, {}, {}});
  b.observe({0, 1});
  b.observe({2, 0});
  b.observe({1, 1});
  b.finish();
  ASSERT_EQ(b.d.columnCount, 4);
  EXPECT_EQ(b.row({2, 0}, {1.5}), (Row{1, 0, 0, 1.5}));
  EXPECT_EQ(b.row({0, 1}, {2.0}), (Row{1, 2.0, 0, 0}));
  // A combination that was not observed leaves the effect's columns 0.
  EXPECT_EQ(b.row({0, 0}, {2.0}), (Row{1, 0, 0, 0}));
}

TEST(DesignRow, MemberDesignVariableVariesSlowest) {
  DesignBuilder b;
  int a = b.addClass(cls("A", 3));
  std::vector<int> x;
  for (const char* name : {"x1", "x2", "x3", "x4", "x5"}) x.push_back(b.addContinuous(name));
  int dv = b.addDesignVar({"c", effkind::kCollection, 3, {x[0], x[1], x[2]}, {}, {}});
  int only = b.addDesignVar({"d", effkind::kCollection, 2, {x[3], x[4]}, {}, {}});
  b.addEffect({"c*A", {}, {a}, {}, {dv}});
  b.addEffect({"d", {}, {}, {}, {only}});
  b.addEffect({"c*d", {}, {}, {}, {dv, only}});
  b.finish();
  ASSERT_EQ(b.d.columnCount, 6 + 2 + 6);
  EXPECT_EQ(b.row({1}, {2, 3, 5, 7, 11}), (Row{0, 2, 0, 3, 0, 5, 7, 11, 14, 22, 21, 33, 35, 55}));
}

TEST(DesignRow, SubsetMarkedZeroKeepsZeros) {
  DesignBuilder b;
  int a = b.addClass(cls("A", 3));
  int x1 = b.addContinuous("x1");
  int x2 = b.addContinuous("x2");
  int dv = b.addDesignVar({"d", effkind::kCollection, 2, {x1, x2}, {}, {}});
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"A", {}, {a}, {}, {}});
  b.addEffect({"d", {}, {}, {}, {dv}});
  b.finish();
  char effects[] = "101", vars[] = "1";
  ModelUsageMask mask;
  mask.marker = '1';
  mask.effects = effects;
  mask.designVars = vars;
  b.d.usageMask = &mask;
  EXPECT_EQ(b.row({0}, {4, 5}), (Row{1, 0, 0, 4, 5}));
  mask.marker = '0';  // an inactive subset skips nothing
  EXPECT_EQ(b.row({0}, {4, 5}), (Row{1, 1, 0, 4, 5}));
}

// A design of continuous effects alone copies its cells without a walk of the effects: a
// masked effect keeps its zero, and a mask set aside or replaced is seen at the next row.
TEST(DesignRow, ContinuousCellsFollowTheUsageMask) {
  DesignBuilder b;
  int x = b.addContinuous("x");
  int y = b.addContinuous("y");
  int z = b.addContinuous("z");
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"x", {x}, {}, {}, {}});
  b.addEffect({"y*z", {y, z}, {}, {}, {}});
  b.addEffect({"z", {z}, {}, {}, {}});
  b.finish();
  EXPECT_EQ(b.row({}, {2, 3, 5}), (Row{1, 2, 15, 5}));
  char some[] = "1011", others[] = "1110";
  ModelUsageMask mask;
  mask.marker = '1';
  mask.effects = some;
  b.d.usageMask = &mask;
  EXPECT_EQ(b.row({}, {2, 3, 5}), (Row{1, 0, 15, 5}));
  ModelUsageMask second = mask;
  second.effects = others;
  b.d.usageMask = &second;
  EXPECT_EQ(b.row({}, {2, 3, 5}), (Row{1, 2, 15, 0}));
  second.marker = '0';  // an inactive subset skips nothing
  EXPECT_EQ(b.row({}, {2, 3, 5}), (Row{1, 2, 15, 5}));
  Row r = b.row({}, {kMissingDot(), 3, 5});
  EXPECT_EQ(bitsOf(r[1]), missingBits('.'));
}

// A missing level contributes zeros; the row's neighbours are never written.
TEST(DesignRow, MissingLevelsWriteNothingOutsideTheirEffect) {
  for (CodingCode coding : {kCodingEffect, kCodingRef, kCodingOrthEffect}) {
    SCOPED_TRACE(static_cast<int>(coding));
    DesignBuilder b;
    ClassSpec sa = cls("A", 3, coding);
    sa.matrix = {1, 2, 3, 4, 5, 6};
    int a = b.addClass(sa);
    int bb = b.addClass(cls("B", 2, coding));
    b.addEffect({"A", {}, {a}, {}, {}});
    b.addEffect({"B(A)", {}, {bb}, {a}, {}});
    b.addEffect({"A*B", {}, {a, bb}, {}, {}});
    b.finish();
    b.setObservation({-1, -1}, {});
    Row guarded(static_cast<size_t>(b.d.columnCount) + 2, 99.0);
    zxrow(&b.ctx, nullptr, nullptr, guarded.data() + 1);
    Row want(guarded.size(), 0.0);
    want.front() = want.back() = 99.0;
    EXPECT_EQ(guarded, want);
    b.setObservation({1, -1}, {});
    Row r(static_cast<size_t>(b.d.columnCount));
    zxrow(&b.ctx, nullptr, nullptr, r.data());
    for (int c = 2; c < b.d.columnCount; ++c) EXPECT_EQ(r[static_cast<size_t>(c)], 0.0) << c;
  }
}

TEST(DesignRow, CopiesGivenValuesAndLevelsIntoTheContext) {
  DesignBuilder b;
  int a = b.addClass(cls("A", 2));
  b.addContinuous("x");
  b.addEffect({"A", {}, {a}, {}, {}});
  b.finish();
  b.setObservation({1}, {0});
  const int32_t levels[] = {0};
  const double values[] = {8.5};
  Row r(1);
  zxrow(&b.ctx, values, levels, r.data());
  EXPECT_EQ(b.ctx.levelIndexes[0], 0);
  EXPECT_EQ(b.ctx.values[0], 8.5);
  EXPECT_EQ(r[0], 1.0);
  Row own(1, -1.0);
  b.ctx.designRow = own.data();
  zxrow(&b.ctx, nullptr, nullptr, nullptr);
  EXPECT_EQ(own[0], 1.0);
}

// Level weights: a weighted variable multiplies each column by the weight of the level the
// column stands for; an unweighted variable keeps its indicator and coding.
TEST(DesignRow, LevelWeightPath) {
  DesignBuilder b;
  int a = b.addClass(cls("A", 3));
  int bb = b.addClass(cls("B", 3));
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});
  b.addEffect({"B(A)", {}, {bb}, {a}, {}});
  b.finish();
  std::vector<double> wa = {0.5, 2.0, 4.0};
  std::vector<double*> weights = {wa.data(), nullptr};
  b.ctx.levelWeights = weights.data();
  // A*B columns: (A1,B1) (A1,B2) (A2,B1) (A2,B2); B(A): (B1,A1) (B2,A1) (B1,A2) ... (B2,A3).
  EXPECT_EQ(b.row({1, 1}, {}), (Row{0, 0.5, 0, 2, 0, 0.5, 0, 2, 0, 4}));
  wa[2] = kMissingDot();
  Row r = b.row({2, 0}, {});
  const double m = kMissingDot();
  const Row want = {0.5, 0, 2, 0, 0.5, 0, 2, 0, m, 0};
  for (size_t c = 0; c < want.size(); ++c) EXPECT_EQ(bitsOf(r[c]), bitsOf(want[c])) << c;
}

}  // namespace
}  // namespace vsf::test
