// The refit pass of model averaging: the effects the first pass selected often enough are
// fitted as they stand, without selection, on a new set of samples.
#include "averaging/averaging.h"
#include "base/host.h"
#include "displays/displays.h"
#include "frame/bridge.h"
#include "frame/phases.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "output/output.h"
#include "penalized/penalized.h"

namespace vsf {

namespace {

// The settings of the refit pass: the step's, with the selection turned off, for the refit
// model is fitted by least squares as it stands.
StepSettings refitSettings(const StepSettings& step) {
  StepSettings r = step;
  SelectionOptions& o = r.options;
  o.method = kMethodNone;
  o.select = o.stop = o.choose = kCritNone;
  return r;
}

int refitPass(VsfState* s, const StepSettings& settings, const DisplayOptions& display) {
  StepView view{settings, display, s->res,      s->res.output,
                s->group, s->lev,  s->stepCode, s->byGroupCount};
  if (int rc = initResampleWork(&view, &s->group.resampling, true); rc != 0) return rc;
  SelectionState& sel = s->group.selection;
  if (int rc = fitModel(&sel, &s->group.resampling); rc != 0) return rc;
  if (int rc = averageOverSamples(&view, &s->group.resampling, &s->group.selection, &s->res.timers);
      rc != 0)
    return rc;
  if (!settings.displaysSuppressed && s->group.resampling.resampleCount > 0) {
    const double mark = hostClock();
    const int rc = printModelAverage(&view);
    s->res.timers.output += hostClock() - mark;
    if (rc != 0) return rc;
  }
  // The refitted model goes to the bridge while the pass still runs.
  return handOverSelectedModel(s);
}

}  // namespace

int refitAverage(VsfState* s) {
  if (int rc = chooseRefitEffects(&s->view, &s->group.resampling); rc != 0) return rc;
  const StepSettings settings = refitSettings(s->settings);
  const SelectionRules rules = selectionRulesOf(settings.options);
  const PathOptions paths = pathOptionsOf(settings.options);
  const CvOptions cv = cvOptionsOf(settings.options);
  const EngineOptions engine = engineOptionsOf(settings);
  const DisplayOptions display = displayOptionsOf(settings.options);
  SelectionState& sel = s->group.selection;
  sel.rules = &rules;
  sel.pathOptions = &paths;
  sel.cv = &cv, sel.engine = &engine;
  s->group.refitPass = 1;
  void* group =
      openGroup(&s->res.output, "RefitAverage", msgStr(1220), {argFlag(dkey::kFlag435, 1)});
  const int rc = refitPass(s, settings, display);
  closeGroup(&s->res.output, group);
  s->group.refitPass = 0;
  sel.rules = &s->rules;
  sel.pathOptions = &s->pathOptions;
  sel.cv = &s->cv, sel.engine = &s->engine;
  return rc;
}

}  // namespace vsf
