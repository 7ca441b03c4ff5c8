// The MODEL statement reader: defaults, repairs (message, step code 4) and refusals (3000,
// 1012), one table per group of related options.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

struct ModelCase {
  const char* options;        // after "model y = x1 x2 / "
  std::vector<int> messages;  // set-848 numbers, in order
  int code;
  std::function<void(const VsfState&)> check;
};

void runCases(const std::vector<ModelCase>& cases) {
  for (const ModelCase& c : cases) {
    std::string text =
        std::string("proc varsifter data=diab; model y = x1 x2 / ") + c.options + "; run;";
    StepRun r = runStepText(text);
    std::vector<int> numbers;
    for (int m : r.messages({848})) numbers.push_back(m - 8480000);
    EXPECT_EQ(numbers, c.messages) << c.options << "\n" << r.dump();
    EXPECT_EQ(r.code, c.code) << c.options << "\n" << r.dump();
    if (c.check && r.code < 1000) {
      SCOPED_TRACE(c.options);
      c.check(lastState());
    }
  }
}

class ModelReader : public ::testing::Test {
 protected:
  StubData data;
};

TEST_F(ModelReader, MethodsCriteriaAndTheirDefaults) {
  runCases({
      {"",
       {},
       0,
       [](const VsfState& s) {
         const SelectionOptions& o = s.settings.options;
         EXPECT_EQ(o.stop, kCritSbc);  // the SELECT criterion
         EXPECT_DOUBLE_EQ(o.entryLevel, 0.15);
         EXPECT_DOUBLE_EQ(o.stayLevel, 0.15);
         EXPECT_EQ(o.forcedEffects, 1);
         EXPECT_EQ(s.settings.response.name, "y");
         EXPECT_EQ(s.settings.responseCount, 1);
       }},
      {"selection=forward",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.entryLevel, 0.5);
         EXPECT_DOUBLE_EQ(s.settings.options.stayLevel, 0.1);
       }},
      {"selection=lasso",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.select, kCritNone);
         EXPECT_EQ(s.settings.options.stop, kCritSbc);
         EXPECT_TRUE(methodFamily(s.settings.options.method).splitsEffects());
         EXPECT_EQ(lastDesign().flags & 0x2000u, 0x2000u);
       }},
      {"selection=grouplasso",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_TRUE(methodFamily(s.settings.options.method).grouped);
         EXPECT_DOUBLE_EQ(s.settings.options.rho, 0.9);
         EXPECT_DOUBLE_EQ(s.settings.options.tolerance, 1e-6);
       }},
      {"selection=backward(select=aic stop=sbc choose=press) noint include=2",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.stop, kCritSbc);
         EXPECT_EQ(s.settings.options.forcedEffects, 2);
       }},
      {"selection=none", {}, 0, [](const VsfState& s) { EXPECT_TRUE(s.settings.showPValues); }},
      {"stop=none",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.stop, kCritNone); }},
      {"stop=7", {}, 0, [](const VsfState& s) { EXPECT_EQ(s.settings.options.stop, kCritNone); }},
      {"selection=lasso(lscoeffs)",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.method, kMethodLassoLs); }},
      {"selection=lar(lscoeffs)",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.method, kMethodLarLs); }},
      {"selection=elasticnet(lscoeffs)", {2123}, 3000, nullptr},
      {"selection=grouplasso(lscoeffs)", {2124}, 3000, nullptr},
  });
}

TEST_F(ModelReader, ResponsesAndStatementRefusals) {
  StepRun none = runStepText("proc varsifter; model = x1; run;");
  EXPECT_EQ(none.messages({848}), std::vector<int>{8480216});
  EXPECT_EQ(none.code, 3000);
  StepRun two = runStepText("proc varsifter; model y x3 = x1; run;");
  EXPECT_EQ(two.messages({848}), std::vector<int>{8480228});
  EXPECT_EQ(two.code, 3000);
  StepRun range = runStepText("proc varsifter; model x1-x3 = x4; run;");
  EXPECT_EQ(range.messages({848}), std::vector<int>{8480228}) << range.dump();
  // The CV index variable must not be a model variable.
  StepRun index = runStepText("proc varsifter; model y = x1 / select=cv cvmethod=index(y); run;");
  EXPECT_EQ(index.messages({848}), std::vector<int>{8480162});
  EXPECT_EQ(index.code, 1012);
}

TEST_F(ModelReader, SignificanceLevelsStepsAndStopRules) {
  runCases({
      // Given where no criterion uses them, and at the edges of their range.
      {"selection=stepwise(sle=0)",
       {110, 111},
       4,
       [](const VsfState& s) { EXPECT_DOUBLE_EQ(s.settings.options.entryLevel, 0.15); }},
      {"selection=stepwise(select=sl sle=0.3 sls=0.2)",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.entryLevel, 0.3);
         EXPECT_DOUBLE_EQ(s.settings.options.stayLevel, 0.2);
       }},
      {"selection=backward(select=sl sls=1)",
       {116},
       4,
       [](const VsfState& s) { EXPECT_DOUBLE_EQ(s.settings.options.stayLevel, 0.1); }},
      {"sle=0.2", {110}, 4, nullptr},
      {"stop=aic steps=3",
       {155},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.stop, kCritNone);
         EXPECT_EQ(s.settings.options.steps, 3);
       }},
      {"stop=4 steps=3",
       {155},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.stopSteps, 0); }},
      {"stop=none steps=3", {}, 0, nullptr},
      {"maxsteps=2 steps=5",
       {112},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.maxSteps, 5); }},
      {"select=sl drop=competitive",
       {120},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.dropRule, kDropBeforeAdd); }},
      {"selection=backward orderselect",
       {130},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.orderSelect, 0); }},
      {"fuzz=0.01",
       {129},
       4,
       [](const VsfState& s) { EXPECT_DOUBLE_EQ(s.settings.options.fuzz, 1e-6); }},
      // START= begins FORWARD and STEPWISE only; every other method says it ignores it.
      {"selection=forward(start=2)",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.start, 2); }},
      {"selection=stepwise start=1",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.start, 1); }},
      {"selection=backward start=1",
       {6190},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.start, 0); }},
      {"selection=lasso(stop=none) start=2", {6190}, 4, nullptr},
      {"selection=lar start=2", {6190}, 4, nullptr},
      {"selection=elasticnet(l2=0.1) start=2", {6190}, 4, nullptr},
      {"selection=grouplasso start=2", {6190}, 4, nullptr},
      {"selection=none start=1", {6190}, 4, nullptr},
  });
}

// Every keyword of the DROP= rules' table reads as its rule: the grammar's rule for DROP= is
// made from the table.
TEST_F(ModelReader, EveryDropKeyword) {
  std::vector<ModelCase> cases;
  std::deque<std::string> texts;  // the cases keep pointers to their options
  for (const DropKeyword& d : kDropRules) {
    texts.push_back("selection=stepwise drop=" + std::string(d.keyword));
    const DropRule rule = d.rule;
    cases.push_back({texts.back().c_str(), {}, 0, [rule](const VsfState& s) {
                       EXPECT_EQ(s.settings.options.dropRule, rule);
                     }});
  }
  EXPECT_EQ(cases.size(), 3u);
  runCases(cases);
}

TEST_F(ModelReader, ElasticNetL2Settings) {
  runCases({
      {"selection=elasticnet",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.l2Search, kL2SearchGrid);
         EXPECT_DOUBLE_EQ(s.settings.options.l2, kL2Search);
       }},
      // A given negative L2 asks for the search; it is no fixed value.
      {"selection=elasticnet(l2=-1)",
       {2101},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.l2Search, kL2SearchGrid);
         EXPECT_DOUBLE_EQ(s.settings.options.l2, kL2Search);
       }},
      {"selection=elasticnet(l2=-0.5 l2search=golden)",
       {2101},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.l2Search, kL2SearchGolden); }},
      {"selection=elasticnet(l2=0.3 l2search=golden l2steps=20 l2low=0.1 l2high=2 "
       "showl2search)",
       {2108, 2109, 2110, 2111},
       4,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.l2, 0.3);
         EXPECT_EQ(s.settings.options.l2Search, kL2SearchNone);
         EXPECT_EQ(s.settings.options.l2Steps, 2);
         EXPECT_DOUBLE_EQ(s.settings.options.l2Low, 0.0);
         EXPECT_DOUBLE_EQ(s.settings.options.l2High, 1.0);
         EXPECT_EQ(s.settings.options.showL2Search, 0);
       }},
      {"selection=elasticnet(l2low=2 l2high=1)",
       {2122},
       4,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.l2, 2.0);
         EXPECT_EQ(s.settings.options.l2Search, kL2SearchNone);
       }},
      {"selection=lasso(l2=0.5)",
       {2103},
       4,
       [](const VsfState& s) { EXPECT_DOUBLE_EQ(s.settings.options.l2, 0.0); }},
      {"selection=lasso(enscale l2search=grid l2steps=9 l2low=0.2 l2high=3 showl2search)",
       {2102, 2104, 2105, 2106, 2107, 2115},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.l2Steps, 1);
         EXPECT_EQ(s.settings.options.l2Search, kL2SearchNone);
         EXPECT_DOUBLE_EQ(s.settings.options.l2High, 0.0);
       }},
  });
}

TEST_F(ModelReader, L1TargetsAndScreening) {
  runCases({
      {"selection=lar(stop=l1)", {2131}, 3000, nullptr},
      {"selection=lar(l1=1 l1choice=norm)",
       {2116, 2112},
       4,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.l1, -1.0);
         EXPECT_EQ(s.settings.options.l1Choice, kL1ChoiceNone);
       }},
      {"selection=lar(stop=none showstepl1)",
       {2117},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.showStepL1, 0); }},
      {"selection=lasso(stop=none showstepl1)",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.showStepL1, 1); }},
      {"selection=lasso(stop=l1)",
       {2118},
       4,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.l1, 0.0);
         EXPECT_EQ(s.settings.options.stop, kCritL1);
         EXPECT_EQ(s.settings.options.l1ChoiceStop, kL1ChoiceRatio);
       }},
      {"selection=lasso(stop=l1 l1=2 l1choice=value)",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.l1, 2.0);
         EXPECT_EQ(s.settings.options.l1Choice, kL1ChoiceValue);
         EXPECT_EQ(s.settings.options.l1ChoiceStop, kL1ChoiceValue);
       }},
      {"selection=lasso(l1=0.5)",
       {2119},
       4,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.l1, -1.0);
         EXPECT_EQ(s.settings.options.l1ChoiceStop, kL1ChoiceNone);
       }},
      {"selection=grouplasso(stop=l1 l1=1 l1choice=norm)",
       {4104},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.l1Choice, kL1ChoiceRatio); }},
      {"selection=lar(screen=sis)",
       {4002},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.screen, kScreenNone); }},
      // With the whole crossproducts (fewer than 10 effects) the set-up drops the screening.
      {"selection=lasso(screen=sis(keepnum=5 keepratio=0.5))", {4010, 4001}, 4, nullptr},
      {"selection=lasso(screen=sis(keepratio=0.5))",
       {4001},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.keepNum, -1); }},
      {"selection=lasso(screen=sis screensteps$=7)",
       {4001},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.screen, kScreenNone); }},
      {"selection=lasso(rho=0.5 tol=0.01)",
       {4102, 4103},
       4,
       [](const VsfState& s) { EXPECT_DOUBLE_EQ(s.settings.options.rho, -1.0); }},
      {"selection=hxlasso$(rho=0.5)",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_DOUBLE_EQ(s.settings.options.rho, 0.5);
         EXPECT_DOUBLE_EQ(s.settings.options.tolerance, 1e-6);
       }},
  });
}

TEST_F(ModelReader, CrossValidationAndExternalCrossValidation) {
  runCases({
      {"choose=cv",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.cvMethod, kCvRandom);
         EXPECT_EQ(s.settings.options.cvFolds, 5);
       }},
      {"select=cv cvmethod=block(4) cvdetails=coeffs",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.cvMethod, kCvBlock);
         EXPECT_EQ(s.settings.options.cvFolds, 4);
         EXPECT_EQ(s.settings.options.cvDetails, kCvCoeffs);
       }},
      {"stop=cv cvmethod=split cvdetails=all cvdetails=cvpress",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.cvMethod, kCvSplit);
         EXPECT_EQ(s.settings.options.cvDetails, kCvPressOnly);  // the later keyword wins
       }},
      {"choose=cv cvmethod=index(x3)",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.cvMethod, kCvIndex);
         EXPECT_EQ(s.settings.options.cvIndexVariable, 3);
       }},
      {"cvmethod=random(10) cvdetails",
       {159, 160},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.cvMethod, kCvNone); }},
      {"selection=lasso(choose=cvexternal stop=cv)", {2128}, 1012, nullptr},
      {"selection=lasso(choose=cvexternal showcvex)",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.cvMethod, kCvRandom);
         EXPECT_EQ(s.settings.options.showCvEx, 1);
         EXPECT_EQ(s.settings.options.externalCv, 1);
       }},
      {"selection=forward(choose=cvexternal)",
       {2113},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.choose, kCritNone); }},
      {"selection=lasso(showcvex)", {2114}, 4, nullptr},
      // The folds' details belong to k-fold cross validation, not to CHOOSE=CVEXTERNAL.
      {"selection=lasso(choose=cvex) cvmethod=split(5) cvdetails=all",
       {6191},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.cvDetails, kCvDetailsNone);
         EXPECT_EQ(s.settings.options.cvFolds, 5);
       }},
      {"selection=grouplasso(choose=cvex) cvdetails", {6191}, 4, nullptr},
      {"selection=grouplasso(stop=press)", {3501}, 1012, nullptr},
      {"selection=grouplasso(choose=bic)", {3502}, 1012, nullptr},
  });
}

TEST_F(ModelReader, DisplaysAndAdaptiveWeights) {
  runCases({
      {"stats=rsquare",
       {},
       0,
       [](const VsfState& s) {
         for (int c = 0; c < kStatsCount; ++c)
           // SBC: the column of the default SELECT= and STOP= criterion.
           EXPECT_EQ(s.settings.options.stats[c], c == kStatsRsquare || c == kStatsSbc) << c;
       }},
      {"stats=all",
       {},
       0,
       [](const VsfState& s) {
         for (int c = 0; c < kStatsCount; ++c) EXPECT_EQ(s.settings.options.stats[c], 1) << c;
       }},
      {"stats=(aic sbc) stb showpvalues",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.stats[kStatsAic] + s.settings.options.stats[kStatsSbc], 2);
         EXPECT_EQ(s.settings.options.stats[kStatsBic], 0);
         EXPECT_TRUE(s.settings.showPValues);
       }},
      {"details=steps(anova candidates(show=3))",
       {},
       0,
       [](const VsfState& s) {
         const StepDetailTables& t = s.settings.options.stepTables;
         EXPECT_EQ(t.anova + t.candidates, 2);
         EXPECT_EQ(t.fitStatistics + t.parameterEstimates, 0);
         EXPECT_EQ(t.candidatesShown, 3);
         EXPECT_EQ(s.settings.options.detailsBeyondSummary, 1);
       }},
      {"details=steps(all candidates(show=all))",
       {},
       0,
       [](const VsfState& s) {
         const StepDetailTables& t = s.settings.options.stepTables;
         EXPECT_EQ(t.anova + t.fitStatistics + t.parameterEstimates + t.candidates, 4);
         EXPECT_EQ(t.candidatesShown, 2147483647);
       }},
      {"details=summary",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.detailsBeyondSummary, 0); }},
      {"selection=lar(adaptive)",
       {237},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.adaptive, 0);
         EXPECT_EQ(s.settings.options.method, kMethodLar);
       }},
      {"selection=grouplasso(adaptive)", {4237}, 4, nullptr},
      // The stand-in data sets have no rows: the INEST= levelization finds no levels.
      {"selection=lasso(adaptive(gamma=2 inest=val) lscoeffs)",
       {238, 144},
       108,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.method, kMethodLasso);
         EXPECT_DOUBLE_EQ(s.settings.options.adaptiveGamma, 2.0);
         EXPECT_EQ(s.settings.options.initialEstimatesGiven, 1);
         EXPECT_NE(s.settings.initialEstimates, nullptr);
       }},
  });
}

}  // namespace
}  // namespace vsf::test
