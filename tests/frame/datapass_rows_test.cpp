// The stored rows of a BY group, read back from its utility files, against the rows that
// tests/reference/datapass_fixtures.py works out from the CSV data: which observations are
// stored, their weights, frequencies, responses, roles and design rows, and the totals, means
// and scales the pass leaves in the selection state.
#include <gtest/gtest.h>

#include <cmath>

#include "base/strings.h"
#include "common/datapass_support.h"

namespace vsf::test {
namespace {

constexpr const char* kRowsStep =
    "proc varsifter data=rows; class c; model y = x1 x2 c x1*c; weight w; freq f; "
    "partition role=r(train='T' validate='V' test='S'); run;";

void expectNear(double got, double want, const std::string& what) {
  if (std::isnan(want)) {
    EXPECT_TRUE(znotfinite(got)) << what;
    return;
  }
  EXPECT_NEAR(got, want, 1e-12 * (1 + std::fabs(want))) << what;
}

TEST(StoredRows, EqualTheRowsOfTheUsableObservations) {
  const Csv want = readCsv("datapass/rows_expected.csv");
  bool inspected = false;
  StepRun r = runOnData(kRowsStep, [&](VsfState& s) {
    inspected = true;
    std::vector<StoredRow> rows = readStoredRows(s);
    ASSERT_EQ(rows.size(), want.rows.size());
    // The observations with a value missing are left out; what is stored is marked finite,
    // and the passes test none of it again.
    for (bool finite : blockFiniteMarks(s)) EXPECT_TRUE(finite);
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE("row " + std::to_string(i));
      EXPECT_EQ(rows[i].w, want.number(i, "w"));
      EXPECT_EQ(rows[i].f, want.number(i, "f"));  // 2.7 stored as 2
      EXPECT_EQ(rows[i].y, want.number(i, "y"));
      EXPECT_EQ(rows[i].role, static_cast<int32_t>(want.number(i, "role")));
      ASSERT_EQ(rows[i].x.size(), want.header.size() - 4);
      for (size_t c = 0; c < rows[i].x.size(); ++c)
        EXPECT_EQ(rows[i].x[c], want.number(i, want.header[c + 4])) << want.header[c + 4];
    }
  });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_TRUE(inspected && r.inspected);
}

TEST(StoredRows, TotalsMeansAndScales) {
  const Csv totals = readCsv("datapass/rows_totals.csv");
  const Csv moments = readCsv("datapass/rows_moments.csv");
  StepRun r = runOnData(kRowsStep, [&](VsfState& v) {
    const SelectionState& s = v.group.selection;
    const std::pair<const char*, double> got[] = {{"obsRead", s.totals.obsRead},
                                                  {"freqRead", s.totals.freqRead},
                                                  {"freqStored", s.totals.freqStored},
                                                  {"rowsStored", s.totals.rowsStored},
                                                  {"trainRows", s.totals.obsUsed},
                                                  {"trainFreq", s.totals.trainFreq},
                                                  {"trainWeight", s.totals.trainWeight},
                                                  {"validRows", s.totals.validRows},
                                                  {"validFreq", s.totals.validFreq},
                                                  {"validWeight", s.totals.validWeight},
                                                  {"testRows", s.totals.testRows},
                                                  {"testFreq", s.totals.testFreq},
                                                  {"noRoleRows", s.totals.noRoleRows},
                                                  {"noRoleFreq", s.totals.noRoleFreq},
                                                  {"sumWy", s.totals.sumWy},
                                                  {"sumWyy", s.totals.sumWyy},
                                                  {"responseMean", s.totals.responseMean}};
    for (const auto& [name, value] : got) {
      bool found = false;
      for (size_t i = 0; i < totals.rows.size(); ++i)
        if (totals.rows[i][0] == name)
          found = true, expectNear(value, totals.number(i, "value"), name);
      EXPECT_TRUE(found) << name;
    }
    ASSERT_EQ(s.layout.paramCount, static_cast<int32_t>(moments.rows.size()));
    for (size_t c = 0; c < moments.rows.size(); ++c) {
      expectNear(s.layout.colMeans[c], moments.number(c, "mean"), "mean of " + moments.rows[c][0]);
      expectNear(s.layout.colScales[c], moments.number(c, "scale"),
                 "scale of " + moments.rows[c][0]);
    }
  });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_TRUE(r.inspected);
}

// Layout of the rows: every effect dense up to 4 columns; CLASS effects of more columns are
// stored sparse after all dense columns, their values in increasing column order.
TEST(StoredRows, SparseEffectsFollowTheDenseOnes) {
  StepRun r =
      runOnData("proc varsifter data=sscp; class k c; model y = x1 c k x2; run;", [&](VsfState& v) {
        const SelectionState& s = v.group.selection;
        ASSERT_EQ(s.layout.effectCount, 5);
        EXPECT_EQ(s.layout.sparseEffectCount, 1);
        EXPECT_EQ(s.layout.sparseIndex[2], 0);  // c: six levels
        EXPECT_EQ(s.layout.denseOffset[2], -1);
        EXPECT_EQ(s.layout.denseValues, 1 + 1 + 3 + 1);
        EXPECT_EQ(s.layout.layoutColumn[3], 3);  // k after Intercept and x1
        EXPECT_EQ(s.layout.layoutColumn[4], 6);
        EXPECT_EQ(s.layout.layoutColumn[2], 7);  // c behind every dense column
        EXPECT_EQ(s.layout.singleColumnEffects, 3);
        EXPECT_EQ(s.layout.largestEffectColumns, 6);
        for (const StoredRow& row : readStoredRows(v)) {
          ASSERT_EQ(row.sparseIndexes.size(), 1u);  // one level per row
          EXPECT_EQ(row.x[2 + row.sparseIndexes[0]], 1.0);
        }
      });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_TRUE(r.inspected);
}

// A page too small for many rows: rows are carried into the next block, never split, and
// every block but the last is full up to the row that did not fit.
TEST(StoredRows, ARowThatDoesNotFitStartsTheNextBlock) {
  StepRun r = runOnData(
      "proc varsifter data=block; model y = x; performance util_pagesize$=1 util_buffers$=2 "
      "nothreads; run;",
      [&](VsfState& v) {
        std::vector<int64_t> counts = blockRowCounts(v);
        // (1024 - 8) bytes per block; a row: response, intercept, x (24 bytes), no tags.
        ASSERT_GE(counts.size(), 2u);
        for (size_t k = 0; k + 1 < counts.size(); ++k) EXPECT_EQ(counts[k], 42) << k;
        int64_t total = 0;
        for (int64_t c : counts) total += c;
        EXPECT_EQ(total, 200);
        EXPECT_EQ(v.group.largestBlockRows, 42);
        std::vector<StoredRow> rows = readStoredRows(v);
        const Csv data = readCsv("datapass/block.csv");
        for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(rows[i].y, data.number(i, "y")) << i;
      });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_TRUE(r.inspected);
}

// Which effects are stored sparse: up to 4 columns dense; a CLASS effect of more columns is
// sparse, except under full-rank codings, where ORDINAL (and BATHTUB) codings stay dense up to
// 6 columns; ALLSPARSE$ and ALLDENSE$ decide alone.
TEST(StoredRows, SparseOrDenseByColumnsAndCoding) {
  struct Case {
    const char* statements;
    std::vector<int> sparse;  // per effect: 1 when stored sparse
    std::vector<int> columns;
  } cases[] = {
      {"class c6 c7 c8; model y = c6 c7 c8 x;", {0, 1, 1, 1, 0}, {1, 6, 7, 8, 1}},
      {"class c7 c8 / param=ordinal; model y = c7 c8 x;", {0, 0, 1, 0}, {1, 6, 7, 1}},
      {"class c6 / param=ref; model y = c6 x;", {0, 1, 0}, {1, 5, 1}},
      {"class c6 / param=effect; model y = c6 x;", {0, 1, 0}, {1, 5, 1}},
      {"class c6 / param=ordinal; model y = c6 x;", {0, 0, 0}, {1, 5, 1}},
      {"class c8; model y = c8 x; performance alldense$;", {0, 0, 0}, {1, 8, 1}},
      {"model y = x; performance allsparse$;", {1, 1}, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    std::vector<int> sparse, columns;
    StepRun r = runOnData(std::string("proc varsifter data=codings; ") + c.statements + " run;",
                          [&](VsfState& v) {
                            const SelectionState& s = v.group.selection;
                            for (int32_t e = 0; e < s.layout.effectCount; ++e) {
                              sparse.push_back(s.layout.sparseIndex[e] >= 0);
                              columns.push_back(s.layout.columnCount[e]);
                            }
                          });
    EXPECT_LT(r.code, 100) << r.dump();
    EXPECT_EQ(sparse, c.sparse);
    EXPECT_EQ(columns, c.columns);
  }
}

// A sparse effect's values are stored in increasing column order, so that the crossproducts
// of a row land in their packed elements: EFFECT coding gives the last level -1 in every column.
TEST(StoredRows, SparseValuesInIncreasingColumnOrder) {
  size_t fullRows = 0;
  StepRun r =
      runOnData("proc varsifter data=codings; class c6 / param=effect; model y = c6 x; run;",
                [&](VsfState& v) {
                  for (const StoredRow& row : readStoredRows(v)) {
                    ASSERT_EQ(row.sparseEnds.size(), 1u);
                    for (size_t k = 1; k < row.sparseIndexes.size(); ++k)
                      EXPECT_LT(row.sparseIndexes[k - 1], row.sparseIndexes[k]);
                    if (row.sparseIndexes.size() == 5) {
                      ++fullRows;
                      for (int c = 1; c <= 5; ++c) EXPECT_EQ(row.x[c], -1.0);
                    }
                  }
                });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_EQ(fullRows, 6u);  // rows 5, 11, ..., 35 of the 40: level l5
}

// A split CLASS effect's candidates take their columns of the design row through their maps,
// one level each in level order: the stored values equal those of the effect kept whole.
TEST(StoredRows, SplitCandidatesStoreTheColumnsOfTheirLevels) {
  std::vector<StoredRow> rows[2];
  for (int split = 0; split < 2; ++split) {
    const std::string c6 = split ? "c6(split)" : "c6";
    StepRun r = runOnData("proc varsifter data=codings; class " + c6 + " c7; model y = x c6 c7; " +
                              "performance alldense$; run;",
                          [&](VsfState& v) { rows[split] = readStoredRows(v); });
    ASSERT_EQ(r.code, 0) << r.dump();
  }
  ASSERT_EQ(rows[0].size(), rows[1].size());
  ASSERT_FALSE(rows[0].empty());
  for (size_t i = 0; i < rows[0].size(); ++i) {
    EXPECT_EQ(rows[1][i].x, rows[0][i].x) << "row " << i;
    EXPECT_EQ(rows[1][i].y, rows[0][i].y) << "row " << i;
  }
}

}  // namespace
}  // namespace vsf::test
