// The resample records of model averaging: one record per share of the samples, the draw of
// each sample's frequencies, the samples' selected models, and the averaged results.
#pragma once

#include <cstdint>
#include <vector>

#include "datapass/utilfiles.h"
#include "grammar/codes.h"
#include "numerics/numerics.h"

namespace vsf {

struct HostPool;
struct ResampleSet;

// One share of the samples. A sample's generator is seeded from the procedure seed and the
// sample's global index, so the draws do not depend on how the samples are shared.
struct ResampleWork {
  RngState rng;
  ResampleSet* set = nullptr;
  int32_t share = 0;        // samples this record fits
  int32_t firstSample = 0;  // global index of its first sample
  int32_t sampleId = 0;     // global index of the sample being fitted
  // The draw of the current sample, in observation units (a row of frequency f is f units).
  double population = 0;  // N, the training units of the full data
  double sampleSize = 0;  // units to draw
  double seen = 0, drawn = 0, weightedDrawn = 0, weightedSumY = 0;
  double remaining = 0, toSelect = 0;  // without replacement
  int64_t rowIndex = 0;                // stored rows walked so far
  // The current sample's counts are in the rows: every later run of the sample (its folds'
  // and its final run under external cross validation) reads them instead of drawing again.
  uint8_t drawDone = 0;
  ScratchFile histories;  // the samples' step histories (DETAILS only)
  int64_t historyEnd = 0;
  // Leads each step record of the histories: the sample's index within the record while it
  // runs, -100 - index on its final record, so a reader knows where a sample's steps end.
  int32_t historyId = 0;
};

// The settings the refit pass restores (copied by the main set-up with REFIT).
struct RefitSettings {
  MethodCode method = kMethodNone;
  CriterionCode choose = kCritNone, select = kCritNone, stop = kCritNone;
  uint8_t incrementalSscp = 0, fullSscp = 0, candidatesTable = 0;
  int32_t forcedEffects = 0, include = 0;
};

struct ScratchFileObject;

// One sample's selected model: its status, effects and estimates (one per parameter).
struct SampleFit {
  int32_t status = -1;
  double foldedFreq = 0;   // external cross validation: the sample's training frequency
  int32_t emptyFold = -1;  // and the fold that held out all of it
  std::vector<int32_t> effects;
  std::vector<double> estimates;
};

// A sample's model reduced to its nonzero estimates (parameter indexes ascending).
struct SampleModel {
  std::vector<int32_t> parmIndex;
  std::vector<double> estimate;
};

// One distinct selected effect set and how the samples chose it.
struct DistinctModel {
  std::vector<int32_t> effects;  // ascending
  int32_t frequency = 0;
  int32_t rank = 0;
  uint8_t inAverage = 0;
  double meanEffectSelectFraction = 0;
};

// What the averaging over the samples leaves for the tables, the output rows and scoring.
struct AveragedResults {
  int32_t samplesRequested = 0, samplesFitted = 0, samplesAveraged = 0;
  int32_t avgParmCount = 0;
  std::vector<int32_t> effectSelectCount;  // per effect: fitted samples selecting it
  std::vector<DistinctModel> distinctModels;
  std::vector<int32_t> modelOrder;        // indexes into distinctModels, best first
  std::vector<int32_t> parmNonzeroCount;  // per parameter: averaged samples with a nonzero value
  std::vector<uint8_t> sampleInAverage;   // per sample
  std::vector<SampleModel> sampleModels;  // per sample
  // Per parameter, over the averaged samples (zeros included) and over the nonzero values.
  std::vector<double> avgEstimate, avgMedian, avgLower, avgUpper, avgStdDev;
  std::vector<double> nzEstimate, nzMedian, nzLower, nzUpper, nzStdDev;
  std::vector<int32_t> parmColumn;  // per parameter, its place in a design row
};

struct ResampleSet {
  std::vector<ResampleWork> records;  // one per share; recordCount of them in use
  int32_t recordCount = 0;
  int32_t resampleCount = 0;  // samples fitted in the last pass (0: no averaging output)
  uint8_t refit = 0;
  // Main set-up.
  const void* extensions = nullptr;  // the step's ExtensionSet
  int32_t refitBest = -1;
  RefitSettings refitSettings;
  uint8_t sampleFreqRequest = 0;  // OUTPUT SAMPLEFREQ
  int32_t procedureSeed = 0;
  // The current pass: its samples, where each sample's frequencies go, and what it selected.
  int32_t samples = 0;
  int32_t seedOffset = 0;  // the refit pass draws from streams of its own
  double sampleFraction = 1, sampleSize = 0;
  uint8_t withoutReplacement = 0;
  int64_t storedRows = 0;            // rows of the BY group (obsFreq's row count)
  std::vector<int32_t> obsFreq;      // row x samples + sample, when kept
  std::vector<SampleFit> fits;       // per sample
  std::vector<uint8_t> refitEffect;  // per effect, the refit pass's model
  uint8_t refitPass = 0;
  AveragedResults results;
};

// The units a sample draws from N training units: the rate's share, else the size, else N.
double resampleSize(const ResampleSet* set, double population);

// The generator seed of sample `index` (0 makes one when the procedure seed is 0). The seed
// and the index are mixed: generators seeded with consecutive numbers start correlated, which
// would favour the first units of every sample.
int32_t sampleSeed(int32_t procedureSeed, int32_t index);

// Sets up the records' shares for a pass of `samples` samples over `records` records (empty
// shares are not made); the generators are seeded per sample. 0 or rc::kMemory.
[[nodiscard]] int shareResamples(ResampleSet* set, int32_t records, int32_t samples);

}  // namespace vsf
