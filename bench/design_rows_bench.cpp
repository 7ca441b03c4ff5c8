// Design rows per second: 1,000,000 observations of a model with 20 continuous variables and
// three CLASS variables (3, 4 and 5 levels): the intercept, every main effect and every two-way
// interaction (254 effects). The observations cycle through 4096 distinct ones whose levels
// and per-effect products (what zreadobs leaves) are made beforehand, so only zxrow is timed.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "design/design.h"
#include "effects/effects.h"
#include "levelize/levelize.h"

namespace {

using namespace vsf;

constexpr int kContinuous = 20;
constexpr int kDistinct = 4096;
constexpr int kRows = 1000000;
const int kLevels[3] = {3, 4, 5};

struct Model {
  std::vector<LevelVar> classVars;
  std::vector<LevelVar> modelVars;
  std::vector<ZEffect> effects;
  std::vector<std::vector<int32_t>> lists;
  std::vector<EffectResult> results;  // kDistinct x effects
  std::vector<int32_t> levels;        // kDistinct x 3
  std::vector<double> scratch;
  ZDesign d;
  ZLevCtx ctx;

  explicit Model(bool coded) {
    d.flags = coded ? dflag::kFullRank : 0;
    classVars.resize(3);
    for (int c = 0; c < 3; ++c) {
      classVars[static_cast<size_t>(c)].levelCount = kLevels[c];
      classVars[static_cast<size_t>(c)].coding = kCodingRef;
      classVars[static_cast<size_t>(c)].refIndex = kLevels[c] - 1;
    }
    modelVars.resize(kContinuous);
    lists.reserve(2000);
    // Variables 0..19 continuous, 20..22 CLASS.
    auto add = [&](std::vector<int32_t> cont, std::vector<int32_t> cls) {
      ZEffect z;
      lists.push_back(cont);
      z.contCount = static_cast<int32_t>(cont.size());
      z.cont = lists.back().data();
      lists.push_back(cls);
      z.keyCount = z.crossCount = static_cast<int32_t>(cls.size());
      z.key = z.cross = lists.back().data();
      z.nest = z.key + z.crossCount;
      effects.push_back(z);
    };
    add({}, {});
    for (int v = 0; v < kContinuous + 3; ++v)
      v < kContinuous ? add({v}, {}) : add({}, {v - kContinuous});
    for (int a = 0; a < kContinuous + 3; ++a)
      for (int b = a + 1; b < kContinuous + 3; ++b) {
        std::vector<int32_t> cont, cls;
        for (int v : {a, b}) v < kContinuous ? cont.push_back(v) : cls.push_back(v - kContinuous);
        add(cont, cls);
      }
    int total = 0;
    for (ZEffect& z : effects) {
      int c = 1;
      for (int k = 0; k < z.keyCount; ++k) c *= coded ? kLevels[z.key[k]] - 1 : kLevels[z.key[k]];
      z.startColumn = total;
      z.columnCount = z.classColumnCount = z.combinationCount = c;
      total += c;
    }
    d.columnCount = total;
    d.classCount = 3;
    d.classVars = classVars.data();
    d.modelVarCount = kContinuous;
    d.modelVars = modelVars.data();
    d.effectCount = static_cast<int32_t>(effects.size());
    d.effects = effects.data();
    observations();
    scratch.assign(8, 0.0);
    ctx.design = &d;
    ctx.largestLevelCount = 5;
    ctx.levelScratch = reinterpret_cast<char*>(scratch.data());
  }

  // Random observations; in the one-column-per-combination layout every combination occurs,
  // its index the mixed-radix number of the levels.
  void observations() {
    std::mt19937_64 rng(1);
    std::normal_distribution<double> normal;
    std::vector<double> x(kContinuous);
    results.resize(static_cast<size_t>(kDistinct) * effects.size());
    levels.resize(static_cast<size_t>(kDistinct) * 3);
    for (int i = 0; i < kDistinct; ++i) {
      int32_t* lv = &levels[static_cast<size_t>(i) * 3];
      for (int c = 0; c < 3; ++c)
        lv[c] = static_cast<int32_t>(rng() % static_cast<uint64_t>(kLevels[c]));
      for (double& v : x) v = normal(rng);
      for (size_t e = 0; e < effects.size(); ++e) {
        const ZEffect& z = effects[e];
        EffectResult& r = results[static_cast<size_t>(i) * effects.size() + e];
        r.product = 1.0;
        for (int k = 0; k < z.contCount; ++k) r.product *= x[static_cast<size_t>(z.cont[k])];
        r.combination = 0;
        for (int k = 0; k < z.keyCount; ++k)
          r.combination = r.combination * kLevels[z.key[k]] + lv[z.key[k]];
      }
    }
  }
};

void rows(benchmark::State& state, bool coded) {
  Model m(coded);
  std::vector<double> row(static_cast<size_t>(m.d.columnCount));
  double sink = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRows; ++i) {
      int o = i % kDistinct;
      m.d.results = &m.results[static_cast<size_t>(o) * m.effects.size()];
      m.ctx.levelIndexes = &m.levels[static_cast<size_t>(o) * 3];
      zxrow(&m.ctx, nullptr, nullptr, row.data());
      sink += row[static_cast<size_t>(i % m.d.columnCount)];
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["columns"] = m.d.columnCount;
}

void BM_DesignRowsCoded(benchmark::State& state) { rows(state, true); }
void BM_DesignRowsPerCombination(benchmark::State& state) { rows(state, false); }

BENCHMARK(BM_DesignRowsCoded)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DesignRowsPerCombination)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
