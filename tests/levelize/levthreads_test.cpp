// Threaded levelization that a worker's failure ends: the messages of the threaded stop, the
// design's return code, and the levels of one thread when the levelization can go on.
#include <gtest/gtest.h>

#include <thread>

#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;
using Messages = std::vector<std::pair<int, int>>;

std::thread::id gCaller;

// Levels of c and n in the first BY group of tests/data/levelize/groups.csv.
struct Levelized {
  int status = -1;
  std::vector<std::string> c, n;
};

void describe(LevHarness& h) {
  h.addClass("c");
  h.addClass("n");
  h.addModelVar("x");
  h.addEffect({0});
  h.addEffect({0, 1});  // keeps level combinations
  h.build();
}

Levelized levelize(LevHarness& h) {
  Levelized out;
  out.status = h.levelize();
  out.c = h.levels(0);
  out.n = h.levels(1);
  return out;
}

TEST(ThreadedLevelization, AWorkerThatCannotWaitStopsTheThreadsAndOneThreadReads) {
  // One harness at a time: each closes the step's data sets when it goes.
  Levelized want;
  std::vector<int32_t> combinations;
  {
    LevHarness one("groups", {"g"});
    describe(one);
    ASSERT_TRUE(one.nextGroup());
    want = levelize(one);
    ASSERT_EQ(want.status, 0);
    for (int e = 0; e < one.design.effectCount; ++e)
      combinations.push_back(one.design.effects[e].combinationCount);
  }

  LevHarness h("groups", {"g"});
  // The workers wait on two events, the calling thread on one: only the workers' waits fail.
  h.kernel.eventWait = [](HostEvent* const* e, int n, int64_t t) {
    return n == 2 ? 0 : host::kKernel.eventWait(e, n, t);
  };
  h.load();
  describe(h);
  h.ctx.threaded = 1;
  h.ctx.workers = 3;
  ASSERT_TRUE(h.nextGroup());
  const Levelized got = levelize(h);
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.c, want.c);
  EXPECT_EQ(got.n, want.n);
  // Both passes stop: the levels, then the combinations, each read again on one thread. The
  // first worker's failure is told before the others'.
  EXPECT_EQ(h.messageNumbers(),
            (Messages{{174, 55}, {174, 66}, {848, 4960}, {174, 55}, {174, 66}, {848, 4960}}));
  EXPECT_EQ(h.design.buildCode, 1012);
  for (int e = 0; e < h.design.effectCount; ++e)
    EXPECT_EQ(h.design.effects[e].combinationCount, combinations[static_cast<size_t>(e)]);
}

TEST(ThreadedLevelization, AWorkerWhoseWorkFailsEndsTheStepAfterTheStopMessage) {
  gCaller = std::this_thread::get_id();
  LevHarness h("groups", {"g"});
  // Memory is refused to the workers only.
  h.kernel.poolAlloc = [](HostPool* p, size_t n, uint32_t f) -> void* {
    return std::this_thread::get_id() == gCaller ? host::kKernel.poolAlloc(p, n, f) : nullptr;
  };
  h.load();
  describe(h);
  h.ctx.threaded = 1;
  h.ctx.workers = 2;
  ASSERT_TRUE(h.nextGroup());
  EXPECT_TRUE(test::endsStep([&] { h.levelize(); }, 1012));
  // The worker's own message, then the stop's (the other worker's run had no rows to read).
  EXPECT_EQ(h.messageNumbers(), (Messages{{848, 140}, {174, 56}}));
  EXPECT_EQ(h.design.buildCode, 1012);
}

}  // namespace
}  // namespace vsf
