// The fit driver: how many selection runs the fit of one BY group takes, and with which
// settings. Each run is buildModelPool then runSelection; the last run's state stays for the
// displays.
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "penalized/path_internal.h"
#include "penalized/penalized.h"
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

// This build fits the classical methods and the LAR, LASSO and elastic-net path at a given L2.
// The optimizer methods, the searches for the elastic net's L2, external cross validation and
// model averaging would otherwise show a model that no selection chose, and end as a success:
// they end the step with an error before anything is fitted.
int refuseUnbuilt(SelectionState* s) {
  const SelectionOptions* o = s->options;
  const MethodCode m = o->method;
  const bool path = m >= kMethodLar && m <= kMethodElasticNetLs;
  if (o->modelAveragingRun) {
    hostMsg(848, 4902);
  } else if (o->externalCv && path) {
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
  (void)resamples;
  if (int rc = refuseUnbuilt(state); rc != 0) return rc;
  state->pathMethods = &kPathMethods;
  switch (roadOf(state->options)) {
    case Road::kPlain:
      return plainFit(state);
    case Road::kResamples:
      // One run per sample comes with model averaging; until then the data are fitted once.
      return plainFit(state);
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
