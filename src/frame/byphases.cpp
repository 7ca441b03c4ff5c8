// The phases of one BY group around the data pass: the reset of the selection state, the
// levelization, and the fit with its displays.
#include "averaging/averaging.h"
#include "base/host.h"
#include "design/design.h"
#include "displays/displays.h"
#include "frame/bridge.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "penalized/penalized.h"

namespace vsf {

int resetByGroup(VsfState* s) {
  SelectionState& sel = s->selection;
  const SelectionOptions& o = s->options;
  sel = SelectionState();
  sel.l2 = o.l2;
  sel.penalty = o.l1;
  sel.stepCode = &s->stepCode;
  sel.scratch = &s->groupScratch;
  sel.options = &s->options;
  sel.utilFiles = &s->utilFiles;
  sel.threads = &s->threads;
  sel.puddle = &s->puddle;
  s->options.words[0] = 1;
  s->options.words[1] = 0;
  s->options.words[2] = 1;
  if (!o.sharedDrive) {
    int stage = 0;
    if (openScratchFile(&s->groupScratch, &s->extensions, 0, 0, nullptr, false, &stage) != 0) {
      hostMsg(848, 215);
      raiseStepCode(s->stepCode, step::kMemory);
      return rc::kScratchFile;
    }
    sel.streamFile = s->groupScratch.file;
  }
  s->options.resampleOption = 0;
  return 0;
}

// Levels are collected again for every group; a status that skips the group raises the step
// code (1: message 144 and 108; 2: the design's 112; 6: 112).
int levelizeByGroup(VsfState* s) {
  ZDesign* d = s->lev.design;
  if (d->classCount > 0) {
    d->classVars[0].levelCount = 0;
    if (d->modelVarCount > 0) d->modelVars[0].levelCount = 0;
  } else if ((d->flags & dflag::kNoScaling) && d->designVarCount == 0) {
    for (int j = 0; j < d->modelVarCount; ++j) {
      d->modelVars[j].center = 0.0;
      d->modelVars[j].halfRange = 1.0;
      d->modelVars[j].levelCount = 2;
    }
  } else if (d->modelVarCount > 0) {
    d->modelVars[0].levelCount = 0;
  }
  int status = zlev(&s->lev);
  raiseStepCode(s->stepCode, d->buildCode);
  if (status == 6) raiseStepCode(s->stepCode, step::kLevelization112);
  if (status == 1) {
    hostMsg(848, 144);
    raiseStepCode(s->stepCode, step::kLevelization108);
  }
  return status;
}

int fitAndReport(VsfState* s) {
  const SelectionOptions& o = s->options;
  double mark = hostClock();
  if (o.modelAveragingRun)
    checkPhaseRc(s, initResampleWork(&s->resampling, s->resampleWorkLength, o.resampleOption));
  if (int rc = fitModel(&s->selection, &s->resampling); rc != 0) return rc;
  s->timers.fitStart = hostClock() - mark;
  s->timers.selection += s->timers.fitStart;
  if (o.modelAveragingRun)
    if (int rc = averageOverSamples(s); rc != 0) return rc;

  mark = hostClock();
  zlvlnameout(&s->lev);
  zncols(&s->lev);
  if (s->lev.design->labelStyle == 0 || s->bridge) zcolnames(&s->lev);
  if (o.designPerByGroup)
    if (int rc = nameDesignColumns(s, s->byPool); rc != 0) return rc;
  if (!s->displaysSuppressed) {
    int rc = 0;
    if (o.modelAveragingRun) {
      if (s->resampling.resampleCount > 0) rc = printModelAverage(s);
    } else {
      rc = printFitResults(s);
    }
    if (rc != 0) return rc;
  } else if (!o.modelAveragingRun) {
    restoreSelectedStep(&s->selection);
  }
  s->timers.output += hostClock() - mark;

  if (s->modelAverage.refit && !o.resampleOption && s->resampling.resampleCount > 0)
    if (int rc = refitAverage(s); rc != 0) return rc;
  if (s->bridge) {
    SelectionState& sel = s->selection;
    if (int rc = passSelectedModel(s, &sel, sel.modelPool); rc != 0) {
      if (sel.modelPool) kernel().poolDestroy(sel.modelPool);
      sel.modelPool = nullptr;
      return rc;
    }
  }
  return 0;
}

}  // namespace vsf
