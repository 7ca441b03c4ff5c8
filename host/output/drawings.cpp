// The drawings of the graph templates: each turns a graph's data objects and dynamic variables
// into a figure of the plot model. The step graphs share the step axis (step numbers, step
// labels or the coefficient norm) and the chosen step's line.
#include <fmt/format.h>

#include <cmath>
#include <map>

#include "host/output/drawing_internal.h"

namespace vsf::host::output {

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

int Rows::column(std::string_view name) const {
  if (!d_ || name.empty()) return -1;
  const auto& c = d_->table->columns;
  for (size_t i = 0; i < c.size(); ++i)
    if (equalNoCase(c[i].name, name)) return static_cast<int>(i);
  return -1;
}

double Rows::number(size_t k, int col) const {
  if (col < 0) return NAN;
  const Cell& c = d_->table->rows[d_->rows[k]][col];
  if (c.kind == Cell::Kind::kInt) return static_cast<double>(c.i);
  if (c.kind == Cell::Kind::kDouble && std::isfinite(c.d)) return c.d;
  return NAN;
}

std::string Rows::text(size_t k, int col) const {
  if (col < 0) return "";
  return trimmed(d_->table->rows[d_->rows[k]][col].plain());
}

std::vector<double> Rows::numbers(int col) const {
  std::vector<double> out;
  for (size_t k = 0; k < size(); ++k)
    if (double v = number(k, col); std::isfinite(v)) out.push_back(v);
  return out;
}

std::string variableText(const Dynamics& d, std::string_view name) {
  const Cell* c = findDynamic(d, name);
  return c ? c->plain() : std::string();
}

double variableNumber(const Dynamics& d, std::string_view name, double otherwise) {
  const Cell* c = findDynamic(d, name);
  if (!c || c->kind == Cell::Kind::kNull || c->kind == Cell::Kind::kText) return otherwise;
  return c->kind == Cell::Kind::kInt ? static_cast<double>(c->i) : c->d;
}

const Dynamics* listWith(const Graph& g, std::string_view name, bool with) {
  for (const Dynamics& l : g.lists)
    if ((findDynamic(l, name) != nullptr) == with) return &l;
  return nullptr;
}

Figure figureOf(const Graph& g) {
  Figure f;
  f.id = g.id;
  f.name = g.name;
  const std::string dep = variableText(g.variables, "_DEPNAME");
  const std::string title = g.title.empty() ? g.name : g.title;
  f.title = dep.empty() ? title : title + " for " + dep;
  f.label = g.label;
  return f;
}

namespace {

constexpr double kNaN = NAN;

// ---- The step axis ----
enum class AxisKind { kStep, kStepLabel, kNormBeta };

struct StepAxis {
  AxisKind kind = AxisKind::kStep;
  std::string label;
  const Cell* chosen = nullptr;
  int step = -1, stepLabel = -1, normBeta = -1;  // the columns of the rows it reads

  double x(const Rows& r, size_t k) const {
    return r.number(k, kind == AxisKind::kNormBeta ? normBeta : step);
  }
};

StepAxis stepAxisOf(const Graph& g, const Rows& rows) {
  StepAxis a;
  if (const Dynamics* l = listWith(g, "_STEPAXIS", true)) {
    const std::string kind = lowerCopy(variableText(*l, "_STEPAXIS"));
    a.kind = kind == "steplabel"  ? AxisKind::kStepLabel
             : kind == "normbeta" ? AxisKind::kNormBeta
                                  : AxisKind::kStep;
    a.label = variableText(*l, "_STEPAXISLABEL");
    a.chosen = findDynamic(*l, "_CHOSENVALUE");
  }
  a.step = rows.column("Step");
  a.stepLabel = rows.column("StepLabel");
  a.normBeta = rows.column("NormBeta");
  if (a.kind == AxisKind::kStepLabel && a.stepLabel < 0) a.kind = AxisKind::kStep;
  if (a.kind == AxisKind::kNormBeta && a.normBeta < 0) a.kind = AxisKind::kStep;
  return a;
}

// The axis of the plot: step labels name the steps they stand at.
Axis xAxisOf(const StepAxis& a, const Rows& rows) {
  Axis x;
  x.label = a.label;
  x.integer = a.kind != AxisKind::kNormBeta;
  if (a.kind != AxisKind::kStepLabel) return x;
  x.categories = true;
  x.wholeTicks = true;  // cut to MAXSTEPLABEL= by the procedure, which the log says
  std::map<double, std::string> labels;
  for (size_t k = 0; k < rows.size(); ++k)
    if (double s = rows.number(k, a.step); std::isfinite(s)) labels[s] = rows.text(k, a.stepLabel);
  for (const auto& [at, text] : labels) x.ticks.push_back(Tick{at, text});
  return x;
}

// Where a value of the axis (a step, a step label, a norm) stands; NaN when nowhere.
double stepPosition(const StepAxis& a, const Axis& x, const Cell& v) {
  if (a.kind == AxisKind::kStepLabel && v.kind == Cell::Kind::kText) {
    const std::string t = trimmed(v.s);
    for (const Tick& tick : x.ticks)
      if (tick.text == t) return tick.at;
    return kNaN;
  }
  if (v.kind == Cell::Kind::kInt) return static_cast<double>(v.i);
  if (v.kind == Cell::Kind::kDouble && std::isfinite(v.d)) return v.d;
  return kNaN;
}

void addChosenStep(Plot& p, const StepAxis& a, const std::string& name) {
  if (!a.chosen) return;
  const double at = stepPosition(a, p.x, *a.chosen);
  if (std::isfinite(at)) p.refs.push_back(RefLine{name, true, at, true, true});
}

// A line over the steps: one point per step (the last row with a value of a step that has
// several), the rows without a value left out.
Series stepSeries(const Rows& rows, const StepAxis& a, int column, const std::string& name,
                  const std::string& role, int pen) {
  Series s;
  s.name = name;
  s.role = role;
  s.pen = pen;
  for (size_t k = 0; k < rows.size(); ++k) {
    const double x = a.x(rows, k), y = rows.number(k, column);
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    if (!s.x.empty() && s.x.back() == x) s.x.pop_back(), s.y.pop_back();
    s.x.push_back(x), s.y.push_back(y);
  }
  return s;
}

// ---- Criterion plots ----
struct CriterionCell {
  std::string column, optStep, optVal, yLabel;
};

Plot criterionPlot(const Graph& g, const CriterionCell& c, const std::string& selected) {
  const Rows summary(g.data.size() > 0 ? &g.data[0] : nullptr);
  const Rows best(g.data.size() > 1 ? &g.data[1] : nullptr);
  const StepAxis a = stepAxisOf(g, summary);
  Plot p;
  p.x = xAxisOf(a, summary);
  p.y.label = c.yLabel;
  Series line = stepSeries(summary, a, summary.column(c.column), c.yLabel, "criterion", 0);
  line.legend = false;
  p.series.push_back(std::move(line));
  addChosenStep(p, a, selected);
  const int optStep = best.column(c.optStep), optVal = best.column(c.optVal);
  if (best.size() > 0 && optStep >= 0 && optVal >= 0) {
    const Cell& at = g.data[1].table->rows[g.data[1].rows[0]][optStep];
    const double x = stepPosition(a, p.x, at), y = best.number(0, optVal);
    std::string name = best.text(0, best.column("OptLabel"));
    if (std::isfinite(x) && std::isfinite(y))
      p.series.push_back(Series{name.empty() ? "Optimal Value" : name,
                                "optimum",
                                SeriesKind::kMarkers,
                                {x},
                                {y},
                                1,
                                true,
                                true,
                                0,
                                {}});
  }
  return p;
}

Figure criterionPanel(const Graph& g) {
  Figure f = figureOf(g);
  f.columns = static_cast<int>(variableNumber(g.variables, "_NCOLS", 2));
  f.sharedX = true;
  f.cellHeight = 210;
  const std::string selected = variableText(g.variables, "_SELECTEDSTEPLABEL");
  const Dynamics* cells = listWith(g, "_STEPAXIS", false);
  for (int n = 1; cells; ++n) {
    const std::string column = variableText(*cells, fmt::format("_CRITERION{}", n));
    if (column.empty()) break;
    CriterionCell c{column, variableText(*cells, fmt::format("_OPTSTEP{}", n)),
                    variableText(*cells, fmt::format("_OPTVAL{}", n)),
                    variableText(*cells, fmt::format("_LABEL{}", n))};
    f.plots.push_back(criterionPlot(g, c, selected));
  }
  return f;
}

Figure criterionSingle(const Graph& g) {
  Figure f = figureOf(g);
  const Dynamics& v = g.variables;
  CriterionCell c{variableText(v, "_CRITERION"), variableText(v, "_OPTSTEP"),
                  variableText(v, "_OPTVAL"), variableText(v, "_YLABEL")};
  f.plots.push_back(criterionPlot(g, c, variableText(v, "_SELECTEDSTEPLABEL")));
  return f;
}

// ---- ASE plot ----
Figure asePlot(const Graph& g) {
  Figure f = figureOf(g);
  const Rows rows(g.data.empty() ? nullptr : &g.data[0]);
  const StepAxis a = stepAxisOf(g, rows);
  Plot p;
  p.x = xAxisOf(a, rows);
  p.y.label = "Average Squared Error";
  p.series.push_back(stepSeries(rows, a, rows.column("ASE"), "Training", "ase", 0));
  if (variableNumber(g.variables, "_ASEROLES", 0) != 0) {
    if (int c = rows.column("ValidationASE"); c >= 0)
      p.series.push_back(stepSeries(rows, a, c, "Validation", "ase", 1));
    if (int c = rows.column("TestASE"); c >= 0)
      p.series.push_back(stepSeries(rows, a, c, "Test", "ase", 2));
  }
  addChosenStep(p, a, "Selected Step");
  f.plots.push_back(std::move(p));
  return f;
}

// ---- Coefficient plots ----
// A curve whose end stands clear of zero but that has no label at the right edge (its end lay
// within the label gap of another's) is named in the legend instead.
void nameUnlabelledCurves(Plot& p) {
  double low = INFINITY, high = -INFINITY;
  for (const Series& s : p.series)
    if (!s.y.empty()) low = std::min(low, s.y.back()), high = std::max(high, s.y.back());
  if (!(low <= high)) return;
  std::vector<bool> labelled(p.series.size(), false);
  for (const EdgeLabel& l : p.edgeLabels)
    if (l.series >= 0) labelled[static_cast<size_t>(l.series)] = true;
  for (size_t k = 0; k < p.series.size(); ++k) {
    Series& s = p.series[k];
    if (!labelled[k] && !s.y.empty() && std::fabs(s.y.back()) > (high - low) / 100) s.legend = true;
  }
}

Plot coefficientPlot(const Rows& rows, const StepAxis& a) {
  Plot p;
  p.x = xAxisOf(a, rows);
  p.y.label = "Standardized Coefficient";
  p.weight = 1.2;
  const int curve = rows.column("CurveNumber"), index = rows.column("CurveIndex");
  const int parameter = rows.column("Parameter"), estimate = rows.column("StandardizedEst");
  const int edge = rows.column("RhsLabelYValue");
  std::map<int, size_t> series;  // curve number -> its series
  std::map<int, int> perEffect;  // the parameters of each effect, by its pen
  for (size_t k = 0; k < rows.size(); ++k) {
    const double number = rows.number(k, curve), x = a.x(rows, k), y = rows.number(k, estimate);
    if (!std::isfinite(number) || !std::isfinite(x) || !std::isfinite(y)) continue;
    const int n = static_cast<int>(number);
    auto [it, added] = series.emplace(n, p.series.size());
    if (added) {
      const double effect = rows.number(k, index);
      Series s;
      s.name = parameter >= 0 ? rows.text(k, parameter) : fmt::format("Parameter {}", n);
      s.role = "coefficient";
      s.pen = std::isfinite(effect) && effect > 0 ? static_cast<int>(effect) - 1 : n - 1;
      s.variant = perEffect[s.pen]++;
      s.legend = false;
      p.series.push_back(std::move(s));
    }
    Series& s = p.series[it->second];
    s.x.push_back(x);
    s.y.push_back(y);
    const double label = rows.number(k, edge);
    if (std::isfinite(label))
      p.edgeLabels.push_back(EdgeLabel{s.name, label, s.pen, static_cast<int>(it->second)});
  }
  // The parameters of one effect share its colour; the legend keys each one's marker and dash
  // to its name, which holds its level.
  for (Series& s : p.series) {
    if (perEffect[s.pen] > 1)
      s.legend = true;
    else
      s.variant = -1;
  }
  nameUnlabelledCurves(p);
  p.refs.push_back(RefLine{"", false, 0, false, false});
  return p;
}

Plot secondPlot(const Graph& g, const Rows& rows, const StepAxis& a) {
  const Dynamics& v = g.variables;
  Plot p;
  p.x = xAxisOf(a, rows);
  p.weight = 0.6;
  if (variableNumber(v, "_SHOWPVAL", 0) != 0 ||
      lowerCopy(g.templatePath).ends_with(".pvalueplot")) {
    p.y.label = variableText(v, "_PVALLABEL");
    const double baseline = variableNumber(v, "_BASELINE", 0);
    for (const auto& [var, name, pen] :
         {std::tuple{"_PVALADDVAR", "Entry", 0}, std::tuple{"_PVALDROPVAR", "Removal", 1}}) {
      Series s = stepSeries(rows, a, rows.column(variableText(v, var)), name, "pvalue", pen);
      s.kind = SeriesKind::kNeedles;
      s.baseline = baseline;
      p.series.push_back(std::move(s));
    }
  } else {
    const int column = rows.column(variableText(v, "_CRITERION"));
    const Column* c = rows.columnOf(column);
    std::string label = variableText(v, "_CRITERIONLABEL");
    if (label.empty()) label = c && !c->label.empty() ? c->label : variableText(v, "_CRITERION");
    p.y.label = label;
    Series s = stepSeries(rows, a, column, label, "criterion", 0);
    s.legend = false;
    p.series.push_back(std::move(s));
  }
  return p;
}

Figure coefficientFigure(const Graph& g, bool coefficients, bool second) {
  Figure f = figureOf(g);
  const Rows rows(g.data.empty() ? nullptr : &g.data[0]);
  const StepAxis a = stepAxisOf(g, rows);
  f.sharedX = true;
  f.cellHeight = coefficients && second ? 340 : 400;
  if (coefficients) f.plots.push_back(coefficientPlot(rows, a));
  if (second) f.plots.push_back(secondPlot(g, rows, a));
  for (Plot& p : f.plots) {
    if (!second || !coefficients) p.weight = 1;
    addChosenStep(p, a, "Selected Step");
  }
  return f;
}

// ---- Candidates plot ----
Figure candidatesPlot(const Graph& g) {
  const Dynamics& v = g.variables;
  Figure f = figureOf(g);
  f.subtitle = g.label;
  const Rows rows(g.data.empty() ? nullptr : &g.data[0]);
  const size_t n = rows.size();
  Plot p;
  p.x.label = variableText(v, "_CRITERIONLABEL");
  p.y.label = "Effect";
  p.y.categories = true;
  const int effect = rows.column("Effect");
  for (size_t k = 0; k < n; ++k)
    p.y.ticks.push_back(Tick{static_cast<double>(n - 1 - k), rows.text(k, effect)});
  const double baseline = variableNumber(v, "_BASELINE", 0);
  const bool both = variableNumber(v, "_ADDANDDROP", 0) != 0;
  const std::string shortLabel = variableText(v, "_SHORTCRITERIONLABEL");
  auto bars = [&](int column, const std::string& name, int pen) {
    Series s{name, "candidate", SeriesKind::kBars, {}, {}, pen, false, true, baseline, {}};
    for (size_t k = 0; k < n; ++k)
      if (double x = rows.number(k, column); std::isfinite(x))
        s.x.push_back(x), s.y.push_back(static_cast<double>(n - 1 - k));
    p.series.push_back(std::move(s));
  };
  if (both) {
    bars(rows.column("Criterion"), "Entry", 0);
    bars(rows.column("CriterionDrop"), "Removal", 1);
  } else {
    bars(rows.column("Criterion"), shortLabel.empty() ? "Criterion" : shortLabel, 0);
    if (!p.series.back().x.empty())
      p.series.push_back(Series{"Best Candidate",
                                "best",
                                SeriesKind::kMarkers,
                                {p.series.back().x.front()},
                                {p.series.back().y.front()},
                                1,
                                true,
                                true,
                                0,
                                {}});
  }
  f.cellHeight = std::max(160.0, 20.0 + 26.0 * static_cast<double>(n));
  f.plots.push_back(std::move(p));
  return f;
}

}  // namespace

Figure drawGraph(const Graph& g) {
  std::string name = lowerCopy(g.templatePath);
  if (size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
  if (name == "criterionpanel") return criterionPanel(g);
  if (name == "criterionplot") return criterionSingle(g);
  if (name == "aseplot") return asePlot(g);
  if (name == "coefficientpanel") return coefficientFigure(g, true, true);
  if (name == "coefficientplot") return coefficientFigure(g, true, false);
  if (name == "choosecriterionplot" || name == "pvalueplot")
    return coefficientFigure(g, false, true);
  if (name == "candidatesplot") return candidatesPlot(g);
  if (name == "elasticnetl2tuningplot") return tuningPlot(g);
  if (name == "cvexternal") return cvExternalPlot(g);
  if (name == "effectselectpctplot") return effectSelectPlot(g);
  if (name == "parmdistribution") return parameterDistributions(g, false, false);
  if (name == "parmdistributionpanel") return parameterDistributions(g, true, false);
  if (name == "parmhistogram") return parameterDistributions(g, false, true);
  if (name == "parmhistogrampanel") return parameterDistributions(g, true, true);
  // A template without a drawing of its own: its title over an empty frame.
  Figure f = figureOf(g);
  f.plots.emplace_back();
  return f;
}

}  // namespace vsf::host::output
