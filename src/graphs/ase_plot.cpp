// The ASE plot: the average squared errors of the training data and, when the fit has them,
// of the validation and test data over the steps, with the chosen step marked.
#include "graphs/graphs_internal.h"

namespace vsf {

int plotAse(StepView* s, const SelectionState* sel, const StepMarks& marks, void* summaryData) {
  const PlotFamily& f = s->settings.plots.ase;
  if (!f.on || !summaryData) return 0;
  DisplayClock clock(&s->output);
  const StepSettings& st = s->settings;
  const bool roles = st.validation.dataSet || st.test.dataSet || st.counts.partition;
  const StepAxisCode axis = stepAxis(f, sel, kLabelledSteps);
  const StepRange range = stepRange(s, sel, f);
  if (range.empty()) {
    emptyRangeWarning(s, 226);
    return 0;
  }
  const std::vector<OutputArgItem> axisList = stepAxisList(marks, axis, range);
  const int labelMessage = (roles ? 1007 : 1010) + static_cast<int>(axis) - 1;
  void* view = nullptr;
  if (range.restricted && !range.whole) {
    // A range that holds none of the summary's rows draws nothing.
    if (!(view = rangeView(s, summaryData, range))) return 0;
  }
  GraphRequest g("ASEPlot", msgStr(labelMessage), msgStr(871));
  g.setTemplate("ASEPlot");
  if (view)
    g.view(view);
  else
    g.data(summaryData);
  g.var("_ASEROLES", valueInt(roles ? 1 : 0));
  g.var("_DEPNAME", valueString(st.responseName));
  g.var("_INTTICKS", intTicks(axis));
  g.list(&axisList);
  g.send(s);
  releaseView(s, view);
  return 0;
}

}  // namespace vsf
