// Checkpoints of the current model: taken before a loop of trial moves, put back after each
// trial and at the end of the loop; and the chosen step brought back for the displays.
#include <algorithm>
#include <vector>

#include "selection/selection_internal.h"

namespace vsf {

namespace {

// Full mode: the model's columns in entry order, response first. A stored entry (i, j), i > j,
// is the swept matrix's element in row j, column i; a pair whose order changes keeps its
// value when both columns share a flag and changes sign when one is swept and one is not.
int32_t compactModel(const SelectionState* s, const double* A, const double* S, const char* F,
                     const int32_t* firstFull, double* cA, double* cS, char* cF, int32_t* cFirst) {
  std::vector<int32_t> full(1, 0);
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    if (cFirst) cFirst[e] = static_cast<int32_t>(full.size());
    for (int32_t j = 0; j < colsOf(s->layout, e); ++j) full.push_back(firstFull[e] + j);
  }
  const int32_t n = static_cast<int32_t>(full.size());
  for (int32_t r = 0; r < n; ++r) {
    const int64_t fr = full[r];
    for (int32_t c = 0; c <= r; ++c) {
      const int64_t fc = full[c];
      cA[pk(r, c)] = A[pkAny(fr, fc)];
      double v = S[pkAny(fr, fc)];
      if (fr < fc && F[fr] != F[fc]) v = -v;
      cS[pk(r, c)] = v;
    }
    cF[r] = F[fr];
  }
  return n;
}

void saveFull(SelectionState* s, bool keepLists) {
  Checkpoint& c = s->ck;
  std::copy(s->sweep.firstColumn, s->sweep.firstColumn + s->layout.effectCount,
            c.firstColumnCopy[0]);
  const int32_t n =
      compactModel(s, s->sweep.sscp, s->sweep.swept, s->sweep.flags, s->sweep.firstColumn,
                   c.compactSscp, c.compactSwept, c.flagsCopy[0], c.firstColumnCopy[0]);
  c.copyOrder = n;
  copyDoubles(c.sweptCopy, c.compactSwept, tri(n));
  copyDoubles(c.sscpCopy, c.compactSscp, tri(n));
  std::copy(c.flagsCopy[0], c.flagsCopy[0] + n, c.flagsCopy[1]);
  std::copy(c.firstColumnCopy[0], c.firstColumnCopy[0] + s->layout.effectCount,
            c.firstColumnCopy[1]);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    compactModel(s, r.sscp, r.swept, r.flags, s->sweep.firstColumn, r.compactSscp, r.compactSwept,
                 r.flagsCopy[0], nullptr);
    copyDoubles(r.sweptCopy, r.compactSwept, tri(n));
    copyDoubles(r.sscpCopy, r.compactSscp, tri(n));
    std::copy(r.flagsCopy[0], r.flagsCopy[0] + n, r.flagsCopy[1]);
    r.sscp = r.compactSscp;
    r.swept = r.compactSwept;
    r.flags = r.flagsCopy[0];
  }
  if (keepLists) {
    std::copy(s->sweep.entryOrder, s->sweep.entryOrder + s->layout.effectCount,
              c.entryOrderCopy[0]);
    std::copy(s->sweep.entryOrder, s->sweep.entryOrder + s->layout.effectCount,
              c.entryOrderCopy[1]);
    s->sweep.entryOrder = c.entryOrderCopy[0];
  }
  s->sweep.sscp = c.compactSscp;
  s->sweep.swept = c.compactSwept;
  s->sweep.flags = c.flagsCopy[0];
  s->sweep.firstColumn = c.firstColumnCopy[0];
  s->sweep.sscpOrder = n;
  c.compact = 1;
}

void saveIncremental(SelectionState* s, bool keepLists) {
  Checkpoint& c = s->ck;
  const int32_t n = s->sweep.sscpOrder;
  c.copyOrder = n;
  copyDoubles(c.sweptCopy, s->sweep.swept, tri(n));
  copyDoubles(c.sscpCopy, s->sweep.sscp, tri(n));
  if (keepLists) {
    for (int i = 0; i < 2; ++i) {
      std::copy(s->sweep.entryOrder, s->sweep.entryOrder + s->layout.effectCount,
                c.entryOrderCopy[i]);
      std::copy(s->sweep.flags, s->sweep.flags + n, c.flagsCopy[i]);
      std::copy(s->sweep.firstColumn, s->sweep.firstColumn + s->layout.effectCount,
                c.firstColumnCopy[i]);
    }
  }
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    r.copiedSse = r.sse;
    copyDoubles(r.sweptCopy, r.swept, tri(n));
    copyDoubles(r.sscpCopy, r.sscp, tri(n));
    if (keepLists)
      for (int i = 0; i < 2; ++i) std::copy(r.flags, r.flags + n, r.flagsCopy[i]);
  }
  c.compact = 0;
}

}  // namespace

// A run the pool did not size for trials gets its buffers here; when they cannot be had the
// checkpoint stays inactive and the run status says why.
void saveModelState(SelectionState* s, uint8_t keepLists) {
  Checkpoint& c = s->ck;
  if (int rc = ensureCheckpointBuffers(s); rc != 0) {
    if (s->run.status == 0) s->run.status = rc;
    return;
  }
  c.sse = s->fit.trainSse, c.cvPress = s->fit.cvPress, c.press = s->fit.press;
  c.validAse = s->fit.validAse, c.testAse = s->fit.testAse;
  c.order = s->sweep.sscpOrder, c.capacity = s->sweep.orderCapacity;
  c.sweptColumns = s->sweep.sweptColumns, c.effectsInModel = s->sweep.effectsInModel;
  c.swept = s->sweep.swept, c.sscp = s->sweep.sscp, c.firstColumn = s->sweep.firstColumn;
  c.states = s->sweep.states, c.flags = s->sweep.flags, c.entryOrder = s->sweep.entryOrder;
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    r.savedSse = r.sse, r.savedSwept = r.swept, r.savedSscp = r.sscp, r.savedFlags = r.flags;
    r.copiedSse = r.sse;
  }
  c.active = 1;
  if (s->sweep.fullMode)
    saveFull(s, keepLists != 0);
  else
    saveIncremental(s, keepLists != 0);
}

void copyModelArrays(SelectionState* s, uint8_t keepLists) {
  Checkpoint& c = s->ck;
  const int32_t n = c.copyOrder;
  copyDoubles(s->sweep.swept, c.sweptCopy, tri(n));
  copyDoubles(s->sweep.sscp, c.sscpCopy, tri(n));
  s->sweep.sscpOrder = n;
  s->sweep.effectsInModel = c.effectsInModel;
  s->sweep.sweptColumns = c.sweptColumns;
  s->fit.trainSse = c.sse;
  if (keepLists) {
    std::copy(c.entryOrderCopy[1], c.entryOrderCopy[1] + s->layout.effectCount,
              s->sweep.entryOrder);
    std::copy(c.firstColumnCopy[1], c.firstColumnCopy[1] + s->layout.effectCount,
              s->sweep.firstColumn);
    std::copy(c.flagsCopy[1], c.flagsCopy[1] + n, s->sweep.flags);
  }
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    r.sse = r.copiedSse;
    copyDoubles(r.swept, r.sweptCopy, tri(n));
    copyDoubles(r.sscp, r.sscpCopy, tri(n));
    if (keepLists) std::copy(r.flagsCopy[1], r.flagsCopy[1] + n, r.flags);
  }
  // The cached data-based values described the trial model.
  invalidateDataCriteria(s);
}

void restoreModelState(SelectionState* s) {
  Checkpoint& c = s->ck;
  s->sweep.orderCapacity = std::max(s->sweep.orderCapacity, c.capacity);
  s->sweep.effectsInModel = c.effectsInModel, s->sweep.sweptColumns = c.sweptColumns;
  s->sweep.sscpOrder = c.order;
  s->sweep.sscp = c.sscp, s->sweep.swept = c.swept;
  s->fit.validAse = c.validAse, s->fit.testAse = c.testAse, s->fit.press = c.press;
  s->fit.trainSse = c.sse, s->fit.cvPress = c.cvPress;
  s->sweep.firstColumn = c.firstColumn, s->sweep.states = c.states, s->sweep.flags = c.flags;
  s->sweep.entryOrder = c.entryOrder;
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    r.sse = r.savedSse, r.sscp = r.savedSscp, r.swept = r.savedSwept, r.flags = r.savedFlags;
  }
  c.active = 0;
  c.compact = 0;
}

void restoreSelectedStep(SelectionState* s) {
  if (s->run.status != 0 || !s->engine || s->engine->choose == kCritNone || s->run.chosenStep < 0)
    return;
  const int32_t i = s->run.chosenStep;
  const StepHistory& h = s->steps;
  s->sweep.sweptColumns = h.sweptColumns[i];
  s->sweep.effectsInModel = h.effects[i];
  s->fit.trainSse = h.sse[i];
  restoreStepValue(s->steps, kCritValidate, i, &s->fit.validAse);
  if (h.testAse) s->fit.testAse = h.testAse[i];
  restoreStepValue(s->steps, kCritPress, i, &s->fit.press);
  restoreStepValue(s->steps, kCritCv, i, &s->fit.cvPress);
  restoreStepValue(s->steps, kCritCvExternal, i, &s->fit.extCvValue);
  s->steps.stepCount = i + 1;
  const int64_t p = s->layout.paramCount;
  copyDoubles(s->sweep.estimates, s->run.chosenEstimates, p);
  copyDoubles(s->sweep.stdEstimates, s->run.chosenStdEstimates, p);
  copyDoubles(s->sweep.invDiag, s->run.chosenInvDiag, p);
  std::copy(s->run.chosenEffects, s->run.chosenEffects + s->layout.effectCount,
            s->sweep.entryOrder);
  std::copy(s->run.chosenStates, s->run.chosenStates + s->layout.effectCount, s->sweep.states);
  if (kfoldOn(s) && s->cv->foldStats && s->run.chosenFoldSse)
    for (int32_t f = 0; f < s->folds; ++f) s->foldRecs[f].sse = s->run.chosenFoldSse[f];
  if (kfoldOn(s) && s->run.chosenFoldEstimates)
    for (int32_t f = 0; f < s->folds; ++f)
      if (s->foldRecs[f].estimates)
        copyDoubles(s->foldRecs[f].estimates, s->run.chosenFoldEstimates + int64_t{f} * p, p);
}

}  // namespace vsf
