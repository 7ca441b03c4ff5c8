// A signal ends the run within a second or two whatever its writes wait for: the interruption
// is logged, the files it was writing are removed, no file is begun after it, and the status is
// 128 + the signal's number. The signals of the limits (a soft CPU limit's SIGXCPU, SIGALRM,
// SIGVTALRM) and SIGQUIT end it as SIGTERM does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string contents(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A run of many BY groups, each listed and written to OUTPUT, with its listing into a pipe:
// the listing (700 KB) passes what the pipe and the command's buffer hold long before it ends.
struct SignalledRun {
  SignalledRun(int signal, const std::string& statements = "selection=none")
      : signal(signal), dir("vsf_interruptions") {
    fs::create_directory(dir.path() / "util");
    std::ostringstream data("g,y,x1,x2\n", std::ios::ate);
    for (int i = 0; i < 3600; ++i)
      data << i / 12 << "," << (i * 7919 % 1000) / 100.0 << "," << (i * 104729 % 997) / 99.7 << ","
           << (i % 13) / 1.3 << "\n";
    std::ofstream(dir.path() / "d.csv") << data.str();
    std::ofstream(dir.path() / "p.vsf")
        << "proc varsifter data=d seed=1; by g;\n  model y = x1 x2 / " << statements
        << ";\n  output out=o p=yhat; run;\n";
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    reader = ends[0];
    pid = spawnCommand({(dir.path() / "p.vsf").string(), "--lib", dir.path().string(), "--utilpath",
                        (dir.path() / "util").string()},
                       log().string(), ends[1]);
    ::close(ends[1]);
  }
  ~SignalledRun() {
    if (!ended) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    if (drainer.joinable()) drainer.join();  // the pipe's end came with the run's
    ::close(reader);
  }
  // Whether the listing's pipe is full: the run waits in its write.
  bool pipeFull() const {
    int held = 0;
    return ::ioctl(reader, FIONREAD, &held) == 0 && held >= ::fcntl(reader, F_GETPIPE_SZ) - 4096;
  }
  // The listing read from now on, to its end.
  void drain() {
    drainer = std::thread([this] {
      for (char buffer[1 << 16]; ::read(reader, buffer, sizeof buffer) > 0;) {
      }
    });
  }
  fs::path log() const { return dir.path() / "log.txt"; }
  // Ended as the signal ends a run: 128 + n, logged last, nothing left.
  void expectEnded() const {
    SCOPED_TRACE(strsignal(signal));
    const std::string text = contents(log());
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << text;
    const std::string said = "The run was interrupted (SIG" + std::string(sigabbrev_np(signal)) +
                             "); the files it was writing were removed.\n";
    const size_t at = text.find(said);
    EXPECT_TRUE(at != std::string::npos &&
                text.find("ERROR", at + said.size()) == std::string::npos)
        << text;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"d.csv", "log.txt", "p.vsf", "util"}));
    EXPECT_TRUE(fs::is_empty(dir.path() / "util"));
  }

  int signal;
  ScratchDir dir;
  int reader = -1;
  pid_t pid = -1;
  int status = -1;
  bool ended = false;
  std::thread drainer;
};

// Each run must end within `within` of `sent`.
void expectEndedWithin(const std::vector<std::unique_ptr<SignalledRun>>& runs,
                       Clock::time_point sent, Clock::duration within) {
  for (bool waiting = true; waiting && Clock::now() - sent < within;) {
    waiting = false;
    for (const auto& r : runs) {
      r->ended = r->ended || ::waitpid(r->pid, &r->status, WNOHANG) == r->pid;
      waiting = waiting || !r->ended;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const auto& r : runs) r->expectEnded();
}

// The runs wait in the listing's write when the signal comes, their OUTPUT begun; every other
// one's reader starts to read once the interruption is logged, so that the run goes on a moment
// as it ends, and must begin no file.
TEST(Interruptions, EndTheRunWhileItsListingWaitsForAReader) {
  std::vector<std::unique_ptr<SignalledRun>> runs;
  for (int signal :
       {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGQUIT, SIGALRM, SIGVTALRM, SIGXCPU})
    runs.push_back(std::make_unique<SignalledRun>(signal));
  const Clock::time_point start = Clock::now();
  for (size_t i = 0; i < runs.size(); ++i) {
    SignalledRun& r = *runs[i];
    while (!r.pipeFull() && Clock::now() - start < std::chrono::seconds(20))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(r.pipeFull()) << contents(r.log());
    ::kill(r.pid, r.signal);
    if (i % 2 == 0) continue;
    while (contents(r.log()).find("interrupted") == std::string::npos &&
           Clock::now() - start < std::chrono::seconds(30))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r.drain();
  }
  expectEndedWithin(runs, Clock::now(), std::chrono::seconds(3));
}

// A batch scheduler's soft CPU limit ends a run that computes (model averaging in each group)
// as SIGTERM does: the limit's SIGXCPU, whose default ends it with nothing said, left OUTPUT's
// temporary file.
TEST(Interruptions, ASoftCpuLimitEndsTheRunAsSigtermDoes) {
  std::vector<std::unique_ptr<SignalledRun>> runs;
  runs.push_back(std::make_unique<SignalledRun>(
      SIGXCPU, "selection=stepwise;\n  modelaverage nsamples=100000"));
  const rlimit second = {1, RLIM_INFINITY};
  ASSERT_EQ(::prlimit(runs[0]->pid, RLIMIT_CPU, &second, nullptr), 0);
  runs[0]->drain();
  expectEndedWithin(runs, Clock::now(), std::chrono::seconds(30));
}

}  // namespace
}  // namespace vsf::test
