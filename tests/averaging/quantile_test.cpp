// The quantile rule and one parameter's averaged statistics, checked by hand: the inverse of the
// empirical distribution function averaging at whole p x n, the samples that left a parameter
// out counted as zeros between its negative and positive values, trimming, and the threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "averaging/averaging_internal.h"
#include "averaging/averaging_support.h"

namespace vsf {
namespace {

using test::sameValue;

TEST(Quantile, InverseDistributionAveragingAtWholeSteps) {
  const struct {
    std::vector<double> values;
    double p, want;  // NaN: missing
  } kCases[] = {
      {{1, 2, 3, 4}, 0.5, 2.5},   // 2 of 4: between the 2nd and 3rd
      {{1, 2, 3, 4}, 0.25, 1.5},  // 1 of 4: between the 1st and 2nd
      {{1, 2, 3, 4}, 0.3, 2},     // 1.2 of 4: the 2nd
      {{1, 2, 3, 4}, 0.8, 4},     // 3.2 of 4: the 4th
      {{1, 2, 3, 4}, 0.0, 1},     // nothing below the first
      {{1, 2, 3}, 0.25, 1},       // 0.75 of 3
      {{1, 2, 3}, 0.75, 3},       // 2.25 of 3
      {{7}, 0.5, 7},
      {{7}, 0.025, 7},
      {{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0}, 0.1, 0.15},  // 0.1 x 10 is whole
      {{}, 0.5, NAN},
  };
  for (const auto& c : kCases) {
    const int32_t n = static_cast<int32_t>(c.values.size());
    const double got = quantileOf(n, c.p, [&](int32_t i) { return c.values[i]; });
    EXPECT_TRUE(sameValue(got, c.want)) << n << " values, p " << c.p << ": " << got;
  }
}

TEST(Quantile, Median) {
  const struct {
    std::vector<double> values;
    double want;
  } kCases[] = {{{3}, 3}, {{1, 5}, 3}, {{1, 2, 9}, 2}, {{-4, -1, 0, 8}, -0.5}, {{}, NAN}};
  for (const auto& c : kCases) {
    const int32_t n = static_cast<int32_t>(c.values.size());
    const double got = medianOf(n, [&](int32_t i) { return c.values[i]; });
    EXPECT_TRUE(sameValue(got, c.want)) << n << " values: " << got;
  }
}

struct StatisticsCase {
  const char* name;
  std::vector<double> nonzero;  // sorted
  int32_t averaged;             // K: the other samples count as zeros
  double trim, threshold;
  int32_t fitted;
  ParameterSummary want;  // NaN: missing
};

TEST(ParameterStatistics, OverAllSamplesAndOverTheNonzeroValues) {
  const double dot = NAN;
  const StatisticsCase kCases[] = {
      // All {0, 0, 1, 2, 4}; nonzero {1, 2, 4}. Quantiles at alpha 0.5: 0.25 and 0.75.
      {"two zeros",
       {1, 2, 4},
       5,
       0,
       0,
       5,
       {7.0 / 5, 1, 0, 2, std::sqrt(2.8), 7.0 / 3, 2, 1, 4, std::sqrt(7.0 / 3)}},
      // The zeros stand between the negative and the positive values: all {-3, 0, 0, 2}.
      {"zeros between the signs",
       {-3, 2},
       4,
       0,
       0,
       4,
       {-0.25, 0, -1.5, 1, std::sqrt(12.75 / 3), -0.5, -0.5, -3, 2, std::sqrt(12.5)}},
      // Selected by 3 of 5 fitted samples: at a threshold of 0.7 the averaged estimate and its
      // spread are 0; the medians and quantiles stay.
      {"below the threshold",
       {1, 2, 4},
       5,
       0,
       0.7,
       5,
       {0, 1, 0, 2, 0, 7.0 / 3, 2, 1, 4, std::sqrt(7.0 / 3)}},
      {"at the threshold",
       {1, 2, 4},
       5,
       0,
       0.6,
       5,
       {7.0 / 5, 1, 0, 2, std::sqrt(2.8), 7.0 / 3, 2, 1, 4, std::sqrt(7.0 / 3)}},
      // Trimming half drops one value at each end of the nonzero values: {2, 3} remain, over
      // K - 2 = 4 samples with the zeros.
      {"trimmed",
       {1, 2, 3, 10},
       6,
       0.5,
       0,
       6,
       {1.25, 1.5, 0, 3, 1.5, 2.5, 2.5, 1.5, 6.5, std::sqrt(0.5)}},
      // Never selected: every averaged sample is a zero; no nonzero statistics.
      {"never selected", {}, 3, 0, 0, 3, {0, 0, 0, 0, 0, dot, dot, dot, dot, dot}},
      {"once", {5}, 1, 0, 0, 1, {5, 5, 5, 5, dot, 5, 5, 5, 5, dot}},
  };
  for (const StatisticsCase& c : kCases) {
    ParameterSummary got;
    parameterStatistics(c.nonzero, c.averaged, 0.5, c.trim, c.threshold, c.fitted, &got);
    const double g[] = {got.avgEstimate, got.avgMedian, got.avgLower, got.avgUpper, got.avgStdDev,
                        got.nzEstimate,  got.nzMedian,  got.nzLower,  got.nzUpper,  got.nzStdDev};
    const double w[] = {c.want.avgEstimate, c.want.avgMedian,  c.want.avgLower, c.want.avgUpper,
                        c.want.avgStdDev,   c.want.nzEstimate, c.want.nzMedian, c.want.nzLower,
                        c.want.nzUpper,     c.want.nzStdDev};
    const char* names[] = {"avgEstimate", "avgMedian", "avgLower", "avgUpper", "avgStdDev",
                           "nzEstimate",  "nzMedian",  "nzLower",  "nzUpper",  "nzStdDev"};
    for (int i = 0; i < 10; ++i)
      EXPECT_TRUE(sameValue(g[i], w[i])) << c.name << ": " << names[i] << " " << g[i];
  }
}

}  // namespace
}  // namespace vsf
