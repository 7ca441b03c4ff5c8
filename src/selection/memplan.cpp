// The data-pass memory plan: how many workers fit the memory the host reports free, and how
// many blocks of each utility file stay in memory.
#include <algorithm>
#include <string>

#include "base/codes.h"
#include "selection/group.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

constexpr int64_t kMostBuffers = 2147483647;

// Steps a selection may record, as the model pool will size them.
int64_t stepEstimate(const EngineOptions& o, int64_t E) {
  const int64_t e1 = E - (o.noInt ? 1 : 0), M = o.maxSteps;
  auto capped = [M](int64_t x) { return M > 0 && M < x ? M : x; };
  const MethodFamily family = methodFamily(o.method);
  if (family.kind == MethodKind::kNone) return e1;
  int64_t s;
  if (family.byOptimizer())
    s = capped(o.forcedEffects + 100);
  else
    s = capped(methodInfo(o.method).moves == MethodMoves::kBoth ? 2 * e1 : e1);
  if (o.maxEffects > 0 && o.maxEffects < s) s = o.maxEffects;
  return s;
}

// The doubles of the widest sums a pass adds up: the packed crossproducts of every column where
// they are built in one pass; with the per-effect store, built effect by effect, an entering
// effect's store rows (its columns by every column) with the running scores' row beside them,
// or the model's own crossproducts (of at most 1,000 columns, as the matrices are sized below).
int64_t widestSums(const EngineOptions& o, int64_t m, int64_t widest) {
  const int64_t packed = (m + 1) * (m + 2) / 2;
  if (o.buildFullSscp || !o.effectStore) return packed;
  const int64_t model = std::min<int64_t>(m, 1000);
  return std::min(packed, std::max((widest + 1) * (m + 1), (model + 1) * (model + 2) / 2));
}

// Bytes one worker of a threaded pass needs for its file's page buffers, the matrices and the
// step history, and the sums of its blocks that wait for their turn. `widest`: the columns of
// the widest effect.
int64_t workerNeed(const EngineOptions& o, const UtilFileRecord& f, int64_t E, int64_t steps,
                   int64_t widest) {
  int64_t m = f.columnCount, s = steps;
  const auto sums = static_cast<uint32_t>(std::min<int64_t>(widestSums(o, m, widest), UINT32_MAX));
  if (!o.buildFullSscp && m >= 1000) m = 1000, s = 1000;
  const int64_t q = (m + 1) * (m + 2);
  int64_t need = 2 * static_cast<int64_t>(f.pageLength) + m + 8 * (m + q + 2 * s) + 12 * s;
  if (o.method != kMethodNone) need += 9 * E + 8 * q;
  if (o.hierarchy != 0) need += 8 * E;
  if (!o.buildFullSscp && o.effectStore) need += 8 * m * s;
  return need + static_cast<int64_t>(orderedSumBytes(sums));
}

// The per-effect store's rows past the 1,000 columns workerNeed counts of them: the rows of a
// model of at most 1,000 columns are every column wide (at 20,001 columns 152 MB more), and
// each fold keeps its own. One store serves every worker, so it is counted once, out of the
// memory the workers and the stored rows share.
int64_t wideStoreBytes(const EngineOptions& o, const GroupState& g, const UtilFileRecord& f,
                       int64_t steps) {
  if (o.buildFullSscp || !o.effectStore || f.columnCount < 1000) return 0;
  const CvOptions* cv = g.selection.cv;
  const int64_t copies = 1 + (cv && cv->kfold ? std::max(cv->folds, 0) : 0);
  return 8 * copies * std::min<int64_t>(steps, 1000) * (f.columnCount + 1 - 1000);
}

// Lowers the workers to those whose needs fit the resident blocks' budget, with a note.
void fitWorkers(const EngineOptions& o, PassWorkers& w, double budget, int64_t total,
                int64_t largest) {
  if (!w.threaded || w.count <= 1 || static_cast<double>(total) < budget) return;
  const int32_t fit = workersMemoryAllows(w.count, budget, static_cast<double>(largest));
  if (fit < 2) {
    w.threaded = 0;
    w.count = 1;
    hostMsg(848, 113);
  } else if (fit < w.count) {
    w.count = fit;
    hostMsg(848, 114, {fit, o.requestedWorkers});
  }
}

// The resident blocks' budget beside `total` bytes of the workers' needs.
double residentBudget(int64_t free, int64_t total) {
  return free >= total ? 0.6 * static_cast<double>(free - total) : 0.0;
}

int64_t effectsOf(const GroupState& g) {
  return g.candidates.count > 0 ? g.candidates.count : g.selection.layout.effectCount;
}

// The columns of the group's widest candidate; every column of the file when there is no table.
int64_t widestEffect(const GroupState& g, const UtilFileRecord& f) {
  if (g.candidateTable.empty()) return f.columnCount;
  int64_t widest = 0;
  for (const CandidateEntry& c : g.candidateTable) widest = std::max<int64_t>(widest, c.columns);
  return widest;
}

// The files the plan counts: a small group has fewer than the step's workers, and the plan is the
// step's, whose larger groups have a file a worker, so that whether a group fits does not hang
// on its size.
int32_t plannedFiles(const UtilFileArray& files, const PassWorkers& workers) {
  return workers.threaded && workers.count > files.count ? workers.count : files.count;
}

// Sums need(file) over the planned files, a file the group lacks counted as its largest.
template <typename Need>
int64_t plannedTotal(const UtilFileArray& files, const PassWorkers& workers, Need need,
                     int64_t* largest) {
  int64_t total = 0;
  *largest = 0;
  for (int32_t i = 0; i < files.count; ++i) {
    const int64_t one = need(files.records[i]);
    total += one;
    *largest = std::max(*largest, one);
  }
  return total + (plannedFiles(files, workers) - files.count) * *largest;
}

// UTIL_BUFFERS$= keeps that many pages of each utility file in memory, which must fit it.
bool givenBuffersFit(const EngineOptions& o, const UtilFileArray& files,
                     const PassWorkers& workers) {
  if (o.utilBuffers <= 0 || files.count == 0) return true;
  int64_t largest = 0;
  const int64_t bytes = plannedTotal(
      files, workers,
      [](const UtilFileRecord& f) { return static_cast<int64_t>(f.pageLength + sizeof(void*)); },
      &largest);
  const long long pages = static_cast<long long>(o.utilBuffers) * plannedFiles(files, workers);
  return optionFitsMemory("UTIL_BUFFERS$", std::to_string(o.utilBuffers),
                          static_cast<double>(bytes) * o.utilBuffers,
                          hostMsgText(848, 6156, {pages}));
}

}  // namespace

void planWorkers(const EngineOptions& o, const GroupState& g, const UtilFileRecord& first,
                 PassWorkers& workers) {
  const int64_t E = effectsOf(g), steps = stepEstimate(o, E);
  const int64_t available = hostv().core->memAvail();
  const int64_t need = workerNeed(o, first, E, steps, widestEffect(g, first));
  if (available <= 0) return;  // the plan says so
  const int64_t free = available - wideStoreBytes(o, g, first, steps);
  const int64_t total = need * workers.count;
  fitWorkers(o, workers, residentBudget(free, total), total, need);
}

int planStepHistory(const EngineOptions& o, GroupState& g, PassWorkers& workers, int& stepCode) {
  const int64_t E = effectsOf(g);
  const int64_t steps = stepEstimate(o, E);
  const int64_t available = hostv().core->memAvail();
  if (available <= 0) {
    hostMsg(848, 145);
    raiseStepCode(stepCode, step::kInternal);
    return rc::kNoMemoryLeft;
  }
  UtilFileArray& files = g.utilFiles;
  if (!givenBuffersFit(o, files, workers)) {
    raiseStepCode(stepCode, step::kMemory);
    return rc::kNoMemoryLeft;
  }
  const int64_t free =
      files.count > 0 ? available - wideStoreBytes(o, g, files.records[0], steps) : available;
  int64_t largest = 0;
  const int64_t total = plannedTotal(
      files, workers,
      [&](const UtilFileRecord& f) { return workerNeed(o, f, E, steps, widestEffect(g, f)); },
      &largest);
  const double budget = residentBudget(free, total);
  fitWorkers(o, workers, budget, total, largest);
  // A pass's buffers of every worker may take their needs and half of what the resident
  // blocks leave.
  const double left = std::max<double>(static_cast<double>(free - total), 0.0) - budget;
  workers.bufferBytes = static_cast<double>(workers.count * largest) + 0.5 * left;
  for (int32_t i = 0; i < files.count; ++i) {
    UtilFileRecord& f = files.records[i];
    double n = o.utilBuffers > 0 ? o.utilBuffers : budget / files.count / std::max(f.pageLength, 1);
    const int64_t buffers =
        std::clamp<int64_t>(static_cast<int64_t>(std::min(n, 1e18)), 1, kMostBuffers);
    // The list of resident blocks grows as they come (endUtilBlock).
    f.residentCapacity = buffers;
    f.residentCount = 0;
  }
  return 0;
}

}  // namespace vsf
