// Row slots of the levelization context and variable lookups in other data sets.
#include "datapass/rowslots.h"

#include "base/codes.h"
#include "base/host.h"
#include "effects/effects.h"
#include "levelize/levelize.h"

namespace vsf {

int findLikeVariable(HostDataSet* ds, const VarDescriptor& like, VarDescriptor* found) {
  int number = -1;
  if (hostv().ds->findVar(ds, like.name, &number) != 0 ||
      hostv().ds->varByNumber(ds, number, found) != 0)
    return rc::kVarNotFound;
  if (found->type != like.type) return rc::kVarType;
  found->number = number;
  return 0;
}

void switchRowSlots(const AnalysisRowSlots& a, ZLevCtx* ctx, HostDataSet* reader,
                    VarDescriptor* const* classDescriptors, VarDescriptor* const* modelDescriptors,
                    VarDescriptor* response, VarDescriptor* weight, VarDescriptor* frequency) {
  ZDesign* d = ctx->design;
  for (int32_t c = 0; c < d->classCount; ++c)
    d->classVars[c].desc = classDescriptors ? classDescriptors[c] : nullptr;
  for (int32_t j = 0; j < d->modelVarCount; ++j)
    d->modelVars[j].desc = modelDescriptors ? modelDescriptors[j] : nullptr;
  if (a.responseRecord) a.responseRecord->desc = response;
  ctx->weights = weight && a.weightRecord ? a.weightRecord : nullptr;
  if (ctx->weights) ctx->weights->desc = weight;
  ctx->weightCount = ctx->weights ? 1 : 0;
  ctx->frequency = frequency && a.freqRecord ? a.freqRecord : nullptr;
  if (ctx->frequency) ctx->frequency->desc = frequency;
  // Another data set's CLASS values may be longer than every level: they are read whole.
  zlevreadwhole(ctx, reader != a.reader);
  // The row images follow the reader: the next fetch binds them on this one.
  ctx->alloc->reader = reader;
}

void restoreRowSlots(const AnalysisRowSlots& a, ZLevCtx* ctx) {
  switchRowSlots(a, ctx, a.reader, a.classDescriptors, a.modelDescriptors, a.response, a.weight,
                 a.frequency);
  if (a.reader) hostv().ds->start(a.reader);
}

}  // namespace vsf
