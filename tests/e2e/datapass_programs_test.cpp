// The varsifter command on programs whose steps store their rows, error cases first: the exit
// status and the log lines a user sees.
#include <gtest/gtest.h>

#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

TEST(DataPassPrograms, MessagesAndReturnCodes) {
  struct Case {
    const char* program;
    const char* options;
    int status;
    std::vector<const char*> texts;
  } cases[] = {
      {"proc varsifter data=rows valdata=valid_nox2; model y = x1 x2; run;",
       "",
       1,
       {"ERROR: The variable x2 is not on the validation data set", "return code 1012"}},
      {"proc varsifter data=rows testdata=valid_charx2; model y = x1 x2; run;",
       "",
       1,
       {"ERROR: The variable x2 has another type on the test data set", "return code 1012"}},
      {"proc varsifter data=rows valdata=valid_charw; class c; model y = x1 x2 c; weight w; run;",
       "",
       0,
       {"WARNING: The WEIGHT variable w has another type on the validation data set",
        "return code 4"}},
      {"proc varsifter data=rows testdata=valid_newlevel; class c; model y = x1 c; run;",
       "",
       0,
       // The test data's wider values are read whole, not cut to the levels' width with a
       // warning: "zz" is named as a level the analysis data do not have.
       {"NOTE: Level \"zz\" of c is not among the training levels; observations of "
        "WORK.VALID_NEWLEVEL with it are not used: 1.",
        "return code 0"}},
      {"proc varsifter data=rows; model y = x1 x2 / "
       "selection=lasso(adaptive(inest=inest_noparms)); "
       "run;",
       "",
       0,
       {"WARNING: The INEST= data set has no PARMS row", "LASSO Selection Summary",
        "return code 4"}},
      // Rows left out for their weight or frequency, and a truncated frequency, are counted.
      {"proc varsifter data=rows; model y = x1 x2; weight w; freq f; run;",
       "",
       0,
       {"NOTE: Observations not used because their WEIGHT value is not positive: 1.",
        "NOTE: Observations not used because their FREQ value is below 1: 1.",
        "NOTE: FREQ values truncated to whole numbers: 1."}},
      // More random folds than rows: only the folds drawn are formed.
      {"proc varsifter data=rows seed=7; model y = x1 x2 / selection=forward(select=cv) "
       "cvmethod=random(40); run;",
       "",
       0,
       {"WARNING: Only ", " of the 40 cross validation folds requested could be formed."}},
      // Rows over many small pages, on one thread and on four. The second BY group has no
      // training rows: the first group's selection is shown, the second's ends with an error.
      {"proc varsifter data=bygroups; by g; model y = x1; "
       "performance util_pagesize$=1 util_buffers$=1; run;",
       "--nothreads",
       1,
       {"Stepwise Selection Summary",
        "ERROR: BY group g=2: There are no usable observations to fit a model", "return code 108"}},
      {"proc varsifter data=sscp; class k c; model y = x1-x4 k c / selection=forward(choose=cv) "
       "cvmethod=block(5); weight w; freq f; performance threads cpucount=4 util_pagesize$=2; run;",
       "",
       0,
       {"return code 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    CommandRun r = runCommand(c.program, VSF_TEST_DATA "/datapass", c.options);
    EXPECT_EQ(r.status, c.status) << r.output;
    for (const char* t : c.texts)
      EXPECT_NE(r.output.find(t), std::string::npos) << t << "\n" << r.output;
  }
}

}  // namespace
}  // namespace vsf::test
