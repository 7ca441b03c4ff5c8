#include "host/standard_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <thread>

#include "host/whole_file.h"

namespace vsf::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kListingInterval = std::chrono::seconds(1);
// Large enough that a write costs little against what it carries; small against any MEMSIZE.
constexpr size_t kListingBuffer = size_t{1} << 16;
// Beside the log the listing goes out with every item and log line; the buffer only gathers an
// item's lines into one write.
constexpr size_t kBesideBuffer = size_t{1} << 12;

bool gClosed[3] = {false, false, false};
StandardBuffer* gListing = nullptr;

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

void guardStandardDescriptors() {
  for (int fd = 0; fd < 3; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, the ones below it being open by now. Closed again on a
    // new start of the command (for its BLAS kernels), which then finds the stream closed as the
    // user left it rather than open on /dev/null.
    const int held = ::open("/dev/null", (fd == 0 ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    gClosed[fd] = held == fd;
    if (held >= 0 && held != fd) ::close(held);
  }
}

bool startedClosed(int fd) { return fd >= 0 && fd < 3 && gClosed[fd]; }

int writeStandard(int fd, std::string_view bytes) {
  if (startedClosed(fd)) return EBADF;
  return writeFully(fd, bytes);
}

bool StandardBuffer::flush() {
  std::lock_guard lock(mutex_);
  writeHeld();
  return error_ == 0;
}

bool StandardBuffer::flushWithin(std::chrono::milliseconds wait) {
  // Tried rather than timed: the sanitizers do not see a timed lock taken.
  const auto until = std::chrono::steady_clock::now() + wait;
  std::unique_lock lock(mutex_, std::try_to_lock);
  while (!lock.owns_lock() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    lock.try_lock();
  }
  if (!lock.owns_lock()) return false;
  writeHeld();
  return error_ == 0;
}

int StandardBuffer::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool StandardBuffer::takeFailure(int* error) {
  std::lock_guard lock(mutex_);
  if (error_ == 0 || reported_) return false;
  reported_ = true;
  *error = error_;
  return true;
}

int StandardBuffer::overflow(int c) {
  if (c != traits_type::eof()) {
    const char byte = static_cast<char>(c);
    append(std::string_view(&byte, 1));
  }
  return traits_type::not_eof(c);
}

std::streamsize StandardBuffer::xsputn(const char* s, std::streamsize n) {
  append(std::string_view(s, static_cast<size_t>(n)));
  return n;  // taken, written or dropped: a failure is the buffer's to tell
}

void StandardBuffer::append(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  if (error_ != 0) return;
  held_ += bytes;
  if (held_.size() >= size_) writeHeld();
}

void StandardBuffer::writeHeld() {
  if (error_ == 0 && !held_.empty()) error_ = writeStandard(fd_, held_);
  held_.clear();
}

std::string listingLostText(int error) {
  return "The listing cannot be written to standard output (" + failureReason(error) +
         "); the rest of it is not written.";
}

std::string logLostText(int error) {
  return "The log cannot be written to standard error (" + failureReason(error) +
         "); the run goes on without it.";
}

void bufferListing() {
  // Never destroyed: std::cout is flushed once more as the program ends.
  gListing = new StandardBuffer(STDOUT_FILENO, listingBesideLog() ? kBesideBuffer : kListingBuffer);
  std::cout.rdbuf(gListing);
}

StandardBuffer* listingBuffer() { return gListing; }

bool listingLost() { return gListing && gListing->error() != 0; }

bool listingOnTerminal() {
  static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  return terminal;
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
