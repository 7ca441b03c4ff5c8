// The crew's slots hand chunks over through two events each: go (a chunk is waiting) and done
// (its output is ready); the calling thread touches a slot's output only while go is clear.
// A worker takes on the next chunk of the pass and waits for its slot's go.
#include "base/crew.h"

#include <atomic>
#include <thread>

#include "base/host.h"

namespace vsf {

void WorkCrew::run(void* arg) {
  auto* w = static_cast<Worker*>(arg);
  WorkCrew* crew = w->crew;
  const int64_t slots = static_cast<int64_t>(crew->slots_.size());
  for (;;) {
    const int64_t chunk = crew->next_.fetch_add(1);
    Slot* s = &crew->slots_[static_cast<size_t>(chunk % slots)];
    HostEvent* events[2] = {crew->quit_, s->go};
    int woke;
    // The slot may still be set for its last chunk, which a worker that took it on earlier
    // has yet to start: that one runs it, this one waits for its own.
    while ((woke = kernel().eventWait(events, 2, -1)) == 2 &&
           std::atomic_ref<int64_t>(s->chunk).load(std::memory_order_acquire) != chunk)
      std::this_thread::yield();
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
      s->result = crew->job_(w->index, chunk);
    } catch (...) {
      s->error = std::current_exception();
      s->result = -1;
    }
    s->untaken = true;
    kernel().eventSet(s->done);
  }
}

bool WorkCrew::start(int workers, Job job, StopHook onStop, int depth) {
  stop();
  if (workers < 1 || depth < 1) return false;
  job_ = std::move(job);
  onStop_ = std::move(onStop);
  next_ = 0;
  quit_ = kernel().eventCreate();
  slots_.resize(static_cast<size_t>(workers) * static_cast<size_t>(depth));
  threads_.resize(static_cast<size_t>(workers));
  bool ok = quit_ != nullptr;
  for (size_t i = 0; ok && i < slots_.size(); ++i) {
    Slot& s = slots_[i];
    s.chunk = static_cast<int64_t>(i);
    s.go = kernel().eventCreate();
    s.done = kernel().eventCreate();
    ok = s.go && s.done;
  }
  for (size_t i = 0; ok && i < slots_.size(); ++i) kernel().eventSet(slots_[i].go);
  for (int i = 0; ok && i < workers; ++i) {
    Worker& w = threads_[static_cast<size_t>(i)];
    w.crew = this;
    w.index = i;
    w.thread = kernel().threadCreate(&WorkCrew::run, &w);
    ok = w.thread != nullptr;
  }
  if (!ok) stop();
  return ok;
}

int WorkCrew::take(int64_t chunk) {
  Slot& s = slots_[static_cast<size_t>(chunk % slots())];
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
  why.raised = e != nullptr;
  StopHook hook = std::move(onStop_);
  why.others = stop();
  if (hook) hook(why);
  if (e) std::rethrow_exception(e);
  return result;
}

void WorkCrew::release(int64_t chunk) {
  Slot& s = slots_[static_cast<size_t>(chunk % slots())];
  std::atomic_ref<int64_t>(s.chunk).store(chunk + slots(), std::memory_order_release);
  kernel().eventSet(s.go);
}

int WorkCrew::stop() {
  if (quit_) kernel().eventSet(quit_);
  for (Worker& w : threads_)
    if (w.thread) kernel().threadJoin(w.thread);
  int failed = 0;
  for (Slot& s : slots_) failed += s.untaken && (s.error || s.result != 0);
  clear();
  return failed;
}

void WorkCrew::clear() {
  for (Slot& s : slots_) {
    if (s.go) kernel().eventDestroy(s.go);
    if (s.done) kernel().eventDestroy(s.done);
  }
  slots_.clear();
  threads_.clear();
  if (quit_) kernel().eventDestroy(quit_);
  quit_ = nullptr;
}

}  // namespace vsf
