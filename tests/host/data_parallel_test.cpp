// The threads of the data-set services: every item runs once whatever the threads, and a
// failure reaches the caller after every thread has stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "host/data/parallel.h"

namespace vsf::test {
namespace {

TEST(ParallelFor, EveryItemRunsOnce) {
  const struct {
    int count, threads;
  } cases[] = {{0, 4}, {1, 4}, {5, 1}, {7, 3}, {32, 8}, {1000, 8}};
  for (const auto& c : cases) {
    std::vector<std::atomic<int>> runs(static_cast<size_t>(c.count));
    host::parallelFor(c.count, c.threads, [&](int k) { ++runs[static_cast<size_t>(k)]; });
    for (int k = 0; k < c.count; ++k)
      EXPECT_EQ(runs[static_cast<size_t>(k)].load(), 1)
          << "item " << k << " of " << c.count << " on " << c.threads << " threads";
  }
}

TEST(ParallelFor, AFailureReachesTheCallerOnceAllHaveStopped) {
  for (int threads : {1, 3, 8}) {
    std::atomic<int> done{0};
    EXPECT_THROW(host::parallelFor(64, threads,
                                   [&](int k) {
                                     if (k == 5) throw std::runtime_error("item 5");
                                     ++done;
                                   }),
                 std::runtime_error)
        << threads << " threads";
    // The other threads finish their items; on one thread the loop stops at the failure.
    EXPECT_EQ(done.load(), threads == 1 ? 5 : 63) << threads << " threads";
  }
}

}  // namespace
}  // namespace vsf::test
