// BY programs give the same outputs at every worker count: the listing and log, the JSON
// document, the HTML page and the output data sets, byte for byte, whether each group's rows
// decide its workers or every group takes those asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// 36 BY groups of 2 to 26,000 rows (one large enough for two workers' share of its values), a
// CLASS variable and four continuous ones from a fixed linear congruential stream.
void writeMixedGroups(const fs::path& file) {
  std::ofstream out(file);
  out << "g,c,y,x1,x2,x3,x4\n";
  uint64_t state = 4242;
  auto next = [&] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  };
  for (int g = 0; g < 36; ++g) {
    const int rows = g == 20 ? 26000 : 2 + (g * g * 37) % 700;
    const double slope = 0.5 + 0.1 * (g % 7);
    for (int r = 0; r < rows; ++r) {
      double x[4];
      for (double& v : x) v = next();
      const char level = static_cast<char>('a' + (r * 7 + g) % 3);
      out << g << ',' << level << ',' << slope * x[0] + x[1] * (level == 'b') + next();
      for (double v : x) out << ',' << v;
      out << '\n';
    }
  }
}

std::string fileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outputs {
  std::string listing, json, html, dataSets;
};

// Empty when the texts are equal, else the first line where they part (a diff of whole
// documents would take minutes).
std::string firstDifference(const std::string& a, const std::string& b) {
  if (a == b) return "";
  size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  const size_t line = a.rfind('\n', at) == std::string::npos ? 0 : a.rfind('\n', at) + 1;
  auto lineOf = [line](const std::string& s) { return s.substr(line, s.find('\n', line) - line); };
  return "at byte " + std::to_string(at) + ":\n" + lineOf(a) + "\n" + lineOf(b);
}

TEST(ByWorkers, EveryWorkerCountGivesTheSameOutputs) {
  DataLibrary lib({"mtcars_by_cyl"});
  writeMixedGroups(lib.path() / "mix.csv");
  for (const char* n : {"by_score", "by_valid"})
    fs::copy_file(fs::path(VSF_TEST_DATA) / "e2e" / (std::string(n) + ".csv"),
                  lib.path() / (std::string(n) + ".csv"));
  const char* programs[] = {
      "proc varsifter data=mix seed=3; by g; class c; model y = x1-x4 c / "
      "selection=forward(select=sbc); output out=mixout p r; run;",
      "proc varsifter data=mix seed=7; by g; model y = x1-x4 / selection=lasso(choose=cv) "
      "cvmethod=random(3); output out=mixlasso p; run;",
      // Another data set scored and validated on each group, on one thread as on several.
      "proc varsifter data=mtcars_by_cyl valdata=by_valid outdesign=design; by cyl;"
      " model mpg = wt hp / selection=none; score data=by_score out=own p r; run;",
  };
  // The worker counts, each with the groups' rows deciding and with every group on them.
  const char* runs[] = {"--nothreads", "--cpucount 1", "--cpucount 2", "--cpucount 3",
                        "--cpucount 8"};
  for (const char* program : programs) {
    auto run = [&](const char* options, bool everyGroup) {
      const std::string text =
          std::string("%let _testthreadrows=") + (everyGroup ? "1" : "0") + "; " + program;
      const CommandRun r = runCommand(text, lib.dir(), options);
      EXPECT_EQ(r.status, 0) << r.output;
      // The clock's seeds and the program's own switch are no output of the step.
      Json document = r.document;
      for (const char* macro : {"SYSRANDOM", "SYSRANEND", "_TESTTHREADROWS"})
        document["macros"].erase(macro);
      Outputs o{r.output, document.dump(1), r.html, ""};
      for (const auto& entry : fs::directory_iterator(lib.path())) {
        const std::string name = entry.path().filename().string();
        if (name == "mixout.csv" || name == "mixlasso.csv" || name == "own.csv" ||
            name == "design.csv") {
          o.dataSets += name + "\n" + fileText(entry.path());
          fs::remove(entry.path());
        }
      }
      return o;
    };
    const Outputs one = run("--nothreads", false);
    ASSERT_FALSE(one.dataSets.empty());
    for (const char* options : runs)
      for (bool everyGroup : {false, true}) {
        SCOPED_TRACE(std::string(program) + " " + options + (everyGroup ? " every group" : ""));
        const Outputs o = run(options, everyGroup);
        EXPECT_EQ(firstDifference(o.listing, one.listing), "");
        EXPECT_EQ(firstDifference(o.json, one.json), "");
        EXPECT_EQ(firstDifference(o.html, one.html), "");
        EXPECT_EQ(firstDifference(o.dataSets, one.dataSets), "");
      }
  }
}

}  // namespace
}  // namespace vsf::test
