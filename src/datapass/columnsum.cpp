// The threaded pass of a kernel summed by ranges of columns: every stored row's values, a block
// at a time on whichever worker is free; then each range of columns over every block in the
// global order, a range at a time on whichever worker is free.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/blocksum_internal.h"
#include "datapass/columnsum_internal.h"
#include "datapass/pass.h"
#include "datapass/utilfiles.h"
#include "datapass/workqueue.h"

namespace vsf {

namespace {

// Ranges of columns a worker: a worker the machine's other work holds up leaves the ranges it
// has not taken to the others. Each range walks every stored row, so more of them cost CPU (on
// 1,000 rows of 20,001 columns and 8 workers, 8 a worker took a third more than 2).
constexpr int64_t kRangesPerWorker = 2;
// The fewest columns of a range: each range walks every stored row.
constexpr int64_t kNarrowest = 64;
// Blocks of fewer rows than this many a worker, on average, are summed by columns: adding so
// many blocks' sums one after another would take about as long as the workers take to make them.
constexpr int64_t kRowsPerWorker = 8;

// Every block in the global order and the rows before each (one more: every row); false when
// a block is on a page.
bool blocksInMemory(const UtilFileArray* a, std::vector<PageView>* blocks,
                    std::vector<int64_t>* rowsBefore) {
  int64_t longest = 0;
  for (int32_t i = 0; i < a->count; ++i) {
    if (a->records[i].pageCount > 0) return false;
    longest = std::max(longest, a->records[i].residentCount);
  }
  int64_t rows = 0;
  for (int64_t k = 0; k < longest * a->count; ++k) {
    const UtilFileRecord& f = a->records[blockFile(a, k)];
    const int64_t j = blockLocal(a, k);
    if (j >= f.residentCount) continue;
    const PageView v{static_cast<char*>(f.residentBlocks[j]), f.pageLength};
    blocks->push_back(v);
    rowsBefore->push_back(rows);
    rows += blockRowCount(v);
  }
  rowsBefore->push_back(rows);
  return true;
}

// How a pass splits the result's columns.
struct Ranges {
  uint32_t rows = 0, columns = 0, width = 0;
  int64_t count = 0;
};

Ranges rangesOf(const PassState* s, const RowKernel& k, int32_t count, int32_t workers,
                uint32_t result) {
  Ranges r;
  r.columns = k.split->columns(s, count);
  if (r.columns == 0 || result % r.columns != 0) return r;
  r.rows = result / r.columns;
  const int64_t ranges = std::min<int64_t>(kRangesPerWorker * workers, r.columns / kNarrowest);
  if (ranges < 2) return r;
  r.width = static_cast<uint32_t>((r.columns + ranges - 1) / ranges);
  r.count = (r.columns + r.width - 1) / r.width;
  return r;
}

// A pass summed by columns: its ranges and every block in the global order, with the rows
// before each (one more: every row).
struct ColumnPlan {
  Ranges ranges;
  std::vector<PageView> blocks;
  std::vector<int64_t> rowsBefore;
};

// Whether a threaded pass of the kernel is summed by columns (sumsByColumns), and its plan.
bool planColumns(const PassState* s, const RowKernel& k, int32_t count, int32_t workers,
                 uint32_t result, ColumnPlan* plan) {
  if (!k.split || k.finish || result == 0) return false;
  const Ranges& r = plan->ranges = rangesOf(s, k, count, workers, result);
  if (r.count < 2) return false;
  if (!blocksInMemory(s->utilFiles, &plan->blocks, &plan->rowsBefore) || plan->blocks.empty())
    return false;
  const int64_t rows = plan->rowsBefore.back();
  if (rows >= kRowsPerWorker * workers * static_cast<int64_t>(plan->blocks.size())) return false;
  // Its buffers take no more than the block by block pass's, which the memory plan allows.
  const double bytes = 8.0 * static_cast<double>(rows) * k.split->rowValues(s, count) +
                       8.0 * workers * r.rows * r.width;
  const uint32_t total = result + (k.scratchLength ? k.scratchLength(s, count) : 0);
  return bytes <= workers * passWorkerBytes(result, total);
}

// What the workers of a pass share.
struct ColumnPass {
  PassState* state = nullptr;
  const ColumnSplit* split = nullptr;
  ColumnPlan plan;
  uint32_t perRow = 0;       // values a row
  double* values = nullptr;  // every row's, in the global order
  double* sum = nullptr;
  bool weighing = true;          // the first phase
  std::atomic<int64_t> next{0};  // the next block or range to take
  std::atomic<bool> failed{false};
};

// The first phase: the values of the rows of each block nobody has taken.
int weighBlocks(ColumnPass* p) {
  for (;;) {
    const auto b = static_cast<size_t>(p->next.fetch_add(1, std::memory_order_relaxed));
    const ColumnPlan& plan = p->plan;
    if (b >= plan.blocks.size() || p->failed) return 0;
    double* values = p->values + plan.rowsBefore[b] * p->perRow;
    if (int rc = p->split->weigh(p->state, &plan.blocks[b], values); rc != 0) {
      p->failed = true;
      return rc;
    }
  }
}

// The second: each range nobody has taken, its part of every block's sum made in `buffer` and
// added into the pass's sum in the global block order.
int sumRanges(ColumnPass* p, double* buffer) {
  const ColumnPlan& plan = p->plan;
  const Ranges& r = plan.ranges;
  for (;;) {
    const int64_t at = p->next.fetch_add(1, std::memory_order_relaxed);
    if (at >= r.count || p->failed) return 0;
    const uint32_t lo = static_cast<uint32_t>(at) * r.width;
    const uint32_t n = std::min(r.columns - lo, r.width);
    for (uint32_t q = 0; q < r.rows; ++q)
      std::memset(p->sum + static_cast<size_t>(q) * r.columns + lo, 0, sizeof(double) * n);
    for (size_t b = 0; b < plan.blocks.size(); ++b) {
      std::memset(buffer, 0, sizeof(double) * n * r.rows);
      const double* values = p->values + plan.rowsBefore[b] * p->perRow;
      if (int rc = p->split->sum(p->state, &plan.blocks[b], values, buffer, lo, lo + n); rc != 0) {
        p->failed = true;
        return rc;
      }
      for (uint32_t q = 0; q < r.rows; ++q)
        addInto(p->sum + static_cast<size_t>(q) * r.columns + lo,
                buffer + static_cast<size_t>(q) * n, n);
    }
  }
}

// The pass's items and buffers, given back however it ends (a worker's exception comes through
// the wait): the sum, the rows' values and the workers' buffers in one piece, the files' kept
// one where it is small enough.
struct PassBuffers {
  PassState* state;
  ZWorkItem* items = nullptr;
  double* own = nullptr;
  ~PassBuffers() {
    kernel().poolFree(state->modelPool, items);
    kernel().poolFree(state->modelPool, own);
    state->puddle->items = nullptr;
  }
  double* take(size_t count) {
    const size_t bytes = sizeof(double) * std::max<size_t>(count, 1);
    UtilFileArray* files = state->utilFiles;
    if (keepsSlots(files, bytes)) return keptSlots(files, bytes);
    return own = static_cast<double*>(kernel().poolAlloc(state->modelPool, bytes, 0));
  }
};

// Runs one phase on every worker. 0 or the first nonzero result in the order of the items.
int runPhase(PassState* s, ZWorkItem* items, int32_t workers) {
  for (int32_t i = 0; i < workers; ++i) zpudleq(s->puddle, &items[i]);
  zpudlwt(s->puddle);
  for (int32_t i = 0; i < workers; ++i)
    if (items[i].result != 0) return items[i].result;
  return 0;
}

// Runs a planned pass: its buffers, then both phases on every worker.
int sumPlannedColumns(ColumnPass* p, const RowKernel& k, int32_t count, int32_t workers,
                      uint32_t result) {
  PassState* s = p->state;
  PassBuffers held{s};
  const size_t values = static_cast<size_t>(p->plan.rowsBefore.back()) * p->perRow;
  const size_t buffer = static_cast<size_t>(p->plan.ranges.rows) * p->plan.ranges.width;
  double* room = held.take(result + values + buffer * workers);
  held.items = static_cast<ZWorkItem*>(
      kernel().poolAlloc(s->modelPool, sizeof(ZWorkItem) * workers, kAllocZero));
  if (!room || !held.items) return rc::kMemory;
  p->sum = room;
  p->values = room + result;
  for (int32_t i = 0; i < workers; ++i)
    held.items[i] = ZWorkItem{.file = &s->utilFiles->records[i],
                              .state = s,
                              .kernel = &k,
                              .buffer = room + result + values + i * buffer,
                              .argument = count,
                              .columns = p};
  s->puddle->items = held.items;
  int rc = runPhase(s, held.items, workers);
  if (rc != 0) return rc;
  p->weighing = false;
  p->next = 0;
  if ((rc = runPhase(s, held.items, workers)) != 0) return rc;
  if (k.merge) k.merge(s, p->sum, result, count);
  return 0;
}

}  // namespace

bool sumsByColumns(const PassState* s, const RowKernel& k, int32_t count, int32_t workers,
                   uint32_t result) {
  ColumnPlan plan;
  return planColumns(s, k, count, workers, result, &plan);
}

bool columnSumPass(PassState* s, const RowKernel& k, int32_t count, int32_t workers,
                   uint32_t result, int* rc) {
  ColumnPass p;
  if (!planColumns(s, k, count, workers, result, &p.plan)) return false;
  p.state = s;
  p.split = k.split;
  p.perRow = k.split->rowValues(s, count);
  *rc = sumPlannedColumns(&p, k, count, workers, result);
  return true;
}

int runColumnItem(ZWorkItem* w) {
  auto* p = static_cast<ColumnPass*>(w->columns);
  return p->weighing ? weighBlocks(p) : sumRanges(p, w->buffer);
}

}  // namespace vsf
