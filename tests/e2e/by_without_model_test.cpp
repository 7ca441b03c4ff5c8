// A BY group without a model, whatever left it without one, keeps its rows in every output data
// set with missing predictions and its own _BY_.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// Groups 1 and 3 of 6 rows; group 2 of 3 rows whose x1 and x2 are empty, so that under CLASS
// the group is skipped before its data pass and without CLASS it has no usable observation.
const char* const kGroups =
    "g,y,x1,x2,c\n"
    "1,1.2,0.1,0.5,a\n1,2.3,0.4,0.2,b\n1,2.9,0.9,0.7,a\n1,4.1,1.3,0.1,b\n1,5.2,1.7,0.9,a\n"
    "1,5.8,2.1,0.3,b\n"
    "2,1.0,,,a\n2,2.0,,,b\n2,3.0,,,a\n"
    "3,0.8,0.2,0.6,a\n3,2.2,0.5,0.1,b\n3,3.1,1.1,0.8,a\n3,3.9,1.2,0.2,b\n3,5.5,1.9,0.4,a\n"
    "3,6.1,2.2,0.9,b\n";

struct GroupLibrary : DataLibrary {
  GroupLibrary() : DataLibrary({}) {
    std::ofstream(path() / "byc.csv") << kGroups;
    // Another data set with the BY variable: a row of each group, and one of a value no group
    // of the input has.
    std::ofstream(path() / "other.csv") << "g,x1,x2,c\n3,1.0,0.5,a\n2,1.0,0.5,b\n1,1.0,0.5,a\n"
                                           "9,1.0,0.5,a\n";
  }
};

// Group 2's values of a column, in the order the data set holds them.
std::vector<double> groupTwo(const DataLibrary& lib, const std::string& set,
                             const std::string& variable) {
  const std::vector<double> g = lib.column(set, "g"), v = lib.column(set, variable);
  std::vector<double> out;
  for (size_t i = 0; i < g.size() && i < v.size(); ++i)
    if (g[i] == 2) out.push_back(v[i]);
  return out;
}

TEST(GroupsWithoutModel, AGroupWithoutAModelKeepsItsRowsWhateverLeftItWithout) {
  const struct {
    const char* why;
    const char* classStatement;
    const char* error;
    const char* threads;
  } kCases[] = {
      {"skipped: a CLASS variable without a level", "class c;",
       "ERROR: BY group g=2: There is nothing to analyze", "--nothreads"},
      {"skipped, on four workers", "class c;", "ERROR: BY group g=2: There is nothing to analyze",
       "--cpucount 4"},
      {"not fitted: no usable observation", "",
       "ERROR: BY group g=2: There are no usable observations to fit a model", "--nothreads"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    GroupLibrary lib;
    const CommandRun r =
        runCommand(std::string("proc varsifter data=byc outdesign=d; by g; ") + c.classStatement +
                       " model y = x1 x2 / selection=none; output out=o p=p r=r;"
                       " score data=byc out=s p=p; score data=other out=t p=p; run;",
                   lib.dir(), c.threads);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("return code 108"), std::string::npos) << r.output;
    // Every row of the input, group 2's with missing predictions and its own _BY_.
    for (const char* set : {"o", "s", "d"}) {
      SCOPED_TRACE(set);
      EXPECT_EQ(lib.column(set, "y").size(), 15u);
      EXPECT_EQ(groupTwo(lib, set, "y"), (std::vector<double>{1, 2, 3}));
      EXPECT_EQ(groupTwo(lib, set, "_BY_"), (std::vector<double>{2, 2, 2}));
    }
    for (const auto& [set, variable] : std::vector<std::pair<std::string, std::string>>{
             {"o", "p"}, {"o", "r"}, {"s", "p"}, {"t", "p"}, {"d", "_X1"}}) {
      SCOPED_TRACE(set + "." + variable);
      const std::vector<double> two = groupTwo(lib, set, variable);
      ASSERT_FALSE(two.empty());
      for (double v : two) EXPECT_TRUE(std::isnan(v));
    }
    EXPECT_FALSE(std::isnan(lib.column("o", "p").front()));
    // The other data set: each group's row, group 2's too; only the row of g=9 is left out.
    EXPECT_EQ(lib.column("t", "_BY_"), (std::vector<double>{1, 2, 3}));
    EXPECT_NE(r.output.find("NOTE: Observations of the SCORE data set WORK.OTHER whose BY values "
                            "no BY group of the input data set has are not scored: 1."),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("WORK.BYC whose BY values"), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace vsf::test
