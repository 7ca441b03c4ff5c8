// Counts a user gives that size what a step holds: folds against the rows they split, refused
// at once, or formed as the log says.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

std::string diabetes(const std::string& method, const std::string& more = "") {
  return "proc varsifter data=diabetes seed=1; model y = age bmi bp s1-s6 / selection=" + method +
         "; " + more + "run;";
}

// Folds past the rows: RANDOM draws them from a billion without keeping a mark for each, and
// every fold formed, k-fold or external, is one _CVINDEX_ value, numbered as the log counts
// them.
TEST(Limits, FoldsPastTheRowsAreFormedAsTheLogSays) {
  DataLibrary lib({"diabetes"});
  struct Case {
    std::string method;
    const char* requested;
    int formed;
  };
  const Case kCases[] = {{"forward(choose=cv) cvmethod=random(1000000000)", "1000000000", 442},
                         {"forward(choose=cv) cvmethod=split(1000000000)", "1000000000", 442},
                         {"lasso(choose=cvex) cvmethod=random(400)", "400", 254},
                         {"forward(choose=cv) cvmethod=random(5000)", "5000", 424}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.method);
    const CommandRun r = runCommand(diabetes(c.method, "output out=o;"), lib.dir(), "--memsize 16");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("WARNING: Only " + std::to_string(c.formed) + " of the " + c.requested +
                            " cross validation folds requested could be formed."),
              std::string::npos)
        << r.output;
    const std::vector<double> index = lib.column("o", "_CVINDEX_");
    const std::set<double> folds(index.begin(), index.end());
    EXPECT_EQ(index.size(), 442u);
    ASSERT_EQ(folds.size(), static_cast<size_t>(c.formed));
    EXPECT_EQ(*folds.begin(), 1);
    EXPECT_EQ(*folds.rbegin(), c.formed);
  }
}

// External folds asked for past the rows are refused before anything is made for them, RANDOM's
// too (under MEMSIZE=16 a later refusal would name the memory).
TEST(Limits, FoldsBeyondTheRowsOrTheMemoryAreRefusedAtOnce) {
  auto over = [](const std::string& method, const std::string& cv, const std::string& folds) {
    return ExpectedRun{diabetes(method + "(choose=cvex) cvmethod=" + cv + "(" + folds + ")"),
                       1,
                       {"External cross validation needs a training observation to hold out in "
                        "each of its " +
                        folds + " folds; the data have 442. Give CVMETHOD= fewer folds."},
                       {"not enough memory to continue", "MB for"},
                       "--memsize 16"};
  };
  expectRuns(VSF_SHARED_DATA, {
                                  over("lasso", "split", "1000000"),
                                  over("lasso", "split", "1000000000"),
                                  over("lasso", "random", "1000000000"),
                                  over("grouplasso", "block", "1000000000"),
                              });
}

}  // namespace
}  // namespace vsf::test
