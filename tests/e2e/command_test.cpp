// Runs the varsifter command as a user would and checks its exit status and log.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

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
      // Host statements that fail are errors of the program, with its file and line.
      {"options memsize=abc;\nproc varsifter data=mtcars; model mpg = wt; run;", 1,
       ".vsf: line 1: The value \"abc\" of option MEMSIZE is not valid"},
      {"proc varsifter data=mtcars; model mpg = wt; run;\n%let 2x = 1;", 1,
       ".vsf: line 2: %LET: \"2x\" is not a valid macro variable name."},
  };
  for (const Case& c : cases) {
    CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, c.status) << c.program << "\n" << r.output;
    EXPECT_NE(r.output.find(c.logText), std::string::npos) << c.program << "\n" << r.output;
  }
}

// Whoever writes the warning (a statement reader, the fit, the data), its step ends with code
// 4, and a step with notes alone with 0; the command succeeds either way. (Every run of the
// end-to-end tests is checked for the same rule as it is read back.)
TEST(Command, AWarningEndsItsStepWithFour) {
  struct Case {
    const char* program;
    const char* logText;
    int code;
  } cases[] = {
      // A repaired option.
      {"proc varsifter data=mtcars; model mpg = wt hp / selection=lasso(l2=0.5); run;",
       "WARNING: L2= applies only to SELECTION=ELASTICNET", 4},
      // Fewer folds than asked for: once a warning that left the code at 0.
      {"proc varsifter data=mtcars seed=7; model mpg = wt hp / selection=forward(select=cv) "
       "cvmethod=split(40); run;",
       "WARNING: Only 32 of the 40 cross validation folds requested could be formed.", 4},
      // A macro reference that is not resolved, in the step's own text.
      {"proc varsifter data=mtcars; model mpg = wt hp; modelaverage nsamples=2 "
       "shareddrive='&nosuch'; run;",
       "WARNING: Apparent symbolic reference NOSUCH not resolved.", 4},
      // Notes only.
      {"proc varsifter data=mtcars_by_cyl; by cyl; class cyl; model mpg = cyl wt / "
       "selection=none; run;",
       "NOTE: BY group cyl=4: The CLASS variable cyl has only one level.", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(c.logText), std::string::npos) << r.output;
    const std::string ended = fmt::format("ended with return code {}", c.code);
    EXPECT_NE(r.output.find(ended), std::string::npos) << r.output;
  }
}

TEST(Command, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runArgs("").status, 2);
  EXPECT_EQ(runArgs("/no/such/program.vsf").status, 2);
  EXPECT_EQ(runArgs("--help").status, 0);
  const std::string program = shellQuoted(VSF_SOURCE_DIR "/examples/diabetes.vsf") + " ";
  for (const char* bad : {"--memsize -5", "--memsize 99999999999999999999", "--memsize abc",
                          "--cpucount 0", "--cpucount 1025", "--utilpath /no/such/directory"}) {
    const CommandRun r = runArgs(program + bad);
    EXPECT_EQ(r.status, 2) << bad << "\n" << r.output;
    const std::string option(bad, std::string_view(bad).find(' '));
    EXPECT_NE(r.output.find(option + ":"), std::string::npos) << r.output;  // names the option
  }
  CommandRun r = runArgs(shellQuoted(VSF_TEST_DATA));  // a directory
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("is a directory"), std::string::npos) << r.output;
  r = runArgs("- < /dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("standard input holds no statements"), std::string::npos) << r.output;
  r = runArgs("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output.rfind("varsifter ", 0), 0u) << r.output;
}

// The option parser's refusals read as the command's other errors: ERROR first, the parser's
// own text, and where the options are listed.
TEST(Command, CommandLineErrorsSayErrorAndPointAtHelp) {
  const std::string program = shellQuoted(VSF_SOURCE_DIR "/examples/diabetes.vsf") + " ";
  struct Case {
    std::string args;
    const char* says;
  } cases[] = {
      {program + "--cpucount 0", "--cpucount: Value 0 not in range 1 to 1024"},
      {program + "--bogus", "The following argument was not expected: --bogus"},
      {program + "--lib . --lib .", "--lib: At Most 1 required but received 2"},
      {"", "program is required"},
      {program + "--json", "--json: 1 required TEXT missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CommandRun r = runArgs(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_EQ(r.output,
              std::string("ERROR: ") + c.says + "\nRun varsifter --help to see the options.\n");
  }
}

TEST(Command, ProgramFromStandardInput) {
  const std::string program = processScratch("stdin.vsf").string();
  std::ofstream(program) << "proc varsifter data=mtcars; model mpg = wt; run;\n";
  CommandRun r = runArgs("- --lib " + shellQuoted(VSF_SHARED_DATA) + " < " + shellQuoted(program));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Parameter Estimates"), std::string::npos) << r.output;
}

// Each error names its cause where the user can act on it: the place in the program, the data
// set, the file and line of a value, a nearby keyword; each step's log begins with its number
// and first line and ends with its return code in words.
TEST(Command, ErrorsPointAtTheCause) {
  struct Case {
    const char* program;
    std::vector<const char*> texts;
  } cases[] = {
      {"proc varsifter data=stray_cell;\n  model z = x bmx;\nrun;",
       {"NOTE: Step 1 at line 1: proc varsifter data=stray_cell",
        "ERROR: Line 2, column 15: The variable bmx was not found on data set WORK.STRAY_CELL.",
        "return code 2000: an effect of the MODEL or EFFECT statement could not be built."}},
      {"proc varsifter data=stray_cell; class w; model z = x; run;",
       {"Line 1, column 39: variable w not found on data set WORK.STRAY_CELL"}},
      {"proc varsifter data=stray_cell; model y = x; run;",
       {"Variable y of data set WORK.STRAY_CELL is read as character because some of its values "
        "are not numbers; the first is \"n/a\" on line 4 of",
        "stray_cell.csv", "the response must be numeric, but y is a character variable",
        "character variable: the value \"n/a\" on line 4 of", "correct that cell",
        "return code 3000: a statement or option is in error."}},
      // The cell to mend comes before CLASS.
      {"proc varsifter data=stray_cell; model z = y; run;",
       {"The variable y is not numeric: the value \"n/a\" on line 4 of",
        "stray_cell.csv is not a number, so y is read as character: correct that cell (a "
        "missing value is written \".\", NA, NaN or as an empty field); if y is a classification "
        "variable, list it in the CLASS statement."}},
      {"proc varsifter data=stray_cell.csv; model z = x; run;",
       {"stray_cell.csv is a file name, not a data-set name: DATA=stray_cell reads "
        "stray_cell.csv"}},
      {"proc varsifter data=lib/stray_cell.csv; model z = x; run;",
       {"lib/stray_cell.csv is a path: write it in quotes ('lib/stray_cell.csv')"}},
      {"proc varsifter data=/tmp/x.csv; model z = x; run;",
       {"a file path must be written in quotes"}},
      {"proc varsifter data=stray_cell; model z = x / selecton=forward; run;",
       {"\"selecton\" was not expected; did you mean \"SELECTION\"?"}},
      {"proc varsifter data=stray_cell; model z = x / selection=forwad; run;",
       {"did you mean \"FORWARD\"?"}},
      {"proc varsifter data=stray_cell; modle z = x; run;", {"did you mean \"MODEL\"?"}},
      // Inside a method's parentheses: what the method takes, and the nearest option or what
      // the method calls another program's option.
      {"proc varsifter data=stray_cell; model z = x / selection=elasticnet(alpha=0.5); run;",
       {"Line 1, column 68: syntax error: \"alpha\" was not expected; ELASTICNET has no option "
        "ALPHA: the mix of its L1 and L2 penalties is set by L2=",
        "ELASTICNET takes ADAPTIVE, CHOOSE, ENSCALE, L1, L1CHOICE, L2, L2HIGH,"}},
      {"proc varsifter data=stray_cell; model z = x / selection=lasso(select=sl); run;",
       {"\"select\" was not expected; LASSO has no option SELECT: the path itself decides",
        "LASSO takes ADAPTIVE, CHOOSE,"}},
      {"proc varsifter data=stray_cell; model z = x / selection=lasso(chose=sbc); run;",
       {"\"chose\" was not expected; did you mean \"CHOOSE\"? LASSO takes ADAPTIVE,"}},
      {"proc varsifter data=stray_cell; model z = x / selection=forward(chose=sbc); run;",
       {"did you mean \"CHOOSE\"? FORWARD takes CHOOSE, INCLUDE, MAXSTEP, MAXSTEPS, SELECT, SLE, "
        "SLENTRY, START, STEPS or STOP."}},
      // A ";" left out: after the PROC line, at the end of the file, before RUN.
      {"proc varsifter data=stray_cell\n  model z = x;\nrun;",
       {"Line 1, column 31: syntax error: a \";\" was expected after \"stray_cell\", before "
        "\"model\" on line 2."}},
      {"proc varsifter data=stray_cell;\n  model z = x",
       {"Line 2, column 14: syntax error: a \";\" was expected after \"x\", where the program "
        "ends."}},
      // An option misspelled at the start of a line is no ";" left out.
      {"proc varsifter data=stray_cell;\n  model z = x / selection=forward\n    "
       "detials=steps;\nrun;",
       {"Line 3, column 5: syntax error: \"detials\" was not expected; did you mean "
        "\"DETAILS\"?"}},
      {"proc varsifter data=stray_cell;\n  model z = x\nrun;",
       {"Line 3, column 1: The variable run was not found on data set WORK.STRAY_CELL: a \";\" is "
        "missing at the end of the statement before run."}},
      // R's dotted names.
      {"proc varsifter data=stray_cell; model z = x.y; run;",
       {"a name with a dot is written as a name literal, 'x.y'n."}},
      {"proc varsiftr data=stray_cell; run;",
       {"procedure VARSIFTR not found (did you mean VARSIFTER?)"}},
      {"porc varsifter;",
       {"statement PORC is not valid outside a procedure step (did you mean PROC?)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    CommandRun r = runCommand(c.program, VSF_TEST_DATA "/e2e");
    EXPECT_EQ(r.status, 1);
    for (const char* text : c.texts) EXPECT_NE(r.output.find(text), std::string::npos) << r.output;
    // The page of a failed step shows its errors.
    if (std::string(c.program).rfind("proc", 0) == 0) {
      EXPECT_NE(r.html.find("<div class=\"log\">"), std::string::npos) << r.html;
    }
  }
}

// NA, as R writes a missing value, reads as missing: the rows with NA in z leave the fit.
TEST(Command, NaReadsAsMissing) {
  CommandRun r =
      runCommand("proc varsifter data=stray_cell; model z = x; run;", VSF_TEST_DATA "/e2e");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json nobs = theOne(r, "NObs");
  EXPECT_EQ(number(nobs["rows"][0]["N"]), 6);
  EXPECT_EQ(number(nobs["rows"][1]["N"]), 4);
}

// The program's run with standard error on a terminal (script(1)): what the terminal shows.
CommandRun onTerminal(const std::string& program) {
  const std::string file = processScratch("progress.vsf").string();
  std::ofstream(file) << program;
  const std::string command = shellQuoted(VSF_BINARY) + " " + shellQuoted(file) + " --lib " +
                              shellQuoted(VSF_SHARED_DATA) + " > /dev/null";
  CommandRun terminal;
  // script(1) hands the command to a shell of its own: quoted again for that one.
  FILE* p = popen(("script -qc " + shellQuoted(command) + " /dev/null").c_str(), "r");
  if (!p) return terminal;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) terminal.output.append(buf, n);
  terminal.status = pclose(p);
  return terminal;
}

// Progress goes to standard error only when it is a terminal: the data read, then each pass
// and step as time allows, each line erased before the next output.
TEST(Command, ProgressOnlyOnATerminal) {
  if (std::system("command -v script > /dev/null") != 0) GTEST_SKIP() << "no script(1)";
  const CommandRun terminal =
      onTerminal("proc varsifter data=diabetes; model y = age bmi bp s1-s6; run;\n");
  const std::string program = processScratch("progress.vsf").string();  // as onTerminal wrote it
  EXPECT_EQ(terminal.status, 0);
  EXPECT_NE(terminal.output.find("\r\033[KReading diabetes.csv: 100%"), std::string::npos)
      << terminal.output;
  EXPECT_NE(terminal.output.find("\r\033[KNOTE: The PROCEDURE VARSIFTER step ended"),
            std::string::npos);
  const CommandRun piped = runArgs(shellQuoted(program) + " --lib " + shellQuoted(VSF_SHARED_DATA));
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.output.find('\r'), std::string::npos) << piped.output;
  EXPECT_EQ(piped.output.find("Reading diabetes.csv"), std::string::npos);
}

// Under model averaging every line of progress after the data read names the sample: the
// first, shown at once, is the first sample's draw.
TEST(Command, ProgressNamesTheSampleOfModelAveraging) {
  if (std::system("command -v script > /dev/null") != 0) GTEST_SKIP() << "no script(1)";
  const CommandRun terminal = onTerminal(
      "proc varsifter data=diabetes seed=1; model y = age bmi bp s1-s6 / "
      "selection=lasso; modelaverage nsamples=40; run;\n");
  EXPECT_EQ(terminal.status, 0);
  const std::string erase = "\r\033[K";
  size_t at = terminal.output.find(erase + "Reading diabetes.csv");
  ASSERT_NE(at, std::string::npos) << terminal.output;
  EXPECT_NE(terminal.output.find(erase + "Sample 1 of 40, pass 1 over the stored rows"),
            std::string::npos)
      << terminal.output;
  int lines = 0;
  for (at = terminal.output.find(erase, at + 1); at != std::string::npos;
       at = terminal.output.find(erase, at + 1)) {
    const std::string line = terminal.output.substr(at + erase.size(), 40);
    // Lines of the log follow an erased progress line.
    if (line.empty() || line[0] == '\r' || line.find(": ") < line.find(' ')) continue;
    EXPECT_EQ(line.rfind("Sample ", 0), 0u) << line;
    ++lines;
  }
  EXPECT_GT(lines, 0);
}

}  // namespace
}  // namespace vsf::test
