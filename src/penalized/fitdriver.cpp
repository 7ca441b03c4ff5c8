// The fit driver: how many selection runs the fit of one BY group takes, and with which
// settings. Each run is buildModelPool then runSelection; the last run's state stays for the
// displays.
#include <algorithm>
#include <string>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/utilfiles.h"
#include "penalized/path_internal.h"
#include "penalized/penalized.h"
#include "selection/resample.h"
#include "selection/selection.h"
#include "statements/settings.h"

namespace vsf {

namespace {

// The roads of a fit, first match wins.
enum class Road { kResamples, kCrossValidatedPath, kPenaltyByCv, kL2Search, kPlain, kNothing };

Road roadOf(const SelectionOptions* o) {
  const MethodCode m = o->method;
  if (o->modelAveragingRun) return Road::kResamples;
  if (o->externalCv) {
    if (m >= kMethodLar && m <= kMethodElasticNetLs) return Road::kCrossValidatedPath;
    return m == kMethodGroupLasso ? Road::kPenaltyByCv : Road::kNothing;
  }
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

const PathMethods kPathMethods = {standardizeRows, runLarPath, restoreRows};

// The selected model of the run: the chosen step's when a CHOOSE= criterion chose one.
void keepSelectedModel(const SelectionState* s, SampleFit* fit) {
  fit->status = s->run.status;
  if (fit->status < 0) return;
  const bool chosen =
      s->options->choose != kCritNone && s->run.chosenStep >= 0 && s->run.chosenEffects;
  const int32_t k = chosen ? s->steps.effects[s->run.chosenStep] : s->sweep.effectsInModel;
  const int32_t* effects = chosen ? s->run.chosenEffects : s->sweep.entryOrder;
  const double* estimates = chosen ? s->run.chosenEstimates : s->sweep.estimates;
  fit->effects.assign(effects, effects + std::max(k, 0));
  fit->estimates.assign(estimates, estimates + s->layout.paramCount);
}

// One run per sample, record after record; every run starts from the full data's totals. A
// sample whose run fails is kept with its status and left out of the average.
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
      s->resample = w;
      s->streamFile = w->histories.file;
      s->streamPosition = w->histories.file ? &w->historyEnd : nullptr;
      int rc = buildModelPool(s);
      if (rc == 0 && s->streamFile) {
        const int32_t number = k + 1;  // the details tables read it before the history
        rc = streamWriteAt(s->streamFile, &number, sizeof number, &w->historyEnd) == 0
                 ? 0
                 : rc::kPageIo;
      }
      if (rc == 0) rc = runSelection(s);
      if (rc != 0 && s->run.status >= 0) s->run.status = rc;
      keepSelectedModel(s, &set->fits[static_cast<size_t>(k)]);
      s->totals = full;
      std::copy(means.begin(), means.end(), s->layout.colMeans);
      std::copy(scales.begin(), scales.end(), s->layout.colScales);
    }
  }
  s->resample = nullptr;
  s->streamFile = nullptr;
  s->streamPosition = nullptr;
  return 0;
}

// This build fits the classical methods and the LAR, LASSO and elastic-net path at a given L2.
// The optimizer methods, the searches for the elastic net's L2 and external cross validation
// would otherwise show a model that no selection chose, and end as a success:
// they end the step with an error before anything is fitted.
int refuseUnbuilt(SelectionState* s) {
  const SelectionOptions* o = s->options;
  const MethodCode m = o->method;
  const bool path = m >= kMethodLar && m <= kMethodElasticNetLs;
  if (o->externalCv && path) {
    hostMsg(848, 4905);
  } else if ((m == kMethodElasticNet || m == kMethodElasticNetLs) && o->l2Search != kL2SearchNone) {
    hostMsg(848, 4906);
  } else if (m >= kMethodLar && !path) {
    const std::string method = hostMsgText(848, o->adaptive ? 438 : 419 + codeIndex(m));
    hostMsg(848, 4901, {std::string_view(method)});
  } else {
    return 0;
  }
  if (s->stepCode) raiseStepCode(*s->stepCode, step::kInternal);
  return rc::kStatement;
}

}  // namespace

int fitModel(SelectionState* state, ResampleSet* resamples) {
  if (int rc = refuseUnbuilt(state); rc != 0) return rc;
  state->pathMethods = &kPathMethods;
  switch (roadOf(state->options)) {
    case Road::kPlain:
      return plainFit(state);
    case Road::kResamples:
      return resamples ? fitSamples(state, resamples) : plainFit(state);
    case Road::kCrossValidatedPath:
    case Road::kPenaltyByCv:
      // External cross validation (a run per fold and penalty, then a final run on all the
      // folds) comes with the path methods; until then the final run alone.
      return plainFit(state);
    case Road::kL2Search:
      // The L2 searches (golden section, grid) come with the elastic net; until then one
      // run at the current L2.
      return plainFit(state);
    case Road::kNothing:
      return 0;
  }
  return 0;
}

}  // namespace vsf
