// VsfState: the one record of a procedure step, handed to every phase.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "averaging/averaging.h"
#include "datapass/utilfiles.h"
#include "datapass/workqueue.h"
#include "effects/effects.h"
#include "frame/host/host_vector.h"
#include "selection/selection.h"
#include "statements/settings.h"

namespace vsf {

struct BridgeObject;
struct ScoreRequest;
struct HostString;
struct HostBindList;

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
  // The display tables: the start of the table being built and the time of all of them.
  double displayStart = 0, display = 0;
  // Phases the Timing table shows when they ran: screening, model averaging, and under
  // ALLDETAILS$ the crossproduct passes, the candidate trials and the step recording.
  double screening = 0, averaging = 0, passes = 0, trials = 0, recording = 0;
};

// One step's label for the plots (made by the graphs from the step history).
struct StepLabel {
  const char* text = nullptr;
  int16_t length = 0;
};

// Data-set binding of VALDATA= or TESTDATA=.
struct DataSetBinding {
  HostDataSet* dataSet = nullptr;
  uint8_t inUse = 0;
  uint8_t hasWeight = 0;
  uint8_t hasFreq = 0;
  uint8_t verify = 0;
  // Descriptors of the model's variables in this data set (bindHeldOutDataSet).
  VarDescriptor** classDescriptors = nullptr;  // per CLASS variable, null when unused
  VarDescriptor** modelDescriptors = nullptr;  // per model variable
  VarDescriptor* responseDescriptor = nullptr;
  VarDescriptor* weightDescriptor = nullptr;
  VarDescriptor* freqDescriptor = nullptr;
};

// The INEST= data set's binding: one slot per design parameter, and its _TYPE_ value.
struct InitialEstimatesBinding {
  HostBindList* list = nullptr;
  int32_t parameterCount = 0;
  char typeValue[8] = {};
  double* estimates = nullptr;  // MAIN POOL
};

// Sums for the stored model of the post-fit bridge (only when it is to be stored).
struct StoredModelSums {
  uint8_t wanted = 0;
  double allWeight = 0;               // w x f of the training and the excluded observations
  double* allSums = nullptr;          // per model variable: w f x, then the means
  double* trainSums = nullptr;        // per model variable: f x, then the means
  double* trainColumnSums = nullptr;  // per design column: f x
  double* effectScales = nullptr;     // per effect
};

// Statement counts: 0 absent, 1 once, 2 more than once.
struct StatementCounts {
  uint8_t model = 0, freq = 0, weight = 0, output = 0, partition = 0, performance = 0,
          modelAverage = 0;
};

// What the statements and the set-up settle for the step; read-only once the BY groups start.
struct StepSettings {
  SelectionOptions options;
  PartitionSettings partition;
  ThreadOptions threads;
  OutputSettings output;
  ClassSettings classes;
  PlotSettings plots;
  ModelAverageOptions modelAverage;
  StatementCounts counts;
  uint8_t graphicsOn = 0;
  uint8_t showInternalTables = 0;
  uint8_t statementErrors = 0;
  uint8_t classAfterModel = 0;
  uint8_t showPValues = 0;
  uint8_t displaysSuppressed = 0;
  int32_t procedureSeed = 0;
  int32_t seedOption = 0;
  int32_t maxMacroByGroups = 100;
  int32_t hasByStatement = 0;
  int32_t largestOutDesignWidth = 0;
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

  // Main set-up.
  HostString* responseName = nullptr;
  uint8_t fullModelStatsOnly = 0;
  uint8_t storeSelectedModel = 0;
  VarDescriptor roleVariable;  // number -1: no role variable
  // The levelization context's records of the response, weight and frequency variables.
  LevelVar* responseRecord = nullptr;
  LevelVar* weightRecord = nullptr;
  LevelVar* freqRecord = nullptr;
  // Output marks: per CLASS variable, per model variable, per design variable, per effect.
  uint8_t* classMarks = nullptr;
  uint8_t* modelVarMarks = nullptr;
  uint8_t* designVarMarks = nullptr;
  int32_t* effectMarks = nullptr;
};

// What the step holds for its whole life: pools, extensions, data sets, scratch files, the
// worker pool, the output manager and the timers.
struct StepResources {
  HostDataSet* inputReader = nullptr;
  BridgeObject* bridge = nullptr;
  DataSetBinding validation, test;
  HostPool* mainPool = nullptr;
  HostPool* fourthPool = nullptr;  // the step pool of step details
  HostPool* fifthPool = nullptr;   // the graphs' model pool
  PhaseTimers timers;
  ExtensionSet extensions;
  HostDataSet* outputDataSet = nullptr;
  HostDataSet* outDesignDataSet = nullptr;
  HostDataSet* initialEstimates = nullptr;
  ZPuddle puddle;
  ScoreRequest* scoreRequests = nullptr;
  int32_t scoreCount = 0;
  HostObject* manager = nullptr;
  uint8_t cleanupDone = 0;
  ScratchFile outDesignScratch;
  InitialEstimatesBinding inest;
  char* roleBuffer = nullptr;  // the role value of the current observation
  // The analysis data set's own descriptors, restored after another data set's rows were read.
  VarDescriptor** rowValueModel = nullptr;  // per model variable
  VarDescriptor** rowValueClass = nullptr;  // per CLASS variable
  // Descriptors found in other data sets for the step (held-out and SCORE data).
  std::deque<VarDescriptor> boundDescriptors;
};

// One BY group's state, from its reset to its release.
struct GroupState {
  SelectionState selection;
  ScratchFile groupScratch;
  ResampleSet resampling;
  HostPool* byPool = nullptr;
  HostPool* pagePool = nullptr;
  HostPool* groupHeap = nullptr;
  UtilFileArray utilFiles;
  HostObject* groupObject = nullptr;
  double byGroupNumber = 0.0;
  int32_t resampleWorkLength = 0;
  int32_t groupOutDesignWidth = 0;

  // Data pass.
  int64_t largestBlockRows = 0;
  int32_t largestColumnCount = 0;
  StoredModelSums modelSums;
  int32_t* refitFirstColumns = nullptr;  // the layout's first columns, kept for the refit

  // Displays.
  StepLabel* stepLabels = nullptr;  // one per step, from the graphs
  int32_t stepLabelWidth = 0;
  uint8_t refitPass = 0;  // the refit pass of model averaging prints

  // The candidate table that options.candidates points at (its lists come from the pool the
  // table was built from), and the count of candidates forced into every model.
  std::vector<CandidateEntry> candidateTable;
  int32_t firstCandidate = 0;
};

struct VsfState {
  int stepCode = 0;
  int32_t byGroupCount = 0;
  // The levelization context: the step's design and each BY group's levels.
  ZLevCtx lev;
  LevAllocRecord levAlloc;
  StepSettings settings;
  StepResources res;
  GroupState group;
};

}  // namespace vsf
