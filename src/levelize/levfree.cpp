// Key comparators of the level trees, the note on single-level CLASS variables and the
// release of a BY group's levelization.
#include <cstring>

#include "base/host.h"
#include "base/strings.h"
#include "levelize/levelize_internal.h"

namespace vsf {

int znamecmp(const void* a, const void* b, int, int keyOffset) {
  const char* sa = a ? static_cast<const char*>(a) + keyOffset : "";
  const char* sb = b ? static_cast<const char*>(b) + keyOffset : "";
  int c = zpadcmp(sa, zstrlen(sa), sb, zstrlen(sb));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int zsinglelvl(const ZLevCtx* ctx) {
  const ZDesign* d = ctx->design;
  for (int i = 0; i < d->classCount; ++i) {
    const LevelVar& v = d->classVars[i];
    if (v.levelCount == 1)
      hostMsg(172, 398, {std::string_view(v.desc ? v.desc->name : std::string())});
  }
  return 0;
}

namespace {

// The group's levels, combination tables and level tables. Blocks are freed one by one only
// when the group's memory is not released whole (mask bit 0x20).
void releaseLevels(ZLevCtx* ctx, bool wholeMemory) {
  ZDesign* d = ctx->design;
  HostPool* pool = wholeMemory ? nullptr : ctx->alloc->allocator;
  d->columnCount = 0;
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    int32_t* combinations = z.combinations;
    z.combinations = nullptr;
    z.combinationCount = 0;
    z.combinationTree = nullptr;
    if (z.levelTable != combinations && z.levelTable != z.codedLevels) levFree(pool, z.levelTable);
    levFree(pool, combinations);
    z.levelTable = nullptr;
    z.codedLevels = nullptr;
    z.levelTableWidth = 0;
  }
  for (int i = 0; i < d->classCount; ++i) {
    LevelVar& v = d->classVars[i];
    for (int k = 0; k < v.levelCount && v.levelTexts && pool; ++k) {
      levFree(pool, v.levelTexts[k]);
      if (v.levels && v.levels[k].text) levFree(pool, const_cast<char*>(v.levels[k].text));
    }
    levFree(pool, v.levelTexts);
    levFree(pool, v.lookupTexts);
    levFree(pool, v.lookupIndex);
    levFree(pool, v.levels);
    levFree(pool, v.codingMatrix);
    levFree(pool, v.levelSlots);
    v.levelSlots = nullptr;
    v.levelSlotMask = 0;
    v.levelCount = 0;
    v.levelTexts = v.lookupTexts = nullptr;
    v.lookupIndex = nullptr;
    v.levels = nullptr;
    v.codingMatrix = nullptr;
  }
  for (int j = 0; j < d->modelVarCount; ++j) d->modelVars[j].levelCount = 0;
  // The level names and columns of design variables are the group's, except a polynomial's
  // labels and columns, which its statement made.
  for (int k = 0; k < d->designVarCount; ++k) {
    ZDesignVar& v = d->designVars[k];
    if (v.type == effkind::kPolynomial) continue;
    for (int i = 0; v.labels && pool && i < v.columnCount; ++i) levFree(pool, v.labels[i]);
    levFree(pool, v.labels);
    levFree(pool, v.labelLengths);
    v.labels = nullptr;
    v.labelLengths = nullptr;
    v.longestLabel = 0;
    v.columnValues = nullptr;
    v.levelMaps = nullptr;
  }
  for (int e = 0; e < d->effectCount; ++e) d->effects[e].columnScales = nullptr;
  ctx->largestLevelCount = 0;
}

void releaseRows(ZLevCtx* ctx) {
  HostPool* pool = ctx->alloc->allocator;
  levFree(pool, ctx->levelIndexes);
  levFree(pool, ctx->values);
  levFree(pool, ctx->responseLinks);
  if (ctx->formatted)
    for (int i = 0; i < ctx->design->classCount; ++i) levFree(pool, ctx->formatted[i]);
  levFree(pool, ctx->formatted);
  levFree(pool, ctx->classState);
  levFree(pool, ctx->levelScratch);
  levFree(pool, ctx->sscp.responsePointers);
  ctx->levelIndexes = nullptr;
  ctx->values = nullptr;
  ctx->responseLinks = nullptr;
  ctx->formatted = nullptr;
  ctx->classState = nullptr;
  ctx->levelScratch = nullptr;
  ctx->sscp.responsePointers = nullptr;
}

}  // namespace

int zlevfree(ZLevCtx* ctx, int mask) {
  if (ctx && mask == -1) dropReadPlan(ctx);
  if (!ctx || !ctx->design || !ctx->alloc) return 0;
  const unsigned m = static_cast<unsigned>(mask);
  if (m & 0x01) releaseLevels(ctx, (m & 0x20) != 0);
  if (m & 0x02) releaseRows(ctx);
  if (m & 0x04) {
    ctx->start = nullptr;
    ctx->next = nullptr;
    ctx->fetch = nullptr;
    ctx->sscp.obsUsable = nullptr;
    ctx->sscp.obsUsableW = nullptr;
  }
  if (m & 0x08) ctx->sscp.state = nullptr;
  if (m & 0x10) zlevReleaseRows(ctx->alloc);
  if (m & 0x20) {
    dropReadPlan(ctx);
    ctx->design->usageMask = nullptr;
    // The group heap belongs to the step driver, which releases it after this; only a heap
    // made here for want of one goes now.
    if (ctx->alloc->ownsAllocator) levHeapFree(ctx->alloc->allocator);
    ctx->alloc->allocator = nullptr;
    ctx->alloc->ownsAllocator = 0;
  }
  return 0;
}

}  // namespace vsf
