// Knots of the SPLINE design variables of a BY group: interior knots by the knot method, the
// boundary knots of a B-spline basis widened just past the data, and the percentile knots read
// from sorted scratch files of the values.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

namespace {

using namespace knotmethod;

void knotError(ZDesign* d, int number, const LevelVar& v) {
  hostMsg(174, number, {varName(&v)});
  if (d->buildCode < step::kLevelization112) d->buildCode = step::kLevelization112;
}

// The range widened just past the data: by 500 epsilons, more for high degrees (so that
// epsilon^(2d) stays a double), and ten times more until the bound moves at this magnitude.
double widened(double bound, int degree, double direction) {
  double eps = kFuzz;
  if (degree > 11) {
    do {
      eps *= 100;
    } while (std::log(eps) < -708.3964185322641 / (2.0 * degree));
  }
  double b = bound + direction * eps;
  while (!(direction < 0 ? b < bound : b > bound)) {
    eps *= 10;
    b = bound + direction * eps;
  }
  return b;
}

// The sorted file of a percentile variable, or null.
HostScratch* sortedFile(const KnotFiles* files, int32_t var) {
  if (!files) return nullptr;
  for (int32_t i = 0; i < files->count; ++i)
    if (files->vars[i] == var) return files->sorted[i];
  return nullptr;
}

// The range the knots of a variable are placed on: the analysis data's. A variable without
// values in the group has a missing centre: its knots stay missing.
std::pair<double, double> knotRange(const LevelVar& v) {
  return {v.center - v.halfRange, v.center + v.halfRange};
}

// The K interior knots of one variable by the method; false after a knot error.
bool interiorKnots(const SplineOptions& s, ZDesign* d, const LevelVar& v, const KnotFiles* files,
                   int32_t var, double lo, double hi, int32_t K, double* out) {
  switch (s.knotMethod) {
    case kList:
      std::copy(s.listedKnots, s.listedKnots + K, out);
      if (K > 0 && (out[0] < lo || out[K - 1] > hi)) {
        knotError(d, 63, v);
        return false;
      }
      return true;
    case kRangeFractions:
      for (int32_t j = 0; j < K; ++j) out[j] = lo + s.listedKnots[j] * (hi - lo);
      return true;
    case kPercentiles: {
      HostScratch* f = sortedFile(files, var);
      if (!f || zpctknots(f, files->frequencies, files->observations, files->frequencyTotal, K,
                          out) != 0) {
        hostFileMsg(848, 4908);
        hostEndStep(step::kHistory);
      }
      return true;
    }
    default: {  // EQUAL, MULTISCALE
      const double h = (hi - lo) / (K + 1);
      for (int32_t j = 0; j < K; ++j) out[j] = lo + (j + 1) * h;
      return true;
    }
  }
}

// The whole B-spline sequence: d lower boundary knots, the K interior ones, max(d, 1) upper.
void boundaryKnots(const SplineOptions& s, double lo, double hi, int32_t K, double* t) {
  const int32_t d = s.degree, upper = std::max(d, 1);
  const bool finite = !znotfinite(lo) && !znotfinite(hi);
  const double L = finite ? widened(lo, d, -1.0) : lo;
  const double U = finite ? widened(hi, d, 1.0) : hi;
  const bool spaced = (s.knotMethod == kEqual || s.knotMethod == kMultiscale) && !s.dataBoundary;
  const double h = (hi - lo) / (K + 1);
  const bool minGiven = s.knotMinGiven && s.knotMin < L;
  const bool maxGiven = s.knotMaxGiven && s.knotMax > U;
  for (int32_t i = 0; i < d; ++i) {
    if (minGiven)
      t[i] = d == 1 ? s.knotMin : s.knotMin + i * (L - s.knotMin) / (d - 1);
    else
      t[i] = spaced && i < d - 1 ? lo - (d - 1 - i) * h : L;
  }
  double* u = t + d + K;
  for (int32_t i = 0; i < upper; ++i) {
    if (maxGiven)
      u[i] = upper == 1 ? s.knotMax : U + i * (s.knotMax - U) / (upper - 1);
    else
      u[i] = spaced && i > 0 ? hi + i * h : U;
  }
}

// Knot arrays with two equal consecutive knots cannot carry a natural cubic basis.
bool repeatedKnot(const double* t, int32_t n) {
  for (int32_t j = 1; j < n; ++j)
    if (t[j] == t[j - 1]) return true;
  return false;
}

// Basis columns per variable of n knots.
int32_t basisColumns(const SplineOptions& s, int32_t n) {
  if (s.basis == 1) return n - std::max(s.degree, 1) + 1;
  const int32_t extra = std::min<int32_t>(s.extraTerms, 2);
  if (s.basisKind) {
    const int32_t b = n < 3 ? 0 : n - 2;
    return b + extra;
  }
  return n + (extra >= 1 ? s.degree : 0) + (extra >= 2 ? 1 : 0);
}

}  // namespace

int zsplknots(ZDesignVar* var, ZDesign* d, HostPool* allocator, const KnotFiles* files) {
  SplineOptions& s = *var->spline;
  const int32_t degree = s.degree, upper = std::max(degree, 1);
  s.totalKnots = 0;
  int32_t n = 0;
  for (int32_t j = 0; j < var->valueCount && j < s.varCount; ++j) {
    const int32_t x = var->values[j];
    const LevelVar& v = d->modelVars[x];
    const auto [lo, hi] = knotRange(v);
    const bool bspline = s.basis == 1;
    int32_t K = s.knotCount;
    if (bspline && s.knotMethod == kListWithBoundary) {
      n = K;
      K = 0;
    } else {
      n = bspline ? degree + upper + K : K;
    }
    double* t = designArray<double>(allocator, static_cast<size_t>(n), kFlagsTable);
    if (!t) return rc::kFailed;
    s.knots[j] = t;
    s.knotCounts[j] = n;
    s.totalKnots += n;
    if (bspline && s.knotMethod == kListWithBoundary) {
      std::copy(s.listedKnots, s.listedKnots + n, t);
      if (n < degree + upper || t[degree] < lo || t[n - upper - 1] > hi) {
        knotError(d, 91, v);
        return 1;
      }
      continue;
    }
    if (!interiorKnots(s, d, v, files, x, lo, hi, K, bspline ? t + degree : t)) return 1;
    if (bspline) boundaryKnots(s, lo, hi, K, t);
    if (!bspline && s.basisKind && n > 2 && repeatedKnot(t, n)) {
      hostMsg(174, 89, {std::string_view(var->name, static_cast<size_t>(var->nameLength))});
      if (d->buildCode < step::kLevelization112) d->buildCode = step::kLevelization112;
      return 1;
    }
  }
  s.basisColumns = basisColumns(s, n);
  return 0;
}

bool zbeyondknots(const LevelVar& var, double x) {
  const auto [lo, hi] = knotRange(var);
  // The ends of the range are the centre less and plus the half-range, within their rounding.
  const double fuzz = kFuzz * (std::fabs(var.center) + var.halfRange);
  return x < lo - fuzz || x > hi + fuzz;
}

int zpctknots(HostScratch* sorted, bool frequencies, double observations, double frequencyTotal,
              int32_t n, double* out) {
  const HostVarIOFamily& io = *hostv().varIO;
  const double N = frequencyTotal != 0.0 ? frequencyTotal : observations;
  if (N <= 0) {
    std::fill(out, out + n, missingValue('.'));
    return 0;
  }
  if (io.scratchRewind(sorted) != 0) return rc::kFailed;
  const int64_t last = static_cast<int64_t>(N) - 1;
  // Order statistic r (from 1, within 1 .. N) of the data expanded by frequency; the sweep
  // keeps the record before the current one, as two knots may share an order statistic.
  double prev = missingValue('.'), cur = missingValue('.');
  double prevEnd = 0, curEnd = 0;
  auto orderStatistic = [&](int64_t r, double* x) {
    r = std::clamp<int64_t>(r, 1, last + 1);
    if (!frequencies) {
      if (io.scratchSeek(sorted, r - 1) != 0) return false;
      return io.scratchRead(sorted, x, 1) == 0;
    }
    while (curEnd < static_cast<double>(r)) {
      double record[2];
      if (io.scratchRead(sorted, record, 2) != 0) return false;
      prev = cur;
      prevEnd = curEnd;
      cur = record[0];
      curEnd += record[1];
    }
    *x = static_cast<double>(r) <= prevEnd ? prev : cur;
    return true;
  };
  for (int32_t i = 1; i <= n; ++i) {
    const double p = static_cast<double>(i) / (n + 1) * N;
    const double k = std::floor(p + kFuzz);
    const bool whole = std::fabs(p - k) <= kFuzz;
    const int64_t r = static_cast<int64_t>(k);
    double above = 0;
    if (!orderStatistic(r + 1, &above)) return rc::kFailed;
    if (whole && r >= 1) {
      double below = 0;
      if (!orderStatistic(r, &below)) return rc::kFailed;
      out[i - 1] = (below + above) * 0.5;
    } else {
      out[i - 1] = above;
    }
  }
  return 0;
}

namespace {

bool isPercentileSpline(const ZDesignVar& v) {
  return v.type == effkind::kSpline && v.spline && !v.copy && v.spline->knotMethod == kPercentiles;
}

}  // namespace

KnotFiles* zknotfilesnew(const ZDesign* d, HostPool* allocator) {
  std::vector<int32_t> vars;
  for (int32_t k = 0; k < d->designVarCount; ++k) {
    const ZDesignVar& v = d->designVars[k];
    if (!isPercentileSpline(v)) continue;
    for (int32_t j = 0; j < v.valueCount; ++j)
      if (std::find(vars.begin(), vars.end(), v.values[j]) == vars.end())
        vars.push_back(v.values[j]);
  }
  if (vars.empty()) return nullptr;
  auto* f = designArray<KnotFiles>(allocator, 1, kFlagsTable);
  const size_t n = vars.size();
  auto* list = designArray<int32_t>(allocator, n, kFlagsList);
  auto* written = designArray<HostScratch*>(allocator, n, kFlagsList);
  auto* sorted = designArray<HostScratch*>(allocator, n, kFlagsList);
  if (!f || !list || !written || !sorted) {
    hostMsg(848, 140);
    hostEndStep(step::kMemory);
  }
  *f = KnotFiles();
  std::copy(vars.begin(), vars.end(), list);
  f->count = static_cast<int32_t>(n);
  f->vars = list;
  f->written = written;
  f->sorted = sorted;
  return f;
}

void zknotfilesfree(KnotFiles* files) {
  if (!files) return;
  for (int32_t i = 0; i < files->count; ++i) {
    hostv().varIO->scratchClose(files->written[i]);
    hostv().varIO->scratchClose(files->sorted[i]);
    files->written[i] = files->sorted[i] = nullptr;
  }
}

}  // namespace vsf
