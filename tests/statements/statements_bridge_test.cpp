// The post-fit bridge: when the sibling module is loaded and started, the statement texts
// it receives (spacing, length, RUN), and no module after a parse error.
#include <gtest/gtest.h>

#include "common/statements_support.h"
#include "frame/bridge.h"

namespace vsf::test {
namespace {

class Bridge : public ::testing::Test {
 protected:
  StubData data;
  void SetUp() override { bridgeModuleRecord() = BridgeModuleRecord(); }
};

TEST_F(Bridge, NoModuleWithoutStoreOrBridgeStatements) {
  StepRun r = runStepText("proc varsifter; model y = x1; score out=s; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_EQ(bridgeModuleRecord().starts, 0);
  EXPECT_EQ(bridgeModuleRecord().closes, 0);
}

TEST_F(Bridge, StoreStartsTheModuleWithEveryStatementsText) {
  StepRun r = runStepText(
      "proc varsifter data=diab;\n"
      "  model y = x1 x2 / selection=lasso(stop=aic);\n"
      "  score data=diab(read=pw) out=s2;\n"
      "  store out=work.fit / label='my  model';\n"
      "run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  const BridgeModuleRecord& m = bridgeModuleRecord();
  EXPECT_EQ(m.starts, 1);
  EXPECT_EQ(m.closes, 1);  // by the step's clean-up
  const std::vector<std::string> expected = {
      "varsifter data=diab;",
      "model y=x1 x2 / selection=lasso(stop=aic );",
      "score data=diab(read=pw ) out=s2;",
      "store out=work.fit / label='my  model';",
      "run;",
  };
  EXPECT_EQ(m.statements, expected);
}

TEST_F(Bridge, LongStatementsAreKeptWhole) {
  std::string path(300, 'p');
  StepRun r = runStepText("proc varsifter; model y = x1; code file='" + path +
                          "' linesize=100; itemstore$ s; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  const BridgeModuleRecord& m = bridgeModuleRecord();
  ASSERT_EQ(m.statements.size(), 5u);
  EXPECT_EQ(m.statements[2], "code file='" + path + "' linesize=100;");
  EXPECT_EQ(m.statements[3], "itemstore$ s;");
  EXPECT_EQ(m.statements[4], "run;");
}

TEST_F(Bridge, CodeAloneLoadsTheModuleWithoutStartingIt) {
  StepRun r = runStepText("proc varsifter; model y = x1; code file='x.txt'; quit;");
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_EQ(bridgeModuleRecord().starts, 0);
  EXPECT_EQ(bridgeModuleRecord().closes, 1);
}

TEST_F(Bridge, ParseErrors) {
  // An error the statement callbacks have noted: the statement checks close the module.
  StepRun noted = runStepText("proc varsifter; model y = x1 / bad; store out=s; run;");
  EXPECT_EQ(noted.code, 3000);
  EXPECT_EQ(bridgeModuleRecord().starts, bridgeModuleRecord().closes);
  // An error still counted when the parse ends: no module is loaded.
  bridgeModuleRecord() = BridgeModuleRecord();
  StepRun left = runStepText("proc varsifter; store out=s; model y = x1; bogus x;");
  EXPECT_EQ(left.code, 3000);
  EXPECT_EQ(bridgeModuleRecord().starts, 0);
  EXPECT_EQ(bridgeModuleRecord().closes, 0);
}

}  // namespace
}  // namespace vsf::test
