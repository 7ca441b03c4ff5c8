// BY groups over CSV data sets, as a user runs them: the number of groups the step walked
// (the _VSFNUMBYS macro variable of the JSON document) and a data set out of BY order.
#include <gtest/gtest.h>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

CommandRun runProgram(const std::string& program) {
  return runCommand(program, VSF_TEST_DATA "/e2e");
}

TEST(ByGroups, EveryGroupOfTheDataSetIsWalked) {
  struct Case {
    const char* program;
    int status;
    const char* groups;  // _VSFNUMBYS, empty when the step did not get there
    const char* logText;
  } cases[] = {
      // Out of order: the error names the observation; the step ends with 1012.
      {"proc varsifter data=by_unsorted; by g; model y = x; run;", 1, "", "observation 4"},
      {"proc varsifter data=by_unsorted; by descending g; model y = x; run;", 1, "",
       "observation 7"},
      {"proc varsifter data=by_sorted; model y = x; run;", 0, "1", "return code 0"},
      {"proc varsifter data=by_sorted; by g; model y = x; run;", 0, "3", "return code 0"},
      {"proc varsifter data=by_unsorted; by g notsorted; model y = x; run;", 0, "3",
       "return code 0"},
      {"proc varsifter data=by_sorted maxmacro=2; by g; model y = x; run;", 0, "3",
       "return code 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    CommandRun r = runProgram(c.program);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_EQ(macro(r, "_VSFNUMBYS"), c.groups) << r.output;
    EXPECT_NE(r.output.find(c.logText), std::string::npos) << r.output;
    if (c.status != 0) {
      EXPECT_NE(r.output.find("is not sorted by the BY variables"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("return code 1012"), std::string::npos) << r.output;
    }
  }
  EXPECT_EQ(macro(runProgram("proc varsifter data=by_sorted maxmacro=2; by g; model y = x; run;"),
                  "_VSFNUMMACROBYS"),
            "2");
}

}  // namespace
}  // namespace vsf::test
