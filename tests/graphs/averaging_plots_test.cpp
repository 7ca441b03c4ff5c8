// The plots of model averaging: the distribution panels' layouts by the plots per panel, the
// parameters drawn (MINPCT= of the fitted samples, a nonzero averaged estimate) in ORDER=
// order, missing cells for samples whose model lacks a parameter, no graph without a fitted
// sample; the selection-percentage plot's offset and title.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"
#include "graphs/graphs.h"

namespace vsf::test {
namespace {

// Model averaging over `fitted` samples of one-column effects x1, x2, ...: effect e selected by
// the first count[e] samples, its averaged estimate avg[e] (1 when not given).
struct Averaged {
  BareState b;
  std::vector<int32_t> model;
  explicit Averaged(const std::vector<int32_t>& count, int32_t fitted,
                    const std::vector<double>& avg = {})
      : b(labels(count.size())) {
    VsfState& v = b.vsf();
    v.settings.graphicsOn = 1;
    v.settings.response.name = "y";
    v.settings.responseName = hstr("y");
    for (size_t e = 0; e < count.size(); ++e) model.push_back(static_cast<int32_t>(e));
    b.sel().sweep.entryOrder = model.data();
    b.sel().sweep.effectsInModel = static_cast<int32_t>(model.size());
    AveragedResults& a = v.group.resampling.results;
    a.samplesFitted = a.samplesAveraged = fitted;
    a.effectSelectCount = count;
    a.parmNonzeroCount = count;
    a.avgEstimate = avg.empty() ? std::vector<double>(count.size(), 1.0) : avg;
    a.sampleInAverage.assign(static_cast<size_t>(fitted), 1);
    a.sampleModels.resize(static_cast<size_t>(fitted));
    for (int32_t k = 0; k < fitted; ++k)
      for (int32_t e = 0; e < static_cast<int32_t>(count.size()); ++e)
        if (k < count[e]) {
          a.sampleModels[k].parmIndex.push_back(e);
          a.sampleModels[k].estimate.push_back(e + k / 10.0);
        }
  }
  static std::vector<std::string> labels(size_t n) {
    std::vector<std::string> out;
    for (size_t e = 0; e < n; ++e) out.push_back("x" + std::to_string(e));
    return out;
  }
};

std::vector<std::string> xvars(const Json& panel) {
  std::vector<std::string> out;
  for (int n = 1; graphVariable(panel, "_XVAR" + std::to_string(n)).is_string(); ++n)
    out.push_back(graphVariable(panel, "_XVAR" + std::to_string(n)));
  return out;
}

TEST(AveragingPlots, DistributionPanels) {
  const std::vector<int32_t> twelve(12, 10);
  struct Panel {
    int plots, rows, columns, height;
  };
  struct Case {
    const char* name;
    std::vector<int32_t> count;
    std::vector<double> avg;
    int32_t perPanel, order;
    double minPct;
    std::vector<Panel> panels;
    std::vector<std::string> first;  // the first panel's parameters, when given
  } cases[] = {
      // clang-format off
      {"12 by 9: the last panel keeps the full layout", twelve, {}, 9, 2, -1,
       {{9, 3, 3, 480}, {3, 3, 3, 480}}, {}},
      {"2 plots alone: one row of two", {10, 10}, {}, 9, 2, -1, {{2, 1, 2, 360}}, {}},
      {"16 per panel", twelve, {}, 16, 2, -1, {{12, 4, 4, 640}}, {}},
      {"below 20% of the samples, or averaged to 0: not drawn", {10, 1, 10, 10}, {1, 1, 0, 1},
       9, 2, -1, {{2, 1, 2, 360}}, {"Coeff0", "Coeff3"}},
      {"MINPCT=0 draws every nonzero estimate", {10, 1, 10}, {}, 9, 2, 0,
       {{3, 2, 2, 480}}, {}},
      {"descending, equal counts in model order", {10, 5, 8, 5}, {}, 9, 2, 0,
       {{4, 2, 2, 480}}, {"Coeff0", "Coeff2", "Coeff1", "Coeff3"}},
      {"ascending, equal counts in model order", {10, 5, 8, 5}, {}, 9, 1, 0,
       {{4, 2, 2, 480}}, {"Coeff1", "Coeff3", "Coeff2", "Coeff0"}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Averaged a(c.count, 10, c.avg);
    auto& p = a.b.vsf().settings.plots.parmDist;
    p.on = 1, p.plotsPerPanel = c.perPanel, p.order = c.order, p.minPct = c.minPct;
    ASSERT_EQ(plotParmDistributions(settledView(a.b.vsf())), 0);
    const Json doc = a.b.out.document();
    const std::vector<Json> graphs = findGraphs(doc);
    ASSERT_EQ(graphs.size(), c.panels.size());
    for (size_t k = 0; k < graphs.size(); ++k) {
      const Panel& want = c.panels[k];
      EXPECT_EQ(graphs[k]["template"], "Stat.VARSIFTER.Graphics.ParmDistributionPanel");
      EXPECT_EQ(graphVariable(graphs[k], "_NPLOTS"), want.plots);
      EXPECT_EQ(graphVariable(graphs[k], "_NROWS"), want.rows);
      EXPECT_EQ(graphVariable(graphs[k], "_NCOLUMNS"), want.columns);
      EXPECT_EQ(graphVariable(graphs[k], "_HEIGHT"), want.height);
      EXPECT_EQ(graphVariable(graphs[k], "_PANELNUMBER"), static_cast<int>(k) + 1);
    }
    if (!c.first.empty()) {
      EXPECT_EQ(xvars(graphs[0]), c.first);
    }
    // Sample k selected effect e when k < count[e]; the others have no estimate of it.
    const Json coeffs = oneTable(doc, "Coeffs");
    ASSERT_EQ(coeffs["rows"].size(), 10u);
    for (size_t e = 0; e < c.count.size(); ++e) {
      const std::string column = "Coeff" + std::to_string(e);
      EXPECT_EQ(coeffs["rows"][9][column].is_number(), c.count[e] == 10) << column;
      EXPECT_EQ(coeffs["rows"][0][column], static_cast<double>(e));
    }
  }
}

TEST(AveragingPlots, SwitchesNamesAndTemplates) {
  struct Case {
    const char* name;
    bool unpack, histogram, refit;
    int32_t fitted;
    size_t graphs;
    const char* graph;
    const char* templ;
  } cases[] = {
      {"UNPACK: one graph each", true, false, false, 10, 3, "ParmDistPanel", "ParmDistribution"},
      {"NOBOXPLOTS: histograms", false, true, false, 10, 1, "ParmDistPanel", "ParmHistogramPanel"},
      {"the refit pass", false, false, true, 10, 1, "RefitParmDistPanel", "ParmDistributionPanel"},
      {"no sample fitted: nothing", false, false, false, 0, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Averaged a({10, 10, 10}, c.fitted);
    VsfState& v = a.b.vsf();
    auto& p = v.settings.plots.parmDist;
    p.on = 1, p.unpack = c.unpack, p.noBoxPlots = c.histogram;
    v.group.refitPass = c.refit;
    ASSERT_EQ(plotParmDistributions(settledView(v)), 0);
    const std::vector<Json> graphs = findGraphs(a.b.out.document());
    ASSERT_EQ(graphs.size(), c.graphs);
    for (const Json& g : graphs) {
      EXPECT_EQ(g["name"], c.graph);
      EXPECT_EQ(g["template"], std::string("Stat.VARSIFTER.Graphics.") + c.templ);
      EXPECT_EQ(graphVariable(g, "_REFIT"), c.refit ? 1 : 0);
    }
    if (c.unpack) {
      EXPECT_EQ(graphVariable(graphs[1], "_INDEPVAR"), "Coeff1");
      EXPECT_EQ(graphVariable(graphs[1], "_INDEPLABEL"), "x1");
    }
  }
}

TEST(AveragingPlots, SelectionPercentagesOffsetAndTitle) {
  struct Case {
    int effects;
    double minPct;
    double offset;
    const char* title;
  } cases[] = {
      {1, -1, 0.05, "Effects Selected in at Least 20% of the Samples for y"},
      {4, -1, 0.15, "Effects Selected in at Least 20% of the Samples for y"},
      {10, 0, 0.075, "Selection Percentages of the Effects for y"},
      {0, -1, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.effects);
    Averaged a(std::vector<int32_t>(static_cast<size_t>(c.effects), 10), 10);
    VsfState& v = a.b.vsf();
    v.settings.plots.effectSelectPct.on = 1;
    v.settings.plots.effectSelectPct.minPct = c.minPct;
    void* data = nullptr;
    int32_t rows = 0;
    ASSERT_EQ(printEffectSelectPct(settledView(v), 2, &data, &rows), 0);
    ASSERT_EQ(plotEffectSelectPct(settledView(v), data, rows), 0);
    const std::vector<Json> graphs = findGraphs(a.b.out.document());
    ASSERT_EQ(graphs.size(), c.effects > 0 ? 1u : 0u);
    if (graphs.empty()) continue;
    EXPECT_EQ(graphs[0]["data"][0]["rows"].size(), static_cast<size_t>(c.effects));
    EXPECT_NEAR(graphVariable(graphs[0], "_OFFSET").get<double>(), c.offset, 1e-15);
    EXPECT_EQ(graphVariable(graphs[0], "_TITLE"), c.title);
  }
}

}  // namespace
}  // namespace vsf::test
