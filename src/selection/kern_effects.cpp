// Kernels of the incremental mode: each effect's own block, the rows of an entering effect in
// A, the response row of the store and an effect's store rows.
#include <algorithm>
#include <utility>

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

// Runs fn(row, slice) for the used training rows of a block, those with a missing value left
// out (tested only in a block not marked finite).
template <typename Fn>
int usedRows(SelectionState* s, const PageView* v, bool externalAware, Fn&& fn) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!trainingUsed(s, r, externalAware)) return;
    const int f = sliceOf(s, r);
    if (f < 0 || (check && rows::rowMissing(r, h))) return;
    fn(r, f);
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

// row[0] += t y, row[offset of each column] += t x over every column of every effect, the
// values about their centres when the sums are (rows::forCentredValues); with a second row, u
// into it the same way, each value read once for both.
void storeRowTerms(const SelectionState* s, const rows::Row& r, double t, double* row, double u = 0,
                   double* second = nullptr) {
  const double y = rows::centredResponse(s, r);
  row[0] += t * y;
  if (second) second[0] += u * y;
  const double* centres = s->sweep.centres;
  const int32_t* run = s->sweep.denseRuns;
  for (int32_t i = 0; i < s->sweep.denseRunCount; ++i, run += 3) {
    double* at = row + run[0];
    double* at2 = second ? second + run[0] : nullptr;
    const double* x = r.dense + run[1];
    const double* c = centres ? centres + 1 + run[1] : nullptr;
    if (c && at2)
      addRun<true, true>(at, at2, x, c, t, u, run[2]);
    else if (c)
      addRun<true, false>(at, at2, x, c, t, u, run[2]);
    else if (at2)
      addRun<false, true>(at, at2, x, c, t, u, run[2]);
    else
      addRun<false, false>(at, at2, x, c, t, u, run[2]);
  }
  for (int32_t j = 0; j < s->layout.sparseEffectCount; ++j) {
    const int32_t e = s->layout.sparseEffects[j];
    for (auto [into, v] : {std::pair{row, t}, std::pair{second, u}}) {
      if (!into) continue;
      double* at = into + s->sweep.fullOffset[e];
      rows::forEffectValues(s, r, e, [&, v = v](int32_t i, double x) { at[i] += v * x; });
    }
  }
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
    if (t != 0) storeRowTerms(s, r, t, buffer + f * L);
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

int growSscpMt(SelectionState* s, const PageView* v, double* buffer, uint32_t length) {
  const int64_t L = s->layout.paramCount + 1, slice = length / slices(s);
  const int64_t rowsLength = slice - scoresLength(s);
  const int32_t k = s->sweep.passEffect;
  return usedRows(s, v, false, [&](const rows::Row& r, int f) {
    double* rows0 = buffer + f * slice;
    if (rowsLength < slice) {  // one column, and its residual's terms beside its own
      double t = 0;
      rows::forCentredValues(s, r, k, [&](int32_t, double x) { t = r.a * x; });
      const double u = r.a * residualOf(s, r);
      if (t != 0)
        storeRowTerms(s, r, t, rows0, u, u != 0 ? rows0 + rowsLength : nullptr);
      else if (u != 0)
        storeRowTerms(s, r, u, rows0 + rowsLength);
      return;
    }
    rows::forCentredValues(s, r, k, [&](int32_t i, double x) {
      const double t = r.a * x;
      if (t != 0) storeRowTerms(s, r, t, rows0 + i * L);
    });
  });
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

}  // namespace

const RowKernel kernEffectBlocks = {
    "kernEffectBlocks",           nullptr, asMt<effectBlocksMt>,
    asLength<effectBlocksLength>, nullptr, asMerge<effectBlocksMerge>};
const RowKernel kernEffectSscp = {"kernEffectSscp",           nullptr, asMt<effectSscpMt>,
                                  asLength<countTimesSlices>, nullptr, asMerge<effectSscpMerge>};
const RowKernel kernResponseCross = {
    "kernResponseCross",           nullptr, asMt<responseCrossMt>,
    asLength<responseCrossLength>, nullptr, asMerge<responseCrossMerge>};
const RowKernel kernGrowSscp = {"kernGrowSscp",   nullptr,
                                asMt<growSscpMt>, asLength<countTimesSlices>,
                                nullptr,          asMerge<growSscpMerge>};

}  // namespace vsf
