#include "host/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

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

}  // namespace
}  // namespace vsf::host
