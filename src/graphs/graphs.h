// Graphs and their hidden data tables.
#pragma once

#include <cstdint>

namespace vsf {

struct StepView;
struct SelectionState;
struct ScratchFileObject;

// The step at which each criterion is best over the selection's steps, by CriterionCode;
// -1 where the criterion has no value at any step. The SelectionSummary markers and the
// criterion plots read it.
struct BestSteps {
  int32_t step[16];
};

// Step labels of the plots: fills StepView's step-label array and width. Nonzero ends the
// output driver.
int makeStepLabels(StepView* state, SelectionState* sel);
// The BestStep hidden table: the best step of each criterion (computeBestSteps), the number of
// steps the plots show and the table's data handle.
int printBestStep(StepView* state, SelectionState* sel, BestSteps* best, int32_t* plotSteps,
                  void** bestData);
int plotCoefficients(StepView* state, int sample, SelectionState* sel, int64_t position,
                     ScratchFileObject* stream);
int plotCriteria(StepView* state, SelectionState* sel, const BestSteps* best, int32_t plotSteps,
                 void* summaryData, void* bestData);
int plotAse(StepView* state, SelectionState* sel, int32_t plotSteps, void* summaryData);
int plotElasticNetL2(StepView* state, SelectionState* sel);
int plotCvExternal(StepView* state, SelectionState* sel);
// The candidates of one step record.
int plotCandidates(StepView* state, SelectionState* record);
int plotParmDistributions(StepView* state, ScratchFileObject* samples, void* averageTable);
int plotEffectSelectPct(StepView* state, ScratchFileObject* samples, void* averageTable);

}  // namespace vsf
