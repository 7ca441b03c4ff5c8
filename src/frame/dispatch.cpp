// The step's work queue: created before the BY-group loop, destroyed after it.
#include "frame/module.h"
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf {

namespace {

// The queue's worker routine: runs the item's kernel over its own file's blocks.
void runWorkItem(void* /*queueContext*/, void* item) {
  auto* w = static_cast<ZWorkItem*>(item);
  if (w->kernel && w->result == 0)
    w->result = w->kernel(w->state, w->file ? &w->file->current : nullptr, w->buffer, w->length);
}

}  // namespace

int createThreadPool(VsfState* state, int workers) {
  return zpudi(&state->puddle, workers < 1 ? 1 : workers, 1, &runWorkItem);
}

void destroyThreadPool(VsfState* state) { zpudlterm(&state->puddle); }

}  // namespace vsf
