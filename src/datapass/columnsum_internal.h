// The threaded pass of a kernel summed by ranges of columns (RowKernel::split).
#pragma once

#include <cstdint>

namespace vsf {

struct PassState;
struct RowKernel;
struct ZWorkItem;

// Whether a threaded pass of the kernel, with `result` doubles of result, on `workers` workers
// (one a file) is summed by columns: the kernel can be, every block is in memory, and the blocks
// hold so few rows each that adding their sums one after another on one thread would hold the
// workers back.
bool sumsByColumns(const PassState* state, const RowKernel& kernel, int32_t count, int32_t workers,
                   uint32_t result);
// The pass where it is summed by columns (true), its `rc` 0, the first nonzero kernel result
// (in the order of the items) or rc::kMemory; false, nothing done, where it is not.
bool columnSumPass(PassState* state, const RowKernel& kernel, int32_t count, int32_t workers,
                   uint32_t result, int* rc);
// A worker's item of such a pass.
int runColumnItem(ZWorkItem* item);

}  // namespace vsf
