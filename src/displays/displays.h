// Display tables and the output drivers.
#pragma once

#include <cstdint>

#include "graphs/graphs.h"

namespace vsf {

struct StepView;
struct OutputData;
struct SelectionState;

// Tables of the step driver: before the BY groups, per BY group and at the end of the step.
int printModelInfo(StepView* state);
int printPerfSettings(StepView* state);
int printTiming(StepView* state);
int printUtilInfo(StepView* state);
// ParameterNames: the OUTDESIGN design columns' names and their parameters; 0.
int printParameterNames(StepView* state, SelectionState* sel, const OutputData* data);

// The output drivers of a fit.
int printFitResults(StepView* state);
int printModelAverage(StepView* state);
int openSelectedModelGroup(StepView* state);

void computeBestSteps(const StepView* state, const SelectionState* sel, BestSteps* best);

}  // namespace vsf
