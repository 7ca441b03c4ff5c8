// The INEST= data set of adaptive weights: bound once before the BY groups (one numeric
// variable per design parameter, named by the parameter, and an optional _TYPE_), then read
// per group up to its first PARMS row.
#include <cstring>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "effects/effects.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "levelize/levelize.h"

namespace vsf {

namespace {

// Parameter names come from a levelization of the whole input with names made.
int levelizeForNames(VsfState* s) {
  ZDesign* d = s->lev.design;
  d->flags = (d->flags | dflag::kRequestReader) & ~dflag::kCountsOnly;
  d->labelStyle = 0;  // INTERLACED: one name per design column
  s->levAlloc.allocator = hostv().proc->heapNew(0, 1024, 0x1004);
  int status = zlev(&s->lev);
  if (status == levstatus::kNoLevels) {
    hostMsg(848, 144);
    raiseStepCode(s->stepCode, step::kLevelization108);
  }
  return status;
}

// Binds _TYPE_ and every parameter's variable into its own slot of the estimates array.
int bindParameters(VsfState* s, HostDataSet* ds) {
  const ZDesign* d = s->lev.design;
  const HostDsFamily& f = *hostv().ds;
  InitialEstimatesBinding& b = s->res.inest;
  b.list = f.bindBegin(ds, b.parameterCount + 1);
  int number = -1;
  if (f.findVar(ds, "_TYPE_", &number) == 0)
    f.bindVar(b.list, number, b.typeValue, sizeof b.typeValue, kBindText);
  for (int32_t k = s->settings.options.noInt ? 1 : 0; k < b.parameterCount; ++k) {
    const char* name = d->parmNames[0] ? d->parmNames[0][k] : nullptr;
    std::string_view n = name ? std::string_view(name) : std::string_view();
    if (n.empty() || f.findVar(ds, n, &number) != 0 ||
        f.bindVar(b.list, number, &b.estimates[k], 8, kBindNumeric) != 0) {
      hostMsg(848, 235, {n});
      raiseStepCode(s->stepCode, step::kInternal);
      return rc::kInEstParameter;
    }
  }
  return 0;
}

// The estimates array bound to the data set's variables.
int bindEstimates(VsfState* s, HostDataSet* ds) {
  hostv().ds->mode(s->settings.inputReader, 'F');
  InitialEstimatesBinding& b = s->res.inest;
  b.parameterCount = s->lev.design->columnCount;
  if (b.parameterCount <= 0) {
    b.estimates = nullptr;
    return rc::kMemory;
  }
  b.estimates = static_cast<double*>(kernel().poolAlloc(
      s->res.mainPool, sizeof(double) * static_cast<size_t>(b.parameterCount), kAllocZero));
  if (!b.estimates) return rc::kMemory;
  fillDoubles(missingValue('.'), b.estimates, b.parameterCount);
  if (int rc = bindParameters(s, ds); rc != 0) return rc;
  hostv().ds->start(ds);
  hostv().ds->bindEnd(b.list);
  return 0;
}

}  // namespace

int openInitialEstimates(VsfState* s) {
  HostDataSet* ds = s->settings.initialEstimates;
  // Without the BY variables its rows are read on from group to group, as ever.
  if (hostv().ds->check(s->settings.inputReader, ds) == 1) {
    hostMsg(848, 233);
    raiseStepCode(s->stepCode, step::kLevelization108);
    return rc::kInEst;
  }
  ZDesign* d = s->lev.design;
  const uint8_t style = d->labelStyle;
  const uint32_t flags = d->flags;
  int rc = levelizeForNames(s) == 1 ? 1 : bindEstimates(s, ds);
  // The levelization for the names goes whatever happened.
  HostPool* heap = s->levAlloc.allocator;
  zlevfree(&s->lev, -1);
  if (heap) hostv().proc->heapFree(heap);
  s->levAlloc.allocator = nullptr;
  d->flags = flags;
  d->labelStyle = style;
  return rc;
}

int readInitialEstimates(VsfState* s) {
  HostDataSet* ds = s->settings.initialEstimates;
  SelectionState& sel = s->group.selection;
  if (int status = hostv().ds->verify(s->settings.inputReader, ds); status != 0) {
    hostMsg(848, 234);
    raiseStepCode(s->stepCode, step::kLevelization108);
    return status;
  }
  InitialEstimatesBinding& b = s->res.inest;
  while (hostv().ds->readNext(ds) == 1) {
    if (std::memcmp(b.typeValue, "PARMS", 5) == 0) {
      // Each estimate stays at its own parameter; a missing one stays missing there.
      sel.initialEstimates = b.estimates;
      return 0;
    }
  }
  // Without a PARMS row the last row read is no estimate of anything.
  hostMsg(848, 250);
  raiseStepCode(s->stepCode, step::kWarning);
  sel.initialEstimates = nullptr;
  return 0;
}

}  // namespace vsf
