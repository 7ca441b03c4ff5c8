// The constructed-effect set-up of a BY group: data that do not allow an effect (listed knots
// outside the range, equal knots of a natural cubic spline, boundary knots that leave no range,
// a polynomial scaled from one observation, two rows of one LAG subject and period, a history
// row with a response) skip that group with its message, and the other groups are fitted.
#include <gtest/gtest.h>

#include "common/datapass_support.h"
#include "design/design.h"
#include "levelize/levelize.h"

namespace vsf::test {
namespace {

TEST(ConstructedSetUp, DataThatDoNotAllowAnEffectSkipTheGroup) {
  struct Case {
    const char* effect;
    std::vector<std::pair<int, int>> messages;  // (number, times) of set 174
    int fitted;                                 // of the 4 groups
  } cases[] = {
      {"lag(L / within=subj period=per)", {{77, 1}}, 3},
      {"poly(x / degree=2 standardize)", {{71, 1}}, 3},
      {"spline(x / knotmethod=list(2 4))", {{63, 1}}, 3},
      {"spline(x / naturalcubic knotmethod=list(1.5 3 3 4))", {{89, 3}, {63, 1}}, 0},
      {"spline(x / knotmethod=listwithboundary(0 1 2 3 4 10 11 12))", {{91, 1}}, 3},
      // Group 1's duplicate lies among the rows whose r is not 0; group 4's history row (r = 0)
      // has a response.
      {"lag(L / within=subj period=per designrole=r)", {{78, 1}, {92, 1}}, 2},
  };
  PassSettings settings;
  settings.library = VSF_TEST_DATA "/levelize";
  for (const Case& c : cases) {
    int fitted = 0;
    StepRun r = runOnData(
        std::string("proc varsifter data=setup; by b; class L;\neffect e = ") + c.effect +
            ";\nmodel y = e / selection=none;\nrun;",
        [&](VsfState&) { ++fitted; }, settings);
    for (auto [number, times] : c.messages)
      EXPECT_EQ(r.count(174, number), times) << c.effect << "\n" << r.dump();
    EXPECT_EQ(fitted, c.fitted) << c.effect;
    EXPECT_EQ(r.code, 112) << c.effect;
  }
}

// Every LAG record with two tables reads its DESIGNROLE= value unscaled, not only the last one.
TEST(ConstructedSetUp, EveryDesignRoleValueIsUnscaled) {
  LevelVar vars[2];
  for (LevelVar& v : vars) {
    v.center = 5;
    v.halfRange = 2;
  }
  ZDesign d;
  d.modelVarCount = 2;
  d.modelVars = vars;
  ZLevCtx ctx;
  ctx.design = &d;
  ctx.start = [](ZLevCtx*) { return 0; };
  ctx.next = [](ZLevCtx*) { return 0; };
  LagRecord lags[2];
  LagRecord* list[2] = {&lags[0], &lags[1]};
  for (int k = 0; k < 2; ++k) {
    lags[k].switchVar = k;
    lags[k].tables[0] = &lags[k].defaultTable;
    lags[k].tables[1] = &lags[k].alternativeTable;
  }
  zlagtables(&ctx, 2, list);
  for (const LevelVar& v : vars) {
    EXPECT_EQ(v.center, 0);
    EXPECT_EQ(v.halfRange, 1);
  }
}

}  // namespace
}  // namespace vsf::test
