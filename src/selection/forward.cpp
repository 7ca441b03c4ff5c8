// NONE (every effect in index order) and FORWARD (the best entry by SELECT at every step).
#include "selection/methods_internal.h"

namespace vsf {

int selectNone(SelectionState* s) {
  const SelectionRules* r = s->rules;
  for (int32_t k = firstSelectableIndex(s); k < s->layout.effectCount; ++k) {
    if (s->sweep.states[k] == EffectState::kHeldOut) continue;
    if (int rc = growBeforeEntry(s, k); rc != 0) return rc;
    if (int rc = enterEffect(s, k, 0, 0); rc != 0) return rc;
    if (pressWanted(r))
      if (int rc = computePress(s); rc != 0) return rc;
    if (holdoutWanted(r))
      if (int rc = computeHoldoutAse(s); rc != 0) return rc;
    if (int rc = initSelectionState(s, k); rc != 0) return rc;
  }
  s->run.stop.reason = stopreason::kAllEntered;
  return 0;
}

int selectForward(SelectionState* s) {
  const SelectionRules* r = s->rules;
  double bestStop, bestChoose, select;
  evalStepCriteria(s, &bestStop, &bestChoose, &select);
  if (!checkStopRules(s, s->steps.stepCount)) return 0;
  for (;;) {
    EntryChoice c;
    if (int rc = searchEntry(s, &c); rc != 0) return rc;
    if (c.effect < 0) {
      s->run.stop.reason = stopreason::kNoCandidate;
      return 0;
    }
    if (int rc = growBeforeEntry(s, c.effect); rc != 0) return rc;
    if (int rc = enterEffect(s, c.effect, resweepOnEntry(r), 0); rc != 0) return rc;
    if (int rc = refreshStatistics(s, c.value, true); rc != 0) return rc;
    int stop = 0;
    if (int rc = checkStopCriterion(s, c.effect, 1, c.value, &bestStop, &stop); rc != 0) return rc;
    if (stop) return 0;
    // A tie within the tolerance keeps the earlier step.
    updateChooseStep(s, c.value, bestStop, &bestChoose, 1);
    if (int rc = initSelectionState(s, c.effect); rc != 0) return rc;
    if (!checkStopRules(s, s->steps.stepCount)) return 0;
  }
}

}  // namespace vsf
