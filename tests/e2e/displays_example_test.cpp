// The example's listing as committed under examples/ is what the command writes today.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// The README shows this listing: it must be what the command writes.
TEST(DisplaysExample, ListingIsUpToDate) {
  std::ifstream in(VSF_SOURCE_DIR "/examples/mtcars_forward.lst");
  ASSERT_TRUE(in.good()) << "make it: ./run.sh examples/mtcars_forward.vsf > "
                            "examples/mtcars_forward.lst";
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(runArgs(shellQuoted(VSF_SOURCE_DIR "/examples/mtcars_forward.vsf") + " --lib " +
                        shellQuoted(VSF_SHARED_DATA),
                    false)
                .output,
            expected.str());
  std::ifstream readme(VSF_SOURCE_DIR "/README.md");
  std::stringstream shown;
  shown << readme.rdbuf();
  EXPECT_NE(shown.str().find(expected.str()), std::string::npos)
      << "README.md shows another listing";
}

}  // namespace
}  // namespace vsf::test
