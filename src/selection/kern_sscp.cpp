// kernSscp: A += a x x' over the training rows, x = (response, dense values, sparse values).
//
// The dense part of a block's rows is staged, scaled by sqrt(a), in a panel of rows and folded
// into A by one dsyrk per panel, not by one rank-one update per row; a block with a missing or
// non-finite value takes the row-by-row loop instead (a row with a missing value adds nothing,
// as zdspr leaves the matrix alone for it), and so does a panel the BLAS cannot take (no room
// for its buffer). Sparse values are added row by row at their own columns.
#include <cmath>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "numerics/numerics.h"
#include "selection/rows.h"
#include "selection/selection_internal.h"
#include "selection/sscp_internal.h"

namespace vsf {

namespace {

constexpr int64_t kPanelDoubles = 1 << 22;  // 32 MB of staged rows at most per worker

// Rows carry fold tags whenever k-fold is asked; sums go per fold once there are folds, or per
// held-out fold of external cross validation when the tuning asks for them.
int slices(const SelectionState* s) {
  return kfoldOn(s) ? s->folds : s->tuning.heldSlices > 0 ? s->tuning.heldSlices : 1;
}
int64_t tri(int64_t q) { return q * (q + 1) / 2; }
int dims(const SelectionState* s) { return s->layout.denseValues + 1; }

// Rows per fold panel of `m` slices: 256 when they fit the budget, at least 16.
int64_t panelRows(const SelectionState* s, int64_t m) {
  int64_t r = kPanelDoubles / (m * dims(s));
  return r > 256 ? 256 : (r < 16 ? 16 : r);
}
int64_t panelRows(const SelectionState* s) { return panelRows(s, slices(s)); }

uint32_t sumLength(const SelectionState* s, int64_t m) {
  return static_cast<uint32_t>(tri(s->sweep.sscpOrder) * m);
}
// [pending rows per slice][C, n x n][panels, one per slice]
uint32_t scratchLength(const SelectionState* s, int64_t m) {
  int64_t n = dims(s);
  return static_cast<uint32_t>(m + n * n + m * panelRows(s, m) * n);
}
uint32_t sscpLength(const SelectionState* s, int32_t) { return sumLength(s, slices(s)); }
uint32_t sscpScratch(const SelectionState* s, int32_t) { return scratchLength(s, slices(s)); }

struct Scratch {
  double* pending;
  double* square;
  double* panels;
  int64_t rows, n;
  Scratch(const SelectionState* s, double* buffer) {
    n = dims(s);
    rows = panelRows(s);
    pending = buffer + sscpLength(s, 0);
    square = pending + slices(s);
    panels = square + n * n;
  }
  double* panel(int f) const { return panels + static_cast<int64_t>(f) * rows * n; }
};

// A[0..d][0..d] += panel' panel through one dsyrk into the square, then folded into the
// packed triangle: column i of the square's upper part is row i of the packed lower part.
// Without the BLAS, one rank-one update per staged row (each already scaled by its root).
void flush(Scratch& sc, int f, double* target) {
  const int k = static_cast<int>(sc.pending[f]);
  if (k == 0) return;
  const int n = static_cast<int>(sc.n);
  sc.pending[f] = 0;
  if (!blasSyrk(n, k, sc.panel(f), sc.square)) {
    for (int r = 0; r < k; ++r) zdspr(sc.panel(f) + static_cast<int64_t>(r) * n, n, 1.0, target);
    return;
  }
  for (int i = 0; i < n; ++i) {
    double* row = target + tri(i);
    const double* col = sc.square + static_cast<int64_t>(i) * n;
    for (int j = 0; j <= i; ++j) row[j] += col[j];
  }
}

// Sparse values of a row: row g of A gets a v x over (response, dense), and a v v' with the
// values at or before v in the row's order, placed by the larger of the two columns.
void sparseTerms(const SelectionState* s, const rows::Row& r, const double* x, double a,
                 double* A) {
  const int d = s->layout.denseValues, ns = s->layout.sparseEffectCount;
  for (int j = 0; j < ns; ++j) {
    const int first = s->layout.layoutColumn[s->layout.sparseEffects[j]];
    for (int32_t k = r.sparseBegin(j); k < r.sparseEnd(j); ++k) {
      const double av = a * r.sparse[k];
      const int64_t g = first + r.index(ns, k);
      double* row = A + tri(g);
      for (int i = 0; i <= d; ++i) row[i] += av * x[i];
      for (int j2 = 0; j2 <= j; ++j2) {
        const int first2 = s->layout.layoutColumn[s->layout.sparseEffects[j2]];
        const int32_t end2 = j2 == j ? k + 1 : r.sparseEnd(j2);
        for (int32_t k2 = r.sparseBegin(j2); k2 < end2; ++k2) {
          const int64_t g2 = first2 + r.index(ns, k2);
          A[g >= g2 ? tri(g) + g2 : tri(g2) + g] += av * r.sparse[k2];
        }
      }
    }
  }
}

bool used(const SelectionState* s, const rows::Row& r) {
  if (!r.training() || r.skip) return false;
  if (s->tuning.heldSlices > 0) return true;
  return !(s->cv->externalCv && r.held == s->path.heldOutFold);
}

// The slice of a row; -1 when its fold tag names no fold.
int sliceOf(const SelectionState* s, const rows::Row& r) {
  if (s->tuning.heldSlices > 0) return rows::validFold(r.held, s->tuning.heldSlices) ? r.held : -1;
  if (!kfoldOn(s)) return 0;
  return rows::validFold(r.fold, s->folds) ? r.fold : -1;
}

// The shifts the sums take about (the held-out sums' or the run's centres), null when the sums
// are plain.
const double* shiftsOf(const SelectionState* s) {
  return s->tuning.heldSlices > 0 ? s->tuning.heldShifts : s->sweep.centres;
}

// The row's (response, dense) values, less the shifts when there are shifts.
const double* shifted(const rows::Row& r, const double* shifts, std::vector<double>& into) {
  if (!shifts) return r.x;
  for (size_t i = 0; i < into.size(); ++i) into[i] = r.x[i] - shifts[i];
  return into.data();
}

// One rank-one update per row; a row with a missing value adds nothing.
int rowByRow(SelectionState* s, const rows::Shape& h, const PageView& v, double* out) {
  const int64_t T = tri(s->sweep.sscpOrder);
  const double* shifts = shiftsOf(s);
  std::vector<double> moved(shifts ? static_cast<size_t>(1 + h.d) : 0);  // only when shifted
  return rows::forEachRow(s, h, v, true, [&](const rows::Row& r) {
    if (!used(s, r)) return;
    int f = sliceOf(s, r);
    if (f < 0) return;
    if (rows::isMissing(r.a) || zanymiss(r.x, 1 + h.d) || zanymiss(r.sparse, r.K)) return;
    double* A = out + f * T;
    const double* x = shifted(r, shifts, moved);
    if (zdspr(x, 1 + h.d, r.a, A) == 0) return;
    sparseTerms(s, r, x, r.a, A);
  });
}

int staged(SelectionState* s, const rows::Shape& h, const PageView& v, double* out, Scratch& sc) {
  const int64_t T = tri(s->sweep.sscpOrder);
  const double* shifts = shiftsOf(s);
  std::vector<double> moved(shifts ? static_cast<size_t>(1 + h.d) : 0);  // only when shifted
  return rows::forEachRow(s, h, v, true, [&](const rows::Row& r) {
    if (!used(s, r) || r.a == 0) return;
    int f = sliceOf(s, r);
    if (f < 0) return;
    double* A = out + f * T;
    const double* x = shifted(r, shifts, moved);
    if (r.a > 0) {
      if (sc.pending[f] == static_cast<double>(sc.rows)) flush(sc, f, A);
      double* p = sc.panel(f) + static_cast<int64_t>(sc.pending[f]) * sc.n;
      const double root = std::sqrt(r.a);
      for (int64_t i = 0; i < sc.n; ++i) p[i] = root * x[i];
      sc.pending[f] += 1;
    } else {
      zdspr(x, 1 + h.d, r.a, A);  // a negative weight cannot be staged by its root
    }
    if (h.s > 0) sparseTerms(s, r, x, r.a, A);
  });
}

int sscpMt(SelectionState* s, const PageView* v, double* buffer, uint32_t) {
  rows::Shape h = rows::shapeOf(s);
  if (!blockAllFinite(*v)) return rowByRow(s, h, *v, buffer);
  Scratch sc(s, buffer);
  return staged(s, h, *v, buffer, sc);
}

int sscpFinish(SelectionState* s, double* buffer, uint32_t) {
  Scratch sc(s, buffer);
  const int64_t T = tri(s->sweep.sscpOrder);
  for (int f = 0; f < slices(s); ++f) flush(sc, f, buffer + f * T);
  return 0;
}

int sscpRowsMt(SelectionState* s, const PageView* v, double* buffer, uint32_t) {
  return rowByRow(s, rows::shapeOf(s), *v, buffer);
}

void sscpMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  const int64_t T = tri(s->sweep.sscpOrder);
  if (s->tuning.heldSlices > 0) {
    addVector(s->tuning.heldSscp, sum, T * s->tuning.heldSlices);
    return;
  }
  if (!kfoldOn(s)) {
    addVector(s->sweep.sscp, sum, T);
    return;
  }
  for (int f = 0; f < s->folds; ++f) addVector(s->foldRecs[f].sscp, sum + f * T, T);
}

}  // namespace

double sscpPassBytes(const SelectionState* s, int32_t m, int64_t order) {
  const auto sum = static_cast<uint32_t>(order * (order + 1) / 2 * m);
  const uint32_t total = sum + scratchLength(s, m);
  const int32_t workers = passWorkers(s, sum, total);
  return 8.0 * sum + (workers > 1 ? workers * passWorkerBytes(sum, total) : 8.0 * total);
}

const RowKernel kernSscp = {"kernSscp",
                            nullptr,
                            asMt<sscpMt>,
                            asLength<sscpLength>,
                            asLength<sscpScratch>,
                            asMerge<sscpMerge>,
                            asFinish<sscpFinish>};
const RowKernel kernSscpRowByRow = {"kernSscpRowByRow",   nullptr, asMt<sscpRowsMt>,
                                    asLength<sscpLength>, nullptr, asMerge<sscpMerge>};

}  // namespace vsf
