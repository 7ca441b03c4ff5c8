// Worker contexts: a copy of the levelization context whose per-observation state (reader, row
// image, decoded values, level indexes, effect results) is its own, while the levels, codings
// and effect records stay shared and are only read.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/host.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

struct CloneRecord {
  ZLevCtx ctx;
  LevAllocRecord alloc;
  ZDesign design;
  LevelVar freq;
  LevelVar slots[3];
  std::vector<ZEffect> effects;
  std::vector<EffectResult> results;
  std::vector<double> values;
  std::vector<int32_t> levels;
  std::vector<int32_t*> links;
  std::vector<char*> formatted;
  std::vector<uint8_t> classState;
  std::vector<std::vector<char>> texts;
  std::vector<double> scratch;
};

bool plainReader(const ZLevCtx* ctx) {
  return (ctx->next == &zlevNextObs || ctx->next == &zlevNextObsRequest) &&
         (ctx->start == &zlevcbreset || ctx->start == &zlevcbbymode) && ctx->fetch == &zlevFetch;
}

// Why the group cannot be read by workers; null when it can.
const char* refusal(ZLevCtx* ctx, bool rows) {
  const ZDesign* d = ctx->design;
  if (!plainReader(ctx) || ctx->filter || ctx->rowHook) return "the observations are filtered";
  for (int i = 0; i < d->classCount; ++i)
    if (!d->classVars[i].desc || d->classVars[i].desc->number < 0)
      return "a CLASS variable is computed";
  if (rows && (d->designVarCount > 0 || d->lagEffects)) return "the model has constructed effects";
  return nullptr;
}

// The usage mask is made by the first observation that needs it; made now, it must not change
// what an observation before that one reads, so every used continuous variable must be marked.
bool maskReady(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  if (d->usageMask || !(d->flags & dflag::kFullRank)) return true;
  ModelUsageMask* m = buildUsageMask(ctx);
  for (int j = 0; j < d->modelVarCount; ++j)
    if (d->modelVars[j].desc && d->modelVars[j].desc->number >= 0 && m->cont[j] != '1')
      return false;
  d->usageMask = m;
  return true;
}

// Why the group cannot be read by workers, the usage mask made if it can; null when it can.
const char* cloneRefusal(ZLevCtx* ctx, bool rows) {
  const char* no = refusal(ctx, rows);
  if (!no && !maskReady(ctx)) no = "a CLASS variable's missing levels change what is read";
  return no;
}

}  // namespace

int zlevpassworkers(ZLevCtx* ctx, int asked, int paid, OneThreadPass pass, std::string_view what,
                    bool rows) {
  if (asked < 2) return 1;
  if (std::min(asked, paid) >= 2) return std::min(asked, paid);
  if (const char* why = cloneRefusal(ctx, rows)) levNoteOneThread(ctx, pass, what, why);
  return 1;
}

ZLevCtx* zlevclone(ZLevCtx* ctx, bool rows, const char** why) {
  const char* no = cloneRefusal(ctx, rows);
  HostDataSet* reader = no ? nullptr : hostv().ds->cloneReader(ctx->alloc->reader);
  if (!no && !reader) no = "the data set cannot be read twice";
  if (no) {
    if (why) *why = no;
    return nullptr;
  }
  const ZDesign* d = ctx->design;
  auto* r = new CloneRecord();
  r->ctx = *ctx;
  ZLevCtx* c = &r->ctx;
  r->alloc.reader = reader;
  r->alloc.allocator = ctx->alloc->allocator;
  c->alloc = &r->alloc;
  r->design = *d;
  r->effects.assign(d->effects, d->effects + d->effectCount);
  r->results.assign(d->results, d->results + d->effectCount);
  r->design.effects = r->effects.data();
  r->design.results = r->results.data();
  if (d->freqVar) {
    r->freq = *d->freqVar;
    r->design.freqVar = &r->freq;
  }
  c->design = &r->design;
  for (int k = 0; k < 3; ++k) {
    if (!ctx->rowSlots[k]) continue;
    r->slots[k] = *ctx->rowSlots[k];
    c->rowSlots[k] = &r->slots[k];
  }
  r->values.assign(static_cast<size_t>(d->modelVarCount) + 1, 0.0);
  r->levels.assign(static_cast<size_t>(d->classCount) + 1, -1);
  r->links.assign(static_cast<size_t>(ctx->responseCount) + 1, nullptr);
  r->formatted.assign(static_cast<size_t>(d->classCount) + 1, nullptr);
  r->texts.resize(static_cast<size_t>(d->classCount));
  for (int i = 0; i < d->classCount; ++i) {
    r->texts[static_cast<size_t>(i)].assign(static_cast<size_t>(d->classVars[i].formattedWidth) + 1,
                                            ' ');
    r->formatted[static_cast<size_t>(i)] = r->texts[static_cast<size_t>(i)].data();
  }
  r->scratch.assign(static_cast<size_t>(ctx->largestLevelCount) + 1, 0.0);
  c->values = r->values.data();
  c->levelIndexes = r->levels.data();
  c->responseLinks = r->links.data();
  c->formatted = r->formatted.data();
  r->classState.assign(static_cast<size_t>(d->classCount) + 1, 0);
  c->classState = r->classState.data();
  c->levelScratch = reinterpret_cast<char*>(r->scratch.data());
  c->designRow = nullptr;
  c->readPlan.reset();
  c->rowPlan.reset();
  c->fetchPlan.reset();
  c->threaded = 0;
  zlinkextra(c);
  zlevBindRows(c, 1);
  return c;
}

void zlevclonefree(ZLevCtx* clone) {
  if (!clone) return;
  auto* r = reinterpret_cast<CloneRecord*>(clone);
  dropReadPlan(clone);
  zlevReleaseRows(&r->alloc);
  hostv().ds->close(r->alloc.reader);
  delete r;
}

void zlevcloneseek(ZLevCtx* clone, int64_t k) { hostv().ds->seekObs(clone->alloc->reader, k); }

ObsRuns obsRuns(int64_t blockRows, int64_t groupFirst, int64_t preferred, int64_t most) {
  preferred = std::max<int64_t>(1, preferred);
  if (blockRows <= 0 || groupFirst < 0) return ObsRuns{preferred, preferred};
  // A block of more rows than a run may hold is cut into parts as equal as may be: a run may
  // then end in the next block, which it reads too.
  if (most > 0 && blockRows > most) {
    const int64_t parts = (blockRows + most - 1) / most;
    const int64_t rows = (blockRows + parts - 1) / parts;
    return ObsRuns{rows - groupFirst % blockRows % rows, rows};
  }
  // Whole blocks, as many as come nearest the preferred run and no more than `most` rows hold.
  int64_t blocks = std::max<int64_t>(1, (preferred + blockRows / 2) / blockRows);
  if (most > 0) blocks = std::min(blocks, std::max<int64_t>(1, most / blockRows));
  const int64_t rows = blockRows * blocks;
  return ObsRuns{rows - groupFirst % rows, rows};
}

ObsRuns zlevruns(const ZLevCtx* ctx, int64_t preferred, int64_t most) {
  HostDataSet* reader = ctx->alloc->reader;
  int64_t block = 0, groupFirst = -1;
  if (hostv().ds->attr(reader, dsattr::kBlockRows, &block) != 0 ||
      hostv().ds->attr(reader, dsattr::kGroupFirst, &groupFirst) != 0)
    block = 0;
  return obsRuns(block, groupFirst, preferred, most);
}

}  // namespace vsf
