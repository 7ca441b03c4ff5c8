// The phases of a step and the services the step driver calls in the frame itself.
#pragma once

namespace vsf {

struct VsfState;

// Step driver.
void checkPhaseRc(VsfState* state, int rc);
int initState(VsfState* state);
void finishStep(VsfState* state);
void onHostTerminate();
int loadExtensions(VsfState* state);
void releaseExtensions(VsfState* state);

// Statements.
void startStepContext(VsfState* state);
int readStatements(VsfState* state);

// Set-up, BY-group phases and the data pass.
int setupAnalysis(VsfState* state);
int openInitialEstimates(VsfState* state);
int readInitialEstimates(VsfState* state);
int resetByGroup(VsfState* state);
int levelizeByGroup(VsfState* state);
int buildCandidateContainment(VsfState* state);
int readByGroupData(VsfState* state);
int fitAndReport(VsfState* state);

// The post-fit bridge: its per-group hook and its close.
void bridgeGroupHook(VsfState* state);
void bridgeClose(VsfState* state);

// Work queue of the step.
int createThreadPool(VsfState* state, int workers);
void destroyThreadPool(VsfState* state);

}  // namespace vsf
