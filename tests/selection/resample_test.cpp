// The resampling draw of model averaging on stored rows with frequencies and held-out rows: the
// sample sizes of both methods, draws by observation unit, held-out rows never drawn, and
// draws uniform over the units.
#include "selection/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "common/group_support.h"
#include "selection/selection.h"

namespace vsf::test {
namespace {

constexpr int kRows = 30;  // 24 training rows of frequency 1 to 3, 6 held out

// One sample's drawn counts per stored row (-1: the draw left the row alone).
class Drawer {
 public:
  Drawer() : data_(syntheticCase({1, 1}, kRows, 11)) {
    GroupSettings g;
    g.freq = g.roles = true;
    g.resample = data_.f;
    group_ = std::make_unique<Group>(data_, g);
  }
  // The draw of sample `seed` of a step with SEED=5.
  std::vector<int32_t> draw(int32_t seed, bool srs, double fraction, double size) {
    ResampleSet set;
    EXPECT_EQ(shareResamples(&set, 1, 1), 0);
    set.withoutReplacement = srs;
    set.sampleFraction = fraction;
    set.sampleSize = size;
    set.storedRows = kRows;
    set.obsFreq.assign(kRows, -1);
    ResampleWork& w = set.records[0];
    w.rng.seed = sampleSeed(5, seed);
    EXPECT_EQ(zrnginit(&w.rng), 0);
    SelectionState& s = group_->s();
    const RunTotals keep = s.totals;
    s.resample = &w;
    EXPECT_EQ(drawResample(&s), 0);
    drawnTotal_ = s.totals.trainFreq;
    s.totals = keep;
    s.resample = nullptr;
    return set.obsFreq;
  }
  const CaseData& data() const { return data_; }
  double units() const { return group_->s().totals.trainFreq; }
  double drawnTotal() const { return drawnTotal_; }

 private:
  CaseData data_;
  std::unique_ptr<Group> group_;
  double drawnTotal_ = 0;
};

TEST(Resample, SampleSizesAndUnits) {
  Drawer d;
  const double N = d.units();
  struct Case {
    const char* name;
    bool srs;
    double fraction, size, expected;
  } cases[] = {
      {"URS at the default rate", false, 1.0, 0, N},
      {"URS of a size", false, 0, 50, 50},
      {"SRS at the default rate", true, 0.75, 0, std::floor(0.75 * N)},
      {"SRS above the units", true, 0, 10 * N, N},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int32_t seed = 1; seed <= 20; ++seed) {
      const std::vector<int32_t> counts = d.draw(seed, c.srs, c.fraction, c.size);
      double sum = 0;
      for (int i = 0; i < kRows; ++i) {
        const int32_t k = counts[static_cast<size_t>(i)];
        if (d.data().role[static_cast<size_t>(i)] != 1) {
          EXPECT_EQ(k, -1) << "held-out row " << i;
          continue;
        }
        ASSERT_GE(k, 0);
        // Without replacement a row holds at most its own units.
        if (c.srs) {
          EXPECT_LE(k, d.data().f[static_cast<size_t>(i)]) << "row " << i;
        }
        sum += k;
      }
      EXPECT_EQ(sum, c.expected);
      EXPECT_EQ(d.drawnTotal(), c.expected);
    }
  }
}

// 10,000 draws: each training row receives draws in proportion to its units (Pearson's
// chi-square with 23 degrees of freedom below its 1% point).
TEST(Resample, DrawsAreUniformOverTheUnits) {
  Drawer d;
  const double N = d.units();
  for (bool srs : {false, true}) {
    SCOPED_TRACE(srs ? "SRS" : "URS");
    std::vector<double> total(kRows, 0);
    double all = 0;
    for (int32_t seed = 1; seed <= 10000; ++seed) {
      const std::vector<int32_t> counts = d.draw(seed, srs, srs ? 0.75 : 1.0, 0);
      for (int i = 0; i < kRows; ++i)
        if (counts[static_cast<size_t>(i)] > 0) total[i] += counts[i], all += counts[i];
    }
    double chi2 = 0;
    int df = -1;
    for (int i = 0; i < kRows; ++i) {
      if (d.data().role[static_cast<size_t>(i)] != 1) continue;
      const double expected = all * d.data().f[static_cast<size_t>(i)] / N;
      chi2 += (total[i] - expected) * (total[i] - expected) / expected;
      ++df;
    }
    EXPECT_EQ(df, 23);
    EXPECT_LT(chi2, 41.638398118858476);
  }
}

}  // namespace
}  // namespace vsf::test
