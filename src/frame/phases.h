// The phases of a step and the services the step driver calls in the frame itself.
#pragma once

#include "frame/host/parse.h"

namespace vsf {

struct HostPool;
struct VsfState;

// Step driver.
void checkPhaseRc(VsfState* state, int rc);
[[nodiscard]] int initState(VsfState* state);
void finishStep(VsfState* state);
void onHostTerminate();
[[nodiscard]] int loadExtensions(VsfState* state);
void releaseExtensions(VsfState* state);

// Statements: the DEBUG switches of the step, the parse with the procedure's callbacks (the
// context is the VsfState), the checks of what was parsed and every reader.
void startStepContext(VsfState* state);
// The parser's trace of the step: 1 semantics (DEBUG contains "SEM"), 2 syntax ("SYN").
int parserTraceFlags();
[[nodiscard]] int startParser(const GrammarDescriptor* grammar, const ParseCallbacks* callbacks);
int onStatementErrors(void* context);
int onStatement(void* context, const StatementRecord* statement);
ParseCallbacks procedureCallbacks(VsfState* state);
// 0, or the negative code of the last failing check (each has issued its message).
[[nodiscard]] int checkStatements(VsfState* state);
[[nodiscard]] int readStatements(VsfState* state);

// Set-up, BY-group phases and the data pass.
[[nodiscard]] int setupAnalysis(VsfState* state);
[[nodiscard]] int openInitialEstimates(VsfState* state);
[[nodiscard]] int readInitialEstimates(VsfState* state);
[[nodiscard]] int resetByGroup(VsfState* state);
[[nodiscard]] int levelizeByGroup(VsfState* state);
[[nodiscard]] int buildCandidateContainment(VsfState* state);
// Labels the group's candidates (names from the pool) and keeps the longest label's length.
[[nodiscard]] int nameCandidates(VsfState* state, HostPool* pool);
[[nodiscard]] int readByGroupData(VsfState* state);
// Tells the host what to do with the blocks of the analysis data it parses (kParsedHold and
// the other modes of keepParsed).
void keepParsedBlocks(VsfState* state, int mode);
[[nodiscard]] int fitAndReport(VsfState* state);
// The refit pass of model averaging: the refit model fitted on fresh samples without
// selection, averaged and shown in the RefitAverage group. The pass reads settings of its own,
// the step's with the selection turned off. 0, rc::kMemory (no refit model) or the first
// failure of a fit, the averaging or a display.
[[nodiscard]] int refitAverage(VsfState* state);
// After the BY groups: notes counting the observations of the held-out and SCORE data sets
// whose BY values no group that was fitted had.
void noteUnmatchedByValues(VsfState* state);
// The OUTDESIGN rows of every BY group after the BY-group loop (a BY statement): 0, rc::kPool
// (a group's pool), rc::kMemory (no design columns) or a group phase's failure.
[[nodiscard]] int writeOutDesignPass(VsfState* state);
// Discards the OUTDESIGN data set, to which no row of the step brings a design (once).
void dropOutDesign(VsfState* state);
// After the BY groups, when none has a model: discards the OUTPUT, OUTDESIGN and SCORE data
// sets, whose rows would all lack a prediction, and names them in the log.
void dropOutputsWithoutModel(VsfState* state);

// The post-fit bridge: its per-group hook and its close.
void bridgeGroupHook(VsfState* state);
void bridgeClose(VsfState* state);

// Work queue of the step.
[[nodiscard]] int createThreadPool(VsfState* state, int workers);
void destroyThreadPool(VsfState* state);

}  // namespace vsf
