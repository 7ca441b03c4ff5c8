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

// A run of many BY groups, each listed and written to OUTPUT: its listing (700 KB) passes what
// a pipe and the command's buffer hold long before it ends.
struct SignalledRun {
  explicit SignalledRun(int signal, const std::string& statements = "selection=none")
      : signal(signal), dir("vsf_interruptions") {
    fs::create_directory(dir.path() / "util");
    std::ofstream data(dir.path() / "d.csv");
    data << "g,y,x1,x2\n";
    for (int i = 0; i < 3600; ++i)
      data << i / 12 << "," << (i * 7919 % 1000) / 100.0 << "," << (i * 104729 % 997) / 99.7 << ","
           << (i % 13) / 1.3 << "\n";
    std::ofstream(dir.path() / "p.vsf") << "proc varsifter data=d seed=1; by g;\n"
                                           "  model y = x1 x2 / "
                                        << statements << ";\n  output out=o p=yhat; run;\n";
  }
  ~SignalledRun() {
    if (pid > 0 && !ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    if (drainer.joinable()) drainer.join();  // the pipe's end came with the run's
    if (reader >= 0) ::close(reader);
  }
  // Started with its listing into a pipe this end reads (or never does).
  void start() {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    reader = ends[0];
    pid = spawnCommand({(dir.path() / "p.vsf").string(), "--lib", dir.path().string(), "--utilpath",
                        (dir.path() / "util").string()},
                       log().string(), ends[1]);
    ::close(ends[1]);
    ASSERT_GT(pid, 0);
  }
  // Whether the listing's pipe is full: the run waits in its write.
  bool pipeFull() const {
    int held = 0;
    return ::ioctl(reader, FIONREAD, &held) == 0 && held >= ::fcntl(reader, F_GETPIPE_SZ) - 4096;
  }
  // The listing read from now on, to its end.
  void drain() {
    drainer = std::thread([this] {
      char buffer[1 << 16];
      while (::read(reader, buffer, sizeof buffer) > 0) {
      }
    });
  }
  bool reaped() {
    if (!ended && ::waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      took = Clock::now() - sent;
    }
    return ended;
  }
  fs::path log() const { return dir.path() / "log.txt"; }
  // Ended as the signal ends a run: logged last, nothing left, 128 + n.
  void expectEnded() const {
    SCOPED_TRACE(strsignal(signal));
    const std::string text = contents(log());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << status << text;
    const std::string said = "The run was interrupted (SIG" + std::string(sigabbrev_np(signal)) +
                             "); the files it was writing were removed.\n";
    const size_t at = text.find(said);
    EXPECT_NE(at, std::string::npos) << text;
    if (at != std::string::npos) {
      EXPECT_EQ(text.find("ERROR", at + said.size()), std::string::npos) << text;
    }
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
  Clock::time_point sent;
  Clock::duration took{};
  std::thread drainer;
};

// Waits for each run to end, up to `limit` after its signal (those past it are killed), and
// holds it to ending `within` that.
void reapAll(const std::vector<std::unique_ptr<SignalledRun>>& runs, Clock::duration limit,
             Clock::duration within) {
  for (;;) {
    bool waiting = false;
    for (const auto& r : runs) waiting |= !r->reaped() && Clock::now() - r->sent < limit;
    if (!waiting) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const auto& r : runs) {
    EXPECT_TRUE(r->ended) << strsignal(r->signal) << ": still running";
    if (!r->ended) continue;
    EXPECT_LT(r->took, within) << strsignal(r->signal);
    r->expectEnded();
  }
}

// The runs wait in the listing's write when the signal comes, their OUTPUT begun; every other
// one's reader starts to read once the interruption is logged, so that the run goes on a moment
// as it ends, and must begin no file.
TEST(Interruptions, EndTheRunWhileItsListingWaitsForAReader) {
  std::vector<std::unique_ptr<SignalledRun>> runs;
  for (int signal :
       {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGQUIT, SIGALRM, SIGVTALRM, SIGXCPU}) {
    runs.push_back(std::make_unique<SignalledRun>(signal));
    runs.back()->start();
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    SignalledRun& r = *runs[i];
    for (const auto until = Clock::now() + std::chrono::seconds(20);
         !r.pipeFull() && Clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(r.pipeFull()) << contents(r.log());
    r.sent = Clock::now();
    ::kill(r.pid, r.signal);
    if (i % 2 == 0) continue;
    for (const auto until = Clock::now() + std::chrono::seconds(3);
         contents(r.log()).find("interrupted") == std::string::npos && Clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r.drain();
  }
  reapAll(runs, std::chrono::seconds(10), std::chrono::seconds(3));
}

// A batch scheduler's soft CPU limit ends a run that computes (model averaging in each group)
// as SIGTERM does: the limit's SIGXCPU is not the end by default, which left OUTPUT's
// temporary file.
TEST(Interruptions, ASoftCpuLimitEndsTheRunAsSigtermDoes) {
  std::vector<std::unique_ptr<SignalledRun>> runs;
  runs.push_back(std::make_unique<SignalledRun>(
      SIGXCPU, "selection=stepwise;\n  modelaverage nsamples=100000"));
  SignalledRun& r = *runs.back();
  r.start();
  const rlimit second = {1, RLIM_INFINITY};
  ASSERT_EQ(::prlimit(r.pid, RLIMIT_CPU, &second, nullptr), 0);
  r.drain();
  r.sent = Clock::now();
  reapAll(runs, std::chrono::seconds(30), std::chrono::seconds(30));
}

}  // namespace
}  // namespace vsf::test
