#include "host/small_blocks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace vsf::host {
namespace {

// A kept block serves any later request of its class and no larger one; the last kept is
// handed out first; sizes past the largest class are neither made to a class nor kept.
TEST(SmallBlocks, AKeptBlockServesItsClassAlone) {
  SmallBlocks b;
  EXPECT_EQ(SmallBlocks::room(0), 16u);
  EXPECT_EQ(SmallBlocks::room(17), 32u);
  EXPECT_EQ(SmallBlocks::room(256), 256u);
  EXPECT_EQ(SmallBlocks::room(257), 257u);
  void* x = std::malloc(SmallBlocks::room(20));
  void* y = std::malloc(SmallBlocks::room(32));
  ASSERT_TRUE(b.keep(x, 20));
  ASSERT_TRUE(b.keep(y, 32));
  EXPECT_EQ(b.keptBytes(), 64u);
  EXPECT_EQ(b.take(16), nullptr);  // a smaller class has none
  EXPECT_EQ(b.take(33), nullptr);  // nor a larger one
  EXPECT_EQ(b.take(17), y);
  EXPECT_EQ(b.take(30), x);
  EXPECT_EQ(b.take(32), nullptr);
  EXPECT_EQ(b.keptBytes(), 0u);
  void* large = std::malloc(300);
  EXPECT_FALSE(b.keep(large, 300));
  EXPECT_EQ(b.take(300), nullptr);
  std::free(large);
  std::free(x);
  std::free(y);
}

// A block known only by its usable size goes to the largest class it holds whole; one far
// larger than the largest class is left to the heap.
TEST(SmallBlocks, ABlockWithoutItsSizeGoesToTheClassItHolds) {
  SmallBlocks b;
  void* p = std::malloc(40);
  ASSERT_TRUE(b.keepUsable(p, 40));  // holds 32, not 48
  EXPECT_EQ(b.take(33), nullptr);
  EXPECT_EQ(b.take(32), p);
  ASSERT_TRUE(b.keepUsable(p, 270));  // the largest class, 256
  EXPECT_EQ(b.take(256), p);
  EXPECT_FALSE(b.keepUsable(p, 8));
  EXPECT_FALSE(b.keepUsable(p, 4096));
  std::free(p);
}

// What a thread keeps is bounded; the rest goes back to the heap, and a drain gives back all.
TEST(SmallBlocks, WhatIsKeptIsBoundedAndGivenBackWhole) {
  SmallBlocks b;
  std::vector<void*> refused;
  size_t kept = 0;
  for (size_t i = 0; i < 2 * SmallBlocks::kKeptBytes / 256; ++i) {
    void* p = std::malloc(256);
    if (b.keep(p, 256))
      ++kept;
    else
      refused.push_back(p);
  }
  EXPECT_EQ(kept, SmallBlocks::kKeptBytes / 256);
  EXPECT_EQ(b.keptBytes(), SmallBlocks::kKeptBytes);
  std::set<void*> drained;
  b.drain([&](void* p) {
    EXPECT_TRUE(drained.insert(p).second);
    std::free(p);
  });
  EXPECT_EQ(drained.size(), kept);
  EXPECT_EQ(b.keptBytes(), 0u);
  EXPECT_EQ(b.take(256), nullptr);
  for (void* p : refused) std::free(p);
}

}  // namespace
}  // namespace vsf::host
