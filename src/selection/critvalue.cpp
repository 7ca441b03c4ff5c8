// Criterion values through the table of criteria: of the current model, of a trial model and
// of each recorded step; PRESS, validation ASE and CV PRESS by one pass each, kept until the
// model changes.
#include "selection/selection_internal.h"

namespace vsf {

namespace {

// A pass that fails leaves the value missing (it never wins) and the run status set.
int failed(SelectionState* s, int rc, double* value) {
  *value = absentValue();
  if (s->run.status == 0) s->run.status = rc;
  return rc;
}

// External cross-validation value of a penalized path, interpolated on its grid.
double externalCvValue(SelectionState* s) {
  if (!s->cv->externalCv) return absentValue();
  if (s->path.heldOutFold != s->path.extCvFolds) return s->fit.extCvValue;
  if (s->runFlags.cvPerPathStep)
    return s->path.extCvValues && s->steps.stepCount < s->path.extCvCount
               ? s->path.extCvValues[s->steps.stepCount]
               : absentValue();
  const double* g = s->path.extCvGrid;
  const double* cv = s->path.extCvValues;
  const int32_t m = s->path.extCvCount;
  if (!g || !cv || m < 1) return absentValue();
  // The grid is on the folds' own scale: a path without an L1 choice (LAR) was lined up by
  // its ratios, and read by its raw lambda it sat past the grid's end at every step.
  const L1ChoiceCode mode = cvAlignment(s->pathOptions);
  double x = mode == kL1ChoiceNorm ? s->path.l1Norm : s->path.stepLambda;
  if (mode == kL1ChoiceRatio)
    x = s->path.lambdaMax > 0 ? s->path.stepLambda / s->path.lambdaMax : absentValue();
  if (isAbsent(x)) return absentValue();
  const bool falling = mode != kL1ChoiceNorm;
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
  s->fit.extCvValue = v;
  return v;
}

// A model of the state's data, reached from the base model.
FitSummary modelFit(const SelectionState* s, double baseSse, int32_t baseParams,
                    int32_t baseEffects, double sse, int32_t params, int32_t effects) {
  FitSummary f = stateFit(s);
  f.baseSse = baseSse, f.baseParams = baseParams, f.baseEffects = baseEffects;
  f.sse = sse, f.params = params, f.effects = effects;
  return f;
}

}  // namespace

void invalidateDataCriteria(SelectionState* s) {
  const double m = absentValue();
  s->fit.press = s->fit.validAse = s->fit.testAse = s->fit.cvPress = m;
}

int computePress(SelectionState* s) {
  if (!isAbsent(s->fit.press)) return 0;
  s->fit.press = 0;
  if (int rc = runDataPass(s, kernPress, 0); rc != 0) return failed(s, rc, &s->fit.press);
  return 0;
}

// Validation and test ASE come from one pass; either one present blocks a new pass.
int computeHoldoutAse(SelectionState* s) {
  if (!isAbsent(s->fit.validAse) || !isAbsent(s->fit.testAse)) return 0;
  s->fit.validAse = s->fit.testAse = 0;
  if (int rc = runDataPass(s, kernHoldoutSse, 0); rc != 0) {
    s->fit.testAse = absentValue();
    return failed(s, rc, &s->fit.validAse);
  }
  s->fit.validAse =
      s->totals.validWeight > 0 ? s->fit.validAse / s->totals.validWeight : absentValue();
  s->fit.testAse = s->totals.testWeight > 0 ? s->fit.testAse / s->totals.testWeight : absentValue();
  return 0;
}

// CV PRESS is the sum of the folds' sums, in fold order (not their mean).
int computeCvPress(SelectionState* s) {
  if (!isAbsent(s->fit.cvPress)) return 0;
  if (!kfoldOn(s)) return failed(s, 0, &s->fit.cvPress);
  for (int32_t f = 0; f < s->folds; ++f) s->foldRecs[f].sse = 0;
  if (int rc = runDataPass(s, kernFoldCvSse, 0); rc != 0) return failed(s, rc, &s->fit.cvPress);
  double sum = 0;
  for (int32_t f = 0; f < s->folds; ++f) sum += s->foldRecs[f].sse;
  s->fit.cvPress = sum;
  return 0;
}

double criterionTotal(const SelectionState* s) {
  if (s->engine->noInt) return s->totals.totalSS;
  return s->totals.correctedSS < kFuzz * s->totals.totalSS ? 0 : s->totals.correctedSS;
}

double negligibleSumOfSquares(const SelectionState* s) {
  const double total = criterionTotal(s);
  return kFuzz * (total > 0 ? total : s->totals.totalSS);
}

void zeroNegligibleTotals(SelectionState* s) {
  const double u = negligibleSumOfSquares(s);
  if (s->totals.correctedSS < kFuzz * s->totals.totalSS) s->totals.correctedSS = 0;
  if (s->fit.trainSse < u) s->fit.trainSse = 0;
}

double negligibleMeanSquare(const SelectionState* s) {
  const double w = s->totals.trainWeight;
  return w > 0 ? negligibleSumOfSquares(s) / w : negligibleSumOfSquares(s);
}

FitSummary stateFit(const SelectionState* s) {
  FitSummary f;
  f.n = s->totals.trainFreq;
  f.total = criterionTotal(s);
  f.sigma2Full = s->fit.sigma2Full;
  f.noInt = s->engine->noInt != 0;
  f.tol = s->fit.tol;
  f.press = f.validAse = f.cvPress = absentValue();
  f.extCv = s->fit.extCvValue;  // a path's own values
  f.penalty = s->fit.penalty;
  return f;
}

double criterionValue(SelectionState* s, CriterionCode code) {
  const CriterionInfo& c = criterionInfo(code);
  if (c.pass) c.pass(s);  // a pass that fails leaves its value missing
  const StepHistory& h = s->steps;
  const int32_t last = s->steps.stepCount - 1;  // the arrays with an entry at -1
  const double prevSse = s->steps.stepCount > 0 ? h.sse[last] : s->totals.correctedSS;
  const int32_t prevP = h.sweptColumns ? h.sweptColumns[last] : 0;
  const int32_t prevE = h.effects ? h.effects[last] : 0;
  FitSummary f = modelFit(s, prevSse, prevP, prevE, s->fit.trainSse, s->sweep.sweptColumns,
                          s->sweep.effectsInModel);
  f.press = s->fit.press, f.validAse = s->fit.validAse, f.cvPress = s->fit.cvPress;
  // Reading a path's grid moves the state's value: only when asked.
  if (code == kCritCvExternal) f.extCv = externalCvValue(s);
  return c.value(f);
}

double criterionFromStats(SelectionState* s, CriterionCode code, double baseSse, double trialSse,
                          int32_t baseParams, int32_t trialParams, int32_t baseEffects,
                          int32_t trialEffects) {
  FitSummary f = modelFit(s, baseSse, baseParams, baseEffects, trialSse, trialParams, trialEffects);
  if (code == kCritCvExternal) f.extCv = externalCvValue(s);
  return criterionOf(code, f);
}

FitSummary recordedFit(const SelectionState* s, int32_t i) {
  const StepHistory& h = s->steps;
  FitSummary f = stateFit(s);
  f.sse = h.sse[i], f.params = h.sweptColumns[i], f.effects = h.effects[i];
  const double u = negligibleSumOfSquares(s);
  f.press = fuzzToZero(s->fit.press, u);
  f.validAse = fuzzToZero(s->fit.validAse, negligibleMeanSquare(s));
  f.cvPress = fuzzToZero(s->fit.cvPress, u);
  return f;
}

bool fitsExactly(const RunTotals& totals, double sse) { return 1e-8 * totals.correctedSS >= sse; }

void recordStepCriteria(StepHistory* h, int32_t i, const FitSummary& f) {
  if (!h->criteria) return;
  double* row = h->criteria + int64_t{i} * h->criterionCount;
  for (CriterionCode c : kAllCriterionCodes)
    if (h->criterionSlot[codeIndex(c)]) row[h->criterionSlot[codeIndex(c)] - 1] = criterionOf(c, f);
}

void layOutStepCriteria(StepHistory* h, const EngineOptions& engine, const CvOptions& cv) {
  h->criterionCount = 0;
  for (CriterionCode c : kAllCriterionCodes)
    h->criterionSlot[codeIndex(c)] = criterionKeptPerStep(c, engine, cv) ? ++h->criterionCount : 0;
}

double stepCriterion(const StepHistory& h, CriterionCode code, int32_t i) {
  if (i < 0 || i >= h.stepCount || codeIndex(code) >= kCriterionCodes || !h.criteria ||
      !h.criterionSlot[codeIndex(code)])
    return absentValue();
  return h.criteria[int64_t{i} * h.criterionCount + h.criterionSlot[codeIndex(code)] - 1];
}

}  // namespace vsf
