// A crew of host threads that works through numbered chunks of a pass: each worker takes on
// the next chunk nobody has taken as soon as it is free (so a slower worker holds up no one),
// its chunks in increasing order, and the calling thread takes the chunks back in their order.
// Each chunk's output stays in its slot (chunk k in slot k % slots()) until the caller
// releases it, so the caller reads outputs without a lock; with `depth` slots a worker, the
// workers go on with later chunks while the caller still reads earlier ones.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

#include "frame/host/kernel.h"

namespace vsf {

class WorkCrew {
 public:
  // A chunk's job on a worker thread: 0, or a nonzero code that ends the pass.
  using Job = std::function<int(int worker, int64_t chunk)>;
  // What take() returns when a worker could not wait for its chunk (its job never ran).
  static constexpr int kWaitFailed = -1000;
  // How a pass ended early, told to the caller's hook before take() returns or raises.
  struct Stop {
    bool waitFailed = false;  // the chunk taken: its worker could not wait; else its job failed
    int others = 0;           // workers whose own failure was still untaken when they stopped
    // The job threw: take() raises it after the hook, and whoever catches it says why, after
    // anything the hook says.
    bool raised = false;
  };
  using StopHook = std::function<void(const Stop& stop)>;

  WorkCrew() = default;
  WorkCrew(const WorkCrew&) = delete;
  WorkCrew& operator=(const WorkCrew&) = delete;
  ~WorkCrew() { stop(); }

  // Starts n workers on chunks 0 .. n x depth - 1; false (nothing left running) when the host
  // cannot make the threads or their events. The hook, when given, hears of a pass that ends
  // early.
  [[nodiscard]] bool start(int workers, Job job, StopHook onStop = nullptr, int depth = 1);
  int workers() const { return static_cast<int>(threads_.size()); }
  int slots() const { return static_cast<int>(slots_.size()); }
  // Waits for chunk k (chunks are taken in order 0, 1, ...) and returns its job's result, or
  // kWaitFailed. A failure (nonzero, or a job that threw) stops the crew and tells the hook;
  // a job's exception is then raised here, on the calling thread.
  [[nodiscard]] int take(int64_t chunk);
  // The caller is done with chunk k's output: its slot takes chunk k + slots().
  void release(int64_t chunk);
  // Ends the workers (each finishes the chunk it is on); the crew can start again. Returns the
  // number of workers whose failure was never taken.
  int stop();

 private:
  struct Slot {
    alignas(8) int64_t chunk = 0;  // written by release while a worker may look (atomic_ref)
    int result = 0;
    std::exception_ptr error;
    bool untaken = false;  // its chunk is done and not yet taken (read after the join)
    HostEvent* go = nullptr;
    HostEvent* done = nullptr;
  };
  struct Worker {
    WorkCrew* crew = nullptr;
    int index = 0;
    HostThread* thread = nullptr;
  };
  static void run(void* worker);
  void clear();

  Job job_;
  StopHook onStop_;
  std::vector<Slot> slots_;
  std::vector<Worker> threads_;
  HostEvent* quit_ = nullptr;
  std::atomic<int64_t> next_{0};  // the next chunk no worker has taken on
};

}  // namespace vsf
