// A checkout's path may hold blanks, quotes and letters beyond ASCII: the paths the tests put
// into a command line or into a program reach the command as they are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

TEST(Quoting, AQuotedWordReachesTheCommandAsWritten) {
  for (const std::string text :
       {"plain", "it's", "a  b", "caf\xC3\xA9", "'", "''", "", "$HOME `id` \"q\" \\ * ; & |"}) {
    const CommandRun r = runShell("printf '%s' " + shellQuoted(text));
    EXPECT_EQ(r.status, 0) << text;
    EXPECT_EQ(r.output, text);
  }
}

// TMPDIR for the object's life.
class TemporaryDirectoryAt {
 public:
  explicit TemporaryDirectoryAt(const fs::path& dir) {
    if (const char* was = std::getenv("TMPDIR")) was_ = was;
    ::setenv("TMPDIR", dir.c_str(), 1);
  }
  ~TemporaryDirectoryAt() {
    if (was_)
      ::setenv("TMPDIR", was_->c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

 private:
  std::optional<std::string> was_;
};

// The temporary directory as a checkout's path makes it (ctest's is in the build): runCommand's
// library and scratch files, a path in its options and one in the program all lie below it.
TEST(Quoting, PathsOfBlanksQuotesAndLettersReachTheCommand) {
  ScratchDir outer("vsf_quoting");
  const fs::path tmp = outer.path() / "it's a dir \xC3\xA9";
  fs::create_directory(tmp);
  const TemporaryDirectoryAt at(tmp);
  ScratchDir dir("vsf_quoting");
  ASSERT_FALSE(dir.path().empty());
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", dir.path() / "mtcars.csv");
  const fs::path out = dir.path() / "o.csv";
  const CommandRun r = runCommand("proc varsifter data=mtcars; model mpg = wt; output out=" +
                                      quotedInProgram(out.string()) + " p; run;",
                                  dir.path().string(), "--utilpath " + dir.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.document.is_object()) << r.output;
  EXPECT_EQ(fileText(out).substr(0, 10), "model,mpg,");
  // Written in single quotes, each quote of the path doubled: the same files.
  auto doubled = [](const fs::path& path) {
    std::string text;
    for (const char c : path.string()) text += c == '\'' ? std::string("''") : std::string(1, c);
    return text;
  };
  fs::remove(out);
  const CommandRun again =
      runCommand("proc varsifter data='" + doubled(dir.path() / "mtcars.csv") +
                     "'; model mpg = wt; output out='" + doubled(out) + "' p; run;",
                 dir.path().string());
  ASSERT_EQ(again.status, 0) << again.output;
  EXPECT_EQ(fileText(out).substr(0, 10), "model,mpg,");
}

}  // namespace
}  // namespace vsf::test
