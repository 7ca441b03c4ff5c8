// Passes summed by ranges of columns: blocks of few wide rows, all in memory, give each worker
// ranges of the result's columns over every block in turn, with the sums of the block by block
// pass bit for bit; where blocks hold many rows, some are on pages or the buffers would pass
// the block pass's, the pass goes block by block; failures and exceptions end it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/blocks_support.h"
#include "datapass/pass.h"
#include "datapass/rowblock.h"

namespace vsf {
namespace {

using test::Blocks;

constexpr int kWidth = 40;  // doubles a row: three rows to a page of 1 KB
int gWidth = kWidth;        // of the rows of the test

uint32_t gColumns = 200;  // of each of the result's two rows
uint32_t gRowValues = 2;  // doubles the first phase keeps a row
std::atomic<int> gRanges{0};
std::vector<double> gMerged;
std::thread::id gMainThread;
std::atomic<bool> gOtherThread{false};
int gFailAt = -1;        // the range start whose sum fails
bool gThrowAt0 = false;  // the weighing of row 0 throws

// A row's terms in columns [lo, hi) of both rows of the result, each `hi - lo` long: values
// that are not exact, so that any other order of the additions changes the last bits.
void addTerms(const double* x, double t, double u, uint32_t lo, uint32_t hi, double* first,
              double* second) {
  for (uint32_t j = lo; j < hi; ++j) {
    first[j - lo] += t * x[j % gWidth];
    second[j - lo] += u * x[(7 * j) % gWidth];
  }
}
double tOf(const double* x) { return 0.1 * x[0]; }
double uOf(const double* x) { return 1e-3 * x[0] * x[0] + 0.3; }

int wideMt(PassState*, const PageView* v, double* b, uint32_t) {
  const double* x = blockFirstRow(*v);
  for (int64_t i = 0; i < blockRowCount(*v); ++i, x += gWidth)
    addTerms(x, tOf(x), uOf(x), 0, gColumns, b, b + gColumns);
  return 0;
}
int wideWeigh(PassState*, const PageView* v, double* values) {
  const double* x = blockFirstRow(*v);
  for (int64_t i = 0; i < blockRowCount(*v); ++i, x += gWidth, values += gRowValues) {
    if (gThrowAt0 && x[0] == 0) throw NumericFault(fault::kOverflow);
    values[0] = tOf(x), values[1] = uOf(x);
  }
  return 0;
}
int wideSum(PassState*, const PageView* v, const double* values, double* b, uint32_t lo,
            uint32_t hi) {
  if (std::this_thread::get_id() != gMainThread) gOtherThread = true;
  if (static_cast<int>(lo) == gFailAt) return -5;
  ++gRanges;
  const double* x = blockFirstRow(*v);
  for (int64_t i = 0; i < blockRowCount(*v); ++i, x += gWidth, values += gRowValues)
    addTerms(x, values[0], values[1], lo, hi, b, b + (hi - lo));
  return 0;
}
uint32_t columns(const PassState*, int32_t) { return gColumns; }
uint32_t rowValues(const PassState*, int32_t) { return gRowValues; }
uint32_t result(const PassState*, int32_t) { return 2 * gColumns; }
void keep(PassState*, const double* sum, uint32_t n, int32_t) { gMerged.assign(sum, sum + n); }

const ColumnSplit kSplit = {columns, rowValues, wideWeigh, wideSum};
const RowKernel kWide = {
    .name = "wide", .mt = wideMt, .resultLength = result, .merge = keep, .split = &kSplit};
const RowKernel kWideBlocks = {.name = "wide", .mt = wideMt, .resultLength = result, .merge = keep};

constexpr int kRows = 100;

// The sums of the rows on one worker, block by block.
std::vector<double> oneWorker() {
  Blocks one(1, 100, kRows, 1, 1, gWidth);
  EXPECT_EQ(runDataPass(&one.s(), kWide, 0), 0);
  return gMerged;
}

void reset() {
  gWidth = kWidth, gColumns = 200, gRowValues = 2, gFailAt = -1, gThrowAt0 = false;
  gRanges = 0, gOtherThread = false;
  gMainThread = std::this_thread::get_id();
  gMerged.clear();
}

TEST(ColumnSum, SumsOfWideRowsAreThoseOfTheBlocksOneByOne) {
  reset();
  const std::vector<double> want = oneWorker();
  ASSERT_EQ(want.size(), 2 * gColumns);
  EXPECT_EQ(gRanges, 0);  // one worker: block by block
  for (const RowKernel* k : {&kWide, &kWideBlocks}) {
    SCOPED_TRACE(k->split ? "by columns" : "block by block");
    Blocks b(4, 100, kRows, 1, 4, kWidth);
    gRanges = 0, gOtherThread = false;
    ASSERT_EQ(runDataPass(&b.s(), *k, 0), 0);
    EXPECT_EQ(gRanges > 0, k->split != nullptr);
    EXPECT_EQ(gOtherThread.load(), k->split != nullptr);
    ASSERT_EQ(gMerged.size(), want.size());
    EXPECT_EQ(std::memcmp(gMerged.data(), want.data(), sizeof(double) * want.size()), 0);
  }
}

// Each case's pass goes block by block, with the same sums.
TEST(ColumnSum, BlockByBlockWhereColumnsWouldNotPay) {
  struct Case {
    const char* what;
    int64_t resident;
    int width;
    uint32_t columns, rowValues;
  } cases[] = {
      {"blocks on pages", 2, kWidth, 200, 2},
      {"blocks of many rows", 100, 2, 200, 2},
      {"too few columns for two ranges", 100, kWidth, 100, 2},
      // The rows' values (8 x 100 x 200 bytes) pass what the block pass's four workers hold.
      {"buffers past the block pass's", 100, kWidth, 200, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset();
    gWidth = c.width, gColumns = c.columns, gRowValues = c.rowValues;
    const std::vector<double> want = oneWorker();
    Blocks b(4, c.resident, kRows, 1, 4, gWidth);
    ASSERT_EQ(runDataPass(&b.s(), kWide, 0), 0);
    EXPECT_EQ(gRanges, 0);
    ASSERT_EQ(gMerged.size(), want.size());
    EXPECT_EQ(std::memcmp(gMerged.data(), want.data(), sizeof(double) * want.size()), 0);
  }
}

TEST(ColumnSum, AFailureOrAnExceptionEndsThePass) {
  reset();
  Blocks b(4, 100, kRows, 1, 4, kWidth);
  gFailAt = 0;
  EXPECT_EQ(runDataPass(&b.s(), kWide, 0), -5);
  EXPECT_TRUE(gMerged.empty());  // nothing merged from a failed pass
  gFailAt = -1, gThrowAt0 = true;
  EXPECT_THROW((void)runDataPass(&b.s(), kWide, 0), NumericFault);
  EXPECT_TRUE(gMerged.empty());
  gThrowAt0 = false;
  ASSERT_EQ(runDataPass(&b.s(), kWide, 0), 0);  // the queue goes on serving
  EXPECT_GT(gRanges, 0);
  EXPECT_EQ(gMerged.size(), 2 * gColumns);
}

}  // namespace
}  // namespace vsf
