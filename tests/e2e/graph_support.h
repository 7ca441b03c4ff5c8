// Test support for the graphs through the command: the graphs of a run's JSON document, their
// dynamic variables, and each SVG picture's structure as the writer describes it in attributes.
#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {

// ---- The pictures ----
struct SvgSeries {
  std::string name, role;
  std::vector<double> x, y;
  std::vector<double> box;           // a box plot's q1, median, q3, whisker ends and mean
  std::string colour, dash, marker;  // its pen: "solid" for no dash, the marker's shape
};
struct SvgPlot {
  std::vector<SvgSeries> series;
  std::map<std::string, double> refs;  // vertical reference lines by name
  std::vector<std::string> edgeLabels;
  std::vector<std::string> edgeTexts;  // the edge labels as shown, cut to their room
};
// A text of a picture: where it stands, its font size and anchor, whether it stands on end
// (turned by -90 degrees), its content unescaped.
struct SvgText {
  double x = 0, y = 0, size = 0;
  std::string anchor, text;
  bool onEnd = false;
};
struct SvgPicture {
  std::vector<SvgPlot> plots;
  std::vector<std::string> legend;       // the legend's entries
  std::vector<std::string> legendTexts;  // and their texts as shown
  std::vector<SvgText> texts;            // every text
  double width = 0, height = 0;
};
SvgPicture readPicture(const std::string& path);
// The box a text takes at 0.6 em a character, an em for those of East Asian scripts (the
// writer's own estimate): left, top, right, bottom.
std::array<double, 4> textBox(const SvgText& t);
// Every text of every picture in the directory lies inside its picture.
void expectTextsInside(const std::filesystem::path& directory);
inline std::vector<SvgPlot> readSvg(const std::string& path) { return readPicture(path).plots; }

// ---- The graphs of a document ----
std::vector<Json> graphs(const CommandRun& r);
const Json* graphNamed(const std::vector<Json>& all, const std::string& name);
// A variable of a list of pairs; the text "<absent>" when it has none.
Json variable(const Json& pairs, const std::string& name);
// A variable of the step-axis list (the list that names _STEPAXIS).
Json axisVariable(const Json& graph, const std::string& name);

// A run that writes each graph into a directory of its own.
struct GraphRun {
  CommandRun r;
  std::filesystem::path svg;
};
GraphRun runGraphs(const std::string& text, const std::string& options = "",
                   const std::string& library = VSF_SHARED_DATA);

}  // namespace vsf::test
