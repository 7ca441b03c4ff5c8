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
    const int woke = kernel().eventWait(events, 2, -1);
    if (woke == 1) return;  // quit
    if (woke != 2) {
      // The wait itself failed: the caller must not wait for ever on a chunk never run.
      s->result = kWaitFailed;
      s->untaken = true;
      kernel().eventSet(s->done);
      return;
    }
    kernel().eventReset(s->go);
    try {
      s->result = crew->job_(s->index, s->chunk);
    } catch (...) {
      s->error = std::current_exception();
      s->result = -1;
    }
    s->untaken = true;
    kernel().eventSet(s->done);
  }
}

bool WorkCrew::start(int workers, Job job, StopHook onStop) {
  stop();
  if (workers < 1) return false;
  job_ = std::move(job);
  onStop_ = std::move(onStop);
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
  if (kernel().eventWait(&done, 1, -1) != 1) s.result = kWaitFailed;
  kernel().eventReset(s.done);
  s.untaken = false;
  const int result = s.result;
  if (result == 0 && !s.error) return 0;
  std::exception_ptr e = s.error;
  s.error = nullptr;
  Stop why;
  why.waitFailed = result == kWaitFailed;
  StopHook hook = std::move(onStop_);
  why.others = stop();
  if (hook) hook(why);
  if (e) std::rethrow_exception(e);
  return result;
}

void WorkCrew::release(int64_t chunk) {
  Slot& s = slots_[static_cast<size_t>(chunk % workers())];
  s.chunk = chunk + workers();
  kernel().eventSet(s.go);
}

int WorkCrew::stop() {
  if (quit_) kernel().eventSet(quit_);
  int failed = 0;
  for (Slot& s : slots_) {
    if (s.thread) kernel().threadJoin(s.thread);
    failed += s.untaken && (s.error || s.result != 0);
  }
  clear();
  return failed;
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
