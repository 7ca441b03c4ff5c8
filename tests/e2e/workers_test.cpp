// Workers beyond what the host and the work can use cost nothing: 238 small BY groups take no
// more CPU time with CPUCOUNT=1024 than with 8, with the same results, and a global CPUCOUNT of
// 1024 reads its CSV data set without a file per requested worker.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// 238 BY groups of 50 rows: y and ten x from a fixed linear congruential stream.
void writeGroups(const std::filesystem::path& file) {
  std::ofstream out(file);
  out << "g,y,x1,x2,x3,x4,x5,x6,x7,x8,x9,x10\n";
  uint64_t state = 12345;
  auto next = [&] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  };
  for (int g = 0; g < 238; ++g)
    for (int r = 0; r < 50; ++r) {
      double x[10];
      for (double& v : x) v = next();
      out << g << "," << x[0] + 0.5 * x[1] + next();
      for (double v : x) out << "," << v;
      out << "\n";
    }
}

TEST(Workers, MoreThanTheHostHasCostNothing) {
  ScratchDir library("vsf_workers");
  writeGroups(library.path() / "groups.csv");
  auto program = [](const std::string& options, const std::string& performance) {
    return options + "proc varsifter data=groups" + (performance.empty() ? "" : " noprint") +
           "; by g; model y = x1-x10 / selection=stepwise(select=sbc); " + performance + " run;";
  };
  // The command's CPU time, not its wall time: on a shared machine the wall time of a run
  // follows the load, while the CPU time follows the work (idle workers would spend it).
  auto childSeconds = [] {
    struct rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
  };
  auto timed = [&](int cpus) {
    const double start = childSeconds();
    const CommandRun r = runCommand(
        program("", "performance cpucount=" + std::to_string(cpus) + ";"), library.path().string());
    EXPECT_EQ(r.status, 0) << r.output;
    return childSeconds() - start;
  };
  std::vector<double> few, many;
  for (int pair = 0; pair < 3; ++pair) {  // A B A B: the machine's drift falls on both
    few.push_back(timed(8));
    many.push_back(timed(1024));
  }
  std::sort(few.begin(), few.end());
  std::sort(many.begin(), many.end());
  EXPECT_LT(many[1], 1.5 * few[1])
      << "median CPU seconds: 1024 workers " << many[1] << ", 8 workers " << few[1];

  // The global option: the data set is read (again) without 1024 files, and the fits are those
  // of eight workers.
  const CommandRun a = runCommand(program("options cpucount=8;\n", ""), library.path().string());
  const CommandRun b = runCommand(program("options cpucount=1024;\n", ""), library.path().string());
  ASSERT_EQ(b.status, 0) << b.output;
  EXPECT_EQ(findAll(a.document, "ParameterEstimates").size(), 238u);
  EXPECT_EQ(findAll(a.document, "ParameterEstimates"), findAll(b.document, "ParameterEstimates"));
}

}  // namespace
}  // namespace vsf::test
