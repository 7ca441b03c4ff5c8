// The rows of the criteria and of the selection methods.
#include "selection/registry.h"

#include "selection/selection_internal.h"

namespace vsf {

namespace {

using Dir = CriterionDirection;
using Kind = CriterionKind;

// Values of a fit summary.
double noValue(const FitSummary&) { return 0; }
double logpOf(const FitSummary& f) {
  return effectFTestLogPValue(f.baseSse, f.baseParams, f.sse, f.params, f.baseEffects, f.effects,
                              f.n, nullptr, f.tol);
}
double aicOf(const FitSummary& f) { return critAIC(f.sse, f.n, f.params); }
double aiccOf(const FitSummary& f) { return critAICC(f.sse, f.n, f.params); }
double sbcOf(const FitSummary& f) { return critSBC(f.sse, f.n, f.params); }
double rsqOf(const FitSummary& f) { return critRSquare(f.sse, f.total); }
double adjRsqOf(const FitSummary& f) {
  return critAdjRSquare(f.sse, f.total, f.n, f.params, f.noInt ? 1 : 0);
}
double cpOf(const FitSummary& f) { return critCP(f.sse, f.n, f.params, f.sigma2Full); }
double bicOf(const FitSummary& f) { return critBIC(f.sse, f.n, f.params, f.sigma2Full); }
double pressOf(const FitSummary& f) { return f.press; }
double validAseOf(const FitSummary& f) { return f.validAse; }
double cvPressOf(const FitSummary& f) { return f.cvPress; }
double extCvOf(const FitSummary& f) { return f.extCv; }
double penaltyOf(const FitSummary& f) { return f.penalty; }

constexpr CriterionColumn kNoColumn = {"Criterion", "Criterion"};
constexpr int kModelFits = critfit::kClassical | critfit::kPath | critfit::kL2Search;

// By criterion code.
// The options under which the steps keep a data-based value.
constexpr bool keptWithPress(const EngineOptions& e, const CvOptions&) { return e.pressPerStep; }
constexpr bool keptWithValidAse(const EngineOptions& e, const CvOptions&) {
  return e.validAsePerStep;
}
constexpr bool keptWithFolds(const EngineOptions&, const CvOptions& cv) { return cv.kfold; }
constexpr bool keptWithExternalCv(const EngineOptions&, const CvOptions& cv) {
  return cv.externalCv;
}

constexpr CriterionInfo kCriteria[kCriterionCodes] = {
    {.candidate = kNoColumn, .value = noValue, .texts = {.name = 696}, .graph = {}},
    {.keyword = "SL",
     .candidate = kNoColumn,
     .direction = Dir::kMinimized,  // a log p-value
     .kind = Kind::kChange,
     .fits = critfit::kClassical,
     .statsColumn = kStatsSl,
     .value = logpOf,
     .texts = {.name = 400, .stopHeader = 632},
     .graph = {.name = "PVAL", .label = 840, .shortLabel = 840}},
    {.keyword = "AIC",
     .column = "AIC",
     .candidate = {"AIC", "AIC"},
     .direction = Dir::kMinimized,
     .kind = Kind::kClosedForm,
     .fits = kModelFits,
     .statsColumn = kStatsAic,
     .value = aicOf,
     .texts = {401, 606, 634, 545},
     .graph = {"AIC", "AICPlot", "AIC", "AIC", 820, 844, 844, 401, 844, 912}},
    {.keyword = "AICC",
     .column = "AICC",
     .candidate = {"AICC", "AICC"},
     .direction = Dir::kMinimized,
     .kind = Kind::kClosedForm,
     .fits = kModelFits,
     .statsColumn = kStatsAicc,
     .value = aiccOf,
     .texts = {402, 607, 636, 546},
     .graph = {"AICC", "AICCPlot", "AICC", "AICC", 821, 845, 845, 402, 845, 913}},
    {.keyword = "SBC",
     .column = "SBC",
     .candidate = {"SBC", "SBC"},
     .direction = Dir::kMinimized,
     .kind = Kind::kClosedForm,
     .fits = kModelFits,
     .statsColumn = kStatsSbc,
     .value = sbcOf,
     .texts = {403, 608, 638, 550},
     .graph = {"SBC", "SBCPlot", "SBC", "SBC", 822, 846, 846, 403, 846, 914}},
    // The L2 search has no R-square objective: it judges an L2 by R-square as all equal.
    {.keyword = "RSQUARE",
     .column = "RSquare",
     .candidate = {"RSquare", "R Square"},
     .direction = Dir::kMaximized,
     .kind = Kind::kClosedForm,
     .fits = critfit::kClassical | critfit::kPath,
     .statsColumn = kStatsRsquare,
     .value = rsqOf,
     .texts = {404, 620, 650, 543},
     .graph = {.name = "RSquare",
               .coefficientColumn = "RSQUARE",
               .label = 847,
               .shortLabel = 847,
               .coefficientLabel = 847}},
    {.keyword = "ADJRSQ",
     .column = "AdjRSq",
     .candidate = {"AdjRSq", "Adjusted R Square"},
     .direction = Dir::kMaximized,
     .kind = Kind::kClosedForm,
     .fits = kModelFits,
     .statsColumn = kStatsAdjRsq,
     .value = adjRsqOf,
     .texts = {405, 609, 640, 544},
     .graph = {"AdjRSq", "AdjRSqPlot", "ADJRSQ", "ADJRSQ", 823, 544, 544, 405, 848, 915}},
    {.keyword = "CP",
     .column = "CP",
     .candidate = {"CP", "C(p)"},
     .direction = Dir::kMinimized,
     .kind = Kind::kClosedForm,
     .fits = kModelFits,
     .statsColumn = kStatsCp,
     .fullModel = true,
     .value = cpOf,
     .texts = {406, 610, 644, 548},
     .graph = {"CP", "CPPlot", "CP", "CP", 824, 406, 406, 406, 851, 916}},
    {.keyword = "BIC",
     .column = "BIC",
     .candidate = {"BIC", "BIC"},
     .direction = Dir::kMinimized,
     .kind = Kind::kClosedForm,
     .fits = kModelFits,
     .statsColumn = kStatsBic,
     .fullModel = true,
     .value = bicOf,
     .texts = {407, 611, 642, 547},
     .graph = {"BIC", "BICPlot", "BIC", "BIC", 825, 850, 850, 407, 850, 917}},
    {.keyword = "PRESS",
     .column = "PRESS",
     .candidate = {"PRESS", "PRESS"},
     .direction = Dir::kMinimized,
     .kind = Kind::kDataBased,
     .fits = kModelFits,
     .statsColumn = kStatsPress,
     .value = pressOf,
     .perStep = keptWithPress,
     .pass = computePress,
     .texts = {408, 612, 646, 549},
     .graph = {"PRESS", "PRESSPlot", "PRESS", "PRESS", 826, 852, 852, 408, 852, 918}},
    // The Coefficients table shows the validation ASE beside the criteria, not among them.
    {.keyword = "VALIDATE",
     .column = "ValidationASE",
     .candidate = {"ValidateASE", "Validate ASE"},
     .direction = Dir::kMinimized,
     .kind = Kind::kDataBased,
     .fits = kModelFits | critfit::kHeldOut,
     .statsColumn = kStatsAse,
     .value = validAseOf,
     .perStep = keptWithValidAse,
     .pass = computeHoldoutAse,
     .texts = {409, 613, 648, 552},
     .graph = {"ValidationASE", "ValidateASEPlot", "Validate", nullptr, 827, 854, 854, 409, 0,
               919}},
    {.keyword = "CV",
     .column = "CVPRESS",
     .candidate = {"CVPRESS", "CV PRESS"},
     .direction = Dir::kMinimized,
     .kind = Kind::kDataBased,
     .fits = kModelFits | critfit::kFolds,
     .value = cvPressOf,
     .perStep = keptWithFolds,
     .pass = computeCvPress,
     .texts = {410, 621, 652, 555},
     .graph = {"CVPRESS", "CVPRESSPlot", "CV", "CVPRESS", 828, 853, 830, 829, 853, 920, true}},
    {.candidate = kNoColumn, .value = noValue, .texts = {.name = 411}, .graph = {}},
    {.keyword = "CVEX",
     .column = "CVEXPRESS",
     .candidate = kNoColumn,
     .direction = Dir::kMinimized,
     .kind = Kind::kDataBased,
     .fits = critfit::kPath | critfit::kExternal,
     .value = extCvOf,
     .perStep = keptWithExternalCv,
     .texts = {.name = 412, .fitLabel = 855},
     .graph = {"CVEXPRESS", "CVEXPRESSPlot", "CVEX", "CVEXPRESS", 834, 855, 833, 855, 855, 921,
               true}},
    // A penalty target, not a value to better.
    {.keyword = "L1",
     .candidate = kNoColumn,
     .kind = Kind::kDataBased,
     .fits = critfit::kPath,
     .value = penaltyOf,
     .texts = {.name = 413},
     .graph = {}},
};

// The stepwise method drops by its own rule or competes its moves.
int runStepwise(SelectionState* s) {
  return competitiveDrop(s->rules->dropRule) ? selectStepwiseCompetitive(s) : selectStepwise(s);
}

using MM = MethodMoves;

// By method code, from kMethodNone.
constexpr MethodInfo kMethods[] = {
    {"NONE", MM::kNone, 420, 520, 451, selectNone},
    {"FORWARD", MM::kAdds, 421, 521, 452, selectForward},
    {"BACKWARD", MM::kDrops, 422, 522, 453, selectBackward},
    {"STEPWISE", MM::kBoth, 423, 523, 454, runStepwise},
    {"LAR", MM::kAdds, 424, 524, 455},
    {"LASSO", MM::kBoth, 425, 525, 456},
    {"LAR", MM::kAdds, 426, 526, 457},  // least squares estimates
    {"LASSO", MM::kBoth, 427, 527, 458},
    {"ELASTICNET", MM::kBoth, 428, 528, 459},
    {"ELASTICNET", MM::kBoth, 429, 529, 460},
    {"HXLASSO$", MM::kNone, 430, 530, 461},
    {"HXGLASSO$", MM::kNone, 431, 531, 462},
    {"GROUPLASSO", MM::kNone, 432, 532, 463},
};
constexpr int kMethodRows = static_cast<int>(sizeof(kMethods) / sizeof(kMethods[0]));
static_assert(kMethodRows == method_rows::kRows, "a row for every method family");

}  // namespace

const CriterionInfo& criterionInfo(CriterionCode code) {
  const int i = codeIndex(code);
  return i < kCriterionCodes ? kCriteria[i] : kCriteria[codeIndex(kCritNone)];
}

bool criterionOfModel(CriterionCode code) {
  const CriterionInfo& c = criterionInfo(code);
  return c.kind == CriterionKind::kClosedForm || c.pass != nullptr;
}

bool criterionNamedByGraphs(CriterionCode code) { return criterionInfo(code).graph.label != 0; }

const CriterionGraphTexts& criterionGraphTexts(CriterionCode code) {
  return criterionNamedByGraphs(code) ? criterionInfo(code).graph : criterionInfo(kCritAicc).graph;
}

CriterionCode l2JudgingCriterion(CriterionCode choose, CriterionCode stop) {
  return choose == kCritNone || choose == kCritSl || choose == kCritStopNone ? stop : choose;
}

const MethodInfo& methodInfo(MethodCode code) {
  const int i = codeIndex(code) - codeIndex(kMethodNone);
  return i >= 0 && i < kMethodRows ? kMethods[i] : kMethods[0];
}

}  // namespace vsf
