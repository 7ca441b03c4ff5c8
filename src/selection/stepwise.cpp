// STEPWISE: each pass enters the best effect when it improves the model and then removes
// effects while that improves it; the competitive variant takes the better of the best entry
// and the best removal at every step.
#include <cmath>

#include "selection/methods_internal.h"

namespace vsf {

namespace {

struct Pass {
  double bestStop = 0, bestChoose = 0;
  double current = 0;                    // SELECT value of the current model
  double enterLevel = 0, stayLevel = 0;  // log significance levels under SELECT=SL
  int32_t lastRemoved = -1;
};

int enter(SelectionState* s, int32_t e) {
  if (int rc = growBeforeEntry(s, e); rc != 0) return rc;
  return enterEffect(s, e, resweepOnEntry(s->rules), 0);
}

// The STOP value of a move that SELECT refused, for the stop block: the move is made for a
// moment and undone.
int refusedMoveValue(SelectionState* s, int32_t e, bool entry, double* value) {
  const SelectionRules* r = s->rules;
  if (entry) {
    if (int rc = enter(s, e); rc != 0) return rc;
  } else {
    removeEffect(s, e, Removal::kStep);
  }
  if (int rc = refreshStatistics(s, absentValue(), entry); rc != 0) return rc;
  *value = criterionValue(s, r->stop);
  if (entry)
    removeEffect(s, e, Removal::kStep);
  else if (int rc = enter(s, e); rc != 0)
    return rc;
  return refreshStatistics(s, absentValue(), !entry);
}

bool selectAccepts(SelectionState* s, Pass& p, double value, bool entry) {
  const CriterionCode code = s->rules->select;
  if (code == kCritSl) return entry ? value < p.enterLevel : value > p.stayLevel;
  if (!criterionBetterFuzz(value, p.current, code, s->rules->fuzz)) return false;
  p.current = value;
  return true;
}

// The entry of one pass; *changed when it was made and kept.
int entryPhase(SelectionState* s, Pass& p, int32_t e, double value, bool* changed) {
  const SelectionRules* r = s->rules;
  if (!selectAccepts(s, p, value, true)) {
    s->run.stop.entryEffect = e;
    if (r->select == r->stop)
      s->run.stop.entryValue = value;
    else if (r->stop != kCritNone)
      return refusedMoveValue(s, e, true, &s->run.stop.entryValue);
    return 0;
  }
  if (int rc = enter(s, e); rc != 0) return rc;
  if (int rc = refreshStatistics(s, value, true); rc != 0) return rc;
  int stop = 0;
  if (int rc = checkStopCriterion(s, e, 1, value, &p.bestStop, &stop); rc != 0) return rc;
  if (stop) return 0;
  updateChooseStep(s, value, p.bestStop, &p.bestChoose, 1);
  if (int rc = initSelectionState(s, e); rc != 0) return rc;
  p.lastRemoved = -1;
  *changed = true;
  return 0;
}

// Removals while they improve the model; *changed when one was kept.
int removalPhase(SelectionState* s, Pass& p, bool* changed) {
  const SelectionRules* r = s->rules;
  while (s->fit.trainSse > 0 && checkStopRules(s, s->steps.stepCount)) {
    int32_t e;
    double value;
    selectBestRemoval(s, &e, &value);
    if (s->run.status < 0) return s->run.status;
    s->run.stop.removalValue = value;
    if (e < 0) {
      s->run.stop.removalEffect = -1;
      return 0;
    }
    if (!selectAccepts(s, p, value, false)) {
      s->run.stop.removalEffect = e;
      if (r->select != r->stop && r->stop != kCritNone)
        return refusedMoveValue(s, e, false, &s->run.stop.removalValue);
      return 0;
    }
    keepScores(s);
    removeEffect(s, e, Removal::kStep);
    if (int rc = refreshStatistics(s, value, false); rc != 0) return rc;
    int stop = 0;
    if (int rc = checkStopCriterion(s, e, -1, value, &p.bestStop, &stop); rc != 0) return rc;
    if (stop) {
      *changed = false;
      return 0;
    }
    updateChooseStep(s, value, p.bestStop, &p.bestChoose, -1);
    if (int rc = initSelectionState(s, e); rc != 0) return rc;
    p.lastRemoved = e;
    *changed = true;
  }
  return 0;
}

uint8_t noEntryReason(const SelectionState* s) {
  const int32_t all = s->layout.effectCount - (s->rules->noInt ? 1 : 0);
  return s->sweep.effectsInModel == all ? stopreason::kAllIn : stopreason::kNoCandidate;
}

Pass startPass(SelectionState* s) {
  const SelectionRules* r = s->rules;
  Pass p;
  evalStepCriteria(s, &p.bestStop, &p.bestChoose, &p.current);
  const bool sl = r->select == kCritSl;
  p.enterLevel = sl ? std::log(r->entryLevel) : absentValue();
  p.stayLevel = sl ? std::log(r->stayLevel) : absentValue();
  return p;
}

}  // namespace

int selectStepwise(SelectionState* s) {
  const SelectionRules* r = s->rules;
  Pass p = startPass(s);
  bool changed = true;
  while (checkStopRules(s, s->steps.stepCount) && changed) {
    changed = false;
    EntryChoice c;
    if (int rc = searchEntry(s, &c); rc != 0) return rc;
    if (c.effect < 0) {
      s->run.stop.reason = noEntryReason(s);
      break;
    }
    if (c.effect == p.lastRemoved) {
      s->run.stop.reason = stopreason::kCycle;
      break;
    }
    if (int rc = entryPhase(s, p, c.effect, c.value, &changed); rc != 0) return rc;
    if (int rc = removalPhase(s, p, &changed); rc != 0) return rc;
  }
  if (s->run.stop.reason == 0) {
    if (r->select == r->stop && (r->steps == 0 || s->steps.stepCount >= r->steps))
      s->run.stop.reason = stopreason::kCriterion;
    else
      s->run.stop.reason =
          r->select == kCritSl ? stopreason::kStepwiseSl : stopreason::kStepwiseOther;
  }
  return 0;
}

int selectStepwiseCompetitive(SelectionState* s) {
  const SelectionRules* rules = s->rules;
  Pass p = startPass(s);
  if (!checkStopRules(s, s->steps.stepCount)) return 0;
  for (;;) {
    EntryChoice c;
    if (int rc = searchEntry(s, &c); rc != 0) return rc;
    int32_t r;
    double removalValue;
    selectBestRemoval(s, &r, &removalValue);
    if (s->run.status < 0) return s->run.status;
    // With no effect to enter (all are in, say) a removal is still taken when it improves the
    // criterion, as the default STEPWISE and R's step() take it; otherwise the run ends.
    if (c.effect < 0 && (r < 0 || !criterionBetter(removalValue, p.current, rules->select))) {
      s->run.stop.reason = noEntryReason(s);
      return 0;
    }
    // An equal or missing entry value takes the removal; without a removal the entry stands.
    const bool entry =
        c.effect >= 0 && (r < 0 || criterionBetter(c.value, removalValue, rules->select));
    const int32_t e = entry ? c.effect : r;
    const double value = entry ? c.value : removalValue;
    bool cycle = false;
    if (entry) {
      if (int rc = enter(s, e); rc != 0) return rc;
      cycle = e == p.lastRemoved;
      p.lastRemoved = -1;
    } else {
      removeEffect(s, e, Removal::kStep);
      p.lastRemoved = e;
    }
    if (int rc = refreshStatistics(s, value, entry); rc != 0) return rc;
    int stop = 0;
    if (int rc = checkStopCriterion(s, e, entry ? 1 : -1, value, &p.bestStop, &stop); rc != 0)
      return rc;
    if (stop) return 0;
    p.current = value;
    updateChooseStep(s, value, p.bestStop, &p.bestChoose, entry ? 1 : -1);
    if (int rc = initSelectionState(s, e); rc != 0) return rc;
    if (cycle) {
      s->run.stop.reason = stopreason::kCycle;
      return 0;
    }
    if (!checkStopRules(s, s->steps.stepCount)) return 0;
  }
}

}  // namespace vsf
