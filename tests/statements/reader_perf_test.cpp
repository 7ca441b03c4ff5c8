// Thread options and the PERFORMANCE statement: the global THREADS and CPUCOUNT options, the
// statement's switches, the "_testthread" hooks and the settings of the main set-up.
#include <gtest/gtest.h>

#include "base/host.h"
#include "common/statements_support.h"
#include "levelize/levelize.h"
#include "statements/statements.h"

namespace vsf::test {
namespace {

class PerformanceReader : public ::testing::Test {
 protected:
  StubData data;
  host::SystemOptions saved = host::session().options;
  void TearDown() override {
    host::session().options = saved;
    host::initNameValueStore(4);
  }
};

struct PerfCase {
  bool threads;      // global THREADS
  int cpuCount;      // global CPUCOUNT
  int64_t hostCpus;  // "host.cpucount"
  const char* performance;
  bool threadsOn;
  int requested;
};

TEST_F(PerformanceReader, RequestedWorkers) {
  const PerfCase cases[] = {
      {false, 8, 8, "", false, 8},
      {true, 8, 8, "", true, 8},
      {true, 6, 8, "performance threads nothreads;", false, 6},
      {false, 6, 8, "performance threads=yes;", true, 6},
      {true, 6, 8, "performance threads=no;", false, 6},
      {true, 6, 8, "performance cpucount=3;", true, 3},
      {true, 6, 8, "performance cpucount=min;", true, 1},
      {true, 6, 0, "performance cpucount=actual;", true, 1},  // "host.cpucount" is 0: 1
      {true, 6, 12, "performance cpucount=actual;", true, 12},
      // MAX asks for every processor the host has, not for 1024 workers.
      {true, 6, 12, "performance cpucount=max;", true, 12},
      // A global count of 0 or less would leave the step without a worker.
      {true, 0, 8, "", true, 1},
      {true, -3, 8, "", true, 1},
  };
  for (const PerfCase& c : cases) {
    host::session().options.threads = c.threads;
    host::session().options.cpuCount = c.cpuCount;
    kernel().nameValueSetInt("host.cpucount", c.hostCpus);
    std::string text = std::string("proc varsifter; model y = x1; ") + c.performance + " run;";
    StepRun r = runStepText(text);
    EXPECT_EQ(r.code, 0) << text << r.dump();
    const ThreadOptions& t = lastState().settings.threads;
    EXPECT_EQ(t.threadsOn, c.threadsOn) << text;
    EXPECT_EQ(t.requestedWorkers, c.requested) << text;
  }
}

TEST_F(PerformanceReader, SwitchesAndDataPathSettings) {
  StepRun r = runStepText(
      "proc varsifter; model y = x1; performance alldetails$ notiming perfstatus force "
      "buildsscp=incremental util_random util_buffers=3 util_pagesize=64 allsparse "
      "util_details full_sweep=always; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  const VsfState& s = lastState();
  EXPECT_EQ(s.settings.threads.perfDetails, 1);  // ALLDETAILS$ asks for the details too
  EXPECT_EQ(s.settings.threads.timing, 0);
  EXPECT_EQ(s.settings.options.utilAccessMode, 2);

  StepRun plain = runStepText("proc varsifter; model y = x1; performance details; run;");
  EXPECT_EQ(lastState().settings.threads.timing, 1);
  EXPECT_EQ(lastState().settings.options.utilAccessMode, 4);

  StepRun bounds = runStepText("proc varsifter; model y = x1; performance cpucount=0; run;");
  EXPECT_EQ(bounds.code, 3000) << bounds.dump();
  StepRun twice = runStepText("proc varsifter; model y = x1; performance; performance; run;");
  EXPECT_EQ(twice.messages(), (std::vector<int>{8480211})) << twice.dump();
  EXPECT_EQ(twice.code, 3000);
}

TEST_F(PerformanceReader, TestThreadMacroVariables) {
  struct Case {
    const char* general;  // "_testthread", null when absent
    const char* keyed;    // "_testthreadzlev"
    const char* key;
    int expected;
  } cases[] = {
      {nullptr, nullptr, "zlev", -1}, {"0", nullptr, "zlev", 0}, {"2", nullptr, "", 1},
      {"0", "1", "zlev", 1},          {"1", "0", "zlev", 1},     {".", nullptr, "zlev", -1},
      {nullptr, "0", "zlev", 0},      {"0", "1", "", 0},
  };
  for (const Case& c : cases) {
    host::session().macros.erase("_TESTTHREAD");
    host::session().macros.erase("_TESTTHREADZLEV");
    if (c.general) host::session().macros["_TESTTHREAD"] = c.general;
    if (c.keyed) host::session().macros["_TESTTHREADZLEV"] = c.keyed;
    EXPECT_EQ(ztestthread(c.key), c.expected)
        << (c.general ? c.general : "-") << " " << (c.keyed ? c.keyed : "-") << " " << c.key;
  }
  host::session().macros.erase("_TESTTHREAD");
  host::session().macros.erase("_TESTTHREADZLEV");
}

struct SetupCase {
  const char* statements;
  int effects;
  int full;
  std::vector<int> messages;
};

TEST_F(PerformanceReader, CrossproductsBuiltWholeOrByBlocks) {
  host::session().options.threads = true;
  host::session().options.cpuCount = 4;
  const SetupCase cases[] = {
      // Without BUILDSSCP= the whole matrix up to 1,000 effects for the classical methods and
      // the paths, effect by effect beyond.
      {"model y = x1 / selection=forward;", 9, 1, {}},
      {"model y = x1 / selection=stepwise;", 1000, 1, {}},
      {"model y = x1 / selection=stepwise;", 1001, 0, {}},
      {"model y = x1 / selection=lasso;", 1000, 1, {}},
      {"model y = x1 / selection=lar;", 1001, 0, {}},
      {"model y = x1 / selection=stepwise; performance buildsscp=incremental;", 10, 0, {}},
      {"model y = x1 / selection=backward;", 10, 1, {}},
      {"model y = x1 / selection=backward; performance buildsscp=incremental;", 3, 1, {8480146}},
      {"model y = x1 / selection=none; performance buildsscp=incremental;", 3, 1, {8480149}},
      {"model y = x1 / selection=none; performance buildsscp=incremental force$;", 3, 0, {}},
      {"model y = x1 / selection=forward; performance buildsscp=full;", 40, 1, {}},
  };
  for (const SetupCase& c : cases) {
    runStepText(std::string("proc varsifter; ") + c.statements + " run;");
    VsfState s = lastState();
    size_t before = host::session().log.lines().size();
    ReaderTarget t{s.settings, s.lev, s.res.mainPool, s.stepCode};
    applyPerformanceSettings(&t, c.effects);
    StepRun r;
    const auto& all = host::session().log.lines();
    r.log.assign(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(s.settings.options.buildFullSscp, c.full) << c.statements << " " << c.effects;
    EXPECT_EQ(r.messages(), c.messages) << c.statements;
    EXPECT_EQ(s.settings.threads.effectiveWorkers, 4);
  }
  // Model averaging with a BY statement runs on one worker; NOPRINT drops the details.
  runStepText("proc varsifter noprint; by grp; model y = x1; modelaverage; performance details;");
  VsfState s = lastState();
  ReaderTarget t{s.settings, s.lev, s.res.mainPool, s.stepCode};
  applyPerformanceSettings(&t, 3);
  EXPECT_EQ(s.settings.threads.effectiveWorkers, 1);
  EXPECT_EQ(s.settings.threads.effectiveThreaded, 0);
  EXPECT_EQ(s.settings.threads.perfDetails, 0);
}

}  // namespace
}  // namespace vsf::test
