// The levelization reader: the letter-coded fetch over the row images bound to the input
// reader, the weights and frequency fields, and the per-row value slots.
#include <gtest/gtest.h>

#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;

// readobs.csv: c d x z y w1 w2 f. CLASS c (1 character) and d (numeric, width 12).
void readerModel(LevHarness& h) {
  h.addClass("c");
  h.addClass("d");
  h.addModelVar("x");
  h.addModelVar("z");
  h.build();
  h.ctx.responseCount = 1;
  h.ctx.responses = h.extraVar("y");
}

// Positions the reader on the first row with zlev's reader routines.
void firstRow(LevHarness& h) {
  ASSERT_TRUE(h.nextGroup());
  levPrepare(&h.ctx);
  h.ctx.start(&h.ctx);
  ASSERT_EQ(h.ctx.next(&h.ctx), 1);
}

TEST(LevReader, FetchCopiesOnlyWhatItsLettersAsk) {
  LevHarness h("readobs");
  readerModel(h);
  h.ctx.frequency = h.extraVar("f");
  firstRow(h);
  double values[2] = {-9, -9}, responses[1] = {-9}, f = -9, w = -9;
  FetchTargets t;
  t.values = values;
  t.responses = responses;
  t.frequency = &f;
  t.weight = &w;
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "f", t), 1);
  EXPECT_EQ(f, 1.0);
  EXPECT_EQ(values[0], -9.0);
  EXPECT_EQ(responses[0], -9.0);
  EXPECT_EQ(w, -9.0);  // no weight variable: the field is reserved, nothing delivered
  // Letters the fetch does not know take no target.
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "?zq y", t), 1);
  EXPECT_EQ(values[0], 0.0);
  EXPECT_EQ(values[1], 10.0);
  EXPECT_EQ(responses[0], 5.0);
  // Without a frequency variable "f" delivers nothing and still succeeds.
  h.ctx.frequency = nullptr;
  f = -9;
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "f", t), 1);
  EXPECT_EQ(f, -9.0);
}

TEST(LevReader, FormattedAndRawImagesOfTheSameRow) {
  LevHarness h("readobs");
  readerModel(h);
  firstRow(h);
  ASSERT_EQ(h.ctx.next(&h.ctx), 1);  // row 2: b, 2
  char c[2] = {}, d[13] = {};
  char* formatted[2] = {c, d};
  double numeric[1] = {0};
  char text[2] = {};
  RawText character[1] = {{text, 1}};
  FetchTargets t;
  t.formatted = formatted;
  t.numericRaw = numeric;
  t.characterRaw = character;
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "ub", t), 1);  // the raw image
  EXPECT_EQ(h.alloc.active, 0);
  EXPECT_EQ(numeric[0], 2.0);
  EXPECT_EQ(text[0], 'b');
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "c", t), 1);  // the formatted image, filled from this row
  EXPECT_EQ(h.alloc.active, 1);
  EXPECT_EQ(std::string(c, 1), "b");
  EXPECT_EQ(std::string(d, 12), "2           ");
  // The next read fills the image bound last.
  ASSERT_EQ(h.ctx.next(&h.ctx), 1);  // row 3: a, 2
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "c", t), 1);
  EXPECT_EQ(std::string(c, 1), "a");
  // With the formatted-row flag the formatted image serves letters without 'c' too.
  h.ctx.formattedRow = 1;
  numeric[0] = 0;
  EXPECT_EQ(h.ctx.fetch(&h.ctx, "u", t), 1);
  EXPECT_EQ(h.alloc.active, 1);
  EXPECT_EQ(numeric[0], 2.0);
}

// Image layout: continuous values, responses, formatted CLASS values (formatted image),
// one weight field and one frequency field even without such variables, raw CLASS values.
TEST(LevReader, RowImageSizes) {
  LevHarness h("readobs");
  readerModel(h);
  ASSERT_TRUE(h.nextGroup());
  levPrepare(&h.ctx);
  zlevBindRows(&h.ctx, 1);
  EXPECT_EQ(h.alloc.images[1].size, 2 * 8 + 8 + (1 + 12) + 8 + 8 + (1 + 8));
  zlevBindRows(&h.ctx, 0);
  EXPECT_EQ(h.alloc.images[0].size, 2 * 8 + 8 + 8 + 8 + (1 + 8));
  // Two weight variables take a field each; a variable not in the data set takes none.
  static LevelVar weights[3];
  weights[0] = *h.extraVar("w1");
  weights[1] = *h.extraVar("w2");
  VarDescriptor absent;
  absent.name = "nosuch";
  absent.number = -1;
  weights[2].desc = &absent;
  h.ctx.weights = weights;
  h.ctx.weightCount = 3;
  zlevBindRows(&h.ctx, 0);
  EXPECT_EQ(h.alloc.images[0].size, 2 * 8 + 8 + 2 * 8 + 8 + (1 + 8));
}

TEST(LevReader, WeightCountFollowsTheWeights) {
  LevHarness h("readobs");
  readerModel(h);
  static LevelVar weight;
  weight = *h.extraVar("w1");
  h.ctx.weights = &weight;
  h.ctx.weightCount = 0;
  firstRow(h);
  EXPECT_EQ(h.ctx.weightCount, 1);
  double w = 0;
  FetchTargets t;
  t.weight = &w;
  h.ctx.fetch(&h.ctx, "w", t);
  EXPECT_EQ(w, 2.0);
  h.ctx.weights = nullptr;
  h.ctx.fetch(&h.ctx, "w", t);
  EXPECT_EQ(h.ctx.weightCount, 0);
}

// Row slot 1 missing makes a value the model needs missing (0x02), slots 2 and 3 exclude the
// observation (0x04); each slot's value arrives in its record.
TEST(LevReader, RowSlots) {
  struct Case {
    int slot;
    uint32_t bit;
  } cases[] = {{0, obs::kNeeded}, {1, obs::kExcluded}, {2, obs::kExcluded}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot);
    LevHarness h("readobs");
    h.addClass("c");
    h.build();
    LevelVar* y = h.extraVar("y");
    h.ctx.rowSlots[c.slot] = y;
    ASSERT_TRUE(h.nextGroup());
    ASSERT_EQ(h.levelize(), 0);
    h.ctx.start(&h.ctx);
    std::vector<uint32_t> bits;
    std::vector<double> seen;
    while (h.ctx.next(&h.ctx)) {
      bits.push_back(zreadobs(&h.ctx, nullptr, nullptr, nullptr) & c.bit);
      seen.push_back(y->value);
    }
    ASSERT_EQ(bits.size(), 10u);
    EXPECT_EQ(bits[0], 0u);
    EXPECT_EQ(bits[2], c.bit);  // y is missing on row 3
    EXPECT_EQ(seen[1], 6.0);
  }
}

// zlev finds the responses, weights, frequency and the first two row slots again in the
// data set it reads; a variable that is not there is left unbound.
TEST(LevReader, VariablesFoundAgainInTheReader) {
  LevHarness h("readobs");
  readerModel(h);
  VarDescriptor stale = *h.ctx.responses->desc;
  stale.number = 0;  // as bound in another data set
  h.ctx.responses->desc = &stale;
  VarDescriptor gone;
  gone.name = "gone";
  gone.number = 3;
  LevelVar slot;
  slot.desc = &gone;
  h.ctx.rowSlots[1] = &slot;
  ASSERT_TRUE(h.nextGroup());
  levPrepare(&h.ctx);
  EXPECT_EQ(stale.number, 4);  // y
  EXPECT_EQ(gone.number, -1);
}

}  // namespace
}  // namespace vsf

namespace vsf {
namespace {

// Reading another data set (validation or test data) through the same context: the images are
// bound anew on it, and the first reader no longer fills the image it left.
TEST(LevReader, AnotherReaderTakesTheImages) {
  LevHarness h("readobs");
  readerModel(h);
  firstRow(h);
  double values[2] = {0, 0};
  FetchTargets t;
  t.values = values;
  ASSERT_EQ(h.ctx.fetch(&h.ctx, "z", t), 1);
  EXPECT_EQ(values[1], 10.0);
  HostDataSet* first = h.alloc.reader;
  uint32_t status = 1;
  HostDataSet* second = hostv().ds->open("readobs", kDsInput, &status);
  ASSERT_NE(second, nullptr);
  hostv().ds->nextByGroup(second);
  hostv().ds->start(second);
  ASSERT_EQ(hostv().ds->readNext(second), 1);
  ASSERT_EQ(hostv().ds->readNext(second), 1);  // row 2: x 4, z 30
  h.alloc.reader = second;
  ASSERT_EQ(h.ctx.fetch(&h.ctx, "z", t), 1);
  EXPECT_EQ(values[0], 4.0);
  EXPECT_EQ(values[1], 30.0);
  // The first reader reads on without touching the image (AddressSanitizer would see it).
  EXPECT_EQ(hostv().ds->readNext(first), 1);
  h.alloc.reader = first;
  ASSERT_EQ(h.ctx.fetch(&h.ctx, "z", t), 1);  // bound again on the first reader: its row 2
  EXPECT_EQ(values[1], 30.0);
  EXPECT_EQ(hostv().ds->readNext(first), 1);
  ASSERT_EQ(h.ctx.fetch(&h.ctx, "z", t), 1);
  EXPECT_EQ(values[1], 20.0);  // row 3
}

}  // namespace
}  // namespace vsf

namespace vsf::test {
namespace {

// Workers' runs start where the host's blocks start, so that no block is read for two runs,
// and cover the group without a gap whatever the group's place among the blocks.
TEST(LevReader, RunsFollowTheBlocks) {
  struct Case {
    int64_t blockRows, groupFirst, preferred, first, rows;
  } cases[] = {
      {0, 0, 2595, 2595, 2595},     // blocks of any size: the preferred runs
      {0, 777, 300, 300, 300},      //   wherever the group starts
      {100, 250, 230, 150, 200},    // two blocks a run, the first run up to a boundary
      {100, 200, 230, 200, 200},    // a group that starts on a boundary
      {1400, 0, 2595, 2800, 2800},  // the nearest count of whole blocks
      {1400, 15000, 16384, 1800, 16800},
      {5000, 3, 256, 4997, 5000},  // blocks larger than the run: one block a run
      {1, 9, 7, 5, 7},             // blocks of one observation
      {7, 0, 0, 7, 7},             // a run of at least one block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.blockRows << " " << c.groupFirst << " " << c.preferred);
    const ObsRuns r = obsRuns(c.blockRows, c.groupFirst, c.preferred);
    EXPECT_EQ(r.first, c.first);
    EXPECT_EQ(r.rows, c.rows);
    for (int64_t k = 1; k < 20; ++k) {
      EXPECT_EQ(r.start(k), r.start(k - 1) + r.length(k - 1));
      if (c.blockRows > 0) {
        EXPECT_EQ((c.groupFirst + r.start(k)) % c.blockRows, 0);
      }
    }
  }
}

// A block of more rows than a run may hold is cut into parts as equal as may be; the runs
// still cover the group without a gap.
TEST(LevReader, RunsCutABlockTooLargeForThem) {
  struct Case {
    int64_t blockRows, groupFirst, most, first, rows;
  } cases[] = {
      {1360, 0, 241, 227, 227},      // six parts of a block
      {1360, 2820, 241, 127, 227},   // the group starts 100 rows into a block
      {1000, 0, 500, 500, 500},      // two parts, each block's own
      {1000, 300, 1000, 700, 1000},  // a block within the bound: whole blocks
      {100, 0, 250, 200, 200},       // as many whole blocks as the bound holds
      {7, 0, 0, 259, 259},           // no bound: whole blocks near the 256 rows preferred
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.blockRows << " " << c.groupFirst << " " << c.most);
    const ObsRuns r = obsRuns(c.blockRows, c.groupFirst, 256, c.most);
    EXPECT_EQ(r.first, c.first);
    EXPECT_EQ(r.rows, c.rows);
    for (int64_t k = 1; k < 20; ++k) EXPECT_EQ(r.start(k), r.start(k - 1) + r.length(k - 1));
  }
}

}  // namespace
}  // namespace vsf::test
