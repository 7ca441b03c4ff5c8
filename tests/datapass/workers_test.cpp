// A BY group's workers: the step's, as many as its values keep busy, never more; and as many
// as their buffers' bound holds.
#include <gtest/gtest.h>

#include <limits>

#include "datapass/pass.h"

namespace vsf {
namespace {

TEST(GroupWorkers, AsManyAsTheGroupsValuesPayFor) {
  struct Row {
    const char* what;
    PassWorkers step;
    int64_t rows, columns;
    PassWorkers want;
  } rows[] = {
      {"a small group runs on the calling thread", {1, 8}, 100, 11, {0, 1}},
      {"no rows", {1, 8}, 0, 11, {0, 1}},
      {"no columns count as one", {1, 8}, 65536, 0, {0, 1}},
      {"just short of two workers' share", {1, 8}, 131071, 1, {0, 1}},
      {"two workers' share", {1, 8}, 13108, 10, {1, 2}},
      {"wide rows pay sooner", {1, 8}, 1000, 400, {1, 6}},
      {"a large group takes every worker", {1, 8}, 1000000, 11, {1, 8}},
      {"never more than the step's", {1, 3}, 1000000, 11, {1, 3}},
      {"rows not known: the step's", {1, 8}, -1, 11, {1, 8}},
      {"no threads stay none", {0, 1}, 1000000, 11, {0, 1}},
      {"rows past 32 bits", {1, 4}, int64_t{1} << 40, 1 << 20, {1, 4}},
  };
  for (const Row& r : rows) {
    const PassWorkers w = groupWorkers(r.step, r.rows, r.columns);
    EXPECT_EQ(w.count, r.want.count) << r.what;
    EXPECT_EQ(w.threaded, r.want.threaded) << r.what;
  }
}

TEST(WorkerBudget, TheMostWorkersWhoseBuffersFit) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const struct {
    int32_t requested;
    double budget, perWorker;
    int32_t want;
  } rows[] = {
      {8, kNone, 1e6, 8},  // no bound
      {8, 8e6, 1e6, 8},    // exactly room for all
      {8, 5.5e6, 1e6, 5},  // room for 5
      {8, 1.9e6, 1e6, 1},  // not for 2: the calling thread alone
      {1, 0, 1e6, 1},      // one asked for
      {4, 0, 0, 4},        // workers without buffers
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.requested << " " << r.budget << " " << r.perWorker);
    EXPECT_EQ(workersMemoryAllows(r.requested, r.budget, r.perWorker), r.want);
  }
  // A pass's worker holds its buffer and up to 8 sums waiting, 2 at the least.
  EXPECT_EQ(passWorkerBytes(10, 30), 8.0 * (30 + 8 * 10));
  EXPECT_EQ(passWorkerBytes(1 << 20, 1 << 20), 8.0 * 3 * (1 << 20));
}

}  // namespace
}  // namespace vsf
