// External cross validation on the crossproducts: one pass sums the crossproducts of each
// fold's held-out rows; a fold's run takes the rest (its training rows) centred and scaled by
// algebra, as the rewrite of its rows would leave them, and the held-out SSE of each step is a
// quadratic form in the held-out rows' crossproducts. No pass is made per fold, per L2 or per
// step.
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "penalized/path_internal.h"
#include "penalized/tuning_internal.h"
#include "selection/rows.h"

namespace vsf {

namespace {

// Of fold f's rows: [3f] the weight, [3f + 1] the frequency, [3f + 2] the weighted response
// sum (the mean a model without intercept reports has no column of ones to come from).
constexpr int64_t kTally = 3;

int talliesMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  const int32_t folds = s->path.extCvFolds;
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!r.training() || r.skip || !rows::validFold(r.held, folds)) return;
    if (check && rows::rowMissing(r, h)) return;
    double* t = b + kTally * r.held;
    t[0] += r.a;
    t[1] += r.f;
    t[2] += r.a * r.y;
  });
}

uint32_t talliesLength(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(kTally * std::max(s->path.extCvFolds, 1));
}

void talliesMerge(SelectionState* s, const double* sum, uint32_t n, int32_t) {
  std::copy(sum, sum + n, s->tuning.heldTallies);
}

const RowKernel kernHeldTallies = {"kernHeldTallies",       nullptr, asMt<talliesMt>,
                                   asLength<talliesLength>, nullptr, asMerge<talliesMerge>};

double* poolDoubles(HostPool* pool, int64_t n) {
  return static_cast<double*>(
      kernel().poolAlloc(pool, sizeof(double) * static_cast<size_t>(n + 1), kAllocZero));
}

// v' H v over the entries of v that are not 0 (H packed lower).
double quadratic(const double* H, const std::vector<std::pair<int64_t, double>>& v) {
  double sum = 0;
  for (size_t a = 0; a < v.size(); ++a) {
    const auto [i, x] = v[a];
    sum += x * x * H[pk(i, i)];
    for (size_t b = 0; b < a; ++b) sum += 2 * x * v[b].second * H[pkAny(i, v[b].first)];
  }
  return sum;
}

int64_t interceptColumn(const SelectionState* s) {
  return s->pathOptions->noInt ? -1 : s->sweep.firstColumn[0];
}

// The dense columns' shifts by crossproducts column (the intercept's, the response's and the
// sparse columns' stay 0; without an intercept there is no centring and no shift).
void takeHeldShifts(SelectionState* s) {
  const int64_t order = s->sweep.sscpOrder;
  double* shifts = s->tuning.heldShifts;
  std::fill(shifts, shifts + order, 0.0);
  const ColumnLayout& L = s->layout;
  if (interceptColumn(s) < 0 || !L.colShifts) return;
  const int64_t dense = L.denseValues + 1;
  for (int32_t e = 1; e < L.effectCount; ++e) {
    if (L.sparseIndex[e] >= 0) continue;
    for (int32_t k = 0; k < L.columnCount[e]; ++k) {
      const int64_t c = s->sweep.firstColumn[e] + k;
      if (c < dense) shifts[c] = L.colShifts[s->sweep.firstParam[e] + k];
    }
  }
}

}  // namespace

bool foldsByCrossproducts(const SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  return crossproductsMode(s->sweep) && !o->rolesPresent && !o->adaptive && !s->cv->kfold &&
         o->screen == kScreenNone && s->tuning.foldMoments && s->tuning.pool;
}

int heldOutCrossproducts(SelectionState* s) {
  TuningTables& t = s->tuning;
  if (t.heldSscp && !t.heldStale) return 0;
  const int32_t folds = s->path.extCvFolds;
  const int64_t T = tri(s->sweep.sscpOrder);
  t.foldSscp = nullptr;
  if (!t.heldSscp) {
    // Each fold's held-out sums, their whole and a fold's matrix, and what the pass that sums
    // them holds.
    const double kept = 8.0 * (folds * (kTally + static_cast<double>(T)) + 2.0 * T);
    if (!foldsFitMemory(s, folds, kept + sscpPassBytes(s, folds, s->sweep.sscpOrder)))
      return rc::kNoMemoryLeft;
    t.heldSscp = poolDoubles(t.pool, T * folds);
    t.allSscp = poolDoubles(t.pool, T);
    t.foldBuffer = poolDoubles(t.pool, T);
    t.heldTallies = poolDoubles(t.pool, kTally * folds);
    t.heldShifts = poolDoubles(t.pool, s->sweep.sscpOrder);
    if (!t.heldSscp || !t.allSscp || !t.foldBuffer || !t.heldTallies || !t.heldShifts)
      return rc::kMemory;
  } else {  // a new sample's weights: the sums start again in the same arrays
    std::fill(t.heldSscp, t.heldSscp + T * folds, 0.0);
    std::fill(t.allSscp, t.allSscp + T, 0.0);
  }
  t.heldStale = 0;
  takeHeldShifts(s);
  t.heldSlices = folds;
  const int rc = runDataPass(s, kernSscp, 0);
  t.heldSlices = 0;
  if (rc != 0) return rc;
  if (int r2 = runDataPass(s, kernHeldTallies, 0); r2 != 0) return r2;
  for (int32_t f = 0; f < folds; ++f)
    for (int64_t i = 0; i < T; ++i) t.allSscp[i] += t.heldSscp[f * T + i];
  return 0;
}

void prepareFold(SelectionState* s, int32_t f) {
  TuningTables& t = s->tuning;
  const int64_t order = s->sweep.sscpOrder, T = tri(order);
  const double* H = f >= 0 ? t.heldSscp + f * T : nullptr;
  double* A = t.foldBuffer;
  for (int64_t i = 0; i < T; ++i) A[i] = t.allSscp[i] - (H ? H[i] : 0.0);
  RunTotals& tot = s->totals;
  double W = 0, n = 0, wy = 0;
  for (int32_t g = 0; g < s->path.extCvFolds; ++g)
    if (g != f) {
      const double* tally = t.heldTallies + kTally * g;
      W += tally[0], n += tally[1], wy += tally[2];
    }
  tot.trainWeight = W, tot.trainFreq = n;
  s->path.heldOutWeight = f >= 0 ? t.heldTallies[kTally * f] : 0.0;
  s->path.heldOutFreq = f >= 0 ? t.heldTallies[kTally * f + 1] : 0.0;
  const int64_t one = interceptColumn(s);
  const bool centre = one >= 0 && W > 0;
  // The factor of each column: 1 for the response, the column's scale (0 when it has none).
  std::vector<double> factor(static_cast<size_t>(order), 0.0), mean(factor.size(), 0.0);
  factor[0] = 1;
  if (centre) mean[0] = A[pk(one, 0)] / W;
  const ColumnLayout& L = s->layout;
  for (int32_t e = 1; e < L.effectCount; ++e) {
    const int64_t c = s->sweep.firstColumn[e];
    const int32_t param = s->sweep.firstParam[e];
    const double sum = centre ? A[pkAny(c, one)] : 0.0, squares = A[pk(c, c)];
    double variance = absentValue();
    if (n > 1 && W > 0) variance = (centre ? squares - sum * sum / W : squares) / (n - 1);
    const double scale =
        std::isfinite(variance) && variance > 0 ? 1 / std::sqrt(variance) : absentValue();
    L.colScales[param] = scale;
    L.colMeans[param] = centre ? t.heldShifts[c] + sum / W : 0.0;
    mean[c] = centre ? sum / W : 0.0;
    factor[c] = isAbsent(scale) ? 0.0 : scale;
  }
  // Without an intercept the crossproducts hold no response sum: the tallies give the mean.
  tot.responseMean = centre ? mean[0] : W > 0 ? wy / W : 0.0;
  // The rows as the rewrite leaves them: each column (x - m) f, the response centred, the
  // intercept's column of ones untouched.
  std::vector<double> cross(static_cast<size_t>(order), 0.0);
  for (int64_t i = 0; i < order && centre; ++i) cross[i] = A[pkAny(i, one)];
  for (int64_t i = 0; i < order; ++i)
    for (int64_t j = 0; j <= i; ++j) {
      if (i == one || j == one) continue;
      double c = A[pk(i, j)];
      if (centre) c -= cross[i] * cross[j] / W;
      A[pk(i, j)] = factor[i] * factor[j] * c;
    }
  if (one >= 0)
    for (int64_t i = 0; i < order; ++i) A[pkAny(i, one)] = i == one ? W : 0.0;
  t.foldSscp = A;
  t.foldHeld = H;
}

int heldOutStatistics(SelectionState* s, bool direction) {
  const TuningTables& t = s->tuning;
  if (t.foldSscp && !t.foldHeld && !s->pathOptions->rolesPresent) {
    s->path.heldOutSse = s->path.heldOutDirection = 0;  // the final run holds no row out
    return 0;
  }
  if (!t.foldHeld || s->pathOptions->rolesPresent) return runDataPass(s, kernPathSse, 0);
  const ColumnLayout& L = s->layout;
  const bool ls = reportsLeastSquares(s->runFlags.method);
  const double scale = reportScale(s);
  const int64_t one = interceptColumn(s);
  std::vector<std::pair<int64_t, double>> v = {{0, 1.0}}, u;
  double shift = -responseCentre(s), uShift = 0;
  for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel; ++a) {
    const int32_t e = s->sweep.entryOrder[a];
    const int64_t c = s->sweep.firstColumn[e];
    const int32_t param = s->sweep.firstParam[e];
    const double f = isAbsent(L.colScales[param]) ? 0.0 : L.colScales[param];
    // The held-out sums are about the shifts: the mean is taken about the shift too.
    const double m = one >= 0 ? L.colMeans[param] - t.heldShifts[c] : 0.0;
    const double beta = ls ? -s->sweep.swept[pk(c, 0)] : scale * s->path.coef[e];
    v.emplace_back(c, -beta * f);
    shift += beta * f * m;
    if (direction && !ls) {
      const double d = scale * s->path.direction[e] * f;
      u.emplace_back(c, d);
      uShift -= d * m;
    }
  }
  if (one >= 0) {
    v.emplace_back(one, shift);
    if (!u.empty()) u.emplace_back(one, uShift);
  }
  s->path.heldOutSse = std::max(0.0, quadratic(t.foldHeld, v));
  s->path.heldOutDirection = u.empty() ? 0.0 : std::max(0.0, quadratic(t.foldHeld, u));
  return 0;
}

}  // namespace vsf
