// Model averaging, scoring, output data sets and the macro variables of the selected model.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "datapass/obstags.h"
#include "frame/host/dataset.h"
#include "numerics/numerics.h"
#include "selection/resample.h"

namespace vsf {

struct StepView;
struct HostDataSet;
struct SelectionState;
struct ScoreRequest;
struct ZLevCtx;
struct ZDesign;
struct ZDesignVar;
struct OutputSink;
struct PhaseTimers;

// The host's value slots of one output data set's computed variables (null: not written).
struct OutputSlots {
  HostDataSet* dataSet = nullptr;  // ready for rows
  double* predicted = nullptr;
  double* residual = nullptr;
  double* median = nullptr;
  double* stdDev = nullptr;
  double* lower = nullptr;
  double* upper = nullptr;
  std::vector<double*> sampleFreq, samplePred;  // model averaging, one per sample
  char* role = nullptr;                         // 8 bytes, blank padded
  double* cvIndex = nullptr;
  double* by = nullptr;
};

// What one SCORE request's pass counted (the ScoreInfo table's values).
struct ScoreCounts {
  double read = 0, freqRead = 0, used = 0, freqUsed = 0, usedWithResponse = 0, freqWithResponse = 0,
         sse = 0, weightedSse = 0;
};

// One SCORE request's OUT= variables, the model's variables found in its data set and its
// counts.
struct ScoreOutput {
  OutputSlots slots;
  std::deque<VarDescriptor> found;  // what classSlots and modelSlots point at
  uint8_t missingVariable = 0;
  ScoreCounts counts;
  double readInGroups = 0;  // observations read over the BY groups scored so far
};

// The OUTDESIGN data set's columns: their value slots and names for the current BY group (or
// the separate pass), and what the step keeps across groups.
struct OutDesignColumns {
  HostDataSet* dataSet = nullptr;     // ready for rows; null until defined
  std::vector<double*> slots;         // one per design column written
  std::vector<std::string> names;     // the variables' names
  std::vector<int32_t> designColumn;  // the design column each one holds
  std::vector<uint8_t> failed;        // the host did not add the column's variable
  char* role = nullptr;
  double* by = nullptr;
  int32_t columns = 0;          // design columns defined for the current group
  int32_t largestSelected = 0;  // the largest selected parameter count of the groups
  int32_t largestColumns = 0;   // the largest design of the groups (FULLMODEL's columns)
  std::vector<double> row;      // the design row of the current group

  // The name of the variable holding design column `column`; empty when none does.
  std::string nameOfDesignColumn(int32_t column) const {
    for (size_t k = 0; k < designColumn.size(); ++k)
      if (designColumn[k] == column) return names[k];
    return {};
  }
};

// Everything the output writers keep for the step. The frame owns it and hands it on.
struct OutputData {
  OutputSlots output;
  std::vector<ScoreOutput> score;  // one per SCORE request
  OutDesignColumns design;
  // BY groups with a selected model: without one, every prediction and design row is missing.
  int32_t groupsWithModel = 0;
  // The OUTDESIGN data set was discarded (no row of the step has a design): nothing more goes to
  // it, and the step does not close it again.
  uint8_t outDesignDiscarded = 0;
  std::vector<std::string> unwritten;  // the output data sets discarded for want of a model
};

// ---- Output variables ----
// Defines the OUTPUT data set's variables; 0, or rc::kMemory when a name buffer cannot be had.
[[nodiscard]] int defineOutputVariables(StepView* state, HostDataSet* output, OutputData* data);
// Defines every SCORE OUT= data set's variables, in statement order; 0 or rc::kMemory.
[[nodiscard]] int defineScoreVariables(StepView* state, OutputData* data);
// The design-row buffer of the group and, when the OUTDESIGN data set is written in the BY
// group (no BY statement), its variables; the group's OUTDESIGN width into *width. 0,
// rc::kMemory or the failure of nameDesignParameters.
[[nodiscard]] int defineOutDesignVariables(StepView* state, ZLevCtx* lev, HostDataSet* outDesign,
                                           OutputData* data, int32_t* width);

// ---- Output rows ----
// Appends one OUTPUT row (and without a BY statement one OUTDESIGN row) per observation of the
// group; the roles and folds are those of the fit. Always 0.
int writeOutputByGroup(StepView* state, ZLevCtx* lev, SelectionState* sel, void* sampling,
                       OutputData* data);
// The separate OUTDESIGN pass (a BY statement): the variables, once, for `columns` design
// columns; then the rows of each BY group, whose selected model `sel` holds as its result header
// restored it and whose observation tags `tags` reads in order. 0 or rc::kMemory.
[[nodiscard]] int defineOutDesignPassVariables(StepView* state, HostDataSet* outDesign,
                                               OutputData* data, int32_t columns);
[[nodiscard]] int writeOutDesignGroup(StepView* state, ZLevCtx* lev, SelectionState* sel,
                                      OutputData* data, ObsTagReader* tags);

// ---- SCORE ----
// Shows one LAG design variable's lag design: the display tables' builder, which the frame
// hands down to the scoring below it.
using LagDesignPrinter = void (*)(OutputSink* out, const ZDesignVar& var, const ZDesign* design);
// Scores every SCORE request's data set with the group's selected model; 0 or rc::kMemory, or the
// first failure of a data set's scoring. After each ScoreInfo table, the lag designs of the
// scored data set go through `lagDesigns`.
[[nodiscard]] int scoreRequests(StepView* state, ZLevCtx* lev, SelectionState* sel,
                                const ScoreRequest* requests, OutputData* data,
                                LagDesignPrinter lagDesigns);

// ---- Macro variables ----
// _VSFIND and _VSFIND<n> of the BY group; 0.
int setEffectsMacroVars(StepView* state, int byGroupCount);
// _VSFMOD and _VSFMOD<n> when an OUTDESIGN data set is given; 0.
int setModelMacroVars(StepView* state, SelectionState* sel, const OutputData* data);
// The name of candidate `candidate` as the macro variables list it: its continuous, member and
// crossed CLASS variables joined by '*', then its nesting ones in parentheses.
std::string formatEffectName(const StepView* state, int32_t candidate);

// ---- Model averaging ----
// Sets up the resample records of the BY group's pass (the refit pass with its own sample
// count): the shares and the kept per-sample frequencies. 0 or rc::kMemory.
[[nodiscard]] int initResampleWork(StepView* state, ResampleSet* set, bool refitPass);
// Whether what model averaging keeps per sample (each sample's model of `params` estimates and
// `effects` effects, its counts per stored row when OUTPUT keeps them, its OUTPUT and SCORE
// variables) fits the memory the host reports: 0, or rc::kNoMemoryLeft with an error naming
// NSAMPLES=.
[[nodiscard]] int checkSampleMemory(StepView* state, int32_t samples, int64_t params,
                                    int64_t effects, int64_t rows);
// Closes the records' files; safe to call twice.
void freeResampleWork(ResampleSet* set);
// Averages the samples of the pass into the group's ResampleSet results and makes the averaged
// model the selection state's; the time it took counts to the timers' selection. 0 (also when
// no model passes the subset rule: no averaging output), rc::kMemory, or rc::kNoSampleFitted
// when no sample was fitted and there is no BY statement.
[[nodiscard]] int averageOverSamples(StepView* state, ResampleSet* set, SelectionState* sel,
                                     PhaseTimers* timers);
// The refit model from the first pass's results into the ResampleSet; 0, or rc::kMemory without
// effects.
[[nodiscard]] int chooseRefitEffects(StepView* state, ResampleSet* set);
// The ModelAverageInfo table; 0.
int printModelAverageInfo(StepView* state);
// The sample models' predictions of one design row and their spread (standard deviation,
// bounds and median), when asked for and some sample was averaged. The predicted value is not
// theirs: it is the averaged model's, whose estimates AVERAGEMETHOD= chose (the samples' mean
// prediction is that only for an untrimmed MEAN). `work` holds the samples' predictions of the
// row; the caller keeps it from row to row.
void predictWithSampleModels(const StepView* state, const double* row, OutputSlots* slots,
                             std::vector<double>* work);
// The number of samples whose per-sample values are written.
int32_t outputSampleCount(const StepView* state);
// The drawn count of stored row `storedRow` in sample `sample`; -1 when not kept.
int32_t sampleFrequency(const StepView* state, int64_t storedRow, int32_t sample);

// Each record's sample count and the file of its samples' step histories (null: none kept).
int32_t resampleSampleCount(const ResampleSet* set, int32_t record);
ScratchFileObject* resampleFile(const ResampleSet* set, int32_t record);

}  // namespace vsf
