// Column level tables: the CLASS combinations of the coded layout and the rows of effects with
// member design variables.
#include "design/design_support.h"

namespace vsf::test {
namespace {

using Rows = std::vector<std::vector<int32_t>>;

Rows tableOf(const int32_t* t, int rows, int width) {
  Rows out;
  for (int r = 0; t && r < rows; ++r) out.emplace_back(t + r * width, t + (r + 1) * width);
  return out;
}

struct ComboCase {
  const char* what;
  std::vector<ClassSpec> vars;
  std::vector<int> cross, nest;
  Rows want;
};

TEST(LevelTables, CodedCombinations) {
  const ComboCase cases[] = {
      {"effect coding, reference first", {cls("A", 3, kCodingEffect, 0)}, {0}, {}, {{1}, {2}}},
      {"orthogonal effect coding keeps the positions",
       {cls("A", 3, kCodingOrthEffect, 0)},
       {0},
       {},
       {{0}, {1}}},
      {"thermometer skips the reference too",
       {cls("A", 3, kCodingOrdinal, 1)},
       {0},
       {},
       {{0}, {2}}},
      {"A*B, references last",
       {cls("A", 3, kCodingRef), cls("B", 2, kCodingRef)},
       {0, 1},
       {},
       {{0, 0}, {1, 0}}},
      {"B(A): crossed first, nesting varying over the rows",
       {cls("A", 3, kCodingRef), cls("B", 2, kCodingRef)},
       {1},
       {0},
       {{0, 0}, {0, 1}, {0, 2}}},
      {"A*B(C): nesting outermost, last crossed fastest",
       {cls("A", 3, kCodingRef), cls("B", 3, kCodingRef), cls("C", 2, kCodingRef)},
       {0, 1},
       {2},
       {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 1}}},
      {"a one-level crossed variable has no table", {cls("A", 1, kCodingRef)}, {0}, {}, {}},
  };
  for (const ComboCase& c : cases) {
    SCOPED_TRACE(c.what);
    DesignBuilder b;
    for (const ClassSpec& v : c.vars) b.addClass(v);
    b.addEffect({"e", {}, c.cross, c.nest, {}});
    b.finish();
    const ZEffect& z = b.d.effects[0];
    EXPECT_EQ(tableOf(z.codedLevels, z.classColumnCount, z.keyCount), c.want);
    EXPECT_EQ(z.levelTable, z.codedLevels);  // shared, not copied
    EXPECT_EQ(z.levelTableWidth, z.keyCount);
  }
}

TEST(LevelTables, NoInterceptFirstVariableRunsOverAllLevels) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.addClass(cls("A", 3, kCodingRef));
  b.addClass(cls("B", 2, kCodingRef));
  b.addEffect({"A*B", {}, {0, 1}, {}, {}});
  b.addEffect({"A", {}, {0}, {}, {}});
  b.finish();
  const ZEffect& z = b.d.effects[0];
  EXPECT_EQ(tableOf(z.codedLevels, z.classColumnCount, 2), (Rows{{0, 0}, {1, 0}, {2, 0}}));
  const ZEffect& a = b.d.effects[1];
  EXPECT_EQ(tableOf(a.codedLevels, a.classColumnCount, 1), (Rows{{0}, {1}}));
}

TEST(LevelTables, MemberDesignVariablesVarySlowest) {
  DesignBuilder b;
  b.addClass(cls("A", 4, kCodingRef));
  int x = b.addContinuous("x");
  int dv = b.addDesignVar({"c", effkind::kCollection, 2, {x, x}, {}, {}});
  b.addEffect({"c*A", {}, {0}, {}, {dv}});
  b.finish();
  const ZEffect& z = b.d.effects[0];
  ASSERT_EQ(z.columnCount, 6);
  EXPECT_EQ(z.levelTableWidth, 2);
  EXPECT_EQ(tableOf(z.levelTable, 6, 2), (Rows{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}));
}

TEST(LevelTables, ObservedCombinationsWithMembers) {
  DesignBuilder b(0);
  b.addClass(cls("A", 3, kCodingRef));
  b.addClass(cls("B", 2, kCodingRef));
  int x = b.addContinuous("x");
  int dv = b.addDesignVar({"c", effkind::kCollection, 2, {x, x}, {}, {}});
  b.addEffect({"c*A(B)", {}, {0}, {1}, {dv}});
  b.observe({2, 0});
  b.observe({0, 1});
  b.observe({1, 0});
  b.observe({2, 0});
  b.finish();
  const ZEffect& z = b.d.effects[0];
  ASSERT_EQ(z.classColumnCount, 3);
  EXPECT_EQ(tableOf(z.levelTable, 6, 3),
            (Rows{{0, 1, 0}, {0, 2, 0}, {0, 0, 1}, {1, 1, 0}, {1, 2, 0}, {1, 0, 1}}));
}

}  // namespace
}  // namespace vsf::test
