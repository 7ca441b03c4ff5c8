// A temporary directory the environment names but that cannot be used is an error of the step
// that names the variable, its value and the reason, and the way to another; never an abort.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "common/files.h"
#include "e2e/command_support.h"
#include "e2e/process_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

TEST(TemporaryDirectory, OneThatCannotBeUsedIsTheStepsErrorAndAnEmptyOneIsUnset) {
  ScratchDir dir("vsf_tmpdir");
  const fs::path program = dir.path() / "p.vsf", plain = dir.path() / "plain",
                 locked = dir.path() / "locked", usable = dir.path() / "usable";
  std::ofstream(program)
      << "proc varsifter data=mtcars; model mpg = wt hp / selection=none; run;\n";
  std::ofstream(plain) << "a file\n";
  fs::create_directory(locked);
  fs::create_directory(usable);
  ::chmod(locked.c_str(), 0500);
  const bool root = ::geteuid() == 0;
  const struct {
    const char* what;
    std::string tmpdir, tmp;  // TMPDIR's value ("-": unset) and TMP's
    std::string utilpath;
    int status;
    std::string said;  // in the log
  } kCases[] = {
      {"missing", (dir.path() / "gone").string(), "-", "", 1,
       "The temporary directory \"" + (dir.path() / "gone").string() +
           "\", which TMPDIR names, cannot be used (No such file or directory)"},
      {"a file", plain.string(), "-", "", 1,
       "which TMPDIR names, cannot be used (Not a directory)"},
      {"relative", "nowhere/at/all", "-", "", 1,
       "\"nowhere/at/all\" (relative to the current directory " +
           fs::canonical(dir.path()).string() +
           "), which TMPDIR names, cannot be used (No such file or directory)"},
      {"unwritable", locked.string(), "-", "", 1,
       "which TMPDIR names, cannot be used (Permission denied)"},
      // Empty counts as unset: the next variable, and with none /tmp.
      {"empty", "", "-", "", 0, ""},
      {"empty, TMP bad", "", plain.string(), "", 1, "which TMP names, cannot be used"},
      {"--utilpath over a bad one", plain.string(), "-", usable.string(), 0, ""},
      {"--utilpath unwritable", usable.string(), "-", locked.string(), 1,
       "The UTILPATH directory \"" + locked.string() + "\" cannot be used (Permission denied)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    if (root && c.said.find("Permission denied") != std::string::npos) {
      std::cout << "[ SKIPPED  ] " << c.what << ": as root every directory takes new files\n";
      continue;
    }
    // A document spills its items into the temporary directory where it can.
    Start start{{"p.vsf", "--lib", VSF_SHARED_DATA, "--json", "o.json"}};
    if (!c.utilpath.empty()) start.args.insert(start.args.end(), {"--utilpath", c.utilpath});
    start.directory = dir.path().string();
    start.unset = {"TMPDIR", "TMP", "TEMP", "TEMPDIR"};
    if (c.tmpdir != "-") start.environment.emplace_back("TMPDIR", c.tmpdir);
    if (c.tmp != "-") start.environment.emplace_back("TMP", c.tmp);
    const Ended r = runStarted(start);
    EXPECT_EQ(r.status, c.status) << r.log;
    if (c.status == 0) {
      EXPECT_NE(r.output.find("Parameter Estimates"), std::string::npos) << r.output;
      continue;
    }
    const size_t at = r.log.find(c.said);
    ASSERT_NE(at, std::string::npos) << r.log;
    const size_t line = r.log.rfind('\n', at);
    EXPECT_EQ(r.log.compare(line == std::string::npos ? 0 : line + 1, 7, "ERROR: "), 0) << r.log;
    EXPECT_NE(r.log.find("--utilpath or OPTIONS UTILPATH="), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("ended with return code 1020"), std::string::npos) << r.log;
    EXPECT_NE(fileText(dir.path() / "o.json").find(c.said.substr(c.said.find("cannot be used"))),
              std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "gone")) << "a missing directory is not made";
  ::chmod(locked.c_str(), 0700);
}

}  // namespace
}  // namespace vsf::test
