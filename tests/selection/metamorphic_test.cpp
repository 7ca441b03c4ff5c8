// Results that must not depend on how the rows are stored or passed: threads, page size,
// resident or paged blocks, sparse storage, the crossproduct mode, frequencies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/group_support.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

// What a fit leaves that the methods read.
struct Outcome {
  std::vector<double> a, s, est;
  double sse = 0, press = 0, cv = 0;
  int swept = 0;
};

Outcome fit(const test::CaseData& data, GroupSettings gs, const std::vector<int>& effects) {
  Group g(data, gs);
  Outcome o;
  EXPECT_EQ(g.prepare(), 0);
  EXPECT_EQ(g.enter(effects), 0);
  const SelectionState& s = g.s();
  o.a = test::packed(s.sweep.sscp, s.sweep.sscpOrder);
  o.s = test::packed(s.sweep.swept, s.sweep.sscpOrder);
  o.est = g.estimates();
  o.sse = s.fit.trainSse;
  o.swept = s.sweep.sweptColumns;
  o.press = criterionValue(&g.s(), kCritPress);
  o.cv = gs.kfold ? criterionValue(&g.s(), kCritCv) : 0;
  return o;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), 8 * a.size()) == 0;
}
bool sameBits(double a, double b) { return std::memcmp(&a, &b, 8) == 0; }

void expectClose(const Outcome& a, const Outcome& b, double tol) {
  ASSERT_EQ(a.est.size(), b.est.size());
  EXPECT_EQ(a.swept, b.swept);
  for (size_t i = 0; i < a.est.size(); ++i) {
    if (std::isnan(a.est[i])) {
      EXPECT_TRUE(std::isnan(b.est[i])) << i;
      continue;
    }
    EXPECT_NEAR(a.est[i], b.est[i], tol * std::fmax(1, std::fabs(a.est[i]))) << i;
  }
  EXPECT_NEAR(a.sse, b.sse, tol * a.sse);
  EXPECT_NEAR(a.press, b.press, tol * a.press);
  EXPECT_NEAR(a.cv, b.cv, tol * std::fmax(1, a.cv));
}

const std::vector<int> kDiabetesFull = {0, 3, 9, 4, 1, 2, 5, 6, 7, 8, 10};

// Threaded passes sum each file into a buffer of its own and add the buffers in file order,
// as the sequential pass over the same files does: the same bits.
TEST(Metamorphic, ThreadedEqualsSequentialBitForBit) {
  const auto data = test::readCase("diabetes_cv");
  for (bool full : {true, false}) {
    for (int workers : {1, 2, 4}) {
      SCOPED_TRACE(std::string(full ? "full" : "incremental") + ", " + std::to_string(workers) +
                   " workers");
      GroupSettings gs;
      gs.weight = true, gs.kfold = true, gs.folds = 5, gs.full = full, gs.store = !full;
      gs.files = workers, gs.pageSizeKb = 1, gs.resident = 3;
      gs.workers = 1;
      Outcome sequential = fit(data, gs, kDiabetesFull);
      gs.workers = workers;
      Outcome threaded = fit(data, gs, kDiabetesFull);
      EXPECT_TRUE(sameBits(sequential.a, threaded.a));
      EXPECT_TRUE(sameBits(sequential.s, threaded.s));
      EXPECT_TRUE(sameBits(sequential.press, threaded.press));
      EXPECT_TRUE(sameBits(sequential.cv, threaded.cv));
    }
  }
}

TEST(Metamorphic, ResidencyAndPageSizeDoNotChangeTheFit) {
  const auto data = test::readCase("diabetes_cv");
  GroupSettings gs;
  gs.weight = true, gs.kfold = true, gs.folds = 5, gs.files = 3, gs.workers = 3;
  gs.pageSizeKb = 1;
  const Outcome resident = fit(data, gs, kDiabetesFull);
  gs.resident = 0;  // every block paged
  const Outcome paged = fit(data, gs, kDiabetesFull);
  EXPECT_TRUE(sameBits(resident.a, paged.a));
  EXPECT_TRUE(sameBits(resident.s, paged.s));
  EXPECT_TRUE(sameBits(resident.cv, paged.cv));
  for (int kb : {2, 16, 0}) {
    gs.pageSizeKb = kb;
    expectClose(resident, fit(data, gs, kDiabetesFull), 1e-11);
  }
  gs.files = 1, gs.workers = 1;
  expectClose(resident, fit(data, gs, kDiabetesFull), 1e-11);
}

TEST(Metamorphic, FullEqualsIncremental) {
  const auto data = test::readCase("diabetes_cv");
  GroupSettings gs;
  gs.weight = true, gs.kfold = true, gs.folds = 5;
  const Outcome full = fit(data, gs, kDiabetesFull);
  gs.full = false;
  expectClose(full, fit(data, gs, kDiabetesFull), 1e-10);
  gs.store = true;
  expectClose(full, fit(data, gs, kDiabetesFull), 1e-10);
}

// CLASS-like effects stored sparse (indices sorted within each effect, as the data pass
// writes them) give the same crossproducts, placed at their own columns.
TEST(Metamorphic, SparseStorageGivesTheSameFit) {
  const auto mtcars = test::readCase("mtcars");
  const std::vector<int> all = {0, 4, 3, 1, 6, 2, 5, 7};
  const auto synthetic = test::syntheticCase({1, 5, 1, 7, 1, 3}, 300, 7);
  const std::vector<int> syntheticAll = {0, 1, 2, 3, 4, 5};
  struct Row {
    const test::CaseData* data;
    std::vector<int> effects;
    std::vector<bool> sparse;
    bool kfold;
  };
  for (const Row& r :
       {Row{&mtcars, all, {false, true, false, false, false, false, false, true}, false},
        Row{&synthetic, syntheticAll, {false, true, false, true, false, true}, true}}) {
    for (int mode = 0; mode < 3; ++mode) {
      SCOPED_TRACE(mode);
      GroupSettings gs;
      gs.full = mode == 0, gs.store = mode == 2, gs.kfold = r.kfold, gs.folds = 5;
      const Outcome dense = fit(*r.data, gs, r.effects);
      gs.sparse = r.sparse;
      const Outcome sparse = fit(*r.data, gs, r.effects);
      expectClose(dense, sparse, 1e-10);
    }
  }
}

// The whole matrix with sparse effects, element by element against dense storage.
TEST(Metamorphic, SparseProductsLandInTheirPackedElements) {
  const auto data = test::syntheticCase({1, 4, 1, 6, 2, 1}, 200, 3);
  GroupSettings gs;
  Group dense(data, gs);
  gs.sparse = {false, true, false, true, false, true};
  Group sparse(data, gs);
  ASSERT_EQ(dense.prepare(), 0);
  ASSERT_EQ(sparse.prepare(), 0);
  // Column of parameter j (effect order) in each layout.
  auto columns = [](const SelectionState& s) {
    std::vector<int> c;
    for (int e = 0; e < s.layout.effectCount; ++e)
      for (int j = 0; j < s.layout.columnCount[e]; ++j) c.push_back(s.layout.layoutColumn[e] + j);
    return c;
  };
  const auto cd = columns(dense.s()), cs = columns(sparse.s());
  for (size_t i = 0; i <= cd.size(); ++i)
    for (size_t j = 0; j <= i; ++j) {
      const int di = i ? cd[i - 1] : 0, dj = j ? cd[j - 1] : 0;
      const int si = i ? cs[i - 1] : 0, sj = j ? cs[j - 1] : 0;
      const double want = dense.s().sweep.sscp[pkAny(di, dj)];
      EXPECT_NEAR(want, sparse.s().sweep.sscp[pkAny(si, sj)], 1e-12 * std::fmax(1, std::fabs(want)))
          << i << "," << j;
    }
}

// An observation of frequency f is f observations: same fit, same PRESS (its leverage uses
// the weight only).
TEST(Metamorphic, FrequencyEqualsRepeatedRows) {
  const auto data = test::syntheticCase({1, 3, 1, 1}, 120, 11);
  test::CaseData expanded = data;
  expanded.y.clear(), expanded.w.clear(), expanded.f.clear(), expanded.x.clear();
  expanded.fold.clear(), expanded.role.clear();
  for (size_t i = 0; i < data.rows(); ++i)
    for (int k = 0; k < data.f[i]; ++k) {
      expanded.y.push_back(data.y[i]), expanded.w.push_back(data.w[i]);
      expanded.f.push_back(1), expanded.x.push_back(data.x[i]);
      expanded.fold.push_back(0), expanded.role.push_back(1);
    }
  for (bool full : {true, false}) {
    GroupSettings gs;
    gs.weight = true, gs.freq = true, gs.full = full;
    expectClose(fit(data, gs, {0, 1, 2, 3}), fit(expanded, gs, {0, 1, 2, 3}), 1e-10);
  }
}

// Model averaging's resample frequencies replace the FREQ values; a row drawn 0 times adds
// nothing.
TEST(Metamorphic, ResampleFrequenciesWeightTheRows) {
  const auto data = test::syntheticCase({1, 3, 1, 1}, 150, 5);
  std::vector<double> draws;
  for (size_t i = 0; i < data.rows(); ++i) draws.push_back(static_cast<double>((i * 7) % 4));
  test::CaseData asFreq = data;
  asFreq.f = draws;
  for (bool full : {true, false}) {
    GroupSettings gs;
    gs.weight = true, gs.freq = true, gs.full = full, gs.store = !full;
    const Outcome byFreq = fit(asFreq, gs, {0, 1, 2, 3});
    gs.resample = draws;  // the rows' FREQ values are data.f, not used
    expectClose(byFreq, fit(data, gs, {0, 1, 2, 3}), 1e-10);
  }
}

}  // namespace
}  // namespace vsf
