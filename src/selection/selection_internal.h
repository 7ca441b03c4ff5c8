// Helpers shared inside the selection engine: packed indexes, the pivot rule, pool arrays.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/host.h"
#include "base/strings.h"
#include "selection/selection.h"

namespace vsf {

inline void addVector(double* dst, const double* src, int64_t n) {
  for (int64_t i = 0; i < n; ++i) dst[i] += src[i];
}

// Tolerance of a sweep of column j (flag the column's flag in the matrix being swept). A
// column goes in only when what is left of it exceeds kPivotRelative of its reference sum of
// squares (pivotReference; kPivotRelative itself when that is not positive), so that neither
// its scale nor a shift decides whether it enters, and kPivotRounding of its accumulated
// diagonal, so that rounding never passes for information. A swept-in column is always swept
// out: its tolerance lets any nonzero pivot through.
inline double pivotTolerance(char flag, double reference, double accumulated) {
  if (flag == '1') return -4.9406564584124654e-324;  // |d| above the least subnormal
  const double relative = reference > 0 ? kPivotRelative * reference : kPivotRelative;
  return relative > kPivotRounding * accumulated ? relative : kPivotRounding * accumulated;
}

// A column's sum of squares about its mean, from its accumulated one (a), its crossproduct
// with the intercept's column (x) and the weight total (w).
inline double centredSquares(double a, double x, double w) { return w > 0 ? a - x * x / w : a; }

// The intercept's column in a matrix whose flags are given, when the model holds the
// intercept and it is swept in there; -1 otherwise.
int64_t sweptInterceptColumn(const SelectionState* s, const char* flags);

// What column j of the accumulated matrix A offers before the model's columns are swept out:
// with the intercept swept in, its sum of squares about its mean (what the intercept leaves
// of it); without, its accumulated diagonal.
double pivotReference(const SelectionState* s, const double* A, const char* flags, int64_t j);

// ---- Sums about provisional centres (centres.cpp) ----
// A run with an intercept on the rows as stored (SELECTION=NONE and the classical methods) sums
// its crossproducts about the data pass's shifts; a path's rewritten rows are centred already.
// 0 or rc::kMemory.
[[nodiscard]] int settleCentres(SelectionState* s);

// The intercept's estimate and inverse-diagonal element in the data's units from a matrix S
// swept about the centres with flags F (the other columns' do not depend on the centres).
// Left as they are with plain sums or without the intercept swept in; invDiag may be null.
void interceptFromCentres(const SelectionState* s, const double* S, const char* F, double* estimate,
                          double* invDiag);

// The floor of negligibleSumOfSquares for an average over the training weight.
double negligibleMeanSquare(const SelectionState* s);

inline bool kfoldOn(const SelectionState* s) { return s->cv->kfold && s->folds > 0; }

// A data-based value of recorded step i back in the state, when the steps keep it.
inline void restoreStepValue(const StepHistory& steps, CriterionCode code, int32_t i,
                             double* value) {
  if (steps.criterionSlot[codeIndex(code)]) *value = stepCriterion(steps, code, i);
}

// Pool arrays (zeroed); null when refused.
template <typename T>
T* poolArray(SelectionState* s, int64_t n) {
  if (n < 1) n = 1;
  return static_cast<T*>(
      kernel().poolAlloc(s->modelPool, sizeof(T) * static_cast<size_t>(n), kAllocZero));
}
template <typename T>
bool poolGrow(SelectionState* s, T** p, int64_t n) {
  if (n < 1) n = 1;
  void* q =
      *p ? kernel().poolRealloc(s->modelPool, *p, sizeof(T) * static_cast<size_t>(n), kAllocZero)
         : kernel().poolAlloc(s->modelPool, sizeof(T) * static_cast<size_t>(n), kAllocZero);
  if (!q) return false;
  *p = static_cast<T*>(q);
  return true;
}

// ---- The step history's per-step arrays ----
// How one is kept: the values a step holds, whether it keeps an element before the first step
// (index -1), and whether the result stream's record holds it (the path's serve the run alone).
struct StepArray {
  int64_t perStep = 1;
  bool beforeFirst = false;
  bool recorded = true;
  // Its elements for n steps, the one before the first included.
  int64_t length(int64_t steps) const { return steps * perStep + (beforeFirst ? 1 : 0); }
};

// Every per-step array the run keeps, each once, as visit(array, how) with a reference to the
// array's pointer (past the element before the first step): growStepHistory grows them and
// the result stream's record makes, writes and reads the recorded ones, so an array listed
// here is all four. The criteria are laid out first (layOutStepCriteria).
template <typename Visit>
void forEachStepArray(StepHistory& h, const EngineOptions& o, const CvOptions& cv, Visit visit) {
  const StepArray plain, before{.beforeFirst = true}, path{.recorded = false};
  visit(h.effect, plain);
  visit(h.sweptColumns, before);
  visit(h.parameters, before);
  visit(h.effects, before);
  visit(h.sse, before);
  visit(h.criteria, StepArray{.perStep = h.criterionCount});
  if (o.testAsePerStep) visit(h.testAse, plain);
  if (o.fifthPerStep) visit(h.fifth, plain);
  if (!methodFamily(o.method).keepsPathHistory()) return;
  visit(h.lambdaRatio, path);
  visit(h.l1Norm, path);
  visit(h.pathSecond, path);
  if (!cv.externalCv) return;
  visit(h.pathExtra, path);
  visit(h.heldOutSse, path);
}

// Checkpoint buffers: the list copies, then the matrix copies sized to the order capacity.
[[nodiscard]] int checkpointLists(SelectionState* s);
[[nodiscard]] int ensureCheckpointBuffers(SelectionState* s);

// Sweeps column k of a matrix with the pivot rule; returns true when its flag changed.
bool sweepWithRule(SelectionState* s, double* S, const double* A, char* flags, int32_t k);

// The first column of the effect's block in A and S and its column count.
inline int32_t firstCol(const SweepMatrices& sweep, int32_t e) { return sweep.firstColumn[e]; }
inline int32_t colsOf(const ColumnLayout& layout, int32_t e) { return layout.columnCount[e]; }

// Group LASSO standardizes each effect's columns together: such a fit is exempt from the
// exact-fit stop, and its starting block's estimates are those of the swept model.
// Asked of the rules' or the engine's record, which both hold the user's method.
template <class Options>
bool groupedStandardization(const Options* o) {
  return methodFamily(o->method).kind == MethodKind::kGroup;
}

// The folds keep their own statistics or estimates.
inline bool foldDetails(const CvOptions* cv) { return cv->foldStats || cv->foldEstimates; }

// Readies the running scores' update for single-column effect k about to enter, before the
// pass that sums its store row: true when that pass is to sum the crossproducts with the
// column's residual too (the scores hold for the current model). For an effect whose store
// rows were summed before, no pass is run: the update is worked from them, and false.
bool prepareScoreUpdate(SelectionState* s, int32_t k);

// Every effect has exactly one column.
bool allSingleColumn(const ColumnLayout& layout);

}  // namespace vsf
