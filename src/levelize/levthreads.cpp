// Threaded level collection: the group's observations are cut into runs of kChunkRows, each
// read and collected by the next worker free, on a context of its own, each worker's runs in
// increasing order. Each worker notes the observation at which it met each of its levels; the
// calling thread then merges the workers' levels in the order of those observations, and the
// runs' ranges in run order, so that the levels, their order, counts, first-seen ranks and
// least raw values are those of one pass. Workers run up to kDepth runs a worker ahead of the
// merge, each run's ranges kept in its crew slot.
#include <algorithm>
#include <cfloat>
#include <memory>
#include <vector>

#include "base/crew.h"
#include "base/host.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

constexpr int64_t kChunkRows = 4096;
constexpr int kDepth = 4;
constexpr const char* kWorkerFailed = "a worker thread failed";

struct CollectWorker {
  ZLevCtx* ctx = nullptr;
  LevelizeWork* work = nullptr;
  LevelNode* spare = nullptr;
  std::vector<std::vector<int64_t>> firstObs;  // per CLASS variable, by the worker's rank
};

// What a run leaves for the merge, in the crew slot it ran in.
struct RunRanges {
  std::vector<double> lo, hi;
  bool ended = false;  // the run reached the end of the group
};

struct Collection {
  ZLevCtx* ctx = nullptr;
  ObsRuns runs;
  std::vector<CollectWorker> workers;
  std::vector<RunRanges> slots;
  ~Collection() {
    for (CollectWorker& w : workers) {
      levelizeWorkFree(w.work);
      zlevclonefree(w.ctx);
    }
  }
};

int collectRun(const ObsRuns& runs, CollectWorker* w, RunRanges* out, int64_t run) {
  LevelizeWork* wk = w->work;
  ZDesign* d = w->ctx->design;
  // The observations' ranges go straight into the slot's.
  wk->minimum = out->lo.data();
  wk->maximum = out->hi.data();
  std::fill(out->lo.begin(), out->lo.end(), DBL_MAX);
  std::fill(out->hi.begin(), out->hi.end(), -DBL_MAX);
  const int64_t first = runs.start(run);
  zlevcloneseek(w->ctx, first);
  out->ended = true;
  for (int64_t k = 0; k < runs.length(run); ++k) {
    if (!wk->next(wk)) return 0;
    LevelNode* out = nullptr;
    levelizeObservation(nullptr, wk, d, &out, &w->spare);
    for (int i = 0; i < d->classCount; ++i) {
      auto& seen = w->firstObs[static_cast<size_t>(i)];
      if (static_cast<int64_t>(seen.size()) < wk->levelCounts[i]) seen.push_back(first + k);
    }
  }
  out->ended = false;
  return 0;
}

// Every worker's levels of variable i, in the order of their first observation.
void mergeLevels(Collection* c, LevelizeWork* into, int i) {
  struct Met {
    int64_t obs;
    const LevelNode* node;
  };
  std::vector<Met> met;
  for (CollectWorker& w : c->workers) {
    ZTreeNode* root = w.work->levelTrees[i];
    const auto& seen = w.firstObs[static_cast<size_t>(i)];
    for (ZTreeNode* p = ZTREORD(root); p; p = ZTREORD(root)) {
      const auto* n = reinterpret_cast<const LevelNode*>(p);
      met.push_back(Met{seen[static_cast<size_t>(n->firstSeen)], n});
    }
  }
  std::sort(met.begin(), met.end(), [](const Met& a, const Met& b) { return a.obs < b.obs; });
  for (const Met& m : met) levelizeMergeLevel(into, c->ctx->design, i, m.node);
}

bool prepare(Collection* c, LevelizeWork* w, int workers) {
  ZLevCtx* ctx = c->ctx;
  c->workers.resize(static_cast<size_t>(workers));
  for (CollectWorker& cw : c->workers) {
    const char* why = nullptr;
    cw.ctx = zlevclone(ctx, false, &why);
    if (!cw.ctx) {
      levNoteOneThread(ctx, OneThreadPass::kLevelize, "The levelization", why);
      return false;
    }
    cw.ctx->formattedRow = 1;
    cw.work = levelizeWorkNew(cw.ctx->alloc->reader, cw.ctx->design);
    cw.work->next = w->next;
    cw.work->fetch = w->fetch;
    cw.work->filter = nullptr;
    cw.work->owner = cw.ctx;
    cw.work->formattedRow = 1;
    cw.firstObs.resize(static_cast<size_t>(ctx->design->classCount));
  }
  const size_t vars = static_cast<size_t>(ctx->design->modelVarCount);
  c->slots.resize(static_cast<size_t>(workers) * kDepth);
  for (RunRanges& r : c->slots) {
    r.lo.resize(vars);
    r.hi.resize(vars);
  }
  return true;
}

}  // namespace

void levThreadedStop(ZLevCtx* ctx, const WorkCrew::Stop& why) {
  // The first failure, then the others'; of a failure raised (memory) the catcher's message
  // comes after these, and the others' are not told before it.
  hostMsg(174, why.waitFailed ? 55 : 56);
  if (why.others > 0 && !why.raised) hostMsg(174, 66);
  raiseStepCode(ctx->design->buildCode, step::kInternal);
}

void levNoteOneThread(ZLevCtx* ctx, OneThreadPass pass, std::string_view what,
                      std::string_view why) {
  const auto bit = static_cast<uint32_t>(pass);
  if (ctx->oneThreadNoted & bit) return;
  ctx->oneThreadNoted |= bit;
  hostMsg(848, 4960, {what, why});
}

int levelizeThreaded(ZLevCtx* ctx, LevelizeWork* w) {
  const int workers = zlevpassworkers(ctx, ctx->workers, ctx->groupWorkers,
                                      OneThreadPass::kLevelize, "The levelization", false);
  if (workers < 2) return 0;
  ZDesign* d = ctx->design;
  w->formattedRow = 1;
  w->start(w);
  Collection c;
  c.ctx = ctx;
  c.runs = zlevruns(ctx, kChunkRows);
  if (!prepare(&c, w, workers)) return 0;
  WorkCrew crew;
  if (!crew.start(
          workers,
          [&c](int worker, int64_t run) {
            RunRanges* out = &c.slots[static_cast<size_t>(run) % c.slots.size()];
            return collectRun(c.runs, &c.workers[static_cast<size_t>(worker)], out, run);
          },
          [ctx](const WorkCrew::Stop& why) { levThreadedStop(ctx, why); }, kDepth)) {
    levNoteOneThread(ctx, OneThreadPass::kLevelize, "The levelization",
                     "the host could not start its threads");
    return 0;
  }
  for (int64_t run = 0;; ++run) {
    // A worker that failed without raising an error leaves the levels to one thread: the
    // ranges merged so far are those of runs it will read again.
    if (crew.take(run) != 0) {
      levNoteOneThread(ctx, OneThreadPass::kLevelize, "The levelization", kWorkerFailed);
      return 0;
    }
    const RunRanges& r = c.slots[static_cast<size_t>(run) % c.slots.size()];
    levelizeMergeRange(w, d, r.lo.data(), r.hi.data());
    if (r.ended) break;
    crew.release(run);
  }
  crew.stop();
  for (int i = 0; i < d->classCount; ++i) mergeLevels(&c, w, i);
  return 1;
}

}  // namespace vsf
