// BACKWARD from the full model, and the removal search that STEPWISE shares.
#include <cfloat>

#include "selection/methods_internal.h"

namespace vsf {

namespace {

bool removable(const SelectionState* s, int32_t e) {
  return s->states[e] == effstate::kSelected && dependantsOut(s, e);
}

// Removal values of the SL criterion are log p-values: the least significant effect wins.
bool removalWins(double value, double best, uint8_t code) {
  return code == kCritSl ? criterionBetter(best, value, code) : criterionBetter(value, best, code);
}

// Every effect one column: the SSE increase of dropping column g is b^2 / m, b and m its
// response entry and diagonal in the swept matrix; the smallest increase wins.
void fastRemoval(SelectionState* s, int32_t* effect, double* value) {
  const uint8_t code = s->options->select;
  const double sse = s->trainSse;
  const int32_t p = s->sweptColumns, m = s->effectsInModel;
  double smallest = DBL_MAX;
  int32_t winner = -1;
  auto valueOf = [&](double increase) {
    return criterionFromStats(s, code, sse, sse + increase, p, p - 1, m, m - 1);
  };
  for (int32_t e = 0; e < s->effectCount; ++e) {
    if (!removable(s, e)) continue;
    const int64_t g = s->firstColumn[e];
    double increase = 0;  // an aliased column takes nothing with it
    double diag = 1;
    if (s->flags[g] == '1') {
      const double b = s->swept[pk(g, 0)];
      diag = s->swept[pk(g, g)];
      increase = diag > 0 ? b * b / diag : DBL_MAX;
    }
    if (s->options->candidateValues && s->candidateValues)
      s->candidateValues[e] = diag > kPivotRelative ? valueOf(increase) : absentValue();
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
  const uint8_t code = s->options->select;
  saveModelState(s, 1);
  if (s->status < 0) return s->status;
  int rc = 0;
  for (int32_t e = 0; e < s->effectCount && rc == 0; ++e) {
    if (!removable(s, e)) continue;
    double v = absentValue(), sse = 0;
    rc = trialRemovalValue(s, e, code, &v, &sse);
    if (rc != 0) break;
    if (s->options->candidateValues && s->candidateValues && s->options->dropRule != 2)
      s->candidateValues[e] = isAbsent(v) ? (criterionIsMinimized(code) ? -DBL_MAX : DBL_MAX) : v;
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
  s->droppedForced = 0;
  s->aliasedCount = 0;
  for (int32_t pos = s->effectsInModel - 1; pos >= 0; --pos) {
    const int32_t e = s->entryOrder[pos];
    bool swept = false;
    for (int32_t j = 0; j < s->columnCount[e] && !swept; ++j)
      swept = s->flags[s->firstColumn[e] + j] == '1';
    if (swept) continue;
    const uint8_t state = s->states[e];
    removeEffect(s, e, 2);
    if (state == effstate::kForced) s->droppedForced += 1;
    if (s->aliasedList) s->aliasedList[s->aliasedCount++] = e;
  }
}

}  // namespace

void selectBestRemoval(SelectionState* s, int32_t* effect, double* value) {
  const SelectionOptions* o = s->options;
  const uint8_t code = o->select;
  *effect = -1;
  *value = code == kCritSl || criterionIsMaximized(code) ? -DBL_MAX : DBL_MAX;
  if (s->effectsInModel <= 1) return;
  if (o->candidateValues && s->candidateValues && o->dropRule != 2)
    std::fill(s->candidateValues, s->candidateValues + s->effectCount, absentValue());
  if (allSingleColumn(s) && !o->generalSearch && !selectByPass(o)) {
    fastRemoval(s, effect, value);
    return;
  }
  if (int rc = generalRemoval(s, effect, value); rc != 0) {
    if (s->status == 0) s->status = rc;
    *effect = -1;
  }
}

int selectBackward(SelectionState* s) {
  const SelectionOptions* o = s->options;
  dropAliased(s);
  if (o->hierarchy == 0) s->hierarchyOn = 0;
  s->trainSse = s->swept[0] > 0 ? s->swept[0] : 0;
  if (pressWanted(o))
    if (int rc = computePress(s); rc != 0) return rc;
  if (kfoldOn(s))
    if (int rc = computeCvPress(s); rc != 0) return rc;
  if (holdoutWanted(o))
    if (int rc = computeHoldoutAse(s); rc != 0) return rc;
  s->steps.sweptColumns[-1] = s->sweptColumns;
  s->steps.effects[-1] = s->effectsInModel;
  s->stepCount = 0;
  // The full model is the first model CHOOSE can pick.
  if (o->choose != kCritNone) s->chosenStep = 0;
  if (int rc = initSelectionState(s, -1); rc != 0) return rc;

  double bestStop, bestChoose, select;
  evalStepCriteria(s, &bestStop, &bestChoose, &select);
  if (!checkStopRules(s, s->stepCount)) return 0;
  for (;;) {
    int32_t e;
    double value;
    selectBestRemoval(s, &e, &value);
    if (s->status < 0) return s->status;
    if (e < 0) {
      s->stop.reason = stopreason::kNoRemoval;
      return 0;
    }
    removeEffect(s, e, 2);
    if (int rc = refreshStatistics(s, value, false); rc != 0) return rc;
    int stop = 0;
    if (int rc = checkStopCriterion(s, e, -1, value, &bestStop, &stop); rc != 0) return rc;
    if (stop) return 0;
    // A tie within the tolerance moves the chosen step to the later, smaller model.
    updateChooseStep(s, value, bestStop, &bestChoose, -1);
    if (int rc = initSelectionState(s, e); rc != 0) return rc;
    if (!checkStopRules(s, s->stepCount)) return 0;
  }
}

}  // namespace vsf
