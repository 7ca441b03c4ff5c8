// The model of the refit pass: the effects the first pass selected often enough, optionally
// only the most frequently selected ones.
#include <vector>

#include "averaging/averaging.h"
#include "base/codes.h"
#include "base/strings.h"
#include "numerics/numerics.h"
#include "selection/group.h"

namespace vsf {

int chooseRefitEffects(StepView* s, ResampleSet* set) {
  const SelectionState& sel = s->group.selection;
  const AveragedResults& a = set->results;
  const int32_t E = sel.layout.effectCount, K = a.samplesAveraged;
  if (E <= 0 || K <= 0) return rc::kMemory;
  set->refitEffect.assign(static_cast<size_t>(E), 0);
  std::vector<uint32_t> order(static_cast<size_t>(E));
  for (int32_t e = 0; e < E; ++e) order[static_cast<size_t>(e)] = static_cast<uint32_t>(e);
  int32_t candidates = E;
  if (set->refitBest >= 0) {
    // More often selected first; equal counts keep effect order.
    std::vector<double> key(static_cast<size_t>(E));
    for (int32_t e = 0; e < E; ++e)
      key[static_cast<size_t>(e)] =
          a.effectSelectCount[static_cast<size_t>(e)] + static_cast<double>(E - e) / (2 * E + 1);
    shellSortDoubles(key.data(), static_cast<uint32_t>(E), order.data(), 0);
    candidates = std::min(E, set->refitBest);
  }
  const double minimum = s->settings.modelAverage.refitMinPct;
  for (int32_t i = 0; i < candidates; ++i) {
    const uint32_t e = order[static_cast<size_t>(i)];
    const double f = static_cast<double>(a.effectSelectCount[e]) / K;
    if (f != 0 && minimum <= f + kFuzz && sel.sweep.states[e] != EffectState::kFree)
      set->refitEffect[e] = 1;
  }
  return 0;
}

}  // namespace vsf
