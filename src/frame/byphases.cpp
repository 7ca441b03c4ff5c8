// The phases of one BY group around the data pass: the reset of the selection state, the
// levelization, and the fit with its displays.
#include <algorithm>

#include "averaging/averaging.h"
#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "displays/displays.h"
#include "frame/bindings.h"
#include "frame/bridge.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "levelize/levelize.h"
#include "penalized/penalized.h"
#include "statements/statements.h"

namespace vsf {

int resetByGroup(VsfState* s) {
  SelectionState& sel = s->group.selection;
  const SelectionOptions& o = s->settings.options;
  sel = SelectionState();
  sel.path.l2 = o.l2;
  sel.fit.penalty = o.l1;
  sel.stepCode = &s->stepCode;
  sel.scratch = &s->group.groupScratch;
  sel.rules = &s->rules;
  sel.pathOptions = &s->pathOptions;
  sel.cv = &s->cv, sel.engine = &s->engine;
  sel.utilFiles = &s->group.utilFiles;
  sel.workers = &s->res.workers;
  sel.puddle = &s->res.puddle;
  sel.candidates = &s->group.candidates;
  if (!s->settings.modelAverage.sharedDrive) {
    int stage = 0;
    if (openScratchFile(&s->group.groupScratch, &s->res.extensions, 0, 0, nullptr, false, &stage) !=
        0) {
      hostFileMsg(848, 215);
      raiseStepCode(s->stepCode, step::kMemory);
      return rc::kScratchFile;
    }
    sel.streamFile = s->group.groupScratch.file;
  }
  if (s->res.outDesignScratch.file) {
    sel.headerFile = s->res.outDesignScratch.file;
    sel.headerPosition = &s->res.outDesignHeaderEnd;
  }
  return 0;
}

int nameCandidates(VsfState* s, HostPool* pool) {
  GroupState& g = s->group;
  return nameDesignColumns(s->lev.design, g.candidates.table ? &g.candidateTable : nullptr,
                           g.candidates.count, pool, &g.longestCandidateLabel);
}

namespace {

// Levelization runs on the step's workers under THREADS, those the group's rows keep busy;
// "_testthread" and "_testthreadzlev" switch it on or off whatever the option says.
void chooseLevelizeThreads(VsfState* s) {
  const PassWorkers& w = s->res.stepWorkers;
  s->lev.workers = w.threaded ? std::max(1, w.count) : 1;
  s->lev.groupWorkers = s->res.workers.threaded ? std::max(1, s->res.workers.count) : 1;
  const int test = ztestthread("zlev");
  s->lev.threaded = test >= 0 ? test : (w.threaded && s->lev.workers > 1 ? 1 : 0);
}

}  // namespace

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
  chooseLevelizeThreads(s);
  // The passes of levelization and the data pass read the same blocks: the host may keep
  // those it parses for the data pass.
  keepParsedBlocks(s, kParsedHold);
  int status = zlev(&s->lev);
  raiseStepCode(s->stepCode, d->buildCode);
  if (status == levstatus::kConstructed) raiseStepCode(s->stepCode, step::kLevelization112);
  if (status == levstatus::kNoLevels) {
    // No observation at all says so, as the step without CLASS variables does.
    int64_t observations = -1;
    if (s->settings.inputReader &&
        hostv().ds->attr(s->settings.inputReader, dsattr::kObsCount, &observations) == 0 &&
        observations == 0)
      hostMsg(848, 6300, {std::string_view(dataSetName(s->settings.inputReader))});
    else
      hostMsg(848, 144);
    raiseStepCode(s->stepCode, step::kLevelization108);
  }
  return status;
}

int fitAndReport(VsfState* s) {
  const SelectionOptions& o = s->settings.options;
  double mark = hostClock();
  if (o.modelAveragingRun)
    if (int rc = initResampleWork(&s->view, &s->group.resampling, false); rc != 0) return rc;
  if (int rc = fitModel(&s->group.selection, &s->group.resampling); rc != 0) return rc;
  s->res.timers.fitStart = hostClock() - mark;
  s->res.timers.selection += s->res.timers.fitStart;
  if (o.modelAveragingRun)
    if (int rc =
            averageOverSamples(&s->view, &s->group.resampling, &s->group.selection, &s->res.timers);
        rc != 0)
      return rc;

  mark = hostClock();
  zlvlnameout(&s->lev);
  if (int rc = zncols(&s->lev); rc != 0) return rc;
  if (s->lev.design->labelStyle == 0 || s->res.bridge) zcolnames(&s->lev);
  if (o.designPerByGroup)
    if (int rc = nameCandidates(s, s->group.byPool); rc != 0) return rc;
  if (!s->settings.displaysSuppressed) {
    int rc = 0;
    if (o.modelAveragingRun) {
      if (s->group.resampling.resampleCount > 0) rc = printModelAverage(&s->view);
    } else {
      rc = printFitResults(&s->view, &s->group.selection);
      // A failed fit has no design rows to write, unless later BY groups have.
      if (s->group.selection.run.status < 0 && !s->settings.hasByStatement) dropOutDesign(s);
    }
    if (rc != 0) return rc;
  } else if (!o.modelAveragingRun) {
    restoreSelectedStep(&s->group.selection);
  }
  s->res.timers.output += hostClock() - mark;

  if (s->settings.modelAverage.refit && s->group.resampling.resampleCount > 0)
    if (int rc = refitAverage(s); rc != 0) return rc;
  return handOverSelectedModel(s);
}

}  // namespace vsf
