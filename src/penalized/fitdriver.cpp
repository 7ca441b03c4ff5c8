// The fit driver: how many selection runs the fit of one BY group takes, and with which
// settings. Each run is buildModelPool then runSelection; the last run's state stays for the
// displays.
#include <algorithm>
#include <string>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/utilfiles.h"
#include "penalized/optimizer_internal.h"
#include "penalized/path_internal.h"
#include "penalized/penalized.h"
#include "penalized/tuning_internal.h"
#include "selection/resample.h"
#include "selection/selection.h"

namespace vsf {

namespace {

// The roads of a fit, first match wins.
enum class Road { kResamples, kCrossValidatedPath, kPenaltyByCv, kL2Search, kPlain, kNothing };

// External cross validation runs the folds of the LAR path along it, and group LASSO's by
// penalty; no other method has it.
Road externalCvRoad(MethodCode m) {
  switch (methodFamily(m).kind) {
    case MethodKind::kPath:
      return Road::kCrossValidatedPath;
    case MethodKind::kGroup:
      return Road::kPenaltyByCv;
    default:
      return Road::kNothing;
  }
}

Road roadOf(const PathOptions* o, const CvOptions* cv) {
  const MethodCode m = o->method;
  if (o->modelAveragingRun) return Road::kResamples;
  if (cv->externalCv) return externalCvRoad(m);
  if (m == kMethodElasticNet || m == kMethodElasticNetLs) {
    if (o->l2Search == kL2SearchGolden || o->l2Search == kL2SearchGrid) return Road::kL2Search;
    return o->l2Search == kL2SearchNone ? Road::kPlain : Road::kNothing;
  }
  return Road::kPlain;
}

int plainFit(SelectionState* s) {
  if (int rc = buildModelPool(s); rc != 0) return rc;
  return runSelection(s);
}

const PathMethods kPathMethods = {standardizeRows, runLarPath, restoreRows, runOptimizerMethod};

void setFlags(SelectionState* s, uint8_t first, uint8_t fold) {
  RunFlags& f = s->runFlags;
  f.firstFit = first, f.foldFit = fold;
}

// A search's outcome: a failed run's code goes up; a run that ended with a nonzero status
// leaves it in the state and the fit ends without a final run.
bool searchEnded(const L2SearchResult& r, int* rc) {
  *rc = r.rc == kTuningStopped ? 0 : r.rc;
  return r.rc != 0;
}

int finalRun(SelectionState* s, double l2) {
  if (int rc = buildModelPool(s); rc != 0) return rc;
  setFlags(s, 0, 0);
  s->path.l2 = l2;
  return runSelection(s);
}

// An L2 search that nothing judges, or whose criterion has no value for it, keeps its first
// L2: the log names the criterion in words, or says that neither CHOOSE= nor STOP= gave one.
void noteUnjudgedL2(const PathOptions& o, double kept) {
  const CriterionCode c = l2JudgingCriterion(o);
  if (criterionJudgesL2(c)) return;
  if (c == kCritNone) {
    hostMsg(848, 2162, {kept});
    return;
  }
  const std::string name = hostMsgText(848, criterionInfo(c).texts.name);
  hostMsg(848, 2161, {std::string_view(name), kept});
}

// Room for the history of the L2 values that SHOWL2SEARCH$ shows, which grows with L2STEPS=:
// held to the memory before any is made. 0, rc::kMemory, or rc::kNoMemoryLeft after the error.
int reserveL2History(SelectionState* s, int32_t values) {
  if (!runOptionFits(s, "L2STEPS", std::to_string(s->pathOptions->l2Steps), kHistoryBytes * values,
                     hostMsgText(848, 6157, {values})))
    return rc::kNoMemoryLeft;
  return reserveHistory(&s->tuning, values);
}

// The searches over L2 without external cross validation: a run per L2 value, the first over
// the rows as stored (it rewrites them and keeps the crossproducts), the later ones on those.
int searchL2(SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  TuningTables& t = s->tuning;
  if (o->showL2Search)
    if (int rc = reserveL2History(s, std::max(o->l2Steps, 3)); rc != 0) return rc;
  t.keepSscp = 1;
  const L2Objective objective = [s](double l2, int32_t index, double* value) {
    setFlags(s, index == 0 ? 1 : 0, 0);
    s->tuning.point = index;
    return l2TuneObjective(s, l2, value);
  };
  const bool golden = o->l2Search == kL2SearchGolden;
  const L2SearchResult r = golden ? goldenSectionSearch(o->l2Low, o->l2High, o->l2Steps, objective)
                                  : gridSearch(o->l2Low, o->l2High, o->l2Steps, objective);
  if (int rc = 0; searchEnded(r, &rc)) return rc;
  if (golden && !r.converged) hostLogPrintf("chosen L2 by golden section search = {:.5e}:", r.best);
  noteUnjudgedL2(*o, r.best);
  return finalRun(s, r.best);
}

// The L2 values of the elastic net judged by external cross validation, each by a path per
// fold; the chosen L2 and its alignment value stay in the state.
int searchL2ByCv(SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  TuningTables& t = s->tuning;
  const int32_t n = o->l2Search == kL2SearchNone ? 1 : std::max(o->l2Steps, 3);
  if (o->showL2Search)
    if (int rc = reserveL2History(s, n); rc != 0) return rc;
  const L2Objective objective = [&](double l2, int32_t index, double* value) {
    s->path.l2 = l2;
    const int rc = evalL2ByCV(s, value);
    if (rc != 0) return rc;
    if (o->showL2Search && index < t.historyRows) {
      double* row = t.history + int64_t{7} * index;
      row[0] = l2, row[1] = t.chosenAlignment, row[3] = *value;
    }
    return 0;
  };
  L2SearchResult r;
  if (o->l2Search == kL2SearchGolden)
    r = goldenSectionSearch(o->l2Low, o->l2High, o->l2Steps, objective);
  else if (o->l2Search == kL2SearchGrid)
    r = gridSearch(o->l2Low, o->l2High, o->l2Steps, objective);
  else
    r.best = s->path.l2;
  if (int rc = 0; searchEnded(r, &rc)) return rc;
  // The tables the displays and the final run read are those of the chosen L2.
  s->path.l2 = r.best;
  double value = 0;
  const int rc = evalL2ByCV(s, &value);
  return rc == kTuningStopped ? 0 : rc;
}

// External cross validation of a path method; the elastic net's least-squares variant is
// tuned as the elastic net and refitted as itself. A sample's folds sum its own drawn rows.
int crossValidatedPath(SelectionState* s) {
  s->tuning.heldStale = 1;
  const MethodCode method = s->pathOptions->method;
  const bool elasticNet = method == kMethodElasticNet || method == kMethodElasticNetLs;
  s->runFlags.method = elasticNet ? kMethodElasticNet : method;
  int rc = 0;
  if (elasticNet) {
    rc = searchL2ByCv(s);
  } else {
    double value = 0;
    rc = evalL2ByCV(s, &value);
    if (rc == kTuningStopped) rc = 0;
  }
  s->runFlags.method = method;
  if (rc != 0 || s->run.status != 0) return rc;
  s->path.heldOutFold = s->path.extCvFolds;
  setFlags(s, 1, 0);
  if (int rc2 = buildModelPool(s); rc2 != 0) return rc2;
  // The folds' crossproducts sum to those of every row: the final run needs no pass either.
  if (s->tuning.heldSscp && foldsByCrossproducts(s)) {
    prepareFold(s, -1);
    setFlags(s, 0, 0);
  }
  // The final run's external-CV criterion reads the folds' averaged ASE on the merged grid.
  s->path.extCvGrid = s->tuning.grid;
  s->path.extCvValues = s->tuning.average;
  s->path.extCvCount = s->tuning.gridCount;
  const int rc3 = runSelection(s);
  s->tuning.foldSscp = nullptr;
  return rc3;
}

// The selected model of the run: the chosen step's when a CHOOSE= criterion chose one.
void keepSelectedModel(const SelectionState* s, SampleFit* fit) {
  fit->status = s->run.status;
  fit->foldedFreq = s->run.foldedFreq, fit->emptyFold = s->run.emptyFold;
  if (fit->status < 0) return;
  const bool chosen =
      s->pathOptions->choose != kCritNone && s->run.chosenStep >= 0 && s->run.chosenEffects;
  const int32_t k = chosen ? s->steps.effects[s->run.chosenStep] : s->sweep.effectsInModel;
  const int32_t* effects = chosen ? s->run.chosenEffects : s->sweep.entryOrder;
  const double* estimates = chosen ? s->run.chosenEstimates : s->sweep.estimates;
  fit->effects.assign(effects, effects + std::max(k, 0));
  fit->estimates.assign(estimates, estimates + s->layout.paramCount);
}

// A sample draws its rows once, from the full data's training units, before any of its runs:
// the folds of external cross validation split the drawn rows, and every run of the sample
// reads the same counts. The sample's totals are then what its folds save and restore. A
// plain sample's single run draws them itself.
int drawSample(SelectionState* s, Road road) {
  s->resample->drawDone = 0;
  s->tuning.saved = 0;
  if (road == Road::kPlain) return 0;
  // The passes read the run's column layout, which the model pool holds.
  int rc = buildModelPool(s);
  if (rc == 0) rc = drawResample(s);
  // The path's folds start from the sample's moments, as a plain fit's start from the data's.
  if (rc == 0 && road == Road::kCrossValidatedPath) {
    s->path.heldOutFold = s->path.extCvFolds;
    rc = sampleMoments(s);
  }
  freeSelectionState(s);
  return rc;
}

// A sample's fit takes the road a fit of its rows alone would: external cross validation
// runs its folds on the drawn rows (the refit's least squares chooses nothing).
Road sampleRoad(const PathOptions* o, const CvOptions* cv) {
  if (cv->externalCv && o->choose == kCritCvExternal)
    if (const Road road = externalCvRoad(o->method); road != Road::kNothing) return road;
  return Road::kPlain;
}

int fitSample(SelectionState* s) {
  const Road road = sampleRoad(s->pathOptions, s->cv);
  if (int rc = drawSample(s, road); rc != 0) return rc;
  if (road == Road::kCrossValidatedPath) return crossValidatedPath(s);
  if (road == Road::kPenaltyByCv) return choosePenaltyByCV(s);
  return plainFit(s);
}

// One run per sample, record after record; every run starts from the full data's totals. A
// sample whose run ends with a nonzero status (no training rows, no error variance) is kept
// with it and left out of the average; a run that fails (its pool, memory, a page of the rows)
// ends the fit with its code, for an average of the samples left would not be the one asked.
int fitSamples(SelectionState* s, ResampleSet* set) {
  const RunTotals full = s->totals;
  // Each sample's path takes its own column moments; the later fits read the full data's.
  const int32_t m = s->layout.paramCount;
  const std::vector<double> means(s->layout.colMeans, s->layout.colMeans + m),
      scales(s->layout.colScales, s->layout.colScales + m);
  set->fits.assign(static_cast<size_t>(set->samples), SampleFit{});
  for (int32_t r = 0; r < set->recordCount; ++r) {
    ResampleWork* w = &set->records[static_cast<size_t>(r)];
    for (int32_t i = 0; i < w->share; ++i) {
      const int32_t k = w->firstSample + i;
      w->sampleId = k;
      w->rng = RngState();
      w->rng.seed = sampleSeed(set->procedureSeed, set->seedOffset + k);
      if (zrnginit(&w->rng) != 0) return rc::kRngNotSetUp;
      const PathMethods* methods = s->pathMethods;
      resetSelectionState(s);
      s->pathMethods = methods;
      s->sample = k + 1, s->samples = set->samples;
      s->resample = w;
      s->streamFile = w->histories.file;
      s->streamPosition = w->histories.file ? &w->historyEnd : nullptr;
      w->historyId = i;
      if (int rc = fitSample(s); rc != 0) return rc;
      // A method that failed inside the run leaves its code as the run's status.
      if (runFailed(s->run.status)) return s->run.status;
      keepSelectedModel(s, &set->fits[static_cast<size_t>(k)]);
      // The sample's final record closes its step records for the details; the runs of its
      // folds, if any, left the state without a stream.
      w->historyId = -100 - i;
      s->streamFile = w->histories.file;
      s->streamPosition = w->histories.file ? &w->historyEnd : nullptr;
      if (s->streamFile && writeStepHistory(s) != 0) return rc::kPageIo;
      s->totals = full;
      std::copy(means.begin(), means.end(), s->layout.colMeans);
      std::copy(scales.begin(), scales.end(), s->layout.colScales);
    }
  }
  s->resample = nullptr;
  s->sample = s->samples = 0;
  s->streamFile = nullptr;
  s->streamPosition = nullptr;
  s->tuning.saved = 0;  // the last sample's totals are no longer the data's
  return 0;
}

const char* criterionKeyword(CriterionCode c) { return criterionInfo(c).keyword; }

// A penalized fit whose stop rule (SBC by default) ended the path early chose its model among
// the steps before that stop only, where a user expects the whole path: the log says so, and
// how to take the whole path.
void explainEarlyStop(const SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  if (!methodFamily(o->method).penalized() || o->choose == kCritNone || s->run.status != 0) return;
  std::string stop;
  switch (s->run.stop.reason) {
    case stopreason::kCriterion:
      if (o->stop != o->choose) stop = criterionKeyword(o->stop);
      break;
    case stopreason::kStopSize:
      stop = std::to_string(o->stopSteps);
      break;
    case stopreason::kL1Reached:
      stop = "L1";
      break;
    default:
      break;
  }
  if (stop.empty()) return;
  hostMsg(848, 2160, {std::string_view(criterionKeyword(o->choose)), std::string_view(stop)});
}

int fitByRoad(SelectionState* state, ResampleSet* resamples) {
  switch (roadOf(state->pathOptions, state->cv)) {
    case Road::kPlain:
      return plainFit(state);
    case Road::kResamples:
      return resamples ? fitSamples(state, resamples) : plainFit(state);
    case Road::kCrossValidatedPath:
      return crossValidatedPath(state);
    case Road::kPenaltyByCv:
      return choosePenaltyByCV(state);
    case Road::kL2Search:
      return searchL2(state);
    case Road::kNothing:
      return 0;
  }
  return 0;
}

}  // namespace

int fitModel(SelectionState* state, ResampleSet* resamples) {
  state->pathMethods = &kPathMethods;
  // Nothing of an earlier fit's runs (another BY group's, the first pass before a refit) is
  // carried into this one.
  state->runFlags = plainRunFlags(*state->pathOptions);
  const int rc = fitByRoad(state, resamples);
  if (rc == 0 && !state->pathOptions->modelAveragingRun) explainEarlyStop(state);
  return rc;
}

}  // namespace vsf
