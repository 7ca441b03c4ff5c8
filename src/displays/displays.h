// Display tables and the output drivers.
#pragma once

#include <cstdint>

namespace vsf {

struct VsfState;
struct SelectionState;

// Tables of the step driver: before the BY groups, per BY group and at the end of the step.
int printModelInfo(VsfState* state);
int printPerfSettings(VsfState* state);
int printTiming(VsfState* state);
int printUtilInfo(VsfState* state);
int printParameterNames(VsfState* state, SelectionState* sel);

// The output drivers of a fit.
int printFitResults(VsfState* state);
int printModelAverage(VsfState* state);
int openSelectedModelGroup(VsfState* state);

// The step at which each criterion is best over the selection's steps, by CriterionCode;
// -1 where the criterion has no value at any step. The SelectionSummary markers and the
// criterion plots read it.
struct BestSteps {
  int32_t step[16];
};
void computeBestSteps(const VsfState* state, const SelectionState* sel, BestSteps* best);

}  // namespace vsf
