// The fit driver's roads, a group without observations, a fit without residual variance, and
// the run flags that each fit starts afresh.
#include <gtest/gtest.h>

#include "common/datapass_support.h"
#include "common/test_host.h"
#include "frame/setup_internal.h"
#include "host/session.h"
#include "penalized/penalized.h"
#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

// A plain fit is one run whose state stays for the displays (the paths, group LASSO and the
// final run of an L2 search too); external CV with a classical method fits nothing and returns
// 0 without a model pool.
TEST(FitDriver, EachRoad) {
  const test::MethodCase c = test::readMethodCase("swiss");
  struct Road {
    const char* name;
    MethodCode method;
    void (*options)(SelectionOptions&);
    const char* model;  // the final model of a fit ("": any)
    const char* error;  // the error of a fit not built
  };
  auto none = [](SelectionOptions&) {};
  const Road roads[] = {
      {"FORWARD", kMethodForward, none, "0;1;3;4;5", nullptr},
      {"external CV with a classical method", kMethodForward,
       [](SelectionOptions& o) { o.externalCv = 1; }, nullptr, nullptr},
      {"LASSO", kMethodLasso, none, "", nullptr},
      {"elastic net with an L2 search", kMethodElasticNet,
       [](SelectionOptions& o) { o.l2Search = kL2SearchGrid, o.l2Steps = 4; }, "", nullptr},
      {"group LASSO", kMethodGroupLasso, none, "", nullptr},
  };
  for (const Road& r : roads) {
    SCOPED_TRACE(r.name);
    test::MethodSettings m;
    m.group.method = r.method;
    m.options = r.options;
    test::MethodFit fit(c, m);
    test::LogWatch log;
    const int rc = fit.fit();
    EXPECT_EQ(fit.s().modelPool != nullptr, r.model != nullptr);
    if (r.model) {
      EXPECT_EQ(fit.s().run.status, 0);
      if (*r.model) {
        EXPECT_EQ(fit.finalModel(), r.model);
      }
    }
    if (!r.error) {
      EXPECT_EQ(rc, 0);
      continue;
    }
    EXPECT_NE(rc, 0);
    EXPECT_EQ(*fit.s().stepCode, 1012);
    EXPECT_TRUE(log.has("ERROR", r.error)) << log.last();
  }
}

// No training observation: the run ends with its status and no step.
TEST(FitDriver, AGroupWithoutObservationsEndsWithItsStatus) {
  const test::MethodCase c = test::readMethodCase("swiss");
  test::MethodSettings m;
  test::MethodFit fit(c, m);
  fit.s().totals.obsUsed = fit.s().totals.trainFreq = 0;
  EXPECT_EQ(fit.fit(), 0);
  EXPECT_EQ(fit.s().run.status, runstatus::kNoObservations);
  EXPECT_EQ(fit.s().steps.stepCount, 0);

  test::MethodSettings v;
  v.group.select = kCritValidate;
  test::MethodFit noValidation(c, v);
  EXPECT_EQ(noValidation.fit(), 0);
  EXPECT_EQ(noValidation.s().run.status, runstatus::kNoValidation);
}

// CHOOSE=CP on a saturated model (as many parameters as observations) has no variance.
TEST(FitDriver, CpWithoutResidualVarianceEndsTheRun) {
  test::CaseData d = test::syntheticCase({1, 1, 1, 1}, 4, 3);
  test::GroupSettings g;
  g.choose = kCritCp;
  test::Group group(d, g);
  group.options().stop = kCritSbc;
  group.settleOptionRecords();
  EXPECT_EQ(fitModel(&group.s(), nullptr), 0);
  EXPECT_EQ(group.s().run.status, runstatus::kCpNoVariance);
}

// Group LASSO by external cross validation reads the folds' average per path step; the next fit
// of the state (another BY group's, a refit) starts from a plain fit's flags with its own
// method, whichever road it takes (here one that fits nothing).
TEST(FitDriver, EachFitStartsFromPlainRunFlags) {
  int fits = 0;
  test::StepRun r = test::runOnData(
      "proc varsifter data=sscp; model y = x1 x2 x3 x4 / selection=grouplasso(choose=cvex "
      "stop=none steps=4) cvmethod=split(3); run;",
      [&](VsfState& v) {
        SelectionState& s = v.group.selection;
        const SelectionState saved = s;
        ASSERT_EQ(fitModel(&s, nullptr), 0);
        ASSERT_EQ(s.run.status, 0);
        EXPECT_EQ(s.runFlags.cvPerPathStep, 1);
        // The fit ends with its reported run, which holds no fold out.
        EXPECT_EQ(s.runFlags.foldFit, 0);
        EXPECT_EQ(s.path.heldOutFold, s.path.extCvFolds);
        EXPECT_EQ(s.runFlags.method, kMethodGroupLasso);
        SelectionOptions& o = v.settings.options;
        o.method = kMethodForward;
        settleRunOptions(&v);
        settleEngineOptions(&v);
        ASSERT_EQ(fitModel(&s, nullptr), 0);
        EXPECT_EQ(s.runFlags.cvPerPathStep, 0);
        EXPECT_EQ(s.runFlags.firstFit, 1);
        EXPECT_EQ(s.runFlags.foldFit, 0);
        EXPECT_EQ(s.runFlags.method, kMethodForward);
        o.method = kMethodGroupLasso;
        // The step's own fit of the group follows, from a state as the data pass left it.
        freeSelectionState(&s);
        s = saved;
        ++fits;
      });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_EQ(fits, 1);
}

}  // namespace
}  // namespace vsf
