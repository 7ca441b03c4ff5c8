// The step's parsed options: SelectionOptions, ThreadOptions and the partition settings.
// The statement readers fill them; the later subsystems read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsf {

struct StatementRecord;
struct CandidateEntry;

// Selection methods.
enum MethodCode : uint8_t {
  kMethodNone = 1,
  kMethodForward = 2,
  kMethodBackward = 3,
  kMethodStepwise = 4,
  kMethodLar = 5,
  kMethodLasso = 6,
  kMethodLarLs = 7,
  kMethodLassoLs = 8,
  kMethodElasticNet = 9,
  kMethodElasticNetLs = 10,
  kMethodHxLasso = 11,
  kMethodHxGLasso = 12,
  kMethodGroupLasso = 13,
};

// Criteria of SELECT=, STOP= and CHOOSE=.
enum CriterionCode : uint8_t {
  kCritNone = 0,
  kCritSl = 1,
  kCritAic = 2,
  kCritAicc = 3,
  kCritSbc = 4,
  kCritRsquare = 5,
  kCritAdjRsq = 6,
  kCritCp = 7,
  kCritBic = 8,
  kCritPress = 9,
  kCritValidate = 10,
  kCritCv = 11,
  kCritStopNone = 12,
  kCritCvExternal = 13,
  kCritL1 = 14,
};

struct ThreadOptions {
  const StatementRecord* statement = nullptr;  // the last PERFORMANCE statement
  int32_t requestedWorkers = 0;
  int32_t hostCpuCount = 1;
  uint8_t threadsOn = 0;
  uint8_t perfDetails = 0;
  uint8_t allDetails = 0;
  uint8_t timing = 0;
  uint8_t perfStatus = 0;
  uint8_t force = 0;
  uint8_t buildFull = 0;
  uint8_t buildIncremental = 0;
  uint8_t effectiveThreaded = 0;
  int32_t effectiveWorkers = 1;
};

struct PartitionSettings {
  double trainFraction = 1.0;
  double validateFraction = 0.0;
  double testFraction = 0.0;
  int32_t roleVariable = -1;  // variable number of the role variable, -1 when none
  std::string trainValue, validateValue, testValue;
  uint8_t hasPartition = 0;
  uint8_t rolesInUse = 0;
};

struct SelectionOptions {
  double entryLevel = 0.5;
  double stayLevel = 0.1;
  double adaptiveGamma = 1.0;
  int32_t maxSteps = 0;
  int32_t steps = 0;
  int32_t stopSteps = 0;
  int32_t include = 0;
  int32_t start = 0;
  int32_t forcedEffects = 1;
  int32_t nameLength = 20;
  uint8_t noInt = 0;
  uint8_t freqPresent = 0;
  uint8_t weightPresent = 0;
  uint8_t freqOrWeight = 0;
  uint8_t method = kMethodStepwise;
  uint8_t dropRule = 1;
  uint8_t select = kCritSbc;
  uint8_t stop = kCritNone;
  uint8_t choose = kCritNone;
  uint8_t hierarchy = 0;
  uint8_t pathMethod = 0;
  uint8_t optimizerMethod = 0;

  // Data path settings (PERFORMANCE statement and hidden options).
  int32_t utilBuffers = 0;
  int32_t utilPageSizeKb = 0;
  int16_t utilAccessMode = 4;
  uint8_t allSparse = 0;
  uint8_t allDense = 0;
  uint8_t utilDetails = 0;
  uint8_t fullSweepMode = 0;
  uint8_t buildFullSscp = 0;

  // Set-up and BY-group settings.
  uint8_t designPerByGroup = 0;
  uint8_t modelAveragingRun = 0;
  std::vector<CandidateEntry>* candidates = nullptr;
  int32_t candidateCount = 0;
  int32_t words[3] = {0, 0, 0};  // reset to 1, 0, 1 per BY group

  // Selection engine: stored-row tags, cross validation, per-step statistics and searches.
  uint8_t rolesPresent = 0;        // rows carry a partition-role tag
  uint8_t kfold = 0;               // k-fold cross validation: rows carry a fold tag
  uint8_t externalCv = 0;          // rows carry a held-out-fold tag
  uint8_t resampling = 0;          // weights come from the rows' resample frequencies
  uint8_t resampleFreqInFile = 0;  // ... kept in the resample file instead of the rows
  uint8_t cvMethod = 1;            // 1 RANDOM, 2 SPLIT, 3 BLOCK, 4 INDEX
  int32_t folds = 0;
  uint8_t foldStats = 0;           // per-fold statistics kept
  uint8_t foldEstimates = 0;       // per-fold estimates kept
  uint8_t pressPerStep = 0;
  uint8_t validAsePerStep = 0;
  uint8_t testAsePerStep = 0;
  uint8_t fifthPerStep = 0;
  uint8_t candidateValues = 0;     // per-candidate criterion values
  uint8_t generalSearch = 0;       // general removal search for every effect
  uint8_t effectStore = 0;         // incremental mode keeps the per-effect store
  uint8_t cvPerPathStep = 0;
  uint8_t l1Choice = 1;            // 1 ratio, 2 norm, 3 value
  uint8_t adaptive = 0;
  uint8_t screen = 1;              // SCREEN= code, 1 NONE
  int32_t maxEffects = 0;          // 0: no limit
  // Effect hierarchy, one entry per effect (null when the design is built per BY group).
  const int32_t* prerequisiteCount = nullptr;
  const int32_t* const* prerequisites = nullptr;  // effects an effect contains
  const int32_t* dependantCount = nullptr;
  const int32_t* const* dependants = nullptr;     // effects that contain it
};

}  // namespace vsf
