// Crossproducts of the stored rows (full mode): kernSscp, which folds each panel of rows into
// A with one dsyrk, against one packed rank-one update per row, for n = 1,000,000 rows and
// q = 20, 100 and 500 design columns (plus the response), on 1 and 8 workers.
//
// Run: cmake -S . -B build-bench -DVSF_BENCH=ON && cmake --build build-bench -j4 --target
// sscp_bench && build-bench/bench/sscp_bench --benchmark_min_time=1
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "datapass/rowblock.h"
#include "frame/phases.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "host/session.h"
#include "selection/selection.h"
#include "selection/sscp_internal.h"

namespace vsf {
namespace {

constexpr int kRows = 1000000;
constexpr int kFiles = 8;

// The stored rows of one q, in 8 utility files with every block in memory.
struct Stored {
  int q = 0;
  std::unique_ptr<VsfState> v = std::make_unique<VsfState>();
  std::vector<int32_t> layout, dense, columns, sparse;

  explicit Stored(int columnsWanted) : q(columnsWanted) {
    VsfState& s = *v;
    s.res.extensions.kernel = &kernel();
    s.res.extensions.stream = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
    s.res.extensions.tools = dynamic_cast<HxTools*>(kernel().extensionLoad("hxtools"));
    s.group.byPool = kernel().poolCreate("VARSIFTER BY POOL", kPoolPlain);
    s.group.pagePool = kernel().poolCreate("VARSIFTER PAGE POOL", kPoolPage);
    (void)createUtilFileArray(&s.group.utilFiles, s.group.byPool, kFiles, 1, kAllocZero);
    for (int i = 0; i < kFiles; ++i) {
      UtilFileRecord* r = nullptr;
      (void)addUtilFile(&s.group.utilFiles, &s.res.extensions, 0, 40 * q, &r);
      r->residentCapacity = 1 << 20;
    }
    RowBlockWriter w{&s.group.utilFiles, s.group.pagePool};
    std::vector<double> row(q + 1);
    uint64_t x = 88172645463325252ull;
    for (int i = 0; i < kRows; ++i) {
      for (double& d : row) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        d = static_cast<double>(x >> 11) * 0x1.0p-53 - 0.5;
      }
      (void)appendRow(&w, row.data(), q + 1, nullptr, 0, true);  // uniform values are finite
    }
    (void)finishRows(&w);
    (void)createThreadPool(&s, kFiles);

    SelectionState& sel = s.group.selection;
    // The records the kernels read, filled from the default options as the set-up fills them.
    settleRunOptions(&s);
    settleEngineOptions(&s);
    sel.rules = &s.rules, sel.pathOptions = &s.pathOptions, sel.cv = &s.cv, sel.engine = &s.engine;
    sel.utilFiles = &s.group.utilFiles, sel.workers = &s.res.workers;
    sel.puddle = &s.res.puddle;
    sel.modelPool = kernel().poolCreate("model pool", kPoolPlain);
    sel.layout.denseValues = sel.layout.paramCount = q;
    sel.sweep.sscpOrder = q + 1;
    sel.sweep.sscp = static_cast<double*>(
        kernel().poolAlloc(sel.modelPool, 8 * static_cast<size_t>(q + 1) * (q + 2) / 2, 0));
  }
  ~Stored() {
    VsfState& s = *v;
    destroyThreadPool(&s);
    kernel().poolDestroy(s.group.selection.modelPool);
    closeUtilFiles(&s.group.utilFiles, s.group.byPool);
    kernel().poolDestroy(s.group.byPool);
    kernel().poolDestroy(s.group.pagePool);
    s.res.extensions.stream->release();
    s.res.extensions.tools->release();
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

void runPass(benchmark::State& state, const RowKernel& k) {
  host::session().log.setEcho(false);
  static bool loaded = [] {
    host::initNameValueStore(kFiles);
    test::loadProcedure(host::hostVector());
    return true;
  }();
  (void)loaded;
  const int q = static_cast<int>(state.range(0)), workers = static_cast<int>(state.range(1));
  Stored& st = storedFor(q);
  st.v->res.workers = PassWorkers{static_cast<uint8_t>(workers > 1), workers};
  for (auto _ : state) {
    if (runDataPass(&st.v->group.selection, k, 0) != 0) state.SkipWithError("pass failed");
    benchmark::DoNotOptimize(st.v->group.selection.sweep.sscp);
  }
  const double flops = static_cast<double>(kRows) * (q + 1) * (q + 2);  // n q(q+1)/2 FMAs
  state.counters["GFLOPS"] = benchmark::Counter(
      flops * state.iterations(), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

void BM_SscpDsyrk(benchmark::State& state) { runPass(state, kernSscp); }
void BM_SscpRankOne(benchmark::State& state) { runPass(state, kernSscpRowByRow); }

void args(benchmark::internal::Benchmark* b) {
  for (int q : {20, 100, 500})
    for (int w : {1, 8}) b->Args({q, w});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_SscpDsyrk)->Apply(args);
BENCHMARK(BM_SscpRankOne)->Apply(args);

}  // namespace
}  // namespace vsf

BENCHMARK_MAIN();
