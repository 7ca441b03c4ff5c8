// Model averaging of a penalty chosen by external cross validation: each sample runs its own
// folds, so the average is never the intercept alone, and a sample that holds every row once
// chooses what the fit of the whole data chooses.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

constexpr double kMeanMpg = 20.090625;

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

TEST(AveragingCrossValidation, EverySampleRunsItsFolds) {
  DataLibrary lib({"mtcars"});
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars seed=1;\n"
      "model mpg = cyl disp hp drat wt qsec / selection=lasso(choose=cvex) cvmethod=split(4);\n"
      "modelaverage nsamples=10; output out=mo p; run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  const Json rows = theOne(r, "AvgParmEst")["rows"];
  EXPECT_GT(rows.size(), 1u) << "only the intercept was averaged";
  // Predictions of models fitted to resamples of the data centre near the data's mean; an
  // average of steps 0 (a plain fit's CV value stays 0) sat 11 below it.
  const std::vector<double> p = lib.column("mo", "p_mpg");
  ASSERT_EQ(p.size(), 32u);
  EXPECT_NEAR(std::accumulate(p.begin(), p.end(), 0.0) / 32, kMeanMpg, 1.0);
}

// With DETAILS each sample shows its own selection: the folds' runs leave no records of their
// own between the samples' records.
TEST(AveragingCrossValidation, DetailsShowEachSampleOnce) {
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars seed=1;\n"
      "model mpg = cyl disp hp drat wt qsec / selection=lasso(choose=cvex) cvmethod=split(4);\n"
      "modelaverage nsamples=3 details nthreads$=2; run;",
      VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> summaries = findAll(r.document, "SelectionSummary");
  ASSERT_EQ(summaries.size(), 3u);
  // Every step past the intercept has the folds' average error of its own sample.
  for (const Json& t : summaries)
    for (const Json& row : t["rows"]) {
      ASSERT_TRUE(row.contains("CVEXPRESS")) << row;
      if (number(row["Step"]) > 0) {
        EXPECT_GT(number(row["CVEXPRESS"]), 0) << row;
      }
    }
}

// SRS with PERCENT=100 draws every row once: each sample is the data, so the averaged
// estimates are the plain fit's, with no spread.
TEST(AveragingCrossValidation, ASampleOfEveryRowChoosesAsTheWholeData) {
  const char* methods[] = {"lasso(choose=cvex)", "lasso(choose=cvex stop=none)",
                           "elasticnet(choose=cvex l2=0.5)", "grouplasso(choose=cvex)"};
  for (const char* method : methods) {
    SCOPED_TRACE(method);
    const std::string model = std::string("proc varsifter data=mtcars seed=1;\n") +
                              "model mpg = cyl disp hp drat wt qsec / selection=" + method +
                              " cvmethod=split(4);\n";
    const CommandRun plain = runCommand(model + "run;", VSF_SHARED_DATA);
    const CommandRun averaged = runCommand(
        model + "modelaverage nsamples=3 sampling=srs(percent=100); run;", VSF_SHARED_DATA);
    ASSERT_EQ(plain.status, 0) << plain.output;
    ASSERT_EQ(averaged.status, 0) << averaged.output;
    const Json fit = theOne(plain, "ParameterEstimates")["rows"];
    const Json avg = theOne(averaged, "AvgParmEst")["rows"];
    size_t nonzero = 0;
    for (const Json& row : fit) nonzero += number(row["Estimate"]) != 0;
    ASSERT_EQ(avg.size(), nonzero);
    for (const Json& a : avg) {
      const std::string name = trimmed(a["Parameter"]);
      bool found = false;
      for (const Json& row : fit) {
        if (trimmed(row["Parameter"]) != name) continue;
        found = true;
        const double want = number(row["Estimate"]);
        EXPECT_NEAR(number(a["Mean"]), want, 1e-6 * std::max(1.0, std::fabs(want))) << name;
        EXPECT_NEAR(number(a["StdDev"]), 0.0, 1e-6 * std::max(1.0, std::fabs(want))) << name;
      }
      EXPECT_TRUE(found) << name;
    }
  }
}

}  // namespace
}  // namespace vsf::test
