// zlev: the model set-up pass of one BY group. Collects and orders the CLASS levels and the
// continuous ranges, finds the level combinations each effect meets, runs the
// constructed-effect set-up, counts and names the design columns and equips the context with
// the crossproducts provider.
#include <cmath>
#include <cstring>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

int (*levDataPass)(ZLevCtx* ctx) = &zdatapass;

namespace {

// Members of a MULTIMEMBER effect must agree on MISSING; the option then wins over the
// multimember flag.
void checkMultimemberOptions(ZDesign* d) {
  for (int k = 0; k < d->designVarCount; ++k) {
    const ZDesignVar& v = d->designVars[k];
    if (v.type != effkind::kMultimember) continue;
    int set = 0;
    for (int m = 0; m < v.classCount; ++m) set += d->classVars[v.classMembers[m]].missingLevel != 0;
    if (set > 0 && set < v.classCount) {
      hostMsg(174, 85, {std::string_view(v.name ? v.name : "", static_cast<size_t>(v.nameLength))});
      hostEndStep(step::kStatement);
    }
  }
  for (int i = 0; i < d->classCount; ++i)
    if (d->classVars[i].missingLevel) d->classVars[i].multimember = 0;
}

void clearMoments(ZDesign* d) {
  for (MomentSums* m : d->moments) {
    if (!m) continue;
    for (int j = 0; j < d->modelVarCount; ++j) {
      if (m->sums) m->sums[j] = 0.0;
      if (m->squares) m->squares[j] = 0.0;
    }
  }
}

void installReader(ZLevCtx* ctx) {
  const bool request = (ctx->design->flags & dflag::kRequestReader) != 0;
  if (!ctx->start) ctx->start = request ? &zlevcbreset : &zlevcbbymode;
  if (!ctx->next) ctx->next = request ? &zlevNextObsRequest : &zlevNextObs;
  if (!ctx->fetch) ctx->fetch = &zlevFetch;
}

// The responses, weights, frequency and the first two row slots are found again by name in the
// data set now read (row slot 3 is not).
void resolveInReader(ZLevCtx* ctx) {
  HostDataSet* reader = ctx->alloc->reader;
  if (!reader) return;
  auto resolve = [&](LevelVar* v) {
    if (!v || !v->desc || v->desc->number < 0) return;
    int number = -1;
    hostv().ds->findVar(reader, v->desc->name, &number);
    v->desc->number = number;
  };
  for (int r = 0; r < ctx->responseCount; ++r) resolve(&ctx->responses[r]);
  for (int k = 0; k < ctx->weightCount; ++k) resolve(&ctx->weights[k]);
  resolve(ctx->frequency);
  resolve(ctx->rowSlots[0]);
  resolve(ctx->rowSlots[1]);
}

// A REF= value must be one of the variable's levels in this group; else its error names them.
bool referenceOccurs(const LevelizeWork* w, const LevelVar& v, int i) {
  ZTreeNode* root = w->levelTrees[i];
  std::vector<const char*> texts;
  for (ZTreeNode* p = ZTREORD(root); p; p = ZTREORD(root)) {
    texts.push_back(levelText(reinterpret_cast<LevelNode*>(p)));
    if (levRefMatches(v, texts.back())) {
      ztreend(root);
      return true;
    }
  }
  levRefAbsent(v, texts.data(), static_cast<int>(texts.size()));
  return false;
}

// Levels, orders and codings of the CLASS variables, ranges of the continuous ones from the
// collected work area. 0, or 2 when a REF= value does not occur.
int finishCollection(ZLevCtx* ctx, LevelizeWork* w) {
  ZDesign* d = ctx->design;
  for (int i = 0; i < d->classCount; ++i) {
    LevelVar& v = d->classVars[i];
    if (v.savedRef == 0)
      v.savedRef = v.refIndex;
    else
      v.refIndex = v.savedRef;
    if (v.refIndex == -3 && w->levelCounts[i] > 0 && !referenceOccurs(w, v, i)) {
      if (d->buildCode < step::kLevelization112) d->buildCode = step::kLevelization112;
      levelizeWorkFree(w);
      return levstatus::kReferenceAbsent;
    }
  }
  HostPool* pool = levAllocator(ctx);
  for (int i = 0; i < d->classCount; ++i) {
    LevelVar& v = d->classVars[i];
    v.levelCount = 0;
    if (w->levelCounts[i] > 0) v.levelCount = zlvlcollect(pool, w, d, i, &v.levelTexts);
  }
  for (int j = 0; j < d->modelVarCount; ++j) {
    LevelVar& v = d->modelVars[j];
    CenterRange cr;
    v.levelCount = zcenter(w, j, &cr);
    // No value in this group: the variable cannot be centred (never by an earlier group's
    // centre).
    v.center = v.levelCount == 0 ? missingValue('.') : cr.center;
    v.halfRange = v.levelCount == 0 ? missingValue('.') : cr.halfRange;
  }
  levelizeWorkFree(w);
  return 0;
}

bool nothingToAnalyse(const ZLevCtx* ctx) {
  const ZDesign* d = ctx->design;
  if (d->flags & dflag::kKeepMissing) return false;
  if (!ctx->filter)
    for (int i = 0; i < d->classCount; ++i)
      if (d->classVars[i].levelCount == 0) return true;
  for (int j = 0; j < d->modelVarCount; ++j)
    if (znotfinite(d->modelVars[j].center)) return true;
  return false;
}

// The context's per-observation arrays for this group.
void allocateRows(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  HostPool* pool = levAllocator(ctx);
  const size_t c = static_cast<size_t>(d->classCount);
  ctx->values = levArray<double>(pool, static_cast<size_t>(d->modelVarCount));
  ctx->levelIndexes = levArray<int32_t>(pool, c);
  ctx->formatted = levArray<char*>(pool, c);
  ctx->classState = levArray<uint8_t>(pool, c);
  ctx->responseLinks = levArray<int32_t*>(pool, static_cast<size_t>(ctx->responseCount));
  zlinkextra(ctx);
  int32_t largest = 0;
  for (size_t i = 0; i < c; ++i) {
    const LevelVar& v = d->classVars[i];
    ctx->formatted[i] =
        static_cast<char*>(levAlloc(pool, static_cast<size_t>(v.formattedWidth) + 1));
    if (v.levelCount > largest) largest = v.levelCount;
  }
  ctx->largestLevelCount = largest;
  ctx->levelScratch = static_cast<char*>(levAlloc(pool, static_cast<size_t>(largest) * 8));
}

void equipProvider(ZLevCtx* ctx) {
  SscpProvider& p = ctx->sscp;
  if (!p.obsUsable) p.obsUsable = &zobsusable;
  if (!p.obsUsableW) p.obsUsableW = &zobsusablew;
  p.context = ctx;
  p.responseCount = ctx->responseCount;
  p.responsePointers =
      levArray<double*>(levAllocator(ctx), static_cast<size_t>(ctx->responseCount));
  p.state = nullptr;
}

}  // namespace

void levPrepare(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  dropReadPlan(ctx);  // the last group's usage mask may be gone
  d->lagEffects = 0;
  checkMultimemberOptions(d);
  clearMoments(d);
  if (!d->freqVar) d->freqVar = ctx->frequency;
  if (!ctx->weights)
    ctx->weightCount = 0;
  else if (ctx->weightCount == 0)
    ctx->weightCount = 1;
  installReader(ctx);
  resolveInReader(ctx);
}

LevelizeWork* levCollect(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  HostDataSet* reader = ctx->alloc->reader;
  LevelizeWork* w = levelizeWorkNew(reader, d);
  // A step that ends while the levels are collected (memory refused to a worker, say) leaves
  // through here: the work area goes with it.
  struct FreeUnlessKept {
    LevelizeWork* w;
    ~FreeUnlessKept() { levelizeWorkFree(w); }
  } guard{w};
  w->start = &zlevcbfwd;
  w->next = &zlevWorkNext;
  w->fetch = &zlevWorkFetch;
  w->filter = ctx->filter ? &zlevFilterObs : nullptr;
  w->owner = ctx;
  // The threaded levelization takes over only when the context asks for threads.
  if (!ctx->threaded || !levelizeThreaded(ctx, w)) levelizeSequential(reader, w, d);
  guard.w = nullptr;
  return w;
}

int zlev(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  levPrepare(ctx);
  bool collect = (d->classCount > 0 && d->classVars[0].levelCount == 0) ||
                 (d->modelVarCount > 0 && d->modelVars[0].levelCount == 0);
  if (collect) {
    if (int status = finishCollection(ctx, levCollect(ctx))) return status;
  }
  for (int e = 0; e < d->effectCount; ++e)
    if (d->effects[e].keyCount > 0) d->effects[e].multipliers = nullptr;
  if (nothingToAnalyse(ctx)) return levstatus::kNoLevels;

  allocateRows(ctx);
  if (!(d->flags & dflag::kFullRank)) levCombinations(ctx);
  if (levDataPass(ctx) != 0) return levstatus::kConstructed;
  levColumnCounts(d);
  if (!(d->flags & dflag::kCountsOnly)) {
    for (int k = 0; k < d->designVarCount; ++k) zlvlname(ctx, &d->designVars[k]);
    if (d->flags & dflag::kFullRank) {
      int32_t* scratch =
          levArray<int32_t>(levAllocator(ctx), 3 * static_cast<size_t>(d->classCount));
      for (int e = 0; e < d->effectCount; ++e)
        if (d->effects[e].keyCount > 0) zeffncols(d, levAllocator(ctx), &d->effects[e], scratch);
      levFree(levAllocator(ctx), scratch);
    }
    levLevelTables(ctx);
    levParameterNames(ctx);
    if ((d->classCount > 0 || d->designVarCount > 0) && !d->shortParmNames)
      levUniqueNames(d, levAllocator(ctx));
  }
  equipProvider(ctx);
  return 0;
}

}  // namespace vsf
