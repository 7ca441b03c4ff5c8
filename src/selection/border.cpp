// New rows of an entering effect in the incremental mode: assembled from the store or by a
// pass, then bordered onto the swept matrix.
#include <algorithm>
#include <vector>

#include "selection/engine_internal.h"

namespace vsf {

namespace {

// Every other model effect has store rows, so a trial candidate needs no pass.
bool othersStored(const SelectionState* s, int32_t k) {
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    if (e != k && s->sweep.storeSlot[e] < 0) return false;
  }
  return true;
}

// Rows o .. o+c-1 of A from a store (rows of p + 1 values) and, for a candidate without
// store rows, its own block.
void rowsFromStore(const SelectionState* s, int32_t k, int32_t o, const double* store,
                   const double* block, double* A) {
  const int64_t L = s->layout.paramCount + 1;
  const int32_t c = colsOf(s->layout, k), offk = s->sweep.fullOffset[k],
                slotk = s->sweep.storeSlot[k];
  for (int32_t i = 0; i < c; ++i) {
    const int64_t g = o + i;
    A[pk(g, 0)] = store[offk + i];
    for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
      const int32_t e = s->sweep.entryOrder[pos];
      for (int32_t j = 0; j < colsOf(s->layout, e); ++j) {
        if (e == k && j > i) break;
        const int64_t col = firstCol(s->sweep, e) + j;
        double v;
        if (e == k && slotk < 0)
          v = block[pk(i, j)];
        else if (s->sweep.storeSlot[e] >= 0)
          v = store[(s->sweep.storeSlot[e] + j) * L + offk + i];
        else
          v = store[(slotk + i) * L + s->sweep.fullOffset[e] + j];
        A[pk(g, col)] = v;
      }
    }
  }
}

}  // namespace

void complementFolds(SelectionState* s, double* main, double* FoldRecord::*field, int64_t offset,
                     int64_t n) {
  if (!kfoldOn(s)) return;
  std::fill(main + offset, main + offset + n, 0.0);
  for (int32_t f = 0; f < s->folds; ++f)
    addVector(main + offset, s->foldRecs[f].*field + offset, n);
  for (int32_t f = 0; f < s->folds; ++f) {
    double* fold = s->foldRecs[f].*field + offset;
    for (int64_t i = 0; i < n; ++i) fold[i] = main[offset + i] - fold[i];
  }
}

int assembleNewRows(SelectionState* s, int32_t k, int32_t o, bool fromTrial) {
  const int32_t c = colsOf(s->layout, k);
  const int64_t begin = tri(o), count = tri(o + c) - begin;
  std::fill(s->sweep.sscp + begin, s->sweep.sscp + begin + count, 0.0);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f)
    std::fill(s->foldRecs[f].sscp + begin, s->foldRecs[f].sscp + begin + count, 0.0);
  if (s->sweep.storeOn && (s->sweep.storeSlot[k] >= 0 || (fromTrial && othersStored(s, k)))) {
    rowsFromStore(s, k, o, s->sweep.store, s->sweep.effectBlocks[k], s->sweep.sscp);
    for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f)
      rowsFromStore(s, k, o, s->foldRecs[f].store, s->foldRecs[f].blocks[k], s->foldRecs[f].sscp);
    return 0;
  }
  s->sweep.passEffect = k;
  if (int rc = runDataPass(s, kernEffectSscp, static_cast<int32_t>(count)); rc != 0) return rc;
  complementFolds(s, s->sweep.sscp, &FoldRecord::sscp, begin, count);
  return 0;
}

void borderNewRows(SelectionState* s, double* S, const double* A, const char* flags, int32_t o,
                   int32_t n) {
  std::vector<int32_t> M;
  for (int32_t u = 1; u < o; ++u)
    if (flags[u] == '1') M.push_back(u);
  double* w = s->sweep.work;
  for (int32_t r = o; r < n; ++r) {
    // w = A_MM^-1 A_Mr from the swept block, which is symmetric.
    for (int32_t v : M) {
      double t = 0;
      for (int32_t v2 : M) t += S[pkAny(v, v2)] * A[pk(r, v2)];
      w[v] = t;
    }
    auto reduced = [&](int64_t u) {  // A(u, r) - A_uM A_MM^-1 A_Mr for an unswept u
      double t = A[pkAny(r, u)];
      for (int32_t v : M) t -= A[pkAny(u, v)] * w[v];
      return t;
    };
    for (int32_t u = 0; u < o; ++u) S[pk(r, u)] = flags[u] == '1' ? w[u] : reduced(u);
    for (int32_t j = o; j <= r; ++j) S[pk(r, j)] = reduced(j);
  }
}

int32_t eliminateNewColumns(SelectionState* s, double* S, const double* A, int32_t o, int32_t n) {
  int32_t accepted = 0;
  for (int32_t g = o; g < n; ++g) {
    const double t = pivotTolerance('0', pivotReference(s, A, s->sweep.flags, g), A[pk(g, g)]);
    const double d = S[pk(g, g)];
    if (!(d > t)) continue;
    accepted += 1;
    S[0] -= S[pk(g, 0)] * S[pk(g, 0)] / d;
    for (int32_t l = g + 1; l < n; ++l) {
      const double lg = S[pk(l, g)] / d;
      S[pk(l, 0)] -= lg * S[pk(g, 0)];
      for (int32_t m = g + 1; m <= l; ++m) S[pk(l, m)] -= lg * S[pk(m, g)];
    }
  }
  return accepted;
}

}  // namespace vsf
