// The graphs of the elastic net's L2 search, of external cross validation and of model
// averaging through the command: the switches, each picture against its table, the point the
// fit kept, the box plots and histograms against numpy on the exported estimates
// (tests/reference/distribution_fixtures.py), the bars in their table's order, and a listing
// that shows no group without content.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/graph_support.h"

namespace vsf::test {
namespace {

std::string diabetes(const std::string& plots, const std::string& model,
                     const std::string& more = "") {
  return "proc varsifter data=diabetes " + plots + ";\n  class sex;\n  model y = age sex bmi bp " +
         "s1-s6 / selection=" + model + ";\n" + more + "run;\n";
}

std::vector<std::string> names(const CommandRun& r) {
  std::vector<std::string> out;
  for (const Json& g : graphs(r)) out.push_back(g["name"]);
  return out;
}

TEST(MethodGraphs, L2SearchPlotsFollowTheSwitchesAndTheirTable) {
  const std::vector<std::string> tuning = {"LogL2Plot", "ChooseCriterionPlot", "L1Plot",
                                           "nVarPlot",  "L1NormPlot",          "L2NormPlot",
                                           "nStepsPlot"};
  const std::string search = " l2search=grid l2low=0.01 l2high=1 l2steps=3 showl2search$)";
  struct Case {
    const char* name;
    const char* plots;
    const char* choose;
    const char* options;
    std::vector<std::string> graphs;
  } cases[] = {
      {"graphics on draw them", "", "sbc", "", tuning},
      {"PLOTS=NONE", "plots=none", "sbc", "", {}},
      {"graphics off", "", "sbc", "--nographics", {}},
      {"adjusted R-square as it is", "", "adjrsq", "", tuning},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GraphRun run = runGraphs(
        diabetes(c.plots, "elasticnet(choose=" + std::string(c.choose) + search), c.options);
    ASSERT_EQ(run.r.status, 0) << run.r.output;
    EXPECT_EQ(names(run.r), c.graphs);
    const Json table = theOne(run.r, "ElasticNetTuneL2");
    ASSERT_EQ(table["rows"].size(), 3u);
    std::map<double, double> byLog;  // the criterion by log10(L2)
    for (const Json& row : table["rows"]) {
      byLog[number(row["LogL2"])] = number(row["CriterionValue"]);
      if (std::string(c.choose) == "adjrsq") {
        EXPECT_GT(number(row["CriterionValue"]), 0);
        EXPECT_LT(number(row["CriterionValue"]), 1);
      }
    }
    const std::vector<Json> all = graphs(run.r);
    const Json* plot = graphNamed(all, "ChooseCriterionPlot");
    if (!plot) continue;
    const std::vector<SvgPlot> svg = readSvg((*plot)["file"]);
    ASSERT_EQ(svg.size(), 1u);
    std::vector<double> x, y;
    for (const auto& [at, value] : byLog) x.push_back(at), y.push_back(value);
    EXPECT_EQ(svg[0].series.at(0).x, x);
    EXPECT_EQ(svg[0].series.at(0).y, y);
  }
}

// The alignment value the fit kept (the ElasticNetParaSummary's) is the one marked, and no
// grid point before it has an average as small.
TEST(MethodGraphs, ExternalCvMarksTheChosenPoint) {
  const GraphRun run = runGraphs(
      diabetes("plots=all",
               "elasticnet(choose=cvex stop=none l2search=grid l2low=0.001 l2high=1 l2steps=4 "
               "showl2search$ showcvex$) cvmethod=split(5)"));
  ASSERT_EQ(run.r.status, 0) << run.r.output;
  const std::vector<std::string> all = names(run.r);
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(
      std::vector<std::string>(all.begin(), all.begin() + 4),
      (std::vector<std::string>{"LogL2Plot", "ChooseCriterionPlot", "L1Plot", "L1VsASEPlot"}));
  const std::vector<Json> drawn = graphs(run.r);
  const Json* cv = graphNamed(drawn, "L1VsASEPlot");
  ASSERT_NE(cv, nullptr);
  const double ratio =
      number(entryValue(theOne(run.r, "ElasticNetParaSummary"), "L1 Ratio of the Chosen Model"));
  const double chosen = axisVariable(*cv, "_CHOSENVALUE").get<double>();
  EXPECT_NEAR(chosen, std::log10(ratio), 1e-12);
  const SvgPlot p = readSvg((*cv)["file"]).at(0);
  EXPECT_EQ(p.refs.at("Chosen Penalty"), chosen);
  const SvgSeries& line = p.series.at(0);
  const auto at = std::find(line.x.begin(), line.x.end(), chosen) - line.x.begin();
  ASSERT_LT(at, static_cast<long>(line.x.size()));
  const double best = *std::min_element(line.y.begin(), line.y.end());
  EXPECT_EQ(line.y[at], best);
  // Grid order is descending in the ratio: the points after it on the axis came first.
  for (size_t k = at + 1; k < line.x.size(); ++k) EXPECT_GT(line.y[k], best) << line.x[k];
}

// Equal to a few units in the last place of the larger: the estimates come through the BLAS,
// whose kernels for one processor and another round the last bits apart.
void expectClose(const std::vector<double>& got, const std::vector<double>& want,
                 const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], want[i], 1e-12 * std::max(1.0, std::fabs(want[i]))) << what << " " << i;
}

std::map<std::string, size_t> fixtureRows(const Csv& ref) {
  std::map<std::string, size_t> out;
  for (size_t k = 0; k < ref.rows.size(); ++k) out[ref.text(k, "set")] = k;
  return out;
}

std::vector<double> fixtureNumbers(const Csv& ref, size_t row, const std::string& column) {
  std::vector<double> out;
  std::istringstream in(ref.text(row, column));
  for (std::string v; in >> v;) out.push_back(std::stod(v));
  return out;
}

std::string programFile(const std::string& name) {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/e2e/" + name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each box and histogram of the panels against numpy on the estimates the run exports.
TEST(MethodGraphs, DistributionsEqualNumpyOnTheExportedEstimates) {
  const Csv ref = readCsv("graphs/distribution_stats.csv");
  const std::map<std::string, size_t> sets = fixtureRows(ref);
  const std::string text = programFile("averaging_plots.vsf");
  for (const bool histogram : {false, true}) {
    SCOPED_TRACE(histogram ? "histograms" : "box plots");
    std::string program = text;
    if (histogram)
      program.replace(program.find("plots=all"), 9, "plots=(all parmdist(noboxplots))");
    const GraphRun run = runGraphs(program);
    ASSERT_EQ(run.r.status, 0) << run.r.output;
    const Json coeffs = theOne(run.r, "Coeffs");
    const std::vector<Json> all = graphs(run.r);
    const Json* panel = graphNamed(all, "ParmDistPanel");
    ASSERT_NE(panel, nullptr);
    const std::vector<SvgPlot> cells = readSvg((*panel)["file"]);
    ASSERT_EQ(cells.size(), variable((*panel)["variables"], "_NPLOTS").get<size_t>());
    for (size_t n = 1; n <= cells.size(); ++n) {
      const std::string column = variable((*panel)["lists"][0], "_XVAR" + std::to_string(n));
      SCOPED_TRACE(column);
      const auto it = sets.find("averaging_plots " + column);
      ASSERT_NE(it, sets.end());
      const size_t k = it->second;
      std::vector<double> exported;
      for (const Json& row : coeffs["rows"])
        if (row[column].is_number()) exported.push_back(row[column]);
      ASSERT_NO_FATAL_FAILURE(expectClose(exported, fixtureNumbers(ref, k, "values"),
                                          "the samples changed: run "
                                          "tests/reference/distribution_fixtures.py"));
      const SvgSeries& s = cells[n - 1].series.at(0);
      if (histogram) {
        expectClose(s.x, fixtureNumbers(ref, k, "edges"), "edges");
        std::vector<double> percent;
        for (double c : fixtureNumbers(ref, k, "counts"))
          percent.push_back(100.0 * c / static_cast<double>(exported.size()));
        ASSERT_EQ(s.y.size(), percent.size());
        for (size_t i = 0; i < percent.size(); ++i) EXPECT_NEAR(s.y[i], percent[i], 1e-12);
        continue;
      }
      ASSERT_EQ(s.box.size(), 6u);
      const char* stats[] = {"q1", "median", "q3", "low", "high", "mean"};
      for (size_t i = 0; i < 6; ++i)
        EXPECT_NEAR(s.box[i], ref.number(k, stats[i]), 1e-12 * std::max(1.0, std::fabs(s.box[i])))
            << stats[i];
    }
  }
}

// The bars stand in the order of the table they draw from (the plot's own here, by descending
// percentage); the page and the listing show no group without content, and step graphs that
// only a sample's DETAILS would show are named in the log.
TEST(MethodGraphs, SelectionBarsAndNoEmptyGroups) {
  std::string program = programFile("averaging_plots.vsf");
  program.replace(program.find("plots=all"), 9, "plots=(all coefficients criteria)");
  const GraphRun run = runGraphs(program);
  ASSERT_EQ(run.r.status, 0) << run.r.output;
  const std::vector<Json> all = graphs(run.r);
  const Json* bars = graphNamed(all, "EffectSelectPctPlot");
  ASSERT_NE(bars, nullptr);
  const Json& data = (*bars)["data"][0];
  EXPECT_EQ(data["table"], "EffectSelPercentageForPlot");
  std::vector<double> pct;
  for (const Json& row : data["rows"]) pct.push_back(number(row["SelectionPct"]));
  EXPECT_TRUE(std::is_sorted(pct.rbegin(), pct.rend()));
  const std::vector<SvgPlot> picture = readSvg((*bars)["file"]);
  const SvgSeries& s = picture.at(0).series.at(0);
  EXPECT_EQ(s.x, pct);
  EXPECT_TRUE(std::is_sorted(s.y.rbegin(), s.y.rend()));  // the first row on top

  EXPECT_EQ(run.r.output.find("Selected Model"), std::string::npos) << run.r.output;
  EXPECT_EQ(run.r.html.find("data-name=\"SelectedModel\""), std::string::npos);
  EXPECT_NE(run.r.output.find("The COEFFICIENTS and CRITERIA plots show each sample's selection"),
            std::string::npos);
}

}  // namespace
}  // namespace vsf::test
