// The step driver: runProcedure runs the phases of one procedure step in order, with the
// BY-group loop, the return-code check after each phase and the clean-up that runs once.
#include <string_view>

#include "averaging/averaging.h"
#include "base/host.h"
#include "base/hostcalls.h"
#include "design/design.h"
#include "displays/displays.h"
#include "effects/effects.h"
#include "frame/module.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "numerics/numerics.h"
#include "selection/selection.h"

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

// A step that ends early leaves no half-written OUTPUT data set.
void discardOutputs(VsfState* s) {
  if (s->outputDataSet) {
    hostv().ds->outClose(s->outputDataSet, false);
    s->outputDataSet = nullptr;
  }
}

VsfState* stateFromHost() { return static_cast<VsfState*>(hostv().proc->procContext()); }

// Sends a request with one integer argument to the output manager; failures end the step.
void managerRequest(VsfState* s, uint32_t id, uint16_t k, int32_t value) {
  OutputArgItem item = argInt(k, value);
  int rc = zhdlcall(s->manager, nullptr, id, 1, &item);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
}

void releaseGroup(VsfState* s) {
  if (s->groupObject) {
    OutputArgItem item = argInt(0, 4);
    int rc = zhdlcall(s->groupObject, nullptr, op::kCloseHandle, 1, &item);
    if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
    s->groupObject = nullptr;
  }
  if (s->manager) {
    managerRequest(s, op::kGroupAttributes, key::kGroupLevel, 2);
    managerRequest(s, op::kGroupAttributes, key::kGroupLevel, 3);
  }
  if (s->options.modelAveragingRun) freeResampleWork(&s->resampling);
  freeSelectionState(&s->selection);
  closeScratchFile(&s->groupScratch, &s->extensions);
  destroyPool(s->byPool);
  destroyPool(s->pagePool);
  zlevfree(&s->lev, -1);
  if (s->groupHeap) {
    hostv().proc->heapFree(s->groupHeap);
    s->groupHeap = nullptr;
  }
}

// Outputs of one BY group after its fit: macro variables, OUTPUT and OUTDESIGN rows, the
// ParameterNames table and the SCORE output.
void groupOutputs(VsfState* s) {
  guarded(s, setEffectsMacroVars(s, s->byGroupCount));
  guarded(s, defineOutDesignVariables(s));
  openSelectedModelGroup(s);
  if (s->outputDataSet || (s->outDesignDataSet && !s->hasByStatement)) {
    s->byGroupNumber = s->byGroupCount;
    void* sampling = s->options.modelAveragingRun ? &s->resampling : nullptr;
    guarded(s, writeOutputByGroup(s, &s->selection, sampling, s->procedureSeed));
  }
  if (s->outDesignDataSet) {
    if (s->outDesignNames && !s->displaysSuppressed && s->selection.status == 0 &&
        s->groupOutDesignWidth != 0)
      guarded(s, printParameterNames(s, &s->selection));
    if (s->hasByStatement) guarded(s, writeResultHeader(&s->selection));
    s->byGroupNumber = s->byGroupCount;
    guarded(s, setModelMacroVars(s, &s->selection));
  }
  if (s->scoreCount > 0) scoreRequests(s, &s->selection);
}

// One BY group from its reset to its release.
void runByGroup(VsfState* s) {
  if (s->bridge) bridgeGroupHook(s);
  guarded(s, resetByGroup(s));
  s->groupHeap = hostv().proc->heapNew(0, 1024, 0x1004);
  s->levAlloc.allocator = s->groupHeap;
  s->byGroupCount += 1;
  s->byPool = makePool("VARSIFTER BY POOL", kPoolPlain);
  s->pagePool = makePool("VARSIFTER PAGE POOL", kPoolPage);
  if (!s->byPool || !s->pagePool) checkPhaseRc(s, rc::kPool);

  double mark = hostClock();
  int lev = levelizeByGroup(s);
  s->timers.levelization += hostClock() - mark;
  if (lev != 0) {
    releaseGroup(s);
    return;
  }
  if (s->options.designPerByGroup) {
    guarded(s, buildParmCandidateTable(s, s->byPool));
    guarded(s, buildCandidateContainment(s));
  } else {
    refreshCandidateTable(s);
  }
  if (s->initialEstimates) guarded(s, readInitialEstimates(s));
  mark = hostClock();
  guarded(s, readByGroupData(s));
  s->timers.dataPass += hostClock() - mark;
  guarded(s, fitAndReport(s));
  closeUtilFiles(&s->utilFiles, s->byPool);

  s->timers.mark = hostClock();
  groupOutputs(s);
  releaseGroup(s);
  s->timers.output += hostClock() - s->timers.mark;
}

int nextByGroup(VsfState* s, bool first) {
  if (s->inputReader) return hostv().ds->nextByGroup(s->inputReader);
  return first ? 1 : 0;  // no data set bound: one pass
}

void setByGroupMacros(VsfState* s) {
  if (s->maxMacroByGroups < 0) return;
  hostv().macro->setNum("_VSFNUMBYS", s->byGroupCount, 'G');
  int shown = s->byGroupCount < s->maxMacroByGroups ? s->byGroupCount : s->maxMacroByGroups;
  hostv().macro->setNum("_VSFNUMMACROBYS", shown, 'G');
}

}  // namespace

void runProcedure() {
  // Static so that the termination callback can still reach it after the step ended early.
  static VsfState state;
  VsfState* s = &state;
  startStepContext(s);
  guarded(s, initState(s));
  s->timers.setup = hostClock();
  guarded(s, readStatements(s));
  guarded(s, setupAnalysis(s));
  if (!s->displaysSuppressed) {
    guarded(s, printModelInfo(s));
    if (s->counts.modelAverage) guarded(s, printModelAverageInfo(s));
  }
  if (s->threads.perfDetails) guarded(s, printPerfSettings(s));
  if (!s->options.designPerByGroup) {
    guarded(s, buildCandidateTable(s, s->mainPool));
    guarded(s, nameDesignColumns(s, s->mainPool));
  }
  if (s->initialEstimates) guarded(s, openInitialEstimates(s));
  if (s->outputDataSet) guarded(s, defineOutputVariables(s));
  if (s->scoreCount > 0) guarded(s, defineScoreVariables(s));
  s->timers.setup = hostClock() - s->timers.setup;
  guarded(s, createThreadPool(s, s->threads.effectiveWorkers));

  for (bool first = true; nextByGroup(s, first) > 0; first = false) runByGroup(s);

  destroyThreadPool(s);
  s->timers.mark = hostClock();
  if (s->outDesignDataSet && s->hasByStatement) guarded(s, writeOutDesignPass(s));
  setByGroupMacros(s);
  s->timers.output += hostClock() - s->timers.mark;
  if (s->outputDataSet) {
    hostv().ds->outClose(s->outputDataSet, true);
    s->outputDataSet = nullptr;
  }
  finishStep(s);
  if (s->threads.perfDetails) guarded(s, printTiming(s));
  hostEndStep(s->stepCode);
}

int initState(VsfState* s) {
  *s = VsfState();
  s->timers.stepStart = hostClock();
  hostv().proc->onTerminate(&onHostTerminate);
  hostv().proc->setProcContext(s);

  HostObject* root = hostv().core->outRoot();
  if (!root) checkPhaseRc(s, 1);
  void* handle = nullptr;
  OutputArgItem create[3] = {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "manager"),
                             argOutHandle(key::kHandle, &handle)};
  int rc = zhdlcall(root, nullptr, op::kCreate, 3, create);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
  s->manager = static_cast<HostObject*>(handle);

  int32_t graphics = 0;
  OutputArgItem ask = argFlag(key::kGraphicsOn, 0);
  rc = zhdlcall(s->manager, nullptr, op::kQuery, 1, &ask);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
  graphics = ask.flagValue();
  s->graphicsOn = graphics != 0;

  if (int e = loadExtensions(s); e != 0) return e;
  s->mainPool = makePool("VARSIFTER MAIN POOL", kPoolPlain);
  if (!s->mainPool) return rc::kPool;
  void* design = kernel().poolAlloc(s->mainPool, sizeof(ZDesign), kAllocZero);
  if (!design) return rc::kMemory;
  s->lev.design = new (design) ZDesign();
  s->lev.alloc = &s->levAlloc;
  s->options.utilBuffers = 0;
  s->options.utilPageSizeKb = 0;
  s->options.utilAccessMode = 4;
  s->partition.trainFraction = 1.0;
  s->byGroupCount = 0;
  return 0;
}

int loadExtensions(VsfState* s) {
  ExtensionSet& x = s->extensions;
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
  ExtensionSet& x = s->extensions;
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
    case rc::kMemory:
    case rc::kPageIo:
      hostMsg(848, 140);
      raiseStepCode(s->stepCode, step::kMemory);
      break;
    case rc::kPool:
      hostMsg(848, 142);
      raiseStepCode(s->stepCode, step::kMemory);
      break;
    case rc::kHistory:
      hostMsg(848, 143);
      raiseStepCode(s->stepCode, step::kHistory);
      break;
    case rc::kExtension:
    case rc::kUtilFileOpen:
    case rc::kScratchFile:
      if (s->stepCode < 100) hostMsg(848, 900, {rc});
      raiseStepCode(s->stepCode, step::kMemory);
      break;
    default:
      // A code the failing routine may not have explained (a missing output root, an
      // unsupported input): never let such a step end as a success.
      if (s->stepCode < 100) {
        hostMsg(848, 900, {rc});
        raiseStepCode(s->stepCode, step::kInternal);
      }
      break;
  }
  discardOutputs(s);
  if (!s->cleanupDone) finishStep(s);
  hostEndStep(s->stepCode);
}

void finishStep(VsfState* s) {
  s->timers.cleanup = hostClock();
  if (s->bridge) bridgeClose(s);
  freeResampleWork(&s->resampling);
  closeUtilFiles(&s->utilFiles, s->byPool);
  // A step that ended inside a BY group still holds the group's scratch file.
  closeScratchFile(&s->groupScratch, &s->extensions);
  closeScratchFile(&s->outDesignScratch, &s->extensions);
  releaseExtensions(s);
  zsysrand(&s->procedureSeed, 2);
  zeffbldfree();  // the effect records of the step go with it
  destroyPool(s->mainPool);
  destroyPool(s->byPool);
  destroyPool(s->pagePool);
  destroyPool(s->fifthPool);
  destroyPool(s->fourthPool);
  s->cleanupDone = 1;
  s->timers.cleanup = hostClock() - s->timers.cleanup;
}

void onHostTerminate() {
  VsfState* s = stateFromHost();
  if (!s) return;
  if (s->puddle.queue) destroyThreadPool(s);
  discardOutputs(s);
  if (!s->cleanupDone) finishStep(s);
}

}  // namespace vsf
