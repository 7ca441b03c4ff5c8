// The drawings of model averaging: the effects' selection percentages as bars in the order of
// their table, and the distribution of each parameter's estimate over the averaged samples as
// a box plot or a histogram, in panels or one to a graph.
#include <fmt/format.h>

#include <algorithm>

#include "host/output/drawing_internal.h"

namespace vsf::host::output {

namespace {

// The title the procedure composed (with the response's name), else the graph's own.
void useTitle(const Graph& g, Figure* f) {
  const std::string title = variableText(g.variables, "_TITLE");
  if (!title.empty()) f->title = title;
}

// One parameter of a distribution graph: its Coeffs column, label and nonzero count.
struct Cellvar {
  std::string column, label;
  double nonzero;
};

std::vector<Cellvar> cellsOf(const Graph& g, bool panel) {
  std::vector<Cellvar> out;
  if (!panel) {
    const Dynamics& v = g.variables;
    out.push_back({variableText(v, "_INDEPVAR"), variableText(v, "_INDEPLABEL"),
                   variableNumber(v, "_NNONZERO", NAN)});
    return out;
  }
  const Dynamics* list = listWith(g, "_XVAR1", true);
  for (int n = 1; list; ++n) {
    const std::string column = variableText(*list, fmt::format("_XVAR{}", n));
    if (column.empty()) break;
    out.push_back({column, variableText(*list, fmt::format("_XLABEL{}", n)),
                   variableNumber(*list, fmt::format("_NNONZERO{}", n), NAN)});
  }
  return out;
}

Plot distributionPlot(const Rows& rows, const Cellvar& c, bool histogram) {
  const std::vector<double> values = rows.numbers(rows.column(c.column));
  Plot p;
  p.x.label =
      std::isfinite(c.nonzero) ? fmt::format("{} ({:g} nonzero)", c.label, c.nonzero) : c.label;
  Series s;
  s.name = c.label;
  s.legend = false;
  if (histogram) {
    const Histogram h = histogramOf(values);
    s.role = "histogram";
    s.kind = SeriesKind::kHistogram;
    s.x = h.edges;
    for (double count : h.counts) s.y.push_back(100.0 * count / static_cast<double>(values.size()));
    p.y.label = "Percent";
  } else {
    s.role = "box";
    s.kind = SeriesKind::kBox;
    s.box = boxStats(values);
    s.y = boxOutliers(values, s.box);
    s.x.assign(s.y.size(), 0.0);
    p.x.categories = true;
    p.x.ticks.push_back(Tick{0, ""});
    p.y.label = "Estimate";
  }
  p.series.push_back(std::move(s));
  return p;
}

}  // namespace

Figure effectSelectPlot(const Graph& g) {
  Figure f = figureOf(g);
  useTitle(g, &f);
  const Rows rows = firstRows(g);
  const size_t n = rows.size();
  const int effect = rows.column("Effect"), pct = rows.column("SelectionPct");
  Plot p;
  p.x.label = "Selection Percentage";
  p.y.label = "Effect";
  p.y.categories = true;
  // The table's first row on top.
  Series s{"Selection Percentage", "selection", SeriesKind::kBars, {}, {}, 0, false, false, 0, {}};
  for (size_t k = 0; k < n; ++k) {
    const double at = static_cast<double>(n - 1 - k);
    p.y.ticks.push_back(Tick{at, rows.text(k, effect)});
    if (double x = rows.number(k, pct); std::isfinite(x)) s.x.push_back(x), s.y.push_back(at);
  }
  p.series.push_back(std::move(s));
  p.refs.push_back(RefLine{"", true, 100, false, false});  // the scale ends at every sample
  f.cellHeight = std::max(160.0, 20.0 + 26.0 * static_cast<double>(n));
  f.plots.push_back(std::move(p));
  return f;
}

Figure parameterDistributions(const Graph& g, bool panel, bool histogram) {
  Figure f = figureOf(g);
  useTitle(g, &f);
  const Dynamics& v = g.variables;
  const double samples = variableNumber(v, "_NSAMPLESUSED", NAN);
  if (std::isfinite(samples))
    f.subtitle = fmt::format("Estimates of {:g} averaged samples", samples);
  if (panel) {
    const std::string number = variableText(v, "_PANELNUMBER");
    if (!f.subtitle.empty() && !number.empty()) f.subtitle += ", panel " + number;
    f.columns = std::max(1, static_cast<int>(variableNumber(v, "_NCOLUMNS", 1)));
    const double rows = std::max(1.0, variableNumber(v, "_NROWS", 1));
    f.cellHeight = std::max(140.0, variableNumber(v, "_HEIGHT", 480) / rows);
  }
  const Rows rows = firstRows(g);
  for (const Cellvar& c : cellsOf(g, panel))
    f.plots.push_back(distributionPlot(rows, c, histogram));
  return f;
}

}  // namespace vsf::host::output
