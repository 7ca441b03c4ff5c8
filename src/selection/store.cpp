// The per-effect crossproduct store of the incremental mode: the response row and, for every
// effect that entered, its crossproducts with every parameter.
#include <algorithm>

#include "selection/engine_internal.h"

namespace vsf {

int buildResponseStore(SelectionState* s) {
  const int64_t L = s->paramCount + 1;
  if (int rc = runDataPass(s, kernResponseCross, 0); rc != 0) return rc;
  s->storeRowsUsed = 1;
  complementFolds(s, s->store, &FoldRecord::store, 0, L);
  return 0;
}

int growEffectCrossproducts(SelectionState* s, int32_t k) {
  if (s->storeSlot[k] >= 0) return 0;  // an effect keeps its rows after it leaves
  const int32_t c = colsOf(s, k), u = s->storeRowsUsed, R = s->storeRowCapacity;
  const int32_t L = s->paramCount + 1;
  if (u + c >= R) {
    int32_t grown = 2 * R < u + c ? u + c + R : 2 * R;
    grown = std::min(grown, L);
    if (int rc = growEffectStore(s, grown, L); rc != 0) return rc;
  }
  const int64_t n = static_cast<int64_t>(c) * L;
  s->passEffect = k;
  if (int rc = runDataPass(s, kernGrowSscp, static_cast<int32_t>(n)); rc != 0) return rc;
  complementFolds(s, s->store, &FoldRecord::store, static_cast<int64_t>(u) * L, n);
  s->storeSlot[k] = u;
  s->storeRowsUsed = u + c;
  return 0;
}

}  // namespace vsf
