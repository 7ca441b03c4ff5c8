// Penalized methods and the fit driver.
#pragma once

namespace vsf {

struct SelectionState;
struct ResampleSet;

// Runs the selection of the BY group: once for a plain fit (the classical methods and the
// penalized methods without tuning), per L2 value, per fold or per resample otherwise. 0, or
// the first nonzero code of buildModelPool or runSelection; the outcome of the last run is
// left in the state (its status says whether a model was selected).
[[nodiscard]] int fitModel(SelectionState* sel, ResampleSet* resamples);

}  // namespace vsf
