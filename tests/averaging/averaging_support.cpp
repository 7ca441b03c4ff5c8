#include "averaging/averaging_support.h"

#include <cmath>

#include "averaging/averaging.h"
#include "common/group_support.h"
#include "common/test_host.h"
#include "frame/host/values.h"

namespace vsf::test {

Samples::Samples(int32_t effects)
    : state_(std::make_unique<VsfState>()),
      columnCount_(static_cast<size_t>(effects), 1),
      firstParam_(static_cast<size_t>(effects)),
      entryOrder_(static_cast<size_t>(effects), -1),
      states_(static_cast<size_t>(effects), EffectState::kFree),
      estimates_(static_cast<size_t>(effects), 0.0) {
  ensureHost();
  for (int32_t e = 0; e < effects; ++e) firstParam_[static_cast<size_t>(e)] = e;
  if (effects > 0) states_[0] = EffectState::kIntercept;
  SelectionState& s = sel();
  s.layout.effectCount = s.layout.paramCount = effects;
  s.layout.columnCount = columnCount_.data();
  s.sweep.firstParam = firstParam_.data();
  s.sweep.entryOrder = entryOrder_.data();
  s.sweep.states = states_.data();
  s.sweep.estimates = estimates_.data();
  options().on = 1;
}

void Samples::fit(std::vector<int32_t> effects, std::vector<double> estimates, int32_t status) {
  SampleFit f;
  f.status = status;
  f.effects = std::move(effects);
  f.estimates = std::move(estimates);
  set().fits.push_back(std::move(f));
  set().samples = static_cast<int32_t>(set().fits.size());
}

int Samples::average() {
  return averageOverSamples(settledView(*state_), &state_->group.resampling,
                            &state_->group.selection, &state_->res.timers);
}

std::vector<int32_t> Samples::model() const {
  const SweepMatrices& w = state_->group.selection.sweep;
  return std::vector<int32_t>(w.entryOrder, w.entryOrder + w.effectsInModel);
}

bool sameValue(double got, double want) {
  if (std::isnan(want)) return bitsOf(got) == bitsOf(missingValue('.'));
  return std::fabs(got - want) <= 1e-12 * std::max(1.0, std::fabs(want));
}

}  // namespace vsf::test
