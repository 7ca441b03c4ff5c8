// Shared pieces of the random variates.
#pragma once

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf::num {

inline double U(RngState* rng) { return rng->uniform(rng); }

// Writes the record's fill count values drawn by `draw`; 1 when there is nowhere to write.
template <typename Draw>
int fillWith(RngState* rng, Draw draw) {
  if (!rng->fillArray || rng->fillCount == 0) return 1;
  for (int i = 0; i < rng->fillCount; ++i) rng->fillArray[i] = draw();
  return 0;
}

}  // namespace vsf::num
