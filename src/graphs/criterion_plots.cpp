// Criterion plots: how each fit criterion evolved over the steps, its optimum and the chosen
// step marked; one panel ("CriterionPanel"), or with UNPACK one graph per criterion grouped
// under "CriterionPlots".
#include <fmt/format.h>

#include <string>
#include <vector>

#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

// Whether a criterion shown only on request (CP, BIC) is among the displayed statistics.
bool statisticShown(const DisplayOptions& o, CriterionCode c) {
  const int column = criterionInfo(c).statsColumn;
  return (column >= 0 && o.stats[column]) || o.select == c || o.stop == c || o.choose == c;
}

bool plotted(const StepView* s, const BestSteps& best, CriterionCode c) {
  if (best.step[codeIndex(c)] < 0) return false;
  if (c == kCritCp || c == kCritBic) return statisticShown(s->display, c);
  return true;
}

const char* optStepSuffix(StepAxisCode axis) {
  switch (axis) {
    case StepAxisCode::kStepLabel:
      return "StepLabel";
    case StepAxisCode::kNormBeta:
      return "NormBeta";
    default:
      return "Step";
  }
}

// Everything the graphs of one call share.
struct Plan {
  StepAxisCode axis;
  StepRange range;
  std::vector<OutputArgItem> axisList;
  HostString* selected;
  bool unpack;
  void* view = nullptr;  // the range's rows of the summary, or null for the whole table
};

void sendOne(StepView* s, const Plan& p, const CriterionGraphTexts& c, void* summary, void* best,
             OutputArgItem optVal) {
  static constexpr int kLabels[] = {1001, 1002, 1003};
  const std::string yLabel = c.folds ? msgText(c.label, {s->display.cvFolds}) : msgText(c.label);
  GraphRequest g(c.plot, msgStr(kLabels[static_cast<int>(p.axis) - 1], {std::string_view(yLabel)}),
                 labelText(s, c.plotShortLabel, c.folds));
  if (p.view) {
    g.data(best);
    g.setTemplate("CriterionPlot");
    g.view(p.view);
  } else {
    g.setTemplate("CriterionPlot");
    g.data(summary, best);
  }
  g.var("_SELECTEDSTEPLABEL", valueString(p.selected));
  g.var("_CRITERION", valueString(hstr(c.name)));
  g.var("_OPTSTEP", valueString(hstr(std::string(c.prefix) + optStepSuffix(p.axis))));
  g.var("_OPTVAL", optVal);
  g.var("_YLABEL", valueString(labelText(s, c.label, c.folds)));
  g.var("_SHORTYLABEL", valueString(labelText(s, c.plotShortLabel, c.folds)));
  g.var("_DEPNAME", valueString(s->settings.responseName));
  g.var("_INTTICKS", intTicks(p.axis));
  g.list(&p.axisList);
  g.send(s);
}

void sendPanel(StepView* s, const Plan& p, int criteria, const std::vector<OutputArgItem>& cells,
               void* summary, void* best) {
  static constexpr int kLabels[] = {1004, 1005, 1006};
  GraphRequest g("CriterionPanel", msgStr(kLabels[static_cast<int>(p.axis) - 1]), msgStr(831));
  g.setTemplate("CriterionPanel");
  if (p.view) {
    g.data(best);
    g.view(p.view);
  } else {
    g.data(summary, best);
  }
  g.var("_NROWS", valueInt((criteria + 1) / 2));
  g.var("_NCOLS", valueInt(criteria == 1 ? 1 : 2));
  g.var("_DEPNAME", valueString(s->settings.responseName));
  g.var("_INTTICKS", intTicks(p.axis));
  g.var("_SELECTEDSTEPLABEL", valueString(p.selected));
  g.list(&p.axisList);
  g.list(&cells);
  g.send(s);
}

}  // namespace

int plotCriteria(StepView* s, const SelectionState* sel, const BestSteps& best,
                 const StepMarks& marks, void* summaryData, void* bestData) {
  const PlotFamily& f = s->settings.plots.criteria;
  if (!f.on || !summaryData || !bestData) return 0;
  DisplayClock clock(&s->output);
  Plan p;
  p.unpack = f.unpack != 0;
  p.axis = stepAxis(f, sel, p.unpack ? kLabelledSteps : kLabelledPanelSteps);
  p.range = stepRange(s, sel, f);
  if (p.range.empty()) {
    emptyRangeWarning(s, 225);
    return 0;
  }
  p.selected = msgStr(criterionInfo(s->display.choose).graph.selectedStep);
  p.axisList = stepAxisList(marks, p.axis, p.range);
  void* group = nullptr;
  if (p.unpack)
    group = openGroup(&s->output, "CriterionPlots", msgStr(832), {argFlag(dkey::kFlag435, 0)});
  if (p.range.restricted && !p.range.whole) p.view = rangeView(s, summaryData, p.range);

  std::vector<OutputArgItem> cells;
  int criteria = 0;
  // In code order, every criterion with a plot of its own.
  for (CriterionCode code : kAllCriterionCodes) {
    const CriterionGraphTexts& c = criterionInfo(code).graph;
    if (!c.plot || !plotted(s, best, code)) continue;
    const bool outside = p.range.restricted && !p.range.holds(marks.optimalStep[codeIndex(code)]);
    const OutputArgItem optVal =
        valueString(outside ? nullptr : hstr(std::string(c.prefix) + "Val"));
    if (p.unpack) {
      sendOne(s, p, c, summaryData, bestData, optVal);
      continue;
    }
    ++criteria;
    addDynamic(cells, fmt::format("_CRITERION{}", criteria), valueString(hstr(c.name)));
    addDynamic(cells, fmt::format("_LABEL{}", criteria),
               valueString(labelText(s, c.panelLabel, false)));
    addDynamic(cells, fmt::format("_OPTSTEP{}", criteria),
               valueString(hstr(std::string(c.prefix) + optStepSuffix(p.axis))));
    addDynamic(cells, fmt::format("_OPTVAL{}", criteria), optVal);
  }
  if (p.unpack)
    closeGroup(&s->output, group);
  else
    sendPanel(s, p, criteria, cells, summaryData, bestData);
  releaseView(s, p.view);
  return 0;
}

}  // namespace vsf
