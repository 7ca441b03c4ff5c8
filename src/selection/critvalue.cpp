// Criterion values of the current model: closed forms from the fit statistics, and PRESS,
// validation ASE and CV PRESS by one pass each, kept until the model changes.
#include "selection/selection_internal.h"

namespace vsf {

namespace {

// A pass that fails leaves the value missing (it never wins) and the run status set.
int failed(SelectionState* s, int rc, double* value) {
  *value = absentValue();
  if (s->status == 0) s->status = rc;
  return rc;
}

double sstOf(const SelectionState* s) { return s->correctedSS; }

// External cross-validation value of a penalized path, interpolated on its grid.
double externalCvValue(SelectionState* s) {
  const SelectionOptions* o = s->options;
  if (!o->externalCv) return absentValue();
  if (s->heldOutFold != s->extCvFolds) return s->extCvValue;
  if (o->cvPerPathStep) return s->extCvValues ? s->extCvValues[s->stepCount] : absentValue();
  const double* g = s->extCvGrid;
  const double* cv = s->extCvValues;
  const int32_t m = s->extCvCount;
  if (!g || !cv || m < 1) return absentValue();
  double x = o->l1Choice == 2 ? s->l1Norm : s->stepLambda;
  if (o->l1Choice == 1) x = s->lambdaMax > 0 ? s->stepLambda / s->lambdaMax : absentValue();
  if (isAbsent(x)) return absentValue();
  const bool falling = o->l1Choice != 2;
  double v;
  if (falling ? x <= g[m - 1] : x >= g[m - 1]) {
    v = cv[m - 1];
  } else if (falling ? x >= g[0] : x <= g[0]) {
    v = cv[0];
  } else {
    int32_t lo = 0, hi = m - 1;
    while (hi - lo > 1) {
      const int32_t mid = (lo + hi) / 2;
      if (falling ? x > g[mid] : g[mid] > x)
        hi = mid;
      else
        lo = mid;
    }
    v = cv[hi] + (x - g[hi]) * (cv[lo] - cv[hi]) / (g[lo] - g[hi]);
  }
  s->extCvValue = v;
  return v;
}

// Codes 9 to 14: the values of the model held in the state.
double stateValue(SelectionState* s, uint8_t code) {
  double v = absentValue();
  switch (code) {
    case kCritPress:
      return computePress(s) == 0 ? s->press : v;
    case kCritValidate:
      return computeHoldoutAse(s) == 0 ? s->validAse : v;
    case kCritCv:
      return computeCvPress(s) == 0 ? s->cvPress : v;
    case kCritStopNone:
      return 0;
    case kCritCvExternal:
      return externalCvValue(s);
    case kCritL1:
      return s->penalty;
    default:
      return 0;
  }
}

}  // namespace

void invalidateDataCriteria(SelectionState* s) {
  const double m = absentValue();
  s->press = s->validAse = s->testAse = s->cvPress = m;
}

int computePress(SelectionState* s) {
  if (!isAbsent(s->press)) return 0;
  s->press = 0;
  if (int rc = runDataPass(s, kernPress, 0); rc != 0) return failed(s, rc, &s->press);
  return 0;
}

// Validation and test ASE come from one pass; either one present blocks a new pass.
int computeHoldoutAse(SelectionState* s) {
  if (!isAbsent(s->validAse) || !isAbsent(s->testAse)) return 0;
  s->validAse = s->testAse = 0;
  if (int rc = runDataPass(s, kernHoldoutSse, 0); rc != 0) {
    s->testAse = absentValue();
    return failed(s, rc, &s->validAse);
  }
  s->validAse = s->validWeight > 0 ? s->validAse / s->validWeight : absentValue();
  s->testAse = s->testWeight > 0 ? s->testAse / s->testWeight : absentValue();
  return 0;
}

// CV PRESS is the sum of the folds' sums, in fold order (not their mean).
int computeCvPress(SelectionState* s) {
  if (!isAbsent(s->cvPress)) return 0;
  if (!kfoldOn(s)) return failed(s, 0, &s->cvPress);
  for (int32_t f = 0; f < s->folds; ++f) s->foldRecs[f].sse = 0;
  if (int rc = runDataPass(s, kernFoldCvSse, 0); rc != 0) return failed(s, rc, &s->cvPress);
  double sum = 0;
  for (int32_t f = 0; f < s->folds; ++f) sum += s->foldRecs[f].sse;
  s->cvPress = sum;
  return 0;
}

double criterionValue(SelectionState* s, uint8_t code) {
  const double sse = s->trainSse, n = s->trainFreq;
  const int32_t p = s->sweptColumns;
  const int32_t last = s->stepCount - 1;
  const double prevSse = s->stepCount > 0 ? s->steps.sse[last] : s->correctedSS;
  const int32_t prevP = s->steps.sweptColumns ? s->steps.sweptColumns[last] : 0;
  const int32_t prevE = s->steps.effects ? s->steps.effects[last] : 0;
  switch (code) {
    case kCritSl:
      return effectFTestLogPValue(prevSse, prevP, sse, p, prevE, s->effectsInModel, n, nullptr,
                                  s->tol);
    case kCritAic:
      return critAIC(sse, n, p);
    case kCritAicc:
      return critAICC(sse, n, p);
    case kCritSbc:
      return critSBC(sse, n, p);
    case kCritRsquare:
      return critRSquare(sse, sstOf(s));
    case kCritAdjRsq:
      return critAdjRSquare(sse, sstOf(s), n, p, s->options->noInt);
    case kCritCp:
      return critCP(sse, n, p, s->sigma2Full);
    case kCritBic:
      return critBIC(sse, n, p, s->sigma2Full);
    default:
      return stateValue(s, code);
  }
}

// A trial model described by its SSE and counts. PRESS, VALIDATE and CV of a candidate are
// not functions of these: they are missing here, and a candidate is judged by them only
// through a trial move (trialEntryValue, trialRemovalValue).
double criterionFromStats(SelectionState* s, uint8_t code, double baseSse, double trialSse,
                          int32_t baseParams, int32_t trialParams, int32_t baseEffects,
                          int32_t trialEffects) {
  const double n = s->trainFreq;
  switch (code) {
    case kCritSl:
      return effectFTestLogPValue(baseSse, baseParams, trialSse, trialParams, baseEffects,
                                  trialEffects, n, nullptr, s->tol);
    case kCritAic:
      return critAIC(trialSse, n, trialParams);
    case kCritAicc:
      return critAICC(trialSse, n, trialParams);
    case kCritSbc:
      return critSBC(trialSse, n, trialParams);
    case kCritRsquare:
      return critRSquare(trialSse, sstOf(s));
    case kCritAdjRsq:
      return critAdjRSquare(trialSse, sstOf(s), n, trialParams, s->options->noInt);
    case kCritCp:
      return critCP(trialSse, n, trialParams, s->sigma2Full);
    case kCritBic:
      return critBIC(trialSse, n, trialParams, s->sigma2Full);
    case kCritPress:
    case kCritValidate:
    case kCritCv:
      return absentValue();
    default:
      return stateValue(s, code);
  }
}

}  // namespace vsf
