// FitStatistics: the fit statistics of one model as label and value entries.
#include <cmath>

#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::vector<OutputArgItem> bestFit() {
  return {argInt(dkey::kWidth, 11), argInt(dkey::kDecimals, kBestFit)};
}

// A criterion of a perfect fit shows as -Infty, as the selection summary shows it.
void criterionEntry(FactoidTable& t, CriterionCode code, const FitSummary& fit,
                    const std::vector<OutputArgItem>& format) {
  t.entry(msgStr(criterionInfo(code).texts.fitLabel),
          valueDouble(infinityAsSpecial(criterionOf(code, fit))), format);
}

}  // namespace

int printFitStatistics(StepView* s, const SelectionState* sel) {
  DisplayClock clock(&s->output);
  const DisplayFlags f = displayFlags(s, sel);
  const double n = sel->totals.trainFreq;
  const int32_t p = sel->sweep.sweptColumns;
  const double sse = sel->fit.trainSse > 0 ? sel->fit.trainSse : 0;
  const double dfe = n - p;
  const double dot = missingValue('.');
  const double rootMse = dfe > 0 ? std::sqrt(sse / dfe) : dot;
  const double ase =
      sel->totals.trainWeight != 0 ? sel->fit.trainSse / sel->totals.trainWeight : dot;
  // The criteria of the model's recorded step: the values the selection summary shows.
  FitSummary fit = stateFit(sel);
  const StepHistory& h = sel->steps;
  if (h.stepCount > 0 && h.sse && h.sweptColumns && h.effects) {
    fit = recordedFit(sel, h.stepCount - 1);
  } else {
    fit.sse = sse, fit.params = p, fit.effects = sel->sweep.effectsInModel;
    fit.press = sel->fit.press, fit.validAse = sel->fit.validAse, fit.cvPress = sel->fit.cvPress;
  }

  FactoidTable t(&s->output);
  t.create("FitStatistics", "Stat.VARSIFTER.FitStatistics", msgStr(540));
  t.entry(msgStr(541), valueDouble(rootMse), bestFit());
  t.entry(msgStr(542), valueDouble(sel->totals.responseMean), bestFit());
  const std::vector<OutputArgItem> ratio = {argInt(dkey::kWidth, 6), argInt(dkey::kDecimals, 4)};
  criterionEntry(t, kCritRsquare, fit, ratio);
  criterionEntry(t, kCritAdjRsq, fit, ratio);
  criterionEntry(t, kCritAic, fit, bestFit());
  criterionEntry(t, kCritAicc, fit, bestFit());
  if (f.fullModelVariance) {
    criterionEntry(t, kCritBic, fit, bestFit());
    criterionEntry(t, kCritCp, fit, bestFit());
  }
  if (f.press) criterionEntry(t, kCritPress, fit, bestFit());
  criterionEntry(t, kCritSbc, fit, bestFit());
  if (f.stat[kStatsAse])
    t.entry(msgStr(f.validationAse || f.testAse ? 551 : 554), valueDouble(ase), bestFit());
  if (f.validationShown) criterionEntry(t, kCritValidate, fit, bestFit());
  if (f.testShown) t.entry(msgStr(553), valueDouble(sel->fit.testAse), bestFit());
  if (f.kfold) criterionEntry(t, kCritCv, fit, bestFit());
  if (f.externalCv) criterionEntry(t, kCritCvExternal, fit, bestFit());
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
