// The OPTIONS statement of a program: the host options it sets and the values it refuses.
#include <gtest/gtest.h>

#include <thread>

#include "common/test_host.h"
#include "host/program.h"

namespace vsf::host {
namespace {

TEST(ProgramOptions, CpuCountAndThreads) {
  test::ensureHost();
  SystemOptions saved = session().options;
  int machine = static_cast<int>(std::thread::hardware_concurrency());
  struct Case {
    const char* text;
    bool ok;
    int cpuCount;
    bool threads;
  } cases[] = {
      {"cpucount=3", true, 3, true},
      // ACTUAL is the machine's count, never 0 (which would leave one worker).
      {"cpucount=actual", true, machine > 0 ? machine : 1, true},
      {"nothreads cpucount = ACTUAL", true, machine > 0 ? machine : 1, false},
      {"cpucount=many", false, 7, true},
      {"cpucount=3x", false, 7, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    session().options.cpuCount = 7;
    session().options.threads = true;
    EXPECT_EQ(applyOptions(c.text), c.ok);
    EXPECT_EQ(session().options.cpuCount, c.cpuCount);
    EXPECT_EQ(session().options.threads, c.threads);
  }
  session().options = saved;
}

}  // namespace
}  // namespace vsf::host
