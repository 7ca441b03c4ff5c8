// Files only the user may replace: a graph's file never takes the program, a data set or a
// document, whatever link waits in the --svg directory; a program read from standard input is
// the program file still; a document that cannot be written is found before any step writes;
// and a write that fails names the directory that refused it and the file a link leads to.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

const char kGraphs[] =
    "proc varsifter data=mtcars plots=all; model mpg = wt hp / selection=forward; "
    "output out=o p; run;\n";

// Every file under the directory, with its text (or its kind); links are not followed.
std::map<std::string, std::string> filesUnder(const fs::path& dir, const fs::path& under = {}) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir / under)) {
    const fs::path name = under / e.path().filename();
    const char kind = fileKind(e.path());
    files[name.string()] = kind == 'f' ? fileText(e.path()) : std::string("<") + kind + ">";
    if (kind == 'd') files.merge(filesUnder(dir, name));
  }
  return files;
}

// A link in the --svg directory at a graph's name leads to a file the run must keep: the graph is
// not written, the error names the link and the file, and the file and the link stay. A link
// to a file of no such kind is written through, as for any output.
TEST(RunFiles, AGraphNeverTakesTheProgramADataSetOrADocument) {
  const struct {
    const char* graph;  // the link's name in svg/
    const char* to;     // where it leads; empty: a hard link to p.vsf
    const char* options;
    std::string says;  // empty: written through
  } cases[] = {
      {"Summary.CoefficientPanel.svg", "../p.vsf", "",
       "ERROR: the graph file was not written: svg/Summary.CoefficientPanel.svg is a link to "
       "svg/../p.vsf, the program file p.vsf: a graph's file never replaces the program, a data "
       "set or a document; remove the link or name another --svg directory\n"},
      {"Summary.CoefficientPanel.svg", "", "",
       "svg/Summary.CoefficientPanel.svg is the program file p.vsf:"},
      {"Summary.CoefficientPanel.svg", "../mtcars.csv", "",
       "is a link to svg/../mtcars.csv, the file of data set WORK.MTCARS:"},
      {"Summary.ASEPlot.svg", "../o.csv", "", "the file of data set WORK.O:"},
      {"Summary.ASEPlot.svg", "../elsewhere/in.csv", "",
       "is a link to svg/../elsewhere/in.csv, the file of data set elsewhere/in.csv:"},
      {"Summary.ASEPlot.svg", "../doc.json", "--json doc.json", "the document of --json:"},
      {"Summary.ASEPlot.svg", "Summary.CoefficientPanel.svg", "",
       "is a link to svg/Summary.CoefficientPanel.svg, the file of another graph:"},
      {"Summary.ASEPlot.svg", "../free.svg", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.graph) + " -> " + c.to);
    ScratchDir dir("vsf_run_files");
    const fs::path at = dir.path();
    fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
    fs::create_directories(at / "elsewhere");
    fs::copy_file(at / "mtcars.csv", at / "elsewhere" / "in.csv");
    std::ofstream(at / "p.vsf") << "proc varsifter data='elsewhere/in.csv'; model mpg = wt; run;\n"
                                << kGraphs;
    std::ofstream(at / "free.svg") << "old";
    fs::create_directories(at / "svg");
    if (*c.to)
      fs::create_symlink(c.to, at / "svg" / c.graph);
    else
      fs::create_hard_link(at / "p.vsf", at / "svg" / c.graph);
    const auto before = filesUnder(at);
    const CommandRun r =
        runShell("cd " + shellQuoted(at.string()) + " && " + shellQuoted(VSF_BINARY) +
                 " p.vsf --lib . --svg svg " + c.options + " 2>&1");
    const auto after = filesUnder(at);
    EXPECT_EQ(after.at("svg/" + std::string(c.graph)), before.at("svg/" + std::string(c.graph)));
    if (c.says.empty()) {
      EXPECT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(fileText(at / "free.svg").substr(0, 1), "<");
      continue;
    }
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    for (const char* kept : {"p.vsf", "mtcars.csv", "elsewhere/in.csv"})
      EXPECT_EQ(after.at(kept), before.at(kept)) << kept;
    // Both steps ran: the data sets they read were left as they were. (A data set named by its
    // path is known once a step reads it, here the first.)
    EXPECT_NE(r.output.find("Step 2 at line 2"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("return code 1"), std::string::npos) << r.output;
    if (std::string(c.to) == "../o.csv") {
      EXPECT_EQ(fileText(at / "o.csv").substr(0, 6), "model,");
    }
  }
}

// The program read from standard input is refused as an output data set, a document or a
// graph's file, as the same program named is: it stays as it was.
TEST(RunFiles, AProgramReadFromStandardInputIsNeverReplaced) {
  ScratchDir dir("vsf_run_files");
  const fs::path at = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
  fs::create_symlink("prog.vsf", at / "link.json");
  fs::create_directories(at / "svg");
  fs::create_symlink("../prog.vsf", at / "svg" / "Summary.CoefficientPanel.svg");
  const struct {
    std::string program, options, says;
    int status;
  } cases[] = {
      {"proc varsifter data=mtcars; model mpg = wt; output out='prog.vsf' p=yhat; run;\n", "",
       "ERROR: Data set prog.vsf is the program file read from standard input: name another file "
       "for the output data set.",
       1},
      {"proc varsifter data=mtcars; model mpg = wt; output out=o p; run;\n", "--json prog.vsf",
       "ERROR: --json names the program file prog.vsf, read from standard input: name another "
       "file.",
       2},
      {"proc varsifter data=mtcars; model mpg = wt; run;\n", "--html link.json",
       "--html names the program file link.json, read from standard input", 2},
      {kGraphs, "--svg svg",
       "svg/Summary.CoefficientPanel.svg is a link to svg/../prog.vsf, the program, read from "
       "standard input:",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::ofstream(at / "prog.vsf") << c.program;
    const CommandRun r =
        runShell("cd " + shellQuoted(at.string()) + " && " + shellQuoted(VSF_BINARY) +
                 " - --lib . " + c.options + " < prog.vsf 2>&1");
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_EQ(fileText(at / "prog.vsf"), c.program);
  }
}

// A --json or --html target that cannot be written stops the run before its first step: no data
// set is written.
TEST(RunFiles, ADocumentThatCannotBeWrittenIsFoundBeforeAnyStep) {
  ScratchDir dir("vsf_run_files");
  const fs::path at = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
  fs::create_directories(at / "adir");
  fs::create_symlink("loop.json", at / "loop.json");
  std::ofstream(at / "p.vsf")
      << "proc varsifter data=mtcars; model mpg = wt; output out=o p; run;\n";
  const struct {
    std::string options, says;
  } cases[] = {
      {"--json nodir/x.json",
       "ERROR: cannot write nodir/x.json: no file can be made in its directory nodir (No such "
       "file or directory)"},
      {"--html mtcars.csv/x.html",
       "ERROR: cannot write mtcars.csv/x.html: no file can be made in its directory mtcars.csv "
       "(Not a directory)"},
      {"--json adir", "ERROR: cannot write adir: it is a directory, not a file"},
      {"--json ok.json --html loop.json",
       "ERROR: cannot write loop.json (Too many levels of symbolic links)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const auto before = filesUnder(at);
    const CommandRun r =
        runShell("cd " + shellQuoted(at.string()) + " && " + shellQuoted(VSF_BINARY) +
                 " p.vsf --lib . " + c.options + " 2>&1");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_EQ(r.output.rfind(c.says, 0), 0u) << r.output;
    EXPECT_EQ(r.output.find("Step 1"), std::string::npos) << r.output;
    EXPECT_EQ(filesUnder(at), before);
  }
}

// A data set that cannot be written names the directory that refuses its file, and through a
// link the file the link leads to.
TEST(RunFiles, AFailedWriteNamesTheDirectoryAndTheLinkedFile) {
  ScratchDir dir("vsf_run_files");
  const fs::path at = dir.path();
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", at / "mtcars.csv");
  fs::create_symlink("gone/o.csv", at / "o.csv");
  const fs::path full = fullDevice(at);
  fs::create_symlink(full, at / "f.csv");
  const struct {
    std::string out, says;
  } cases[] = {
      {"'nodir/o.csv'",
       "ERROR: Data set nodir/o.csv cannot be written: no file can be made in its directory "
       "nodir (No such file or directory)."},
      {"o",
       "ERROR: Data set WORK.O cannot be written to ./o.csv, a link to ./gone/o.csv: no file can "
       "be made in its directory ./gone (No such file or directory)."},
      {"f", "ERROR: Data set WORK.F cannot be written to ./f.csv, a link to " + full.string() +
                " (No space left on device)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    std::ofstream(at / "p.vsf") << "proc varsifter data=mtcars; model mpg = wt; output out=" +
                                       c.out + " p; run;\n";
    const CommandRun r = runShell("cd " + shellQuoted(at.string()) + " && " +
                                  shellQuoted(VSF_BINARY) + " p.vsf --lib . 2>&1");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
  }
  EXPECT_EQ(fileKind(at / "o.csv"), 'l');
  EXPECT_FALSE(fs::exists(at / "gone"));
}

// An output data set that fails while a BY group's rows go in is the step's failure, not the
// group's: its error names no group.
TEST(RunFiles, AnOutputThatFailsUnderByIsTheStepsError) {
  ScratchDir dir("vsf_run_files");
  std::ofstream data(dir.path() / "m.csv");
  data << "g,y,x\n";
  for (int i = 0; i < 15000; ++i) data << i / 5000 << ',' << i % 7 << ',' << i % 5 << '\n';
  data.close();
  std::ofstream(dir.path() / "p.vsf")
      << "proc varsifter data=m; by g; model y = x / selection=none; output out=o p r; run;\n";
  // 16 blocks of 512 bytes: the first group's rows pass them.
  const CommandRun r = runShell("cd " + shellQuoted(dir.path().string()) +
                                " && sh -c 'ulimit -f 16; exec \"$@\"' sh " +
                                shellQuoted(VSF_BINARY) + " p.vsf --lib . 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(
      r.output.find("\nERROR: Data set WORK.O cannot be written to ./o.csv (File too large)."),
      std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(dir.path() / "o.csv"));
}

}  // namespace
}  // namespace vsf::test
