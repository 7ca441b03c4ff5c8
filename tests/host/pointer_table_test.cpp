#include "host/pointer_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace vsf::host {
namespace {

void* at(uintptr_t a) { return reinterpret_cast<void*>(a); }

// Against an ordered map under random adds and removals: few blocks keep the table small, so
// that runs of it wrap around its end and removals move their neighbours back across it.
void holdsWhatAMapHolds(int places) {
  std::mt19937_64 random(7);
  std::vector<uintptr_t> addresses;
  for (int i = 0; i < places; ++i) addresses.push_back(16 * (random() % (1 << 24)));
  PointerTable<size_t> blocks;
  std::map<uintptr_t, size_t> expected;
  for (int round = 0; round < 20000; ++round) {
    const uintptr_t a = addresses[random() % places];
    if (expected.count(a)) {
      if (random() % 3 == 0) {
        ASSERT_NE(blocks.find(at(a)), nullptr);
        *blocks.find(at(a)) = round;
        expected[a] = round;
      } else {
        ASSERT_TRUE(blocks.remove(at(a)));
        expected.erase(a);
      }
    } else {
      ASSERT_FALSE(blocks.remove(at(a)));  // not held: refused, nothing else moves
      blocks.add(at(a), round);
      expected[a] = round;
    }
    if (round % 97 == 0) {
      for (const auto& [b, size] : expected) {
        ASSERT_NE(blocks.find(at(b)), nullptr);
        ASSERT_EQ(*blocks.find(at(b)), size);
      }
    }
  }
  ASSERT_EQ(blocks.size(), expected.size());
  std::map<uintptr_t, size_t> seen;
  blocks.forEach([&](void* b, size_t size) { seen[reinterpret_cast<uintptr_t>(b)] = size; });
  EXPECT_EQ(seen, expected);
}

TEST(PointerTable, HoldsWhatAMapHoldsThroughAddsAndRemovals) {
  holdsWhatAMapHolds(12);
  holdsWhatAMapHolds(600);
}

TEST(PointerTable, AnEmptySetHoldsNothing) {
  PointerTable<size_t> blocks;
  EXPECT_EQ(blocks.find(at(0x1000)), nullptr);
  EXPECT_FALSE(blocks.remove(at(0x1000)));
  EXPECT_FALSE(blocks.remove(nullptr));
  blocks.add(at(0x1000), 8);
  EXPECT_EQ(blocks.find(nullptr), nullptr);
  EXPECT_TRUE(blocks.remove(at(0x1000)));
  EXPECT_EQ(blocks.find(at(0x1000)), nullptr);
}

}  // namespace
}  // namespace vsf::host
