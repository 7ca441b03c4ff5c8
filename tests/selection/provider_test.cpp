// The crossproducts provider against R (tests/reference/methods_provider.R): accumulated
// matrix, estimates, residual and response crossproducts and hypothesis crossproducts of an
// intercept, a continuous x and a three-level CLASS variable (one column per level, so the
// last level is aliased), with a weight floor and an unusable observation.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "common/csv.h"
#include "common/test_host.h"
#include "effects/effects.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

struct Obs {
  double w, usable, x, a, y1, y2;
};

// R's expected items: item -> (i, j) -> value.
std::map<std::string, std::map<std::pair<int, int>, double>> expected() {
  std::map<std::string, std::map<std::pair<int, int>, double>> m;
  for (const auto& r : test::readCsv("methods/provider_expected.csv").rows)
    m[r[0]][{std::stoi(r[1]), std::stoi(r[2])}] = std::stod(r[3]);
  return m;
}

// A design of three effects read observation by observation: the intercept, x and A.
class Fixture {
 public:
  explicit Fixture(int responses = 2) {
    test::ensureHost();
    for (const auto& r : test::readCsv("methods/provider_obs.csv").rows)
      obs_.push_back({std::stod(r[0]), std::stod(r[1]), std::stod(r[2]), std::stod(r[3]),
                      std::stod(r[4]), std::stod(r[5])});
    effects_[0].startColumn = 0, effects_[0].columnCount = 1;
    effects_[1].startColumn = 1, effects_[1].columnCount = 1;
    effects_[2].startColumn = 2, effects_[2].columnCount = 3;
    design_.columnCount = 5;
    design_.effectCount = 3;
    design_.effects = effects_;
    design_.results = results_;
    p_.owner = kernel().poolCreate("provider owner", kPoolPlain);
    p_.design = &design_;
    p_.q = responses;
    p_.responses = y_;
    p_.weightFloor = 0.05;
    p_.readerContext = this;
    p_.start = [](SscpProvider* p) { self(p)->at_ = -1; };
    p_.next = [](SscpProvider* p) {
      Fixture* f = self(p);
      if (++f->at_ >= static_cast<int>(f->obs_.size())) return 0;
      const Obs& o = f->obs_[f->at_];
      f->results_[0] = {1.0, 0};
      f->results_[1] = {o.x, 0};
      f->results_[2] = {1.0, static_cast<int32_t>(o.a)};
      return 1;
    };
    p_.weight = [](SscpProvider* p, double* w) {
      *w = self(p)->obs_[self(p)->at_].w;
      return 1;
    };
    p_.response = [](SscpProvider* p, double* y) {
      const Obs& o = self(p)->obs_[self(p)->at_];
      y[0] = o.y1, y[1] = o.y2;
      return o.usable != 0 ? 1 : 0;
    };
    (void)zsscpset(&p_);
  }
  ~Fixture() { kernel().poolDestroy(p_.owner); }
  SscpProvider& p() { return p_; }
  size_t usable() const {
    size_t n = 0;
    for (const Obs& o : obs_) n += o.usable != 0;
    return n;
  }

 private:
  static Fixture* self(SscpProvider* p) { return static_cast<Fixture*>(p->readerContext); }
  std::vector<Obs> obs_;
  int at_ = -1;
  ZEffect effects_[3];
  EffectResult results_[3];
  ZDesign design_;
  double y_[2] = {0, 0};
  SscpProvider p_;
};

void expectNear(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 1e-9 * std::fmax(1.0, std::fabs(want))) << what;
}

TEST(Provider, ItemsMatchR) {
  Fixture f;
  SscpProvider& p = f.p();
  auto want = expected();
  const double* A = static_cast<double*>(sscpItem(&p, 0, 0));
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(p.p, 5);
  EXPECT_EQ(p.observations, static_cast<int32_t>(f.usable()));  // the floored one counts
  for (const auto& [ij, v] : want["accumulated"])
    expectNear(A[pkAny(ij.first, ij.second)], v, "accumulated");

  const double* B = p.entries.estimatesBlock(&p);
  for (const auto& [ij, v] : want["estimates"])
    expectNear(B[ij.first * 5 + ij.second], v, "estimate");
  const double* err = p.entries.errorTriangle(&p);
  const double* resp = p.entries.responseTriangle(&p);
  for (const auto& [ij, v] : want["error"]) expectNear(err[pkAny(ij.first, ij.second)], v, "error");
  for (const auto& [ij, v] : want["response"])
    expectNear(resp[pkAny(ij.first, ij.second)], v, "response");

  // The aliased level is left unswept and its mark stays 0.
  const auto* record = static_cast<SscpSweepRecord*>([&]() -> void* {
    for (SscpCacheItem* c = p.cache; c; c = c->next)
      if (c->code == 12) return c->item;
    return nullptr;
  }());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::vector<int32_t>(record->marks, record->marks + 5),
            (std::vector<int32_t>{1, 1, 1, 1, 0}));

  // Three combinations, the third twice the second: rank 2.
  const double L[15] = {0, 1, 0, 0, 0, 0, 0, 1, -1, 0, 0, 0, 2, -2, 0};
  SscpHypothesisRequest req{3, L};
  const SscpHypothesisResult* h = p.entries.hypothesis(&p, &req, -1, "dse");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->rank, 2);
  EXPECT_EQ(h->estimateCount, 3);
  for (const auto& [ij, v] : want["hypothesis"])
    expectNear(h->crossproducts[pkAny(ij.first, ij.second)], v, "hypothesis");
  for (const auto& [ij, v] : want["combinations"])
    expectNear(h->estimates[ij.second * 3 + ij.first], v, "L b");
  const SscpHypothesisResult* one = p.entries.hypothesis(&p, &req, 1, "s");
  expectNear(one->crossproducts[0], want["hypothesis"][{1, 1}],
             "hypothesis of the second response");
}

TEST(Provider, CholeskyFactorReproducesTheMatrix) {
  Fixture f;
  SscpProvider& p = f.p();
  const double* A = static_cast<double*>(sscpItem(&p, 0, 0));
  const double* L = p.entries.cholesky(&p);
  ASSERT_NE(L, nullptr);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j <= i; ++j) {
      double s = 0;
      for (int k = 0; k <= j; ++k) s += L[pk(i, k)] * L[pk(j, k)];
      expectNear(s, A[pk(i, j)], "L L' at " + std::to_string(i) + "," + std::to_string(j));
    }
  EXPECT_EQ(L[pk(4, 4)], 0.0);  // the aliased level
}

TEST(Provider, ItemsAreCachedAndAnInPlaceSweepAccumulatesAgain) {
  Fixture f;
  SscpProvider& p = f.p();
  double* a = static_cast<double*>(sscpItem(&p, 0, 0));
  EXPECT_EQ(sscpItem(&p, 0, 0), a);
  const std::vector<double> before(a, a + tri(7));
  p.flags = 1;
  double* s = static_cast<double*>(sscpItem(&p, 1, 0));
  EXPECT_EQ(s, a);
  EXPECT_EQ(sscpItem(&p, 1, 0), s);
  double* again = static_cast<double*>(sscpItem(&p, 0, 0));
  EXPECT_NE(again, a);
  EXPECT_EQ(std::vector<double>(again, again + tri(7)), before);
}

// A map moves and drops columns; the responses go after the largest mapped position, so the
// largest design position and the first response keep rows of their own.
TEST(Provider, MappedColumnsKeepTheResponsesApart) {
  Fixture whole, mapped;
  const double* A = static_cast<double*>(sscpItem(&whole.p(), 0, 0));
  const int32_t map[5] = {2, 0, -1, 1, 3};
  mapped.p().columnMap = map;
  const double* M = static_cast<double*>(sscpItem(&mapped.p(), 0, 0));
  ASSERT_EQ(mapped.p().p, 4);
  int32_t at[7];  // each mapped row's row in the whole matrix
  for (int j = 0; j < 5; ++j)
    if (map[j] >= 0) at[map[j]] = j;
  at[4] = 5, at[5] = 6;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j <= i; ++j)
      expectNear(M[pk(i, j)], A[pkAny(at[i], at[j])],
                 "mapped " + std::to_string(i) + "," + std::to_string(j));
}

TEST(Provider, WithoutResponsesTheResponseItemsAreEmpty) {
  Fixture f(0);
  SscpProvider& p = f.p();
  ASSERT_NE(sscpItem(&p, 0, 0), nullptr);
  EXPECT_EQ(p.p + p.q, 5);
  EXPECT_NE(p.entries.errorTriangle(&p), nullptr);
  EXPECT_NE(p.entries.estimatesBlock(&p), nullptr);
}

// A map whose largest position makes the matrix too large for the host ends the step before
// anything is allocated, and the message names the crossproducts matrix.
TEST(Provider, AMatrixTooLargeEndsTheStep) {
  Fixture f;
  const int32_t map[5] = {0, 1, 2, 3, 30000};
  f.p().columnMap = map;
  test::LogWatch log;
  EXPECT_TRUE(test::endsStep([&] { (void)sscpItem(&f.p(), 0, 0); }, 1012));
  EXPECT_TRUE(log.has("", "crossproducts matrix of order 30003")) << log.last();
}

}  // namespace
}  // namespace vsf
