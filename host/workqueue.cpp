// The work queue (hxworkq): a fixed pool of std::threads running queued items. A worker
// that throws keeps the first exception; it is raised again on the calling thread by reset().
// The items of a pass run at once, each waiting on the others' sums: a queue is made with all
// its threads or not at all.
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "frame/host/kernel.h"
#include "host/extensions.h"
#include "host/session.h"
#include "host/thread_start.h"

namespace vsf::host {

extern const KernelVector kKernel;

namespace {

class Queue final : public WorkQueue {
 public:
  Queue(int workers, WorkRoutine routine, void* context) : routine_(routine), context_(context) {
    threads_.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
      std::thread t;
      if (!startThread(&t, [this] { work(); })) break;
      threads_.push_back(std::move(t));
    }
  }
  bool whole(int workers) const { return static_cast<int>(threads_.size()) == workers; }
  ~Queue() override { shutdown(); }

  int enqueue(void* item) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return -1;
      items_.push_back(item);
      ++pending_;
    }
    cv_.notify_one();
    return 0;
  }

  int signalWhenDone(HostEvent* event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_ == 0)
      kKernel.eventSet(event);
    else
      doneEvent_ = event;
    return 0;
  }

  void reset() override {
    std::exception_ptr e;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      doneEvent_ = nullptr;
      std::swap(e, error_);
    }
    if (e) std::rethrow_exception(e);
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_)
      if (t.joinable()) t.join();
    threads_.clear();
  }

  void destroy() override { delete this; }

 private:
  void work() {
    for (;;) {
      void* item;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return stopping_ || !items_.empty(); });
        // Queued items are drained before the workers stop.
        if (items_.empty()) return;
        item = items_.front();
        items_.pop_front();
      }
      try {
        routine_(context_, item);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (--pending_ == 0 && doneEvent_) {
        kKernel.eventSet(doneEvent_);
        doneEvent_ = nullptr;
      }
    }
  }

  WorkRoutine routine_;
  void* context_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<void*> items_;
  int pending_ = 0;
  bool stopping_ = false;
  HostEvent* doneEvent_ = nullptr;
  std::exception_ptr error_;
};

class WorkQueues final : public HxWorkQ {
 public:
  std::string_view name() const override { return "hxworkq"; }
  void release() override { delete this; }
  WorkQueue* create(int workers, WorkRoutine routine, void* context, uint32_t) override {
    if (workers < 1 || !routine) return nullptr;
    auto* queue = new Queue(workers, routine, context);
    if (queue->whole(workers)) return queue;
    delete queue;
    return nullptr;
  }
};

}  // namespace

HostExtension* makeWorkQueues() { return new WorkQueues; }

}  // namespace vsf::host
