// The step driver: runProcedure runs the phases of one procedure step in order, with the
// BY-group loop, the return-code check after each phase and the clean-up that runs once.
#include <string_view>
#include <vector>

#include "averaging/averaging.h"
#include "base/codes.h"
#include "base/host.h"
#include "base/hostcalls.h"
#include "design/design.h"
#include "displays/displays.h"
#include "effects/effects.h"
#include "frame/bindings.h"
#include "frame/module.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "levelize/levelize.h"
#include "numerics/numerics.h"
#include "selection/selection.h"
#include "statements/statements.h"

namespace vsf {

namespace {

void guarded(VsfState* s, int rc) {
  if (rc != 0) checkPhaseRc(s, rc);
}

HostPool* makePool(std::string_view name, uint32_t flags) {
  return kernel().poolCreate(name, flags);
}

void destroyPool(HostPool*& pool) {
  if (pool) {
    kernel().poolDestroy(pool);
    pool = nullptr;
  }
}

// A step that ends early leaves no half-written output data set, and the earlier file of its
// name as it was.
void discardOutputs(VsfState* s) {
  auto discard = [](HostDataSet** ds) {
    if (*ds) hostv().ds->outClose(*ds, false);
    *ds = nullptr;
  };
  discard(&s->settings.outputDataSet);
  // A failed fit discarded the OUTDESIGN data set already.
  if (!s->outputs.outDesignDiscarded) discard(&s->settings.outDesignDataSet);
  // The requests live in the MAIN POOL, gone after the clean-up.
  if (s->res.cleanupDone) return;
  for (int i = 0; i < s->settings.scoreCount && s->settings.scoreRequests; ++i)
    discard(&s->settings.scoreRequests[i].output);
}

// A complete output data set goes into place under its name.
void closeOutput(HostDataSet** ds) {
  if (*ds) hostv().ds->outClose(*ds, true);
  *ds = nullptr;
}

VsfState* stateFromHost() { return static_cast<VsfState*>(hostv().proc->procContext()); }

// Sends a request with one integer argument to the output manager; failures end the step.
void managerRequest(VsfState* s, uint32_t id, uint16_t k, int32_t value) {
  OutputArgItem item = argInt(k, value);
  int rc = zhdlcall(s->res.output.manager, nullptr, id, 1, &item);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
}

void releaseGroup(VsfState* s) {
  if (s->res.output.selectedModelGroup) {
    OutputArgItem item = argInt(0, 4);
    int rc = zhdlcall(s->res.output.selectedModelGroup, nullptr, op::kCloseHandle, 1, &item);
    if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
    s->res.output.selectedModelGroup = nullptr;
  }
  if (s->res.output.manager) {
    managerRequest(s, op::kGroupAttributes, key::kGroupLevel, 2);
    managerRequest(s, op::kGroupAttributes, key::kGroupLevel, 3);
  }
  if (s->settings.options.modelAveragingRun) freeResampleWork(&s->group.resampling);
  freeSelectionState(&s->group.selection);
  closeScratchFile(&s->group.groupScratch, &s->res.extensions);
  destroyPool(s->group.byPool);
  destroyPool(s->group.pagePool);
  zlevfree(&s->lev, -1);
  if (s->group.groupHeap) {
    hostv().proc->heapFree(s->group.groupHeap);
    s->group.groupHeap = nullptr;
  }
}

// Outputs of one BY group after its fit: macro variables, OUTPUT and OUTDESIGN rows, the
// ParameterNames table and the SCORE output.
void groupOutputs(VsfState* s) {
  SelectionState& sel = s->group.selection;
  HostDataSet* outDesign = s->outputs.outDesignDiscarded ? nullptr : s->settings.outDesignDataSet;
  // Every output of the group, the ParameterNames table's included, carries its own number.
  s->group.byGroupNumber = s->byGroupCount;
  if (sel.run.status == 0) s->outputs.groupsWithModel += 1;
  guarded(s, setEffectsMacroVars(&s->view, s->byGroupCount));
  guarded(s, defineOutDesignVariables(&s->view, &s->lev, outDesign, &s->outputs,
                                      &s->group.groupOutDesignWidth));
  openSelectedModelGroup(&s->view);
  if (s->settings.outputDataSet || (outDesign && !s->settings.hasByStatement)) {
    void* sampling = s->settings.options.modelAveragingRun ? &s->group.resampling : nullptr;
    guarded(s, writeOutputByGroup(&s->view, &s->lev, &sel, sampling, &s->outputs));
  }
  if (outDesign) {
    if (s->settings.outDesignNames && !s->settings.displaysSuppressed && sel.run.status == 0 &&
        s->group.groupOutDesignWidth != 0)
      guarded(s, printParameterNames(&s->view, &sel, &s->outputs));
    if (s->settings.hasByStatement) guarded(s, writeResultHeader(&sel));
    guarded(s, setModelMacroVars(&s->view, &sel, &s->outputs));
  }
  if (s->settings.scoreCount > 0)
    guarded(s, scoreRequests(&s->view, &s->lev, &sel, s->settings.scoreRequests, &s->outputs,
                             &printLagDesignTable));
}

// A group skipped before its data pass has no model, as a group that could not be fitted: its
// rows go to OUTPUT and its SCORE observations to their OUT= data sets with missing predictions,
// and its result header to the OUTDESIGN pass, which writes its rows without design columns.
void skippedGroupOutputs(VsfState* s) {
  SelectionState& sel = s->group.selection;
  sel.run.status = runstatus::kNotLevelized;
  s->group.byGroupNumber = s->byGroupCount;
  if (s->settings.outputDataSet)
    guarded(s, writeOutputByGroup(&s->view, &s->lev, &sel, nullptr, &s->outputs));
  if (s->settings.outDesignDataSet && s->settings.hasByStatement)
    guarded(s, writeResultHeader(&sel));
  if (s->settings.scoreCount > 0)
    guarded(s, scoreRequests(&s->view, &s->lev, &sel, s->settings.scoreRequests, &s->outputs,
                             &printLagDesignTable));
}

// The group's workers from its size, which the host knows before its first row is read;
// "_testthreadrows" (or "_testthread") gives every group the step's workers.
void chooseGroupWorkers(VsfState* s) {
  int64_t rows = -1;
  if (!s->settings.inputReader || ztestthread("rows") > 0 ||
      hostv().ds->attr(s->settings.inputReader, dsattr::kGroupObs, &rows) != 0)
    rows = -1;
  s->res.workers = groupWorkers(s->res.stepWorkers, rows, s->lev.design->modelVarCount);
}

// One BY group from its reset to its release.
void runByGroup(VsfState* s) {
  if (s->res.bridge) bridgeGroupHook(s);
  guarded(s, resetByGroup(s));
  s->group.groupHeap = hostv().proc->heapNew(0, 1024, 0x1004);
  s->levAlloc.allocator = s->group.groupHeap;
  s->byGroupCount += 1;
  s->group.byPool = makePool("VARSIFTER BY POOL", kPoolPlain);
  s->group.pagePool = makePool("VARSIFTER PAGE POOL", kPoolPage);
  if (!s->group.byPool || !s->group.pagePool) checkPhaseRc(s, rc::kPool);
  s->group.selection.tuning.pool = s->group.byPool;  // the tuning tables outlive each run
  s->group.selection.tuning.foldMoments = !s->settings.noStandardize;

  chooseGroupWorkers(s);
  double mark = hostClock();
  int lev = levelizeByGroup(s);
  s->res.timers.levelization += hostClock() - mark;
  if (lev != 0) {
    skippedGroupOutputs(s);
    releaseGroup(s);
    return;
  }
  if (s->settings.options.designPerByGroup) {
    std::vector<int32_t> leftOut;
    guarded(s,
            buildParmCandidateTable(s->engine, s->group, s->lev.design, s->group.byPool, &leftOut));
    for (int32_t e : leftOut) {
      const char* name = s->lev.design->effects[e].name;
      hostMsg(848, 6142, {std::string_view(name ? name : "")});
    }
    guarded(s, buildCandidateContainment(s));
  } else {
    refreshCandidateTable(s->group, s->lev.design);
  }
  if (s->settings.initialEstimates) guarded(s, readInitialEstimates(s));
  mark = hostClock();
  guarded(s, readByGroupData(s));
  s->res.timers.dataPass += hostClock() - mark;
  guarded(s, fitAndReport(s));
  closeUtilFiles(&s->group.utilFiles, s->group.byPool);

  s->res.timers.mark = hostClock();
  groupOutputs(s);
  releaseGroup(s);
  s->res.timers.output += hostClock() - s->res.timers.mark;
}

int nextByGroup(VsfState* s, bool first) {
  if (s->settings.inputReader) return hostv().ds->nextByGroup(s->settings.inputReader);
  return first ? 1 : 0;  // no data set bound: one pass
}

void setByGroupMacros(VsfState* s) {
  if (s->settings.maxMacroByGroups < 0) return;
  hostv().macro->setNum("_VSFNUMBYS", s->byGroupCount, 'G');
  int shown = s->byGroupCount < s->settings.maxMacroByGroups ? s->byGroupCount
                                                             : s->settings.maxMacroByGroups;
  hostv().macro->setNum("_VSFNUMMACROBYS", shown, 'G');
}

}  // namespace

void runProcedure() {
  // Static so that the termination callback can still reach it after the step ended early.
  static VsfState state;
  VsfState* s = &state;
  startStepContext(s);
  guarded(s, initState(s));
  s->res.timers.setup = hostClock();
  guarded(s, readStatements(s));
  // The displays' own time is a row of the timing table under ALLDETAILS alone; a BY step
  // makes tens of displays a group, each reading the clock twice.
  s->res.output.timed = s->settings.threads.perfDetails && s->settings.threads.timing &&
                        s->settings.threads.allDetails;
  guarded(s, setupAnalysis(s));
  if (!s->settings.displaysSuppressed) {
    guarded(s, printModelInfo(&s->view));
    if (s->settings.counts.modelAverage) guarded(s, printModelAverageInfo(&s->view));
  }
  if (s->settings.threads.perfDetails) guarded(s, printPerfSettings(&s->view));
  if (!s->settings.options.designPerByGroup) {
    guarded(s, buildCandidateTable(s->engine, s->group, s->lev.design, s->res.mainPool));
    guarded(s, nameCandidates(s, s->res.mainPool));
  }
  if (s->settings.initialEstimates) guarded(s, openInitialEstimates(s));
  if (s->settings.outputDataSet)
    guarded(s, defineOutputVariables(&s->view, s->settings.outputDataSet, &s->outputs));
  if (s->settings.scoreCount > 0) guarded(s, defineScoreVariables(&s->view, &s->outputs));
  s->res.timers.setup = hostClock() - s->res.timers.setup;
  s->res.stepWorkers =
      PassWorkers{s->settings.threads.effectiveThreaded, s->settings.threads.effectiveWorkers};
  s->res.workers = s->res.stepWorkers;
  guarded(s, createThreadPool(s, s->res.stepWorkers.count));

  for (bool first = true; nextByGroup(s, first) > 0; first = false) runByGroup(s);
  // BY groups of a data set without observations: not one to fit.
  int64_t observations = -1;
  if (s->byGroupCount == 0 && s->settings.hasByStatement && s->settings.inputReader &&
      hostv().ds->attr(s->settings.inputReader, dsattr::kObsCount, &observations) == 0 &&
      observations == 0) {
    hostMsg(848, 6300, {std::string_view(dataSetName(s->settings.inputReader))});
    raiseStepCode(s->stepCode, step::kLevelization108);
  }

  destroyThreadPool(s);
  noteUnmatchedByValues(s);
  s->res.timers.mark = hostClock();
  dropOutputsWithoutModel(s);
  if (s->settings.outDesignDataSet && s->settings.hasByStatement) guarded(s, writeOutDesignPass(s));
  // Complete, they go into place together; a step that failed before has discarded them.
  closeOutput(&s->settings.outputDataSet);
  if (!s->outputs.outDesignDiscarded) closeOutput(&s->settings.outDesignDataSet);
  for (int i = 0; i < s->settings.scoreCount; ++i)
    closeOutput(&s->settings.scoreRequests[i].output);
  setByGroupMacros(s);
  s->res.timers.output += hostClock() - s->res.timers.mark;
  finishStep(s);
  if (s->settings.threads.perfDetails && s->settings.threads.timing)
    guarded(s, printTiming(&s->view, &s->res.timers));
  hostEndStep(s->stepCode);
}

int initState(VsfState* s) {
  s->reset();
  s->res.timers.stepStart = hostClock();
  hostv().proc->onTerminate(&onHostTerminate);
  hostv().proc->setProcContext(s);

  HostObject* root = hostv().core->outRoot();
  if (!root) checkPhaseRc(s, 1);
  void* handle = nullptr;
  OutputArgItem create[3] = {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "manager"),
                             argOutHandle(key::kHandle, &handle)};
  int rc = zhdlcall(root, nullptr, op::kCreate, 3, create);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
  s->res.output.manager = static_cast<HostObject*>(handle);

  int32_t graphics = 0;
  OutputArgItem ask = argFlag(key::kGraphicsOn, 0);
  rc = zhdlcall(s->res.output.manager, nullptr, op::kQuery, 1, &ask);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
  graphics = ask.flagValue();
  s->settings.graphicsOn = graphics != 0;

  if (int e = loadExtensions(s); e != 0) return e;
  s->res.mainPool = makePool("VARSIFTER MAIN POOL", kPoolPlain);
  if (!s->res.mainPool) return rc::kPool;
  void* design = kernel().poolAlloc(s->res.mainPool, sizeof(ZDesign), kAllocZero);
  if (!design) return rc::kMemory;
  s->lev.design = new (design) ZDesign();
  s->lev.alloc = &s->levAlloc;
  zsscpset(&s->lev.sscp);
  s->settings.options.utilBuffers = 0;
  s->settings.options.utilPageSizeKb = 0;
  s->settings.options.utilAccessMode = 4;
  s->settings.partition.trainFraction = 1.0;
  s->byGroupCount = 0;
  return 0;
}

int loadExtensions(VsfState* s) {
  ExtensionSet& x = s->res.extensions;
  x.kernel = &kernel();
  if (!x.kernel) return rc::kExtension;
  // The first extension that does not load ends the loading; later ones are not tried.
  HostExtension* e = kernel().extensionLoad("hxstream");
  if (!(x.stream = dynamic_cast<HxStream*>(e))) return rc::kExtension;
  e = kernel().extensionLoad("hxstreamx");
  if (!(x.streamx = dynamic_cast<HxStreamX*>(e))) return rc::kExtension;
  e = kernel().extensionLoad("hxtools");
  if (!(x.tools = dynamic_cast<HxTools*>(e))) return rc::kExtension;
  x.btree = kernel().extensionLoad("hxbtree");
  if (!x.btree) return rc::kExtension;
  return 0;
}

void releaseExtensions(VsfState* s) {
  ExtensionSet& x = s->res.extensions;
  if (x.tools) x.tools->release();
  if (x.stream) x.stream->release();
  if (x.streamx) x.streamx->release();
  if (x.btree) x.btree->release();
  x.tools = nullptr;
  x.stream = nullptr;
  x.streamx = nullptr;
  x.btree = nullptr;
}

void checkPhaseRc(VsfState* s, int rc) {
  if (rc == 0) return;
  switch (rc) {
    // A file that could not be written or read is said as such, not as memory.
    case rc::kMemory:
    case rc::kPageIo:
      hostFileMsg(848, 140);
      raiseStepCode(s->stepCode, step::kMemory);
      break;
    case rc::kPool:
      hostFileMsg(848, 142);
      raiseStepCode(s->stepCode, step::kMemory);
      break;
    case rc::kHistory:
      hostFileMsg(848, 143);
      raiseStepCode(s->stepCode, step::kHistory);
      break;
    case rc::kExtension:
    case rc::kUtilFileOpen:
    case rc::kScratchFile:
      if (s->stepCode < 100) hostMsg(848, 4907, {rc});
      raiseStepCode(s->stepCode, step::kMemory);
      break;
    default:
      // A code the failing routine may not have explained (a missing output root, an
      // unsupported input): never let such a step end as a success.
      if (s->stepCode < 100) {
        hostMsg(848, 4907, {rc});
        raiseStepCode(s->stepCode, step::kInternal);
      }
      break;
  }
  discardOutputs(s);
  if (!s->res.cleanupDone) finishStep(s);
  hostEndStep(s->stepCode);
}

void finishStep(VsfState* s) {
  s->res.timers.cleanup = hostClock();
  if (s->res.bridge) bridgeClose(s);
  freeResampleWork(&s->group.resampling);
  closeUtilFiles(&s->group.utilFiles, s->group.byPool);
  // A step that ended inside a BY group still holds the group's scratch file.
  closeScratchFile(&s->group.groupScratch, &s->res.extensions);
  closeScratchFile(&s->res.outDesignScratch, &s->res.extensions);
  closeObsTags(&s->res.obsTags, &s->res.extensions);
  releaseExtensions(s);
  zsysrand(&s->settings.procedureSeed, 2);
  zeffbldfree();  // the effect records of the step go with it
  destroyPool(s->res.mainPool);
  destroyPool(s->group.byPool);
  destroyPool(s->group.pagePool);
  destroyPool(s->res.output.modelPool);
  destroyPool(s->res.output.detailsPool);
  s->res.cleanupDone = 1;
  s->res.timers.cleanup = hostClock() - s->res.timers.cleanup;
}

void onHostTerminate() {
  VsfState* s = stateFromHost();
  if (!s) return;
  if (s->res.puddle.queue) destroyThreadPool(s);
  discardOutputs(s);
  // A step that ended inside a BY group still holds the group's memory.
  freeSelectionState(&s->group.selection);
  if (s->group.groupHeap) {
    hostv().proc->heapFree(s->group.groupHeap);
    s->group.groupHeap = nullptr;
  }
  if (!s->res.cleanupDone) finishStep(s);
}

}  // namespace vsf
