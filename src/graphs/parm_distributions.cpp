// The parameter-distribution graphs of model averaging: for each parameter of the averaged
// model whose effect the samples select often enough, the distribution of its estimate over
// the averaged samples, as a box plot or a histogram; panels of several parameters, or with
// UNPACK one graph each, grouped under "EstimateDistributions". They draw from the hidden
// Coeffs table, one row per averaged sample, a parameter the sample's model lacks missing.
#include <fmt/format.h>

#include <algorithm>
#include <string>

#include "graphs/graphs_internal.h"
#include "selection/resample.h"

namespace vsf {

namespace {

struct PanelLayout {
  int32_t rows, columns, height;
};

PanelLayout panelLayout(int32_t plots) {
  if (plots <= 1) return {1, 1, 480};
  if (plots == 2) return {1, 2, 360};
  if (plots <= 4) return {2, 2, 480};
  if (plots <= 6) return {2, 3, 480};
  if (plots <= 9) return {3, 3, 480};
  return {4, 4, 640};
}

// Every averaged sample's estimates, one column per parameter; its data object.
void* writeCoeffs(StepView* s, const AveragedResults& a, int32_t parameters) {
  int32_t sample = 0;
  std::vector<double> value(static_cast<size_t>(parameters));
  DataTable t(&s->output);
  t.create("Coeffs");
  t.column(ctype::kInt, "Sample", &sample);
  for (int32_t p = 0; p < parameters; ++p)
    t.column(ctype::kDouble, fmt::format("Coeff{}", p), &value[static_cast<size_t>(p)],
             {argString(key::kTemplate, hstr("Coefficient"))});
  t.endColumns();
  void* data = nullptr;
  bindPhantom(s, t, "BootstrapCoefficients", &data);
  for (size_t k = 0; k < a.sampleModels.size() && k < a.sampleInAverage.size(); ++k) {
    if (!a.sampleInAverage[k]) continue;
    sample = static_cast<int32_t>(k) + 1;
    std::fill(value.begin(), value.end(), missingValue('.'));
    const SampleModel& m = a.sampleModels[k];
    for (size_t j = 0; j < m.parmIndex.size(); ++j)
      if (m.parmIndex[j] >= 0 && m.parmIndex[j] < parameters)
        value[static_cast<size_t>(m.parmIndex[j])] = m.estimate[j];
    t.row();
  }
  t.close();
  t.release();
  return data;
}

// A parameter drawn: its Coeffs column, label and count of averaged samples where it is nonzero.
struct Drawn {
  std::string variable, label;
  int32_t nonzero;
};

// The parameters whose effect reaches MINPCT= of the fitted samples and whose averaged
// estimate is not 0, effects in ORDER= order.
std::vector<Drawn> drawnParameters(StepView* s, const AveragedResults& a) {
  const auto& p = s->settings.plots.parmDist;
  const ModelAverageOptions& m = s->settings.modelAverage;
  const SelectionState* sel = &s->group.selection;
  double minPct = p.minPct < 0 ? m.peMinPct : p.minPct;
  if (minPct == -1.0) minPct = 20.0;
  const int32_t order = p.order != 0 ? p.order : m.peOrder;
  const std::vector<int32_t> model(sel->sweep.entryOrder,
                                   sel->sweep.entryOrder + sel->sweep.effectsInModel);
  const double scale = 100.0 / a.samplesFitted;
  std::vector<Drawn> out;
  for (int32_t e : effectsInOrder(model, a.effectSelectCount, order)) {
    if (e < 0 || e >= static_cast<int32_t>(a.effectSelectCount.size()) ||
        a.effectSelectCount[static_cast<size_t>(e)] * scale < minPct)
      continue;
    for (int32_t k = 0; k < candidateColumns(s, e); ++k) {
      const int32_t parm = sel->sweep.firstParam[e] + k;
      if (parm < 0 || parm >= static_cast<int32_t>(a.avgEstimate.size()) ||
          a.avgEstimate[static_cast<size_t>(parm)] == 0)
        continue;
      const int32_t column = candidateColumn(s, e, k);
      std::string label(static_cast<size_t>(parameterText(s, e, column, -1, nullptr, 0)), ' ');
      parameterText(s, e, column, -1, label.data(), static_cast<int>(label.size()));
      out.push_back(
          {fmt::format("Coeff{}", parm), label, a.parmNonzeroCount[static_cast<size_t>(parm)]});
    }
  }
  return out;
}

// What every graph of one call shares.
struct Common {
  const char* name;
  std::string templateName;
  void* data;
  HostString* title;
  int32_t samples, refit;
};

void sendCommon(StepView* s, const Common& c, GraphRequest& g) {
  g.setTemplate(c.templateName);
  g.data(c.data);
  g.var("_DEPNAME", valueString(s->settings.responseName));
  g.var("_TITLE", valueString(c.title));
  g.var("_NSAMPLESUSED", valueInt(c.samples));
  g.var("_REFIT", valueInt(c.refit));
}

void sendSingle(StepView* s, const Common& c, const Drawn& d) {
  GraphRequest g(c.name, msgStr(1026, {std::string_view(d.label)}), hstr(d.label));
  sendCommon(s, c, g);
  g.var("_INDEPVAR", valueString(hstr(d.variable)));
  g.var("_INDEPLABEL", valueString(hstr(d.label)));
  g.var("_NNONZERO", valueInt(d.nonzero));
  g.send(s);
}

void sendPanel(StepView* s, const Common& c, int32_t number, const PanelLayout& l, int32_t plots,
               const std::vector<OutputArgItem>& cells) {
  GraphRequest g(c.name, msgStr(1027), msgStr(1211, {number}));
  sendCommon(s, c, g);
  g.var("_PANELNUMBER", valueInt(number));
  g.var("_NROWS", valueInt(l.rows));
  g.var("_NCOLUMNS", valueInt(l.columns));
  g.var("_NPLOTS", valueInt(plots));
  g.var("_HEIGHT", valueInt(l.height));
  g.list(&cells);
  g.send(s);
}

}  // namespace

int plotParmDistributions(StepView* s) {
  const auto& p = s->settings.plots.parmDist;
  const AveragedResults& a = s->group.resampling.results;
  const SelectionState* sel = &s->group.selection;
  // Without a fitted sample there is no distribution (and no percentage to take).
  if (!p.on || !s->settings.graphicsOn || a.samplesFitted <= 0 || !sel->sweep.firstParam) return 0;
  DisplayClock clock(&s->output);
  const bool refitPass = s->group.refitPass != 0;
  Common c;
  c.name = refitPass ? "RefitParmDistPanel" : "ParmDistPanel";
  c.templateName =
      std::string(p.noBoxPlots ? "ParmHistogram" : "ParmDistribution") + (p.unpack ? "" : "Panel");
  c.data = writeCoeffs(s, a, sel->layout.paramCount);
  const int title = !s->settings.modelAverage.refit ? 1212 : refitPass ? 1214 : 1213;
  c.title = msgStr(title, {std::string_view(s->settings.response.name)});
  c.samples = a.samplesAveraged;  // the samples whose estimates are drawn
  c.refit = refitPass ? 1 : 0;
  const std::vector<Drawn> drawn = drawnParameters(s, a);

  void* group =
      openGroup(&s->output, "EstimateDistributions", msgStr(1210), {argFlag(dkey::kFlag435, 0)});
  const int32_t perPanel = std::clamp(p.plotsPerPanel, 1, 16);
  const PanelLayout full = panelLayout(perPanel);
  std::vector<OutputArgItem> cells;
  int32_t panel = 1, n = 0;
  for (const Drawn& d : drawn) {
    if (p.unpack) {
      sendSingle(s, c, d);
      continue;
    }
    ++n;
    addDynamic(cells, fmt::format("_XVAR{}", n), valueString(hstr(d.variable)));
    addDynamic(cells, fmt::format("_XLABEL{}", n), valueString(hstr(d.label)));
    addDynamic(cells, fmt::format("_NNONZERO{}", n), valueInt(d.nonzero));
    if (n < perPanel) continue;
    sendPanel(s, c, panel++, full, n, cells);
    cells.clear();
    n = 0;
  }
  // A last panel partly filled keeps the full layout unless it is the only one.
  if (n > 0) sendPanel(s, c, panel, panel == 1 ? panelLayout(n) : full, n, cells);
  closeGroup(&s->output, group);
  return 0;
}

}  // namespace vsf
