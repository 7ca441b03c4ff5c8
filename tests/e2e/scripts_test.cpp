// The scripts a user meets first: run.sh runs a program from the directory the user is in, and
// the dependency check says what to install when it cannot install it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// A directory of stand-ins for commands: each name runs the given script.
fs::path stubs(const std::string& name, const std::vector<std::pair<std::string, std::string>>& s) {
  const fs::path dir = fs::path(::testing::TempDir()) / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& [command, body] : s) {
    const fs::path p = dir / command;
    std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(p, fs::perms::owner_all);
  }
  return dir;
}

CommandRun shell(const std::string& command) {
  CommandRun r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

// run.sh with the build stood in for: the program, the data library and the JSON document
// are where the user's relative paths say; without --lib the example library serves.
TEST(Scripts, RunShWorksFromTheUsersDirectory) {
  if (fs::path(VSF_BINARY) != fs::path(VSF_SOURCE_DIR) / "build/app/varsifter")
    GTEST_SKIP() << "run.sh runs the build in build/";
  const fs::path stub = stubs("run_sh_stubs", {{"cmake", "exit 0"}});
  const fs::path work = fs::path(::testing::TempDir()) / "run_sh_work";
  fs::remove_all(work);
  fs::create_directories(work / "data");
  fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e/by_sorted.csv", work / "data/mine.csv");
  std::ofstream(work / "mine.vsf") << "proc varsifter data=mine; model y = x; run;\n";
  std::ofstream(work / "cars.vsf") << "proc varsifter data=mtcars; model mpg = wt; run;\n";
  const std::string run =
      "cd " + work.string() + " && PATH=" + stub.string() + ":$PATH " + VSF_SOURCE_DIR "/run.sh ";
  CommandRun r = shell(run + "mine.vsf --lib data --json mine.json");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(work / "mine.json")) << r.output;
  r = shell(run + "cars.vsf --lib=" + (work / "data").string());
  EXPECT_EQ(r.status, 1) << r.output;  // the given library replaces the example one
  EXPECT_NE(r.output.find("Data set WORK.MTCARS does not exist"), std::string::npos) << r.output;
  r = shell(run + "cars.vsf");
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(Scripts, MissingPackagesWithoutRootAreNamed) {
  const fs::path stub = stubs("deps_stubs", {{"id", "echo 1000"},
                                             {"dpkg-query", "exit 1"},
                                             {"grep", "exec /bin/grep \"$@\""},
                                             {"bash", "exec /bin/bash \"$@\""}});
  CommandRun r = shell("PATH=" + stub.string() + " /bin/bash " VSF_SOURCE_DIR "/tools/deps.sh");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Installing them needs root"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("apt-get install cmake g++ make libopenblas-dev"), std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace vsf::test
