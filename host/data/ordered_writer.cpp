#include "host/data/ordered_writer.h"

#include <algorithm>
#include <cerrno>
#include <new>

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
  if (threads_ < 2) {
    if (error_ == 0) error_ = formatInto(format, &text_);
    if (error_ == 0) error_ = sink_(text_);
    return error_ == 0;
  }
  // The workers start with the first block: an output without rows starts none.
  if (workers_.empty())
    for (int w = 0; w < threads_; ++w) workers_.emplace_back([this] { work(); });
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
