// The LAR, LASSO and elastic-net path: the gradient at the start, lambda-max, the screening of
// the candidates, then one step after another until a stop rule ends the path, each step
// judged by the STOP and CHOOSE criteria and recorded.
#include <algorithm>
#include <cmath>

#include "base/codes.h"
#include "base/host.h"
#include "penalized/path_internal.h"

namespace vsf {

namespace {

template <typename T>
bool take(SelectionState* s, T** p, int64_t n) {
  *p = static_cast<T*>(
      kernel().poolAlloc(s->modelPool, sizeof(T) * static_cast<size_t>(n + 1), kAllocZero));
  return *p != nullptr;
}

int allocatePath(SelectionState* s) {
  const int64_t E = s->layout.effectCount, p = s->layout.paramCount;
  PathState& t = s->path;
  PathScreening& sc = t.screen;
  if (!take(s, &t.gradient, E) || !take(s, &t.coef, E) || !take(s, &t.direction, E) ||
      !take(s, &t.products, E) || !take(s, &t.sign, E) || !take(s, &t.reported, E) ||
      !take(s, &t.work, E) || !take(s, &t.savedEstimates, p) || !take(s, &t.savedStdEstimates, p))
    return rc::kMemory;
  if (sc.code == kScreenNone || sc.code == kScreenBase) return 0;
  if (!take(s, &sc.states, E) || !take(s, &sc.bound, E) || !take(s, &sc.reference, E) ||
      !take(s, &sc.squares, E) || !take(s, &sc.inList, E) || !take(s, &sc.outList, E) ||
      !take(s, &sc.newList, E) || !take(s, &sc.sisCorrelation, E) || !take(s, &sc.sisEffect, E))
    return rc::kMemory;
  return 0;
}

// The gradient of every effect and the SSE of every class at the start (intercept only).
int startGradient(SelectionState* s) {
  PathState& p = s->path;
  p.validSse = p.testSse = p.heldOutSse = p.heldOutDirection = 0;
  if (!crossproductsMode(s->sweep)) return runDataPass(s, kernPathSseGrad, 0);
  for (int32_t e = 0; e < s->layout.effectCount; ++e)
    p.gradient[e] = s->sweep.sscp[pk(s->sweep.firstColumn[e], 0)];
  s->fit.trainSse = std::max(0.0, s->sweep.swept[0]);
  return s->cv->externalCv ? heldOutStatistics(s, false) : 0;
}

// The largest |g| of the effects that may enter; the model that holds them all.
void lambdaMaxAndLargestModel(SelectionState* s) {
  double most = 0;
  int32_t free = 0;
  for (int32_t e = firstPathEffect(s); e < s->layout.effectCount; ++e) {
    if (s->sweep.states[e] != EffectState::kFree) continue;
    most = std::max(most, std::fabs(s->path.gradient[e]));
    free += 1;
  }
  s->path.lambdaMax = most;
  s->path.largestModel = s->sweep.effectsInModel + free;
}

void screenCandidates(SelectionState* s) {
  PathScreening& sc = s->path.screen;
  // With nothing to enter, the safe rules have nothing to bound.
  if (safeScreening(sc.code) &&
      (s->path.lambdaMax == 0 || s->path.largestModel == s->sweep.effectsInModel))
    sc.code = kScreenNone;
  if (sc.code == kScreenSis) rankSis(s);
  if (!safeScreening(sc.code)) return;
  startSafeScreening(s);
  if (!s->pathOptions->showScreen) return;
  hostLogPrintf(
      ">>>>>>>>>> iStep, \t screenInSetSize, screenInNewSize, \t ratio, \t lambdaSure, "
      "L1Current \t");
  hostLogPrintf(">>>>>>>>>> {}, \t {}, \t {}, \t {:.5f}, \t {:.5f}, \t {:.5f}", s->steps.stepCount,
                sc.inCount, 0, sc.thresholdRatio, sc.thresholdLambda, s->path.stepLambda);
}

}  // namespace

void saveStepEstimates(SelectionState* s, bool back) {
  const int64_t p = s->layout.paramCount;
  double* est = s->sweep.estimates;
  double* std = s->sweep.stdEstimates;
  if (back) {
    copyDoubles(est, s->path.savedEstimates, p);
    copyDoubles(std, s->path.savedStdEstimates, p);
  } else {
    copyDoubles(s->path.savedEstimates, est, p);
    copyDoubles(s->path.savedStdEstimates, std, p);
  }
}

int runLarPath(SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  s->path.screen.code = o->screen;
  if (int rc = allocatePath(s); rc != 0) return rc;
  double current = 0, second = 0;
  evalStepCriteria(s, &current, &second, nullptr);
  if (int rc = startGradient(s); rc != 0) return rc;
  lambdaMaxAndLargestModel(s);
  s->path.stepLambda = s->path.lambdaMax;
  s->path.l1Norm = s->path.pathSecond = 0;
  screenCandidates(s);
  // The intercept's step stands at lambda-max.
  if (!o->noInt && s->steps.stepCount > 0) {
    s->steps.lambdaRatio[0] = 1.0;
    s->steps.l1Norm[0] = s->steps.pathSecond[0] = 0;
  }
  // The steps of the forced effects, recorded before the path, all stand at its start.
  s->path.heldOutCurvature = 0;
  takeHeldOutValue(s->path, &s->fit);
  for (int32_t i = 0; i < s->steps.stepCount && s->steps.heldOutSse; ++i) {
    s->steps.heldOutSse[i] = s->path.heldOutSse;
    s->steps.pathExtra[i] = 0;
  }

  int32_t step = o->noInt ? 0 : 1, marker = -1, entered = -1;
  for (;;) {
    if (!checkStopRules(s, step)) return 0;
    const int kind = marker == -1 ? 1 : -1;
    if (o->stop != kCritNone) saveStepEstimates(s, false);
    if (int rc = larStep(s, &entered, &marker); rc != 0) return rc;
    const uint8_t reason = s->run.stop.reason;
    if (reason != 0 && reason != stopreason::kStepTooSmall && reason != stopreason::kLambdaFlat)
      return 0;
    int go = 0;
    if (int rc = checkStopCriterion(s, entered, kind, 0.0, &current, &go); rc != 0) return rc;
    if (s->run.stop.reason == stopreason::kCriterion) saveStepEstimates(s, true);
    if (go == -1) return 0;
    if (o->pressPerStep)
      if (int rc = computePress(s); rc != 0) return rc;
    updateChooseStep(s, current, current, &second, kind);
    if (int rc = initSelectionState(s, entered); rc != 0) return rc;
    if (s->sweep.effectsInModel >= s->path.largestModel && marker == -1) {
      s->run.stop.reason = stopreason::kAllIn;
      return 0;
    }
    ++step;
  }
}

}  // namespace vsf
