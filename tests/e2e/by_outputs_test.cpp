// What tells a BY group's outputs apart, as a user reads them: the ParameterNames table's group
// number against the OUTDESIGN data set's _BY_; the BY line in each graph and its file's name;
// the error of a group without a training observation, naming the group and why;
// SCORE and validation data sets read group by
// group, each row predicted by its own group's model as R predicts it
// (tests/reference/e2e_byscore.R), or by every group's model when the data set lacks the BY
// variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

bool near(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// A library with the BY data set of the examples and the fixtures of the BY tests.
struct ByLibrary : DataLibrary {
  ByLibrary() : DataLibrary({"mtcars_by_cyl"}) {
    for (const char* n : {"by_score", "by_valid"})
      fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e" / (std::string(n) + ".csv"),
                    path() / (std::string(n) + ".csv"));
  }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path() / (name + ".csv")) << text;
  }
  // A copy of a data set with the first `find` of its text replaced.
  void edited(const std::string& from, const std::string& to, const std::string& find,
              const std::string& replace) const {
    std::string t = text(from + ".csv");
    write(to, t.replace(t.find(find), find.size(), replace));
  }
  // The rows of mtcars_by_cyl of one cyl value.
  void group(const std::string& to, const std::string& cyl) const {
    std::istringstream in(text("mtcars_by_cyl.csv"));
    std::string line, out;
    for (bool header = true; std::getline(in, line); header = false)
      if (header || splitCsvLine(line).at(2) == cyl) out += line + "\n";
    write(to, out);
  }
};

// The BY group's shown value of a table of the document.
std::string shownBy(const Json& table) {
  return table.contains("by") && !table["by"].empty() ? table["by"][0]["shown"].get<std::string>()
                                                      : std::string();
}

// Each group's table names the design columns of the OUTDESIGN rows of that group: its "BY
// Group" is their _BY_ (the first group's table has no such column).
TEST(ByOutputs, ParameterNamesCarryTheGroupsOwnNumber) {
  DataLibrary lib({"mtcars_by_cyl"});
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars_by_cyl outdesign(prefix=col names)=od1; by cyl; class am;"
      " model mpg = am wt hp / selection=forward(select=sbc); run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  const Csv od = readCsv(lib.dir() + "/od1.csv");
  std::map<std::string, double> numberOf;  // cyl -> _BY_ of its rows
  for (size_t i = 0; i < od.rows.size(); ++i) numberOf[od.text(i, "cyl")] = od.number(i, "_BY_");
  ASSERT_EQ(numberOf.size(), 3u);
  const std::vector<Json> tables = findAll(r.document, "ParameterNames");
  ASSERT_EQ(tables.size(), 3u);
  for (size_t k = 0; k < tables.size(); ++k) {
    const std::string cyl = shownBy(tables[k]);
    SCOPED_TRACE("cyl=" + cyl);
    ASSERT_EQ(numberOf.count(cyl), 1u);
    EXPECT_EQ(numberOf[cyl], static_cast<double>(k + 1));
    for (const Json& row : tables[k]["rows"]) {
      if (k == 0) {
        EXPECT_FALSE(row.contains("_BY_"));
      } else {
        EXPECT_EQ(number(row["_BY_"]), numberOf[cyl]);
      }
    }
  }
}

// Each group scores and validates on the rows of its own BY values, in the data set's order:
// OUT= holds each scored row once, predicted by its group's model (R's lm per group) and
// tagged with its _BY_; the rows of BY values no group has are counted in notes.
TEST(ByOutputs, ScoreAndValidationRowsGoToTheirOwnGroup) {
  ByLibrary lib;
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars_by_cyl valdata=by_valid; by cyl;"
      " model mpg = wt hp / selection=none; score data=by_score out=own p r; run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* note :
       {"NOTE: Observations of the SCORE data set WORK.BY_SCORE whose BY values no BY group of "
        "the input data set has are not scored: 3.",
        "NOTE: Observations of the validation data set WORK.BY_VALID whose BY values no fitted "
        "BY group has are not used: 1."})
    EXPECT_NE(r.output.find(note), std::string::npos) << note << "\n" << r.output;
  const Csv want = readCsv("e2e/by_score_predictions.csv");
  const Csv scored = readCsv(lib.dir() + "/by_score.csv");
  const Csv own = readCsv(lib.dir() + "/own.csv");
  // Group by group, each group's rows in the data set's order.
  std::vector<size_t> order;
  for (const char* cyl : {"4", "6", "8"})
    for (size_t i = 0; i < scored.rows.size(); ++i)
      if (scored.text(i, "cyl") == cyl) order.push_back(i);
  ASSERT_EQ(own.rows.size(), order.size());
  const std::map<std::string, double> numberOf = {{"4", 1}, {"6", 2}, {"8", 3}};
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    SCOPED_TRACE(scored.text(i, "model"));
    EXPECT_EQ(own.text(k, "model"), scored.text(i, "model"));
    EXPECT_TRUE(near(own.number(k, "p_mpg"), want.number(i, "own"))) << own.number(k, "p_mpg");
    EXPECT_TRUE(near(own.number(k, "r_mpg"), scored.number(i, "mpg") - want.number(i, "own")));
    EXPECT_EQ(own.number(k, "_BY_"), numberOf.at(own.text(k, "cyl")));
  }
  const std::vector<Json> info = findAll(r.document, "ScoreInfo");
  const std::vector<Json> fit = findAll(r.document, "FitStatistics");
  const Csv ase = readCsv("e2e/by_valid_ase.csv");
  ASSERT_EQ(info.size(), 3u);
  ASSERT_EQ(fit.size(), 3u);
  const double read[] = {5, 3, 5};
  for (size_t g = 0; g < 3; ++g) {
    EXPECT_EQ(number(entryValue(info[g], "Number of Observations Read")), read[g]);
    EXPECT_TRUE(near(number(entryValue(fit[g], "ASE (Validate)")), ase.number(g, "ase")));
  }
}

// Without the BY variables every group's model scores the whole data set, after a warning, and
// _BY_ says whose model scored a row; a BY variable of the other type is an error naming it.
TEST(ByOutputs, ScoreDataWithoutTheByVariables) {
  ByLibrary lib;
  lib.edited("by_score", "nocyl", "model,cyl,", "model,kind,");
  lib.edited("by_score", "textcyl", "new 1,8,", "new 1,c8,");
  const std::string fit =
      "proc varsifter data=mtcars_by_cyl; by cyl;"
      " model mpg = wt hp / selection=none;";
  CommandRun r = runCommand(fit + " score data=nocyl out=every p; run;", lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("WARNING: The SCORE data set WORK.NOCYL does not have the BY "
                          "variables of the input data set; every BY group's model scores all "
                          "of its observations."),
            std::string::npos)
      << r.output;
  const Csv want = readCsv("e2e/by_score_predictions.csv");
  const Csv every = readCsv(lib.dir() + "/every.csv");
  const size_t n = want.rows.size();
  ASSERT_EQ(every.rows.size(), 3 * n);
  const char* models[] = {"p4", "p6", "p8"};
  for (size_t g = 0; g < 3; ++g)
    for (size_t i = 0; i < n; ++i) {
      EXPECT_EQ(every.number(g * n + i, "_BY_"), static_cast<double>(g + 1));
      EXPECT_TRUE(near(every.number(g * n + i, "p_mpg"), want.number(i, models[g])))
          << models[g] << " row " << i + 1;
    }

  r = runCommand(fit + " score data=textcyl out=t p; run;", lib.dir());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("ERROR: The BY variable cyl is numeric in data set WORK.MTCARS_BY_CYL "
                          "but character in WORK.TEXTCYL"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(lib.path() / "t.csv"));
}

// An INEST= data set with the BY variables gives each group the PARMS row of its own BY
// values, wherever it stands: each group's adaptive path is that of the group fitted alone with
// its row.
TEST(ByOutputs, InitialEstimatesOfTheGroupsOwnRow) {
  ByLibrary lib;
  const char* rows[] = {"8,PARMS,30,-0.1,-0.5", "6,PARMS,20,-1,-0.2", "4,PARMS,40,-6,-0.005"};
  const std::string header = "cyl,_TYPE_,Intercept,wt,hp\n";
  lib.write("ie", header + rows[0] + "\n" + rows[1] + "\n" + rows[2] + "\n");
  const std::string model = " model mpg = wt hp / selection=lasso(adaptive(inest=ie) stop=none);";
  const CommandRun all =
      runCommand("proc varsifter data=mtcars_by_cyl; by cyl;" + model + " run;", lib.dir());
  ASSERT_EQ(all.status, 0) << all.output;
  const std::vector<Json> paths = findAll(all.document, "SelectionSummary");
  ASSERT_EQ(paths.size(), 3u);
  const char* cyls[] = {"4", "6", "8"};
  for (size_t g = 0; g < 3; ++g) {
    SCOPED_TRACE(std::string("cyl=") + cyls[g]);
    lib.group("alone", cyls[g]);
    lib.write("ie", header + rows[2 - g] + "\n");
    const CommandRun alone = runCommand("proc varsifter data=alone;" + model + " run;", lib.dir());
    ASSERT_EQ(alone.status, 0) << alone.output;
    EXPECT_EQ(paths[g]["rows"], theOne(alone, "SelectionSummary")["rows"]);
  }
}

// A group whose BY values have no PARMS row fits without initial estimates, and the warning
// names that group; the groups with their row are not named.
TEST(ByOutputs, AGroupWithoutItsInitialEstimatesIsNamed) {
  ByLibrary lib;
  lib.write("ie", "cyl,_TYPE_,Intercept,wt,hp\n6,PARMS,20,-1,-0.2\n4,PARMS,40,-6,-0.005\n");
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars_by_cyl; by cyl; model mpg = wt hp / "
      "selection=lasso(adaptive(inest=ie) stop=none); run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string said =
      "WARNING: BY group cyl=8: The INEST= data set has no PARMS row; "
      "no initial estimates are used.";
  EXPECT_NE(r.output.find(said), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("no PARMS row"), r.output.rfind("no PARMS row")) << "said once";
  EXPECT_EQ(findAll(r.document, "SelectionSummary").size(), 3u);
}

// A validation or test row whose levels each occur in its group's analysis rows but never
// together is left out, and the note names the effect and the group it is about.
TEST(ByOutputs, UnseenLevelCombinationsNameTheGroup) {
  ByLibrary lib;
  lib.write("fit",
            "g,a,b,y\n1,p,u,1\n1,p,u,2\n1,q,v,3\n1,q,v,4\n1,p,v,5\n1,q,u,6\n"
            "2,p,u,1\n2,p,u,2\n2,q,v,3\n2,q,v,4\n2,p,u,5\n2,q,v,6\n");
  lib.write("held", "g,a,b,y\n1,p,u,1\n2,p,v,2\n2,q,v,3\n");
  for (const char* option : {"valdata", "testdata"}) {
    SCOPED_TRACE(option);
    const CommandRun r = runCommand(std::string("proc varsifter data=fit ") + option +
                                        "=held; by g; class a b; model y = a*b / selection=none;"
                                        " run;",
                                    lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string said = std::string("BY group g=2: The ") +
                             (option[0] == 'v' ? "validation" : "test") +
                             " data set has levels of the effect a*b that the analysis data do "
                             "not have.";
    EXPECT_NE(r.output.find(said), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("do not have."), r.output.rfind("do not have.")) << "said once";
  }
}

// Under NOTSORTED each run of equal BY values is a group: a SCORE or validation data set laid
// out as the analysis data gives each group its own run, never the rows of a later group of
// the same values. Each row is scored once, by its own group's least-squares line.
TEST(ByOutputs, NotSortedGroupsTakeTheirOwnRunOfRows) {
  ByLibrary lib;
  const std::string rows =
      "g,x,y\n1,1,1.0\n1,2,2.1\n1,3,2.9\n2,1,5.0\n2,2,3.9\n2,3,3.1\n1,1,10.0\n1,2,20.5\n"
      "1,3,29.0\n";
  lib.write("runs", rows);
  lib.write("again", rows);
  const CommandRun r = runCommand(
      "proc varsifter data=runs valdata=again; by g notsorted; model y = x / selection=none;"
      " score data=again out=scored p; run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  // Each group's line through its three points, at x = 1, 2, 3.
  const double want[] = {1.05,           2.0,           2.95, 4.95, 4.0, 3.05, 10.0 + 1.0 / 3,
                         19.5 + 1.0 / 3, 29.0 + 1.0 / 3};
  const std::vector<double> p = lib.column("scored", "p_y"), by = lib.column("scored", "_BY_");
  ASSERT_EQ(p.size(), std::size(want));
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_TRUE(near(p[i], want[i])) << "row " << i + 1 << ": " << p[i];
    EXPECT_EQ(by[i], static_cast<double>(i / 3 + 1)) << "row " << i + 1;
  }
  // The validation rows are the training rows: each group's ASE is the same on both.
  const std::vector<Json> fit = findAll(r.document, "FitStatistics");
  ASSERT_EQ(fit.size(), 3u);
  for (const Json& f : fit)
    EXPECT_TRUE(near(number(entryValue(f, "ASE (Validate)")), number(entryValue(f, "ASE (Train)"))))
        << f;
}

// Under --svg each group's graph files are named after the group's number and BY values, and
// each drawing says its BY line under its titles, as the group's tables carry it.
TEST(ByOutputs, GraphFilesAndPicturesNameTheirGroup) {
  struct Case {
    const char* program;
    std::vector<std::string> graphs;  // the file stems of one group
    std::vector<std::string> groups;  // the BY lines
  } cases[] = {
      {"proc varsifter data=mtcars_by_cyl plots=all; by cyl; model mpg = wt hp qsec /"
       " selection=lasso(choose=cvex stop=none showcvex) cvmethod=split(3); run;",
       {"L1VsASEPlot", "Summary.ASEPlot", "Summary.CoefficientPanel", "Summary.CriterionPanel"},
       {"cyl=4", "cyl=6", "cyl=8"}},
      {"proc varsifter data=by_two plots=coefficients; by s g; model y = x / selection=lasso;"
       " run;",
       {"Summary.CoefficientPanel"},
       {"s=a g=1", "s=a g=2", "s=b g=1", "s=b g=2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    DataLibrary lib({"mtcars_by_cyl"});
    fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e" / "by_two.csv", lib.path() / "by_two.csv");
    const fs::path svg = lib.path() / "svg";
    const CommandRun r = runCommand(c.program, lib.dir(), "--svg " + svg.string());
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> want, files;
    for (size_t k = 0; k < c.groups.size(); ++k) {
      std::string values = c.groups[k];
      std::replace(values.begin(), values.end(), ' ', '_');
      for (const std::string& graph : c.graphs) {
        const std::string file = graph + ".by" + std::to_string(k + 1) + "-" + values + ".svg";
        want.push_back(file);
        const std::string picture = fileText(svg / file);
        EXPECT_NE(picture.find("<text class=\"byline\""), std::string::npos) << file;
        EXPECT_NE(picture.find(">" + c.groups[k] + "</text>"), std::string::npos) << file;
      }
    }
    for (const auto& e : fs::directory_iterator(svg)) files.push_back(e.path().filename());
    std::sort(want.begin(), want.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, want);
  }
}

// A group none of whose observations can train says so, naming its BY values and counting
// what its observations lack; under NOPRINT too, and the other groups are fitted.
TEST(ByOutputs, AGroupWithoutTrainingRowsSaysWhich) {
  ByLibrary lib;
  lib.write("empty",
            "g,y,x,c,w,r\n1,1,1,a,1,T\n1,2,3,b,1,T\n1,4,2,a,1,T\n1,3,5,b,1,T\n1,6,4,a,1,T\n"
            "2,,1,a,1,T\n2,,2,b,1,T\n3,,1,a,1,T\n3,2,,b,1,T\n3,3,2,a,0,T\n"
            "4,1,1,,1,T\n4,,2,a,1,T\n5,1,1,a,1,V\n5,2,2,b,1,V\n");
  const char* said[] = {
      "ERROR: BY group g=2: There are no usable observations to fit a model: of the 2 "
      "observations read, the response y is missing in 2.",
      "ERROR: BY group g=3: There are no usable observations to fit a model: of the 3 "
      "observations read, the response y is missing in 1, x is missing in 1, the WEIGHT or FREQ "
      "value is missing or not positive in 1.",
      "ERROR: BY group g=4: There are no usable observations to fit a model: of the 2 "
      "observations read, the response y is missing in 1, c is missing in 1.",
      "ERROR: BY group g=5: There are no usable observations to fit a model: of the 2 "
      "observations read, training leaves out 2 for their role or a value the model cannot "
      "use.",
  };
  for (const char* options : {"", " noprint"}) {
    const CommandRun r =
        runCommand(std::string("proc varsifter data=empty") + options +
                       "; by g; class c; model y = x c / selection=none; weight w;"
                       " partition rolevar=r(train='T' validate='V'); output out=o; run;",
                   lib.dir());
    SCOPED_TRACE(r.output);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("return code 108"), std::string::npos);
    for (const char* text : said) EXPECT_NE(r.output.find(text), std::string::npos) << text;
    EXPECT_EQ(r.output.find("BY group g=1: There are no usable"), std::string::npos);
    EXPECT_EQ(r.output.find("fit a model."), std::string::npos);  // said once, with its counts
    const std::vector<double> p = lib.column("o", "p_y");
    ASSERT_EQ(p.size(), 14u);
    EXPECT_FALSE(std::isnan(p[0]));
  }
  // Without BY the one group is the data set.
  lib.write("nothing", "y,x\n,1\n,2\n");
  const CommandRun r = runCommand("proc varsifter data=nothing; model y = x; run;", lib.dir());
  EXPECT_NE(r.output.find("ERROR: There are no usable observations to fit a model: of the 2 "
                          "observations read, the response y is missing in 2."),
            std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace vsf::test
