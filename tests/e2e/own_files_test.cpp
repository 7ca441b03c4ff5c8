// A run's files are new files of its own, whatever waits at the names an earlier version would
// have given them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// Before the command takes the shell's process number, links to someone else's file stand at
// the names of its utility and scratch files under that number, and beside the output the
// temporary file a killed run left and a link, under the program's own temporary names. The
// paged run writes none of them, succeeds, and clears those beside the output; files named as
// an earlier version named its temporary files carry no mark of the program's and stay.
TEST(OwnFiles, NamesPlantedUnderTheRunsProcessNumberAreNotItsFiles) {
  ScratchDir dir("vsf_own_files");
  const fs::path util = dir.path() / "util";
  fs::create_directory(util);
  std::ofstream rows(dir.path() / "rows.csv");
  rows << "y,x1,x2\n";
  for (int r = 0; r < 3000; ++r)
    rows << (r * 7) % 97 << ',' << (r * 13) % 89 << ',' << r % 7 << '\n';
  rows.close();
  std::ofstream(dir.path() / "p.vsf")
      << "proc varsifter data=rows; model y = x1 x2; output out=o p; run;\n";
  std::ofstream(dir.path() / "victim.txt") << "theirs";
  std::string plant =
      "cd " + shellQuoted(dir.path().string()) + " && echo killed > .o.csv.$$.0.tmp &&" +
      " ln -s victim.txt .o.csv.$$.1.tmp && echo killed > " +
      ".o.csv.varsifter-K1lled.tmp && ln -s victim.txt .o.csv.varsifter-L1nked.tmp && " +
      "echo theirs > .other.csv.AAAAAA.tmp";
  for (int n = 0; n < 4; ++n)
    for (const char* kind : {"utl", "tmp", "csv"})
      plant += " && ln -s ../victim.txt util/vsf_$$_" + std::to_string(n) + "." + kind;
  const CommandRun r = runShell(plant + " && exec " + shellQuoted(VSF_BINARY) +
                                " p.vsf --lib . --utilpath util --memsize 1 --cpucount 1 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(fileText(dir.path() / "victim.txt"), "theirs");
  EXPECT_NE(fileText(dir.path() / "o.csv").find("y,x1,x2,"), std::string::npos);
  int unmarked = 0;
  for (const auto& e : fs::directory_iterator(dir.path()))
    if (e.path().extension() == ".tmp") {
      EXPECT_EQ(e.path().filename().string().find(".varsifter-"), std::string::npos) << e.path();
      ++unmarked;
    }
  EXPECT_EQ(unmarked, 3);
  EXPECT_EQ(fileText(dir.path() / ".other.csv.AAAAAA.tmp"), "theirs\n");
  for (const auto& e : fs::directory_iterator(util)) EXPECT_EQ(fileKind(e.path()), 'l') << e.path();
}

}  // namespace
}  // namespace vsf::test
