// The selected model handed to the post-fit bridge: the reduced design of the selected
// effects, their estimates and crossproducts, the mean square error, and an empty model.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "frame/bridge.h"
#include "penalized/penalized.h"
#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

// A module that keeps what it is handed.
struct Received {
  std::map<int32_t, const void*> items;
  int runs = 0, afterHandOver = 0;
  int32_t effectCount = -1, columnCount = -1;
  uint32_t flags = 0;
  ZDesign** designSlot = nullptr;
};
Received* received = nullptr;

const BridgeMethodTable kRecorder = [] {
  BridgeMethodTable t;
  t.setItem = [](BridgeObject*, int32_t key, const void* value, int) {
    received->items[key] = value;
    return 0;
  };
  t.run = [](BridgeObject*) {
    received->runs += 1;
    received->effectCount = (*received->designSlot)->effectCount;
    received->columnCount = (*received->designSlot)->columnCount;
    received->flags = (*received->designSlot)->flags;
    return 0;
  };
  t.afterHandOver = [](BridgeObject* b, int) {
    received->afterHandOver += 1;
    b->status = 4;
    return 0;
  };
  return t;
}();

// The swiss design: the intercept and five effects of one column each.
struct Handover {
  test::MethodCase c = test::readMethodCase("swiss");
  ZEffect effects[6];
  char names[6][20] = {"Intercept", "Agriculture", "Examination",
                       "Education", "Catholic",    "Infant.Mortality"};
  ZDesign design;
  LevAllocRecord alloc;
  BridgeFitRecord fit;
  BridgeObject bridge;
  Received got;

  std::unique_ptr<test::MethodFit> run(bool noInt) {
    test::MethodSettings m;
    m.group.method = kMethodForward;
    m.options = [noInt](SelectionOptions& o) {
      if (noInt) o.noInt = 1, o.forcedEffects = 0;
    };
    auto f = std::make_unique<test::MethodFit>(c, m);
    EXPECT_EQ(f->fit(), 0);
    VsfState& v = f->group().vsf();
    for (int e = 0; e < 6; ++e) {
      effects[e].name = names[e];
      effects[e].startColumn = e;
      effects[e].columnCount = 1;
    }
    design.effectCount = 6, design.columnCount = 6, design.effects = effects;
    alloc.allocator = v.group.byPool;
    v.lev.design = &design;
    v.lev.alloc = &alloc;
    v.res.bridge = &bridge;
    v.settings.options.noInt = noInt;
    bridge.methods = &kRecorder;
    bridge.fit = &fit;
    received = &got;
    got.designSlot = &v.lev.design;
    return f;
  }
};

TEST(Handover, SelectedEffectsTheirEstimatesAndCrossproducts) {
  Handover h;
  auto f = h.run(false);
  VsfState& v = f->group().vsf();
  SelectionState& s = f->s();
  ASSERT_EQ(f->finalModel(), "0;1;3;4;5");
  v.settings.storeSelectedModel = 1;
  ASSERT_EQ(passSelectedModel(&v, &s, s.modelPool), 0);
  EXPECT_EQ(h.got.runs, 1);
  EXPECT_EQ(h.got.effectCount, 5);
  EXPECT_EQ(h.got.columnCount, 5);
  EXPECT_EQ(v.lev.design, &h.design);  // put back
  EXPECT_EQ(h.got.afterHandOver, 1);
  EXPECT_EQ(v.stepCode, 4);  // the module's status
  // Estimates in design order: effects 0, 1, 3, 4, 5.
  const auto* est = static_cast<const double*>(h.got.items.at(3));
  const int selected[5] = {0, 1, 3, 4, 5};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(est[i], s.sweep.estimates[selected[i]]);
  // Crossproducts of the selected columns, the response last.
  const auto* sscp = static_cast<const double*>(h.got.items.at(7));
  for (int i = 0; i <= 5; ++i)
    for (int j = 0; j <= i; ++j) {
      const int a = i == 5 ? 0 : s.sweep.firstColumn[selected[i]];
      const int b = j == 5 ? 0 : s.sweep.firstColumn[selected[j]];
      EXPECT_EQ(sscp[pk(i, j)], s.sweep.sscp[pkAny(a, b)]) << i << "," << j;
    }
  EXPECT_DOUBLE_EQ(h.fit.block[1], s.fit.trainSse / (s.totals.trainFreq - 5));
  EXPECT_EQ(h.fit.block[4], s.totals.trainFreq - 5);
  EXPECT_EQ(h.got.items.at(25), &s.totals.sumWy);
  EXPECT_EQ(h.got.items.count(13), 0u);  // no per-effect scales were made
}

TEST(Handover, AFailedSelectionPassesNothingAndAnEmptyModelPassesEmpty) {
  Handover h;
  auto f = h.run(true);
  VsfState& v = f->group().vsf();
  SelectionState& s = f->s();
  s.run.status = runstatus::kNothingEntered;
  ASSERT_EQ(passSelectedModel(&v, &s, s.modelPool), 0);
  EXPECT_EQ(h.got.runs, 0);

  // The selected model of the run is empty (an averaged model can be, without intercept).
  s.run.status = 0;
  s.sweep.effectsInModel = 0;
  std::fill(s.sweep.states, s.sweep.states + s.layout.effectCount, EffectState::kFree);
  ASSERT_EQ(passSelectedModel(&v, &s, s.modelPool), 0);
  EXPECT_EQ(h.got.runs, 1);
  EXPECT_EQ(h.got.effectCount, 0);
  EXPECT_EQ(h.got.columnCount, 0);
  EXPECT_TRUE(h.got.flags & dflag::kNoIntercept);
  EXPECT_EQ(v.lev.design, &h.design);
}

}  // namespace
}  // namespace vsf
