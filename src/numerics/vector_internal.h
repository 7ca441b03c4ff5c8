// The in-place BLAS update with its fault checks, for callers that update many rows with one x.
#pragma once

#include "numerics/numerics.h"

namespace vsf::num {

// z += a x through the BLAS for n >= 3, round-to-nearest already in force, x and a known
// finite; raises the update's fault.
void axpyInPlaceFinite(double* z, const double* x, int n, double a);

// Runs round-to-nearest for its lifetime and then restores the thread's rounding mode.
class NearestRounding {
 public:
  NearestRounding();
  ~NearestRounding();
  NearestRounding(const NearestRounding&) = delete;
  NearestRounding& operator=(const NearestRounding&) = delete;

 private:
  int mode_;
};

}  // namespace vsf::num
