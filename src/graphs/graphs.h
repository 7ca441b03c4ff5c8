// Graphs and their hidden data tables. A graph is a request to the host's output system: the
// data object it draws from, a template, and the dynamic variables that steer the drawing (the
// step axis, the marked steps, labels). The routines below gather the data and send the
// requests; the host draws.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "grammar/codes.h"

namespace vsf {

struct StepView;
struct SelectionState;
struct ScratchFileObject;
struct ZEffect;
struct TuningTables;
struct HostString;

// One step's label for the plots (made from the step history).
struct StepLabel {
  const char* text = nullptr;
  int16_t length = 0;
};

// What the graphs work out for a fit's summary and plots: the step labels, the effects the steps
// moved and the steps the plots mark (arrays from the fit's model pool). The output driver keeps
// them for the one fit it shows and hands them to each table and graph that reads them.
struct StepMarks {
  StepLabel* labels = nullptr;  // by label index (stepLabelText)
  int32_t labelCount = 0;
  int32_t labelWidth = 0;                     // the longest label
  uint8_t* effectSeen = nullptr;              // per effect: it entered or left at some step
  int32_t firstNumberedStep = 0;              // the history index where numbered steps begin
  int32_t optimalStep[kCriterionCodes] = {};  // display step where each criterion is best
  double chosenStep = 0;                      // the chosen display step
  double normBase = 0;                        // the last step's coefficient norm
  double chosenNorm = 1;                      // the chosen step's coefficient norm over the base
  HostString* chosenLabel = nullptr;
};

// ---- Steps as the tables and graphs number them ----
// Displayed steps count from the model of the forced effects (step 0): history index i is
// displayed as i - forced + 1, forced the effects forced in before the first selectable one
// (negative for the partial models of a forced block), and BACKWARD shows its indexes.
int32_t displayStep(const StepView* s, const SelectionState* sel, int32_t index);
int32_t historyIndex(const StepView* s, const SelectionState* sel, int32_t display);
// The last displayed step of the fit.
int32_t lastDisplayStep(const StepView* s, const SelectionState* sel);
// The first history index the summary lists as a model of its own: the whole forced block.
int32_t firstSummaryStep(const StepView* s, const SelectionState* sel);
// The label makeStepLabels gave a displayed step; empty when it has none.
std::string_view stepLabelText(const StepView* s, const StepMarks& marks, int32_t display);
// Per-step coefficient norms (path methods), or null.
const double* stepNorms(const SelectionState* sel);

// ---- The candidate table ----
// A candidate's label; empty when there is none.
std::string_view candidateLabel(const StepView* s, int32_t candidate);
// Its design columns; 0 when it is not in the table.
int32_t candidateColumns(const StepView* s, int32_t candidate);
// The design effect it stands for; null without a design.
const ZEffect* candidateEffect(const StepView* s, int32_t candidate);
// The column within its design effect of its i-th parameter.
int32_t candidateColumn(const StepView* s, int32_t candidate, int32_t i);
// The CLASS levels of a column of the effect (its row of the level table), or null.
const int32_t* columnLevels(const ZEffect* effect, int32_t column);
// A parameter's text: the column's label or name under label style 0 (the candidate's label
// when it has none), else the candidate's label with the column's levels after it, at the
// page column `levelsAt` under label style 1 (-1: right after the label; a column counts
// characters, not bytes, so that levels after a label such as "c_é*d" stay in line). Written
// blank-filled into out when given; returns its length in bytes.
int parameterText(const StepView* s, int32_t candidate, int32_t column, int levelsAt, char* out,
                  int width);
// The page column at which parameterText writes the levels for `levelsAt`, the label blank-padded
// up to it; -1 when the levels follow the label right away.
int parameterLevelsAt(const StepView* s, int levelsAt);

// ---- Best steps ----
// The history index at which each criterion is best, by CriterionCode; -1 where it has no value
// at any step. Among values equal within the selection's tolerance the step with the fewest
// effects wins, then the one with the fewest parameters, then the later one; the CHOOSE
// criterion's is the step the selection chose. The SelectionSummary's markers and the graphs'
// optima both come from here.
struct BestSteps {
  int32_t step[kCriterionCodes];
};
void computeBestSteps(const StepView* s, const SelectionState* sel, BestSteps* best);
// The displayed step of the selected model.
int32_t chosenDisplayStep(const StepView* s, const SelectionState* sel, const BestSteps& best);

// ---- Graph routines ----
// Each returns 0, or a negative code that ends the output driver's work: rc::kMemory,
// rc::kPool (a record pool not created), rc::kHistory (an unreadable step record). A graph with
// nothing to show is skipped.

// The step labels, the moved effects and the first numbered step of the fit into *marks (all
// of it made anew).
[[nodiscard]] int makeStepLabels(StepView* s, const SelectionState* sel, StepMarks* marks);
// The optimal displayed steps and the chosen step into the marks makeStepLabels made, and the
// hidden BestStep table the criterion plots draw their optima from (its data object into
// *bestData).
[[nodiscard]] int printBestStep(StepView* s, const SelectionState* sel, const BestSteps& best,
                                StepMarks* marks, void** bestData);
// Coefficient progression with the choice criterion (or p-values) beside it. A plain fit
// passes sample -1 and no stream; model averaging a sample's number, its records' stream and a
// position that is left after the sample's records.
[[nodiscard]] int plotCoefficients(StepView* s, int sample, const SelectionState* sel,
                                   const StepMarks& marks, int64_t* position,
                                   ScratchFileObject* stream);
// The criteria over the steps (a panel, or one plot each with UNPACK) from the SelectionSummary
// data, their optima from the BestStep data.
[[nodiscard]] int plotCriteria(StepView* s, const SelectionState* sel, const BestSteps& best,
                               const StepMarks& marks, void* summaryData, void* bestData);
// Training, validation and test ASE over the steps, from the SelectionSummary data.
[[nodiscard]] int plotAse(StepView* s, const SelectionState* sel, const StepMarks& marks,
                          void* summaryData);
// The candidates of one detailed step by the SELECT criterion, best first.
[[nodiscard]] int plotCandidates(StepView* s, const SelectionState* record);

// ---- The elastic net's tuning and external cross validation ----
// The rows of the L2 tuning history a search filled: those before the first row whose L2, L1,
// parameters and value are all 0 (a golden-section search that converged early fills fewer).
int32_t tuningRowsFilled(const TuningTables& t);
// log10 of an L2 value as the tuning table and plots show it: -8 below 1e-8 (and for 0).
double logL2(double l2);
// One graph per column of the ElasticNetTuneL2 table (`tuneData`, its data object) against the
// search step or log10(L2), the chosen L2 marked; three under external cross validation.
int plotElasticNetL2(StepView* s, const SelectionState* sel, void* tuneData);
// The folds' averaged held-out ASE over the alignment grid, the point the fit kept marked.
int plotCvExternal(StepView* s, const SelectionState* sel);

// ---- Model averaging ----
// Effects in ORDER= order: 0 as given, 1 ascending and 2 descending selection counts, equal
// counts in the order given either way.
std::vector<int32_t> effectsInOrder(std::vector<int32_t> effects, const std::vector<int32_t>& count,
                                    int32_t order);
// The distribution of each often-selected parameter's estimate over the averaged samples: box
// plots (histograms with NOBOXPLOTS) in panels, or one graph each with UNPACK. 0 or
// rc::kMemory.
[[nodiscard]] int plotParmDistributions(StepView* s);
// The effects' selection percentages as bars, in the order of `plotData`'s `rows` rows.
int plotEffectSelectPct(StepView* s, void* plotData, int32_t rows);

}  // namespace vsf
