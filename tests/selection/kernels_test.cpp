// The row kernels: which rows they use, the blocked and row-by-row crossproducts, missing
// values, the sums for standardization and the fold tallies, PRESS at leverage one; the bytes a
// pass of the crossproducts holds, which the folds' memory checks count.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <mutex>

#include "common/fake_host.h"
#include "common/group_support.h"
#include "host/session.h"
#include "numerics/numerics.h"
#include "selection/selection_internal.h"
#include "selection/sscp_internal.h"

namespace vsf {
namespace {

using test::CaseData;
using test::Group;
using test::GroupSettings;

CaseData keepRows(const CaseData& d, const std::vector<bool>& keep) {
  CaseData out = d;
  out.y.clear(), out.w.clear(), out.f.clear(), out.fold.clear(), out.role.clear(), out.x.clear();
  for (size_t i = 0; i < d.rows(); ++i)
    if (keep[i]) {
      out.y.push_back(d.y[i]), out.w.push_back(d.w[i]), out.f.push_back(d.f[i]);
      out.fold.push_back(d.fold[i]), out.role.push_back(d.role[i]), out.x.push_back(d.x[i]);
    }
  return out;
}

void expectMatrixNear(const double* a, const double* b, int order, double tol) {
  for (int64_t i = 0; i < tri(order); ++i)
    EXPECT_NEAR(a[i], b[i], tol * std::fmax(1, std::fabs(a[i]))) << "element " << i;
}

// Validation and test rows and training rows whose fold was never drawn (-999) reach no sum.
TEST(Kernels, OnlyTrainingRowsOfAFoldReachTheCrossproducts) {
  CaseData data = test::syntheticCase({1, 3, 1, 2, 1}, 240, 4);
  for (size_t i = 0; i < data.rows(); i += 17) data.fold[i] = -999;
  std::vector<bool> keep;
  for (size_t i = 0; i < data.rows(); ++i) keep.push_back(data.role[i] == 1 && data.fold[i] >= 0);
  const CaseData training = keepRows(data, keep);
  for (int workers : {1, 2}) {
    SCOPED_TRACE(workers);
    GroupSettings gs;
    gs.weight = gs.freq = true, gs.kfold = true, gs.folds = 5, gs.pageSizeKb = 1;
    gs.files = gs.workers = workers, gs.sparse = {false, true, false, true, false};
    GroupSettings only = gs;
    gs.roles = true;
    Group all(data, gs), want(training, only);
    ASSERT_EQ(all.prepare(), 0);
    ASSERT_EQ(want.prepare(), 0);
    expectMatrixNear(want.s().sweep.sscp, all.s().sweep.sscp, all.s().sweep.sscpOrder, 1e-12);
    for (int f = 0; f < 5; ++f)
      expectMatrixNear(want.s().foldRecs[f].sscp, all.s().foldRecs[f].sscp, all.s().sweep.sscpOrder,
                       1e-12);
  }
}

// One dsyrk per panel of rows against one rank-one update per row.
TEST(Kernels, BlockedCrossproductsEqualRowByRow) {
  const CaseData data = test::syntheticCase({1, 4, 1, 1, 6, 1, 1}, 700, 8);
  for (bool sparse : {false, true}) {
    GroupSettings gs;
    gs.weight = gs.freq = true, gs.kfold = true, gs.folds = 5, gs.pageSizeKb = 2;
    gs.files = 3, gs.resident = 2;
    if (sparse) gs.sparse = {false, true, false, false, true, false, false};
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    SelectionState& s = g.s();
    const int q = s.sweep.sscpOrder;
    std::vector<std::vector<double>> blocked;
    for (int f = 0; f < s.folds; ++f) {
      blocked.push_back(test::packed(s.foldRecs[f].sscp, q));
      std::fill(s.foldRecs[f].sscp, s.foldRecs[f].sscp + tri(q), 0.0);
    }
    ASSERT_EQ(runDataPass(&s, kernSscpRowByRow, 0), 0);
    complementFolds(&s, s.sweep.sscp, &FoldRecord::sscp, 0, tri(q));
    for (int f = 0; f < s.folds; ++f)
      expectMatrixNear(blocked[f].data(), s.foldRecs[f].sscp, q, 1e-12);
  }
}

// A panel the BLAS cannot take (no room for its buffer) is added row by row: the same sums.
TEST(Kernels, CrossproductsWithoutTheBlasEqualThoseWithIt) {
  const CaseData data = test::syntheticCase({1, 4, 1, 1, 6, 1, 1}, 700, 8);
  GroupSettings gs;
  gs.weight = gs.freq = true, gs.pageSizeKb = 2, gs.files = 3, gs.resident = 2;
  Group with(data, gs), without(data, gs);
  ASSERT_EQ(with.prepare(), 0);
  limitBlasBuffers(0);
  const int rc = without.prepare();
  limitBlasBuffers(-1);
  ASSERT_EQ(rc, 0);
  expectMatrixNear(with.s().sweep.sscp, without.s().sweep.sscp, with.s().sweep.sscpOrder, 1e-12);
}

// A row with a missing value adds nothing, in a block that otherwise takes the dense loop.
TEST(Kernels, RowWithAMissingValueAddsNothing) {
  CaseData data = test::syntheticCase({1, 2, 1, 1}, 90, 12);
  std::vector<bool> keep(data.rows(), true);
  for (size_t i : {5u, 40u}) {
    data.x[i][3] = missingValue('.');
    keep[i] = false;
  }
  data.y[61] = missingValue('A');
  keep[61] = false;
  for (bool full : {true, false}) {
    GroupSettings gs;
    gs.full = full, gs.store = !full;
    Group with(data, gs), without(keepRows(data, keep), gs);
    ASSERT_EQ(with.prepare(), 0);
    ASSERT_EQ(without.prepare(), 0);
    ASSERT_EQ(with.enter({0, 1, 2, 3}), 0);
    ASSERT_EQ(without.enter({0, 1, 2, 3}), 0);
    EXPECT_NEAR(with.s().fit.trainSse, without.s().fit.trainSse, 1e-10 * without.s().fit.trainSse);
    const auto a = with.estimates(), b = without.estimates();
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-10 * std::fabs(b[i]));
  }
}

// Column sums, sums of squares and tallies, columns numbered in effect order whatever the
// storage of the effect.
TEST(Kernels, MomentsSquaresAndTallies) {
  const CaseData data = test::syntheticCase({1, 3, 1, 4, 1}, 150, 21);
  GroupSettings gs;
  gs.weight = gs.freq = gs.roles = gs.kfold = true, gs.folds = 5;
  gs.full = false, gs.sparse = {false, true, false, true, false};
  Group g(data, gs);
  ASSERT_EQ(g.prepare(), 0);
  SelectionState& s = g.s();
  const int p = s.layout.paramCount;
  std::vector<double> sum(p, 0), square(p, 0), rows(5, 0), freq(5, 0), wf(5, 0), foldYy(5, 0);
  double wy = 0, yy = 0;
  for (size_t i = 0; i < data.rows(); ++i) {
    if (data.role[i] != 1) continue;
    const double a = data.w[i] * data.f[i];
    wy += a * data.y[i];
    yy += a * data.y[i] * data.y[i];
    for (int c = 0; c < p; ++c) {
      sum[c] += a * data.x[i][c];
      square[c] += a * data.x[i][c] * data.x[i][c];
    }
    const int f = data.fold[i];
    rows[f] += 1, freq[f] += data.f[i], wf[f] += a, foldYy[f] += a * data.y[i] * data.y[i];
  }
  ASSERT_EQ(runDataPass(&s, kernStdMoments, 0), 0);
  ASSERT_EQ(runDataPass(&s, kernSumSquares, 0), 0);
  ASSERT_EQ(runDataPass(&s, kernGroupTallies, 0), 0);
  ASSERT_EQ(runDataPass(&s, kernFoldResponseSS, 0), 0);
  EXPECT_NEAR(s.totals.sumWy, wy, 1e-10 * std::fabs(wy));
  EXPECT_NEAR(s.totals.sumWyy, yy, 1e-10 * yy);
  for (int c = 0; c < p; ++c) {
    EXPECT_NEAR(s.layout.colMeans[c], sum[c], 1e-10 * std::fmax(1, std::fabs(sum[c]))) << c;
    EXPECT_NEAR(s.layout.colScales[c], square[c], 1e-10 * std::fmax(1, square[c])) << c;
    EXPECT_NEAR(s.sweep.colSquares[c], square[c], 1e-10 * std::fmax(1, square[c])) << c;
  }
  for (int f = 0; f < 5; ++f) {
    EXPECT_EQ(s.foldRecs[f].rows, rows[f]);
    EXPECT_EQ(s.foldRecs[f].freq, freq[f]);
    EXPECT_NEAR(s.foldRecs[f].weightFreq, wf[f], 1e-12 * wf[f]);
    EXPECT_NEAR(s.foldRecs[f].sscp[0], foldYy[f], 1e-10 * foldYy[f]);
  }
}

// An observation fitted exactly by a column of its own has leverage one and is left out of
// PRESS: what remains is the PRESS of the model without that column and that observation.
TEST(Kernels, PressLeavesOutARowOfLeverageOne) {
  CaseData data = test::syntheticCase({1, 1, 1}, 60, 30);
  CaseData marked = data;
  marked.effectColumns.push_back(1);
  for (size_t i = 0; i < marked.rows(); ++i) marked.x[i].push_back(i == 7 ? 1.0 : 0.0);
  std::vector<bool> keep(data.rows(), true);
  keep[7] = false;
  for (bool full : {true, false}) {
    GroupSettings gs;
    gs.weight = true, gs.full = full;
    Group g(marked, gs), want(keepRows(data, keep), gs);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(want.prepare(), 0);
    ASSERT_EQ(g.enter({0, 1, 2, 3}), 0);
    ASSERT_EQ(want.enter({0, 1, 2}), 0);
    const double press = criterionValue(&want.s(), kCritPress);
    EXPECT_NEAR(criterionValue(&g.s(), kCritPress), press, 1e-9 * press);
  }
}

// The bytes the pool holds at most while a pass runs, beyond what it held before.
struct PoolWatch {
  static inline std::mutex m;
  static inline std::map<void*, size_t> sizes;
  static inline double held = 0, peak = 0;
  test::FakeHost fake;
  PoolWatch() {
    held = peak = 0;
    sizes.clear();
    fake.kernel.poolAlloc = [](HostPool* p, size_t n, uint32_t f) -> void* {
      void* b = host::kKernel.poolAlloc(p, n, f);
      std::lock_guard<std::mutex> lock(m);
      if (b) sizes[b] = n, held += static_cast<double>(n), peak = std::max(peak, held);
      return b;
    };
    fake.kernel.poolFree = [](HostPool* p, void* b) {
      {
        std::lock_guard<std::mutex> lock(m);
        if (auto it = sizes.find(b); it != sizes.end()) held -= it->second, sizes.erase(it);
      }
      host::kKernel.poolFree(p, b);
    };
    fake.load();
  }
};

// What a pass summing each fold's crossproducts is counted to hold is what it takes: its sum
// and one buffer on the calling thread, or each worker's buffer and block sums waiting; a bound
// too short for every worker's leaves the pass to the calling thread, counted as such.
TEST(Kernels, CrossproductsPassHoldsWhatItIsCountedFor) {
  const CaseData data = test::syntheticCase({1, 4, 1, 1, 6, 1, 1}, 700, 8);
  const struct {
    int workers;
    bool bounded;  // the workers' buffers bound just short of every worker's
    bool threaded;
  } kCases[] = {{1, false, false}, {2, false, true}, {3, false, true}, {3, true, false}};
  double oneThread = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.workers << " workers" << (c.bounded ? ", bounded" : ""));
    GroupSettings gs;
    gs.kfold = true, gs.folds = 5, gs.pageSizeKb = 2, gs.files = gs.workers = c.workers;
    Group g(data, gs);
    ASSERT_EQ(g.prepare(), 0);
    SelectionState& s = g.s();
    const int64_t order = s.sweep.sscpOrder;
    if (c.bounded) {
      const double sum = 8.0 * static_cast<double>(tri(order)) * 5;
      g.vsf().res.workers.bufferBytes = sscpPassBytes(&s, 5, order) - sum - 1;
    }
    const double counted = sscpPassBytes(&s, 5, order);
    if (c.workers == 1) oneThread = counted;
    EXPECT_EQ(counted == oneThread, !c.threaded);
    PoolWatch watch;
    ASSERT_EQ(runDataPass(&s, kernSscp, 0), 0);
    // Beside the workers' records of a few dozen bytes each; the waiting slots the group kept
    // from an earlier pass serve this one, held all along.
    EXPECT_LE(PoolWatch::peak, counted + 128.0 * c.workers);
    const UtilFileArray& files = *s.utilFiles;
    const bool keptBefore = files.passSlots && !PoolWatch::sizes.count(files.passSlots);
    EXPECT_GE(PoolWatch::peak + (keptBefore ? files.passSlotBytes : 0.0), counted);
  }
}

}  // namespace
}  // namespace vsf
