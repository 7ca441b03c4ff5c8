#include "base/crew.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "common/test_host.h"

namespace vsf {
namespace {

// Chunks come back in their order whatever the number of workers; a job that fails ends the
// pass on the calling thread with its own result or exception, and the crew stops cleanly.
TEST(WorkCrew, ChunksInOrderAndFailuresOnTheCallingThread) {
  test::ensureHost();
  struct Case {
    int workers;
    int64_t failing;  // the chunk whose job fails, -1 none
    bool throws;
  } cases[] = {{1, -1, false}, {3, -1, false}, {8, -1, false}, {3, 4, false}, {4, 2, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.workers);
    std::vector<int64_t> done(static_cast<size_t>(c.workers), -1);
    WorkCrew crew;
    ASSERT_TRUE(crew.start(c.workers, [&](int worker, int64_t chunk) {
      done[static_cast<size_t>(worker)] = chunk;
      if (chunk != c.failing) return 0;
      if (c.throws) throw std::runtime_error("worker failed");
      return 7;
    }));
    int64_t taken = 0;
    int result = 0;
    try {
      for (; taken < 12; ++taken) {
        result = crew.take(taken);
        if (result != 0) break;
        EXPECT_EQ(done[static_cast<size_t>(taken % c.workers)], taken);
        crew.release(taken);
      }
    } catch (const std::runtime_error&) {
      result = -1;
    }
    crew.stop();
    if (c.failing < 0) {
      EXPECT_EQ(taken, 12);
      EXPECT_EQ(result, 0);
    } else {
      EXPECT_EQ(taken, c.failing);
      EXPECT_EQ(result, c.throws ? -1 : 7);
    }
  }
}

}  // namespace
}  // namespace vsf
