// Crossproducts about centres against the same run on plain sums, on data whose columns lie a
// little away from 0 (where plain sums still keep ten digits): the crossproducts carried back,
// the intercept's estimate and inverse diagonal, the SSE, and the values the kernels take from
// the rows (PRESS, CV PRESS, the fold estimates), whichever way the crossproducts are kept.
#include <gtest/gtest.h>

#include <cmath>

#include "common/group_support.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

void expectClose(double got, double want, double relative, const char* what) {
  EXPECT_NEAR(got, want, relative * std::max(1.0, std::fabs(want))) << what;
}

TEST(Centres, CarriedBackValuesAreThoseOfPlainSums) {
  test::CaseData data = test::syntheticCase({1, 1, 1, 1}, 60, 11);
  for (size_t i = 0; i < data.rows(); ++i) {
    data.y[i] += 20;
    data.x[i][1] += 50, data.x[i][2] -= 30, data.x[i][3] += 7;
  }
  for (const auto& m : test::kStorageModes) {
    SCOPED_TRACE(m.name);
    GroupSettings gs;
    gs.weight = true, gs.kfold = true, gs.folds = 5, gs.full = m.full, gs.store = m.store;
    Group plain(data, gs);
    gs.centres = true;
    Group centred(data, gs);
    ASSERT_EQ(plain.prepare(), 0);
    ASSERT_EQ(centred.prepare(), 0);
    SelectionState &p = plain.s(), &c = centred.s();
    ASSERT_EQ(p.sweep.centres, nullptr);
    ASSERT_NE(c.sweep.centres, nullptr);
    ASSERT_EQ(plain.enter({0, 2, 3, 1}), 0);
    ASSERT_EQ(centred.enter({0, 2, 3, 1}), 0);
    expectClose(c.fit.trainSse, p.fit.trainSse, 1e-10, "SSE");
    const int64_t n = c.sweep.sscpOrder;
    for (int64_t i = 0; i < n; ++i)
      for (int64_t j = 0; j <= i; ++j)
        expectClose(plainCrossproduct(&c, c.sweep.sscp, i, j), p.sweep.sscp[pk(i, j)], 1e-12,
                    "crossproduct");
    const int64_t one = c.sweep.firstColumn[0];
    double b = NAN, v = NAN;
    interceptFromCentres(&c, c.sweep.swept, c.sweep.flags, &b, &v);
    expectClose(b, -p.sweep.swept[pk(one, 0)], 1e-10, "intercept");
    expectClose(v, p.sweep.swept[pk(one, one)], 1e-10, "its inverse diagonal");
    // The step's record: every estimate, standardized estimate and inverse diagonal (the
    // intercept given a scale, as its own column has none).
    p.layout.colScales[0] = c.layout.colScales[0] = 1;
    ASSERT_EQ(initSelectionState(&p, 1), 0);
    ASSERT_EQ(initSelectionState(&c, 1), 0);
    for (int32_t j = 0; j < c.layout.paramCount; ++j) {
      expectClose(c.sweep.estimates[j], p.sweep.estimates[j], 1e-10, "estimate");
      expectClose(c.sweep.stdEstimates[j], p.sweep.stdEstimates[j], 1e-10, "standardized");
      expectClose(c.sweep.invDiag[j], p.sweep.invDiag[j], 1e-10, "inverse diagonal");
    }
    for (int f = 0; f < c.folds; ++f) {
      double bf = NAN;
      interceptFromCentres(&c, c.foldRecs[f].swept, c.foldRecs[f].flags, &bf, nullptr);
      expectClose(bf, -p.foldRecs[f].swept[pk(one, 0)], 1e-10, "a fold's intercept");
    }
    ASSERT_EQ(computePress(&p), 0);
    ASSERT_EQ(computePress(&c), 0);
    expectClose(c.fit.press, p.fit.press, 1e-10, "PRESS");
    ASSERT_EQ(computeCvPress(&p), 0);
    ASSERT_EQ(computeCvPress(&c), 0);
    expectClose(c.fit.cvPress, p.fit.cvPress, 1e-10, "CV PRESS");
  }
}

// A run with an intercept on rows as stored sums about centres; NOINT and the paths' rewritten
// rows do not.
TEST(Centres, OnlyRunsWithAnInterceptOnRowsAsStored) {
  const test::CaseData data = test::syntheticCase({1, 1, 1}, 20, 3);
  const struct {
    MethodCode method;
    bool noInt, centres;
  } cases[] = {{kMethodForward, false, true},
               {kMethodNone, false, true},
               {kMethodForward, true, false},
               {kMethodLasso, false, false}};
  for (const auto& k : cases) {
    GroupSettings gs;
    gs.method = k.method, gs.centres = true;
    Group g(data, gs);
    g.options().noInt = k.noInt;
    g.settleOptionRecords();
    ASSERT_EQ(g.prepare(), 0);
    EXPECT_EQ(g.s().sweep.centres != nullptr, k.centres) << codeIndex(k.method) << k.noInt;
  }
}

}  // namespace
}  // namespace vsf
