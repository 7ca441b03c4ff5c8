// The reference tables under tests/data/numerics (made by tests/reference/numerics_fixtures.py)
// and the measure of agreement with them.
#pragma once

#include <cmath>

#include "common/csv.h"

namespace vsf::test {

// Relative error, with an absolute floor for values near zero.
inline double relErr(double got, double want, double floor = 1.0) {
  return std::fabs(got - want) / std::fmax(std::fabs(want), floor);
}

}  // namespace vsf::test
