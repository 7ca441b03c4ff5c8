// Scoring at the edges of the training data, through the command. A B-spline scored past the
// range of the analysis data continues its end pieces as R's predict() over bs() does
// (tests/reference/e2e_splinescore.R), for SCORE and the test ASE alike, and matches the basis
// worked out by hand on the procedure's own knots; a note counts such rows. A MULTIMEMBER
// member's value that training never saw leaves the row unscored, as a COLLECTION's does,
// while a missing member does not. A LAG effect's first period gives all-zero lag columns and
// is fitted and scored; a later period without its earlier observation is neither.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

bool near(double a, double b, double tolerance = 1e-9) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(b));
}

// The run's output holds the text.
void expectSaid(const CommandRun& r, const std::string& text) {
  EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
}

// A library of its own holding the CSV texts given, by data set name.
struct TextLibrary : ScratchDir {
  TextLibrary(std::initializer_list<std::pair<const char*, const char*>> sets)
      : ScratchDir("vsf_edges") {
    for (const auto& [name, text] : sets)
      std::ofstream(path() / (std::string(name) + ".csv")) << text;
  }
  Csv read(const std::string& name) const { return readCsv((path() / (name + ".csv")).string()); }
};

// Every case of the fixture: SCORE of the new rows equals predict() over bs(), the test ASE of
// the same rows as TESTDATA= equals R's, and the rows past the range are counted.
TEST(ScoringSplines, PastTheRangeAsBsPredicts) {
  const Csv cases = readCsv("e2e/spline_testase.csv"), want = readCsv("e2e/spline_predictions.csv");
  const std::string data = std::string(VSF_TEST_DATA) + "/e2e";
  for (size_t c = 0; c < cases.rows.size(); ++c) {
    const std::string options = cases.rows[c][1];
    SCOPED_TRACE(options);
    DataLibrary lib({});
    for (const char* name : {"spline_train", "spline_new"})
      std::filesystem::copy_file(data + "/" + name + ".csv", lib.dir() + "/" + name + ".csv");
    const CommandRun r = runCommand(
        "proc varsifter data=spline_train testdata=spline_new;\n"
        "  effect s = spline(x / " +
            options +
            ");\n"
            "  model y = s / selection=none;\n"
            "  score data=spline_new out=sc p=p;\n"
            "run;\n",
        lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<double> p = lib.column("sc", "p");
    size_t k = 0;
    for (size_t i = 0; i < want.rows.size(); ++i) {
      if (want.number(i, "case") != static_cast<double>(c + 1)) continue;
      ASSERT_LT(k, p.size());
      EXPECT_TRUE(near(p[k], want.number(i, "p"))) << "row " << k + 1 << ": " << p[k];
      ++k;
    }
    EXPECT_EQ(k, p.size());
    const Json ase = entryValue(theOne(r, "FitStatistics"), "ASE (Test)");
    ASSERT_TRUE(ase.is_number()) << r.output;
    EXPECT_TRUE(near(ase.get<double>(), cases.number(c, "ase")));
    expectSaid(r,
               "NOTE: Observations of WORK.SPLINE_NEW scored with a value of x "
               "outside its range in the analysis data, 0.48 to 9.7, where a SPLINE "
               "effect of the selected model continues the end pieces of its basis: "
               "8.");
  }
}

// x = 0 .. 10 with one interior knot, degree 2: the knots are -5, 0, 5, 10, 15 (the boundary
// ones widened by 1e-13), and the quadratic pieces of the four columns on [0, 5) and [5, 10]
// are those of uniform B-splines, continued past 0 and 10. The scores are continuous there.
TEST(ScoringSplines, EndPiecesOfTheProgramsOwnKnots) {
  TextLibrary lib({{"train", "x,y\n0,1\n1,3\n2,2\n3,5\n4,4\n5,6\n6,8\n7,7\n8,9\n9,12\n10,11\n"},
                   {"new", "x\n-2\n-0.001\n0\n2\n7\n10\n10.001\n12\n"}});
  const CommandRun r = runCommand(
      "proc varsifter data=train;\n"
      "  effect s = spline(x / degree=2 knotmethod=equal(1));\n"
      "  model y = s / selection=none;\n"
      "  score data=new out=sc p=p;\n"
      "run;\n",
      lib.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  const Json estimates = theOne(r, "ParameterEstimates")["rows"];
  ASSERT_EQ(estimates.size(), 5u);
  std::vector<double> b;
  for (const Json& row : estimates) b.push_back(number(row["Estimate"]));
  auto rising = [](double u) { return u * u / 2; };                     // first piece
  auto middle = [](double u) { return (-2 * u * u + 6 * u - 3) / 2; };  // second
  auto falling = [](double u) { return (3 - u) * (3 - u) / 2; };        // third
  auto byHand = [&](double x) {
    if (x < 5)
      return b[0] + b[1] * falling((x + 10) / 5) + b[2] * middle((x + 5) / 5) +
             b[3] * rising(x / 5);
    return b[0] + b[2] * falling((x + 5) / 5) + b[3] * middle(x / 5) + b[4] * rising((x - 5) / 5);
  };
  const Csv sc = lib.read("sc");
  ASSERT_EQ(sc.rows.size(), 8u);
  for (size_t i = 0; i < sc.rows.size(); ++i) {
    const double x = sc.number(i, "x");
    EXPECT_TRUE(near(sc.number(i, "p"), byHand(x), 1e-10)) << "x = " << x;
  }
  EXPECT_NEAR(sc.number(1, "p"), sc.number(2, "p"), 0.01);  // -0.001 and 0
  EXPECT_NEAR(sc.number(6, "p"), sc.number(5, "p"), 0.01);  // 10.001 and 10
  expectSaid(r,
             "outside its range in the analysis data, 0 to 10, where a SPLINE effect "
             "of the selected model continues the end pieces of its basis: 4.");
}

// Training levels A and B of both members. A member value C is none of them: the row is not
// scored, nor used as a test row, and a note names the value, as for COLLECTION; a missing
// member is no member, as in training, and the row is scored from the other.
TEST(ScoringMultimember, UnseenMemberLevelsAreNotScored) {
  TextLibrary lib({{"train", "a,b,y\nA,B,1\nB,A,2\nA,A,3\nB,B,4\nA,B,2\nB,,3\n,A,2.5\nA,B,1.5\n"},
                   {"new", "a,b,y\nC,B,2\n,B,2\nA,B,2\nC,C,1\n"}});
  for (const char* effect : {"mm(a b)", "collection(a b)"}) {
    SCOPED_TRACE(effect);
    const CommandRun r = runCommand(std::string("proc varsifter data=train testdata=new;\n"
                                                "  class a b;\n"
                                                "  effect m = ") +
                                        effect +
                                        ";\n"
                                        "  model y = m / selection=none;\n"
                                        "  score data=new out=sc p=p;\n"
                                        "  output out=o p=p;\n"
                                        "run;\n",
                                    lib.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* note :
         {"NOTE: Level \"C\" of a is not among the training levels; observations of WORK.NEW with "
          "it are not scored: 2.",
          "NOTE: Level \"C\" of b is not among the training levels; observations of WORK.NEW with "
          "it are not scored: 1.",
          "NOTE: Level \"C\" of a is not among the training levels; observations of WORK.NEW with "
          "it are not used: 2."})
      expectSaid(r, note);
    const Csv sc = lib.read("sc"), o = lib.read("o");
    EXPECT_TRUE(std::isnan(sc.number(0, "p")));
    EXPECT_TRUE(std::isnan(sc.number(3, "p")));
    EXPECT_TRUE(near(sc.number(2, "p"), o.number(0, "p")));  // A, B as trained
    const bool mm = effect[0] == 'm';
    // A missing member: MULTIMEMBER scores the row (as training used row 6, B and missing);
    // COLLECTION needs every member.
    EXPECT_EQ(std::isnan(sc.number(1, "p")), !mm);
    EXPECT_EQ(std::isnan(o.number(5, "p")), !mm);
    const Json fit = theOne(r, "FitStatistics");
    EXPECT_TRUE(
        near(number(entryValue(fit, "ASE (Test)")),
             mm ? (std::pow(2 - sc.number(1, "p"), 2) + std::pow(2 - sc.number(2, "p"), 2)) / 2
                : std::pow(2 - sc.number(2, "p"), 2)));
  }
}

// Panel s, t, g, y with NLAG=1: the rows of period 1 have no earlier period, all-zero lag
// columns, and are fitted and scored (their mean, 4/3); subject 3 has no period 2, so its
// period-3 row is neither. The rows lagged a and b get their means, 2 and 10/3.
TEST(ScoringLag, FirstPeriodsAreFittedAndScored) {
  const char* panel =
      "s,t,g,y\n1,1,a,1\n1,2,b,2\n1,3,a,3\n2,1,b,2\n2,2,b,4\n2,3,a,3\n3,1,a,1\n3,3,b,5\n";
  TextLibrary lib({{"panel", panel}, {"again", panel}});
  const CommandRun r = runCommand(
      "proc varsifter data=panel;\n"
      "  class g;\n"
      "  effect lg = lag(g / within=s period=t nlag=1);\n"
      "  model y = lg / selection=none;\n"
      "  output out=o p=p;\n"
      "  score data=again out=sc p=p;\n"
      "run;\n",
      lib.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  const Json nobs = theOne(r, "NObs")["rows"];
  EXPECT_EQ(number(nobs[1]["N"]), 7) << nobs;
  const std::vector<double> want = {4.0 / 3,  2,        10.0 / 3, 4.0 / 3,
                                    10.0 / 3, 10.0 / 3, 4.0 / 3,  NAN};
  const Csv o = lib.read("o"), sc = lib.read("sc");
  ASSERT_EQ(o.rows.size(), want.size());
  ASSERT_EQ(sc.rows.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_TRUE(near(o.number(i, "p"), want[i])) << "row " << i + 1;
    EXPECT_TRUE(near(sc.number(i, "p"), want[i])) << "row " << i + 1;
  }
  expectSaid(r,
             "NOTE: Observations of WORK.AGAIN without the earlier observation of "
             "their subject that a LAG effect of the selected model looks back to "
             "are not scored: 1.");
}

}  // namespace
}  // namespace vsf::test
