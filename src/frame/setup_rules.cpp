// The selection rules' own record, filled from the settled options so that the rules and the
// classical methods read what they need of the step through one const record.
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
  r.externalCv = o.externalCv;
  r.candidateValues = o.candidateValues, r.generalSearch = o.generalSearch;
  r.fullSweepMode = o.fullSweepMode;
  r.pressPerStep = o.pressPerStep, r.validAsePerStep = o.validAsePerStep;
  r.testAsePerStep = o.testAsePerStep;
  r.foldStats = o.foldStats, r.foldEstimates = o.foldEstimates;
  return r;
}

void settleSelectionRules(VsfState* s) { s->rules = selectionRulesOf(s->settings.options); }

}  // namespace vsf
