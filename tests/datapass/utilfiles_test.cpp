// Utility files: striping of blocks over the files, resident then paged blocks, rows that do
// not fit, page sizes, page I/O failures, and scratch files.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/codes.h"
#include "base/host.h"
#include "common/test_host.h"
#include "datapass/blocks_support.h"
#include "datapass/rowblock.h"
#include "host/util_directory.h"

namespace vsf {
namespace {

using test::Blocks;
using test::kRowsPerBlock;

// Block k goes to file k mod n as its local block k div n; local blocks below the resident
// capacity stay in memory, later ones are pages 1, 2, ... of their file.
TEST(UtilFiles, BlocksAreStripedResidentThenPaged) {
  struct Row {
    int files;
    int64_t resident;
  } rows[] = {{1, 0}, {1, 3}, {3, 0}, {3, 2}, {4, 100}};
  const int blocks = 10;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.files) + " files, resident " + std::to_string(r.resident));
    Blocks b(r.files, r.resident, blocks * kRowsPerBlock);
    ASSERT_EQ(b.blocks, blocks);
    std::vector<double> want;
    for (int i = 0; i < r.files; ++i) {
      const int64_t local = (blocks - i + r.files - 1) / r.files;
      const UtilFileRecord& f = b.files().records[i];
      EXPECT_EQ(f.residentCount, std::min(local, r.resident));
      EXPECT_EQ(f.pageCount, std::max<int64_t>(0, local - r.resident));
      for (int64_t j = 0; j < local; ++j)
        want.push_back(static_cast<double>((j * r.files + i) * kRowsPerBlock));
    }
    EXPECT_EQ(b.firstValues(), want);
    // A file that kept every block in memory wrote no page and was not reopened.
    for (int i = 0; i < r.files; ++i) {
      if (b.files().records[i].pageCount == 0) {
        EXPECT_EQ(b.streams[i]->commits, 0);
      }
    }
  }
}

// The list of a file's resident blocks grows with them, never past the file's capacity (the
// memory plan's, from the memory free, which may be millions of blocks): every block is kept,
// in order, across each growth.
TEST(UtilFiles, TheResidentListGrowsWithTheBlocks) {
  struct Row {
    int64_t capacity, blocks, resident, slots;
  } rows[] = {{1000000, 5, 5, 16}, {1000000, 40, 40, 64}, {20, 40, 20, 20}, {16, 17, 16, 16}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.blocks) + " blocks, capacity " + std::to_string(r.capacity));
    Blocks b(1, r.capacity, static_cast<int>(r.blocks) * kRowsPerBlock);
    ASSERT_EQ(b.blocks, r.blocks);
    const UtilFileRecord& f = b.files().records[0];
    EXPECT_EQ(f.residentCount, r.resident);
    EXPECT_EQ(f.residentSlots, r.slots);
    std::vector<double> want;
    for (int64_t k = 0; k < r.blocks; ++k) want.push_back(static_cast<double>(k * kRowsPerBlock));
    EXPECT_EQ(b.firstValues(), want);
  }
}

// Pages made ahead by workers become resident blocks, as many as are ready, and stop at the
// first block that goes to a page of its file; the blocks are those a writer makes alone.
TEST(UtilFiles, PagesMadeAheadServeTheResidentBlocks) {
  const int rows = 7 * kRowsPerBlock + 3;
  Blocks alone(2, 2, rows);
  Blocks b(2, 2, 0);
  const int32_t length = b.files().records[0].pageLength;
  const int64_t page = length - 8;  // the rows' bytes a page holds
  PageSupply supply(b.v->group.pagePool, length, 3);
  supply.prepare(page / 2);
  EXPECT_EQ(supply.ready(), 0u);
  supply.prepare(page / 2 + 1);  // two runs of half a page fill one
  EXPECT_EQ(supply.ready(), 1u);
  supply.prepare(4 * page);
  EXPECT_EQ(supply.ready(), 3u);                // no more than asked to hold
  EXPECT_EQ(supply.take(length + 8), nullptr);  // a page of another length is never given
  RowBlockWriter w{&b.files(), b.v->group.pagePool};
  w.supply = &supply;
  for (int i = 0; i < rows; ++i) {
    double value = i;
    int32_t tag = i;
    ASSERT_EQ(appendRow(&w, &value, 1, &tag, 1, true), 0);
    if (i == kRowsPerBlock) supply.prepare(page);  // a worker adds one while rows are packed
  }
  ASSERT_EQ(finishRows(&w), 0);
  // Blocks 0 to 3 are resident (two a file) and took the four pages; block 4 is paged.
  EXPECT_EQ(supply.ready(), 0u);
  supply.prepare(2 * page);
  EXPECT_EQ(supply.ready(), 0u);  // not wanted any more
  (void)reopenUtilFiles(&b.files(), rows, true, false, &b.v->stepCode);
  EXPECT_EQ(b.firstValues(), alone.firstValues());
  EXPECT_EQ(b.files().records[0].residentCount, 2);
  EXPECT_EQ(b.files().records[1].residentCount, 2);
}

// A row that does not fit the rest of a block starts the next one; the tags of a block run
// down from the end of its page.
TEST(UtilFiles, RowThatDoesNotFitStartsTheNextBlock) {
  Blocks b(1, 10, kRowsPerBlock + 1);
  ASSERT_EQ(b.blocks, 2);
  const UtilFileRecord& f = b.files().records[0];
  PageView first{static_cast<char*>(f.residentBlocks[0]), f.pageLength};
  PageView second{static_cast<char*>(f.residentBlocks[1]), f.pageLength};
  EXPECT_EQ(blockRowCount(first), kRowsPerBlock);
  EXPECT_EQ(blockRowCount(second), 1);
  EXPECT_EQ(blockTagEnd(first)[-1], 0);
  EXPECT_EQ(blockTagEnd(first)[-kRowsPerBlock], kRowsPerBlock - 1);
  EXPECT_EQ(blockFirstRow(second)[0], kRowsPerBlock);
  EXPECT_EQ(blockTagEnd(second)[-1], kRowsPerBlock);
}

// A block is marked finite only when every row written to it was, and the mark starts afresh
// with each block: the passes test the rows of the second block alone.
TEST(UtilFiles, BlockMarkedFiniteOnlyWhenEveryRowWas) {
  Blocks b(1, 10, 0);
  RowBlockWriter w{&b.files(), b.v->group.pagePool};
  for (int i = 0; i < 3 * kRowsPerBlock; ++i) {
    double value = i;
    int32_t tag = i;
    ASSERT_EQ(appendRow(&w, &value, 1, &tag, 1, i != kRowsPerBlock + 5), 0);
  }
  ASSERT_EQ(finishRows(&w), 0);
  ASSERT_EQ(w.block, 3);
  const UtilFileRecord& f = b.files().records[0];
  for (int k = 0; k < 3; ++k) {
    const PageView v{static_cast<char*>(f.residentBlocks[k]), f.pageLength};
    EXPECT_EQ(blockRowCount(v), kRowsPerBlock) << k;
    EXPECT_EQ(blockAllFinite(v), k != 1) << k;
  }
}

TEST(UtilFiles, PageSizeFromTheRowSizeHintAndTheOption) {
  test::ensureHost();
  ExtensionSet x;
  x.stream = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
  x.tools = dynamic_cast<HxTools*>(kernel().extensionLoad("hxtools"));
  struct Row {
    int32_t hint, optionKb, want;
  } rows[] = {
      // Pages hold 32 row hints where they can: the default, larger and largest page.
      {400, 0, 64 * 1024},
      {4 * 1024, 0, 256 * 1024},
      {10 * 1024, 0, 1024 * 1024},
      {2048 * 1024, 0, 2048 * 1024},  // a row longer than every page: the row itself
      {400, 8, 8 * 1024},             // the option
      {20 * 1024, 8, 1024 * 1024},    // an option smaller than a row is ignored
  };
  for (const Row& r : rows) {
    UtilFileRecord rec;
    int stage = 0;
    ASSERT_EQ(openUtilFile(&rec, &x, r.optionKb, r.hint, &stage), 0);
    EXPECT_EQ(rec.pageLength, r.want) << r.hint << " " << r.optionKb;
    closeUtilFile(&rec, 0);
  }
  x.stream->release();
  x.tools->release();
}

TEST(UtilFiles, FailuresOfTheFilesAreReported) {
  test::LogWatch log;
  {  // a page that cannot be written
    Blocks b(1, 0, 10);
    b.streams[0]->failWrite = true;
    RowBlockWriter w{&b.files(), b.v->group.pagePool, 5};
    double value = 1;
    int32_t tag = 1;
    ASSERT_EQ(appendRow(&w, &value, 1, &tag, 1, true), 0);
    EXPECT_EQ(finishRows(&w), rc::kBlockWrite);
    EXPECT_TRUE(log.has("ERROR", "could not be written"));
  }
  {  // flush and reopen
    Blocks b(2, 0, 3 * kRowsPerBlock);
    b.streams[1]->failCommit = true;
    int code = 0;
    EXPECT_EQ(reopenUtilFiles(&b.files(), 1, false, false, &code), -40);
    EXPECT_EQ(code, step::kHistory);
    EXPECT_TRUE(log.has("ERROR", "could not be flushed"));
    b.streams[1]->failCommit = false;
    b.streams[1]->failOpen = true;
    code = 0;
    EXPECT_EQ(reopenUtilFiles(&b.files(), 1, false, false, &code), -41);
    EXPECT_EQ(b.files().records[1].reopening, 1);  // closed now, the file is discarded
    EXPECT_TRUE(log.has("ERROR", "reopened for reading"));
    b.streams[1]->failOpen = false;
  }
}

class RefusingTools final : public HxTools {
 public:
  std::string_view name() const override { return "hxtools"; }
  void release() override {}
  int getPathnameDirect(std::string_view, std::string*) override { return 0x1234; }
};

TEST(UtilFiles, AFileThatCannotBeOpenedIsReported) {
  test::ensureHost();
  test::LogWatch log;
  RefusingTools tools;
  ExtensionSet x;
  x.tools = &tools;
  HostPool* pool = kernel().poolCreate("test", kPoolPlain);
  UtilFileArray a;
  ASSERT_EQ(createUtilFileArray(&a, pool, 1, 1, kAllocZero), 0);
  UtilFileRecord* r = nullptr;
  EXPECT_EQ(addUtilFile(&a, &x, 0, 40, &r), rc::kUtilFileOpen);
  EXPECT_EQ(a.count, 0);
  EXPECT_TRUE(log.has("", "hxtoolsGetPathnameDirect failed with hxrc = 4660"));
  EXPECT_TRUE(log.has("ERROR", "A utility file could not be opened"));
  kernel().poolDestroy(pool);
}

TEST(ScratchFiles, NamedFilesAndPositionedIo) {
  test::ensureHost();
  ExtensionSet x;
  x.streamx = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  const std::string dir = host::utilDirectory().string();
  ScratchFile plain, resample;
  int stage = 0;
  ASSERT_EQ(openScratchFile(&plain, &x, 3, static_cast<int>(dir.size()), dir.data(), false, &stage),
            0);
  ASSERT_EQ(
      openScratchFile(&resample, &x, 3, static_cast<int>(dir.size()), dir.data(), true, &stage), 0);
  EXPECT_EQ(plain.path, dir + "/scratch_3.utl");
  EXPECT_EQ(resample.path, dir + "/resample_3.utl");
  int64_t at = 16;
  const double out[3] = {1.5, 2.5, 3.5};
  ASSERT_EQ(streamWriteAt(plain.file, out, 24, &at), 0);
  EXPECT_EQ(at, 40);
  double in[3] = {};
  at = 16;
  ASSERT_EQ(streamReadAt(plain.file, in, 24, &at), 0);
  EXPECT_EQ(at, 40);
  EXPECT_EQ(in[2], 3.5);
  EXPECT_NE(streamReadAt(plain.file, in, 24, &at), 0);  // past the end
  EXPECT_EQ(at, 40);                                    // a failed read does not advance
  closeScratchFile(&plain, &x);
  closeScratchFile(&resample, &x);
  EXPECT_FALSE(std::filesystem::exists(dir + "/scratch_3.utl"));
  x.streamx->release();
}

}  // namespace
}  // namespace vsf
