// The step's work queue: created before the BY-group loop, destroyed after it.
#include "base/host.h"
#include "datapass/pass.h"
#include "datapass/workqueue.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "numerics/numerics.h"

namespace vsf {

// The passes over the stored rows run on the queue's threads, one item each, all at once. Where
// the host cannot start them all (a limit on processes or memory), the step runs on one
// thread, as without threads, its passes on the calling thread without a queue. A step of one
// worker makes no queue: its passes never use one, and a thread it could not start would end it.
int createThreadPool(VsfState* state, int workers) {
  // The buffers of the crossproducts' BLAS calls, one a worker, while nothing else runs.
  reserveBlasBuffers(workers < 1 ? 1 : workers);
  if (workers < 2) return 0;
  if (zpudi(&state->res.puddle, workers, 3, &runWorkItem) == 0) return 0;
  zpudlterm(&state->res.puddle);
  hostMsg(848, 4960, {"The step", "the host could not start its threads"});
  state->res.stepWorkers.threaded = 0;
  state->res.stepWorkers.count = 1;
  state->res.workers = state->res.stepWorkers;
  return 0;
}

void destroyThreadPool(VsfState* state) { zpudlterm(&state->res.puddle); }

}  // namespace vsf
