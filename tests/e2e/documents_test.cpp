// The JSON and HTML documents are written whole or not at all: a write that fails (here past
// a file-size limit) leaves the previous file as it was and says why, and an interrupted run
// ends with log lines, removing what it was writing, leaving the previous file and naming the
// outputs it kept and those it did not write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/command_support.h"

extern char** environ;

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> names(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Documents, AFailedWriteLeavesThePreviousFile) {
  ScratchDir dir("vsf_documents");
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", dir.path() / "mtcars.csv");
  const fs::path json = dir.path() / "out.json";
  std::ofstream(json) << "previous";
  // 20 blocks of 512 bytes hold the data set's copy, not the document.
  // The inner shell runs its arguments: no path goes into its text.
  const CommandRun r = runShell("sh -c 'ulimit -f 20; exec \"$@\"' sh " + shellQuoted(VSF_BINARY) +
                                " " + shellQuoted(VSF_SOURCE_DIR "/examples/mtcars_forward.vsf") +
                                " --lib " + shellQuoted(dir.path().string()) + " --utilpath " +
                                shellQuoted(dir.path().string()) + " --json " +
                                shellQuoted(json.string()) + " 2>&1");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("ERROR: cannot write " + json.string() + " (File too large)"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(contents(json), "previous");
  EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"mtcars.csv", "out.json"}));
}

// Each document is written on its own: the one that cannot be written is named, and the other
// still replaces its earlier file.
TEST(Documents, ADocumentNotWrittenLeavesTheOthersWritten) {
  ScratchDir dir("vsf_documents");
  const fs::path html = dir.path() / "out.html";
  std::ofstream(html) << "previous";
  const CommandRun r = runShell(
      shellQuoted(VSF_BINARY) + " " + shellQuoted(VSF_SOURCE_DIR "/examples/mtcars_forward.vsf") +
      " --lib " + shellQuoted(VSF_SHARED_DATA) + " --json /dev/full --html " +
      shellQuoted(html.string()) + " 2>&1 > /dev/null");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("ERROR: cannot write /dev/full (No space left on device)"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(contents(html).rfind("<!DOCTYPE html>", 0), 0u);
}

// A killed run leaves its temporary file; the next run writing the same target removes it,
// whether the target is named bare from the working directory or with its directory.
TEST(Documents, AKilledRunsTemporaryFileGoesWithTheNextWrite) {
  struct Case {
    const char* options;
    const char* left;  // the killed run's temporary file
  } cases[] = {
      {"--json out.json", ".out.json.varsifter-K1lled.tmp"},
      {"--json ./out.json", ".out.json.varsifter-K1lled.tmp"},
      {"--html out.json", ".out.json.varsifter-K1lle2.tmp"},
      {"", ".o.csv.varsifter-K1lle3.tmp"},  // the quoted output below, named bare
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    ScratchDir dir("vsf_documents");
    fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", dir.path() / "mtcars.csv");
    std::ofstream(dir.path() / "p.vsf")
        << "proc varsifter data=mtcars; model mpg = wt; output out='o.csv' p; run;\n";
    std::ofstream(dir.path() / c.left) << "killed";
    const CommandRun r =
        runShell("cd " + shellQuoted(dir.path().string()) + " && " + shellQuoted(VSF_BINARY) +
                 " p.vsf --lib . " + c.options + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> expected = {"mtcars.csv", "o.csv", "p.vsf"};
    if (std::string_view(c.options).find("out.json") != std::string_view::npos)
      expected.insert(expected.begin() + 2, "out.json");
    EXPECT_EQ(names(dir.path()), expected);
  }
}

// A run that cannot end by itself (its second step reads a FIFO nobody writes) is stopped by
// the signal once its first step has ended.
TEST(Documents, AnInterruptedRunSaysSoAndLeavesNothing) {
  // A closed terminal or session (SIGHUP) and the user signals end the run as SIGTERM does.
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) {
    SCOPED_TRACE(signal);
    ScratchDir dir("vsf_interrupt");
    const fs::path util = dir.path() / "util";
    fs::create_directory(util);
    fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", dir.path() / "mtcars.csv");
    ASSERT_EQ(mkfifo((dir.path() / "never.csv").c_str(), 0600), 0);
    const fs::path program = dir.path() / "p.vsf", json = dir.path() / "out.json",
                   log = dir.path() / "log.txt";
    std::ofstream(program) << "proc varsifter data=mtcars; model mpg = wt hp; run;\n"
                              "proc varsifter data=never; model mpg = wt; run;\n";
    std::ofstream(json) << "previous";

    const pid_t pid = spawnCommand({program.string(), "--lib", dir.path().string(), "--utilpath",
                                    util.string(), "--json", json.string()},
                                   log);
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 600 && contents(log).find("return code 0") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << contents(log);
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << contents(log);
    EXPECT_NE(contents(log).find("ERROR: The run was interrupted (SIG"), std::string::npos)
        << contents(log);
    EXPECT_EQ(contents(json), "previous");
    EXPECT_TRUE(fs::is_empty(util));
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"log.txt", "mtcars.csv", "never.csv",
                                                           "out.json", "p.vsf", "util"}));
  }
}

// Interrupted after two of its outputs were renamed into place, while the third waits for the
// reader of its FIFO: the log names the two kept whole and what was not written, and each file
// is as it says.
TEST(Documents, AnInterruptLateInAStepNamesWhatItKept) {
  ScratchDir dir("vsf_interrupt");
  const fs::path at = dir.path(), log = at / "log.txt";
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
  for (const char* earlier : {"o.csv", "od.csv", "out.json"}) std::ofstream(at / earlier) << "old";
  ASSERT_EQ(mkfifo((at / "s.csv").c_str(), 0600), 0);
  std::ofstream(at / "p.vsf") << "proc varsifter data=mtcars outdesign=od; model mpg = wt hp;\n"
                                 "  output out=o p; score data=mtcars out=s; run;\n";
  const pid_t pid = spawnCommand(
      {(at / "p.vsf").string(), "--lib", at.string(), "--json", (at / "out.json").string()}, log);
  ASSERT_GT(pid, 0);
  // OUTDESIGN= is written after OUTPUT OUT= and before SCORE OUT=.
  for (int i = 0; i < 600 && contents(at / "od.csv") == "old"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << contents(log);
  const std::string d = at.string() + "/";
  for (const std::string& line : std::vector<std::string>{
           "ERROR: The run was interrupted (SIGTERM); the files it was writing were removed.\n",
           "NOTE: Written whole before the interruption and kept: WORK.OD (" + d +
               "od.csv), WORK.O (" + d + "o.csv).\n",
           "NOTE: Not written, any earlier file of the name left as it was: WORK.S (" + d +
               "s.csv), the document of --json (" + d + "out.json).\n"})
    EXPECT_NE(contents(log).find(line), std::string::npos) << line << contents(log);
  EXPECT_EQ(contents(at / "o.csv").substr(0, 10), "model,mpg,");
  EXPECT_EQ(contents(at / "od.csv").substr(0, 10), "Intercept,");
  EXPECT_EQ(contents(at / "out.json"), "old");
  EXPECT_EQ(names(at), (std::vector<std::string>{"log.txt", "mtcars.csv", "o.csv", "od.csv",
                                                 "out.json", "p.vsf", "s.csv"}));
}

// A document named as a pipe or FIFO (/dev/stdout, /dev/fd/3, a FIFO's name) is written
// straight into it, there being no directory to make a file in, and a write that fails there
// is said as for a file.
TEST(Documents, GoStraightIntoAPipeOrFifo) {
  ScratchDir dir("vsf_documents");
  const fs::path at = dir.path();
  std::ofstream(at / "d.csv") << "y,x\n1,2\n2,3\n3,5\n4,4\n";
  std::ofstream(at / "p.vsf") << "proc varsifter data=d; model y = x; run;\n";
  ASSERT_EQ(mkfifo((at / "page").c_str(), 0600), 0);
  const CommandRun r = runShell("cd " + shellQuoted(at.string()) + " && { cat page > page.html & " +
                                shellQuoted(VSF_BINARY) +
                                " p.vsf --lib . --html page --json /dev/fd/3 3>&1 >/dev/null "
                                "2>log.txt; echo $? >status; wait; }");
  EXPECT_EQ(contents(at / "status"), "0\n") << contents(at / "log.txt");
  const Json json = Json::parse(r.output, nullptr, false);
  EXPECT_TRUE(json.is_object() && json.contains("log")) << r.output;
  EXPECT_EQ(contents(at / "page.html").rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(names(at),
            (std::vector<std::string>{"d.csv", "log.txt", "p.vsf", "page", "page.html", "status"}));

  // The pipe's reader gone: the listing and the document are not written, and each says so.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  close(ends[0]);
  const pid_t pid =
      spawnCommand({(at / "p.vsf").string(), "--lib", at.string(), "--json", "/dev/stdout"},
                   (at / "log.txt").string(), ends[1]);
  close(ends[1]);
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << contents(at / "log.txt");
  for (const char* said : {"ERROR: The listing cannot be written to standard output (Broken pipe)",
                           "ERROR: cannot write /dev/stdout, a link to /proc/self/fd/1 (Broken "
                           "pipe)\n"})
    EXPECT_NE(contents(at / "log.txt").find(said), std::string::npos) << contents(at / "log.txt");

  // Standard output a file: renamed over, it would lose the listing; refused instead.
  const CommandRun f =
      runShell("cd " + shellQuoted(at.string()) + " && " + shellQuoted(VSF_BINARY) +
               " p.vsf --lib . --json /dev/stdout >out.lst 2>log.txt; echo $?");
  EXPECT_EQ(f.output, "2\n");
  EXPECT_NE(contents(at / "log.txt")
                .find("cannot write /dev/stdout: it names a descriptor of this "
                      "run, open on the file " +
                      (at / "out.lst").string()),
            std::string::npos)
      << contents(at / "log.txt");
}

}  // namespace
}  // namespace vsf::test
