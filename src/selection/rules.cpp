// The criteria of a step, the CHOOSE rule and the stop rules the classical methods share.
#include <cfloat>
#include <cmath>

#include "selection/methods_internal.h"

namespace vsf {

namespace {

// A criterion of the last recorded step. PRESS, VALIDATE and CV are those of the current
// model, which is that step's, as computed rather than as recorded.
double stepValue(SelectionState* s, CriterionCode code) {
  if (!criterionOfModel(code)) return absentValue();
  if (s->steps.stepCount == 0) return worstValue(code);
  if (criterionByPass(code)) return criterionValue(s, code);
  return stepCriterion(s->steps, code, s->steps.stepCount - 1);
}

// tol x |A| >= |A - B| on the values divided by 1000, so that huge values do not overflow.
bool closeTo(double v, double best, double tol) {
  const double a = v / 1000, b = best / 1000;
  return tol * std::fabs(a) >= std::fabs(a - b);
}

// The STOP test's verdict: clears *stop when the candidate step improves the criterion.
void judge(SelectionState* s, CriterionCode c, bool entry, double v, double* best, int* stop) {
  const SelectionRules* r = s->rules;
  auto refuse = [&] { s->run.stop.reason = stopreason::kCriterion; };
  if (c == kCritSl) {
    const bool ok = entry ? std::log(r->entryLevel) > v : v > std::log(r->stayLevel);
    if (ok) {
      *stop = 0;
    } else {
      *best = v;
      refuse();
    }
    return;
  }
  const bool equal = closeTo(v, *best, s->fit.tol);
  if (criterionIsMinimized(c)) {
    if (isAbsent(*best)) {
      *best = v;
      *stop = 0;
    } else if (entry ? (equal || *best <= v) : (!equal && v > *best)) {
      refuse();
    } else {
      *best = v;
      *stop = 0;
    }
    return;
  }
  // Maximised: a missing best value refuses the step, as the comparisons below do.
  if (entry ? (equal || v <= *best || isAbsent(*best))
            : (!equal && (v < *best || isAbsent(*best)))) {
    refuse();
  } else {
    *best = v;
    *stop = 0;
  }
}

// The step was refused: it is undone and the statistics of the last recorded step return.
int undoStep(SelectionState* s, int32_t effect, bool entry, double v) {
  const SelectionRules* r = s->rules;
  if (entry) {
    s->run.stop.entryEffect = effect;
    s->run.stop.entryValue = v;
    removeEffect(s, effect, Removal::kStep);
  } else {
    s->run.stop.removalEffect = effect;
    s->run.stop.removalValue = v;
    if (int rc = enterEffect(s, effect, competitiveDrop(r->dropRule), 0); rc != 0) return rc;
  }
  if (s->steps.stepCount == 0) return 0;
  const int32_t last = s->steps.stepCount - 1;
  const StepHistory& h = s->steps;
  restoreStepValue(s->steps, kCritPress, last, &s->fit.press);
  restoreStepValue(s->steps, kCritValidate, last, &s->fit.validAse);
  if (h.testAse) s->fit.testAse = h.testAse[last];
  if (kfoldOn(s)) {
    if (foldDetails(s->cv)) return computeCvPress(s);  // the folds' own sums are wanted too
    restoreStepValue(s->steps, kCritCv, last, &s->fit.cvPress);
  }
  return 0;
}

}  // namespace

void evalStepCriteria(SelectionState* s, double* stopValue, double* chooseValue,
                      double* selectValue) {
  const SelectionRules* r = s->rules;
  *stopValue = stepValue(s, r->stop);
  *chooseValue = absentValue();
  if (r->choose == r->stop && r->choose != kCritNone) {
    *chooseValue = *stopValue;
  } else if (r->choose == kCritCvExternal) {
    *chooseValue = s->steps.stepCount == 0 ? DBL_MAX : criterionValue(s, kCritCvExternal);
  } else if (r->choose != kCritNone) {
    *chooseValue = stepValue(s, r->choose);
  }
  if (s->cv->externalCv) {
    *chooseValue = s->path.heldOutFold != s->path.extCvFolds
                       ? s->fit.extCvValue
                       : (s->path.extCvValues ? s->path.extCvValues[0] : absentValue());
  }
  double select = absentValue();
  if (r->select == kCritSl) {
    select = absentValue();  // a significance level has no value of its own
  } else if (r->select == r->stop) {
    select = *stopValue;
  } else if (r->select == r->choose) {
    select = *chooseValue;
  } else {
    select = stepValue(s, r->select);
  }
  if (selectValue) *selectValue = select;
  if (r->stop == kCritNone) *stopValue = select;
}

void updateChooseStep(SelectionState* s, double selectValue, double stopValue, double* best,
                      int mode) {
  const SelectionRules* r = s->rules;
  if (r->choose == kCritNone) return;
  double v;
  if (r->choose == r->select)
    v = selectValue;
  else if (r->choose == r->stop)
    v = stopValue;
  else
    v = criterionValue(s, r->choose);
  if (criterionBetterTol(v, *best, r->choose, mode, s->fit.tol) || s->fit.trainSse <= 0) {
    *best = v;
    s->run.chosenStep = s->steps.stepCount;
  }
}

int checkStopCriterion(SelectionState* s, int32_t effect, int mode, double candidateValue,
                       double* best, int* stop) {
  const SelectionRules* r = s->rules;
  const uint8_t forcedStop = s->run.stop.reason;
  const bool pathStop =
      forcedStop == stopreason::kStepTooSmall || forcedStop == stopreason::kLambdaFlat;
  const bool active = r->stop != kCritNone && !r->steps && !r->stopSteps;
  *stop = 0;
  if (!active && !pathStop) return 0;
  const bool entry = mode == 1;
  const CriterionCode c = r->stop != kCritNone ? r->stop : r->select;
  const double v = c == r->select ? candidateValue : criterionValue(s, c);
  *stop = -1;
  if (!entry && s->fit.trainSse <= 0) {
    *stop = 0;
  } else if (isAbsent(v)) {
    s->run.stop.reason = stopreason::kCriterion;
  } else if (!criterionOfModel(c) && criterionInfo(c).kind != CriterionKind::kChange) {
    *stop = 0;
  } else {
    judge(s, c, entry, v, best, stop);
  }
  if (s->runFlags.method == kMethodGroupLasso) {
    if (*stop == -1) {
      s->fit.trainSse =
          s->steps.stepCount > 0 ? s->steps.sse[s->steps.stepCount - 1] : s->fit.trainSse;
      s->run.stop.entryValue = v;
      if (s->steps.stepCount > 0)
        restoreStepValue(s->steps, kCritValidate, s->steps.stepCount - 1, &s->fit.validAse);
      if (s->steps.stepCount > 0 && s->steps.testAse)
        s->fit.testAse = s->steps.testAse[s->steps.stepCount - 1];
    }
    return 0;
  }
  if (s->run.stop.reason == stopreason::kStepTooSmall ||
      s->run.stop.reason == stopreason::kLambdaFlat)
    *stop = -1;
  if (*stop != -1) return 0;
  return undoStep(s, effect, entry, v);
}

int checkStopRules(SelectionState* s, int32_t step) {
  const SelectionRules* r = s->rules;
  const bool backward = s->runFlags.method == kMethodBackward;
  const int32_t k0 = s->layout.firstSelectable - s->run.droppedForced;
  const int32_t E = s->layout.effectCount - (r->noInt ? 1 : 0);
  const int32_t m = s->sweep.effectsInModel, L = s->steps.stepCapacity, S = r->steps;
  const int32_t offset = backward ? 1 : k0;
  const bool grouped = groupedStandardization(r);
  int go = 1;
  auto stopWith = [&](uint8_t reason) {
    s->run.stop.reason = reason;
    go = 0;
  };
  if (backward && m == 1 && r->noInt) {
    stopWith(stopreason::kOneLeft);
  } else if (!backward && !grouped && fitsExactly(s->totals, s->fit.trainSse)) {
    stopWith(stopreason::kPerfectFit);
  } else if (S != 0 && step >= S + offset) {
    stopWith(stopreason::kStepsDone);
  } else if (step >= L + offset) {
    stopWith(m == E && !grouped ? stopreason::kAllIn : stopreason::kStepLimit);
  } else if (r->stopSteps != 0 && r->stopSteps == m) {
    stopWith(stopreason::kStopSize);
  } else if (m == E && (s->runFlags.method == kMethodForward || s->runFlags.method == kMethodLar)) {
    stopWith(stopreason::kAllIn);
  } else if (m == k0 && backward) {
    stopWith(stopreason::kOnlyForced);
  }
  // STOP=L1: the penalty target reached overrides the rules above.
  if (r->stop == kCritL1 && r->l1ChoiceStop != kL1ChoiceNone && s->fit.penalty >= 0) {
    const double P = s->fit.penalty;
    double x = s->path.stepLambda, y = P;
    if (r->l1ChoiceStop == kL1ChoiceRatio) y = P * s->path.lambdaMax;
    if (r->l1ChoiceStop == kL1ChoiceNorm) x = s->path.l1Norm;
    if (closeTo(x, y, s->fit.tol)) stopWith(stopreason::kL1Reached);
  }
  return go;
}

}  // namespace vsf
