// Graph drawings: text stays inside the picture however long the names, crowded edge labels
// move apart, a value record without its name is passed over, and each graph's file is
// written where the listing says (or its failure reported).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <string_view>

#include "common/files.h"
#include "frame/host/values.h"
#include "host/output/output_internal.h"
#include "host/output/plot_internal.h"
#include "host/output_driver.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// Coefficient rows of two steps: three curves ending at the same value with long names.
void* coefficientData(OutputDriver& o, double base = 0, double spread = 0.5) {
  int32_t step = 0, curve = 0;
  double estimate = 0, edge = 0;
  char parameter[60];
  void* t = o.create("data", "Coefficients");
  o.column(t, 3, "Step", &step);
  o.column(t, 3, "CurveNumber", &curve);
  o.column(t, 6, "Parameter", parameter, {argInt(289, 60)});
  o.column(t, 5, "StandardizedEst", &estimate);
  o.column(t, 5, "RhsLabelYValue", &edge);
  void* data = nullptr;
  void* inst = o.bind(t, "Stat.VARSIFTER.Phantom.Coefficients", {}, &data);
  for (step = 0; step <= 1; ++step)
    for (curve = 1; curve <= 3; ++curve) {
      const std::string name = std::string(50, 'a' + curve) + "_end";
      std::snprintf(parameter, sizeof parameter, "%-59s", name.c_str());
      estimate = base + step * spread;
      edge = step == 1 ? estimate : missingValue('.');
      OutputDriver::call(t, op::kWriteRow);
    }
  o.finishTable(t, inst);
  return data;
}

int graph(OutputDriver& o, void* data, std::vector<OutputArgItem> more = {}) {
  std::vector<OutputArgItem> items = {
      argString(key::kName, o.str("CoefficientPlot")),
      argString(key::kTitle, o.str(std::string(200, 'T'))),
      argString(key::kTemplate, o.str("Stat.VARSIFTER.Graphics.CoefficientPlot")),
      argDataObject(key::kGraphData, 1, data)};
  items.insert(items.end(), more.begin(), more.end());
  return OutputDriver::call(o.manager, op::kRenderGraph, items);
}

std::string lastSvg() { return host::output::graphSvg(host::output::doc().graphs.back()); }

TEST(OutputSvg, TextStaysInsideAndCrowdedEdgeLabelsMoveApart) {
  OutputDriver o;
  void* data = coefficientData(o);
  // The value record after _OFFSET_RIGHT has no name: it is passed over.
  ASSERT_EQ(graph(o, data,
                  {argString(key::kDynamicName, o.str("_OFFSET_RIGHT")),
                   argDouble(key::kDynamicValue, 0.1), argDouble(key::kDynamicValue, 0)}),
            0);
  const std::string svg = lastSvg();
  const std::smatch size = [&] {
    std::smatch m;
    std::regex_search(svg, m, std::regex(R"re(viewBox="0 0 ([0-9.]+) ([0-9.]+)")re"));
    return m;
  }();
  ASSERT_FALSE(size.empty());
  const double width = std::stod(size[1]), height = std::stod(size[2]);
  // Unrotated texts, by their anchor and a width of 0.6 em a character (an ellipsis one).
  static const std::regex text(
      R"re(<text ([^>]*?)x="([-0-9.]+)" y="([-0-9.]+)" font-size="([0-9.]+)"([^>]*)>([^<]*)</text>)re");
  int texts = 0;
  std::vector<double> edgeY;
  for (std::sregex_iterator m(svg.begin(), svg.end(), text), e; m != e; ++m) {
    const std::string attrs = (*m)[1].str() + (*m)[5].str(), content = (*m)[6];
    const double x = std::stod((*m)[2]), y = std::stod((*m)[3]), em = std::stod((*m)[4]);
    if (attrs.find("data-name") != std::string::npos) edgeY.push_back(y);
    if (attrs.find("rotate") != std::string::npos) continue;
    const double w = 0.6 * em * static_cast<double>(content.size());
    const double left = attrs.find("\"end\"") != std::string::npos      ? x - w
                        : attrs.find("\"middle\"") != std::string::npos ? x - w / 2
                                                                        : x;
    EXPECT_GE(left, -0.5) << content;
    EXPECT_LE(left + w, width + 0.5) << content;
    EXPECT_GT(y, 0);
    EXPECT_LT(y, height);
    ++texts;
  }
  EXPECT_GT(texts, 5);
  ASSERT_EQ(edgeY.size(), 3u);  // the three curves end at one value: their labels stand apart
  std::sort(edgeY.begin(), edgeY.end());
  for (size_t k = 1; k < edgeY.size(); ++k) EXPECT_GE(edgeY[k] - edgeY[k - 1], 11.0);
}

// Curves ending too close for their labels to fit the plot's height: the labels of the largest
// ends stay at the edge, the other curves are named in the legend, and every curve once.
TEST(OutputSvg, EdgeLabelsWithoutRoomGoToTheLegend) {
  using namespace host::output;
  Figure f;
  f.cellHeight = 100;
  Plot& p = f.plots.emplace_back();
  const int curves = 30;
  for (int k = 0; k < curves; ++k) {
    const std::string name = "c" + std::to_string(k);
    p.series.push_back(Series{
        name, "coefficient", SeriesKind::kLine, {0, 1}, {0, k + 1.0}, k, false, false, 0, {}});
    p.edgeLabels.push_back(EdgeLabel{name, k + 1.0, k, k});
  }
  const std::string svg = svgText(f);
  std::vector<std::string> edge, legend;
  static const std::regex label(R"re(<text data-name="([^"]*)" data-y=)re");
  static const std::regex entry(R"re(<g class="entry" data-name="([^"]*)">)re");
  for (std::sregex_iterator m(svg.begin(), svg.end(), label), e; m != e; ++m)
    edge.push_back((*m)[1]);
  for (std::sregex_iterator m(svg.begin(), svg.end(), entry), e; m != e; ++m)
    legend.push_back((*m)[1]);
  EXPECT_GT(edge.size(), 5u);
  EXPECT_LT(edge.size(), static_cast<size_t>(curves));
  EXPECT_EQ(edge.size() + legend.size(), static_cast<size_t>(curves));
  for (int k = 0; k < curves; ++k) {
    const std::string name = "c" + std::to_string(k);
    const bool atEdge = std::count(edge.begin(), edge.end(), name) == 1;
    EXPECT_NE(atEdge, std::count(legend.begin(), legend.end(), name) == 1) << name;
    // The largest ends keep their labels.
    EXPECT_EQ(atEdge, k >= curves - static_cast<int>(edge.size())) << name;
  }
}

// A line of a colour shared with others marks each point while it is short and about twelve
// when long; a line with a pen of its own shows no markers when long.
TEST(OutputSvg, SharedColourLinesKeepSomeMarkers) {
  using namespace host::output;
  struct Case {
    int points, variant;
    size_t marks;
  } cases[] = {{20, 1, 20}, {100, 1, 12}, {100, 0, 12}, {100, -1, 0}, {61, 1, 11}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.points) + " points, variant " + std::to_string(c.variant));
    Figure f;
    Series s{"s", "coefficient", SeriesKind::kLine, {}, {}, 0, false, false, 0, {}};
    for (int k = 0; k < c.points; ++k) s.x.push_back(k), s.y.push_back(k % 7);
    s.variant = c.variant;
    s.pen = c.variant == 1 ? 0 : 1;  // a square either way: one move per marker
    f.plots.emplace_back().series.push_back(s);
    const std::string svg = svgText(f);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(svg, m, std::regex(R"re(data-marker="([a-z]+)")re")));
    EXPECT_EQ(m[1], "square");
    const bool found =
        std::regex_search(svg, m, std::regex(R"re(<path d="([^"]*)" fill="#fff")re"));
    EXPECT_EQ(found ? static_cast<size_t>(std::count(m[1].first, m[1].second, 'M')) : 0u, c.marks);
  }
}

bool validUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A text too wide is cut in its middle: labels that share a long start, or a long end, stay
// apart; the cut keeps whole characters and fits the width, an East Asian one taking an em.
TEST(OutputSvg, LongTextsAreCutInTheMiddle) {
  using host::output::fitted;
  using host::output::textWidth;
  const std::string prefix = "cat Level one with an extremely long name that goes on and on ";
  const std::string wide = "\u5317\u4eac\u5e02\u6d77\u6dc0\u533a\u4e2d\u5173\u6751";
  struct Case {
    std::string a, b;  // two labels that differ
    double width;
  } cases[] = {
      {prefix + "A", prefix + "B", 200},
      {"A " + prefix, "B " + prefix, 200},
      {"12+" + prefix, "13+" + prefix, 120},
      {wide + "A", wide + "B", 70},
      {"S\u00e3o Paulo " + prefix + "1", "S\u00e3o Paulo " + prefix + "2", 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a);
    const std::string a = fitted(c.a, c.width, 11), b = fitted(c.b, c.width, 11);
    EXPECT_NE(a, b);
    for (const std::string& cut : {a, b}) {
      EXPECT_NE(cut.find("\u2026"), std::string::npos) << cut;
      // The ellipsis is given an em, the rest the estimate.
      EXPECT_LE(textWidth(cut, 11) - 0.6 * 11 + 11, c.width + 0.5) << cut;
      EXPECT_GT(textWidth(cut, 11), c.width / 2) << cut;
      EXPECT_TRUE(validUtf8(cut)) << cut;
    }
  }
  EXPECT_EQ(fitted("short", 100, 11), "short");
  EXPECT_DOUBLE_EQ(textWidth("ab", 10), 12);
  EXPECT_DOUBLE_EQ(textWidth(wide.substr(0, 6), 10), 20);  // two characters of an em
  EXPECT_DOUBLE_EQ(textWidth("S\u00e3o", 10), 18);         // one narrow character, two bytes
}

// A tick label at the edge of the picture moves in rather than losing its last digits: the
// candidates of a step whose last tick stands at the plot's right end.
TEST(OutputSvg, TickLabelsStayInsideThePicture) {
  using namespace host::output;
  Figure f;
  Plot& p = f.plots.emplace_back();
  const std::vector<double> x = {0.5085552663698055, 0.5076402074518291, 0.5073534638354564};
  p.series.push_back(
      Series{"Adj R-Sq", "candidate", SeriesKind::kBars, x, {2, 1, 0}, 0, false, true, x[2], {}});
  p.y.categories = true;
  for (int k = 0; k < 3; ++k) p.y.ticks.push_back(Tick{2.0 - k, "x" + std::to_string(k)});
  const std::string svg = svgText(f);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      svg, m,
      std::regex(
          R"re(<text x="([-0-9.]+)" y="[-0-9.]+" font-size="11" text-anchor="middle">0.5086</text>)re")))
      << svg;
  const double at = std::stod(m[1]);
  EXPECT_LE(at + 0.6 * 11 * 6 / 2, f.width);
  EXPECT_GT(at, f.width - 40);
}

// Values too close for their size to step through still get an axis.
TEST(OutputSvg, HugeValuesCloseTogether) {
  OutputDriver o;
  ASSERT_EQ(graph(o, coefficientData(o, 1e16, 2)), 0);
  EXPECT_NE(lastSvg().find("</svg>"), std::string::npos);
}

TEST(OutputSvg, EachGraphGoesWhereTheListingSays) {
  const fs::path dir = ownTempPath("vsf_svg_files");
  fs::remove_all(dir);
  fs::create_directories(dir);
  struct Case {
    std::string directory;
    bool page;
    std::string listed;
    bool failed;
  } cases[] = {
      {dir.string(), false, dir.string() + "/CoefficientPlot.svg", false},
      {"", true, "drawn in the HTML page", false},
      {"", false, "not drawn (--html or --svg draws it)", false},
      {(dir / "missing").string(), false, "not written: cannot write", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    OutputDriver o;
    host::output::setGraphTargets(c.directory, c.page);
    const size_t errors = host::output::graphFileErrors().size();
    ASSERT_EQ(graph(o, coefficientData(o)), 0);
    host::output::setGraphTargets("", false);
    EXPECT_NE(o.listing().find("Graph CoefficientPlot (TTT"), std::string::npos);
    EXPECT_NE(o.listing().find(c.listed), std::string::npos) << o.listing();
    EXPECT_EQ(host::output::graphFileErrors().size(), errors + (c.failed ? 1 : 0));
    EXPECT_EQ(fs::exists(c.listed), !c.failed && !c.directory.empty());
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vsf::test
