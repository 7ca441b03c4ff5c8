// Inside the display tables: the output requests every builder shares and the builders the
// output drivers call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/strings.h"
#include "displays/displays.h"
#include "frame/host/host_vector.h"
#include "numerics/numerics.h"
#include "output/output.h"
#include "selection/selection.h"

namespace vsf {

struct HostPool;
struct ScratchFileObject;
struct DataSetBinding;
struct ZDesign;

constexpr int kBestFit = 98;                // format code: best fit in the width
constexpr int kOwnFormat = 99;              // format code: the variable's own format
constexpr double kExpFloor = -708.3964185;  // below it e^x is shown as 0

// ---- Shared readings of the options ----
struct DisplayFlags {
  bool fullModelVariance = false;  // BIC or Cp among the statistics
  bool press = false;
  bool validationAse = false;  // per-step validation ASE column
  bool testAse = false;
  bool kfold = false;
  bool externalCv = false;
  bool severalPerStep = false;  // method codes 12 and 13
  bool pathEstimates = false;
  bool groupPath = false;
  bool stepNorm = false;
  bool stepDetails = false;  // DETAILS=STEPS or ALL, or a per-step plot
  bool detailsText = false;  // DETAILS=STEPS or ALL
  bool candidatesPlot = false;
  bool cvDetails = false;
  bool foldEstimates = false;
  bool l2History = false;
  bool validationShown = false;  // validation ASE column or entry
  bool testShown = false;
  // Statistics of the summary, by StatsColumn.
  bool stat[16] = {};
};
DisplayFlags displayFlags(const StepView* s, const SelectionState* sel);

// ---- Builders ----
int printObsProfiles(StepView* s, const SelectionState* sel);
int printNObsRoles(StepView* s, const SelectionState* sel, int sourceWidth);
int printNObsSource(StepView* s, const SelectionState* sel, const DataSetBinding* binding,
                    int sourceWidth);
[[nodiscard]] int printClassLevelInfo(StepView* s, HostPool* allocator);
[[nodiscard]] int printClassLevelCoding(StepView* s, HostPool* allocator);
[[nodiscard]] int printSelectionSummary(StepView* s, const SelectionState* sel, HostPool* allocator,
                                        const BestSteps* best, const StepMarks& marks,
                                        void** dataOut);
int printStopReason(StepView* s, uint8_t reason, int32_t stepCount);
[[nodiscard]] int printStopDetails(StepView* s, HostPool* allocator, const StopBlock* stop,
                                   double stopValue);
int printFitStatistics(StepView* s, const SelectionState* sel);
[[nodiscard]] int printAnova(StepView* s, const SelectionState* sel, HostPool* allocator);
[[nodiscard]] int printParameterEstimates(StepView* s, const SelectionState* sel,
                                          HostPool* allocator, uint8_t entryOrder);
// The CLASS-level columns of a parameter table, one per CLASS variable marked used: coded
// level names or the variable's own values, bound to texts[v] or values[v].
constexpr int kClassText = 32;  // the level text slots zorthname fills
class DataTable;
void classColumns(DataTable& t, const ZDesign* d, const uint8_t* used, char (*texts)[kClassText],
                  double* values);
// The Parameter column of a parameter table, bound to text, whose texts parameterText writes
// for levelsAt. Where the levels stand at one page column for the listing, the column's
// dynamic "levelsAt" names it: the blanks that pad a label up to it are no part of the
// parameter's own text, which the JSON document holds ("cyl 4").
void parameterColumn(DataTable& t, const StepView* s, char* text, int width, int levelsAt);
// The averaged tables of model averaging; 0, or rc::kMemory when the averaged results are unusable.
// Mode 0 the EffectSelectPct table, 1 the table the plot also reads, 2 the plot's data alone
// (hidden); in modes 1 and 2 its data object and row count go to plotData and plotRows.
int printEffectSelectPct(StepView* s, int mode, void** plotData = nullptr,
                         int32_t* plotRows = nullptr);
int printModelSelectFreq(StepView* s);
[[nodiscard]] int printAvgParmEst(StepView* s, bool nonzeroParms);
int nextDisplayEffect(const StepView* s, const SelectionState* sel, uint8_t* seen, int32_t* effect,
                      int32_t* cursor);
// Notes on the selected model, as R gives them: a fit that is exact (error sum of squares 0 or
// rounding noise), and effects of the model all of whose columns are aliased with the others'.
void noteFitQuality(StepView* s, const SelectionState* sel);
[[nodiscard]] int printCandidates(StepView* s, const SelectionState* sel);
[[nodiscard]] int printSelectedEffects(StepView* s, const SelectionState* sel, HostPool* allocator);
[[nodiscard]] int effectListLength(StepView* s, const SelectionState* sel, HostPool* allocator,
                                   char** text, int* length);
[[nodiscard]] int printSelectedModelNote(StepView* s, const SelectionState* sel,
                                         HostPool* allocator, uint8_t stopReason);
[[nodiscard]] int printCvDetails(StepView* s, const SelectionState* sel, HostPool* allocator);
[[nodiscard]] int printSelectionResults(StepView* s, SelectionState* sel, ScratchFileObject* file,
                                        int64_t* position, int sampleIndex);
[[nodiscard]] int printStepDetails(StepView* s, ScratchFileObject* file, int64_t* position,
                                   int sample);
// One step record of the step details: its group, change text and tables.
[[nodiscard]] int printStepRecord(StepView* s, const SelectionState* record, int level,
                                  int stepNumber, int r, int first);

// The size of the selection problem and the screening of a path's candidates.
int printDimensions(StepView* s, const SelectionState* sel);
int printScreeningInfo(StepView* s, const SelectionState* sel);
[[nodiscard]] int printSisCorrelation(StepView* s, const SelectionState* sel);

// The tables of the L2 search and external cross validation (tuning_tables.cpp) and of the
// constructed effects (constructed_info.cpp).
int printElasticNetParaSummary(StepView* s, const SelectionState* sel);
int printElasticNetTuneL2(StepView* s, const SelectionState* sel, void** data);
int printCvExternal(StepView* s, const SelectionState* sel);
int printConstructedEffectInfo(StepView* s, void* manager, ZDesign* design);

}  // namespace vsf
