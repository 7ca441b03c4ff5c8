// A whole FORWARD selection by SBC (fitModel: the crossproduct passes, every step's search,
// entry and recording) over 1,000,000 stored rows of 100 or 500 single-column candidate
// effects plus the intercept; y depends on 20 of them. On 1 and 8 workers (8 utility files
// with every block in memory), with the crossproducts built incrementally (the store of the
// effects that entered, as the set-up chooses for 10 effects or more) and whole (FULL).
//
// Run: cmake -S . -B build-bench -DVSF_BENCH=ON && cmake --build build-bench -j4 --target
// methods_forward_bench && build-bench/bench/methods_forward_bench
// With VSF_METHODS_DUMP=<dir> the rows of each size go to <dir>/forward_<q>.bin (n, q, then y
// and the q columns, column by column, as doubles) and the entry order to
// <dir>/forward_<q>_order.txt, for bench/methods_forward_r.R.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "datapass/rowblock.h"
#include "frame/phases.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "host/session.h"
#include "penalized/penalized.h"
#include "selection/selection.h"

namespace vsf {
namespace {

constexpr int kRows = 1000000;
constexpr int kFiles = 8;
constexpr int kTrue = 20;

struct Xorshift {
  uint64_t x = 88172645463325252ull;
  double uniform() {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return static_cast<double>(x >> 11) * 0x1.0p-53 - 0.5;
  }
};

// y = sum of 20 effects (every q/20-th, coefficients 0.5 to 1.45) + uniform noise.
struct Stored {
  int q = 0;
  std::unique_ptr<VsfState> v = std::make_unique<VsfState>();
  std::vector<int32_t> sparse, layout, dense, columns, sparseList;
  std::vector<double> means, scales;

  explicit Stored(int effects) : q(effects) {
    VsfState& s = *v;
    s.res.extensions.kernel = &kernel();
    s.res.extensions.stream = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
    s.res.extensions.tools = dynamic_cast<HxTools*>(kernel().extensionLoad("hxtools"));
    s.group.byPool = kernel().poolCreate("VARSIFTER BY POOL", kPoolPlain);
    s.group.pagePool = kernel().poolCreate("VARSIFTER PAGE POOL", kPoolPage);
    (void)createUtilFileArray(&s.group.utilFiles, s.group.byPool, kFiles, 1, kAllocZero);
    for (int i = 0; i < kFiles; ++i) {
      UtilFileRecord* r = nullptr;
      (void)addUtilFile(&s.group.utilFiles, &s.res.extensions, 0, 8 * (q + 2), &r);
      r->residentCapacity = 1 << 20;
      r->columnCount = q + 1;
    }
    write();
    (void)createThreadPool(&s, kFiles);
  }
  ~Stored() {
    VsfState& s = *v;
    destroyThreadPool(&s);
    freeSelectionState(&s.group.selection);
    closeUtilFiles(&s.group.utilFiles, s.group.byPool);
    kernel().poolDestroy(s.group.byPool);
    kernel().poolDestroy(s.group.pagePool);
    s.res.extensions.stream->release();
    s.res.extensions.tools->release();
  }

  void write() {
    VsfState& s = *v;
    const char* dump = std::getenv("VSF_METHODS_DUMP");
    std::vector<std::vector<double>> cols;
    if (dump) cols.assign(q + 1, std::vector<double>(kRows));
    RowBlockWriter w{&s.group.utilFiles, s.group.pagePool};
    std::vector<double> row(q + 2);
    Xorshift g;
    const int every = q / kTrue;
    for (int i = 0; i < kRows; ++i) {
      double y = 0;
      row[1] = 1.0;  // the intercept
      for (int j = 0; j < q; ++j) {
        row[2 + j] = g.uniform();
        if (j % every == 0) y += (0.5 + 0.05 * (j / every)) * row[2 + j];
      }
      y += g.uniform() + g.uniform();
      row[0] = y;
      if (dump) {
        cols[0][i] = y;
        for (int j = 0; j < q; ++j) cols[1 + j][i] = row[2 + j];
      }
      (void)appendRow(&w, row.data(), q + 2, nullptr, 0, true);  // uniform values are finite
    }
    (void)finishRows(&w);
    if (dump) {
      std::FILE* f =
          std::fopen((std::string(dump) + "/forward_" + std::to_string(q) + ".bin").c_str(), "wb");
      const double dims[2] = {static_cast<double>(kRows), static_cast<double>(q)};
      std::fwrite(dims, 8, 2, f);
      for (const auto& c : cols) std::fwrite(c.data(), 8, c.size(), f);
      std::fclose(f);
    }
    SelectionState& sel = s.group.selection;
    const int E = q + 1;
    sparse.assign(E, -1), columns.assign(E, 1), means.assign(E, 0), scales.assign(E, 0);
    for (int e = 0; e < E; ++e) layout.push_back(1 + e), dense.push_back(e);
    sel.rules = &s.rules, sel.pathOptions = &s.pathOptions, sel.cv = &s.cv, sel.engine = &s.engine;
    sel.utilFiles = &s.group.utilFiles, sel.workers = &s.res.workers;
    sel.puddle = &s.res.puddle, sel.stepCode = &s.stepCode;
    sel.layout.effectCount = E, sel.layout.paramCount = E, sel.layout.denseValues = E;
    sel.layout.singleColumnEffects = E, sel.layout.largestEffectColumns = 1,
    sel.layout.firstSelectable = 1;
    sel.layout.sparseIndex = sparse.data(), sel.layout.layoutColumn = layout.data();
    sel.layout.denseOffset = dense.data(), sel.layout.columnCount = columns.data();
    sel.layout.sparseEffects = sparseList.data();
    sel.layout.colMeans = means.data(), sel.layout.colScales = scales.data();
    sel.totals.obsUsed = sel.totals.trainFreq = sel.totals.trainWeight = sel.totals.rowsStored =
        kRows;
  }
};

Stored& storedFor(int q) {
  static std::unique_ptr<Stored> current;
  if (!current || current->q != q) {
    current.reset();
    current = std::make_unique<Stored>(q);
  }
  return *current;
}

void BM_ForwardSbc(benchmark::State& state) {
  host::session().log.setEcho(false);
  static bool loaded = [] {
    host::initNameValueStore(kFiles);
    test::loadProcedure(host::hostVector());
    return true;
  }();
  (void)loaded;
  const int q = static_cast<int>(state.range(0)), workers = static_cast<int>(state.range(1));
  const bool full = state.range(2) != 0;
  Stored& st = storedFor(q);
  VsfState& v = *st.v;
  v.res.workers = PassWorkers{static_cast<uint8_t>(workers > 1), workers};
  SelectionOptions& o = v.settings.options;
  o.method = kMethodForward;
  o.select = o.stop = kCritSbc;
  o.buildFullSscp = full;
  o.effectStore = !full;
  o.fullSweepMode = full ? 1 : 0;
  // The records the engine reads, filled from the options as the set-up fills them.
  settleRunOptions(&v);
  settleEngineOptions(&v);
  SelectionState& s = v.group.selection;
  for (auto _ : state) {
    resetSelectionState(&s);
    if (fitModel(&s, nullptr) != 0 || s.run.status != 0) state.SkipWithError("fit failed");
  }
  state.counters["steps"] = s.steps.stepCount - 1;
  std::string order;
  for (int i = 1; i < s.steps.stepCount; ++i) order += std::to_string(s.steps.effect[i]) + " ";
  if (const char* dump = std::getenv("VSF_METHODS_DUMP")) {
    std::FILE* f = std::fopen(
        (std::string(dump) + "/forward_" + std::to_string(q) + "_order.txt").c_str(), "w");
    std::fprintf(f, "%s\n", order.c_str());
    std::fclose(f);
  }
}

void args(benchmark::internal::Benchmark* b) {
  for (int q : {100, 500})
    for (int full : {0, 1})
      for (int w : {1, 8}) b->Args({q, w, full});
  b->ArgNames({"effects", "workers", "full"});
  b->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
}

BENCHMARK(BM_ForwardSbc)->Apply(args);

}  // namespace
}  // namespace vsf

BENCHMARK_MAIN();
