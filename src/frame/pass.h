// Passes of a row kernel over every stored block of a BY group, on the calling thread or on
// the step's work queue with one worker per utility file.
//
// An accumulating kernel writes only into a private buffer of doubles: its result (combined
// over the files and merged into the selection state) followed by scratch space of its own.
// Every pass of such a kernel, threaded or not, sums each file into a buffer of its own and
// adds the buffers in file order, so the result does not depend on the threading for a given
// number of files. Rewriting kernels (no buffer) change the stored rows in place.
#pragma once

#include <cstdint>

#include "frame/rowblock.h"

namespace vsf {

struct SelectionState;
struct UtilFileRecord;
struct ZWorkItem;

using SeqKernel = int (*)(SelectionState* state, const PageView* block);
using MtKernel = int (*)(SelectionState* state, const PageView* block, double* buffer,
                         uint32_t length);

struct RowKernel {
  const char* name = "";
  SeqKernel seq = nullptr;  // kernels without a buffer on the calling thread
  MtKernel mt = nullptr;    // into a worker's buffer
  // Doubles of the combined result and of the scratch that follows it (null: none).
  uint32_t (*resultLength)(const SelectionState* state, int32_t count) = nullptr;
  uint32_t (*scratchLength)(const SelectionState* state, int32_t count) = nullptr;
  // Moves the combined result into the state.
  void (*merge)(SelectionState* state, const double* sum, uint32_t length, int32_t count) = nullptr;
  // Runs after the last block of a file, with the same buffer (flushes staged rows).
  int (*finish)(SelectionState* state, double* buffer, uint32_t length) = nullptr;
  uint8_t rewritesRows = 0;  // pages are written back after the kernel
  uint8_t resampleDraw = 0;  // always sequential, in the global block order
};

// 0, the first nonzero kernel result (threaded: the first worker's in file order), -2 when
// buffers or work items cannot be had, -7 when a page cannot be read or written.
[[nodiscard]] int runDataPass(SelectionState* state, const RowKernel& kernel, int32_t count);
// The kernel without a buffer over every block of every file, on the calling thread.
[[nodiscard]] int runSequentialPass(SelectionState* state, const RowKernel& kernel);
// One file's blocks (resident, then pages) into one buffer.
[[nodiscard]] int runWorkerPass(SelectionState* state, const RowKernel& kernel, double* buffer,
                                uint32_t length, UtilFileRecord* file);
// Adds the buffers of items 1..n-1 into item 0's (result part only), then merges it.
void mergeThreadResults(SelectionState* state, const RowKernel& kernel, ZWorkItem* items, int n,
                        int32_t count);
// The queue's worker routine.
void runWorkItem(void* queueContext, void* item);

}  // namespace vsf
