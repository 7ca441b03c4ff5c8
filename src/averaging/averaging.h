// Model averaging, scoring, output data sets and the macro variables of the selected model.
#pragma once

#include <cstdint>

#include "numerics/numerics.h"
#include "selection/resample.h"

namespace vsf {

struct StepView;
struct HostDataSet;
struct SelectionState;

int averageOverSamples(StepView* state);
int defineOutDesignVariables(StepView* state);
// Defines the OUTPUT data set's variables; a data set that is not to be written is
// discarded and cleared.
int defineOutputVariables(StepView* state, HostDataSet** output);
int defineScoreVariables(StepView* state);
void freeResampleWork(ResampleSet* set);
// Sets up the resample records of the BY group; 0 or a negative code.
int initResampleWork(ResampleSet* set, int32_t workLength, uint8_t option);
int printModelAverageInfo(StepView* state);
int refitAverage(StepView* state);
void scoreRequests(StepView* state, SelectionState* sel);
int setEffectsMacroVars(StepView* state, int byGroupCount);
int setModelMacroVars(StepView* state, SelectionState* sel);
int writeOutDesignPass(StepView* state);
int writeOutputByGroup(StepView* state, SelectionState* sel, void* sampling, int seed);

// What the model-averaging output driver reads of the resample records: each record's sample
// count and the scratch file its samples' step histories and selections were written to.
int32_t resampleSampleCount(const ResampleSet* set, int32_t record);
ScratchFileObject* resampleFile(const ResampleSet* set, int32_t record);
// The averaged tables over the samples' file and the averaging's table record.
int printEffectSelectPct(StepView* state, ScratchFileObject* samples, void* table, int flag);
int printModelSelectFreq(StepView* state, ScratchFileObject* samples, void* table);
int printAvgParmEst(StepView* state, ScratchFileObject* samples, void* table, int flag);
// The averaging's table record, null when there is none.
void* averagingTables(StepView* state);

}  // namespace vsf
