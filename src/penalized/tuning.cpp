// The searches over the elastic net's L2 and the objective of a search without external cross
// validation: one selection run per L2 value, judged at its chosen step.
#include <cmath>

#include "base/codes.h"
#include "base/host.h"
#include "numerics/numerics.h"
#include "penalized/tuning_internal.h"

namespace vsf {

namespace {

constexpr double kGolden = 2.618033988749895;       // phi squared
constexpr double kGoldenStep = 0.3819660112501051;  // 2 - phi

// A non-finite value (a failed fit's) never beats a finite one.
bool better(double x, double than) {
  return std::isfinite(x) && (!std::isfinite(than) || x < than);
}

// Whether the search minimizes the criterion's value turned over.
bool negatedForSearch(CriterionCode c) { return criterionJudgesL2(c) && criterionIsMaximized(c); }

// The value of a criterion at step k of the run, as the search minimizes it. The step's
// parameters and the corrected total stand for the fit's, as the search has always judged.
double criterionAtStep(const SelectionState* s, CriterionCode c, int32_t k) {
  const CriterionInfo& info = criterionInfo(c);
  if (!criterionJudgesL2(c)) return 0.0;
  if (info.kind == CriterionKind::kDataBased) return stepCriterion(s->steps, c, k);
  FitSummary f;
  f.sse = s->steps.sse[k];
  f.n = s->totals.trainFreq;
  f.params = s->steps.parameters[k];
  f.total = s->totals.correctedSS;
  f.sigma2Full = s->fit.sigma2Full;
  f.noInt = s->pathOptions->noInt != 0;
  const double v = info.value(f);
  return negatedForSearch(c) ? -v : v;
}

}  // namespace

bool criterionJudgesL2(CriterionCode c) {
  return (criterionInfo(c).fits & critfit::kL2Search) != 0;
}

double l2GridValue(double low, double high, int32_t n, int32_t k) {
  if (k == 0) return low;
  if (low > 0) {
    const double s = (std::log10(high) - std::log10(low)) / (n - 1);
    return zpow(10.0, std::log10(low) + k * s);
  }
  if (n <= 2) return high;
  const double f = high < 1 ? 1e-8 * high : 1e-8;
  const double s = (std::log10(high) - std::log10(f)) / (n - 2);
  return k == n - 1 ? high : zpow(10.0, std::log10(f) + (k - 1) * s);
}

L2SearchResult gridSearch(double low, double high, int32_t n, const L2Objective& f) {
  L2SearchResult r;
  for (int32_t k = 0; k < n; ++k) {
    const double x = l2GridValue(low, high, n, k);
    double v = 0;
    if ((r.rc = f(x, k, &v)) != 0) return r;
    if (k == 0 || better(v, r.value)) r.best = x, r.bestIndex = k, r.value = v;
    if (!std::isfinite(v)) break;  // a failed fit's value ends the grid
  }
  return r;
}

L2SearchResult goldenSectionSearch(double low, double high, int32_t n, const L2Objective& f) {
  L2SearchResult r;
  double a = low, c = high, b = a + (c - a) / kGolden;
  double fa = 0, fb = 0, fc = 0;
  if ((r.rc = f(a, 0, &fa)) != 0 || (r.rc = f(b, 1, &fb)) != 0 || (r.rc = f(c, 2, &fc)) != 0)
    return r;
  r.best = a, r.bestIndex = 0, r.value = fa;
  if (better(fb, r.value)) r.best = b, r.bestIndex = 1, r.value = fb;
  if (better(fc, r.value)) r.best = c, r.bestIndex = 2, r.value = fc;
  for (int32_t k = 3; k < n; ++k) {
    const double right = c - b, left = b - a;
    const double x = right > left ? b + kGoldenStep * right : b - kGoldenStep * left;
    if (1e-8 * (std::fabs(b) + std::fabs(x)) > std::fabs(c - a)) {
      r.converged = true;
      return r;
    }
    double fx = 0;
    if ((r.rc = f(x, k, &fx)) != 0) return r;
    if (better(fx, r.value)) r.best = x, r.bestIndex = k, r.value = fx;
    if (better(fx, fb)) {
      (right > left ? a : c) = b;
      b = x, fb = fx;
    } else {
      (right > left ? c : a) = x;
    }
  }
  return r;
}

int reserveHistory(TuningTables* t, int32_t n) {
  if (n <= t->historyRows && t->history) {
    std::fill(t->history, t->history + int64_t{7} * t->historyRows, 0.0);
    return 0;
  }
  if (!t->pool) return rc::kMemory;
  t->history = static_cast<double*>(
      kernel().poolAlloc(t->pool, sizeof(double) * 7 * static_cast<size_t>(n), kAllocZero));
  if (!t->history) return rc::kMemory;
  t->historyRows = n;
  return 0;
}

int l2TuneObjective(SelectionState* s, double l2, double* value) {
  const PathOptions* o = s->pathOptions;
  if (int rc = buildModelPool(s); rc != 0) return rc;
  s->path.l2 = l2;
  if (int rc = runSelection(s); rc != 0) return rc;
  if (s->run.status != 0) return kTuningStopped;
  const int32_t k = s->run.chosenStep >= 0 ? s->run.chosenStep : s->steps.stepCount - 1;
  *value = k >= 0 ? criterionAtStep(s, l2JudgingCriterion(*o), k) : absentValue();
  TuningTables& t = s->tuning;
  if (o->showL2Search && t.history && k >= 0 && t.point < t.historyRows) {
    double* row = t.history + int64_t{7} * t.point;
    row[0] = l2;
    row[1] = s->steps.lambdaRatio[k];
    row[2] = s->steps.parameters[k];
    // The search minimizes; the history shows the criterion as the summary does, and as
    // missing where the criterion cannot judge an L2 (the search saw every L2 as equal).
    const CriterionCode c = l2JudgingCriterion(*o);
    row[3] = !criterionJudgesL2(c) ? absentValue() : negatedForSearch(c) ? -*value : *value;
    row[4] = s->steps.pathSecond[k];
    row[5] = s->steps.l1Norm[k];
    row[6] = k + 1;
  }
  resetSelectionState(s);
  freeSelectionState(s);
  return 0;
}

}  // namespace vsf
