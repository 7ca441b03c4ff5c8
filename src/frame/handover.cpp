// The selected model handed to the post-fit bridge: a reduced copy of the design holding the
// selected effects, their estimates, optionally their crossproducts with the response and
// the data pass's sums, and the fit statistics.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "frame/bridge.h"
#include "frame/state.h"

namespace vsf {

namespace {

template <typename T>
T* fromPool(HostPool* pool, int64_t n) {
  return static_cast<T*>(kernel().poolAlloc(
      pool, sizeof(T) * static_cast<size_t>(std::max<int64_t>(n, 1)), kAllocZero));
}

int64_t packedIndex(int64_t i, int64_t j) {
  return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i;
}

// The design effect and the column map of a selection effect.
struct EffectSource {
  int32_t effect = 0;
  int32_t columns = 0;
  const int32_t* map = nullptr;
};
EffectSource sourceOf(const VsfState* state, const SelectionState* sel, int32_t k) {
  const std::vector<CandidateEntry>* table = state->group.candidates.table;
  if (table && k < static_cast<int32_t>(table->size())) {
    const CandidateEntry& c = (*table)[static_cast<size_t>(k)];
    return {c.effect, c.columns, c.columnMap};
  }
  return {k, sel->layout.columnCount ? sel->layout.columnCount[k] : 0, nullptr};
}

// Design variables' option words, cleared while the reduced design is named.
class OptionWords {
 public:
  OptionWords(ZDesign* d) : d_(d) {
    for (int32_t i = 0; i < d->designVarCount; ++i) {
      saved_.push_back(d->designVars[i].details);
      d->designVars[i].details = 0;
    }
  }
  ~OptionWords() {
    for (int32_t i = 0; i < d_->designVarCount; ++i) d_->designVars[i].details = saved_[i];
  }

 private:
  ZDesign* d_;
  std::vector<uint8_t> saved_;
};

struct Reduced {
  ZDesign* copy = nullptr;
  std::vector<int32_t> map;  // design effect -> reduced effect, -1 when not selected
  int32_t columns = 0;
  double* estimates = nullptr;
  double* sscp = nullptr;        // stored model: order columns + 1, the response last
  int32_t* positions = nullptr;  // each reduced column's position in the selection's A
  double* scales = nullptr;
};

// The selected design effects in design order, renumbered.
int reduceDesign(const VsfState* state, const SelectionState* sel, ZDesign* d, HostPool* pool,
                 bool stored, Reduced* r) {
  std::vector<uint8_t> marked(static_cast<size_t>(d->effectCount), 0);
  for (int32_t pos = 0; pos < sel->sweep.effectsInModel; ++pos) {
    const int32_t de = sourceOf(state, sel, sel->sweep.entryOrder[pos]).effect;
    if (de < 0 || de >= d->effectCount || marked[de]) continue;
    marked[de] = 1;
    r->columns += d->effects[de].columnCount;
  }
  const int32_t c = r->columns;
  const int32_t count = static_cast<int32_t>(std::count(marked.begin(), marked.end(), 1));
  auto* effects = fromPool<ZEffect>(pool, count);
  r->estimates = fromPool<double>(pool, c);
  r->copy = fromPool<ZDesign>(pool, 1);
  if (!effects || !r->estimates || !r->copy) return rc::kMemory;
  if (stored) {
    r->sscp = fromPool<double>(pool, static_cast<int64_t>(c + 1) * (c + 2) / 2);
    r->positions = fromPool<int32_t>(pool, c + 1);
    if (!r->sscp || !r->positions) return rc::kMemory;
    std::fill(r->positions, r->positions + c, -1);
    r->positions[c] = 0;  // the response
  }
  const bool scaled =
      stored && !(d->flags & dflag::kFullRank) && state->group.modelSums.effectScales;
  if (scaled && !(r->scales = fromPool<double>(pool, count))) return rc::kMemory;
  r->map.assign(static_cast<size_t>(d->effectCount), -1);
  int32_t next = 0, column = 0;
  for (int32_t e = 0; e < d->effectCount; ++e) {
    if (!marked[e]) continue;
    std::memcpy(static_cast<void*>(&effects[next]), &d->effects[e], sizeof(ZEffect));
    effects[next].startColumn = column;
    column += d->effects[e].columnCount;
    if (scaled) r->scales[next] = state->group.modelSums.effectScales[e];
    r->map[e] = next++;
  }
  std::memcpy(static_cast<void*>(r->copy), d, sizeof(ZDesign));
  r->copy->columnCount = c;
  r->copy->effectCount = count;
  r->copy->effects = effects;
  return 0;
}

// Each selected column's estimate and its position in the selection's crossproducts.
void placeEstimates(const VsfState* state, const SelectionState* sel, const double* source,
                    Reduced* r) {
  for (int32_t k = 0; k < sel->layout.effectCount; ++k) {
    if (!inModel(sel->sweep.states[k])) continue;
    const EffectSource src = sourceOf(state, sel, k);
    if (src.effect < 0 || src.effect >= static_cast<int32_t>(r->map.size())) continue;
    const int32_t reduced = r->map[src.effect];
    if (reduced < 0) continue;
    const int32_t first = r->copy->effects[reduced].startColumn;
    for (int32_t i = 0; i < src.columns; ++i) {
      const int32_t col = first + (src.map ? src.map[i] : i);
      r->estimates[col] = source[sel->sweep.firstParam[k] + i];
      if (r->positions) r->positions[col] = sel->sweep.firstColumn[k] + i;
    }
  }
}

// The crossproducts of the selected columns, the response last.
void fillCrossproducts(const SelectionState* sel, Reduced* r) {
  const int32_t n = r->columns + 1;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j <= i; ++j) {
      const int32_t pi = r->positions[i], pj = r->positions[j];
      r->sscp[packedIndex(i, j)] =
          pi < 0 || pj < 0 ? 0.0 : plainCrossproduct(sel, sel->sweep.sscp, pi, pj);
    }
}

void setItem(BridgeObject* b, int32_t key, const void* value) {
  if (b->methods && b->methods->setItem) b->methods->setItem(b, key, value, 0);
}

}  // namespace

int passSelectedModel(VsfState* state, SelectionState* sel, HostPool* pool) {
  if (sel->run.status < 0) return 0;
  BridgeObject* bridge = state->res.bridge;
  if (!bridge) return 0;
  ZDesign* d = state->lev.design;
  if (!d || d->effectCount <= 0 || !sel->sweep.states) return rc::kMemory;
  const bool stored = state->settings.storeSelectedModel != 0;
  Reduced r;
  {
    OptionWords words(d);
    if (int rc = reduceDesign(state, sel, d, pool, stored, &r); rc != 0) return rc;
    // With model averaging these are the averaged estimates (of the refit pass after it).
    placeEstimates(state, sel, sel->sweep.estimates, &r);
    if (stored) fillCrossproducts(sel, &r);

    state->lev.design = r.copy;
    zcolnames(&state->lev);
    setItem(bridge, 3, r.estimates);
    if (stored) {
      setItem(bridge, 7, r.sscp);
      const double df = sel->totals.trainFreq - sel->sweep.sweptColumns;
      if (bridge->fit) {
        bridge->fit->block[1] = df > 0 ? std::max(sel->fit.trainSse, 0.0) / df : missingValue('.');
        bridge->fit->block[4] = df;
      }
      if (r.scales) setItem(bridge, 13, r.scales);
      setItem(bridge, 14, state->group.modelSums.allSums);  // means after the data pass
      setItem(bridge, 15, state->group.modelSums.trainSums);
    }
    setItem(bridge, 25, &sel->totals.sumWy);
    bridge->handOverWord = nullptr;
    if (state->settings.options.noInt) r.copy->flags |= dflag::kNoIntercept;
    if (bridge->methods && bridge->methods->run) bridge->methods->run(bridge);
    // The hand-over that ends the refit pass is followed by the group's own, which alone
    // completes it.
    const bool refitPass = state->settings.modelAverage.refit && state->group.refitPass;
    if (!refitPass && bridge->methods && bridge->methods->afterHandOver) {
      bridge->methods->afterHandOver(bridge, 0);
      if (bridge->status != 0) raiseStepCode(state->stepCode, bridge->status);
    }
    state->lev.design = d;
  }
  return 0;
}

int handOverSelectedModel(VsfState* state) {
  if (!state->res.bridge) return 0;
  SelectionState& sel = state->group.selection;
  const int rc = passSelectedModel(state, &sel, sel.modelPool);
  if (rc != 0) {
    if (sel.modelPool) kernel().poolDestroy(sel.modelPool);
    sel.modelPool = nullptr;
  }
  return rc;
}

}  // namespace vsf
