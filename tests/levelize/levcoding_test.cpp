// Coding matrices of the orthogonalised parametrizations against R's contrasts
// (tests/reference/levelize_codings.R -> tests/data/levelize/codings.csv).
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "common/csv.h"
#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;

struct CodingCase {
  CodingCode code = kCodingEffect;
  int n = 0, ref = 0;
  std::vector<double> values;  // numeric level values; none for a character variable
  std::vector<double> matrix;  // n x (n - 1), row by row
};

std::map<std::string, CodingCase> loadCases() {
  const test::Csv t = test::readCsv("levelize/codings.csv");
  std::map<std::string, CodingCase> cases;
  for (const auto& f : t.rows) {
    CodingCase& c = cases[f[0]];
    c.code = static_cast<CodingCode>(std::stoi(f[1]));
    c.n = std::stoi(f[2]);
    c.ref = std::stoi(f[3]);
    if (c.values.empty() && !f[4].empty()) {
      std::istringstream vs(f[4]);
      for (double x; vs >> x;) c.values.push_back(x);
    }
    c.matrix.resize(static_cast<size_t>(c.n) * (c.n - 1));
    c.matrix[static_cast<size_t>(std::stoi(f[5]) * (c.n - 1) + std::stoi(f[6]))] = std::stod(f[7]);
  }
  return cases;
}

class Coding : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureHost();
    pool = kernel().poolCreate("coding test", kPoolPlain);
    character.type = kVarCharacter;
    character.name = "c";
    numeric.name = "x";
  }
  void TearDown() override { kernel().poolDestroy(pool); }

  // A variable of n levels (numeric values, or character when none are given).
  LevelVar variable(CodingCode code, int n, int ref, const std::vector<double>& values) {
    LevelVar v;
    v.desc = values.empty() ? &character : &numeric;
    v.coding = code;
    v.refIndex = ref;
    records.assign(static_cast<size_t>(n), LevelRecord());
    for (size_t k = 0; k < values.size(); ++k) records[k].value = values[k];
    v.levels = records.data();
    return v;
  }

  HostPool* pool = nullptr;
  VarDescriptor character, numeric;
  std::vector<LevelRecord> records;
};

TEST_F(Coding, OrthogonalisedCodingsMatchTheContrastsOfR) {
  auto cases = loadCases();
  ASSERT_EQ(cases.size(), 14u);
  for (const auto& [name, c] : cases) {
    SCOPED_TRACE(name);
    LevelVar v = variable(c.code, c.n, c.ref, c.values);
    levCodingMatrix(pool, &v, c.n);
    ASSERT_NE(v.codingMatrix, nullptr);
    for (size_t i = 0; i < c.matrix.size(); ++i)
      EXPECT_NEAR(v.codingMatrix[i], c.matrix[i], 1e-12) << "cell " << i;
  }
}

TEST_F(Coding, CodingsWithoutAMatrix) {
  // EFFECT, REF, POLY, ORDINAL and BATHTUB columns come from the level index alone; one level
  // has no columns; a stored QFR has EFFECT's columns.
  for (CodingCode code : {kCodingEffect, kCodingRef, kCodingPoly, kCodingOrdinal, kCodingBathtub}) {
    LevelVar v = variable(code, 3, 2, {});
    v.codingMatrix = reinterpret_cast<double*>(&v);  // an old matrix is dropped
    levCodingMatrix(pool, &v, 3);
    EXPECT_EQ(v.codingMatrix, nullptr) << static_cast<int>(code);
  }
  LevelVar one = variable(kCodingOrthRef, 1, 0, {});
  levCodingMatrix(pool, &one, 1);
  EXPECT_EQ(one.codingMatrix, nullptr);
  LevelVar qfr = variable(kCodingQfr, 3, 2, {});
  levCodingMatrix(pool, &qfr, 3);
  EXPECT_EQ(qfr.codingMatrix, nullptr);
}

TEST_F(Coding, MatrixBeyondTwoGigabytesEndsTheStep) {
  // 8 x 16385 x 16384 bytes is just above 2147483647.
  LevelVar v = variable(kCodingOrthEffect, 16385, 0, {});
  test::LogWatch log;
  EXPECT_TRUE(test::endsStep([&] { levCodingMatrix(pool, &v, 16385); }, step::kInternal));
  EXPECT_TRUE(log.has("", "coding matrix of c")) << log.last();
}

// Levelized from a data set: REF=FIRST moves the first level last; the matrix is built with
// the reference where it now stands.
TEST_F(Coding, ReferenceMovedLastCodesTheRightRow) {
  auto cases = loadCases();
  const CodingCase& want = cases.at("ORTHREF n=4");
  LevHarness h("orders");
  h.addClass("s");
  h.build();
  LevelVar& s = h.design.classVars[0];
  s.coding = kCodingOrthRef;
  s.refIndex = -1;
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  EXPECT_EQ(h.levels(0), (std::vector<std::string>{"9", "a", "b", "10"}));
  ASSERT_EQ(s.refIndex, 3);
  ASSERT_NE(s.codingMatrix, nullptr);
  for (size_t i = 0; i < want.matrix.size(); ++i)
    EXPECT_NEAR(s.codingMatrix[i], want.matrix[i], 1e-12) << "cell " << i;
}

}  // namespace
}  // namespace vsf
