// Passes of a row kernel over every stored block of a BY group, on the calling thread or on
// the step's work queue with one worker per utility file.
//
// An accumulating kernel writes only into a private buffer of doubles: its result followed by
// scratch space of its own. Every pass of such a kernel, threaded or not, sums each block into
// the result part afresh (its `finish` ends the block) and adds the blocks' sums in the global
// block order k = 0, 1, ... (block k in file k mod n): the blocks depend on the page size alone,
// so the result is the same bit for bit whatever the number of files and workers. Rewriting
// kernels (no buffer) change the stored rows in place.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "datapass/rowblock.h"

namespace vsf {

struct HostPool;
struct ScratchFileObject;
struct UtilFileArray;
struct UtilFileRecord;
struct ZPuddle;
struct ZWorkItem;

// Resample frequencies kept in a file of their own (model averaging): the kernels read one
// block's values at the position, which every sequential pass sets back to the start.
struct ResampleFeed {
  ScratchFileObject* file = nullptr;
  int64_t start = 0;
  int64_t position = 0;
  double* frequencies = nullptr;  // room for the largest block's rows
};

// The workers passes run on. The step's are the settled THREADS count at first; a BY group's
// memory plan lowers them when their needs do not fit the memory the host has free, and later
// groups keep the lower count. A group's are the step's, fewer where its rows do not pay for
// them. The plan also bounds what a group's workers' own buffers of one pass may take together
// (the rows a worker of the data pass has read ahead, a pass's buffers and the block sums
// waiting for their turn): a pass that would need more runs on fewer workers or on the calling
// thread.
struct PassWorkers {
  uint8_t threaded = 0;
  int32_t count = 1;
  double bufferBytes = std::numeric_limits<double>::infinity();
};

// The workers of a BY group of `rows` observations, each reading `columns` values: the step's,
// as many as the group's values keep busy.
[[nodiscard]] PassWorkers groupWorkers(const PassWorkers& step, int64_t rows, int64_t columns);
// The workers a bound on their buffers allows: the most of `requested` whose buffers,
// `perWorker` bytes each, take no more than `budget` together; 1 (the calling thread alone)
// when fewer than two do. The one place memory caps workers: a count chosen on other grounds
// (groupWorkers) composes with it as the smaller of the two.
int32_t workersMemoryAllows(int32_t requested, double budget, double perWorker);
// Bytes of one worker's buffers in a threaded pass of a kernel with `result` doubles of result
// in a buffer of `total`: the buffer and the block sums that wait for their turn (the latter
// alone: orderedSumBytes).
double passWorkerBytes(uint32_t result, uint32_t total);
double orderedSumBytes(uint32_t result);

// What a pass runs over besides its kernel: the BY group's utility files, the pool its buffers
// come from, the workers and, when they are kept in a file of their own, the resample
// frequencies. The selection engine's state is one (it derives from this record).
struct PassState {
  HostPool* modelPool = nullptr;
  UtilFileArray* utilFiles = nullptr;
  const PassWorkers* workers = nullptr;
  ZPuddle* puddle = nullptr;
  ResampleFeed* resampleFeed = nullptr;
  int32_t passes = 0;  // passes run over the stored rows, for the progress line
  // The sample of model averaging being fitted (from 1) and the pass's number of samples, for
  // the progress line; 0 outside the samples.
  int32_t sample = 0, samples = 0;
};

// Shows the line of work on the terminal's progress line ("pass 3 over the stored rows"),
// within a sample of model averaging after its number ("Sample 2 of 50, pass 3 ...").
void showWorkProgress(const PassState* state, std::string_view work);

using SeqKernel = int (*)(PassState* state, const PageView* block);
using MtKernel = int (*)(PassState* state, const PageView* block, double* buffer, uint32_t length);

// A kernel whose result is rows of `columns` sums each, one row after another, and each of
// whose block sums adds the block's rows' terms in row order, each term made of values of its
// row alone (the factors the row's values are multiplied by). Blocks of few rows each (many
// columns) make many block sums, which a threaded pass adds on one thread at a time in their
// turn; where every block is in memory, a threaded pass may instead work out every stored row's
// values first, then give each worker ranges of the columns to sum over every block in the
// global order, block sum by block sum: the same additions in the same order, bit for bit.
struct ColumnSplit {
  uint32_t (*columns)(const PassState* state, int32_t count) = nullptr;
  uint32_t (*rowValues)(const PassState* state, int32_t count) = nullptr;  // doubles a row
  // Each row's values, one row after another (every row of the block, used or not).
  int (*weigh)(PassState* state, const PageView* block, double* values) = nullptr;
  // The block's sums of columns [lo, hi) into `buffer`, zeroed: each row of the result as its
  // hi - lo values, one after another; `values` are the block's rows' from weigh.
  int (*sum)(PassState* state, const PageView* block, const double* values, double* buffer,
             uint32_t lo, uint32_t hi) = nullptr;
};

struct RowKernel {
  const char* name = "";
  SeqKernel seq = nullptr;  // kernels without a buffer on the calling thread
  MtKernel mt = nullptr;    // into a worker's buffer
  // Doubles of the combined result and of the scratch that follows it (null: none).
  uint32_t (*resultLength)(const PassState* state, int32_t count) = nullptr;
  uint32_t (*scratchLength)(const PassState* state, int32_t count) = nullptr;
  // Moves the combined result into the state.
  void (*merge)(PassState* state, const double* sum, uint32_t length, int32_t count) = nullptr;
  // Runs after the last block of a file, with the same buffer (flushes staged rows).
  int (*finish)(PassState* state, double* buffer, uint32_t length) = nullptr;
  uint8_t rewritesRows = 0;            // pages are written back after the kernel
  uint8_t resampleDraw = 0;            // always sequential, in the global block order
  const ColumnSplit* split = nullptr;  // may be summed by ranges of columns
};

// The workers a pass of a kernel with `result` doubles of result in a buffer of `total` runs on:
// a worker a file, or the calling thread alone where the buffers of so many pass their bound.
int32_t passWorkers(const PassState* state, uint32_t result, uint32_t total);
// 0, the first nonzero kernel result (threaded: the first worker's in file order), rc::kMemory
// when buffers or work items cannot be had, rc::kPageIo when a page cannot be read or written.
[[nodiscard]] int runDataPass(PassState* state, const RowKernel& kernel, int32_t count);
// The kernel without a buffer over every block of every file, on the calling thread.
[[nodiscard]] int runSequentialPass(PassState* state, const RowKernel& kernel);
// The queue's worker routine: one file's blocks, each added to the pass's sum in its turn.
void runWorkItem(void* queueContext, void* item);

// A rewrite of the stored rows cannot always be undone by arithmetic (a value far below its
// column's mean does not survive centring), so the rows are kept as they stand before it:
// each file's blocks are copied to pages of the file past its own. 0 or rc::kPageIo.
[[nodiscard]] int keepStoredRows(PassState* state);
// Puts the kept copy back over the blocks, bit for bit. 0, or rc::kPageIo (also when nothing is
// kept).
[[nodiscard]] int restoreStoredRows(PassState* state);

}  // namespace vsf
