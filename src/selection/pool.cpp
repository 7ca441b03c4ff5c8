// The model pool of a fit and the sizes of its arrays.
#include <algorithm>
#include <iterator>
#include <string>

#include "base/codes.h"
#include "datapass/utilfiles.h"
#include "selection/resample.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

bool methodIs(const SelectionState* s, MethodCode m) { return s->runFlags.method == m; }

bool criterionAsked(const EngineOptions* o, CriterionCode code) {
  return o->select == code || o->stop == code || o->choose == code;
}

// Steps the history has room for at first.
constexpr int32_t kFirstHistory = 4096;

// Steps a run may take at most.
int32_t stepCapacityOf(const SelectionState* s) {
  const EngineOptions* o = s->engine;
  const int32_t e1 = s->layout.effectCount - (o->noInt ? 1 : 0);
  const int32_t m = o->maxSteps;
  auto capped = [m](int32_t v) { return m > 0 && m < v ? m : v; };
  const MethodFamily family = methodFamily(s->runFlags.method);
  int32_t c;
  if (family.kind == MethodKind::kNone) {
    c = e1;
  } else if (family.byOptimizer()) {
    c = m > 0 ? m : 100;
  } else {
    // An effect may enter and leave again: twice the effects.
    c = capped(methodInfo(s->runFlags.method).moves == MethodMoves::kBoth ? 2 * e1 : e1);
  }
  if (s->runFlags.method != kMethodNone && o->maxEffects > 0)
    c = std::min(c, o->maxEffects + o->forcedEffects);
  return std::max(c, 1);
}

// The optimizer's path takes a step per penalty up to MAXSTEPS=, each kept with its criteria
// (and the external folds' steps beside them): a limit given is held to the memory at once.
bool optimizerStepsFit(const SelectionState* s) {
  const EngineOptions* o = s->engine;
  if (!methodFamily(s->runFlags.method).byOptimizer() || o->maxSteps <= 0) return true;
  constexpr double kStepBytes = 256;
  const double kept = 1.0 + std::max(s->path.extCvFolds, 0);
  return runOptionFits(s, "MAXSTEPS", std::to_string(o->maxSteps), kStepBytes * kept * o->maxSteps,
                       hostMsgText(848, 6158, {o->maxSteps}));
}

// Per fold: the incremental mode's own blocks.
bool allocateEffectBlocks(SelectionState* s, double*** blocks) {
  *blocks = poolArray<double*>(s, s->layout.effectCount);
  if (!*blocks) return false;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    int64_t c = s->layout.columnCount[e];
    if (c > 0 && !((*blocks)[e] = poolArray<double>(s, tri(c)))) return false;
  }
  return true;
}

// Bytes of the folds' matrices as the run starts: A_f and S_f in the full mode, with what the
// pass that sums them takes (the order is not yet set); the incremental mode's own blocks, each
// worker of a pass summing its part of them too.
double foldMatrixBytes(const SelectionState* s) {
  const int32_t folds = s->folds;
  if (s->sweep.fullMode) {
    const int64_t order = s->layout.paramCount + 1;
    return 16.0 * folds * static_cast<double>(tri(order)) + sscpPassBytes(s, folds, order);
  }
  double blocks = 0;
  for (int32_t e = 0; e < s->layout.effectCount; ++e)
    blocks += static_cast<double>(tri(s->layout.columnCount[e]));
  const double workers = s->workers && s->workers->threaded ? s->workers->count : 1;
  return 8.0 * folds * blocks * (1 + workers);
}

int foldsAndTheirArrays(SelectionState* s) {
  const CvOptions* o = s->cv;
  if (!o->kfold) return 0;
  s->folds = s->layout.foldCount;
  if (s->totals.obsUsed < s->folds && o->method != kCvRandom)
    s->folds = static_cast<int32_t>(s->totals.obsUsed);
  if (s->folds < 1) return 0;
  if (!foldsFitMemory(s, s->folds, foldMatrixBytes(s))) return rc::kNoMemoryLeft;
  if (!(s->foldRecs = poolArray<FoldRecord>(s, s->folds))) return rc::kMemory;
  for (int32_t f = 0; f < s->folds; ++f)
    if (o->foldEstimates &&
        !(s->foldRecs[f].estimates = poolArray<double>(s, s->layout.paramCount)))
      return rc::kMemory;
  return 0;
}

// Order-sized arrays, history and store at their first sizes.
int initialCapacities(SelectionState* s) {
  const EngineOptions* o = s->engine;
  const int64_t p = s->layout.paramCount, E = std::max(s->layout.effectCount, 1);
  int32_t capacity = static_cast<int32_t>(p + 1), history = s->steps.stepCapacity;
  int64_t storeRows = 0;
  if (!s->sweep.fullMode) {
    double r;
    if (o->maxEffects <= 0) {
      history = std::max(s->steps.stepCapacity / 2, 1);
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
  // The history grows as the steps come: a step limit far beyond them costs nothing.
  if (int rc = growStepHistory(s, std::clamp(history, 1, kFirstHistory)); rc != 0) return rc;
  if (s->sweep.storeOn)
    if (int rc = growEffectStore(s, static_cast<int32_t>(std::max<int64_t>(storeRows, 1)),
                                 static_cast<int32_t>(p + 1));
        rc != 0)
      return rc;
  if (s->runFlags.cvPerPathStep)
    if (int rc = growChangeList(s, 2 * s->layout.effectCount); rc != 0) return rc;
  return 0;
}

// The chosen step's copy of the model, kept when CHOOSE= may pick an earlier step, and each
// fold's SSE (and estimates) at that step.
int chosenStepArrays(SelectionState* s) {
  const EngineOptions* o = s->engine;
  const CvOptions* cv = s->cv;
  const int64_t p = s->layout.paramCount, E = s->layout.effectCount;
  RunStatus& r = s->run;
  if (o->choose != kCritNone && (!(r.chosenEstimates = poolArray<double>(s, p)) ||
                                 !(r.chosenStdEstimates = poolArray<double>(s, p)) ||
                                 !(r.chosenInvDiag = poolArray<double>(s, p)) ||
                                 !(r.chosenEffects = poolArray<int32_t>(s, E)) ||
                                 !(r.chosenStates = poolArray<EffectState>(s, E))))
    return rc::kMemory;
  if (s->folds < 1) return 0;
  if (cv->foldStats && !(r.chosenFoldSse = poolArray<double>(s, s->folds))) return rc::kMemory;
  if (cv->foldEstimates && o->choose != kCritNone &&
      !(r.chosenFoldEstimates = poolArray<double>(s, int64_t{s->folds} * p)))
    return rc::kMemory;
  return 0;
}

// The sweep's per-effect and per-parameter arrays; the matrices come with the order
// (growSweepStore) and the history with its capacity (growStepHistory).
int sweepArrays(SelectionState* s) {
  const EngineOptions* o = s->engine;
  const int64_t p = s->layout.paramCount, E = s->layout.effectCount;
  const int64_t F = s->folds;
  if (!(s->sweep.states = poolArray<EffectState>(s, E)) ||
      !(s->sweep.firstParam = poolArray<int32_t>(s, E)) ||
      !(s->sweep.firstColumn = poolArray<int32_t>(s, E)) ||
      !(s->sweep.entryOrder = poolArray<int32_t>(s, E)) ||
      !(s->sweep.work = poolArray<double>(s, F > p ? F : p + 1)) ||
      !(s->sweep.effectWork =
            poolArray<double>(s, methodFamily(s->runFlags.method).grouped ? p : E)) ||
      !(s->sweep.estimates = poolArray<double>(s, p)) ||
      !(s->sweep.stdEstimates = poolArray<double>(s, p)) ||
      !(s->sweep.invDiag = poolArray<double>(s, p)) ||
      !(s->sweep.colSquares = poolArray<double>(s, p)))
    return rc::kMemory;
  if (o->adaptive && !(s->sweep.weights = poolArray<double>(s, p))) return rc::kMemory;
  if (o->candidateValues && !(s->sweep.candidateValues = poolArray<double>(s, E)))
    return rc::kMemory;
  if (methodIs(s, kMethodBackward) && !(s->sweep.aliasedList = poolArray<int32_t>(s, E)))
    return rc::kMemory;
  if (!s->sweep.fullMode) {
    if (!(s->sweep.storeSlot = poolArray<int32_t>(s, E)) ||
        !(s->sweep.fullOffset = poolArray<int32_t>(s, E)))
      return rc::kMemory;
    std::fill(s->sweep.storeSlot, s->sweep.storeSlot + E, -1);
    if (!allocateEffectBlocks(s, &s->sweep.effectBlocks)) return rc::kMemory;
    for (int32_t f = 0; f < s->folds; ++f)
      if (!allocateEffectBlocks(s, &s->foldRecs[f].blocks)) return rc::kMemory;
  }
  return 0;
}

// Order, layout offsets, held-out effects and first parameters.
void startingLayout(SelectionState* s) {
  const int32_t E = s->layout.effectCount;
  s->sweep.sscpOrder = s->sweep.fullMode ? s->layout.paramCount + 1 : 1;
  int32_t offset = 1, param = 0;
  for (int32_t e = 0; e < E; ++e) {
    if (!s->sweep.fullMode) s->sweep.fullOffset[e] = offset;
    offset += s->layout.columnCount[e];
    s->sweep.firstParam[e] = param;
    param += s->layout.columnCount[e];
    if (s->sweep.fullMode) s->sweep.firstColumn[e] = s->layout.layoutColumn[e];
    if (s->layout.columnCount[e] == 0) s->sweep.states[e] = EffectState::kHeldOut;
  }
  if (s->engine->noInt && E > 0) s->sweep.states[0] = EffectState::kHeldOut;
  // The refit pass of model averaging fits its model and nothing else.
  const ResampleSet* set = s->resample ? s->resample->set : nullptr;
  if (set && set->refitPass && static_cast<int32_t>(set->refitEffect.size()) >= E)
    for (int32_t e = 0; e < E; ++e)
      if (!set->refitEffect[static_cast<size_t>(e)]) s->sweep.states[e] = EffectState::kHeldOut;
}

int hierarchyCounts(SelectionState* s) {
  const EngineOptions* o = s->engine;
  s->sweep.hierarchyOn =
      o->hierarchy == 1 || o->hierarchy == 2 || s->runFlags.method == kMethodBackward;
  const CandidateData& c = candidateData(s);
  if (o->designPerByGroup || !c.prerequisiteCount || !c.dependantCount) return 0;
  if (!(s->sweep.missingPrerequisites = poolArray<int32_t>(s, s->layout.effectCount)) ||
      !(s->sweep.absentDependants = poolArray<int32_t>(s, s->layout.effectCount)))
    return rc::kMemory;
  if (s->sweep.hierarchyOn)
    for (int32_t e = 0; e < s->layout.effectCount; ++e) {
      s->sweep.missingPrerequisites[e] = c.prerequisiteCount[e];
      s->sweep.absentDependants[e] = c.dependantCount[e];
    }
  return 0;
}

}  // namespace

bool foldsFitMemory(const SelectionState* s, int32_t folds, double bytes) {
  static const char* const kMethods[] = {"", "RANDOM", "BLOCK", "SPLIT", "INDEX"};
  const CvOptions& cv = *s->cv;
  const auto method = static_cast<size_t>(cv.method);
  std::string value = method < std::size(kMethods) ? kMethods[method] : "";
  if (cv.method != kCvIndex) value += "(" + std::to_string(cv.requestedFolds) + ")";
  return runOptionFits(s, "CVMETHOD", value, bytes, hostMsgText(848, 6155, {folds}));
}

bool runOptionFits(const SelectionState* s, std::string_view option, std::string_view value,
                   double bytes, std::string_view holds) {
  if (optionFitsMemory(option, value, bytes, holds)) return true;
  if (s->stepCode) raiseStepCode(*s->stepCode, step::kMemory);
  return false;
}

bool allSingleColumn(const ColumnLayout& layout) {
  for (int32_t e = 0; e < layout.effectCount; ++e)
    if (layout.columnCount[e] != 1) return false;
  return true;
}

int buildModelPool(SelectionState* s) {
  const EngineOptions* o = s->engine;
  if (s->modelPool) kernel().poolDestroy(s->modelPool);  // a pool left by the previous fit
  s->modelPool = kernel().poolCreate("model pool", kPoolPlain);
  if (!s->modelPool) return rc::kPool;
  if (!s->resample && s->scratch) {
    s->streamFile = s->scratch->file;
    if (!(s->streamPosition = poolArray<int64_t>(s, 1))) return rc::kMemory;
  } else if (s->resample) {
    // A sample's history follows its number in its record's file; its folds' runs keep none.
    ScratchFileObject* f = s->runFlags.foldFit ? nullptr : s->resample->histories.file;
    s->streamFile = f;
    s->streamPosition = f ? &s->resample->historyEnd : nullptr;
  }
  if (s->totals.obsUsed == 0 || (s->totals.validFreq == 0 && criterionAsked(o, kCritValidate)))
    return 0;

  s->sweep.fullMode = o->buildFullSscp;
  s->sweep.storeOn = !s->sweep.fullMode && o->effectStore;
  if (int rc = hierarchyCounts(s); rc != 0) return rc;
  s->steps.stepCapacity = stepCapacityOf(s);
  if (!optimizerStepsFit(s)) return rc::kNoMemoryLeft;
  if (int rc = foldsAndTheirArrays(s); rc != 0) return rc;

  const bool single = allSingleColumn(s->layout);
  const bool byValue = criterionByPass(o->select);
  s->sweep.blockScoring = (methodIs(s, kMethodForward) || methodIs(s, kMethodStepwise)) &&
                          s->sweep.fullMode && !o->generalSearch && !single;
  if (s->sweep.blockScoring) {
    const int64_t c = s->layout.largestEffectColumns;
    if (!(s->sweep.trialBlock = poolArray<double>(s, tri(c + 1))) ||
        !(s->sweep.trialFlags = poolArray<char>(s, c + 1)))
      return rc::kMemory;
  }
  // Candidates judged by a data-based criterion are tried one by one in the checkpoint.
  s->ck.buffersExist = o->generalSearch || byValue ||
                       (methodIs(s, kMethodForward) && !s->sweep.blockScoring) ||
                       ((methodIs(s, kMethodBackward) || methodIs(s, kMethodStepwise)) && !single);
  if (s->ck.buffersExist)
    if (int rc = checkpointLists(s); rc != 0) return rc;  // the matrices come with the order

  if (int rc = sweepArrays(s); rc != 0) return rc;
  if (int rc = chosenStepArrays(s); rc != 0) return rc;
  if (int rc = initialCapacities(s); rc != 0) return rc;
  startingLayout(s);
  return 0;
}

int growSweepStore(SelectionState* s, int32_t capacity) {
  const int32_t c = capacity < 0 ? 2 * s->sweep.sscpOrder : capacity;
  const long long n = packedElementCount(c);
  if (n < 0) return rc::kMemory;
  const int32_t old = s->sweep.orderCapacity;
  auto flagsTo = [&](char** f) {
    if (!poolGrow(s, f, c)) return false;
    for (int32_t i = old; i < c; ++i) (*f)[i] = '0';
    return true;
  };
  // Checkpoint pointers that reach the working matrices follow them.
  double* oldA = s->sweep.sscp;
  double* oldS = s->sweep.swept;
  if (!flagsTo(&s->sweep.flags) || !poolGrow(s, &s->sweep.sscp, n) ||
      !poolGrow(s, &s->sweep.swept, n))
    return rc::kMemory;
  if (s->ck.sscp == oldA) s->ck.sscp = s->sweep.sscp;
  if (s->ck.swept == oldS) s->ck.swept = s->sweep.swept;
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
  s->sweep.orderCapacity = c;
  return 0;
}

int growEffectStore(SelectionState* s, int32_t rows, int32_t rowLength) {
  const int32_t r = rows < 0 ? 2 * s->sweep.storeRowCapacity : rows;
  const int64_t n = static_cast<int64_t>(r) * rowLength;
  if (!poolGrow(s, &s->sweep.store, n)) return rc::kMemory;
  for (int32_t f = 0; f < s->folds; ++f)
    if (!poolGrow(s, &s->foldRecs[f].store, n)) return rc::kMemory;
  s->sweep.storeRowCapacity = r;
  return 0;
}

int growStepHistory(SelectionState* s, int32_t capacity) {
  StepHistory& h = s->steps;
  layOutStepCriteria(&h, *s->engine, *s->cv);
  bool ok = true;
  forEachStepArray(h, *s->engine, *s->cv, [&](auto*& p, const StepArray& a) {
    if (!ok) return;
    // An array that keeps index -1 is kept one element into its block.
    auto* base = p && a.beforeFirst ? p - 1 : p;
    ok = poolGrow(s, &base, a.length(capacity));
    if (ok) p = a.beforeFirst ? base + 1 : base;
  });
  if (!ok) return rc::kMemory;
  h.historyCapacity = capacity;
  return 0;
}

int growChangeList(SelectionState* s, int32_t length) {
  if (!poolGrow(s, &s->steps.changes, length)) return rc::kMemory;
  s->steps.changeListCapacity = length;
  return 0;
}

int checkpointLists(SelectionState* s) {
  Checkpoint& c = s->ck;
  for (int i = 0; i < 2; ++i) {
    if (!(c.firstColumnCopy[i] = poolArray<int32_t>(s, s->layout.effectCount))) return rc::kMemory;
    if (!(c.entryOrderCopy[i] = poolArray<int32_t>(s, s->layout.effectCount))) return rc::kMemory;
  }
  return 0;
}

int ensureCheckpointBuffers(SelectionState* s) {
  if (s->ck.buffersExist) return 0;
  s->ck.buffersExist = 1;
  if (int rc = checkpointLists(s); rc != 0) return rc;
  return growSweepStore(s, s->sweep.orderCapacity);
}

void shareRunOptions(SelectionState* record, const SelectionState& run) {
  record->rules = run.rules, record->pathOptions = run.pathOptions;
  record->cv = run.cv, record->engine = run.engine;
}

// A new fit of the group: the model pool's parts start afresh, while what the frame and the
// data pass set for the group stays (the pass's record, the totals, the layout, the
// containment and the links), with the settings a tuning run carries from fit to fit.
void resetSelectionState(SelectionState* s) {
  SelectionState keep = *s;
  *s = SelectionState();
  static_cast<PassState&>(*s) = keep;
  s->rules = keep.rules;
  s->pathOptions = keep.pathOptions;
  s->cv = keep.cv, s->engine = keep.engine;
  s->totals = keep.totals;
  s->layout = keep.layout;
  s->containment = keep.containment;
  s->initialEstimates = keep.initialEstimates;
  s->resample = keep.resample, s->scratch = keep.scratch, s->stepCode = keep.stepCode;
  s->headerFile = keep.headerFile, s->headerPosition = keep.headerPosition;
  s->pathMethods = keep.pathMethods;
  s->runFlags = keep.runFlags;
  s->candidates = keep.candidates;
  s->fit.tol = keep.fit.tol, s->fit.sigma2Full = keep.fit.sigma2Full;
  s->fit.penalty = keep.fit.penalty;
  s->path.l2 = keep.path.l2, s->path.heldOutFold = keep.path.heldOutFold;
  s->path.extCvFolds = keep.path.extCvFolds;
  s->tuning = keep.tuning;
  invalidateDataCriteria(s);
}

void freeSelectionState(SelectionState* s) {
  if (s->modelPool) kernel().poolDestroy(s->modelPool);
  // No array of the pool outlives it.
  s->modelPool = nullptr;
  resetSelectionState(s);
}

}  // namespace vsf
