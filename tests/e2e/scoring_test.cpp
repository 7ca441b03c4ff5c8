// Scoring through the command. A model with a LAG effect scores the analysis data as OUTPUT
// predicts it, and any data set as R predicts from a lagged design merged on shifted periods
// (tests/reference/e2e_lagscore.R); a scored set without the subject and period variables, or
// with a subject twice in one period, gets no prediction and says why. A scored data set's
// CLASS value matches a training level only whole: new levels are named in notes and left
// unscored, also in validation data, and the predictions R can make are R's
// (tests/reference/e2e_scorelevels.R).
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

const fs::path kData = fs::path(VSF_TEST_DATA) / "e2e";

bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// A library of its own holding copies of the named fixture data sets.
struct Library {
  ScratchDir dir{"vsf_scoring"};
  explicit Library(std::initializer_list<const char*> names) {
    for (const char* n : names) fs::copy_file(kData / (std::string(n) + ".csv"), path(n));
  }
  fs::path path(const std::string& name) const { return dir.path() / (name + ".csv"); }
  Csv read(const std::string& name) const { return readCsv(path(name).string()); }
  std::string root() const { return dir.path().string(); }
  void write(const std::string& name, const Csv& data) const {
    std::ofstream out(path(name));
    auto line = [&](const std::vector<std::string>& cells) {
      for (size_t j = 0; j < cells.size(); ++j) out << (j ? "," : "") << cells[j];
      out << "\n";
    };
    line(data.header);
    for (const auto& row : data.rows) line(row);
  }
};

// R's predictions of one LAG case: data ("panel" or "rotated") -> one value per panel row.
std::map<std::string, std::vector<double>> lagReference(int nlag, int by) {
  static const Csv fixture = readCsv("e2e/lag_predictions.csv");
  std::map<std::string, std::vector<double>> out;
  for (size_t i = 0; i < fixture.rows.size(); ++i) {
    if (fixture.number(i, "nlag") != nlag || fixture.number(i, "by") != by) continue;
    std::vector<double>& v = out[fixture.rows[i][static_cast<size_t>(fixture.column("data"))]];
    const size_t row = static_cast<size_t>(fixture.number(i, "row")) - 1;
    if (v.size() <= row) v.resize(row + 1, NAN);
    v[row] = fixture.number(i, "p");
  }
  return out;
}

std::string lagProgram(int nlag, bool by) {
  return std::string("proc varsifter data=lag_panel;\n") + (by ? "  by site;\n" : "") +
         "  class L;\n"
         "  effect lg = lag(L / within=subj period=per nlag=" +
         std::to_string(nlag) +
         " details);\n"
         "  model y = x lg / selection=none;\n"
         "  output out=o p=p;\n"
         "  score out=own p=p;\n"
         "  score data=lag_panel out=panel p=p;\n"
         "  score data=lag_rotated out=rotated p=p;\n" +
         (by ? "  score data=lag_nosite out=whole p=p;\n" : "") + "run;\n";
}

// SCORE of the analysis data (as the analysis reader, and as a data set of its own) equals
// OUTPUT on every row and R's lagged-design prediction; the copy whose lagged variable moved on
// a level scores as R scores it, and differently. With a BY statement each group scores the
// rows of its own site of a separate data set, and the whole of one without the site: the
// other site's subjects are levels it never saw.
TEST(ScoringLag, ScoreEqualsOutputAndRsLaggedDesign) {
  for (int nlag : {1, 2})
    for (bool by : {false, true}) {
      SCOPED_TRACE("nlag=" + std::to_string(nlag) + (by ? " by site" : ""));
      Library lib{"lag_panel", "lag_rotated"};
      Csv nosite = lib.read("lag_panel");
      nosite.header[0] = "place";
      lib.write("lag_nosite", nosite);
      const CommandRun r = runCommand(lagProgram(nlag, by), lib.root());
      ASSERT_EQ(r.status, 0) << r.output;
      const auto want = lagReference(nlag, by ? 1 : 0);
      const Csv o = lib.read("o"), own = lib.read("own"), panel = lib.read("panel"),
                rotated = lib.read("rotated"), whole = by ? lib.read("whole") : Csv();
      const size_t n = o.rows.size();
      ASSERT_EQ(want.at("panel").size(), n);
      ASSERT_EQ(own.rows.size(), n);
      ASSERT_EQ(panel.rows.size(), n);
      ASSERT_EQ(rotated.rows.size(), n);
      if (by) {
        ASSERT_EQ(whole.rows.size(), 2 * n);
      }
      int predicted = 0, moved = 0;
      for (size_t i = 0; i < n; ++i) {
        const std::string at = "row " + std::to_string(i + 1);
        const double p = o.number(i, "p");
        EXPECT_TRUE(same(p, want.at("panel")[i])) << at << ": " << p;
        EXPECT_TRUE(same(own.number(i, "p"), p)) << at;
        EXPECT_TRUE(same(panel.number(i, "p"), p)) << at;
        EXPECT_TRUE(same(rotated.number(i, "p"), want.at("rotated")[i])) << at;
        if (by) {
          // Group A scores the whole of the data set without the site first; B's subjects are
          // unseen there.
          const bool siteB = o.rows[i][0] == "B";
          const size_t k = siteB ? n + i : i, other = siteB ? i : n + i;
          EXPECT_TRUE(same(whole.number(k, "p"), p)) << at;
          EXPECT_TRUE(std::isnan(whole.number(other, "p"))) << at;
        }
        predicted += !std::isnan(p);
        moved += !std::isnan(p) && !same(rotated.number(i, "p"), p);
      }
      EXPECT_GT(predicted, static_cast<int>(n) / 2);
      EXPECT_GT(moved, predicted / 2);
      if (by) {
        EXPECT_NE(r.output.find("NOTE: BY group site=A: Level \"9\" of subj is not among the "
                                "training levels; observations of WORK.LAG_NOSITE with it are not "
                                "scored: "),
                  std::string::npos);
        // Past the first five values of a variable the notes count the rest together.
        EXPECT_NE(r.output.find("NOTE: BY group site=A: 3 more levels of subj are not among the "
                                "training levels; observations of WORK.LAG_NOSITE with them are "
                                "not scored: "),
                  std::string::npos);
        EXPECT_EQ(r.output.find("levels; observations of WORK.LAG_PANEL"), std::string::npos)
            << r.output;
      }
      // DETAILS: the fit's lag design, then each scored data set's after its ScoreInfo.
      const auto designs = findAll(r.document, "LagDesign");
      ASSERT_EQ(designs.size(), by ? 10u : 4u);
      EXPECT_EQ(designs[1]["path"], "SelectedModel.ScoreDetails.ScoreData.LagDesigns.LagDesign");
      const Json& fitted = designs[2]["rows"][0];
      const Json& moved1 = designs[3]["rows"][0];
      const std::map<std::string, std::string> next = {{"u", "v"}, {"v", "w"}, {"w", "u"}};
      int cells = 0;
      for (const auto& [column, cell] : fitted.items())
        if (column.rfind("Period", 0) == 0 && cell.is_string() && next.count(cell)) {
          EXPECT_EQ(moved1[column], next.at(cell)) << column;
          ++cells;
        }
      EXPECT_GE(cells, 3) << fitted;
    }
}

// Without its subject and period variables a scored set gets no prediction and a warning that
// names them; a subject twice in one period of a scored set is an error naming the data sets,
// its rows written without predictions while the other requests are scored. A missing value of
// the lagged variable costs only the period that looks back to it, not its own.
TEST(ScoringLag, ScoredSetsWithoutALagAreNamed) {
  Library lib{"lag_panel"};
  const Csv panel = lib.read("lag_panel");
  Csv nolag = panel, twice = panel, blank = panel;
  nolag.header = {"site", "L", "x", "y"};  // without subj and per
  for (auto& row : nolag.rows) row = {row[0], row[3], row[4], row[5]};
  twice.rows.insert(twice.rows.begin(), panel.rows[0]);
  ASSERT_EQ(panel.rows[3][2], std::to_string(std::stoi(panel.rows[2][2]) + 1));  // its next period
  blank.rows[2][3] = "";
  lib.write("nolag", nolag);
  lib.write("twice", twice);
  lib.write("blank", blank);
  const CommandRun r = runCommand(
      "proc varsifter data=lag_panel;\n"
      "  class L;\n"
      "  effect lg = lag(L / within=subj period=per);\n"
      "  model y = x lg / selection=none;\n"
      "  score data=nolag out=sn p=p;\n"
      "  score data=twice out=st p=p;\n"
      "  score out=own p=p;\n"
      "  score data=blank out=sb p=p;\n"
      "run;\n",
      lib.root());
  EXPECT_EQ(r.status, 1) << r.output;
  for (const char* text :
       {"WARNING: The SCORE data set WORK.NOLAG lacks per, subj, used by the selected model; the "
        "predictions of WORK.SN are missing.",
        "ERROR: The LAG effect lg has two observations of one subject in the same period in the "
        "SCORE data set WORK.TWICE; the predictions of WORK.ST are missing.",
        "NOTE: Observations of WORK.BLANK without the earlier observation of their subject that a "
        "LAG effect of the selected model looks back to are not scored: "})
    EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
  const Csv sn = lib.read("sn"), st = lib.read("st"), own = lib.read("own"), sb = lib.read("sb");
  ASSERT_EQ(sn.rows.size(), 76u);
  ASSERT_EQ(st.rows.size(), 77u);
  ASSERT_EQ(sb.rows.size(), 76u);
  int ownPredicted = 0;
  for (size_t i = 0; i < sn.rows.size(); ++i) {
    EXPECT_TRUE(std::isnan(sn.number(i, "p"))) << i;
    EXPECT_TRUE(std::isnan(st.number(i, "p"))) << i;
    ownPredicted += !std::isnan(own.number(i, "p"));
    if (i != 3) {
      EXPECT_TRUE(same(sb.number(i, "p"), own.number(i, "p"))) << i;
    }
  }
  EXPECT_GT(ownPredicted, 38);
  EXPECT_FALSE(std::isnan(sb.number(2, "p")));
  EXPECT_FALSE(std::isnan(own.number(3, "p")));
  EXPECT_TRUE(std::isnan(sb.number(3, "p")));
  const auto info = findAll(r.document, "ScoreInfo");
  ASSERT_EQ(info.size(), 4u);
  EXPECT_EQ(entryValue(info[0], "Number of Observations Used"), 0);
  EXPECT_EQ(entryValue(info[1], "Number of Observations Read"), 77);
  EXPECT_EQ(entryValue(info[1], "Number of Observations Used"), 0);
}

// A scored value is a training level only when the whole of it is: "northeast" is not "north"
// (the training values are 5 wide), "central" is none, a missing region is missing; the
// leading blank of " south" is aligned away as in the training levels. Each unseen value is
// named with its count and data set; predictions are R's where R can predict. The validation
// data's unseen values are left out of its ASE the same way.
TEST(ScoringLevels, OnlyWholeValuesMatchTrainingLevels) {
  Library lib{"region_train", "region_score", "region_valid"};
  Csv nox = lib.read("region_score");
  nox.header.resize(1);
  for (auto& row : nox.rows) row.resize(1);
  lib.write("region_nox", nox);
  const CommandRun r = runCommand(
      "proc varsifter data=region_train valdata=region_valid;\n"
      "  class region;\n"
      "  model y = region x / selection=none;\n"
      "  score data=region_score out=s p=p;\n"
      "  score data=region_nox out=sn p=p;\n"
      "run;\n",
      lib.root());
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* note :
       {"NOTE: Level \"northeast\" of region is not among the training levels; observations of "
        "WORK.REGION_SCORE with it are not scored: 1.",
        "NOTE: Level \"central\" of region is not among the training levels; observations of "
        "WORK.REGION_SCORE with it are not scored: 2.",
        "NOTE: Observations of WORK.REGION_SCORE with a missing value of a CLASS variable of the "
        "selected model are not scored: 1.",
        "NOTE: Level \"northeast\" of region is not among the training levels; observations of "
        "WORK.REGION_VALID with it are not used: 1.",
        "WARNING: The SCORE data set WORK.REGION_NOX lacks x, used by the selected model; the "
        "predictions of WORK.SN are missing."})
    EXPECT_NE(r.output.find(note), std::string::npos) << note << "\n" << r.output;
  EXPECT_EQ(r.output.find("truncated"), std::string::npos) << r.output;

  const Csv s = lib.read("s"), want = readCsv("e2e/region_predictions.csv");
  ASSERT_EQ(s.rows.size(), want.rows.size());
  for (size_t i = 0; i < s.rows.size(); ++i) {
    const double r1 = want.number(i, "p"), aligned = want.number(i, "p_aligned");
    EXPECT_TRUE(same(s.number(i, "p"), std::isnan(r1) ? aligned : r1)) << "row " << i + 1;
  }
  EXPECT_TRUE(std::isnan(s.number(1, "p")));  // northeast
  EXPECT_EQ(entryValue(findAll(r.document, "ScoreInfo")[0], "Number of Observations Used"), 4);

  const Csv ase = readCsv("e2e/region_valid_ase.csv");
  const Json fit = theOne(r, "FitStatistics");
  ASSERT_TRUE(entryValue(fit, "ASE (Validate)").is_number()) << fit;
  EXPECT_TRUE(same(entryValue(fit, "ASE (Validate)").get<double>(), ase.number(0, "ase")));
  const auto nobs = findAll(r.document, "NObs");
  ASSERT_EQ(nobs.size(), 2u);
  EXPECT_EQ(number(nobs[1]["rows"][1]["N"]), ase.number(0, "rows")) << nobs[1];
}

// TRUNCATE= cuts the scored values where it cuts the levels, however far past the training
// values it lies: at 5 "northwestern" is "north"; at 20 and at two billion it is none of the
// levels, and so is a value longer than 20 that 20 cuts, while "north" is one.
TEST(ScoringLevels, TruncationCutsScoredValuesAsItCutsTheLevels) {
  Library lib{"region_train"};
  Csv score;
  score.header = {"region", "x"};
  score.rows = {{"northwestern", "1"}, {"north", "2"}, {"northnorthnorthnorthnorth", "3"}};
  lib.write("region_long", score);
  struct Case {
    const char* truncate;
    int unseen;  // of the three rows
  } cases[] = {{"5", 0}, {"20", 2}, {"2000000000", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.truncate);
    const CommandRun r = runCommand(std::string("proc varsifter data=region_train;\n"
                                                "  class region / truncate=") +
                                        c.truncate +
                                        ";\n  model y = region x / selection=none;\n"
                                        "  score data=region_long out=s p=p;\nrun;\n",
                                    lib.root(), "--memsize 64");
    ASSERT_EQ(r.status, 0) << r.output;
    const Csv s = lib.read("s");
    ASSERT_EQ(s.rows.size(), 3u);
    int missing = 0;
    for (size_t i = 0; i < 3; ++i) missing += std::isnan(s.number(i, "p"));
    EXPECT_EQ(missing, c.unseen) << r.output;
    EXPECT_FALSE(std::isnan(s.number(1, "p")));
  }
}

// Another data set is read from its own columns also on one thread, where the analysis data's
// plan of straight reads once served it: a copy of the data with its columns in another order
// and fewer of them scores as the data itself, whatever the workers.
TEST(ScoringColumns, AnotherDataSetIsReadFromItsOwnColumns) {
  DataLibrary lib({"mtcars"});
  const Csv cars = readCsv((lib.path() / "mtcars.csv").string());
  Csv moved;
  for (const char* v : {"hp", "model", "wt", "mpg"}) moved.header.push_back(v);
  for (size_t i = 0; i < cars.rows.size(); ++i) {
    moved.rows.emplace_back();
    for (const std::string& v : moved.header)
      moved.rows.back().push_back(cars.rows[i][static_cast<size_t>(cars.column(v))]);
  }
  {
    std::ofstream out(lib.path() / "moved.csv");
    for (size_t j = 0; j < moved.header.size(); ++j) out << (j ? "," : "") << moved.header[j];
    out << "\n";
    for (const auto& row : moved.rows) {
      for (size_t j = 0; j < row.size(); ++j)
        out << (j ? "," : "") << (j == 1 ? "\"" + row[j] + "\"" : row[j]);
      out << "\n";
    }
  }
  for (const char* options : {"--nothreads", "--cpucount 4"}) {
    SCOPED_TRACE(options);
    const CommandRun r = runCommand(
        "proc varsifter data=mtcars; model mpg = wt hp / selection=none;"
        " output out=own p=p; score data=moved out=scored p=p; run;",
        lib.dir(), options);
    ASSERT_EQ(r.status, 0) << r.output;
    const Csv own = readCsv((lib.path() / "own.csv").string());
    const Csv scored = readCsv((lib.path() / "scored.csv").string());
    ASSERT_EQ(scored.rows.size(), own.rows.size());
    for (size_t i = 0; i < own.rows.size(); ++i)
      EXPECT_TRUE(same(scored.number(i, "p"), own.number(i, "p"))) << own.text(i, "model");
  }
}

}  // namespace
}  // namespace vsf::test
