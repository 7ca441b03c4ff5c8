// A selection does not depend on how its passes run: threaded equals sequential bit for bit,
// whatever the page size and the blocks kept in memory; and with two candidates of equal SSE
// reduction the one with the lower index enters.
#include <gtest/gtest.h>

#include <cstring>

#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

std::vector<uint64_t> sseBits(const SelectionState& s) {
  std::vector<uint64_t> out;
  for (int i = 0; i < s.steps.stepCount; ++i) out.push_back(bitsOf(s.steps.sse[i]));
  return out;
}

TEST(MethodThreads, ThreadedEqualsSequential) {
  const test::MethodCase c = test::readMethodCase("boston");
  for (MethodCode method : {kMethodForward, kMethodStepwise, kMethodBackward})
    for (bool full : {true, false}) {
      if (method == kMethodBackward && !full) continue;
      SCOPED_TRACE(std::to_string(codeIndex(method)) + (full ? " full" : " incremental"));
      std::vector<uint64_t> first;
      std::string path;
      for (int workers : {1, 4}) {
        test::MethodSettings m;
        m.group.method = method;
        m.group.select = kCritAic;
        m.group.full = full;
        m.group.store = !full;
        m.group.files = 4;
        m.group.workers = workers;
        m.group.pageSizeKb = 4;
        m.group.resident = workers == 1 ? 1 : 2;
        m.stop = kCritNone;
        test::MethodFit fit(c, m);
        ASSERT_EQ(fit.fit(), 0);
        ASSERT_EQ(fit.s().run.status, 0);
        if (workers == 1) {
          first = sseBits(fit.s());
          path = fit.path();
        } else {
          EXPECT_EQ(sseBits(fit.s()), first);
          EXPECT_EQ(fit.path(), path);
        }
      }
    }
}

// Effect 6 repeats Education (effect 3): Education enters, and its copy is aliased from then.
TEST(MethodThreads, EqualReductionsEnterTheLowerIndex) {
  test::MethodCase c = test::readMethodCase("swiss");
  c.data.effectColumns.push_back(1);
  for (auto& x : c.data.x) x.push_back(x[3]);
  c.effectNames.push_back("copy");
  for (auto* v : {&c.prerequisiteCount, &c.dependantCount}) v->push_back(0);
  c.prerequisiteLists.push_back(nullptr), c.dependantLists.push_back(nullptr);
  test::MethodSettings m;
  m.stop = kCritNone;
  test::MethodFit fit(c, m);
  ASSERT_EQ(fit.fit(), 0);
  EXPECT_EQ(fit.path().substr(0, 2), "+3");
  EXPECT_EQ(fit.s().sweep.states[6], EffectState::kFree);
  EXPECT_EQ(fit.s().run.stop.reason, stopreason::kNoCandidate);
}

}  // namespace
}  // namespace vsf
