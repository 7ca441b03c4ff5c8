// The selection rules' and the paths' own records, filled from the settled options so that
// each reads what it needs of the step through one const record.
#include "frame/setup_internal.h"
#include "frame/state.h"

namespace vsf {

SelectionRules selectionRulesOf(const SelectionOptions& o) {
  SelectionRules r;
  r.method = o.method;
  r.select = o.select, r.stop = o.stop, r.choose = o.choose;
  r.entryLevel = o.entryLevel, r.stayLevel = o.stayLevel, r.fuzz = o.fuzz;
  r.steps = o.steps, r.stopSteps = o.stopSteps;
  r.noInt = o.noInt, r.dropRule = o.dropRule, r.hierarchy = o.hierarchy;
  r.l1ChoiceStop = o.l1ChoiceStop;
  r.candidateValues = o.candidateValues, r.generalSearch = o.generalSearch;
  r.fullSweepMode = o.fullSweepMode;
  r.pressPerStep = o.pressPerStep, r.validAsePerStep = o.validAsePerStep;
  r.testAsePerStep = o.testAsePerStep;
  r.include = o.include, r.start = o.start;
  r.modelAveragingRun = o.modelAveragingRun;
  r.fullModelWanted = fullModelWanted(&o);
  return r;
}

PathOptions pathOptionsOf(const SelectionOptions& o) {
  PathOptions p;
  p.method = o.method;
  p.stop = o.stop, p.choose = o.choose;
  p.steps = o.steps, p.stopSteps = o.stopSteps, p.maxSteps = o.maxSteps;
  p.forcedEffects = o.forcedEffects;
  p.noInt = o.noInt;
  p.modelAveragingRun = o.modelAveragingRun, p.pressPerStep = o.pressPerStep;
  p.rolesPresent = o.rolesPresent;
  p.l1Choice = o.l1Choice;
  p.l2Search = o.l2Search, p.l2Steps = o.l2Steps, p.l2Low = o.l2Low, p.l2High = o.l2High;
  p.showL2Search = o.showL2Search, p.enScale = o.enScale;
  p.rho = o.rho, p.tolerance = o.tolerance;
  p.screen = o.screen, p.screenSteps = o.screenSteps;
  p.keepNum = o.keepNum, p.keepRatio = o.keepRatio, p.showScreen = o.showScreen;
  p.adaptive = o.adaptive, p.initialEstimatesGiven = o.initialEstimatesGiven;
  return p;
}

void settleRunOptions(VsfState* s) {
  s->rules = selectionRulesOf(s->settings.options);
  s->pathOptions = pathOptionsOf(s->settings.options);
}

}  // namespace vsf
