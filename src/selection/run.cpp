// One selection run: the crossproducts of the stored rows, the full model when its variance
// is needed, the start state with the forced effects, then the method.
#include <algorithm>
#include <vector>

#include "base/codes.h"
#include "selection/methods_internal.h"
#include "selection/resample.h"

namespace vsf {

namespace {

constexpr double kVarianceFloor = 1.110223024625157e-14;

bool externalFoldRun(const SelectionState* s) {
  return s->cv->externalCv && s->path.heldOutFold < s->path.extCvFolds;
}

// The training frequency external cross validation splits into its folds: the data's, or the
// sample's drawn one (saved before its folds). A fold's run on the crossproducts holds its own
// part in the totals.
double foldedFrequency(const SelectionState* s) {
  if (externalFoldRun(s) && s->tuning.saved) return s->tuning.savedTotals.trainFreq;
  return s->totals.trainFreq;
}

// A fold whose run has no training row held out all the data's: named with its number.
int32_t emptyFoldStatus(SelectionState* s) {
  s->run.emptyFold = s->path.heldOutFold;
  return runstatus::kFoldNoTraining;
}

}  // namespace

int32_t externalFoldsAsked(const SelectionState* s) {
  const CvOptions* cv = s->cv;
  return cv->method == kCvIndex ? s->path.extCvFolds
                                : std::max(s->path.extCvFolds, cv->requestedFolds);
}

int32_t externalFoldsStatus(SelectionState* s) {
  const CvOptions* cv = s->cv;
  if (!cv->externalCv) return 0;
  // One fold held out leaves no training row: the cause to name is the single fold.
  if (s->path.extCvFolds == 1) return runstatus::kOneFold;
  // Every fold asked for needs a row to hold out (the fold count is the limit on the whole
  // data, not on a fold's training part), RANDOM's as well, though it forms only those drawn.
  s->run.foldedFreq = foldedFrequency(s);
  if (!(s->run.foldedFreq > 0)) return runstatus::kNoObservations;
  return externalFoldsAsked(s) > s->run.foldedFreq ? runstatus::kFoldsAboveN : 0;
}

namespace {

int32_t dataStatus(SelectionState* s) {
  const CvOptions* cv = s->cv;
  if (int32_t folds = externalFoldsStatus(s); folds != 0) return folds;
  // A fold that holds out every row leaves nothing to fit.
  if (externalFoldRun(s) && s->totals.trainFreq == 0) return emptyFoldStatus(s);
  if (s->totals.trainFreq == 0) return runstatus::kNoObservations;
  if (criterionUsed(s->rules, kCritValidate) && s->totals.validFreq == 0)
    return runstatus::kNoValidation;
  if (cv->kfold && s->folds == 1) return runstatus::kOneFold;
  return 0;
}

// A later run of a tuning series reads the same rewritten rows: it takes the crossproducts the
// first run kept, and only the ridge on the diagonal changes.
int crossproductsPass(SelectionState* s, int64_t T) {
  TuningTables& k = s->tuning;
  if (k.foldSscp) {
    copyDoubles(s->sweep.sscp, k.foldSscp, T);
    return 0;
  }
  const bool kept = k.sscp && k.sscpLength == T && !kfoldOn(s);
  if (kept && !s->runFlags.firstFit) {
    copyDoubles(s->sweep.sscp, k.sscp, T);
    return 0;
  }
  if (int rc = runDataPass(s, kernSscp, 0); rc != 0) return rc;
  complementFolds(s, s->sweep.sscp, &FoldRecord::sscp, 0, T);
  if (!k.keepSscp || kfoldOn(s) || !k.pool) return 0;
  if (!kept) {
    k.sscp = static_cast<double*>(kernel().poolAlloc(k.pool, sizeof(double) * T, 0));
    if (!k.sscp) return rc::kMemory;
    k.sscpLength = T;
  }
  copyDoubles(k.sscp, s->sweep.sscp, T);
  return 0;
}

// The whole matrix in one pass; with folds each A_f holds the rows outside fold f.
int fullCrossproducts(SelectionState* s) {
  const int64_t T = tri(s->sweep.sscpOrder);
  if (int rc = crossproductsPass(s, T); rc != 0) return rc;
  // The elastic net's ridge on the diagonal of every column but the intercept's.
  if (elasticNet(s))
    for (int32_t e = 1; e < s->layout.effectCount; ++e)
      for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
        const int64_t c = s->sweep.firstColumn[e] + j;
        s->sweep.sscp[pk(c, c)] += ridgeOf(s);
      }
  copyDoubles(s->sweep.swept, s->sweep.sscp, T);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f)
    copyDoubles(s->foldRecs[f].swept, s->foldRecs[f].sscp, T);
  return 0;
}

// y'y and each effect's own block; the blocks between effects come when first needed. y'y is
// taken by a pass of its own, whatever the data pass left in the state.
int incrementalCrossproducts(SelectionState* s) {
  if (int rc = runDataPass(s, kernSumSquares, 0); rc != 0) return rc;
  s->sweep.sscp[0] = s->sweep.centres ? s->totals.centredWyy : s->totals.sumWyy;
  if (kfoldOn(s)) {
    if (int rc = runDataPass(s, kernFoldResponseSS, 0); rc != 0) return rc;
    for (int32_t f = 0; f < s->folds; ++f) {
      FoldRecord& r = s->foldRecs[f];
      r.sscp[0] = r.swept[0] = s->sweep.sscp[0] - r.sscp[0];
    }
  }
  if (int rc = runDataPass(s, kernEffectBlocks, 0); rc != 0) return rc;
  if (kfoldOn(s))
    for (int32_t e = 0; e < s->layout.effectCount; ++e) {
      const int64_t n = tri(s->layout.columnCount[e]);
      for (int64_t i = 0; i < n; ++i) {
        double sum = 0;
        for (int32_t f = 0; f < s->folds; ++f) sum += s->foldRecs[f].blocks[e][i];
        s->sweep.effectBlocks[e][i] = sum;
        for (int32_t f = 0; f < s->folds; ++f)
          s->foldRecs[f].blocks[e][i] = sum - s->foldRecs[f].blocks[e][i];
      }
    }
  s->sweep.swept[0] = s->sweep.sscp[0];
  return 0;
}

// The uncorrected total, of the plain sums.
void totals(SelectionState* s) {
  s->totals.totalSS = !s->sweep.centres   ? s->sweep.sscp[0]
                      : s->sweep.fullMode ? plainCrossproduct(s, s->sweep.sscp, 0, 0)
                                          : s->totals.sumWyy;
  if (s->rules->noInt) s->totals.correctedSS = s->totals.totalSS;
}

int enterForFullModel(SelectionState* s, int32_t k) {
  if (int rc = enterEffect(s, k, 0, 0); rc != 0) return rc;
  if (k == 0) s->totals.correctedSS = s->sweep.swept[0];
  return 0;
}

// BACKWARD enters an effect once the effects it contains are in. A sweep that enters nothing
// ends the build: an effect whose prerequisite is held out never becomes enterable.
int buildFullModel(SelectionState* s) {
  const int32_t first = s->rules->noInt ? 1 : 0;
  if (s->runFlags.method != kMethodBackward) {
    for (int32_t k = first; k < s->layout.effectCount; ++k)
      if (int rc = enterForFullModel(s, k); rc != 0) return rc;
    return 0;
  }
  for (;;) {
    bool skipped = false;
    int32_t entered = 0;
    for (int32_t k = first; k < s->layout.effectCount; ++k) {
      if (s->sweep.states[k] != EffectState::kFree) continue;
      if (!prerequisitesIn(s->sweep, k)) {
        skipped = true;
        continue;
      }
      if (int rc = enterForFullModel(s, k); rc != 0) return rc;
      entered += 1;
    }
    if (!skipped || entered == 0) return 0;
  }
}

// The error SS of the full model as a path reports a model's: that of its coefficients alone.
// The elastic net's full model is swept in crossproducts whose diagonal carries the ridge r, so
// that S(0, 0) = |y - X b|^2 + r |b|^2 at its estimates b; reported as k b (k = 1 + L2 under
// ENSCALE), |y - X k b|^2 = S(0, 0) + (k - 1)^2 b'A b - r k^2 |b|^2.
double fullModelSse(const SelectionState* s) {
  const double r = ridgeOf(s), k = reportScale(s);
  if (r == 0) return std::max(0.0, s->sweep.swept[0]);
  std::vector<int64_t> in;
  for (int32_t e = 1; e < s->layout.effectCount; ++e)
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j)
      if (s->sweep.flags[s->sweep.firstColumn[e] + j] == '1')
        in.push_back(s->sweep.firstColumn[e] + j);
  const double* S = s->sweep.swept;
  const double* A = s->sweep.sscp;
  double squares = 0, form = 0;
  for (size_t a = 0; a < in.size(); ++a) {
    const double b = S[pk(in[a], 0)];  // minus the estimate: the signs cancel
    squares += b * b;
    for (size_t c = 0; c < in.size() && k != 1; ++c)
      form += b * A[pkAny(in[a], in[c])] * S[pk(in[c], 0)];
  }
  return std::max(0.0, S[0] + (k - 1) * (k - 1) * form - r * k * k * squares);
}

// 0, or the -100 status when Cp needs a variance the full model does not have.
int32_t fullModelVariance(SelectionState* s) {
  const double sse = fullModelSse(s);
  s->fit.trainSse = sse;
  double sigma2 = s->totals.trainFreq > s->sweep.sweptColumns
                      ? sse / (s->totals.trainFreq - s->sweep.sweptColumns)
                      : 0;
  if (sigma2 < kVarianceFloor) {
    sigma2 = 0;
    if (criterionUsed(s->rules, kCritCp)) {
      s->fit.sigma2Full = 0;
      return runstatus::kCpNoVariance;
    }
  }
  s->fit.sigma2Full = sigma2;
  return 0;
}

// Every method but BACKWARD starts from the empty model.
void emptyModel(SelectionState* s) {
  if (!s->sweep.fullMode) s->sweep.sscpOrder = 1;  // the columns leave with their effects
  const int32_t n = s->sweep.sscpOrder;
  copyDoubles(s->sweep.swept, s->sweep.sscp, tri(n));
  std::fill(s->sweep.flags, s->sweep.flags + s->sweep.orderCapacity, '0');
  for (int32_t e = 0; e < s->layout.effectCount; ++e)
    if (s->sweep.states[e] != EffectState::kHeldOut) s->sweep.states[e] = EffectState::kFree;
  std::fill(s->sweep.entryOrder, s->sweep.entryOrder + s->layout.effectCount, 0);
  const CandidateData& c = candidateData(s);
  if (s->sweep.hierarchyOn && s->sweep.missingPrerequisites && c.prerequisiteCount &&
      c.dependantCount)
    for (int32_t e = 0; e < s->layout.effectCount; ++e) {
      s->sweep.missingPrerequisites[e] = c.prerequisiteCount[e];
      s->sweep.absentDependants[e] = c.dependantCount[e];
    }
  s->sweep.sweptColumns = s->sweep.effectsInModel = 0;
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    copyDoubles(r.swept, r.sscp, tri(n));
    std::fill(r.flags, r.flags + s->sweep.orderCapacity, '0');
  }
  invalidateDataCriteria(s);
}

void startState(SelectionState* s) {
  const SelectionRules* r = s->rules;
  if (s->runFlags.method == kMethodBackward) {
    for (int32_t e = 1; e < firstSelectableIndex(s) && e < s->layout.effectCount; ++e)
      if (s->sweep.states[e] == EffectState::kSelected) s->sweep.states[e] = EffectState::kForced;
  } else {
    emptyModel(s);
  }
  if (s->layout.effectCount > 0)
    s->sweep.states[0] = r->noInt ? EffectState::kHeldOut : EffectState::kIntercept;
}

// One effect of the starting block enters and is recorded as a step.
int enterStarting(SelectionState* s, int32_t k) {
  const SelectionRules* r = s->rules;
  if (int rc = growBeforeEntry(s, k); rc != 0) return rc;
  if (int rc = enterEffect(s, k, 0, 0); rc != 0) return rc;
  if (k == 0) s->totals.correctedSS = s->sweep.swept[0];
  // On the centred rows of a path the intercept alone estimates the response's mean.
  if (k == 0 && methodFamily(r->method).splitsEffects()) s->sweep.estimates[0] = responseCentre(s);
  // The final run of external cross validation: the starting block stands at every fold's
  // path start, where the folds' averaged held-out error is the grid's first value.
  if (s->cv->externalCv && s->path.heldOutFold == s->path.extCvFolds)
    s->fit.extCvValue =
        s->path.extCvValues && s->path.extCvCount > 0 ? s->path.extCvValues[0] : absentValue();
  if (pressWanted(s->rules))
    if (int rc = computePress(s); rc != 0) return rc;
  if (holdoutWanted(s->rules))
    if (int rc = computeHoldoutAse(s); rc != 0) return rc;
  if (kfoldOn(s))
    if (int rc = computeCvPress(s); rc != 0) return rc;
  return initSelectionState(s, k);
}

// The forced effects enter one by one, each recorded as a step.
int enterForced(SelectionState* s) {
  const SelectionRules* r = s->rules;
  const int32_t first = r->noInt ? 1 : 0, last = firstSelectableIndex(s) - 1;
  if (r->choose != kCritNone)
    s->run.chosenStep =
        first + s->layout.firstSelectable - 1 - (r->noInt && s->layout.firstSelectable ? 1 : 0);
  for (int32_t k = first; k <= last && k < s->layout.effectCount; ++k) {
    if (s->sweep.states[k] == EffectState::kHeldOut) continue;
    s->sweep.states[k] = k == 0 ? EffectState::kIntercept : EffectState::kForced;
    if (int rc = enterStarting(s, k); rc != 0) return rc;
  }
  return 0;
}

// START=n: FORWARD and STEPWISE begin from the first n effects of the MODEL statement, as R's
// step() begins from a given model. Those beyond the forced ones enter free to leave, into
// the starting block of steps that the stop rules, CHOOSE and the tables count as step 0.
int enterStartEffects(SelectionState* s) {
  const SelectionRules* r = s->rules;
  if ((s->runFlags.method != kMethodForward && s->runFlags.method != kMethodStepwise) ||
      r->start <= r->include)
    return 0;
  const int32_t first = firstSelectableIndex(s);
  const int32_t end = std::min(first + (r->start - r->include), s->layout.effectCount);
  for (int32_t k = first; k < end; ++k) {
    if (s->sweep.states[k] == EffectState::kHeldOut) continue;
    if (int rc = enterStarting(s, k); rc != 0) return rc;
    s->run.startEffects += 1;
  }
  s->layout.firstSelectable += s->run.startEffects;
  if (r->choose != kCritNone) s->run.chosenStep += s->run.startEffects;
  return 0;
}

int dispatch(SelectionState* s) {
  const MethodInfo& m = methodInfo(s->runFlags.method);
  switch (methodFamily(s->runFlags.method).kind) {
    case MethodKind::kPath:
      return s->pathMethods ? s->pathMethods->runPath(s) : 0;
    case MethodKind::kOptimizer:
    case MethodKind::kGroup:
      return s->pathMethods && s->pathMethods->runOptimizer ? s->pathMethods->runOptimizer(s) : 0;
    default:
      return m.run ? m.run(s) : 0;
  }
}

// The LAR path's methods work on stored rows they rewrite, with a driver that gave them; the
// optimizer reads the crossproducts of the rows as stored.
bool pathRun(const SelectionState* s) {
  return methodFamily(s->rules->method).kind == MethodKind::kPath && s->pathMethods;
}

int failedWith(SelectionState* s, int rc) {
  s->run.status = rc;
  return rc;
}

}  // namespace

int runSelection(SelectionState* s) {
  // A sample of model averaging draws its rows before anything is summed, once per sample.
  if (s->resample && !s->resample->drawDone)
    if (int rc = drawResample(s); rc != 0) return failedWith(s, rc);
  if (int32_t st = dataStatus(s); st != 0) {
    s->run.status = st;
    return 0;
  }
  if (!s->sweep.states) return failedWith(s, rc::kMemory);  // the pool sized nothing
  const SelectionRules* r = s->rules;
  // A run before this one on the state may have widened the starting block.
  s->layout.firstSelectable -= s->run.startEffects;
  s->run.startEffects = 0;
  if (pathRun(s)) {
    if (int rc = s->pathMethods->prepareRows(s); rc != 0) return failedWith(s, rc);
    // The rewrite counts a fold's own training rows when the fold's run reads the rows.
    if (externalFoldRun(s) && s->totals.trainFreq == 0) {
      s->run.status = emptyFoldStatus(s);
      return s->pathMethods->restoreRows(s);
    }
  }
  if (kfoldOn(s) && s->cv->foldStats)
    if (int rc = runDataPass(s, kernGroupTallies, 0); rc != 0) return failedWith(s, rc);
  if (int rc = settleCentres(s); rc != 0) return failedWith(s, rc);
  if (int rc = s->sweep.fullMode ? fullCrossproducts(s) : incrementalCrossproducts(s); rc != 0)
    return failedWith(s, rc);
  totals(s);

  if (s->runFlags.method == kMethodBackward || r->fullModelWanted) {
    if (int rc = buildFullModel(s); rc != 0) return failedWith(s, rc);
    if (int32_t st = fullModelVariance(s); st != 0) {
      s->run.status = st;
      return 0;
    }
  }
  startState(s);
  if (s->sweep.storeOn)
    if (int rc = buildResponseStore(s); rc != 0) return failedWith(s, rc);
  if (s->runFlags.method != kMethodBackward) {
    if (int rc = enterForced(s); rc != 0) return failedWith(s, rc);
    if (int rc = enterStartEffects(s); rc != 0) return failedWith(s, rc);
  }
  s->fit.trainSse = std::max(0.0, s->sweep.swept[0]);
  totals(s);

  if (int rc = dispatch(s); rc != 0)
    s->run.status = rc;
  else if (s->sweep.sweptColumns == 0)
    s->run.status = runstatus::kNothingEntered;
  // Rows rewritten for the path go back as stored when other fits of the group read them.
  if (pathRun(s) && (r->modelAveragingRun || s->runFlags.foldFit))
    if (int rc = s->pathMethods->restoreRows(s); rc != 0) return failedWith(s, rc);
  return 0;
}

}  // namespace vsf
