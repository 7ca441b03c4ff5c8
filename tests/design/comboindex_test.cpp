// Level-combination index tables of the split-candidate table.
#include <memory>

#include "design/design_support.h"
#include "frame/state.h"

namespace vsf::test {
namespace {

using Rows = std::vector<std::vector<int32_t>>;

Rows cells(const ZEffect& z) {
  Rows out;
  if (!z.cellIndex) return out;
  long long rows = 1;
  for (int k = 0; k < z.crossCount; ++k) rows *= z.owner->classVars[z.cross[k]].levelCount - 1;
  for (int k = 0; k < z.nestCount; ++k) rows *= z.owner->classVars[z.nest[k]].levelCount;
  for (long long r = 0; r < rows; ++r)
    out.emplace_back(z.cellIndex + r * z.keyCount, z.cellIndex + (r + 1) * z.keyCount);
  return out;
}

struct CellCase {
  const char* what;
  std::vector<ClassSpec> vars;
  std::vector<int> cross, nest;
  Rows want;
};

TEST(CellIndex, RowsPerEffect) {
  const CellCase cases[] = {
      {"reference last", {cls("A", 3, kCodingRef)}, {0}, {}, {{0}, {1}}},
      {"reference first", {cls("A", 3, kCodingRef, 0)}, {0}, {}, {{1}, {2}}},
      {"A*B, effect coding",
       {cls("A", 3, kCodingEffect), cls("B", 2, kCodingEffect)},
       {0, 1},
       {},
       {{0, 0}, {1, 0}}},
      {"A(B): nesting outermost",
       {cls("A", 3, kCodingRef), cls("B", 2, kCodingRef)},
       {0},
       {1},
       {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
      {"thermometer keeps its digits", {cls("A", 3, kCodingOrdinal, 0)}, {0}, {}, {{0}, {1}}},
      // Orthogonalized columns are no level's own, whatever they were made from.
      {"orthogonal reference coding keeps its digits",
       {cls("A", 3, kCodingOrthRef, 0)},
       {0},
       {},
       {{0}, {1}}},
      {"QFR of a variable skips the reference", {cls("A", 3, kCodingQfr, 0)}, {0}, {}, {{1}, {2}}},
      {"one level: no cells", {cls("A", 1, kCodingRef)}, {0}, {}, {}},
  };
  for (const CellCase& c : cases) {
    SCOPED_TRACE(c.what);
    DesignBuilder b;
    for (const ClassSpec& v : c.vars) b.addClass(v);
    b.addEffect({"Intercept", {}, {}, {}, {}});
    b.addEffect({"e", {}, c.cross, c.nest, {}});
    b.finish();
    b.d.effects[1].owner = &b.d;
    auto state = std::make_unique<VsfState>();
    state->lev.design = &b.d;
    ASSERT_EQ(buildEffectCellIndex(&b.d, nullptr, b.pool), 0);
    EXPECT_EQ(b.d.effects[0].cellIndex, nullptr);
    EXPECT_EQ(cells(b.d.effects[1]), c.want);
  }
}

TEST(CellIndex, CurrentModelOnlyAndNoClassVariables) {
  DesignBuilder b;
  int a = b.addClass(cls("A", 3, kCodingRef));
  b.addEffect({"A", {}, {a}, {}, {}});
  b.addEffect({"A again", {}, {a}, {}, {}});
  b.finish();
  auto state = std::make_unique<VsfState>();
  state->lev.design = &b.d;
  std::vector<CandidateEntry> table(2);
  table[0].effect = 0;
  table[1].effect = 1;
  state->group.candidates.table = &table;
  state->group.candidates.count = 2;
  SelectionState sel;
  int32_t order[] = {1};
  sel.sweep.effectsInModel = 1;
  sel.sweep.entryOrder = order;
  const std::vector<int32_t> model = {table[static_cast<size_t>(order[0])].effect};
  ASSERT_EQ(buildEffectCellIndex(&b.d, &model, b.pool), 0);
  EXPECT_EQ(b.d.effects[0].cellIndex, nullptr);
  EXPECT_NE(b.d.effects[1].cellIndex, nullptr);

  DesignBuilder plain;
  int x = plain.addContinuous("x");
  plain.addEffect({"x", {x}, {}, {}, {}});
  plain.finish();
  state->lev.design = &plain.d;
  EXPECT_EQ(buildEffectCellIndex(&plain.d, nullptr, plain.pool), -2);
}

}  // namespace
}  // namespace vsf::test
