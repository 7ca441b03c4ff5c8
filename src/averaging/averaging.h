// Model averaging, scoring, output data sets and the macro variables of the selected model.
#pragma once

#include <cstdint>

#include "numerics/numerics.h"

namespace vsf {

struct VsfState;
struct SelectionState;

// One resample work record; the main set-up seeds its generator.
struct ResampleWork {
  RngState rng;
};

// The settings the refit pass restores (copied by the main set-up with REFIT).
struct RefitSettings {
  uint8_t method = 0, pathMethod = 0, choose = 0, select = 0, stop = 0;
  uint8_t incrementalSscp = 0, fullSscp = 0, candidatesTable = 0;
  int32_t forcedEffects = 0, include = 0;
};

struct ScratchFileObject;

struct ResampleSet {
  ResampleWork* work = nullptr;
  int32_t recordCount = 0;
  int32_t resampleCount = 0;
  uint8_t refit = 0;
  // Main set-up.
  const void* extensions = nullptr;  // the step's ExtensionSet
  int32_t refitBest = -1;
  RefitSettings refitSettings;
  uint8_t sampleFreqRequest = 0;  // OUTPUT SAMPLEFREQ
};

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
