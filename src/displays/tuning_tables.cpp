// The tables of a tuned penalty: how the elastic net's L2 was searched and what each L2 value
// tried gave (ElasticNetParaSummary, ElasticNetTuneL2), and the folds' path points of external
// cross validation (CVExternal). They read the tuning tables, which live in the BY group's
// pool and so outlive the run that made them.
#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "graphs/graphs.h"
#include "selection/group.h"

namespace vsf {

int printElasticNetParaSummary(StepView* s, const SelectionState* sel) {
  const DisplayOptions& o = s->display;
  DisplayClock clock(&s->output);
  FactoidTable t(&s->output);
  t.create("ElasticNetParaSummary", "Stat.VARSIFTER.ElasticNetParaSummary", msgStr(2001),
           {argString(key::kLabel, msgStr(2001))});
  const int search = static_cast<int>(o.l2Search);
  t.entry(msgStr(2002), valueString(msgStr(2010 + search)));
  if (o.l2Search == kL2SearchGolden || o.l2Search == kL2SearchGrid) {
    t.entry(msgStr(2003), valueDouble(o.l2Low));
    t.entry(msgStr(2004), valueDouble(o.l2High));
    t.entry(msgStr(2005), valueInt(o.l2Steps));
  }
  t.entry(msgStr(2006), valueString(msgStr(criterionInfo(l2JudgingCriterion(o)).texts.name)));
  if (o.externalCv) {
    t.entry(msgStr(2008), valueDouble(sel->tuning.chosenAlignment));
  } else {
    const int32_t k = sel->run.chosenStep >= 0 ? sel->run.chosenStep : sel->steps.stepCount - 1;
    t.entry(msgStr(2007), valueDouble(sel->path.lambdaMax));
    if (k >= 0 && sel->steps.lambdaRatio) {
      t.entry(msgStr(2008), valueDouble(sel->steps.lambdaRatio[k]));
      t.entry(msgStr(2010), valueInt(sel->steps.sweptColumns[k]));
    }
  }
  t.entry(msgStr(2009), valueDouble(sel->path.l2));
  t.close();
  t.release();
  return 0;
}

// One row per L2 value tried, up to the first slot no run filled; its data object (the tuning
// plots draw from it) into *data when graphs are on.
int printElasticNetTuneL2(StepView* s, const SelectionState* sel, void** data) {
  const TuningTables& tt = sel->tuning;
  if (!tt.history) return 0;
  const bool cv = s->display.externalCv;
  DisplayClock clock(&s->output);
  struct Row {
    int32_t step = 0, opt = 0, nVar = 0, nSteps = 0;
    double l2 = 0, logL2 = 0, ratio = 0, value = 0, l2Norm = 0, l1Norm = 0;
  } row;
  DataTable t(&s->output);
  t.create("ElasticNetTuneL2", {argString(key::kLabel2, msgStr(665))});
  t.column(ctype::kInt, "Step", &row.step);
  t.column(ctype::kDouble, "L2", &row.l2);
  t.column(ctype::kDouble, "LogL2", &row.logL2);
  t.column(ctype::kDouble, "L1Ratio", &row.ratio);
  t.column(ctype::kDouble, "CriterionValue", &row.value);
  t.column(ctype::kInt, "OptCriterion", &row.opt);
  if (!cv) {
    t.column(ctype::kInt, "nVar", &row.nVar);
    t.column(ctype::kDouble, "L2Norm", &row.l2Norm);
    t.column(ctype::kDouble, "L1Norm", &row.l1Norm);
    t.column(ctype::kInt, "nSteps", &row.nSteps);
  }
  t.endColumns();
  t.bind("Stat.VARSIFTER.ElasticNetTuneL2", {}, false, s->settings.graphicsOn ? data : nullptr);
  const int32_t rows = tuningRowsFilled(tt);
  for (int32_t i = 0; i < rows; ++i) {
    const double* h = tt.history + int64_t{7} * i;
    row.l2 = h[0], row.logL2 = logL2(h[0]), row.ratio = h[1], row.value = h[3];
    if (!cv) {
      row.nVar = static_cast<int32_t>(h[2]);
      row.l2Norm = h[4], row.l1Norm = h[5];
      row.nSteps = static_cast<int32_t>(h[6]);
    }
    row.step = i + 1;
    row.opt = row.l2 == sel->path.l2 ? 1 : 0;
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

int printCvExternal(StepView* s, const SelectionState* sel) {
  const TuningTables& tt = sel->tuning;
  const bool path = methodFamily(s->display.method).kind == MethodKind::kPath;
  DisplayClock clock(&s->output);
  struct Row {
    int32_t fold = 0, step = 0, nVar = 0;
    double ratio = 0, interpolation = 0, ase = 0, l2 = 0, l2Norm = 0, l1Norm = 0, l1Value = 0;
  } row;
  DataTable t(&s->output);
  t.create("CVExternal", {argString(key::kLabel2, msgStr(665))});
  t.column(ctype::kInt, "Fold", &row.fold);
  t.column(ctype::kInt, "Step", &row.step);
  t.column(ctype::kInt, "nVar", &row.nVar);
  t.column(ctype::kDouble, "L1Ratio", &row.ratio);
  t.column(ctype::kDouble, "Interpolation", &row.interpolation);
  t.column(ctype::kDouble, "ASEValidate", &row.ase);
  if (path) {
    t.column(ctype::kDouble, "L2", &row.l2);
    t.column(ctype::kDouble, "L2Norm", &row.l2Norm);
    t.column(ctype::kDouble, "L1Norm", &row.l1Norm);
    t.column(ctype::kDouble, "L1Value", &row.l1Value);
  }
  t.endColumns();
  t.bind("Stat.VARSIFTER.CVEXTERNAL");
  for (int32_t i = 0; i < tt.points; ++i) {
    const int32_t* n = tt.pointInts + 3 * int64_t{i};
    const double* d = tt.pointValues + 6 * int64_t{i};
    row.fold = n[0] + 1, row.step = n[1], row.nVar = n[2];
    row.ratio = d[0];
    row.interpolation = path ? d[4] : absentValue();
    row.ase = path ? d[5] : d[1];
    row.l2 = d[1], row.l2Norm = d[3], row.l1Norm = d[2];
    row.l1Value = n[0] < tt.foldCount ? d[0] * tt.foldLambdaMax[n[0]] : absentValue();
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
