#include "host/interrupt.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <signal.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "host/data/data.h"
#include "host/files.h"
#include "host/session.h"
#include "host/standard_streams.h"
#include "host/thread_start.h"

namespace vsf::host {

namespace {

// What the run may still write once its files are gone: the log's lines, the listing held.
// A write blocked on a reader that never reads gives way to the deadline.
constexpr int kDeadlineMs = 1000;
constexpr auto kListingWait = std::chrono::milliseconds(200);

// The run's own end: a terminal or session closed, the user's signals, a CPU or timer limit.
constexpr int kEnding[] = {SIGINT,  SIGTERM, SIGHUP,    SIGUSR1, SIGUSR2,
                           SIGQUIT, SIGALRM, SIGVTALRM, SIGXCPU};

int gSignalPipe[2] = {-1, -1};
std::atomic<int> gSignal{0};          // the signal being handled; 0: none
std::atomic<bool> gFilesGone{false};  // its clean-up has removed the files
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// Whichever thread the signal lands on (the BLAS library starts threads before main), the
// handler only passes the first one on: write is safe in a handler, the clean-up is not. Once
// the files are gone, any later one (the deadline's SIGALRM, a second SIGTERM, SIGXCPU each
// second past the limit) ends the run there and then, whatever its threads are doing.
void passOn(int signal) {
  const int saved = errno;
  int none = 0;
  if (gSignal.compare_exchange_strong(none, signal)) {
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &signal, sizeof signal);
  } else if (gFilesGone.load()) {
    ::_exit(128 + none);
  }
  errno = saved;
}

void armDeadline() {
  itimerval once = {};
  once.it_value.tv_sec = kDeadlineMs / 1000;
  once.it_value.tv_usec = (kDeadlineMs % 1000) * 1000;
  ::setitimer(ITIMER_REAL, &once, nullptr);
}

// The clean-up of an interrupted run, on a thread of its own: it may take locks. The files go
// first, and no file is made after them; the lines that say so are the log's last.
void watch() {
  int signal = 0;
  while (::read(gSignalPipe[0], &signal, sizeof signal) != sizeof signal)
    if (errno != EINTR) return;
  endFiles();
  gFilesGone = true;
  armDeadline();
  const char* name = sigabbrev_np(signal);
  session().log.write("ERROR", fmt::format("The run was interrupted (SIG{}); the files it was "
                                           "writing were removed.",
                                           name ? name : "?"));
  // What was renamed into place before the signal stays: the log says which outputs those are.
  for (const std::string& line : interruptedOutputs()) session().log.write("NOTE", line);
  session().log.end();
  // A listing held by a write that waits on its reader is not waited for.
  if (StandardBuffer* listing = listingBuffer()) listing->flushWithin(kListingWait);
  std::_Exit(128 + signal);
}

}  // namespace

void installSignalHandling() {
  ::signal(SIGXFSZ, SIG_IGN);  // writes past the limit fail with EFBIG and say so
  ::signal(SIGPIPE, SIG_IGN);  // writes to a closed pipe fail with EPIPE and say so
  if (::pipe2(gSignalPipe, O_CLOEXEC) != 0) return;
  // Without a thread to clean up (a limit on processes), the signals keep their own action.
  std::thread watcher;
  if (!startThread(&watcher, watch)) return;
  watcher.detach();
  struct sigaction a = {};
  a.sa_handler = passOn;
  a.sa_flags = SA_RESTART;
  sigemptyset(&a.sa_mask);
  for (int signal : kEnding) ::sigaction(signal, &a, nullptr);
}

int statusUnlessInterrupted(int status) {
  // The watcher ends the run with the signal's status: a failure the interruption caused
  // (a file it refused) is not the run's end.
  if (gSignal.load() != 0)
    for (;;) ::pause();
  return status;
}

}  // namespace vsf::host
