// Unique parameter names and the key comparators of the level trees.
#include <gtest/gtest.h>

#include "levelize/lev_harness.h"

namespace vsf {
namespace {

class UniqueNames : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureHost();
    pool = kernel().poolCreate("names test", kPoolPlain);
  }
  void TearDown() override { kernel().poolDestroy(pool); }

  std::vector<std::string> unique(std::vector<const char*> in, uint32_t* flags = nullptr) {
    std::vector<char*> names;
    for (const char* n : in) {
      if (!n) {
        names.push_back(nullptr);
        continue;
      }
      char* p = static_cast<char*>(kernel().poolAlloc(pool, std::strlen(n) + 1, 0));
      std::strcpy(p, n);
      names.push_back(p);
    }
    ZDesign d;
    d.columnCount = static_cast<int32_t>(names.size());
    d.parmNames[0] = names.data();
    levUniqueNames(&d, pool);
    if (flags) *flags = d.flags;
    std::vector<std::string> out;
    for (char* n : names) out.emplace_back(n ? n : "(none)");
    return out;
  }

  HostPool* pool = nullptr;
};

TEST_F(UniqueNames, EqualNamesGetACounter) {
  using Names = std::vector<std::string>;
  uint32_t flags = 0;
  EXPECT_EQ(unique({"A", "B", "C"}, &flags), (Names{"A", "B", "C"}));
  EXPECT_EQ(flags & dflag::kNamesUnique, 0u);
  // Trailing blanks do not make names different; the counter follows the name.
  EXPECT_EQ(unique({"A", "A  ", "A"}, &flags), (Names{"A", "A2", "A3"}));
  EXPECT_EQ(flags & dflag::kNamesUnique, dflag::kNamesUnique);
  // A counter that meets an existing name counts on.
  EXPECT_EQ(unique({"A", "A2", "A"}), (Names{"A", "A2", "A3"}));
  EXPECT_EQ(unique({"x", nullptr, "x"}), (Names{"x", "(none)", "x2"}));
}

TEST_F(UniqueNames, CounterOverwritesTheEndOfALongName) {
  // 31 characters and 2 columns: width min(32, 31 + 1) = 32; "2" fits after the name.
  std::string n31(31, 'n');
  auto out = unique({n31.c_str(), n31.c_str()});
  EXPECT_EQ(out[1], n31 + "2");
  // 32 characters: width 32, the digit overwrites the last character.
  std::string n32(32, 'n');
  out = unique({n32.c_str(), n32.c_str(), n32.c_str()});
  EXPECT_EQ(out[0], n32);
  EXPECT_EQ(out[1], std::string(31, 'n') + "2");
  EXPECT_EQ(out[2], std::string(31, 'n') + "3");
}

TEST(KeyComparators, LevelIndexTuplesAndNames) {
  struct Node {
    ZTreeNode link;
    int32_t key[2];
  };
  auto idx = [](std::vector<int32_t> a, std::vector<int32_t> b, int bytes = 8) {
    Node x{}, y{};
    std::copy(a.begin(), a.end(), x.key);
    std::copy(b.begin(), b.end(), y.key);
    return zidxcmp(&x, &y, bytes, static_cast<int>(offsetof(Node, key)));
  };
  EXPECT_EQ(idx({1, 2}, {1, 3}), -1);
  EXPECT_EQ(idx({2, 0}, {1, 9}), 1);
  EXPECT_EQ(idx({-1, 0}, {0, 0}), -1);  // missing levels first
  EXPECT_EQ(idx({4, 4}, {4, 4}), 0);
  EXPECT_EQ(idx({1, 2}, {9, 9}, 0), 0);  // no key: all equal
  EXPECT_EQ(idx({7, 2}, {7, 3}, 4), 0);  // one index compared

  auto name = [](const char* a, const char* b) {
    char x[16] = {}, y[16] = {};
    std::strcpy(x + 4, a);
    std::strcpy(y + 4, b);
    return znamecmp(x, y, 0, 4);
  };
  EXPECT_EQ(name("A", "A  "), 0);
  EXPECT_EQ(name("A", "B"), -1);
  EXPECT_EQ(name("AB", "A"), 1);
  EXPECT_EQ(name("", "  "), 0);
}

}  // namespace
}  // namespace vsf
