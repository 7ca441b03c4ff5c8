// CLASS codings of one level and the in-place Kronecker step.
#include <cmath>

#include "design/design_support.h"

namespace vsf::test {
namespace {

struct CodingCase {
  const char* what;
  CodingCode coding;
  int levels;
  int ref;
  bool character;
  int level;
  int width;
  std::vector<double> want;  // weight 2
};

LevelVar makeVar(const CodingCase& c, VarDescriptor* desc, std::vector<LevelRecord>* recs,
                 std::vector<double>* matrix) {
  desc->type = c.character ? kVarCharacter : kVarNumeric;
  LevelVar v;
  v.desc = desc;
  v.levelCount = c.levels;
  v.coding = c.coding;
  v.refIndex = c.ref;
  recs->resize(static_cast<size_t>(c.levels));
  for (int l = 0; l < c.levels; ++l) (*recs)[static_cast<size_t>(l)].value = l + 1.0;
  v.levels = recs->data();
  // Matrix codes read row l: entries 10 l + k + 1.
  for (int l = 0; l < c.levels; ++l)
    for (int k = 0; k < c.levels - 1; ++k) matrix->push_back(10.0 * l + k + 1);
  v.codingMatrix = matrix->data();
  return v;
}

// Expected columns worked out from each coding's definition, weight w = 2.
TEST(Coding, ColumnsOfOneLevel) {
  const double c = 2 * 0.75;  // bathtub: w sqrt(1.5 (n+1) / ((n+1)^2 - 1)) for n = 2
  const CodingCase cases[] = {
      {"effect, reference last, level 0", kCodingEffect, 3, 2, false, 0, 2, {2, 0}},
      {"effect, reference last, level 1", kCodingEffect, 3, 2, false, 1, 2, {0, 2}},
      {"effect, reference level", kCodingEffect, 3, 2, false, 2, 2, {-2, -2}},
      {"effect, reference first", kCodingEffect, 3, 0, false, 2, 2, {0, 2}},
      {"ref, level 0", kCodingRef, 3, 2, false, 0, 2, {2, 0}},
      {"ref, reference level", kCodingRef, 3, 2, false, 2, 2, {0, 0}},
      {"ref, reference first, level 1", kCodingRef, 3, 0, false, 1, 2, {2, 0}},
      {"therm, level 0", kCodingOrdinal, 4, 3, false, 0, 3, {0, 0, 0}},
      {"therm, level 2", kCodingOrdinal, 4, 3, false, 2, 3, {2, 2, 0}},
      {"therm, level 3", kCodingOrdinal, 4, 3, false, 3, 3, {2, 2, 2}},
      {"bathtub, level 0", kCodingBathtub, 3, 2, false, 0, 2, {-c, -c}},
      {"bathtub, level 1", kCodingBathtub, 3, 2, false, 1, 2, {c, -c}},
      {"bathtub, level 2", kCodingBathtub, 3, 2, false, 2, 2, {c, c}},
      {"poly, numeric value 3", kCodingPoly, 3, 2, false, 2, 2, {6, 18}},
      {"poly, third character level", kCodingPoly, 3, 2, true, 2, 2, {6, 18}},
      {"orthogonal effect: matrix row", kCodingOrthEffect, 3, 2, false, 1, 2, {22, 24}},
      {"qfr: effect's columns", kCodingQfr, 3, 2, false, 2, 2, {-2, -2}},
      {"unknown code: effect's columns", static_cast<CodingCode>(11), 3, 2, false, 0, 2, {2, 0}},
      {"matrix row, wider than the matrix", kCodingOrthRef, 3, 2, false, 1, 4, {22, 24, 0, 0}},
      {"missing level", kCodingEffect, 3, 2, false, -1, 2, {0, 0}},
      {"missing level, matrix code", kCodingOrthPoly, 3, 2, false, -1, 2, {0, 0}},
      {"level beyond the levels", kCodingRef, 3, 2, false, 3, 2, {0, 0}},
      {"unresolved reference", kCodingEffect, 3, -2, false, 0, 2, {0, 0}},
  };
  for (const CodingCase& k : cases) {
    SCOPED_TRACE(k.what);
    VarDescriptor desc;
    std::vector<LevelRecord> recs;
    std::vector<double> matrix;
    LevelVar v = makeVar(k, &desc, &recs, &matrix);
    // Guards on both sides catch a write outside the columns.
    std::vector<double> out(static_cast<size_t>(k.width) + 2, 99.0);
    zlvlcode(&v, out.data() + 1, k.level, k.width, 2.0);
    EXPECT_EQ(out.front(), 99.0);
    EXPECT_EQ(out.back(), 99.0);
    for (int i = 0; i < k.width; ++i)
      EXPECT_NEAR(out[static_cast<size_t>(i) + 1], k.want[static_cast<size_t>(i)], 1e-15) << i;
  }
}

TEST(Coding, PolyValueZeroGivesZerosAndWidthZeroWritesNothing) {
  CodingCase k{"", kCodingPoly, 3, 2, false, 0, 2, {}};
  VarDescriptor desc;
  std::vector<LevelRecord> recs;
  std::vector<double> matrix;
  LevelVar v = makeVar(k, &desc, &recs, &matrix);
  recs[0].value = 0.0;
  double out[2] = {5, 5};
  zlvlcode(&v, out, 0, 2, 2.0);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  out[0] = 5;
  zlvlcode(&v, out, 1, 0, 2.0);
  EXPECT_EQ(out[0], 5.0);
}

TEST(Coding, KroneckerStepInPlace) {
  double x[4] = {1, 2, 0, 0};
  const double v[2] = {3, 4};
  zkronexp(x, 2, v, 2);
  EXPECT_EQ(std::vector<double>(x, x + 4), (std::vector<double>{3, 6, 4, 8}));
  double y[3] = {1, 2, 9};
  const double three[3] = {0.5, -1, 2};
  zkronexp(y, 1, three, 3);  // one-column block: the vector times its first value
  EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{0.5, -1, 2}));
  zkronexp(x, 2, v, 0);
  EXPECT_EQ(x[0], 3.0);
}

}  // namespace
}  // namespace vsf::test
