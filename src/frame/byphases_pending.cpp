// Set-up and BY-group phases in their simplest form: one worker, no stored rows.
#include "displays/displays.h"
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

int levelizeByGroup(VsfState* state) { return zlev(&state->lev); }
int buildCandidateContainment(VsfState*) { return 0; }
int readByGroupData(VsfState*) { return 0; }

int fitAndReport(VsfState* state) {
  if (int rc = fitModel(&state->selection, &state->resampling); rc != 0) return rc;
  return state->displaysSuppressed ? 0 : printFitResults(state);
}

}  // namespace vsf
