// External cross validation of a path at one L2: a path per fold with the fold held out (the
// run standardizes the fold's training rows and puts the rows back after), the folds' points
// merged on the union of their alignment values, and the held-out ASE interpolated between
// each fold's knots and averaged over the folds.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "base/codes.h"
#include "base/host.h"
#include "penalized/path_internal.h"
#include "penalized/tuning_internal.h"

namespace vsf {

namespace {

template <typename T>
T* grow(HostPool* pool, T* old, int64_t used, int64_t n) {
  T* p = static_cast<T*>(kernel().poolAlloc(pool, sizeof(T) * static_cast<size_t>(n), 0));
  if (p && old && used > 0) std::copy(old, old + used, p);
  return p;
}

// The number of folds is the group's: the arrays are made once.
int reserveFolds(TuningTables* t, int32_t folds) {
  if (!t->foldEnd) {
    t->foldEnd = grow<int32_t>(t->pool, nullptr, 0, std::max(folds, 1));
    t->foldLambdaMax = grow<double>(t->pool, nullptr, 0, std::max(folds, 1));
    if (!t->foldEnd || !t->foldLambdaMax) return rc::kMemory;
  }
  t->foldCount = folds;
  return 0;
}

}  // namespace

int reservePoints(TuningTables* t, int32_t more) {
  const int64_t need = int64_t{t->points} + more;
  if (need <= t->pointCapacity) return 0;
  const int64_t n = std::max<int64_t>(need, 2 * int64_t{t->pointCapacity});
  t->pointInts = grow(t->pool, t->pointInts, 3 * int64_t{t->points}, 3 * n);
  t->pointValues = grow(t->pool, t->pointValues, 6 * int64_t{t->points}, 6 * n);
  t->grid = grow<double>(t->pool, nullptr, 0, n);
  t->average = grow<double>(t->pool, nullptr, 0, n);
  if (!t->pointInts || !t->pointValues || !t->grid || !t->average) return rc::kMemory;
  t->pointCapacity = static_cast<int32_t>(n);
  return 0;
}

namespace {

// The fold run's steps as path points; the held-out figures per unit of held-out weight.
void takeFoldPoints(SelectionState* s, int32_t fold) {
  TuningTables& t = s->tuning;
  const StepHistory& h = s->steps;
  const double w = s->path.heldOutWeight;
  const bool linear = s->cv->linearCvEx;
  for (int32_t i = 0; i < h.stepCount; ++i, ++t.points) {
    int32_t* n = t.pointInts + 3 * int64_t{t.points};
    double* v = t.pointValues + 6 * int64_t{t.points};
    n[0] = fold, n[1] = i, n[2] = h.parameters[i];
    v[0] = h.lambdaRatio[i];
    v[1] = elasticNet(s) ? s->path.l2 : 0.0;
    v[2] = h.l1Norm[i];
    v[3] = h.pathSecond[i];
    v[4] = linear ? 0.0 : (w != 0 ? h.pathExtra[i] / w : h.pathExtra[i]);
    v[5] = w != 0 ? h.heldOutSse[i] / w : h.heldOutSse[i];
  }
}

// Near equality relative to a, on values scaled down so that huge ones cannot overflow.
bool within(double a, double b, double tol) {
  return std::fabs(a / 1000 - b / 1000) <= tol * std::fabs(a / 1000);
}

struct FoldWalk {
  const TuningTables* t;
  L1ChoiceCode mode;
  double tol;
  double lambdaMax;
  double ratio(int32_t p) const { return t->pointValues[6 * int64_t{p}]; }
  double l1(int32_t p) const { return t->pointValues[6 * int64_t{p} + 2]; }
  double curvature(int32_t p) const { return t->pointValues[6 * int64_t{p} + 4]; }
  double ase(int32_t p) const { return t->pointValues[6 * int64_t{p} + 5]; }
  double align(int32_t p) const {
    return mode == kL1ChoiceNorm ? l1(p) : mode == kL1ChoiceValue ? ratio(p) * lambdaMax : ratio(p);
  }
  // The fold's ASE at grid value x between its points p - 1 and p: quadratic in the penalty
  // where the held-out curvature is known, linear in the alignment measure otherwise.
  double between(int32_t p, double x) const {
    const double c = curvature(p), e0 = ase(p - 1), e1 = ase(p);
    if (c > 0) {
      const double d = (ratio(p - 1) - ratio(p)) * lambdaMax;
      if (tol * std::fabs(d / 1000) >= std::fabs(d / 1000)) return e0;
      const double b = (e1 - e0) / d - c * d;
      double at = 0;
      if (mode == kL1ChoiceRatio) at = (ratio(p - 1) - x) * lambdaMax;
      if (mode == kL1ChoiceValue) at = ratio(p - 1) * lambdaMax - x;
      if (mode == kL1ChoiceNorm && !within(l1(p), l1(p - 1), tol))
        at = d * (x - l1(p - 1)) / (l1(p) - l1(p - 1));
      at = std::max(at, 0.0);
      return e0 + b * at + c * at * at;
    }
    double a0 = ratio(p - 1), a1 = ratio(p);
    if (mode == kL1ChoiceNorm) a0 = l1(p - 1), a1 = l1(p);
    if (mode == kL1ChoiceValue) x /= lambdaMax;
    if (within(a1, a0, tol)) return e0;
    return e0 + (e1 - e0) * (x - a0) / (a1 - a0);
  }
};

}  // namespace

double mergeFoldPaths(TuningTables* t, L1ChoiceCode mode, double tol) {
  const bool rising = mode == kL1ChoiceNorm;
  FoldWalk w{t, mode, tol, 0};
  // The grid: the sorted union of every fold's alignment values, equal values once.
  int32_t g = 0;
  for (int32_t f = 0, p = 0; f < t->foldCount; ++f) {
    w.lambdaMax = t->foldLambdaMax[f];
    for (; p < t->foldEnd[f]; ++p) t->grid[g++] = w.align(p);
  }
  if (rising)
    std::sort(t->grid, t->grid + g);
  else
    std::sort(t->grid, t->grid + g, [](double a, double b) { return a > b; });
  t->gridCount = static_cast<int32_t>(std::unique(t->grid, t->grid + g) - t->grid);
  std::fill(t->average, t->average + t->gridCount, 0.0);

  int32_t used = 0;
  for (int32_t f = 0; f < t->foldCount; ++f) {
    const int32_t first = f == 0 ? 0 : t->foldEnd[f - 1], end = t->foldEnd[f];
    if (end <= first) continue;  // a fold without a step has nothing to give
    used += 1;
    w.lambdaMax = t->foldLambdaMax[f];
    int32_t p = first;
    for (int32_t k = 0; k < t->gridCount; ++k) {
      const double x = t->grid[k];
      while (p < end && (rising ? w.l1(p) < x : x < w.align(p))) ++p;
      if (p == end)
        t->average[k] += w.ase(end - 1);
      else
        t->average[k] += p == first ? w.ase(p) : w.between(p, x);
    }
  }
  double best = DBL_MAX;
  t->chosenAlignment = 0;
  for (int32_t k = 0; k < t->gridCount && used > 0; ++k) {
    t->average[k] /= used;
    if (t->average[k] < best) best = t->average[k], t->chosenAlignment = t->grid[k];
  }
  return best;
}

int saveGroupMoments(SelectionState* s) {
  TuningTables& t = s->tuning;
  const int64_t m = s->layout.paramCount;
  if (!t.saved) {
    t.savedMeans = grow<double>(t.pool, nullptr, 0, m + 1);
    t.savedScales = grow<double>(t.pool, nullptr, 0, m + 1);
    if (!t.savedMeans || !t.savedScales) return rc::kMemory;
    t.savedTotals = s->totals;
    copyDoubles(t.savedMeans, s->layout.colMeans, m);
    copyDoubles(t.savedScales, s->layout.colScales, m);
    t.saved = 1;
  }
  return 0;
}

void restoreGroupMoments(SelectionState* s) {
  const TuningTables& t = s->tuning;
  if (!t.saved) return;
  s->totals = t.savedTotals;
  copyDoubles(s->layout.colMeans, t.savedMeans, s->layout.paramCount);
  copyDoubles(s->layout.colScales, t.savedScales, s->layout.paramCount);
}

FoldStopRules::FoldStopRules(SelectionState* s, bool keepL1Target)
    : s_(s),
      rules_(s->rules),
      paths_(s->pathOptions),
      foldRules_(*s->rules),
      foldPaths_(*s->pathOptions) {
  if (!(keepL1Target && foldPaths_.stop == kCritL1)) foldRules_.stop = foldPaths_.stop = kCritNone;
  foldRules_.stopSteps = foldPaths_.stopSteps = 0;
  s->rules = &foldRules_;
  s->pathOptions = &foldPaths_;
}

FoldStopRules::~FoldStopRules() {
  s_->rules = rules_;
  s_->pathOptions = paths_;
}

int evalL2ByCV(SelectionState* s, double* value) {
  const PathOptions* o = s->pathOptions;
  TuningTables& t = s->tuning;
  const int32_t folds = s->path.extCvFolds;
  // The folds the data cannot fill are refused before anything is made for them.
  if (const int32_t status = externalFoldsStatus(s); status != 0) {
    s->run.status = status;
    return kTuningStopped;
  }
  if (int rc = reserveFolds(&t, folds); rc != 0) return rc;
  if (int rc = saveGroupMoments(s); rc != 0) return rc;
  t.points = 0;
  const FoldStopRules unstopped(s, false);
  for (int32_t f = 0; f < folds; ++f) {
    s->path.heldOutFold = f;
    s->runFlags.firstFit = 1, s->runFlags.foldFit = 1;
    if (int rc = buildModelPool(s); rc != 0) return rc;
    // On the crossproducts the fold's rows need no rewrite: the run takes them standardized.
    if (foldsByCrossproducts(s)) {
      if (int rc = heldOutCrossproducts(s); rc != 0) return rc;
      prepareFold(s, f);
      s->runFlags.firstFit = 0;
    }
    const int rc = runSelection(s);
    t.foldSscp = nullptr, t.foldHeld = nullptr;
    if (rc != 0) return rc;
    if (s->run.status != 0) return kTuningStopped;
    if (int rc = reservePoints(&t, s->steps.stepCount); rc != 0) return rc;
    takeFoldPoints(s, f);
    t.foldEnd[f] = t.points;
    t.foldLambdaMax[f] = s->path.lambdaMax;
    resetSelectionState(s);
    freeSelectionState(s);
    restoreGroupMoments(s);
  }
  if (t.points == 0 && reservePoints(&t, 1) != 0) return rc::kMemory;
  *value = mergeFoldPaths(&t, cvAlignment(o), s->fit.tol);
  return 0;
}

}  // namespace vsf
