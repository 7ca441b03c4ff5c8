// Every example program of the project runs with the command on the example data, each
// step ending with return code 0 (the output data sets go to a copy of the data library).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> programs() {
  std::vector<fs::path> out;
  for (const char* dir : {"examples", "tests"})
    for (const auto& e : fs::recursive_directory_iterator(fs::path(VSF_SOURCE_DIR) / dir))
      if (e.is_regular_file() && e.path().extension() == ".vsf") out.push_back(e.path());
  return out;
}

TEST(ExamplePrograms, RunOnTheExampleData) {
  fs::path library = ownTempPath("vsf_examples_lib");
  fs::remove_all(library);
  fs::create_directories(library);
  for (const auto& e : fs::directory_iterator(VSF_SHARED_DATA))
    if (e.path().extension() == ".csv") fs::copy_file(e.path(), library / e.path().filename());
  std::vector<fs::path> files = programs();
  EXPECT_GE(files.size(), 3u);
  for (const fs::path& program : files) {
    SCOPED_TRACE(program.string());
    const CommandRun r =
        runArgs(shellQuoted(program.string()) + " --lib " + shellQuoted(library.string()));
    const std::string& output = r.output;
    EXPECT_EQ(r.status, 0) << output;
    EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
    EXPECT_NE(output.find("ended with return code 0"), std::string::npos) << output;
  }
  fs::remove_all(library);
}

}  // namespace
}  // namespace vsf::test
