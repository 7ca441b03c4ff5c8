#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "numerics/numerics.h"

namespace vsf {
namespace {

struct Node {
  ThreadTreeNode h;
  int32_t key;
  char name[4];
};
constexpr int kOff = offsetof(Node, key);
constexpr int kNameOff = offsetof(Node, name);

ThreadTreeNode* child(const ThreadTreeNode* p, int dir) {
  uintptr_t w = dir == 0 ? p->left : p->right;
  return (w & 1) ? nullptr : reinterpret_cast<ThreadTreeNode*>(w);
}
ThreadTreeNode* threadTarget(const ThreadTreeNode* p, int dir) {
  uintptr_t w = dir == 0 ? p->left : p->right;
  return reinterpret_cast<ThreadTreeNode*>(w & ~uintptr_t{1});
}

// Collects the nodes in order by recursion over child links and checks every balance.
int collect(ThreadTreeNode* p, std::vector<ThreadTreeNode*>* out) {
  if (!p) return 0;
  int l = collect(child(p, 0), out);
  out->push_back(p);
  int r = collect(child(p, 1), out);
  if (l < 0 || r < 0 || r - l != p->balance) return -1;
  return 1 + std::max(l, r);
}

// Full structural check against the expected key set.
void expectValid(ThreadTreeNode* root, const std::set<int32_t>& keys) {
  std::vector<ThreadTreeNode*> order;
  ASSERT_GE(collect(root, &order), 0) << "balance words disagree with heights";
  ASSERT_EQ(order.size(), keys.size());
  auto it = keys.begin();
  for (size_t i = 0; i < order.size(); ++i, ++it) {
    ASSERT_EQ(reinterpret_cast<Node*>(order[i])->key, *it);
    ThreadTreeNode* pred = i > 0 ? order[i - 1] : nullptr;
    ThreadTreeNode* succ = i + 1 < order.size() ? order[i + 1] : nullptr;
    if (order[i]->left & 1) {
      ASSERT_EQ(threadTarget(order[i], 0), pred);
    }
    if (order[i]->right & 1) {
      ASSERT_EQ(threadTarget(order[i], 1), succ);
    }
  }
  std::vector<int32_t> walked;
  for (ThreadTreeNode* p = zttfirst(root); p; p = zttnext(p))
    walked.push_back(reinterpret_cast<Node*>(p)->key);
  ASSERT_EQ(walked, std::vector<int32_t>(keys.begin(), keys.end()));
}

TEST(ThreadTree, LoneRootAndEqualKeys) {
  Node a{{}, 5, {}}, b{{}, 5, {}};
  ThreadTreeNode* root = nullptr;
  EXPECT_EQ(zttinsi(&root, &a.h, kOff), &a.h);
  EXPECT_EQ(a.h.left, 1u);
  EXPECT_EQ(a.h.right, 1u);
  EXPECT_EQ(a.h.balance, 0);
  EXPECT_EQ(zttinsi(&root, &b.h, kOff), &a.h);
  EXPECT_EQ(zttnext(&a.h), nullptr);
  EXPECT_EQ(zttfirst(nullptr), nullptr);
  int32_t k = 5;
  EXPECT_EQ(zttfindi(root, &k, kOff), &a.h);
  k = 6;
  EXPECT_EQ(zttfindi(root, &k, kOff), nullptr);
  EXPECT_EQ(zttdeli(&root, &k, kOff), nullptr);
}

TEST(ThreadTree, DeletingTheRootOfTwoNodes) {
  for (int32_t second : {3, 9}) {
    Node a{{}, 5, {}}, b{{}, second, {}};
    ThreadTreeNode* root = nullptr;
    zttinsi(&root, &a.h, kOff);
    zttinsi(&root, &b.h, kOff);
    int32_t k = 5;
    EXPECT_EQ(zttdeli(&root, &k, kOff), &a.h);
    EXPECT_EQ(root, &b.h);
    EXPECT_EQ(b.h.left, 1u);
    EXPECT_EQ(b.h.right, 1u);
    EXPECT_EQ(b.h.balance, 0);
    EXPECT_EQ(zttdeli(&root, &second, kOff), &b.h);
    EXPECT_EQ(root, nullptr);
  }
}

// Random inserts and deletes against std::set, checking the whole structure after each.
TEST(ThreadTree, RandomInsertsAndDeletesStayValid) {
  std::mt19937 rng(99);
  std::vector<Node> pool(400);
  std::vector<Node*> byKey(400, nullptr);
  ThreadTreeNode* root = nullptr;
  std::set<int32_t> keys;
  for (int step = 0; step < 4000; ++step) {
    int32_t k = static_cast<int32_t>(rng() % 400) - 200;
    size_t slot = static_cast<size_t>(k + 200);
    if (rng() % 3 != 0) {
      Node* n = &pool[slot];
      if (byKey[slot]) continue;
      n->key = k;
      ASSERT_EQ(zttinsi(&root, &n->h, kOff), &n->h);
      byKey[slot] = n;
      keys.insert(k);
    } else {
      ThreadTreeNode* gone = zttdeli(&root, &k, kOff);
      ASSERT_EQ(gone, byKey[slot] ? &byKey[slot]->h : nullptr);
      byKey[slot] = nullptr;
      keys.erase(k);
    }
    expectValid(root, keys);
    if (HasFatalFailure()) FAIL() << "step " << step;
  }
}

TEST(ThreadTree, ByteKeys) {
  std::vector<Node> nodes = {{{}, 0, "cat"}, {{}, 0, "ant"}, {{}, 0, "dog"}, {{}, 0, "bee"}};
  ThreadTreeNode* root = nullptr;
  for (auto& n : nodes) zttinsb(&root, &n.h, kNameOff, 3);
  Node dup{{}, 0, "dog"};
  EXPECT_EQ(zttinsb(&root, &dup.h, kNameOff, 3), &nodes[2].h);
  std::vector<std::string> walked;
  for (ThreadTreeNode* p = zttfirst(root); p; p = zttnext(p))
    walked.emplace_back(reinterpret_cast<Node*>(p)->name, 3);
  EXPECT_EQ(walked, (std::vector<std::string>{"ant", "bee", "cat", "dog"}));
  EXPECT_EQ(zttfindb(root, "bee", kNameOff, 3), &nodes[3].h);
  EXPECT_EQ(zttfindb(root, "cow", kNameOff, 3), nullptr);
}

}  // namespace
}  // namespace vsf
