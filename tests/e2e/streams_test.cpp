// The listing on standard output and the log on standard error: in order where they reach one
// place, and whole where the listing goes to a file of its own in large writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kByProgram =
    "proc varsifter data=mtcars_by_cyl; by cyl; class cyl; model mpg = cyl wt / "
    "selection=none; run;\n";

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool logLine(const std::string& line) {
  return line.rfind("NOTE: ", 0) == 0 || line.rfind("WARNING: ", 0) == 0 ||
         line.rfind("ERROR: ", 0) == 0;
}

TEST(Streams, TheListingKeepsItsPlaceBesideTheLogAndIsWholeApart) {
  ScratchDir dir("vsf_streams");
  const std::string program = dir.path().string() + "/by.vsf";
  std::ofstream(program) << kByProgram;
  const std::string command = shellQuoted(VSF_BINARY) + " " + shellQuoted(program) + " --lib " +
                              shellQuoted(VSF_SHARED_DATA);

  // One pipe for both: each group's tables come before the notes of the next group.
  CommandRun merged = runShell(command + " 2>&1");
  ASSERT_EQ(merged.status, 0) << merged.output;
  const std::string& m = merged.output;
  for (const char* next : {"6", "8"}) {
    const std::string previousTables = next[0] == '6' ? "- cyl=4 -" : "- cyl=6 -";
    const size_t tables = m.find(previousTables);
    const size_t note = m.find(std::string("NOTE: BY group cyl=") + next + ": The CLASS");
    ASSERT_NE(tables, std::string::npos) << m;
    ASSERT_NE(note, std::string::npos) << m;
    EXPECT_LT(tables, note) << m;
    EXPECT_LT(m.find("Parameter Estimates", tables), note) << m;
  }

  // A file of its own: the same listing, every byte of it, and the log whole in its own file.
  const std::string listing = dir.path().string() + "/by.lst",
                    logFile = dir.path().string() + "/by.log";
  CommandRun apart =
      runShell(command + " > " + shellQuoted(listing) + " 2> " + shellQuoted(logFile));
  ASSERT_EQ(apart.status, 0);
  std::string listingOfMerged, logOfMerged;
  std::istringstream lines(m);
  for (std::string line; std::getline(lines, line);)
    (logLine(line) ? logOfMerged : listingOfMerged) += line + "\n";
  EXPECT_EQ(fileText(listing), listingOfMerged);
  EXPECT_EQ(fileText(logFile), logOfMerged);
}

// A listing or log that cannot be written (a full disk, a closed descriptor, a pipe nobody
// reads any more) does not stop the run: its data sets and documents are written whole, the
// failure is an error naming the stream and the reason, and the exit status is that of an
// output not written.
TEST(Streams, AListingOrLogNotWrittenIsAnErrorAndTheRunGoesOn) {
  ScratchDir dir("vsf_streams");
  // 120 BY groups: a listing past what a pipe holds.
  std::ofstream data(dir.path() / "m.csv");
  data << "g,y,x1,x2\n";
  for (int i = 0; i < 1200; ++i)
    data << i / 10 << ',' << i % 7 + i % 3 << ',' << i % 5 << ',' << i % 11 << '\n';
  data.close();
  const std::string program = dir.path().string() + "/by.vsf",
                    json = dir.path().string() + "/o.json";
  std::ofstream(program) << "proc varsifter data=m; by g; model y = x1 x2 / selection=none;"
                            " output out=fit p=yhat; run;\n";
  const std::string command = shellQuoted(VSF_BINARY) + " " + shellQuoted(program) + " --lib " +
                              shellQuoted(dir.path().string()) + " --json " + shellQuoted(json);
  const CommandRun whole = runShell(command + " > /dev/null 2>&1");
  ASSERT_EQ(whole.status, 0);
  const std::string fit = fileText(dir.path().string() + "/fit.csv");
  const std::string log = dir.path().string() + "/log";
  const struct {
    std::string redirection;
    const char* error;  // in the document, and in the log unless the log is what failed
    bool logLost;
  } kCases[] = {
      {"> /dev/full 2> " + shellQuoted(log),
       "The listing cannot be written to standard output (No space left on device)", false},
      {">&- 2> " + shellQuoted(log),
       "The listing cannot be written to standard output (Bad file descriptor)", false},
      {"2> /dev/full > /dev/null",
       "The log cannot be written to standard error (No space left on device)", true},
      {"2>&- > /dev/null", "The log cannot be written to standard error (Bad file descriptor)",
       true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.redirection);
    for (const std::string& file : {dir.path().string() + "/fit.csv", json, log}) fs::remove(file);
    const CommandRun r = runShell(command + " " + c.redirection);
    EXPECT_EQ(r.status, 2);
    const std::string document = fileText(json);
    EXPECT_NE(document.find(c.error), std::string::npos) << document.substr(0, 2000);
    if (!c.logLost) {
      EXPECT_NE(fileText(log).find(std::string("ERROR: ") + c.error), std::string::npos)
          << fileText(log);
    }
    EXPECT_TRUE(fileText(dir.path().string() + "/fit.csv") == fit);
  }
  // The reader of a pipe gone: the listing's writes fail, and the run ends as it would.
  const CommandRun closed = runShell("(" + command + " 2> " + shellQuoted(log) + "; echo $? > " +
                                     shellQuoted(dir.path().string() + "/status") + ") | true");
  EXPECT_EQ(fileText(dir.path().string() + "/status"), "2\n");
  EXPECT_NE(fileText(dir.path().string() + "/log")
                .find("ERROR: The listing cannot be written to standard output (Broken pipe)"),
            std::string::npos)
      << fileText(dir.path().string() + "/log");
}

}  // namespace
}  // namespace vsf::test
