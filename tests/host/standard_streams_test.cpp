#include "host/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>

#include "host/faults.h"
#include "host/session.h"

namespace vsf::host {
namespace {

namespace fs = std::filesystem;

// The listing is flushed with each log line only where the two reach one place.
TEST(StandardStreams, OnePlaceIsTheSameFileOrPipeWhateverTheDescriptor) {
  const fs::path a = fs::temp_directory_path() / ("vsf_streams_a_" + std::to_string(getpid()));
  const fs::path b = fs::temp_directory_path() / ("vsf_streams_b_" + std::to_string(getpid()));
  const int fa = ::open(a.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  const int fb = ::open(b.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  const int fa2 = ::open(a.c_str(), O_WRONLY | O_APPEND);
  const int dupA = ::dup(fa);
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const int dupPipe = ::dup(pipeEnds[1]);
  const int nul = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(fa, 0);
  ASSERT_GE(fb, 0);

  EXPECT_TRUE(samePlace(fa, dupA));
  EXPECT_TRUE(samePlace(fa, fa2));  // opened twice, as "> f 2>> f" does
  EXPECT_FALSE(samePlace(fa, fb));
  EXPECT_TRUE(samePlace(pipeEnds[1], dupPipe));
  EXPECT_FALSE(samePlace(fa, pipeEnds[1]));
  EXPECT_FALSE(samePlace(fa, nul));
  EXPECT_FALSE(samePlace(fa, -1));  // a closed standard stream is no place

  for (int fd : {fa, fb, fa2, dupA, pipeEnds[0], pipeEnds[1], dupPipe, nul}) ::close(fd);
  fs::remove(a);
  fs::remove(b);
}

std::string drain(int fd) {
  std::string got;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
    got.append(buffer, static_cast<size_t>(n));
  return got;
}

// What went out before a write failed stays whole; what comes after is dropped, also once
// writes would succeed again, and the failure is told once, with its reason.
TEST(StandardStreams, AFailedWriteKeepsWhatWentBeforeAndDropsTheRest) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  StandardBuffer buffer(ends[1], 8);
  std::ostream out(&buffer);
  out << "first line\n";  // past the size: written at once
  out << "held";
  EXPECT_EQ(buffer.error(), 0);
  failWrites(ends[1], ENOSPC);
  out << " and more";
  failWrites(ends[1], 0);
  out << "after\n";
  EXPECT_FALSE(buffer.flush());
  EXPECT_EQ(buffer.error(), ENOSPC);
  int error = 0;
  EXPECT_TRUE(buffer.takeFailure(&error));
  EXPECT_EQ(error, ENOSPC);
  EXPECT_FALSE(buffer.takeFailure(&error));
  ::close(ends[1]);
  EXPECT_EQ(drain(ends[0]), "first line\n");
  ::close(ends[0]);
  EXPECT_NE(listingLostText(ENOSPC).find("standard output (No space left on device)"),
            std::string::npos);
}

// A log line that cannot be written ends the log's writes, not the run: the lines are still
// kept for the documents, with the error that says why after the first one lost.
TEST(StandardStreams, ALogThatCannotBeWrittenGoesOnForTheDocuments) {
  for (int fault : {EBADF, ENOSPC}) {
    Log log;
    log.keepLines(true);
    log.setEcho(true);
    failWrites(STDERR_FILENO, fault);
    log.write("NOTE", "one");
    failWrites(STDERR_FILENO, 0);
    log.write("WARNING", "two");
    EXPECT_EQ(log.lost(), fault);
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0].text, "one");
    EXPECT_EQ(log.lines()[1].level, "ERROR");
    EXPECT_EQ(log.lines()[1].text, logLostText(fault));
    EXPECT_EQ(log.lines()[2].text, "two");
  }
}

}  // namespace
}  // namespace vsf::host
