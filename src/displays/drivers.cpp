// The output drivers of a single fit: which tables and graphs appear, in which order, and the
// groups around them.
#include "base/host.h"
#include "displays/displays_internal.h"
#include "effects/effects.h"
#include "graphs/graphs.h"
#include "levelize/levelize.h"
#include "selection/group.h"

namespace vsf {

namespace {

// A failed selection says why and shows nothing more. Returns true when the fit failed.
bool reportStatus(StepView* s, const SelectionState* sel) {
  struct StatusMessage {
    int32_t status;
    int message;
    int stepCode;
  };
  static const StatusMessage kTable[] = {{-202, 131, 108}, {-201, 134, 108}, {-101, 152, 108},
                                         {-102, 213, 108}, {-103, 271, 108}, {-104, 6192, 108},
                                         {-100, 132, 112}, {-2, 133, 116}};
  if (sel->run.status >= 0) return false;
  int code = 112;
  // External cross validation's limits are said with their numbers.
  const int32_t folds = sel->path.extCvFolds;
  const double n = sel->run.foldedFreq;
  for (const StatusMessage& m : kTable) {
    if (m.status != sel->run.status) continue;
    code = m.stepCode;
    // The data pass has said why a group has no training observation.
    if (m.status == runstatus::kNoObservations && s->group.noTrainingExplained) continue;
    if (m.status == runstatus::kFoldsAboveN)
      hostMsg(kMsgSet, m.message, {externalFoldsAsked(sel), n});
    else if (m.status == runstatus::kFoldNoTraining)
      hostMsg(kMsgSet, m.message, {sel->run.emptyFold + 1, folds, n});
    else
      hostMsg(kMsgSet, m.message);
  }
  raiseStepCode(s->stepCode, code);
  return true;
}

// The pool the tables' work buffers come from: the fit's model pool, else the BY group's.
HostPool* workPool(StepView* s, SelectionState* sel) {
  return sel->modelPool ? sel->modelPool : s->group.byPool;
}

// The tables of a fit before its selection results: classes, constructed effects, dimensions,
// screening, the elastic net's tuning and external cross validation.
int printFitInformation(StepView* s, SelectionState* sel) {
  const DisplayOptions& o = s->display;
  const DisplayFlags f = displayFlags(s, sel);
  ZDesign* d = s->lev.design;
  if (d && d->classCount > 0) {
    if (int rc = printClassLevelInfo(s, workPool(s, sel)); rc != 0) return rc;
    if (s->settings.classes.showCoding)
      if (int rc = printClassLevelCoding(s, workPool(s, sel)); rc != 0) return rc;
    zsinglelvl(&s->lev);
  }
  printConstructedEffectInfo(s, s->output.manager, d);
  if (int rc = printDimensions(s, sel); rc != 0) return rc;
  if (o.screen != kScreenNone) {
    if (int rc = printScreeningInfo(s, sel); rc != 0) return rc;
    if (o.screen == kScreenSis)
      if (int rc = printSisCorrelation(s, sel); rc != 0) return rc;
  }
  if (f.l2History) {
    printElasticNetParaSummary(s, sel);
    void* tuneData = nullptr;
    printElasticNetTuneL2(s, sel, &tuneData);
    plotElasticNetL2(s, sel, tuneData);
  }
  if (o.choose == kCritCvExternal && o.showCvEx) {
    printCvExternal(s, sel);
    plotCvExternal(s, sel);  // the chosen L2's grid; a fit without one (group LASSO) has none
  }
  return 0;
}

}  // namespace

int printFitResults(StepView* s, SelectionState* sel) {
  zeroNegligibleTotals(sel);  // sums within rounding of zero are shown as 0
  if (int rc = printObsProfiles(s, sel); rc != 0) return rc;
  if (reportStatus(s, sel)) return 0;
  const DisplayOptions& o = s->display;
  // RANDOM closes up the folds no row drew, external ones as well as k-fold.
  const int32_t formed = o.kfold ? sel->folds : sel->path.extCvFolds;
  if ((o.kfold || o.externalCv) && formed < o.cvFolds && o.cvMethod != kCvIndex)
    hostMsg(kMsgSet, 161, {static_cast<long long>(o.cvFolds), static_cast<long long>(formed)});
  if (sel->sweep.aliasedCount != 0) {
    hostMsg(kMsgSet, 236);
    raiseStepCode(s->stepCode, step::kWarning);
  }
  if (int rc = printFitInformation(s, sel); rc != 0) return rc;
  if (sel->steps.stepCount == 0) return 0;  // nothing was fitted: no selection to show
  if (displayFlags(s, sel).stepDetails)
    if (int rc = printStepDetails(s, nullptr, nullptr, -1); rc != 0) return rc;
  // A table that could not be built must not leave the step looking successful.
  return printSelectionResults(s, sel, nullptr, nullptr, -1);
}

int openSelectedModelGroup(StepView* s) {
  if (s->output.selectedModelGroup) return 0;
  const bool none = s->display.method == kMethodNone;
  s->output.selectedModelGroup = static_cast<HostObject*>(openGroup(
      &s->output, "SelectedModel", msgStr(none ? 481 : 480), {argFlag(dkey::kFlag435, 1)}));
  return sendGroupRequest(
      &s->output, s->output.manager, op::kGroupAttributes,
      {argInt(dkey::kLevel, s->group.refitPass ? 3 : 2), argInt(key::kMinusOne, -1),
       argString(key::kText, msgStr(none ? 482 : 480))});
}

namespace {

// Summary group: the selection summary, the stop reason and details, and the plots.
int printSummaryGroup(StepView* s, SelectionState* sel, ScratchFileObject* file, int64_t* position,
                      int sampleIndex) {
  const DisplayOptions& o = s->display;
  void* group = openGroup(&s->output, "Summary", msgStr(792), {argFlag(dkey::kFlag435, 1)});
  BestSteps best;
  computeBestSteps(s, sel, &best);
  void* bestData = nullptr;
  void* summaryData = nullptr;
  // The graphs mark the steps; the summary and the plots after it read the marks.
  StepMarks marks;
  if (s->settings.graphicsOn) {
    if (int rc = makeStepLabels(s, sel, &marks); rc != 0) return rc;
    if (int rc = printBestStep(s, sel, best, &marks, &bestData); rc != 0) return rc;
  }
  if (int rc = printSelectionSummary(s, sel, workPool(s, sel), &best, marks, &summaryData); rc != 0)
    return rc;
  const uint8_t reason = sel->run.stop.reason;
  const int32_t k = o.method == kMethodBackward ? 1 : sel->layout.firstSelectable;
  printStopReason(s, reason, sel->steps.stepCount - k);
  if (reason == 4) {
    const CriterionCode c = o.stop != kCritNone ? o.stop : o.select;
    if (int rc = printStopDetails(s, workPool(s, sel), &sel->run.stop, criterionValue(sel, c));
        rc != 0)
      return rc;
  }
  if (s->settings.graphicsOn) {
    if (int rc = plotCoefficients(s, sampleIndex, sel, marks, position, file); rc != 0) return rc;
    if (int rc = plotCriteria(s, sel, best, marks, summaryData, bestData); rc != 0) return rc;
    if (int rc = plotAse(s, sel, marks, summaryData); rc != 0) return rc;
  }
  closeGroup(&s->output, group);
  return 0;
}

}  // namespace

int printSelectionResults(StepView* s, SelectionState* sel, ScratchFileObject* file,
                          int64_t* position, int sampleIndex) {
  const DisplayOptions& o = s->display;
  const MethodCode m = o.method;
  const MethodFamily family = methodFamily(m);
  if (family.kind == MethodKind::kPath && !family.leastSquares && sel->steps.stepCount > 0) {
    const double last = sel->steps.sse[sel->steps.stepCount - 1];
    sel->fit.trainSse = last < negligibleSumOfSquares(sel) ? 0 : last;
  }
  const bool optimizer = family.kind == MethodKind::kOptimizer;
  if (!optimizer) {
    if (int rc = printSummaryGroup(s, sel, file, position, sampleIndex); rc != 0) return rc;
    openSelectedModelGroup(s);  // once per BY group; a refusal has gone to zrcabort
    restoreSelectedStep(sel);
    if (int rc = printSelectedModelNote(s, sel, workPool(s, sel), sel->run.stop.reason); rc != 0)
      return rc;
    if (int rc = printSelectedEffects(s, sel, workPool(s, sel)); rc != 0) return rc;
    if (m != kMethodNone && s->settings.showPValues) textLine(&s->output, 'l', msgStr(199));
    if (int rc = printAnova(s, sel, workPool(s, sel)); rc != 0) return rc;
    if (int rc = printFitStatistics(s, sel); rc != 0) return rc;
    if (displayFlags(s, sel).cvDetails)
      if (int rc = printCvDetails(s, sel, workPool(s, sel)); rc != 0) return rc;
  }
  if (int rc = printParameterEstimates(s, sel, workPool(s, sel), o.orderSelect); rc != 0) return rc;
  noteFitQuality(s, sel);
  return 0;
}

}  // namespace vsf
