// The crew's threads hand chunks over through two events each: go (a chunk is waiting) and done
// (its output is ready); the calling thread touches a worker's output only while go is clear.
#include "base/crew.h"

#include "base/host.h"

namespace vsf {

void WorkCrew::run(void* arg) {
  auto* s = static_cast<Slot*>(arg);
  WorkCrew* crew = s->crew;
  HostEvent* events[2] = {crew->quit_, s->go};
  for (;;) {
    if (kernel().eventWait(events, 2, -1) != 2) return;  // quit
    kernel().eventReset(s->go);
    try {
      s->result = crew->job_(s->index, s->chunk);
    } catch (...) {
      s->error = std::current_exception();
      s->result = -1;
    }
    kernel().eventSet(s->done);
  }
}

bool WorkCrew::start(int workers, Job job) {
  stop();
  if (workers < 1) return false;
  job_ = std::move(job);
  quit_ = kernel().eventCreate();
  slots_.resize(static_cast<size_t>(workers));
  bool ok = quit_ != nullptr;
  for (int i = 0; ok && i < workers; ++i) {
    Slot& s = slots_[static_cast<size_t>(i)];
    s.crew = this;
    s.index = i;
    s.chunk = i;
    s.go = kernel().eventCreate();
    s.done = kernel().eventCreate();
    ok = s.go && s.done;
  }
  for (int i = 0; ok && i < workers; ++i) {
    Slot& s = slots_[static_cast<size_t>(i)];
    s.thread = kernel().threadCreate(&WorkCrew::run, &s);
    ok = s.thread != nullptr;
    if (ok) kernel().eventSet(s.go);
  }
  if (!ok) stop();
  return ok;
}

int WorkCrew::take(int64_t chunk) {
  Slot& s = slots_[static_cast<size_t>(chunk % workers())];
  HostEvent* done = s.done;
  kernel().eventWait(&done, 1, -1);
  kernel().eventReset(s.done);
  if (s.error) {
    std::exception_ptr e = s.error;
    s.error = nullptr;
    stop();
    std::rethrow_exception(e);
  }
  return s.result;
}

void WorkCrew::release(int64_t chunk) {
  Slot& s = slots_[static_cast<size_t>(chunk % workers())];
  s.chunk = chunk + workers();
  kernel().eventSet(s.go);
}

void WorkCrew::stop() {
  if (quit_) kernel().eventSet(quit_);
  for (Slot& s : slots_)
    if (s.thread) kernel().threadJoin(s.thread);
  clear();
}

void WorkCrew::clear() {
  for (Slot& s : slots_) {
    if (s.go) kernel().eventDestroy(s.go);
    if (s.done) kernel().eventDestroy(s.done);
  }
  slots_.clear();
  if (quit_) kernel().eventDestroy(quit_);
  quit_ = nullptr;
}

}  // namespace vsf
