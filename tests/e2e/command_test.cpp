// Runs the varsifter command as a user would and checks its exit status and log.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct CommandRun {
  int status;
  std::string output;  // standard output and standard error together
};

CommandRun runCommand(const std::string& args) {
  std::string cmd = std::string(VSF_BINARY) + " " + args + " 2>&1";
  CommandRun r{-1, ""};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

std::string writeProgram(const std::string& name, const std::string& text) {
  auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path) << text;
  return path.string();
}

TEST(Command, ExitStatusFollowsTheWorstStep) {
  struct Case {
    const char* program;
    int status;
    const char* logText;
  } cases[] = {
      {"proc varsifter data=mtcars; model mpg = wt hp; run;", 0, "ended with return code 0"},
      {"proc varsifter data=mtcars; model mpg = nosuch; run;", 1, "ended with return code 2000"},
      {"proc nosuch; run;", 1, "procedure NOSUCH not found"},
      {"data x; run;", 1, "not valid outside a procedure step"},
      {"%let a = 5; %put a is &a.!;", 0, "a is 5!"},
  };
  for (const Case& c : cases) {
    CommandRun r =
        runCommand(writeProgram("vsf_cmd_test.vsf", c.program) + " --lib " VSF_SHARED_DATA);
    EXPECT_EQ(r.status, c.status) << c.program << "\n" << r.output;
    EXPECT_NE(r.output.find(c.logText), std::string::npos) << c.program << "\n" << r.output;
  }
}

TEST(Command, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runCommand("").status, 2);
  EXPECT_EQ(runCommand("/no/such/program.vsf").status, 2);
  EXPECT_EQ(runCommand("--help").status, 0);
}

}  // namespace
