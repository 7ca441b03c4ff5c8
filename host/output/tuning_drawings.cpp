// The drawings of a tuned penalty: a column of the elastic net's tuning table against the
// search step or log10(L2), and the folds' averaged held-out ASE over the alignment grid of
// external cross validation; the chosen value marked by a vertical line.
#include <algorithm>
#include <utility>

#include "host/output/drawing_internal.h"

namespace vsf::host::output {

namespace {

// The y column against the column the step-axis list names, in the order of x (a golden
// section search tries its values out of order).
Plot columnPlot(const Graph& g, const std::string& refName) {
  const Rows rows = firstRows(g);
  const Dynamics* axis = listWith(g, "_STEPAXIS", true);
  const std::string xName = axis ? variableText(*axis, "_STEPAXIS") : "Step";
  Plot p;
  p.x.label = axis ? variableText(*axis, "_STEPAXISLABEL") : xName;
  p.x.integer = equalNoCase(xName, "STEP");
  p.y.label = variableText(g.variables, "_YLABEL");
  const int x = rows.column(xName), y = rows.column(variableText(g.variables, "_CRITERION"));
  std::vector<std::pair<double, double>> points;
  for (size_t k = 0; k < rows.size(); ++k) {
    const double a = rows.number(k, x), b = rows.number(k, y);
    if (std::isfinite(a) && std::isfinite(b)) points.emplace_back(a, b);
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const auto& l, const auto& r) { return l.first < r.first; });
  Series s;
  s.name = variableText(g.variables, "_SHORTYLABEL");
  s.role = "tuning";
  s.legend = false;
  for (const auto& [a, b] : points) s.x.push_back(a), s.y.push_back(b);
  p.series.push_back(std::move(s));
  const Cell* chosen = axis ? findDynamic(*axis, "_CHOSENVALUE") : nullptr;
  if (chosen && (chosen->kind == Cell::Kind::kInt || chosen->kind == Cell::Kind::kDouble)) {
    const double at = chosen->kind == Cell::Kind::kInt ? static_cast<double>(chosen->i) : chosen->d;
    if (std::isfinite(at)) p.refs.push_back(RefLine{refName, true, at, true, true});
  }
  return p;
}

}  // namespace

// The chosen line names what it marks on both axes (the search step and log10(L2)).
Figure tuningPlot(const Graph& g) {
  Figure f = figureOf(g);
  f.subtitle = "Elastic Net L2 Search";
  f.plots.push_back(columnPlot(g, "Chosen L2"));
  return f;
}

// The smallest average is starred where the fit chose it.
Figure cvExternalPlot(const Graph& g) {
  Figure f = figureOf(g);
  f.subtitle = "External Cross Validation, Averaged over the Folds";
  Plot p = columnPlot(g, "Chosen Penalty");
  const Series& line = p.series.front();
  if (!p.refs.empty())
    for (size_t k = 0; k < line.x.size(); ++k)
      if (line.x[k] == p.refs.front().at) {
        p.series.push_back(Series{"Smallest Average ASE",
                                  "optimum",
                                  SeriesKind::kMarkers,
                                  {line.x[k]},
                                  {line.y[k]},
                                  1,
                                  true,
                                  true,
                                  0,
                                  {}});
        break;
      }
  f.plots.push_back(std::move(p));
  return f;
}

}  // namespace vsf::host::output
