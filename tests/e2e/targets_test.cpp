// What the command writes never replaces what it should not: a link, a FIFO or a device at a
// target stays what it was, a step never writes the data set it reads, graphs are written whole
// like the documents, and every failed write says the system's reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "common/files.h"
#include "e2e/command_support.h"

extern char** environ;

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

const char* kFit = "proc varsifter data=mtcars; model mpg = wt hp; output out=";

TEST(WriteTargets, LinksFifosAndDevicesStayWhatTheyWere) {
  ScratchDir dir("vsf_targets");
  const fs::path lib = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", lib / "mtcars.csv");
  fs::create_directory(lib / "real");
  std::ofstream(lib / "real" / "o.csv") << "old\n";
  std::ofstream(lib / "real" / "doc.json") << "old";
  fs::create_symlink(lib / "real" / "o.csv", lib / "o.csv");
  fs::create_symlink("real/doc.json", lib / "doc.json");
  ASSERT_EQ(::mkfifo((lib / "pipe.csv").c_str(), 0600), 0);
  const fs::path full = fullDevice(lib);

  // A link: the file it points to is replaced, the link stays.
  std::ofstream(lib / "p.vsf") << kFit << "o p; run;\n";
  CommandRun r = runArgs((lib / "p.vsf").string() + " --lib " + lib.string() + " --json " +
                         (lib / "doc.json").string());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(fileKind(lib / "o.csv"), 'l');
  EXPECT_EQ(fileKind(lib / "doc.json"), 'l');
  EXPECT_EQ(fileText(lib / "real" / "o.csv").substr(0, 10), "model,mpg,");
  EXPECT_EQ(fileText(lib / "real" / "doc.json").substr(0, 1), "{");

  // A FIFO: its reader gets the rows.
  auto reader = std::async(std::launch::async, [&] { return fileText(lib / "pipe.csv"); });
  r = runCommand(std::string(kFit) + "pipe p; run;", lib.string());
  EXPECT_EQ(r.status, 0) << r.output;
  // Should the run not have opened the FIFO, its reader still waits: end it.
  if (int fd = ::open((lib / "pipe.csv").c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);
  const std::string piped = reader.get();
  EXPECT_EQ(std::count(piped.begin(), piped.end(), '\n'), 33) << piped;
  EXPECT_EQ(fileKind(lib / "pipe.csv"), 'p');

  // A full device: the step, or the document, fails saying so, and the device stays a device.
  r = runCommand(std::string(kFit) + "'" + full.string() + "' p; run;", lib.string());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("(No space left on device)"), std::string::npos) << r.output;
  r = runArgs((lib / "p.vsf").string() + " --lib " + lib.string() + " --json " + full.string());
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("ERROR: cannot write " + full.string() + " (No space left on device)"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(fileKind(full), 'c');
  for (const auto& e : fs::recursive_directory_iterator(lib))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

// OUTPUT OUT= naming the data set the step reads once overwrote it.
TEST(WriteTargets, AStepNeverWritesWhatItReads) {
  ScratchDir dir("vsf_targets");
  const fs::path lib = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", lib / "mtcars.csv");
  const std::string before = fileText(lib / "mtcars.csv");
  struct Case {
    const char* program;
    const char* says;
  } cases[] = {
      {"proc varsifter data=mtcars; model mpg = wt; output out=mtcars p; run;",
       "Data set WORK.MTCARS is read by this step"},
      {"proc varsifter data=mtcars; model mpg = wt; score data=mtcars out=mtcars; run;",
       "Data set WORK.MTCARS is read by this step"},
      {"proc varsifter data=mtcars outdesign=o; model mpg = wt; output out=o p; run;",
       "Data set WORK.O is already an output of this step"},
      {"proc varsifter outdesign=mtcars data=mtcars; model mpg = wt; run;",
       "Data set WORK.MTCARS is written by this step"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(c.program, lib.string());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_EQ(fileText(lib / "mtcars.csv"), before);
  }
  EXPECT_FALSE(fs::exists(lib / "o.csv"));
}

// Graph files are written whole: a write that fails leaves no file under the graph's name, and
// the error says why.
TEST(WriteTargets, GraphFilesAreWrittenWholeOrNotAtAll) {
  ScratchDir dir("vsf_targets");
  const fs::path lib = dir.path(), svg = dir.path() / "svg";
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", lib / "mtcars.csv");
  fs::create_directory(svg);
  fs::create_symlink(fullDevice(lib), svg / "Summary.ASEPlot.svg");
  std::ofstream(lib / "p.vsf")
      << "proc varsifter data=mtcars plots=all; model mpg = wt hp disp qsec / "
         "selection=forward; run;\n";
  // 8 blocks of 512 bytes: the smaller graphs fit, the panels do not.
  const CommandRun r = runShell("sh -c 'ulimit -f 8; exec " + std::string(VSF_BINARY) + " " +
                                (lib / "p.vsf").string() + " --lib " + lib.string() + " --svg " +
                                svg.string() + "' 2>&1");
  EXPECT_EQ(r.status, 2) << r.output;
  const std::string panel = (svg / "Summary.CriterionPanel.svg").string();
  EXPECT_NE(r.output.find("ERROR: the graph file was not written: cannot write " + panel +
                          " (File too large)"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Summary.ASEPlot.svg (No space left on device)"), std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(panel));
  EXPECT_EQ(fileKind(svg / "Summary.ASEPlot.svg"), 'l');
  for (const auto& e : fs::directory_iterator(svg)) {
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
    if (fileKind(e.path()) == 'f') {
      EXPECT_GT(fs::file_size(e.path()), 0u) << e.path();
    }
  }
}

// A run killed (SIGKILL, nothing to clean up) before its output's first rows leaves no file: the
// temporary file is made with those rows, not when the step starts. Here the step waits on a
// FIFO that it reads after its OUTPUT statement; the FIFO opening for us says it got there.
TEST(WriteTargets, AKilledRunLeavesNoTemporaryFile) {
  ScratchDir dir("vsf_targets");
  const fs::path lib = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", lib / "mtcars.csv");
  ASSERT_EQ(::mkfifo((lib / "later.csv").c_str(), 0600), 0);
  std::ofstream(lib / "p.vsf") << "proc varsifter data=mtcars; model mpg = wt; output out=o p;\n"
                                  "  score data=later out=s; run;\n";
  std::vector<std::string> args = {VSF_BINARY, (lib / "p.vsf").string(), "--lib", lib.string()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t io;
  posix_spawn_file_actions_init(&io);
  posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&io, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, VSF_BINARY, &io, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&io);
  int writer = -1;
  for (int i = 0; i < 600 && writer < 0; ++i) {
    writer = ::open((lib / "later.csv").c_str(), O_WRONLY | O_NONBLOCK);
    if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(writer, 0) << "the run never opened the FIFO";
  ::kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  if (writer >= 0) ::close(writer);
  for (const auto& e : fs::directory_iterator(lib))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

}  // namespace
}  // namespace vsf::test
