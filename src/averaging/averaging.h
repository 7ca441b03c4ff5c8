// Model averaging, scoring, output data sets and the macro variables of the selected model.
#pragma once

#include <cstdint>

#include "numerics/numerics.h"
#include "selection/resample.h"

namespace vsf {

struct VsfState;
struct SelectionState;

int averageOverSamples(VsfState* state);
int defineOutDesignVariables(VsfState* state);
int defineOutputVariables(VsfState* state);
int defineScoreVariables(VsfState* state);
void freeResampleWork(ResampleSet* set);
// Sets up the resample records of the BY group; 0 or a negative code.
int initResampleWork(ResampleSet* set, int32_t workLength, uint8_t option);
int printModelAverageInfo(VsfState* state);
int refitAverage(VsfState* state);
void scoreRequests(VsfState* state, SelectionState* sel);
int setEffectsMacroVars(VsfState* state, int byGroupCount);
int setModelMacroVars(VsfState* state, SelectionState* sel);
int writeOutDesignPass(VsfState* state);
int writeOutputByGroup(VsfState* state, SelectionState* sel, void* sampling, int seed);

// What the model-averaging output driver reads of the resample records: each record's sample
// count and the scratch file its samples' step histories and selections were written to.
int32_t resampleSampleCount(const ResampleSet* set, int32_t record);
ScratchFileObject* resampleFile(const ResampleSet* set, int32_t record);
// The averaged tables over the samples' file and the averaging's table record.
int printEffectSelectPct(VsfState* state, ScratchFileObject* samples, void* table, int flag);
int printModelSelectFreq(VsfState* state, ScratchFileObject* samples, void* table);
int printAvgParmEst(VsfState* state, ScratchFileObject* samples, void* table, int flag);
// The averaging's table record, null when there is none.
void* averagingTables(VsfState* state);

}  // namespace vsf
