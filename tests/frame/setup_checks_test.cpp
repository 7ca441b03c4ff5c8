// The main set-up's settling of option combinations: refusals (message, step code 1012),
// repairs (warning, 4), notes, and the switches it leaves for the selection, one table per
// group of related rules.
#include <gtest/gtest.h>

#include <functional>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

struct SetupCase {
  const char* text;           // the statements after the procedure statement
  std::vector<int> messages;  // set-848 numbers, in order
  int code;
  std::function<void(const VsfState&)> check;
  const char* proc = "";  // procedure statement options
};

class Setup : public ::testing::Test {
 protected:
  StubData data;
  void run(const std::vector<SetupCase>& cases) {
    for (const SetupCase& c : cases) {
      std::string text =
          std::string("proc varsifter data=diab ") + c.proc + "; " + c.text + " run;";
      std::function<void(const VsfState&)> inspect = c.check;
      StepRun r = runStepText(text, inspect);
      std::vector<int> numbers;
      for (int m : r.messages({848})) numbers.push_back(m - 8480000);
      EXPECT_EQ(numbers, c.messages) << text << "\n" << r.dump();
      EXPECT_EQ(r.code, c.code) << text << "\n" << r.dump();
      if (c.check) {
        EXPECT_TRUE(r.inspected) << text;
      }
    }
  }
};

TEST_F(Setup, MethodsThatCannotTakeTheModel) {
  run({
      {"model y = x1 x2 / selection=lasso include=1;", {997}, 1012, nullptr},
      {"effect s = collection(x1 x2); model y = s x3 / selection=lar;", {217}, 1012, nullptr},
      {"effect p = polynomial(x1 x2 / degree=2 noseparate); model y = p / selection=lasso;",
       {229},
       1012,
       nullptr},
      {"effect s = spline(x1); model y = s x3 / selection=lasso;", {218}, 0, nullptr},
      {"model y = / noint;", {154}, 1012, nullptr},
      {"model y = x1 / selection=lasso hierarchy=single;",
       {205},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.hierarchy, 0);
         EXPECT_EQ(s.settings.options.allDense, 1);
       }},
      {"model y = x1 x2 / selection=none include=3;",
       {128},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.include, 0);
         EXPECT_EQ(s.settings.options.forcedEffects, 1);  // the intercept
       }},
      {"model y = x1 x2 / selection=forward include=5;",
       {135},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.forcedEffects, 3);
         EXPECT_EQ(s.settings.options.buildFullSscp, 1);
       }},
      {"model y = x1 x2 / selection=forward(stop=validate);", {125}, 1012, nullptr},
  });
}

TEST_F(Setup, StatisticsAndTheWholeCrossproducts) {
  run({
      // BIC as a criterion: the column, the whole crossproducts, the full model's variance.
      {"model y = x1 x2 / selection=forward(stop=bic);",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.stats[kStatsBic], 1);
         EXPECT_EQ(s.settings.options.buildFullSscp, 1);
         EXPECT_EQ(s.settings.options.fullModelVariance, 1);
         EXPECT_EQ(s.settings.options.effectStore, 0);  // the whole matrix keeps no store
         EXPECT_EQ(s.settings.options.incrementalSscp, 0);
         EXPECT_EQ(s.settings.options.fullSweepMode, 1);
       }},
      // CP only shown with 1,024 effects (past the whole matrix's 1,000): the whole
      // crossproducts only for the statistic.
      {"model y = x1|x2|x3|x4|x5|x6|x7|x8|x9|x10 / selection=forward stats=cp;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.buildFullSscp, 1);
         EXPECT_EQ(s.settings.options.fullModelVariance, 1);  // for CP alone
       }},
      // Effect by effect, a classical method keeps the store its search scores candidates by.
      {"model y = x1|x2|x3|x4|x5|x6|x7|x8|x9|x10 / selection=forward;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.buildFullSscp, 0);
         EXPECT_EQ(s.settings.options.incrementalSscp, 1);
         EXPECT_EQ(s.settings.options.effectStore, 1);
         EXPECT_EQ(s.settings.options.stop, kCritSbc);  // STOP=SBC by default
       }},
      {"model y = x1-x10 a / selection=forward;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.buildFullSscp, 1);
         EXPECT_EQ(s.settings.options.incrementalSscp, 0);
         EXPECT_EQ(s.settings.options.effectStore, 0);
         EXPECT_EQ(s.settings.options.fullModelVariance, 0);  // SBC needs no full model
       }},
      {"model y = x1-x10 a / selection=stepwise; performance buildsscp=incremental;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.incrementalSscp, 1);
         EXPECT_EQ(s.settings.options.effectStore, 1);
       }},
      {"model y = x1 / selection=forward(stop=bic); performance buildsscp=incremental;",
       {147},
       4,
       nullptr},
      {"model y = x1 x2 / selection=lar stats=press;",
       {158},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.pressPerStep, 0);
         EXPECT_EQ(s.settings.options.stats[kStatsPress], 0);
       }},
      {"model y = x1 x2 / selection=lar(choose=press);", {157}, 1012, nullptr},
      {"model y = x1 x2 / selection=elasticnet(stop=press);", {2126}, 1012, nullptr},
      {"model y = x1 x2 / selection=forward stats=press;",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.pressPerStep, 1); }},
      {"model y = x1 x2 / selection=forward(stop=sl);",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.stats[kStatsSl] + s.settings.options.stats[kStatsFValue], 2);
       }},
      {"model y = x1 x2 / stats=all;",
       {},
       0,
       [](const VsfState& s) {
         for (uint8_t c : s.settings.options.stats) EXPECT_EQ(c, 0);  // NOPRINT
       },
       "noprint"},
  });
}

// A criterion shows the column its STATS= keyword of the same name shows: naming the keyword
// as well adds none.
TEST_F(Setup, CriteriaShowTheColumnsOfTheirStatsKeywords) {
  for (std::string k : {"sl", "aic", "aicc", "sbc", "rsquare", "adjrsq", "cp", "bic", "press"}) {
    std::vector<uint8_t> shown[2];
    for (int named = 0; named < 2; ++named) {
      const std::string model = "model y = x1 x2 / selection=forward(stop=" + k + ")" +
                                (named ? " stats=" + k : "") + ";";
      runStepText("proc varsifter data=diab; " + model + " run;", [&](const VsfState& s) {
        shown[named].assign(s.settings.options.stats, s.settings.options.stats + kStatsCount);
      });
    }
    EXPECT_EQ(shown[0], shown[1]) << k;
  }
}

TEST_F(Setup, StepPlotsAndCrossValidation) {
  run({
      // ALL's candidate plots are dropped silently for LASSO; asked for, with a note.
      {"model y = x1 x2 / selection=lasso;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.plots.candidatesPlot.on, 0);
         EXPECT_EQ(s.settings.plots.selectogram.on, 0);
         EXPECT_EQ(s.settings.options.candidateValues, 0);
       },
       "plots=all"},
      {"model y = x1 x2 / selection=lasso;", {118}, 0, nullptr, "plots=candidates"},
      {"model y = x1 x2 / selection=forward details=steps;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.plots.candidatesPlot.on, 1);
         EXPECT_EQ(s.settings.options.candidateValues, 1);
         EXPECT_EQ(s.settings.options.detailsBits, 3);
       },
       "plots=candidates"},
      {"model y = x1 x2 / selection=forward;",
       {198},
       4,
       [](const VsfState& s) { EXPECT_EQ(s.settings.plots.coefficients.stepAxis, 1); },
       "plots=coefficients(stepaxis=normb)"},
      {"model y = x1 x2 / selection=lasso;",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.options.coefNormPerStep, 1); },
       "plots=coefficients(stepaxis=normb)"},
      {"model y = x1 x2 / selection=forward(choose=cv) cvmethod=split(4) cvdetails=all;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.kfold, 1);
         EXPECT_EQ(s.settings.options.folds, 4);
         EXPECT_EQ(s.settings.options.foldStats + s.settings.options.foldEstimates, 2);
       }},
      {"model y = x1 x2 / selection=lasso(choose=cvexternal) cvmethod=random(6);",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.options.kfold, 0);
         EXPECT_EQ(s.settings.options.externalCv, 1);
         EXPECT_EQ(s.settings.options.folds, 6);
         EXPECT_EQ(s.settings.options.cvDetails, kCvDetailsNone);
       }},
  });
}

TEST_F(Setup, OutputsModelAveragingAndTheSeed) {
  run({
      // The stand-in data set has no BY group to fit: the output data sets are not written.
      {"model y = x1; output out=o stddev;",
       {246, 6310},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.output.stdDev.on, 0);
         EXPECT_EQ(s.settings.output.predicted.on, 1);  // the predicted values are still written
         EXPECT_EQ(s.settings.output.count, 1);
       }},
      {"model y = x1; score out=o median samplepred;", {257, 255, 6310}, 4, nullptr},
      {"model y = x1 / noint; modelaverage refit(best=0);", {267}, 1012, nullptr},
      // The samples draw from the procedure seed; BEST= counts the intercept without NOINT.
      {"model y = x1; modelaverage nsamples=3 refit(best=0); output out=o lower;",
       {6310},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.group.resampling.procedureSeed, 5);
         EXPECT_EQ(s.group.resampling.refitBest, 1);
         EXPECT_EQ(s.settings.options.modelAveragingRun, 1);
         EXPECT_EQ(s.settings.output.lower.on, 1);      // kept: model averaging gives it
         EXPECT_EQ(s.settings.output.predicted.on, 0);  // a named statistic: no default
       },
       "seed=5"},
      {"model y = x1;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_GT(s.settings.procedureSeed, 0);  // from the clock
         EXPECT_EQ(s.settings.seedOption, 0);
       }},
  });
}

// The data pass's own record holds what PERFORMANCE said of the utility files and the rows,
// with what the set-up settled (a path method stores its rows dense), and the analysis data
// set's row slots the held-out and SCORE passes come back to.
TEST_F(Setup, DataPassOptionsAreSettledOnce) {
  run({
      {"performance util_buffers$=3 util_pagesize$=4 util_random$ util_details$ allsparse$; "
       "model y = x1;",
       {},
       0,
       [](const VsfState& s) {
         const DataPassOptions& d = s.res.dataPass;
         EXPECT_EQ(s.settings.options.utilBuffers, 3);  // the memory plan's
         EXPECT_EQ(d.pageSizeKb, 4);
         EXPECT_EQ(d.randomAccess, 1);
         EXPECT_EQ(d.showUtilFiles, 1);
         EXPECT_EQ(d.allSparse, 1);
         EXPECT_EQ(d.allDense, 0);
         EXPECT_EQ(d.analysis.reader, s.settings.inputReader);
         EXPECT_EQ(d.analysis.response, &s.settings.response);
         EXPECT_EQ(d.analysis.responseRecord, s.settings.responseRecord);
         EXPECT_EQ(d.analysis.weight, nullptr);
         EXPECT_EQ(d.analysis.frequency, nullptr);
         EXPECT_EQ(d.analysis.modelDescriptors, nullptr);  // no other data set is read
       }},
      {"performance allsparse$; model y = x1 / selection=lasso;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.res.dataPass.allSparse, 0);
         EXPECT_EQ(s.res.dataPass.allDense, 1);
         EXPECT_EQ(s.res.dataPass.randomAccess, 0);
       }},
      {"weight x2; freq x3; model y = x1; score data=diab out=o;",
       {6310},
       0,
       [](const VsfState& s) {
         const AnalysisRowSlots& a = s.res.dataPass.analysis;
         EXPECT_EQ(a.weight, &s.settings.weightVariable);
         EXPECT_EQ(a.frequency, &s.settings.freqVariable);
         EXPECT_EQ(a.weightRecord, s.settings.weightRecord);
         EXPECT_EQ(a.freqRecord, s.settings.freqRecord);
         ASSERT_NE(a.modelDescriptors, nullptr);
         EXPECT_EQ(a.modelDescriptors[0], s.lev.design->modelVars[0].desc);
       }},
  });
}

// Cross validation's record holds the settled options the data pass, the engine and the
// paths read of the folds.
void expectCvOptionsOfOptions(const VsfState& s) {
  const CvOptions& cv = s.cv;
  const SelectionOptions& o = s.settings.options;
  EXPECT_EQ(cv.method, o.cvMethod);
  EXPECT_EQ(cv.requestedFolds, o.cvFolds);
  EXPECT_EQ(cv.indexVariable, o.cvIndexVariable);
  EXPECT_EQ(cv.folds, o.folds);
  EXPECT_EQ(cv.kfold, o.kfold);
  EXPECT_EQ(cv.foldStats, o.foldStats);
  EXPECT_EQ(cv.foldEstimates, o.foldEstimates);
  EXPECT_EQ(cv.externalCv, o.externalCv);
  EXPECT_EQ(cv.linearCvEx, o.linearCvEx);
}

// The selection rules' record holds the settled options the rules and the classical methods
// read, for programs that set them and for one left at the defaults; the folds the rules ask
// about are cross validation's record's.
void expectRulesOfOptions(const VsfState& s) {
  const SelectionRules& r = s.rules;
  const SelectionOptions& o = s.settings.options;
  EXPECT_EQ(r.method, o.method);
  EXPECT_EQ(r.select, o.select);
  EXPECT_EQ(r.stop, o.stop);
  EXPECT_EQ(r.choose, o.choose);
  EXPECT_EQ(r.entryLevel, o.entryLevel);
  EXPECT_EQ(r.stayLevel, o.stayLevel);
  EXPECT_EQ(r.fuzz, o.fuzz);
  EXPECT_EQ(r.steps, o.steps);
  EXPECT_EQ(r.stopSteps, o.stopSteps);
  EXPECT_EQ(r.noInt, o.noInt);
  EXPECT_EQ(r.dropRule, o.dropRule);
  EXPECT_EQ(r.hierarchy, o.hierarchy);
  EXPECT_EQ(r.l1ChoiceStop, o.l1ChoiceStop);
  EXPECT_EQ(r.candidateValues, o.candidateValues);
  EXPECT_EQ(r.generalSearch, o.generalSearch);
  EXPECT_EQ(r.fullSweepMode, o.fullSweepMode);
  EXPECT_EQ(r.pressPerStep, o.pressPerStep);
  EXPECT_EQ(r.validAsePerStep, o.validAsePerStep);
  EXPECT_EQ(r.testAsePerStep, o.testAsePerStep);
  EXPECT_EQ(r.include, o.include);
  EXPECT_EQ(r.start, o.start);
  EXPECT_EQ(r.modelAveragingRun, o.modelAveragingRun);
  EXPECT_EQ(r.fullModelWanted, fullModelWanted(&o));
  expectCvOptionsOfOptions(s);
}

TEST_F(Setup, SelectionRulesAreSettledOnce) {
  // Each program sets options of the record away from their defaults; the check also holds
  // the settled values the record must carry, not only the copy.
  run({
      {"model y = x1 x2 x3;",
       {},
       0,
       [](const VsfState& s) {
         expectRulesOfOptions(s);
         EXPECT_EQ(s.rules.method, kMethodStepwise);
       }},
      // SELECT=SL takes DROP=BEFOREADD: the record has the settled rule, not the one read.
      {"model y = x1 x2 x3 / selection=stepwise(select=sl sle=0.3 sls=0.05 drop=competitive) "
       "noint fuzz=1e-8;",
       {120},
       4,
       [](const VsfState& s) {
         expectRulesOfOptions(s);
         EXPECT_EQ(s.rules.select, kCritSl);
         EXPECT_EQ(s.rules.entryLevel, 0.3);
         EXPECT_EQ(s.rules.stayLevel, 0.05);
         EXPECT_EQ(s.rules.fuzz, 1e-8);
         EXPECT_EQ(s.rules.noInt, 1);
         EXPECT_EQ(s.rules.dropRule, kDropBeforeAdd);
       }},
      {"model y = x1 x2 x3 / selection=stepwise(select=sbc drop=competitive) hierarchy=single;",
       {},
       0,
       [](const VsfState& s) {
         expectRulesOfOptions(s);
         EXPECT_EQ(s.rules.dropRule, kDropCompetitive);
         EXPECT_NE(s.rules.hierarchy, 0);  // HIERARCHY=SINGLE kept
       }},
      {"model y = x1 x2 x3 / selection=forward(select=sbc stop=2 choose=press);",
       {},
       0,
       [](const VsfState& s) {
         expectRulesOfOptions(s);
         EXPECT_EQ(s.rules.stopSteps, 2);
         EXPECT_EQ(s.rules.choose, kCritPress);
       }},
      {"model y = x1 x2 x3 / selection=forward(select=sbc stop=none choose=cv) cvmethod=split(4) "
       "cvdetails=all;",
       {},
       0,
       [](const VsfState& s) {
         expectRulesOfOptions(s);
         EXPECT_EQ(s.rules.choose, kCritCv);
         EXPECT_EQ(s.cv.foldStats, 1);
       }},
      {"model y = x1 x2 x3 / selection=grouplasso(steps=12 choose=sbc);",
       {},
       0,
       [](const VsfState& s) {
         expectRulesOfOptions(s);
         EXPECT_EQ(s.rules.steps, 12);
         EXPECT_EQ(s.rules.method, kMethodGroupLasso);
       }},
  });
}

// The paths' record holds the settled options the fit driver and the paths read.
void expectPathOptionsOfOptions(const VsfState& s) {
  const PathOptions& p = s.pathOptions;
  const SelectionOptions& o = s.settings.options;
  EXPECT_EQ(p.method, o.method);
  EXPECT_EQ(p.stop, o.stop);
  EXPECT_EQ(p.choose, o.choose);
  EXPECT_EQ(p.steps, o.steps);
  EXPECT_EQ(p.stopSteps, o.stopSteps);
  EXPECT_EQ(p.maxSteps, o.maxSteps);
  EXPECT_EQ(p.forcedEffects, o.forcedEffects);
  EXPECT_EQ(p.noInt, o.noInt);
  EXPECT_EQ(s.engine.noStandardize, o.noStandardize);  // the moments' scales, the engine's
  EXPECT_EQ(p.modelAveragingRun, o.modelAveragingRun);
  EXPECT_EQ(p.pressPerStep, o.pressPerStep);
  EXPECT_EQ(p.rolesPresent, o.rolesPresent);
  EXPECT_EQ(p.l1Choice, o.l1Choice);
  EXPECT_EQ(p.l2Search, o.l2Search);
  EXPECT_EQ(p.l2Steps, o.l2Steps);
  EXPECT_EQ(p.l2Low, o.l2Low);
  EXPECT_EQ(p.l2High, o.l2High);
  EXPECT_EQ(p.showL2Search, o.showL2Search);
  EXPECT_EQ(p.enScale, o.enScale);
  EXPECT_EQ(p.rho, o.rho);
  EXPECT_EQ(p.tolerance, o.tolerance);
  EXPECT_EQ(p.screen, o.screen);
  EXPECT_EQ(p.screenSteps, o.screenSteps);
  EXPECT_EQ(p.keepNum, o.keepNum);
  EXPECT_EQ(p.keepRatio, o.keepRatio);
  EXPECT_EQ(p.showScreen, o.showScreen);
  EXPECT_EQ(p.adaptive, o.adaptive);
  EXPECT_EQ(p.initialEstimatesGiven, o.initialEstimatesGiven);
  expectCvOptionsOfOptions(s);
}

TEST_F(Setup, PathOptionsAreSettledOnce) {
  run({
      {"model y = x1 x2 x3;", {}, 0, expectPathOptionsOfOptions},
      {"model y = x1 x2 x3 / selection=elasticnet(enscale l2search=grid l2steps=9 l2low=0.2 "
       "l2high=3 showl2search);",
       {},
       0,
       [](const VsfState& s) {
         expectPathOptionsOfOptions(s);
         EXPECT_EQ(s.pathOptions.l2Search, kL2SearchGrid);
         EXPECT_EQ(s.pathOptions.l2Steps, 9);
         EXPECT_EQ(s.pathOptions.l2Low, 0.2);
         EXPECT_EQ(s.pathOptions.l2High, 3);
         EXPECT_TRUE(methodFamily(s.pathOptions.method).splitsEffects());
       }},
      // Screening is dropped where the whole crossproducts matrix is built: the record has
      // the settled screen, not the one read.
      {"model y = x1 x2 x3 / selection=lasso(adaptive screen=sis(keepratio=0.5) "
       "l1choice=norm) noint;",
       {4001},
       0,
       [](const VsfState& s) {
         expectPathOptionsOfOptions(s);
         EXPECT_EQ(s.pathOptions.screen, kScreenNone);
         EXPECT_EQ(s.pathOptions.keepRatio, 0.5);
         EXPECT_EQ(s.pathOptions.l1Choice, kL1ChoiceNorm);
         EXPECT_EQ(s.pathOptions.adaptive, 1);
         EXPECT_EQ(s.pathOptions.noInt, 1);
       }},
      {"model y = x1 x2 x3 / selection=grouplasso(rho=0.5 stop=none steps=4);",
       {},
       0,
       [](const VsfState& s) {
         expectPathOptionsOfOptions(s);
         EXPECT_EQ(s.pathOptions.rho, 0.5);
         EXPECT_EQ(s.pathOptions.steps, 4);
         EXPECT_EQ(s.pathOptions.stop, kCritNone);
       }},
      {"model y = x1 x2 x3 / selection=elasticnet(choose=cvex l2=0.5) cvmethod=split(4);",
       {},
       0,
       [](const VsfState& s) {
         expectPathOptionsOfOptions(s);
         EXPECT_EQ(s.cv.externalCv, 1);
         EXPECT_EQ(s.pathOptions.choose, kCritCvExternal);
       }},
  });
}

TEST_F(Setup, CvOptionsAreSettledOnce) {
  run({
      {"model y = x1 x2 x3;",
       {},
       0,
       [](const VsfState& s) {
         expectCvOptionsOfOptions(s);
         EXPECT_EQ(s.cv.kfold + s.cv.externalCv, 0);
         EXPECT_EQ(s.cv.folds, 0);  // no fold tags without CVMETHOD=
       }},
      {"model y = x1 x2 x3 / selection=forward(choose=cv) cvmethod=split(4) cvdetails=all;",
       {},
       0,
       [](const VsfState& s) {
         expectCvOptionsOfOptions(s);
         EXPECT_EQ(s.cv.method, kCvSplit);
         EXPECT_EQ(s.cv.requestedFolds, 4);
         EXPECT_EQ(s.cv.folds, 4);
         EXPECT_EQ(s.cv.kfold, 1);
         EXPECT_EQ(s.cv.foldStats + s.cv.foldEstimates, 2);
         EXPECT_EQ(s.cv.externalCv, 0);
       }},
      // External cross validation keeps no k-fold details: the record has the settled
      // switches, not CVDETAILS= as read.
      {"model y = x1 x2 x3 / selection=lasso(choose=cvex linearcvex$) cvmethod=random(6) "
       "cvdetails=all;",
       {6191},
       4,
       [](const VsfState& s) {
         expectCvOptionsOfOptions(s);
         EXPECT_EQ(s.settings.options.cvDetails, kCvDetailsNone);
         EXPECT_EQ(s.cv.foldStats + s.cv.foldEstimates, 0);
         EXPECT_EQ(s.cv.kfold, 0);
         EXPECT_EQ(s.cv.externalCv, 1);
         EXPECT_EQ(s.cv.folds, 6);
         EXPECT_EQ(s.cv.method, kCvRandom);
         EXPECT_EQ(s.cv.linearCvEx, 1);
       }},
      {"model y = x1 x2 / selection=forward(choose=cv) cvmethod=index(x3);",
       {},
       0,
       [](const VsfState& s) {
         expectCvOptionsOfOptions(s);
         EXPECT_EQ(s.cv.method, kCvIndex);
         EXPECT_GE(s.cv.indexVariable, 0);
       }},
  });
}

// The engine's record holds the settled options the memory plan, the pool, the kernels, the
// result stream, the step records and the criterion values read.
void expectEngineOptionsOfOptions(const VsfState& s) {
  const EngineOptions& e = s.engine;
  const SelectionOptions& o = s.settings.options;
  EXPECT_EQ(e.method, o.method);
  EXPECT_EQ(e.select, o.select);
  EXPECT_EQ(e.stop, o.stop);
  EXPECT_EQ(e.choose, o.choose);
  EXPECT_EQ(e.noInt, o.noInt);
  EXPECT_EQ(e.noStandardize, o.noStandardize);
  EXPECT_EQ(e.hierarchy, o.hierarchy);
  EXPECT_EQ(e.forcedEffects, o.forcedEffects);
  EXPECT_EQ(e.maxSteps, o.maxSteps);
  EXPECT_EQ(e.maxEffects, o.maxEffects);
  EXPECT_EQ(e.buildFullSscp, o.buildFullSscp);
  EXPECT_EQ(e.effectStore, o.effectStore);
  EXPECT_EQ(e.designPerByGroup, o.designPerByGroup);
  EXPECT_EQ(e.generalSearch, o.generalSearch);
  EXPECT_EQ(e.candidateValues, o.candidateValues);
  EXPECT_EQ(e.pressPerStep, o.pressPerStep);
  EXPECT_EQ(e.validAsePerStep, o.validAsePerStep);
  EXPECT_EQ(e.testAsePerStep, o.testAsePerStep);
  EXPECT_EQ(e.fifthPerStep, o.fifthPerStep);
  EXPECT_EQ(e.stepRecords, o.detailsBeyondSummary != 0 || o.detailsBits != 0);
  EXPECT_EQ(e.fullModelWanted, fullModelWanted(&o));
  EXPECT_EQ(e.adaptive, o.adaptive);
  EXPECT_EQ(e.adaptiveGamma, o.adaptiveGamma);
  EXPECT_EQ(e.rolesPresent, o.rolesPresent);
  EXPECT_EQ(e.weightPresent, o.weightPresent);
  EXPECT_EQ(e.freqPresent, o.freqPresent);
  EXPECT_EQ(e.modelAveragingRun, o.modelAveragingRun);
  EXPECT_EQ(e.resampling, o.resampling);
  EXPECT_EQ(e.utilBuffers, o.utilBuffers);
  EXPECT_EQ(e.requestedWorkers, s.settings.threads.requestedWorkers);
}

TEST_F(Setup, EngineOptionsAreSettledOnce) {
  run({
      {"model y = x1 x2 x3;",
       {},
       0,
       [](const VsfState& s) {
         expectEngineOptionsOfOptions(s);
         EXPECT_EQ(s.engine.method, kMethodStepwise);
         EXPECT_EQ(s.engine.stepRecords, 0);
       }},
      {"performance util_buffers$=3 cpucount=2; weight x3; "
       "model y = x1 x2 / selection=forward(select=sbc choose=cp maxsteps=2) noint details=all "
       "stats=(aic sbc);",
       {},
       0,
       [](const VsfState& s) {
         expectEngineOptionsOfOptions(s);
         EXPECT_EQ(s.engine.utilBuffers, 3);
         EXPECT_EQ(s.engine.requestedWorkers, 2);
         EXPECT_EQ(s.engine.weightPresent, 1);
         EXPECT_EQ(s.engine.noInt, 1);
         EXPECT_EQ(s.engine.maxSteps, 2);
         EXPECT_EQ(s.engine.choose, kCritCp);
         EXPECT_EQ(s.engine.fullModelWanted, 1);  // CP needs the full model's variance
         EXPECT_EQ(s.engine.stepRecords, 1);
       }},
      // Adaptive weights take the whole crossproducts matrix: the record has the settled
      // build, not the incremental one the options would give.
      {"model y = x1 x2 x3 / selection=lasso(adaptive(gamma=0.5));",
       {},
       0,
       [](const VsfState& s) {
         expectEngineOptionsOfOptions(s);
         EXPECT_EQ(s.engine.adaptive, 1);
         EXPECT_EQ(s.engine.adaptiveGamma, 0.5);
         EXPECT_EQ(s.engine.buildFullSscp, 1);
         EXPECT_EQ(s.engine.effectStore, 0);
         EXPECT_TRUE(methodFamily(s.engine.method).splitsEffects());
       }},
      // NOSTANDARDIZE$ is read as a step setting; the set-up settles it into the options.
      {"model y = x1 x2 x3 / selection=lasso nostandardize$;",
       {},
       0,
       [](const VsfState& s) {
         expectEngineOptionsOfOptions(s);
         EXPECT_EQ(s.engine.noStandardize, 1);
       }},
      {"model y = x1 x2 x3 / selection=forward; modelaverage nsamples=5;",
       {},
       0,
       [](const VsfState& s) {
         expectEngineOptionsOfOptions(s);
         EXPECT_EQ(s.engine.modelAveragingRun, 1);
         EXPECT_EQ(s.engine.resampling, 1);
       }},
  });
}

}  // namespace
}  // namespace vsf::test
