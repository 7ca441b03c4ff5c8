// The criteria of SELECT=, STOP= and CHOOSE=: one row per criterion code with what the tables
// print for it, its direction, its STATS= column and its value from a fit summary; and the
// criterion library the values come from.
#pragma once

#include <cstdint>

#include "base/strings.h"
#include "statements/settings.h"

namespace vsf {

struct SelectionState;

// One fit as the criteria see it. The data-based values are missing where the fit has none.
struct FitSummary {
  double sse = 0;
  double n = 0;         // training frequency
  int32_t params = 0;   // columns swept in
  int32_t effects = 0;  // effects in the model
  double total = 0;     // R-square's total sum of squares (criterionTotal)
  double sigma2Full = 0;
  bool noInt = false;
  double tol = 1e-8;  // of the F test
  // The model the fit was reached from: the F test of the change.
  double baseSse = 0;
  int32_t baseParams = 0, baseEffects = 0;
  double press = 0, validAse = 0, cvPress = 0, extCv = 0, penalty = 0;
};

enum class CriterionDirection : uint8_t { kNone, kMinimized, kMaximized };

enum class CriterionKind : uint8_t {
  kNoValue,     // a placeholder code
  kChange,      // the F test of the model's last change
  kClosedForm,  // a function of the fit's SSE and counts
  kDataBased,   // from the data beyond the SSE, or from a path
};

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

struct CriterionInfo {
  const char* column = nullptr;  // its column in the SelectionSummary
  CriterionColumn candidate;     // and in the Candidates table
  CriterionDirection direction = CriterionDirection::kNone;
  CriterionKind kind = CriterionKind::kNoValue;
  int8_t statsColumn = -1;  // the StatsColumn that shows it
  bool fullModel = false;   // needs the full model's error variance
  double (*value)(const FitSummary& f) = nullptr;
  // Data-based: the option that keeps the value per step (none: not kept), and the pass that
  // brings the current model's value up to date (none: the state holds it).
  uint8_t SelectionOptions::*perStep = nullptr;
  int (*pass)(SelectionState* s) = nullptr;
  CriterionTexts texts;
};

// The row of a code; codes outside the table get the row of kCritNone.
const CriterionInfo& criterionInfo(CriterionCode code);
// Its value of the fit.
double criterionOf(CriterionCode code, const FitSummary& f);
// Whether it needs a data pass of its own for a model (PRESS, VALIDATE, CV).
bool criterionByPass(CriterionCode code);
// Whether the options want the full model's error variance: a criterion that needs it is used
// or its column shown.
bool fullModelWanted(const SelectionOptions* o);
// Whether the run's recorded steps keep the criterion's value (those that can have one).
bool criterionKeptPerStep(CriterionCode code, const SelectionOptions* o);

// ---- Criterion library ----
double critAIC(double sse, double n, int32_t p);
double critAICC(double sse, double n, int32_t p);
double critSBC(double sse, double n, int32_t p);
double critRSquare(double sse, double sst);
double critAdjRSquare(double sse, double sst, double n, int32_t p, int noInt);
double critCP(double sse, double n, int32_t p, double sigma2);
double critBIC(double sse, double n, int32_t p, double sigma2);
double effectFTestLogPValue(double sseA, int32_t pA, double sseB, int32_t pB, int32_t eA,
                            int32_t eB, double n, double* f, double tol);
double effectFTestPValue(double sseA, int32_t pA, double sseB, int32_t pB, int32_t eA, int32_t eB,
                         double n, double* f, double tol);
int criterionIsMaximized(CriterionCode code);
int criterionIsMinimized(CriterionCode code);
int criterionBetter(double a, double b, CriterionCode code);
// a beats b by more than the fuzz (relative to b for the sums of squares).
int criterionBetterFuzz(double a, double b, CriterionCode code, double fuzz = kFuzz);
int criterionBetterTol(double a, double b, CriterionCode code, int mode, double tol);

}  // namespace vsf
