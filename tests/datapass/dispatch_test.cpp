// runDataPass: threaded or sequential, block sums in the global block order, failures and
// exceptions of workers, draining on failure, rewriting kernels, the resampling order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/codes.h"
#include "base/host.h"
#include "common/fake_host.h"
#include "datapass/blocks_support.h"
#include "datapass/pass.h"
#include "datapass/rowblock.h"
#include "host/session.h"

namespace vsf {
namespace {

using test::Blocks;
using test::kRowsPerBlock;

// ---- Kernels of the tests ----

std::vector<double> gMerged;
std::mutex gMutex;
std::vector<std::thread::id> gThreads;
std::vector<double> gVisited;
std::atomic<bool> gFirstItemDone{false};

void noteThread() {
  std::lock_guard<std::mutex> lock(gMutex);
  gThreads.push_back(std::this_thread::get_id());
}

// [0] the sum of a value that cannot be represented exactly, [1] the rows.
int sumMt(PassState*, const PageView* v, double* b, uint32_t) {
  noteThread();
  const double* x = blockFirstRow(*v);
  for (int64_t i = 0; i < blockRowCount(*v); ++i) {
    b[0] += 0.1 * x[i] + 1e-3 * x[i] * x[i];
    b[1] += 1;
  }
  return 0;
}
uint32_t two(const PassState*, int32_t) { return 2; }
void keep(PassState*, const double* sum, uint32_t n, int32_t) { gMerged.assign(sum, sum + n); }
const RowKernel kSum = {"sum", nullptr, sumMt, two, nullptr, keep};

// Fails (or throws) on the block whose first row is row `kRowsPerBlock` (block 1: file 1).
int failMt(PassState* s, const PageView* v, double* b, uint32_t n) {
  if (blockFirstRow(*v)[0] == kRowsPerBlock) return -5;
  return sumMt(s, v, b, n);
}
const RowKernel kFail = {"fail", nullptr, failMt, two, nullptr, keep};
int throwMt(PassState* s, const PageView* v, double* b, uint32_t n) {
  if (blockFirstRow(*v)[0] == kRowsPerBlock) throw NumericFault(fault::kOverflow);
  return sumMt(s, v, b, n);
}
const RowKernel kThrow = {"throw", nullptr, throwMt, two, nullptr, keep};

// Doubles every value of the rows in place.
int doubleRows(PassState*, const PageView* v) {
  double* x = reinterpret_cast<double*>(v->bytes + 8);
  for (int64_t i = 0; i < blockRowCount(*v); ++i) x[i] *= 2;
  return 0;
}
int doubleRowsMt(PassState* s, const PageView* v, double*, uint32_t) { return doubleRows(s, v); }
RowKernel rewriting() {
  RowKernel k = {"double", doubleRows, doubleRowsMt};
  k.rewritesRows = 1;
  return k;
}

int visit(PassState*, const PageView* v) {
  gVisited.push_back(blockFirstRow(*v)[0] / kRowsPerBlock);
  return 0;
}
RowKernel drawing() {
  RowKernel k = {"draw", visit, nullptr};
  k.resampleDraw = 1;
  return k;
}

// The first item sleeps, then says it is done.
int slowMt(PassState* s, const PageView* v, double* b, uint32_t n) {
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  int rc = sumMt(s, v, b, n);
  gFirstItemDone = true;
  return rc;
}
// A double of scratch behind its result: each worker sums into a buffer of its own (a kernel
// without scratch sums into the waiting slots in place).
uint32_t one(const PassState*, int32_t) { return 1; }
const RowKernel kSlow = {"slow", nullptr, slowMt, two, one, keep};

// Notes which thread summed each block. With `gJitter` > 0 a block takes up to that many
// microseconds; else the thread that sums block 0 is slow, 5 ms a block against 0.2 ms.
std::vector<std::pair<int64_t, std::thread::id>> gSummedBy;
std::thread::id gSlow;
int gJitter = 0;
int notedMt(PassState* s, const PageView* v, double* b, uint32_t n) {
  const auto block = static_cast<int64_t>(blockFirstRow(*v)[0]) / kRowsPerBlock;
  bool slow;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (block == 0) gSlow = std::this_thread::get_id();
    slow = gSlow == std::this_thread::get_id();
    gSummedBy.emplace_back(block, std::this_thread::get_id());
  }
  if (gJitter > 0)
    std::this_thread::sleep_for(std::chrono::microseconds(block * 7919 % gJitter));
  else
    std::this_thread::sleep_for(std::chrono::microseconds(slow ? 5000 : 200));
  return sumMt(s, v, b, n);
}
const RowKernel kNoted = {"noted", nullptr, notedMt, two, nullptr, keep};

// ---- Tests ----

// The blocks' sums join in the global block order, so neither the workers nor the number of
// files the rows were striped over change a bit of the result.
TEST(DataPass, ThreadedEqualsSequentialBitForBit) {
  // Two blocks of each file in memory, the rest on pages; or all of them in memory, where
  // any worker may sum any block.
  for (auto [workers, resident] : {std::pair{2, 2}, {4, 2}, {3, 100}}) {
    SCOPED_TRACE(workers);
    Blocks threaded(workers, resident, 23 * kRowsPerBlock + 17, 1, workers);
    Blocks sequential(1, 2, 23 * kRowsPerBlock + 17, 1, 1);
    gThreads.clear();
    ASSERT_EQ(runDataPass(&threaded.s(), kSum, 0), 0);
    const std::vector<double> a = gMerged;
    bool other = false;
    for (auto id : gThreads) other |= id != std::this_thread::get_id();
    EXPECT_TRUE(other);  // the workers ran it
    gThreads.clear();
    ASSERT_EQ(runDataPass(&sequential.s(), kSum, 0), 0);
    for (auto id : gThreads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(std::memcmp(a.data(), gMerged.data(), 16), 0);
    EXPECT_EQ(a[1], 23 * kRowsPerBlock + 17);
  }
}

// Blocks held in memory go to whichever worker is free: a slow worker sums few of them, while
// the others go ahead as far as the waiting sums' slots allow.
TEST(DataPass, BlocksInMemoryGoToWhicheverWorkerIsFree) {
  Blocks b(3, 100, 30 * kRowsPerBlock + 5, 1, 3);
  gSummedBy.clear();
  gJitter = 0;
  ASSERT_EQ(runDataPass(&b.s(), kNoted, 0), 0);
  ASSERT_EQ(gSummedBy.size(), 31u);
  int bySlow = 0;
  for (auto [block, id] : gSummedBy) bySlow += id == gSlow;
  // Fixed shares would have given it 11 of the 31; free workers take 2 or 3 of them on a quiet
  // machine, and a few more where a loaded one holds the others back.
  EXPECT_LT(bySlow, 9);
  EXPECT_EQ(gMerged[1], 30 * kRowsPerBlock + 5);
}

// Blocks that take uneven times reach the sum in any order of finishing; it is the same.
TEST(DataPass, UnevenBlocksJoinTheSumInTheGlobalOrder) {
  Blocks sequential(1, 100, 40 * kRowsPerBlock + 9, 1, 1);
  ASSERT_EQ(runDataPass(&sequential.s(), kSum, 0), 0);
  const std::vector<double> want = gMerged;
  for (int jitter : {300, 2000}) {
    SCOPED_TRACE(jitter);
    Blocks threaded(4, 100, 40 * kRowsPerBlock + 9, 1, 4);
    gJitter = jitter;
    ASSERT_EQ(runDataPass(&threaded.s(), kNoted, 0), 0);
    EXPECT_EQ(std::memcmp(want.data(), gMerged.data(), 16), 0);
  }
  gJitter = 0;
}

// A pass whose buffers for every worker pass their bound runs on the calling thread, with the
// same sums.
TEST(DataPass, BuffersPastTheirBoundLeaveThePassToTheCallingThread) {
  Blocks sequential(1, 2, 23 * kRowsPerBlock + 17, 1, 1);
  ASSERT_EQ(runDataPass(&sequential.s(), kSum, 0), 0);
  const std::vector<double> want = gMerged;
  const double each = passWorkerBytes(2, 2);
  for (auto [bound, threaded] : {std::pair{4 * each, true}, {4 * each - 1, false}}) {
    SCOPED_TRACE(bound);
    Blocks b(4, 2, 23 * kRowsPerBlock + 17, 1, 4);
    b.v->res.workers.bufferBytes = bound;
    EXPECT_EQ(passWorkers(&b.s(), 2, 2), threaded ? 4 : 1);
    gThreads.clear();
    ASSERT_EQ(runDataPass(&b.s(), kSum, 0), 0);
    bool other = false;
    for (auto id : gThreads) other |= id != std::this_thread::get_id();
    EXPECT_EQ(other, threaded);
    EXPECT_EQ(std::memcmp(want.data(), gMerged.data(), 16), 0);
  }
}

TEST(DataPass, ThreadedOnlyWithOneFilePerWorker) {
  Blocks b(1, 2, 5 * kRowsPerBlock, 1, 2);  // two workers, one file
  gThreads.clear();
  ASSERT_EQ(runDataPass(&b.s(), kSum, 0), 0);
  for (auto id : gThreads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(DataPass, FailureOfAWorkerIsReturned) {
  for (int workers : {1, 2}) {
    SCOPED_TRACE(workers);
    Blocks b(2, 1, 6 * kRowsPerBlock, 1, workers);
    gMerged.clear();
    EXPECT_EQ(runDataPass(&b.s(), kFail, 0), -5);
    EXPECT_TRUE(gMerged.empty());  // nothing merged from a failed pass
  }
}

TEST(DataPass, ExceptionOfAWorkerIsRaisedOnTheCallingThread) {
  Blocks b(2, 1, 6 * kRowsPerBlock, 1, 2);
  EXPECT_THROW((void)runDataPass(&b.s(), kThrow, 0), NumericFault);
  ASSERT_EQ(runDataPass(&b.s(), kSum, 0), 0);  // the queue goes on serving
  EXPECT_EQ(gMerged[1], 6 * kRowsPerBlock);
}

TEST(DataPass, UnreadablePageFailsThePass) {
  for (int workers : {1, 2}) {
    SCOPED_TRACE(workers);
    Blocks b(2, 1, 6 * kRowsPerBlock, 1, workers);
    b.streams[1]->failRead = true;
    EXPECT_EQ(runDataPass(&b.s(), kSum, 0), rc::kPageIo);
    EXPECT_EQ(runSequentialPass(&b.s(), rewriting()), rc::kPageIo);
  }
}

// A refused buffer after an item was queued: the queue is drained before anything goes.
TEST(DataPass, QueueIsDrainedBeforeAFailedPassFreesItsItems) {
  Blocks b(2, 1, 4 * kRowsPerBlock, 1, 2);
  static int calls;
  calls = 0;
  test::FakeHost fake;
  fake.kernel.poolAlloc = [](HostPool* p, size_t n, uint32_t f) -> void* {
    return ++calls == 5 ? nullptr : host::kKernel.poolAlloc(p, n, f);
  };
  fake.load();
  gFirstItemDone = false;
  // Items, the pass's sum, the files' waiting slots, buffer 0, then buffer 1 refused: the
  // queued item waits for block 1, which no worker will add, until the failing pass releases
  // it.
  EXPECT_EQ(runDataPass(&b.s(), kSlow, 0), rc::kMemory);
  EXPECT_TRUE(gFirstItemDone);
  EXPECT_EQ(b.v->res.puddle.items, nullptr);
}

// Rewritten pages go back to their file: the next pass reads the new values.
TEST(DataPass, RewritingKernelsLeaveTheirRowsOnDisk) {
  for (int workers : {1, 3}) {
    SCOPED_TRACE(workers);
    const int rows = 7 * kRowsPerBlock;
    Blocks b(3, 1, rows, 1, workers);
    ASSERT_EQ(runDataPass(&b.s(), kSum, 0), 0);
    const double before = gMerged[0];
    ASSERT_EQ(runDataPass(&b.s(), rewriting(), 0), 0);
    ASSERT_EQ(runDataPass(&b.s(), kSum, 0), 0);
    double want = 0;  // sum of 0.1 (2x) + 0.001 (2x)^2 over the rows
    for (int i = 0; i < rows; ++i) want += 0.2 * i + 4e-3 * i * i;
    EXPECT_NEAR(gMerged[0], want, 1e-9 * want);
    EXPECT_NE(gMerged[0], before);
  }
}

// The resampling draw visits blocks in the order they were written, whatever the files.
TEST(DataPass, ResamplingDrawFollowsTheGlobalBlockOrder) {
  Blocks b(3, 1, 7 * kRowsPerBlock, 1, 3);
  gVisited.clear();
  ASSERT_EQ(runDataPass(&b.s(), drawing(), 0), 0);
  EXPECT_EQ(gVisited, (std::vector<double>{0, 1, 2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace vsf
