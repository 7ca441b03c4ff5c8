// Kernels of the incremental mode: each effect's own block, the rows of an entering effect in
// A, the response row of the store and an effect's store rows.
#include <algorithm>
#include <vector>

#include "selection/rows.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

// Rows carry fold tags whenever k-fold is asked; sums go per fold once there are folds.
int slices(const SelectionState* s) { return kfoldOn(s) ? s->folds : 1; }

bool trainingUsed(const SelectionState* s, const rows::Row& r, bool externalAware) {
  if (!r.training() || r.skip) return false;
  return !(externalAware && s->cv->externalCv && r.held == s->path.heldOutFold);
}

// The slice of a row (0 without folds); -1 for a fold tag that names no fold.
int sliceOf(const SelectionState* s, const rows::Row& r) {
  if (!kfoldOn(s)) return 0;
  return rows::validFold(r.fold, s->folds) ? r.fold : -1;
}

// The slice of a used training row; -1 for a row left out: not a used training row, a fold tag
// that names no fold, or a missing value (tested only where `check`: in a block not marked
// finite).
int usedSlice(const SelectionState* s, const rows::Shape& h, const rows::Row& r, bool check,
              bool externalAware) {
  if (!trainingUsed(s, r, externalAware)) return -1;
  const int f = sliceOf(s, r);
  return f < 0 || (check && rows::rowMissing(r, h)) ? -1 : f;
}

// Runs fn(row, slice) for the used training rows of a block.
template <typename Fn>
int usedRows(SelectionState* s, const PageView* v, bool externalAware, Fn&& fn) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    const int f = usedSlice(s, h, r, check, externalAware);
    if (f >= 0) fn(r, f);
  });
}

// ---- Each effect's own block ----

int64_t blocksLength(const SelectionState* s) {
  int64_t n = 0;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) n += tri(s->layout.columnCount[e]);
  return n;
}

uint32_t effectBlocksLength(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(blocksLength(s) * slices(s));
}

int effectBlocksMt(SelectionState* s, const PageView* v, double* buffer, uint32_t) {
  const int64_t total = blocksLength(s);
  return usedRows(s, v, true, [&](const rows::Row& r, int f) {
    double* B = buffer + f * total;
    for (int32_t e = 0; e < s->layout.effectCount; ++e) {
      const int32_t c = s->layout.columnCount[e];
      if (s->layout.sparseIndex[e] < 0) {
        const double* x = r.dense + s->layout.denseOffset[e];
        const double* centre = effectCentres(s, e);
        auto at = [&](int32_t i) { return centre ? x[i] - centre[i] : x[i]; };
        for (int32_t i = 0; i < c; ++i) {
          const double ax = r.a * at(i);
          for (int32_t j = 0; j <= i; ++j) B[pk(i, j)] += ax * at(j);
        }
      } else {
        const int j = s->layout.sparseIndex[e], ns = s->layout.sparseEffectCount;
        for (int32_t k = r.sparseBegin(j); k < r.sparseEnd(j); ++k) {
          const double av = r.a * r.sparse[k];
          const int32_t ck = r.index(ns, k);
          for (int32_t k2 = r.sparseBegin(j); k2 <= k; ++k2)
            B[pkAny(ck, r.index(ns, k2))] += av * r.sparse[k2];
        }
      }
      B += tri(c);
    }
  });
}

void effectBlocksMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  for (int f = 0; f < slices(s); ++f) {
    double** blocks = kfoldOn(s) ? s->foldRecs[f].blocks : s->sweep.effectBlocks;
    for (int32_t e = 0; e < s->layout.effectCount; ++e) {
      copyDoubles(blocks[e], sum, tri(s->layout.columnCount[e]));
      sum += tri(s->layout.columnCount[e]);
    }
  }
}

// ---- Rows of the entering effect in A ----

uint32_t countTimesSlices(const SelectionState* s, int32_t count) {
  return static_cast<uint32_t>(static_cast<int64_t>(count) * slices(s));
}

// out(g, j) adds into element (g, j) of the new rows; g runs over the new effect's columns.
template <typename Add>
void newRowTerms(const SelectionState* s, const rows::Row& r, Add&& add) {
  const int32_t k = s->sweep.passEffect, o = s->sweep.sscpOrder;
  const double y = rows::centredResponse(s, r);
  auto row = [&](int64_t g, double t) {
    add(g, 0, t * y);
    for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
      const int32_t e = s->sweep.entryOrder[pos];
      const int64_t first = s->sweep.firstColumn[e];
      rows::forCentredValues(s, r, e, [&](int32_t i, double x) {
        if (first + i <= g) add(g, first + i, t * x);
      });
    }
  };
  rows::forCentredValues(s, r, k, [&](int32_t i, double v) {
    const double t = r.a * v;
    if (t != 0) row(o + i, t);
  });
}

int effectSscpMt(SelectionState* s, const PageView* v, double* buffer, uint32_t length) {
  const int64_t slice = length / slices(s), base = tri(s->sweep.sscpOrder);
  return usedRows(s, v, true, [&](const rows::Row& r, int f) {
    double* out = buffer + f * slice - base;
    newRowTerms(s, r, [&](int64_t g, int64_t j, double t) { out[pk(g, j)] += t; });
  });
}

void effectSscpMerge(SelectionState* s, const double* sum, uint32_t length, int32_t) {
  const int64_t slice = length / slices(s), base = tri(s->sweep.sscpOrder);
  if (!kfoldOn(s)) {
    copyDoubles(s->sweep.sscp + base, sum, slice);
    return;
  }
  for (int f = 0; f < s->folds; ++f)
    copyDoubles(s->foldRecs[f].sscp + base, sum + f * slice, slice);
}

// ---- The store: response row and an effect's rows ----

uint32_t responseCrossLength(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>((s->layout.paramCount + 1) * slices(s));
}

// Store columns [lo, hi): a pass summed by ranges of columns makes a range of them at a time,
// each row of its sums as its hi - lo values; a pass block by block makes every column.
struct Window {
  int64_t lo = 0, hi = 0;
  int64_t width() const { return hi - lo; }
};

// The part of a dense run (run[2] columns, from store column run[0] and from value run[1] of a
// row's dense values) within the window: its first value, its first place in the window and its
// length (0 when the run lies outside).
struct RunPart {
  int64_t value = 0, out = 0;
  int32_t n = 0;
};
RunPart partOf(const int32_t* run, Window w) {
  const int64_t from = std::max<int64_t>(run[0], w.lo);
  const int64_t to = std::min<int64_t>(int64_t{run[0]} + run[2], w.hi);
  if (from >= to) return {};
  return {run[1] + (from - run[0]), from - w.lo, static_cast<int32_t>(to - from)};
}

// into[j - lo] += v x_j for the stored values x_j of sparse effect e whose store columns j lie
// within the window.
void addSparseTerms(const SelectionState* s, const rows::Row& r, int32_t e, Window w, double v,
                    double* into) {
  const int64_t first = s->sweep.fullOffset[e] - w.lo;
  if (first >= w.width() || first + s->layout.columnCount[e] <= 0) return;
  rows::forEffectValues(s, r, e, [&](int32_t i, double x) {
    const int64_t j = first + i;
    if (j >= 0 && j < w.width()) into[j] += v * x;
  });
}

// at[j] += t v_j, and at2[j] += u v_j with a second row, for the n values v_j of a dense run:
// x[j] - c[j] about centres, else x[j].
template <bool kCentred, bool kSecond>
void addRun(double* __restrict at, double* __restrict at2, const double* __restrict x,
            const double* __restrict c, double t, double u, int32_t n) {
  for (int32_t j = 0; j < n; ++j) {
    const double v = kCentred ? x[j] - c[j] : x[j];
    at[j] += t * v;
    if constexpr (kSecond) at2[j] += u * v;
  }
}

// row[0] += t y, row[offset of each column] += t x over every column of every effect within the
// window (row and second hold the window's columns), the values about their centres when the
// sums are (rows::forCentredValues); with a second row, u into it the same way, each value read
// once for both.
void storeRowTerms(const SelectionState* s, const rows::Row& r, Window w, double t, double* row,
                   double u = 0, double* second = nullptr) {
  if (w.lo == 0) {
    const double y = rows::centredResponse(s, r);
    row[0] += t * y;
    if (second) second[0] += u * y;
  }
  const double* centres = s->sweep.centres;
  const int32_t* run = s->sweep.denseRuns;
  for (int32_t i = 0; i < s->sweep.denseRunCount; ++i, run += 3) {
    const RunPart p = partOf(run, w);
    if (p.n == 0) continue;
    double* at = row + p.out;
    double* at2 = second ? second + p.out : nullptr;
    const double* x = r.dense + p.value;
    const double* c = centres ? centres + 1 + p.value : nullptr;
    if (c && at2)
      addRun<true, true>(at, at2, x, c, t, u, p.n);
    else if (c)
      addRun<true, false>(at, at2, x, c, t, u, p.n);
    else if (at2)
      addRun<false, true>(at, at2, x, c, t, u, p.n);
    else
      addRun<false, false>(at, at2, x, c, t, u, p.n);
  }
  for (int32_t j = 0; j < s->layout.sparseEffectCount; ++j) {
    const int32_t e = s->layout.sparseEffects[j];
    addSparseTerms(s, r, e, w, t, row);
    if (second) addSparseTerms(s, r, e, w, u, second);
  }
}

// Rows whose terms go into the two store rows together, in row order: each element still adds
// the rows' terms one after the other, so the sums are those of one row at a time bit for bit,
// while the two rows are read and written once for all of them. A term of 0 leaves an element
// as it was (a sum that starts at +0 is never -0), so a row adds its terms to both rows
// whatever its t and u; only in a block marked finite, where 0 times a value is 0.
struct RowBatch {
  static constexpr int kMost = 4;
  rows::Row row[kMost];
  double t[kMost], u[kMost];
  int count = 0, slice = 0;
};

// at[j] += t_i v_ij and at2[j] += u_i v_ij for rows i = 0 .. B-1 in turn, over the n values of
// a dense run (about their centres c when kCentred).
template <bool kCentred, int B>
void addRuns(double* __restrict at, double* __restrict at2, const double* const* x,
             const double* __restrict c, const double* t, const double* u, int32_t n) {
  const double* __restrict x0 = x[0];
  const double* __restrict x1 = x[B > 1 ? 1 : 0];
  const double* __restrict x2 = x[B > 2 ? 2 : 0];
  const double* __restrict x3 = x[B > 3 ? 3 : 0];
  for (int32_t j = 0; j < n; ++j) {
    const double c0 = kCentred ? c[j] : 0.0;
    double a = at[j], b = at2[j];
    const double v0 = kCentred ? x0[j] - c0 : x0[j];
    a += t[0] * v0, b += u[0] * v0;
    if constexpr (B > 1) {
      const double v1 = kCentred ? x1[j] - c0 : x1[j];
      a += t[1] * v1, b += u[1] * v1;
    }
    if constexpr (B > 2) {
      const double v2 = kCentred ? x2[j] - c0 : x2[j];
      a += t[2] * v2, b += u[2] * v2;
    }
    if constexpr (B > 3) {
      const double v3 = kCentred ? x3[j] - c0 : x3[j];
      a += t[3] * v3, b += u[3] * v3;
    }
    at[j] = a, at2[j] = b;
  }
}

template <bool kCentred>
void addBatchRun(double* at, double* at2, const double* const* x, const double* c,
                 const RowBatch& b, int32_t n) {
  switch (b.count) {
    case 1:
      return addRuns<kCentred, 1>(at, at2, x, c, b.t, b.u, n);
    case 2:
      return addRuns<kCentred, 2>(at, at2, x, c, b.t, b.u, n);
    case 3:
      return addRuns<kCentred, 3>(at, at2, x, c, b.t, b.u, n);
    default:
      return addRuns<kCentred, 4>(at, at2, x, c, b.t, b.u, n);
  }
}

// The batch's terms within the window, as storeRowTerms adds each row's to `row` (t) and
// `second` (u).
void flushBatch(const SelectionState* s, RowBatch& b, Window w, double* row, double* second) {
  if (w.lo == 0)  // the response's column
    for (int i = 0; i < b.count; ++i) {
      const double y = rows::centredResponse(s, b.row[i]);
      row[0] += b.t[i] * y;
      second[0] += b.u[i] * y;
    }
  const double* centres = s->sweep.centres;
  const int32_t* run = s->sweep.denseRuns;
  const double* x[RowBatch::kMost];
  for (int32_t k = 0; k < s->sweep.denseRunCount; ++k, run += 3) {
    const RunPart p = partOf(run, w);
    if (p.n == 0) continue;
    for (int i = 0; i < b.count; ++i) x[i] = b.row[i].dense + p.value;
    if (centres)
      addBatchRun<true>(row + p.out, second + p.out, x, centres + 1 + p.value, b, p.n);
    else
      addBatchRun<false>(row + p.out, second + p.out, x, nullptr, b, p.n);
  }
  for (int32_t j = 0; j < s->layout.sparseEffectCount; ++j) {
    const int32_t e = s->layout.sparseEffects[j];
    for (int i = 0; i < b.count; ++i) {
      addSparseTerms(s, b.row[i], e, w, b.t[i], row);
      addSparseTerms(s, b.row[i], e, w, b.u[i], second);
    }
  }
  b.count = 0;
}

// The entering column's value in the row less its regression on the model's swept columns,
// every value about its centre when the sums are.
double residualOf(const SelectionState* s, const rows::Row& r) {
  const RunningScores& g = s->sweep.running;
  const double* c = s->sweep.centres;
  double u = 0;
  rows::forCentredValues(s, r, g.entering, [&](int32_t, double x) { u = x; });
  for (int32_t i = 0; i < g.denseCount; ++i) {
    const double x = r.dense[g.denseAt[i]];
    u -= (c ? x - c[1 + g.denseAt[i]] : x) * g.denseWeight[i];
  }
  for (int32_t i = 0; i < g.sparseCount; ++i) {
    const int32_t e = g.sparseModel[i];
    const double* w = g.weights + s->sweep.fullOffset[e];
    rows::forEffectValues(s, r, e, [&](int32_t j, double x) { u -= x * w[j]; });
  }
  return u;
}

int responseCrossMt(SelectionState* s, const PageView* v, double* buffer, uint32_t) {
  const int64_t L = s->layout.paramCount + 1;
  return usedRows(s, v, false, [&](const rows::Row& r, int f) {
    const double t = r.a * rows::centredResponse(s, r);
    if (t != 0) storeRowTerms(s, r, Window{0, L}, t, buffer + f * L);
  });
}

void responseCrossMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  const int64_t L = s->layout.paramCount + 1;
  if (!kfoldOn(s)) {
    copyDoubles(s->sweep.store, sum, L);
    return;
  }
  for (int f = 0; f < s->folds; ++f) copyDoubles(s->foldRecs[f].store, sum + f * L, L);
}

// With the running scores' update under way, each slice ends with the crossproducts with
// the entering column's residual.
int64_t scoresLength(const SelectionState* s) {
  return s->sweep.running.entering == s->sweep.passEffect ? s->layout.paramCount + 1 : 0;
}

// The sums of an entering effect's pass: for each slice, a store row for each of the effect's
// columns and, with the running scores' update (one column), the residual's row, each of L
// columns. A row's terms are made of its values: its slice, a times each of the effect's
// values about its centre (t) and a times the residual (u), 0 without the update.
struct EntryRows {
  int32_t c = 0;
  bool scores = false;
  int64_t L = 0;
  int64_t perSlice() const { return c + (scores ? 1 : 0); }
  uint32_t values() const { return static_cast<uint32_t>(2 + c); }
};

EntryRows entryRows(const SelectionState* s) {
  return {colsOf(s->layout, s->sweep.passEffect), scoresLength(s) > 0, s->layout.paramCount + 1};
}

void entryValues(const SelectionState* s, const rows::Row& r, int slice, const EntryRows& g,
                 double* values) {
  values[0] = slice;
  std::fill(values + 1, values + 1 + g.c, 0.0);
  rows::forCentredValues(s, r, s->sweep.passEffect,
                         [&](int32_t i, double x) { values[1 + i] = r.a * x; });
  values[1 + g.c] = g.scores ? r.a * residualOf(s, r) : 0;
}

// Adds rows' terms, from their values, into the window's part of an entering effect's sums:
// every row and slice of them, each of the window's width. A term whose factor is 0 is left
// out (a value may not be finite where its block is not marked finite); in a block marked finite
// one column's rows with the residual's go in batches.
class EntryTerms {
 public:
  EntryTerms(const SelectionState* s, const EntryRows& g, Window w, double* out, bool finite)
      : s_(s), g_(g), w_(w), out_(out), batched_(finite && g.scores) {}

  void add(const rows::Row& r, const double* values) {
    const auto slice = static_cast<int>(values[0]);
    if (batched_) {
      if (b_.count > 0 && (slice != b_.slice || b_.count == RowBatch::kMost)) flush();
      b_.slice = slice;
      b_.row[b_.count] = r;
      b_.t[b_.count] = values[1];
      b_.u[b_.count++] = values[1 + g_.c];
      return;
    }
    double* rows0 = sliceRows(slice);
    if (g_.scores) {
      const double t = values[1], u = values[1 + g_.c];
      double* residual = rows0 + g_.c * w_.width();
      if (t != 0)
        storeRowTerms(s_, r, w_, t, rows0, u, u != 0 ? residual : nullptr);
      else if (u != 0)
        storeRowTerms(s_, r, w_, u, residual);
      return;
    }
    for (int32_t i = 0; i < g_.c; ++i)
      if (values[1 + i] != 0) storeRowTerms(s_, r, w_, values[1 + i], rows0 + i * w_.width());
  }

  void finish() {
    if (b_.count > 0) flush();
  }

 private:
  double* sliceRows(int slice) const { return out_ + slice * g_.perSlice() * w_.width(); }
  void flush() {
    double* rows0 = sliceRows(b_.slice);
    flushBatch(s_, b_, w_, rows0, rows0 + g_.c * w_.width());
  }

  const SelectionState* s_;
  const EntryRows g_;
  const Window w_;
  double* out_;
  const bool batched_;
  RowBatch b_;
};

int growSscpMt(SelectionState* s, const PageView* v, double* buffer, uint32_t) {
  const EntryRows g = entryRows(s);
  EntryTerms terms(s, g, Window{0, g.L}, buffer, blockAllFinite(*v));
  std::vector<double> values(g.values());
  const int rc = usedRows(s, v, false, [&](const rows::Row& r, int slice) {
    entryValues(s, r, slice, g, values.data());
    terms.add(r, values.data());
  });
  if (rc == 0) terms.finish();
  return rc;
}

// Summed by ranges of columns: every row's values first (a slice of -1 for a row left out),
// then the rows' terms within each range.
uint32_t storeColumns(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->layout.paramCount + 1);
}
uint32_t entryValueCount(const SelectionState* s, int32_t) { return entryRows(s).values(); }

int growSscpWeigh(SelectionState* s, const PageView* v, double* values) {
  const EntryRows g = entryRows(s);
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    const int slice = usedSlice(s, h, r, check, false);
    if (slice >= 0)
      entryValues(s, r, slice, g, values);
    else
      values[0] = -1;
    values += g.values();
  });
}

int growSscpColumns(SelectionState* s, const PageView* v, const double* values, double* buffer,
                    uint32_t lo, uint32_t hi) {
  const EntryRows g = entryRows(s);
  EntryTerms terms(s, g, Window{lo, hi}, buffer, blockAllFinite(*v));
  const int rc = rows::forEachRow(s, rows::shapeOf(s), *v, true, [&](const rows::Row& r) {
    if (values[0] >= 0) terms.add(r, values);
    values += g.values();
  });
  if (rc == 0) terms.finish();
  return rc;
}

void growSscpMerge(SelectionState* s, const double* sum, uint32_t length, int32_t) {
  const int64_t slice = length / slices(s), scores = scoresLength(s), n = slice - scores;
  const int64_t at = static_cast<int64_t>(s->sweep.storeRowsUsed) * (s->layout.paramCount + 1);
  double* cross = s->sweep.running.cross;
  if (scores > 0) std::fill(cross, cross + scores, 0.0);
  for (int f = 0; f < slices(s); ++f) {
    const double* part = sum + f * slice;
    copyDoubles((kfoldOn(s) ? s->foldRecs[f].store : s->sweep.store) + at, part, n);
    if (scores > 0) addVector(cross, part + n, scores);
  }
}

const ColumnSplit kGrowSscpSplit = {asLength<storeColumns>, asLength<entryValueCount>,
                                    asWeigh<growSscpWeigh>, asColumns<growSscpColumns>};

}  // namespace

const RowKernel kernEffectBlocks = {
    "kernEffectBlocks",           nullptr, asMt<effectBlocksMt>,
    asLength<effectBlocksLength>, nullptr, asMerge<effectBlocksMerge>};
const RowKernel kernEffectSscp = {"kernEffectSscp",           nullptr, asMt<effectSscpMt>,
                                  asLength<countTimesSlices>, nullptr, asMerge<effectSscpMerge>};
const RowKernel kernResponseCross = {
    "kernResponseCross",           nullptr, asMt<responseCrossMt>,
    asLength<responseCrossLength>, nullptr, asMerge<responseCrossMerge>};
const RowKernel kernGrowSscp = {.name = "kernGrowSscp",
                                .mt = asMt<growSscpMt>,
                                .resultLength = asLength<countTimesSlices>,
                                .merge = asMerge<growSscpMerge>,
                                .split = &kGrowSscpSplit};

}  // namespace vsf
