// The selection engine: the record of one selection run and the services that the frame, the
// methods, the penalized fits and the displays call.
//
// Matrices are packed lower triangles by rows, element (i, j), j <= i, at i(i+1)/2 + j, column 0
// the response. A is the accumulated crossproduct matrix, S its copy swept on the columns
// whose flag is '1'. The packed S holds, at (i, j) with i > j, the entry of the swept matrix in
// row j and column i; so S(g, 0) of a swept-in column g is minus its estimate and S(0, 0) is
// the SSE of the current model.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "datapass/pass.h"
#include "design/design.h"
#include "effects/provider.h"
#include "frame/host/values.h"
#include "selection/criteria.h"

namespace vsf {

// Packed lower triangle: start of row i, element (i, j) with j <= i, and either order.
inline int64_t tri(int64_t i) { return i * (i + 1) / 2; }
inline int64_t pk(int64_t i, int64_t j) { return tri(i) + j; }
inline int64_t pkAny(int64_t i, int64_t j) { return i >= j ? tri(i) + j : tri(j) + i; }

// A column is aliased when the columns before it leave at most this share of its sum of
// squares (about its mean when the model has an intercept): a sweep does not take it in, and
// the optimizer leaves out an effect that repeats one.
constexpr double kPivotRelative = 1e-8;
// Nor is a column taken in on what rounding leaves of it: at most this share of its sum of
// squares as accumulated (a few thousand units of the last place of the sums a sweep subtracts).
constexpr double kPivotRounding = 1e-12;

inline void copyDoubles(double* dst, const double* src, int64_t n) {
  if (n > 0 && dst != src) std::memmove(dst, src, sizeof(double) * static_cast<size_t>(n));
}

// The host's missing value, and any value with its top 16 bits set.
inline bool isAbsent(double x) { return (bitsOf(x) >> 48) == 0xFFFF; }
inline double absentValue() { return missingValue('.'); }

struct HostPool;
struct ScratchFile;
struct ScratchFileObject;
struct UtilFileArray;
struct ZPuddle;
struct GroupState;
struct ResampleWork;
struct ZDesign;
struct ZLevCtx;
struct CandidateEntry;

// Where an effect stands in a run: in the model and why, or out of it and whether it may
// enter. The step history keeps them as bytes of these values.
enum class EffectState : uint8_t {
  kFree = 0,        // out of the model, a candidate
  kSelected = 1,    // in the model, entered by the run's moves
  kIntercept = 2,   // in the model, kept there by the run: the intercept
  kForced = 3,      // in the model, kept there by the run: INCLUDE= or a forced block
  kHeldOut = 5,     // out of the model and never enters (NOINT's intercept, a screen, no weight)
  kScreenedIn = 6,  // the path's screening alone: a candidate its safe rule keeps
};

// The questions asked of a state, a switch each, so that a new state is named in them by the
// compiler. In the model: it has estimates, and the tables and output data sets show it.
constexpr bool inModel(EffectState state) {
  switch (state) {
    case EffectState::kSelected:
    case EffectState::kIntercept:
    case EffectState::kForced:
      return true;
    case EffectState::kFree:
    case EffectState::kHeldOut:
    case EffectState::kScreenedIn:
      return false;
  }
  return false;
}
// Kept in the model by the run, never by a move of the selection.
constexpr bool keptInModel(EffectState state) {
  switch (state) {
    case EffectState::kIntercept:
    case EffectState::kForced:
      return true;
    case EffectState::kFree:
    case EffectState::kSelected:
    case EffectState::kHeldOut:
    case EffectState::kScreenedIn:
      return false;
  }
  return false;
}

// What the last resweep of a crossproducts matrix leaves for the next (resweep.cpp): A, S and
// the flags as it left them, and each column's sweep: its pivot's inverse (0 for a column left
// out) and its work row, the old pivot row read through the sign rule (stride `capacity`).
struct ResweepMemo {
  int32_t order = 0;  // of the kept matrices; 0 none
  int32_t capacity = 0;
  double* sscp = nullptr;
  double* swept = nullptr;
  char* flags = nullptr;
  double* inverse = nullptr;
  double* work = nullptr;
};

// One cross-validation fold: its training crossproducts (every row outside the fold), the
// model swept in them and the fold's residual sums.
struct FoldRecord {
  double** blocks = nullptr;                  // per-effect own blocks (incremental mode)
  double* swept = nullptr;                    // S_f
  double* sscp = nullptr;                     // A_f
  double* estimates = nullptr;                // p, when kept
  double* store = nullptr;                    // per-effect store (incremental mode)
  double sse = 0;                             // of the fold's rows under S_f; summed into CV PRESS
  double rows = 0, freq = 0, weightFreq = 0;  // tallies of the fold's training rows
  char* flags = nullptr;                      // F_f
  // Checkpoint.
  double savedSse = 0;
  double* savedSwept = nullptr;
  double* savedSscp = nullptr;
  char* savedFlags = nullptr;
  double copiedSse = 0;
  double* compactSwept = nullptr;
  double* sweptCopy = nullptr;
  double* compactSscp = nullptr;
  double* sscpCopy = nullptr;
  char* flagsCopy[2] = {nullptr, nullptr};
  ResweepMemo resweep;
};

// 32 bytes, written to the result stream as they stand.
struct StopBlock {
  uint8_t reason = 0;
  uint8_t unused[7] = {};
  int32_t entryEffect = 0;
  int32_t removalEffect = 0;
  double entryValue = 0;
  double removalValue = 0;
};
static_assert(sizeof(StopBlock) == 32);

// The checkpoint of the current model (trial moves, the removal search).
struct Checkpoint {
  uint8_t buffersExist = 0;
  uint8_t active = 0;   // between saveModelState and restoreModelState
  uint8_t compact = 0;  // full mode: the working arrays are the compact copies
  double sse = 0, cvPress = 0, press = 0, validAse = 0, testAse = 0;
  int32_t order = 0, capacity = 0, sweptColumns = 0, effectsInModel = 0;
  double* swept = nullptr;  // saved working pointers
  double* sscp = nullptr;
  int32_t* firstColumn = nullptr;
  EffectState* states = nullptr;
  char* flags = nullptr;
  int32_t* entryOrder = nullptr;
  // Buffers.
  double* compactSwept = nullptr;
  double* sweptCopy = nullptr;
  double* compactSscp = nullptr;
  double* sscpCopy = nullptr;
  int32_t* firstColumnCopy[2] = {nullptr, nullptr};
  int32_t* entryOrderCopy[2] = {nullptr, nullptr};
  char* flagsCopy[2] = {nullptr, nullptr};
  int32_t copyOrder = 0;
};

// The per-step history (index = step; the arrays marked [-1] have an entry before step 0).
struct StepHistory {
  int32_t stepCount = 0;
  int32_t stepCapacity = 0;
  int32_t historyCapacity = 0;
  int32_t changeListLength = 0;
  int32_t changeListCapacity = 0;
  double* sse = nullptr;  // [-1]
  double* testAse = nullptr;
  double* fifth = nullptr;
  double* lambdaRatio = nullptr;
  double* l1Norm = nullptr;
  double* pathSecond = nullptr;
  double* pathExtra = nullptr;  // external cross validation: the held-out SSE's curvature in lambda
  double* heldOutSse = nullptr;  // external cross validation: the held-out SSE
  int32_t* effect = nullptr;
  int32_t* sweptColumns = nullptr;  // [-1]
  int32_t* parameters = nullptr;    // [-1]
  int32_t* effects = nullptr;       // [-1]
  int32_t* changes = nullptr;       // group LASSO change list
  // The criteria the steps keep (criterionKeptPerStep), computed as each step is recorded:
  // criterionCount values per step, that of code c at criterionSlot[c] - 1 (0: not kept).
  double* criteria = nullptr;
  int32_t criterionCount = 0;
  uint8_t criterionSlot[kCriterionCodes] = {};
};

// What the data pass counted and summed for the BY group: observations by role, frequency and
// weight totals, and the response's sums.
struct RunTotals {
  double obsRead = 0, freqRead = 0, freqStored = 0, rowsStored = 0;
  double obsUsed = 0;    // training rows
  double trainFreq = 0;  // n
  double validRows = 0, testRows = 0, testFreq = 0;
  double validFreq = 0;  // held-out frequency total
  double noRoleRows = 0, noRoleFreq = 0;
  double testObsRead = 0, testFreqRead = 0, validObsRead = 0, validFreqRead = 0;
  double trainWeight = 0, validWeight = 0, testWeight = 0;
  double sumWy = 0;       // sum of w*y
  double sumWyy = 0;      // sum of w*y^2
  double centredWyy = 0;  // about the response's centre when the sums are about centres
  // The training rows' weighted mean response, which the fit statistics show; the path's
  // rewrite takes it off the response only when it centres the columns (responseCentre).
  double responseMean = 0;
  double totalSS = 0;  // uncorrected
  double correctedSS = 0;
};

// How a stored row is laid out and what each effect's columns are: the data pass fills it.
struct ColumnLayout {
  int32_t effectCount = 0;        // E
  int32_t paramCount = 0;         // p
  int32_t denseValues = 0;        // d, dense values per stored row
  int32_t sparseEffectCount = 0;  // s
  int32_t singleColumnEffects = 0;
  int32_t largestEffectColumns = 0;
  int32_t firstSelectable = 0;
  int32_t foldCount = 0;            // the folds the rows' fold tags number
  int32_t* sparseIndex = nullptr;   // -1 dense, else the position among sparse effects
  int32_t* layoutColumn = nullptr;  // first column in the whole-matrix layout, from 1
  int32_t* denseOffset = nullptr;   // first dense value, -1 sparse
  int32_t* columnCount = nullptr;
  int32_t* sparseEffects = nullptr;  // sparse position -> effect
  double* colMeans = nullptr;        // per design column, in effect order
  double* colScales = nullptr;
  // Per design column: the value its moments are summed about (its first training value), so
  // that an offset far above the spread costs no digits of the variance; 0 for sparse columns,
  // under NOINT and when none was taken.
  double* colShifts = nullptr;
  double responseShift = 0;  // the response's, taken with them
};

// The search's running scores in the incremental mode with the store: for the model they hold
// (its entry order and swept column count), each single-column candidate's crossproduct with
// the residual and its residual sum of squares. The pass that sums an entering column's store
// row also sums every column's crossproduct with that column's residual, from which the
// scores follow the entry at one update each instead of a quadratic form over the model.
struct RunningScores {
  double* r = nullptr;  // per effect
  double* v = nullptr;
  int32_t* model = nullptr;  // the entry order they hold for
  int32_t modelLength = -1;  // -1: they hold for no model
  int32_t sweptColumns = 0;
  int32_t afresh = 0;  // the times they were worked out afresh from the store
  // They followed a move whose update was worked from the store rows (a removal, a re-entry)
  // since: a near-tie of the search is settled afresh.
  uint8_t fromStore = 0;
  uint8_t followAlways = 0;   // follow those moves however small the model (tests)
  int64_t interceptRow = -1;  // the intercept's store row while it is swept in, else -1
  // The update of the pass under way: the entering effect (-1 none), its column's regression
  // on the model's swept columns by store offset, those columns where a row holds them (dense
  // values and their weights, sparse effects), and every column's crossproduct with the
  // entering column's residual, laid out as a store row.
  int32_t entering = -1;
  double* weights = nullptr;
  int32_t* denseAt = nullptr;
  double* denseWeight = nullptr;
  int32_t denseCount = 0;
  int32_t* sparseModel = nullptr;
  int32_t sparseCount = 0;
  double* cross = nullptr;
};

// The crossproducts, the matrix swept on the model's columns, the per-effect stores and the
// model they hold: its effects, their positions and states, and its estimates.
struct SweepMatrices {
  int32_t sscpOrder = 0;
  int32_t orderCapacity = 0;
  int32_t storeRowsUsed = 0;
  int32_t storeRowCapacity = 0;
  int32_t sweptColumns = 0;
  int32_t effectsInModel = 0;
  int32_t prevEffectCount = 0;
  int32_t passEffect = -1;          // the effect whose new rows a pass accumulates
  double** effectBlocks = nullptr;  // each effect's own packed block (incremental mode)
  double* trialBlock = nullptr;
  char* trialFlags = nullptr;
  uint8_t blockScoring = 0;  // candidates scored by candidateEffectSse
  uint8_t hierarchyOn = 0;   // the run keeps hierarchy counts
  uint8_t fullMode = 0;      // every parameter's crossproducts in A
  uint8_t storeOn = 0;       // incremental mode with the per-effect store
  double* sscp = nullptr;    // A
  double* swept = nullptr;   // S
  double* store = nullptr;   // rows of p + 1 values; row 0 the response
  char* flags = nullptr;     // column flags of A and S
  double* work = nullptr;    // work row of the sweep
  // Per effect or per parameter.
  double* effectWork = nullptr;
  double* estimates = nullptr;
  double* stdEstimates = nullptr;
  double* candidateValues = nullptr;
  double* invDiag = nullptr;
  double* weights = nullptr;     // column scales or adaptive weights
  double* colSquares = nullptr;  // per design column sums of squares (kernSumSquares)
  // The crossproducts of a run with an intercept on the rows as stored are sums about
  // provisional centres (the data pass's shifts), so that the digits the means cancel are never
  // formed; the swept matrix stays in that basis, whose intercept row the readers carry back
  // (centres.cpp). Per value of a stored row: the response, then the dense values; null when
  // the sums are plain.
  double* centres = nullptr;
  EffectState* states = nullptr;
  int32_t* storeSlot = nullptr;   // first store row of each effect, -1 none
  int32_t* fullOffset = nullptr;  // each effect's first column in the store's rows
  // The dense effects in runs that lie side by side both in a row and in a store row: the
  // run's place in a store row, in a row's dense values, and its column count.
  int32_t* denseRuns = nullptr;
  int32_t denseRunCount = 0;
  int32_t* missingPrerequisites = nullptr;
  int32_t* absentDependants = nullptr;
  // Each effect's first parameter and position in A and S, and the model.
  int32_t* firstParam = nullptr;
  int32_t* firstColumn = nullptr;
  int32_t* entryOrder = nullptr;
  int32_t* prevEntryOrder = nullptr;
  int32_t* aliasedList = nullptr;
  int32_t aliasedCount = 0;
  uint8_t aliasedFound = 0;
  RunningScores running;
  ResweepMemo resweep;
};

// The criteria of the current model: its training SSE, the full model's error variance, and
// the values that take a pass (kept until the model changes).
struct FitValues {
  double tol = 1e-8;  // relative tolerance of the F test and STOP and CHOOSE
  double trainSse = 0;
  double sigma2Full = 0;
  double press = 0;
  double validAse = 0;
  double testAse = 0;
  double cvPress = 0;
  double penalty = 0;                 // criterion 14
  double extCvValue = absentValue();  // criterion 13: missing until worked out, never 0
};

// The screening of a path's candidates: the safe rules' screened-in set, and the ranking of
// sure independence screening that its table shows.
struct PathScreening {
  ScreenCode code = kScreenNone;  // the run's rule: the safe rules give way when nothing enters
  EffectState* states = nullptr;  // per effect: free, screened in, selected or held out
  double* bound = nullptr;        // per effect: the lambda down to which it surely stays out
  double* reference = nullptr;    // per effect: its gradient at lambda-max
  double* squares = nullptr;      // per effect: the column's sum of squares (with the ridge)
  int32_t* inList = nullptr;      // screened in, in effect order
  int32_t* outList = nullptr;     // screened out
  int32_t* newList = nullptr;     // screened in by a rebuild, direction products still to come
  int32_t inCount = 0, outCount = 0, newCount = 0;
  double responseSquares = 0;  // of the stored response
  double thresholdRatio = 0.9, ratioSum = 0, thresholdLambda = 0, referenceLambda = 0;
  // The fitted vector's |yhat|^2 (the elastic net's ridge rows included) and y'yhat at the
  // last rebuild: the sums the refined safe bound needs, not the residual's.
  double fittedSs = 0, responseFitted = 0;
  // SIS: the selectable effects by decreasing absolute correlation with the response.
  double* sisCorrelation = nullptr;
  int32_t* sisEffect = nullptr;
  int32_t ranked = 0, kept = 0;
  double keepFraction = -1.0;
};

// Where a penalized path stands (read by the criteria; written by the path methods).
struct PathState {
  double l2 = 0;
  double lambdaMax = 0, stepLambda = 0, l1Norm = 0, pathSecond = 0;
  int32_t heldOutFold = 0;  // external cross validation: the fold left out
  int32_t extCvFolds = 0;
  double* extCvGrid = nullptr;  // penalty points
  double* extCvValues = nullptr;
  int32_t extCvCount = 0;
  double heldOutWeight = 0, heldOutFreq = 0;  // tallies of the fold left out
  // Per effect: the gradient (correlation with the residual), the path coefficient, the
  // direction and its products with every column, and the sign of an active effect.
  double* gradient = nullptr;
  double* coef = nullptr;
  double* direction = nullptr;
  double* products = nullptr;
  int8_t* sign = nullptr;
  double* reported = nullptr;  // the coefficients a step reports on the standardized columns
  double* work = nullptr;
  double* savedEstimates = nullptr;  // the step before, while a STOP criterion judges
  double* savedStdEstimates = nullptr;
  int32_t largestModel = 0;  // effects in a model that holds every one that can enter
  // Sums of the last statistics pass: validation, test and held-out SSE, the held-out
  // direction's sum of squares, and the residual pass's fitted sums.
  double validSse = 0, testSse = 0, heldOutSse = 0, heldOutDirection = 0;
  double fittedSquares = 0, fittedCross = 0;
  // The held-out SSE is quadratic in lambda along a step: its second-order coefficient.
  double heldOutCurvature = 0;
  PathScreening screen;
};

// What the tuning of a fit keeps from run to run, in the BY group's pool so that it outlives
// every run's model pool: the history of the L2 values tried, the path points of the folds of
// the last cross-validated evaluation with their merged grid, and the crossproducts that later
// runs over the same rewritten rows take instead of a pass.
struct TuningTables {
  HostPool* pool = nullptr;  // the BY group's
  int32_t point = 0;         // the history row the next tuning run fills
  int32_t historyRows = 0;   // rows of 7: L2, L1 ratio, parameters, value, L2 norm, L1 norm, step
  double* history = nullptr;
  // Path points, fold after fold: 3 ints (fold, step, parameters) and 6 doubles (L1 ratio, L2,
  // L1 norm, L2 norm, held-out curvature, held-out ASE) each.
  int32_t points = 0, pointCapacity = 0;
  int32_t* pointInts = nullptr;
  double* pointValues = nullptr;
  int32_t foldCount = 0;
  int32_t* foldEnd = nullptr;  // cumulative point count after each fold
  double* foldLambdaMax = nullptr;
  double* grid = nullptr;  // the alignment grid and the folds' averaged ASE on it
  double* average = nullptr;
  int32_t gridCount = 0;
  double chosenAlignment = 0;
  // The crossproducts of the first run of a series, before any ridge.
  double* sscp = nullptr;
  int64_t sscpLength = 0;
  uint8_t keepSscp = 0;  // the fit driver asks the next first run to keep them
  // The group's run totals and column moments, put back after the folds' runs, each of which
  // centres (and, unless NOSTANDARDIZE$, scales) by its own training rows. Off under
  // NOSTANDARDIZE$: the folds' crossproducts shortcut scales, so those folds take the rows.
  uint8_t foldMoments = 1;
  uint8_t saved = 0;
  RunTotals savedTotals;
  double* savedMeans = nullptr;
  double* savedScales = nullptr;
  // External cross validation without passes: the crossproducts of each fold's held-out
  // rows (one pass for all, sliced by the rows' held-out fold), their sum, and each fold's
  // weight and frequency; a fold's run then takes its training rows' crossproducts,
  // standardized by algebra, and its held-out SSE as a quadratic form in its own.
  int32_t heldSlices = 0;  // while set, kernSscp sums per held-out fold into heldSscp
  double* heldSscp = nullptr;
  double* allSscp = nullptr;
  double* heldTallies = nullptr;  // per fold: weight, frequency, weighted response sum
  double* foldBuffer = nullptr;
  // Per crossproducts column, what the held-out sums subtract from each value (the data pass's
  // shifts; 0 for the response, the intercept and sparse columns): sums about them keep a
  // column far from 0 its digits through the folds' centring by algebra.
  double* heldShifts = nullptr;
  double* foldSscp = nullptr;  // the run's crossproducts, taken instead of a pass (null: none)
  const double* foldHeld = nullptr;
  uint8_t heldStale = 0;  // the rows' weights changed (a new sample): sum the folds again
};

// The optimizer fits' problem on the standardized columns, worked out from the crossproducts:
// 0.5 |y - X b|^2 = 0.5 (yy - 2 b'c + b'G b), and the solution of the current step.
struct OptimizerState {
  int32_t dimension = 0;       // the parameter count
  double* coef = nullptr;      // per parameter, on the standardized columns
  double* mean = nullptr;      // per parameter
  double* scale = nullptr;     // per parameter: 1 / sd, 0 for a parameter held at 0
  double* gram = nullptr;      // dimension x dimension
  double* cross = nullptr;     // per parameter, with the centred response
  double responseSquares = 0;  // of the centred response
  double responseMean = 0, weight = 0;
  // The response's standard deviation (1 for a constant one): the problem is solved with the
  // response in these units, so that the solver's tolerance means the same at every scale.
  double responseScale = 1;
  uint8_t* penalized = nullptr;  // per effect: its group carries the penalty
  double lambdaMax = 0;          // the solver's, at the end of the fit (response in its units)
};

struct SelectionState;
// What the penalized methods, which stand above the engine, give a run of theirs: the rewrite
// of the stored rows before the crossproducts, the path, and the undo of the rewrite. Each
// returns 0 or a negative code.
struct PathMethods {
  int (*prepareRows)(SelectionState* s) = nullptr;
  int (*runPath)(SelectionState* s) = nullptr;
  int (*restoreRows)(SelectionState* s) = nullptr;
  int (*runOptimizer)(SelectionState* s) = nullptr;  // the methods the optimizer solves
};

// What the run reads of the BY group's data beside its rows (GroupState::candidates holds it):
// the candidate table, null until one is built, with its count, and per effect the effects it
// contains (prerequisites) and those containing it (dependants), null when the design is built
// per BY group, whose containment is per candidate (Containment).
struct CandidateData {
  const std::vector<CandidateEntry>* table = nullptr;
  int32_t count = 0;
  const int32_t* prerequisiteCount = nullptr;
  const int32_t* const* prerequisites = nullptr;
  const int32_t* dependantCount = nullptr;
  const int32_t* const* dependants = nullptr;
};

// The flags of the current run, which the fit driver owns: it starts each fit from a plain
// one's and sets them run by run. The run is the first of a series over the same rows (it
// rewrites them), it holds one fold out, and the external cross-validation criterion reads
// the folds' average per path step. `method` is the method the run fits: the user's, but the
// elastic net while the least-squares variant is tuned.
struct RunFlags {
  uint8_t firstFit = 1, foldFit = 0;
  uint8_t cvPerPathStep = 0;
  MethodCode method = kMethodStepwise;
};
// A plain fit's flags, with the user's method (of the options or of the paths' record).
template <class Options>
RunFlags plainRunFlags(const Options& o) {
  RunFlags f;
  f.method = o.method;
  return f;
}

// What the stop, choose and move rules of the classical methods read of the options: the
// set-up fills it once from the settings (the refit pass from its own), and the rules read
// it through the run's `rules`.
struct SelectionRules {
  MethodCode method = kMethodStepwise;  // the user's, not the run's
  CriterionCode select = kCritSbc, stop = kCritNone, choose = kCritNone;
  double entryLevel = 0.5, stayLevel = 0.1;  // SLENTRY=, SLSTAY=
  double fuzz = kFuzz;                       // the margin a STEPWISE move must win by
  int32_t steps = 0;                         // STEPS=: the run stops after so many
  int32_t stopSteps = 0;                     // STOP=n: the run stops at a model of n effects
  uint8_t noInt = 0;
  DropRule dropRule = kDropBeforeAdd;  // STEPWISE's DROP=
  uint8_t hierarchy = 0;               // the model keeps its containment
  L1ChoiceCode l1ChoiceStop = kL1ChoiceRatio;
  // What the moves compute beside the SELECT value: the candidates' values, the general
  // removal search, a resweep after an entry, PRESS and the partitions' ASE per step (the
  // folds' own statistics and estimates are cross validation's, CvOptions).
  uint8_t candidateValues = 0, generalSearch = 0, fullSweepMode = 0;
  uint8_t pressPerStep = 0, validAsePerStep = 0, testAsePerStep = 0;
  // The run's start and its data: INCLUDE= and START=, a model-averaging sample, and whether
  // a criterion needs the full model's variance.
  int32_t include = 0, start = 0;
  uint8_t modelAveragingRun = 0;
  uint8_t fullModelWanted = 0;
};

// How the run ended, and the step it chose with that step's estimates.
struct RunStatus {
  int32_t status = 0;
  StopBlock stop;
  int32_t chosenStep = -1;
  double* chosenInvDiag = nullptr;
  double* chosenEstimates = nullptr;
  double* chosenStdEstimates = nullptr;
  int32_t* chosenEffects = nullptr;
  EffectState* chosenStates = nullptr;
  double* chosenFoldSse = nullptr;
  double* chosenFoldEstimates = nullptr;  // p per fold, when the folds keep their estimates
  // BACKWARD: forced effects dropped as aliased before step 0.
  int32_t droppedForced = 0;
  // START=n: effects entered free to leave after the forced ones; the layout's first
  // selectable position counts them into the starting block for the rest of the run.
  int32_t startEffects = 0;
  // External cross validation: the training frequency its folds split (the data's or the
  // sample's) and the fold whose training part was empty (-1: none), for the messages.
  double foldedFreq = 0;
  int32_t emptyFold = -1;
};

// Per-candidate containment of a design built per BY group (BY POOL): per candidate the
// counts of the candidates it contains and of those that contain it, copies of both counts,
// and the two lists, in increasing candidate order.
struct Containment {
  int32_t* containedCount = nullptr;
  int32_t* containingCount = nullptr;
  int32_t* containedCountCopy = nullptr;
  int32_t* containingCountCopy = nullptr;
  int32_t** containedLists = nullptr;
  int32_t** containingLists = nullptr;
};

// What the fit driver and the paths (LAR, LASSO, the elastic net, group LASSO and their
// cross validation) read of the options: the set-up fills it once from the settings (the
// refit pass from its own), and the paths read it through the run's `pathOptions`.
struct PathOptions {
  MethodCode method = kMethodStepwise;  // the user's, not the run's
  CriterionCode stop = kCritNone, choose = kCritNone;
  int32_t steps = 0, stopSteps = 0, maxSteps = 0;
  int32_t forcedEffects = 1;
  uint8_t noInt = 0, modelAveragingRun = 0, pressPerStep = 0;
  // The rows' partition roles (their folds are cross validation's, CvOptions).
  uint8_t rolesPresent = 0;
  // The penalties: L1 choice, the L2 search, the elastic net's scale, group LASSO's RHO= and
  // the optimizer's tolerance.
  L1ChoiceCode l1Choice = kL1ChoiceRatio;
  L2SearchCode l2Search = kL2SearchNone;
  int32_t l2Steps = 50;
  double l2Low = 0.0, l2High = 1.0;
  uint8_t showL2Search = 0;
  int32_t enScale = 0;
  double rho = -1.0, tolerance = -1.0;
  // Screening and adaptive weights.
  ScreenCode screen = kScreenNone;
  int32_t screenSteps = 4, keepNum = 100;
  double keepRatio = -1.0;
  uint8_t showScreen = 0;
  uint8_t adaptive = 0, initialEstimatesGiven = 0;
};

// What cross validation reads of the options: how the data pass forms the folds (CVMETHOD=,
// its fold count and index variable), what the k folds keep (CVDETAILS=), and the folds of
// external cross validation. The set-up fills it once from the settings (the refit pass from
// its own); the data pass, the engine and the paths read it through the run's `cv`.
struct CvOptions {
  CvMethodCode method = kCvNone;
  int32_t requestedFolds = 5;  // the count CVMETHOD= gives
  int32_t indexVariable = -1;  // the variable of CVMETHOD=INDEX, -1 none
  int32_t folds = 0;           // the set-up's fold count; a group's is its layout's
  uint8_t kfold = 0;           // the rows carry a k-fold tag (CV, CVMETHOD=)
  uint8_t foldStats = 0;       // the k folds keep their own statistics ...
  uint8_t foldEstimates = 0;   // ... and estimates
  uint8_t externalCv = 0;      // the rows carry a held-out fold tag (CHOOSE=CVEXTERNAL)
  uint8_t linearCvEx = 0;      // the folds' points are joined linearly in lambda
};

// What the rest of the engine reads of the options: the memory plan and the pool's sizes, the
// crossproducts kernels and the rows they read, the result stream and the step records, the
// criterion values, the candidate table, the checkpoint and the adaptive weights. The set-up
// fills it once from the settings (the refit pass from its own); the engine reads it through
// the run's `engine`.
struct EngineOptions {
  MethodCode method = kMethodStepwise;  // the user's, not the run's
  CriterionCode select = kCritSbc, stop = kCritNone, choose = kCritNone;
  uint8_t noInt = 0, noStandardize = 0, hierarchy = 0;
  int32_t forcedEffects = 1, maxSteps = 0, maxEffects = 0;  // MAXEFFECTS=: 0 no limit
  // How the crossproducts are held: the whole matrix, the incremental mode's per-effect
  // store, a candidate table per BY group, the general removal search.
  uint8_t buildFullSscp = 0, effectStore = 0, designPerByGroup = 0, generalSearch = 0;
  // What each step keeps beside its SELECT value, and whether the steps go to the result
  // stream for the detail tables and plots.
  uint8_t candidateValues = 0, pressPerStep = 0, validAsePerStep = 0, testAsePerStep = 0;
  uint8_t fifthPerStep = 0, stepRecords = 0, fullModelWanted = 0;
  uint8_t adaptive = 0;
  double adaptiveGamma = 1.0;
  // What a stored row holds beside its columns.
  uint8_t rolesPresent = 0, weightPresent = 0, freqPresent = 0, modelAveragingRun = 0;
  uint8_t resampling = 0;
  // The memory plan: the utility files' resident blocks given (0: fitted to the memory), and
  // the workers asked for, which its message names.
  int32_t utilBuffers = 0, requestedWorkers = 0;
};

// One selection run over a BY group's stored rows. Its parts live as long as the run; the
// pool, the files and the workers are in its PassState base; what it reads of the options
// is in the records the set-up fills.
struct SelectionState : PassState {
  const SelectionRules* rules = nullptr;
  const PathOptions* pathOptions = nullptr;
  const CvOptions* cv = nullptr;
  const EngineOptions* engine = nullptr;
  RunTotals totals;
  ColumnLayout layout;
  SweepMatrices sweep;
  StepHistory steps;
  FitValues fit;
  PathState path;
  TuningTables tuning;
  OptimizerState optim;
  RunStatus run;
  Checkpoint ck;
  Containment containment;
  RunFlags runFlags;
  const CandidateData* candidates = nullptr;  // the BY group's, or null

  // Cross validation: the folds' own crossproducts and models.
  int32_t folds = 0;
  FoldRecord* foldRecs = nullptr;

  // Links: the INEST= estimates of the group, the resample records, the group's scratch file,
  // the step code, and the result stream with the result header's stream (the OUTDESIGN pass
  // reads it back; none when null).
  double* initialEstimates = nullptr;
  ResampleWork* resample = nullptr;
  ScratchFile* scratch = nullptr;
  int* stepCode = nullptr;
  ScratchFileObject* streamFile = nullptr;
  int64_t* streamPosition = nullptr;
  ScratchFileObject* headerFile = nullptr;
  int64_t* headerPosition = nullptr;
  const PathMethods* pathMethods = nullptr;  // set by the fit driver
};

// The run is an elastic net's with a ridge.
inline bool elasticNet(const SelectionState* s) {
  const MethodCode m = s->runFlags.method;
  return (m == kMethodElasticNet || m == kMethodElasticNetLs) && s->path.l2 > 0;
}
// The ridge on the diagonal of an elastic net's crossproducts: L2 (n - 1) on columns of
// squared norm n - 1.
inline double ridgeOf(const SelectionState* s) {
  return elasticNet(s) ? s->path.l2 * (s->totals.trainFreq - 1) : 0.0;
}
// What the path coefficients are multiplied by when reported: with ENSCALE the elastic net
// undoes the ridge's shrinkage. In units of columns of norm 1 the ridge is L2 itself, so the
// factor is 1 + L2 (not 1 + L2 (n - 1), which inflates the estimates about n-fold).
inline double reportScale(const SelectionState* s) {
  return s->runFlags.method == kMethodElasticNet && s->pathOptions->enScale && s->path.l2 > 0
             ? 1 + s->path.l2
             : 1.0;
}

// The BY group's candidate data, or an empty record for a state given none.
inline const CandidateData& candidateData(const SelectionState* s) {
  static const CandidateData kNone;
  return s->candidates ? *s->candidates : kNone;
}

// What the path's rewrite subtracts from the response: its mean (NOSTANDARDIZE$ too centres,
// it only leaves the scales at 1).
inline double responseCentre(const SelectionState* s) { return s->totals.responseMean; }

// ---- Model pool and array sizing ----
// 0, rc::kPool (pool not created), rc::kMemory, or rc::kNoMemoryLeft after the error naming
// the option whose count the memory cannot hold (CVMETHOD=, MAXSTEPS=).
[[nodiscard]] int buildModelPool(SelectionState* s);
// Whether `bytes`, which grow with the value an option of the run was given, fit the memory the
// step may use; when not, an error names the option and its value (optionFitsMemory) and the
// step code is raised to 1016.
bool runOptionFits(const SelectionState* s, std::string_view option, std::string_view value,
                   double bytes, std::string_view holds);
// runOptionFits for the `bytes` that the run's `folds` folds take, naming CVMETHOD=.
bool foldsFitMemory(const SelectionState* s, int32_t folds, double bytes);
[[nodiscard]] int growSweepStore(SelectionState* s, int32_t capacity);  // -1: twice the order
[[nodiscard]] int growEffectStore(SelectionState* s, int32_t rows, int32_t rowLength);
[[nodiscard]] int growStepHistory(SelectionState* s, int32_t capacity);
[[nodiscard]] int growChangeList(SelectionState* s, int32_t length);
void resetSelectionState(SelectionState* s);
// A state that reads a run's records back (its step history, its selected model) reads them
// as the run wrote them: with the run's records of the options.
void shareRunOptions(SelectionState* record, const SelectionState& run);
void freeSelectionState(SelectionState* s);

// ---- Entering and removing effects ----
// 0 or the code of a failed growth (rc::kMemory) or pass.
[[nodiscard]] int enterEffect(SelectionState* s, int32_t effect, uint8_t resweepAll,
                              uint8_t fromTrial);
// How an effect leaves the model.
enum class Removal : uint8_t {
  kTrial,  // swept out for a trial, which puts it back: it keeps its place and state
  kPath,   // a step of the LAR-type paths: out of the model, free to enter again
  kStep,   // a step of BACKWARD or STEPWISE: likewise, and the hierarchy it held is released
};
void removeEffect(SelectionState* s, int32_t effect, Removal how);
void candidateEffectSse(SelectionState* s, int32_t effect, double* sse, int32_t* df);
void sweepFoldColumn(SelectionState* s, int32_t column, char oldFlag);
// One sweep of column k, optionally copied into a column-major record of stride m; the
// column is then cleared from the triangle's unswept part. 1 when the column was swept in.
int sscpSweepColumn(double* a, int32_t k, int32_t order, char* flags, double* work, double tol,
                    double* record, int32_t stride);

// ---- Trial moves judged by their own criterion value ----
// Enters (removes) the effect on trial in the checkpointed model, takes the criterion's value
// for the trial model (a data pass for PRESS, VALIDATE and CV) and puts the model back. The
// checkpoint must have been taken (saveModelState, keepLists 0 for entries, 1 for removals).
[[nodiscard]] int trialEntryValue(SelectionState* s, int32_t effect, CriterionCode code,
                                  double* value, double* sse, int32_t* df);
[[nodiscard]] int trialRemovalValue(SelectionState* s, int32_t effect, CriterionCode code,
                                    double* value, double* sse);

// ---- Crossproduct store (incremental mode) ----
[[nodiscard]] int buildResponseStore(SelectionState* s);
[[nodiscard]] int growEffectCrossproducts(SelectionState* s, int32_t effect);
// With k-fold cross validation each fold holds its own rows' sums in n values at offset: the
// main values become their sum (folds in order) and each fold's the main values minus its own.
void complementFolds(SelectionState* s, double* main, double* FoldRecord::*field, int64_t offset,
                     int64_t n);

// ---- Criterion values ----
// The total sum of squares R-square is measured against: uncorrected without an intercept, and
// a corrected total within rounding of zero counts as zero.
double criterionTotal(const SelectionState* s);
// A sum of squares of the fit below this is rounding noise of an exact fit and counts as zero:
// 1.11e-13 times the total above (the uncorrected total when that is zero), so that the
// decision follows the response's scale. Averages over the training weight use the same
// floor divided by that weight.
double negligibleSumOfSquares(const SelectionState* s);
// Zeroes the corrected total when it is rounding noise of the uncorrected one, and the
// training SSE when it is negligible.
void zeroNegligibleTotals(SelectionState* s);
// What every fit of the state shares: n, the total, the full model's variance, NOINT and a
// path's own values; no SSE yet, and PRESS, validation ASE and CV PRESS missing.
FitSummary stateFit(const SelectionState* s);
// The current model's value, against the last recorded step (SL). A data-based value is
// brought up to date first (a pass for PRESS, VALIDATE and CV); missing when that fails.
double criterionValue(SelectionState* s, CriterionCode code);
// A trial model described by its SSE and counts. PRESS, VALIDATE and CV of a candidate are
// not functions of these: they are missing here, and a candidate is judged by them only
// through a trial move (trialEntryValue, trialRemovalValue).
double criterionFromStats(SelectionState* s, CriterionCode code, double baseSse, double trialSse,
                          int32_t baseParams, int32_t trialParams, int32_t baseEffects,
                          int32_t trialEffects);
// The value recorded for step i; missing where the steps keep none.
double stepCriterion(const StepHistory& steps, CriterionCode code, int32_t i);
// The fit of recorded step i as its criteria see it: its SSE and counts, and the data-based
// values the state holds for its model, rounding noise taken to zero as the steps take it.
// The tables of a step's model read their criteria from it, so that they show the values the
// selection summary shows.
FitSummary recordedFit(const SelectionState* s, int32_t i);
// Whether an error sum of squares is rounding noise beside the corrected total: the fit is
// exact, and the selection stops there.
bool fitsExactly(const RunTotals& totals, double sse);
// Keeps step i's criteria, those of its fit (recordedFit).
void recordStepCriteria(StepHistory* steps, int32_t i, const FitSummary& fit);
// The slots of the criteria the options' runs keep per step.
void layOutStepCriteria(StepHistory* h, const EngineOptions& engine, const CvOptions& cv);
[[nodiscard]] int computePress(SelectionState* s);
[[nodiscard]] int computeHoldoutAse(SelectionState* s);
[[nodiscard]] int computeCvPress(SelectionState* s);
void invalidateDataCriteria(SelectionState* s);

// The centres of effect e's columns, null when they are 0 (a sparse effect, plain sums).
inline const double* effectCentres(const SelectionState* s, int32_t e) {
  if (!s->sweep.centres || s->layout.sparseIndex[e] >= 0) return nullptr;
  return s->sweep.centres + 1 + s->layout.denseOffset[e];
}
// Element (i, j) of the accumulated matrix A as plain sums give it: the run may sum its
// crossproducts about centres (SweepMatrices::centres).
double plainCrossproduct(const SelectionState* s, const double* A, int64_t i, int64_t j);

// ---- Checkpoints ----
void saveModelState(SelectionState* s, uint8_t keepLists);
void copyModelArrays(SelectionState* s, uint8_t keepLists);
void restoreModelState(SelectionState* s);
void restoreSelectedStep(SelectionState* s);

// ---- Data-pass memory plan ----
// The workers of a BY group whose first utility file is `first`, a file a worker: the step's,
// lowered (with a note; later groups keep the lower count) where their needs do not fit the
// memory the host reports free beside the stored rows it keeps. Called before the group's other
// files are made.
void planWorkers(const EngineOptions& engine, const GroupState& group, const UtilFileRecord& first,
                 PassWorkers& workers);
// Fits the workers and each utility file's resident blocks to the memory the host reports free
// (the step's workers may fall), and bounds what their buffers of a pass may take; 0, or a
// negative code after its message.
[[nodiscard]] int planStepHistory(const EngineOptions& engine, GroupState& group,
                                  PassWorkers& workers, int& stepCode);

// Turns the column sums held in the layout's means and the sums of squares given, both taken
// about the layout's shifts, into means and scales (1 / standard deviation; missing without a
// variance; 1 under NOSTANDARDIZE$, which centres the columns without scaling them), with
// weight total W and frequency total F; squares may be the layout's scales.
void scalesFromMoments(SelectionState* s, const double* squares, double W, double F);

// ---- Row kernels (run through runDataPass) ----
extern const RowKernel kernSscp;  // A, or each fold's A_f
// The bytes a pass of kernSscp summing `slices` matrices of `order` holds: its sum, and the
// buffer of each worker with the block sums waiting (one buffer on one thread).
double sscpPassBytes(const SelectionState* s, int32_t slices, int64_t order);
extern const RowKernel kernEffectBlocks;    // each effect's own block
extern const RowKernel kernEffectSscp;      // the newest effect's rows of A; count = elements
extern const RowKernel kernStdMoments;      // sums for standardization
extern const RowKernel kernSumSquares;      // y'y and column sums of squares
extern const RowKernel kernFoldResponseSS;  // each fold's y'y
extern const RowKernel kernResponseCross;   // store row 0
extern const RowKernel kernGrowSscp;        // the newest effect's store rows; count = values
extern const RowKernel kernPress;
extern const RowKernel kernHoldoutSse;
extern const RowKernel kernFoldCvSse;
extern const RowKernel kernGroupTallies;

// ---- Step recording and adaptive weights ----
// Appends the current model to the step history (effect -1 or -100: a step without one). A
// step that moves several effects (group LASSO) gives the number of its entries, which it has
// appended to the change list, as `changes`; the step records that count in place of an effect.
[[nodiscard]] int initSelectionState(SelectionState* s, int32_t effect, int32_t changes = -1);
// The change list's first entry of step i of a method that moves several effects a step. A
// step of the starting block (the intercept, the forced effects) records its effect, not a
// count, and has that one entry.
int32_t changeListStart(const SelectionState* s, int32_t i);
[[nodiscard]] int adaptiveWeightsFromFit(SelectionState* s);
[[nodiscard]] int adaptiveWeightsFromEstimates(SelectionState* s);

// ---- One selection run ----
// The run of one fit on a state sized by buildModelPool: 0 when it ended (its status says
// how), or the negative code of a failed pass or entry (also left as the status).
[[nodiscard]] int runSelection(SelectionState* s);
// The folds external cross validation was asked for: CVMETHOD='s count (RANDOM forms only
// the folds a row drew), or the levels of the INDEX variable.
int32_t externalFoldsAsked(const SelectionState* s);
// External cross validation's limits on its folds against the training frequency they split
// (one fold, more folds asked for than units, no unit): the run status, 0 when the folds can
// be formed. The fold runs check it before anything is made for the folds; the run again.
int32_t externalFoldsStatus(SelectionState* s);
// The resampling draw of the bound resample record's current sample (model averaging): each
// training row's drawn count, and the run's training totals the drawn ones. 0 or a pass code.
[[nodiscard]] int drawResample(SelectionState* s);

// Run statuses of a selection.
namespace runstatus {
constexpr int32_t kCpNoVariance = -100;
constexpr int32_t kNoValidation = -101;
constexpr int32_t kOneFold = -102;
constexpr int32_t kFoldsAboveN = -103;
constexpr int32_t kFoldNoTraining = -104;  // a fold held out every training row
constexpr int32_t kNothingEntered = -201;
constexpr int32_t kNoObservations = -202;
constexpr int32_t kNotLevelized = -203;  // the group was skipped before its data pass
}  // namespace runstatus

// Whether a run's status is a failure of the run itself (memory, a page of the stored rows:
// the procedure's own codes, all above the run statuses), not a condition of its rows.
constexpr bool runFailed(int32_t status) { return status < 0 && status > runstatus::kCpNoVariance; }

// Stop reasons (StopBlock::reason).
namespace stopreason {
constexpr uint8_t kStepLimit = 1;
constexpr uint8_t kStepsDone = 2;
constexpr uint8_t kStopSize = 3;
constexpr uint8_t kCriterion = 4;
constexpr uint8_t kPerfectFit = 5;
constexpr uint8_t kNoCandidate = 6;
constexpr uint8_t kAllIn = 7;
constexpr uint8_t kOneLeft = 8;
constexpr uint8_t kAllEntered = 9;
constexpr uint8_t kCycle = 10;
constexpr uint8_t kNoRemoval = 11;
constexpr uint8_t kStepwiseSl = 12;
constexpr uint8_t kStepwiseOther = 13;
constexpr uint8_t kOnlyForced = 14;
constexpr uint8_t kL1Reached = 15;
constexpr uint8_t kStepTooSmall = 16;
constexpr uint8_t kLambdaFlat = 17;
}  // namespace stopreason

// The measure that external cross validation lines the folds' paths up on and that the final
// run reads its grid by: the L1 choice, and the penalty ratio for a path without one (LAR).
template <class Options>
L1ChoiceCode cvAlignment(const Options* o) {
  return o->l1Choice == kL1ChoiceNone ? kL1ChoiceRatio : o->l1Choice;
}
// ---- Step criteria, CHOOSE and stop rules ----
void evalStepCriteria(SelectionState* s, double* stopValue, double* chooseValue,
                      double* selectValue);
// mode 1 after an entry (strict), -1 after a removal (not worse).
void updateChooseStep(SelectionState* s, double selectValue, double stopValue, double* best,
                      int mode);
// mode 1: the candidate step entered the effect; otherwise it removed it. *stop is -1 when
// the step was refused (and undone), 0 otherwise. 0 or the code of a failed re-entry.
[[nodiscard]] int checkStopCriterion(SelectionState* s, int32_t effect, int mode,
                                     double candidateValue, double* best, int* stop);
// 1 to go on, 0 to stop (the stop reason set).
[[nodiscard]] int checkStopRules(SelectionState* s, int32_t step);

// ---- The classical methods ----
[[nodiscard]] int selectNone(SelectionState* s);
[[nodiscard]] int selectForward(SelectionState* s);
[[nodiscard]] int selectBackward(SelectionState* s);
[[nodiscard]] int selectStepwise(SelectionState* s);
[[nodiscard]] int selectStepwiseCompetitive(SelectionState* s);
// The best removal of the current model by SELECT (-1 none); the model is left as it was.
void selectBestRemoval(SelectionState* s, int32_t* effect, double* value);

// ---- Candidate-effect table ----
// The group's candidate table, one entry per effect, or one per level of a split CLASS
// variable's effects (lists from the pool); the group's candidates.table points at it
// afterwards.
[[nodiscard]] int buildCandidateTable(const EngineOptions& engine, GroupState& group,
                                      const ZDesign* design, HostPool* pool);
// An effect with split variables but no design columns (a CLASS variable of one level under
// a full-rank coding) has no entry; its index goes to `leftOut` when given.
[[nodiscard]] int buildParmCandidateTable(const EngineOptions& engine, GroupState& group,
                                          ZDesign* design, HostPool* pool,
                                          std::vector<int32_t>* leftOut = nullptr);
// Each whole-effect entry's effect and column count again, for a new BY group.
void refreshCandidateTable(GroupState& group, const ZDesign* design);
// The candidates of a set, as positions in the candidate table: code 0 every one of the
// `candidateCount`, 2 the current model's, 3 the chosen model's. False for another code or
// for 2 and 3 without a state.
bool modelCandidateSet(const SelectionState* sel, int code, int candidateCount,
                       std::vector<int32_t>* out);

// ---- Result stream records ----
[[nodiscard]] int writeStepHistory(SelectionState* s);
// Into a cleared state whose pool, records (shareRunOptions) and stream (file and position)
// are set.
[[nodiscard]] int readStepHistory(SelectionState* s);
[[nodiscard]] int writeSelectedModel(SelectionState* s, ScratchFileObject* file, int64_t* position);
// The list and estimates come from the caller (room for every effect and parameter).
[[nodiscard]] int readSelectedModel(ScratchFileObject* file, int32_t parameters, int64_t* position,
                                    int32_t* status, int32_t* count, int32_t* effects,
                                    double* estimates);
[[nodiscard]] int writeResultHeader(SelectionState* s);
[[nodiscard]] int readResultHeader(SelectionState* s);

// ---- Crossproducts provider (its record is in effects/provider.h) ----
// Installs the six operations; 0.
int zsscpset(SscpProvider* p);
// Items 0 (accumulated) and 1 (swept), each made once; item 2 gives row `index` of the
// estimates block.
void* sscpItem(SscpProvider* p, int32_t code, int32_t index);

}  // namespace vsf
