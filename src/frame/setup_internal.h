// The main set-up after the statements, in its groups of steps. Each returns 0 or the code
// that setupAnalysis returns at once (the step code raised first).
#pragma once

#include <cstdint>

#include "statements/settings.h"

namespace vsf {

struct VsfState;
struct SelectionRules;
struct PathOptions;
struct CvOptions;
struct EngineOptions;
struct DisplayOptions;

// The levelization context's records of the response, weight and frequency variables.
[[nodiscard]] int linkExtraVariables(VsfState* state);

// Option combinations (setup_checks.cpp), in the order setupAnalysis runs them.
// INCLUDE= with a path method, the response's name, the EFFECT statements a path cannot take,
// NOINT without effects; 0 or a negative code after its message.
[[nodiscard]] int checkMethodAndEffects(VsfState* state);
// The PARTITION ROLE= variable's descriptor, when there is one.
void findRoleVariable(VsfState* state);
// The PERFORMANCE settings once the effects are known; a path method splits its CLASS
// variables and takes dense rows without hierarchy.
void settleCrossproducts(VsfState* state);
// Held-out roles, statistics columns, label style, PRESS, plots and step axes; 0 or a code.
[[nodiscard]] int settleStatistics(VsfState* state);
// Role values against the partition fractions and the cross-validation folds; 0 or a code.
[[nodiscard]] int settleRolesAndFolds(VsfState* state);
// The effects forced into every model, within the effects there are, and the crossproducts
// road (whole matrix or effect by effect) that follows.
void settleForcedEffects(VsfState* state);
// On the whole-matrix road, the terms of the SEPARATE polynomials the model uses held to the
// memory as one effect's crossproducts; 0, or a code after the error.
[[nodiscard]] int wholeCrossproductsFit(VsfState* state);

// Data sets, relations and the seed (setup_data.cpp).
// The analysis data set's reader started (set up for writing when output rows will be made);
// 3 when it is not a data set that can be read.
[[nodiscard]] int startInputReader(VsfState* state);
// Effect containment for HIERARCHY= (and BACKWARD's full-model build).
[[nodiscard]] int buildRelations(VsfState* state);
// VALDATA= and TESTDATA= bound to the model's variables.
[[nodiscard]] int bindHeldOutDataSets(VsfState* state);
// Each SCORE data set bound to the model's variables.
[[nodiscard]] int bindScoreRequests(VsfState* state);
// The analysis data set's own descriptors, restored after another data set was read.
[[nodiscard]] int keepAnalysisDescriptors(VsfState* state);
// The data pass's options from the settled statements, and the analysis data set's row slots.
void settleDataPassOptions(VsfState* state);
// The selection rules' and the paths' records from the settled options (setup_rules.cpp);
// the refit pass makes its own from its settings.
SelectionRules selectionRulesOf(const SelectionOptions& options);
PathOptions pathOptionsOf(const SelectionOptions& options);
void settleRunOptions(VsfState* state);
// Cross validation's and the engine's records from the settled settings (setup_engine.cpp);
// the refit pass makes its own from its settings.
CvOptions cvOptionsOf(const SelectionOptions& options);
EngineOptions engineOptionsOf(const StepSettings& settings);
void settleEngineOptions(VsfState* state);
// The displays' record from the settled options (setup_display.cpp); the refit pass makes its
// own from its settings.
DisplayOptions displayOptionsOf(const SelectionOptions& options);
void settleDisplayOptions(VsfState* state);

// Output requests, model averaging and the bridge (setup_outputs.cpp).
// OUTPUT and SCORE statistics that only model averaging gives are dropped without it.
void dropAveragingRequests(VsfState* state);
// An OUTPUT or SCORE statement that names no statistic writes the predicted values; the
// output data sets need a design with effects (rc::kMemory without).
[[nodiscard]] int makeOutputMarks(VsfState* state);
// The host writes the output data sets with the processors the step's PERFORMANCE statement
// and the host's options allow (one: on the step's own thread), not the host's options alone.
void handWriterThreads(VsfState* state);
// The resample records and the refit settings of MODELAVERAGE.
[[nodiscard]] int setUpModelAveraging(VsfState* state);
// The scratch file the OUTDESIGN rows wait in when BY groups write them later.
[[nodiscard]] int openOutDesignScratch(VsfState* state);
// The data pass keeps each observation's role and fold when an output data set writes them:
// 0, or rc::kScratchFile after message 215 when the tag file cannot be opened.
[[nodiscard]] int openObservationTags(VsfState* state);
// The procedure's title above its output.
void announceProcedure(VsfState* state);
// What the post-fit bridge is told of the step, and whether the selected model is stored.
void settleBridge(VsfState* state);

}  // namespace vsf
