#include "host/text_table.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>
#include <string>

namespace vsf::host {
namespace {

// Against an ordered map over texts of every length up to past two words, many alike but for
// their last byte or their length, through growths and a clear.
TEST(TextTable, HoldsWhatAMapHolds) {
  std::mt19937 random(11);
  std::deque<std::string> texts;  // the keys' storage, as the step's strings are
  TextTable<int> table;
  std::map<std::string, int> expected;
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < 3000; ++k) {
      std::string t(random() % 20, 'a');
      if (!t.empty()) t.back() = static_cast<char>('a' + random() % 26);
      if (random() % 4 == 0) t += std::string(1, '\0') + "x";
      if (expected.count(t)) {
        ASSERT_NE(table.find(t), nullptr) << t;
        EXPECT_EQ(*table.find(t), expected[t]);
        continue;
      }
      ASSERT_EQ(table.find(t), nullptr) << t;
      texts.push_back(t);
      table.add(texts.back(), k);
      expected[t] = k;
    }
    EXPECT_EQ(table.size(), expected.size());
    for (const auto& [t, v] : expected) {
      ASSERT_NE(table.find(t), nullptr) << t;
      EXPECT_EQ(*table.find(t), v);
    }
    table.clear();
    texts.clear();
    EXPECT_EQ(table.find(expected.begin()->first), nullptr);
    expected.clear();
  }
}

}  // namespace
}  // namespace vsf::host
