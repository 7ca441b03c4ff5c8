#include "e2e/graph_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "common/graph_rows.h"

namespace vsf::test {

namespace fs = std::filesystem;

namespace {

std::vector<double> numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (double v; in >> v;) out.push_back(v);
  return out;
}

}  // namespace

SvgPicture readPicture(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string svg = text.str();
  static const std::regex series(
      R"re(<g class="series" data-name="([^"]*)" data-role="([^"]*)" data-colour="([^"]*)" data-dash="([^"]*)" data-marker="([^"]*)" data-x="([^"]*)" data-y="([^"]*)"( data-box="([^"]*)")?>)re");
  static const std::regex ref(
      R"re(<g class="ref" data-name="([^"]*)" data-axis="x" data-at="([^"]*)">)re");
  static const std::regex edge(R"re(<text data-name="([^"]*)" data-y=)re");
  static const std::regex entry(R"re(<g class="entry" data-name="([^"]*)">)re");
  SvgPicture picture;
  const size_t legend = svg.find("<g class=\"legend\">");
  for (size_t at = svg.find("<g class=\"plot\""); at != std::string::npos;) {
    size_t next = svg.find("<g class=\"plot\"", at + 1);
    const size_t end = std::min(next, legend);
    const std::string part =
        svg.substr(at, end == std::string::npos ? std::string::npos : end - at);
    SvgPlot p;
    for (std::sregex_iterator m(part.begin(), part.end(), series), e; m != e; ++m)
      p.series.push_back({(*m)[1], (*m)[2], numbers((*m)[6]), numbers((*m)[7]), numbers((*m)[9]),
                          (*m)[3], (*m)[4], (*m)[5]});
    for (std::sregex_iterator m(part.begin(), part.end(), ref), e; m != e; ++m)
      p.refs[(*m)[1]] = std::stod((*m)[2]);
    for (std::sregex_iterator m(part.begin(), part.end(), edge), e; m != e; ++m)
      p.edgeLabels.push_back((*m)[1]);
    picture.plots.push_back(std::move(p));
    at = next;
  }
  for (std::sregex_iterator m(svg.begin(), svg.end(), entry), e; m != e; ++m)
    picture.legend.push_back((*m)[1]);
  return picture;
}

std::vector<Json> graphs(const CommandRun& r) {
  std::vector<Json> out;
  std::function<void(const Json&)> walk = [&](const Json& items) {
    for (const Json& i : items) {
      if (i["type"] == "graph") out.push_back(withGraphRows(i, r.document));
      if (i["type"] == "group") walk(i["items"]);
    }
  };
  if (r.document.is_object()) walk(r.document["output"]);
  return out;
}

const Json* graphNamed(const std::vector<Json>& all, const std::string& name) {
  for (const Json& g : all)
    if (g["name"] == name) return &g;
  return nullptr;
}

Json variable(const Json& pairs, const std::string& name) {
  for (const Json& p : pairs)
    if (p["name"] == name) return p["value"];
  return Json("<absent>");
}

Json axisVariable(const Json& graph, const std::string& name) {
  for (const Json& l : graph["lists"])
    if (variable(l, "_STEPAXIS") != Json("<absent>")) return variable(l, name);
  return Json("<absent>");
}

GraphRun runGraphs(const std::string& text, const std::string& options) {
  static int serial = 0;
  GraphRun run;
  run.svg = fs::path(::testing::TempDir()) / ("vsf_graphs_" + std::to_string(++serial));
  fs::remove_all(run.svg);
  run.r = runCommand(text, VSF_SHARED_DATA, "--svg " + run.svg.string() + " " + options);
  return run;
}

}  // namespace vsf::test
