// Display tables and the output drivers.
#pragma once

#include <cstdint>

#include "graphs/graphs.h"

namespace vsf {

struct StepView;
struct OutputData;
struct SelectionState;
struct OutputSink;
struct PhaseTimers;
struct ZDesign;
struct ZDesignVar;

// Tables of the step driver: before the BY groups, per BY group and at the end of the step.
int printModelInfo(StepView* state);
int printPerfSettings(StepView* state);
// The Timing table of the step's timers, whose start time it replaces by the total.
int printTiming(StepView* state, PhaseTimers* timers);
int printUtilInfo(StepView* state);
// ParameterNames: the OUTDESIGN design columns' names and their parameters; 0.
int printParameterNames(StepView* state, SelectionState* sel, const OutputData* data);

// The output drivers of a fit. printFitResults settles the fit `sel` for its tables (sums
// within rounding of zero become 0, the selected step is restored); the others only read.
[[nodiscard]] int printFitResults(StepView* state, SelectionState* sel);
[[nodiscard]] int printModelAverage(StepView* state);
int openSelectedModelGroup(StepView* state);

// A LAG design variable's lag design: LagDesignLevels (level numbers) for a table keyed by
// several WITHIN= variables, LagDesign (values) for one. Also shown for scored data sets.
void printLagDesignTable(OutputSink* out, const ZDesignVar& var, const ZDesign* design);

void computeBestSteps(const StepView* state, const SelectionState* sel, BestSteps* best);

}  // namespace vsf
