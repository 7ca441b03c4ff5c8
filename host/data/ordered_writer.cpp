#include "host/data/ordered_writer.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "host/thread_start.h"

namespace vsf::host {

namespace {

// A block's text, or ENOMEM when it does not fit in memory.
int formatInto(const OrderedWriter::Format& format, std::string* text) {
  text->clear();
  try {
    format(text);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  return 0;
}

}  // namespace

BlockPlan planBlocks(int64_t budget, int64_t rowValues, int64_t rowText, int threads,
                     int64_t maxRows, int64_t threadBytes) {
  for (int t = threads;; t = t > 2 ? t - 1 : 0) {
    // With workers, one block a worker is alive, and at most each holds its values while the
    // caller gathers the next; without, the caller holds one block's values and its text.
    const int alive = t >= 2 ? t : 1;
    const int64_t perRow = t >= 2 ? (1 + alive) * rowValues + t * rowText : rowValues + rowText;
    const int64_t rows = (budget - (t >= 2 ? t * threadBytes : 0)) / std::max<int64_t>(perRow, 1);
    if (rows >= 1 || t < 2)
      return {t, alive, std::clamp<int64_t>(rows, 1, std::max<int64_t>(maxRows, 1))};
  }
}

OrderedWriter::OrderedWriter(int threads, int alive, Sink sink)
    : threads_(threads), alive_(std::max(alive, 1)), sink_(std::move(sink)) {}

OrderedWriter::~OrderedWriter() {
  {
    std::lock_guard lock(mutex_);
    dropping_ = true;
    queue_.clear();
  }
  handedOver_.notify_all();
  written_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool OrderedWriter::submit(Format format) {
  // The workers start with the first block: an output without rows starts none. Those the
  // system will not start, the ones started do without; without any, the caller formats.
  if (threads_ >= 2 && workers_.empty()) {
    workers_.reserve(static_cast<size_t>(threads_));
    for (int w = 0; w < threads_; ++w) {
      std::thread t;
      if (!startThread(&t, [this] { work(); })) break;
      workers_.push_back(std::move(t));
    }
    if (workers_.empty()) threads_ = 0;
  }
  if (threads_ < 2) {
    if (error_ == 0) error_ = formatInto(format, &text_);
    if (error_ == 0) error_ = sink_(text_);
    return error_ == 0;
  }
  std::unique_lock lock(mutex_);
  written_.wait(lock, [&] { return handed_ - done_ < alive_; });
  if (error_ != 0) return false;
  queue_.push_back({handed_++, std::move(format)});
  lock.unlock();
  handedOver_.notify_one();
  return true;
}

int OrderedWriter::finish() {
  std::unique_lock lock(mutex_);
  written_.wait(lock, [&] { return done_ == handed_; });
  return error_;
}

// Takes the next block, formats it, waits for the blocks before it to be written and writes
// it. Blocks are taken in their order, so the block a worker waits for is held by another.
void OrderedWriter::work() {
  std::string text;  // its room serves the worker's next block
  std::unique_lock lock(mutex_);
  for (;;) {
    handedOver_.wait(lock, [&] { return dropping_ || !queue_.empty(); });
    if (dropping_) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    int failed = formatInto(job.format, &text);
    job.format = nullptr;  // the block's values
    lock.lock();
    written_.wait(lock, [&] { return dropping_ || done_ == job.number; });
    if (dropping_) return;
    if (failed == 0 && error_ == 0) {
      lock.unlock();
      failed = sink_(text);  // only the block whose turn it is writes
      lock.lock();
    }
    if (error_ == 0) error_ = failed;
    ++done_;
    written_.notify_all();
  }
}

}  // namespace vsf::host
