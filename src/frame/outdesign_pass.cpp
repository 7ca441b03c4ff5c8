// The separate OUTDESIGN pass of a step with a BY statement: its variables can be declared
// only once the largest selected model of all groups is known, so the BY groups are walked
// again after the loop, each levelized anew and its selected model restored from its result
// header, and each observation's design columns written.
#include <algorithm>

#include "averaging/averaging.h"
#include "base/codes.h"
#include "base/host.h"
#include "frame/host/values.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "levelize/levelize.h"
#include "selection/selection.h"

namespace vsf {

namespace {

// A group the pass could not levelize: its rows with every design column missing.
void unlevelizedRows(VsfState* s) {
  OutDesignColumns& des = s->outputs.design;
  for (double* slot : des.slots)
    if (slot) *slot = missingValue('.');
  if (des.role) std::fill(des.role, des.role + 8, ' ');
  HostDataSet* reader = s->settings.inputReader;
  hostv().ds->start(reader);
  while (hostv().ds->readNext(reader) > 0) hostv().ds->append(des.dataSet);
}

// One group: its levels, candidate table and result header, then its rows. 0 or a code.
int passGroup(VsfState* s, ObsTagReader* tags) {
  SelectionState& sel = s->group.selection;
  sel = SelectionState();
  sel.rules = &s->rules;
  sel.pathOptions = &s->pathOptions;
  sel.cv = &s->cv, sel.engine = &s->engine;
  sel.candidates = &s->group.candidates;
  sel.headerFile = s->res.outDesignScratch.file;
  sel.headerPosition = &s->res.outDesignHeaderEnd;
  if (!(sel.modelPool = kernel().poolCreate("by pool", kPoolPlain))) return rc::kPool;
  s->group.groupHeap = hostv().proc->heapNew(0, 1024, 4100);
  s->levAlloc.allocator = s->group.groupHeap;
  s->group.byGroupNumber += 1;
  if (s->outputs.design.by) *s->outputs.design.by = s->group.byGroupNumber;
  const double mark = hostClock();
  int rc = readResultHeader(&sel);
  // A group whose levelization failed has said why: levelizing it again would say it twice.
  const bool skipped = rc != 0 || sel.run.status == runstatus::kNotLevelized;
  const bool levelized = !skipped && levelizeByGroup(s) == 0;
  if (rc == 0 && levelized && s->settings.options.designPerByGroup)
    rc = buildParmCandidateTable(s->engine, s->group, s->lev.design, sel.modelPool);
  else if (rc == 0 && levelized)
    refreshCandidateTable(s->group, s->lev.design);
  if (rc == 0) {
    if (!levelized)
      unlevelizedRows(s);
    else
      rc = writeOutDesignGroup(&s->view, &s->lev, &sel, &s->outputs, tags);
  }
  s->res.timers.output += hostClock() - mark;
  freeSelectionState(&sel);
  zlevfree(&s->lev, -1);
  hostv().proc->heapFree(s->group.groupHeap);
  s->group.groupHeap = nullptr;
  return rc;
}

}  // namespace

int writeOutDesignPass(VsfState* s) {
  OutputData& data = s->outputs;
  // No group has a model, so no row has a design (the groups said why): no design data set,
  // as without a BY statement after a failed fit.
  if (data.outDesignDiscarded || data.design.largestColumns <= 0) {
    dropOutDesign(s);
    closeScratchFile(&s->res.outDesignScratch, &s->res.extensions);
    return 0;
  }
  const int32_t columns =
      s->settings.outDesignFullModel ? data.design.largestColumns : data.design.largestSelected;
  data.design.row.assign(static_cast<size_t>(data.design.largestColumns) + 1, 0.0);
  if (int rc = defineOutDesignPassVariables(&s->view, s->settings.outDesignDataSet, &data, columns);
      rc != 0)
    return rc;
  s->res.outDesignHeaderEnd = 0;
  s->group.byGroupNumber = 0;
  HostDataSet* reader = s->settings.inputReader;
  hostv().ds->setup(reader);
  ObsTagReader tags(&s->res.obsTags, 0);
  while (hostv().ds->nextByGroup(reader) > 0)
    if (int rc = passGroup(s, &tags); rc != 0) {
      if (rc == rc::kPool) return rc;
      checkPhaseRc(s, rc);
    }
  closeScratchFile(&s->res.outDesignScratch, &s->res.extensions);
  return 0;
}

}  // namespace vsf
