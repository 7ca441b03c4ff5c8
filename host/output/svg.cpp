// The SVG writer: lays a figure out (title, a grid of plots with their axes and labels, the
// legend) and draws it. Each series, reference line and edge label carries its name and data
// values in attributes, so that a test reads the picture's structure. Text widths are
// estimated from the font size, generously, so that text stays inside the picture.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "host/output/output_internal.h"
#include "host/output/plot_internal.h"

namespace vsf::host::output {

namespace {

constexpr const char* kFont = "Helvetica, Arial, sans-serif";
constexpr double kTitleSize = 16, kLabelSize = 13, kTickSize = 11, kLegendSize = 12;
constexpr double kPad = 10;
constexpr size_t kMarkedPoints = 60;  // a line shows its points' markers up to this many
constexpr size_t kVariantMarks = 12;  // a longer line of a shared colour shows about this many

// Colours told apart by most readers (and in grey by their dash and marker shape).
constexpr const char* kColours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                    "#000000", "#56B4E9", "#E69F00"};
constexpr const char* kDashes[] = {"", "7 3", "2 3", "9 3 2 3", "12 4", "4 2 1 2"};
constexpr Shape kShapes[] = {Shape::kCircle,  Shape::kSquare, Shape::kTriangle,
                             Shape::kDiamond, Shape::kCross,  Shape::kStar};
constexpr int kColourCount = 7, kDashCount = 6, kShapeCount = 6;

struct Pen {
  const char* colour;
  const char* dash;
  Shape shape;
};

// Variant v of a pen keeps its colour and turns its shape by v and its dash by v + v / 6: no
// two of the first 36 variants share both.
Pen penOf(int i, int variant = 0) {
  i = std::max(i, 0);
  const int v = std::max(variant, 0);
  const int round = i / kColourCount;
  return Pen{kColours[i % kColourCount], kDashes[(i + round + v + v / kShapeCount) % kDashCount],
             kShapes[(i + 2 * round + v) % kShapeCount]};
}

Pen penOf(const Series& s) { return penOf(s.pen, s.variant); }

const char* shapeName(Shape s) {
  static constexpr const char* kNames[] = {"circle",  "square", "triangle",
                                           "diamond", "cross",  "star"};
  return kNames[static_cast<int>(s)];
}

std::string num(double v) { return fmt::format("{:.1f}", v); }

std::string values(const std::vector<double>& v) {
  std::string out;
  for (double d : v) {
    if (!out.empty()) out += ' ';
    out += fmt::format("{}", d);
  }
  return out;
}

// ---- Axes ----
struct Scale {
  double low = 0, high = 1;  // data range of the plot area
  std::vector<Tick> ticks;
};

double niceStep(double span, int target) {
  const double raw = span / target;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double n = raw / mag;
  return (n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10) * mag;
}

std::string tickText(double v, double step, double largest) {
  if (std::fabs(v) < step * 1e-9) return "0";
  if (largest >= 1e7 || largest < 1e-4) return fmt::format("{:.3g}", v);
  const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  return fmt::format("{:.{}f}", v, decimals);
}

Scale scaleOf(const Axis& a, double low, double high, int target) {
  Scale s;
  if (!(low <= high)) low = 0, high = a.categories ? 0 : 1;
  if (a.categories) {
    s.ticks = a.ticks;
    s.low = low - 0.5;
    s.high = high + 0.5;
    return s;
  }
  if (low == high) {
    const double d = low == 0 ? 1 : std::fabs(low) * 0.1;
    low -= d, high += d;
  }
  const double pad = a.integer && high - low <= 40 ? 0.5 : 0.04 * (high - low);
  s.low = low - pad;
  s.high = high + pad;
  double step = niceStep(s.high - s.low, target);
  if (a.integer) step = std::max(1.0, std::round(step));
  const double largest = std::max(std::fabs(s.low), std::fabs(s.high));
  // Ticks by their index, so that steps lost in rounding (huge values a little apart) cannot
  // stall the walk; an axis with too many ticks gets its two ends.
  const double first = std::ceil(s.low / step), last = std::floor(s.high / step + 1e-9);
  if (!(step > 0) || !(last - first < 50)) {
    s.ticks = {Tick{low, fmt::format("{:.6g}", low)}, Tick{high, fmt::format("{:.6g}", high)}};
    return s;
  }
  const int count = static_cast<int>(last - first);
  for (int k = 0; k <= count; ++k) {
    const double t = (first + k) * step;
    s.ticks.push_back(Tick{t, tickText(t, step, largest)});
  }
  return s;
}

// The data range of a plot's axes from its series and reference lines.
void dataRange(const Plot& p, bool xAxis, double* low, double* high) {
  *low = INFINITY, *high = -INFINITY;
  auto take = [&](double v) {
    if (std::isfinite(v)) *low = std::min(*low, v), *high = std::max(*high, v);
  };
  const Axis& a = xAxis ? p.x : p.y;
  for (const Tick& t : a.ticks) take(t.at);
  for (const Series& s : p.series) {
    for (double v : xAxis ? s.x : s.y) take(v);
    const bool fromBaseline =
        (s.kind == SeriesKind::kBars && xAxis) ||
        ((s.kind == SeriesKind::kNeedles || s.kind == SeriesKind::kHistogram) && !xAxis);
    if (fromBaseline && !(xAxis ? s.x : s.y).empty()) take(s.baseline);
    if (s.kind == SeriesKind::kBox && !xAxis) take(s.box.low), take(s.box.high);
  }
  for (const RefLine& r : p.refs)
    if (r.vertical == xAxis && !r.selected) take(r.at);
}

// ---- Layout ----
struct Margins {
  double left = 0, right = 0, top = 8, bottom = 0;
};

struct PlotBox {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the plot area
  double cellX = 0;                       // the left edge of its cell
  Scale sx, sy;
  bool xTicks = true, rotate = false;
  int every = 1;        // every n-th category tick is labelled
  double tickRoom = 0;  // the length a tick label standing on end may take
  double px(double x) const { return x0 + (x - sx.low) / (sx.high - sx.low) * (x1 - x0); }
  double py(double y) const { return y1 - (y - sy.low) / (sy.high - sy.low) * (y1 - y0); }
};

// The legend: one entry per distinct name.
struct LegendEntry {
  std::string name;
  const Series* series = nullptr;
  const RefLine* ref = nullptr;
};

std::vector<LegendEntry> legendOf(const Figure& f) {
  std::vector<LegendEntry> out;
  auto seen = [&](const std::string& n) {
    return std::any_of(out.begin(), out.end(), [&](const LegendEntry& e) { return e.name == n; });
  };
  for (const Plot& p : f.plots)
    for (const Series& s : p.series)
      if (s.legend && !s.name.empty() && !s.x.empty() && !seen(s.name))
        out.push_back({s.name, &s, nullptr});
  for (const Plot& p : f.plots)
    for (const RefLine& r : p.refs)
      if (r.legend && !r.name.empty() && !seen(r.name)) out.push_back({r.name, nullptr, &r});
  return out;
}

constexpr double kLegendSymbol = 30, kLegendGap = 20, kLegendLine = 20;

// Entries in lines that fit the width.
std::vector<std::vector<const LegendEntry*>> legendLines(const std::vector<LegendEntry>& legend,
                                                         double width) {
  std::vector<std::vector<const LegendEntry*>> lines;
  double used = 0;
  for (const LegendEntry& e : legend) {
    const double w = kLegendSymbol + 6 + textWidth(e.name, kLegendSize) + kLegendGap;
    if (lines.empty() || (used + w > width && !lines.back().empty())) {
      lines.emplace_back();
      used = 0;
    }
    lines.back().push_back(&e);
    used += w;
  }
  return lines;
}

class Writer {
 public:
  explicit Writer(Figure f) : f_(std::move(f)) {}
  std::string run();

 private:
  void layOut();
  void fitEdgeLabels(Plot& p, const PlotBox& b);
  void drawPlot(size_t i, const PlotBox& b);
  double insideWidth(double x, double width) const;
  void drawAxes(const Plot& p, const PlotBox& b);
  void drawSeries(const Series& s, const PlotBox& b, size_t every);
  void drawBox(const Series& s, const PlotBox& b);
  void drawBins(const Series& s, const PlotBox& b);
  void drawRef(const RefLine& r, const PlotBox& b);
  void drawEdgeLabels(const Plot& p, const PlotBox& b);
  void drawLegend(double top);
  void marker(std::string& d, Shape shape, double x, double y, double r);
  void symbol(const LegendEntry& e, double x, double y);

  Figure f_;  // its own copy: edge labels without room move to the legend
  std::string out_;
  std::vector<PlotBox> boxes_;
  std::vector<LegendEntry> legend_;
  double height_ = 0, legendTop_ = 0, titleHeight_ = 0;
};

Margins marginsOf(const Plot& p, const Scale& sy, double cellWidth) {
  Margins m;
  double ticks = 0;
  for (const Tick& t : sy.ticks) ticks = std::max(ticks, textWidth(t.text, kTickSize));
  m.left = std::min(ticks, 0.4 * cellWidth) + 10 + (p.y.label.empty() ? 0 : kLabelSize + 8);
  double edge = 0;
  for (const EdgeLabel& l : p.edgeLabels) edge = std::max(edge, textWidth(l.text, kTickSize));
  m.right = edge > 0 ? std::min(edge, 0.3 * cellWidth) + 14 : kPad + 6;
  return m;
}

constexpr double kEdgeGap = kTickSize + 1;  // between the centres of two edge labels

// The labels that fit the plot's height stay, the largest values first; the curves of the
// others are named in the legend.
void Writer::fitEdgeLabels(Plot& p, const PlotBox& b) {
  const size_t room = static_cast<size_t>(std::max(0.0, (b.y1 - b.y0) / kEdgeGap)) + 1;
  if (p.edgeLabels.size() <= room) return;
  std::vector<EdgeLabel> kept = p.edgeLabels;
  std::stable_sort(kept.begin(), kept.end(), [](const EdgeLabel& a, const EdgeLabel& c) {
    return std::fabs(a.y) > std::fabs(c.y);
  });
  for (size_t k = room; k < kept.size(); ++k)
    if (kept[k].series >= 0 && kept[k].series < static_cast<int>(p.series.size()))
      p.series[static_cast<size_t>(kept[k].series)].legend = true;
  kept.resize(room);
  p.edgeLabels = std::move(kept);
}

void Writer::layOut() {
  Figure& f = f_;
  const int columns = std::max(f.columns, 1);
  const size_t rows = (f.plots.size() + columns - 1) / columns;
  const double cellWidth = f.width / columns;
  titleHeight_ =
      (f.title.empty() ? kPad : 34) + (f.subtitle.empty() ? 0 : 18) + (f.byLine.empty() ? 0 : 18);
  boxes_.resize(f.plots.size());
  Margins common;
  for (size_t i = 0; i < f.plots.size(); ++i) {
    double lo, hi;
    dataRange(f.plots[i], true, &lo, &hi);
    boxes_[i].sx = scaleOf(f.plots[i].x, lo, hi, 6);
    dataRange(f.plots[i], false, &lo, &hi);
    boxes_[i].sy = scaleOf(f.plots[i].y, lo, hi, 5);
    const Margins m = marginsOf(f.plots[i], boxes_[i].sy, cellWidth);
    common.left = std::max(common.left, m.left);
    common.right = std::max(common.right, m.right);
  }
  // Every plot area of a row has the row's height; the tick labels below it add their own.
  double y = titleHeight_;
  for (size_t r = 0; r < rows; ++r) {
    const double plotHeight = columns == 1 ? f.cellHeight * f.plots[r].weight : f.cellHeight;
    double bottom = 14;
    for (size_t i = r * columns; i < std::min(f.plots.size(), (r + 1) * columns); ++i) {
      const Plot& p = f.plots[i];
      PlotBox& b = boxes_[i];
      b.cellX = static_cast<double>(i - r * columns) * cellWidth;
      b.x0 = b.cellX + common.left;
      b.x1 = b.cellX + cellWidth - common.right;
      b.xTicks = !f.sharedX || i + columns >= f.plots.size();
      // Category ticks stand on end when they do not fit side by side, and thin out when they
      // do not fit on end either. Texts the procedure cut already keep what it left.
      double longest = 0;
      for (const Tick& t : b.sx.ticks) longest = std::max(longest, textWidth(t.text, kTickSize));
      b.tickRoom = std::max(60.0, 0.4 * plotHeight);
      if (p.x.wholeTicks) b.tickRoom = std::max(b.tickRoom, longest);
      const double spacing = (b.x1 - b.x0) / std::max(1.0, b.sx.high - b.sx.low);
      if (p.x.categories && longest + 6 > spacing) {
        b.rotate = true;
        b.every = std::max(1, static_cast<int>(std::ceil((kTickSize + 3) / spacing)));
      }
      double need = 8;
      if (b.xTicks) {
        // Category ticks without texts (a box plot's one box) take no room.
        const bool texts = !p.x.categories || longest > 0;
        need += b.rotate ? std::min(longest, b.tickRoom) + 10 : texts ? kTickSize + 10 : 4;
        if (!p.x.label.empty()) need += kLabelSize + 8;
      }
      bottom = std::max(bottom, need);
    }
    for (size_t i = r * columns; i < std::min(f.plots.size(), (r + 1) * columns); ++i) {
      boxes_[i].y0 = y + common.top;
      boxes_[i].y1 = y + common.top + plotHeight;
      fitEdgeLabels(f.plots[i], boxes_[i]);
    }
    y += common.top + plotHeight + bottom;
  }
  legend_ = legendOf(f);
  legendTop_ = y + 6;
  const size_t lines = legendLines(legend_, f.width - 2 * kPad).size();
  height_ = legendTop_ + static_cast<double>(lines) * kLegendLine + kPad;
}

void Writer::marker(std::string& d, Shape shape, double x, double y, double r) {
  switch (shape) {
    case Shape::kSquare:
      d += fmt::format("M{} {}h{}v{}h{}Z", num(x - r), num(y - r), num(2 * r), num(2 * r),
                       num(-2 * r));
      break;
    case Shape::kTriangle:
      d += fmt::format("M{} {}L{} {}L{} {}Z", num(x), num(y - r * 1.2), num(x + r * 1.1),
                       num(y + r * 0.8), num(x - r * 1.1), num(y + r * 0.8));
      break;
    case Shape::kDiamond:
      d += fmt::format("M{} {}L{} {}L{} {}L{} {}Z", num(x), num(y - r * 1.3), num(x + r), num(y),
                       num(x), num(y + r * 1.3), num(x - r), num(y));
      break;
    case Shape::kCross:
      d += fmt::format("M{} {}L{} {}M{} {}L{} {}", num(x - r), num(y - r), num(x + r), num(y + r),
                       num(x - r), num(y + r), num(x + r), num(y - r));
      break;
    case Shape::kStar: {
      d += 'M';
      for (int k = 0; k < 10; ++k) {
        const double a = -M_PI / 2 + k * M_PI / 5, rr = k % 2 ? r * 0.5 : r * 1.3;
        d += fmt::format("{}{} {}", k ? "L" : "", num(x + rr * std::cos(a)),
                         num(y + rr * std::sin(a)));
      }
      d += 'Z';
      break;
    }
    default:
      d += fmt::format("M{} {}a{} {} 0 1 0 {} 0a{} {} 0 1 0 {} 0", num(x - r), num(y), num(r),
                       num(r), num(2 * r), num(r), num(r), num(-2 * r));
  }
}

// Where a text centred at x stands so that all of it is in the picture: a tick label at the
// plot's edge moves in rather than losing its last digits.
double Writer::insideWidth(double x, double width) const {
  const double half = width / 2 + 1;
  return half * 2 > f_.width ? x : std::clamp(x, half, f_.width - half);
}

void Writer::drawAxes(const Plot& p, const PlotBox& b) {
  out_ += fmt::format(
      "<rect class=\"frame\" x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"#fff\" "
      "stroke=\"#888\"/>\n",
      num(b.x0), num(b.y0), num(b.x1 - b.x0), num(b.y1 - b.y0));
  out_ += "<g class=\"axis y\">";
  for (size_t k = 0; k < b.sy.ticks.size(); ++k) {
    const Tick& t = b.sy.ticks[k];
    const double y = b.py(t.at);
    if (y < b.y0 - 0.5 || y > b.y1 + 0.5) continue;
    if (!p.y.categories)
      out_ += fmt::format("<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" stroke=\"#e6e6e6\"/>",
                          num(b.x0), num(b.x1), num(y), num(y));
    const double room = b.x0 - 10 - (p.y.label.empty() ? 0 : kLabelSize + 8);
    out_ += fmt::format(
        "<text x=\"{}\" y=\"{}\" font-size=\"{}\" text-anchor=\"end\" "
        "dominant-baseline=\"middle\">{}</text>",
        num(b.x0 - 7), num(y), kTickSize, escapeMarkup(fitted(t.text, room, kTickSize)));
  }
  if (!p.y.label.empty()) {
    const double x = b.cellX + 4 + kLabelSize;
    const double y = (b.y0 + b.y1) / 2;
    out_ += fmt::format(
        "<text class=\"label\" x=\"{}\" y=\"{}\" font-size=\"{}\" text-anchor=\"middle\" "
        "transform=\"rotate(-90 {} {})\">{}</text>",
        num(x), num(y), kLabelSize, num(x), num(y),
        escapeMarkup(fitted(p.y.label, b.y1 - b.y0, kLabelSize)));
  }
  out_ += "</g>\n<g class=\"axis x\">";
  for (size_t k = 0; k < b.sx.ticks.size(); ++k) {
    const Tick& t = b.sx.ticks[k];
    const double x = b.px(t.at);
    if (x < b.x0 - 0.5 || x > b.x1 + 0.5) continue;
    out_ += fmt::format("<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" stroke=\"#888\"/>", num(x),
                        num(x), num(b.y1), num(b.y1 + 4));
    if (!b.xTicks || static_cast<int>(k) % b.every != 0) continue;
    if (b.rotate)
      out_ += fmt::format(
          "<text x=\"{}\" y=\"{}\" font-size=\"{}\" text-anchor=\"end\" "
          "dominant-baseline=\"middle\" transform=\"rotate(-90 {} {})\">{}</text>",
          num(x), num(b.y1 + 7), kTickSize, num(x), num(b.y1 + 7),
          escapeMarkup(fitted(t.text, b.tickRoom, kTickSize)));
    else
      out_ +=
          fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"{}\" text-anchor=\"middle\">{}</text>",
                      num(insideWidth(x, textWidth(t.text, kTickSize))), num(b.y1 + 6 + kTickSize),
                      kTickSize, escapeMarkup(t.text));
  }
  if (b.xTicks && !p.x.label.empty()) {
    double longest = kTickSize;
    if (p.x.categories && std::all_of(b.sx.ticks.begin(), b.sx.ticks.end(),
                                      [](const Tick& t) { return t.text.empty(); }))
      longest = 0;
    if (b.rotate)
      for (const Tick& t : b.sx.ticks)
        longest = std::max(longest, std::min(textWidth(t.text, kTickSize), b.tickRoom));
    out_ += fmt::format(
        "<text class=\"label\" x=\"{}\" y=\"{}\" font-size=\"{}\" "
        "text-anchor=\"middle\">{}</text>",
        num((b.x0 + b.x1) / 2), num(b.y1 + 12 + longest + kLabelSize), kLabelSize,
        escapeMarkup(fitted(p.x.label, b.x1 - b.x0, kLabelSize)));
  }
  out_ += "</g>\n";
}

// A box from the quartiles with the median across, whiskers to their ends, the mean as a
// diamond and the outliers as points.
void Writer::drawBox(const Series& s, const PlotBox& b) {
  const BoxStats& x = s.box;
  if (!std::isfinite(x.median)) return;
  const Pen pen = penOf(s);
  const double at = b.px(s.x.empty() ? 0 : s.x.front());
  const double half = std::min(40.0, 0.2 * std::fabs(b.px(1) - b.px(0)));
  out_ += fmt::format(
      "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"{}\" fill-opacity=\"0.25\" "
      "stroke=\"{}\" stroke-width=\"1.4\"/>",
      num(at - half), num(b.py(x.q3)), num(2 * half), num(b.py(x.q1) - b.py(x.q3)), pen.colour,
      pen.colour);
  out_ += fmt::format(
      "<path d=\"M{} {}H{}M{} {}V{}M{} {}V{}M{} {}H{}M{} {}H{}\" stroke=\"{}\" "
      "stroke-width=\"1.4\" fill=\"none\"/>",
      num(at - half), num(b.py(x.median)), num(at + half), num(at), num(b.py(x.q3)),
      num(b.py(x.high)), num(at), num(b.py(x.q1)), num(b.py(x.low)), num(at - half / 2),
      num(b.py(x.high)), num(at + half / 2), num(at - half / 2), num(b.py(x.low)),
      num(at + half / 2), pen.colour);
  std::string d;
  marker(d, Shape::kDiamond, at, b.py(x.mean), 4);
  out_ += fmt::format("<path d=\"{}\" fill=\"#fff\" stroke=\"{}\"/>", d, pen.colour);
}

void Writer::drawBins(const Series& s, const PlotBox& b) {
  const Pen pen = penOf(s);
  for (size_t k = 0; k < s.y.size() && k + 1 < s.x.size(); ++k) {
    const double x0 = b.px(s.x[k]), x1 = b.px(s.x[k + 1]), y = b.py(s.y[k]);
    const double base = b.py(s.baseline);
    out_ += fmt::format(
        "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"{}\" fill-opacity=\"0.45\" "
        "stroke=\"{}\"/>",
        num(x0), num(std::min(y, base)), num(x1 - x0), num(std::fabs(base - y)), pen.colour,
        pen.colour);
  }
}

// A line's markers stand at every `every`-th point (none when 0); other kinds mark each point.
void Writer::drawSeries(const Series& s, const PlotBox& b, size_t every) {
  const Pen pen = penOf(s);
  const Shape shape = s.emphasis ? Shape::kStar : pen.shape;
  out_ += fmt::format(
      "<g class=\"series\" data-name=\"{}\" data-role=\"{}\" data-colour=\"{}\" "
      "data-dash=\"{}\" data-marker=\"{}\" data-x=\"{}\" data-y=\"{}\"",
      escapeMarkup(s.name), escapeMarkup(s.role), pen.colour, *pen.dash ? pen.dash : "solid",
      shapeName(shape), values(s.x), values(s.y));
  if (s.kind == SeriesKind::kBox) {
    const BoxStats& x = s.box;
    out_ += fmt::format(" data-box=\"{}\">", values({x.q1, x.median, x.q3, x.low, x.high, x.mean}));
    drawBox(s, b);
  } else if (s.kind == SeriesKind::kHistogram) {
    out_ += ">";
    drawBins(s, b);
    out_ += "</g>\n";
    return;
  } else {
    out_ += ">";
  }
  std::string line, marks;
  const double r = s.emphasis ? 6.5 : 3.2;
  const size_t n = std::min(s.x.size(), s.y.size());
  for (size_t k = 0; k < n; ++k) {
    const double x = b.px(s.x[k]), y = b.py(s.y[k]);
    switch (s.kind) {
      case SeriesKind::kLine:
        line += fmt::format("{}{} {}", k ? "L" : "M", num(x), num(y));
        break;
      case SeriesKind::kNeedles:
        line += fmt::format("M{} {}V{}", num(x), num(b.py(s.baseline)), num(y));
        break;
      case SeriesKind::kBars: {
        const double h = std::min(22.0, 0.6 * std::fabs(b.py(0) - b.py(1)));
        const double x0 = b.px(s.baseline);
        out_ += fmt::format(
            "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"{}\" "
            "fill-opacity=\"{}\" stroke=\"{}\"/>",
            num(std::min(x0, x)), num(y - h / 2), num(std::fabs(x - x0)), num(h), pen.colour,
            s.emphasis ? "0.9" : "0.45", pen.colour);
        break;
      }
      default:
        break;
    }
    if (s.kind == SeriesKind::kMarkers || s.kind == SeriesKind::kNeedles ||
        s.kind == SeriesKind::kBox || (every > 0 && k % every == 0))
      marker(marks, shape, x, y, r);
  }
  if (!line.empty())
    out_ += fmt::format(
        "<path d=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"1.6\"{}/>", line, pen.colour,
        *pen.dash && s.kind == SeriesKind::kLine ? fmt::format(" stroke-dasharray=\"{}\"", pen.dash)
                                                 : std::string());
  if (!marks.empty())
    out_ += fmt::format("<path d=\"{}\" fill=\"{}\" stroke=\"{}\" stroke-width=\"1.2\"/>", marks,
                        s.emphasis ? pen.colour : "#fff", s.emphasis ? "#222" : pen.colour);
  out_ += "</g>\n";
}

void Writer::drawRef(const RefLine& r, const PlotBox& b) {
  const double v = r.vertical ? b.px(r.at) : b.py(r.at);
  out_ += fmt::format("<g class=\"ref\" data-name=\"{}\" data-axis=\"{}\" data-at=\"{}\">",
                      escapeMarkup(r.name), r.vertical ? "x" : "y", fmt::format("{}", r.at));
  out_ += fmt::format("<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" ", num(r.vertical ? v : b.x0),
                      num(r.vertical ? v : b.x1), num(r.vertical ? b.y0 : v),
                      num(r.vertical ? b.y1 : v));
  out_ += r.selected ? "stroke=\"#333\" stroke-width=\"1.5\" stroke-dasharray=\"5 4\"/>"
                     : "stroke=\"#aaa\" stroke-width=\"1\"/>";
  out_ += "</g>\n";
}

// Labels beside the curves' ends, moved apart where they would overlap.
void Writer::drawEdgeLabels(const Plot& p, const PlotBox& b) {
  if (p.edgeLabels.empty()) return;
  std::vector<std::pair<double, const EdgeLabel*>> at;
  for (const EdgeLabel& l : p.edgeLabels) at.emplace_back(b.py(l.y), &l);
  std::sort(at.begin(), at.end(), [](const auto& a, const auto& c) { return a.first < c.first; });
  const double gap = kEdgeGap;
  for (size_t k = 1; k < at.size(); ++k) at[k].first = std::max(at[k].first, at[k - 1].first + gap);
  double over = at.back().first - (b.y1 - 4);
  for (size_t k = at.size(); k-- > 0 && over > 0;) {
    at[k].first -= over;
    over = k > 0 ? at[k - 1].first + gap - at[k].first : 0;
  }
  const double room = f_.width - b.x1 - 8;
  out_ += "<g class=\"edge-labels\">";
  for (const auto& [y, l] : at)
    out_ += fmt::format(
        "<text data-name=\"{}\" data-y=\"{}\" x=\"{}\" y=\"{}\" font-size=\"{}\" fill=\"{}\" "
        "dominant-baseline=\"middle\">{}</text>",
        escapeMarkup(l->text), fmt::format("{}", l->y), num(b.x1 + 5), num(y), kTickSize,
        penOf(l->pen).colour, escapeMarkup(fitted(l->text, room, kTickSize)));
  out_ += "</g>\n";
}

void Writer::drawPlot(size_t i, const PlotBox& b) {
  const Plot& p = f_.plots[i];
  out_ +=
      fmt::format("<g class=\"plot\" data-plot=\"{}\" data-x-label=\"{}\" data-y-label=\"{}\">\n",
                  i, escapeMarkup(p.x.label), escapeMarkup(p.y.label));
  drawAxes(p, b);
  out_ += fmt::format(
      "<clipPath id=\"c{}-{}\"><rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\"/></clipPath>\n",
      f_.id, i, num(b.x0 - 8), num(b.y0 - 8), num(b.x1 - b.x0 + 16), num(b.y1 - b.y0 + 16));
  out_ += fmt::format("<g clip-path=\"url(#c{}-{})\">\n", f_.id, i);
  size_t points = 0;
  for (const Series& s : p.series) points += s.x.size();
  for (const RefLine& r : p.refs)
    if (!r.selected) drawRef(r, b);
  for (const Series& s : p.series) {
    if (s.emphasis) continue;
    size_t every = 0;
    if (s.kind == SeriesKind::kLine && s.x.size() <= kMarkedPoints && points <= 3000)
      every = 1;
    else if (s.kind == SeriesKind::kLine && s.variant >= 0)
      every = (s.x.size() + kVariantMarks - 1) / kVariantMarks;
    drawSeries(s, b, every);
  }
  for (const RefLine& r : p.refs)
    if (r.selected) drawRef(r, b);
  for (const Series& s : p.series)
    if (s.emphasis) drawSeries(s, b, 1);
  out_ += "</g>\n";
  drawEdgeLabels(p, b);
  out_ += "</g>\n";
}

void Writer::symbol(const LegendEntry& e, double x, double y) {
  if (e.ref) {
    out_ += fmt::format(
        "<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" {}/>", num(x), num(x + 24), num(y), num(y),
        e.ref->selected ? "stroke=\"#333\" stroke-width=\"1.5\" stroke-dasharray=\"5 4\""
                        : "stroke=\"#aaa\"");
    return;
  }
  const Series& s = *e.series;
  const Pen pen = penOf(s);
  if (s.kind == SeriesKind::kBars) {
    out_ += fmt::format(
        "<rect x=\"{}\" y=\"{}\" width=\"22\" height=\"10\" fill=\"{}\" fill-opacity=\"{}\" "
        "stroke=\"{}\"/>",
        num(x + 1), num(y - 5), pen.colour, s.emphasis ? "0.9" : "0.45", pen.colour);
    return;
  }
  if (s.kind == SeriesKind::kLine && !s.emphasis)
    out_ += fmt::format(
        "<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" stroke=\"{}\" "
        "stroke-width=\"1.6\"{}/>",
        num(x), num(x + 24), num(y), num(y), pen.colour,
        *pen.dash ? fmt::format(" stroke-dasharray=\"{}\"", pen.dash) : "");
  std::string d;
  marker(d, s.emphasis ? Shape::kStar : pen.shape, x + 12, y, s.emphasis ? 6 : 3.2);
  out_ += fmt::format("<path d=\"{}\" fill=\"{}\" stroke=\"{}\"/>", d,
                      s.emphasis ? pen.colour : "#fff", s.emphasis ? "#222" : pen.colour);
}

void Writer::drawLegend(double top) {
  if (legend_.empty()) return;
  out_ += "<g class=\"legend\">";
  double y = top + kLegendLine / 2;
  for (const auto& line : legendLines(legend_, f_.width - 2 * kPad)) {
    double width = 0;
    for (const LegendEntry* e : line)
      width += kLegendSymbol + 6 + textWidth(e->name, kLegendSize) + kLegendGap;
    double x = std::max(kPad, (f_.width - width + kLegendGap) / 2);
    for (const LegendEntry* e : line) {
      out_ += fmt::format("<g class=\"entry\" data-name=\"{}\">", escapeMarkup(e->name));
      symbol(*e, x, y);
      out_ += fmt::format(
          "<text x=\"{}\" y=\"{}\" font-size=\"{}\" dominant-baseline=\"middle\">{}</text></g>",
          num(x + kLegendSymbol + 6), num(y), kLegendSize,
          escapeMarkup(fitted(e->name, f_.width - x - kLegendSymbol - 2 * kPad, kLegendSize)));
      x += kLegendSymbol + 6 + textWidth(e->name, kLegendSize) + kLegendGap;
    }
    y += kLegendLine;
  }
  out_ += "</g>\n";
}

std::string Writer::run() {
  layOut();
  out_ += fmt::format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"graph\" data-graph=\"{}\" "
      "viewBox=\"0 0 {} {}\" width=\"{}\" height=\"{}\" font-family=\"{}\" role=\"img\" "
      "aria-label=\"{}\">\n<title>{}</title>\n"
      "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n",
      escapeMarkup(f_.name), num(f_.width), num(height_), num(f_.width), num(height_), kFont,
      escapeMarkup(f_.label.empty() ? f_.title : f_.label),
      escapeMarkup(f_.byLine.empty() ? f_.title : f_.title + " (" + f_.byLine + ")"));
  if (!f_.title.empty())
    out_ += fmt::format(
        "<text class=\"title\" x=\"{}\" y=\"22\" font-size=\"{}\" font-weight=\"bold\" "
        "text-anchor=\"middle\">{}</text>\n",
        num(f_.width / 2), kTitleSize,
        escapeMarkup(fitted(f_.title, f_.width - 2 * kPad, kTitleSize)));
  if (!f_.subtitle.empty())
    out_ += fmt::format(
        "<text class=\"subtitle\" x=\"{}\" y=\"{}\" font-size=\"{}\" "
        "text-anchor=\"middle\">{}</text>\n",
        num(f_.width / 2), f_.title.empty() ? 22 : 42, kLabelSize,
        escapeMarkup(fitted(f_.subtitle, f_.width - 2 * kPad, kLabelSize)));
  // The BY line under the titles, as a table's BY line heads its group.
  if (!f_.byLine.empty())
    out_ += fmt::format(
        "<text class=\"byline\" x=\"{}\" y=\"{}\" font-size=\"{}\" "
        "text-anchor=\"middle\">{}</text>\n",
        num(f_.width / 2), (f_.title.empty() ? 4 : 24) + (f_.subtitle.empty() ? 18 : 36),
        kLabelSize, escapeMarkup(fitted(f_.byLine, f_.width - 2 * kPad, kLabelSize)));
  for (size_t i = 0; i < boxes_.size(); ++i) drawPlot(i, boxes_[i]);
  drawLegend(legendTop_);
  out_ += "</svg>\n";
  return out_;
}

}  // namespace

std::string svgText(const Figure& f) { return Writer(f).run(); }

}  // namespace vsf::host::output
