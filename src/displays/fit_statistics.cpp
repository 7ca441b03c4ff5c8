// FitStatistics: the fit statistics of one model as label and value entries.
#include <cfloat>
#include <cmath>

#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::vector<OutputArgItem> bestFit() {
  return {argInt(dkey::kWidth, 11), argInt(dkey::kDecimals, kBestFit)};
}

// A criterion of a perfect fit has no number to show: it reads "-Infty".
void criterionEntry(FactoidTable& t, int label, double v) {
  if (!isMissing(v) && v == -DBL_MAX)
    t.entry(msgStr(label), valueString(hstr("-Infty")));
  else
    t.entry(msgStr(label), valueDouble(v), bestFit());
}

}  // namespace

double rSquareTotal(const StepView* s, const SelectionState* sel) {
  return s->settings.options.noInt ? sel->totalSS : sel->correctedSS;
}

int printFitStatistics(StepView* s, SelectionState* sel) {
  startDisplayClock(s);
  const DisplayFlags f = displayFlags(s, sel);
  const double n = sel->trainFreq;
  const int32_t p = sel->sweptColumns;
  const double sse = sel->trainSse > 0 ? sel->trainSse : 0;
  const double dfe = n - p;
  const double dot = missingValue('.');
  const double rootMse = dfe > 0 ? std::sqrt(sse / dfe) : dot;
  const double sst = rSquareTotal(s, sel);
  const double ase = sel->trainWeight != 0 ? sel->trainSse / sel->trainWeight : dot;

  FactoidTable t(s);
  t.create("FitStatistics", "Stat.VARSIFTER.FitStatistics", msgStr(540));
  t.entry(msgStr(541), valueDouble(rootMse), bestFit());
  t.entry(msgStr(542), valueDouble(sel->responseMean), bestFit());
  const std::vector<OutputArgItem> ratio = {argInt(dkey::kWidth, 6), argInt(dkey::kDecimals, 4)};
  t.entry(msgStr(543), valueDouble(critRSquare(sse, sst)), ratio);
  t.entry(msgStr(544), valueDouble(critAdjRSquare(sse, sst, n, p, s->settings.options.noInt)),
          ratio);
  criterionEntry(t, 545, critAIC(sse, n, p));
  criterionEntry(t, 546, critAICC(sse, n, p));
  if (f.fullModelVariance) {
    t.entry(msgStr(547), valueDouble(critBIC(sse, n, p, sel->sigma2Full)), bestFit());
    t.entry(msgStr(548), valueDouble(critCP(sse, n, p, sel->sigma2Full)), bestFit());
  }
  if (f.press) t.entry(msgStr(549), valueDouble(sel->press), bestFit());
  criterionEntry(t, 550, critSBC(sse, n, p));
  if (f.stat[kStatsAse])
    t.entry(msgStr(f.validationAse || f.testAse ? 551 : 554), valueDouble(ase), bestFit());
  if (f.validationShown) t.entry(msgStr(552), valueDouble(sel->validAse), bestFit());
  if (f.testShown) t.entry(msgStr(553), valueDouble(sel->testAse), bestFit());
  if (f.kfold) t.entry(msgStr(555), valueDouble(sel->cvPress), bestFit());
  if (f.externalCv) t.entry(msgStr(855), valueDouble(sel->extCvValue), bestFit());
  t.close();
  t.release();
  stopDisplayClock(s);
  return 0;
}

}  // namespace vsf
