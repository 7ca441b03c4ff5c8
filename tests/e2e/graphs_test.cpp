// The step graphs through the command: the coefficient plot's standardized estimates and F-test
// p-values against R's lm (tests/reference/graphs_fixtures.R); each SVG file the listing names,
// its series equal to the graph's data rows, the optima where the SelectionSummary marks them
// and the chosen step where the selection chose; then the step ranges, axes, switches and the
// candidates plot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/graph_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

std::string program(const std::string& plots, const std::string& model) {
  return "proc varsifter data=diabetes " + plots + ";\n  class sex;\n  model y = age sex bmi bp " +
         "s1-s6 / " + model + ";\nrun;\n";
}

// ---- Against R, and each picture against its data ----
TEST(Graphs, StepPlotsMatchLmAndTheirPicturesMatchTheirData) {
  const Csv ref = readCsv("e2e/graphs_steps.csv");
  struct Case {
    const char* name;
    const char* model;
  } cases[] = {{"diabetes_forward_sbc", "selection=forward(select=sbc)"},
               {"diabetes_stepwise_sl", "selection=stepwise(select=sl sle=0.5 sls=0.15)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GraphRun run = runGraphs(program("plots=all", c.model));
    ASSERT_EQ(run.r.status, 0) << run.r.output;
    const std::vector<Json> all = graphs(run.r);
    const Json coefficients = theOne(run.r, "Coefficients");
    const Json summary = theOne(run.r, "SelectionSummary");

    // Standardized estimates and p-values, one reference row per step and parameter.
    std::map<std::pair<int, std::string>, double> want;
    std::map<int, double> pvalue;
    for (size_t k = 0; k < ref.rows.size(); ++k) {
      if (ref.text(k, "case") != c.name) continue;
      const int step = static_cast<int>(ref.number(k, "step"));
      if (ref.text(k, "parameter").empty())
        pvalue[step] = ref.number(k, "value");
      else
        want[{step, ref.text(k, "parameter")}] = ref.number(k, "value");
    }
    size_t matched = 0;
    for (const Json& row : coefficients["rows"]) {
      const int step = row["Step"];
      const auto it = want.find({step, row["Parameter"].get<std::string>()});
      if (it == want.end()) continue;
      ++matched;
      EXPECT_NEAR(number(row["StandardizedEst"]), it->second, 1e-9) << step << row["Parameter"];
      const Json& p = number(row["PValAdd"]) >= 0 ? row["PValAdd"] : row["PValDrop"];
      if (row["CurveNumber"] == 1 && step > 0) {
        EXPECT_NEAR(number(p), pvalue[step], 1e-8 * pvalue[step]) << "p at step " << step;
      }
    }
    EXPECT_EQ(matched, want.size());

    // Every graph went to the file the listing names, and holds its data rows.
    for (const Json& g : all) {
      const std::string file = g.value("file", "");
      EXPECT_TRUE(fs::exists(file)) << g["name"];
      EXPECT_NE(run.r.output.find("Graph " + g["name"].get<std::string>() + " ("),
                std::string::npos);
      EXPECT_NE(run.r.output.find(file), std::string::npos) << file;
    }
    const Json* panel = graphNamed(all, "CoefficientPanel");
    ASSERT_NE(panel, nullptr);
    const SvgPicture picture = readPicture((*panel)["file"]);
    const std::vector<SvgPlot>& coef = picture.plots;
    ASSERT_EQ(coef.size(), 2u);
    std::map<std::string, std::vector<double>> curves;
    for (const Json& row : (*panel)["data"][0]["rows"])
      curves[row["Parameter"]].push_back(number(row["StandardizedEst"]));
    size_t drawn = 0;
    for (const SvgSeries& s : coef[0].series) {
      if (s.role != "coefficient") continue;
      ++drawn;
      EXPECT_EQ(s.y, curves[s.name]) << s.name;
    }
    EXPECT_EQ(drawn, curves.size());

    // Curves that end closer than the label gap share the room of one label at the right
    // edge; the other is named in the legend, so that each is named once.
    const std::vector<std::string>& edge = coef[0].edgeLabels;
    for (const char* name : {"bmi", "s2"}) {
      const auto named = std::count(edge.begin(), edge.end(), name) +
                         std::count(picture.legend.begin(), picture.legend.end(), name);
      EXPECT_EQ(named, 1) << name;
    }
    EXPECT_EQ(
        std::count(edge.begin(), edge.end(), "bmi") + std::count(edge.begin(), edge.end(), "s2"),
        1);

    // The optima where the summary marks them, the chosen step at the last step.

    const Json* criteria = graphNamed(all, "CriterionPanel");
    ASSERT_NE(criteria, nullptr);
    const std::vector<SvgPlot> cells = readSvg((*criteria)["file"]);
    const Json& rows = summary["rows"];
    const int last = rows.back()["Step"];
    EXPECT_EQ(axisVariable(*criteria, "_CHOSENVALUE"), rows.back()["StepLabel"]);
    std::map<std::string, std::string> marker = {{"AIC", "OptAIC"},
                                                 {"AICC", "OptAICC"},
                                                 {"SBC", "OptSBC"},
                                                 {"Adjusted R-Square", "OptAdjRSq"}};
    std::map<std::string, std::string> column = {
        {"AIC", "AIC"}, {"AICC", "AICC"}, {"SBC", "SBC"}, {"Adjusted R-Square", "AdjRSq"}};
    ASSERT_EQ(cells.size(), 4u);
    for (const SvgPlot& p : cells) {
      ASSERT_EQ(p.series.size(), 2u);
      const SvgSeries& line = p.series[0];
      SCOPED_TRACE(line.name);
      std::vector<double> values;
      for (const Json& row : rows) values.push_back(number(row[column[line.name]]));
      EXPECT_EQ(line.y, values);
      EXPECT_EQ(p.series[1].role, "optimum");
      for (const Json& row : rows) {
        if (row[marker[line.name]] != 1) continue;
        EXPECT_EQ(p.series[1].x, std::vector<double>{row["Step"].get<double>()});
      }
      EXPECT_EQ(p.refs.at("Selected Step"), last);
    }
    const std::vector<SvgPlot> ase = readSvg((*graphNamed(all, "ASEPlot"))["file"]);
    std::vector<double> training;
    for (const Json& row : rows) training.push_back(number(row["ASE"]));
    EXPECT_EQ(ase.at(0).series.at(0).y, training);
  }
}

// ---- Step ranges, axes and switches ----
TEST(Graphs, StepRangesAndAxes) {
  const std::vector<std::string> every = {"CoefficientPanel", "CriterionPanel", "ASEPlot"};
  const char* forward = "selection=forward(select=sbc)";
  struct Case {
    const char* name;
    const char* plots;
    const char* model;
    std::vector<std::string> graphs;
    const char* where;  // of the criterion panel's summary data ("" whole)
    Json axis, chosen;
    const char* log;
  } cases[] = {
      // clang-format off
      {"labelled axis up to 26 steps", "plots=all", forward, every, "", "STEPLABEL", "6+s2", ""},
      {"step numbers on request", "plots(stepaxis=number)=all", forward, every, "", "STEP", 6, ""},
      {"STARTSTEP=0 covers every step: no view", "plots(startstep=0)=all", forward, every, "",
       "STEPLABEL", "6+s2", ""},
      {"with two effects forced too", "plots(startstep=0)=all",
       "selection=forward(select=sbc include=1)", every, "", "STEPLABEL", "6+s2", ""},
      {"a restricted range draws from a view", "plots(startstep=2 endstep=4)=all", forward, every,
       "where=(step >= 2 and step <= 4)", "STEPLABEL", "<absent>", ""},
      {"a range past the last step draws nothing", "plots(startstep=50)=all", forward, {}, "", "",
       "", "The step range of the coefficient plots holds no step"},
      {"a range without summary rows: no ASE plot, criteria over every step",
       "plots(startstep=0 endstep=0)=(criteria ase)", "selection=forward(select=sbc) noint",
       {"CriterionPanel"}, "", "STEPLABEL", "<absent>", ""},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GraphRun run = runGraphs(program(c.plots, c.model));
    const std::vector<Json> all = graphs(run.r);
    std::vector<std::string> names;
    for (const Json& g : all) names.push_back(g["name"]);
    EXPECT_EQ(names, c.graphs) << run.r.output;
    if (*c.log) {
      EXPECT_NE(run.r.output.find(c.log), std::string::npos) << run.r.output;
      EXPECT_NE(run.r.output.find("return code 4"), std::string::npos);
    }
    const Json* panel = graphNamed(all, "CriterionPanel");
    if (!panel) continue;
    EXPECT_EQ((*panel)["data"][0].value("where", ""), c.where);
    EXPECT_EQ(axisVariable(*panel, "_STEPAXIS"), c.axis);
    EXPECT_EQ(axisVariable(*panel, "_CHOSENVALUE"), c.chosen);
    EXPECT_EQ(variable((*panel)["variables"], "_INTTICKS"), "TRUE");
    EXPECT_EQ(variable((*panel)["variables"], "_NROWS"), 2);  // four criteria
    EXPECT_EQ(variable((*panel)["variables"], "_NCOLS"), 2);
    // An optimum outside a restricted range is not marked (SBC's is at the last step).
    const bool outside = std::string(c.plots).find("endstep") != std::string::npos;
    for (const Json& l : (*panel)["lists"]) {
      if (variable(l, "_CRITERION3") != "SBC") continue;
      EXPECT_EQ(variable(l, "_OPTVAL3"), outside ? Json() : Json("SBCVal"));
    }
  }
}

// The parameters of a CLASS effect share its colour and differ in marker or dash, each named in
// the legend with its level; on a path too long for a marker at each step they still show
// markers. A selection that splits the levels gives each its own effect and colour.
TEST(Graphs, ParametersOfAClassEffectAreToldApart) {
  struct Case {
    const char* model;
    bool split;
    size_t levels;                                          // that took part
  } cases[] = {{"selection=forward(stop=none)", false, 6},  // carb 1, 2, 3, 4, 6, 8
               {"selection=grouplasso(stop=none)", false, 6},
               {"selection=lasso(stop=none)", true, 5}};  // carb_2 never enters
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    const GraphRun run = runGraphs(
        "proc varsifter data=mtcars plots=coefficients;\n  class carb;\n"
        "  model mpg = carb wt hp / " +
        std::string(c.model) + ";\nrun;\n");
    ASSERT_EQ(run.r.status, 0) << run.r.output;
    const SvgPicture picture = readPicture(graphs(run.r).at(0)["file"]);
    std::vector<const SvgSeries*> levels;
    std::set<std::string> others;  // the colours of wt and hp
    for (const SvgSeries& s : picture.plots.at(0).series) {
      if (s.role != "coefficient") continue;
      if (s.name.starts_with("carb"))
        levels.push_back(&s);
      else
        others.insert(s.colour);
    }
    ASSERT_EQ(levels.size(), c.levels);
    std::set<std::string> colours, pens;
    for (const SvgSeries* s : levels) {
      colours.insert(s->colour);
      pens.insert(s->colour + "/" + s->dash + "/" + s->marker);
      EXPECT_EQ(others.count(s->colour), 0u) << s->name;
      if (c.split) continue;
      const auto& legend = picture.legend;
      EXPECT_EQ(std::count(legend.begin(), legend.end(), s->name), 1) << s->name;
    }
    EXPECT_EQ(colours.size(), c.split ? c.levels : 1u);
    EXPECT_EQ(pens.size(), c.levels);
  }
}

// Without an intercept or forced effects the steps count from 1, in the table, the labels and
// the picture.
TEST(Graphs, NoInterceptStepsCountFromOne) {
  const GraphRun run =
      runGraphs(program("plots=coefficients", "selection=forward(select=sbc) noint"));
  ASSERT_EQ(run.r.status, 0) << run.r.output;
  const Json t = theOne(run.r, "Coefficients");
  ASSERT_FALSE(t["rows"].empty());
  EXPECT_EQ(t["rows"][0]["Step"], 1);
  EXPECT_EQ(t["rows"][0]["StepLabel"], "1+bmi");
  const std::vector<SvgPlot> p = readSvg(graphs(run.r).at(0)["file"]);
  EXPECT_EQ(p.at(0).series.at(0).x.front(), 1);
}

// The switch, and UNPACK with a selection by significance level and without parameter labels.
TEST(Graphs, SwitchUnpackAndLabels) {
  const GraphRun off =
      runGraphs(program("plots=all", "selection=forward(select=sbc)"), "--nographics");
  EXPECT_TRUE(graphs(off.r).empty());
  EXPECT_NE(off.r.output.find("PLOTS is ignored because graphics are off"), std::string::npos);
  EXPECT_TRUE(findAll(off.r.document, "BestStep").empty());

  const GraphRun run = runGraphs(program("plots(unpack maxparmlabel=0)=(coefficients criteria)",
                                         "selection=forward(select=sl)"));
  ASSERT_EQ(run.r.status, 0) << run.r.output;
  const std::vector<Json> all = graphs(run.r);
  const Json* second = graphNamed(all, "ChooseCriterionPlot");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ((*second)["template"], "Stat.VARSIFTER.Graphics.PValuePlot");
  EXPECT_NE(graphNamed(all, "CoefficientPlot"), nullptr);
  for (const char* name : {"AICPlot", "AICCPlot", "SBCPlot", "AdjRSqPlot"})
    EXPECT_NE(graphNamed(all, name), nullptr) << name;
  const Json t = theOne(run.r, "Coefficients");
  for (const Json& col : t["columns"]) EXPECT_NE(col["name"], "Parameter");
  for (const Json& row : t["rows"]) {
    EXPECT_EQ(row["CurveIndex"], 0);
    EXPECT_TRUE(row["RhsLabelYValue"].is_object());  // missing
  }
  EXPECT_EQ(variable((*graphNamed(all, "CoefficientPlot"))["variables"], "_PARMLABELLENMAX"), 0);
  EXPECT_EQ(variable((*graphNamed(all, "CoefficientPlot"))["variables"], "_CRITERION"), "PVAL");
}

// The candidates plot: the best SHOW= candidates first; with DROP=COMPETITIVE one value per row.
TEST(Graphs, CandidatesOfEachDetailedStep) {
  const GraphRun run =
      runGraphs(program("plots=candidates(show=3)", "selection=forward(select=sbc)"));
  ASSERT_EQ(run.r.status, 0) << run.r.output;
  const std::vector<Json> tables = findAll(run.r.document, "PlotCandidates");
  ASSERT_EQ(tables.size(), 6u);
  for (const Json& t : tables) {
    ASSERT_EQ(t["rows"].size(), 3u);
    EXPECT_EQ(t["dynamics"]["_TITLE"], "Best 3 Entry Candidates");
    EXPECT_LE(number(t["rows"][0]["Criterion"]), number(t["rows"][1]["Criterion"]));
  }
  EXPECT_EQ(tables[0]["rows"][0]["Effect"], "bmi");  // the effect the first step entered

  const GraphRun both =
      runGraphs(program("plots=candidates", "selection=stepwise(select=sbc drop=competitive)"));
  ASSERT_EQ(both.r.status, 0) << both.r.output;
  for (const Json& t : findAll(both.r.document, "PlotCandidates")) {
    for (const Json& row : t["rows"])
      EXPECT_NE(row["Criterion"].is_number(), row["CriterionDrop"].is_number()) << row;
  }
  for (const Json& g : graphs(both.r)) EXPECT_EQ(variable(g["variables"], "_ADDANDDROP"), 1);
}

// Without STEPAXIS= a single graph labels up to 26 steps (step 0 counted) and the criterion
// panel up to 11; above, they number the steps.
TEST(Graphs, StepAxisSwitchesAtItsThresholds) {
  const fs::path lib = processScratch("vsf_graphs_wide");
  fs::create_directories(lib);
  {
    std::ofstream csv(lib / "wide.csv");
    for (int j = 1; j <= 30; ++j) csv << "x" << j << ",";
    csv << "y\n";
    uint32_t state = 12345;  // a fixed congruential sequence: any spread of values will do
    auto next = [&] { return (state = state * 1103515245u + 12345u) / 4294967296.0 - 0.5; };
    for (int i = 0; i < 120; ++i) {
      double y = 0;
      for (int j = 1; j <= 30; ++j) {
        const double x = next();
        y += x / j;
        csv << x << ",";
      }
      csv << y + 0.1 * next() << "\n";
    }
  }
  struct Case {
    int maxSteps;
    const char* plots;
    const char* graph;
    const char* axis;
  } cases[] = {{25, "coefficients", "CoefficientPanel", "STEPLABEL"},
               {26, "coefficients", "CoefficientPanel", "STEP"},
               {10, "criteria", "CriterionPanel", "STEPLABEL"},
               {11, "criteria", "CriterionPanel", "STEP"},
               {11, "criteria(unpack)", "AICPlot", "STEPLABEL"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.plots) + " " + std::to_string(c.maxSteps));
    const std::string text = "proc varsifter data=wide plots=" + std::string(c.plots) +
                             ";\n  model y = x1-x30 / selection=forward(select=sbc stop=none) " +
                             "maxsteps=" + std::to_string(c.maxSteps) + ";\nrun;\n";
    const CommandRun r = runCommand(text, lib.string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> all = graphs(r);
    const Json* g = graphNamed(all, c.graph);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(axisVariable(*g, "_STEPAXIS"), c.axis);
  }
}

}  // namespace
}  // namespace vsf::test
