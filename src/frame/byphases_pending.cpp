// Set-up and BY-group phases in their simplest form: one worker, no stored rows.
#include "displays/displays.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "penalized/penalized.h"

namespace vsf {

int setupAnalysis(VsfState* state) {
  state->threads.effectiveWorkers = 1;
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
