// OUTPUT, SCORE and PARTITION: requested statistics and their names, one request per SCORE
// statement, the partition roles and their refusals.
#include <gtest/gtest.h>

#include <functional>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

class OutputReaders : public ::testing::Test {
 protected:
  StubData data;
};

std::string name(const OutputRequest& r) {
  return r.name ? std::string(r.name, r.nameLength) : std::string();
}

TEST_F(OutputReaders, OutputRequestsAndNames) {
  StepRun r = runStepText(
      "proc varsifter; model y = x1; output out=o p=yhat residual lower=lo samplefreq "
      "sp=each upper; modelaverage; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  const OutputSettings& o = lastState().settings.output;
  EXPECT_EQ(o.given, 1);
  EXPECT_EQ(o.count, 4);  // predicted, residual, lower, upper; the sample requests do not count
  EXPECT_EQ(name(o.predicted), "yhat");
  EXPECT_EQ(o.residual.on, 1);
  EXPECT_EQ(name(o.residual), "");
  EXPECT_EQ(name(o.lower), "lo");
  EXPECT_EQ(o.sampleFreq.on, 1);
  EXPECT_EQ(name(o.samplePred), "each");
  EXPECT_EQ(o.median.on, 0);
  EXPECT_EQ(data.opened().back(), "o");  // the step closed it at its end

  // Without OUT= the next automatic data set is opened; without statistics the main set-up
  // turns the prediction on.
  StepRun bare = runStepText("proc varsifter; model y = x1; output; run;");
  EXPECT_EQ(bare.code, 0) << bare.dump();
  EXPECT_EQ(lastState().settings.output.count, 1);
  EXPECT_EQ(lastState().settings.output.predicted.on, 1);
  EXPECT_EQ(data.opened().back().rfind("DATA", 0), 0u);

  // A quoted name is a path and reaches the data-set service with its quotes.
  runStepText("proc varsifter; model y = x1; output out='/tmp/o.csv'; run;");
  EXPECT_EQ(data.opened().back(), "'/tmp/o.csv'");
}

TEST_F(OutputReaders, ScoreStatements) {
  StepRun r = runStepText(
      "proc varsifter; model y = x1; score data=val out=s1 p=pv median; "
      "score out=s2 med=m stddev; modelaverage; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  const std::vector<ScoreRequest>& q = lastScoreRequests();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_NE(q[0].input, nullptr);
  EXPECT_NE(q[0].output, nullptr);
  EXPECT_EQ(q[0].count, 2);
  EXPECT_EQ(name(q[0].predicted), "pv");
  EXPECT_EQ(q[1].input, lastState().settings.inputReader);  // the analysis data are scored
  EXPECT_EQ(q[1].responseUsable, 1);
  EXPECT_EQ(name(q[1].median), "m");
  EXPECT_EQ(q[1].stdDev.on, 1);
  EXPECT_EQ(q[1].count, 2);
}

struct PartitionCase {
  const char* text;  // statements after MODEL
  const char* proc;  // procedure options
  std::vector<int> messages;
  int code;
  std::function<void(const PartitionSettings&)> check;
};

TEST_F(OutputReaders, PartitionRolesAndFractions) {
  const PartitionCase cases[] = {
      {"partition fraction(validate=0.5 test=0.5);", "", {8480124}, 1012, nullptr},
      {"partition fraction(validate=0.25 test=0.25);",
       "",
       {},
       0,
       [](const PartitionSettings& p) {
         EXPECT_DOUBLE_EQ(p.trainFraction, 0.5);
         EXPECT_EQ(p.validationRows + p.testRows, 2);
         EXPECT_EQ(p.roleVariable, -1);
       }},
      {"partition fraction(test=0.3);",
       "",
       {},
       0,
       [](const PartitionSettings& p) {
         EXPECT_DOUBLE_EQ(p.trainFraction, 0.7);
         EXPECT_EQ(p.validationRows, 0);
         EXPECT_EQ(p.testRows, 1);
       }},
      {"partition role=grp(validate='v');", "valdata=val", {8480122}, 3000, nullptr},
      {"partition fraction(test=0.1);", "testdata=tst", {8480123}, 3000, nullptr},
      {"partition rolevar=grp;", "", {8480121}, 1012, nullptr},
      {"partition role=grp(train=' ' validate='  v2 ' test='t');",
       "",
       {},
       0,
       [](const PartitionSettings& p) {
         EXPECT_EQ(p.trainLength, -1);
         EXPECT_EQ(p.validateLength, 2);
         EXPECT_EQ(p.validateValue.substr(0, 2), "v2");
         EXPECT_EQ(p.testLength, 1);
         EXPECT_EQ(p.roleVariable, 15);
         EXPECT_EQ(p.validationRows, 1);
         EXPECT_EQ(p.testRows, 1);
       }},
      {"partition var=grp(test='t') ;", "valdata=val", {}, 0, nullptr},
      {"partition fraction(validate=1.5);", "", {8486340}, 3000, nullptr},
  };
  for (const PartitionCase& c : cases) {
    std::string text =
        std::string("proc varsifter ") + c.proc + "; model y = x1; " + c.text + " run;";
    StepRun r = runStepText(text);
    EXPECT_EQ(r.messages(), c.messages) << text << "\n" << r.dump();
    EXPECT_EQ(r.code, c.code) << text << "\n" << r.dump();
    if (c.check) {
      SCOPED_TRACE(text);
      c.check(lastState().settings.partition);
    }
  }
}

}  // namespace
}  // namespace vsf::test
