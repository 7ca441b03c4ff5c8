// VsfState: the one record of a procedure step, handed to every phase.
#pragma once

#include <cstdint>
#include <vector>

#include "averaging/averaging.h"
#include "effects/effects.h"
#include "frame/host/host_vector.h"
#include "frame/options.h"
#include "frame/utilfiles.h"
#include "frame/workqueue.h"
#include "selection/selection.h"

namespace vsf {

struct BridgeObject;
struct ScoreRequest;

// The kernel vector and the four extensions loaded at step start.
struct ExtensionSet {
  const KernelVector* kernel = nullptr;
  HxStream* stream = nullptr;
  HxStreamX* streamx = nullptr;
  HxTools* tools = nullptr;
  HostExtension* btree = nullptr;
};

// Phase timers (seconds of the host clock).
struct PhaseTimers {
  double mark = 0, fitStart = 0, stepStart = 0;
  double setup = 0, dataPass = 0, levelization = 0, selection = 0, output = 0, cleanup = 0;
};

// Data-set binding of VALDATA= or TESTDATA=.
struct DataSetBinding {
  HostDataSet* dataSet = nullptr;
  uint8_t inUse = 0;
  uint8_t hasWeight = 0;
  uint8_t hasFreq = 0;
  uint8_t verify = 0;
};

// Statement counts: 0 absent, 1 once, 2 more than once.
struct StatementCounts {
  uint8_t model = 0, freq = 0, weight = 0, output = 0, partition = 0, performance = 0,
          modelAverage = 0;
};

struct VsfState {
  int stepCode = 0;
  HostDataSet* inputReader = nullptr;
  ZLevCtx lev;
  LevAllocRecord levAlloc;
  BridgeObject* bridge = nullptr;
  DataSetBinding validation, test;
  SelectionState selection;
  ScratchFile groupScratch;
  ResampleSet resampling;
  HostPool* mainPool = nullptr;
  HostPool* byPool = nullptr;
  HostPool* pagePool = nullptr;
  HostPool* fourthPool = nullptr;  // the step pool of step details
  HostPool* fifthPool = nullptr;   // the graphs' model pool
  HostPool* groupHeap = nullptr;
  PhaseTimers timers;
  ExtensionSet extensions;
  SelectionOptions options;
  HostDataSet* outputDataSet = nullptr;
  HostDataSet* outDesignDataSet = nullptr;
  double byGroupNumber = 0.0;
  PartitionSettings partition;
  ThreadOptions threads;
  HostDataSet* initialEstimates = nullptr;
  UtilFileArray utilFiles;
  ZPuddle puddle;
  ScoreRequest* scoreRequests = nullptr;
  int32_t scoreCount = 0;
  HostObject* manager = nullptr;
  HostObject* groupObject = nullptr;
  uint8_t graphicsOn = 0;
  uint8_t showInternalTables = 0;
  uint8_t statementErrors = 0;
  uint8_t classAfterModel = 0;
  StatementCounts counts;
  uint8_t showPValues = 0;
  uint8_t displaysSuppressed = 0;
  uint8_t cleanupDone = 0;
  int32_t procedureSeed = 0;
  int32_t seedOption = 0;
  int32_t byGroupCount = 0;
  int32_t maxMacroByGroups = 100;
  int32_t hasByStatement = 0;
  int32_t largestOutDesignWidth = 0;
  int32_t resampleWorkLength = 0;
  int32_t groupOutDesignWidth = 0;
  uint8_t outDesignNames = 0;
  uint8_t outDesignOwnPass = 0;  // the design rows are written by a pass of their own
  int32_t longestCandidateLabel = 0;

  // Statement readers.
  const OptionSlot* byVariables = nullptr;  // procedure statement slot 0
  uint8_t noStandardize = 0;
  uint8_t outDesignFullModel = 0;
  uint8_t outDesignAddInputVars = 0;
  const char* outDesignPrefix = nullptr;
  int16_t outDesignPrefixLength = 0;
  int32_t responseCount = 0;
  VarDescriptor response;
  VarDescriptor weightVariable;  // valid when options.weightPresent
  VarDescriptor freqVariable;    // valid when options.freqPresent
  OutputSettings output;
  ClassSettings classes;
  PlotSettings plots;
  ModelAverageOptions modelAverage;

  // The candidate table that options.candidates points at (its lists come from the pool the
  // table was built from), and the count of candidates forced into every model.
  std::vector<CandidateEntry> candidateTable;
  int32_t firstCandidate = 0;
  // The selected model handed to the post-fit bridge with its crossproducts (STORE), and
  // the data pass's sums for it: one scale per effect, all-observation and training means
  // of the model variables.
  uint8_t storeSelectedModel = 0;
  double* effectScales = nullptr;
  double* allMeans = nullptr;
  double* trainMeans = nullptr;
};

}  // namespace vsf
