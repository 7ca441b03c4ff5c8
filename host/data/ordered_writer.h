// Blocks of an output formatted on worker threads and written in the order they were handed
// over, with a fixed number of blocks alive at once: a caller that is ahead waits for a block
// to be written rather than piling blocks up.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vsf::host {

// How an output's rows go in blocks: the rows of a block, the threads formatting them (below
// two, the caller formats each block) and the blocks alive at once.
struct BlockPlan {
  int threads = 0;
  int alive = 1;
  int64_t rows = 1;
};

// Blocks of at most `maxRows` rows that keep an output within `budget` bytes: the block being
// gathered and each block alive hold their values (`rowValues` bytes a row) until formatted, and
// each formatting thread keeps the room of a block's text (at most `rowText` bytes a row) and
// takes `threadBytes` of its own (its stack, where an address-space limit counts it). Where not
// a row fits, fewer threads format, down to the caller alone; a block has a row at least.
BlockPlan planBlocks(int64_t budget, int64_t rowValues, int64_t rowText, int threads,
                     int64_t maxRows, int64_t threadBytes);

class OrderedWriter {
 public:
  // Puts a block's text into *text (handed over empty, with the room an earlier block left).
  // It owns the block's values, which go as soon as it has run.
  using Format = std::function<void(std::string* text)>;
  // Writes the text: 0, or the errno of the write that failed.
  using Sink = std::function<int(std::string_view text)>;

  // `threads` workers format the blocks (below two, the caller formats and writes each block as
  // it hands it over); at most `alive` blocks (at least one) are handed over and not yet written.
  OrderedWriter(int threads, int alive, Sink sink);
  OrderedWriter(const OrderedWriter&) = delete;
  OrderedWriter& operator=(const OrderedWriter&) = delete;
  // Drops the blocks not yet written; a write under way ends first.
  ~OrderedWriter();

  // Hands a block over, waiting while `alive` blocks are; false, the block dropped, once a
  // write has failed.
  bool submit(Format format);
  // Waits until every block handed over is written: 0, or the errno of the first failed write.
  int finish();

 private:
  struct Job {
    int64_t number;
    Format format;
  };
  void work();

  int threads_;  // below two once no worker could be started
  const int64_t alive_;
  const Sink sink_;
  std::mutex mutex_;
  std::condition_variable handedOver_;  // a block waits for a worker, or the blocks are dropped
  std::condition_variable written_;     // a block was written (or skipped), or they are dropped
  std::deque<Job> queue_;               // handed over, not yet taken by a worker
  int64_t handed_ = 0, done_ = 0;       // blocks handed over, and written or skipped
  int error_ = 0;
  bool dropping_ = false;
  std::string text_;  // the caller's, without workers
  std::vector<std::thread> workers_;
};

}  // namespace vsf::host
