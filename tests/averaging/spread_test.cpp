// The spread of sample values: exact for identical values and for a large common offset, the
// zeros of the samples that left a parameter out counted, missing below two values.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "averaging/averaging_internal.h"
#include "frame/host/values.h"

namespace vsf {
namespace {

TEST(Spread, TwoPassesAboutAValueOfTheData) {
  const struct {
    std::vector<double> values;
    int32_t zeros;
    double want;  // NaN: missing
  } kCases[] = {
      {{1e6 + 0.1, 1e6 + 0.1, 1e6 + 0.1}, 0, 0.0},  // identical: no rounding noise
      {{1e8, 1e8 + 1, 1e8 + 2}, 0, 1.0},            // offset 1e8: one-pass loses it all
      {{-3.5, -3.5}, 0, 0.0},
      {{1, 1}, 2, std::sqrt(1.0 / 3)},  // {1, 1, 0, 0}
      {{2}, 1, std::sqrt(2.0)},         // {2, 0}
      {{}, 3, 0.0},                     // only zeros
      {{5}, 0, NAN},
      {{}, 1, NAN},
  };
  for (const auto& c : kCases) {
    const double got = spreadOf(c.values.data(), static_cast<int32_t>(c.values.size()), c.zeros);
    if (std::isnan(c.want)) {
      EXPECT_EQ(bitsOf(got), bitsOf(missingValue('.')))
          << c.values.size() << " values, " << c.zeros << " zeros";
    } else {
      EXPECT_NEAR(got, c.want, 1e-12 * std::max(1.0, c.want))
          << c.values.size() << " values, " << c.zeros << " zeros";
      if (c.want == 0) {
        EXPECT_EQ(got, 0.0);
      }
    }
  }
}

}  // namespace
}  // namespace vsf
