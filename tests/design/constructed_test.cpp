// The columns of constructed effects as the data pass stores them, against R
// (tests/reference/constructed_columns.R): B-spline columns equal splines::splineDesign on the
// same knots, truncated power columns their formula, the natural cubic columns span the space of
// splines::ns, percentile knots equal quantile(type = 2) with and without FREQ, polynomial
// columns equal poly(raw = TRUE) of the standardized variables, LAG columns a merge of the data
// with its previous period; COLLECTION and MULTIMEMBER columns equal a design built here.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/csv.h"
#include "common/datapass_support.h"
#include "design/design.h"
#include "effects/effects.h"

namespace vsf::test {
namespace {

using Matrix = std::vector<std::vector<double>>;  // rows of columns

// Case -> its columns per row, or its knots, from the fixtures.
std::map<std::string, Matrix> referenceColumns() {
  const Csv t = readCsv("design/constructed_columns.csv");
  std::map<std::string, Matrix> out;
  for (size_t i = 0; i < t.rows.size(); ++i) {
    Matrix& m = out[t.rows[i][0]];
    const size_t row = static_cast<size_t>(t.number(i, "row")) - 1;
    const size_t col = static_cast<size_t>(t.number(i, "column")) - 1;
    if (m.size() <= row) m.resize(row + 1);
    if (m[row].size() <= col) m[row].resize(col + 1);
    m[row][col] = t.number(i, "value");
  }
  return out;
}

std::map<std::string, std::vector<double>> referenceKnots() {
  const Csv t = readCsv("design/constructed_knots.csv");
  std::map<std::string, std::vector<double>> out;
  for (size_t i = 0; i < t.rows.size(); ++i) out[t.rows[i][0]].push_back(t.number(i, "value"));
  return out;
}

const ZEffect* effectNamed(const ZDesign& d, const std::string& name) {
  for (int e = 0; e < d.effectCount; ++e)
    if (d.effects[e].name && name == d.effects[e].name) return &d.effects[e];
  return nullptr;
}

// The stored columns of each named effect, rows in data order, and each spline's knots.
struct Stored {
  std::map<std::string, Matrix> columns;
  std::map<std::string, std::vector<double>> knots;
};

Stored runCases(const std::string& statements, const std::vector<std::string>& effects) {
  Stored s;
  PassSettings settings;
  settings.library = VSF_TEST_DATA "/design";
  StepRun r = runOnData(
      "proc varsifter data=constructed;\n" + statements + "\nrun;",
      [&](VsfState& state) {
        const ZDesign& d = *state.lev.design;
        const std::vector<StoredRow> rows = readStoredRows(state);
        for (const std::string& name : effects) {
          const ZEffect* z = effectNamed(d, name);
          ASSERT_NE(z, nullptr) << name;
          Matrix& m = s.columns[name];
          for (const StoredRow& row : rows)
            m.emplace_back(row.x.begin() + z->startColumn,
                           row.x.begin() + z->startColumn + z->columnCount);
          const ZDesignVar& v = d.designVars[z->constructed[0]];
          if (v.spline && v.spline->knots && v.spline->knots[0])
            s.knots[name].assign(v.spline->knots[0], v.spline->knots[0] + v.spline->knotCounts[0]);
        }
      },
      settings);
  EXPECT_LT(r.code, 100) << r.dump();
  EXPECT_TRUE(r.inspected) << r.dump();
  return s;
}

void expectMatrix(const Matrix& got, const Matrix& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(got[i].size(), want[i].size()) << what << " row " << i + 1;
    for (size_t j = 0; j < want[i].size(); ++j)
      EXPECT_NEAR(got[i][j], want[i][j], 1e-12 * std::max(1.0, std::fabs(want[i][j])))
          << what << " row " << i + 1 << " column " << j + 1;
  }
}

void expectKnots(const std::vector<double>& got, const std::vector<double>& want,
                 const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t k = 0; k < want.size(); ++k)
    EXPECT_NEAR(got[k], want[k], 1e-12 * std::max(1.0, std::fabs(want[k])))
        << what << " knot " << k;
}

// Largest relative residual of projecting each column of b on the columns of a (modified
// Gram-Schmidt): 0 when b lies in the span of a.
double projectionResidual(const Matrix& a, const Matrix& b) {
  const size_t n = a.size(), p = a[0].size();
  std::vector<std::vector<double>> q;
  auto removeSpan = [&q, n](std::vector<double>& v) {
    for (const auto& u : q) {
      double dot = 0;
      for (size_t i = 0; i < n; ++i) dot += u[i] * v[i];
      for (size_t i = 0; i < n; ++i) v[i] -= dot * u[i];
    }
  };
  for (size_t j = 0; j < p; ++j) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = a[i][j];
    removeSpan(v);
    double norm = 0;
    for (double x : v) norm += x * x;
    norm = std::sqrt(norm);
    if (norm < 1e-9) continue;
    for (double& x : v) x /= norm;
    q.push_back(v);
  }
  double worst = 0;
  for (size_t j = 0; j < b[0].size(); ++j) {
    std::vector<double> v(n);
    double total = 0;
    for (size_t i = 0; i < n; ++i) total += (v[i] = b[i][j]) * b[i][j];
    for (int pass = 0; pass < 2; ++pass) removeSpan(v);
    double rest = 0;
    for (double x : v) rest += x * x;
    worst = std::max(worst, std::sqrt(rest / total));
  }
  return worst;
}

TEST(ConstructedColumns, SplinesAndPolynomialsMatchR) {
  const auto want = referenceColumns();
  const auto knots = referenceKnots();
  const std::vector<std::string> names = {"b3", "b2", "b0", "b1", "bm", "bw",
                                          "t3", "tn", "nc", "p",  "pw", "pr"};
  const Stored s = runCases(
      "effect b3 = spline(x);\n"
      "effect b2 = spline(x / degree=2 knotmethod=percentiles(4));\n"
      "effect b0 = spline(x / degree=0 knotmethod=list(2 5 7));\n"
      "effect b1 = spline(z / degree=1 knotmethod=rangefractions(0.25 0.5 0.75) databoundary);\n"
      "effect bm = spline(x / knotmethod=equal(2) knotmin=-5 knotmax=20);\n"
      "effect bw = spline(x / degree=2 knotmethod=listwithboundary(-1 0 3 6 10 11));\n"
      "effect t3 = spline(x / basis=tpf knotmethod=list(2 4 4 6));\n"
      "effect tn = spline(x / basis=tpf(noint) degree=2 knotmethod=percentiles(3));\n"
      "effect nc = spline(x / naturalcubic knotmethod=equal(4));\n"
      "effect p = poly(x z / degree=3 standardize(method=moments)=centerscale noseparate);\n"
      "effect pw = poly(x z / degree=2 standardize(method=wmoments)=center noseparate);\n"
      "effect pr = poly(x / degree=2 standardize(method=range)=scale noseparate);\n"
      "model y = b3 b2 b0 b1 bm bw t3 tn nc p pw pr / selection=none;\nweight w;",
      names);
  for (const std::string& name : names) {
    if (knots.count(name)) expectKnots(s.knots.at(name), knots.at(name), name);
    if (name != "nc") expectMatrix(s.columns.at(name), want.at(name), name);
  }
  // The natural cubic basis: 1, x and the knots' columns span what ns() spans.
  ASSERT_EQ(s.columns.at("nc")[0].size(), want.at("nc")[0].size());
  EXPECT_LT(projectionResidual(s.columns.at("nc"), want.at("nc")), 1e-10);
  EXPECT_LT(projectionResidual(want.at("nc"), s.columns.at("nc")), 1e-10);
}

// Percentile knots fall on the data expanded by its frequencies (R's quantile of the repeated
// values), and the moments count each observation by its frequency.
TEST(ConstructedColumns, FrequenciesExpandTheData) {
  const auto want = referenceColumns();
  const auto knots = referenceKnots();
  const Stored s = runCases(
      "effect pf = spline(x / knotmethod=percentiles(5));\n"
      "effect tf = spline(x / basis=tpf knotmethod=percentiles(4));\n"
      "effect pf2 = poly(x / degree=2 standardize noseparate);\n"
      "model y = pf tf pf2 / selection=none;\nfreq f;",
      {"pf", "tf", "pf2"});
  for (const std::string name : {"pf", "tf"}) expectKnots(s.knots.at(name), knots.at(name), name);
  for (const std::string name : {"pf", "tf", "pf2"})
    expectMatrix(s.columns.at(name), want.at(name), name);
}

// The previous period's level of the same subject; the first period has none (zeros), a missing
// previous period leaves the row out.
TEST(ConstructedColumns, LagColumnsAreThePreviousPeriod) {
  const auto want = referenceColumns();
  const std::string lag = "effect lag = lag(L / within=subj period=per);\n";
  expectMatrix(
      runCases("class L;\n" + lag + "model y = lag / selection=none;", {"lag"}).columns.at("lag"),
      want.at("lag"), "lag");
  expectMatrix(runCases("class L / param=ref;\n" + lag + "model y = lag / selection=none;", {"lag"})
                   .columns.at("lag"),
               want.at("lagref"), "lag, reference coding");
}

// COLLECTION and MULTIMEMBER columns built here from the data, in both CLASS layouts.
TEST(ConstructedColumns, CollectionAndMultimemberByHand) {
  const Csv data = readCsv("design/constructed.csv");
  const std::vector<std::string> union_ = {"a", "b", "c", "d"};
  for (const bool coded : {false, true}) {
    Matrix co, mm, mmw;
    for (size_t i = 0; i < data.rows.size(); ++i) {
      const std::string g = data.text(i, "g");
      const std::string h = data.text(i, "h");
      std::vector<double> c = {data.number(i, "x"), data.number(i, "z")};
      for (const std::string level : {"a", "b", "c"})
        if (!coded || level != std::string("c")) c.push_back(g == level ? 1 : 0);  // c: reference
      co.push_back(c);
      std::vector<double> counts, weighted;
      const double wg = data.number(i, "wg"), wh = data.number(i, "wh");
      for (const std::string& u : union_) {
        counts.push_back((g == u) + (h == u));
        weighted.push_back(((g == u) * wg + (h == u) * wh) / (wg + wh));
      }
      mm.push_back(counts);
      mmw.push_back(weighted);
    }
    const Stored s = runCases(std::string(coded ? "class g h / param=ref;\n" : "class g h;\n") +
                                  "effect co = collection(x z g);\n"
                                  "effect mm = mm(g h);\n"
                                  "effect mmw = mm(g h / weight=(wg wh) stdize);\n"
                                  "model y = co mm mmw / selection=none;",
                              {"co", "mm", "mmw"});
    expectMatrix(s.columns.at("co"), co, coded ? "coded collection" : "collection");
    expectMatrix(s.columns.at("mm"), mm, "multimember");
    expectMatrix(s.columns.at("mmw"), mmw, "weighted multimember");
  }
}

}  // namespace
}  // namespace vsf::test
