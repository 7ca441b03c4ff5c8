// The column level tables a BY group's model sums are scaled by: refused for memory, they fail
// the data pass's end instead of leaving the sums to be scaled by tables that are not there.
#include <gtest/gtest.h>

#include <memory>

#include "base/codes.h"
#include "common/test_host.h"
#include "design/design.h"
#include "frame/groupdata_internal.h"

namespace vsf::test {
namespace {

// A full-rank design of one CLASS effect of three levels (two coded columns) whose context has
// no pool: every table it asks for is refused.
struct RefusingDesign {
  LevelVar level;
  int32_t key[2] = {0, 1};
  ZEffect effect;
  ZDesign design;
  ZLevCtx ctx;

  RefusingDesign() {
    level.levelCount = 3;
    effect.keyCount = 1, effect.crossCount = 1, effect.cross = key, effect.key = key;
    effect.classColumnCount = 2, effect.columnCount = 2;
    design.flags = dflag::kFullRank;
    design.classCount = 1, design.classVars = &level;
    design.effectCount = 1, design.effects = &effect;
    ctx.design = &design;
  }
};

TEST(LevelTables, RefusedForMemoryFailTheModelSums) {
  ensureHost();
  RefusingDesign r;
  EXPECT_EQ(zncols(&r.ctx), rc::kMemory);

  auto state = std::make_unique<VsfState>();
  DataPass p;
  p.s = state.get();
  p.ctx = &r.ctx;
  p.d = &r.design;
  EXPECT_EQ(finishModelSums(&p), rc::kMemory);
}

}  // namespace
}  // namespace vsf::test
