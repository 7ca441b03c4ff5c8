// The listing on standard output and the log on standard error: in order where they reach one
// place, and whole where the listing goes to a file of its own in large writes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

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
  const std::string command = std::string(VSF_BINARY) + " " + program + " --lib " + VSF_SHARED_DATA;

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
  CommandRun apart = runShell(command + " > " + listing + " 2> " + logFile);
  ASSERT_EQ(apart.status, 0);
  std::string listingOfMerged, logOfMerged;
  std::istringstream lines(m);
  for (std::string line; std::getline(lines, line);)
    (logLine(line) ? logOfMerged : listingOfMerged) += line + "\n";
  EXPECT_EQ(fileText(listing), listingOfMerged);
  EXPECT_EQ(fileText(logFile), logOfMerged);
}

}  // namespace
}  // namespace vsf::test
