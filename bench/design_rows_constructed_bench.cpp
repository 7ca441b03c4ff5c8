// Design rows of constructed effects per second, beside design_rows_bench's plain effects:
// 1,000,000 observations of a model over 20 continuous variables and three CLASS variables (3, 4
// and 5 levels, REF coding): the intercept, a cubic B-spline with 5 equally spaced interior
// knots of each of x1 .. x10 (9 columns each), a cubic truncated power spline with 3 knots of
// each of x11 .. x15 (7 columns each), the cubic polynomial of x16 .. x20 (55 terms), the spline
// of x1 crossed with A, and the COLLECTION of x1 .. x5, A, B and C. The observations cycle
// through 4096 distinct ones made beforehand, so only zxrow (with zcterm for every design
// variable) is timed.
#include <benchmark/benchmark.h>

#include <deque>
#include <random>
#include <vector>

#include "design/design.h"
#include "effects/effects.h"

namespace {

using namespace vsf;

constexpr int kContinuous = 20;
constexpr int kDistinct = 4096;
constexpr int kRows = 1000000;
const int kLevels[3] = {3, 4, 5};

struct Model {
  std::vector<LevelVar> classVars{3};
  std::vector<LevelVar> modelVars{kContinuous};
  std::vector<ZDesignVar> designVars;
  std::vector<ZEffect> effects;
  std::deque<std::vector<int32_t>> ints;
  std::deque<std::vector<double>> doubles;
  std::deque<SplineOptions> splines;
  std::deque<double*> knotPointers;
  PolyRecord poly;
  std::vector<double> values;   // kDistinct x kContinuous
  std::vector<int32_t> levels;  // kDistinct x 3
  std::vector<EffectResult> results;
  std::vector<double> scratch;
  ZDesign d;
  ZLevCtx ctx;

  int32_t* intArray(std::vector<int32_t> v) { return ints.emplace_back(std::move(v)).data(); }
  double* doubleArray(size_t n) { return doubles.emplace_back(n, 0.0).data(); }

  // A spline of one variable on [0, 10]: a B-spline with 5 equal interior knots and the spaced
  // boundary knots, or the truncated power basis of knots 2.5, 5 and 7.5.
  int spline(int x, bool bspline) {
    SplineOptions& s = splines.emplace_back();
    s.basis = bspline ? 1 : 2;
    std::vector<double> t;
    if (bspline) {
      for (int j = -2; j <= 8; ++j) t.push_back(j * 10.0 / 6.0);  // 3 lower, 5 interior, 3 upper
    } else {
      t = {2.5, 5, 7.5};
    }
    s.varCount = 1;
    s.knotCounts = intArray({static_cast<int32_t>(t.size())});
    knotPointers.push_back(doubles.emplace_back(t).data());
    s.knots = &knotPointers.back();
    s.basisColumns = bspline ? static_cast<int32_t>(t.size()) - 3 + 1 : 3 + 3 + 1;
    s.basisWork = doubleArray(10);
    ZDesignVar v;
    v.type = effkind::kSpline;
    v.spline = &s;
    v.valueCount = 1;
    v.values = intArray({x});
    v.columnCount = v.valueLength = s.basisColumns;
    v.columnValues = doubleArray(static_cast<size_t>(v.valueLength));
    designVars.push_back(v);
    return static_cast<int>(designVars.size()) - 1;
  }

  // The cubic polynomial of x16 .. x20 with its term tables.
  int polynomial() {
    const int m = 5, degree = 3;
    poly.varCount = m;
    poly.vars = intArray({15, 16, 17, 18, 19});
    poly.degree = degree;
    std::vector<std::vector<int>> terms;
    for (int k = 1; k <= degree; ++k) {
      std::vector<int> t(static_cast<size_t>(k), 0);
      for (;;) {
        terms.push_back(t);
        int i = k - 1;
        while (i >= 0 && t[static_cast<size_t>(i)] == m - 1) --i;
        if (i < 0) break;
        const int v = t[static_cast<size_t>(i)] + 1;
        for (int j = i; j < k; ++j) t[static_cast<size_t>(j)] = v;
      }
    }
    poly.termCount = static_cast<int32_t>(terms.size());
    std::vector<int32_t> cumulative(degree + 1, 0), starts;
    for (size_t t = 0; t < terms.size(); ++t)
      cumulative[terms[t].size()] = static_cast<int32_t>(t + 1);
    for (int k = 1; k <= degree; ++k)
      for (int i = 0; i < m; ++i) {
        int32_t start = cumulative[static_cast<size_t>(k)];
        for (int32_t t = cumulative[static_cast<size_t>(k - 1)];
             t < cumulative[static_cast<size_t>(k)]; ++t)
          if (terms[static_cast<size_t>(t)][0] >= i) {
            start = t;
            break;
          }
        starts.push_back(start);
      }
    poly.cumulative = intArray(cumulative);
    poly.starts = intArray(starts);
    poly.work = doubleArray(m);
    ZDesignVar v;
    v.type = effkind::kPolynomial;
    v.poly = &poly;
    v.columnCount = v.valueLength = poly.termCount;
    v.columnValues = doubleArray(static_cast<size_t>(poly.termCount));
    designVars.push_back(v);
    return static_cast<int>(designVars.size()) - 1;
  }

  int collection() {
    ZDesignVar v;
    v.type = effkind::kCollection;
    v.valueCount = 5;
    v.values = intArray({0, 1, 2, 3, 4});
    v.classCount = 3;
    v.classMembers = intArray({0, 1, 2});
    v.columnCount = v.valueLength = 5 + 2 + 3 + 4;
    v.columnValues = doubleArray(static_cast<size_t>(v.valueLength));
    designVars.push_back(v);
    return static_cast<int>(designVars.size()) - 1;
  }

  void effect(std::vector<int32_t> members, std::vector<int32_t> cls = {}) {
    ZEffect z;
    z.constructedCount = static_cast<int32_t>(members.size());
    z.constructed = intArray(members);
    z.keyCount = z.crossCount = static_cast<int32_t>(cls.size());
    z.key = z.cross = intArray(cls);
    z.nest = z.key + z.crossCount;
    effects.push_back(z);
  }

  Model() {
    d.flags = dflag::kFullRank;
    for (int c = 0; c < 3; ++c) {
      classVars[static_cast<size_t>(c)].levelCount = kLevels[c];
      classVars[static_cast<size_t>(c)].coding = kCodingRef;
      classVars[static_cast<size_t>(c)].refIndex = kLevels[c] - 1;
    }
    designVars.reserve(32);
    effect({});
    for (int x = 0; x < 10; ++x) effect({spline(x, true)});
    for (int x = 10; x < 15; ++x) effect({spline(x, false)});
    effect({polynomial()});
    effect({0}, {0});
    effect({collection()});
    int total = 0;
    for (ZEffect& z : effects) {
      int c = 1;
      for (int k = 0; k < z.keyCount; ++k) c *= kLevels[z.key[k]] - 1;
      z.classColumnCount = c;
      for (int k = 0; k < z.constructedCount; ++k)
        c *= designVars[static_cast<size_t>(z.constructed[k])].columnCount;
      z.startColumn = total;
      z.columnCount = c;
      total += c;
    }
    d.columnCount = total;
    d.classCount = 3;
    d.classVars = classVars.data();
    d.modelVarCount = kContinuous;
    d.modelVars = modelVars.data();
    d.designVarCount = static_cast<int32_t>(designVars.size());
    d.designVars = designVars.data();
    d.effectCount = static_cast<int32_t>(effects.size());
    d.effects = effects.data();
    results.assign(effects.size(), EffectResult());
    d.results = results.data();
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> uniform(0, 10);
    values.resize(static_cast<size_t>(kDistinct) * kContinuous);
    for (double& v : values) v = uniform(rng);
    levels.resize(static_cast<size_t>(kDistinct) * 3);
    for (size_t i = 0; i < levels.size(); ++i)
      levels[i] = static_cast<int32_t>(rng() % static_cast<uint64_t>(kLevels[i % 3]));
    scratch.assign(8, 0.0);
    ctx.design = &d;
    ctx.largestLevelCount = 5;
    ctx.levelScratch = reinterpret_cast<char*>(scratch.data());
  }
};

void BM_DesignRowsConstructed(benchmark::State& state) {
  Model m;
  std::vector<double> row(static_cast<size_t>(m.d.columnCount));
  double sink = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRows; ++i) {
      const int o = i % kDistinct;
      m.ctx.values = &m.values[static_cast<size_t>(o) * kContinuous];
      m.ctx.levelIndexes = &m.levels[static_cast<size_t>(o) * 3];
      zxrow(&m.ctx, nullptr, nullptr, row.data());
      sink += row[static_cast<size_t>(i % m.d.columnCount)];
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["columns"] = m.d.columnCount;
}

BENCHMARK(BM_DesignRowsConstructed)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
