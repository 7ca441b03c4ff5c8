// The sum of a pass's block sums, added in the global block order k = 0, 1, ... (block k in
// file k mod n as its local block k div n), whichever worker made each block's sum and when.
//
// Each worker hands over its blocks in increasing order: its own file's, or, when every block
// is in memory, whichever block is next to be taken, so that no worker waits long for a slower
// one. A block's sum waits in one of the worker's slots until every block before it has
// joined; the thread that hands over the block that is next adds every waiting block that has
// become next. A worker waits only when all its slots hold blocks whose turn has not come.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "datapass/utilfiles.h"

namespace vsf {

struct HostPool;

// The buffers of a threaded pass that the files keep for the next (UtilFileArray::passSlots):
// room for `bytes`, grown when too small (their pages then faulted in once for every later pass
// of the group); null when refused. keepsSlots: whether buffers of `bytes` are kept, up to 1 MB
// a worker (a file), where the files have a pool.
double* keptSlots(UtilFileArray* files, size_t bytes);
bool keepsSlots(const UtilFileArray* files, size_t bytes);
// sum[j] += b[j] for j < n, in that order: how every pass adds a block's sum into its result.
void addInto(double* sum, const double* b, uint32_t n);

class OrderedSum {
 public:
  // sum: the result (length doubles, zeroed); slots: per worker for threaded passes, one
  // worker per file (0 for a pass on the calling thread): up to 1 MB a worker kept in the files'
  // array for the next pass when it has a pool, else from `pool` for this pass alone. 0, or
  // rc::kMemory when the slots cannot be had.
  [[nodiscard]] int start(UtilFileArray* files, HostPool* pool, double* sum, uint32_t length,
                          int32_t slots);
  // The next block to join and one past the last block.
  int64_t next() const { return next_; }
  int64_t end() const { return end_; }
  // The next block nobody has taken yet, end() when none is left.
  int64_t take();
  // A pass on the calling thread: block k, which is next, joins at once.
  void add(int64_t k, const double* block);
  // Worker w's block k: copied into a slot, or waits for one. false when the sum was abandoned
  // (another worker failed).
  bool hand(int32_t w, int64_t k, const double* block);
  // Worker w's next slot, which it sums its next block into in place (*at names it for fill);
  // waits for one, and gives null when the sum was abandoned.
  double* reserve(int32_t w, int32_t* at);
  // The slot reserve gave holds block k's sum: it joins in its turn. false when abandoned.
  bool fill(int32_t w, int32_t at, int64_t k);
  // Nobody waits any longer; later hands are refused.
  void abandon();
  // Gives the slots back to their pool, once no worker uses them.
  void release();

 private:
  struct Slots {
    double* values = nullptr;    // slot s at s * length
    std::vector<int64_t> block;  // per slot: its block, -1 reserved and not yet filled
    int32_t head = 0, used = 0;  // the oldest slot, slots in use
  };
  bool exists(int64_t k) const;
  void advance();
  Slots* holder(int64_t k);
  void drain();

  const UtilFileArray* files_ = nullptr;
  HostPool* pool_ = nullptr;
  double* own_ = nullptr;  // slots of this pass alone, given back by release
  double* sum_ = nullptr;
  uint32_t length_ = 0;
  int32_t depth_ = 0;
  std::vector<Slots> slots_;
  std::mutex m_;
  std::condition_variable freed_;
  int64_t next_ = 0, end_ = 0;
  std::atomic<int64_t> taken_{0};
  bool abandoned_ = false;
};

// A worker that leaves early (a failure, or an exception on its way out) releases the others.
struct AbandonUnlessDone {
  OrderedSum* sum;
  bool done = false;
  ~AbandonUnlessDone() {
    if (!done) sum->abandon();
  }
};

}  // namespace vsf
