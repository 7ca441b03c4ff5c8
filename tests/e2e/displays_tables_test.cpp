// The display tables of whole runs of the command, read from its JSON document: a fixed model
// against R's lm (tests/reference/displays_fixtures.R), CLASS levels in their ORDER= order,
// observation counts by role, and a selection's tables in their groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

CommandRun runProgram(const std::string& program) { return runCommand(program, VSF_SHARED_DATA); }

void expectNear(const Json& cell, double expected, double relative, const std::string& what) {
  if (std::isnan(expected)) {
    EXPECT_FALSE(cell.is_number()) << what;
    return;
  }
  ASSERT_TRUE(cell.is_number()) << what << ": " << cell;
  EXPECT_NEAR(cell.get<double>(), expected, relative * std::max(1.0, std::fabs(expected))) << what;
}

struct FixedCase {
  const char* fixture;
  const char* program;
  std::vector<std::string> effects;  // the fixture's effect labels by index
};

// SELECTION=NONE fits the model it is given: its tables are lm's.
TEST(DisplaysEndToEnd, FixedModelTablesMatchLm) {
  const FixedCase cases[] = {
      {"mtcars",
       "proc varsifter data=mtcars; model mpg = wt hp qsec / selection=none; run;",
       {"Intercept", "wt", "hp", "qsec"}},
      {"mtcars_noint",
       "proc varsifter data=mtcars; model mpg = wt hp / noint selection=none; run;",
       {"Intercept", "wt", "hp"}},
  };
  for (const FixedCase& c : cases) {
    CommandRun r = runProgram(c.program);
    ASSERT_EQ(r.status, 0) << r.output;
    const Csv anova = readCsv(std::string("displays/displays_") + c.fixture + "_anova.csv");
    Json a = theOne(r, "ANOVA");
    const char* columns[] = {"DF", "SS", "MS", "FValue", "ProbF"};
    for (size_t row = 1; row <= 3; ++row)
      for (size_t k = 0; k < 5; ++k)
        expectNear(a["rows"][row - 1][columns[k]], anova.number(row - 1, k + 1), 1e-8,
                   std::string(c.fixture) + " ANOVA " + columns[k]);
    const Csv fit = readCsv(std::string("displays/displays_") + c.fixture + "_fit.csv");
    const char* labels[] = {"Root MSE", "Dependent Mean", "R-Square", "Adj R-Sq",
                            "AIC",      "AICC",           "SBC"};
    Json f = theOne(r, "FitStatistics");
    for (size_t k = 0; k < 7; ++k)
      expectNear(entryValue(f, labels[k]), fit.number(k, 1), 1e-8, labels[k]);
    const Csv parms = readCsv(std::string("displays/displays_") + c.fixture + "_parms.csv");
    Json pe = theOne(r, "ParameterEstimates");
    ASSERT_EQ(pe["rows"].size(), parms.rows.size());
    for (size_t k = 0; k < parms.rows.size(); ++k) {
      const Json& row = pe["rows"][k];
      EXPECT_EQ(row["Effect"], c.effects[std::stoul(parms.rows[k][0])]);
      expectNear(row["Estimate"], parms.number(k, 2), 1e-8, "estimate");
      expectNear(row["StdErr"], parms.number(k, 3), 1e-8, "stderr");
      expectNear(row["tValue"], parms.number(k, 4), 1e-8, "t");
      expectNear(row["Probt"], parms.number(k, 5), 1e-6, "p");
    }
  }
}

// ORDER= of the CLASS statement orders the levels the table lists.
TEST(DisplaysEndToEnd, ClassLevelsFollowOrder) {
  struct Case {
    const char* classStatement;
    const char* values;
  } cases[] = {
      {"class cyl;", "4 6 8"},
      {"class cyl(order=freq);", "8 4 6"},  // 14, 11 and 7 cars
      {"class cyl(descending);", "8 6 4"},
  };
  for (const Case& c : cases) {
    CommandRun r = runProgram(std::string("proc varsifter data=mtcars; ") + c.classStatement +
                              " model mpg = cyl wt / selection=none; run;");
    ASSERT_EQ(r.status, 0) << r.output;
    Json t = theOne(r, "ClassLevelInfo");
    EXPECT_EQ(t["rows"][0]["Class"], "cyl");
    EXPECT_EQ(t["rows"][0]["Levels"], 3);
    EXPECT_EQ(t["rows"][0]["Values"], c.values) << c.classStatement;
  }
}

// Under PARMLABELSTYLE=SEPARATE an effect's levels follow its label at one page column of the
// listing for every effect, counted in characters: a split level outside ASCII ("é accent") in
// the label moves nothing. With model averaging too, whose table names parameters the same
// way. The JSON document holds each parameter's own text, without the listing's padding.
TEST(DisplaysEndToEnd, LevelsAfterLabelsOutsideAsciiStayInLine) {
  DataLibrary lib({});
  std::ofstream(lib.path() / "accents.csv")
      << "c,d,x,y\né accent,u,1,2.1\nplain,v,2,3.9\né accent,v,3,6.2\nplain,u,4,8.1\n"
         "é accent,u,5,9.7\nplain,v,6,12.5\né accent,v,7,13.8\nplain,u,8,16.4\n"
         "é accent,u,9,18.4\nplain,v,10,19.9\n";
  // The page column of the level after a row's second "*d", the Parameter column's.
  auto levelColumn = [](const std::string& line) {
    const size_t label = line.find("*d", line.find("*d") + 1);
    const std::string head = line.substr(0, line.find_first_not_of(' ', label + 2));
    int n = 0;
    for (unsigned char ch : head) n += (ch & 0xC0) != 0x80;
    return n;
  };
  for (const char* more : {"", " modelaverage nsamples=4;"}) {
    SCOPED_TRACE(more);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=accents seed=3; class c(split) d;"
                               " model y = c*d x / selection=none;") +
                       more + " run;",
                   lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<int> columns;
    std::istringstream listing(r.output);
    for (std::string line; std::getline(listing, line);) {
      const size_t first = line.find("*d");  // a row's Effect cell
      if (first != std::string::npos && line.find_first_not_of(' ') == line.find("c_") &&
          line.find("*d", first + 1) != std::string::npos)
        columns.push_back(levelColumn(line));
    }
    ASSERT_GE(columns.size(), 2u) << r.output;
    for (int c : columns) EXPECT_EQ(c, columns[0]) << r.output;
    const Json t = findAll(r.document, *more ? "AvgParmEst" : "ParameterEstimates").at(0);
    EXPECT_EQ(t["rows"][1]["Parameter"], "c_plain*d u");
    EXPECT_EQ(t["rows"][3]["Parameter"], "c_é accent*d u");
  }
}

// The listing aligns the levels of the parameters under one another ("cyl       4" under
// "Intercept"); the JSON document and the OUTDESIGN data set hold each parameter's own text.
TEST(DisplaysEndToEnd, ParameterTextsWithoutTheListingsPadding) {
  DataLibrary lib({"mtcars"});
  struct Case {
    const char* more;
    const char* table;
  } cases[] = {{"", "ParameterEstimates"}, {" modelaverage nsamples=5;", "AvgParmEst"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    const CommandRun r = runCommand(std::string("proc varsifter data=mtcars seed=1 outdesign=des;"
                                                " class cyl carb; model mpg = cyl carb wt /"
                                                " selection=none;") +
                                        c.more + " run;",
                                    lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* listed : {"cyl       4", "carb      1"})
      EXPECT_NE(r.output.find(listed), std::string::npos) << listed << "\n" << r.output;
    const Json t = findAll(r.document, c.table).at(0);
    std::vector<std::string> parameters;
    for (const Json& row : t["rows"]) parameters.push_back(row["Parameter"]);
    for (const char* own : {"cyl 4", "carb 1", "wt"})
      EXPECT_EQ(std::count(parameters.begin(), parameters.end(), own), 1) << own;
    for (const std::string& p : parameters) EXPECT_EQ(p.find("  "), std::string::npos) << p;
    for (const Json& column : t["columns"]) {
      if (column["name"] != "Parameter") continue;
      EXPECT_EQ(column["dynamics"]["levelsAt"], 9);  // where the listing puts the levels
    }
    const std::vector<std::string> names = lib.variables("des");
    EXPECT_EQ(std::count(names.begin(), names.end(), "cyl 4"), 1);
  }
}

// PARTITION's fractions give every observation one role; the counts add up.
TEST(DisplaysEndToEnd, ObservationCountsByRole) {
  CommandRun r = runProgram(
      "proc varsifter data=diabetes seed=7; partition fraction(validate=0.25 test=0.25);"
      " model y = bmi bp s5 / selection=forward; run;");
  ASSERT_EQ(r.status, 0) << r.output;
  Json t = theOne(r, "NObs");
  std::vector<std::string> labels;
  double parts = 0;
  for (const Json& row : t["rows"]) {
    labels.push_back(row["Label"]);
    if (labels.size() >= 3) parts += row["N"].get<double>();
  }
  EXPECT_EQ(labels,
            (std::vector<std::string>{"Number of Observations Read", "Number of Observations Used",
                                      "Number of Observations Used for Training",
                                      "Number of Observations Used for Validation",
                                      "Number of Observations Used for Testing"}));
  EXPECT_EQ(t["rows"][0]["N"], 442.0);
  EXPECT_EQ(t["rows"][1]["N"], 442.0);
  EXPECT_EQ(parts, 442.0);
  EXPECT_GT(t["rows"][3]["N"].get<double>(), 0.0);
}

// The hidden frequency sums of the NObs tables: without FREQ each observation read counts once
// (the sum read was an unfilled 0 beside the sum used), with FREQ the sums of the frequencies;
// a separate validation data set's table the same way.
TEST(DisplaysEndToEnd, FrequencySumsReadAreFilled) {
  const struct {
    const char* program;
    size_t table;
    double read, freqRead, freqUsed;
  } kCases[] = {
      {"proc varsifter data=diabetes; model y = bmi bp / selection=none; run;", 0, 442, 442, 442},
      {"proc varsifter data=mtcars; freq gear; model mpg = wt / selection=none; run;", 0, 32, 118,
       118},
      {"proc varsifter data=mtcars valdata=mtcars; model mpg = wt / selection=forward("
       "choose=validate); run;",
       1, 32, 32, 32},
  };
  for (const auto& c : kCases) {
    const CommandRun r = runProgram(c.program);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> tables = findAll(r.document, "NObs");
    ASSERT_GT(tables.size(), c.table) << c.program;
    const Json& row = tables[c.table]["rows"][0];
    EXPECT_EQ(number(row["NObsRead"]), c.read) << c.program;
    EXPECT_EQ(number(row["SumFreqsRead"]), c.freqRead) << c.program;
    EXPECT_EQ(number(row["SumFreqsUsed"]), c.freqUsed) << c.program;
  }
}

// A selection's tables stand in their groups, the steps' details read back from the stream.
TEST(DisplaysEndToEnd, ForwardSelectionTablesInTheirGroups) {
  CommandRun r = runProgram(
      "proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / selection=forward"
      " details=steps; run;");
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* name :
       {"ModelInfo", "NObs", "SelectionSummary", "StopReason", "SelectedEffects"})
    theOne(r, name);
  // The fit tables of the selected model, and of each of the seven steps in a group of its own.
  for (const char* name : {"ANOVA", "FitStatistics", "ParameterEstimates"}) {
    const std::vector<Json> all = findAll(r.document, name);
    std::vector<std::string> paths;
    for (const Json& t : all) paths.push_back(t["path"]);
    std::vector<std::string> want;
    for (int step = 0; step <= 6; ++step)
      want.push_back("StepDetails.Step" + std::to_string(step) + "." + name);
    want.push_back(std::string("SelectedModel.") + name);
    EXPECT_EQ(paths, want);
  }
  Json summary = theOne(r, "SelectionSummary");
  int markers = 0;
  for (const Json& row : summary["rows"]) markers += row["OptSBC"].get<int>();
  EXPECT_EQ(markers, 1);
  EXPECT_NE(r.output.find("The selected model"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Step Details"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace vsf::test
