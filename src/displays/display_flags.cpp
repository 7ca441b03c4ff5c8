// What the options ask the tables to show, read in one place.
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

bool normAxis(const PlotSettings& p) {
  return p.stepAxis == 3 || p.coefficients.stepAxis == 3 || p.ase.stepAxis == 3 ||
         p.criteria.stepAxis == 3;
}

}  // namespace

DisplayFlags displayFlags(const StepView* s, const SelectionState* sel) {
  const DisplayOptions& o = s->display;
  DisplayFlags f;
  for (int c = 0; c < kStatsCount; ++c) f.stat[c] = o.stats[c] != 0;
  for (CriterionCode c : {o.select, o.stop, o.choose})
    if (int col = criterionInfo(c).statsColumn; col >= 0) f.stat[col] = true;
  f.validationShown = (sel && sel->totals.validFreq > 0) || s->settings.partition.validationRows;
  f.testShown = (sel && sel->totals.testFreq > 0) || s->settings.partition.testRows;
  if (f.validationShown || f.testShown || s->settings.validation.dataSet ||
      s->settings.test.dataSet)
    f.stat[kStatsAse] = true;
  f.fullModelVariance = f.stat[kStatsBic] || f.stat[kStatsCp];
  f.press = o.pressPerStep != 0;
  f.validationAse = o.validAsePerStep != 0;
  f.testAse = o.testAsePerStep != 0;
  f.kfold = o.kfold != 0;
  f.externalCv = o.externalCv != 0;
  const MethodFamily family = methodFamily(o.method);
  f.severalPerStep = family.grouped;
  f.groupPath = family.kind == MethodKind::kGroup;
  f.pathEstimates = family.penalized() && !f.groupPath;
  f.stepNorm = s->settings.graphicsOn && normAxis(s->settings.plots);
  f.detailsText = o.detailsBeyondSummary != 0;
  f.candidatesPlot = s->settings.graphicsOn && s->settings.plots.candidatesPlot.on;
  f.stepDetails = f.detailsText || f.candidatesPlot;
  f.cvDetails = f.kfold && (o.cvDetails == kCvPressOnly || o.cvDetails == kCvAll);
  f.foldEstimates = f.kfold && o.foldEstimates != 0;
  f.l2History = o.showL2Search != 0;
  return f;
}

}  // namespace vsf
