// Test support for model averaging: a BY group's samples, each fitted to a model given by hand,
// over effects of one column each (effect 0 the intercept), with the selection arrays the
// averaged model is written into.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "frame/state.h"

namespace vsf::test {

class Samples {
 public:
  explicit Samples(int32_t effects);
  Samples(const Samples&) = delete;
  Samples& operator=(const Samples&) = delete;

  // Sample k's fit: its selected effects (any order) and one estimate per parameter. A
  // negative status is a sample that was not fitted.
  void fit(std::vector<int32_t> effects, std::vector<double> estimates, int32_t status = 0);
  // The samples given so far, averaged as the BY group's averaging pass does.
  int average();

  ModelAverageOptions& options() { return state_->settings.modelAverage; }
  VsfState& vsf() { return *state_; }
  ResampleSet& set() { return state_->group.resampling; }
  const AveragedResults& results() const { return state_->group.resampling.results; }
  SelectionState& sel() { return state_->group.selection; }
  // The averaged model's effects in entry order.
  std::vector<int32_t> model() const;
  std::vector<double> estimates() const { return estimates_; }

 private:
  std::unique_ptr<VsfState> state_;
  std::vector<int32_t> columnCount_, firstParam_, entryOrder_;
  std::vector<EffectState> states_;
  std::vector<double> estimates_;
};

// A value compared as the tables show it: a missing value equals only a missing value.
bool sameValue(double got, double want);

}  // namespace vsf::test
