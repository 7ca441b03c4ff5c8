#include "base/crew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/fake_host.h"
#include "common/test_host.h"
#include "host/session.h"

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
    std::vector<std::atomic<int>> ran(64);
    WorkCrew crew;
    ASSERT_TRUE(crew.start(c.workers, [&](int, int64_t chunk) {
      ran[static_cast<size_t>(chunk) % ran.size()] += 1;
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
        EXPECT_EQ(ran[static_cast<size_t>(taken)], 1);  // once, before it is taken
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

// With several slots a worker, each chunk's output stays in its slot until released while the
// workers go on, each worker runs its chunks in increasing order, and a failure ends the pass
// at its chunk.
TEST(WorkCrew, WorkersGoOnIntoTheirNextSlots) {
  test::ensureHost();
  struct Case {
    int workers, depth;
    int64_t failing;  // the chunk whose job fails, -1 none
  } cases[] = {{1, 2, -1}, {3, 2, -1}, {4, 3, -1}, {3, 2, 7}, {2, 4, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.workers << " workers, depth " << c.depth);
    const size_t slots = static_cast<size_t>(c.workers * c.depth);
    std::vector<int64_t> output(slots, -1);
    std::vector<int> ranOn(64, -1);
    std::vector<int64_t> last(static_cast<size_t>(c.workers), -1);  // per worker, its last chunk
    std::atomic<bool> inOrder{true};
    WorkCrew crew;
    ASSERT_TRUE(crew.start(
        c.workers,
        [&](int worker, int64_t chunk) {
          output[static_cast<size_t>(chunk) % slots] = chunk;
          if (chunk < 64) ranOn[static_cast<size_t>(chunk)] = worker;
          if (chunk <= last[static_cast<size_t>(worker)]) inOrder = false;
          last[static_cast<size_t>(worker)] = chunk;
          return chunk == c.failing ? 7 : 0;
        },
        nullptr, c.depth));
    EXPECT_EQ(crew.slots(), static_cast<int>(slots));
    int64_t taken = 0;
    int result = 0;
    for (; taken < 40; ++taken) {
      result = crew.take(taken);
      if (result != 0) break;
      // Slow reader: every other worker's slots may fill meanwhile, never this one.
      std::this_thread::yield();
      EXPECT_EQ(output[static_cast<size_t>(taken) % slots], taken);
      EXPECT_GE(ranOn[static_cast<size_t>(taken)], 0);
      crew.release(taken);
    }
    crew.stop();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(taken, c.failing < 0 ? 40 : c.failing);
    EXPECT_EQ(result, c.failing < 0 ? 0 : 7);
  }
}

// A slow chunk holds up no other: while its worker is on it, the others run the chunks after
// it, as many as the slots allow.
TEST(WorkCrew, ASlowWorkerHoldsUpNoOther) {
  test::ensureHost();
  const int workers = 3, depth = 2;
  std::vector<int> ranOn(16, -1);
  std::atomic<int> others{0};
  WorkCrew crew;
  ASSERT_TRUE(crew.start(
      workers,
      [&](int worker, int64_t chunk) {
        // The slow chunk lasts until the others have run every chunk the slots hold.
        for (int ms = 0; chunk == 0 && others < workers * depth - 1 && ms < 10000; ++ms)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (chunk < 16) ranOn[static_cast<size_t>(chunk)] = worker;
        if (chunk > 0) others += 1;
        return 0;
      },
      nullptr, depth));
  for (int64_t k = 0; k < 16; ++k) {
    ASSERT_EQ(crew.take(k), 0);
    crew.release(k);
  }
  crew.stop();
  // Every chunk the slots held besides the slow one ran on the other workers.
  for (size_t k = 1; k < workers * depth; ++k) EXPECT_NE(ranOn[k], ranOn[0]) << k;
}

// A pass that ends early tells its hook how, on the calling thread: a worker that could not
// wait (its job never ran, and nobody waits for ever on it), or a failed job, with the other
// workers whose failure was still untaken when the crew stopped.
TEST(WorkCrew, TheStopHookHearsHowAPassEnded) {
  struct Case {
    const char* what;
    bool waitFails;
    int failing;  // chunks 0 .. failing - 1 fail
    bool throws;
    int result;
    WorkCrew::Stop want;
  } cases[] = {
      {"one job fails", false, 1, false, 7, {false, 0}},
      {"two jobs fail", false, 2, false, 7, {false, 1}},
      {"two jobs throw", false, 2, true, -1, {false, 1}},
      {"no worker can wait", true, 0, false, WorkCrew::kWaitFailed, {true, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeHost fake;
    if (c.waitFails) {
      // The workers wait on two events, the caller on one: only the workers' waits fail.
      fake.kernel.eventWait = [](HostEvent* const* e, int n, int64_t t) {
        return n == 2 ? 0 : host::kKernel.eventWait(e, n, t);
      };
    }
    fake.load();
    std::atomic<int> failed{0};
    std::vector<WorkCrew::Stop> heard;
    WorkCrew crew;
    ASSERT_TRUE(crew.start(
        3,
        [&](int, int64_t chunk) {
          if (chunk >= c.failing) return 0;
          // The first chunk waits until every failing one has failed, so both are untaken.
          if (++failed < c.failing && chunk == 0)
            while (failed < c.failing) std::this_thread::yield();
          if (c.throws) throw std::runtime_error("worker failed");
          return 7;
        },
        [&](const WorkCrew::Stop& why) { heard.push_back(why); }));
    int result = 0;
    try {
      result = crew.take(0);
    } catch (const std::runtime_error&) {
      result = -1;
    }
    EXPECT_EQ(result, c.result);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].waitFailed, c.want.waitFailed);
    EXPECT_EQ(heard[0].others, c.want.others);
    EXPECT_EQ(heard[0].raised, c.throws);
    EXPECT_EQ(crew.workers(), 0);  // stopped already
  }
}

}  // namespace
}  // namespace vsf
