// The displays' record: the set-up fills it once from the settled options, so that the
// display tables, the graphs and the model-averaging outputs show what the step settled,
// not what the statements read.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "common/statements_support.h"
#include "frame/setup_internal.h"

namespace vsf::test {
namespace {

// Every field of the record equals the settled option it is copied from.
void expectDisplayOfOptions(const VsfState& s) {
  const DisplayOptions& d = s.display;
  const SelectionOptions& o = s.settings.options;
  EXPECT_EQ(d.method, o.method);
  EXPECT_EQ(d.select, o.select);
  EXPECT_EQ(d.stop, o.stop);
  EXPECT_EQ(d.choose, o.choose);
  EXPECT_EQ(d.entryLevel, o.entryLevel);
  EXPECT_EQ(d.stayLevel, o.stayLevel);
  EXPECT_EQ(d.steps, o.steps);
  EXPECT_EQ(d.stopSteps, o.stopSteps);
  EXPECT_EQ(d.maxSteps, o.maxSteps);
  EXPECT_EQ(d.include, o.include);
  EXPECT_EQ(d.noInt, o.noInt);
  EXPECT_EQ(d.dropRule, o.dropRule);
  EXPECT_EQ(d.hierarchy, o.hierarchy);
  EXPECT_EQ(d.orderSelect, o.orderSelect);
  EXPECT_EQ(d.weightPresent, o.weightPresent);
  EXPECT_EQ(d.freqPresent, o.freqPresent);
  EXPECT_EQ(d.rolesPresent, o.rolesPresent);
  EXPECT_EQ(d.kfold, o.kfold);
  EXPECT_EQ(d.externalCv, o.externalCv);
  EXPECT_EQ(d.designPerByGroup, o.designPerByGroup);
  EXPECT_EQ(d.nameLength, o.nameLength);
  EXPECT_EQ(d.buildFullSscp, o.buildFullSscp);
  EXPECT_EQ(d.modelAveragingRun, o.modelAveragingRun);
  EXPECT_EQ(d.cvMethod, o.cvMethod);
  EXPECT_EQ(d.cvFolds, o.cvFolds);
  EXPECT_EQ(d.cvIndexVariable, o.cvIndexVariable);
  EXPECT_EQ(d.cvDetails, o.cvDetails);
  EXPECT_EQ(d.showCvEx, o.showCvEx);
  EXPECT_EQ(d.l1Choice, o.l1Choice);
  EXPECT_EQ(d.showStepL1, o.showStepL1);
  EXPECT_EQ(d.l2Search, o.l2Search);
  EXPECT_EQ(d.l2Steps, o.l2Steps);
  EXPECT_EQ(d.l2Low, o.l2Low);
  EXPECT_EQ(d.l2High, o.l2High);
  EXPECT_EQ(d.showL2Search, o.showL2Search);
  EXPECT_EQ(d.screen, o.screen);
  EXPECT_EQ(d.keepNum, o.keepNum);
  EXPECT_EQ(d.keepRatio, o.keepRatio);
  EXPECT_EQ(d.adaptive, o.adaptive);
  EXPECT_EQ(d.adaptiveGamma, o.adaptiveGamma);
  EXPECT_EQ(d.detailsBeyondSummary, o.detailsBeyondSummary);
  EXPECT_EQ(d.stepTables.anova, o.stepTables.anova);
  EXPECT_EQ(d.stepTables.fitStatistics, o.stepTables.fitStatistics);
  EXPECT_EQ(d.stepTables.parameterEstimates, o.stepTables.parameterEstimates);
  EXPECT_EQ(d.stepTables.candidates, o.stepTables.candidates);
  EXPECT_EQ(d.stepTables.candidatesShown, o.stepTables.candidatesShown);
  EXPECT_EQ(std::vector<uint8_t>(d.stats, d.stats + kStatsCount),
            std::vector<uint8_t>(o.stats, o.stats + kStatsCount));
  EXPECT_EQ(d.stb, o.stb);
  EXPECT_EQ(d.pressPerStep, o.pressPerStep);
  EXPECT_EQ(d.validAsePerStep, o.validAsePerStep);
  EXPECT_EQ(d.testAsePerStep, o.testAsePerStep);
  EXPECT_EQ(d.foldEstimates, o.foldEstimates);
  EXPECT_EQ(d.fullModelVariance, o.fullModelVariance);
  EXPECT_EQ(d.coefNormPerStep, o.coefNormPerStep);
}

struct DisplayCase {
  const char* proc;  // procedure statement options
  const char* text;  // the statements after the procedure statement
  std::function<void(const DisplayOptions&)> settled;
};

// Each program sets options of the record away from their defaults; where the set-up
// changes what was read, the record holds the settled value.
TEST(SetupDisplay, DisplayOptionsAreSettledOnce) {
  const std::vector<DisplayCase> cases = {
      {"", "model y = x1 x2 x3;",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.method, kMethodStepwise);
         EXPECT_EQ(d.cvFolds, 5);
       }},
      // SELECT=SL takes DROP=BEFOREADD and shows the SL and F columns.
      {"",
       "model y = x1 x2 x3 / selection=stepwise(select=sl sle=0.3 sls=0.05 drop=competitive) "
       "noint orderselect;",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.dropRule, kDropBeforeAdd);
         EXPECT_EQ(d.stats[kStatsSl] + d.stats[kStatsFValue], 2);
         EXPECT_EQ(d.entryLevel, 0.3);
         EXPECT_EQ(d.stayLevel, 0.05);
         EXPECT_EQ(d.noInt, 1);
         EXPECT_EQ(d.orderSelect, 1);
       }},
      // STOP=BIC: its column, the whole crossproducts and the full model's variance.
      {"", "model y = x1 x2 / selection=forward(stop=bic) include=1;",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.stats[kStatsBic], 1);
         EXPECT_EQ(d.buildFullSscp, 1);
         EXPECT_EQ(d.fullModelVariance, 1);
         EXPECT_EQ(d.include, 1);
       }},
      // LAR computes no PRESS per step whatever STATS= asked.
      {"", "model y = x1 x2 / selection=lar stats=press;",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.pressPerStep, 0);
         EXPECT_EQ(d.stats[kStatsPress], 0);
       }},
      // Screening is dropped where the whole crossproducts matrix is built.
      {"",
       "model y = x1 x2 x3 / selection=lasso(adaptive screen=sis(keepratio=0.5) l1choice=norm);",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.screen, kScreenNone);
         EXPECT_EQ(d.keepRatio, 0.5);
         EXPECT_EQ(d.adaptive, 1);
         EXPECT_EQ(d.l1Choice, kL1ChoiceNorm);
       }},
      {"plots=coefficients(stepaxis=normb)", "model y = x1 x2 / selection=lasso;",
       [](const DisplayOptions& d) { EXPECT_EQ(d.coefNormPerStep, 1); }},
      {"",
       "model y = x1 x2 x3 / selection=elasticnet(enscale l2search=grid l2steps=9 l2low=0.2 "
       "l2high=3 showl2search);",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.l2Search, kL2SearchGrid);
         EXPECT_EQ(d.l2Steps, 9);
         EXPECT_EQ(d.l2Low, 0.2);
         EXPECT_EQ(d.l2High, 3);
         EXPECT_EQ(d.showL2Search, 1);
         EXPECT_TRUE(methodFamily(d.method).splitsEffects());
       }},
      {"", "model y = x1 x2 / selection=forward(choose=cv) cvmethod=split(4) cvdetails=all;",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.kfold, 1);
         EXPECT_EQ(d.cvMethod, kCvSplit);
         EXPECT_EQ(d.cvFolds, 4);
         EXPECT_EQ(d.cvDetails, kCvAll);
         EXPECT_EQ(d.foldEstimates, 1);
       }},
      // External cross validation keeps no per-fold details.
      {"", "model y = x1 x2 / selection=lasso(choose=cvexternal) cvmethod=random(6) cvdetails=all;",
       [](const DisplayOptions& d) {
         EXPECT_EQ(d.kfold, 0);
         EXPECT_EQ(d.externalCv, 1);
         EXPECT_EQ(d.cvFolds, 6);
         EXPECT_EQ(d.cvDetails, kCvDetailsNone);
       }},
      {"seed=5", "model y = x1; modelaverage nsamples=3;",
       [](const DisplayOptions& d) { EXPECT_EQ(d.modelAveragingRun, 1); }},
      // NOPRINT shows no statistics column whatever STATS= asked.
      {"noprint", "model y = x1 x2 / stats=all;",
       [](const DisplayOptions& d) {
         for (uint8_t c : d.stats) EXPECT_EQ(c, 0);
       }},
  };
  StubData data;
  for (const DisplayCase& c : cases) {
    const std::string text =
        std::string("proc varsifter data=diab ") + c.proc + "; " + c.text + " run;";
    StepRun r = runStepText(text, [&](const VsfState& s) {
      SCOPED_TRACE(text);
      expectDisplayOfOptions(s);
      c.settled(s.display);
    });
    EXPECT_TRUE(r.inspected) << text << "\n" << r.dump();
  }
}

// The refit pass's record is made from its own settings, which turn the selection off: a
// record made from options is theirs alone, whatever the step's record holds.
TEST(SetupDisplay, RecordOfOtherOptionsIsTheirs) {
  SelectionOptions o;
  o.method = kMethodNone;
  o.select = o.stop = o.choose = kCritNone;
  o.stats[kStatsAic] = 1, o.stepTables.candidatesShown = 3;
  const DisplayOptions d = displayOptionsOf(o);
  EXPECT_EQ(d.method, kMethodNone);
  EXPECT_EQ(d.select, kCritNone);
  EXPECT_EQ(d.stop, kCritNone);
  EXPECT_EQ(d.choose, kCritNone);
  EXPECT_EQ(d.stats[kStatsAic], 1);
  EXPECT_EQ(d.stepTables.candidatesShown, 3);
}

// What the displays, the graphs and model averaging are given: everything of the step read
// only but the output sink, so that a display writing into the step fails to compile.
template <class T>
constexpr bool kReadOnly = std::is_const_v<std::remove_reference_t<T>>;
static_assert(kReadOnly<decltype(StepView::settings)> && kReadOnly<decltype(StepView::display)>);
static_assert(kReadOnly<decltype(StepView::res)> && kReadOnly<decltype(StepView::group)>);
static_assert(kReadOnly<decltype(StepView::lev)> && kReadOnly<decltype(StepView::byGroupCount)>);
static_assert(!kReadOnly<decltype(StepView::output)>);

// The view's sink is the step's own, and its record the one the set-up filled.
TEST(SetupDisplay, TheViewWritesOnlyThroughTheStepsSink) {
  VsfState state;
  EXPECT_EQ(&state.view.output, &state.res.output);
  EXPECT_EQ(&state.view.res, &state.res);
  EXPECT_EQ(&state.view.display, &state.display);
  const VsfState copy(state);
  EXPECT_EQ(&copy.view.output, &copy.res.output);
  EXPECT_EQ(&copy.view.display, &copy.display);
}

}  // namespace
}  // namespace vsf::test
