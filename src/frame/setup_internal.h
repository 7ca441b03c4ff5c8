// The main set-up after the statements, in its groups of steps. Each returns 0 or the code
// that setupAnalysis returns at once (the step code raised first).
#pragma once

#include <cstdint>

#include "statements/settings.h"

namespace vsf {

struct VsfState;

inline bool isPathCode(int m) {
  return m == kMethodLar || m == kMethodLasso || m == kMethodElasticNet || m == kMethodHxLasso;
}

// The levelization context's records of the response, weight and frequency variables.
[[nodiscard]] int linkExtraVariables(VsfState* state);

// Option combinations (setup_checks.cpp).
[[nodiscard]] int checkMethodAndEffects(VsfState* state);  // steps 1 to 6
void findRoleVariable(VsfState* state);                    // step 7
void settleCrossproducts(VsfState* state);                 // steps 8 to 10
[[nodiscard]] int settleStatistics(VsfState* state);       // steps 11 to 20
[[nodiscard]] int settleRolesAndFolds(VsfState* state);    // steps 21 and 22
void settleForcedEffects(VsfState* state);                 // step 23

// Data sets, relations and the seed (setup_data.cpp).
[[nodiscard]] int startInputReader(VsfState* state);         // step 24
[[nodiscard]] int buildRelations(VsfState* state);           // step 25
[[nodiscard]] int bindHeldOutDataSets(VsfState* state);      // step 27
[[nodiscard]] int bindScoreRequests(VsfState* state);        // step 28
[[nodiscard]] int keepAnalysisDescriptors(VsfState* state);  // step 33

// Output requests, model averaging and the bridge (setup_outputs.cpp).
void dropAveragingRequests(VsfState* state);              // step 29
[[nodiscard]] int makeOutputMarks(VsfState* state);       // step 30
[[nodiscard]] int setUpModelAveraging(VsfState* state);   // steps 31 and 32
[[nodiscard]] int openOutDesignScratch(VsfState* state);  // step 34
void announceProcedure(VsfState* state);                  // step 35
void settleBridge(VsfState* state);                       // step 36

}  // namespace vsf
