// The scripts a user meets first: run.sh runs a program from the directory the user is in, and
// the dependency check says what to install when it cannot install it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/files.h"
#include "e2e/command_support.h"
#include "e2e/process_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// A directory of stand-ins for commands: each name runs the given script.
fs::path stubs(const std::string& name, const std::vector<std::pair<std::string, std::string>>& s) {
  const fs::path dir = processScratch(name);
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
  if (!p) return r;
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
  const fs::path work = processScratch("run_sh_work");
  fs::remove_all(work);
  fs::create_directories(work / "data");
  fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e/by_sorted.csv", work / "data/mine.csv");
  std::ofstream(work / "mine.vsf") << "proc varsifter data=mine; model y = x; run;\n";
  std::ofstream(work / "cars.vsf") << "proc varsifter data=mtcars; model mpg = wt; run;\n";
  const std::string run = "cd " + shellQuoted(work.string()) +
                          " && PATH=" + shellQuoted(carriedPath(stub.string())) + ":$PATH " +
                          shellQuoted(VSF_SOURCE_DIR "/run.sh") + " ";
  CommandRun r = shell(run + "mine.vsf --lib data --json mine.json");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(work / "mine.json")) << r.output;
  r = shell(run + "cars.vsf --lib=" + shellQuoted((work / "data").string()));
  EXPECT_EQ(r.status, 1) << r.output;  // the given library replaces the example one
  EXPECT_NE(r.output.find("Data set WORK.MTCARS does not exist"), std::string::npos) << r.output;
  r = shell(run + "cars.vsf");
  EXPECT_EQ(r.status, 0) << r.output;
}

// The build's own output, as make writes it, shrinks to a line every tenth of the way before
// the listing: the targets' bookkeeping is dropped, a warning is shown whole.
TEST(Scripts, RunShShowsTheBuildsProgressInAFewLines) {
  if (fs::path(VSF_BINARY) != fs::path(VSF_SOURCE_DIR) / "build/app/varsifter")
    GTEST_SKIP() << "run.sh runs the build in build/";
  const fs::path stub =
      stubs("quiet_build_stubs",
            {{"cmake",
              "[ \"$1\" = --build ] || exit 0\n"
              "echo 'Scanning dependencies of target vsf_base'\n"
              "for k in $(seq 0 300); do\n"
              "  echo \"[ $((k / 3))%] Building CXX object CMakeFiles/vsf.dir/src/f$k.cpp.o\"\n"
              "  [ $((k % 20)) = 0 ] && echo \"Built target vsf_$k\"\n"
              "done\n"
              "echo 'src/f7.cpp:3:1: warning: something to read'\n"
              "echo '[100%] Linking CXX executable varsifter'\n"}});
  const CommandRun r = shell("cd " + shellQuoted(::testing::TempDir()) +
                             " && PATH=" + shellQuoted(carriedPath(stub.string())) + ":$PATH " +
                             shellQuoted(VSF_SOURCE_DIR "/run.sh") + " " +
                             shellQuoted(VSF_SOURCE_DIR "/examples/mtcars_forward.vsf"));
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string build = r.output.substr(0, r.output.find("The VARSIFTER Procedure"));
  EXPECT_EQ(build.find("Built target"), std::string::npos) << build;
  EXPECT_EQ(build.find("Scanning"), std::string::npos) << build;
  EXPECT_NE(build.find("warning: something to read"), std::string::npos) << build;
  EXPECT_NE(build.find("build: 100%"), std::string::npos) << build;
  EXPECT_LE(std::count(build.begin(), build.end(), '\n'), 14) << build;
}

// A checkout copied from elsewhere brings a build/ configured for its old place, which CMake
// refuses: run.sh builds afresh and says so, then runs the program; the next run reuses it.
TEST(Scripts, ACopiedCheckoutIsBuiltAfresh) {
  const fs::path copy = processScratch("copied_checkout");
  fs::remove_all(copy);
  fs::create_directories(copy / "tools");
  fs::create_directories(copy / "build");
  fs::copy_file(fs::path(VSF_SOURCE_DIR) / "run.sh", copy / "run.sh");
  for (const char* tool : {"build.sh", "deps.sh", "check-path.sh", "configure.sh"})
    fs::copy_file(fs::path(VSF_SOURCE_DIR) / "tools" / tool, copy / "tools" / tool);
  std::ofstream(copy / "build/CMakeCache.txt") << "CMAKE_HOME_DIRECTORY:INTERNAL=/elsewhere/x\n";
  std::ofstream(copy / "build/stale.o") << "old";
  std::ofstream(copy / "prog.vsf") << "proc varsifter; run;\n";
  // CMake as it behaves: a cache of another source directory is an error.
  const fs::path stub = stubs(
      "copied_checkout_stubs",
      {{"dpkg-query", "echo 'install ok installed'"},
       {"cmake",
        "if [ \"$1\" = -S ]; then\n"
        "  if [ -f build/CMakeCache.txt ] && ! grep -qx \"CMAKE_HOME_DIRECTORY:INTERNAL=$(pwd "
        "-P)\" "
        "build/CMakeCache.txt; then\n"
        "    echo 'CMake Error: The source does not match the source used to generate cache.' >&2\n"
        "    exit 1\n"
        "  fi\n"
        "  mkdir -p build/app\n"
        "  echo \"CMAKE_HOME_DIRECTORY:INTERNAL=$(pwd -P)\" > build/CMakeCache.txt\n"
        "  exit 0\n"
        "fi\n"
        "printf '#!/bin/sh\\necho ran \"$1\"\\n' > build/app/varsifter\n"
        "chmod +x build/app/varsifter\n"}});
  const std::string run = "cd " + shellQuoted(copy.string()) +
                          " && PATH=" + shellQuoted(carriedPath(stub.string())) +
                          ":$PATH ./run.sh ";
  CommandRun r = shell(run + "prog.vsf");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("build/ was configured for /elsewhere/x; building afresh in"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("ran prog.vsf"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(copy / "build/stale.o"));
  r = shell(run + "prog.vsf");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("afresh"), std::string::npos) << r.output;
}

// The build's generator: Ninja where it is installed, else make, which cannot build under a
// path holding a colon; a tree made with the other generator is made afresh.
TEST(Scripts, TheBuildTakesNinjaOrMakeAsThePathAllows) {
  const std::vector<std::pair<std::string, std::string>> tools = {
      {"cmake", "echo \"$@\" > cmake.args"},
      {"sed", "exec /bin/sed \"$@\""},
      {"rm", "exec /bin/rm \"$@\""}};
  auto withNinja = tools;
  withNinja.emplace_back("ninja", "exit 0");
  const fs::path makeOnly = stubs("configure_make_stubs", tools);
  const fs::path ninja = stubs("configure_ninja_stubs", withNinja);
  auto configure = [](const fs::path& dir, const fs::path& stub) {
    fs::remove(dir / "cmake.args");
    return shell("cd " + shellQuoted(dir.string()) +
                 " && PATH=" + shellQuoted(carriedPath(stub.string())) + " /bin/bash " +
                 shellQuoted(VSF_SOURCE_DIR "/tools/configure.sh") + " . build -DX=1");
  };
  const fs::path colon = processScratch("backup 11:30");
  fs::remove_all(colon);
  fs::create_directories(colon);
  CommandRun r = configure(colon, makeOnly);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("holds a colon, which make cannot build under"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("apt-get install ninja-build"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(colon / "cmake.args"));
  r = configure(colon, ninja);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(fileText(colon / "cmake.args"), "-S . -B build -G Ninja -DX=1\n");
  // A tree that make built is built afresh with Ninja.
  fs::create_directories(colon / "build");
  std::ofstream(colon / "build/CMakeCache.txt")
      << "CMAKE_HOME_DIRECTORY:INTERNAL=" << fs::canonical(colon).string()
      << "\nCMAKE_GENERATOR:INTERNAL=Unix Makefiles\n";
  r = configure(colon, ninja);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("build/ was configured for the Unix Makefiles generator; building "
                          "afresh with Ninja."),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(colon / "build"));
  // Without a colon make serves (unless the test's own directory holds one).
  if (processScratch("").string().find(':') == std::string::npos) {
    const fs::path plain = processScratch("configure_plain");
    fs::create_directories(plain);
    r = configure(plain, makeOnly);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(fileText(plain / "cmake.args"), "-S . -B build -G Unix Makefiles -DX=1\n");
  }
}

// Under a double quote or a backslash CMake cannot configure: run.sh and test.sh stop at once,
// naming the characters, before anything is installed or built.
TEST(Scripts, APathCMakeCannotTakeStopsTheScriptsAtOnce) {
  const fs::path copy = processScratch("say \"hi\" \\ there");
  fs::remove_all(copy);
  fs::create_directories(copy / "tools");
  for (const char* script : {"run.sh", "test.sh"})
    fs::copy_file(fs::path(VSF_SOURCE_DIR) / script, copy / script);
  for (const char* tool : {"build.sh", "deps.sh", "check-path.sh", "configure.sh"})
    fs::copy_file(fs::path(VSF_SOURCE_DIR) / "tools" / tool, copy / "tools" / tool);
  const fs::path stub = stubs("quoted_path_stubs",
                              {{"cmake", "echo cmake ran"}, {"dpkg-query", "echo dpkg-query ran"}});
  for (const char* script : {"./run.sh prog.vsf", "./test.sh"}) {
    SCOPED_TRACE(script);
    const CommandRun r = shell("cd " + shellQuoted(copy.string()) + " && PATH=" +
                               shellQuoted(carriedPath(stub.string())) + ":$PATH " + script);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("holds a double quote (\") and a backslash (\\), under which CMake "
                            "cannot build"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("Move the checkout"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("ran"), std::string::npos) << r.output;
  }
}

TEST(Scripts, MissingPackagesWithoutRootAreNamed) {
  const fs::path stub = stubs("deps_stubs", {{"id", "echo 1000"},
                                             {"dpkg-query", "exit 1"},
                                             {"grep", "exec /bin/grep \"$@\""},
                                             {"bash", "exec /bin/bash \"$@\""}});
  CommandRun r = shell("PATH=" + shellQuoted(carriedPath(stub.string())) + " /bin/bash " +
                       shellQuoted(VSF_SOURCE_DIR "/tools/deps.sh"));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Installing them needs root"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("apt-get install cmake g++ ninja-build libopenblas-dev"),
            std::string::npos)
      << r.output;
  // A machine that built with make before goes on with it where Ninja cannot be installed.
  const fs::path makeOnly = stubs(
      "deps_make_stubs", {{"id", "echo 1000"},
                          {"dpkg-query", "[ \"$3\" = ninja-build ] || echo 'install ok installed'"},
                          {"grep", "exec /bin/grep \"$@\""},
                          {"make", "exit 0"},
                          {"bash", "exec /bin/bash \"$@\""}});
  r = shell("PATH=" + shellQuoted(carriedPath(makeOnly.string())) + " /bin/bash " +
            shellQuoted(VSF_SOURCE_DIR "/tools/deps.sh"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
}

}  // namespace
}  // namespace vsf::test
