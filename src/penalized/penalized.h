// Penalized methods and the fit driver.
#pragma once

namespace vsf {

struct SelectionState;
struct ResampleSet;

// Runs the selection of the BY group (once, per L2 value, per fold or per resample).
int fitModel(SelectionState* sel, ResampleSet* resamples);

}  // namespace vsf
