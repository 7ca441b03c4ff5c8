// The example's listing as committed under examples/ is what the command writes today.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string listingOf(const std::string& program) {
  std::string cmd = std::string(VSF_BINARY) + " " + VSF_SOURCE_DIR "/examples/" + program +
                    " --lib " VSF_SHARED_DATA " 2>/dev/null";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  pclose(p);
  return out;
}

// The README shows this listing: it must be what the command writes.
TEST(DisplaysExample, ListingIsUpToDate) {
  std::ifstream in(VSF_SOURCE_DIR "/examples/mtcars_forward.lst");
  ASSERT_TRUE(in.good()) << "make it: ./run.sh examples/mtcars_forward.vsf > "
                            "examples/mtcars_forward.lst";
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(listingOf("mtcars_forward.vsf"), expected.str());
  std::ifstream readme(VSF_SOURCE_DIR "/README.md");
  std::stringstream shown;
  shown << readme.rdbuf();
  EXPECT_NE(shown.str().find(expected.str()), std::string::npos)
      << "README.md shows another listing";
}

}  // namespace
