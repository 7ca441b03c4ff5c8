// The procedure's internal return codes: 0 success, a negative code for what went wrong. A
// routine that returns one has issued its message and raised the step code already; its caller
// passes the code up. Codes of different meaning may share a value: a caller tests for the
// codes its callee documents.
#pragma once

namespace vsf::rc {

constexpr int kOk = 0;

// Resources of the host.
constexpr int kPool = -1;           // pool creation failed
constexpr int kMemory = -2;         // allocation refused
constexpr int kExtension = -3;      // host extension did not load
constexpr int kUtilFileOpen = -4;   // utility file could not be opened
constexpr int kScratchFile = -5;    // scratch file could not be opened
constexpr int kHistory = -6;        // step history unreadable
constexpr int kPageIo = -7;         // utility-file page I/O
constexpr int kPageRead = -11;      // a page of stored rows could not be read back
constexpr int kBlockWrite = -12;    // a block of stored rows could not be written
constexpr int kNoMemoryLeft = -16;  // the host reports no memory to plan the selection with
constexpr int kUtilCommit = -40;    // a utility file could not be committed
constexpr int kUtilReopen = -41;    // a committed utility file could not be opened again
constexpr int kRngNotSetUp = -37;   // the random number generator could not be set up

// Statements refused.
constexpr int kPartition = -9;             // PARTITION leaves no role values or no training rows
constexpr int kNoValidation = -10;         // STOP=VALIDATE without validation rows
constexpr int kNoModel = -14;              // no MODEL statement
constexpr int kClassAfterModel = -17;      // CLASS after MODEL
constexpr int kNoEffects = -19;            // NOINT with no effect left
constexpr int kPathPress = -20;            // PRESS asked of LAR or LASSO
constexpr int kCvIndexVariable = -21;      // CVMETHOD=INDEX names a model variable
constexpr int kTestTwice = -26;            // test rows from PARTITION and from TESTDATA=
constexpr int kValidateTwice = -27;        // validation rows from PARTITION and from VALDATA=
constexpr int kEffects = -29;              // the effects could not be built
constexpr int kNoResponse = -30;           // MODEL without a response
constexpr int kResponses = -32;            // MODEL with more than one response
constexpr int kNoSeparate = -33;           // POLYNOMIAL with NOSEPARATE where it cannot be kept
constexpr int kModelAverage = -42;         // a MODELAVERAGE option of no use (ALPHA=0, PERCENT=0)
constexpr int kNoSampleFitted = -43;       // model averaging fitted no sample (no BY statement)
constexpr int kRefitBest = -44;            // REFIT(BEST=0) with NOINT
constexpr int kLsCoeffs = -45;             // LSCOEFFS with a method that has no such fit
constexpr int kAveragingL2Search = -46;    // model averaging with an L2 search
constexpr int kElasticNetPress = -47;      // PRESS asked of the elastic net
constexpr int kCvExternalStop = -48;       // CHOOSE=CVEXTERNAL with STOP=CV
constexpr int kGroupLassoCriterion = -49;  // a criterion the group LASSO cannot compute
constexpr int kStopL1 = -50;               // STOP=L1 with a method without an L1 target
constexpr int kStatement = -100;           // statement error

// Data sets and variables.
constexpr int kDataSetMismatch = -23;  // a data set cannot be read beside the input data
constexpr int kVarNotFound = -24;      // no variable of that name
constexpr int kVarType = -25;          // the variable is of the other type
constexpr int kInEst = -34;            // INEST= does not go with the input data
constexpr int kInEstParameter = -35;   // INEST= lacks a parameter of the model
constexpr int kFreqOverflow = -39;     // the training frequencies pass the largest count
constexpr int kScale = -51;            // a sum of squares overflows or underflows
constexpr int kAdaptiveWeight = -52;   // |estimate|^GAMMA beyond double precision
constexpr int kOutputVariable = -53;   // an output data set's variable the host would not define

// Searches, arithmetic and routines that fail without a code of their own.
constexpr int kFailed = -1;    // the routine failed; its message, if any, is out
constexpr int kNotFound = -1;  // a search found no such entry (routines returning a position)
constexpr int kDomain = -1;    // an argument lies outside the function's domain
constexpr int kMissing = -1;   // an input is missing: no result
constexpr int kNoResult = -2;  // a function the computation relies on gave no result

}  // namespace vsf::rc
