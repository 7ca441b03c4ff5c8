// The output drivers: the order and grouping of a fit's tables, failed selections, the
// optimizer methods, one step record of the step details, and refused output requests.
#include <gtest/gtest.h>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"
#include "host/output/output.h"
#include "host/session.h"

namespace vsf::test {
namespace {

struct ForwardFit {
  DisplayFit fit{"mtcars", GroupSettings{}};
  OutputCapture& out = fit.out;
  explicit ForwardFit(uint8_t reason = 7) {
    fit.runPath();
    VsfState& v = fit.vsf();
    v.settings.graphicsOn = 0;
    SelectionState& s = fit.sel();
    s.run.stop.reason = reason;
  }
};

TEST(PrintFitResults, TablesInTheirGroups) {
  ForwardFit f;
  ASSERT_EQ(printFitResults(settledView(f.fit.vsf()), &f.fit.vsf().group.selection), 0);
  Json doc = f.out.document();
  EXPECT_EQ(outline(doc),
            "NObs Summary{SelectionSummary StopReason} SelectedModel{heading text "
            "SelectedEffects ANOVA FitStatistics ParameterEstimates}");
  EXPECT_EQ(oneTable(doc, "SelectedEffects")["rows"][0]["Effects"], "Intercept wt hp qsec");
  EXPECT_NE(f.out.listing().find("The selected model is the model at the last step (Step 3)."),
            std::string::npos);
}

// A STOP criterion that refused a step adds its details; a p-value note follows the
// sentence when SHOWPVALUES asks for p-values of a selection.
TEST(PrintFitResults, StopDetailsAndThePValueNote) {
  ForwardFit f(4);
  VsfState& v = f.fit.vsf();
  v.settings.options.stop = kCritSbc;
  v.settings.showPValues = 1;
  f.fit.sel().run.stop.entryEffect = 3;
  f.fit.sel().run.stop.entryValue = 80;
  ASSERT_EQ(printFitResults(settledView(v), &v.group.selection), 0);
  Json doc = f.out.document();
  EXPECT_EQ(outline(doc),
            "NObs Summary{SelectionSummary StopReason StopDetails} SelectedModel{heading text "
            "SelectedEffects text ANOVA FitStatistics ParameterEstimates}");
  EXPECT_EQ(oneTable(doc, "StopDetails")["rows"][0]["Effect"], "qsec");
}

TEST(PrintFitResults, FailedSelectionsShowTheirMessageOnly) {
  struct Case {
    int32_t status;
    const char* message;
    int code;
  } cases[] = {
      {-202, "There are no usable observations", 108},
      {-201, "No effect could enter the model", 108},
      {-101, "no validation observations", 108},
      {-100, "C(p) cannot be computed", 112},
      {-2, "not enough memory to complete the selection", 116},
      {-7, nullptr, 112},
  };
  for (const Case& c : cases) {
    ForwardFit f;
    VsfState& v = f.fit.vsf();
    f.fit.sel().run.status = c.status;
    LogWatch log;
    ASSERT_EQ(printFitResults(settledView(v), &v.group.selection), 0);
    EXPECT_EQ(outline(f.out.document()), "NObs") << c.status;
    EXPECT_EQ(v.stepCode, c.code) << c.status;
    EXPECT_EQ(log.count(""), c.message ? 1 : 0) << log.last();
    if (c.message) {
      EXPECT_TRUE(log.has("", c.message)) << log.last();
    }
  }
}

TEST(PrintFitResults, OptimizerMethodsShowOnlyTheEstimates) {
  ForwardFit f;
  VsfState& v = f.fit.vsf();
  v.settings.options.method = kMethodHxLasso;
  ASSERT_EQ(printFitResults(settledView(v), &v.group.selection), 0);
  Json doc = f.out.document();
  EXPECT_EQ(outline(doc), "NObs ParameterEstimates");
  const Json table = oneTable(doc, "ParameterEstimates");  // kept: the loop reads into it
  for (const Json& c : table["columns"])
    EXPECT_NE(c["name"], "StdErr");  // no standard errors for penalized estimates
}

TEST(PrintFitResults, AliasedEffectsBeforeTheFirstStepWarn) {
  ForwardFit f;
  VsfState& v = f.fit.vsf();
  int32_t aliased[] = {3};
  f.fit.sel().sweep.aliasedList = aliased;
  f.fit.sel().sweep.aliasedCount = 1;
  ASSERT_EQ(printFitResults(settledView(v), &v.group.selection), 0);
  EXPECT_EQ(v.stepCode, 4);
  f.fit.sel().sweep.aliasedList = nullptr;
}

TEST(StepRecord, GroupDescriptionAndChange) {
  struct Case {
    MethodCode method;
    int stepNumber, r;
    std::vector<int32_t> effect, effects;
    const char* change;
  } cases[] = {
      {kMethodForward, 0, 0, {0}, {1}, "Effect Entered: Intercept"},
      {kMethodForward, 2, 2, {0, 1, 2}, {1, 2, 3}, "Effect Entered: b"},
      {kMethodStepwise, 3, 3, {0, 1, 2, 1}, {1, 2, 3, 2}, "Effect Removed: a"},
      {kMethodBackward, 0, 0, {-1}, {3}, "The full model: no effect removed yet"},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept", "a", "b"});
    VsfState& v = b.vsf();
    v.settings.options.method = c.method;
    v.settings.options.detailsBeyondSummary = 1;
    v.settings.options.stepTables = StepDetailTables{};  // no tables
    b.sel().sweep.states[0] = EffectState::kIntercept;
    b.history(c.effect, c.effects);
    ASSERT_EQ(printStepRecord(settledView(v), &b.sel(), 2, c.stepNumber, c.r, 0), 0);
    Json doc = b.out.document();
    ASSERT_EQ(doc["output"].size(), 1u);
    const Json& group = doc["output"][0];
    EXPECT_EQ(group["name"], "Step" + std::to_string(c.stepNumber));
    EXPECT_EQ(group["label"], "Step " + std::to_string(c.stepNumber));
    EXPECT_EQ(group["baseName"], "Step");
    ASSERT_EQ(group["items"].size(), 3u);
    EXPECT_EQ(group["items"][0]["level"], 2);
    EXPECT_EQ(group["items"][1]["level"], 3);
    EXPECT_EQ(group["items"][1]["text"], c.change);
    EXPECT_EQ(group["items"][2]["type"], "rule");
  }
}

// A request refused with the tolerated status (facility 63, number 53) lets the table go on;
// any other refusal ends the step with 120.
TEST(Requests, ToleratedAndRefusedStatuses) {
  const int32_t tolerated = static_cast<int32_t>(0x8001F835u);
  {
    ForwardFit f;
    host::output::failNextRequest(op::kWriteRow, tolerated);
    EXPECT_EQ(printAnova(settledView(f.fit.vsf()), &f.fit.sel(), f.fit.sel().modelPool), 0);
    EXPECT_EQ(oneTable(f.out.document(), "ANOVA")["rows"].size(), 2u);
  }
  {
    ForwardFit f;
    host::output::failNextRequest(op::kDefineColumn, static_cast<int32_t>(0x8001F002u));
    EXPECT_TRUE(endsStep(
        [&] { (void)printAnova(settledView(f.fit.vsf()), &f.fit.sel(), f.fit.sel().modelPool); },
        120));
  }
}

}  // namespace
}  // namespace vsf::test
