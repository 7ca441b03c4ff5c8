// zsweep and zdspr at orders 100, 500 and 2000, beside the same operation through the BLAS:
// one sweep against a rank-one dsyr2-free update of the full matrix (dsyrk of one column), and
// the packed rank-one update against dspr.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "numerics/numerics.h"

extern "C" {
void dspr_(const char* uplo, const int* n, const double* alpha, const double* x, const int* incx,
           double* ap);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* beta, double* c, const int* ldc);
}

namespace {

std::vector<double> randomVector(int n, unsigned seed) {
  std::mt19937 g(seed);
  std::normal_distribution<double> d;
  std::vector<double> v(n);
  for (double& x : v) x = d(g);
  return v;
}

// A well-conditioned packed SPD matrix: I*n + x x'.
std::vector<double> spdPacked(int n) {
  std::vector<double> a(static_cast<size_t>(n) * (n + 1) / 2, 0.0), x = randomVector(n, 1);
  for (int i = 0; i < n; ++i) a[static_cast<size_t>(i) * (i + 3) / 2] = n;
  vsf::zdspr(x.data(), n, 1.0, a.data());
  return a;
}

void BM_zsweep(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  std::vector<double> a = spdPacked(n), work(n);
  std::string flags(n, '0');
  int k = 0;
  for (auto _ : state) {
    vsf::zsweep(a.data(), k, n, flags.data(), work.data(), 1e-12);
    k = (k + 1) % n;
    benchmark::DoNotOptimize(a.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * (n + 1) / 2);
}

// The O(n^2) core of a sweep through the BLAS: C -= w w' / d on the full n x n lower triangle.
void BM_dsyrk_rank1(benchmark::State& state) {
  int n = static_cast<int>(state.range(0)), k = 1;
  std::vector<double> c(static_cast<size_t>(n) * n, 0.0), w = randomVector(n, 2);
  for (int i = 0; i < n; ++i) c[static_cast<size_t>(i) * n + i] = n;
  double alpha = -1e-9, beta = 1.0;
  for (auto _ : state) {
    dsyrk_("L", "N", &n, &k, &alpha, w.data(), &n, &beta, c.data(), &n);
    benchmark::DoNotOptimize(c.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * (n + 1) / 2);
}

void BM_zdspr(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  std::vector<double> a(static_cast<size_t>(n) * (n + 1) / 2, 0.0), x = randomVector(n, 3);
  for (auto _ : state) {
    vsf::zdspr(x.data(), n, 1e-9, a.data());
    benchmark::DoNotOptimize(a.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * (n + 1) / 2);
}

void BM_dspr(benchmark::State& state) {
  int n = static_cast<int>(state.range(0)), inc = 1;
  std::vector<double> a(static_cast<size_t>(n) * (n + 1) / 2, 0.0), x = randomVector(n, 3);
  double alpha = 1e-9;
  // dspr's "U" packing by columns is our lower triangle by rows.
  for (auto _ : state) {
    dspr_("U", &n, &alpha, x.data(), &inc, a.data());
    benchmark::DoNotOptimize(a.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * (n + 1) / 2);
}

}  // namespace

BENCHMARK(BM_zsweep)->Arg(100)->Arg(500)->Arg(2000);
BENCHMARK(BM_dsyrk_rank1)->Arg(100)->Arg(500)->Arg(2000);
BENCHMARK(BM_zdspr)->Arg(100)->Arg(500)->Arg(2000);
BENCHMARK(BM_dspr)->Arg(100)->Arg(500)->Arg(2000);
BENCHMARK_MAIN();
