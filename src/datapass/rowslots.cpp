// Row slots of the levelization context and variable lookups in other data sets.
#include "datapass/rowslots.h"

#include "base/codes.h"
#include "base/host.h"
#include "effects/effects.h"
#include "levelize/levelize.h"
#include "statements/settings.h"

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

void switchRowSlots(const StepSettings& settings, ZLevCtx* ctx, HostDataSet* reader,
                    VarDescriptor* const* classDescriptors, VarDescriptor* const* modelDescriptors,
                    VarDescriptor* response, VarDescriptor* weight, VarDescriptor* frequency) {
  ZDesign* d = ctx->design;
  for (int32_t c = 0; c < d->classCount; ++c)
    d->classVars[c].desc = classDescriptors ? classDescriptors[c] : nullptr;
  for (int32_t j = 0; j < d->modelVarCount; ++j)
    d->modelVars[j].desc = modelDescriptors ? modelDescriptors[j] : nullptr;
  if (settings.responseRecord) settings.responseRecord->desc = response;
  ctx->weights = weight && settings.weightRecord ? settings.weightRecord : nullptr;
  if (ctx->weights) ctx->weights->desc = weight;
  ctx->weightCount = ctx->weights ? 1 : 0;
  ctx->frequency = frequency && settings.freqRecord ? settings.freqRecord : nullptr;
  if (ctx->frequency) ctx->frequency->desc = frequency;
  // Another data set's CLASS values may be longer than every level: they are read whole.
  zlevreadwhole(ctx, reader != settings.inputReader);
  // The row images follow the reader: the next fetch binds them on this one.
  ctx->alloc->reader = reader;
}

void restoreRowSlots(const StepSettings& settings, ZLevCtx* ctx) {
  switchRowSlots(settings, ctx, settings.inputReader, settings.rowValueClass,
                 settings.rowValueModel, settings.rowValueResponse, settings.rowValueWeight,
                 settings.rowValueFreq);
  if (settings.inputReader) hostv().ds->start(settings.inputReader);
}

}  // namespace vsf
