// Model averaging, scoring, output data sets and the macro variables of the selected model.
#pragma once

#include <cstdint>

namespace vsf {

struct VsfState;
struct SelectionState;

struct ResampleWork;

struct ResampleSet {
  ResampleWork* work = nullptr;
  int32_t recordCount = 0;
  int32_t resampleCount = 0;
  uint8_t refit = 0;
};

int averageOverSamples(VsfState* state);
int defineOutDesignVariables(VsfState* state);
int defineOutputVariables(VsfState* state);
int defineScoreVariables(VsfState* state);
void freeResampleWork(ResampleSet* set);
int printModelAverageInfo(VsfState* state);
int refitAverage(VsfState* state);
void scoreRequests(VsfState* state, SelectionState* sel);
int setEffectsMacroVars(VsfState* state, int byGroupCount);
int setModelMacroVars(VsfState* state, SelectionState* sel);
int writeOutDesignPass(VsfState* state);
int writeOutputByGroup(VsfState* state, SelectionState* sel, void* sampling, int seed);

}  // namespace vsf
