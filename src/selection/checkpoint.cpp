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
  for (int32_t pos = 0; pos < s->effectsInModel; ++pos) {
    const int32_t e = s->entryOrder[pos];
    if (cFirst) cFirst[e] = static_cast<int32_t>(full.size());
    for (int32_t j = 0; j < colsOf(s, e); ++j) full.push_back(firstFull[e] + j);
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
  std::copy(s->firstColumn, s->firstColumn + s->effectCount, c.firstColumnCopy[0]);
  const int32_t n = compactModel(s, s->sscp, s->swept, s->flags, s->firstColumn, c.compactSscp,
                                 c.compactSwept, c.flagsCopy[0], c.firstColumnCopy[0]);
  c.copyOrder = n;
  copyDoubles(c.sweptCopy, c.compactSwept, tri(n));
  copyDoubles(c.sscpCopy, c.compactSscp, tri(n));
  std::copy(c.flagsCopy[0], c.flagsCopy[0] + n, c.flagsCopy[1]);
  std::copy(c.firstColumnCopy[0], c.firstColumnCopy[0] + s->effectCount, c.firstColumnCopy[1]);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    compactModel(s, r.sscp, r.swept, r.flags, s->firstColumn, r.compactSscp, r.compactSwept,
                 r.flagsCopy[0], nullptr);
    copyDoubles(r.sweptCopy, r.compactSwept, tri(n));
    copyDoubles(r.sscpCopy, r.compactSscp, tri(n));
    std::copy(r.flagsCopy[0], r.flagsCopy[0] + n, r.flagsCopy[1]);
    r.sscp = r.compactSscp;
    r.swept = r.compactSwept;
    r.flags = r.flagsCopy[0];
  }
  if (keepLists) {
    std::copy(s->entryOrder, s->entryOrder + s->effectCount, c.entryOrderCopy[0]);
    std::copy(s->entryOrder, s->entryOrder + s->effectCount, c.entryOrderCopy[1]);
    s->entryOrder = c.entryOrderCopy[0];
  }
  s->sscp = c.compactSscp;
  s->swept = c.compactSwept;
  s->flags = c.flagsCopy[0];
  s->firstColumn = c.firstColumnCopy[0];
  s->sscpOrder = n;
  c.compact = 1;
}

void saveIncremental(SelectionState* s, bool keepLists) {
  Checkpoint& c = s->ck;
  const int32_t n = s->sscpOrder;
  c.copyOrder = n;
  copyDoubles(c.sweptCopy, s->swept, tri(n));
  copyDoubles(c.sscpCopy, s->sscp, tri(n));
  if (keepLists) {
    for (int i = 0; i < 2; ++i) {
      std::copy(s->entryOrder, s->entryOrder + s->effectCount, c.entryOrderCopy[i]);
      std::copy(s->flags, s->flags + n, c.flagsCopy[i]);
      std::copy(s->firstColumn, s->firstColumn + s->effectCount, c.firstColumnCopy[i]);
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
    if (s->status == 0) s->status = rc;
    return;
  }
  c.sse = s->trainSse, c.cvPress = s->cvPress, c.press = s->press;
  c.validAse = s->validAse, c.testAse = s->testAse;
  c.order = s->sscpOrder, c.capacity = s->orderCapacity;
  c.sweptColumns = s->sweptColumns, c.effectsInModel = s->effectsInModel;
  c.swept = s->swept, c.sscp = s->sscp, c.firstColumn = s->firstColumn;
  c.states = s->states, c.flags = s->flags, c.entryOrder = s->entryOrder;
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    r.savedSse = r.sse, r.savedSwept = r.swept, r.savedSscp = r.sscp, r.savedFlags = r.flags;
    r.copiedSse = r.sse;
  }
  c.active = 1;
  if (s->fullMode)
    saveFull(s, keepLists != 0);
  else
    saveIncremental(s, keepLists != 0);
}

void copyModelArrays(SelectionState* s, uint8_t keepLists) {
  Checkpoint& c = s->ck;
  const int32_t n = c.copyOrder;
  copyDoubles(s->swept, c.sweptCopy, tri(n));
  copyDoubles(s->sscp, c.sscpCopy, tri(n));
  s->sscpOrder = n;
  s->effectsInModel = c.effectsInModel;
  s->sweptColumns = c.sweptColumns;
  s->trainSse = c.sse;
  if (keepLists) {
    std::copy(c.entryOrderCopy[1], c.entryOrderCopy[1] + s->effectCount, s->entryOrder);
    std::copy(c.firstColumnCopy[1], c.firstColumnCopy[1] + s->effectCount, s->firstColumn);
    std::copy(c.flagsCopy[1], c.flagsCopy[1] + n, s->flags);
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
  s->orderCapacity = std::max(s->orderCapacity, c.capacity);
  s->effectsInModel = c.effectsInModel, s->sweptColumns = c.sweptColumns;
  s->sscpOrder = c.order;
  s->sscp = c.sscp, s->swept = c.swept;
  s->validAse = c.validAse, s->testAse = c.testAse, s->press = c.press;
  s->trainSse = c.sse, s->cvPress = c.cvPress;
  s->firstColumn = c.firstColumn, s->states = c.states, s->flags = c.flags;
  s->entryOrder = c.entryOrder;
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    r.sse = r.savedSse, r.sscp = r.savedSscp, r.swept = r.savedSwept, r.flags = r.savedFlags;
  }
  c.active = 0;
  c.compact = 0;
}

void restoreSelectedStep(SelectionState* s) {
  if (s->status != 0 || !s->options || s->options->choose == kCritNone || s->chosenStep < 0) return;
  const int32_t i = s->chosenStep;
  const StepHistory& h = s->steps;
  s->sweptColumns = h.sweptColumns[i];
  s->effectsInModel = h.effects[i];
  s->trainSse = h.sse[i];
  restoreStepValue(s, kCritValidate, i, &s->validAse);
  if (h.testAse) s->testAse = h.testAse[i];
  restoreStepValue(s, kCritPress, i, &s->press);
  restoreStepValue(s, kCritCv, i, &s->cvPress);
  restoreStepValue(s, kCritCvExternal, i, &s->extCvValue);
  s->stepCount = i + 1;
  const int64_t p = s->paramCount;
  copyDoubles(s->estimates, s->chosenEstimates, p);
  copyDoubles(s->stdEstimates, s->chosenStdEstimates, p);
  copyDoubles(s->invDiag, s->chosenInvDiag, p);
  std::copy(s->chosenEffects, s->chosenEffects + s->effectCount, s->entryOrder);
  std::copy(s->chosenStates, s->chosenStates + s->effectCount, s->states);
  if (kfoldOn(s) && s->options->foldStats && s->chosenFoldSse)
    for (int32_t f = 0; f < s->folds; ++f) s->foldRecs[f].sse = s->chosenFoldSse[f];
  if (kfoldOn(s) && s->chosenFoldEstimates)
    for (int32_t f = 0; f < s->folds; ++f)
      if (s->foldRecs[f].estimates)
        copyDoubles(s->foldRecs[f].estimates, s->chosenFoldEstimates + int64_t{f} * p, p);
}

}  // namespace vsf
