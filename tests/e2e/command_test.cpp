// Runs the varsifter command as a user would and checks its exit status and log.
#include <gtest/gtest.h>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

TEST(Command, ExitStatusFollowsTheWorstStep) {
  struct Case {
    const char* program;
    int status;
    const char* logText;
  } cases[] = {
      {"proc varsifter data=mtcars; model mpg = wt hp; run;", 0, "ended with return code 0"},
      {"proc varsifter data=mtcars; model mpg = nosuch; run;", 1, "ended with return code 2000"},
      {"proc nosuch; run;", 1, "procedure NOSUCH not found"},
      {"data x; run;", 1, "not valid outside a procedure step"},
      {"%let a = 5; %put a is &a.!;", 0, "a is 5!"},
  };
  for (const Case& c : cases) {
    CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, c.status) << c.program << "\n" << r.output;
    EXPECT_NE(r.output.find(c.logText), std::string::npos) << c.program << "\n" << r.output;
  }
}

TEST(Command, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runArgs("").status, 2);
  EXPECT_EQ(runArgs("/no/such/program.vsf").status, 2);
  EXPECT_EQ(runArgs("--help").status, 0);
}

}  // namespace
}  // namespace vsf::test
