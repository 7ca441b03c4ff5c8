// The data pass of one BY group: its working record and its parts (layout, rows, held-out data
// sets, the end of the pass).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "datapass/obstags.h"
#include "datapass/rowblock.h"
#include "frame/state.h"

namespace vsf {

constexpr int32_t kNoFold = -999;  // a fold slot whose row was given no fold

// Role tags of the stored rows.
namespace role {
constexpr int32_t kNone = 0;
constexpr int32_t kTrain = 1;
constexpr int32_t kValidate = 2;
constexpr int32_t kTest = 4;
}  // namespace role

// What the analysis data, the test and the validation data set add up to.
struct PassTotals {
  double obsRead = 0, freqRead = 0, freqStored = 0, rowsStored = 0;
  double trainRows = 0, trainFreq = 0, trainWeight = 0, sumWy = 0, sumWyy = 0;
  double validRows = 0, validFreq = 0, validWeight = 0;
  double testRows = 0, testFreq = 0, testWeight = 0;
  double noRoleRows = 0, noRoleFreq = 0;
  double testObsRead = 0, testFreqRead = 0, validObsRead = 0, validFreqRead = 0;
  double rowsWritten = 0;  // every row stored, held-out data sets' included
  // Analysis rows left out for a WEIGHT or FREQ value, an infinite value of the model or a
  // design value that is not finite, and FREQ values truncated.
  int64_t weightDropped = 0, freqDropped = 0, freqTruncated = 0, infiniteDropped = 0, notFinite = 0;
  // Rows whose ROLEVAR= value the PARTITION statement does not name, given the training or the
  // test role by the rule for such values.
  int64_t unnamedTrain = 0, unnamedTest = 0;
};

// One observation as read.
struct Observation {
  uint32_t status = 0;
  double y = 0, w = 1, f = 1, wf = 1;
};

struct DataPass {
  VsfState* s = nullptr;
  SelectionState* sel = nullptr;
  const SelectionOptions* o = nullptr;
  const CvOptions* cv = nullptr;  // how the folds are formed
  ZLevCtx* ctx = nullptr;
  ZDesign* d = nullptr;

  // Candidates in model order: the candidate table, or one entry per design effect.
  const CandidateEntry* cand = nullptr;
  int32_t E = 0;
  std::vector<CandidateEntry> identity;
  int32_t p = 0;                    // columns of all candidates
  std::vector<int32_t> firstParam;  // per candidate: its first column in effect order
  // Dense candidates whose stored values and columns both follow on, taken together: where
  // the run's values start in the row, its first column and its column count.
  struct DenseRun {
    int32_t offset = 0, first = 0, count = 0;
  };
  std::vector<DenseRun> denseRuns;
  // The dense candidates' values as copied from the design row: from its column `from` to
  // `offset` in the stored values, `count` of them; candidates without a column map whose
  // values and design columns both follow on are taken together, one with a map alone.
  struct DesignRun {
    int32_t from = 0, offset = 0, count = 0;
    const int32_t* map = nullptr;  // per value its design column after `from`
  };
  std::vector<DesignRun> designRuns;
  bool direct = false;  // zxrow writes the stored row's design values itself

  // The row's shape.
  int lead = 0;  // doubles before the response: weight, frequency, resample slot
  bool foldSlot = false, roleSlot = false;
  int32_t folds = 0;      // the folds rows are drawn or split into (at least 1)
  int32_t foldCount = 0;  // the group's folds: the statement's, as the fold pass leaves them
  RandomFolds randomFolds{1, -1};     // RANDOM: the folds drawn
  double* design = nullptr;           // scratch design row, one double per design column
  const double* obsValues = nullptr;  // the observation's model-variable values
  double* values = nullptr;           // the row's doubles
  int32_t* tags = nullptr;            // the row's tags, outermost first
  int nValues = 0, nTags = 0;
  RowBlockWriter writer;

  // Folds drawn as the rows go: SPLIT's counter; INDEX's levels by first appearance.
  int32_t splitNext = 0;
  std::map<double, int32_t> numericIndex;
  std::map<std::string, int32_t> textIndex;
  VarDescriptor indexVariable;  // number -1: none
  std::string indexText;        // the current observation's index value
  double indexNumber = 0;

  PassTotals t;
  double excludedWeight = 0;  // w x f of the excluded observations (stored-model sums)
};

// Layout (datapass_layout.cpp).
void takeCandidates(DataPass* p);
[[nodiscard]] int layOutColumns(DataPass* p);  // storage, layout, sums arrays: 0 or rc::kMemory

// Rows (datapass_rows.cpp).
[[nodiscard]] int readAnalysisRows(DataPass* p);
// Builds the stored row's design values and tags after the response; false when a design value
// is not finite (such a row is never stored).
bool buildDesignValues(DataPass* p);
// Appends the row; 0 or the code that ends the step (the step code raised first).
[[nodiscard]] int storeRow(DataPass* p);
// The frequency of an observation of a FREQ step: false when it is skipped.
bool takeFrequency(const DataPass* p, Observation* obs, double* freqRead);
// What becomes of an observation as read (status, response, weight, frequency): left out,
// excluded (counted in the stored-model sums only) or stored; completes its weight and
// frequency and adds its frequency to *freqRead; counts the rows left out for their weight or
// frequency, and truncated frequencies, in *drops when given (the calling thread's read).
enum class ObsFate { kSkip, kExcluded, kStore };
ObsFate observationFate(const DataPass* p, Observation* obs, bool indexed, double* freqRead,
                        PassTotals* drops = nullptr);
// The order-bound half of one analysis observation whose row a worker built into p->values and
// p->tags (finite: its design values are): counts, role and fold draws, the stored row and the
// sums, with p->obsValues its model-variable values. As analysisObservation otherwise.
[[nodiscard]] int takeAnalysisObservation(DataPass* p, Observation obs, bool finite, int32_t* tag);
// The analysis data read on the step's workers, each decoding and building the rows of runs of
// observations while this thread stores them in order. False when the rows must be read on
// this thread (with a note in the log when threads were asked); else *rc is 0 or the code
// ending the step. tags: the observation tag file, or null.
bool readAnalysisRowsThreaded(DataPass* p, ObsTagFile* tags, int* rc);
void startRow(DataPass* p, const Observation& obs, int32_t roleTag, int32_t foldTag);
// The observation tags could not be written: message 848/215, step code step::kMemory,
// rc::kScratchFile.
[[nodiscard]] int obsTagsFailed(DataPass* p);

// Held-out data sets (datapass_heldout.cpp).
[[nodiscard]] int readHeldOutRows(DataPass* p, const DataSetBinding* binding, bool validation);
// A bound data set that does not fit the BY group: its warning (848/178 test, 177
// validation), a step code of at least 4 and the host's nonzero code; 0 when it fits.
[[nodiscard]] int checkTestDataSet(VsfState* state, const DataSetBinding* binding);
[[nodiscard]] int checkValidationDataSet(VsfState* state, const DataSetBinding* binding);

// Notes of the analysis rows left out for their WEIGHT or FREQ value, of the FREQ values
// truncated and of the rows given a role for a ROLEVAR= value that PARTITION does not name.
void noteDroppedRows(const DataPass* p);

// A group without training observations: its error, naming the group and what its
// observations lack, and a step code of at least step::kLevelization108 (groupdata_empty.cpp).
void explainNoTrainingRows(DataPass* p);

// End of the pass (datapass_finish.cpp).
// The stored model sums made means; 0, or rc::kMemory when the column level tables they are
// scaled by cannot be had.
[[nodiscard]] int finishModelSums(DataPass* p);
// A training sum of squares the sweep cannot carry: its error, the step code raised and
// rc::kScale.
[[nodiscard]] int checkSumsOfSquares(DataPass* p);
void computeMeansAndScales(DataPass* p);
// BLOCK and INDEX folds: 0, rc::kPageRead or rc::kBlockWrite.
[[nodiscard]] int assignLateFolds(DataPass* p);
void storeTotals(DataPass* p);

}  // namespace vsf
