// A CLASS variable with one level under a full-rank coding gives its effect no design column:
// the effect is left out with a note naming it, and the fit (and every other BY group) goes on.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

constexpr const char* kNote = "NOTE: The effect k";

// mtcars with k, one level throughout.
void writeOneLevel(const DataLibrary& lib) {
  std::string text = lib.text("mtcars.csv"), out;
  for (size_t at = 0, line = 0; at < text.size(); ++line) {
    const size_t end = text.find('\n', at);
    out += text.substr(at, end - at) + (line == 0 ? ",k\n" : ",a\n");
    at = end == std::string::npos ? text.size() : end + 1;
  }
  std::ofstream(lib.path() / "one.csv") << out;
}

TEST(OneLevelClass, TheEffectIsLeftOutWithANote) {
  const char* programs[] = {
      "class k(param=ref); model mpg = wt k hp / selection=lasso;",
      "class k(param=ref); model mpg = wt k hp / selection=lar(choose=sbc);",
      "class k(param=effect split); model mpg = wt k hp / selection=forward;",
      "class k(param=ref) cyl(param=ref); model mpg = wt k*cyl hp / selection=elasticnet(l2=1);",
      "class k(param=ref split); model mpg = k / selection=stepwise;",
      "class k(param=ref); model mpg = wt k hp / selection=lasso; modelaverage nsamples=3;",
  };
  DataLibrary lib({"mtcars"});
  writeOneLevel(lib);
  for (const char* program : programs) {
    SCOPED_TRACE(program);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=one seed=1 outdesign=od; ") + program + " run;",
                   lib.dir());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(kNote), std::string::npos) << r.output;
    EXPECT_FALSE(lib.text("od.csv").empty());
  }
}

// vs has one level where cyl is 8: that group leaves vs out, the others keep it as a candidate.
TEST(OneLevelClass, OneGroupDoesNotEndTheStep) {
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars_by_cyl; by cyl; class vs(param=ref);"
      " model mpg = wt vs hp / selection=lasso(stop=none); run;",
      VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("NOTE: BY group cyl=8: The effect vs has no design columns"),
            std::string::npos);
  EXPECT_EQ(findAll(r.document, "ParameterEstimates").size(), 3u);
}

}  // namespace
}  // namespace vsf::test
