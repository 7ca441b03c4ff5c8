// The MODELAVERAGE reader: samples shared over threads, sampling, table switches, refit, and
// its refusals.
#include <gtest/gtest.h>

#include <functional>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

class ModelAverageReader : public ::testing::Test {
 protected:
  StubData data;
};

struct AverageCase {
  const char* options;
  const char* model;  // MODEL options
  std::vector<int> messages;
  int code;
  std::function<void(const ModelAverageOptions&)> check;
};

TEST_F(ModelAverageReader, OptionsDefaultsAndRepairs) {
  const AverageCase cases[] = {
      {"",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.on, 1);
         EXPECT_EQ(m.threads, 1);
         EXPECT_EQ(m.samples, 100);
         EXPECT_DOUBLE_EQ(m.sampleFraction, 1.0);
         EXPECT_EQ(m.espTable + m.msfTable + m.parmEstTable, 3);
         EXPECT_EQ(m.refitSamples, 100);
       }},
      {"nthreads$=8 nsamples=4",
       "",
       {8484972},  // NTHREADS= and SCHEDULE= change nothing: a note
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.threads, 4);  // no more records than samples
         EXPECT_EQ(m.samples, 4);
         EXPECT_EQ(m.refitSamples, 4);
       }},
      {"nsamples=10 nthreads=4",
       "",
       {8484972},  // NTHREADS= and SCHEDULE= change nothing: a note
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.samples, 10);
         EXPECT_EQ(m.threads, 4);
       }},
      {"nthreads=0 nsamples=7",
       "",
       {8484972},  // NTHREADS= and SCHEDULE= change nothing: a note
       0,          // no division by a thread count of 0
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.threads, 1);
         EXPECT_EQ(m.samples, 7);
       }},
      {"schedule$=static nsamples=20 nthreads=2",
       "",
       {8484972, 8484972},  // NTHREADS= and SCHEDULE= change nothing: a note
       0,
       [](const ModelAverageOptions& m) { EXPECT_EQ(m.samples, 20); }},
      {"sampling=srs",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.srs, 1);
         EXPECT_DOUBLE_EQ(m.sampleFraction, 0.75);
       }},
      {"sampling=urs(size=50 percent=30)",
       "",
       {8480241},
       4,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.sampleSize, 0);
         EXPECT_DOUBLE_EQ(m.sampleFraction, 0.3);
       }},
      // A size alone is the sample: no rate beside it.
      {"sampling=srs(size=50)",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.sampleSize, 50);
         EXPECT_DOUBLE_EQ(m.sampleFraction, 0.0);
       }},
      {"sampling=urs(percent=0)", "", {8480266}, 3000, nullptr},
      {"alpha=0", "", {8480268}, 3000, nullptr},
      {"alpha=1", "", {8480268}, 3000, nullptr},
      {"", "selection=elasticnet", {8480011}, 3000, nullptr},
      {"", "selection=elasticnet(l2=0.1)", {}, 0, nullptr},
      {"tables(only)=(parmest all)",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.parmEstTable, 2);
         EXPECT_EQ(m.espTable, 1);
         EXPECT_EQ(m.msfTable, 1);
       }},
      {"tables(only)=modelselectfreq(best=5)",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.msfTable, 1);
         EXPECT_EQ(m.espTable + m.parmEstTable, 0);
       }},
      {"tables=(none parmest)",
       "",
       {8480258},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.espTable + m.msfTable + m.parmEstTable, 0);
       }},
      {"show=(effectselectpct(minpct=30 order=ascending) parmest(all nonzeroparms) "
       "modelselectfreq(all))",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_DOUBLE_EQ(m.peMinPct, 0.0);
         EXPECT_EQ(m.msfBest, 2147483647);
       }},
      {"refit", "", {}, 0, [](const ModelAverageOptions& m) { EXPECT_EQ(m.refitSamples, 100); }},
      {"nsamples=40 nthreads=3 refit(minpct=10 nsamples=9 best=2)",
       "",
       {8484972},  // NTHREADS= and SCHEDULE= change nothing: a note
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.refitSamples, 9);  // its own, not the selection's 40
         EXPECT_EQ(m.refitBest, 2);
         EXPECT_DOUBLE_EQ(m.refitMinPct, 0.1);
       }},
      {"refit(all best=4)",
       "",
       {},
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_EQ(m.refitBest, -1);
         EXPECT_DOUBLE_EQ(m.refitMinPct, 0.0);
       }},
      {"averagemethod$=mean(trimpercent=10) parmthreshold$=5 subset(minmodelfreq=3 best=4) "
       "inmemory$=yes shareddrive$='/tmp/x'",
       "",
       {8484972, 8484972},  // INMEMORY= and SHAREDDRIVE= change nothing: a note each
       0,
       [](const ModelAverageOptions& m) {
         EXPECT_DOUBLE_EQ(m.trimFraction, 0.1);  // percent to a fraction
         EXPECT_EQ(m.sharedDrive, 1);
         EXPECT_EQ(m.inMemory, 1);
       }},
  };
  for (const AverageCase& c : cases) {
    std::string text = std::string("proc varsifter seed=17; model y = x1 x2 / ") + c.model +
                       "; modelaverage " + c.options + "; run;";
    StepRun r = runStepText(text);
    EXPECT_EQ(r.messages(), c.messages) << text << "\n" << r.dump();
    EXPECT_EQ(r.code, c.code) << text << "\n" << r.dump();
    if (c.check) {
      SCOPED_TRACE(text);
      c.check(lastState().settings.modelAverage);
      EXPECT_EQ(lastState().settings.modelAverage.seed, 17);
    }
  }
}

}  // namespace
}  // namespace vsf::test
