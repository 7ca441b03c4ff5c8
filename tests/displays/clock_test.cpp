// The display clock: a table's or graph's time reaches the display timer whichever way its
// routine returns, and a clock inside another adds nothing of its own.
#include <gtest/gtest.h>

#include "base/host.h"
#include "common/test_host.h"
#include "output/output.h"

namespace vsf::test {
namespace {

// Waits until the host's clock has moved on, so that a clock's time cannot be 0.
void letTimePass() {
  const double start = hostClock();
  while (hostClock() <= start) {
  }
}

int earlyReturn(OutputSink* sink, bool early) {
  DisplayClock clock(sink);
  letTimePass();
  if (early) return 1;
  letTimePass();
  return 0;
}

TEST(DisplayClock, AddsOnEveryReturn) {
  ensureHost();
  for (const bool early : {true, false}) {
    OutputSink sink;
    earlyReturn(&sink, early);
    EXPECT_GT(sink.clockTotal, 0) << early;
    EXPECT_EQ(sink.clocksRunning, 0) << early;
  }
}

TEST(DisplayClock, NestedClocksCountOnce) {
  ensureHost();
  OutputSink sink;
  const double before = hostClock();
  {
    DisplayClock table(&sink);
    {
      DisplayClock graph(&sink);
      EXPECT_EQ(sink.clocksRunning, 2);
      letTimePass();
    }
    EXPECT_EQ(sink.clockTotal, 0);  // the inner clock's time is the outer one's
    letTimePass();
  }
  const double elapsed = hostClock() - before;
  EXPECT_EQ(sink.clocksRunning, 0);
  EXPECT_GT(sink.clockTotal, 0);
  EXPECT_LE(sink.clockTotal, elapsed);
  // A second table adds to the first.
  const double first = sink.clockTotal;
  earlyReturn(&sink, false);
  EXPECT_GT(sink.clockTotal, first);
}

}  // namespace
}  // namespace vsf::test
