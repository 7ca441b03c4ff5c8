// Test support for the graphs through the command: the graphs of a run's JSON document, their
// dynamic variables, and each SVG picture's structure as the writer describes it in attributes.
#pragma once

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
};
struct SvgPicture {
  std::vector<SvgPlot> plots;
  std::vector<std::string> legend;  // the legend's entries
};
SvgPicture readPicture(const std::string& path);
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
GraphRun runGraphs(const std::string& text, const std::string& options = "");

}  // namespace vsf::test
