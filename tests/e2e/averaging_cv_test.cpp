// Model averaging of a penalty chosen by external cross validation: each sample runs its own
// folds on its own draw from the whole data (the draw a sample without folds makes), so the
// average is never the intercept alone, and a sample that holds every row once is the fit of
// the whole data, table for table.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
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

// Every sample draws from all the training rows with its own seed, whatever the samples before
// it drew: the SAMPLEFREQ counts are those of the same samples chosen without folds. Folds
// summed before the draw once made each sample's population the previous sample's fold total,
// so samples of 2 rows out of 4 shrank to 1, then 0.
TEST(AveragingCrossValidation, EachSampleDrawsFromTheWholeData) {
  DataLibrary lib({"mtcars"});
  std::ofstream(lib.path() / "four.csv") << "x,y\n1,2\n2,3\n3,5\n4,4\n";
  const std::string four = "data=four seed=3; model y = x",
                    cars = "data=mtcars seed=3; model mpg = cyl disp hp wt";
  const struct {
    std::string model, folds, plain, averaging;
    int rows, samples;
    double size;  // units per sample
  } cases[] = {
      {four, "lasso(choose=cvex stop=none) cvmethod=split(2)", "lasso(choose=sbc stop=none)",
       "nsamples=10 sampling=srs(size=2)", 4, 10, 2},
      {four, "lasso(choose=cvex stop=none) cvmethod=split(2)", "lasso(choose=sbc stop=none)",
       "nsamples=10 sampling=urs(size=3) nthreads$=3", 4, 10, 3},
      {cars, "elasticnet(choose=cvex l2=0.5) cvmethod=split(3)", "elasticnet(choose=sbc l2=0.5)",
       "nsamples=4 sampling=urs", 32, 4, 32},
      {cars, "grouplasso(choose=cvex) cvmethod=split(3)", "grouplasso(choose=sbc)",
       "nsamples=4 sampling=srs", 32, 4, 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folds + " " + c.averaging);
    std::vector<std::vector<double>> counts[2];
    for (int k = 0; k < 2; ++k) {
      const CommandRun r = runCommand(
          "proc varsifter " + c.model + " / selection=" + (k == 0 ? c.plain : c.folds) +
              ";\n modelaverage " + c.averaging + ";\n output out=sf samplefreq=f;\nrun;",
          lib.dir());
      ASSERT_EQ(r.status, 0) << r.output;
      for (int i = 1; i <= c.samples; ++i) {
        const std::vector<double> f = lib.column("sf", "f" + std::to_string(i));
        ASSERT_EQ(f.size(), static_cast<size_t>(c.rows)) << "sample " << i;
        EXPECT_EQ(std::accumulate(f.begin(), f.end(), 0.0), c.size) << "sample " << i;
        counts[k].push_back(f);
      }
    }
    EXPECT_EQ(counts[0], counts[1]);
  }
}

// SRS with PERCENT=100 draws every row once: each sample's selection, ANOVA, fit statistics
// and estimates are the plain fit's, number for number, whether the folds' runs read the
// rows (diabetes: 11 effects, built effect by effect) or the crossproducts (mtcars).
TEST(AveragingCrossValidation, ASampleOfEveryRowIsThePlainFitTableForTable) {
  const struct {
    const char* data;
    const char* model;
  } cases[] = {
      {"diabetes",
       "class sex; model y = age sex bmi bp s1-s6 /"
       " selection=lasso(choose=cvex stop=none) cvmethod=split(5)"},
      {"mtcars",
       "model mpg = cyl disp hp drat wt qsec /"
       " selection=elasticnet(choose=cvex l2=0.5) cvmethod=split(4)"},
  };
  const char* tables[] = {"SelectionSummary", "ANOVA", "FitStatistics", "ParameterEstimates"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    const std::string step =
        std::string("proc varsifter data=") + c.data + " seed=1;\n" + c.model + ";\n";
    const CommandRun plain = runCommand(step + "run;", VSF_SHARED_DATA);
    const CommandRun averaged = runCommand(
        step + "modelaverage nsamples=2 sampling=srs(percent=100) details; run;", VSF_SHARED_DATA);
    ASSERT_EQ(plain.status, 0) << plain.output;
    ASSERT_EQ(averaged.status, 0) << averaged.output;
    for (const char* name : tables) {
      const Json want = theOne(plain, name);
      const std::vector<Json> samples = findAll(averaged.document, name);
      ASSERT_EQ(samples.size(), 2u) << name;
      const char* part = want.contains("rows") ? "rows" : "entries";
      for (const Json& got : samples) EXPECT_EQ(got[part], want[part]) << name;
    }
  }
}

}  // namespace
}  // namespace vsf::test
