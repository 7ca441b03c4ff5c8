// SelectionSummary: the forward paths of the fixtures against R, the best-step markers with
// graphics on or off, BACKWARD's rows before the first step and a perfect fit.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"

namespace vsf::test {
namespace {

Json summaryOf(DisplayFit& fit, bool graphics) {
  VsfState& v = fit.vsf();
  v.settings.graphicsOn = graphics;
  for (int c :
       {kStatsRsquare, kStatsAdjRsq, kStatsAic, kStatsAicc, kStatsSbc, kStatsFValue, kStatsSl})
    v.settings.options.stats[c] = 1;
  SelectionState& s = fit.sel();
  BestSteps best;
  computeBestSteps(settledView(v), &s, &best);
  void* data = nullptr;
  EXPECT_EQ(printSelectionSummary(settledView(v), &s, s.modelPool, &best, StepMarks{}, &data), 0);
  EXPECT_EQ(data != nullptr, graphics);
  return oneTable(fit.out.document(), "SelectionSummary");
}

size_t bestRow(const Csv& path, const std::string& column, bool maximized) {
  size_t best = 0;
  for (size_t r = 1; r < path.rows.size(); ++r) {
    double a = path.number(r, column), b = path.number(best, column);
    if (maximized ? a > b : a < b) best = r;
  }
  return best;
}

class ForwardPath : public testing::TestWithParam<const char*> {};

TEST_P(ForwardPath, RowsMatchTheNestedFitsOfR) {
  DisplayFit fit(GetParam(), GroupSettings{});
  fit.runPath();
  Json t = summaryOf(fit, false);
  const Csv& path = fit.path();
  ASSERT_EQ(t["rows"].size(), path.rows.size());
  for (size_t r = 0; r < path.rows.size(); ++r) {
    const Json& row = t["rows"][r];
    const std::string at = std::string(GetParam()) + " step " + std::to_string(r);
    EXPECT_EQ(row["Step"], static_cast<int>(r)) << at;
    EXPECT_EQ(row["nEffectsIn"], static_cast<int>(r) + 1) << at;
    EXPECT_EQ(row["Control"], r == 1 ? "-" : " ") << at;
    for (const char* c : {"RSquare", "AdjRSq", "AIC", "AICC", "SBC"}) {
      std::string fixture = c == std::string("RSquare")  ? "rsq"
                            : c == std::string("AdjRSq") ? "adjrsq"
                            : c == std::string("AIC")    ? "aic"
                            : c == std::string("AICC")   ? "aicc"
                                                         : "sbc";
      EXPECT_NEAR(cellNumber(row[c]), path.number(r, fixture),
                  1e-9 * std::fabs(path.number(r, fixture)) + 1e-12)
          << at << " " << c;
    }
    if (r > 0) {
      EXPECT_NEAR(cellNumber(row["FValue"]), path.number(r, "f"), 1e-8 * path.number(r, "f")) << at;
      EXPECT_NEAR(cellNumber(row["ProbF"]), path.number(r, "p_value"),
                  1e-6 * path.number(r, "p_value") + 1e-300)
          << at;
    }
  }
  EXPECT_EQ(t["rows"][0]["EffectEntered"], "Intercept");
  EXPECT_EQ(t["rows"][1]["EffectEntered"],
            fit.labels()[std::stoi(path.text(1, "effects").substr(2))]);
}

// The markers sit on the best step whether graphics are on or not; graphics only add the
// step-label column and hand the table's data object to the plots.
TEST_P(ForwardPath, BestStepMarkersDoNotDependOnGraphics) {
  for (bool graphics : {false, true}) {
    DisplayFit fit(GetParam(), GroupSettings{});
    fit.runPath();
    Json t = summaryOf(fit, graphics);
    const Csv& path = fit.path();
    struct Marker {
      const char* opt;
      const char* fixture;
      bool maximized;
    } markers[] = {{"OptAIC", "aic", false},
                   {"OptAICC", "aicc", false},
                   {"OptSBC", "sbc", false},
                   {"OptAdjRSq", "adjrsq", true}};
    for (const Marker& m : markers) {
      const size_t best = bestRow(path, m.fixture, m.maximized);
      for (size_t r = 0; r < t["rows"].size(); ++r)
        EXPECT_EQ(t["rows"][r][m.opt], r == best ? 1 : 0)
            << GetParam() << " " << m.opt << " row " << r << " graphics " << graphics;
    }
    bool hasLabel = false;
    for (const Json& c : t["columns"]) hasLabel = hasLabel || c["name"] == "StepLabel";
    EXPECT_EQ(hasLabel, graphics);
    EXPECT_EQ(t["dynamics"]["printFootnote"], 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ForwardPath, testing::Values("mtcars", "diabetes"),
                         [](const auto& info) { return std::string(info.param); });

// The parameter count shows every column of the model; the criteria count the columns that
// entered (R's rank), so an aliased column does not change them.
TEST(SelectionSummary, AliasedColumnsCountInParametersButNotInCriteria) {
  DisplayFit fit("diabetes", GroupSettings{});
  fit.runPath();
  Json t = summaryOf(fit, false);
  const Json& sexStep = t["rows"][3];  // sex: two indicator columns, one aliased
  EXPECT_EQ(sexStep["EffectEntered"], "sex");
  EXPECT_EQ(sexStep["nParmsIn"], 5);
  EXPECT_NEAR(cellNumber(sexStep["SBC"]), fit.path().number(3, "sbc"), 1e-9);
}

TEST(SelectionSummary, BackwardListsAliasedEffectsAtStepZero) {
  BareState b({"Intercept", "a", "b", "c", "d"});
  VsfState& v = b.vsf();
  v.settings.options.method = kMethodBackward;
  SelectionState& s = b.sel();
  s.totals.trainFreq = 20;
  s.totals.correctedSS = s.totals.totalSS = 400;
  int32_t aliased[] = {3, 4};
  s.sweep.aliasedList = aliased;
  s.sweep.aliasedCount = 2;
  b.history({-1, 2, 1}, {3, 2, 1});
  BestSteps best;
  computeBestSteps(settledView(v), &s, &best);
  void* data = nullptr;
  ASSERT_EQ(printSelectionSummary(settledView(v), &s, b.pool(), &best, StepMarks{}, &data), 0);
  Json doc = b.out.document();
  Json t = oneTable(doc, "SelectionSummary");
  ASSERT_EQ(t["rows"].size(), 5u);
  const char* removed[] = {"", "c", "d", "b", "a"};
  const int steps[] = {0, 0, 0, 1, 2};
  const int effects[] = {5, 4, 3, 2, 1};
  for (size_t r = 0; r < 5; ++r) {
    EXPECT_EQ(t["rows"][r]["Step"], steps[r]) << r;
    EXPECT_EQ(t["rows"][r]["EffectRemoved"], removed[r]) << r;
    EXPECT_EQ(t["rows"][r]["nEffectsIn"], effects[r]) << r;
    EXPECT_EQ(t["rows"][r]["Control"], r == 3 ? "-" : " ") << r;
  }
  EXPECT_EQ(cellMissing(t["rows"][0]["FValue"]), "-");
  EXPECT_EQ(cellMissing(t["rows"][2]["ProbF"]), "-");
  for (const Json& c : t["columns"]) EXPECT_NE(c["name"], "EffectEntered");
  EXPECT_EQ(t.value("note", ""),
            "Effects dropped before the first step as linearly dependent are listed at Step 0.");
}

// A step with no error left: AIC, AICC and SBC are the special missing value M, R-square 1.
TEST(SelectionSummary, PerfectFitShowsMinusInfinity) {
  BareState b({"Intercept", "a", "b"});
  VsfState& v = b.vsf();
  v.settings.options.method = kMethodForward;
  SelectionState& s = b.sel();
  s.totals.trainFreq = 10;
  s.totals.correctedSS = s.totals.totalSS = 50;
  s.layout.firstSelectable = 1;
  s.totals.trainWeight = 10;
  b.history({0, 1, 2}, {1, 2, 3}, {50, 10, 0});
  BestSteps best;
  computeBestSteps(settledView(v), &s, &best);
  void* data = nullptr;
  ASSERT_EQ(printSelectionSummary(settledView(v), &s, b.pool(), &best, StepMarks{}, &data), 0);
  Json t = oneTable(b.out.document(), "SelectionSummary");
  const Json& last = t["rows"][2];
  for (const char* c : {"AIC", "AICC", "SBC"}) EXPECT_EQ(cellMissing(last[c]), "M") << c;
  EXPECT_EQ(last["RSquare"], 1.0);
  EXPECT_EQ(last["OptAIC"], 1);
  EXPECT_EQ(last["ASE"], 0.0);
  EXPECT_EQ(best.step[codeIndex(kCritSbc)], 2);
}

// A criterion without a value at any step has no marker.
TEST(SelectionSummary, CriterionWithoutValuesHasNoBestStep) {
  BareState b({"Intercept", "a"});
  SelectionState& s = b.sel();
  s.totals.trainFreq = 10;
  s.totals.correctedSS = s.totals.totalSS = 50;
  b.history({0, 1}, {1, 2});
  b.vsf().settings.options.pressPerStep = 1;  // asked for, but never computed
  BestSteps best;
  computeBestSteps(settledView(b.vsf()), &s, &best);
  EXPECT_EQ(best.step[codeIndex(kCritPress)], -1);
  EXPECT_EQ(best.step[codeIndex(kCritCv)], -1);
  EXPECT_EQ(best.step[codeIndex(kCritSbc)], 1);
}

}  // namespace
}  // namespace vsf::test
