#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "common/test_host.h"
#include "host/extensions.h"

namespace vsf {
namespace {

// Every pool created during the step was destroyed exactly once.
void expectPoolsBalanced(const std::vector<std::string>& log, bool mainPoolMade) {
  std::map<std::string, int> open;
  for (const std::string& e : log) open[e.substr(1)] += e[0] == '+' ? 1 : -1;
  for (const auto& [name, n] : open) EXPECT_EQ(n, 0) << name;
  EXPECT_EQ(open.count("VARSIFTER MAIN POOL"), mainPoolMade ? 1u : 0u);
}

// The steps read mtcars from the example data.
constexpr const char* kStep = "proc varsifter data=mtcars; model mpg = wt hp; run;";

class StepDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureHost();
    saved_ = host::session().options.library;
    host::session().options.library = VSF_SHARED_DATA;
  }
  void TearDown() override { host::session().options.library = saved_; }

 private:
  std::filesystem::path saved_;
};

struct Path {
  const char* name;
  const char* refused;  // extension the host refuses
  int code;
  const char* step = kStep;
};

TEST_F(StepDriver, CleanUpRunsOnceOnEveryPath) {
  const Path paths[] = {
      {"normal end", "", 0},
      {"failed phase", "hxtools", 1016},  // loadExtensions returns -3
      // The work queue of two workers (one makes none) ends the step from deep code.
      {"host termination", "hxworkq", 1012,
       "proc varsifter data=mtcars; model mpg = wt hp; performance cpucount=2; run;"},
      // The effects library's pool is made inside the parse; an effect error ends the step.
      {"effect error", "", 2000, "proc varsifter data=mtcars; model mpg = nosuch; run;"},
      {"constructed effect error", "", 1012,
       "proc varsifter data=mtcars; effect p = poly(cyl); class cyl; model mpg = p; run;"},
  };
  for (const Path& p : paths) {
    SCOPED_TRACE(p.name);
    host::keepPoolLog(true);
    host::refuseExtension(p.refused);
    int code = host::runStep(p.step, 1);
    host::refuseExtension("");
    EXPECT_EQ(code, p.code);
    // The extensions load before the MAIN POOL is made.
    expectPoolsBalanced(host::takePoolLog(), std::string_view(p.refused) != "hxtools");
  }
}

TEST_F(StepDriver, UnexplainedFailureIsNeverASuccess) {
  test::LogWatch log;
  host::refuseExtension("hxstream");
  int code = host::runStep(kStep, 1);
  host::refuseExtension("");
  EXPECT_GE(code, 1016);
  EXPECT_TRUE(log.has("ERROR", "internal code -3"));
}

TEST_F(StepDriver, OneGroupWithoutBy) {
  host::session().macros.erase("_VSFNUMBYS");
  EXPECT_EQ(host::runStep(kStep, 1), 0);
  EXPECT_EQ(host::session().macros["_VSFNUMBYS"], "1");
  EXPECT_EQ(host::session().macros["_VSFNUMMACROBYS"], "1");
}

}  // namespace
}  // namespace vsf
