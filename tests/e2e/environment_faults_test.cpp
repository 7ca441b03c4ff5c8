// Faults of the machine the command runs on: threads the system will not start and an
// address-space limit. The run goes on with what there is, or ends with an error of its own;
// it never hangs or aborts, and leaves no temporary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "common/test_host.h"
#include "e2e/command_support.h"
#include "host/faults.h"
#include "host/output/output.h"
#include "host/program.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

struct InProcessRun {
  int code = 0;
  Json items;  // the document's items, without the tables that name the threads
  std::vector<host::LogLine> log;
  int refused = 0;  // thread starts refused
};

Json withoutThreads(const Json& items) {
  Json out = Json::array();
  for (const Json& item : items) {
    const std::string name = item.value("name", "");
    if (name == "Timing" || name == "PerfSettings") continue;
    Json copy = item;
    if (copy.contains("items")) copy["items"] = withoutThreads(copy["items"]);
    out.push_back(std::move(copy));
  }
  return out;
}

// The program run in this process, as the command runs it, with `allowed` thread starts before
// every later one fails (negative: none fails), the host's THREADS option as given and the
// memory of the pool named refused.
InProcessRun runAllowingThreads(const std::string& program, const DataLibrary& library, int allowed,
                                bool threads = true, const char* refusingPool = nullptr) {
  ensureHost();
  const host::SystemOptions saved = host::session().options;
  host::session().options.library = library.dir();
  host::session().options.threads = threads;
  host::output::reset();
  host::output::setListingStream(nullptr);
  LogWatch log;
  if (refusingPool) host::injectFault(host::Fault::kMemoryRefused, refusingPool, 1);
  host::refuseThreadStarts(allowed);
  const host::ProgramResult r = host::runProgram(program, "threads.vsf");
  const int refused = host::threadStartsRefused();
  host::refuseThreadStarts(-1);
  host::injectFault(host::Fault::kNone, "", 0);
  host::output::finish();
  InProcessRun run{r.worstCode, withoutThreads(Json::parse(host::output::jsonText())["items"]),
                   log.lines(), refused};
  host::output::setListingStream(&std::cout);
  host::session().options = saved;
  return run;
}

std::vector<std::string> notes(const InProcessRun& r) {
  std::vector<std::string> out;
  for (const host::LogLine& l : r.log)
    if (l.text.find("runs on one thread") != std::string::npos) out.push_back(l.text);
  return out;
}

// Where the system starts no thread, or only some, the step runs on those there are: the same
// tables and output data set as with every thread, the log saying which passes ran on one.
TEST(EnvironmentFaults, ThreadsThatCannotStartLeaveTheWorkToThoseThatDid) {
  const DataLibrary library({"diabetes"});
  const std::string program =
      "proc varsifter data=diabetes seed=5; class sex;\n"
      "  model y = age sex bmi bp s1-s6 / selection=stepwise(choose=cv) cvmethod=random(4);\n"
      "  output out=fitted p=yhat r=res; performance threads cpucount=4; run;\n";
  const InProcessRun all = runAllowingThreads(program, library, -1);
  ASSERT_EQ(all.code, 0);
  EXPECT_TRUE(notes(all).empty());
  const std::string fitted = library.text("fitted.csv");
  ASSERT_FALSE(fitted.empty());
  const struct {
    int allowed;
    std::vector<std::string> notes;
  } kCases[] = {
      // Not one: the step's work queue is not made, and the step runs as without threads.
      {0, {"The step runs on one thread: the host could not start its threads."}},
      {2, {"The step runs on one thread: the host could not start its threads."}},
      // The queue's four, and none after: the crews of the levelization and the data pass, and
      // the output's formatting threads, do without.
      {4,
       {"The levelization runs on one thread: the host could not start its threads.",
        "The data pass runs on one thread: the host could not start its threads."}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.allowed);
    fs::remove(library.path() / "fitted.csv");
    const InProcessRun r = runAllowingThreads(program, library, c.allowed);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(notes(r), c.notes);
    EXPECT_TRUE(r.items == all.items);
    EXPECT_EQ(library.text("fitted.csv"), fitted);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(library.path()))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"diabetes.csv", "fitted.csv"}));
  }
}

// A step asked to run on one thread (the command's options, OPTIONS, PERFORMANCE) tries no
// thread start, its CSV check of 300 KB and output's formatting included, and a BY step of model
// averaging makes no work queue: where no thread starts, they run as with threads. A step short
// of memory names the output it did not write, left as it was, and what needs less.
TEST(EnvironmentFaults, OneThreadStartsNoneAndMemoryShortNamesTheOutput) {
  const DataLibrary library({});
  std::ofstream data(library.path() / "grouped.csv");
  data << "g,y,x1,x2,x3\n";
  for (int i = 0; i < 12000; ++i)
    data << 1 + i / 6000 << ',' << (i * 7919 % 1000) / 10.0 + (i % 13) << ',' << i % 13 << ','
         << (i * 31 % 97) / 7.0 << ',' << 1e-3 * i << '\n';
  data.close();
  const std::string fit =
      "proc varsifter data=grouped; model y = x1-x3 / selection=forward;\n"
      "  output out=fitted p=yhat;";
  const std::string averaged =
      "proc varsifter data=grouped seed=3; by g; modelaverage nsamples=4;" +
      fit.substr(fit.find(';') + 1) + " run;";
  const struct {
    std::string program;
    bool threads = true;
  } kForms[] = {{fit + " run;", false},
                {"options cpucount=1;\n" + fit + " run;"},
                {fit + " performance nothreads; run;"},
                {fit + " performance threads = no; run;"},
                {fit + " performance cpucount=1; run;"},
                {averaged}};
  InProcessRun free;
  std::string rows;
  for (const auto& form : kForms) {
    SCOPED_TRACE(form.program);
    if (form.program == kForms[0].program || form.program == averaged) {
      free = runAllowingThreads(form.program, library, -1);
      rows = library.text("fitted.csv");
    }
    const InProcessRun r = runAllowingThreads(form.program, library, 0, form.threads);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.refused == 0 || form.program == averaged);  // its output's threads do without
    EXPECT_TRUE(notes(r).empty());
    EXPECT_TRUE(r.items == free.items && library.text("fitted.csv") == rows);
  }
  std::ofstream(library.path() / "fitted.csv") << "earlier\n";
  const InProcessRun r = runAllowingThreads(fit + " run;", library, -1, true, "VARSIFTER BY POOL");
  EXPECT_EQ(r.code, 1016);
  std::vector<std::string> said;
  for (const host::LogLine& l : r.log) said.push_back(l.level + ": " + l.text);
  ASSERT_GE(said.size(), 4u);
  EXPECT_EQ(said[said.size() - 4], "ERROR: There is not enough memory to continue.");
  EXPECT_EQ(said[said.size() - 3],
            "NOTE: Not written, any earlier file of the name left as it was: WORK.FITTED (" +
                (library.path() / "fitted.csv").string() + ").");
  EXPECT_EQ(said[said.size() - 2].find("NOTE: The step needs less memory "), 0u);
  EXPECT_NE(said[said.size() - 2].find("under a MEMSIZE= (--memsize)"), std::string::npos);
  EXPECT_EQ(library.text("fitted.csv"), "earlier\n");
}

// 30,000 rows of ten standard normals and a response, written once a run of the tests.
fs::path normalData(const fs::path& dir) {
  const fs::path file = dir / "normals.csv";
  std::ofstream out(file);
  out << "y,x1,x2,x3,x4,x5,x6,x7,x8,x9,x10\n";
  std::mt19937_64 draw(7);
  std::normal_distribution<double> normal;
  for (int i = 0; i < 30000; ++i) {
    double x[10], y = 0;
    for (int j = 0; j < 10; ++j) y += (j < 3 ? 1.0 : 0.0) * (x[j] = normal(draw));
    out << y + normal(draw);
    for (double v : x) out << ',' << v;
    out << '\n';
  }
  return file;
}

// FORWARD with an OUTPUT data set over normalData, run by the command without a limit first.
// The sanitizers map more than any of the limits tried allow: their builds skip these tests.
class AddressSpaceLimit : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' own mappings pass every limit tried";
#endif
    normalData(dir.path());
    const std::string program = (dir.path() / "p.vsf").string();
    std::ofstream(program) << "proc varsifter data=normals; model y = x1-x10 / selection=forward;"
                              " output out=o p=yhat; run;\n";
    command = shellQuoted(VSF_BINARY) + " " + shellQuoted(program) + " --lib " +
              shellQuoted(dir.path().string()) + " 2>&1";
    free = runShell(command);
    ASSERT_EQ(free.status, 0) << free.output;
  }
  // The command under `ulimit -v limit`; the time bound only keeps a hang from holding the tests.
  CommandRun under(const std::string& limit, const std::string& options) const {
    return runShell("ulimit -v " + limit + "; timeout 300 " + command + options);
  }
  static std::string selected(const CommandRun& r) {
    const size_t at = r.output.find("Selected Model");
    return at == std::string::npos ? r.output : r.output.substr(at, 2000);
  }
  void expectNoTemporary() const {
    for (const auto& entry : fs::directory_iterator(dir.path()))
      EXPECT_EQ(entry.path().filename().string().find("varsifter-"), std::string::npos);
  }

  ScratchDir dir{"vsf_limits"};
  std::string command;
  CommandRun free;
};

// Under an address-space limit (`ulimit -v`) the run finishes, its fit the one without the
// limit, or ends with an error for want of memory: the BLAS never waits for ever for a buffer, and
// no thread start aborts the run.
TEST_F(AddressSpaceLimit, EndsTheRunOrLetsItFinish) {
  for (const char* limit : {"100000", "250000", "1000000"})
    for (const char* threads : {"", " --nothreads"}) {
      SCOPED_TRACE(std::string(limit) + threads);
      const CommandRun r = under(limit, threads);
      if (r.status == 0) {
        EXPECT_EQ(selected(r), selected(free));
      } else {
        // "There is not enough memory", or an output that could not be written for want of it.
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(r.output.find("ERROR: There is not enough memory") != std::string::npos ||
                    r.output.find("(Cannot allocate memory)") != std::string::npos)
            << r.output;
      }
      expectNoTemporary();
      fs::remove(dir.path() / "o.csv");
    }
}

// A thread's stack counts whole against such a limit, and a step's crews start a few threads a
// worker: with stacks of the usual 8 MB, eight workers ran short under 200 MB where one worker
// needs about 40. They finish there, and with the fit of the run without a limit.
TEST_F(AddressSpaceLimit, EightWorkersFinishUnderAModestOne) {
  const CommandRun r = under("200000", " --cpucount 8");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(selected(r), selected(free));
  expectNoTemporary();
}

}  // namespace
}  // namespace vsf::test
