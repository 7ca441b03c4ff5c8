// Messages that name their cause: where a comment or string opens that swallows the program,
// the file and the system's reason of a failed scratch or page file, what is wrong with the
// data set or the variable, each said once.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// A library of the files given, by name and text.
using Files = std::vector<std::pair<std::string, std::string>>;
struct Library : DataLibrary {
  explicit Library(const Files& files) : DataLibrary({}) {
    for (const auto& [name, text] : files) std::ofstream(path() / name) << text;
  }
};

const char kRegions[] = "region,y,x\nnorth,1,2\nsouth,2,3\neast,3,1\nwest,4,5\nnorth,2,2\n";

// A comment or string left open would swallow the statements after it: nothing runs, and the
// error names where it opens.
TEST(Messages, AnUnclosedCommentOrStringRunsNothing) {
  const std::string kUnclosed = " opened here is never closed; no step of the program runs.";
  expectRuns(VSF_SHARED_DATA,
             {{"proc varsifter data=mtcars;\n  model mpg = cyl wt / selection=forward;\n"
               "  /* left open\n  score out=s p=pred;\nrun;\n"
               "proc varsifter data=mtcars;\n  model mpg = wt;\nrun;",
               1,
               {".vsf: line 3, column 3: the comment \"/*\"" + kUnclosed},
               {"NOTE: Step", "Parameter Estimates"}},
              {"/* never closed\nproc varsifter data=mtcars; model mpg = wt; run;",
               1,
               {".vsf: line 1, column 1: the comment \"/*\"" + kUnclosed},
               {"NOTE: Step"}},
              {"proc varsifter data=mtcars;\n  model mpg = wt;\n  score out='s p=pred;\nrun;\n"
               "proc varsifter data=mtcars;\n  model mpg = wt;\nrun;",
               1,
               {".vsf: line 3, column 13: the quoted string '" + kUnclosed},
               {"NOTE: Step", "p=pred;\nrun;"}},
              {"%put \"open;\nproc varsifter data=mtcars; model mpg = wt; run;",
               1,
               {".vsf: line 1, column 6: the quoted string \"" + kUnclosed}},
              // Quotes in comments and comment marks in strings open nothing.
              {"/* it's */ * don't;\nproc varsifter data=mtcars; model mpg = wt; run;\n"
               "%put '/* not a comment';",
               0,
               {"/* not a comment", "Parameter Estimates"},
               {"ERROR"}}});
}

// A value outside its option's range names the option, the value and the range; an integer
// past what is read as one is said to be too large.
TEST(Messages, ARangeErrorNamesTheOptionItsValueAndItsRange) {
  auto fit = [](const std::string& statements) {
    return "proc varsifter data=mtcars; " + statements + " run;";
  };
  const std::string tooLarge = " is too large: an integer is read from -2147483647 to 2147483647.";
  expectRuns(
      VSF_SHARED_DATA,
      {{fit("model mpg = wt hp / selection=lasso(choose=cv) cvmethod=random(-3);"),
        1,
        {"ERROR: Line 1, column 92: The value -3 of CVMETHOD=RANDOM(n) is outside its range, 2 "
         "or more."}},
       {fit("model mpg = wt hp / selection=lasso(choose=cv) cvmethod=random(99999999999);"),
        1,
        {"The integer 99999999999 of CVMETHOD=RANDOM(n)" + tooLarge},
        {"was not expected"}},
       {fit("effect s = spline(wt / degree=-1); model mpg = s;"),
        1,
        {"The value -1 of DEGREE= is outside its range, 0 or more."}},
       {fit("effect l = lag(wt / period=carb nlag=-1); model mpg = l;"),
        1,
        {"The value -1 of NLAG= is outside its range, 0 or more."}},
       {fit("model mpg = wt hp / selection=stepwise fuzz=2;"),
        1,
        {"The value 2 of FUZZ= is outside its range, 0 to 1."}},
       {fit("model mpg = wt hp / selection=forward(steps=-99999999999);"),
        1,
        {"The integer -99999999999 of STEPS=" + tooLarge}}});
}

// A data set whose file holds its names alone has no observations to fit, with a BY statement
// too; a character variable where the step needs numbers is named with what it stands for.
TEST(Messages, WhatIsWrongWithTheDataSetOrTheVariable) {
  const Library lib({{"names.csv", "g,y,x\n"}, {"regions.csv", kRegions}});
  const std::string kNoObservations =
      "ERROR: The data set WORK.NAMES has no observations: its file holds only its first line, "
      "the variable names.";
  expectRuns(lib.dir(),
             {{"proc varsifter data=names; model y = x; run;",
               1,
               {kNoObservations, "return code 108"},
               {"of the 0 observations read"}},
              {"proc varsifter data=names; by g; model y = x; run;", 1, {kNoObservations}},
              {"proc varsifter data=regions; model region = x; run;",
               1,
               {"ERROR: Line 1, column 36: the response must be numeric, but region is a "
                "character variable."},
               {"in the list"}}});
}

// A REF= value that is none of the levels: the error stands where the value is written and
// names it and the levels.
TEST(Messages, AReferenceLevelThatIsNoLevelNamesTheValueAndTheLevels) {
  const Library lib(Files{{"regions.csv", kRegions}});
  const std::string kLevels =
      "given for region is not one of its levels: \"east\", \"north\", \"south\", \"west\".";
  expectRuns(lib.dir(),
             {{"proc varsifter data=regions;\n  class region(ref='North');\n  model y = region x;\n"
               "run;",
               1,
               {"ERROR: Line 2, column 20: The reference level \"North\" " + kLevels}},
              {"proc varsifter data=regions;\n  class region / ref='North';\n  model y = region "
               "x;\nrun;",
               1,
               {"ERROR: Line 2, column 22: The reference level \"North\" " + kLevels}},
              {"proc varsifter data=regions; class region(ref='north'); model y = region x; run;",
               0,
               {"Parameter Estimates"},
               {"reference level"}}});
}

// Group 1's history rows (h=0) carry a response, which a LAG effect refuses: the group is
// skipped, and the OUTDESIGN= pass over the groups does not say it again; a step whose every
// group is skipped writes no OUTDESIGN= data set and says nothing of memory.
TEST(Messages, AGroupSkippedIsSaidOnce) {
  std::string lag = "g,subj,t,h,x,y\n";
  for (int g = 1; g <= 2; ++g)
    for (int subject = 0; subject < 4; ++subject)
      for (int t = 0; t < 5; ++t)
        lag += std::to_string(g) + "," + std::to_string(subject) + "," + std::to_string(t) +
               (t < 4 ? ",1," : ",0,") + std::to_string((subject * 7 + t * 3) % 5) + "," +
               (g == 2 && t == 4 ? "" : std::to_string(subject + t * 0.5)) + "\n";
  const Library lib({{"lag.csv", lag}, {"lag1.csv", lag.substr(0, lag.find("\n2,"))}});
  const std::string kSkipped =
      "An observation whose h is 0 only carries the history of the LAG effect l, but its "
      "response is not missing; the BY group is skipped.";
  for (const char* data : {"lag", "lag1"}) {
    const CommandRun r = runCommand(
        std::string("proc varsifter data=") + data + " outdesign=od_" + data +
            "; by g; class subj t x;\n"
            "  effect l = lag(x / within=subj period=t designrole=h);\n  model y = l;\nrun;",
        lib.dir());
    SCOPED_TRACE(data);
    EXPECT_EQ(r.status, 1) << r.output;
    size_t said = 0;
    for (size_t at = r.output.find(kSkipped); at != std::string::npos;
         at = r.output.find(kSkipped, at + 1))
      ++said;
    EXPECT_EQ(said, 1u) << r.output;
    EXPECT_EQ(r.output.find("memory"), std::string::npos) << r.output;
    EXPECT_EQ(lib.text(std::string("od_") + data + ".csv").empty(), std::string(data) == "lag1");
  }
}

// A small file system of its own for the UTILPATH directory, mounted where the tests may
// (they run as root) and taken down with the object.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::filesystem::path& at) : at_(at.string()) {
    std::filesystem::create_directories(at);
    mounted_ = run("mount -t tmpfs -o size=64k tmpfs " + shellQuoted(at_));
  }
  ~SmallFileSystem() {
    if (mounted_) run("umount " + shellQuoted(at_));
  }
  bool mounted() const { return mounted_; }
  // Writes a file that takes what room is left.
  void fill() const {
    std::ofstream out(at_ + "/fill", std::ios::binary);
    const std::string block(4096, 'x');
    for (int k = 0; k < 64 && out.write(block.data(), 4096) && out.flush(); ++k) {
    }
  }
  bool readOnly() const { return run("mount -o remount,ro " + shellQuoted(at_)); }
  const std::string& path() const { return at_; }

 private:
  static bool run(const std::string& command) {
    return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
  }
  std::string at_;
  bool mounted_ = false;
};

// A full UTILPATH directory: the page file of the stored rows, the scratch file of the rows'
// roles; then a read-only one; each named with the system's reason. A graph directory that
// cannot be made says why.
TEST(Messages, AFileThatCannotBeWrittenIsNamedWithTheReason) {
  std::string rows = "y,x1,x2,x3,role\n";
  for (int r = 0; r < 20000; ++r)
    rows += fmt::format("{},{},{},{},{}\n", (r * 7) % 97, (r * 13) % 89, (r * 5) % 83, r % 79,
                        r % 4 ? "train" : "valid");
  const Library lib({{"rows.csv", rows}, {"regions.csv", kRegions}});
  expectRuns(lib.dir(), {{"proc varsifter data=regions; model y = x; run;",
                          2,
                          {"ERROR: cannot make the graph directory " + lib.dir() +
                           "/regions.csv/svg (Not a directory)"},
                          {},
                          ("--svg " + lib.dir() + "/regions.csv/svg").c_str()}});
  const SmallFileSystem util(lib.path() / "util");
  if (!util.mounted()) {
    GTEST_SKIP() << (::geteuid() == 0 ? "no file system of its own can be mounted here"
                                      : "mounting a file system of its own takes root");
  }
  std::filesystem::create_directories(util.path() + "/svg");
  util.fill();
  const std::string options = "--utilpath " + util.path();
  const std::string paged = options + " --memsize 1";
  const std::string file = "ERROR: The file " + util.path() + "/vsf_";
  const std::string full = " could not be written: No space left on device.";
  const std::string unwritten = "NOTE: Not written, any earlier file of the name left as it was: ";
  const std::string o = lib.dir() + "/o.csv)";
  expectRuns(lib.dir(), {{"proc varsifter data=rows; model y = x1-x3; run;",
                          1,
                          {file, ".utl" + full,
                           "return code 1020: the step could not write or read back its own "
                           "utility or scratch files."},
                          {"utility file.", "not enough memory to continue"},
                          paged.c_str()},
                         {"proc varsifter data=rows; partition rolevar=role(train='train' "
                          "validate='valid');\n  model y = x1-x3; output out=o p=p; run;",
                          1,
                          {file, ".tmp" + full, "return code 1016", unwritten + "WORK.O (" + o},
                          {"scratch file could not be opened", "memory pool"},
                          options.c_str()},
                         // The output data sets the step does not write are named.
                         {"proc varsifter data=rows outdesign=d; model y = x1-x3; output out=o "
                          "p=p; score data=rows out=s p=p; run;",
                          1,
                          {".utl" + full, unwritten + "WORK.D (" + lib.dir() + "/d.csv), WORK.O (" +
                                              o + ", WORK.S (" + lib.dir() + "/s.csv)."},
                          {},
                          paged.c_str()}});
  ASSERT_TRUE(util.readOnly());
  const std::string quoted = "Data set " + util.path() + "/o.csv cannot be written: no file can ";
  expectRuns(
      lib.dir(),
      // Found before the step pages any row.
      {{"proc varsifter data=rows; model y = x1-x3; run;",
        1,
        {"ERROR: The UTILPATH directory \"" + util.path() +
             "\" cannot be used (Read-only file system): the step's utility files are made there, "
             "so the step does not run.",
         "return code 1020"},
        {file},
        paged.c_str()},
       // The directory is the cause, not the file.
       {"proc varsifter data=regions; model y = x; output out=" +
            quotedInProgram(util.path() + "/o.csv") + " p; run;",
        1,
        {quoted + "be made in its directory " + util.path() + " (Read-only file system)."}}});
  // A graph directory that is there but cannot be written: said once, before any step runs.
  const std::string svg = "--svg " + util.path() + "/svg";
  expectRuns(lib.dir(), {{"proc varsifter data=regions plots=all; model y = x; run;",
                          2,
                          {"ERROR: cannot write into the graph directory " + util.path() +
                           "/svg (Read-only file system)"},
                          {"Step 1", "graph file was not written"},
                          svg.c_str()}});
}

}  // namespace
}  // namespace vsf::test
