// The step's work queue on the hxworkq extension.
#pragma once

#include <cstdint>

#include "frame/host/extensions.h"

namespace vsf {

struct PassState;
struct UtilFileRecord;
struct RowKernel;

// One queued item: a worker's file, the state it reads, the kernel and its private buffer.
struct ZWorkItem {
  UtilFileRecord* file = nullptr;
  PassState* state = nullptr;
  const RowKernel* kernel = nullptr;
  double* buffer = nullptr;
  uint32_t length = 0;      // doubles of the buffer handed to the kernel
  int32_t argument = 0;     // the pass's count argument
  int32_t result = 0;       // the worker's first nonzero result
  void* sum = nullptr;      // the pass's sum, which the blocks join in their global order
  void* columns = nullptr;  // or the pass summed by ranges of columns that the item works on
};

struct ZPuddle {
  HxWorkQ* extension = nullptr;
  WorkQueue* queue = nullptr;
  ZWorkItem* items = nullptr;
};

// Why a work queue could not be had.
namespace queuestatus {
constexpr int kNoExtension = 1;  // the hxworkq extension did not load
constexpr int kNoQueue = 2;      // the extension made no queue
}  // namespace queuestatus

// 0, queuestatus::kNoExtension or queuestatus::kNoQueue; with bit 0 of flags a failure ends the
// step with step::kInternal, but with bit 1 as well a queue the host could not make (it could not
// start the queue's threads) is returned as kNoQueue, for the caller to do without.
[[nodiscard]] int zpudi(ZPuddle* puddle, int workers, int flags, WorkRoutine routine);
// Enqueue and wait end the step with step::kInternal when the queue refuses. The wait raises on the
// calling thread an exception that a worker threw, after every item is done.
void zpudleq(ZPuddle* puddle, void* item);
void zpudlwt(ZPuddle* puddle);
void zpudlterm(ZPuddle* puddle);

}  // namespace vsf
