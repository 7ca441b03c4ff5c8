// Columns far from 0 next to their spread (Longley's year, a calendar year in six rows): with an
// intercept a shift of a column changes nothing, so such a column is aliased only when it is a
// combination of the others, and the selections reach the models least squares reaches.
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

}  // namespace
}  // namespace vsf::test
