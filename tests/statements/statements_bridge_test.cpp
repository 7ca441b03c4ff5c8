// The post-fit bridge: when the sibling module is loaded and started, the statement texts
// it receives (spacing, length, RUN), and no module after a parse error; without the module
// (as in the program) CODE and STORE say in the log what they did not write.
#include <gtest/gtest.h>

#include "common/bridge_recorder.h"
#include "common/statements_support.h"

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

// Without the module: CODE leaves the step going with a warning, STORE (or ITEMSTORE$) ends it
// before anything is read, each naming what was not written.
TEST_F(Bridge, WithoutTheModuleNothingIsWrittenAndTheLogSaysSo) {
  bridgeRecorderRemove();
  struct Case {
    const char* statement;
    int code, message;
    const char* says;
  } cases[] = {
      {"code file='x.txt';", 4, 4970, "No scoring code was written"},
      {"store out=fit;", 1012, 4971, "No item store was written: the STORE statement"},
      {"itemstore$ fit;", 1012, 4971, "No item store was written: the ITEMSTORE statement"},
      {"code; store fit;", 1012, 4971, "No item store was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    StepRun r = runStepText(
        std::string("proc varsifter data=diab; model y = x1 x2; ") + c.statement + " run;",
        [](const VsfState&) {});
    EXPECT_EQ(r.code, c.code) << r.dump();
    EXPECT_EQ(r.count(848, c.message), 1) << r.dump();
    EXPECT_NE(r.dump().find("Failed to load zanmodbr bridge."), std::string::npos) << r.dump();
    EXPECT_NE(r.dump().find(c.says), std::string::npos) << r.dump();
    EXPECT_EQ(r.inspected, c.code < 1000) << r.dump();
  }
  EXPECT_EQ(bridgeModuleRecord().starts, 0);
}

}  // namespace
}  // namespace vsf::test
