// Every example program of the project parses without an error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/statements_support.h"
#include "host/program.h"

namespace vsf::test {
namespace {

std::vector<std::filesystem::path> programs() {
  std::vector<std::filesystem::path> out;
  for (const char* dir : {"examples", "tests"}) {
    std::filesystem::path root = std::filesystem::path(VSF_SOURCE_DIR) / dir;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
      if (e.is_regular_file() && e.path().extension() == ".vsf") out.push_back(e.path());
  }
  return out;
}

TEST(ExamplePrograms, ParseWithoutError) {
  StubData data;
  host::SystemOptions saved = host::session().options;
  std::vector<std::filesystem::path> files = programs();
  EXPECT_GE(files.size(), 3u);
  for (const auto& path : files) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    size_t before = host::session().log.lines().size();
    host::ProgramResult r = host::runProgram(text.str(), path.string());
    const auto& log = host::session().log.lines();
    for (size_t k = before; k < log.size(); ++k) {
      EXPECT_NE(log[k].level, "ERROR") << path << ": " << log[k].text;
    }
    EXPECT_LT(r.worstCode, 1000) << path;
    EXPECT_GE(r.steps, 1) << path;
  }
  host::session().options = saved;
}

}  // namespace
}  // namespace vsf::test
