// Columns far from 0 next to their spread (Longley's year, a calendar year in six rows, columns
// near 1e8): with an intercept a shift of a column changes nothing, so such a column is aliased
// only when it is a combination of the others, the selections reach the models least squares
// reaches, and the full model's estimates, standard errors and error sum of squares agree with
// exact rational least squares (tests/reference/exact_least_squares.py) as well as on the same
// columns near 0.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

const char* const kLongley = "Employed = GNP_deflator GNP Unemployed Armed_Forces Population Year";

CommandRun runOn(const std::string& data, const std::string& model) {
  return runCommand("proc varsifter data=" + data + "; model " + model + "; run;",
                    VSF_TEST_DATA "/e2e");
}

// R's step(k = log(16)) from the empty model ends at these four (SBC -32.9362116242, the exact
// error SS of the fixture); add1 gives Year F = 24.3144527022, p = 0.0004489747936 after the
// first three.
TEST(LargeMeans, SelectionsReachTheLeastSquaresModel) {
  const Csv ref = readCsv("e2e/exact_least_squares.csv");
  double sse = NAN;
  for (size_t i = 0; i < ref.rows.size(); ++i)
    if (ref.text(i, "case") == "longley_sbc" && ref.text(i, "term") == "Error SS")
      sse = ref.number(i, "estimate");
  const double sbc = 16 * std::log(sse / 16) + 5 * std::log(16.0);
  for (const char* method : {"forward(select=sbc)", "backward(select=sbc)", "stepwise(select=sbc)",
                             "stepwise(select=sl slentry=0.5)"}) {
    SCOPED_TRACE(method);
    const CommandRun r = runOn("longley", std::string(kLongley) + " / selection=" + method);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(macro(r, "_VSFIND"), "GNP Unemployed Armed_Forces Year");
    const Json last = theOne(r, "SelectionSummary")["rows"].back();
    EXPECT_NEAR(number(last["SBC"]), sbc, 1e-8 * std::fabs(sbc));
    if (std::string(method).find("sl") != std::string::npos) {
      EXPECT_EQ(last["EffectEntered"], "Year");
      EXPECT_NEAR(number(last["FValue"]), 24.3144527022, 1e-8);
      EXPECT_NEAR(number(last["ProbF"]), 0.0004489747936, 1e-12);
    }
  }
}

// Six rows with a calendar year: the year is no more aliased than its count from 1.
TEST(LargeMeans, YearCountedFromItsEraIsNotAliased) {
  for (const char* year : {"year", "t"}) {
    SCOPED_TRACE(year);
    const CommandRun r = runOn("six_rows", std::string("y = x ") + year + " / selection=none");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("(aliased)"), std::string::npos) << r.output;
    for (const Json& t : findAll(r.document, "ParameterEstimates")) {
      for (const Json& row : t["rows"]) {
        const double want = row["Effect"] == "x"    ? 20.0 / 33
                            : row["Effect"] == year ? 17.0 / 33
                                                    : 0;
        if (want != 0) {
          EXPECT_NEAR(number(row["Estimate"]), want, 1e-9);
        }
      }
    }
  }
}

// Raw powers of large values reach the rule at high degrees: the sixth power of 7 levels from
// 95 to 1000 keeps 6.3e-9 of its sum of squares about its mean after the lower powers; the
// orthogonal polynomials keep every degree.
TEST(LargeMeans, RawPowersOfLargeLevelsReachTheRule) {
  for (const char* coding : {"poly", "orthpoly"}) {
    SCOPED_TRACE(coding);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=poly_levels; class g / param=") + coding +
                       "; model y = g / selection=none; run;",
                   VSF_TEST_DATA "/e2e");
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<int> df;
    for (const Json& t : findAll(r.document, "ParameterEstimates"))
      for (const Json& row : t["rows"])
        if (row["Effect"] == "g") df.push_back(row["DF"].get<int>());
    const std::vector<int> want = {1, 1, 1, 1, 1, std::string(coding) == "poly" ? 0 : 1};
    EXPECT_EQ(df, want);
  }
}

// Significant digits of a against the exact b.
double digits(double a, double b) {
  if (a == b) return 17;
  return std::min(17.0, -std::log10(std::fabs(a - b) / std::fabs(b)));
}

Json selectedTable(const CommandRun& r, const std::string& name) {
  for (const Json& t : findAll(r.document, name))
    if (t["path"] == "SelectedModel." + name) return t;
  ADD_FAILURE() << "no SelectedModel." << name;
  return Json();
}

// A case's values by term: estimate and standard error, or the error SS and its DF.
using Values = std::map<std::string, std::pair<double, double>>;

Values fitFullModel(const Csv& ref, size_t h) {
  const CommandRun r = runOn(
      ref.text(h, "data"), ref.text(h, "response") + " = " + ref.text(h, "effects") +
                               " / selection=none" + (ref.text(h, "noint") == "1" ? " noint" : ""));
  EXPECT_EQ(r.status, 0) << r.output;
  Values v;
  const Json estimates = selectedTable(r, "ParameterEstimates"), anova = selectedTable(r, "ANOVA");
  for (const Json& row : estimates["rows"])
    v[row["Effect"].get<std::string>()] = {number(row["Estimate"]), number(row["StdErr"])};
  for (const Json& row : anova["rows"])
    if (row["Source"] == "Error") v["Error SS"] = {number(row["SS"]), number(row["DF"])};
  return v;
}

TEST(LargeMeans, FullModelAgreesWithExactLeastSquares) {
  const Csv ref = readCsv("e2e/exact_least_squares.csv");
  std::map<std::string, std::vector<size_t>> cases;
  for (size_t i = 0; i < ref.rows.size(); ++i) cases[ref.text(i, "case")].push_back(i);
  ASSERT_EQ(cases.size(), 8u);
  std::map<std::string, Values> fits;
  for (const auto& [name, rows] : cases) {
    SCOPED_TRACE(name);
    const Values got = fits[name] = fitFullModel(ref, rows.front());
    for (size_t i : rows) {
      const std::string term = ref.text(i, "term");
      SCOPED_TRACE(term);
      ASSERT_TRUE(got.count(term));
      const auto [value, second] = got.at(term);
      const double df = ref.number(i, "df"), want = ref.number(i, "estimate");
      if (term == "Error SS") {
        EXPECT_EQ(second, df);
        EXPECT_GE(digits(value, want), 9) << value;
      } else if (df == 0) {  // aliased: 0 with a missing standard error
        EXPECT_EQ(value, 0);
        EXPECT_TRUE(std::isnan(second));
      } else {
        EXPECT_GE(digits(value, want), 9) << value;
        EXPECT_GE(digits(second, ref.number(i, "stderr")), 9) << second;
      }
    }
  }
  // The same columns near 1e8 and near 0: the slopes, their errors and the error SS agree.
  const Values& far = fits["large_means"];
  for (const auto& [term, near] : fits["large_means_centred"]) {
    if (term == "Intercept" || near.first == 0) continue;
    SCOPED_TRACE(term);
    EXPECT_GE(digits(far.at(term).first, near.first), 13);
    if (term != "Error SS") {
      EXPECT_GE(digits(far.at(term).second, near.second), 13);
    }
  }
}

}  // namespace
}  // namespace vsf::test
