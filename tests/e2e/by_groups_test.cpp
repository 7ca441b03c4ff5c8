// BY groups over CSV data sets, as a user runs them: the number of groups the step walked
// (the _VSFNUMBYS macro variable of the JSON document) and a data set out of BY order.
#include <gtest/gtest.h>

#include <regex>

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
      // Out of order is found before any group is fitted: no group's tables are shown.
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
      EXPECT_NE(r.output.find("add NOTSORTED to the BY statement"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("return code 1012"), std::string::npos) << r.output;
      EXPECT_TRUE(findAll(r.document, "NObs").empty()) << r.output;
    }
  }
  EXPECT_EQ(macro(runProgram("proc varsifter data=by_sorted maxmacro=2; by g; model y = x; run;"),
                  "_VSFNUMMACROBYS"),
            "2");
}

// Each group's output carries its BY values: a BY line in the listing and the page, the BY
// variables on every item of the JSON document.
TEST(ByGroups, EveryGroupIsLabelled) {
  CommandRun r = runProgram("proc varsifter data=by_two; by s g; model y = x; run;");
  ASSERT_EQ(r.status, 0) << r.output;
  const char* lines[] = {"s=a g=1", "s=a g=2", "s=b g=1", "s=b g=2"};
  size_t listed = 0, shown = 0;
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    size_t at = r.output.find(std::string(" ") + line + " --");
    ASSERT_NE(at, std::string::npos) << r.output;
    EXPECT_GT(at, listed);  // in BY order, each above its group's tables
    EXPECT_NE(r.output.find("Number of Observations", at), std::string::npos);
    listed = at;
    at = r.html.find(std::string("<p class=\"byline\">") + line + "</p>");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(at, shown);
    shown = at;
  }
  // ModelInfo comes before the groups and has no BY values; every table after it has.
  const std::vector<Json> estimates = findAll(r.document, "ParameterEstimates");
  ASSERT_EQ(estimates.size(), 4u);
  EXPECT_FALSE(theOne(r, "ModelInfo").contains("by"));
  for (size_t k = 0; k < estimates.size(); ++k) {
    const Json& by = estimates[k]["by"];
    ASSERT_EQ(by.size(), 2u);
    EXPECT_EQ(by[0]["name"], "s");
    EXPECT_EQ(by[0]["value"], k < 2 ? "a" : "b");
    EXPECT_EQ(by[1]["name"], "g");
    EXPECT_EQ(number(by[1]["value"]), static_cast<double>(k % 2 + 1));
    EXPECT_EQ(by[1]["shown"], std::to_string(k % 2 + 1));
  }
  // The page's tables scroll in boxes of their own; the document keeps no internal keys.
  EXPECT_NE(r.html.find("<div class=\"scroll\"><table"), std::string::npos);
  EXPECT_FALSE(std::regex_search(r.document.dump(), std::regex("\"[0-9]+\":")));
  for (const Json& group : r.document["output"]) {
    if (group.value("type", "") == "group") {
      EXPECT_TRUE(group.contains("by")) << group["name"];
    }
  }
}

}  // namespace
}  // namespace vsf::test
