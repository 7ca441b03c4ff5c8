// The registries of the criteria and the selection methods: one row per code holding what the
// rules, the tuning, the displays and the graphs know of it. Whatever differs by criterion or
// by method is read from here, so a new one is a new row, not a new branch in every caller.
#pragma once

#include <cstdint>

#include "grammar/codes.h"
#include "grammar/methods.h"

namespace vsf {

struct SelectionState;
struct FitSummary;
struct EngineOptions;
struct CvOptions;

// ---- Criteria ----

enum class CriterionDirection : uint8_t { kNone, kMinimized, kMaximized };

enum class CriterionKind : uint8_t {
  kNoValue,     // a placeholder code
  kChange,      // the F test of the model's last change
  kClosedForm,  // a function of the fit's SSE and counts
  kDataBased,   // from the data beyond the SSE, or from a path
};

// The fits that give a criterion a value (bits).
namespace critfit {
constexpr int kClassical = 1;  // a classical method's steps
constexpr int kPath = 2;       // the steps of a path or optimizer fit
constexpr int kHeldOut = 4;    // needs validation rows
constexpr int kFolds = 8;      // needs the k folds of CVMETHOD=
constexpr int kExternal = 16;  // needs the folds of external cross validation
constexpr int kL2Search = 32;  // judges an elastic net's L2 from the recorded steps
}  // namespace critfit

// What a table prints for a criterion: its column name and its header.
struct CriterionColumn {
  const char* name = nullptr;
  const char* label = nullptr;
};

// Catalogue texts of set 848 (0 none): its name, the stop at its optimum, the StopDetails
// headers (candidate, then compare at the next number) and its FitStatistics label.
struct CriterionTexts {
  int16_t name = 0, stopped = 0, stopHeader = 0, fitLabel = 0;
};

// How the graphs name a criterion (messages of set 848, 0 none). The long label and the plot
// short label take the fold count when folds is set.
struct CriterionGraphTexts {
  const char* name = nullptr;    // "_CRITERION"
  const char* plot = nullptr;    // its own criterion plot
  const char* prefix = nullptr;  // of its BestStep columns
  const char* coefficientColumn = nullptr;
  int16_t label = 0;           // the long label: axes and graph labels
  int16_t shortLabel = 0;      // beside another plot: the second coefficient plot, the
                               // candidates; for CV without the fold count
  int16_t plotShortLabel = 0;  // its own criterion plot's and the L2 search's short label
  int16_t panelLabel = 0;      // its cell of the criterion panel
  int16_t coefficientLabel = 0;
  int16_t selectedStep = 911;  // "Step Selected by ..."
  bool folds = false;
};

struct CriterionInfo {
  const char* keyword = "";      // as SELECT=, STOP= and CHOOSE= spell it
  const char* column = nullptr;  // its column in the SelectionSummary
  CriterionColumn candidate;     // and in the Candidates table
  CriterionDirection direction = CriterionDirection::kNone;
  CriterionKind kind = CriterionKind::kNoValue;
  int fits = 0;             // critfit bits
  int8_t statsColumn = -1;  // the StatsColumn that shows it
  bool fullModel = false;   // needs the full model's error variance
  double (*value)(const FitSummary& f) = nullptr;
  // Data-based: whether the run's options keep the value per step (none: never), and the
  // pass that brings the current model's value up to date (none: the state holds it).
  bool (*perStep)(const EngineOptions& engine, const CvOptions& cv) = nullptr;
  int (*pass)(SelectionState* s) = nullptr;
  CriterionTexts texts;
  CriterionGraphTexts graph;
};

// The row of a code; codes outside the table get the row of kCritNone.
const CriterionInfo& criterionInfo(CriterionCode code);
// Whether a model of the steps has a value of it: a closed form of its fit, or a pass over
// the rows for it (not a path's own values, nor a placeholder).
bool criterionOfModel(CriterionCode code);
// The graphs' texts of a criterion; codes the graphs do not name get AICC's.
const CriterionGraphTexts& criterionGraphTexts(CriterionCode code);
// Whether the graphs name the criterion by texts of its own.
bool criterionNamedByGraphs(CriterionCode code);
// The criterion that judges an elastic net's L2: CHOOSE, or STOP when CHOOSE names none.
CriterionCode l2JudgingCriterion(CriterionCode choose, CriterionCode stop);
// Of the options or of a record that holds CHOOSE= and STOP=.
template <class Options>
CriterionCode l2JudgingCriterion(const Options& o) {
  return l2JudgingCriterion(o.choose, o.stop);
}

// ---- Methods ----
// A method's family (its kind, whether its effects' columns move together, whether it reports
// least squares estimates) and the questions asked of it are methodFamily(code), of
// grammar/methods.h: the statements below this layer ask it too. The rows here add the rest.

// How a step moves effects: the stop rules of significance levels follow it.
enum class MethodMoves : uint8_t { kNone, kAdds, kDrops, kBoth };

struct MethodInfo {
  const char* keyword = "";  // as SELECTION= spells it
  MethodMoves moves = MethodMoves::kNone;
  // Messages of set 848: its name in the tables and graphs, the title of its summary and of
  // its step's details ("... : Step {1}").
  int16_t label = 0, summaryTitle = 0, stepTitle = 0;
  int (*run)(SelectionState* s) = nullptr;  // a method the selection engine runs itself
};

// The row of a code; codes outside the table get SELECTION=NONE's.
const MethodInfo& methodInfo(MethodCode code);

}  // namespace vsf
