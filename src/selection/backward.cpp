// BACKWARD from the full model, and the removal search that STEPWISE shares.
#include <cfloat>

#include "selection/methods_internal.h"

namespace vsf {

namespace {

bool removable(const SelectionState* s, int32_t e) {
  return s->sweep.states[e] == EffectState::kSelected && dependantsOut(s, e);
}

// Removal values of the SL criterion are log p-values: the least significant effect wins.
bool removalWins(double value, double best, CriterionCode code) {
  return code == kCritSl ? criterionBetter(best, value, code) : criterionBetter(value, best, code);
}

// Every effect one column: the SSE increase of dropping column g is b^2 / m, b and m its
// response entry and diagonal in the swept matrix; the smallest increase wins.
void fastRemoval(SelectionState* s, int32_t* effect, double* value) {
  const CriterionCode code = s->rules->select;
  const double sse = s->fit.trainSse;
  const int32_t p = s->sweep.sweptColumns, m = s->sweep.effectsInModel;
  double smallest = DBL_MAX;
  int32_t winner = -1;
  auto valueOf = [&](double increase) {
    return criterionFromStats(s, code, sse, sse + increase, p, p - 1, m, m - 1);
  };
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!removable(s, e)) continue;
    const int64_t g = s->sweep.firstColumn[e];
    double increase = 0;  // an aliased column takes nothing with it
    double diag = 1;
    if (s->sweep.flags[g] == '1') {
      const double b = s->sweep.swept[pk(g, 0)];
      diag = s->sweep.swept[pk(g, g)];
      increase = diag > 0 ? b * b / diag : DBL_MAX;
    }
    if (s->rules->candidateValues && s->sweep.candidateValues)
      s->sweep.candidateValues[e] = diag > 0 ? valueOf(increase) : absentValue();
    if (winner < 0 || increase < smallest) {
      smallest = increase;
      winner = e;
    }
  }
  if (winner < 0) return;
  *effect = winner;
  *value = valueOf(smallest);
}

// Otherwise every removable effect is removed on trial in the checkpointed model.
int generalRemoval(SelectionState* s, int32_t* effect, double* value) {
  const CriterionCode code = s->rules->select;
  saveModelState(s, 1);
  if (s->run.status < 0) return s->run.status;
  int rc = 0;
  for (int32_t e = 0; e < s->layout.effectCount && rc == 0; ++e) {
    if (!removable(s, e)) continue;
    double v = absentValue(), sse = 0;
    rc = trialRemovalValue(s, e, code, &v, &sse);
    if (rc != 0) break;
    if (s->rules->candidateValues && s->sweep.candidateValues &&
        !competitiveDrop(s->rules->dropRule))
      s->sweep.candidateValues[e] =
          isAbsent(v) ? (criterionIsMinimized(code) ? -DBL_MAX : DBL_MAX) : v;
    if (removalWins(v, *value, code)) {
      *value = v;
      *effect = e;
    }
  }
  restoreModelState(s);
  return rc;
}

// Effects the full model holds without any swept column leave before step 0.
void dropAliased(SelectionState* s) {
  s->run.droppedForced = 0;
  s->sweep.aliasedCount = 0;
  for (int32_t pos = s->sweep.effectsInModel - 1; pos >= 0; --pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    bool swept = false;
    for (int32_t j = 0; j < s->layout.columnCount[e] && !swept; ++j)
      swept = s->sweep.flags[s->sweep.firstColumn[e] + j] == '1';
    if (swept) continue;
    const EffectState state = s->sweep.states[e];
    removeEffect(s, e, Removal::kStep);
    if (state == EffectState::kForced) s->run.droppedForced += 1;
    if (s->sweep.aliasedList) s->sweep.aliasedList[s->sweep.aliasedCount++] = e;
  }
}

}  // namespace

void selectBestRemoval(SelectionState* s, int32_t* effect, double* value) {
  const SelectionRules* r = s->rules;
  const CriterionCode code = r->select;
  *effect = -1;
  *value = code == kCritSl || criterionIsMaximized(code) ? -DBL_MAX : DBL_MAX;
  if (s->sweep.effectsInModel <= 1) return;
  if (r->candidateValues && s->sweep.candidateValues && !competitiveDrop(r->dropRule))
    std::fill(s->sweep.candidateValues, s->sweep.candidateValues + s->layout.effectCount,
              absentValue());
  if (allSingleColumn(s->layout) && !r->generalSearch && !selectByPass(r)) {
    fastRemoval(s, effect, value);
    return;
  }
  if (int rc = generalRemoval(s, effect, value); rc != 0) {
    if (s->run.status == 0) s->run.status = rc;
    *effect = -1;
  }
}

int selectBackward(SelectionState* s) {
  const SelectionRules* r = s->rules;
  dropAliased(s);
  if (r->hierarchy == 0) s->sweep.hierarchyOn = 0;
  s->fit.trainSse = s->sweep.swept[0] > 0 ? s->sweep.swept[0] : 0;
  if (pressWanted(r))
    if (int rc = computePress(s); rc != 0) return rc;
  if (kfoldOn(s))
    if (int rc = computeCvPress(s); rc != 0) return rc;
  if (holdoutWanted(r))
    if (int rc = computeHoldoutAse(s); rc != 0) return rc;
  s->steps.sweptColumns[-1] = s->sweep.sweptColumns;
  s->steps.effects[-1] = s->sweep.effectsInModel;
  s->steps.stepCount = 0;
  // The full model is the first model CHOOSE can pick.
  if (r->choose != kCritNone) s->run.chosenStep = 0;
  if (int rc = initSelectionState(s, -1); rc != 0) return rc;

  double bestStop, bestChoose, select;
  evalStepCriteria(s, &bestStop, &bestChoose, &select);
  if (!checkStopRules(s, s->steps.stepCount)) return 0;
  for (;;) {
    int32_t e;
    double value;
    selectBestRemoval(s, &e, &value);
    if (s->run.status < 0) return s->run.status;
    if (e < 0) {
      s->run.stop.reason = stopreason::kNoRemoval;
      return 0;
    }
    removeEffect(s, e, Removal::kStep);
    if (int rc = refreshStatistics(s, value, false); rc != 0) return rc;
    int stop = 0;
    if (int rc = checkStopCriterion(s, e, -1, value, &bestStop, &stop); rc != 0) return rc;
    if (stop) return 0;
    // A tie within the tolerance moves the chosen step to the later, smaller model.
    updateChooseStep(s, value, bestStop, &bestChoose, -1);
    if (int rc = initSelectionState(s, e); rc != 0) return rc;
    if (!checkStopRules(s, s->steps.stepCount)) return 0;
  }
}

}  // namespace vsf
