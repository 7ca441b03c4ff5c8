// The per-effect crossproduct store of the incremental mode: the response row and, for every
// effect that entered, its crossproducts with every parameter.
#include <algorithm>

#include "base/codes.h"
#include "selection/engine_internal.h"

namespace vsf {

namespace {

// The runs of dense effects whose values lie side by side in a row as their places do in a
// store row: a pass adds each run in one loop.
int layOutDenseRuns(SelectionState* s) {
  SweepMatrices& w = s->sweep;
  if (w.denseRuns) return 0;
  if (!(w.denseRuns = poolArray<int32_t>(s, 3 * int64_t{s->layout.effectCount})))
    return rc::kMemory;
  int32_t* run = nullptr;
  w.denseRunCount = 0;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    const int32_t at = w.fullOffset[e], from = s->layout.denseOffset[e];
    const int32_t c = s->layout.columnCount[e];
    if (s->layout.sparseIndex[e] >= 0 || c == 0) continue;
    if (run && run[0] + run[2] == at && run[1] + run[2] == from) {
      run[2] += c;
      continue;
    }
    run = w.denseRuns + 3 * w.denseRunCount++;
    run[0] = at, run[1] = from, run[2] = c;
  }
  return 0;
}

}  // namespace

int buildResponseStore(SelectionState* s) {
  const int64_t L = s->layout.paramCount + 1;
  if (int rc = layOutDenseRuns(s); rc != 0) return rc;
  if (int rc = runDataPass(s, kernResponseCross, 0); rc != 0) return rc;
  s->sweep.storeRowsUsed = 1;
  complementFolds(s, s->sweep.store, &FoldRecord::store, 0, L);
  return 0;
}

int growEffectCrossproducts(SelectionState* s, int32_t k) {
  if (s->sweep.storeSlot[k] >= 0) {  // an effect keeps its rows after it leaves
    prepareScoreUpdate(s, k);
    return 0;
  }
  const int32_t c = colsOf(s->layout, k), u = s->sweep.storeRowsUsed, R = s->sweep.storeRowCapacity;
  const int32_t L = s->layout.paramCount + 1;
  if (u + c >= R) {
    int32_t grown = 2 * R < u + c ? u + c + R : 2 * R;
    grown = std::min(grown, L);
    if (int rc = growEffectStore(s, grown, L); rc != 0) return rc;
  }
  const int64_t n = static_cast<int64_t>(c) * L;
  s->sweep.passEffect = k;
  // The same pass sums the crossproducts with the column's residual that the search's
  // running scores follow the entry by.
  const int64_t scores = prepareScoreUpdate(s, k) ? L : 0;
  if (int rc = runDataPass(s, kernGrowSscp, static_cast<int32_t>(n + scores)); rc != 0) return rc;
  complementFolds(s, s->sweep.store, &FoldRecord::store, static_cast<int64_t>(u) * L, n);
  s->sweep.storeSlot[k] = u;
  s->sweep.storeRowsUsed = u + c;
  return 0;
}

}  // namespace vsf
