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
      // Host statements that fail are errors of the program, with its file and line.
      {"options memsize=abc;\nproc varsifter data=mtcars; model mpg = wt; run;", 1,
       ".vsf: line 1: The value \"abc\" of option MEMSIZE is not valid"},
      {"proc varsifter data=mtcars; model mpg = wt; run;\n%let 2x = 1;", 1,
       ".vsf: line 2: %LET: \"2x\" is not a valid macro variable name."},
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
  const std::string program = std::string(VSF_SOURCE_DIR) + "/examples/diabetes.vsf ";
  for (const char* bad : {"--memsize -5", "--memsize 99999999999999999999", "--memsize abc",
                          "--cpucount 0", "--cpucount 1025", "--utilpath /no/such/directory"}) {
    const CommandRun r = runArgs(program + bad);
    EXPECT_EQ(r.status, 2) << bad << "\n" << r.output;
    const std::string option(bad, std::string_view(bad).find(' '));
    EXPECT_NE(r.output.find(option + ":"), std::string::npos) << r.output;  // names the option
  }
}

}  // namespace
}  // namespace vsf::test
