// The output data sets and macro variables as a user meets them: OUTPUT's predictions against
// R's predict() of the selected model, OUTDESIGN against model.matrix() under each CLASS coding
// (tests/reference/outputs_fixtures.R), SCORE of the analysis and of new data, the roles and
// folds of the fit, the macro variables over BY groups, and a failed step that leaves the earlier
// file alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(VSF_TEST_DATA) / "averaging";

// A library directory of its own with the data sets a test reads.
class Library {
 public:
  Library() : dir_(fs::temp_directory_path() / ("vsf_e2e_outputs_" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* f : {"mtcars.csv", "diabetes.csv"})
      fs::copy_file(fs::path(VSF_SHARED_DATA) / f, dir_ / f);
    fs::copy_file(kFixtures / "boston.csv", dir_ / "boston.csv");
    fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e" / "mtcars_by_am.csv", dir_ / "by_am.csv");
  }
  ~Library() { fs::remove_all(dir_); }
  std::string path() const { return dir_.string(); }
  Csv read(const std::string& name) const { return readCsv((dir_ / (name + ".csv")).string()); }
  bool has(const std::string& name) const { return fs::exists(dir_ / (name + ".csv")); }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / (name + ".csv")) << text;
  }

 private:
  fs::path dir_;
};

bool close(double a, double b, double rel = 1e-9) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= rel * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

// The fixture rows of one case: column name -> values in row order.
std::map<std::string, std::vector<double>> predictions(const std::string& name) {
  static const Csv fixture = readCsv("averaging/outputs_predictions.csv");
  std::map<std::string, std::vector<double>> out;
  for (size_t r = 0; r < fixture.rows.size(); ++r) {
    if (fixture.rows[r][0] != name) continue;
    out["predicted"].push_back(fixture.number(r, 2));
    out["residual"].push_back(fixture.number(r, 3));
  }
  return out;
}

// model.matrix of one case: per row its columns.
std::vector<std::vector<double>> designOf(const std::string& name) {
  static const Csv fixture = readCsv("averaging/outputs_design.csv");
  std::vector<std::vector<double>> m;
  for (size_t r = 0; r < fixture.rows.size(); ++r) {
    if (fixture.rows[r][0] != name) continue;
    const size_t row = std::stoul(fixture.rows[r][1]) - 1, col = std::stoul(fixture.rows[r][2]) - 1;
    if (m.size() <= row) m.resize(row + 1);
    if (m[row].size() <= col) m[row].resize(col + 1);
    m[row][col] = fixture.number(r, 3);
  }
  return m;
}

TEST(OutputDataSets, PredictionsAndResidualsEqualRsPredict) {
  struct Case {
    const char* fixture;
    const char* program;
  } cases[] = {
      {"mtcars_none",
       "proc varsifter data=mtcars; class cyl gear; model mpg = cyl gear wt hp / selection=none;"
       " output out=o p r; run;"},
      {"diabetes_forward",
       "proc varsifter data=diabetes; class sex; model y = age sex bmi bp s1-s6"
       " / selection=forward(select=sbc); output out=o predicted residual; run;"},
      {"diabetes_stepwise",
       "proc varsifter data=diabetes; class sex; model y = age sex bmi bp s1-s6"
       " / selection=stepwise(select=sbc); output out=o p r; run;"},
      {"boston_stepwise",
       "proc varsifter data=boston; class chas; model medv = crim zn indus chas nox rm age dis"
       " rad tax ptratio black lstat / selection=stepwise(select=sbc); output out=o p r; run;"},
      {"mtcars_by_am",
       "proc varsifter data=by_am; by am; model mpg = wt hp qsec disp"
       " / selection=forward(select=sbc); output out=o p r; run;"},
  };
  Library lib;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    const CommandRun r = runCommand(c.program, lib.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const Csv o = lib.read("o");
    std::map<std::string, std::vector<double>> want;
    if (std::string(c.fixture) == "mtcars_by_am")
      for (const char* g : {"mtcars_by_am0", "mtcars_by_am1"})
        for (auto& [k, v] : predictions(g)) want[k].insert(want[k].end(), v.begin(), v.end());
    else
      want = predictions(c.fixture);
    const std::string response = c.fixture[0] == 'd' ? "y" : c.fixture[0] == 'b' ? "medv" : "mpg";
    const int p = o.column("p_" + response), res = o.column("r_" + response);
    ASSERT_GE(p, 0);
    ASSERT_GE(res, 0);
    ASSERT_EQ(o.rows.size(), want["predicted"].size());
    for (size_t i = 0; i < o.rows.size(); ++i) {
      EXPECT_TRUE(close(o.number(i, static_cast<size_t>(p)), want["predicted"][i]))
          << "row " << i + 1;
      EXPECT_TRUE(close(o.number(i, static_cast<size_t>(res)), want["residual"][i], 1e-7))
          << "row " << i + 1;
    }
    if (std::string(c.fixture) == "mtcars_by_am") {
      const int by = o.column("_BY_");
      ASSERT_GE(by, 0);
      EXPECT_EQ(o.number(0, static_cast<size_t>(by)), 1);
      EXPECT_EQ(o.number(o.rows.size() - 1, static_cast<size_t>(by)), 2);
    }
  }
}

TEST(OutputDataSets, OutDesignColumnsEqualModelMatrix) {
  struct Case {
    const char* fixture;
    const char* program;
    std::vector<std::string> names;  // the design columns' names, in order
    std::vector<std::string> after;  // the variables that follow them
    const char* mod;  // _VSFMOD: the selected columns but the intercept, each a usable name
  } cases[] = {
      {"mtcars_glm",
       "proc varsifter data=mtcars outdesign(fullmodel)=d; class cyl gear;"
       " model mpg = cyl gear wt hp / selection=none; run;",
       {"Intercept", "cyl 4", "cyl 6", "cyl 8", "gear 3", "gear 4", "gear 5", "wt", "hp"},
       {"mpg"},
       "'cyl 4'n 'cyl 6'n 'cyl 8'n 'gear 3'n 'gear 4'n 'gear 5'n wt hp"},
      {"mtcars_last",
       "proc varsifter data=mtcars outdesign(prefix=dx)=d; class cyl(param=ref) gear(param=ref);"
       " model mpg = cyl gear wt hp / selection=none; run;",
       {"dx1", "dx2", "dx3", "dx4", "dx5", "dx6", "dx7"},
       {"mpg"},
       "dx2 dx3 dx4 dx5 dx6 dx7"},
      {"mtcars_effect",
       "proc varsifter data=mtcars outdesign(addinputvars prefix=z)=d;"
       " class cyl(param=effect) gear(param=effect); model mpg = cyl gear wt hp / selection=none;"
       " run;",
       {"z1", "z2", "z3", "z4", "z5", "z6", "z7"},
       {"model", "mpg", "cyl"},
       "z2 z3 z4 z5 z6 z7"},
  };
  Library lib;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    const CommandRun r = runCommand(c.program, lib.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.document["macros"]["_VSFMOD"], c.mod);
    const Csv d = lib.read("d");
    const auto want = designOf(c.fixture);
    ASSERT_GE(d.header.size(), c.names.size() + c.after.size());
    for (size_t j = 0; j < c.names.size(); ++j) EXPECT_EQ(d.header[j], c.names[j]);
    for (size_t j = 0; j < c.after.size(); ++j) EXPECT_EQ(d.header[c.names.size() + j], c.after[j]);
    ASSERT_EQ(d.rows.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
      for (size_t j = 0; j < c.names.size(); ++j)
        EXPECT_TRUE(close(d.number(i, j), want[i][j]))
            << "row " << i + 1 << " column " << c.names[j];
  }
}

TEST(OutputDataSets, OutDesignOverByGroupsIsOneDataSet) {
  Library lib;
  const CommandRun r = runCommand(
      "proc varsifter data=by_am outdesign(fullmodel names)=d; by am; class cyl;"
      " model mpg = cyl wt / selection=none; output out=o; run;",
      lib.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("With a BY statement the OUTDESIGN= columns are named"),
            std::string::npos);
  EXPECT_TRUE(lib.has("o"));  // OUTPUT is closed with the OUTDESIGN pass
  const Csv d = lib.read("d");
  std::vector<std::vector<double>> want = designOf("mtcars_by_am0");
  for (const auto& row : designOf("mtcars_by_am1")) want.push_back(row);
  ASSERT_EQ(d.rows.size(), want.size());
  const int by = d.column("_BY_");
  ASSERT_GE(by, 0);
  for (size_t i = 0; i < want.size(); ++i) {
    for (size_t j = 0; j < want[i].size(); ++j)
      EXPECT_TRUE(close(d.number(i, j), want[i][j])) << i << "," << j;
    EXPECT_EQ(d.number(i, static_cast<size_t>(by)), i < designOf("mtcars_by_am0").size() ? 1 : 2);
  }
  // One ParameterNames table per group, the second with its BY column.
  const auto tables = findAll(r.document, "ParameterNames");
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0]["rows"][1]["Name"], "_X2");
  EXPECT_EQ(tables[0]["rows"][1]["Parameter"], "cyl 4");
  EXPECT_TRUE(tables[1]["rows"][0].contains("_BY_"));
}

// A BY group skipped before its fit (no CLASS level) keeps its place in the OUTDESIGN pass: its
// rows have missing design columns and the groups after it their own.
TEST(OutputDataSets, OutDesignPassKeepsASkippedGroupInStep) {
  Library lib;
  lib.write("skip", "g,c,x,y\n1,a,1,2\n1,b,2,3\n1,a,3,5\n2,,1,2\n2,,2,3\n3,a,1,1\n3,b,2,3\n");
  const CommandRun r = runCommand(
      "proc varsifter data=skip outdesign=d; by g; class c; model y = c x / selection=none; run;",
      lib.path());
  const Csv d = lib.read("d");
  ASSERT_EQ(d.header, (std::vector<std::string>{"_X1", "_X2", "_X3", "_X4", "g", "y", "_BY_"}));
  const std::vector<std::vector<double>> want = {
      {1, 1, 0, 1, 1},         {1, 0, 1, 2, 1}, {1, 1, 0, 3, 1}, {NAN, NAN, NAN, NAN, 2},
      {NAN, NAN, NAN, NAN, 2}, {1, 1, 0, 1, 3}, {1, 0, 1, 2, 3}};
  ASSERT_EQ(d.rows.size(), want.size()) << r.output;
  for (size_t i = 0; i < want.size(); ++i) {
    for (size_t j = 0; j < 4; ++j) EXPECT_TRUE(close(d.number(i, j), want[i][j])) << i << "," << j;
    EXPECT_EQ(d.number(i, "_BY_"), want[i][4]);
  }
}

TEST(OutputDataSets, ScoreOfTheAnalysisDataEqualsOutput) {
  Library lib;
  const CommandRun r = runCommand(
      "proc varsifter data=diabetes; class sex; model y = age sex bmi bp s1-s6"
      " / selection=stepwise(select=sbc); output out=o p=yhat r; score data=diabetes out=s p r;"
      " score out=s2; run;",
      lib.path());
  ASSERT_EQ(r.status, 0) << r.output;
  const Csv o = lib.read("o"), s = lib.read("s"), s2 = lib.read("s2");
  ASSERT_EQ(o.rows.size(), 442u);
  ASSERT_EQ(s.rows.size(), 442u);
  ASSERT_EQ(s2.rows.size(), 442u);
  for (size_t i = 0; i < o.rows.size(); ++i) {
    EXPECT_EQ(o.number(i, "yhat"), s.number(i, "p_y"));
    EXPECT_EQ(o.number(i, "r_y"), s.number(i, "r_y"));
    EXPECT_EQ(o.number(i, "yhat"), s2.number(i, "p_y"));
  }
  const auto info = findAll(r.document, "ScoreInfo");
  ASSERT_EQ(info.size(), 2u);
  EXPECT_EQ(entryValue(info[0], "Number of Observations Used"), 442);
  EXPECT_EQ(entryValue(info[0], "Number of Observations Used with a Response"), 442);
  // The run's document lists the data sets written, a SCORE OUT= data set with its label.
  std::map<std::string, std::string> labels;
  for (const Json& ds : r.document["dataSets"]) labels[ds["name"]] = ds["label"];
  EXPECT_EQ(labels["WORK.S"], "Scored data of WORK.DIABETES");
  EXPECT_EQ(labels.count("WORK.O"), 1u);
}

TEST(OutputDataSets, NewLevelsAndMissingVariablesGiveMissingPredictions) {
  Library lib;
  lib.write("levels", "cyl,wt,hp,mpg\n4,2.5,100,25\n5,2.5,100,25\n8,,150,15\n8,3.5,150,\n");
  lib.write("nohp", "cyl,wt,mpg\n4,2.5,25\n");
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars; class cyl; model mpg = cyl wt hp / selection=none;"
      " score data=levels out=sl p r; score data=nohp out=sn; run;",
      lib.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("NOTE: Level \"5\" of cyl is not among the training levels; "
                          "observations of WORK.LEVELS with it are not scored: 1."),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("WARNING: The SCORE data set WORK.NOHP lacks hp, used by the selected "
                          "model; the predictions of WORK.SN are missing."),
            std::string::npos)
      << r.output;
  const Csv sl = lib.read("sl"), sn = lib.read("sn");
  const int p = sl.column("p_mpg"), res = sl.column("r_mpg");
  ASSERT_EQ(sl.rows.size(), 4u);
  EXPECT_FALSE(std::isnan(sl.number(0, static_cast<size_t>(p))));
  EXPECT_TRUE(std::isnan(
      sl.number(1, static_cast<size_t>(p))));  // level 5 is not among the analysis levels
  EXPECT_TRUE(std::isnan(sl.number(2, static_cast<size_t>(p))));  // wt missing
  EXPECT_FALSE(std::isnan(sl.number(3, static_cast<size_t>(p))));
  EXPECT_TRUE(std::isnan(sl.number(3, static_cast<size_t>(res))));  // no response
  ASSERT_EQ(sn.rows.size(), 1u);
  EXPECT_TRUE(std::isnan(sn.number(0, "p_mpg")));
  const auto info = findAll(r.document, "ScoreInfo");
  ASSERT_EQ(info.size(), 2u);
  EXPECT_EQ(entryValue(info[0], "Number of Observations Read"), 4);
  EXPECT_EQ(entryValue(info[0], "Number of Observations Used"), 2);
  EXPECT_EQ(entryValue(info[0], "Number of Observations Used with a Response"), 1);
}

// The roles and folds written are those the fit counted: as many TRAIN rows as the fit's
// training observations, folds only on them and in the method's pattern.
TEST(OutputDataSets, RolesAndFoldsAreTheFits) {
  struct Case {
    const char* statements;
    bool block;
  } cases[] = {
      {"model mpg = wt hp qsec disp / selection=forward(select=sbc choose=cv) cvmethod=random(3);"
       " partition fraction(validate=0.25);",
       false},
      {"model mpg = wt hp qsec / selection=forward(select=sbc choose=cv) cvmethod=block(3);"
       " partition fraction(test=0.2);",
       true},
  };
  Library lib;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    const CommandRun r = runCommand(
        std::string("proc varsifter data=mtcars seed=11; ") + c.statements + " output out=o; run;",
        lib.path());
    ASSERT_LT(r.status, 1) << r.output;
    const Json nobs = findAll(r.document, "NObs").at(0);
    const double training = number(nobs["rows"][0]["NObsTraining"]);
    const Csv o = lib.read("o");
    const int role = o.column("_ROLE_"), fold = o.column("_CVINDEX_");
    ASSERT_GE(role, 0);
    ASSERT_GE(fold, 0);
    int trainRows = 0;
    std::vector<int> folds;
    for (size_t i = 0; i < o.rows.size(); ++i) {
      const bool train = o.rows[i][static_cast<size_t>(role)] == "TRAIN";
      trainRows += train;
      const int f = static_cast<int>(o.number(i, static_cast<size_t>(fold)));
      if (train)
        folds.push_back(f);
      else
        EXPECT_EQ(f, 0);
    }
    EXPECT_EQ(trainRows, training);
    for (size_t i = 0; i < folds.size(); ++i) {
      EXPECT_GE(folds[i], 1);
      EXPECT_LE(folds[i], 3);
      if (c.block && i > 0) {
        EXPECT_GE(folds[i], folds[i - 1]);  // consecutive blocks
      }
    }
  }
}

TEST(MacroVariables, SelectedModelPerByGroupUnderMaxmacro) {
  struct Case {
    int maxmacro;
    std::vector<std::string> set, unset;
    bool note;
  } cases[] = {
      {-1, {}, {"_VSFIND", "_VSFIND1", "_VSFMOD", "_VSFNUMBYS"}, false},
      {0, {"_VSFIND", "_VSFMOD", "_VSFNUMBYS"}, {"_VSFIND1", "_VSFMOD1"}, false},
      {2,
       {"_VSFIND", "_VSFIND1", "_VSFIND2", "_VSFMOD1", "_VSFMOD2"},
       {"_VSFIND3", "_VSFMOD3"},
       true},
  };
  Library lib;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxmacro);
    const CommandRun r =
        runCommand("proc varsifter data=mtcars maxmacro=" + std::to_string(c.maxmacro) +
                       " outdesign=d; by gear notsorted; model mpg = wt hp qsec"
                       " / selection=forward(select=sbc); run;"
                       " %put IND=&_VSFIND;",
                   lib.path());
    ASSERT_EQ(r.status, 0) << r.output;
    const Json& macros = r.document["macros"];
    for (const std::string& m : c.set) EXPECT_TRUE(macros.contains(m)) << m;
    for (const std::string& m : c.unset) EXPECT_FALSE(macros.contains(m)) << m;
    const std::string note = "Macro variables are set for the first 2 BY groups only";
    EXPECT_EQ(r.output.find(note) != std::string::npos, c.note);
    if (c.maxmacro >= 0) {
      EXPECT_EQ(macros["_VSFIND"],
                macros.contains("_VSFIND1") ? macros["_VSFIND1"] : macros["_VSFIND"]);
      EXPECT_NE(r.output.find("IND=" + macros["_VSFIND"].get<std::string>()), std::string::npos);
    }
  }
}

TEST(MacroVariables, EffectNamesAndDesignColumns) {
  Library lib;
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars outdesign(prefix=P)=d; class cyl am; model mpg = am*wt wt(cyl)"
      " / selection=none; run;",
      lib.path());
  ASSERT_EQ(r.status, 0) << r.output;
  const Json& macros = r.document["macros"];
  EXPECT_EQ(macros["_VSFIND"], "wt*am wt(cyl)");  // continuous variables first
  EXPECT_EQ(macros["_VSFMOD"], "P2 P3 P4 P5 P6");
  // Effect order, or with ORDERSELECT the order of entry.
  for (const auto& [option, want] : std::vector<std::pair<std::string, std::string>>{
           {"", "cyl wt"}, {" orderselect", "wt cyl"}}) {
    const CommandRun f = runCommand(
        "proc varsifter data=mtcars; model mpg = cyl disp hp drat wt qsec"
        " / selection=forward(select=sbc)" +
            option + "; run;",
        lib.path());
    EXPECT_EQ(f.document["macros"]["_VSFIND"], want) << f.output;
  }
  // Thirteen columns: the names keep every digit.
  const CommandRun names = runCommand(
      "proc varsifter data=mtcars outdesign(fullmodel names prefix=P)=d; class cyl gear carb;"
      " model mpg = cyl gear carb / selection=none; run;",
      lib.path());
  ASSERT_EQ(names.status, 0) << names.output;
  const Json table = theOne(names, "ParameterNames");
  ASSERT_EQ(table["rows"].size(), 13u);
  EXPECT_EQ(table["rows"][9]["Name"], "P10");
  EXPECT_EQ(table["rows"][12]["Name"], "P13");
  EXPECT_EQ(table["rows"][12]["Parameter"], "carb 8");
  EXPECT_EQ(lib.read("d").header[9], "P10");
  const CommandRun empty = runCommand(
      "proc varsifter data=mtcars; model mpg = wt / selection=forward(select=sl slentry=1e-12);"
      " run;",
      lib.path());
  ASSERT_EQ(empty.status, 0) << empty.output;
  EXPECT_EQ(empty.document["macros"]["_VSFIND"], "");
  // The intercept alone explains nothing, though wt went in and out on trial.
  const Json model = theOne(empty, "ANOVA")["rows"][0];
  EXPECT_EQ(model["DF"], 0.0);
  EXPECT_EQ(model["SS"], 0.0);
}

// A step that fails while writing leaves the earlier data set of the name as it was, and no
// temporary file; a killed run's temporary file goes with the next writer of the name.
TEST(OutputDataSets, FailedStepLeavesTheEarlierFile) {
  Library lib;
  fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e" / "by_unsorted.csv", lib.path() + "/unsorted.csv");
  lib.write("o", "earlier\n1\n");
  std::ofstream(lib.path() + "/.o.csv.varsifter-K1lled.tmp") << "killed\n";
  const CommandRun r = runCommand(
      "proc varsifter data=unsorted; by g; model y = x / selection=none; output out=o; run;",
      lib.path());
  EXPECT_EQ(r.status, 1) << r.output;
  const Csv o = lib.read("o");
  EXPECT_EQ(o.header, std::vector<std::string>{"earlier"});
  for (const auto& e : fs::directory_iterator(lib.path()))
    EXPECT_EQ(e.path().extension() == ".tmp", false) << e.path();
}

// The o.csv a program run with the options writes in the library.
std::string outputFile(const Library& lib, const std::string& program, const char* options) {
  const CommandRun r = runCommand(program, lib.path(), options);
  EXPECT_EQ(r.status, 0) << r.output;
  std::ifstream in(lib.path() + "/o.csv");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Rows formatted on workers come out in their order, the same bytes as on one thread.
TEST(OutputDataSets, ThreadedWritingGivesTheSameFile) {
  Library lib;
  std::ostringstream data;
  data << "id,x,y,tag\n";
  for (int i = 0; i < 10000; ++i)
    data << i << ',' << (i % 97) / 7.0 << ',' << (i % 13) * 0.25 + i * 1e-4 << ",t" << i % 5
         << '\n';
  lib.write("big", data.str());
  const std::string program =
      "proc varsifter data=big; model y = x / selection=none; output out=o p r; run;";
  const std::string one = outputFile(lib, program, "--nothreads");
  EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 10001);
  EXPECT_TRUE(outputFile(lib, program, "--threads --cpucount 4") == one);
}

// Rows of 1,000 variables under --memsize 1 go a row to a block on the workers: the same bytes
// as on one thread.
TEST(OutputDataSets, WideRowsUnderALittleMemoryGiveTheSameFile) {
  Library lib;
  std::ostringstream data;
  data << "y";
  for (int j = 1; j < 1000; ++j) data << ",x" << j;
  data << '\n';
  for (int i = 0; i < 30; ++i) {
    data << i % 7;
    for (int j = 1; j < 1000; ++j) data << ',' << (i * 37 + j * j) % 101 / 8.0;
    data << '\n';
  }
  lib.write("wide", data.str());
  const std::string program =
      "proc varsifter data=wide; model y = x1 x2 / selection=none; output out=o p r; run;";
  const std::string one = outputFile(lib, program, "--nothreads");
  EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 31);
  EXPECT_TRUE(outputFile(lib, program, "--threads --cpucount 4 --memsize 1") == one);
}

}  // namespace
}  // namespace vsf::test
