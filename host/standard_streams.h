// Where standard output (the listing) and standard error (the log) go, and so how the listing
// is buffered: where the two reach one place, the listing written so far goes out before each
// log line and as each BY group starts, so that they keep their order; elsewhere the listing
// goes out in large writes, at least once a second.
//
// A write to either that fails (a full disk, a closed pipe or descriptor) is kept, not raised:
// the run goes on without that stream, says so, and ends with the status of an output not
// written.
#pragma once

#include <chrono>
#include <mutex>
#include <streambuf>
#include <string>
#include <string_view>

namespace vsf::host {

// Whether two descriptors reach one place: the same terminal, file or pipe.
bool samePlace(int fdA, int fdB);
// Whether the listing reaches the log's place or a terminal (found once, at the first call).
bool listingBesideLog();

// Standard input, output and error closed when the command starts get /dev/null in their
// place, so that no file the run opens takes their numbers (the listing would go into it);
// writes to a stream found closed fail with EBADF. Called first in main; a new start of the
// command finds them closed again.
void guardStandardDescriptors();
// Whether the descriptor (0 to 2) was closed when the command started.
bool startedClosed(int fd);
// Writes the bytes to standard output or error: 0, or the error of the write that failed.
int writeStandard(int fd, std::string_view bytes);

// A stream buffer writing to a standard descriptor in pieces of up to `size` bytes. The first
// failed write is kept; what comes after it is dropped, so that the file holds what was
// written before and nothing out of place. Safe to use from several threads.
class StandardBuffer : public std::streambuf {
 public:
  StandardBuffer(int fd, size_t size) : fd_(fd), size_(size) {}
  // Writes out what is held: false when a write has failed, now or before.
  bool flush();
  // The same unless a write in progress holds the buffer past `wait` (its reader may never
  // read): false then.
  bool flushWithin(std::chrono::milliseconds wait);
  // The error of the first failed write (0: none).
  int error() const;
  // True once, for whoever comes first after a write failed, with its error: that one reports
  // it.
  bool takeFailure(int* error);

 protected:
  int overflow(int c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override { return flush() ? 0 : -1; }

 private:
  void append(std::string_view bytes);
  void writeHeld();  // under the lock
  const int fd_;
  const size_t size_;
  mutable std::mutex mutex_;
  std::string held_;
  int error_ = 0;
  bool reported_ = false;
};

// The errors that say a stream was lost: the listing's on standard output, the log's on
// standard error.
std::string listingLostText(int error);
std::string logLostText(int error);

// Puts standard output (std::cout) through a StandardBuffer: in large pieces where it reaches
// neither a terminal nor the log's place, else a listing item at a time. Called before
// anything is written there.
void bufferListing();
// The listing's buffer, once bufferListing has run.
StandardBuffer* listingBuffer();
// Whether a write of the listing on standard output failed.
bool listingLost();
// Whether standard output is a terminal, where each item goes out as it is listed.
bool listingOnTerminal();
// Whether the listing should go out as a BY group starts: always beside the log, else when the
// last time was a second ago, so that a listing file followed during a long run stays current.
bool listingDue();

}  // namespace vsf::host
