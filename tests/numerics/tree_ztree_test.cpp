#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/strings.h"
#include "common/test_host.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

struct IntNode {
  ZTreeNode h;
  int32_t key;
};
struct DoubleNode {
  ZTreeNode h;
  double key;
};
constexpr int kIntOff = offsetof(IntNode, key);
constexpr int kDblOff = offsetof(DoubleNode, key);

int intCmp(const void* a, const void* b, int, int off) {
  int32_t x, y;
  std::memcpy(&x, static_cast<const char*>(a) + off, 4);
  std::memcpy(&y, static_cast<const char*>(b) + off, 4);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// Height of a subtree, or -1 when a balance word disagrees with the heights.
int checkedHeight(const ZTreeNode* p) {
  if (!p) return 0;
  int l = checkedHeight(p->left), r = checkedHeight(p->right);
  if (l < 0 || r < 0 || r - l != p->balance) return -1;
  return 1 + std::max(l, r);
}

std::vector<int32_t> walkInts(ZTreeNode* root) {
  std::vector<int32_t> keys;
  while (ZTreeNode* p = ZTREORD(root)) keys.push_back(reinterpret_cast<IntNode*>(p)->key);
  return keys;
}

std::string lastLogLine() {
  const auto& lines = host::session().log.lines();
  return lines.empty() ? "" : lines.back().text;
}

TEST(ZTree, EqualKeyReturnsTheNodeAlreadyThere) {
  IntNode a{{}, 7}, b{{}, 7};
  ZTreeNode* root = nullptr;
  EXPECT_EQ(ztrebld(&root, &a.h, 0, kIntOff, intCmp), &a.h);
  b.h.balance = 5;  // must stay untouched
  EXPECT_EQ(ztrebld(&root, &b.h, 0, kIntOff, intCmp), &a.h);
  EXPECT_EQ(root, &a.h);
  EXPECT_EQ(b.h.balance, 5);
  EXPECT_EQ(a.h.left, nullptr);
  EXPECT_EQ(a.h.right, nullptr);
}

TEST(ZTree, RotationsKeepTheTreeBalanced) {
  // 1, 2, 3 needs one single rotation; 3, 1, 2 a double one.
  for (auto order : {std::vector<int>{1, 2, 3}, std::vector<int>{3, 1, 2},
                     std::vector<int>{1, 3, 2}, std::vector<int>{3, 2, 1}}) {
    std::vector<IntNode> nodes(3);
    ZTreeNode* root = nullptr;
    for (int i = 0; i < 3; ++i) {
      nodes[i].key = order[i];
      ASSERT_EQ(ztrebld(&root, &nodes[i].h, 0, kIntOff, intCmp), &nodes[i].h);
    }
    EXPECT_EQ(reinterpret_cast<IntNode*>(root)->key, 2);
    EXPECT_EQ(root->balance, 0);
    EXPECT_EQ(checkedHeight(root), 2);
  }
}

TEST(ZTree, RandomKeysWalkInOrderAndAreFound) {
  std::mt19937 rng(12345);
  for (int n : {1, 2, 7, 100, 5000}) {
    std::vector<IntNode> nodes(n);
    std::vector<int32_t> keys;
    ZTreeNode* root = nullptr;
    for (int i = 0; i < n; ++i) {
      nodes[i].key = static_cast<int32_t>(rng() % (2 * n)) - n;
      ZTreeNode* got = ztrebld(&root, &nodes[i].h, 0, kIntOff, intCmp);
      if (got == &nodes[i].h) {
        keys.push_back(nodes[i].key);
      } else {
        EXPECT_EQ(reinterpret_cast<IntNode*>(got)->key, nodes[i].key);
      }
    }
    ASSERT_GT(checkedHeight(root), 0) << n;
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(walkInts(root), keys) << n;
    for (int32_t k = -n - 1; k <= n + 1; ++k) {
      IntNode probe{{}, k};
      ZTreeNode* hit = ztrefind(&root, &probe, 0, kIntOff, intCmp);
      bool present = std::binary_search(keys.begin(), keys.end(), k);
      ASSERT_EQ(hit != nullptr, present) << k;
      if (hit) {
        EXPECT_EQ(reinterpret_cast<IntNode*>(hit)->key, k);
      }
    }
  }
}

TEST(ZTree, ByteKeysCompareAsUnsignedBytes) {
  struct ByteNode {
    ZTreeNode h;
    char key[2];
  };
  std::vector<ByteNode> nodes = {
      {{}, {'\x80', 'a'}}, {{}, {'\x7f', 'z'}}, {{}, {'a', 'b'}}, {{}, {'a', 'a'}}};
  ZTreeNode* root = nullptr;
  for (auto& n : nodes) ztrebld(&root, &n.h, 2, offsetof(ByteNode, key), nullptr);
  std::vector<std::string> order;
  while (ZTreeNode* p = ZTREORD(root)) order.emplace_back(reinterpret_cast<ByteNode*>(p)->key, 2);
  EXPECT_EQ(order, (std::vector<std::string>{"aa", "ab", "\x7fz",
                                             "\x80"
                                             "a"}));
}

// Double keys rank the host's missing values below every number, so that the order stays
// a strict weak order; -0 and +0 are one key.
TEST(ZTree, DoubleKeysPutMissingValuesFirst) {
  std::vector<double> input = {
      3.0,  missingValue('.'), 1.0, missingValue('A'), -0.0, 0.0, missingValue('.'), 2.0,
      -5.0, missingValue('Z')};
  std::vector<DoubleNode> nodes(input.size());
  ZTreeNode* root = nullptr;
  int distinct = 0;
  for (size_t i = 0; i < input.size(); ++i) {
    nodes[i].key = input[i];
    if (ztrebld(&root, &nodes[i].h, -1, kDblOff, nullptr) == &nodes[i].h) ++distinct;
  }
  EXPECT_EQ(distinct, 8);
  EXPECT_GT(checkedHeight(root), 0);
  std::vector<uint64_t> walked;
  while (ZTreeNode* p = ZTREORD(root))
    walked.push_back(bitsOf(reinterpret_cast<DoubleNode*>(p)->key));
  std::vector<uint64_t> expected = {missingBits('.'), missingBits('A'), missingBits('Z'),
                                    bitsOf(-5.0),     bitsOf(-0.0),     bitsOf(1.0),
                                    bitsOf(2.0),      bitsOf(3.0)};
  EXPECT_EQ(walked, expected);
  DoubleNode probe{{}, 0.0};
  EXPECT_NE(ztrefind(&root, &probe, -1, kDblOff, nullptr), nullptr);
  probe.key = missingValue('B');
  EXPECT_EQ(ztrefind(&root, &probe, -1, kDblOff, nullptr), nullptr);
}

TEST(ZTree, WalkRestoresTheRoot) {
  test::ensureHost();
  IntNode one{{}, 1};
  ZTreeNode* root = nullptr;
  ztrebld(&root, &one.h, 0, kIntOff, intCmp);
  EXPECT_EQ(ZTREORD(root), &one.h);
  EXPECT_EQ(one.h.balance, 17);
  EXPECT_EQ(ZTREORD(root), nullptr);
  EXPECT_EQ(one.h.left, nullptr);
  EXPECT_EQ(one.h.balance, 0);
  EXPECT_EQ(ZTREORD(nullptr), nullptr);

  std::vector<IntNode> nodes(10);
  root = nullptr;
  for (int i = 0; i < 10; ++i) {
    nodes[i].key = (i * 7) % 10;
    ztrebld(&root, &nodes[i].h, 0, kIntOff, intCmp);
  }
  ZTreeNode* savedLeft = root->left;
  int16_t savedBalance = root->balance;
  EXPECT_EQ(reinterpret_cast<IntNode*>(ZTREORD(root))->key, 0);
  EXPECT_EQ(reinterpret_cast<IntNode*>(ZTREORD(root))->key, 1);
  ztreend(root);
  EXPECT_EQ(root->left, savedLeft);
  EXPECT_EQ(root->balance, savedBalance);
  ztreend(root);  // no walk in progress: nothing happens
  EXPECT_EQ(walkInts(root), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(ZTree, InconsistentComparatorIsReported) {
  test::ensureHost();
  static int calls;
  calls = 0;
  // Says "after" on the descent and "equal" when the insertion path is walked again.
  auto flaky = [](const void*, const void*, int, int) { return ++calls == 1 ? 1 : 0; };
  IntNode a{{}, 1}, b{{}, 2};
  ZTreeNode* root = nullptr;
  ztrebld(&root, &a.h, 0, kIntOff, intCmp);
  EXPECT_EQ(ztrebld(&root, &b.h, 0, kIntOff, flaky), nullptr);
  EXPECT_EQ(lastLogLine(), "ztrebld: invalid compare");
  EXPECT_EQ(a.h.right, &b.h);
}

TEST(ZTree, WalkOfATreeDeeperThanItsStackEnds) {
  test::ensureHost();
  // Only a tree built by hand can be this deep.
  std::vector<IntNode> chain(1000);
  for (size_t i = 0; i + 1 < chain.size(); ++i) chain[i].h.left = &chain[i + 1].h;
  EXPECT_EQ(ZTREORD(&chain[0].h), nullptr);
  EXPECT_EQ(lastLogLine(), "ZTREORD: overflow stack");
  EXPECT_EQ(chain[0].h.left, &chain[1].h);
  EXPECT_EQ(chain[0].h.balance, 0);
}

}  // namespace
}  // namespace vsf
