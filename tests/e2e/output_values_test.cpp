// The values of the output data sets as a user reads them: the averaged model's prediction
// whatever spread is asked beside it, OUTPUT's predictions untouched by OUTDESIGN(FULLMODEL), no
// design data set from a BY step none of whose groups has a model, and no "-0" in a design.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

bool near(double a, double b, double rel) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= rel * std::max(1.0, std::fabs(b));
}

// The CSV file `source` as data set `name` of the library, the cell of `column` in row `row`
// blank.
void writeBlanked(const DataLibrary& lib, const std::string& source, const std::string& name,
                  size_t row, const std::string& column) {
  Csv t = readCsv(source);
  t.rows.at(row).at(static_cast<size_t>(t.column(column))) = "";
  std::ofstream out(lib.path() / (name + ".csv"));
  for (size_t j = 0; j < t.header.size(); ++j) out << (j ? "," : "") << t.header[j];
  out << "\n";
  for (const auto& cells : t.rows) {
    for (size_t j = 0; j < cells.size(); ++j) out << (j ? "," : "") << cells[j];
    out << "\n";
  }
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
        sum += lib.column("o5", "samplePred" + std::to_string(j)).at(0);
      if (std::string(m.method) == "mean") {
        EXPECT_TRUE(near(sum / samples, p[0], 1e-10)) << sum / samples;
      }
      EXPECT_FALSE(std::isnan(lib.column("o1", "stdDev").at(0)));
      EXPECT_FALSE(std::isnan(lib.column("s1", "stdDev").at(0)));
    }
  }
}

// As in the report: MEANNZ's prediction of Mazda RX4 (31.47 here) is its model's, not the mean
// of the samples' predictions (21.43) that asking STDDEV used to put in its place.
TEST(OutputValues, MeanNonzeroPredictionIsNotTheSamplesMean) {
  DataLibrary lib({"mtcars"});
  const CommandRun r = runCommand(averagingSteps("meannz", false), lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  double sum = 0;
  for (int j = 1; j <= 25; ++j) sum += lib.column("o5", "samplePred" + std::to_string(j)).at(0);
  const double alone = lib.column("o0", "p").at(0), withSpread = lib.column("o1", "p").at(0);
  EXPECT_GT(std::fabs(alone - sum / 25), 1.0) << alone << " " << sum / 25;
  EXPECT_EQ(withSpread, alone);
  EXPECT_EQ(lib.column("s1", "p").at(0), alone);
}

// ---- OUTDESIGN(FULLMODEL) and OUTPUT's rows ----

TEST(OutputValues, FullModelDesignLeavesOutputPredictionsAlone) {
  DataLibrary lib({"mtcars", "mtcars_by_cyl"});
  // Mazda RX4 without its qsec, and in the panel the third period of subject 1 without its L:
  // the fourth then has no lag, which FULLMODEL's row needs and the selected model (x) does not.
  writeBlanked(lib, lib.dir() + "/mtcars.csv", "mtq", 0, "qsec");
  writeBlanked(lib, lib.dir() + "/mtcars_by_cyl.csv", "mtqby", 0, "qsec");
  writeBlanked(lib, VSF_TEST_DATA "/e2e/lag_panel.csv", "panel", 2, "L");
  const struct {
    const char* name;
    const char* data;
    const char* statements;
    size_t row;  // the row the whole design lacks a value of
  } kCases[] = {
      {"no BY", "mtq", "model mpg = wt qsec / selection=forward(steps=1);", 0},
      {"BY", "mtqby", "by cyl; model mpg = wt qsec / selection=forward(steps=1);", 0},
      {"LAG", "panel",
       "class L; effect lg = lag(L / within=subj period=per);"
       " model y = x lg / selection=forward(steps=1);",
       3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string step = std::string("proc varsifter data=") + c.data;
    const CommandRun r = runCommand(step + " outdesign(fullmodel)=d; " + c.statements +
                                        " output out=full p=p; score out=sfull p=p; run;\n" + step +
                                        "; " + c.statements + " output out=plain p=p; run;",
                                    lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<double> full = lib.column("full", "p"), plain = lib.column("plain", "p"),
                              scored = lib.column("sfull", "p");
    ASSERT_EQ(full.size(), plain.size());
    ASSERT_GT(full.size(), c.row);
    for (size_t i = 0; i < full.size(); ++i) {
      EXPECT_EQ(full[i], plain[i]) << "row " << i + 1;
      EXPECT_EQ(scored[i], plain[i]) << "row " << i + 1;
    }
    EXPECT_FALSE(std::isnan(full[c.row]));
    // The figure of the report: Mazda RX4 without its qsec, predicted from wt alone.
    if (&c == &kCases[0]) {
      EXPECT_NEAR(full[0], 23.386, 5e-4);
    }
    // The design data set's row of it is missing; the rows about it are not.
    const Csv d = readCsv(lib.dir() + "/d.csv");
    ASSERT_EQ(d.rows.size(), full.size());
    EXPECT_TRUE(std::isnan(d.number(c.row, 0)));
    EXPECT_EQ(d.number(c.row + 1, 0), 1.0);
  }
}

// ---- A BY step none of whose groups has a model ----

TEST(OutputValues, NoDesignDataSetWhenNoGroupHasAModel) {
  DataLibrary lib({"mtcars_by_cyl"});
  {
    const Csv t = readCsv(lib.dir() + "/mtcars_by_cyl.csv");
    std::ofstream out(lib.path() / "nox.csv");
    out << "cyl,mpg,wt,x\n";
    for (size_t i = 0; i < t.rows.size(); ++i)
      out << t.text(i, "cyl") << "," << t.text(i, "mpg") << "," << t.text(i, "wt") << ",\n";
  }
  const std::string earlier = "_X1,cyl,mpg,_BY_\n1,4,20,1\n";
  const struct {
    const char* name;
    const char* program;
    const char* code;
    const char* groupError;
  } kCases[] = {
      {"knot outside each group",
       "proc varsifter data=mtcars_by_cyl outdesign=d; by cyl;"
       " effect s = spline(wt / knotmethod=list(1 100)); model mpg = s / selection=none; run;",
       "return code 112",
       "ERROR: BY group cyl=4: A listed knot lies outside the range of the variable wt"},
      {"knot outside each group, FULLMODEL",
       "proc varsifter data=mtcars_by_cyl outdesign(fullmodel)=d; by cyl;"
       " effect s = spline(wt / knotmethod=list(1 100)); model mpg = s / selection=none; run;",
       "return code 112",
       "ERROR: BY group cyl=4: A listed knot lies outside the range of the variable wt"},
      {"no usable observations",
       "proc varsifter data=nox outdesign=d; by cyl; model mpg = wt x / selection=none; run;",
       "return code 108", "ERROR: BY group cyl=4: There are no usable observations to fit a model"},
      {"no usable observations, FULLMODEL",
       "proc varsifter data=nox outdesign(fullmodel)=d; by cyl;"
       " model mpg = wt x / selection=none; run;",
       "return code 108", "ERROR: BY group cyl=4: There are no usable observations to fit a model"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::ofstream(lib.path() / "d.csv") << earlier;
    const CommandRun r = runCommand(c.program, lib.dir());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.code), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.groupError), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("not enough memory"), std::string::npos) << r.output;
    EXPECT_EQ(lib.text("d.csv"), earlier);  // no design written, the earlier file as it was
  }
}

// ---- No "-0" in a design ----

TEST(OutputValues, DesignValuesHaveNoNegativeZero) {
  DataLibrary lib({"mtcars", "mtcars_by_cyl"});
  const struct {
    const char* name;
    const char* program;
  } kCases[] = {
      {"selected columns",
       "proc varsifter data=mtcars outdesign=d; class cyl am / param=effect;"
       " model mpg = cyl*am / selection=none; run;"},
      {"FULLMODEL",
       "proc varsifter data=mtcars outdesign(fullmodel)=d; class cyl am / param=effect;"
       " model mpg = wt cyl*am / selection=forward(steps=1); run;"},
      {"BY pass",
       "proc varsifter data=mtcars_by_cyl outdesign=d; by cyl; class gear am / param=effect;"
       " model mpg = gear*am / selection=none; run;"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const CommandRun r = runCommand(c.program, lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const Csv d = readCsv(lib.dir() + "/d.csv");
    size_t zeros = 0;
    for (const auto& row : d.rows)
      for (const std::string& cell : row) {
        EXPECT_NE(cell, "-0");
        zeros += cell == "0";
      }
    EXPECT_GT(zeros, 0u);  // the interaction's zero columns are there, written 0
    if (&c != &kCases[0]) continue;
    // Effect coding, Mazda RX4 (6 cylinders, manual): cyl 4 is 0 and am 0 is -1, their
    // product the -0 that was written.
    ASSERT_EQ(d.header[1], "cyl*am 4 0");
    EXPECT_EQ(d.rows[0][1], "0");
    EXPECT_EQ(d.rows[0][2], "-1");
  }
}

}  // namespace
}  // namespace vsf::test
