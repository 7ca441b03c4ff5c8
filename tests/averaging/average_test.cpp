// Averaging over samples fitted by hand: the effects' selection counts, the tree of distinct
// models with their ranks and the subset rule (BEST=, MIN=), the averaged estimates and model,
// and the refit pass's choice of effects (BEST=, MINPCT=).
#include <gtest/gtest.h>

#include <vector>

#include "averaging/averaging.h"
#include "averaging/averaging_support.h"
#include "base/codes.h"
#include "common/group_support.h"
#include "common/test_host.h"

namespace vsf {
namespace {

using test::sameValue;
using test::Samples;

// Four fitted samples over the intercept and two effects, and one that was not fitted:
//   {0, 1} twice, {0, 1, 2} once (given out of order), {0} once.
void fourSamples(Samples& s) {
  s.fit({0, 1}, {1, 2, 0});
  s.fit({0, 1}, {1, 3, 0});
  s.fit({0, 2, 1}, {1, 1, 1});
  s.fit({}, {}, -2);
  s.fit({0}, {2, 0, 0});
}

TEST(AverageOverSamples, CountsEffectsAndRanksDistinctModels) {
  Samples s(3);
  fourSamples(s);
  ASSERT_EQ(s.average(), 0);
  const AveragedResults& a = s.results();
  EXPECT_EQ(a.samplesRequested, 5);
  EXPECT_EQ(a.samplesFitted, 4);
  EXPECT_EQ(a.samplesAveraged, 4);
  EXPECT_EQ(a.effectSelectCount, (std::vector<int32_t>{4, 3, 1}));
  EXPECT_EQ(s.set().resampleCount, 4);

  // Key order: by effect count, then the effects.
  ASSERT_EQ(a.distinctModels.size(), 3u);
  const struct {
    std::vector<int32_t> effects;
    int32_t frequency, rank;
    double meanFraction;
  } kWant[] = {
      {{0}, 1, 3, 4.0 / 4},
      {{0, 1}, 2, 1, (4.0 + 3) / 8},
      {{0, 1, 2}, 1, 4, (4.0 + 3 + 1) / 12},
  };
  for (size_t i = 0; i < 3; ++i) {
    const DistinctModel& d = a.distinctModels[i];
    EXPECT_EQ(d.effects, kWant[i].effects) << i;
    EXPECT_EQ(d.frequency, kWant[i].frequency) << i;
    EXPECT_EQ(d.rank, kWant[i].rank) << i;
    EXPECT_DOUBLE_EQ(d.meanEffectSelectFraction, kWant[i].meanFraction) << i;
    EXPECT_EQ(d.inAverage, 1) << i;
  }
  // Best first: frequency, then the mean selection fraction breaks the tie.
  EXPECT_EQ(a.modelOrder, (std::vector<int32_t>{1, 0, 2}));
  EXPECT_EQ(a.sampleInAverage, (std::vector<uint8_t>{1, 1, 1, 0, 1}));
  EXPECT_EQ(a.parmNonzeroCount, (std::vector<int32_t>{4, 3, 1}));
}

TEST(AverageOverSamples, EqualFrequenciesRankByMeanSelectionFraction) {
  // Each model chosen once; effect 2 is selected more often than effects 1 and 3.
  Samples s(4);
  s.fit({0, 1}, {1, 1, 0, 0});
  s.fit({0, 2}, {1, 0, 1, 0});
  s.fit({0, 3, 2}, {1, 0, 1, 1});
  ASSERT_EQ(s.average(), 0);
  const AveragedResults& a = s.results();
  ASSERT_EQ(a.distinctModels.size(), 3u);
  EXPECT_EQ(a.distinctModels[0].effects, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(a.distinctModels[1].effects, (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(a.distinctModels[2].effects, (std::vector<int32_t>{0, 2, 3}));
  // Fractions: {0, 1} 4 / 6, {0, 2} 5 / 6, {0, 2, 3} 6 / 9: {0, 2} first, and the two equal
  // ones keep their key order.
  EXPECT_EQ(a.modelOrder, (std::vector<int32_t>{1, 0, 2}));
  EXPECT_EQ(a.distinctModels[1].rank, 1);
  EXPECT_EQ(a.distinctModels[0].rank, 2);
  EXPECT_EQ(a.distinctModels[2].rank, 3);
}

TEST(AverageOverSamples, SubsetRuleChoosesTheAveragedSamples) {
  const struct {
    const char* name;
    int32_t best, minFreq;
    std::vector<uint8_t> inAverage;  // per distinct model in key order
    int32_t averaged;
    std::vector<int32_t> model;
    std::vector<double> estimates;  // MEAN over the averaged samples, zeros included
  } kCases[] = {
      {"all", 0, 0, {1, 1, 1}, 4, {0, 1, 2}, {5.0 / 4, 6.0 / 4, 1.0 / 4}},
      // Ranks 1 and 3 are in at BEST=3 ({0} holds rank 3; {0, 1, 2} rank 4).
      {"best 3", 3, 0, {1, 1, 0}, 3, {0, 1}, {4.0 / 3, 5.0 / 3, 0}},
      {"best 1", 1, 0, {0, 1, 0}, 2, {0, 1}, {1, 2.5, 0}},
      // Effect 2 was selected, but by no averaged sample: it leaves the model.
      {"min 2", 0, 2, {0, 1, 0}, 2, {0, 1}, {1, 2.5, 0}},
      {"best 3 and min 2", 3, 2, {0, 1, 0}, 2, {0, 1}, {1, 2.5, 0}},
  };
  for (const auto& c : kCases) {
    Samples s(3);
    fourSamples(s);
    s.options().subsetBest = c.best;
    s.options().subsetMinModelFreq = c.minFreq;
    ASSERT_EQ(s.average(), 0) << c.name;
    const AveragedResults& a = s.results();
    std::vector<uint8_t> in;
    for (const DistinctModel& d : a.distinctModels) in.push_back(d.inAverage);
    EXPECT_EQ(in, c.inAverage) << c.name;
    EXPECT_EQ(a.samplesAveraged, c.averaged) << c.name;
    EXPECT_EQ(a.samplesFitted, 4) << c.name;
    EXPECT_EQ(s.model(), c.model) << c.name;
    for (size_t j = 0; j < 3; ++j)
      EXPECT_TRUE(sameValue(s.estimates()[j], c.estimates[j]))
          << c.name << ": parameter " << j << " " << s.estimates()[j];
  }
}

TEST(AverageOverSamples, AverageMethodChoosesTheEstimates) {
  // Parameter 1 over the four averaged samples: {2, 3, 1, 0}.
  const struct {
    int32_t method;
    double want;
  } kCases[] = {{1, 6.0 / 4}, {2, 2.0}, {3, 1.5}, {4, 2.0}};
  for (const auto& c : kCases) {
    Samples s(3);
    fourSamples(s);
    s.options().averageMethod = c.method;
    ASSERT_EQ(s.average(), 0);
    EXPECT_TRUE(sameValue(s.estimates()[1], c.want)) << c.method << ": " << s.estimates()[1];
  }
}

TEST(AverageOverSamples, NoSampleAveraged) {
  test::LogWatch log;
  Samples s(3);
  fourSamples(s);
  s.options().subsetMinModelFreq = 3;  // the most frequent model was chosen twice
  EXPECT_EQ(s.average(), 0);
  EXPECT_EQ(s.results().samplesFitted, 0);
  EXPECT_EQ(s.sel().run.status, runstatus::kNothingEntered);
  EXPECT_EQ(s.vsf().stepCode, step::kWarning);
  EXPECT_TRUE(log.has("WARNING", "Sample 4 ran out of memory"));
  EXPECT_TRUE(log.has("WARNING", "1 of the samples of model averaging could not be fitted"));
  EXPECT_TRUE(log.has("WARNING", "selected 2 times, MINMODELFREQ= is 3"));
}

TEST(AverageOverSamples, NoSampleFitted) {
  for (const bool byGroups : {false, true}) {
    test::LogWatch log;
    Samples s(2);
    s.fit({}, {}, -2);
    s.fit({}, {}, runstatus::kNoObservations);
    s.vsf().settings.hasByStatement = byGroups;
    EXPECT_EQ(s.average(), byGroups ? 0 : rc::kNoSampleFitted) << byGroups;
    EXPECT_EQ(s.results().samplesFitted, 0);
    EXPECT_EQ(s.sel().run.status, runstatus::kNothingEntered);
    EXPECT_EQ(s.vsf().stepCode, step::kLevelization108);
    EXPECT_TRUE(log.has("WARNING", "Sample 2 has no training observations"));
    EXPECT_TRUE(log.has("ERROR", "No sample of model averaging could be fitted"));
  }
}

// The refit pass's model from selection counts over ten averaged samples.
TEST(ChooseRefitEffects, BestAndMinimumPercent) {
  const struct {
    const char* name;
    int32_t best;  // -1: no BEST=
    double minPct;
    std::vector<uint8_t> want;
  } kCases[] = {
      {"all selected often enough", -1, 0.2, {1, 1, 1, 1, 0}},
      {"half", -1, 0.5, {1, 0, 1, 0, 0}},
      {"at the minimum", -1, 0.3, {1, 1, 1, 1, 0}},
      {"above every count", -1, 1.01, {0, 0, 0, 0, 0}},
      // Counts 10, 3, 7, 3 (and 0): the most often selected first, ties in effect order.
      {"best 2", 2, 0, {1, 0, 1, 0, 0}},
      {"best 3", 3, 0, {1, 1, 1, 0, 0}},
      {"best 3 and half", 3, 0.5, {1, 0, 1, 0, 0}},
      {"best 0", 0, 0, {0, 0, 0, 0, 0}},
      {"best beyond the effects", 9, 0, {1, 1, 1, 1, 0}},
  };
  for (const auto& c : kCases) {
    Samples s(6);
    AveragedResults& a = s.set().results;
    a.samplesAveraged = 10;
    a.effectSelectCount = {10, 3, 7, 3, 0, 2};
    s.sel().sweep.states[1] = s.sel().sweep.states[2] = s.sel().sweep.states[3] =
        EffectState::kSelected;
    s.sel().sweep.states[4] = EffectState::kSelected;
    // Effect 5 was selected by samples but is not in the averaged model.
    s.set().refitBest = c.best;
    s.options().refitMinPct = c.minPct;
    ASSERT_EQ(chooseRefitEffects(test::settledView(s.vsf()), &s.set()), 0) << c.name;
    std::vector<uint8_t> got(s.set().refitEffect.begin(), s.set().refitEffect.begin() + 5);
    EXPECT_EQ(got, c.want) << c.name;
    EXPECT_EQ(s.set().refitEffect[5], 0) << c.name;
  }
}

TEST(ChooseRefitEffects, NothingAveraged) {
  Samples s(3);
  EXPECT_EQ(chooseRefitEffects(test::settledView(s.vsf()), &s.set()), rc::kMemory);
}

}  // namespace
}  // namespace vsf
