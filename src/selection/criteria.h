// The criteria of SELECT=, STOP= and CHOOSE=: their values from a fit summary, through the
// rows of the registry, and the criterion library the values come from.
#pragma once

#include <cstdint>

#include "base/strings.h"
#include "selection/registry.h"

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

// Its value of the fit.
double criterionOf(CriterionCode code, const FitSummary& f);
// Whether it needs a data pass of its own for a model (PRESS, VALIDATE, CV).
bool criterionByPass(CriterionCode code);
// Whether the options want the full model's error variance: a criterion that needs it is
// SELECT=, STOP= or CHOOSE=, or its column is shown (statsShown, by StatsColumn).
bool fullModelWanted(CriterionCode select, CriterionCode stop, CriterionCode choose,
                     const uint8_t* statsShown);
template <class Options>
bool fullModelWanted(const Options* o) {
  return fullModelWanted(o->select, o->stop, o->choose, o->stats);
}
// Whether the run's recorded steps keep the criterion's value (those that can have one).
bool criterionKeptPerStep(CriterionCode code, const EngineOptions& engine, const CvOptions& cv);

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
