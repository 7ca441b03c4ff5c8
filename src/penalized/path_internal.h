// The LAR, LASSO and elastic-net path inside the penalized layer: the path and its step, the
// screening of its candidates, the rewrite of the stored rows and the row kernels.
//
// The path works on stored rows centred and scaled to unit variance (n - 1), each effect one
// column c(e) of the crossproducts. The active set is the model list from the first position
// past the forced effects; the gradient of an effect is its column's crossproduct with the
// residual, and lambda the largest gradient of the effects not in the model.
#pragma once

#include <cstdint>

#include "selection/registry.h"
#include "selection/selection.h"

namespace vsf {

// ---- Who is who on the path ----
// The first effect index the path may enter, and the first model-list position of the active
// set (the forced effects come before both; the intercept under NOINT is held out instead).
inline int32_t firstPathEffect(const SelectionState* s) {
  return s->layout.firstSelectable + (s->pathOptions->noInt ? 1 : 0);
}
inline int32_t firstActivePosition(const ColumnLayout& layout) { return layout.firstSelectable; }

inline bool dropsEffects(MethodCode m) {
  return methodFamily(m).kind == MethodKind::kPath && methodInfo(m).moves == MethodMoves::kBoth;
}
inline bool reportsLeastSquares(MethodCode m) { return methodFamily(m).leastSquares; }
inline bool safeScreening(ScreenCode c) {
  return c == kScreenZanvi || c == kScreenZanvi2 || c == kScreenDpp;
}
// Whether effect j may enter now: a free effect, or under safe screening one screened in.
inline bool pathCandidate(const SelectionState* s, int32_t j) {
  return safeScreening(s->path.screen.code) ? s->path.screen.states[j] == EffectState::kScreenedIn
                                            : s->sweep.states[j] == EffectState::kFree;
}
// The gradients and direction products come from the whole crossproducts matrix, else from
// passes over the stored rows.
inline bool crossproductsMode(const SweepMatrices& sweep) { return sweep.fullMode != 0; }

// ---- One step ----
// What a step works out: the correlation level C at its start, the equiangular normaliser q,
// the rate at which the L1 norm grows, the step length and the lambda at its end.
struct PathStep {
  double C = 0;
  double q = 0;
  double l1Rate = 0;
  double gamma = 0;
  double gammaDrop = 0;
  int32_t drop = -1;  // the active effect whose coefficient reaches 0 first
  double lambda = 0;
  bool truncated = false;  // cut at the L1 target
};

// Runs the path from lambda-max to a stop rule, recording every step; 0 or the first failure.
[[nodiscard]] int runLarPath(SelectionState* s);
// One step: the removal marked by the previous step, or the entry of the candidate most
// correlated with the residual, then the move along the equiangular direction. *marker is
// the effect to remove next (-1 none). 0 or the failure of an entry or a pass.
[[nodiscard]] int larStep(SelectionState* s, int32_t* entered, int32_t* marker);
// The step length at which the next candidate reaches the active set's correlation; the full
// least-squares step C / q when none does.
double entryStepLength(const SelectionState* s, const PathStep& t);
// The SSE of coefficients beta (one per effect) of the model in the crossproducts: the
// swept SSE plus the quadratic form of beta's distance from the model's own estimates, less
// the elastic net's ridge.
double modelSse(const SelectionState* s, const double* beta);
// Estimates on the data's scale from coefficients on the standardized columns (one per effect
// of the model): times the adaptive weight and the column scale; the intercept the response
// mean less the estimates times the column means (0 under NOINT).
void backTransformEstimates(SelectionState* s, const double* coef);

// Copies the estimates and standardized estimates to the saved copies of the step before (or
// back from them), around a step that a STOP criterion may refuse.
void saveStepEstimates(SelectionState* s, bool back);

// ---- Screening ----
// SIS: ranks the selectable effects by |correlation| with the response and holds out all but
// the kept number; the largest model follows.
void rankSis(SelectionState* s);
// Safe screening at lambda-max: bounds of every free effect and the first screened-in set.
void startSafeScreening(SelectionState* s);
// During a step whose new lambda is t.lambda: a rebuild of the screened-in set when the
// path has come down to its threshold, with the step length worked out again over the new
// candidates. 0 or the failure of a pass.
[[nodiscard]] int rescreen(SelectionState* s, PathStep* t, int32_t* marker);
// The safe rules' basic bound at the current lambda for every free effect, then the growth of
// the screened-in set.
void updateScreenSet(SelectionState* s);

// ---- Stored rows ----
// Before a run: the path's effect states, the rows centred and scaled (kept when they must be
// put back), the adaptive weights and the columns multiplied by them. 0 or a negative code.
[[nodiscard]] int standardizeRows(SelectionState* s);
// After a run whose rows other fits read: the rows as the data pass stored them.
[[nodiscard]] int restoreRows(SelectionState* s);
// A sample's column moments, response mean and training totals over its drawn rows (none
// held out but a fold's, whose run takes its own). 0 or the pass's failure.
[[nodiscard]] int sampleMoments(SelectionState* s);

// ---- External cross validation on the crossproducts ----
// Whether the folds' runs can take their crossproducts by algebra: the whole matrix, no
// partition roles, screening, adaptive weights or k-fold, rows that are standardized.
bool foldsByCrossproducts(const SelectionState* s);
// Once per group: the crossproducts of each fold's held-out rows and their tallies, by one
// pass each. 0 or the pass's failure.
[[nodiscard]] int heldOutCrossproducts(SelectionState* s);
// Fold f's run: its training rows' crossproducts standardized, their totals and moments, and
// its held-out rows' crossproducts for the steps' held-out SSE; f < 0: the final run on
// every fold, which holds no row out.
void prepareFold(SelectionState* s, int32_t f);
// The held-out SSE of the step's model (and the held-out direction's sum of squares when
// asked): a quadratic form in the fold's held-out crossproducts, else a pass over the rows.
[[nodiscard]] int heldOutStatistics(SelectionState* s, bool direction);

// The external-CV value of the step just made: a fold's run judges it by its held-out SSE;
// the final run reads the folds' grid when the criterion is asked for, missing till then.
inline void takeHeldOutValue(const PathState& path, FitValues* fit) {
  fit->extCvValue = path.heldOutFold != path.extCvFolds ? path.heldOutSse : absentValue();
}

// ---- Row kernels ----
extern const RowKernel kernStandardize;       // centre and scale the response and the columns
extern const RowKernel kernUnscaleColumns;    // multiply the columns by the adaptive weights
extern const RowKernel kernPathSseGrad;       // SSE of each class and the gradient
extern const RowKernel kernPathSse;           // SSE of each class
extern const RowKernel kernResidualCorr;      // fitted sums, gradients of the screened out
extern const RowKernel kernDirectionCorr;     // direction products of the newly screened
extern const RowKernel kernDirectionCorrAll;  // direction products of the candidates

}  // namespace vsf
