// The values of the output data sets as a user reads them: the averaged model's prediction
// whatever spread is asked beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

bool near(double a, double b, double rel) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= rel * std::max(1.0, std::fabs(b));
}

// ---- The averaged prediction beside its spread ----

constexpr const char* kRegressors[] = {"cyl", "disp", "hp", "drat", "wt", "qsec"};

// The spreads OUTPUT and SCORE can ask for beside P; "" asks for none.
constexpr const char* kSpreads[] = {"", "stddev", "median", "lower", "upper", "samplepred"};

// One step per spread, each writing OUTPUT o<k> and SCORE s<k> with P and that spread; the same
// seed gives every step the same samples.
std::string averagingSteps(const std::string& method, bool refit) {
  const bool nonzero = method.find("nz") != std::string::npos;
  const std::string averaging = "  modelaverage nsamples=25 averagemethod=" + method +
                                (refit ? " refit" : "") + " tables=(parmest(all" +
                                (nonzero ? " nonzeroparms" : "") + "));\n";
  std::string text;
  for (size_t k = 0; k < std::size(kSpreads); ++k) {
    const std::string n = std::to_string(k), spread = kSpreads[k];
    text +=
        "proc varsifter data=mtcars seed=7;\n"
        "  model mpg = cyl disp hp drat wt qsec / selection=lasso;\n" +
        averaging + "  output out=o" + n + " p=p " + spread + ";\n  score out=s" + n + " p=p " +
        spread + ";\nrun;\n";
  }
  return text;
}

// The averaged model's estimates by parameter, as the first step's table shows them: the mean
// or the median column, of the nonzero estimates for the NZ methods (NONZEROPARMS, which the
// refit table does not apply: its samples all fit every refit effect).
std::map<std::string, double> shownEstimates(const CommandRun& r, bool refit, bool median) {
  const std::vector<Json> tables = findAll(r.document, refit ? "RefitAvgParmEst" : "AvgParmEst");
  std::map<std::string, double> b;
  if (tables.empty()) return b;
  for (const Json& row : tables[0]["rows"])
    b[row["Parameter"].get<std::string>()] = number(row[median ? "Median" : "Mean"]);
  return b;
}

TEST(OutputValues, AveragedPredictionIsTheChosenEstimatesWhateverSpreadIsAsked) {
  DataLibrary lib({"mtcars"});
  const Csv data = readCsv(lib.dir() + "/mtcars.csv");
  const struct {
    const char* method;
    bool median;
  } kMethods[] = {{"mean", false},  {"meannz", false},  {"mean(trimpercent=20)", false},
                  {"median", true}, {"mediannz", true}, {"meannz(trimpercent=20)", false}};
  for (const auto& m : kMethods) {
    for (bool refit : {false, true}) {
      SCOPED_TRACE(std::string(m.method) + (refit ? " refit" : ""));
      const CommandRun r = runCommand(averagingSteps(m.method, refit), lib.dir());
      ASSERT_EQ(r.status, 0) << r.output;
      const std::map<std::string, double> b = shownEstimates(r, refit, m.median);
      ASSERT_TRUE(b.count("Intercept")) << r.output;
      const std::vector<double> p = lib.column("o0", "p");
      ASSERT_EQ(p.size(), data.rows.size());
      for (size_t i = 0; i < data.rows.size(); ++i) {
        double want = b.at("Intercept");
        for (const char* x : kRegressors)
          if (b.count(x)) want += b.at(x) * data.number(i, x);
        EXPECT_TRUE(near(p[i], want, 1e-12)) << "row " << i + 1 << ": " << p[i] << " " << want;
      }
      for (size_t k = 0; k < std::size(kSpreads); ++k)
        for (const std::string out : {"o", "s"}) {
          const std::vector<double> q = lib.column(out + std::to_string(k), "p");
          ASSERT_EQ(q.size(), p.size()) << out << k;
          for (size_t i = 0; i < p.size(); ++i)
            EXPECT_TRUE(near(q[i], p[i], 1e-12))
                << out << k << " (" << kSpreads[k] << ") row " << i + 1 << ": " << q[i];
        }
      // The samples' own predictions are still what the spreads are made of; their mean is
      // the prediction only for an untrimmed MEAN.
      const size_t samples = 25;
      double sum = 0;
      for (size_t j = 1; j <= samples; ++j)
        sum += lib.column("o5", "samplePred" + std::to_string(j))[0];
      if (std::string(m.method) == "mean") {
        EXPECT_TRUE(near(sum / samples, p[0], 1e-10)) << sum / samples;
      }
      EXPECT_FALSE(std::isnan(lib.column("o1", "stdDev")[0]));
      EXPECT_FALSE(std::isnan(lib.column("s1", "stdDev")[0]));
    }
  }
}

// The figures of the report: MEANNZ's prediction of Mazda RX4 is its model's, not the mean of
// the samples' predictions that asking STDDEV used to put in its place.
TEST(OutputValues, MeanNonzeroPredictionIsNotTheSamplesMean) {
  DataLibrary lib({"mtcars"});
  const CommandRun r = runCommand(averagingSteps("meannz", false), lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  double sum = 0;
  for (int j = 1; j <= 25; ++j) sum += lib.column("o5", "samplePred" + std::to_string(j))[0];
  const double alone = lib.column("o0", "p")[0], withSpread = lib.column("o1", "p")[0];
  EXPECT_GT(std::fabs(alone - sum / 25), 1.0) << alone << " " << sum / 25;
  EXPECT_EQ(withSpread, alone);
  EXPECT_EQ(lib.column("s1", "p")[0], alone);
}

}  // namespace
}  // namespace vsf::test
