// The combination pass: reads the group once more and keeps, per effect with a level key,
// the distinct tuples of level indexes its observations meet, as a table in key order. Under
// THREADS the workers read runs of the group, each keeping the keys it meets, and the calling
// thread joins their sets.
#include <cstring>
#include <memory>
#include <vector>

#include "base/crew.h"
#include "base/host.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

constexpr int kComboKeyOffset = static_cast<int>(sizeof(ZTreeNode));

int32_t* comboKey(ZTreeNode* node) {
  return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(node) + kComboKeyOffset);
}

// The observation's key of an effect: nesting levels, then crossed ones. False when a level is
// missing and missing levels are kept out.
bool fillKey(const ZEffect& z, const int32_t* levels, int32_t* key, bool skipMissing) {
  int at = 0;
  for (int i = 0; i < z.nestCount; ++i) key[at++] = levels[z.nest[i]];
  for (int i = 0; i < z.crossCount; ++i) key[at++] = levels[z.cross[i]];
  if (skipMissing)
    for (int i = 0; i < at; ++i)
      if (key[i] < 0) return false;
  return true;
}

// Rows of the table: crossed levels first, then nesting ones.
void layOut(ZEffect& z, HostPool* pool) {
  const int k = z.keyCount;
  z.combinations = levArray<int32_t>(pool, static_cast<size_t>(z.combinationCount) * k);
  int32_t* row = z.combinations;
  for (ZTreeNode* p = ZTREORD(z.combinationTree); p; p = ZTREORD(z.combinationTree)) {
    const int32_t* key = comboKey(p);
    std::memcpy(row, key + z.nestCount, sizeof(int32_t) * static_cast<size_t>(z.crossCount));
    std::memcpy(row + z.crossCount, key, sizeof(int32_t) * static_cast<size_t>(z.nestCount));
    row += k;
  }
  z.combinationTree = nullptr;
}

// The distinct keys met so far, per effect: a tree in key order with a hashed front index.
struct ComboSet {
  HostPool* heap = nullptr;
  std::vector<ZTreeNode*> spare, trees;
  std::vector<int32_t> counts;
  std::vector<LevHashIndex> met;
  explicit ComboSet(const ZDesign* d) : heap(levHeapNew(0)) {
    const size_t n = static_cast<size_t>(d->effectCount);
    spare.assign(n, nullptr);
    trees.assign(n, nullptr);
    counts.assign(n, 0);
    met.resize(n);
    for (size_t e = 0; e < n; ++e)
      levHashInit(&met[e], heap, 4 * d->effects[e].keyCount, kComboKeyOffset);
  }
  ~ComboSet() { levHeapFree(heap); }
  ComboSet(const ComboSet&) = delete;
  ComboSet& operator=(const ComboSet&) = delete;

  // The node the next key is written into.
  int32_t* next(size_t e, int k) {
    if (!spare[e])
      spare[e] = static_cast<ZTreeNode*>(
          levAlloc(heap, static_cast<size_t>(kComboKeyOffset) + 4 * static_cast<size_t>(k)));
    return comboKey(spare[e]);
  }
  // Keeps the key written into next(e) when it is new.
  void keep(size_t e, int k) {
    ZTreeNode* node = spare[e];
    const uint64_t hash = levHashBytes(comboKey(node), 4 * k);
    if (levHashFind(&met[e], comboKey(node), hash)) return;
    if (ztrebld(&trees[e], node, 4 * k, kComboKeyOffset, &zidxcmp) != node) return;
    ++counts[e];
    levHashAdd(&met[e], node, hash);
    spare[e] = nullptr;
  }
};

// Reads the current observation and keeps the key each effect meets.
void addObservation(ZLevCtx* ctx, ComboSet* set, double* responses) {
  ZDesign* d = ctx->design;
  const bool reads = !(d->flags & dflag::kNoResponseRead);
  const bool keepMissing = (d->flags & dflag::kKeepMissing) != 0;
  double weight = 0.0, frequency = 0.0;
  uint32_t s = zreadobs(ctx, reads ? responses : nullptr, reads ? &weight : nullptr,
                        reads ? &frequency : nullptr);
  if (!keepMissing && (s & ~(obs::kClassMissing | obs::kAllMissing)) != 0) return;
  for (int e = 0; e < d->effectCount; ++e) {
    const ZEffect& z = d->effects[e];
    const int k = z.keyCount;
    if (k == 0) continue;
    if (fillKey(z, ctx->levelIndexes, set->next(static_cast<size_t>(e), k), keepMissing))
      set->keep(static_cast<size_t>(e), k);
  }
}

constexpr int64_t kRunRows = 4096;
constexpr int kDepth = 4;  // runs a worker may be ahead of the calling thread

struct ComboWorker {
  ZLevCtx* ctx = nullptr;
  std::unique_ptr<ComboSet> set;
  std::vector<double> responses;
};

// The keys of the group on the context's workers, each run of the observations on the next
// worker free, added to *into (the set of keys does not depend on the order they are met in). False
// when the workers cannot read the group.
bool threadedCombinations(ZLevCtx* ctx, ComboSet* into) {
  const int workers =
      zlevpassworkers(ctx, ctx->workers, ctx->groupWorkers, OneThreadPass::kCombinations,
                      "The level combinations pass", true);
  if (workers < 2) return false;
  ZDesign* d = ctx->design;
  ctx->start(ctx);
  std::vector<ComboWorker> crewWorkers(static_cast<size_t>(workers));
  struct Release {
    std::vector<ComboWorker>* w;
    ~Release() {
      for (ComboWorker& c : *w) zlevclonefree(c.ctx);
    }
  } release{&crewWorkers};
  for (ComboWorker& w : crewWorkers) {
    const char* why = nullptr;
    w.ctx = zlevclone(ctx, true, &why);
    if (!w.ctx) {
      levNoteOneThread(ctx, OneThreadPass::kCombinations, "The level combinations pass", why);
      return false;
    }
    w.set = std::make_unique<ComboSet>(d);
    w.responses.assign(static_cast<size_t>(ctx->responseCount) + 1, 0.0);
  }
  const ObsRuns runs = zlevruns(ctx, kRunRows);
  // Per crew slot: its run reached the end of the group.
  std::vector<char> ended(static_cast<size_t>(workers) * kDepth, 0);
  WorkCrew crew;
  if (!crew.start(
          workers,
          [&crewWorkers, &runs, &ended](int worker, int64_t run) {
            ComboWorker& w = crewWorkers[static_cast<size_t>(worker)];
            char& end = ended[static_cast<size_t>(run) % ended.size()];
            zlevcloneseek(w.ctx, runs.start(run));
            end = 1;
            for (int64_t k = 0; k < runs.length(run); ++k) {
              if (!w.ctx->next(w.ctx)) return 0;
              addObservation(w.ctx, w.set.get(), w.responses.data());
            }
            end = 0;
            return 0;
          },
          [ctx](const WorkCrew::Stop& why) { levThreadedStop(ctx, why); }, kDepth))
    return false;
  for (int64_t run = 0;; ++run) {
    // A worker that failed without raising an error: the whole pass again on one thread.
    if (crew.take(run) != 0) {
      levNoteOneThread(ctx, OneThreadPass::kCombinations, "The level combinations pass",
                       "a worker thread failed");
      return false;
    }
    if (ended[static_cast<size_t>(run) % ended.size()]) break;
    crew.release(run);
  }
  crew.stop();
  for (ComboWorker& w : crewWorkers) {
    for (int e = 0; e < d->effectCount; ++e) {
      const int k = d->effects[e].keyCount;
      ZTreeNode* root = w.set->trees[static_cast<size_t>(e)];
      for (ZTreeNode* p = ZTREORD(root); p; p = ZTREORD(root)) {
        std::memcpy(into->next(static_cast<size_t>(e), k), comboKey(p), 4 * static_cast<size_t>(k));
        into->keep(static_cast<size_t>(e), k);
      }
    }
  }
  return true;
}

}  // namespace

void levCombinations(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    z.combinationCount = z.keyCount == 0 ? 1 : 0;
    z.combinations = nullptr;
    z.combinationTree = nullptr;
  }
  if (d->classCount == 0) return;
  ComboSet set(d);
  if (!ctx->threaded || !threadedCombinations(ctx, &set)) {
    std::vector<double> responses(static_cast<size_t>(ctx->responseCount) + 1);
    ctx->start(ctx);
    while (ctx->next(ctx)) addObservation(ctx, &set, responses.data());
  }
  HostPool* pool = levAllocator(ctx);
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    if (z.keyCount == 0) continue;
    z.combinationTree = set.trees[static_cast<size_t>(e)];
    z.combinationCount = set.counts[static_cast<size_t>(e)];
    layOut(z, pool);
  }
}

}  // namespace vsf
