#include "host/standard_streams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace vsf::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kListingInterval = std::chrono::seconds(1);
// Large enough that a write costs little against what it carries; small against any MEMSIZE.
constexpr size_t kListingBuffer = size_t{1} << 16;

}  // namespace

bool samePlace(int fdA, int fdB) {
  struct stat a;
  struct stat b;
  if (::fstat(fdA, &a) != 0 || ::fstat(fdB, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool listingBesideLog() {
  static const bool beside =
      ::isatty(STDOUT_FILENO) == 1 || samePlace(STDOUT_FILENO, STDERR_FILENO);
  return beside;
}

void bufferListing() {
  // The C library takes the size only with a buffer of the caller's, which lives to the exit.
  static char buffer[kListingBuffer];
  if (!listingBesideLog()) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

bool listingDue() {
  if (listingBesideLog()) return true;
  static Clock::time_point last = Clock::now();
  const Clock::time_point now = Clock::now();
  if (now - last < kListingInterval) return false;
  last = now;
  return true;
}

}  // namespace vsf::host
