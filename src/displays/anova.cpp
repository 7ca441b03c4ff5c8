// ANOVA: model, error and total rows of one model with DF, SS, MS, F and its p-value.
#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "numerics/numerics.h"
#include "selection/group.h"

namespace vsf {

namespace {

struct AnovaRow {
  double df = 0, ss = 0, ms = 0, f = 0, p = 0;
};

// F and its p-value from the two mean squares; I and 0 for a perfect fit that explains
// something.
void fTest(double msm, double mse, double dfm, double dfe, double* f, double* p) {
  const double dot = missingValue('.');
  if (isMissing(msm) || isMissing(mse)) {
    *f = *p = dot;
  } else if (mse > 0) {
    *f = msm / mse;
    double lower = 0, upper = 0;
    if (zfdistnc(*f, dfm, dfe, 0, &lower, &upper) != 0)
      *p = dot;
    else
      *p = upper < kExpFloor ? 0 : zexp(upper);
  } else if (msm > 0) {
    *f = missingCodeI();
    *p = 0;
  } else {
    *f = *p = dot;
  }
}

}  // namespace

// Returns 0, or -2 when the Source buffer cannot be had.
int printAnova(StepView* s, const SelectionState* sel, HostPool* allocator) {
  DisplayClock clock(&s->output);
  const bool noInt = s->display.noInt != 0;
  const int labels[3] = {5031, 5032, noInt ? 5034 : 5033};
  int width = 0;
  for (int m : labels) width = zimax(width, msgLength(m));
  char* source = width > 0 && allocator
                     ? static_cast<char*>(kernel().poolAlloc(allocator, width, kAllocZero))
                     : nullptr;
  if (!source) return rc::kMemory;

  const double n = sel->totals.trainFreq;
  const int32_t p = sel->sweep.sweptColumns;
  const double tss = criterionTotal(sel);  // uncorrected without an intercept
  const double sse = sel->fit.trainSse > 0 ? sel->fit.trainSse : 0;
  const double dfTotal = noInt ? n : n - 1;
  const double dfModel = noInt ? p : p - 1;
  // A model of no parameter beyond the intercept explains nothing, whatever rounding the
  // sweeps in and out of a refused step left between the two sums.
  const double ssm = dfModel > 0 && tss - sse > 0 ? tss - sse : 0;
  const double dfError = dfTotal - dfModel;
  const double dot = missingValue('.');
  const double mse = dfError > 0 ? sse / dfError : dot;
  const double msm = dfModel > 0 ? ssm / dfModel : dot;

  AnovaRow r;
  DataTable t(&s->output);
  t.create("ANOVA", {argString(key::kLabel2, msgStr(5030))});
  t.column(ctype::kText, "Source", source, {argInt(dkey::kTextWidth, width)});
  t.column(ctype::kDouble, "DF", &r.df);
  t.column(ctype::kDouble, "SS", &r.ss);
  t.column(ctype::kDouble, "MS", &r.ms);
  t.column(ctype::kDouble, "FValue", &r.f);
  std::vector<OutputArgItem> probF;
  addDynamic(probF, "showProbF", valueFlag(s->settings.showPValues));
  t.column(ctype::kDouble, "ProbF", &r.p, probF);
  t.endColumns();
  t.bind("Stat.VARSIFTER.ANOVA");

  fillField(source, width, msgText(labels[0]));
  r = AnovaRow{dfModel, ssm, msm, 0, 0};
  fTest(msm, mse, dfModel, dfError, &r.f, &r.p);
  t.row();
  fillField(source, width, msgText(labels[1]));
  r = AnovaRow{dfError, sse, mse, missingLowest(), missingLowest()};
  t.row();
  fillField(source, width, msgText(labels[2]));
  r = AnovaRow{dfTotal, tss, missingLowest(), missingLowest(), missingLowest()};
  t.row();
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
