// What the command writes never replaces what it should not: a link, a FIFO or a device at a
// target stays what it was, a step never writes the data set it reads, graphs are written whole
// like the documents, and every failed write says the system's reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <map>
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
  const std::string program =
      shellQuoted((lib / "p.vsf").string()) + " --lib " + shellQuoted(lib.string()) + " --json ";
  CommandRun r = runArgs(program + shellQuoted((lib / "doc.json").string()));
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
  r = runCommand(std::string(kFit) + quotedInProgram(full.string()) + " p; run;", lib.string());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("(No space left on device)"), std::string::npos) << r.output;
  r = runArgs(program + shellQuoted(full.string()));
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

// Every file under the directory with its text ("<kind>" for what is not a file).
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const char kind = fileKind(e.path());
    files[fs::relative(e.path(), dir).string()] =
        kind == 'f' ? fileText(e.path()) : std::string("<") + kind + ">";
  }
  return files;
}

// The documents get the data sets' checks: a document whose file is one a step reads or
// writes, another document's or the program's is refused with exit 2 before anything is
// written. What the library's names stand for is known at the start; a path in quotes when its
// step's statements name it, so that step writes nothing and no later step runs.
TEST(WriteTargets, DocumentsNeverTakeTheFileOfAnotherTarget) {
  ScratchDir dir("vsf_targets");
  const fs::path at = dir.path();
  fs::create_directories(at / "lib");
  fs::create_directories(at / "elsewhere");
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "lib" / "mtcars.csv");
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "elsewhere" / "m.csv");
  fs::create_symlink("mtcars.csv", at / "lib" / "link.html");
  fs::create_symlink("doc.json", at / "doclink.json");  // to a file not there yet
  const std::string fit = "proc varsifter data=mtcars; model mpg = wt; output out=a p; run;\n";
  struct Case {
    std::string program, options;
    const char* says;
    bool atStart;  // refused before the first step
  } cases[] = {
      {fit + "proc varsifter data=mtcars; model mpg = hp; output out=o p; run;",
       "--json lib/mtcars.csv",
       "ERROR: --json names lib/mtcars.csv, the file of data set WORK.MTCARS in the library "
       "directory, which the steps read and write: name another file.",
       true},
      {fit, "--json ./lib/../lib/o.csv", "the file of data set WORK.O in the library", true},
      {fit, "--html lib/link.html", "the file of data set WORK.MTCARS in the library", true},
      {fit, "--json same.out --html same.out",
       "ERROR: --json and --html name one file, same.out: each needs a file of its own.", true},
      {fit, "--json x.json --html ./x.json", "--json and --html name one file, ./x.json", true},
      {fit, "--json doc.json --html doclink.json", "--json and --html name one file", true},
      {fit, "--json p.vsf", "ERROR: --json names the program file p.vsf: name another file.", true},
      {fit, "--svg g --json g/Summary.ASEPlot.svg",
       "--json names g/Summary.ASEPlot.svg in the directory of --svg", true},
      {fit, "--html g --svg ./g", "--html and --svg name one file, ./g", true},
      // An empty name is no document left out.
      {fit, "--json ''", "ERROR: --json: the file name is empty: name one, or leave the option out",
       true},
      {fit, "--html '' --json x.json", "ERROR: --html: the file name is empty", true},
      {fit, "--svg ''", "ERROR: --svg: the directory name is empty", true},
      {fit + "proc varsifter data=mtcars; model mpg = hp; output out='elsewhere/x.json' p; run;\n" +
           fit,
       "--json elsewhere/./x.json",
       "ERROR: Data set elsewhere/x.json is the file elsewhere/./x.json that --json writes the "
       "run's document to: name another file for the document. The run stops after this step "
       "and writes no document.",
       false},
      {fit + "proc varsifter data='elsewhere/m.csv'; model mpg = wt; output out=b p; run;\n",
       "--html elsewhere/m.csv",
       "Data set elsewhere/m.csv is the file elsewhere/m.csv that --html writes the run's "
       "document to",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::ofstream(at / "p.vsf") << c.program;
    fs::remove(at / "lib" / "a.csv");
    const auto before = snapshot(at);
    const CommandRun r =
        runShell("cd " + shellQuoted(at.string()) + " && " + shellQuoted(VSF_BINARY) +
                 " p.vsf --lib lib " + c.options + " 2>&1");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    auto after = snapshot(at);
    if (c.atStart) {
      EXPECT_EQ(r.output.rfind("ERROR: ", 0), 0u) << r.output;
    } else {
      // The first step ran and wrote its data set; the refused one wrote nothing.
      EXPECT_NE(r.output.find("Step 2 at line 2"), std::string::npos) << r.output;
      EXPECT_EQ(r.output.find("Step 3"), std::string::npos) << r.output;
      EXPECT_EQ(after.erase("lib/a.csv"), 1u);
    }
    EXPECT_EQ(after, before);
  }
}

// An output data set never takes the program file, under any of its names, nor a graph's file in
// the --svg directory: the step fails naming both and writes nothing. A .svg file elsewhere is
// an output like any other.
TEST(WriteTargets, ADataSetNeverTakesTheProgramOrAGraphFile) {
  ScratchDir dir("vsf_targets");
  const fs::path at = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
  fs::create_symlink("p.vsf", at / "link.vsf");
  struct Case {
    std::string run, out;
    std::string says;  // empty: written
  } cases[] = {
      {"p.vsf", "p.vsf",
       "ERROR: Data set p.vsf is the program file p.vsf: name another file for the output data "
       "set."},
      {"./p.vsf", "p.vsf", "Data set p.vsf is the program file ./p.vsf:"},
      {"link.vsf", "./p.vsf", "Data set ./p.vsf is the program file link.vsf:"},
      {shellQuoted(at.string() + "/p.vsf"), "link.vsf",
       "Data set link.vsf is the program file " + at.string()},
      {"p.vsf --svg g", "g/Summary.CoefficientPanel.svg",
       "ERROR: Data set g/Summary.CoefficientPanel.svg is the file g/Summary.CoefficientPanel.svg "
       "in the directory of --svg, where the graphs' files are written: name another file for the "
       "output data set."},
      {"p.vsf --svg ./g/", "g/../g/later.svg", "in the directory of --svg"},
      {"p.vsf --svg g", "g.svg", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.run + " " + c.out);
    const std::string program =
        "proc varsifter data=mtcars plots=all; model mpg = wt hp / "
        "selection=forward; output out='" +
        c.out + "' p; run;\n";
    std::ofstream(at / "p.vsf") << program;
    const CommandRun r = runShell("cd " + shellQuoted(at.string()) + " && " +
                                  shellQuoted(VSF_BINARY) + " " + c.run + " --lib . 2>&1");
    EXPECT_EQ(r.status, c.says.empty() ? 0 : 1) << r.output;
    EXPECT_EQ(fileText(at / "p.vsf"), program);
    if (!c.says.empty()) {
      EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    } else {
      EXPECT_EQ(fileText(at / c.out).substr(0, 10), "model,mpg,");
    }
    for (const auto& e : fs::recursive_directory_iterator(at)) {
      EXPECT_NE(e.path().extension(), ".tmp") << e.path();
      if (e.path().parent_path().filename() == "g") {
        EXPECT_EQ(fileText(e.path()).substr(0, 1), "<") << e.path();
      }
    }
  }
  EXPECT_FALSE(fs::exists(at / "g" / "later.svg"));
}

mode_t modeOf(const fs::path& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A replaced output keeps its mode (a new one takes the umask), data sets, documents and graphs
// alike; a file without write permission is refused as a write would be, and left as it was.
TEST(WriteTargets, AReplacedFileKeepsItsModeAndAReadOnlyOneStays) {
  ScratchDir dir("vsf_targets");
  const fs::path at = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
  fs::create_directory(at / "g");
  const std::map<std::string, mode_t> old = {{"o.csv", 0600},
                                             {"doc.json", 0600},
                                             {"g/Summary.ASEPlot.svg", 0660},
                                             {"ro.csv", 0444},
                                             {"ro.json", 0444}};
  for (const auto& [name, mode] : old) {
    std::ofstream(at / name) << "old";
    ASSERT_EQ(::chmod((at / name).c_str(), mode), 0);
  }
  std::ofstream(at / "p.vsf") << "proc varsifter data=mtcars outdesign=n plots=all; model mpg = "
                                 "wt hp / selection=forward; output out=o p; run;\n";
  std::ofstream(at / "ro.vsf") << kFit << "ro p; run;\n";
  auto run = [&](const std::string& args) {
    return runShell("cd " + shellQuoted(at.string()) + " && umask 027 && " +
                    shellQuoted(VSF_BINARY) + " " + args + " --lib . 2>&1");
  };

  CommandRun r = run("p.vsf --json doc.json --html new.html --svg g");
  EXPECT_EQ(r.status, 0) << r.output;
  const std::map<std::string, mode_t> now = {
      {"o.csv", 0600}, {"doc.json", 0600}, {"g/Summary.ASEPlot.svg", 0660},
      {"n.csv", 0640}, {"new.html", 0640}, {"g/Summary.CoefficientPanel.svg", 0640}};
  for (const auto& [name, mode] : now) {
    EXPECT_EQ(modeOf(at / name), mode) << name;
    EXPECT_NE(fileText(at / name), "old") << name;
  }

  r = run("ro.vsf");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("ERROR: Data set WORK.RO cannot be written: cannot write ./ro.csv "
                          "(Permission denied)."),
            std::string::npos)
      << r.output;
  r = run("p.vsf --json ro.json");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("ERROR: cannot write ro.json (Permission denied)"), std::string::npos)
      << r.output;
  for (const char* name : {"ro.csv", "ro.json"}) {
    EXPECT_EQ(modeOf(at / name), 0444u) << name;
    EXPECT_EQ(fileText(at / name), "old") << name;
  }
  for (const auto& e : fs::recursive_directory_iterator(at))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

// Graph files are written whole: a write that fails leaves no file under the graph's name, and
// the error says why.
TEST(WriteTargets, GraphFilesAreWrittenWholeOrNotAtAll) {
  ScratchDir dir("vsf_targets");
  const fs::path lib = dir.path(), svg = dir.path() / "svg";
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", lib / "mtcars.csv");
  fs::create_directory(svg);
  const fs::path full = fullDevice(lib);
  fs::create_symlink(full, svg / "Summary.ASEPlot.svg");
  std::ofstream(lib / "p.vsf")
      << "proc varsifter data=mtcars plots=all; model mpg = wt hp disp qsec / "
         "selection=forward; run;\n";
  // 8 blocks of 512 bytes: the smaller graphs fit, the panels do not.
  // The inner shell runs its arguments: no path goes into its text.
  const CommandRun r =
      runShell("sh -c 'ulimit -f 8; exec \"$@\"' sh " + shellQuoted(VSF_BINARY) + " " +
               shellQuoted((lib / "p.vsf").string()) + " --lib " + shellQuoted(lib.string()) +
               " --svg " + shellQuoted(svg.string()) + " 2>&1");
  EXPECT_EQ(r.status, 2) << r.output;
  const std::string panel = (svg / "Summary.CriterionPanel.svg").string();
  EXPECT_NE(r.output.find("ERROR: the graph file was not written: cannot write " + panel +
                          " (File too large)"),
            std::string::npos)
      << r.output;
  // Through a link, the file it leads to is named too.
  EXPECT_NE(r.output.find("Summary.ASEPlot.svg, a link to " + full.string() +
                          " (No space left on device)"),
            std::string::npos)
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
  const pid_t pid = spawnCommand({(lib / "p.vsf").string(), "--lib", lib.string()});
  ASSERT_GT(pid, 0);
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
