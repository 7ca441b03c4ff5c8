// Cost per call of the distribution routines behind the p-values and quantiles: zexp, the normal
// tail, the incomplete gamma (its direct methods and its quadrature fallback), the F p-value and
// the quantile searches at small shapes.
#include <benchmark/benchmark.h>

#include <cmath>

#include "numerics/numerics.h"

namespace {

void BM_zexp(benchmark::State& state) {
  double x = -700, s = 0;
  for (auto _ : state) {
    s += vsf::zexp(x);
    x = x < 700 ? x + 0.37 : -700;
  }
  benchmark::DoNotOptimize(s);
}

void BM_znormcdf_tail(benchmark::State& state) {
  double x = -37, s = 0;
  for (auto _ : state) {
    s += vsf::znormcdf(x);
    x = x < -5 ? x + 0.013 : -37;
  }
  benchmark::DoNotOptimize(s);
}

// Tails of Gamma(a) at x = a (1 + 1/sqrt a); a = state.range(0).
void BM_zgammadist_tails(benchmark::State& state) {
  double a = static_cast<double>(state.range(0));
  for (auto _ : state) {
    vsf::GammaDistRec g;
    g.request = 1, g.a = a, g.x = a + std::sqrt(a);
    benchmark::DoNotOptimize(vsf::zgammadist(&g));
  }
}

// The quadrature fallback where the series and fractions give up: a = 1e7, x = a + 0.3 sqrt a.
void BM_zgammaser(benchmark::State& state) {
  for (auto _ : state) {
    vsf::GammaDistRec g;
    g.a = 1e7, g.x = 1e7 + 0.3 * std::sqrt(1e7), g.tol = 8.881784197001256e-16;
    benchmark::DoNotOptimize(vsf::zgammaser(&g));
  }
}

void BM_zfdistnc(benchmark::State& state) {
  double lo, up;
  for (auto _ : state) benchmark::DoNotOptimize(vsf::zfdistnc(2.5, 3, 40, 0, &lo, &up));
}

void BM_zbetainv_small_shapes(benchmark::State& state) {
  for (auto _ : state) {
    vsf::BetaDistRec r;
    r.request = 4, r.p = 0.1, r.a = 0.01, r.b = 0.01;
    benchmark::DoNotOptimize(vsf::zbetainv(&r));
  }
}

void BM_zgammadist_upper_quantile(benchmark::State& state) {
  for (auto _ : state) {
    vsf::GammaDistRec g;
    g.request = 8, g.q = 0.9, g.a = 0.01;
    benchmark::DoNotOptimize(vsf::zgammadist(&g));
  }
}

}  // namespace

BENCHMARK(BM_zexp);
BENCHMARK(BM_znormcdf_tail);
BENCHMARK(BM_zgammadist_tails)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(BM_zgammaser);
BENCHMARK(BM_zfdistnc);
BENCHMARK(BM_zbetainv_small_shapes);
BENCHMARK(BM_zgammadist_upper_quantile);
BENCHMARK_MAIN();
