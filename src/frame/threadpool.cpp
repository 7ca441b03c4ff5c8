// The step's work queue: created before the BY-group loop, destroyed after it.
#include "base/host.h"
#include "datapass/pass.h"
#include "datapass/workqueue.h"
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf {

int createThreadPool(VsfState* state, int workers) {
  return zpudi(&state->res.puddle, workers < 1 ? 1 : workers, 1, &runWorkItem);
}

void destroyThreadPool(VsfState* state) { zpudlterm(&state->res.puddle); }

}  // namespace vsf
