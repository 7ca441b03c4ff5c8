// The per-effect crossproduct store of the incremental mode: the response row and, for every
// effect that entered, its crossproducts with every parameter.
#include <algorithm>

#include "selection/engine_internal.h"

namespace vsf {

int buildResponseStore(SelectionState* s) {
  const int64_t L = s->layout.paramCount + 1;
  if (int rc = runDataPass(s, kernResponseCross, 0); rc != 0) return rc;
  s->sweep.storeRowsUsed = 1;
  complementFolds(s, s->sweep.store, &FoldRecord::store, 0, L);
  return 0;
}

int growEffectCrossproducts(SelectionState* s, int32_t k) {
  if (s->sweep.storeSlot[k] >= 0) return 0;  // an effect keeps its rows after it leaves
  const int32_t c = colsOf(s->layout, k), u = s->sweep.storeRowsUsed, R = s->sweep.storeRowCapacity;
  const int32_t L = s->layout.paramCount + 1;
  if (u + c >= R) {
    int32_t grown = 2 * R < u + c ? u + c + R : 2 * R;
    grown = std::min(grown, L);
    if (int rc = growEffectStore(s, grown, L); rc != 0) return rc;
  }
  const int64_t n = static_cast<int64_t>(c) * L;
  s->sweep.passEffect = k;
  if (int rc = runDataPass(s, kernGrowSscp, static_cast<int32_t>(n)); rc != 0) return rc;
  complementFolds(s, s->sweep.store, &FoldRecord::store, static_cast<int64_t>(u) * L, n);
  s->sweep.storeSlot[k] = u;
  s->sweep.storeRowsUsed = u + c;
  return 0;
}

}  // namespace vsf
