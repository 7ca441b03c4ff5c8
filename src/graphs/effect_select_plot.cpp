// The effect-selection-percentage plot of model averaging: one bar per effect, in the order of
// the table it draws from, and the ORDER= rule that table and the distribution panels share.
#include "graphs/graphs_internal.h"
#include "numerics/numerics.h"

namespace vsf {

std::vector<int32_t> effectsInOrder(std::vector<int32_t> effects, const std::vector<int32_t>& count,
                                    int32_t order) {
  if (order != 1 && order != 2) return effects;
  const double n = static_cast<double>(count.size());
  std::vector<double> key(effects.size());
  std::vector<uint32_t> index(effects.size());
  for (size_t i = 0; i < effects.size(); ++i) {
    const int32_t e = effects[i];
    // The fraction below one keeps equal counts in the order given.
    const double c = e >= 0 && e < static_cast<int32_t>(count.size()) ? count[e] : 0;
    key[i] = c + (order == 1 ? e : n - e) / (2.0 * n + 1);
    index[i] = static_cast<uint32_t>(i);
  }
  shellSortDoubles(key.data(), static_cast<uint32_t>(key.size()), index.data(), order == 1 ? 1 : 0);
  std::vector<int32_t> out;
  for (uint32_t i : index) out.push_back(effects[i]);
  return out;
}

int plotEffectSelectPct(StepView* s, void* plotData, int32_t rows) {
  const PlotSettings& p = s->settings.plots;
  if (!p.effectSelectPct.on || !s->settings.graphicsOn || !plotData || rows <= 0) return 0;
  DisplayClock clock(&s->output);
  // Bars half a category apart at most, thinner as they get many.
  const double offset = rows >= 2 ? 0.5 / rows + 0.025 : 0.05;
  double threshold = p.effectSelectPct.minPct;
  if (threshold == -1.0) threshold = s->settings.modelAverage.espMinPct;
  if (threshold == -1.0) threshold = 20.0;
  const std::string_view response = s->settings.response.name;
  HostString* title =
      threshold == 0 ? msgStr(1201, {response}) : msgStr(1202, {threshold, response});
  GraphRequest g("EffectSelectPctPlot", msgStr(1025), msgStr(1200));
  g.setTemplate("EffectSelectPctPlot");
  g.data(plotData);
  g.var("_DEPNAME", valueString(s->settings.responseName));
  g.var("_TITLE", valueString(title));
  g.var("_OFFSET", valueDouble(offset));
  g.send(s);
  return 0;
}

}  // namespace vsf
