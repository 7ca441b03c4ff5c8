// Test support: the varsifter command run on a program text as a user runs it, its JSON
// document, and the tables and factoids read from it.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"

namespace vsf::test {

using Json = nlohmann::ordered_json;

struct CommandRun {
  int status = -1;
  std::string output;  // standard output and standard error together
  Json document;       // the --json document (null when none was written)
  std::string html;    // the --html page (empty when none was written)
};

// The text as one word of a shell command line, whatever it holds (blanks, quotes, non-ASCII
// letters): every path put into a command goes through here.
std::string shellQuoted(std::string_view text);

// Runs the command with the arguments as a shell passes them (paths in them quoted by
// shellQuoted); standard error joins the output unless dropped.
CommandRun runArgs(const std::string& args, bool withErrors = true);
// Runs a shell command line; its standard output is the run's output.
CommandRun runShell(const std::string& command);
// Writes the program to a file of its own and runs the command on it with the data library
// and further command-line options (paths in them below the temporary or source directory are
// quoted here, up to the next blank); the JSON document and the HTML page are read back.
CommandRun runCommand(const std::string& program, const std::string& library,
                      const std::string& options = "");

// Starts the command with the arguments, not waiting for it: its standard output goes to
// the descriptor `output` (/dev/null when negative) and its standard error to the file named.
// The process, or -1.
int spawnCommand(std::vector<std::string> args, const std::string& errorLog = "/dev/null",
                 int output = -1);

// A library directory of its own holding copies of the shared data sets (examples/data) named,
// where a step may write its output data sets.
class DataLibrary : public ScratchDir {
 public:
  explicit DataLibrary(const std::vector<std::string>& dataSets);
  std::string dir() const { return path().string(); }
  // The text of a file of the library ("" when there is none).
  std::string text(const std::string& file) const;
  // A column of an output data set as numbers (NaN for missing or text); empty when absent.
  std::vector<double> column(const std::string& dataSet, const std::string& variable) const;
  // The first line of a data set: its variable names.
  std::vector<std::string> variables(const std::string& dataSet) const;
};

// A program's run as a user reads it: its exit status, texts its output must hold and texts
// it must not. A failed run must say why in an ERROR line.
struct ExpectedRun {
  std::string program;
  int status;
  std::vector<std::string> said = {}, unsaid = {};
  const char* options = "";
};
void expectRuns(const std::string& library, const std::vector<ExpectedRun>& runs);

// Every table or factoid of that name, in document order, groups searched through.
std::vector<Json> findAll(const Json& document, const std::string& name);
// The one item of that name; a test failure (and null) when there is not exactly one.
Json theOne(const CommandRun& r, const std::string& name);
// A factoid entry's raw value by its label; null when absent.
Json entryValue(const Json& factoid, const std::string& label);
// A macro variable the step left in the document; empty when absent.
std::string macro(const CommandRun& r, const std::string& name);
// A cell as a number: NaN for a missing value or text.
double number(const Json& cell);

}  // namespace vsf::test
