#include "e2e/graph_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "common/graph_rows.h"
#include "host/output/plot_internal.h"

namespace vsf::test {

namespace fs = std::filesystem;

namespace {

std::vector<double> numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (double v; in >> v;) out.push_back(v);
  return out;
}

std::string unescaped(std::string s) {
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                 {"&gt;", ">"},
                                 {"&quot;", "\""},
                                 {"&amp;", "&"}})
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
      s.replace(at, from.size(), to);
  return s;
}

// An attribute's value among the attributes of an element; `otherwise` when it has none.
std::string attribute(const std::string& attributes, const std::string& name,
                      const std::string& otherwise) {
  std::smatch m;
  if (std::regex_search(attributes, m, std::regex("(^| )" + name + "=\"([^\"]*)\""))) return m[2];
  return otherwise;
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
  static const std::regex edge(R"re(<text data-name="([^"]*)" data-y=[^>]*>([^<]*)</text>)re");
  static const std::regex entry(
      R"re(<g class="entry" data-name="([^"]*)">(?:<[^t][^>]*>)*<text[^>]*>([^<]*)</text>)re");
  static const std::regex element(R"re(<text ([^>]*)>([^<]*)</text>)re");
  static const std::regex size(R"re(viewBox="0 0 ([0-9.]+) ([0-9.]+)")re");
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
    for (std::sregex_iterator m(part.begin(), part.end(), edge), e; m != e; ++m) {
      p.edgeLabels.push_back((*m)[1]);
      p.edgeTexts.push_back(unescaped((*m)[2]));
    }
    picture.plots.push_back(std::move(p));
    at = next;
  }
  for (std::sregex_iterator m(svg.begin(), svg.end(), entry), e; m != e; ++m) {
    picture.legend.push_back((*m)[1]);
    picture.legendTexts.push_back(unescaped((*m)[2]));
  }
  for (std::sregex_iterator m(svg.begin(), svg.end(), element), e; m != e; ++m) {
    const std::string attributes = (*m)[1];
    SvgText t;
    t.x = std::stod(attribute(attributes, "x", "0"));
    t.y = std::stod(attribute(attributes, "y", "0"));
    t.size = std::stod(attribute(attributes, "font-size", "0"));
    t.anchor = attribute(attributes, "text-anchor", "start");
    t.onEnd = attribute(attributes, "transform", "").starts_with("rotate(-90");
    t.text = unescaped((*m)[2]);
    picture.texts.push_back(std::move(t));
  }
  if (std::smatch m; std::regex_search(svg, m, size))
    picture.width = std::stod(m[1]), picture.height = std::stod(m[2]);
  return picture;
}

std::array<double, 4> textBox(const SvgText& t) {
  const double w = host::output::textWidth(t.text, t.size);
  const double from = t.anchor == "end" ? -w : t.anchor == "middle" ? -w / 2 : 0;
  // Standing on end, the text runs up from where it starts: its end is at the anchor.
  if (t.onEnd) return {t.x - t.size / 2, t.y - w - from, t.x + t.size / 2, t.y - from};
  return {t.x + from, t.y - t.size, t.x + from + w, t.y + t.size / 3};
}

void expectTextsInside(const fs::path& directory) {
  size_t files = 0;
  for (const auto& f : fs::directory_iterator(directory)) {
    if (f.path().extension() != ".svg") continue;
    ++files;
    const SvgPicture p = readPicture(f.path());
    EXPECT_FALSE(p.texts.empty()) << f.path();
    for (const SvgText& t : p.texts) {
      const auto [left, top, right, bottom] = textBox(t);
      EXPECT_TRUE(left >= -0.5 && right <= p.width + 0.5 && top >= -0.5 && bottom <= p.height + 0.5)
          << f.path().filename() << ": \"" << t.text << "\" at " << left << ".." << right << ", "
          << top << ".." << bottom << " in " << p.width << " x " << p.height;
    }
  }
  EXPECT_GT(files, 0u) << directory;
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

GraphRun runGraphs(const std::string& text, const std::string& options,
                   const std::string& library) {
  static int serial = 0;
  GraphRun run;
  run.svg = processScratch("vsf_graphs_" + std::to_string(++serial));
  fs::remove_all(run.svg);
  run.r = runCommand(text, library, "--svg " + run.svg.string() + " " + options);
  return run;
}

}  // namespace vsf::test
