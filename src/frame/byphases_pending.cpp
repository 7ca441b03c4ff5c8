// Set-up and BY-group phases in their simplest form: one worker, no stored rows.
#include "displays/displays.h"
#include "frame/module.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "frame/statements.h"
#include "penalized/penalized.h"

namespace vsf {

// The input reader and its BY variables are bound by the statement readers; of the set-up
// this stand-in does the crossproduct and worker settings only.
int setupAnalysis(VsfState* state) {
  const ZDesign* d = state->lev.design;
  applyPerformanceSettings(state, d ? d->effectCount : 0);
  return 0;
}
int openInitialEstimates(VsfState*) { return 0; }
int readInitialEstimates(VsfState*) { return 0; }

int resetByGroup(VsfState* state) {
  SelectionState& sel = state->selection;
  sel = SelectionState();
  sel.options = &state->options;
  sel.utilFiles = &state->utilFiles;
  sel.threads = &state->threads;
  sel.puddle = &state->puddle;
  sel.scratch = &state->groupScratch;
  sel.stepCode = &state->stepCode;
  return 0;
}

// Levels are collected again for every group; a status that skips the group raises the step
// code (1: message 144 and 108; 2: the design's 112; 6: 112).
int levelizeByGroup(VsfState* state) {
  ZDesign* d = state->lev.design;
  if (d->classCount > 0) {
    d->classVars[0].levelCount = 0;
    if (d->modelVarCount > 0) d->modelVars[0].levelCount = 0;
  } else if ((d->flags & dflag::kNoScaling) && d->designVarCount == 0) {
    for (int j = 0; j < d->modelVarCount; ++j) {
      d->modelVars[j].center = 0.0;
      d->modelVars[j].halfRange = 1.0;
      d->modelVars[j].levelCount = 2;
    }
  } else if (d->modelVarCount > 0) {
    d->modelVars[0].levelCount = 0;
  }
  int status = zlev(&state->lev);
  raiseStepCode(state->stepCode, d->buildCode);
  if (status == 6) raiseStepCode(state->stepCode, step::kLevelization112);
  if (status == 1) {
    hostMsg(848, 144);
    raiseStepCode(state->stepCode, step::kLevelization108);
  }
  return status;
}
int buildCandidateContainment(VsfState*) { return 0; }
int readByGroupData(VsfState*) { return 0; }

int fitAndReport(VsfState* state) {
  if (int rc = fitModel(&state->selection, &state->resampling); rc != 0) return rc;
  return state->displaysSuppressed ? 0 : printFitResults(state);
}

}  // namespace vsf
