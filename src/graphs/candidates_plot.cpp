// The candidates plot of a detailed step: the SELECT criterion each candidate effect would give,
// best first, from the hidden PlotCandidates table.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

constexpr double kNoValue = 1.7976931348623157e308;  // a candidate the step could not judge

bool showable(double v) { return !isMissing(v) && !std::isnan(v) && std::fabs(v) != kNoValue; }

// The candidates with a value, best first: ascending, but descending for a criterion that is
// maximized and for significance levels at a removing step.
std::vector<int32_t> rankedCandidates(const StepView* s, const SelectionState* record, bool adds) {
  const CriterionCode select = s->display.select;
  const double* v = record->sweep.candidateValues;
  std::vector<int32_t> list;
  const auto* table = s->group.candidates.table;
  const int32_t count = table ? static_cast<int32_t>(table->size()) : 0;
  for (int32_t i = 0; v && i < count; ++i)
    if (showable(v[i])) list.push_back(i);
  const bool descending = (select == kCritSl && !adds) || criterionIsMaximized(select);
  std::stable_sort(list.begin(), list.end(),
                   [&](int32_t a, int32_t b) { return descending ? v[a] > v[b] : v[a] < v[b]; });
  return list;
}

}  // namespace

int plotCandidates(StepView* s, const SelectionState* record) {
  const DisplayOptions& o = s->display;
  if (o.method == kMethodNone || record->steps.stepCount < 2) return 0;
  DisplayClock clock(&s->output);
  const StepHistory& h = record->steps;
  const int32_t step = h.stepCount - 1;
  const bool adds = h.effects[step] > h.effects[step - 1] ||
                    (h.effects[step] == h.effects[step - 1] && o.method != kMethodBackward);
  const bool competitive = competitiveDrop(o.dropRule);
  std::vector<int32_t> kept = rankedCandidates(s, record, adds);
  // A step without a candidate that has a value has nothing to show.
  if (kept.empty()) return 0;
  const int32_t limit = s->settings.plots.candidatesPlot.show;
  HostString* title;
  if (static_cast<int32_t>(kept.size()) > limit) {
    kept.resize(static_cast<size_t>(limit));
    title = msgStr(competitive ? 575 : adds ? 573 : 574, {limit});
  } else {
    title = msgStr(competitive ? 572 : adds ? 570 : 571);
  }
  int32_t width = 0;
  for (int32_t c : kept) width = std::max(width, static_cast<int32_t>(candidateLabel(s, c).size()));
  if (width == 0) return 0;

  // Candidates of a selection by significance level carry their log p-values.
  const CriterionCode select = o.select;
  const CriterionGraphTexts& table = criterionGraphTexts(select);
  const int label = select == kCritSl ? 841 : table.label;
  const int shortLabel = select == kCritSl ? 841 : table.shortLabel;
  const std::string longLabel = table.folds ? msgText(label, {o.cvFolds}) : msgText(label);
  std::string effect(static_cast<size_t>(width), ' ');
  int32_t candidateFor = 0;
  double value = 0, drop = 0;
  DataTable t(&s->output);
  t.create("PlotCandidates");
  t.column(ctype::kText, "Effect", effect.data(), {argInt(dkey::kTextWidth, width)});
  if (competitive) t.column(ctype::kInt, "CandidateFor", &candidateFor);
  t.column(ctype::kDouble, "Criterion", &value);
  if (competitive) t.column(ctype::kDouble, "CriterionDrop", &drop);
  t.endColumns();
  std::vector<OutputArgItem> dynamics;
  addDynamic(dynamics, "_TITLE", valueString(title));
  void* data = nullptr;
  bindPhantom(s, t, "Candidates", &data, dynamics);

  const double* v = record->sweep.candidateValues;
  double low = INFINITY, high = -INFINITY;
  for (int32_t c : kept)
    if (std::isfinite(v[c])) low = std::min(low, v[c]), high = std::max(high, v[c]);
  for (int32_t c : kept) {
    fillField(effect.data(), width, candidateLabel(s, c));
    // The moved effect carries the direction of its own move.
    candidateFor = record->sweep.states[c] == EffectState::kFree ? 1 : -1;
    if (c == h.effect[step]) candidateFor = -candidateFor;
    const bool forEntry = !competitive || candidateFor == 1;
    value = forEntry ? v[c] : missingValue('.');
    drop = forEntry ? missingValue('.') : v[c];
    t.row();
  }
  t.close();
  t.release();

  const int graphLabel = competitive ? 1022 : candidateFor == 1 ? 1023 : 1024;
  // The step as its group in the step details numbers it.
  const int32_t number = displayStep(s, record, step);
  const int32_t shown = static_cast<int32_t>(kept.size());
  GraphRequest g("CandidatesPlot", msgStr(graphLabel, {std::string_view(longLabel), shown, number}),
                 msgStr(860));
  g.setTemplate("CandidatesPlot");
  g.data(data);
  g.var("_CRITERIONLABEL", valueString(hstr(longLabel)));
  g.var("_SHORTCRITERIONLABEL", valueString(msgStr(shortLabel)));
  g.var("_METHOD", valueString(methodName(s)));
  g.var("_STEPNUMBER", valueInt(number));
  g.var("_BASELINE", valueDouble(low <= high ? low - 0.05 * (high - low) : 0));
  g.var("_TITLE", valueString(title));
  g.var("_ADDANDDROP", valueInt(competitive ? 1 : 0));
  g.var("_DEPNAME", valueString(s->settings.responseName));
  g.send(s);
  return 0;
}

}  // namespace vsf
