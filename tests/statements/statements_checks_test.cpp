// The statement checks after the parse: repeated statements, CLASS after MODEL, a missing
// MODEL, syntax errors (reported with their place; the step ends only after every check has
// spoken), the grammar's lexical rules, and the DEBUG trace switches.
#include <gtest/gtest.h>

#include "common/statements_support.h"
#include "frame/phases.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf::test {
namespace {

class StatementChecks : public ::testing::Test {
 protected:
  StubData data;
};

std::vector<std::string> syntaxErrors(const StepRun& r) {
  std::vector<std::string> out;
  for (const std::string& l : r.lines("ERROR"))
    if (l.rfind("Line ", 0) == 0) out.push_back(l);
  return out;
}

struct CheckCase {
  const char* text;
  std::vector<int> messages;  // set * 10000 + number
  int code;
};

TEST_F(StatementChecks, RepeatedAndMisplacedStatements) {
  const CheckCase cases[] = {
      {"proc varsifter; model y = x1; run;", {}, 0},
      {"proc varsifter; model y = x1; model y = x2; output out=o1; output out=o2; run;",
       {8480207, 8480212},
       3000},
      {"proc varsifter; model y = x1; class a; run;", {8480150}, 3000},
      {"proc varsifter; class a; run;", {8480141}, 3000},
      {"proc varsifter; model y = x1; partition fraction(test=0.1); partition "
       "fraction(test=0.2); run;",
       {8480208},
       3000},
      {"proc varsifter; weight x1; weight x2; model y = x3; run;", {8480209}, 3000},
      {"proc varsifter; freq x1; freq x2; model y = x3; run;", {8480210}, 3000},
      {"proc varsifter; performance; performance details; model y = x1; run;", {8480211}, 3000},
      {"proc varsifter; model y = x1; modelaverage; modelaverage; run;", {8480251}, 3000},
      // Every check speaks before the step ends.
      {"proc varsifter; model y = x1; class a; model y = x2; freq x1; freq x2; run;",
       {8480150, 8480207, 8480210},
       3000},
  };
  for (const CheckCase& c : cases) {
    StepRun r = runStepText(c.text);
    EXPECT_EQ(r.messages({848}), c.messages) << c.text << "\n" << r.dump();
    EXPECT_EQ(r.code, c.code) << c.text << "\n" << r.dump();
  }
}

TEST_F(StatementChecks, SyntaxErrorsAreReportedWithTheirPlaceAndNothingRuns) {
  StepRun r = runStepText(
      "proc varsifter data=diab;\n"
      "  model y = x1 x2 / selection=lasso bogus=3;\n"
      "  model y = x3;\n"
      "run;");
  EXPECT_EQ(r.code, 3000) << r.dump();
  std::vector<std::string> errors = syntaxErrors(r);
  ASSERT_EQ(errors.size(), 1u) << r.dump();
  EXPECT_NE(errors[0].find("Line 2, column 37"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("\"bogus\""), std::string::npos) << errors[0];
  // The second MODEL is still counted and reported; the MODEL options were never read.
  EXPECT_EQ(r.messages({848}), std::vector<int>{8480207});
  EXPECT_EQ(lastState().settings.options.method, kMethodStepwise);
}

TEST_F(StatementChecks, ErrorsInSeveralStatementsAreAllReported) {
  StepRun r = runStepText(
      "proc varsifter;\n"
      "  class a (param=nonsense);\n"
      "  model y = x1 / stop=12.5;\n"
      "  output out=o p=;\n"
      "run;");
  EXPECT_EQ(r.code, 3000);
  std::vector<std::string> errors = syntaxErrors(r);
  ASSERT_EQ(errors.size(), 3u) << r.dump();
  EXPECT_EQ(errors[0].rfind("Line 2, column 18", 0), 0u) << errors[0];
  EXPECT_EQ(errors[1].rfind("Line 3, column 23", 0), 0u) << errors[1];
  EXPECT_EQ(errors[2].rfind("Line 4, column 18", 0), 0u) << errors[2];
}

TEST_F(StatementChecks, FreqAndWeightTakeExactlyOneNumericVariable) {
  const CheckCase cases[] = {
      {"proc varsifter; freq x1 x2; model y = x3; run;", {}, 3000},
      {"proc varsifter; weight x1-x3; model y = x4; run;", {}, 3000},
      {"proc varsifter; weight name; model y = x4; run;", {}, 3000},
      {"proc varsifter; weight x2; freq x1; model y = x4; run;", {}, 0},
  };
  for (const CheckCase& c : cases) {
    StepRun r = runStepText(c.text);
    EXPECT_EQ(r.code, c.code) << c.text << "\n" << r.dump();
  }
  EXPECT_TRUE(lastState().settings.options.freqPresent);
  EXPECT_TRUE(lastState().settings.options.weightPresent);
  EXPECT_EQ(lastState().settings.freqVariable.name, "x1");
  EXPECT_EQ(lastState().settings.weightVariable.name, "x2");
}

TEST_F(StatementChecks, LexicalRulesOfTheStep) {
  const CheckCase cases[] = {
      // Keywords and names in any case; comments and statement comments inside the step.
      {"PROC VarSifter DATA=Diab; /* a comment; with a ; */\n * a statement comment ;\n"
       "MoDeL Y = X1 / SeLeCtIoN=LaSsO; RUN;",
       {},
       0},
      // Undocumented keywords with or without their "$".
      {"proc varsifter; model y = x1 / nostandardize; performance force$ util_pagesize=8;", {}, 0},
      // A keyword stands for a variable where no keyword fits.
      {"proc varsifter; class grp; model y = x1 / selection=forward(select=sl); "
       "output out=o p=model r=class;",
       {},
       0},
      // An unterminated string and a stray character are errors, not crashes.
      {"proc varsifter; model y = x1; output out='o;", {}, 3000},
      {"proc varsifter; model y = x1 # x2;", {}, 3000},
      // Missing ';' at the end of the step.
      {"proc varsifter; model y = x1", {}, 3000},
  };
  for (const CheckCase& c : cases) {
    StepRun r = runStepText(c.text);
    EXPECT_EQ(r.code, c.code) << c.text << "\n" << r.dump();
  }
}

TEST_F(StatementChecks, DebugOptionSetsTheTraceSwitches) {
  struct Case {
    const char* debug;
    bool syntax, semantics;
  } cases[] = {{"syn sem", true, true},
               {"   ", false, false},
               {"", false, false},
               {"xxSEMxx", false, true},
               {"Syntax", true, false}};
  for (const Case& c : cases) {
    host::session().options.debug = c.debug;
    startStepContext(nullptr);
    EXPECT_EQ((parserTraceFlags() & 2) != 0, c.syntax) << c.debug;
    EXPECT_EQ((parserTraceFlags() & 1) != 0, c.semantics) << c.debug;
  }
  host::session().options.debug = "syn,sem";
  StepRun r = runStepText("proc varsifter; model y = x1; run;");
  host::session().options.debug.clear();
  int syn = 0, sem = 0;
  for (const std::string& l : r.lines("")) {
    syn += l.rfind("SYN: ", 0) == 0;
    sem += l.rfind("SEM: ", 0) == 0;
  }
  EXPECT_GT(syn, 0);
  EXPECT_GT(sem, 0);
  startStepContext(nullptr);
}

TEST(NameLists, ZlstgetWalksTheChunks) {
  NameChunkList third{nullptr, 4, {"e"}};
  NameChunkList second{&third, 3, {"c", "d"}};
  NameChunkList first{&second, 1, {"a", "b"}};
  const char* expected[] = {"a", "b", "c", "d", "e"};
  for (int i = 0; i < 5; ++i) {
    std::string_view n;
    ASSERT_EQ(zlstget(&first, i, &n), 0) << i;
    EXPECT_EQ(n, expected[i]);
  }
  std::string_view n;
  EXPECT_EQ(zlstget(&first, 5, &n), 1);
  EXPECT_EQ(zlstget(nullptr, 0, &n), 1);
}

}  // namespace
}  // namespace vsf::test
