// The plot model: what a graph's drawing is made of before it becomes SVG. A figure is a
// title, a grid of plots and a legend; a plot has two axes, series, reference lines and labels
// at its right edge. The drawings of the templates build figures from a graph's data; the SVG
// writer lays them out and draws them.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsf::host::output {

struct Graph;

// A tick of an axis: where it stands and its text.
struct Tick {
  double at = 0;
  std::string text;
};

struct Axis {
  std::string label;
  bool integer = false;     // whole-number ticks
  bool categories = false;  // the ticks name categories (step labels, effects): all are given
  bool wholeTicks = false;  // texts the procedure cut to the width the log names: shown whole
  std::vector<Tick> ticks;  // given ticks; chosen by the writer when empty
};

// How a series is drawn. Its pen (colour, dash and marker shape by index) keeps series apart
// in colour and in grey.
enum class SeriesKind : uint8_t {
  kLine,       // a line through the points, with markers when they are few
  kMarkers,    // markers only
  kNeedles,    // vertical lines from the baseline, a marker at the end
  kBars,       // horizontal bars from the baseline (x) at each category (y)
  kBox,        // a box plot at x: its box, whiskers and mean; the outliers as points (y)
  kHistogram,  // bins between the edges x[k] and x[k + 1], y[k] high
};

// Tukey's box of a sample: the quartiles as numpy's percentile takes them (linear between
// order statistics), the whiskers at the most extreme values within 1.5 IQR of the box (never
// inside it). NaN for an empty sample.
struct BoxStats {
  double q1 = NAN, median = NAN, q3 = NAN, low = NAN, high = NAN, mean = NAN;
  size_t n = 0;
};
BoxStats boxStats(std::vector<double> values);
// The values outside the whiskers, in ascending order.
std::vector<double> boxOutliers(const std::vector<double>& values, const BoxStats& b);

// A histogram as numpy's histogram(values, bins="sturges") makes it: equal bins over the
// range (a range of one value widened by 0.5 each way), the last bin closed.
struct Histogram {
  std::vector<double> edges;
  std::vector<double> counts;
};
Histogram histogramOf(const std::vector<double>& values);

enum class Shape : uint8_t { kCircle, kSquare, kTriangle, kDiamond, kCross, kStar };

struct Series {
  std::string name;  // its legend text and data-name
  std::string role;  // what it shows: "criterion", "optimum", "coefficient", "ase", ...
  SeriesKind kind = SeriesKind::kLine;
  std::vector<double> x, y;  // the points drawn, in data units
  int pen = 0;
  bool emphasis = false;  // drawn large and filled (an optimum)
  bool legend = true;
  double baseline = 0;  // needles, bars and histograms start here
  BoxStats box;         // of a box plot
  // Its place among the series drawn in its pen's colour (the parameters of one CLASS effect):
  // each takes a marker and dash of its own, and a long line still shows some markers. -1 for
  // a series that has its pen to itself.
  int variant = -1;
};

// A reference line across the plot at a value of one axis.
struct RefLine {
  std::string name;
  bool vertical = true;  // at an x value
  double at = 0;
  bool selected = false;  // the chosen step (dark, dashed); else a faint line
  bool legend = true;
};

// A label at the plot's right edge, beside the end of a curve.
struct EdgeLabel {
  std::string text;
  double y = 0;
  int pen = 0;
  int series = -1;  // the plot's series it names; one that finds no room is named in the legend
};

struct Plot {
  Axis x, y;
  std::vector<Series> series;
  std::vector<RefLine> refs;
  std::vector<EdgeLabel> edgeLabels;
  double weight = 1;  // its share of the figure's height within a one-column figure
};

struct Figure {
  int id = 0;  // unique within a page
  std::string name, title, subtitle, label;
  std::string byLine;  // the BY group the graph belongs to, as tables show it
  int columns = 1;
  std::vector<Plot> plots;  // row by row
  double width = 800;
  double cellHeight = 400;  // of a plot area (times its weight in a one-column figure)
  bool sharedX = false;     // tick labels and the x label only below the lowest plots
};

// The width of a text at a font size, estimated generously: 0.6 em a character, one em for the
// wide characters of East Asian scripts.
double textWidth(std::string_view s, double size);
// The text cut in its middle with an ellipsis to fit a width, its start and end kept, so that
// labels that differ at either end stay apart; never inside a character.
std::string fitted(std::string_view s, double width, double size);

// The drawing of a graph's template over its data and variables.
Figure drawGraph(const Graph& g);
// The figure as a self-contained SVG document.
std::string svgText(const Figure& f);

}  // namespace vsf::host::output
