// The model pool of a fit and the sizes of its arrays.
#include <algorithm>

#include "base/codes.h"
#include "datapass/utilfiles.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

bool methodIs(const SelectionState* s, uint8_t m) { return s->options->method == m; }

bool criterionAsked(const SelectionOptions* o, uint8_t code) {
  return o->select == code || o->stop == code || o->choose == code;
}

// Steps a run may take at most.
int32_t stepCapacityOf(const SelectionState* s) {
  const SelectionOptions* o = s->options;
  const int32_t e1 = s->effectCount - (o->noInt ? 1 : 0);
  const int32_t m = o->maxSteps;
  auto capped = [m](int32_t v) { return m > 0 && m < v ? m : v; };
  int32_t c;
  switch (o->method) {
    case kMethodNone:
      c = e1;
      break;
    case kMethodForward:
    case kMethodBackward:
    case kMethodLar:
    case kMethodLarLs:
      c = capped(e1);
      break;
    case kMethodHxLasso:
    case kMethodHxGLasso:
    case kMethodGroupLasso:
      c = m > 0 ? m : 100;
      break;
    default:
      c = capped(2 * e1);
      break;  // STEPWISE, LASSO and the elastic nets
  }
  if (o->method != kMethodNone && o->maxEffects > 0)
    c = std::min(c, o->maxEffects + o->forcedEffects);
  return std::max(c, 1);
}

// Per fold: the incremental mode's own blocks.
bool allocateEffectBlocks(SelectionState* s, double*** blocks) {
  *blocks = poolArray<double*>(s, s->effectCount);
  if (!*blocks) return false;
  for (int32_t e = 0; e < s->effectCount; ++e) {
    int64_t c = s->columnCount[e];
    if (c > 0 && !((*blocks)[e] = poolArray<double>(s, tri(c)))) return false;
  }
  return true;
}

int foldsAndTheirArrays(SelectionState* s) {
  const SelectionOptions* o = s->options;
  if (!o->kfold) return 0;
  s->folds = o->folds;
  if (s->obsUsed < s->folds && o->cvMethod != 1) s->folds = static_cast<int32_t>(s->obsUsed);
  if (s->folds < 1) return 0;
  if (!(s->foldRecs = poolArray<FoldRecord>(s, s->folds))) return rc::kMemory;
  for (int32_t f = 0; f < s->folds; ++f)
    if (o->foldEstimates && !(s->foldRecs[f].estimates = poolArray<double>(s, s->paramCount)))
      return rc::kMemory;
  if (o->foldStats && !(s->chosenFoldSse = poolArray<double>(s, s->folds))) return rc::kMemory;
  if (o->foldEstimates && o->choose != kCritNone &&
      !(s->chosenFoldEstimates = poolArray<double>(s, int64_t{s->folds} * s->paramCount)))
    return rc::kMemory;
  return 0;
}

// Order-sized arrays, history and store at their first sizes.
int initialCapacities(SelectionState* s) {
  const SelectionOptions* o = s->options;
  const int64_t p = s->paramCount, E = std::max(s->effectCount, 1);
  int32_t capacity = static_cast<int32_t>(p + 1), history = s->stepCapacity;
  int64_t storeRows = 0;
  if (!s->fullMode) {
    double r;
    if (o->maxEffects <= 0) {
      history = std::max(s->stepCapacity / 2, 1);
      r = static_cast<double>(history) * p / E + 1.5;
    } else {
      history = o->maxEffects + o->forcedEffects;
      r = static_cast<double>(o->maxEffects) * p / E + 1.5;
    }
    const int64_t R = static_cast<int64_t>(r);
    capacity = static_cast<int32_t>(p <= 100 ? p + 1 : std::min<int64_t>(R, 500));
    storeRows = std::min<int64_t>(R, 1000000 / (p + 1));
  }
  if (int rc = growSweepStore(s, capacity); rc != 0) return rc;
  if (int rc = growStepHistory(s, std::max(history, 1)); rc != 0) return rc;
  if (s->storeOn)
    if (int rc = growEffectStore(s, static_cast<int32_t>(std::max<int64_t>(storeRows, 1)),
                                 static_cast<int32_t>(p + 1));
        rc != 0)
      return rc;
  if (o->cvPerPathStep)
    if (int rc = growChangeList(s, 2 * s->effectCount); rc != 0) return rc;
  return 0;
}

int perEffectArrays(SelectionState* s) {
  const SelectionOptions* o = s->options;
  const int64_t p = s->paramCount, E = s->effectCount;
  const int64_t F = s->folds;
  if (!(s->states = poolArray<uint8_t>(s, E)) || !(s->firstParam = poolArray<int32_t>(s, E)) ||
      !(s->firstColumn = poolArray<int32_t>(s, E)) || !(s->entryOrder = poolArray<int32_t>(s, E)) ||
      !(s->work = poolArray<double>(s, F > p ? F : p + 1)) ||
      !(s->effectWork = poolArray<double>(s, o->method >= kMethodHxGLasso ? p : E)) ||
      !(s->estimates = poolArray<double>(s, p)) || !(s->stdEstimates = poolArray<double>(s, p)) ||
      !(s->invDiag = poolArray<double>(s, p)) || !(s->colSquares = poolArray<double>(s, p)))
    return rc::kMemory;
  if (o->adaptive && !(s->weights = poolArray<double>(s, p))) return rc::kMemory;
  if (o->candidateValues && !(s->candidateValues = poolArray<double>(s, E))) return rc::kMemory;
  if (o->choose != kCritNone && (!(s->chosenEstimates = poolArray<double>(s, p)) ||
                                 !(s->chosenStdEstimates = poolArray<double>(s, p)) ||
                                 !(s->chosenInvDiag = poolArray<double>(s, p)) ||
                                 !(s->chosenEffects = poolArray<int32_t>(s, E)) ||
                                 !(s->chosenStates = poolArray<uint8_t>(s, E))))
    return rc::kMemory;
  if (methodIs(s, kMethodBackward) && !(s->aliasedList = poolArray<int32_t>(s, E)))
    return rc::kMemory;
  if (!s->fullMode) {
    if (!(s->storeSlot = poolArray<int32_t>(s, E)) || !(s->fullOffset = poolArray<int32_t>(s, E)))
      return rc::kMemory;
    std::fill(s->storeSlot, s->storeSlot + E, -1);
    if (!allocateEffectBlocks(s, &s->effectBlocks)) return rc::kMemory;
    for (int32_t f = 0; f < s->folds; ++f)
      if (!allocateEffectBlocks(s, &s->foldRecs[f].blocks)) return rc::kMemory;
  }
  return 0;
}

// Order, layout offsets, held-out effects and first parameters.
void startingLayout(SelectionState* s) {
  const int32_t E = s->effectCount;
  s->sscpOrder = s->fullMode ? s->paramCount + 1 : 1;
  int32_t offset = 1, param = 0;
  for (int32_t e = 0; e < E; ++e) {
    if (!s->fullMode) s->fullOffset[e] = offset;
    offset += s->columnCount[e];
    s->firstParam[e] = param;
    param += s->columnCount[e];
    if (s->fullMode) s->firstColumn[e] = s->layoutColumn[e];
    if (s->columnCount[e] == 0) s->states[e] = effstate::kHeldOut;
  }
  if (s->options->noInt && E > 0) s->states[0] = effstate::kHeldOut;
}

int hierarchyCounts(SelectionState* s) {
  const SelectionOptions* o = s->options;
  s->hierarchyOn = o->hierarchy == 1 || o->hierarchy == 2 || o->method == kMethodBackward;
  if (o->designPerByGroup || !o->prerequisiteCount || !o->dependantCount) return 0;
  if (!(s->missingPrerequisites = poolArray<int32_t>(s, s->effectCount)) ||
      !(s->absentDependants = poolArray<int32_t>(s, s->effectCount)))
    return rc::kMemory;
  if (s->hierarchyOn)
    for (int32_t e = 0; e < s->effectCount; ++e) {
      s->missingPrerequisites[e] = o->prerequisiteCount[e];
      s->absentDependants[e] = o->dependantCount[e];
    }
  return 0;
}

}  // namespace

bool allSingleColumn(const SelectionState* s) {
  for (int32_t e = 0; e < s->effectCount; ++e)
    if (s->columnCount[e] != 1) return false;
  return true;
}

int buildModelPool(SelectionState* s) {
  const SelectionOptions* o = s->options;
  if (s->modelPool) kernel().poolDestroy(s->modelPool);  // a pool left by the previous fit
  s->modelPool = kernel().poolCreate("model pool", kPoolPlain);
  if (!s->modelPool) return rc::kPool;
  if (!s->resample && s->scratch) {
    s->streamFile = s->scratch->file;
    if (!(s->streamPosition = poolArray<int64_t>(s, 1))) return rc::kMemory;
  }
  if (s->obsUsed == 0 || (s->validFreq == 0 && criterionAsked(o, kCritValidate))) return 0;

  s->fullMode = o->buildFullSscp;
  s->storeOn = !s->fullMode && o->effectStore;
  if (int rc = hierarchyCounts(s); rc != 0) return rc;
  s->stepCapacity = stepCapacityOf(s);
  if (int rc = foldsAndTheirArrays(s); rc != 0) return rc;

  const bool single = allSingleColumn(s);
  const bool byValue = criterionByPass(o->select);
  s->blockScoring = (methodIs(s, kMethodForward) || methodIs(s, kMethodStepwise)) && s->fullMode &&
                    !o->generalSearch && !single;
  if (s->blockScoring) {
    const int64_t c = s->largestEffectColumns;
    if (!(s->trialBlock = poolArray<double>(s, tri(c + 1))) ||
        !(s->trialFlags = poolArray<char>(s, c + 1)))
      return rc::kMemory;
  }
  // Candidates judged by a data-based criterion are tried one by one in the checkpoint.
  s->ck.buffersExist = o->generalSearch || byValue ||
                       (methodIs(s, kMethodForward) && !s->blockScoring) ||
                       ((methodIs(s, kMethodBackward) || methodIs(s, kMethodStepwise)) && !single);
  if (s->ck.buffersExist)
    if (int rc = checkpointLists(s); rc != 0) return rc;  // the matrices come with the order

  if (int rc = perEffectArrays(s); rc != 0) return rc;
  if (int rc = initialCapacities(s); rc != 0) return rc;
  startingLayout(s);
  return 0;
}

int growSweepStore(SelectionState* s, int32_t capacity) {
  const int32_t c = capacity < 0 ? 2 * s->sscpOrder : capacity;
  const long long n = packedElementCount(c);
  if (n < 0) return rc::kMemory;
  const int32_t old = s->orderCapacity;
  auto flagsTo = [&](char** f) {
    if (!poolGrow(s, f, c)) return false;
    for (int32_t i = old; i < c; ++i) (*f)[i] = '0';
    return true;
  };
  // Checkpoint pointers that reach the working matrices follow them.
  double* oldA = s->sscp;
  double* oldS = s->swept;
  if (!flagsTo(&s->flags) || !poolGrow(s, &s->sscp, n) || !poolGrow(s, &s->swept, n))
    return rc::kMemory;
  if (s->ck.sscp == oldA) s->ck.sscp = s->sscp;
  if (s->ck.swept == oldS) s->ck.swept = s->swept;
  Checkpoint& k = s->ck;
  if (k.buffersExist && (!poolGrow(s, &k.compactSwept, n) || !poolGrow(s, &k.sweptCopy, n) ||
                         !poolGrow(s, &k.compactSscp, n) || !poolGrow(s, &k.sscpCopy, n) ||
                         !flagsTo(&k.flagsCopy[0]) || !flagsTo(&k.flagsCopy[1])))
    return rc::kMemory;
  if (k.active) k.capacity = c;
  for (int32_t f = 0; f < s->folds; ++f) {
    FoldRecord& r = s->foldRecs[f];
    double* oldAf = r.sscp;
    double* oldSf = r.swept;
    if (!flagsTo(&r.flags) || !poolGrow(s, &r.sscp, n) || !poolGrow(s, &r.swept, n))
      return rc::kMemory;
    if (r.savedSscp == oldAf) r.savedSscp = r.sscp;
    if (r.savedSwept == oldSf) r.savedSwept = r.swept;
    if (k.buffersExist && (!poolGrow(s, &r.compactSwept, n) || !poolGrow(s, &r.sweptCopy, n) ||
                           !poolGrow(s, &r.compactSscp, n) || !poolGrow(s, &r.sscpCopy, n) ||
                           !flagsTo(&r.flagsCopy[0]) || !flagsTo(&r.flagsCopy[1])))
      return rc::kMemory;
  }
  s->orderCapacity = c;
  return 0;
}

int growEffectStore(SelectionState* s, int32_t rows, int32_t rowLength) {
  const int32_t r = rows < 0 ? 2 * s->storeRowCapacity : rows;
  const int64_t n = static_cast<int64_t>(r) * rowLength;
  if (!poolGrow(s, &s->store, n)) return rc::kMemory;
  for (int32_t f = 0; f < s->folds; ++f)
    if (!poolGrow(s, &s->foldRecs[f].store, n)) return rc::kMemory;
  s->storeRowCapacity = r;
  return 0;
}

int growStepHistory(SelectionState* s, int32_t capacity) {
  const SelectionOptions* o = s->options;
  StepHistory& h = s->steps;
  // Arrays with an entry at index -1 are kept one element into their block.
  auto before = [&](auto** p) {
    auto* base = *p ? *p - 1 : nullptr;
    if (!poolGrow(s, &base, capacity + 1)) return false;
    *p = base + 1;
    return true;
  };
  auto plain = [&](auto** p, bool wanted) { return !wanted || poolGrow(s, p, capacity); };
  const bool path = o->pathMethod != 0;
  layOutStepCriteria(&h, o);
  if (!before(&h.sse) || !before(&h.sweptColumns) || !before(&h.parameters) ||
      !before(&h.effects) || !plain(&h.effect, true) ||
      !poolGrow(s, &h.criteria, int64_t{capacity} * h.criterionCount) ||
      !plain(&h.testAse, o->testAsePerStep) || !plain(&h.fifth, o->fifthPerStep) ||
      !plain(&h.lambdaRatio, path) || !plain(&h.l1Norm, path) || !plain(&h.pathSecond, path) ||
      !plain(&h.pathExtra, o->externalCv && path))
    return rc::kMemory;
  s->historyCapacity = capacity;
  return 0;
}

int growChangeList(SelectionState* s, int32_t length) {
  if (!poolGrow(s, &s->steps.changes, length)) return rc::kMemory;
  s->changeListCapacity = length;
  return 0;
}

int checkpointLists(SelectionState* s) {
  Checkpoint& c = s->ck;
  for (int i = 0; i < 2; ++i) {
    if (!(c.firstColumnCopy[i] = poolArray<int32_t>(s, s->effectCount))) return rc::kMemory;
    if (!(c.entryOrderCopy[i] = poolArray<int32_t>(s, s->effectCount))) return rc::kMemory;
  }
  return 0;
}

int ensureCheckpointBuffers(SelectionState* s) {
  if (s->ck.buffersExist) return 0;
  s->ck.buffersExist = 1;
  if (int rc = checkpointLists(s); rc != 0) return rc;
  return growSweepStore(s, s->orderCapacity);
}

void resetSelectionState(SelectionState* s) {
  SelectionState keep = *s;
  *s = SelectionState();
  // What the frame and the data pass set for the group stays.
  s->modelPool = keep.modelPool;
  s->obsRead = keep.obsRead, s->freqRead = keep.freqRead, s->freqStored = keep.freqStored;
  s->rowsStored = keep.rowsStored, s->obsUsed = keep.obsUsed, s->trainFreq = keep.trainFreq;
  s->validRows = keep.validRows, s->testRows = keep.testRows, s->testFreq = keep.testFreq;
  s->validFreq = keep.validFreq, s->noRoleRows = keep.noRoleRows, s->noRoleFreq = keep.noRoleFreq;
  s->testObsRead = keep.testObsRead, s->testFreqRead = keep.testFreqRead;
  s->validObsRead = keep.validObsRead, s->validFreqRead = keep.validFreqRead;
  s->trainWeight = keep.trainWeight, s->validWeight = keep.validWeight;
  s->testWeight = keep.testWeight, s->tol = keep.tol;
  s->effectCount = keep.effectCount, s->paramCount = keep.paramCount;
  s->denseValues = keep.denseValues, s->sparseEffectCount = keep.sparseEffectCount;
  s->singleColumnEffects = keep.singleColumnEffects;
  s->largestEffectColumns = keep.largestEffectColumns;
  s->firstSelectable = keep.firstSelectable;
  s->sparseIndex = keep.sparseIndex, s->layoutColumn = keep.layoutColumn;
  s->denseOffset = keep.denseOffset, s->columnCount = keep.columnCount;
  s->sparseEffects = keep.sparseEffects;
  s->colMeans = keep.colMeans, s->colScales = keep.colScales;
  s->initialEstimates = keep.initialEstimates;
  s->sumWy = keep.sumWy, s->sumWyy = keep.sumWyy, s->responseMean = keep.responseMean;
  s->totalSS = keep.totalSS, s->correctedSS = keep.correctedSS, s->sigma2Full = keep.sigma2Full;
  s->heldOutFold = keep.heldOutFold, s->extCvFolds = keep.extCvFolds;
  s->resample = keep.resample, s->resampleFeed = keep.resampleFeed, s->scratch = keep.scratch;
  s->options = keep.options, s->utilFiles = keep.utilFiles, s->threads = keep.threads;
  s->puddle = keep.puddle, s->stepCode = keep.stepCode;
  s->headerFile = keep.headerFile, s->headerPosition = keep.headerPosition;
  s->l2 = keep.l2, s->penalty = keep.penalty;
  s->containedCount = keep.containedCount, s->containingCount = keep.containingCount;
  s->containedCountCopy = keep.containedCountCopy;
  s->containingCountCopy = keep.containingCountCopy;
  s->containedLists = keep.containedLists, s->containingLists = keep.containingLists;
  invalidateDataCriteria(s);
}

void freeSelectionState(SelectionState* s) {
  if (s->modelPool) kernel().poolDestroy(s->modelPool);
  // No array of the pool outlives it.
  s->modelPool = nullptr;
  resetSelectionState(s);
}

}  // namespace vsf
