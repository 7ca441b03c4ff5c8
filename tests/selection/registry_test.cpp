// The registries of criteria and methods against the texts the tables and graphs show for
// each code: a row that names the wrong message shows a wrong label somewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "common/test_host.h"
#include "output/output.h"
#include "selection/selection_internal.h"
#include "statements/settings.h"

namespace vsf {
namespace {

// A message's text with five folds inserted; "" for none.
std::string text(int message) { return message ? msgText(message, {5}) : std::string(); }
std::string str(const char* s) { return s ? s : ""; }

using Dir = CriterionDirection;

TEST(CriterionRegistry, WhatTheDisplaysShow) {
  test::ensureHost();
  struct Row {
    CriterionCode code;
    const char *keyword, *column;
    Dir direction;
    const char *name, *fitLabel, *selected;
  } rows[] = {
      {kCritNone, "", "", Dir::kNone, "None", "", "Selected Step"},
      {kCritSl, "SL", "", Dir::kMinimized, "Significance Level", "", "Selected Step"},
      {kCritAic, "AIC", "AIC", Dir::kMinimized, "AIC", "AIC", "Step Selected by AIC"},
      {kCritAicc, "AICC", "AICC", Dir::kMinimized, "AICC", "AICC", "Step Selected by AICC"},
      {kCritSbc, "SBC", "SBC", Dir::kMinimized, "SBC", "SBC", "Step Selected by SBC"},
      {kCritRsquare, "RSQUARE", "RSquare", Dir::kMaximized, "R-Square", "R-Square",
       "Selected Step"},
      {kCritAdjRsq, "ADJRSQ", "AdjRSq", Dir::kMaximized, "Adjusted R-Square", "Adj R-Sq",
       "Step Selected by Adjusted R-Square"},
      {kCritCp, "CP", "CP", Dir::kMinimized, "C(p)", "C(p)", "Step Selected by C(p)"},
      {kCritBic, "BIC", "BIC", Dir::kMinimized, "BIC", "BIC", "Step Selected by BIC"},
      {kCritPress, "PRESS", "PRESS", Dir::kMinimized, "PRESS", "PRESS", "Step Selected by PRESS"},
      {kCritValidate, "VALIDATE", "ValidationASE", Dir::kMinimized, "Validation ASE",
       "ASE (Validate)", "Step Selected by Validation ASE"},
      {kCritCv, "CV", "CVPRESS", Dir::kMinimized, "Cross Validation PRESS", "CV PRESS",
       "Step Selected by Cross Validation"},
      {kCritStopNone, "", "", Dir::kNone, "None", "", "Selected Step"},
      {kCritCvExternal, "CVEX", "CVEXPRESS", Dir::kMinimized, "External Cross Validation",
       "CV Ex PRESS", "Step Selected by External Cross Validation"},
      {kCritL1, "L1", "", Dir::kNone, "L1", "", "Selected Step"},
  };
  ASSERT_EQ(std::size(rows), static_cast<size_t>(kCriterionCodes));
  for (const Row& r : rows) {
    const CriterionInfo& c = criterionInfo(r.code);
    SCOPED_TRACE(r.keyword);
    EXPECT_EQ(str(c.keyword), r.keyword);
    EXPECT_EQ(str(c.column), r.column);
    EXPECT_EQ(c.direction, r.direction);
    EXPECT_EQ(text(c.texts.name), r.name);
    EXPECT_EQ(text(c.texts.fitLabel), r.fitLabel);
    EXPECT_EQ(text(c.graph.selectedStep), r.selected);
    // The comparisons follow the direction; a criterion without one compares as minimized.
    EXPECT_EQ(criterionBetter(1, 2, r.code) == 1, r.direction != Dir::kMaximized);
  }
}

TEST(CriterionRegistry, GraphLabels) {
  test::ensureHost();
  struct Row {
    CriterionCode code;
    const char *name, *plot, *label, *plotShort, *shortLabel, *coefficient;
  } rows[] = {
      {kCritSl, "PVAL", "", "p-Value", "", "p-Value", ""},
      {kCritAic, "AIC", "AICPlot", "AIC", "AIC", "AIC", "AIC"},
      {kCritAicc, "AICC", "AICCPlot", "AICC", "AICC", "AICC", "AICC"},
      {kCritSbc, "SBC", "SBCPlot", "SBC", "SBC", "SBC", "SBC"},
      {kCritRsquare, "RSquare", "", "R-Square", "", "R-Square", "R-Square"},
      {kCritAdjRsq, "AdjRSq", "AdjRSqPlot", "Adjusted R-Square", "Adj R-Sq", "Adj R-Sq",
       "Adjusted R-Square"},
      {kCritCp, "CP", "CPPlot", "C(p)", "C(p)", "C(p)", "C(p)"},
      {kCritBic, "BIC", "BICPlot", "BIC", "BIC", "BIC", "BIC"},
      {kCritPress, "PRESS", "PRESSPlot", "PRESS", "PRESS", "PRESS", "PRESS"},
      {kCritValidate, "ValidationASE", "ValidateASEPlot", "Average Squared Error (Validation)",
       "Validation ASE", "Validation ASE", ""},
      // The criterion plot's short label counts the folds; the others do not.
      {kCritCv, "CVPRESS", "CVPRESSPlot", "Cross Validation PRESS (5 Folds)", "CV PRESS (5 Folds)",
       "CV PRESS", "CV PRESS"},
      {kCritCvExternal, "CVEXPRESS", "CVEXPRESSPlot", "External Cross Validation PRESS (5 Folds)",
       "CV Ex PRESS (5 Folds)", "CV Ex PRESS", "CV Ex PRESS"},
  };
  for (const Row& r : rows) {
    const CriterionGraphTexts& g = criterionGraphTexts(r.code);
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(criterionNamedByGraphs(r.code));
    EXPECT_EQ(str(g.name), r.name);
    EXPECT_EQ(str(g.plot), r.plot);
    EXPECT_EQ(text(g.label), r.label);
    EXPECT_EQ(text(g.plotShortLabel), r.plotShort);
    EXPECT_EQ(text(g.shortLabel), r.shortLabel);
    EXPECT_EQ(text(g.coefficientLabel), r.coefficient);
    // A criterion with a plot of its own has its BestStep columns and its panel cell.
    EXPECT_EQ(g.prefix != nullptr, g.plot != nullptr);
    EXPECT_EQ(g.panelLabel != 0, g.plot != nullptr);
  }
  // Codes the graphs do not name borrow AICC's texts.
  for (CriterionCode c : {kCritNone, kCritStopNone, kCritL1}) {
    EXPECT_FALSE(criterionNamedByGraphs(c));
    EXPECT_EQ(&criterionGraphTexts(c), &criterionInfo(kCritAicc).graph);
  }
}

TEST(CriterionRegistry, FitsThatGiveAValue) {
  namespace f = critfit;
  for (CriterionCode c : kAllCriterionCodes) {
    const CriterionInfo& i = criterionInfo(c);
    SCOPED_TRACE(str(i.keyword));
    // A criterion the L2 search judges by is one it can read from the recorded steps.
    if (i.fits & f::kL2Search) {
      EXPECT_TRUE(i.kind == CriterionKind::kClosedForm || i.pass != nullptr);
    }
    // The held-out and fold criteria need a pass of their own; external cross validation
    // needs a path.
    if (i.fits & (f::kHeldOut | f::kFolds)) {
      EXPECT_NE(i.pass, nullptr);
    }
    if (i.fits & f::kExternal) {
      EXPECT_FALSE(i.fits & f::kClassical);
    }
  }
  // The stop rules judge a model's step by these; the F test, the placeholders and a path's
  // own values have no value of a model.
  for (CriterionCode c : kAllCriterionCodes)
    EXPECT_EQ(criterionOfModel(c), c >= kCritAic && c <= kCritCv) << codeIndex(c);
  EXPECT_FALSE(criterionInfo(kCritRsquare).fits & f::kL2Search);
  EXPECT_TRUE(criterionInfo(kCritAdjRsq).fits & f::kL2Search);
}

TEST(CriterionRegistry, TheL2IsJudgedByChooseElseStop) {
  struct Row {
    CriterionCode choose, stop, want;
  } rows[] = {
      {kCritAic, kCritSbc, kCritAic},
      {kCritNone, kCritSbc, kCritSbc},
      {kCritSl, kCritCv, kCritCv},
      {kCritStopNone, kCritAdjRsq, kCritAdjRsq},
      {kCritCvExternal, kCritNone, kCritCvExternal},
  };
  for (const Row& r : rows) {
    SelectionOptions o;
    o.choose = r.choose, o.stop = r.stop;
    EXPECT_EQ(l2JudgingCriterion(o), r.want) << codeIndex(r.choose);
  }
}

TEST(MethodRegistry, WhatTheDisplaysShow) {
  test::ensureHost();
  using K = MethodKind;
  using M = MethodMoves;
  struct Row {
    MethodCode code;
    K kind;
    M moves;
    bool grouped;
    const char *label, *summary, *step;
  } rows[] = {
      {kMethodNone, K::kNone, M::kNone, false, "None", "Fit Summary", "Full Model: Step 3"},
      {kMethodForward, K::kClassical, M::kAdds, false, "Forward", "Forward Selection Summary",
       "Forward Selection: Step 3"},
      {kMethodBackward, K::kClassical, M::kDrops, false, "Backward", "Backward Elimination Summary",
       "Backward Elimination: Step 3"},
      {kMethodStepwise, K::kClassical, M::kBoth, false, "Stepwise", "Stepwise Selection Summary",
       "Stepwise Selection: Step 3"},
      {kMethodLar, K::kPath, M::kAdds, false, "LAR", "LAR Selection Summary",
       "LAR Selection: Step 3"},
      {kMethodLasso, K::kPath, M::kBoth, false, "LASSO", "LASSO Selection Summary",
       "LASSO Selection: Step 3"},
      {kMethodLarLs, K::kPath, M::kAdds, false, "LAR (least squares estimates)",
       "LAR Selection Summary (least squares estimates)",
       "LAR Selection (least squares estimates): Step 3"},
      {kMethodLassoLs, K::kPath, M::kBoth, false, "LASSO (least squares estimates)",
       "LASSO Selection Summary (least squares estimates)",
       "LASSO Selection (least squares estimates): Step 3"},
      {kMethodElasticNet, K::kPath, M::kBoth, false, "Elastic Net", "Elastic Net Selection Summary",
       "Elastic Net Selection: Step 3"},
      {kMethodElasticNetLs, K::kPath, M::kBoth, false, "Elastic Net (least squares estimates)",
       "Elastic Net Selection Summary (least squares estimates)",
       "Elastic Net Selection (least squares estimates): Step 3"},
      {kMethodHxLasso, K::kOptimizer, M::kNone, false, "LASSO (optimizer)",
       "LASSO Fit Summary (optimizer)", "LASSO Fit (optimizer): Step 3"},
      {kMethodHxGLasso, K::kOptimizer, M::kNone, true, "Group LASSO (optimizer)",
       "Group LASSO Fit Summary (optimizer)", "Group LASSO Fit (optimizer): Step 3"},
      {kMethodGroupLasso, K::kGroup, M::kNone, true, "Group LASSO", "Group LASSO Selection Summary",
       "Group LASSO Selection: Step 3"},
  };
  for (const Row& r : rows) {
    const MethodInfo& m = methodInfo(r.code);
    SCOPED_TRACE(r.label);
    EXPECT_EQ(methodFamily(r.code).kind, r.kind);
    EXPECT_EQ(m.moves, r.moves);
    EXPECT_EQ(methodFamily(r.code).grouped, r.grouped);
    EXPECT_EQ(text(m.label), r.label);
    EXPECT_EQ(text(m.summaryTitle), r.summary);
    EXPECT_EQ(msgText(m.stepTitle, {3}), r.step);
    // The engine runs the classical methods and the full model itself; the path and the
    // optimizer fits come from the layer above it.
    EXPECT_EQ(m.run != nullptr, r.kind == K::kNone || r.kind == K::kClassical);
  }
}

// The questions of a method's family answer for every code what its callers once worked out
// for themselves, by lists of codes and by the codes' order. The LAR and LASSO of LSCOEFFS
// count as the methods they were read as; the elastic net's least-squares variant is never a
// user's method, nor a run's, so the readers' flags had no answer for it.
bool among(MethodCode m, std::initializer_list<MethodCode> codes) {
  return std::find(codes.begin(), codes.end(), m) != codes.end();
}
// The MODEL reader's flags, as it set them from the method it read.
bool pathFlagOf(MethodCode m) {
  return among(m, {kMethodLar, kMethodLasso, kMethodElasticNet, kMethodHxLasso, kMethodLarLs,
                   kMethodLassoLs});
}
bool optimizerFlagOf(MethodCode m) { return among(m, {kMethodHxGLasso, kMethodGroupLasso}); }
// A classical method whose steps move effects that way (STEPWISE both ways), as ModelInfo asks.
bool classicalMoving(MethodCode m, MethodMoves way) {
  const MethodMoves moves = methodInfo(m).moves;
  return methodFamily(m).kind == MethodKind::kClassical &&
         (moves == way || moves == MethodMoves::kBoth);
}

TEST(MethodFamily, AnswersWhatTheCallersWorkedOut) {
  using M = MethodCode;
  struct Question {
    const char* name;
    bool (*was)(M);
    bool (*is)(M);
    bool userMethodsOnly;
  };
  const Question questions[] = {
      {"path or optimizer flag", [](M m) { return pathFlagOf(m) || optimizerFlagOf(m); },
       [](M m) { return methodFamily(m).penalized(); }, true},
      {"path flag", [](M m) { return pathFlagOf(m); },
       [](M m) { return methodFamily(m).splitsEffects(); }, true},
      {"optimizer flag", [](M m) { return optimizerFlagOf(m); },
       [](M m) { return methodFamily(m).penalized() && methodFamily(m).grouped; }, true},
      {"the displays' path estimates", [](M m) { return pathFlagOf(m) || m == kMethodHxGLasso; },
       [](M m) {
         return methodFamily(m).penalized() && methodFamily(m).kind != MethodKind::kGroup;
       },
       true},
      {"the reader's optimizer tolerances",
       [](M m) { return m == kMethodHxLasso || optimizerFlagOf(m); },
       [](M m) { return methodFamily(m).byOptimizer(); }, false},
      {"method >= HXLASSO", [](M m) { return m >= kMethodHxLasso; },
       [](M m) { return methodFamily(m).byOptimizer(); }, false},
      {"method >= HXGLASSO", [](M m) { return m >= kMethodHxGLasso; },
       [](M m) { return methodFamily(m).grouped; }, false},
      {"method <= STEPWISE", [](M m) { return m <= kMethodStepwise; },
       [](M m) { return !methodFamily(m).penalized(); }, false},
      {"LAR <= method <= the elastic net's variant",
       [](M m) { return m >= kMethodLar && m <= kMethodElasticNetLs; },
       [](M m) { return methodFamily(m).kind == MethodKind::kPath; }, false},
      {"keepsPathHistory",
       [](M m) { return (m >= kMethodLar && m <= kMethodElasticNetLs) || m == kMethodGroupLasso; },
       [](M m) { return methodFamily(m).keepsPathHistory(); }, false},
      // The rows were handed to the path's rewrite by the flag, which left them as stored
      // for the optimizer's methods.
      {"rows rewritten", [](M m) { return pathFlagOf(m) && m < kMethodHxLasso; },
       [](M m) { return methodFamily(m).kind == MethodKind::kPath; }, true},
      {"FORWARD or STEPWISE", [](M m) { return m == kMethodForward || m == kMethodStepwise; },
       [](M m) { return classicalMoving(m, MethodMoves::kAdds); }, false},
      {"BACKWARD or STEPWISE", [](M m) { return m == kMethodBackward || m == kMethodStepwise; },
       [](M m) { return classicalMoving(m, MethodMoves::kDrops); }, false},
      {"reportsLeastSquares",
       [](M m) { return m == kMethodLarLs || m == kMethodLassoLs || m == kMethodElasticNetLs; },
       [](M m) { return methodFamily(m).leastSquares; }, false},
      {"LAR, LASSO and ELASTICNET",
       [](M m) { return m == kMethodLar || m == kMethodLasso || m == kMethodElasticNet; },
       [](M m) {
         return methodFamily(m).kind == MethodKind::kPath && !methodFamily(m).leastSquares;
       },
       false},
      {"dropsEffects",
       [](M m) {
         return m == kMethodLasso || m == kMethodLassoLs || m == kMethodElasticNet ||
                m == kMethodElasticNetLs;
       },
       [](M m) {
         return methodFamily(m).kind == MethodKind::kPath &&
                methodInfo(m).moves == MethodMoves::kBoth;
       },
       false},
  };
  for (int c = codeIndex(kMethodNone); c <= codeIndex(kMethodGroupLasso); ++c) {
    const M m = static_cast<M>(c);
    for (const Question& q : questions) {
      if (q.userMethodsOnly && m == kMethodElasticNetLs) continue;
      EXPECT_EQ(q.is(m), q.was(m)) << q.name << ", method " << c;
    }
  }
  // A code outside the table is SELECTION=NONE's.
  EXPECT_EQ(methodFamily(static_cast<M>(0)).kind, MethodKind::kNone);
  EXPECT_EQ(methodFamily(static_cast<M>(200)).kind, MethodKind::kNone);
}

}  // namespace
}  // namespace vsf
