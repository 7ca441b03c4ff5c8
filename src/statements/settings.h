// The step's parsed options: SelectionOptions, ThreadOptions, the partition, OUTPUT and SCORE
// requests, CLASS switches, PLOTS settings and model-averaging settings. The statement readers
// fill them; the later subsystems read them.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/strings.h"
#include "frame/host/dataset.h"
#include "grammar/codes.h"

namespace vsf {

struct StatementRecord;
struct CandidateEntry;
struct HostDataSet;
struct VarDescriptor;
struct OptionSlot;
struct LevelVar;
struct HostString;

struct ThreadOptions {
  const StatementRecord* statement = nullptr;  // the last PERFORMANCE statement
  int32_t requestedWorkers = 0;
  int32_t hostCpuCount = 1;
  uint8_t threadsOn = 0;
  uint8_t perfDetails = 0;
  uint8_t allDetails = 0;
  uint8_t timing = 0;  // DETAILS without NOTIMING: the Timing table
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
  std::string trainValue, validateValue, testValue;  // left-justified
  uint8_t hasPartition = 0;
  // Lengths of the role values: 0 not given, the length without trailing blanks, or minus the
  // written length for a value of blanks only.
  int32_t trainLength = 0, validateLength = 0, testLength = 0;
  uint8_t validationRows = 0;  // VALIDATE= or a validation fraction was given
  uint8_t testRows = 0;        // TEST= or a test fraction was given
};

// Step-detail tables of DETAILS=STEPS(...).
struct StepDetailTables {
  uint8_t anova = 0, fitStatistics = 0, parameterEstimates = 0, candidates = 0;
  int32_t candidatesShown = 10;  // SHOW=n, 2147483647 for SHOW=ALL
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
  MethodCode method = kMethodStepwise;
  DropRule dropRule = kDropBeforeAdd;
  CriterionCode select = kCritSbc;
  CriterionCode stop = kCritNone;
  CriterionCode choose = kCritNone;
  uint8_t hierarchy = 0;

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
  uint8_t noStandardize = 0;  // the step's NOSTANDARDIZE$, for runs that take their own moments

  // MODEL statement settings beyond the above.
  uint8_t detailsBeyondSummary = 0;
  uint8_t orderSelect = 0;
  CvMethodCode cvMethod = kCvNone;
  int32_t cvFolds = 5;
  int32_t cvIndexVariable = -1;  // variable number of CVMETHOD=INDEX(variable), -1 when none
  CvDetailsCode cvDetails = kCvDetailsNone;
  uint8_t showCvEx = 0, showL2Search = 0, showStepL1 = 0, linearCvEx = 0, showScreen = 0;
  ScreenCode screen = kScreenNone;
  int32_t screenSteps = 4;
  int32_t keepNum = 100;
  double keepRatio = -1.0;
  uint8_t adaptive = 0;
  uint8_t initialEstimatesGiven = 0;
  L1ChoiceCode l1ChoiceStop = kL1ChoiceRatio;  // the L1 choice for STOP=L1
  L1ChoiceCode l1Choice = kL1ChoiceRatio;
  double l1 = -1.0;
  double tolerance = -1.0;
  double rho = -1.0;
  StepDetailTables stepTables;
  uint8_t stats[kStatsCount] = {};
  uint8_t stb = 0;
  double fuzz = kFuzz;  // FUZZ=: the margin a STEPWISE move must win by
  double l2 = kL2Search;
  int32_t l2Steps = 50;
  L2SearchCode l2Search = kL2SearchNone;
  int32_t enScale = 0;
  double l2Low = 0.0;
  double l2High = 1.0;
  uint8_t externalCv = 0;  // CHOOSE=CVEXTERNAL kept: rows carry a held-out-fold tag

  // Selection engine: stored-row tags, cross validation, per-step statistics and searches.
  uint8_t rolesPresent = 0;   // rows carry a partition-role tag
  uint8_t kfold = 0;          // k-fold cross validation: rows carry a fold tag
  uint8_t resampling = 0;     // weights come from the rows' resample frequencies
  int32_t folds = 0;          // the set-up's fold count (a group's: its layout's)
  uint8_t foldStats = 0;      // per-fold statistics kept
  uint8_t foldEstimates = 0;  // per-fold estimates kept
  uint8_t pressPerStep = 0;
  uint8_t validAsePerStep = 0;
  uint8_t testAsePerStep = 0;
  uint8_t fifthPerStep = 0;
  uint8_t candidateValues = 0;  // per-candidate criterion values
  uint8_t generalSearch = 0;    // general removal search for every effect
  uint8_t effectStore = 0;      // incremental mode keeps the per-effect store
  int32_t maxEffects = 0;       // 0: no limit

  // Main set-up and BY-group phases.
  uint8_t incrementalSscp = 0;    // crossproducts built effect by effect
  uint8_t fullModelVariance = 0;  // the full model's error variance is wanted (BIC, CP)
  uint8_t coefNormPerStep = 0;    // a plot's STEPAXIS=NORMB
  uint8_t detailsBits = 0;        // 1 DETAILS= beyond the summary, 2 step plots need details
};

// One requested statistic of OUTPUT or SCORE: the name points into the statement record.
struct OutputRequest {
  uint8_t on = 0;
  uint16_t nameLength = 0;
  const char* name = nullptr;  // the name given after "=", null for the default name
};

// OUTPUT statement requests; its data set is VsfState::outputDataSet.
struct OutputSettings {
  uint8_t given = 0;
  int32_t count = 0;  // predicted, residual, standard deviation, upper, lower, median
  OutputRequest predicted, stdDev, upper, lower, residual, median, sampleFreq, samplePred;
};

// One SCORE statement (from the MAIN POOL).
struct ScoreRequest {
  HostDataSet* input = nullptr;  // null: the analysis data are scored
  HostDataSet* output = nullptr;
  int32_t count = 0;
  OutputRequest predicted, stdDev, upper, lower, residual, median, samplePred;
  // Main set-up.
  uint8_t verify = 0;  // checked against each BY group
  uint8_t responseUsable = 0;
  VarDescriptor** modelSlots = nullptr;  // row-value slots of the model variables
  VarDescriptor** classSlots = nullptr;  // and of the CLASS variables
};

// What the CLASS statement leaves on the step beside the design's defaults and the CLASS
// variables' LevelVars (which its reader writes).
struct ClassSettings {
  uint8_t globalSplit = 0;
  int32_t splitCount = 0;  // variables with a per-variable SPLIT
  uint8_t showCoding = 0;
  char delimiter = ' ';
};

// One plot family of PLOTS=.
struct PlotFamily {
  uint8_t on = 0;  // 1 requested, +2 by ALL
  int32_t stepAxis = 0;
  int32_t startStep = -1;
  int32_t endStep = 2147483647;
  uint8_t unpack = 0;
  uint8_t logp = 0;
};

struct PlotSettings {
  uint8_t given = 0;
  int32_t candidates = 10;
  int32_t stepAxis = 0;
  int32_t startStep = -1;
  int32_t endStep = 2147483647;
  int32_t maxStepLabel = 20;
  int32_t maxParmLabel = 32;
  uint8_t all = 0;
  PlotFamily coefficients, ase, criteria;
  double labelGap = 0.05;
  // SELECTOGRAM is read and draws nothing: its options have no effect.
  struct {
    uint8_t on = 0, normalized = 0;
    double emphasis = 1.0;
  } selectogram;
  struct {
    uint8_t on = 0;
    int32_t show = 10;
  } candidatesPlot;
  struct {
    uint8_t on = 0;
    double minPct = -1.0;
    int32_t order = 2;
  } effectSelectPct;
  struct {
    uint8_t on = 0, unpack = 0, noBoxPlots = 0;
    double minPct = -1.0;
    int32_t order = 2;
    int32_t plotsPerPanel = 9;
  } parmDist;
};

// MODELAVERAGE settings, as the model-averaging code reads them.
struct ModelAverageOptions {
  uint8_t on = 0;
  int32_t threads = 1;  // records the samples are shared over (NTHREADS=, at most the samples)
  int32_t samples = 100;
  uint8_t details = 0;
  double alpha = 0.5;
  int32_t averageMethod = 1;  // MEAN 1, MEANNONZERO 2, MEDIAN 3, MEDIANNONZERO 4
  uint8_t averageMethodGiven = 0;
  double trimFraction = 0.0;
  double parmThreshold = 0.0;
  int32_t subsetMinModelFreq = 0;
  int32_t subsetBest = 0;
  int32_t seed = 0;
  uint8_t inMemory = 0;  // INMEMORY=: read and without effect (every model is kept in memory)
  uint8_t srs = 0;
  int32_t sampleSize = 0;
  double sampleFraction = 1.0;
  uint8_t espTable = 1, msfTable = 1, parmEstTable = 1;  // 0, 1, or 2 (listed and ALL)
  double espMinPct = 20.0;                               // percent
  int32_t espOrder = 0;                                  // MODEL 0, ASCENDING 1, DESCENDING 2
  int32_t msfBest = 20;
  double peMinPct = 20.0;  // percent
  int32_t peOrder = 0;
  uint8_t nonZeroParms = 0;
  uint8_t sharedDrive = 0;
  uint8_t refit = 0;
  double refitMinPct = 0.2;  // fraction
  int32_t refitSamples = 100;
  int32_t refitBest = -1;
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
  uint8_t outDesignNames = 0;      // NAMES: the ParameterNames table
  uint8_t outDesignParmNames = 0;  // the design columns are named after their parameters
  uint8_t outDesignPrefixGiven = 0;

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
  uint8_t storeSelectedModel = 0;
  VarDescriptor roleVariable;  // number -1: no role variable
  // The levelization context's records of the response, weight and frequency variables.
  LevelVar* responseRecord = nullptr;
  LevelVar* weightRecord = nullptr;
  LevelVar* freqRecord = nullptr;

  // The data sets the statements name, and their variables bound at set-up.
  HostDataSet* inputReader = nullptr;
  DataSetBinding validation, test;
  HostDataSet* outputDataSet = nullptr;
  HostDataSet* outDesignDataSet = nullptr;
  HostDataSet* initialEstimates = nullptr;
  ScoreRequest* scoreRequests = nullptr;
  int32_t scoreCount = 0;
  // Descriptors found in other data sets for the step (held-out and SCORE data).
  std::deque<VarDescriptor> boundDescriptors;
};

}  // namespace vsf
