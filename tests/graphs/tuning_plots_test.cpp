// The plots of the elastic net's L2 search and of external cross validation: the search's
// history up to its first unfilled row, the chosen L2 marked on both axes (the log floor
// applied to it as to the axis), the criterion plot's own labels (its short label with the
// fold count, as the criterion's own plot has it), three graphs under external
// cross validation, the switches; the external cross-validation plot marks the point the fit
// kept, the first of equal smallest averages.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"
#include "graphs/graphs.h"

namespace vsf::test {
namespace {

std::vector<std::string> names(const std::vector<Json>& graphs) {
  std::vector<std::string> out;
  for (const Json& g : graphs) out.push_back(g["name"]);
  return out;
}

TEST(TuningPlots, HistoryAxesAndLabels) {
  const std::vector<std::string> all = {"LogL2Plot", "ChooseCriterionPlot", "L1Plot",
                                        "nVarPlot",  "L1NormPlot",          "L2NormPlot",
                                        "nStepsPlot"};
  const std::vector<std::string> cv(all.begin(), all.begin() + 3);
  struct Case {
    const char* name;
    std::vector<double> l2;  // the history's L2 values; 0 with a zero value ends it
    double current;
    CriterionCode choose, stop;
    bool externalCv, graphics;
    size_t rows;
    std::vector<std::string> graphs;
    Json chosenStep, chosenLog;  // null: not marked
    const char* yLabel;
    const char* shortYLabel;
  } cases[] = {
      // clang-format off
      {"the history ends at the first zero row", {0.5, 0.1, 1, 0, 0}, 0.1, kCritSbc, kCritSbc,
       false, true, 3, all, 2, -1.0, "SBC", "SBC"},
      {"a final L2 never tried marks nothing", {0.5, 0.1}, 0.3, kCritAic, kCritSbc, false, true,
       2, all, Json(), Json(), "AIC", "AIC"},
      {"0 and values below 1e-8 stand at -8", {1e-9, 0.01}, 1e-9, kCritNone, kCritSbc, false,
       true, 2, all, 1, -8.0, "SBC", "SBC"},
      {"a criterion without labels gets the plot's own", {0.5}, 0.5, kCritNone, kCritL1, false,
       true, 1, all, 1, std::log10(0.5), "Criterion of the Chosen Model", "Criterion"},
      {"k-fold cross validation names its folds", {0.5}, 0.5, kCritCv, kCritSbc, false, true, 1,
       all, 1, std::log10(0.5), "Cross Validation PRESS (5 Folds)",
       "CV PRESS (5 Folds)"},
      {"external cross validation: three graphs", {0.5, 1}, 1, kCritCvExternal, kCritSbc, true,
       true, 2, cv, 2, 0.0, "External Cross Validation PRESS (5 Folds)",
       "CV Ex PRESS (5 Folds)"},
      {"graphics off", {0.5}, 0.5, kCritSbc, kCritSbc, false, false, 1, {}, Json(), Json(), "", ""},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BareState b({"Intercept", "a"});
    VsfState& v = b.vsf();
    v.settings.graphicsOn = c.graphics;
    SelectionOptions& o = v.settings.options;
    o.choose = c.choose, o.stop = c.stop, o.externalCv = c.externalCv, o.cvFolds = 5;
    std::vector<double> history(7 * c.l2.size(), 0.0);
    for (size_t k = 0; k < c.l2.size(); ++k)
      if (c.l2[k] != 0) history[7 * k] = c.l2[k], history[7 * k + 1] = 0.5, history[7 * k + 3] = 9;
    b.sel().tuning.history = history.data();
    b.sel().tuning.historyRows = static_cast<int32_t>(c.l2.size());
    b.sel().path.l2 = c.current;
    void* data = nullptr;
    ASSERT_EQ(printElasticNetTuneL2(settledView(v), &b.sel(), &data), 0);
    ASSERT_EQ(plotElasticNetL2(settledView(v), &b.sel(), data), 0);
    const Json doc = b.out.document();
    const Json table = oneTable(doc, "ElasticNetTuneL2");
    EXPECT_EQ(table["rows"].size(), c.rows);
    EXPECT_EQ(table["rows"][0]["LogL2"], c.l2[0] < 1e-8 ? -8.0 : std::log10(c.l2[0]));
    const std::vector<Json> graphs = findGraphs(doc);
    EXPECT_EQ(names(graphs), c.graphs);
    for (size_t i = 0; i < graphs.size(); ++i) {
      EXPECT_EQ(graphs[i]["data"][0]["rows"].size(), c.rows);
      EXPECT_EQ(graphVariable(graphs[i], "_STEPAXIS"), i == 0 ? "STEP" : "LogL2");
      EXPECT_EQ(graphVariable(graphs[i], "_CHOSENVALUE"), i == 0 ? c.chosenStep : c.chosenLog);
    }
    if (graphs.size() > 1) {
      EXPECT_EQ(graphVariable(graphs[1], "_YLABEL"), c.yLabel);
      EXPECT_EQ(graphVariable(graphs[1], "_SHORTYLABEL"), c.shortYLabel);
    }
  }
}

TEST(TuningPlots, ExternalCvMarksThePointTheFitKept) {
  struct Case {
    const char* name;
    L1ChoiceCode mode;
    std::vector<double> grid, average;
    std::vector<double> l1;  // the plotted alignment values
    Json chosen;
  } cases[] = {
      {"equal smallest averages: the first",
       kL1ChoiceRatio,
       {1, 0.5, 0.1, 1e-7},
       {5, 3, 3, 4},
       {0, std::log10(0.5), -1, -6},
       std::log10(0.5)},
      {"by the L1 norm the values stand as they are",
       kL1ChoiceNorm,
       {0, 2, 4},
       {9, 7, 8},
       {0, 2, 4},
       2.0},
      {"an empty grid draws nothing", kL1ChoiceRatio, {}, {}, {}, Json()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BareState b({"Intercept", "a"});
    VsfState& v = b.vsf();
    v.settings.graphicsOn = 1;
    v.settings.options.l1Choice = c.mode;
    std::vector<double> grid = c.grid, average = c.average;
    b.sel().tuning.grid = grid.data(), b.sel().tuning.average = average.data();
    b.sel().tuning.gridCount = static_cast<int32_t>(grid.size());
    ASSERT_EQ(plotCvExternal(settledView(v), &b.sel()), 0);
    const std::vector<Json> graphs = findGraphs(b.out.document());
    ASSERT_EQ(graphs.size(), grid.empty() ? 0u : 1u);
    if (grid.empty()) continue;
    EXPECT_EQ(graphVariable(graphs[0], "_CHOSENVALUE"), c.chosen);
    std::vector<double> l1;
    for (const Json& row : graphs[0]["data"][0]["rows"]) l1.push_back(row["L1"]);
    EXPECT_EQ(l1, c.l1);
  }
}

}  // namespace
}  // namespace vsf::test
