// Edge cases of the constructed effects' pieces: the B-spline recurrence at its boundaries, the
// effect scale factors, COLLECTION level weights in the coded layout, and knots of a variable
// without values.
#include <cmath>
#include <numeric>

#include "design/design_support.h"

namespace vsf::test {
namespace {

using Row = std::vector<double>;

ClassSpec cls(const std::string& name, int levels, int ref = -1) {
  ClassSpec s;
  s.name = name;
  for (int l = 0; l < levels; ++l) s.levels.push_back(std::string(1, static_cast<char>('a' + l)));
  s.character = true;
  s.ref = ref;
  return s;
}

TEST(BSpline, BoundariesAndRepeatedKnots) {
  struct Case {
    const char* what;
    int degree;
    std::vector<double> knots;
    double x;
    int result, index;  // position code, index after the search
    Row values;
  } cases[] = {
      {"degree 0 inside", 0, {1, 2, 3}, 1.5, 0, 1, {1}},
      {"degree 1 between knots", 1, {0, 1, 2, 3}, 1.5, 0, 2, {0.5, 0.5}},
      {"at the search cap", 1, {0, 1, 2, 3}, 3.0, 0, 3, {0, 1}},
      // Past the boundary knots the end interval's pieces go on.
      {"above the knots", 2, {0, 0, 1, 2, 3, 3}, 3.5, 1, 4, {0.125, -1.375, 2.25}},
      {"below the knots", 2, {0, 0, 1, 2, 3, 3}, -0.5, -1, 2, {2.25, -1.375, 0.125}},
      {"degree 1 above", 1, {0, 1, 2, 3}, 4.0, 1, 3, {-1, 2}},
      {"degree 0 below", 0, {1, 2, 3}, 0.5, 0, 0, {1}},
      // A boundary knot repeating an interior one: the nearest interval that is not empty,
      // (1 - x)^2, 2x - 1.5x^2 and x^2 / 2 on [0, 1).
      {"below repeated end knots", 2, {0, 0, 0, 1, 2, 2, 2}, -1.0, -1, 3, {4, -3.5, 0.5}},
      {"above repeated end knots", 2, {0, 0, 0, 1, 2, 2, 2}, 3.0, 1, 4, {0.5, -3.5, 4}},
      {"on the last repeated end knot", 2, {0, 0, 0, 1, 2, 2, 2}, 2.0, 0, 4, {0, 0, 1}},
      {"repeated end knots", 2, {0, 0, 0, 1, 2, 2, 2}, 0.5, 0, 3, {0.25, 0.625, 0.125}},
      {"on a repeated knot", 2, {0, 0, 0, 0, 2, 2, 2}, 0.0, 0, 4, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    Row out(static_cast<size_t>(c.degree) + 1, -1), right(4), left(4);
    int index = c.degree;
    EXPECT_EQ(zbspline(c.x, c.degree, static_cast<int>(c.knots.size()), &index, c.knots.data(),
                       out.data(), right.data(), left.data()),
              c.result)
        << c.what;
    EXPECT_EQ(index, c.index) << c.what;
    for (size_t r = 0; r < out.size(); ++r) EXPECT_NEAR(out[r], c.values[r], 1e-15) << c.what;
    EXPECT_NEAR(std::accumulate(out.begin(), out.end(), 0.0), 1.0, 1e-14) << c.what;
  }
}

// A spline alone scales each column by itself; crossed with a CLASS variable, the columns of one
// spline column share the mean of their statistics; a plain effect gets only its total.
TEST(EffectScale, SplineColumnsAndTheirClassCells) {
  DesignBuilder b(0);
  int a = b.addClass(cls("A", 3));
  int x = b.addContinuous("x");
  int s = b.addDesignVar({"s", effkind::kSpline, 2, {x}, {}, {}});
  b.addEffect({"x", {x}, {}, {}, {}});
  b.addEffect({"s", {}, {}, {}, {s}});
  b.addEffect({"s*A", {}, {a}, {}, {s}});
  for (int l = 0; l < 3; ++l) b.observe({l});
  b.finish();
  ASSERT_EQ(b.d.columnCount, 1 + 2 + 6);
  const Row stat = {4, 1, 3, 1, 2, 3, 10, 20, 30};
  Row totals(3);
  zeffscale(&b.ctx, stat.data(), totals.data(), 0.5);
  EXPECT_EQ(totals, (Row{2, 2, 33}));
  EXPECT_EQ(b.d.effects[0].columnScales, nullptr);
  EXPECT_EQ(Row(b.d.effects[1].columnScales, b.d.effects[1].columnScales + 2), (Row{0.5, 1.5}));
  EXPECT_EQ(Row(b.d.effects[2].columnScales, b.d.effects[2].columnScales + 6),
            (Row{1, 1, 1, 10, 10, 10}));
}

// Level weights of a COLLECTION member replace its indicator: all levels in one column each, or
// in the coded layout the levels other than the reference packed into levels - 1 columns.
TEST(CollectionColumns, LevelWeightsStayInTheirBlock) {
  for (const bool coded : {false, true}) {
    DesignBuilder b(coded ? dflag::kFullRank : 0);
    int g = b.addClass(cls("g", 3, 0));  // reference: the first level
    int x = b.addContinuous("x");
    int dv = b.addDesignVar({"c", effkind::kCollection, coded ? 3 : 4, {x}, {g}, {}});
    b.addEffect({"c", {}, {}, {}, {dv}});
    b.addEffect({"after", {x}, {}, {}, {}});
    b.finish();
    double weights[3] = {0.2, 0.3, 0.5};
    double* vectors[1] = {weights};
    b.ctx.levelWeights = vectors;
    const Row want = coded ? Row{7, 0.3, 0.5, 7} : Row{7, 0.2, 0.3, 0.5, 7};
    EXPECT_EQ(b.row({1}, {7}), want) << (coded ? "coded" : "per level");
  }
}

// A variable without values in the BY group has a missing centre: its knots are missing, and
// placing them ends (the widening of a missing range would never reach past it).
TEST(SplineKnots, AVariableWithoutValuesHasMissingKnots) {
  DesignBuilder b;
  int x = b.addContinuous("x");
  int dv = b.addDesignVar({"s", effkind::kSpline, 7, {x}, {}, {}});
  b.finish();
  b.d.modelVars[x].center = b.d.modelVars[x].halfRange = missingValue('.');
  SplineOptions o;
  o.varCount = 1;
  int32_t counts[1] = {0};
  double* knots[1] = {nullptr};
  o.knotCounts = counts;
  o.knots = knots;
  ZDesignVar& v = b.d.designVars[dv];
  v.spline = &o;
  ASSERT_EQ(zsplknots(&v, &b.d, b.pool, nullptr), 0);
  ASSERT_EQ(counts[0], 3 + 3 + 3);
  for (int k = 0; k < counts[0]; ++k) EXPECT_TRUE(std::isnan(knots[0][k])) << k;
  EXPECT_EQ(o.basisColumns, 7);
}

}  // namespace
}  // namespace vsf::test
