#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "numerics/numerics.h"

namespace vsf {
namespace {

struct Model {
  IntVectorNode h;
  IntVectorKey key;
  std::vector<int32_t> values;
  void set(std::vector<int32_t> v) {
    values = std::move(v);
    key.count = static_cast<int32_t>(values.size());
    key.values = values.data();
  }
};
constexpr int kOff = offsetof(Model, key);

IntVectorKey keyOf(const std::vector<int32_t>& v) {
  return {static_cast<int32_t>(v.size()), v.data()};
}
const std::vector<int32_t>& valuesOf(IntVectorNode* p) {
  return reinterpret_cast<Model*>(p)->values;
}

// Key order of the tree: the count first, then the values.
struct TreeOrder {
  bool operator()(const std::vector<int32_t>& a, const std::vector<int32_t>& b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  }
};
using KeySet = std::set<std::vector<int32_t>, TreeOrder>;

IntVectorNode* linkOf(uintptr_t w) { return reinterpret_cast<IntVectorNode*>(w & ~uintptr_t{3}); }

int collect(IntVectorNode* p, std::vector<IntVectorNode*>* out) {
  if (!p) return 0;
  int l = (p->left & 2) ? 0 : collect(linkOf(p->left), out);
  out->push_back(p);
  int r = (p->right & 2) ? 0 : collect(linkOf(p->right), out);
  int balance = (p->left & 1) ? -1 : ((p->right & 1) ? 1 : 0);
  if (l < 0 || r < 0 || ((p->left & 1) && (p->right & 1)) || r - l != balance) return -1;
  return 1 + std::max(l, r);
}

void expectValid(IntVectorTree& t, const KeySet& keys) {
  std::vector<IntVectorNode*> order;
  ASSERT_GE(collect(t.root, &order), 0) << "balance bits disagree with heights";
  ASSERT_EQ(order.size(), keys.size());
  auto it = keys.begin();
  for (size_t i = 0; i < order.size(); ++i, ++it) {
    ASSERT_EQ(valuesOf(order[i]), *it);
    if (order[i]->left & 2) {
      ASSERT_EQ(linkOf(order[i]->left), i ? order[i - 1] : nullptr);
    }
    if (order[i]->right & 2) {
      ASSERT_EQ(linkOf(order[i]->right), i + 1 < order.size() ? order[i + 1] : nullptr);
    }
  }
}

TEST(IntVectorTree, LoneRootAndKeyOrder) {
  IntVectorTree t;
  t.keyOffset = kOff;
  Model a, b, c;
  a.set({0, 0, 0});
  b.set({1, 5});
  c.set({1, 5});
  EXPECT_EQ(ivtInsert(&t, &a.h), &a.h);
  EXPECT_EQ(a.h.left, 2u);
  EXPECT_EQ(a.h.right, 2u);
  EXPECT_EQ(ivtInsert(&t, &b.h), &b.h);
  EXPECT_EQ(ivtInsert(&t, &c.h), &b.h);
  // Count 2 sorts before count 3 whatever the values.
  IntVectorNode* pred = nullptr;
  IntVectorNode* succ = nullptr;
  EXPECT_EQ(ivtFindNeighbours(&t, &a.key, &pred, &succ), &a.h);
  EXPECT_EQ(pred, &b.h);
  EXPECT_EQ(succ, nullptr);
  // A key above every key: no hit, the largest before it, nothing after.
  std::vector<int32_t> big = {9, 9, 9, 9};
  IntVectorKey k = keyOf(big);
  EXPECT_EQ(ivtFindNeighbours(&t, &k, &pred, &succ), nullptr);
  EXPECT_EQ(pred, &a.h);
  EXPECT_EQ(succ, nullptr);
  std::vector<int32_t> mid = {2, 0};
  k = keyOf(mid);
  EXPECT_EQ(ivtFindNeighbours(&t, &k, &pred, &succ), nullptr);
  EXPECT_EQ(pred, &b.h);
  EXPECT_EQ(succ, &a.h);
  // Empty keys are equal whatever their values pointer.
  Model e1, e2;
  e1.set({});
  e2.set({});
  EXPECT_EQ(ivtInsert(&t, &e1.h), &e1.h);
  EXPECT_EQ(ivtInsert(&t, &e2.h), &e1.h);
  IntVectorTree empty;
  empty.keyOffset = kOff;
  pred = succ = &a.h;
  EXPECT_EQ(ivtFindNeighbours(&empty, &k, &pred, &succ), nullptr);
  EXPECT_EQ(pred, nullptr);
  EXPECT_EQ(succ, nullptr);
}

TEST(IntVectorTree, RandomInsertsAndDeletesStayValid) {
  std::mt19937 rng(5);
  IntVectorTree t;
  t.keyOffset = kOff;
  std::map<std::vector<int32_t>, Model, TreeOrder> nodes;
  KeySet keys;
  for (int step = 0; step < 3000; ++step) {
    std::vector<int32_t> v(rng() % 3 + 1);
    for (auto& x : v) x = static_cast<int32_t>(rng() % 7) - 3;
    IntVectorKey k = keyOf(v);
    if (rng() % 3 != 0) {
      bool had = keys.count(v) > 0;
      Model& m = nodes[v];
      if (!had) m.set(v);
      IntVectorNode* got = ivtInsert(&t, &m.h);
      ASSERT_EQ(got, &m.h);
      keys.insert(v);
    } else {
      IntVectorNode* gone = ivtDelete(&t, &k);
      ASSERT_EQ(gone != nullptr, keys.erase(v) > 0);
      if (gone) nodes.erase(v);
    }
    expectValid(t, keys);
    if (HasFatalFailure()) FAIL() << "step " << step;
    ASSERT_EQ(ivtFind(&t, &k) != nullptr, keys.count(v) > 0);
  }
}

// Workers share one tree through the locked operations: every key ends up once, and each
// insert returns either its own node or the one node that holds the key.
TEST(IntVectorTree, ConcurrentLockedInsertsFindsAndDeletes) {
  IntVectorTree t;
  t.keyOffset = kOff;
  constexpr int kThreads = 8, kPerThread = 2000, kDistinct = 700;
  std::vector<std::vector<Model>> mine(kThreads, std::vector<Model>(kPerThread));
  std::vector<std::vector<IntVectorNode*>> results(kThreads);
  std::vector<std::thread> workers;
  for (int w = 0; w < kThreads; ++w) {
    workers.emplace_back([&, w] {
      std::mt19937 rng(100 + w);
      for (int i = 0; i < kPerThread; ++i) {
        int id = static_cast<int>(rng() % kDistinct);
        mine[w][i].set({id % 5, id});
        results[w].push_back(kIntVectorTreeOps.lockedInsert(&t, &mine[w][i].h));
        IntVectorKey probe = mine[w][i].key;
        IntVectorNode* hit = kIntVectorTreeOps.lockedFind(&t, &probe);
        EXPECT_NE(hit, nullptr);
      }
    });
  }
  for (auto& th : workers) th.join();
  std::map<std::vector<int32_t>, IntVectorNode*> owner;
  for (int w = 0; w < kThreads; ++w) {
    for (int i = 0; i < kPerThread; ++i) {
      IntVectorNode* r = results[w][i];
      const auto& v = mine[w][i].values;
      auto [it, added] = owner.emplace(v, r);
      EXPECT_EQ(it->second, r) << "two nodes stand for one key";
      EXPECT_EQ(valuesOf(r), v);
    }
  }
  KeySet keys;
  for (auto& [v, n] : owner) keys.insert(v);
  expectValid(t, keys);

  // Half the workers delete the keys with an odd id while the others look keys up.
  std::atomic<int> deleted{0};
  workers.clear();
  for (int w = 0; w < kThreads; ++w) {
    workers.emplace_back([&, w] {
      for (int id = w / 2; id < kDistinct; id += kThreads / 2) {
        std::vector<int32_t> v = {id % 5, id};
        IntVectorKey k = keyOf(v);
        if (w % 2 == 0 && id % 2 == 1) {
          if (kIntVectorTreeOps.lockedRemove(&t, &k)) ++deleted;
        } else {
          IntVectorNode* a = nullptr;
          IntVectorNode* b = nullptr;
          kIntVectorTreeOps.lockedFindNeighbours(&t, &k, &a, &b);
        }
      }
    });
  }
  for (auto& th : workers) th.join();
  KeySet left;
  int odd = 0;
  for (const auto& v : keys) {
    if (v[1] % 2 == 1)
      ++odd;
    else
      left.insert(v);
  }
  EXPECT_EQ(deleted.load(), odd);
  expectValid(t, left);
}

}  // namespace
}  // namespace vsf
