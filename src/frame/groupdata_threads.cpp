// The analysis data's rows on the step's workers. The group's observations are cut into runs;
// the next worker free reads each run on a context of its own, decodes each observation and
// builds its design row, going on with its next run while this thread still reads its last
// one. This thread takes the runs back in order and does what depends on the order: the
// counts, the random draws of roles and folds, the packing into blocks and the sums. The rows,
// blocks and totals are those of a read on one thread, bit for bit.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/codes.h"
#include "base/crew.h"
#include "base/host.h"
#include "datapass/utilfiles.h"
#include "frame/groupdata_internal.h"
#include "levelize/levelize.h"

namespace vsf {

namespace {

// A run's rows take about this many bytes, so that the runs in flight stay small beside the
// stored rows.
constexpr int64_t kRunBytes = 2 << 20;
// Runs a worker may have read and not yet handed over: a worker that is done with its run goes
// on with its next one instead of waiting for this thread, and a worker the machine runs late
// holds up this thread less.
constexpr int kRunsAhead = 2;

// One observation of a run as the worker left it.
struct ReadObs {
  Observation obs;  // as read: status, response, weight, frequency
  bool finite = false;
  int32_t nValues = 0, nTags = 0;
  int64_t valueAt = 0, tagAt = 0;  // where its row's doubles and tags start
};

struct RunWorker {
  ZLevCtx* ctx = nullptr;
  DataPass pass;  // the row-building parts of the group's pass, on this worker's context
  std::vector<double> design;
};

// One run's rows as a worker read them, kept until this thread has taken them.
struct RunSlot {
  std::vector<ReadObs> obs;
  std::vector<double> values;  // rows' doubles, then (stored-model sums) model and design values
  std::vector<int32_t> tags;
  std::vector<double> model;    // per observation: its model-variable values
  std::vector<double> columns;  // per stored observation: its design row
  bool ended = false;
};

struct RunCrew {
  DataPass* p = nullptr;
  std::vector<RunWorker> workers;
  std::vector<RunSlot> slots;
  int64_t rowDoubles = 0, rowTags = 0;  // the most a row can take
  ObsRuns runs;
  bool sums = false;
  std::unique_ptr<PageSupply> supply;  // the writer's resident blocks, faulted in by workers
  int32_t pageLength = 0;
  ~RunCrew() {
    for (RunWorker& w : workers) zlevclonefree(w.ctx);
  }
};

template <typename T>
void grow(std::vector<T>* v, int64_t need) {
  const size_t n = static_cast<size_t>(need);
  if (v->size() < n) v->resize(std::max(n, v->size() + v->size() / 2));
}

void readRun(RunCrew* c, RunWorker* worker, RunSlot* w, int64_t run) {
  DataPass& wp = worker->pass;
  const int m = c->p->d->modelVarCount, columns = c->p->d->columnCount;
  w->obs.clear();
  w->model.clear();
  w->columns.clear();
  int64_t valueAt = 0, tagAt = 0;
  ZLevCtx* ctx = worker->ctx;
  zlevcloneseek(ctx, c->runs.start(run));
  w->ended = true;
  for (int64_t k = 0; k < c->runs.length(run); ++k) {
    if (!ctx->next(ctx)) return;
    ReadObs r;
    r.obs.status = zreadobs(ctx, &r.obs.y, &r.obs.w, &r.obs.f);
    if (c->sums) w->model.insert(w->model.end(), ctx->values, ctx->values + m);
    Observation fate = r.obs;
    double ignored = 0;
    if (observationFate(c->p, &fate, true, &ignored) == ObsFate::kStore) {
      grow(&w->values, valueAt + c->rowDoubles);
      grow(&w->tags, tagAt + c->rowTags);
      wp.values = w->values.data() + valueAt;
      wp.tags = w->tags.data() + tagAt;
      r.finite = buildDesignValues(&wp);
      r.nValues = wp.nValues;
      r.nTags = wp.nTags;
      r.valueAt = valueAt;
      r.tagAt = tagAt;
      valueAt += wp.nValues;
      tagAt += wp.nTags;
      if (c->sums && !wp.direct)
        w->columns.insert(w->columns.end(), wp.design, wp.design + columns);
    }
    w->obs.push_back(r);
  }
  w->ended = false;
  // The pages the rows read so far fill, rounded down: the pages left at the end of the pass
  // are memory that no block takes.
  if (c->supply) c->supply->prepare(8 * valueAt + 4 * tagAt);
}

// This thread's half of one run; 0 or the code ending the step.
int takeRun(RunCrew* c, RunSlot* w, ObsTagFile* tagFile) {
  DataPass* p = c->p;
  const int m = p->d->modelVarCount, columns = p->d->columnCount;
  double* const design = p->design;
  int64_t stored = 0;
  int rc = 0;
  for (size_t i = 0; i < w->obs.size() && rc == 0; ++i) {
    const ReadObs& r = w->obs[i];
    if (c->sums) p->obsValues = w->model.data() + static_cast<int64_t>(i) * m;
    if (r.nValues > 0) {
      p->values = w->values.data() + r.valueAt;
      p->tags = w->tags.data() + r.tagAt;
      p->nValues = r.nValues;
      p->nTags = r.nTags;
      if (c->sums && !p->direct) p->design = w->columns.data() + stored++ * columns;
    }
    int32_t tag = 0;
    rc = takeAnalysisObservation(p, r.obs, r.finite, &tag);
    if (rc == 0 && tagFile && appendObsTag(tagFile, tag) != 0) rc = obsTagsFailed(p);
  }
  p->design = design;
  return rc;
}

// Bytes a stored row of the layout takes as a worker keeps it: its values and tags, with one
// value of each sparse effect (the ones of a CLASS effect's columns), and the values of the
// stored model's sums.
int64_t rowBytes(const DataPass* p, bool sums) {
  const ColumnLayout& l = p->sel->layout;
  const int64_t sparse = p->direct ? 0 : l.sparseEffectCount;
  const int64_t values = p->lead + 1 + (p->direct ? p->p : l.denseValues + sparse);
  int64_t bytes = 8 * values + 4 * (2 + 2 * sparse) + static_cast<int64_t>(sizeof(ReadObs));
  if (sums) bytes += 8 * (p->d->modelVarCount + (p->direct ? 0 : p->d->columnCount));
  return bytes;
}

// The runs, of kRunBytes' worth of rows at most (cut within a block of more), fewer where the
// workers' buffers' bound leaves less to each run in flight; the workers whose runs in flight
// fit that bound.
int runWorkers(RunCrew* c, int workers) {
  DataPass* p = c->p;
  const double bound = p->s->res.workers.bufferBytes;
  const double row = static_cast<double>(rowBytes(p, c->sums));
  const double share = std::min<double>(kRunBytes, bound / (workers * kRunsAhead));
  const auto most = static_cast<int64_t>(std::max(1.0, share / row));
  const int64_t preferred = std::clamp<int64_t>(kRunBytes / (8 * c->rowDoubles), 256, 4096);
  c->runs = zlevruns(p->ctx, std::min(preferred, most), most);
  const double ahead =
      kRunsAhead * row * static_cast<double>(std::max(c->runs.first, c->runs.rows));
  return workersMemoryAllows(workers, bound, ahead);
}

// Why the pass reads its rows on this thread whatever its data; null when workers may read them.
const char* passRefusal(const DataPass* p) {
  if (p->s->settings.roleVariable.number >= 0) return "the roles come from a ROLE= variable";
  if (p->cv->method == kCvIndex && p->foldSlot && p->indexVariable.number >= 0)
    return "the folds come from a CVINDEX= variable";
  return nullptr;
}

// Why the rows are read on this thread; null when the workers can read them, as many as their
// buffers allow.
const char* prepare(RunCrew* c, int* workers) {
  DataPass* p = c->p;
  c->sums = p->s->group.modelSums.wanted;
  const int64_t columns = std::max(p->p, p->d->columnCount);
  c->rowDoubles = columns + 4;
  c->rowTags = 2 * columns + 3;
  *workers = runWorkers(c, *workers);
  if (*workers < 2) return "the rows its workers would read ahead do not fit the memory available";
  // The packing thread takes its fresh pages from the workers, at most the resident blocks
  // left and the runs' worth a worker may read ahead.
  const UtilFileArray& files = p->s->group.utilFiles;
  int64_t resident = 0;
  for (int32_t i = 0; i < files.count; ++i)
    resident +=
        std::max<int64_t>(0, files.records[i].residentCapacity - files.records[i].residentCount);
  c->pageLength = files.count > 0 ? files.records[0].pageLength : 0;
  if (c->pageLength > 0 && resident > 0) {
    const int64_t perRun = c->runs.rows * 8 * c->rowDoubles / c->pageLength + 2;
    c->supply = std::make_unique<PageSupply>(
        p->s->group.pagePool, c->pageLength,
        static_cast<size_t>(std::min<int64_t>(resident, *workers * kRunsAhead * perRun)));
  }
  c->workers.resize(static_cast<size_t>(*workers));
  c->slots.resize(static_cast<size_t>(*workers) * kRunsAhead);
  for (RunWorker& w : c->workers) {
    const char* why = nullptr;
    w.ctx = zlevclone(p->ctx, true, &why);
    if (!w.ctx) return why;
    DataPass& wp = w.pass;
    wp.s = p->s;
    wp.sel = p->sel;
    wp.o = p->o;
    wp.cv = p->cv;
    wp.ctx = w.ctx;
    wp.d = w.ctx->design;
    wp.cand = p->cand;
    wp.E = p->E;
    wp.p = p->p;
    wp.designRuns = p->designRuns;
    wp.direct = p->direct;
    wp.lead = p->lead;
    wp.foldSlot = p->foldSlot;
    wp.roleSlot = p->roleSlot;
    w.design.assign(static_cast<size_t>(p->d->columnCount) + 1, 0.0);
    wp.design = w.design.data();
  }
  return nullptr;
}

}  // namespace

bool readAnalysisRowsThreaded(DataPass* p, ObsTagFile* tags, int* rc) {
  const PassWorkers& step = p->s->res.stepWorkers;
  const PassWorkers& w = p->s->res.workers;
  if (!step.threaded || step.count < 2) return false;
  if (const char* why = passRefusal(p)) {
    levNoteOneThread(&p->s->lev, OneThreadPass::kDataPass, "The data pass", why);
    return false;
  }
  int workers = zlevpassworkers(&p->s->lev, step.count, w.threaded ? w.count : 1,
                                OneThreadPass::kDataPass, "The data pass", true);
  if (workers < 2) return false;
  RunCrew c;
  c.p = p;
  if (const char* why = prepare(&c, &workers)) {
    levNoteOneThread(&p->s->lev, OneThreadPass::kDataPass, "The data pass", why);
    return false;
  }
  WorkCrew crew;
  const int64_t slots = static_cast<int64_t>(c.slots.size());
  if (!crew.start(
          workers,
          [&c, slots](int worker, int64_t run) {
            readRun(&c, &c.workers[static_cast<size_t>(worker)],
                    &c.slots[static_cast<size_t>(run % slots)], run);
            return 0;
          },
          nullptr, kRunsAhead)) {
    levNoteOneThread(&p->s->lev, OneThreadPass::kDataPass, "The data pass",
                     "the host could not start its threads");
    return false;
  }
  double* const values = p->values;
  int32_t* const rowTags = p->tags;
  const double* const obsValues = p->obsValues;
  p->writer.supply = c.supply.get();
  *rc = 0;
  for (int64_t run = 0; *rc == 0; ++run) {
    if (crew.take(run) != 0) {
      // Only a worker that could not wait gets here (a job that throws raises its error).
      hostMsg(848, 4909);
      raiseStepCode(p->s->stepCode, step::kInternal);
      *rc = vsf::rc::kFailed;
      break;
    }
    RunSlot& w = c.slots[static_cast<size_t>(run % slots)];
    *rc = takeRun(&c, &w, tags);
    if (w.ended) break;
    crew.release(run);
  }
  crew.stop();
  p->writer.supply = nullptr;
  p->values = values;
  p->tags = rowTags;
  p->obsValues = obsValues;
  if (*rc == 0 && tags && flushObsTags(tags) != 0) *rc = obsTagsFailed(p);
  return true;
}

}  // namespace vsf
