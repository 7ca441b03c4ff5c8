#include "host/interrupt.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
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

int gSignalPipe[2] = {-1, -1};

// Whichever thread the signal lands on (the BLAS library starts threads before main), the
// handler only passes its number on: write is safe in a handler, the clean-up is not.
void passOn(int signal) {
  const int saved = errno;
  [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &signal, sizeof signal);
  errno = saved;
}

// The clean-up of an interrupted run, on a thread of its own: it may take locks.
void watch() {
  int signal = 0;
  while (::read(gSignalPipe[0], &signal, sizeof signal) != sizeof signal)
    if (errno != EINTR) return;
  removeStepFiles();
  const char* name = sigabbrev_np(signal);
  session().log.write("ERROR", fmt::format("The run was interrupted (SIG{}); the files it was "
                                           "writing were removed.",
                                           name ? name : "?"));
  // What was renamed into place before the signal stays: the log says which outputs those are.
  for (const std::string& line : interruptedOutputs()) session().log.write("NOTE", line);
  if (StandardBuffer* listing = listingBuffer()) listing->flush();
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
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) ::sigaction(signal, &a, nullptr);
}

}  // namespace vsf::host
