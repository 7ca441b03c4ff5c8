// Trees and Shell sorts: insertion and walk of the AVL tree, the threaded trees, and the
// Shell sorts against std::sort.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "numerics/numerics.h"

namespace vsf {
namespace {

std::vector<double> randomDoubles(size_t n) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(-1e6, 1e6);
  std::vector<double> v(n);
  for (auto& x : v) x = u(rng);
  return v;
}

void BM_ShellSortDoubles(benchmark::State& state) {
  auto input = randomDoubles(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    auto v = input;
    shellSortDoubles(v.data(), static_cast<uint32_t>(v.size()), nullptr, 1);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ShellSortDoubles)->Range(1 << 10, 1 << 20);

void BM_StdSortDoubles(benchmark::State& state) {
  auto input = randomDoubles(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    auto v = input;
    std::sort(v.begin(), v.end());
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StdSortDoubles)->Range(1 << 10, 1 << 20);

struct DoubleNode {
  ZTreeNode h;
  double key;
};

// Distinct values of a variable: a million values with few distinct ones, as levelization
// meets them.
void BM_ZTreeInsertFewDistinct(benchmark::State& state) {
  std::mt19937 rng(1);
  size_t n = 1000000;
  std::vector<double> values(n);
  for (auto& x : values) x = static_cast<double>(rng() % state.range(0));
  for (auto _ : state) {
    std::vector<DoubleNode> nodes(static_cast<size_t>(state.range(0)) + 1);
    size_t spare = 0;
    ZTreeNode* root = nullptr;
    for (double x : values) {
      nodes[spare].key = x;
      if (ztrebld(&root, &nodes[spare].h, -1, offsetof(DoubleNode, key), nullptr) ==
          &nodes[spare].h)
        ++spare;
    }
    size_t walked = 0;
    while (ZTREORD(root)) ++walked;
    benchmark::DoNotOptimize(walked);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_ZTreeInsertFewDistinct)->Arg(10)->Arg(1000)->Arg(100000);

struct Model {
  IntVectorNode h;
  IntVectorKey key;
  int32_t values[4];
};

// Workers of model averaging inserting their selected models into the shared tree.
void BM_IntVectorTreeLockedInsert(benchmark::State& state) {
  int threads = static_cast<int>(state.range(0));
  constexpr int kPerThread = 20000;
  for (auto _ : state) {
    IntVectorTree t;
    t.keyOffset = offsetof(Model, key);
    std::vector<std::vector<Model>> models(threads, std::vector<Model>(kPerThread));
    std::vector<std::thread> workers;
    for (int w = 0; w < threads; ++w) {
      workers.emplace_back([&, w] {
        std::mt19937 rng(w);
        for (auto& m : models[w]) {
          for (int32_t& v : m.values) v = static_cast<int32_t>(rng() % 12);
          m.key = {4, m.values};
          kIntVectorTreeOps.lockedInsert(&t, &m.h);
        }
      });
    }
    for (auto& th : workers) th.join();
  }
  state.SetItemsProcessed(state.iterations() * threads * kPerThread);
}
BENCHMARK(BM_IntVectorTreeLockedInsert)->Arg(1)->Arg(4)->UseRealTime();

}  // namespace
}  // namespace vsf
