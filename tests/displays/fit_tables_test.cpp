// ANOVA, FitStatistics and ParameterEstimates of a fitted model against R's lm
// (tests/reference/displays_fixtures.R): mtcars with and without intercept, and diabetes with
// a CLASS effect whose last indicator column is aliased.
#include <gtest/gtest.h>

#include <cmath>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"

namespace vsf::test {
namespace {

void expectNear(double actual, double expected, double relative, const std::string& what) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << what << " is " << actual;
    return;
  }
  EXPECT_NEAR(actual, expected, relative * std::max(1.0, std::fabs(expected))) << what;
}

struct FitCase {
  const char* name;
  bool noInt;
};

class FitTables : public testing::TestWithParam<FitCase> {};

TEST_P(FitTables, NumbersAreThoseOfLm) {
  const FitCase c = GetParam();
  DisplayFit fit(c.name, GroupSettings{}, c.noInt);
  fit.runPath();
  VsfState& v = fit.vsf();
  SelectionState& s = fit.sel();
  ASSERT_EQ(printAnova(settledView(v), &s, s.modelPool), 0);
  ASSERT_EQ(printFitStatistics(settledView(v), &s), 0);
  ASSERT_EQ(printParameterEstimates(settledView(v), &s, s.modelPool, 0), 0);
  Json doc = fit.out.document();

  Csv anova = readCsv(std::string("displays/displays_") + c.name + "_anova.csv");
  Json a = oneTable(doc, "ANOVA");
  ASSERT_EQ(a["rows"].size(), 3u);
  for (size_t r = 0; r < 3; ++r) {
    const Json& row = a["rows"][r];
    const std::string at = std::string(c.name) + " ANOVA row " + std::to_string(r);
    expectNear(cellNumber(row["DF"]), anova.number(r, "df"), 1e-12, at + " DF");
    expectNear(cellNumber(row["SS"]), anova.number(r, "ss"), 1e-9, at + " SS");
    expectNear(cellNumber(row["MS"]), anova.number(r, "ms"), 1e-9, at + " MS");
    expectNear(cellNumber(row["FValue"]), anova.number(r, "f"), 1e-9, at + " F");
    expectNear(cellNumber(row["ProbF"]), anova.number(r, "p"), 1e-6, at + " p");
  }
  EXPECT_EQ(cellMissing(a["rows"][1]["FValue"]), "-");
  EXPECT_EQ(cellMissing(a["rows"][2]["MS"]), "-");
  EXPECT_EQ(a["rows"][2]["Source"], c.noInt ? "Uncorrected Total" : "Corrected Total");

  Csv stats = readCsv(std::string("displays/displays_") + c.name + "_fit.csv");
  Json f = oneTable(doc, "FitStatistics");
  const std::map<std::string, std::string> labels = {
      {"rootmse", "Root MSE"}, {"mean", "Dependent Mean"},
      {"rsq", "R-Square"},     {"adjrsq", "Adj R-Sq"},
      {"aic", "AIC"},          {"aicc", "AICC"},
      {"sbc", "SBC"}};
  for (size_t r = 0; r < stats.rows.size(); ++r) {
    const std::string label = labels.at(stats.text(r, "statistic"));
    expectNear(cellNumber(entryValue(f, label)), stats.number(r, "value"), 1e-9,
               std::string(c.name) + " " + label);
  }

  Csv parms = readCsv(std::string("displays/displays_") + c.name + "_parms.csv");
  Json pe = oneTable(doc, "ParameterEstimates");
  ASSERT_EQ(pe["rows"].size(), parms.rows.size());
  // The table lists effects by index, the fixture in the order of the path.
  std::map<std::pair<std::string, int>, size_t> expected;
  for (size_t r = 0; r < parms.rows.size(); ++r)
    expected[{fit.labels()[static_cast<size_t>(parms.number(r, "effect"))],
              static_cast<int>(parms.number(r, "column"))}] = r;
  std::map<std::string, int> seen;
  for (const Json& row : pe["rows"]) {
    const std::string effect = row["Effect"];
    const size_t r = expected.at({effect, seen[effect]++});
    const std::string at =
        std::string(c.name) + " " + effect + " column " + std::to_string(seen[effect] - 1);
    const bool aliased = std::isnan(parms.number(r, "estimate"));
    EXPECT_EQ(row["DF"], aliased ? 0 : 1) << at;
    expectNear(cellNumber(row["Estimate"]), aliased ? 0.0 : parms.number(r, "estimate"), 1e-9,
               at + " estimate");
    expectNear(cellNumber(row["StdErr"]), parms.number(r, "stderr"), 1e-9, at + " stderr");
    expectNear(cellNumber(row["tValue"]), parms.number(r, "t"), 1e-9, at + " t");
    expectNear(cellNumber(row["Probt"]), parms.number(r, "p"), 1e-6, at + " p");
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FitTables,
                         testing::Values(FitCase{"mtcars", false}, FitCase{"mtcars_noint", true},
                                         FitCase{"diabetes", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The listing shows the numbers rounded by the templates' formats.
TEST(FitTables, ListingShowsTheDigitsOfTheFormats) {
  DisplayFit fit("mtcars", GroupSettings{});
  fit.runPath();
  VsfState& v = fit.vsf();
  v.settings.showPValues = 1;
  ASSERT_EQ(printAnova(settledView(v), &fit.sel(), fit.sel().modelPool), 0);
  ASSERT_EQ(printFitStatistics(settledView(v), &fit.sel()), 0);
  const std::string listing = fit.out.listing();
  for (const char* text : {"Analysis of Variance", "Corrected Total", "47.15", "<.0001",
                           "939.98789", "Root MSE", "2.5777"})
    EXPECT_NE(listing.find(text), std::string::npos) << text << "\n" << listing;
}

// Under NOINT the R-square of every table is measured against the uncorrected total.
TEST(FitTables, NoInterceptRSquareAgreesAcrossTables) {
  DisplayFit fit("mtcars_noint", GroupSettings{}, true);
  fit.runPath();
  VsfState& v = fit.vsf();
  v.settings.options.stats[kStatsRsquare] = 1;
  SelectionState& s = fit.sel();
  BestSteps best;
  computeBestSteps(settledView(v), &s, &best);
  void* data = nullptr;
  ASSERT_EQ(printSelectionSummary(settledView(v), &s, s.modelPool, &best, StepMarks{}, &data), 0);
  ASSERT_EQ(printFitStatistics(settledView(v), &s), 0);
  Json doc = fit.out.document();
  Json summary = oneTable(doc, "SelectionSummary");
  const double lastStep = cellNumber(summary["rows"].back()["RSquare"]);
  const double fitTable = cellNumber(entryValue(oneTable(doc, "FitStatistics"), "R-Square"));
  Csv stats = readCsv("displays/displays_mtcars_noint_fit.csv");
  EXPECT_NEAR(lastStep, stats.number(2, "value"), 1e-12);
  EXPECT_NEAR(fitTable, stats.number(2, "value"), 1e-12);
}

}  // namespace
}  // namespace vsf::test
