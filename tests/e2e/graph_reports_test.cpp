// The graphs a user opens: no empty coefficient plot when nothing entered, labels that differ
// still told apart once cut, every text inside its picture, and file names that keep the
// letters of BY values outside ASCII.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "e2e/graph_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// Uniform numbers on [-1, 1) from a seed, the same on every machine.
class Draws {
 public:
  explicit Draws(uint64_t seed) : state_(seed) {}
  double next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / 4503599627370496.0 - 1;
  }

 private:
  uint64_t state_;
};

// A data set of its own in the library: its header and rows.
void writeData(const fs::path& file, const std::string& header,
               const std::vector<std::string>& rows) {
  std::ofstream out(file);
  out << header << '\n';
  for (const std::string& r : rows) out << r << '\n';
}

std::vector<std::string> names(const std::vector<Json>& graphs) {
  std::vector<std::string> out;
  for (const Json& g : graphs) out.push_back(g["name"]);
  return out;
}

// A response of noise beside one with a signal in x1: with nothing entered there is no
// coefficient curve, so the coefficient plots are left out with a note, not drawn as empty
// frames; the other graphs stay.
TEST(GraphReports, NothingEnteredLeavesTheCoefficientPlotsOut) {
  ScratchDir lib("vsf_graph_reports");
  Draws d(52);
  std::vector<std::string> rows;
  for (int i = 0; i < 60; ++i) {
    const double x1 = d.next(), x2 = d.next(), x3 = d.next(), noise = d.next();
    rows.push_back(std::to_string(noise) + "," + std::to_string(4 * x1 + 0.1 * d.next()) + "," +
                   std::to_string(x1) + "," + std::to_string(x2) + "," + std::to_string(x3));
  }
  writeData(lib.path() / "edge.csv", "noise,signal,x1,x2,x3", rows);
  const std::string note = "No candidate effect entered the model at any step";
  struct Case {
    const char *response, *plots;
    std::vector<std::string> graphs;
  } cases[] = {
      {"noise", "plots=all", {"CriterionPanel", "ASEPlot"}},
      {"noise", "plots(unpack)=(coefficients ase)", {"ASEPlot"}},
      {"signal", "plots=all", {"CoefficientPanel", "CriterionPanel", "ASEPlot"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.response) + " " + c.plots);
    const GraphRun run =
        runGraphs(std::string("proc varsifter data=edge ") + c.plots + ";\n  model " + c.response +
                      " = x1 x2 x3 / selection=forward(select=sl "
                      "slentry=0.0001);\nrun;\n",
                  "", lib.path().string());
    ASSERT_EQ(run.r.status, 0) << run.r.output;
    EXPECT_EQ(names(graphs(run.r)), c.graphs);
    EXPECT_EQ(run.r.output.find(note) != std::string::npos, c.graphs.size() < 3) << run.r.output;
    EXPECT_NE(run.r.output.find("ended with return code 0."), std::string::npos);
    // The listing names no graph that was left out.
    EXPECT_EQ(run.r.output.find("Graph Coefficient") != std::string::npos,
              c.graphs[0] == "CoefficientPanel");
    // Every picture written draws something.
    for (const auto& f : fs::directory_iterator(run.svg)) {
      const SvgPicture p = readPicture(f.path());
      EXPECT_TRUE(std::any_of(p.plots.begin(), p.plots.end(), [](const SvgPlot& plot) {
        return std::any_of(plot.series.begin(), plot.series.end(),
                           [](const SvgSeries& s) { return !s.x.empty(); });
      })) << f.path();
    }
    expectTextsInside(run.svg);
  }
}

// Four levels of a CLASS variable that share a long start and differ in their last character,
// beside variables with long names: cut to the room of a picture, or to MAXPARMLABEL= by the
// procedure, the levels' labels stay apart; step labels show what the procedure left of them,
// the MAXSTEPLABEL= characters the log names.
TEST(GraphReports, LabelsThatDifferStayApart) {
  ScratchDir lib("vsf_graph_reports");
  const std::string level = "Level one with an extremely long name that goes on and on and on ";
  const std::string prefix = "measurement_of_the_patients_";
  Draws d(7);
  std::vector<std::string> rows;
  for (int i = 0; i < 120; ++i) {
    const double a = d.next(), b = d.next();
    rows.push_back(std::string(1, static_cast<char>('A' + i % 4)) + "," + level +
                   static_cast<char>('A' + i % 4) + "," + std::to_string(a) + "," +
                   std::to_string(b) + "," + std::to_string(1.5 * (i % 4) + 2 * a - b + d.next()));
  }
  writeData(lib.path() / "longcat.csv", "code,cat," + prefix + "a," + prefix + "b,y", rows);
  const std::string model = "class cat; model y = cat " + prefix + "a " + prefix +
                            "b / selection=forward(select=sbc); run;\n";
  struct Case {
    const char* options;
    size_t parmWidth;  // of the Coefficients table's Parameter column
    bool cutNote;      // the procedure cut the parameter labels
  } cases[] = {
      {"namelen=200 plots(maxparmlabel=256 stepaxis=effect)=coefficients", 70, false},
      {"namelen=64 plots(stepaxis=effect)=coefficients", 32, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const GraphRun run =
        runGraphs(std::string("proc varsifter data=longcat ") + c.options + ";\n" + model, "",
                  lib.path().string());
    ASSERT_EQ(run.r.status, 0) << run.r.output;
    EXPECT_EQ(run.r.output.find("MAXPARMLABEL=32 are cut to 32 characters") != std::string::npos,
              c.cutNote);
    EXPECT_NE(run.r.output.find("MAXSTEPLABEL=20 are cut to 20 characters"), std::string::npos);
    const std::vector<Json> all = graphs(run.r);
    const Json* panel = graphNamed(all, "CoefficientPanel");
    ASSERT_NE(panel, nullptr);
    std::set<std::string> levels, stepLabels;
    for (const Json& row : (*panel)["data"][0]["rows"]) {
      const std::string parameter = row["Parameter"];
      EXPECT_LE(parameter.size(), c.parmWidth) << parameter;
      if (parameter.starts_with("cat ")) levels.insert(parameter);
      stepLabels.insert(row["StepLabel"].get<std::string>());
    }
    EXPECT_EQ(levels.size(), 4u);  // the procedure's cut keeps them apart
    // The picture: the levels' texts as shown at the right edge and in the legend differ.
    const SvgPicture picture = readPicture((*panel)["file"]);
    std::vector<std::vector<std::string>> shown = {picture.legendTexts};
    for (const SvgPlot& p : picture.plots) shown.push_back(p.edgeTexts);
    size_t levelsShown = 0;
    for (const std::vector<std::string>& texts : shown) {
      std::set<std::string> apart;
      for (const std::string& t : texts) {
        if (!t.starts_with("cat ")) continue;
        EXPECT_TRUE(apart.insert(t).second) << t;
        ++levelsShown;
      }
    }
    EXPECT_GE(levelsShown, 4u);
    // The step labels on end are the table's, whole: 20 characters at most, and some so long.
    size_t longest = 0, onEnd = 0;
    for (const SvgText& t : picture.texts) {
      if (!t.onEnd || !stepLabels.count(t.text)) continue;
      ++onEnd;
      longest = std::max(longest, t.text.size());
    }
    EXPECT_EQ(onEnd, stepLabels.size());  // below the lower plot, which shares the axis
    EXPECT_EQ(longest, 20u);
    expectTextsInside(run.svg);
  }
}

// Under BY the file of a graph carries the group's values: letters outside ASCII stay (the
// file system takes UTF-8), while a blank, a "/" and a byte that starts no character become
// "_", one for each.
TEST(GraphReports, FileNamesKeepLettersOutsideAscii) {
  ScratchDir lib("vsf_graph_reports");
  const std::vector<std::string> cities = {"\u5317\u4eac", "S\u00e3o Paulo", "a/b",
                                           "Caf\xe9"};  // the last one Latin-1, not UTF-8
  Draws d(11);
  std::vector<std::string> rows;
  for (const std::string& city : cities)
    for (int i = 0; i < 12; ++i) {
      const double x = d.next();
      rows.push_back(city + "," + std::to_string(x) + "," + std::to_string(3 * x + d.next()));
    }
  writeData(lib.path() / "cities.csv", "city,x,y", rows);
  const GraphRun run = runGraphs(
      "proc varsifter data=cities plots=ase; by city notsorted;\n"
      "  model y = x / selection=forward(select=sbc);\nrun;\n",
      "", lib.path().string());
  ASSERT_EQ(run.r.status, 0) << run.r.output;
  const std::set<std::string> expected = {
      "Summary.ASEPlot.by1-city=\u5317\u4eac.svg", "Summary.ASEPlot.by2-city=S\u00e3o_Paulo.svg",
      "Summary.ASEPlot.by3-city=a_b.svg", "Summary.ASEPlot.by4-city=Caf_.svg"};
  std::set<std::string> files;
  for (const auto& f : fs::directory_iterator(run.svg)) files.insert(f.path().filename());
  EXPECT_EQ(files, expected);
  for (const std::string& f : expected)
    EXPECT_NE(run.r.output.find((run.svg / f).string()), std::string::npos) << f;
  expectTextsInside(run.svg);
}

}  // namespace
}  // namespace vsf::test
