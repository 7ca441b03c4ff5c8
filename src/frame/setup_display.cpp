// The displays' own record of the options, filled from the settled options so that the
// display tables, the graphs and the model-averaging outputs read the step through it.
#include "frame/setup_internal.h"
#include "frame/state.h"

namespace vsf {

DisplayOptions displayOptionsOf(const SelectionOptions& o) {
  DisplayOptions d;
  d.method = o.method;
  d.select = o.select, d.stop = o.stop, d.choose = o.choose;
  d.entryLevel = o.entryLevel, d.stayLevel = o.stayLevel;
  d.steps = o.steps, d.stopSteps = o.stopSteps, d.maxSteps = o.maxSteps;
  d.include = o.include, d.noInt = o.noInt, d.dropRule = o.dropRule;
  d.hierarchy = o.hierarchy, d.orderSelect = o.orderSelect;
  d.weightPresent = o.weightPresent, d.freqPresent = o.freqPresent;
  d.rolesPresent = o.rolesPresent, d.kfold = o.kfold, d.externalCv = o.externalCv;
  d.designPerByGroup = o.designPerByGroup, d.nameLength = o.nameLength;
  d.buildFullSscp = o.buildFullSscp, d.modelAveragingRun = o.modelAveragingRun;
  d.cvMethod = o.cvMethod, d.cvFolds = o.cvFolds, d.cvIndexVariable = o.cvIndexVariable;
  d.cvDetails = o.cvDetails, d.showCvEx = o.showCvEx;
  d.l1Choice = o.l1Choice, d.showStepL1 = o.showStepL1;
  d.l2Search = o.l2Search, d.l2Steps = o.l2Steps, d.l2Low = o.l2Low, d.l2High = o.l2High;
  d.showL2Search = o.showL2Search;
  d.screen = o.screen, d.keepNum = o.keepNum, d.keepRatio = o.keepRatio;
  d.adaptive = o.adaptive, d.adaptiveGamma = o.adaptiveGamma;
  d.detailsBeyondSummary = o.detailsBeyondSummary, d.stepTables = o.stepTables;
  for (int c = 0; c < kStatsCount; ++c) d.stats[c] = o.stats[c];
  d.stb = o.stb;
  d.pressPerStep = o.pressPerStep, d.validAsePerStep = o.validAsePerStep;
  d.testAsePerStep = o.testAsePerStep, d.foldEstimates = o.foldEstimates;
  d.fullModelVariance = o.fullModelVariance, d.coefNormPerStep = o.coefNormPerStep;
  return d;
}

void settleDisplayOptions(VsfState* s) { s->display = displayOptionsOf(s->settings.options); }

}  // namespace vsf
