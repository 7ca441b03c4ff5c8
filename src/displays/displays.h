// Display tables and the output drivers.
#pragma once

#include <cstdint>

#include "graphs/graphs.h"

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

void computeBestSteps(const VsfState* state, const SelectionState* sel, BestSteps* best);

}  // namespace vsf
